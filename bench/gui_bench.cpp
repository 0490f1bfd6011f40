// The graphics library against the physical limit (memset/memcpy of the same bytes) and against
// pixman on an r5g6b5 image of the same size. Pixels per second are reported for the shapes.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <functional>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "gui/gui.h"

namespace {

constexpr int W = 800;
constexpr int H = 480;
// A colour whose two bytes differ, so that no fill can fall back on memset.
constexpr GUI_COLOR kColor = 0x2040C8;

uint16_t* setup() {
    static bool done = false;
    if (!done) {
        sim::Standalone::instance();
        KV_GUI_Init();
        done = true;
    }
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    GUI_SetPenSize(1);
    GUI_SetColor(kColor);
    GUI_SetBkColor(kColor);
    return lcd_framebuffer();
}

pixman_image_t* screen_image(uint16_t* fb) {
    return pixman_image_create_bits(PIXMAN_r5g6b5, W, H, reinterpret_cast<uint32_t*>(fb), W * 2);
}

// ---------------------------------------------------------------------------------------------
// Full-screen clear

void BM_Clear_Gui(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        GUI_Clear();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}
BENCHMARK(BM_Clear_Gui);

void BM_Clear_Memset(benchmark::State& state) {
    uint16_t* fb = setup();
    for (auto _ : state) {
        std::memset(fb, 0x5A, size_t(W) * H * 2);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}
BENCHMARK(BM_Clear_Memset);

void BM_Clear_Pixman(benchmark::State& state) {
    uint16_t* fb = setup();
    for (auto _ : state) {
        pixman_fill(reinterpret_cast<uint32_t*>(fb), W / 2, 16, 0, 0, W, H, 0x1234);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 2);
}
BENCHMARK(BM_Clear_Pixman);

// ---------------------------------------------------------------------------------------------
// 100 x 100 fill

void BM_Fill100_Gui(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        GUI_FillRect(101, 51, 200, 150);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * 100);
}
BENCHMARK(BM_Fill100_Gui);

void BM_Fill100_Memset(benchmark::State& state) {
    uint16_t* fb = setup();
    for (auto _ : state) {
        for (int y = 51; y <= 150; ++y) std::memset(fb + y * W + 101, 0x5A, 200);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * 100);
}
BENCHMARK(BM_Fill100_Memset);

void BM_Fill100_Pixman(benchmark::State& state) {
    uint16_t* fb = setup();
    for (auto _ : state) {
        pixman_fill(reinterpret_cast<uint32_t*>(fb), W / 2, 16, 101, 51, 100, 100, 0x1234);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * 100);
}
BENCHMARK(BM_Fill100_Pixman);

void BM_Fill100_PixmanRects(benchmark::State& state) {
    uint16_t* fb = setup();
    pixman_image_t* dst = screen_image(fb);
    const pixman_color_t color{0x2000, 0x4000, 0xC800, 0xFFFF};
    const pixman_rectangle16_t rect{101, 51, 100, 100};
    for (auto _ : state) {
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, dst, &color, 1, &rect);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(dst);
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * 100);
}
BENCHMARK(BM_Fill100_PixmanRects);

// The fixed cost of a primitive: context, clipping, the board's work accounting.
void BM_Fill1_Gui(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        GUI_FillRect(101, 51, 101, 51);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Fill1_Gui);

// ---------------------------------------------------------------------------------------------
// 64 x 64 RGB565 bitmap

std::vector<uint8_t>& bitmap_pixels() {
    static std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(64 * 64 * 2);
        for (size_t i = 0; i < d.size(); ++i) d[i] = uint8_t(i * 7);
        return d;
    }();
    return data;
}

void BM_Blit64_Gui(benchmark::State& state) {
    setup();
    const GUI_BITMAP bm{64, 64, 128, 16, bitmap_pixels().data(), nullptr, GUI_DRAW_BMP565, 0};
    for (auto _ : state) {
        GUI_DrawBitmap(&bm, 301, 201);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 64 * 64);
}
BENCHMARK(BM_Blit64_Gui);

void BM_Blit64_Memcpy(benchmark::State& state) {
    uint16_t* fb = setup();
    const uint8_t* src = bitmap_pixels().data();
    for (auto _ : state) {
        for (int r = 0; r < 64; ++r) std::memcpy(fb + (201 + r) * W + 301, src + r * 128, 128);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 64 * 64);
}
BENCHMARK(BM_Blit64_Memcpy);

