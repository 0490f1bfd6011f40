// The PL190 vectored interrupt controller (base 0x10140000), used without its vectors: the
// dispatcher reads which lines are pending and chooses itself.
#pragma once

#include <cstdint>

namespace qemu::vic {

constexpr uint32_t kBase = 0x10140000;
constexpr uint32_t kIrqStatus = kBase + 0x000;
constexpr uint32_t kFiqStatus = kBase + 0x004;
constexpr uint32_t kRawIntr = kBase + 0x008;
constexpr uint32_t kIntSelect = kBase + 0x00C;  // 1 = FIQ
constexpr uint32_t kIntEnable = kBase + 0x010;  // write 1s to enable
constexpr uint32_t kIntEnClear = kBase + 0x014;
constexpr uint32_t kSoftInt = kBase + 0x018;  // write 1s to assert a line from software
constexpr uint32_t kSoftIntClear = kBase + 0x01C;

// The lines of the devices the board uses.
constexpr int kLineTimer01 = 4;
constexpr int kLineUart0 = 12;
constexpr int kLineUart1 = 13;

// Asserts or releases a line from software (the UARTs' transmit conditions, see pl011_uart.cpp).
void set_soft(int line, bool asserted);

}  // namespace qemu::vic
