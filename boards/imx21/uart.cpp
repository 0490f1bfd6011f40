// The two UARTs: com0 is UART1, com1 is UART2 (its CTS output drives the RS-485 transceiver).
#include "boards/imx21/uart_divider.h"
#include "device/board.h"
#include "imx21.h"

namespace {

using namespace imx21;

constexpr uint32_t kUrxd = 0x00;
constexpr uint32_t kUtxd = 0x40;
constexpr uint32_t kUcr1 = 0x80;
constexpr uint32_t kUcr2 = 0x84;
constexpr uint32_t kUcr4 = 0x8C;
constexpr uint32_t kUfcr = 0x90;
constexpr uint32_t kUsr2 = 0x98;
constexpr uint32_t kUbir = 0xA4;
constexpr uint32_t kUbmr = 0xA8;
constexpr uint32_t kOnems = 0xB0;
constexpr uint32_t kUts = 0xB4;

constexpr uint32_t kUrxdData = 0xFF;

constexpr uint32_t kUcr1Uarten = 1u << 0;
constexpr uint32_t kUcr1Rrdyen = 1u << 9;   // receiver ready interrupt
constexpr uint32_t kUcr1Trdyen = 1u << 13;  // transmitter ready interrupt

constexpr uint32_t kUcr2Srst = 1u << 0;  // 0 = reset (reads 1 again when the reset is over)
constexpr uint32_t kUcr2Rxen = 1u << 1;
constexpr uint32_t kUcr2Txen = 1u << 2;
constexpr uint32_t kUcr2Ws8 = 1u << 5;    // 8 data bits; STPB (bit 6) and PREN (bit 8) left 0
constexpr uint32_t kUcr2Cts = 1u << 12;   // level of the CTS output while CTSC is 0
constexpr uint32_t kUcr2Irts = 1u << 14;  // ignore the RTS input: no hardware handshake

constexpr uint32_t kUcr4Tcen = 1u << 3;  // transmit complete interrupt

// Receiver threshold 1: RRDY as soon as a byte waits. Transmitter threshold 2: TRDY while fewer
// than 2 bytes are queued, so the interrupt refills before the line runs dry.
constexpr uint32_t kUfcrRxtlShift = 0;
constexpr uint32_t kUfcrRxtl = 1;
constexpr uint32_t kUfcrRfdivShift = 7;
constexpr uint32_t kUfcrRfdivBy1 = 5;  // the reference is PERCLK1 itself
constexpr uint32_t kUfcrTxtlShift = 10;
constexpr uint32_t kUfcrTxtl = 2;

constexpr uint32_t kUsr2Rdr = 1u << 0;   // receive data ready
constexpr uint32_t kUsr2Txdc = 1u << 3;  // transmitter complete

constexpr uint32_t kUtsTxfull = 1u << 4;

constexpr uint32_t kOneMsCounts = kUartRefClockHz / 1000;
constexpr int kResetPolls = 1000;

struct UartPins {
    Pin txd, rxd, cts;
};

struct Uart {
    uint32_t base;
    ClockGate gate;
    UartPins pins;
};

constexpr Uart kUarts[kUartCount] = {
    {kUart1Base, ClockGate::kUart1, {{Port::kE, 12}, {Port::kE, 13}, {Port::kE, 14}}},
    {kUart2Base, ClockGate::kUart2, {{Port::kE, 6}, {Port::kE, 7}, {Port::kE, 3}}},
};

bool valid_port(int port) {
    return port == kCom0 || port == kCom1;
}

uint32_t reg(int port, uint32_t offset) {
    return kUarts[port].base + offset;
}

// The interrupt enables are changed from the main loop and from the UART's own handler.
void set_enable(int port, uint32_t offset, uint32_t bit, bool on) {
    IrqGuard guard;
    if (on)
        set_bits32(reg(port, offset), bit);
    else
        clear_bits32(reg(port, offset), bit);
}

}  // namespace

void uart_init(int port) {
    if (!valid_port(port)) return;
    const Uart& u = kUarts[port];
    clock_gate(u.gate, true);
    pin_primary(u.pins.txd);
    pin_primary(u.pins.rxd);
    if (port == kCom1) pin_primary(u.pins.cts);

    // The software reset empties both FIFOs and clears every interrupt enable.
    write32(reg(port, kUcr2), 0);
    for (int i = 0; i < kResetPolls && !(read32(reg(port, kUcr2)) & kUcr2Srst); ++i) {}
    write32(reg(port, kUcr1), kUcr1Uarten);
    write32(reg(port, kUfcr), (kUfcrRxtl << kUfcrRxtlShift) | (kUfcrRfdivBy1 << kUfcrRfdivShift) |
                                  (kUfcrTxtl << kUfcrTxtlShift));
    write32(reg(port, kUcr4), 0);
    write32(reg(port, kOnems), kOneMsCounts);
    // com1 starts with its RS-485 driver off (CTS asserted: the pin low) so that the line is
    // not held until the firmware has something to send.
    const uint32_t driverOff = port == kCom1 ? kUcr2Cts : 0;
    write32(reg(port, kUcr2), kUcr2Srst | kUcr2Rxen | kUcr2Txen | kUcr2Ws8 | kUcr2Irts | driverOff);
    uart_set_rate(port, 115200);
}

void uart_set_rate(int port, uint32_t bits_per_second) {
    if (!valid_port(port) || bits_per_second == 0) return;
    // The increment must be written first: the modulator's write loads both into the divider.
    write32(reg(port, kUbir), imx21::uart_increment(bits_per_second));
    write32(reg(port, kUbmr), imx21::kUartModulator);
}

int uart_irq_source(int port) {
    return port == kCom1 ? kIrqCom1 : kIrqCom0;
}

bool uart_rx_ready(int port) {
    return valid_port(port) && (read32(reg(port, kUsr2)) & kUsr2Rdr);
}

uint8_t uart_rx_read(int port) {
    return valid_port(port) ? uint8_t(read32(reg(port, kUrxd)) & kUrxdData) : 0;
}

bool uart_tx_ready(int port) {
    return valid_port(port) && !(read32(reg(port, kUts)) & kUtsTxfull);
}

void uart_tx_write(int port, uint8_t byte) {
    if (valid_port(port)) write32(reg(port, kUtxd), byte);
}

bool uart_tx_complete(int port) {
    return valid_port(port) && (read32(reg(port, kUsr2)) & kUsr2Txdc);
}

void uart_rx_irq(int port, bool enable) {
    if (valid_port(port)) set_enable(port, kUcr1, kUcr1Rrdyen, enable);
}

void uart_tx_irq(int port, bool enable) {
    if (valid_port(port)) set_enable(port, kUcr1, kUcr1Trdyen, enable);
}

void uart_txc_irq(int port, bool enable) {
    if (valid_port(port)) set_enable(port, kUcr4, kUcr4Tcen, enable);
}

// The UART is the DCE side: its CTS pin is the output the module's schematic calls RTS. The CTS
// bit asserts the pin, which is active low, so a high level is the bit cleared.
void uart_com1_tx_enable(bool high) {
    set_enable(kCom1, kUcr2, kUcr2Cts, !high);
}
