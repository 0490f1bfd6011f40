// The JPEG decoder on any bytes, pulled through the get-data function in pieces whose sizes the
// input chooses, drawn at a position and under a clip rectangle the input chooses too. Every
// piece lies in a buffer of exactly its size, so ASan catches a read beyond it; the screen
// fence catches a write outside the screen. Progressive images get a work area of a size the
// input picks (or none), also of exactly that size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "gui/image_decode.h"

namespace {

struct Pieces {
    const uint8_t* file;
    size_t size;
    uint8_t pattern[4];
    unsigned turn = 0;
    std::vector<uint8_t> chunk;

    static int get(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
        auto* p = static_cast<Pieces*>(context);
        if (offset >= p->size) return 0;
        size_t n = p->size - offset;
        if (n > count) n = count;
        // 0 in the pattern: as much as asked; otherwise 1 to 255 bytes.
        const uint8_t limit = p->pattern[p->turn++ % 4];
        if (limit && n > limit) n = limit;
        p->chunk.assign(p->file + offset, p->file + offset + n);
        *data = p->chunk.data();
        return int(n);
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_command_firmware(sim::Standalone::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    if (size < 12) return 0;
    fuzz::ByteReader in(data, 12);
    Pieces pieces{data + 12, size - 12, {in.byte(), in.byte(), in.byte(), in.byte()}};
    const int x = int8_t(in.byte()) * 8;
    const int y = int8_t(in.byte()) * 4;
    const int16_t left = int16_t(in.byte() * 4), top = int16_t(in.byte() * 2);
    const int16_t right = int16_t(799 - in.byte() * 3), bottom = int16_t(479 - in.byte());
    const GUI_RECT clip{left, top, right, bottom};
    const uint8_t area_pick = in.byte();
    const bool xor_mode = in.byte() & 1;

    std::vector<uint8_t> area;
    if (area_pick) area.resize(size_t(area_pick) * 4096);
    GUI_JPEG_SetWorkArea(area.empty() ? nullptr : area.data(), uint32_t(area.size()));
    GUI_SetClipRect(&clip);
    GUI_SetDrawMode(xor_mode ? GUI_DRAWMODE_XOR : GUI_DRAWMODE_NORMAL);
    GUI_JPEG_DrawEx(&Pieces::get, &pieces, x, y);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    GUI_SetClipRect(nullptr);
    GUI_JPEG_SetWorkArea(nullptr, 0);
    fuzz::screen_fence().check("GUI_JPEG_DrawEx");
    board.take_output(kCom0);
    board.take_output(kCom1);
    return 0;
}
