// Rows of the command chain that work on the frame buffer directly (pixels, saved areas,
// scrolling) or on the whole screen. Each returns kNoMatch when the line is not its command.
#pragma once

#include <cstdint>

int row_pixel_read(char* line);   // "pr"
int row_pixel_write(char* line);  // "pw"
int row_clear_keep(char* line);   // "zs", "zs %d"
int row_clear(char* line);        // "z"
int row_area(char* line);         // "ws %d%d%d%d%d", "wr %d%d%d"
int row_wait_scan(char* line);    // "wvr", "wvr %d", "wrf %d %d"
int row_scroll(char* line);       // "k %d%d%d%d %d%9s"

// The screen-area store of "ws"/"wr": four slots, each with its own storage.
constexpr int kAreaSlots = 4;
constexpr uint32_t kAreaCapacity[kAreaSlots] = {0x35000, 0xD400, 0x1A800, 0xD400};
struct AreaSlot {
    uint16_t width;
    uint16_t height;
};
extern AreaSlot areaSlots[kAreaSlots];
