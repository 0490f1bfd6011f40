// Line intake from the host port: the receive interrupt's side (flow control, binary commands,
// line counting) and the main loop's side (isLineAvail, rxString and the peeks of the waiting
// text).
#include <cstring>

#include "base/settings_record.h"
#include "core/serial_private.h"
#include "device/board.h"

namespace serial {

RxRing<kRxRingSize> rx;
volatile uint16_t rxGotLine;
volatile uint8_t startCmd = 1;
volatile uint8_t binaryMode;
volatile uint8_t rxStopped;
volatile uint8_t xoff;
volatile uint8_t bufferOverflow;
volatile uint8_t rawRx[kUartCount];

namespace {

// The longest text line the intake delivers; waiting text longer than this without a line end
// can only become "*SERR".
constexpr int kLongestLine = kLineBufSize;
// An over-long line whose start was discarded: its bytes are dropped up to its CR, which then
// stands for the whole line ("*SERR").
volatile uint8_t rxDiscarding;
volatile uint8_t rxSerrPending;

// Auxiliary-escape characters in a row that hand the host role to the other port.
constexpr uint8_t kAuxEscapeCount = 3;

// Raw reception (binary transfers): every byte is stored as it comes.
void raw_rx_byte(uint8_t c) {
    if (rx.count > kRxXoffLevel && !rxStopped) {
        send_flow_byte(kXoff);
        rxStopped = 1;
    }
    if (rx.full()) {
        bufferOverflow = 1;
        return;
    }
    rx.put(c);
}

// Stores a byte of text or of a binary command and counts the lines it completes.
void store_byte(uint8_t c) {
    if (c > kBinaryLead && binaryMode == 0 && binaryEnable && startCmd == 1) {
        rx.put(c);
        binaryMode = uint8_t(c - kBinaryLead);
    } else if (binaryMode) {
        rx.put(c);
        binaryMode = uint8_t(binaryMode - 1);
        if (binaryMode == 0) {
            rxGotLine = uint16_t(rxGotLine + 1);
            startCmd = 1;
        }
    } else if (c == kCR) {
        rx.put(c);
        rxGotLine = uint16_t(rxGotLine + 1);
        startCmd = 1;
    } else {
        rx.put(c);
        startCmd = 0;
    }
}

// The host port's role changes when the auxiliary port has received its escape character three
// times in a row: com1 becomes the host port, or com0 again (leaving RS-485 mode).
void follow_aux_escape() {
    if (auxEscCnt < kAuxEscapeCount) return;
    auxEscCnt = 0;
    if (mainIsUart0) {
        makeUart1Main();
    } else {
        eepromData.rs485Mode = kUnset;
        makeUart0Main();
    }
}

// Text that has grown past the longest line without a line end can only become "*SERR": drop
// it now and the rest up to its CR as it arrives, so the ring drains and a host paused by XOFF
// in the middle of such a line is released.
void drop_overlong_text() {
    if (rxGotLine == 0 && binaryMode == 0 && rx.count > kLongestLine && !rawRx[hostPort()]) {
        IrqGuard guard;
        rx.clear();
        rxDiscarding = 1;
    }
}

// XON follows free space, not complete lines: a host paused in the middle of a line could
// otherwise never send the CR that would let the module read on.
void release_host_when_drained() {
    if (rxStopped && rx.count <= kRxXonLevel && !hostTx.busy) {
        IrqGuard guard;
        send_flow_byte(kXon);
        rxStopped = 0;
    }
}

void fail_line(char* buf) {
    rxReset();
    std::strcpy(buf, "*SERR");
}

}  // namespace

void host_rx_byte(uint8_t c) {
    const int p = hostPort();
    if (rawRx[p]) {
        raw_rx_byte(c);
        return;
    }
    bool replaced = false;
    if (p == kCom1 && rx.count > 1 && rxGotLine == 0) {
        const uint16_t last = rx.prev(rx.head);
        if (rx.buf[last] == kCR || rx.buf[rx.prev(last)] == kCR) {
            c = 0;
            replaced = true;
        }
    }
    if (!replaced) {
        if (c == kXoff) {
            xoff = 1;
            return;
        }
        if (c == kXon) {
            xoff = 0;
            return;
        }
    }
    if (rx.count > kRxXoffLevel && !rxStopped && !hostTx.busy) {
        send_flow_byte(kXoff);
        rxStopped = 1;
    }
    if (rxDiscarding) {
        if (c != kCR) return;
        rxDiscarding = 0;
        rxSerrPending = 1;
    }
    if (rx.full()) {
        bufferOverflow = 1;
        return;
    }
    store_byte(c);
}

void line_consumed() {
    IrqGuard guard;
    if (rxGotLine) rxGotLine = uint16_t(rxGotLine - 1);
}

void rxInit() {
    rx.clear();
    rxGotLine = 0;
    startCmd = 1;
    binaryMode = 0;
    binaryEnable = 1;
    binaryDisable = 0;
    rxStopped = 0;
    xoff = 0;
    bufferOverflow = 0;
    rxDiscarding = 0;
    rxSerrPending = 0;
    rawRx[kCom0] = 0;
    rawRx[kCom1] = 0;
}

}  // namespace serial

