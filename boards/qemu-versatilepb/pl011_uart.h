// The PL011 UARTs: com0 is UART0 (0x101F1000, QEMU's first serial port), com1 is UART1
// (0x101F2000, the second).
#pragma once

#include <cstdint>

namespace qemu::uart {

constexpr uint32_t kUart0Base = 0x101F1000;
constexpr uint32_t kUart1Base = 0x101F2000;

constexpr uint32_t kDr = 0x00;
constexpr uint32_t kRsrEcr = 0x04;
constexpr uint32_t kFr = 0x18;
constexpr uint32_t kIbrd = 0x24;
constexpr uint32_t kFbrd = 0x28;
constexpr uint32_t kLcrH = 0x2C;
constexpr uint32_t kCr = 0x30;
constexpr uint32_t kIfls = 0x34;
constexpr uint32_t kImsc = 0x38;
constexpr uint32_t kRis = 0x3C;
constexpr uint32_t kMis = 0x40;
constexpr uint32_t kIcr = 0x44;

// Flag register
constexpr uint32_t kFrBusy = 1u << 3;
constexpr uint32_t kFrRxEmpty = 1u << 4;
constexpr uint32_t kFrTxFull = 1u << 5;
constexpr uint32_t kFrTxEmpty = 1u << 7;
// Line control
constexpr uint32_t kLcrHFifoEnable = 1u << 4;
constexpr uint32_t kLcrHWordLength8 = 3u << 5;
// Control
constexpr uint32_t kCrEnable = 1u << 0;
constexpr uint32_t kCrTxEnable = 1u << 8;
constexpr uint32_t kCrRxEnable = 1u << 9;
constexpr uint32_t kCrRts = 1u << 11;
// Interrupts (mask, status, clear)
constexpr uint32_t kIntRx = 1u << 4;
constexpr uint32_t kIntRxTimeout = 1u << 6;
constexpr uint32_t kIntAll = 0x7FF;

// The UART's reference clock on the Versatile board.
constexpr uint32_t kClockHz = 24000000;

// Re-evaluates the transmit conditions whose interrupt the board raises itself (see the .cpp).
void update_soft_interrupt(int port);

// Polled output on com0 for the board's own fault report.
void write_polled(const char* text);

}  // namespace qemu::uart
