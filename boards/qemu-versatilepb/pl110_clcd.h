// The PL110 colour LCD controller at 0x10120000. On the Versatile board its control register is
// at 0x18 and the interrupt mask at 0x1C (the order of the later PL111).
#pragma once

#include <cstdint>

namespace qemu::clcd {

constexpr uint32_t kBase = 0x10120000;
constexpr uint32_t kTiming0 = kBase + 0x00;
constexpr uint32_t kTiming1 = kBase + 0x04;
constexpr uint32_t kTiming2 = kBase + 0x08;
constexpr uint32_t kTiming3 = kBase + 0x0C;
constexpr uint32_t kUpperBase = kBase + 0x10;
constexpr uint32_t kLowerBase = kBase + 0x14;
constexpr uint32_t kControl = kBase + 0x18;
constexpr uint32_t kIntMask = kBase + 0x1C;

// Control
constexpr uint32_t kControlEnable = 1u << 0;
constexpr uint32_t kControlBpp16 = 4u << 1;
constexpr uint32_t kControlTft = 1u << 5;
constexpr uint32_t kControlBgr = 1u << 8;
constexpr uint32_t kControlPower = 1u << 11;

// Timing 2
constexpr uint32_t kTiming2InvertClock = 1u << 13;
constexpr uint32_t kTiming2BypassDivider = 1u << 26;
constexpr int kTiming2LineLengthShift = 16;

}  // namespace qemu::clcd
