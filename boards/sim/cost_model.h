// What work costs in virtual time. The firmware passes a checkpoint after each unit of work;
// these figures are what an ARM926 at 266 MHz with SDRAM roughly spends on it, and they are the
// only place where the simulator's sense of speed is decided.
#pragma once

#include <cstdint>

#include "device/board.h"

namespace sim {

constexpr uint64_t kCommandLineNs = 20'000;  // parse and dispatch one command line
constexpr uint64_t kPixelNs = 10;            // one 16-bit pixel written to SDRAM

inline uint64_t work_cost_ns(Work kind, uint32_t amount) {
    switch (kind) {
        case Work::kCommandLine: return kCommandLineNs * amount;
        case Work::kPixels: return kPixelNs * amount;
    }
    return 0;
}

}  // namespace sim
