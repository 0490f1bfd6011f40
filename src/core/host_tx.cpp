// The transmit path of the host port: replies, notifications (queued for the poll in RS-485
// addressed mode), binary replies and the flow-control bytes of the receive side.
#include <cstdarg>
#include <cstring>

#include "base/format.h"
#include "core/serial_private.h"
#include "device/board.h"
#include "device/timebase.h"

char out_buffer[kOutBufferSize];

namespace serial {

TxChannel hostTx;

namespace {

constexpr int kXoffWaitSteps = 20;
constexpr int kXoffWaitStepMs = 5;
constexpr int kRs485MaxPayload = kTxMaxString - kRs485PrefixLen;

char txBuf[kTxBufSize];
char flowByte[2];

void wait_for_host_xon() {
    for (int step = 0; xoff && step < kXoffWaitSteps; ++step) KV_Delay(kXoffWaitStepMs);
    xoff = 0;
}

// Sends txBuf through the host transmit interrupt and waits until the string has left.
void send_txbuf() {
    send_through(hostPort(), hostTx, txBuf);
    txBuf[0] = 0;
    stringSent = uint8_t(stringSent + 1);
}

void vformat_and(void (*send)(const char*), const char* fmt, va_list args) {
    char text[kTxMaxString];  // at most 127 characters and the terminator
    kv_vsnprintf(text, sizeof text, fmt, args);
    send(text);
}

}  // namespace

void send_through(int port, TxChannel& channel, const char* s) {
    while (channel.busy) board_idle();
    if (port == kCom1) uart_com1_tx_enable(true);
    {
        IrqGuard guard;
        channel.ptr = s;
        channel.busy = 1;
        channel.draining = 0;
        uart_tx_irq(port, true);
    }
    while (channel.busy) board_idle();
}

void send_flow_byte(uint8_t byte) {
    if (hostTx.busy) return;
    const int p = hostPort();
    flowByte[0] = char(byte);
    flowByte[1] = 0;
    hostTx.ptr = flowByte;
    hostTx.busy = 1;
    if (p == kCom1) uart_com1_tx_enable(true);
    uart_tx_irq(p, true);
}

void tx_service(int port, TxChannel& ch) {
    if (!ch.busy) return;
    if (!ch.draining) {
        while (*ch.ptr && uart_tx_ready(port)) {
            uart_tx_write(port, uint8_t(*ch.ptr));
            ch.ptr = ch.ptr + 1;
        }
        if (*ch.ptr) return;
        uart_tx_irq(port, false);
        if (port != kCom1) {
            ch.busy = 0;
            return;
        }
        ch.draining = 1;
        uart_txc_irq(port, true);
    }
    if (ch.draining && uart_tx_complete(port)) {
        uart_txc_irq(port, false);
        ch.draining = 0;
        ch.busy = 0;
        uart_com1_tx_enable(false);
    }
}

void host_tx_service() {
    tx_service(hostPort(), hostTx);
}

// No interrupt announces the end of a polled byte: a board that sleeps until the next interrupt
// would wait for the next millisecond tick each time, so these waits only poll.
constexpr uint32_t kTxPollNs = 20000;

void poll_write(int port, const uint8_t* bytes, int n) {
    if (port == kCom1) uart_com1_tx_enable(true);
    for (int i = 0; i < n; ++i) {
        while (!uart_tx_complete(port)) board_idle_for(kTxPollNs);
        uart_tx_write(port, bytes[i]);
    }
    while (!uart_tx_complete(port)) board_idle_for(kTxPollNs);
    if (port == kCom1) uart_com1_tx_enable(false);
}

void txInit() {
    txBuf[0] = 0;
    hostTx.ptr = txBuf;
    hostTx.busy = 0;
    hostTx.draining = 0;
}

}  // namespace serial

using namespace serial;

void txString(const char* s) {
    wait_for_host_xon();
    if (rs485Active()) {
        if (txBuf[0]) send_txbuf();
        std::strcpy(txBuf, rs485prefix);
        std::strncat(txBuf, s, kRs485MaxPayload);
    } else {
        while (hostTx.busy) board_idle();
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
    while (hostTx.busy) board_idle();
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
    while (hostTx.busy) board_idle();
    poll_write(hostPort(), bytes, n);
    stringSent = uint8_t(stringSent + 1);
}

void txWait() {
    while (hostTx.busy) board_idle();
    while (!uart_tx_complete(hostPort())) board_idle_for(kTxPollNs);
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
