#include "core/serial.h"

#include <cstdarg>
#include <cstring>

#include "base/format.h"
#include "device/board.h"
#include "device/timebase.h"
#include "settings/settings.h"

volatile uint8_t mainIsUart0 = 1;
uint8_t prevMain;
uint32_t baudrate0 = kDefaultBaud;
uint32_t baudrate1 = kDefaultBaud;
volatile uint8_t binaryEnable = 1;
volatile uint8_t binaryDisable;
volatile uint8_t stringSent;
char out_buffer[kOutBufferSize];

namespace {

constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;
constexpr uint8_t kBackspace = 0x08;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBinaryLead = 0x80;  // a lead byte above this starts a binary command
constexpr uint32_t kDividerModulator = 9999;
constexpr uint32_t kDividerScale = 1662;  // the reference clock in units of 10 kHz
constexpr int kXoffWaitSteps = 20;
constexpr int kXoffWaitStepMs = 5;
constexpr int kRs485PrefixLen = 3;
constexpr int kRs485MaxPayload = kTxMaxString - kRs485PrefixLen;
// The longest text line the intake delivers; waiting text longer than this without a line end
// can only become "*SERR".
constexpr int kLongestLine = kLineBufSize;

// --- host-port receive state (shared with the receive interrupt) ---
uint8_t rxBuf[kRxRingSize];
volatile uint16_t rxHead;  // next write
volatile uint16_t rxTail;  // next read
volatile uint16_t rxCount;
volatile uint16_t rxGotLine;
volatile uint8_t startCmd = 1;
volatile uint8_t binaryMode;
volatile uint8_t rxStopped;
volatile uint8_t xoff;
volatile uint8_t bufferOverflow;
volatile uint8_t rawRx[kUartCount];
// An over-long line whose start was discarded: its bytes are dropped up to its CR, which then
// stands for the whole line ("*SERR").
volatile uint8_t rxDiscarding;
volatile uint8_t rxSerrPending;

// --- host-port transmit state ---
char txBuf[kTxBufSize];
const char* volatile txPtr;
volatile uint8_t txBusy;
volatile uint8_t txDraining;  // com1: all bytes written, waiting for the line to fall quiet
char flowByte[2];

// --- auxiliary port state ---
uint8_t aRxBuf[kAuxRingSize];
volatile uint16_t aRxHead;
volatile uint16_t aRxTail;
volatile uint16_t aRxCount;
const char* volatile aTxPtr;
volatile uint8_t aTxBusy;
volatile uint8_t aTxDraining;
volatile uint8_t auxEscCnt;

char rs485prefix[kRs485PrefixLen + 1];

uint16_t ring_next(uint16_t i) {
    return uint16_t((i + 1) % kRxRingSize);
}
uint16_t ring_prev(uint16_t i) {
    return uint16_t((i + kRxRingSize - 1) % kRxRingSize);
}

// ---------------------------------------------------------------------------------------------
// Interrupt side

void rx_store(uint8_t c) {
    rxBuf[rxHead] = c;
    rxHead = ring_next(rxHead);
    rxCount = uint16_t(rxCount + 1);
}

// Starts sending a single flow-control byte when the host transmitter is idle.
void send_flow_byte(uint8_t byte) {
    if (txBusy) return;
    const int p = hostPort();
    flowByte[0] = char(byte);
    flowByte[1] = 0;
    txPtr = flowByte;
    txBusy = 1;
    if (p == kCom1) uart_com1_tx_enable(true);
    uart_tx_irq(p, true);
}

void host_rx_byte(uint8_t c) {
    const int p = hostPort();
    if (rawRx[p]) {
        if (rxCount > kRxXoffLevel && !rxStopped) {
            send_flow_byte(kXoff);
            rxStopped = 1;
        }
        if (rxCount >= kRxRingSize) {
            bufferOverflow = 1;
            return;
        }
        rx_store(c);
        return;
    }
    bool replaced = false;
    if (p == kCom1 && rxCount > 1 && rxGotLine == 0) {
        const uint16_t last = ring_prev(rxHead);
        if (rxBuf[last] == kCR || rxBuf[ring_prev(last)] == kCR) {
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
    if (rxCount > kRxXoffLevel && !rxStopped && !txBusy) {
        send_flow_byte(kXoff);
        rxStopped = 1;
    }
    if (rxDiscarding) {
        if (c != kCR) return;
        rxDiscarding = 0;
        rxSerrPending = 1;
    }
    if (rxCount >= kRxRingSize) {
        bufferOverflow = 1;
        return;
    }
    if (c > kBinaryLead && binaryMode == 0 && binaryEnable && startCmd == 1) {
        rx_store(c);
        binaryMode = uint8_t(c - kBinaryLead);
    } else if (binaryMode) {
        rx_store(c);
        binaryMode = uint8_t(binaryMode - 1);
        if (binaryMode == 0) {
            rxGotLine = uint16_t(rxGotLine + 1);
            startCmd = 1;
        }
    } else if (c == kCR) {
        rx_store(c);
        rxGotLine = uint16_t(rxGotLine + 1);
        startCmd = 1;
    } else {
        rx_store(c);
        startCmd = 0;
    }
}

// Transmit side of an interrupt: feeds the FIFO from *ptr; at the end of the string com0 is
// done, com1 first waits until its transmitter has finished so the RS-485 driver can be let go.
void tx_service(int port, const char* volatile& ptr, volatile uint8_t& busy,
                volatile uint8_t& draining) {
    if (!busy) return;
    if (!draining) {
        while (*ptr && uart_tx_ready(port)) {
            uart_tx_write(port, uint8_t(*ptr));
            ptr = ptr + 1;
        }
        if (*ptr) return;
        uart_tx_irq(port, false);
        if (port != kCom1) {
            busy = 0;
            return;
        }
        draining = 1;
        uart_txc_irq(port, true);
    }
    if (draining && uart_tx_complete(port)) {
        uart_txc_irq(port, false);
        draining = 0;
        busy = 0;
        uart_com1_tx_enable(false);
    }
}

void host_isr() {
    const int p = hostPort();
    while (uart_rx_ready(p)) host_rx_byte(uart_rx_read(p));
    tx_service(p, txPtr, txBusy, txDraining);
}

void aux_isr() {
    const int p = auxPort();
    while (uart_rx_ready(p)) {
        const uint8_t c = uart_rx_read(p);
        if (aRxCount < kAuxRingSize) {
            aRxBuf[aRxHead] = c;
            aRxHead = uint16_t((aRxHead + 1) % kAuxRingSize);
            aRxCount = uint16_t(aRxCount + 1);
        }
        if (c == eepromData.auxEsc)
            auxEscCnt = uint8_t(auxEscCnt + 1);
        else
            auxEscCnt = 0;
    }
    tx_service(p, aTxPtr, aTxBusy, aTxDraining);
}

// ---------------------------------------------------------------------------------------------
// Main-loop side helpers

void install_handlers() {
    const int host = hostPort();
    const int aux = auxPort();
    interrupt_disable(uart_irq_source(kCom0));
    interrupt_disable(uart_irq_source(kCom1));
    interrupt_set_isr(uart_irq_source(host), host_isr);
    interrupt_set_isr(uart_irq_source(aux), aux_isr);
    interrupt_enable(uart_irq_source(kCom0), 0);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

// Takes the next waiting byte (the caller has checked that one is waiting).
uint8_t rx_take() {
    const uint8_t c = rxBuf[rxTail];
    rxTail = ring_next(rxTail);
    IrqGuard guard;
    rxCount = uint16_t(rxCount - 1);
    return c;
}

void line_consumed() {
    IrqGuard guard;
    if (rxGotLine) rxGotLine = uint16_t(rxGotLine - 1);
}

int hex_digit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Drops the rest of an RS-485 frame that is not for this module: up to and including its line
// end, or up to the next start-of-frame character, which stays for the next frame.
void flushToCRorSOF() {
    if (rxCount == 0) {
        line_consumed();
        return;
    }
    while (rxCount) {
        const uint8_t c = rxBuf[rxTail];
        if (c == eepromData.rs485Sof) return;
        rx_take();
        if (c == 0 || c == kCR) {
            line_consumed();
            return;
        }
    }
}

void wait_for_host_xon() {
    for (int step = 0; xoff && step < kXoffWaitSteps; ++step) KV_Delay(kXoffWaitStepMs);
    xoff = 0;
}

// Sends txBuf through the host transmit interrupt and waits until the string has left.
void send_txbuf() {
    const int p = hostPort();
    while (txBusy) board_idle();
    if (p == kCom1) uart_com1_tx_enable(true);
    {
        IrqGuard guard;
        txPtr = txBuf;
        txBusy = 1;
        txDraining = 0;
        uart_tx_irq(p, true);
    }
    while (txBusy) board_idle();
    txBuf[0] = 0;
    stringSent = uint8_t(stringSent + 1);
}

void program_divider(int port, uint32_t rate) {
    uint32_t increment = 1108;
    if (KV_BaudSupported(rate)) increment = rate * 16 / kDividerScale - 1;
    uart_set_divider(port, increment, kDividerModulator);
}

// Writes bytes one at a time, each after the previous has completely left the transmitter.
void poll_write(int port, const uint8_t* bytes, int n) {
    if (port == kCom1) uart_com1_tx_enable(true);
    for (int i = 0; i < n; ++i) {
        while (!uart_tx_complete(port)) board_idle();
        uart_tx_write(port, bytes[i]);
    }
    while (!uart_tx_complete(port)) board_idle();
    if (port == kCom1) uart_com1_tx_enable(false);
}

void vformat_and(void (*send)(const char*), const char* fmt, va_list args) {
    char text[kTxMaxString];  // at most 127 characters and the terminator
    kv_vsnprintf(text, sizeof text, fmt, args);
    send(text);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Initialisation and roles

int hostPort() {
    return mainIsUart0 ? kCom0 : kCom1;
}
int auxPort() {
    return mainIsUart0 ? kCom1 : kCom0;
}
int rs485Active() {
    return eepromData.rs485Mode == kPortFlagOn ? 1 : 0;
}

void KV_COM_Init0() {
    interrupt_disable(uart_irq_source(kCom0));
    rxHead = 0;
    rxTail = 0;
    rxCount = 0;
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
    txBuf[0] = 0;
    txPtr = txBuf;
    txBusy = 0;
    txDraining = 0;
    uart_init(kCom0);
    KV_COM_BaudRate(KV_EEPROMvalid() ? KV_EEPROM_eeVal2Rate(eepromData.baud0) : kDefaultBaud);
    uart_rx_irq(kCom0, true);
    mainIsUart0 = 1;
    interrupt_set_isr(uart_irq_source(kCom0), host_isr);
    interrupt_enable(uart_irq_source(kCom0), 0);
}

void KV_COM_Init1() {
    interrupt_disable(uart_irq_source(kCom1));
    aRxHead = 0;
    aRxTail = 0;
    aRxCount = 0;
    aTxPtr = nullptr;
    aTxBusy = 0;
    aTxDraining = 0;
    auxEscCnt = 0;
    uart_init(kCom1);
    uart_com1_tx_enable(false);
    KV_AUX_BaudRate(KV_EEPROMvalid() ? KV_EEPROM_eeVal2Rate(eepromData.baud1) : kDefaultBaud);
    uart_rx_irq(kCom1, true);
    interrupt_set_isr(uart_irq_source(kCom1), mainIsUart0 ? aux_isr : host_isr);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

void makeUart0Main() {
    prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = 1;
    install_handlers();
}

void makeUart1Main() {
    prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = 0;
    install_handlers();
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

// ---------------------------------------------------------------------------------------------
// Baud rates

int KV_BaudSupported(uint32_t rate) {
    return KV_EEPROM_Rate2eeVal(rate) != 0xFF ? 1 : 0;
}

void KV_COM_BaudRate(uint32_t rate) {
    if (!KV_BaudSupported(rate)) rate = kDefaultBaud;
    program_divider(kCom0, rate);
    baudrate0 = rate;
}

void KV_AUX_BaudRate(uint32_t rate) {
    if (!KV_BaudSupported(rate)) rate = kDefaultBaud;
    program_divider(kCom1, rate);
    baudrate1 = rate;
}

uint32_t KV_COM_getBaud(int port) {
    return port == 0 ? baudrate0 : baudrate1;
}

// ---------------------------------------------------------------------------------------------
// Reception

void rxReset() {
    interrupt_disable(uart_irq_source(kCom0));
    interrupt_disable(uart_irq_source(kCom1));
    rxHead = 0;
    rxTail = 0;
    rxCount = 0;
    rxGotLine = 0;
    binaryMode = 0;
    rxSerrPending = 0;
    interrupt_enable(uart_irq_source(kCom0), 0);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

int isLineAvail() {
    if (auxEscCnt >= 3) {
        auxEscCnt = 0;
        if (mainIsUart0) {
            makeUart1Main();
        } else {
            eepromData.rs485Mode = kUnset;
            makeUart0Main();
        }
    }
    if (bufferOverflow) {
        bufferOverflow = 0;
        rxReset();
        xoff = 0;
        return kRxOverflow;
    }
    if (!rs485Active()) {
        // Text that has grown past the longest line without a line end can only become
        // "*SERR": drop it now and the rest up to its CR as it arrives, so the ring drains and a
        // host paused by XOFF in the middle of such a line is released.
        if (rxGotLine == 0 && binaryMode == 0 && rxCount > kLongestLine && !rawRx[hostPort()]) {
            IrqGuard guard;
            rxHead = 0;
            rxTail = 0;
            rxCount = 0;
            rxDiscarding = 1;
        }
        // XON follows free space, not complete lines: a host paused in the middle of a line
        // could otherwise never send the CR that would let the module read on.
        if (rxStopped && rxCount <= kRxXonLevel && !txBusy) {
            IrqGuard guard;
            send_flow_byte(kXon);
            rxStopped = 0;
        }
    }
    if (rxGotLine == 0) {
        if (binaryMode > 2) {
            rxReset();
            return kBinaryDropped;
        }
        return kNoLine;
    }
    if (rs485Active()) {
        while (rxCount) {
            if (rx_take() == eepromData.rs485Sof) break;
        }
        if (rxCount <= 2) {
            flushToCRorSOF();
            return kNoLine;
        }
        const uint8_t high = uint8_t(eepromData.rs485Addr >> 4);
        const uint8_t low = uint8_t(eepromData.rs485Addr & 0x0F);
        if (rxBuf[rxTail] == '?') {
            rx_take();
            const int digit = hex_digit(rx_take());
            if (digit >= 0 && digit == high) {
                KV_Delay(kDefaultBaud / baudrate0 * low);
                char reply[24];
                kv_snprintf(reply, sizeof reply, "SOF%02XADR%02X\r", eepromData.rs485Sof,
                            eepromData.rs485Addr);
                txString(reply);
            }
            flushToCRorSOF();
            return kNoLine;
        }
        const int d1 = hex_digit(rx_take());
        const int d2 = hex_digit(rx_take());
        if (d1 != high || d2 != low) {
            flushToCRorSOF();
            return kNoLine;
        }
        return kLineReady;
    }
    return kLineReady;
}

void rxString(char* buf, int max) {
    if (rxSerrPending) {
        // The CR that ended a discarded over-long line.
        rxSerrPending = 0;
        while (rxCount) {
            if (rx_take() == kCR) break;
        }
        line_consumed();
        std::strcpy(buf, "*SERR");
        return;
    }
    if (rxCount == 0) {
        rxReset();
        std::strcpy(buf, "*IERR");
        return;
    }
    uint8_t c = rx_take();
    if (c > kBinaryLead && binaryEnable) {
        const int count = c - kBinaryLead;
        // Lead byte, its bytes and a terminator must fit.
        if (count + 2 > max) {
            rxReset();
            std::strcpy(buf, "*SERR");
            return;
        }
        buf[0] = char(c);
        int n = 1;
        for (int i = 0; i < count && rxCount; ++i) buf[n++] = char(rx_take());
        buf[n] = 0;
        line_consumed();
        return;
    }
    if (c == kLF) {
        if (rxCount == 0) {
            rxReset();
            std::strcpy(buf, "*SERR");
            return;
        }
        c = rx_take();
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
            if (rxCount && rxBuf[rxTail] == kCR) {
                rx_take();
                buf[n] = 0;
                line_consumed();
                return;
            }
            rxReset();
            std::strcpy(buf, "*SERR");
            return;
        }
        if (rxCount == 0) {
            rxReset();
            std::strcpy(buf, "*SERR");
            return;
        }
        c = rx_take();
    }
}

int checkEscape() {
    uint16_t i = rxTail;
    for (uint16_t k = 0; k + 1 < rxCount; ++k) {
        if (rxBuf[i] == kEsc && rxBuf[ring_next(i)] == kCR) return 1;
        i = ring_next(i);
    }
    return 0;
}

int checkAbortCmd() {
    static const char kAbort[] = "*abt\r";
    if (rxGotLine == 0 || rxCount <= 4) return 0;
    uint16_t i = rxHead;
    for (int k = 4; k >= 0; --k) {
        i = ring_prev(i);
        if (rxBuf[i] != uint8_t(kAbort[k])) return 0;
    }
    return 1;
}

void fakeNullCommand() {
    IrqGuard guard;
    if (rxCount >= kRxRingSize) return;
    rx_store(kCR);
    rxGotLine = uint16_t(rxGotLine + 1);
    startCmd = 1;
}

int waitChar() {
    while (rxCount == 0) board_idle();
    return rx_take();
}

int peekChar() {
    return rxCount ? rxBuf[rxTail] : -1;
}

int lineWaitingStartsWith(char c) {
    return rxGotLine && rxCount && rxBuf[rxTail] == uint8_t(c);
}

void setRawReception(int on) {
    rawRx[hostPort()] = on ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Auxiliary reception

int anyAuxRx() {
    return aRxCount;
}

static uint8_t aux_take() {
    const uint8_t c = aRxBuf[aRxTail];
    aRxTail = uint16_t((aRxTail + 1) % kAuxRingSize);
    IrqGuard guard;
    aRxCount = uint16_t(aRxCount - 1);
    return c;
}

void getAuxRx(char* buf, int max) {
    int n = 0;
    while (n < max - 1 && aRxCount) buf[n++] = char(aux_take());
    if (max > 0) buf[n] = 0;
}

int getAinBin(uint8_t* buf, int n) {
    if (n > 128) n = kAuxRingSize;
    int got = 0;
    while (got < n && aRxCount) buf[got++] = aux_take();
    return got;
}

void aFlushRx() {
    IrqGuard guard;
    aRxHead = 0;
    aRxTail = 0;
    aRxCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Transmission

void txString(const char* s) {
    wait_for_host_xon();
    if (rs485Active()) {
        if (txBuf[0]) send_txbuf();
        std::strcpy(txBuf, rs485prefix);
        std::strncat(txBuf, s, kRs485MaxPayload);
    } else {
        while (txBusy) board_idle();
        std::strncpy(txBuf, s, kTxMaxString);
        txBuf[kTxMaxString] = 0;
    }
    send_txbuf();
}

void txNotify(const char* s) {
    if (!rs485Active()) {
        txString(s);
        return;
    }
    const size_t queued = std::strlen(txBuf);
    const size_t len = std::strlen(s);
    if (queued + len + kRs485PrefixLen > size_t(kTxMaxString)) return;  // no room: dropped
    std::strcat(txBuf, rs485prefix);
    std::strcat(txBuf, s);
}

void txSavedBuf() {
    if (txBuf[0]) send_txbuf();
}

int anythingToTx() {
    return txBuf[0] ? 1 : 0;
}

void txChar(char c) {
    if (rs485Active() && txBuf[0]) send_txbuf();
    while (txBusy) board_idle();
    txBuf[0] = c;
    txBuf[1] = 0;
    send_txbuf();
}

void txBinary(const uint8_t* bytes, int n) {
    if (n > kTxMaxBinary) {
        txString(":internal error txBinary()\r");
        return;
    }
    wait_for_host_xon();
    while (txBusy) board_idle();
    poll_write(hostPort(), bytes, n);
    stringSent = uint8_t(stringSent + 1);
}

void txWait() {
    while (txBusy) board_idle();
    while (!uart_tx_complete(hostPort())) board_idle();
}

void aTxString(const char* s) {
    const int p = auxPort();
    while (aTxBusy) board_idle();
    if (!s[0]) return;
    if (p == kCom1) uart_com1_tx_enable(true);
    {
        IrqGuard guard;
        aTxPtr = s;
        aTxBusy = 1;
        aTxDraining = 0;
        uart_tx_irq(p, true);
    }
    while (aTxBusy) board_idle();
}

void aTxBinary(const uint8_t* bytes, int n) {
    if (n > kTxMaxBinary) {
        txString(":internal error aTxBinary()\r");
        return;
    }
    while (aTxBusy) board_idle();
    poll_write(auxPort(), bytes, n);
}

void pout(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vformat_and(txNotify, fmt, args);
    va_end(args);
}

void perr(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vformat_and(txString, fmt, args);
    va_end(args);
}
