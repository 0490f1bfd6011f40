// The Versatile system controller's registers that this board uses (base 0x10000000).
#pragma once

#include <cstdint>

namespace qemu::sysctl {

constexpr uint32_t kBase = 0x10000000;
constexpr uint32_t kLock = kBase + 0x20;      // write kUnlock before kResetCtl
constexpr uint32_t kResetCtl = kBase + 0x40;  // bit 8 resets the board
constexpr uint32_t kMci = kBase + 0x48;       // MMC/SD slot status
constexpr uint32_t kClcd = kBase + 0x50;      // bits 1-0: the CLCD's 16-bit pixel format mux

constexpr uint32_t kUnlock = 0xA05F;
constexpr uint32_t kResetRequest = 0x100;
// The slot status bit of the first MMC/SD controller's card-detect switch.
constexpr uint32_t kMciCardIn0 = 1u << 0;
// The mux setting that makes the CLCD read 16-bit pixels as 5:6:5 with blue in the low bits
// and red in the top bits, the firmware's layout (2 is 5:6:5 with red and blue swapped).
constexpr uint32_t kClcdMux565BlueLsb = 3;
constexpr uint32_t kClcdMuxMask = 3;

}  // namespace qemu::sysctl
