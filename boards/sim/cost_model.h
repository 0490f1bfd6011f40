// What work costs in virtual time. The firmware passes a checkpoint after each unit of work;
// these figures are what an ARM926 at 266 MHz with SDRAM roughly spends on it, and they are the
// only place where the simulator's sense of speed is decided.
#pragma once

#include <cstdint>

#include "device/board.h"

namespace sim {

constexpr uint64_t kCommandLineNs = 20'000;  // parse and dispatch one command line
constexpr uint64_t kPixelNs = 10;            // one 16-bit pixel written to SDRAM
// The macro runner looking at one stored line (label compare, the abort peek); a line it runs
// costs a command line on top.
constexpr uint64_t kMacroLineNs = 2'000;

// The settings EEPROM on a 400 kHz I2C bus: a random read is six bytes on the bus; a write is
// four bytes and then the device's write cycle, which the driver waits out by polling.
constexpr uint64_t kEepromReadNs = 135'000;
constexpr uint64_t kEepromWriteNs = 3'600'000;
// The SD card on a 4-bit bus at 20 MHz plus command overhead; writes include the card's busy
// time. Bringing a card up (power ramp, identification) takes a while.
constexpr uint64_t kSdSectorReadNs = 80'000;
constexpr uint64_t kSdSectorWriteNs = 250'000;
constexpr uint64_t kSdCardInitNs = 50'000'000;
// The boot flash, a 16-bit parallel NOR part: a 128 KB sector erase typically takes 0.7 s (the
// data sheets give up to several seconds at worst), and one 16-bit word programmed in
// unlock-bypass mode about 10 us including the status polling. Reading in place costs nothing
// beyond the code that reads, like any other memory access.
constexpr uint64_t kFlashSectorEraseNs = 700'000'000;
constexpr uint64_t kFlashWordProgramNs = 10'000;

inline uint64_t work_cost_ns(Work kind, uint32_t amount) {
    switch (kind) {
        case Work::kCommandLine:
            return kCommandLineNs * amount;
        case Work::kMacroLine:
            return kMacroLineNs * amount;
        case Work::kPixels:
            return kPixelNs * amount;
    }
    return 0;
}

}  // namespace sim
