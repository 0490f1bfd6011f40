// Text output against FreeType in the same run: a 40-character line in font "16" (4-bit
// anti-aliased, proportional) and "m16" (monospaced), drawn by the graphics library in normal
// and transparent mode, and by FreeType from the same TrueType files at the sizes fontgen
// rendered them, with every glyph rendered once beforehand and only blended per call into the
// same RGB565 frame buffer. Both blends are per channel on 8-bit values, rounded, so they do
// the same work for the same quality.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"

namespace {

constexpr int W = 800;
constexpr const char* kLine = "Sphinx of black quartz, judge my vow 123";
static_assert(sizeof("Sphinx of black quartz, judge my vow 123") == 41, "40 characters");
constexpr GUI_COLOR kFg = 0x2040C8;  // 0x00BBGGRR
constexpr GUI_COLOR kBg = 0xF0E0D0;

uint16_t* setup(const GUI_FONT* font, int mode) {
    static bool done = false;
    if (!done) {
        sim::Standalone::instance();
        KV_GUI_Init();
        done = true;
    }
    GUI_SetFont(font);
    GUI_SetTextMode(mode);
    GUI_SetColor(kFg);
    GUI_SetBkColor(kBg);
    return lcd_framebuffer();
}

void run_gui(benchmark::State& state, const GUI_FONT* font, int mode) {
    uint16_t* fb = setup(font, mode);
    for (int i = 0; i < W * 480; ++i) fb[i] = 0x8410;
    for (auto _ : state) {
        GUI_DispStringAt(kLine, 10, 100);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 40);
}

void BM_Text16_Normal_Gui(benchmark::State& state) {
    run_gui(state, &GUI_FontArial16AA4, GUI_TM_NORMAL);
}
BENCHMARK(BM_Text16_Normal_Gui);

void BM_Text16_Trans_Gui(benchmark::State& state) {
    run_gui(state, &GUI_FontArial16AA4, GUI_TM_TRANS);
}
BENCHMARK(BM_Text16_Trans_Gui);

// The worst case of transparent text: a new colour for every line, so its blend tables are
// made afresh each time.
void BM_Text16_TransNewColour_Gui(benchmark::State& state) {
    uint16_t* fb = setup(&GUI_FontArial16AA4, GUI_TM_TRANS);
    for (int i = 0; i < W * 480; ++i) fb[i] = 0x8410;
    GUI_COLOR colour = kFg;
    for (auto _ : state) {
        GUI_SetColor(colour ^= 0x010101);
        GUI_DispStringAt(kLine, 10, 100);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 40);
}
BENCHMARK(BM_Text16_TransNewColour_Gui);

void BM_TextM16_Normal_Gui(benchmark::State& state) {
    run_gui(state, &GUI_FontMono16AA4, GUI_TM_NORMAL);
}
BENCHMARK(BM_TextM16_Normal_Gui);

void BM_TextM16_Trans_Gui(benchmark::State& state) {
    run_gui(state, &GUI_FontMono16AA4, GUI_TM_TRANS);
}
BENCHMARK(BM_TextM16_Trans_Gui);

// ---------------------------------------------------------------------------------------------
// FreeType with a glyph cache

// The size fontgen rendered a font object at, from its summary.
double rendered_size(const char* object) {
    std::ifstream in(std::string(VOXA_FONT_DIR) + "/fonts_summary.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        double size;
        if (words >> name >> size && name == object) return size;
    }
    std::fprintf(stderr, "no size for %s in the font summary\n", object);
    std::abort();
}

struct CachedGlyph {
    int left, top, width, rows, advance;
    std::vector<uint8_t> coverage;  // 0-255, rows from the top
};

class FreeTypeLine {
  public:
    FreeTypeLine(const char* file, const char* object, bool hinted) {
        if (FT_Init_FreeType(&library_) || FT_New_Face(library_, file, 0, &face_)) {
            std::fprintf(stderr, "FreeType cannot open %s\n", file);
            std::abort();
        }
        FT_Set_Char_Size(face_, 0, FT_F26Dot6(rendered_size(object) * 64 + 0.5), 72, 72);
        const FT_Int32 flags =
            FT_LOAD_RENDER | (hinted ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING);
        for (const char* p = kLine; *p; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (cache_.count(c)) continue;
            FT_Load_Char(face_, c, flags);
            const FT_GlyphSlot g = face_->glyph;
            CachedGlyph cached{g->bitmap_left,
                               g->bitmap_top,
                               int(g->bitmap.width),
                               int(g->bitmap.rows),
                               int((g->advance.x + 32) >> 6),
                               {}};
            for (int y = 0; y < cached.rows; ++y) {
                const uint8_t* row = g->bitmap.buffer + y * g->bitmap.pitch;
                cached.coverage.insert(cached.coverage.end(), row, row + cached.width);
            }
            cache_[c] = std::move(cached);
        }
        ascender_ = int(face_->size->metrics.ascender >> 6);
    }
    ~FreeTypeLine() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }

    // The cached glyphs blended over the screen, as transparent text is.
    void draw(uint16_t* fb, int x, int y) const {
        static const Expand kExpand = make_expand();
        const uint32_t fr = kFg & 0xFF, fg = (kFg >> 8) & 0xFF, fb8 = (kFg >> 16) & 0xFF;
        const uint16_t full = uint16_t(((fr >> 3) << 11) | ((fg >> 2) << 5) | (fb8 >> 3));
        const int baseline = y + ascender_;
        for (const char* p = kLine; *p; ++p) {
            const CachedGlyph& g = cache_.at(static_cast<unsigned char>(*p));
            const uint8_t* cov = g.coverage.data();
            for (int row = 0; row < g.rows; ++row) {
                uint16_t* out = fb + (baseline - g.top + row) * W + x + g.left;
                for (int col = 0; col < g.width; ++col) {
                    const uint32_t a = *cov++;
                    if (a == 0) continue;
                    if (a == 255) {
                        out[col] = full;
                        continue;
                    }
                    const uint16_t px = out[col];
                    const uint32_t inv = 255 - a;
                    const uint32_t r = (fr * a + kExpand.five[px >> 11] * inv + 127) / 255;
                    const uint32_t gg = (fg * a + kExpand.six[(px >> 5) & 0x3F] * inv + 127) / 255;
                    const uint32_t b = (fb8 * a + kExpand.five[px & 0x1F] * inv + 127) / 255;
                    out[col] = uint16_t(((r >> 3) << 11) | ((gg >> 2) << 5) | (b >> 3));
                }
            }
            x += g.advance;
        }
    }

  private:
    struct Expand {
        uint8_t five[32];
        uint8_t six[64];
    };
    static Expand make_expand() {
        Expand e{};
        for (int i = 0; i < 32; ++i) e.five[i] = uint8_t(i * 255 / 31);
        for (int i = 0; i < 64; ++i) e.six[i] = uint8_t(i * 255 / 63);
        return e;
    }

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::map<unsigned char, CachedGlyph> cache_;
    int ascender_ = 0;
};

void run_freetype(benchmark::State& state, const char* file, const char* object, bool hinted) {
    uint16_t* fb = setup(&GUI_FontArial16AA4, GUI_TM_TRANS);
    for (int i = 0; i < W * 480; ++i) fb[i] = 0x8410;
    const FreeTypeLine line(file, object, hinted);
    for (auto _ : state) {
        line.draw(fb, 10, 100);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 40);
}

void BM_Text16_FreeTypeCached(benchmark::State& state) {
    // fontgen renders Arial 16 unhinted (hinting jumps over its cap height).
    run_freetype(state, VOXA_FONT_SANS, "GUI_FontArial16AA4", false);
}
BENCHMARK(BM_Text16_FreeTypeCached);

void BM_TextM16_FreeTypeCached(benchmark::State& state) {
    run_freetype(state, VOXA_FONT_MONO, "GUI_FontMono16AA4", true);
}
BENCHMARK(BM_TextM16_FreeTypeCached);

}  // namespace

BENCHMARK_MAIN();
