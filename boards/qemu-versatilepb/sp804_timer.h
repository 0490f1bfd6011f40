// The SP804 dual timer at 0x101E2000 (1 MHz on this board): timer 0 is the 1 ms tick, timer 1
// runs free as the board's microsecond clock.
#pragma once

#include <cstdint>

namespace qemu::timer {

constexpr uint32_t kBase = 0x101E2000;
constexpr uint32_t kTimer0 = kBase + 0x00;
constexpr uint32_t kTimer1 = kBase + 0x20;

constexpr uint32_t kLoad = 0x00;
constexpr uint32_t kValue = 0x04;
constexpr uint32_t kControl = 0x08;
constexpr uint32_t kIntClr = 0x0C;
constexpr uint32_t kRis = 0x10;
constexpr uint32_t kMis = 0x14;
constexpr uint32_t kBgLoad = 0x18;

constexpr uint32_t kControl32Bit = 1u << 1;
constexpr uint32_t kControlIntEnable = 1u << 5;
constexpr uint32_t kControlPeriodic = 1u << 6;
constexpr uint32_t kControlEnable = 1u << 7;

constexpr uint32_t kClockHz = 1000000;

// Microseconds since the clock started (wraps after about 71 minutes).
uint32_t microseconds();

}  // namespace qemu::timer
