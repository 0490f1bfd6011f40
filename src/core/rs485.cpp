// RS-485 addressed mode on com1: frames of a start-of-frame character, a two-digit address and a
// command line; only frames for this module's address are taken, and a discovery request
// ("?" and the high address digit) is answered in the slot of the low digit.
#include "base/format.h"
#include "base/hex.h"
#include "base/settings_record.h"
#include "core/serial_private.h"
#include "device/timebase.h"

namespace serial {

char rs485prefix[kRs485PrefixLen + 1];

namespace {

constexpr char kDiscovery = '?';

int take_hex_digit() {
    return hex_digit_upper(char(rx.take()));
}

// Drops the rest of an RS-485 frame that is not for this module: up to and including its line
// end, or up to the next start-of-frame character, which stays for the next frame.
void flushToCRorSOF() {
    if (rx.count == 0) {
        line_consumed();
        return;
    }
    while (rx.count) {
        const uint8_t c = rx.peek();
        if (c == eepromData.rs485Sof) return;
        rx.take();
        if (c == 0 || c == kCR) {
            line_consumed();
            return;
        }
    }
}

// "?" and a digit: every module whose high address digit it is answers, each after its low
// digit's share of slots, so that the replies on the bus do not collide.
void answer_discovery(uint8_t high, uint8_t low) {
    rx.take();
    const int digit = take_hex_digit();
    if (digit >= 0 && digit == high) {
        KV_Delay(kDefaultBaud / baudrate0 * low);
        char reply[24];
        kv_snprintf(reply, sizeof reply, "SOF%02XADR%02X\r", eepromData.rs485Sof,
                    eepromData.rs485Addr);
        txString(reply);
    }
    flushToCRorSOF();
}

}  // namespace

int take_addressed_frame() {
    while (rx.count) {
        if (rx.take() == eepromData.rs485Sof) break;
    }
    if (rx.count <= 2) {
        flushToCRorSOF();
        return kNoLine;
    }
    const uint8_t high = uint8_t(eepromData.rs485Addr >> 4);
    const uint8_t low = uint8_t(eepromData.rs485Addr & 0x0F);
    if (rx.peek() == kDiscovery) {
        answer_discovery(high, low);
        return kNoLine;
    }
    const int d1 = take_hex_digit();
    const int d2 = take_hex_digit();
    if (d1 != high || d2 != low) {
        flushToCRorSOF();
        return kNoLine;
    }
    return kLineReady;
}

}  // namespace serial

using namespace serial;

int rs485Active() {
    return eepromData.rs485Mode == kPortFlagOn ? 1 : 0;
}

void Init_485mode() {
    if (rs485Active()) {
        rxStopped = 1;  // never send XOFF on the bus
        rs485prefix[0] = char(eepromData.rs485Sof);
        rs485prefix[1] = 'F';
        rs485prefix[2] = 'F';
        rs485prefix[3] = 0;
        makeUart1Main();
    } else {
        rxStopped = 0;
    }
}
