// Image files drawn full screen from memory, through the get-data function in pieces of at most
// 2,400 bytes as the card's cache hands them out.
//
// GIF: an 800 x 480 photo-like picture quantised to 256 colours by giflib and written by giflib,
// decoded by ours onto the screen against giflib's DGifSlurp followed by the colour lookup to
// RGB565 (what a firmware built on giflib would have to do).
//
// BMP: the same picture as a 24-bit file against a plain copy of its rows: the decoder's cost
// beyond moving the bytes is the conversion to RGB565.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "gui/gui.h"
#include "gui/image_decode.h"
#include "gui/rgb565.h"
#include "ratio_reporter.h"

namespace {

constexpr int W = 800;
constexpr int H = 480;

using Bytes = std::vector<uint8_t>;

struct Files {
    Bytes gif;
    Bytes bmp;
};

// Smooth shading with soft edges and fine texture, like a photograph: long LZW strings in the
// sky-like parts, short ones in the textured parts.
void picture(Bytes& r, Bytes& g, Bytes& b) {
    uint32_t seed = 1;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 28) - 8;
            const int dx = x - 520, dy = y - 180;
            const int sun = dx * dx + dy * dy < 90 * 90 ? 60 : 0;
            const int hill = y > 300 + (x * x % 7919) / 80 ? 1 : 0;
            const size_t i = size_t(y) * W + size_t(x);
            auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            if (hill) {
                r[i] = clamp(40 + (x ^ y) % 50 + noise * 2);
                g[i] = clamp(90 + y / 6 + noise * 3);
                b[i] = clamp(30 + (x % 37) + noise);
            } else {
                r[i] = clamp(60 + y / 3 + sun * 3 + noise / 4);
                g[i] = clamp(110 + y / 4 + sun * 2);
                b[i] = clamp(230 - y / 5 + sun / 2);
            }
        }
    }
}

int write_to(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

struct Reader {
    const Bytes* file;
    size_t at;
};

int read_from(GifFileType* gif, GifByteType* data, int n) {
    auto* in = static_cast<Reader*>(gif->UserData);
    const size_t left = in->file->size() - in->at;
    const size_t k = size_t(n) < left ? size_t(n) : left;
    std::memcpy(data, in->file->data() + in->at, k);
    in->at += k;
    return int(k);
}

void put_le(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

Files& files() {
    static Files f = [] {
        sim::Standalone::instance();
        KV_GUI_Init();
        Bytes r(size_t(W) * H), g(r.size()), b(r.size()), indices(r.size());
        picture(r, g, b);
        Files out;
        int colours = 256;
        GifColorType map[256];
        if (GifQuantizeBuffer(W, H, &colours, r.data(), g.data(), b.data(), indices.data(), map) ==
            GIF_OK) {
            int error = 0;
            GifFileType* gif = EGifOpen(&out.gif, write_to, &error);
            ColorMapObject* cmap = GifMakeMapObject(256, map);
            EGifSetGifVersion(gif, true);
            EGifPutScreenDesc(gif, W, H, 8, 0, cmap);
            EGifPutImageDesc(gif, 0, 0, W, H, false, nullptr);
            for (int y = 0; y < H; ++y) EGifPutLine(gif, indices.data() + size_t(y) * W, W);
            EGifCloseFile(gif, &error);
            GifFreeMapObject(cmap);
        }
        // 24 bits per pixel, bottom row first (rows of 2,400 bytes need no padding).
        Bytes& bmp = out.bmp;
        bmp = {'B', 'M'};
        put_le(bmp, 54 + W * H * 3, 4);
        put_le(bmp, 0, 4);
        put_le(bmp, 54, 4);
        put_le(bmp, 40, 4);
        put_le(bmp, W, 4);
        put_le(bmp, H, 4);
        put_le(bmp, 1, 2);
        put_le(bmp, 24, 2);
        for (int i = 0; i < 6; ++i) put_le(bmp, 0, 4);
        for (int y = H - 1; y >= 0; --y) {
            for (int x = 0; x < W; ++x) {
                const size_t i = size_t(y) * W + size_t(x);
                bmp.push_back(b[i]);
                bmp.push_back(g[i]);
                bmp.push_back(r[i]);
            }
        }
        return out;
    }();
    return f;
}

int get_data(void* context, const uint8_t** data, unsigned count, uint32_t offset) {
    const auto* file = static_cast<const Bytes*>(context);
    if (offset >= file->size()) return 0;
    *data = file->data() + offset;
    const size_t left = file->size() - offset;
    return int(count < left ? count : left);
}

void BM_Gif_Ours(benchmark::State& state) {
    Bytes& file = files().gif;
    for (auto _ : state) {
        if (GUI_GIF_DrawEx(get_data, &file, 0, 0) != 0) {
            state.SkipWithError("GIF refused");
            return;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_Gif_Giflib(benchmark::State& state) {
    const Bytes& file = files().gif;
    std::vector<uint16_t> screen(size_t(W) * H);
    for (auto _ : state) {
        Reader reader{&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, read_from, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
            state.SkipWithError("giflib refused the file");
            return;
        }
        const SavedImage& im = gif->SavedImages[0];
        const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
        uint16_t lookup[256] = {};
        for (int i = 0; i < map->ColorCount; ++i) {
            lookup[i] = rgb565::pack(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        }
        const size_t n = size_t(im.ImageDesc.Width) * size_t(im.ImageDesc.Height);
        for (size_t i = 0; i < n; ++i) screen[i] = lookup[im.RasterBits[i]];
        DGifCloseFile(gif, &error);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_Bmp24_Ours(benchmark::State& state) {
    Bytes& file = files().bmp;
    for (auto _ : state) {
        if (GUI_BMP_DrawEx(get_data, &file, 0, 0) != 0) {
            state.SkipWithError("BMP refused");
            return;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_Bmp24_RowCopy(benchmark::State& state) {
    const Bytes& file = files().bmp;
    std::vector<uint8_t> rows(size_t(W) * H * 3);
    for (auto _ : state) {
        for (int y = 0; y < H; ++y) {
            std::memcpy(rows.data() + size_t(H - 1 - y) * W * 3,
                        file.data() + 54 + size_t(y) * W * 3, size_t(W) * 3);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

VOXA_BENCH_MEDIAN(BM_Gif_Ours)->Unit(benchmark::kMicrosecond);
VOXA_BENCH_MEDIAN(BM_Gif_Giflib)->Unit(benchmark::kMicrosecond);
VOXA_BENCH_MEDIAN(BM_Bmp24_Ours)->Unit(benchmark::kMicrosecond);
VOXA_BENCH_MEDIAN(BM_Bmp24_RowCopy)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    voxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.ratio("GIF 800x480 256 colours: ours / giflib", "BM_Gif_Ours", "BM_Gif_Giflib");
    reporter.ratio("BMP 800x480 24-bit: ours / row copy", "BM_Bmp24_Ours", "BM_Bmp24_RowCopy");
    benchmark::Shutdown();
    return 0;
}
