#include "core/diagnostic_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/timebase.h"

int row_fb_dump(char* line) {
    int row;
    if (kv_sscanf(line, "*FB %d", &row) != 1) return kNoMatch;
    if (row < 0 || row >= int(panel::kHeight)) return kCmdFailed;
    const uint16_t* pixels = lcd_framebuffer() + uint32_t(row) * panel::kWidth;
    char piece[8];
    for (int x = 0; x < int(panel::kWidth); ++x) {
        const bool last = x == int(panel::kWidth) - 1;
        kv_snprintf(piece, sizeof piece, last ? "%04X" : "%04X,", unsigned(pixels[x]));
        txString(piece);
    }
    return kCmdDone;
}

int row_speedtest(char* line) {
    if (!prefix(line, "*speedtest")) return kNoMatch;
    int count;
    if (kv_sscanf(line, "%*s %d", &count) != 1 || count < 1) return kCmdFailed;
    const char* open = std::strchr(line, '<');
    if (!open) return kCmdFailed;
    const char* start = open + 1;
    const char* close = std::strchr(start, '>');
    const size_t length = close ? size_t(close - start) : std::strlen(start);
    if (length == 0) return kCmdFailed;

    // The copy lives on this call's stack, not in the reply buffer: the command formats its
    // replies there, and a nested "*speedtest" makes a copy of its own while this one's line is
    // still needed for the next run. Each run starts from a fresh copy because handlers may
    // write into the line they are given.
    char command[kLineBufSize];
    const size_t kept = length < sizeof command ? length : sizeof command - 1;
    const uint32_t started = KV_TimerGetMsCount();
    for (int i = 0; i < count; ++i) {
        std::memcpy(command, start, kept);
        command[kept] = 0;
        parse_command(command);
        // Each run is a command line's worth of work, so on the simulated board the time
        // measured is the modelled cost of the runs plus whatever they waited for.
        board_checkpoint(Work::kCommandLine);
    }
    const uint32_t elapsed = KV_TimerGetMsCount() - started;
    kv_snprintf(out_buffer, sizeof out_buffer, ":time/command = %d ms\r",
                int(elapsed / uint32_t(count)));
    txString(out_buffer);
    return kCmdDone;
}
