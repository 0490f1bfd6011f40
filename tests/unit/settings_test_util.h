// The settings record driven in-process: the standalone board's EEPROM, power-ons simulated by
// running the start-up steps, replies captured from the host port.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/serial.h"
#include "device/board.h"
#include "fs/file_ops.h"
#include "fs/sdcard.h"
#include "settings/settings.h"

namespace voxa_test {

inline sim::Standalone& standalone() {
    return sim::Standalone::instance();
}

// Both serial ports up, com0 the host port, nothing waiting in the capture.
inline void serial_up() {
    static bool up = false;
    if (!up) {
        standalone();  // the board exists before anything touches it
        interrupt_init();
        KV_COM_Init0();
        KV_COM_Init1();
        up = true;
    }
    makeUart0Main();
    standalone().take_output(0);
    standalone().take_output(1);
}

// What the host port sent, once the transmitter had time to put it on the wire.
inline std::string host_output() {
    standalone().run_for_ns(50'000'000);
    return standalone().take_output(0);
}

constexpr size_t kRecordBlocks = 0x200;  // both copies with their checksums

inline std::vector<uint8_t> eeprom_image() {
    const uint8_t* e = standalone().eeprom();
    return std::vector<uint8_t>(e, e + kRecordBlocks);
}

inline void set_eeprom_image(const std::vector<uint8_t>& image) {
    std::memcpy(standalone().eeprom(), image.data(), image.size());
}

inline void erase_eeprom() {
    std::memset(standalone().eeprom(), 0xFF, kEepromSize);
}

// A copy as stored: the record at base, its checksum at base + 0xFF.
inline void store_copy(uint32_t base, const EepromData& record) {
    uint8_t* e = standalone().eeprom();
    std::memcpy(e + base, &record, sizeof record);
    e[base + kEepromChecksumOffset] = KV_EEPROM_Checksum(reinterpret_cast<const uint8_t*>(&record));
}

// What the record bytes of a copy hold now (checked bytes only are meaningful).
inline EepromData stored_copy(uint32_t base) {
    EepromData r;
    std::memcpy(&r, standalone().eeprom() + base, sizeof r);
    return r;
}

inline bool copy_valid(uint32_t base) {
    const uint8_t* e = standalone().eeprom();
    return e[base + 1] == 0x12 && e[base + kEepromChecksumOffset] == KV_EEPROM_Checksum(e + base);
}

// Checked bytes of two records equal.
inline bool same_record(const EepromData& a, const EepromData& b) {
    const auto* x = reinterpret_cast<const uint8_t*>(&a);
    const auto* y = reinterpret_cast<const uint8_t*>(&b);
    for (size_t i = 0; i < kSettingsSize; ++i) {
        if ((i < kUncheckedFirst || i >= kUncheckedEnd) && x[i] != y[i]) return false;
    }
    return true;
}

inline EepromData defaults() {
    const EepromData keep = eepromData;
    KV_EEPROM_SetDefaults();
    const EepromData d = eepromData;
    eepromData = keep;
    return d;
}

// A power-on as far as the settings go (no card in the slot): RAM starts zeroed.
inline const EepromData& power_on() {
    std::memset(&eepromData, 0, sizeof eepromData);
    KV_EEPROM_LoadAndFix();
    KV_EEPROM_Init();
    return eepromData;
}

}  // namespace voxa_test
