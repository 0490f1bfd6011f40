// Raw binary transfers from the host ("bdld" and the chart values of "bcv"):
// the host port's receiver stores every byte as it comes, and the bytes are consumed in pieces
// under XON/XOFF flow control while the touch screen stays alive.
#pragma once

#include <cstdint>

// The largest piece a transfer takes at a time (the staging buffer).
constexpr uint32_t kBinPieceMax = 128;

// Raw reception on the current host port, with the ring emptied (both with the UART interrupts
// held off); restoreUartBinMain ends it and empties the ring again, dropping whatever the host
// sent after the last piece or after a failure.
void makeUartBinMain();
void restoreUartBinMain();

// What a transfer does with its bytes. next_piece gives the size of the next piece (1 to
// kBinPieceMax), or 0 when the transfer is complete; take_piece handles one complete piece and
// returns false to fail the transfer.
struct BinPieces {
    uint32_t (*next_piece)(void* context);
    bool (*take_piece)(void* context, const uint8_t* piece, uint32_t length);
    void* context;
};

// Sends the go-ahead (">" CR) in raw reception and feeds the pieces as they complete. Fails when
// no piece completes within timeout_ms of the go-ahead or of the previous piece, when the ring
// overflows, when a piece is refused or when a piece size is out of range. Raw reception has
// ended when it returns. 1 on success, 0 on failure (the caller's prompt tells the host).
int runBinTransfer(const BinPieces& pieces, uint32_t timeout_ms);

// Downloads length bytes from the host into the Flash2 window from offset address, programmed
// in pieces of 128 bytes (the last one shorter). 1 on success, 0 on failure; what was
// programmed before a failure stays.
int doFlashBinDownload(uint32_t address, uint32_t length, int timeout_ms);

// Plots `sets` sets of values into a chart as the host sends them: one piece per set, each pen's
// value as two bytes, low byte first (0xFFFF: the pen has no value). Fails at once, before the
// go-ahead, for a chart without pens or a negative count. 1 on success, 0 on failure; the sets
// plotted before a failure stay.
int doBinChartVals(int index, int sets, int timeout_ms);

// "bcv" chart sets.
int row_chart_values(char* line);

// "bdld %d %lx %ld %ld": mode 4 downloads into the Flash2 window, any other mode is refused.
int row_download(char* line);
