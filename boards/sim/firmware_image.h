// What the simulated board's boot flash holds below the Flash2 window: the firmware's own boot
// area and program area. The simulator runs the firmware natively, so these areas hold no code;
// they hold a fixed image instead, the same in every build and on every run, so that their check
// values are stable and a test can compute them on its own from this header.
//
// Each area begins with a text naming it and continues with a xorshift32 sequence seeded per
// area (low byte of each step), so that no two stretches of an area look alike and a check that
// reads the wrong range or the wrong length gives a different value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sim {

enum class FirmwareArea { kBoot, kProgram };

inline void fill_firmware_area(FirmwareArea area, uint8_t* out, size_t size) {
    const bool boot = area == FirmwareArea::kBoot;
    const char* name =
        boot ? "VOXA5-PLUS boot area (voxa-sim)" : "VOXA5-PLUS program area (voxa-sim)";
    uint32_t x = boot ? 0x2545F491u : 0x9E3779B9u;
    const size_t text = std::strlen(name);
    for (size_t i = 0; i < size; ++i) {
        if (i < text) {
            out[i] = uint8_t(name[i]);
            continue;
        }
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = uint8_t(x);
    }
}

}  // namespace sim
