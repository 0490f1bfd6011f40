// Run-time font data through GUI_SIF_CreateFont and, when accepted, drawn: every code of every
// range in every text mode, upright, in a box and turned, at unaligned addresses. ASan catches
// any read outside the data (the data are copied into a buffer of exactly their size); a write
// outside the screen's pixels aborts.
//
// Input: byte 0 picks the kind (low two bits) and the text mode (next three bits), byte 1 the
// alignment (low four bits) and the rotation (next two bits), byte 2 the misalignment of the
// data (low two bits); the rest is the font data. fuzz/make-sif-seeds.py writes seeds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "fuzz_support.h"
#include "gui/gui.h"

namespace {

constexpr size_t kPrefix = 3;

const int kTypes[] = {GUI_SIF_TYPE_PROP, GUI_SIF_TYPE_PROP_AA2, GUI_SIF_TYPE_PROP_AA4,
                      GUI_SIF_TYPE_PROP_AA4};
const int kModes[] = {GUI_TM_NORMAL,   GUI_TM_XOR,    GUI_TM_TRANS, GUI_TM_REV,
                      GUI_TM_TRANSREV, GUI_TM_NORMAL, GUI_TM_TRANS, GUI_TM_XOR};

void utf8(std::string& s, uint32_t c) {
    if (c < 0x80) {
        if (c != 0) s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::Standalone& board = sim::Standalone::instance();
    interrupt_init();
    KV_GUI_Init();
    fuzz::screen_fence().raise(board);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kPrefix) return 0;
    const size_t fontSize = size - kPrefix;
    const size_t shift = data[2] & 3;
    // The font data end exactly where the buffer ends, starting at any alignment.
    uint8_t* buffer = new uint8_t[shift + fontSize + 1];
    uint8_t* font = buffer + shift;
    std::memcpy(font, data + kPrefix, fontSize);
    GUI_FONT object{};
    if (GUI_SIF_CreateFont(font, uint32_t(fontSize), &object, kTypes[data[0] & 3])) {
        KV_GUI_Init();
        GUI_SetFont(&object);
        GUI_SetTextMode(kModes[(data[0] >> 2) & 7]);
        GUI_SetTextAlign(data[1] & 15);
        GUI_UC_SetEncodeUTF8();
        GUI_SetColor(0x3080F0);
        GUI_SetBkColor(0x102030);
        const int rotation = (data[1] >> 4) & 3;
        // Every code the font claims, and the codes just around its ranges.
        std::string text;
        for (uint32_t r = 0; r < object.numRanges; ++r) {
            const uint8_t* range = font + 20 + 8 * r;
            const uint32_t first = range[0] | (range[1] << 8);
            const uint32_t last = range[2] | (range[3] << 8);
            if (first > 0) utf8(text, first - 1);
            for (uint32_t c = first; c <= last && text.size() < 4000; ++c) utf8(text, c);
            utf8(text, last + 1);
            text += '\n';
        }
        GUI_DispStringAt(text.c_str(), 5, 5);
        GUI_DispStringAt(text.c_str(), 790, 470);
        const GUI_RECT box{-20, 100, 400, 500};
        GUI_DispStringInRectWrap(text.c_str(), &box, data[1] & 15, GUI_WRAPMODE_WORD);
        GUI_DispStringInRectEx(text.c_str(), &box, data[1] & 15, -1, rotation);
        GUI_GetStringDistX(text.c_str());
        fuzz::screen_fence().check("drawing a run-time font");
    }
    delete[] buffer;
    return 0;
}
