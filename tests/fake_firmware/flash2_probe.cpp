// A stand-in firmware on the simulated board that works the boot flash for tests. Lines on com0,
// CR ended, offsets as eight hex digits from the start of the Flash2 window:
//   OOOOOOOO          the byte there, as two hex digits
//   eOOOOOOOO         FlashEraseSector; its result as a decimal digit
//   pOOOOOOOOHH...    FlashWriteBlock of the hex bytes that follow; its result
//   i                 ReadSerialFlashID, as two hex digits
//   w                 a store through the window's pointer, which must fault
// Each answer ends with CR; a line it does not understand gets a bare CR.
#include <cstdint>

#include "device/board.h"

namespace {

constexpr const char* kDigits = "0123456789ABCDEF";

void put(uint8_t byte) {
    while (!uart_tx_ready(kCom0)) board_idle();
    uart_tx_write(kCom0, byte);
}

void put_hex(uint8_t b) {
    put(uint8_t(kDigits[b >> 4]));
    put(uint8_t(kDigits[b & 15]));
}

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// n hex digits from text as a number; false when one is not a hex digit.
bool hex_number(const uint8_t* text, int n, uint32_t* out) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const int d = hex_value(text[i]);
        if (d < 0) return false;
        v = v << 4 | uint32_t(d);
    }
    *out = v;
    return true;
}

uint8_t line[1024];
uint8_t data[(sizeof line - 9) / 2];

void answer(int length) {
    uint32_t offset = 0;
    if (length == 1 && line[0] == 'w') {
        const_cast<uint8_t*>(flash2_window())[0] = 0;
    } else if (length == 1 && line[0] == 'i') {
        put_hex(ReadSerialFlashID());
    } else if (length == 8 && hex_number(line, 8, &offset) && offset < kFlash2Size) {
        put_hex(flash2_window()[offset]);
    } else if (length == 9 && line[0] == 'e' && hex_number(line + 1, 8, &offset)) {
        put(uint8_t('0' + FlashEraseSector(kFlash2Address + offset)));
    } else if (length >= 9 && line[0] == 'p' && length % 2 == 1 &&
               hex_number(line + 1, 8, &offset)) {
        const int count = (length - 9) / 2;
        for (int i = 0; i < count; ++i) {
            uint32_t b = 0;
            if (!hex_number(line + 9 + 2 * i, 2, &b)) return put('\r');
            data[i] = uint8_t(b);
        }
        put(uint8_t('0' + FlashWriteBlock(kFlash2Address + offset, data, uint32_t(count))));
    }
    put('\r');
}

}  // namespace

int main() {
    interrupt_init();
    uart_init(kCom0);
    int length = 0;
    for (;;) {
        while (!uart_rx_ready(kCom0)) board_idle();
        const uint8_t c = uart_rx_read(kCom0);
        if (c != '\r') {
            if (length < int(sizeof line)) line[length++] = c;
            continue;
        }
        answer(length);
        length = 0;
    }
}
