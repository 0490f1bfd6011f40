// The settings record: one static 176-byte record, read directly by every module, stored twice
// in the I2C EEPROM. The layout is a stored format (EEPROM copies written by every firmware
// version since 0x1255), so every field keeps its offset; static_asserts below pin them.
#pragma once

#include <cstddef>
#include <cstdint>

// Byte flags mean "on" only when they hold exactly these values.
constexpr uint8_t kFlagOn = 0xA5;
constexpr uint8_t kPortFlagOn = 0x5A;  // 'Z'
constexpr uint8_t kUnset = 0xFF;       // timing and brightness fields: build default

constexpr uint16_t kSignatureCurrent = 0x1255;
constexpr uint16_t kSignatureNewest = 0x1260;
constexpr uint8_t kCalLayoutFivePoint = 0xAA;

constexpr size_t kSettingsSize = 176;
constexpr size_t kConfigNameSize = 32;

struct EepromData {
    uint16_t signature;
    uint8_t tcTimeout;
    uint8_t unused3;
    int32_t legacyCal[8];
    uint16_t tplo;
    uint16_t tphi;
    uint8_t tpDeltaLim;
    uint8_t tsamp;
    uint8_t tspan;
    uint8_t touchSwap;
    uint32_t beepFreq;
    uint8_t beepVol;
    uint8_t beepMax;
    uint8_t brite;
    uint8_t typematicDelay;
    uint32_t debounce;
    uint8_t typematicRepeat;
    uint8_t splashEnable;
    uint8_t splashIndex;
    uint8_t ponMacro;
    uint8_t rs485Mode;
    uint8_t rs485Sof;
    uint8_t rs485Addr;
    uint8_t bannerOff;
    uint8_t demoMacro;
    uint8_t auxForward;
    uint8_t auxEsc;
    uint8_t mainPort;
    uint8_t unused68[2];
    uint8_t unchecked70[4];  // outside the checksum, never saved
    char firmwareTag[8];     // outside the checksum, never saved; reported by "*firmware"
    uint8_t invEnaHiTrue;
    uint8_t hfp;
    uint8_t hpw;
    uint8_t hbp;
    uint8_t vfp;
    uint8_t vpw;
    uint8_t vbp;
    uint8_t maxBrite;
    uint8_t minBrite;
    uint8_t pwmIsEnable;
    uint8_t orient;
    char config[kConfigNameSize];
    uint8_t touchMode;
    uint8_t autoCal;
    uint8_t LCDshiftclock;
    uint8_t baud0;
    uint8_t baud1;
    uint8_t externalSpeaker;
    uint8_t calLayout;
    int16_t calLogX[5];
    int16_t calPhyX[5];
    int16_t calLogY[5];
    int16_t calPhyY[5];
    uint8_t layoutOne;
    uint8_t unused173[3];
};

static_assert(sizeof(EepromData) == kSettingsSize);
static_assert(offsetof(EepromData, tcTimeout) == 2);
static_assert(offsetof(EepromData, legacyCal) == 4);
static_assert(offsetof(EepromData, tplo) == 36);
static_assert(offsetof(EepromData, tpDeltaLim) == 40);
static_assert(offsetof(EepromData, touchSwap) == 43);
static_assert(offsetof(EepromData, beepFreq) == 44);
static_assert(offsetof(EepromData, brite) == 50);
static_assert(offsetof(EepromData, debounce) == 52);
static_assert(offsetof(EepromData, typematicRepeat) == 56);
static_assert(offsetof(EepromData, rs485Mode) == 60);
static_assert(offsetof(EepromData, mainPort) == 67);
static_assert(offsetof(EepromData, unchecked70) == 70);
static_assert(offsetof(EepromData, firmwareTag) == 74);
static_assert(offsetof(EepromData, invEnaHiTrue) == 82);
static_assert(offsetof(EepromData, vbp) == 88);
static_assert(offsetof(EepromData, orient) == 92);
static_assert(offsetof(EepromData, config) == 93);
static_assert(offsetof(EepromData, touchMode) == 125);
static_assert(offsetof(EepromData, baud0) == 128);
static_assert(offsetof(EepromData, calLayout) == 131);
static_assert(offsetof(EepromData, calLogX) == 132);
static_assert(offsetof(EepromData, calPhyX) == 142);
static_assert(offsetof(EepromData, calLogY) == 152);
static_assert(offsetof(EepromData, calPhyY) == 162);
static_assert(offsetof(EepromData, layoutOne) == 172);

extern EepromData eepromData;

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
// Writes the RAM record to copy A, then to copy B, rewriting only the bytes that differ;
// returns 1. A copy is never readable as valid while it holds a mix of old and new bytes, so a
// power cut at any point leaves at least one of the two copies holding a whole record.
int KV_EEPROM_Save();
// Loads one copy (base kEepromCopyA or kEepromCopyB) into eepromData. 1 when its checksum
// matches; 0 otherwise (the bytes read stay in RAM), or when the copy's signature is not even
// recognisable (RAM untouched).
int KV_EEPROM_Load(uint32_t base);
// Start-up: loads the record, repairing a bad copy from the good one. When both copies are
// bad, the record is rebuilt from the two copies only where they corroborate each other;
// otherwise the RAM signature is left unrecognised so that KV_EEPROM_Init sets the defaults.
void KV_EEPROM_LoadAndFix();
// Start-up, after the serial ports are open: defaults for an unrecognised record, layout
// upgrades and range repairs, the config.ini merge, a save if anything changed, and the command
// port switch that config.ini may ask for.
void KV_EEPROM_Init();
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
