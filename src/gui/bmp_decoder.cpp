// Windows BMP files pulled through the get-data function: every header the format has known
// (OS/2 core, the Windows information header and its V2 to V5 extensions), 1, 4 and 8 bits per
// pixel through a palette, 16 and 32 through bit fields, 24, and the two run-length codings.
// Rows are drawn as they arrive, a piece of at most kChunkPixels at a time, so that an image of
// any width needs no more than the fixed buffers below.
#include <cstring>

#include "gui/image_decode.h"
#include "gui/image_sink.h"
#include "gui/image_stream.h"
#include "gui/rgb565.h"

namespace {

using gui::ImageSink;
using gui::ImageStream;

constexpr int kRefused = 1;    // not a BMP file, or a header this decoder cannot draw
constexpr int kDataError = 2;  // the pixel data end early or break the run-length coding

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxHeaderSize = 124;

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// A multiple of 8 so that a piece of a 1- or 4-bit row starts on a byte.
constexpr int kChunkPixels = 512;
uint8_t g_bytes[kChunkPixels * 4];
uint16_t g_pixels[kChunkPixels];
uint16_t g_palette[256];

struct Channel {
    uint32_t mask;
    unsigned shift;
    unsigned bits;
};

struct Header {
    int64_t width;
    int64_t rows;
    bool bottom_up;
    unsigned bpp;
    uint32_t compression;
    uint32_t pixel_offset;
    uint64_t stride;
    Channel red, green, blue;
};

int refuse(int code, const char* why) {
    GUI_X_Warn(why);
    return code;
}

uint32_t le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

// A mask of one run of set bits within the pixel's bits.
bool make_channel(uint32_t mask, unsigned bpp, Channel* c) {
    if (mask == 0 || (bpp < 32 && (mask >> bpp) != 0)) return false;
    unsigned shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint32_t run = mask >> shift;
    if (run & (run + 1)) return false;
    unsigned bits = 0;
    while (bits < 32 && ((run >> bits) & 1)) ++bits;
    *c = {mask, shift, bits};
    return true;
}

// A field of any width to 8 bits: narrow fields repeat their bits downwards, so that full scale
// stays full scale; wide ones keep their top 8.
inline uint32_t widen(uint32_t v, unsigned bits) {
    if (bits >= 8) return v >> (bits - 8);
    uint32_t r = v << (8 - bits);
    for (unsigned have = bits; have < 8; have *= 2) r |= r >> have;
    return r & 0xFF;
}

inline uint32_t field(uint32_t pixel, const Channel& c) {
    return widen((pixel & c.mask) >> c.shift, c.bits);
}

// n pixels of the row from src, as the header's format says.
void convert(const Header& h, const uint8_t* src, int n, uint16_t* out) {
    switch (h.bpp) {
        case 1:
            for (int i = 0; i < n; ++i) out[i] = g_palette[(src[i >> 3] >> (7 - (i & 7))) & 1];
            break;
        case 4:
            for (int i = 0; i < n; ++i) out[i] = g_palette[(src[i >> 1] >> ((i & 1) ? 0 : 4)) & 15];
            break;
        case 8:
            for (int i = 0; i < n; ++i) out[i] = g_palette[src[i]];
            break;
        case 16:
            for (int i = 0; i < n; ++i) {
                const uint32_t p = le16(src + 2 * i);
                out[i] = rgb565::pack(field(p, h.red), field(p, h.green), field(p, h.blue));
            }
            break;
        case 24: {
            // Four pixels from three words: the byte-by-byte form costs twice as much.
            int i = 0;
            for (; i + 4 <= n; i += 4, src += 12) {
                const uint32_t a = le32(src), b = le32(src + 4), c = le32(src + 8);
                out[i] = rgb565::pack((a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
                out[i + 1] = rgb565::pack((b >> 8) & 0xFF, b & 0xFF, a >> 24);
                out[i + 2] = rgb565::pack(c & 0xFF, b >> 24, (b >> 16) & 0xFF);
                out[i + 3] = rgb565::pack(c >> 24, (c >> 16) & 0xFF, (c >> 8) & 0xFF);
            }
            for (; i < n; ++i, src += 3) out[i] = rgb565::pack(src[2], src[1], src[0]);
            break;
        }
        default:
            if (h.compression == kRgb) {
                for (int i = 0; i < n; ++i, src += 4) out[i] = rgb565::pack(src[2], src[1], src[0]);
            } else {
                for (int i = 0; i < n; ++i) {
                    const uint32_t p = le32(src + 4 * i);
                    out[i] = rgb565::pack(field(p, h.red), field(p, h.green), field(p, h.blue));
                }
            }
            break;
    }
}

// The next n bytes (at most sizeof g_bytes): straight from the supplier's piece when it holds
// them all, else gathered into g_bytes. Null when the file ends first.
const uint8_t* fetch(ImageStream& s, uint32_t n) {
    const uint8_t* d;
    const uint32_t got = s.take(&d, n);
    if (got == n) return d;
    if (got == 0) return nullptr;
    std::memcpy(g_bytes, d, got);
    return s.read(g_bytes + got, n - got) ? g_bytes : nullptr;
}

int read_header(ImageStream& s, Header* h) {
    uint8_t file[kFileHeaderSize];
    if (!s.read(file, sizeof file) || file[0] != 'B' || file[1] != 'M') {
        return refuse(kRefused, "BMP: not a BMP file");
    }
    h->pixel_offset = le32(file + 10);

    uint8_t info[kMaxHeaderSize];
    if (!s.read(info, 4)) return refuse(kRefused, "BMP: header truncated");
    const uint32_t size = le32(info);
    if (size != kCoreHeaderSize && size != kInfoHeaderSize && size != 52 && size != 56 &&
        size != 108 && size != kMaxHeaderSize) {
        return refuse(kRefused, "BMP: unknown header");
    }
    if (!s.read(info + 4, size - 4)) return refuse(kRefused, "BMP: header truncated");
    uint32_t planes, colours = 0, entry;
    if (size == kCoreHeaderSize) {
        h->width = le16(info + 4);
        h->rows = le16(info + 6);
        h->bottom_up = true;
        planes = le16(info + 8);
        h->bpp = le16(info + 10);
        h->compression = kRgb;
        entry = 3;
    } else {
        h->width = int32_t(le32(info + 4));
        const int64_t height = int32_t(le32(info + 8));
        h->bottom_up = height > 0;
        h->rows = height < 0 ? -height : height;
        planes = le16(info + 12);
        h->bpp = le16(info + 14);
        h->compression = le32(info + 16);
        colours = le32(info + 32);
        entry = 4;
    }
    uint32_t position = kFileHeaderSize + size;

    if (planes != 1) return refuse(kRefused, "BMP: planes not 1");
    if (h->width <= 0 || h->rows == 0) return refuse(kRefused, "BMP: bad size");
    const unsigned bpp = h->bpp;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return refuse(kRefused, "BMP: bit depth not supported");
    }
    const uint32_t c = h->compression;
    const bool fields = c == kBitFields || c == kAlphaBitFields;
    if (!(c == kRgb || (c == kRle8 && bpp == 8) || (c == kRle4 && bpp == 4) ||
          (fields && (bpp == 16 || bpp == 32)))) {
        return refuse(kRefused, "BMP: compression does not fit the bit depth");
    }
    // The widest legal file has 4 GB of pixels; anything larger is a broken header, and this
    // bound keeps every offset below within 64 bits and every column within an int.
    h->stride = (uint64_t(h->width) * bpp + 31) / 32 * 4;
    if (uint64_t(h->width) * uint64_t(h->rows) > (uint64_t(1) << 35) / bpp ||
        (c != kRle8 && c != kRle4 &&
         h->pixel_offset + h->stride * uint64_t(h->rows) > (uint64_t(1) << 32))) {
        return refuse(kRefused, "BMP: size too large");
    }

    if (fields) {
        uint8_t masks[12];
        if (size >= 52) {
            std::memcpy(masks, info + 40, 12);
        } else {
            if (!s.read(masks, 12)) return refuse(kRefused, "BMP: header truncated");
            position += c == kAlphaBitFields ? 16 : 12;
        }
        if (!make_channel(le32(masks), bpp, &h->red) ||
            !make_channel(le32(masks + 4), bpp, &h->green) ||
            !make_channel(le32(masks + 8), bpp, &h->blue) || (h->red.mask & h->green.mask) ||
            (h->red.mask & h->blue.mask) || (h->green.mask & h->blue.mask)) {
            return refuse(kRefused, "BMP: bad bit fields");
        }
    } else if (bpp == 16) {
        h->red = {0x7C00, 10, 5};
        h->green = {0x03E0, 5, 5};
        h->blue = {0x001F, 0, 5};
    }
    if (h->pixel_offset < position) return refuse(kRefused, "BMP: pixel data inside the header");

    if (bpp <= 8) {
        // Without a count, the palette is what fits before the pixels, at most 2^bpp colours.
        const uint32_t most = 1u << bpp;
        const uint32_t room = (h->pixel_offset - position) / entry;
        if (colours > most || colours > room) return refuse(kRefused, "BMP: bad palette size");
        const uint32_t count = colours ? colours : (room < most ? room : most);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t e[4];
            if (!s.read(e, entry)) return refuse(kRefused, "BMP: palette truncated");
            g_palette[i] = rgb565::pack(e[2], e[1], e[0]);
        }
        // Indices past the palette draw black.
        for (uint32_t i = count; i < 256; ++i) g_palette[i] = 0;
    }
    return 0;
}

// The first of rows 0..n-1 for which past(i) is false (past is true up to some row, then false).
template <typename Past>
int64_t first_not(int64_t n, Past past) {
    int64_t lo = 0, hi = n;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (past(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

int draw_rows(ImageStream& s, ImageSink& sink, const Header& h) {
    const int64_t rows = h.rows;
    auto image_row = [&](int64_t i) { return int(h.bottom_up ? rows - 1 - i : i); };
    // Rows before the clip box are not read at all; after it, nothing more is.
    const int64_t first = first_not(rows, [&](int64_t i) {
        return h.bottom_up ? sink.below_clip(image_row(i)) : sink.above_clip(image_row(i));
    });
    if (first == rows || !sink.visible(image_row(first), 0, int(h.width))) return 0;
    if (!s.seek(uint32_t(h.pixel_offset + uint64_t(first) * h.stride))) {
        return refuse(kDataError, "BMP: pixel data truncated");
    }
    const uint32_t used = uint32_t((uint64_t(h.width) * h.bpp + 7) / 8);
    const uint32_t padding = uint32_t(h.stride) - used;
    // Bytes to pass over before the next visible piece: skipped only when one follows, so that
    // a file may end right after its last visible pixel.
    uint64_t pass = 0;
    for (int64_t i = first; i < rows; ++i) {
        const int row = image_row(i);
        if (h.bottom_up ? sink.above_clip(row) : sink.below_clip(row)) break;
        for (int64_t column = 0; column < h.width; column += kChunkPixels) {
            const int n = int(h.width - column < kChunkPixels ? h.width - column : kChunkPixels);
            const uint32_t bytes = uint32_t((uint64_t(n) * h.bpp + 7) / 8);
            if (!sink.visible(row, int(column), n)) {
                pass += bytes;
                continue;
            }
            if (pass && !s.skip(uint32_t(pass)))
                return refuse(kDataError, "BMP: pixel data truncated");
            pass = 0;
            const uint8_t* src = fetch(s, bytes);
            if (!src) return refuse(kDataError, "BMP: pixel data truncated");
            convert(h, src, n, g_pixels);
            sink.row(row, int(column), g_pixels, n);
        }
        pass += padding;
    }
    return 0;
}

// Run-length coded rows: pixels the runs skip (by a delta or an early end of line) keep what the
// screen had.
int draw_runs(ImageStream& s, ImageSink& sink, const Header& h) {
    if (!s.seek(h.pixel_offset)) return refuse(kDataError, "BMP: pixel data truncated");
    const bool rle4 = h.compression == kRle4;
    int64_t i = 0, column = 0;
    for (;;) {
        if (i >= h.rows) return 0;
        const int row = int(h.bottom_up ? h.rows - 1 - i : i);
        if (h.bottom_up ? sink.above_clip(row) : sink.below_clip(row)) return 0;
        const int count = s.byte();
        const int value = s.byte();
        if (value < 0) return refuse(kDataError, "BMP: run data truncated");
        int n;
        if (count > 0) {
            n = count;
            if (rle4) {
                for (int k = 0; k < n; ++k)
                    g_pixels[k] = g_palette[k & 1 ? value & 15 : value >> 4];
            } else {
                for (int k = 0; k < n; ++k) g_pixels[k] = g_palette[value];
            }
        } else if (value == 0) {
            ++i;
            column = 0;
            continue;
        } else if (value == 1) {
            return 0;
        } else if (value == 2) {
            const int dx = s.byte(), dy = s.byte();
            if (dy < 0) return refuse(kDataError, "BMP: run data truncated");
            column += dx;
            i += dy;
            continue;
        } else {
            // Literal pixels, padded to a 16-bit boundary.
            n = value;
            const int bytes = rle4 ? (n + 1) / 2 : n;
            for (int k = 0; k < bytes; ++k) {
                const int b = s.byte();
                if (b < 0) return refuse(kDataError, "BMP: run data truncated");
                if (rle4) {
                    g_pixels[2 * k] = g_palette[b >> 4];
                    g_pixels[2 * k + 1] = g_palette[b & 15];
                } else {
                    g_pixels[k] = g_palette[b];
                }
            }
            if ((bytes & 1) && s.byte() < 0) return refuse(kDataError, "BMP: run data truncated");
        }
        // Runs past the end of the row are cut there.
        if (column < h.width) {
            const int visible = int(h.width - column < n ? h.width - column : n);
            sink.row(row, int(column), g_pixels, visible);
        }
        column += n;
    }
}

}  // namespace

int GUI_BMP_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y) {
    if (!getData) return kRefused;
    ImageStream s(getData, user);
    Header h;
    if (const int refused = read_header(s, &h)) return refused;
    ImageSink sink(x, y);
    return h.compression == kRle8 || h.compression == kRle4 ? draw_runs(s, sink, h)
                                                            : draw_rows(s, sink, h);
}
