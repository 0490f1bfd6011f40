// The contract's UARTs on two PL011s.
//
// The firmware expects level interrupts for "transmitter ready" and "transmission complete"
// (asserted for as long as the condition holds and the interrupt is enabled). The PL011 raises
// its transmit interrupt only when the FIFO level crosses the trigger, so an enable while the
// FIFO is already empty would never interrupt. The board therefore computes those two
// conditions itself and asserts the UART's controller line by software; receive interrupts
// come from the PL011.
#include "pl011_uart.h"

#include "device/board.h"
#include "mmio.h"
#include "pl190_vic.h"

namespace {

using namespace qemu;
using namespace qemu::uart;

struct PortState {
    bool tx_irq;
    bool txc_irq;
};
PortState ports[kUartCount];

bool valid(int port) {
    return port == kCom0 || port == kCom1;
}
uint32_t base_of(int port) {
    return port == kCom0 ? kUart0Base : kUart1Base;
}
int line_of(int port) {
    return port == kCom0 ? vic::kLineUart0 : vic::kLineUart1;
}
uint32_t reg(int port, uint32_t offset) {
    return read32(base_of(port) + offset);
}
void set_reg(int port, uint32_t offset, uint32_t value) {
    write32(base_of(port) + offset, value);
}

}  // namespace

namespace qemu::uart {

void update_soft_interrupt(int port) {
    const PortState& s = ports[port];
    const bool asserted =
        (s.tx_irq && uart_tx_ready(port)) || (s.txc_irq && uart_tx_complete(port));
    vic::set_soft(line_of(port), asserted);
}

void write_polled(const char* text) {
    for (; *text != '\0'; ++text) {
        while ((read32(kUart0Base + kFr) & kFrTxFull) != 0) {}
        write32(kUart0Base + kDr, uint8_t(*text));
    }
}

}  // namespace qemu::uart

void uart_init(int port) {
    if (!valid(port)) return;
    set_reg(port, kCr, 0);
    set_reg(port, kImsc, 0);
    set_reg(port, kIcr, kIntAll);
    // Toggling the FIFO enable empties the FIFOs.
    set_reg(port, kLcrH, kLcrHWordLength8);
    while ((reg(port, kFr) & kFrRxEmpty) == 0) (void)reg(port, kDr);
    set_reg(port, kRsrEcr, 0);
    set_reg(port, kLcrH, kLcrHWordLength8 | kLcrHFifoEnable);
    ports[port] = PortState{};
    set_reg(port, kCr, kCrEnable | kCrTxEnable | kCrRxEnable);
    uart_set_rate(port, 115200);
    update_soft_interrupt(port);
}

void uart_set_rate(int port, uint32_t bits_per_second) {
    if (!valid(port) || bits_per_second == 0) return;
    // Divider in 1/64ths of the 16x oversampled clock, rounded to nearest.
    const uint32_t divider_64 =
        uint32_t((uint64_t(kClockHz) * 4 + bits_per_second / 2) / bits_per_second);
    set_reg(port, kIbrd, divider_64 >> 6);
    set_reg(port, kFbrd, divider_64 & 63);
    // The divisors take effect with a write of the line control register.
    set_reg(port, kLcrH, reg(port, kLcrH));
}

int uart_irq_source(int port) {
    return port == kCom1 ? kIrqCom1 : kIrqCom0;
}

bool uart_rx_ready(int port) {
    return valid(port) && (reg(port, kFr) & kFrRxEmpty) == 0;
}
uint8_t uart_rx_read(int port) {
    if (!valid(port)) return 0;
    return uint8_t(reg(port, kDr));
}

bool uart_tx_ready(int port) {
    return valid(port) && (reg(port, kFr) & kFrTxFull) == 0;
}
void uart_tx_write(int port, uint8_t byte) {
    if (!valid(port)) return;
    set_reg(port, kDr, byte);
}
bool uart_tx_complete(int port) {
    return valid(port) && (reg(port, kFr) & (kFrTxEmpty | kFrBusy)) == kFrTxEmpty;
}

void uart_rx_irq(int port, bool enable) {
    if (!valid(port)) return;
    const uint32_t mask = reg(port, kImsc);
    const uint32_t rx = kIntRx | kIntRxTimeout;
    set_reg(port, kImsc, enable ? mask | rx : mask & ~rx);
}
void uart_tx_irq(int port, bool enable) {
    if (!valid(port)) return;
    ports[port].tx_irq = enable;
    update_soft_interrupt(port);
}
void uart_txc_irq(int port, bool enable) {
    if (!valid(port)) return;
    ports[port].txc_irq = enable;
    update_soft_interrupt(port);
}

void uart_com1_tx_enable(bool high) {
    const uint32_t cr = reg(kCom1, kCr);
    set_reg(kCom1, kCr, high ? cr | kCrRts : cr & ~kCrRts);
}
