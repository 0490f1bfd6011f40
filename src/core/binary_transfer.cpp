#include "core/binary_transfer.h"

#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "controls/charts.h"
#include "core/serial_private.h"
#include "device/timebase.h"
#include "media/extmem_program.h"
#include "touch/hotspots.h"
#include "touch/touch.h"

using namespace serial;

namespace {

constexpr int kDownloadMode = 4;
constexpr int kChartValuesTimeoutMs = 5000;

// Both UARTs held off: the host role may sit on either, and the ring is shared.
class UartIrqsOff {
  public:
    UartIrqsOff() {
        interrupt_disable(uart_irq_source(kCom0));
        interrupt_disable(uart_irq_source(kCom1));
    }
    ~UartIrqsOff() {
        interrupt_enable(uart_irq_source(kCom0), 0);
        interrupt_enable(uart_irq_source(kCom1), 0);
    }
    UartIrqsOff(const UartIrqsOff&) = delete;
    UartIrqsOff& operator=(const UartIrqsOff&) = delete;
};

void empty_ring() {
    rx.clear();
    rxGotLine = 0;
    binaryMode = 0;
    startCmd = 1;
}

// The XOFF sent at more than 384 waiting bytes comes from the interrupt; the XON is this loop's,
// once the pieces taken have made room again. In RS-485 addressed mode the stop flag is held so
// that no flow-control byte ever goes onto the bus.
void release_host() {
    if (rs485Active()) return;
    if (rxStopped && rx.count <= kRxXonLevel && !hostTx.busy) {
        IrqGuard guard;
        send_flow_byte(kXon);
        rxStopped = 0;
    }
}

// Touch goes on during a transfer so that hotspots keep reporting. A press that was reported
// gets its release step too, or its release report would wait for the end of the transfer.
void keep_touch_alive() {
    int pressed = 0;
    KV_Touch_Get_State(&pressed, nullptr, nullptr);
    if (pressed || waitForRelease) handle_touch();
}

struct Download {
    uint32_t address;
    uint32_t remaining;
};

uint32_t download_next(void* context) {
    const auto* d = static_cast<const Download*>(context);
    return d->remaining < kBinPieceMax ? d->remaining : kBinPieceMax;
}

bool download_take(void* context, const uint8_t* piece, uint32_t length) {
    auto* d = static_cast<Download*>(context);
    if (KV_ExtMem_ProgramArea(d->address, piece, length) != kProgramOk) return false;
    d->address += length;
    d->remaining -= length;
    return true;
}

struct ChartValues {
    int chart;
    int pens;
    int remaining;  // sets
};

uint32_t chart_next(void* context) {
    const auto* v = static_cast<const ChartValues*>(context);
    return v->remaining > 0 ? uint32_t(v->pens) * 2 : 0;
}

bool chart_take(void* context, const uint8_t* piece, uint32_t) {
    auto* v = static_cast<ChartValues*>(context);
    int32_t values[kChartPens];
    for (int k = 0; k < v->pens; ++k) {
        const uint16_t raw = uint16_t(piece[2 * k] | piece[2 * k + 1] << 8);
        values[k] = raw == 0xFFFF ? kChartNoValue : int32_t(raw);
    }
    // A set the chart cannot plot does not end the transfer: the host is still sending the
    // rest, which would otherwise arrive as command lines.
    KV_Chart_Show(v->chart, v->pens, values);
    --v->remaining;
    return true;
}

}  // namespace

void makeUartBinMain() {
    UartIrqsOff off;
    rawRx[hostPort()] = 1;
    empty_ring();
}

void restoreUartBinMain() {
    UartIrqsOff off;
    rawRx[kCom0] = 0;
    rawRx[kCom1] = 0;
    empty_ring();
    // The transfer has already failed on an overflow; the main loop must not answer it again.
    bufferOverflow = 0;
}

int runBinTransfer(const BinPieces& pieces, uint32_t timeout_ms) {
    makeUartBinMain();
    txString(">\r");
    uint8_t staging[kBinPieceMax];
    gpTimer = timeout_ms;
    int result = 1;
    for (;;) {
        const uint32_t need = pieces.next_piece(pieces.context);
        if (need == 0) break;
        if (need > kBinPieceMax) {
            result = 0;
            break;
        }
        release_host();
        if (rx.count >= need) {
            for (uint32_t i = 0; i < need; ++i) staging[i] = rx.take();
            gpTimer = timeout_ms;
            if (!pieces.take_piece(pieces.context, staging, need)) {
                result = 0;
                break;
            }
            continue;
        }
        // The board's UARTs report no line errors, so overflow and silence are what can fail.
        if (bufferOverflow || gpTimer == 0) {
            result = 0;
            break;
        }
        keep_touch_alive();
        board_idle();
    }
    restoreUartBinMain();
    return result;
}

int doFlashBinDownload(uint32_t address, uint32_t length, int timeout_ms) {
    Download d{address, length};
    const BinPieces pieces{download_next, download_take, &d};
    return runBinTransfer(pieces, timeout_ms > 0 ? uint32_t(timeout_ms) : 0);
}

int doBinChartVals(int index, int sets, int timeout_ms) {
    const int pens = KV_Chart_Get_Pens(index);
    // A negative count would never complete, leaving the port raw while the host goes on with
    // its commands.
    if (pens == 0 || sets < 0) return 0;
    ChartValues v{index, pens, sets};
    const BinPieces pieces{chart_next, chart_take, &v};
    return runBinTransfer(pieces, timeout_ms > 0 ? uint32_t(timeout_ms) : 0);
}

int row_chart_values(char* line) {
    if (!prefix(line, "bcv")) return kNoMatch;
    int index, sets;
    if (kv_sscanf(line, "%*s %d %d", &index, &sets) != 2) return kCmdFailed;
    return doBinChartVals(index, sets, kChartValuesTimeoutMs);
}

int row_download(char* line) {
    int mode;
    unsigned long address;
    long length, timeout;
    if (kv_sscanf(line, "bdld %d %lx %ld %ld", &mode, &address, &length, &timeout) != 4) {
        return kNoMatch;
    }
    if (mode != kDownloadMode) return kCmdFailed;
    // A range the window cannot hold fails before the go-ahead rather than after the first
    // piece that reaches past it.
    if (length < 0 || address > kFlash2Size || uint64_t(length) > kFlash2Size - address) {
        return kCmdFailed;
    }
    constexpr long kLongestTimeoutMs = 0x7FFFFFFF;
    if (timeout > kLongestTimeoutMs) timeout = kLongestTimeoutMs;
    return doFlashBinDownload(uint32_t(address), uint32_t(length), int(timeout));
}