using namespace serial;

void rxReset() {
    interrupt_disable(uart_irq_source(kCom0));
    interrupt_disable(uart_irq_source(kCom1));
    rx.clear();
    rxGotLine = 0;
    binaryMode = 0;
    rxSerrPending = 0;
    interrupt_enable(uart_irq_source(kCom0), 0);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

int isLineAvail() {
    follow_aux_escape();
    if (bufferOverflow) {
        bufferOverflow = 0;
        rxReset();
        xoff = 0;
        return kRxOverflow;
    }
    if (!rs485Active()) {
        drop_overlong_text();
        release_host_when_drained();
    }
    if (rxGotLine == 0) {
        if (binaryMode > 2) {
            rxReset();
            return kBinaryDropped;
        }
        return kNoLine;
    }
    if (rs485Active()) return take_addressed_frame();
    return kLineReady;
}

void rxString(char* buf, int max) {
    if (rxSerrPending) {
        // The CR that ended a discarded over-long line.
        rxSerrPending = 0;
        while (rx.count) {
            if (rx.take() == kCR) break;
        }
        line_consumed();
        std::strcpy(buf, "*SERR");
        return;
    }
    if (rx.count == 0) {
        rxReset();
        std::strcpy(buf, "*IERR");
        return;
    }
    uint8_t c = rx.take();
    if (c > kBinaryLead && binaryEnable) {
        const int count = c - kBinaryLead;
        // Lead byte, its bytes and a terminator must fit.
        if (count + 2 > max) {
            fail_line(buf);
            return;
        }
        buf[0] = char(c);
        int n = 1;
        for (int i = 0; i < count && rx.count; ++i) buf[n++] = char(rx.take());
        buf[n] = 0;
        line_consumed();
        return;
    }
    if (c == kLF) {
        if (rx.count == 0) {
            fail_line(buf);
            return;
        }
        c = rx.take();
    }
    int n = 0;
    for (;;) {
        if (c == kBackspace) {
            if (n) --n;
        } else {
            buf[n++] = char(c);
            if (c == kCR) {
                buf[n] = 0;
                line_consumed();
                return;
            }
        }
        if (n == max - 1) {
            // No room for more: only the line end may follow, and it is not stored.
            if (rx.count && rx.peek() == kCR) {
                rx.take();
                buf[n] = 0;
                line_consumed();
                return;
            }
            fail_line(buf);
            return;
        }
        if (rx.count == 0) {
            fail_line(buf);
            return;
        }
        c = rx.take();
    }
}

int checkEscape() {
    uint16_t i = rx.tail;
    for (uint16_t k = 0; k + 1 < rx.count; ++k) {
        if (rx.buf[i] == kEsc && rx.buf[rx.next(i)] == kCR) return 1;
        i = rx.next(i);
    }
    return 0;
}

int checkAbortCmd() {
    static const char kAbort[] = "*abt\r";
    if (rxGotLine == 0 || rx.count <= 4) return 0;
    uint16_t i = rx.head;
    for (int k = 4; k >= 0; --k) {
        i = rx.prev(i);
        if (rx.buf[i] != uint8_t(kAbort[k])) return 0;
    }
    return 1;
}

void fakeNullCommand() {
    IrqGuard guard;
    if (rx.full()) return;
    rx.put(kCR);
    rxGotLine = uint16_t(rxGotLine + 1);
    startCmd = 1;
}

int waitChar() {
    while (rx.count == 0) board_idle();
    const uint8_t c = rx.take();
    // The CR was counted as the end of a command line when it arrived; taken as a key it ends
    // none, and the main loop must not wait for a line that is not there.
    if (c == kCR) line_consumed();
    return c;
}

int peekChar() {
    return rx.count ? rx.peek() : -1;
}

int lineWaitingStartsWith(char c) {
    return rxGotLine && rx.count && rx.peek() == uint8_t(c);
}

void setRawReception(int on) {
    rawRx[hostPort()] = on ? 1 : 0;
}
