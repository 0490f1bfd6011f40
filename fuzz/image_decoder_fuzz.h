// What the image decoder targets share: the input's first bytes choose how the get-data function
// cuts the file into pieces, where the image is drawn, the clip box and the draw mode; the rest
// is the file. Each piece handed out is a fresh copy of exactly its size, freed at the next
// call, so that ASan catches a read past a piece or of a piece the decoder should have let go;
// a write outside the screen's pixels aborts.
//
// Prefix: byte 0 the pieces (low two bits: as asked, 1 byte, 1 to 7 bytes, 1 to as asked; the
// rest seeds the sizes), bytes 1 and 2 x and y (signed, times 8; bit 7 of byte 3 turns x into
// a value near INT_MAX or INT_MIN), byte 3 the clip box (low two bits: the screen, a small box,
// one set by byte 4, none) and XOR mode (bit 2), byte 4 the clip box's corner.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "fuzz_support.h"
#include "gui/gui.h"
#include "gui/image_decode.h"

namespace fuzz {

constexpr size_t kImagePrefix = 5;

struct Pieces {
    const uint8_t* file;
    size_t size;
    unsigned mode;
    uint32_t seed;
    uint8_t* last = nullptr;
};

inline int piece_data(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
    auto* p = static_cast<Pieces*>(context);
    delete[] p->last;
    p->last = nullptr;
    if (count > kGuiImageRequestMax) std::abort();
    if (offset >= p->size || count == 0) return 0;
    unsigned n = unsigned(p->size - offset < count ? p->size - offset : count);
    p->seed = p->seed * 1103515245u + 12345u;
    const unsigned r = p->seed >> 16;
    if (p->mode == 1) n = 1;
    if (p->mode == 2) n = n < 7 ? 1 + r % n : 1 + r % 7;
    if (p->mode == 3) n = 1 + r % n;
    p->last = new uint8_t[n];
    std::memcpy(p->last, p->file + offset, n);
    *data = p->last;
    return int(n);
}

// The serial ports run too: a decoder's warnings go to the host, and a port that never started
// would hold every warning forever.
inline void start_image_target() {
    start_command_firmware(sim::Standalone::instance());
}

inline int run_image_decoder(int (*decoder)(GUI_GET_DATA_FUNC*, void*, int, int),
                             const uint8_t* data, size_t size) {
    if (size < kImagePrefix) return 0;
    Pieces pieces{data + kImagePrefix, size - kImagePrefix, data[0] & 3u, uint32_t(data[0] >> 2)};
    int x = int(int8_t(data[1])) * 8;
    const int y = int(int8_t(data[2])) * 8;
    if (data[3] & 0x80) x = x < 0 ? INT_MIN - x : INT_MAX - x;
    KV_GUI_Init();
    const int c = data[4];
    const GUI_RECT boxes[] = {{0, 0, 799, 479},
                              {300, 200, 340, 230},
                              {int16_t(c * 3), int16_t(c), int16_t(c * 3 + 90), int16_t(c + 40)},
                              {10, 10, 5, 5}};
    GUI_SetClipRect(&boxes[data[3] & 3]);
    GUI_SetDrawMode(data[3] & 4 ? GUI_DRAWMODE_XOR : GUI_DRAWMODE_NORMAL);
    decoder(piece_data, &pieces, x, y);
    delete[] pieces.last;
    screen_fence().check("image decoder");
    sim::Standalone::instance().take_output(kCom0);
    sim::Standalone::instance().take_output(kCom1);
    return 0;
}

}  // namespace fuzz
