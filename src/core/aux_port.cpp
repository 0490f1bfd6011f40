// The auxiliary port: a plain pass-through channel whose input waits in its own ring for "ain"
// (or is forwarded to the host), and whose output the host sends with "aout". Its escape
// character, received three times in a row, hands the host role to the other port.
#include "base/settings_record.h"
#include "core/serial_private.h"
#include "device/board.h"

namespace serial {

volatile uint8_t auxEscCnt;

namespace {

constexpr int kAinMaxBytes = 128;

RxRing<kAuxRingSize> aux;
TxChannel auxTx;

}  // namespace

void auxInit() {
    aux.clear();
    auxTx.ptr = nullptr;
    auxTx.busy = 0;
    auxTx.draining = 0;
    auxEscCnt = 0;
}

void aux_isr() {
    const int p = auxPort();
    while (uart_rx_ready(p)) {
        const uint8_t c = uart_rx_read(p);
        if (!aux.full()) aux.put(c);
        if (c == eepromData.auxEsc)
            auxEscCnt = uint8_t(auxEscCnt + 1);
        else
            auxEscCnt = 0;
    }
    tx_service(p, auxTx);
}

}  // namespace serial

using namespace serial;

int anyAuxRx() {
    return aux.count;
}

void getAuxRx(char* buf, int max) {
    int n = 0;
    while (n < max - 1 && aux.count) buf[n++] = char(aux.take());
    if (max > 0) buf[n] = 0;
}

int getAinBin(uint8_t* buf, int n) {
    // A request beyond what "ainb" asks for takes the whole ring.
    if (n > kAinMaxBytes) n = kAuxRingSize;
    int got = 0;
    while (got < n && aux.count) buf[got++] = aux.take();
    return got;
}

void aFlushRx() {
    IrqGuard guard;
    aux.clear();
}

void aTxString(const char* s) {
    while (auxTx.busy) board_idle();
    if (!s[0]) return;
    send_through(auxPort(), auxTx, s);
}

void aTxBinary(const uint8_t* bytes, int n) {
    if (n > kTxMaxBinary) {
        txString(":internal error aTxBinary()\r");
        return;
    }
    while (auxTx.busy) board_idle();
    poll_write(auxPort(), bytes, n);
}
