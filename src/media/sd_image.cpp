#include "media/sd_image.h"

#include <cstring>

#include "base/host_text.h"
#include "fs/sdcard.h"
#include "gui/image_decode.h"
#include "media/ext_check.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"

namespace {

constexpr uint32_t kBlock = 512;

constexpr uint32_t round_up(uint32_t v) {
    return (v + kBlock - 1) / kBlock * kBlock;
}

// Every request fits: the window it leaves runs from the block it starts in to the block its last
// byte lies in.
static_assert(round_up(kBlock - 1 + kImageRequestLimit) <= kImageDataBufSize);

alignas(4) uint8_t imageDataBuf[kImageDataBufSize];

// The window: file bytes [windowStart, windowEnd) are at imageDataBuf[0...].
uint32_t windowStart;
uint32_t windowEnd;

// Reads whole blocks from windowEnd on until the window covers `end`, never past the end of the
// file; false when the file cannot be positioned or gives fewer bytes.
bool extend_window(FS_FILE* file, uint32_t end) {
    uint64_t want = round_up(end) - uint64_t(windowEnd);
    if (windowEnd + want > file->size) want = file->size - windowEnd;
    if (file->position != windowEnd && fseek(file, long(windowEnd), 0) != 0) return false;
    const size_t got = fread(imageDataBuf + (windowEnd - windowStart), 1, size_t(want), file);
    if (got != want) return false;
    windowEnd += uint32_t(want);
    return true;
}

// The free part of the external-memory RAM area, for a progressive JPEG image's coefficients:
// all of it unless the bitmap/macro file lies there.
void hand_jpeg_work_area() {
    uint32_t used = 0;
    if (ExtMem_InRam()) {
        ExtView view;
        used = ExtMem_View(&view) ? view.size : kExtMemSize;
    }
    used = (used + 7u) & ~7u;
    if (used >= kExtMemSize) {
        GUI_JPEG_SetWorkArea(nullptr, 0);
    } else {
        GUI_JPEG_SetWorkArea(ExtMemRamBuffer + used, kExtMemSize - used);
    }
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

}  // namespace

int GetData_Ex_SdImageFile(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
    auto* file = static_cast<FS_FILE*>(context);
    if (!file || !data) return 0;
    if (offset == 0) windowStart = windowEnd = 0;
    if (offset >= file->size) return 0;
    uint32_t n = count < kImageRequestLimit ? count : kImageRequestLimit;
    if (n > file->size - offset) n = file->size - offset;
    const uint32_t end = offset + n;
    const bool inside = offset >= windowStart && offset < windowEnd;
    if (!inside || end > windowEnd) {
        const uint32_t block = offset / kBlock * kBlock;
        if (inside) {
            // Reading on: the blocks from the one the request starts in stay (normally the
            // window's last), and only those after the window are read.
            std::memmove(imageDataBuf, imageDataBuf + (block - windowStart), windowEnd - block);
            windowStart = block;
        } else {
            windowStart = windowEnd = block;
        }
        if (!extend_window(file, end)) {
            // What the buffer holds is no longer known to match the window.
            windowStart = windowEnd = 0;
            return 0;
        }
    }
    *data = imageDataBuf + (offset - windowStart);
    return int(n);
}

int KV_Draw_SdImageFile(const char* name, int x, int y) {
    if (!SDisInitialized()) {
        txString(":SD Card not initialized.\r");
        return 0;
    }
    FS_FILE* file = SD_fopen(name, kFsModeRead);
    if (!file) {
        pout(":cannot open SD card file \"%s\".\r", name);
        return 0;
    }
    const size_t length = std::strlen(name);
    const char* tail = name + (length > 3 ? length - 3 : 0);
    char type[4] = {};
    for (int i = 0; i < 3 && tail[i]; ++i) type[i] = upper(tail[i]);
    int refused = 1;
    if (std::strcmp(type, "BMP") == 0) {
        refused = GUI_BMP_DrawEx(GetData_Ex_SdImageFile, file, x, y);
    } else if (std::strcmp(type, "GIF") == 0) {
        refused = GUI_GIF_DrawEx(GetData_Ex_SdImageFile, file, x, y);
    } else if (std::strcmp(type, "JPG") == 0) {
        hand_jpeg_work_area();
        refused = GUI_JPEG_DrawEx(GetData_Ex_SdImageFile, file, x, y);
    } else {
        pout(":file type\"%s\" not supported.\r", type);
    }
    SD_fclose(file);
    return refused ? 0 : 1;
}