void BM_Blit64_Pixman(benchmark::State& state) {
    uint16_t* fb = setup();
    pixman_image_t* dst = screen_image(fb);
    pixman_image_t* src = pixman_image_create_bits(
        PIXMAN_r5g6b5, 64, 64, reinterpret_cast<uint32_t*>(bitmap_pixels().data()), 128);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 301, 201, 64, 64);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetItemsProcessed(int64_t(state.iterations()) * 64 * 64);
}
BENCHMARK(BM_Blit64_Pixman);

// ---------------------------------------------------------------------------------------------
// Shapes: pixels per second, with the count of pixels each one paints.

uint32_t painted(const std::function<void()>& draw) {
    uint16_t* fb = lcd_framebuffer();
    GUI_SetBkColor(0);
    GUI_Clear();
    GUI_SetBkColor(kColor);
    draw();
    uint32_t n = 0;
    for (int i = 0; i < W * H; ++i) n += fb[i] != 0;
    return n;
}

void shape(benchmark::State& state, int pen, const std::function<void()>& draw) {
    setup();
    GUI_SetPenSize(pen);
    const uint32_t pixels = painted(draw);
    for (auto _ : state) {
        draw();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
    state.counters["pixels"] = pixels;
}

void lines() {
    for (int i = 0; i < 16; ++i) GUI_DrawLine(10 + i * 7, 10, 790 - i * 11, 470 - i * 5);
}

void BM_Lines_Gui(benchmark::State& state) {
    shape(state, 1, lines);
}
BENCHMARK(BM_Lines_Gui);
void BM_ThickLines_Gui(benchmark::State& state) {
    shape(state, 6, lines);
}
BENCHMARK(BM_ThickLines_Gui);
void BM_Circle_Gui(benchmark::State& state) {
    shape(state, 1, [] { GUI_DrawCircle(400, 240, 200); });
}
BENCHMARK(BM_Circle_Gui);
void BM_FillCircle_Gui(benchmark::State& state) {
    shape(state, 1, [] { GUI_FillCircle(400, 240, 200); });
}
BENCHMARK(BM_FillCircle_Gui);

const GUI_POINT kStar[10] = {{0, -200}, {47, -65},   {190, -62}, {76, 24},    {118, 162},
                             {0, 80},   {-118, 162}, {-76, 24},  {-190, -62}, {-47, -65}};

void BM_Polygon10_Gui(benchmark::State& state) {
    shape(state, 1, [] { GUI_FillPolygon(kStar, 10, 400, 240); });
}
BENCHMARK(BM_Polygon10_Gui);

// pixman's rasteriser on the same star as a fan of triangles (anti-aliased, so it also
// computes coverage): the nearest thing it has to a polygon fill.
void BM_Polygon10_Pixman(benchmark::State& state) {
    uint16_t* fb = setup();
    pixman_image_t* dst = screen_image(fb);
    const pixman_color_t color{0x2000, 0x4000, 0xC800, 0xFFFF};
    pixman_image_t* solid = pixman_image_create_solid_fill(&color);
    pixman_triangle_t tris[10];
    for (int i = 0; i < 10; ++i) {
        const GUI_POINT a = kStar[i], b = kStar[(i + 1) % 10];
        tris[i] =
            pixman_triangle_t{{pixman_int_to_fixed(400), pixman_int_to_fixed(240)},
                              {pixman_int_to_fixed(400 + a.x), pixman_int_to_fixed(240 + a.y)},
                              {pixman_int_to_fixed(400 + b.x), pixman_int_to_fixed(240 + b.y)}};
    }
    for (auto _ : state) {
        pixman_composite_triangles(PIXMAN_OP_SRC, solid, dst, PIXMAN_a8, 0, 0, 0, 0, 10, tris);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(solid);
    pixman_image_unref(dst);
}
BENCHMARK(BM_Polygon10_Pixman);

void BM_Polygon10_Xor_Gui(benchmark::State& state) {
    setup();
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    for (auto _ : state) {
        GUI_FillPolygon(kStar, 10, 400, 240);
        benchmark::ClobberMemory();
    }
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
}
BENCHMARK(BM_Polygon10_Xor_Gui);

}  // namespace

BENCHMARK_MAIN();
