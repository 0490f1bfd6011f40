// Loading, repairing and saving the settings record (base/settings_record.h) in its two EEPROM
// copies, and the baud-rate codes it stores.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/settings_record.h"

// Where the record lives in the EEPROM: two copies, each with its checksum byte at the end of
// its 256-byte block, and the host's user area.
constexpr uint32_t kEepromCopyA = 0x000;
constexpr uint32_t kEepromCopyB = 0x100;
constexpr uint32_t kEepromChecksumOffset = 0xFF;
constexpr uint32_t kEepromUserArea = 0x1000;
constexpr uint32_t kEepromUserAreaSize = 0x100;
// Record bytes outside the checksum, never written by a save.
constexpr size_t kUncheckedFirst = 70;
constexpr size_t kUncheckedEnd = 82;

// The checksum of a record image: the 8-bit sum of bytes 0-69 and 82-175.
uint8_t KV_EEPROM_Checksum(const uint8_t* record);

// Fills the record with 0xFF and sets every default of this panel build.
void KV_EEPROM_SetDefaults();
// 1 when the record's signature is the current layout marker.
int KV_EEPROMvalid();
// KV_EEPROM_Save (declared with the record) writes copy A, then copy B, rewriting only the
// bytes that differ. A copy is never readable as valid while it holds a mix of old and new
// bytes, so a power cut at any point leaves at least one of the two copies holding a whole
// record.
// Loads one copy (base kEepromCopyA or kEepromCopyB) into eepromData. 1 when its checksum
// matches; 0 otherwise (the bytes read stay in RAM), or when the copy's signature is not even
// recognisable (RAM untouched).
int KV_EEPROM_Load(uint32_t base);
// Start-up: loads the record, repairing a bad copy from the good one. When both copies are
// bad, the record is rebuilt from the two copies only where they corroborate each other;
// otherwise the RAM signature is left unrecognised so that KV_EEPROM_Init sets the defaults.
void KV_EEPROM_LoadAndFix();
// Start-up, after the serial ports are open: defaults for an unrecognised record, layout
// upgrades and range repairs, the config.ini merge and a save if anything changed. Returns 1
// when config.ini changed mainPort: the caller (start-up, which owns the serial ports) must
// then make that port the command port at once; 0 otherwise.
int KV_EEPROM_Init();
// Fills an EEPROM area with 0xFF: 1 copy A, 2 copy B, 0 the user area; other values do
// nothing. Returns 1. The RAM record is not touched.
int KV_EEPROM_Clear(int area);

// Stores the code of rate as port 0's or port 1's rate and saves the record; returns 1. An
// unsupported rate sends ":baud rate %ld not supported, not saved\r" and returns 0; another
// port number returns 0.
int KV_save_baudrate_eeprom(int port, uint32_t rate);

// Baud-rate codes of the record.
uint32_t KV_EEPROM_eeVal2Rate(uint8_t code);
uint8_t KV_EEPROM_Rate2eeVal(uint32_t rate);
