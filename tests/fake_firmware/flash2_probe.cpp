// A stand-in firmware on the simulated board that reads the Flash2 window for tests: each line
// of eight hex digits on com0 (an offset, CR ended) is answered with the byte there as two hex
// digits and CR; the line "w" writes through the window's pointer, which must fault.
#include <cstdint>

#include "device/board.h"

namespace {

void put(uint8_t byte) {
    while (!uart_tx_ready(kCom0)) board_idle();
    uart_tx_write(kCom0, byte);
}

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int main() {
    interrupt_init();
    uart_init(kCom0);
    const char* digits = "0123456789ABCDEF";
    uint32_t offset = 0;
    int length = 0;
    bool write = false;
    for (;;) {
        while (!uart_rx_ready(kCom0)) board_idle();
        const uint8_t c = uart_rx_read(kCom0);
        if (c == 'w') {
            write = true;
        } else if (c != '\r') {
            const int v = hex_value(c);
            offset = offset << 4 | uint32_t(v < 0 ? 0 : v);
            ++length;
        } else {
            if (write) const_cast<uint8_t*>(flash2_window())[0] = 0;
            if (length == 8 && offset < kFlash2Size) {
                const uint8_t b = flash2_window()[offset];
                put(uint8_t(digits[b >> 4]));
                put(uint8_t(digits[b & 15]));
            }
            put('\r');
            offset = 0;
            length = 0;
            write = false;
        }
    }
}
