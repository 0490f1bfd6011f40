// GIF files (87a and 89a) pulled through the get-data function: the first image of the file,
// drawn at its place within the logical screen (whose background is not painted), interlaced or
// not, with the transparent colour of its graphic control extension left as the screen has it.
//
// LZW strings are written straight into the row buffer from the code table, back to front, so
// that no pixel is copied twice; a string that runs past the end of a row or of the buffer is
// written in pieces, walking its chain once per piece. Indices become pixels through a table of
// the colour map built once.
#include <climits>
#include <cstdint>
#include <cstring>

#include "gui/image_decode.h"
#include "gui/image_sink.h"
#include "gui/image_stream.h"
#include "gui/rgb565.h"

namespace {

using gui::ImageSink;
using gui::ImageStream;

constexpr int kRefused = 1;    // not a GIF file, or its blocks are broken before the image's data
constexpr int kDataError = 2;  // the image's data are broken or end early

constexpr unsigned kMaxCodeBits = 12;
constexpr uint32_t kTableSize = 1u << kMaxCodeBits;

// Code table entry: prefix code in bits 0-11, last character in 12-19, string length in 20-31.
// A string is at most one character longer than the number of codes added since the last clear
// (at most 4090 with the smallest code size), so its length fits 12 bits.
uint32_t g_table[kTableSize];
constexpr int kChunkPixels = 1024;
uint8_t g_indices[kChunkPixels];
uint16_t g_pixels[kChunkPixels];
uint16_t g_palette[256];

inline uint32_t entry(uint32_t prefix, uint32_t last, uint32_t length) {
    return prefix | last << 12 | length << 20;
}
inline uint32_t length_of(uint32_t e) {
    return e >> 20;
}

int refuse(int code, const char* why) {
    GUI_X_Warn(why);
    return code;
}

// Reads a colour map of `count` entries into g_palette (the rest black).
bool read_colour_map(ImageStream& s, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t rgb[3];
        if (!s.read(rgb, 3)) return false;
        g_palette[i] = rgb565::pack(rgb[0], rgb[1], rgb[2]);
    }
    for (uint32_t i = count; i < 256; ++i) g_palette[i] = 0;
    return true;
}

// Skips data sub-blocks up to their terminator.
bool skip_sub_blocks(ImageStream& s) {
    for (;;) {
        const int size = s.byte();
        if (size < 0) return false;
        if (size == 0) return true;
        if (!s.skip(uint32_t(size))) return false;
    }
}

// The codes of the image's data sub-blocks, least significant bit first.
class CodeReader {
  public:
    explicit CodeReader(ImageStream& s) : s_(s) {}

    // The next code of `width` bits; -1 when the data end first.
    int code(unsigned width) {
        while (bits_ < width) {
            if (p_ == end_ && !refill()) return -1;
            while (p_ != end_ && bits_ <= 56) {
                acc_ |= uint64_t(*p_++) << bits_;
                bits_ += 8;
            }
        }
        const int c = int(acc_ & ((1u << width) - 1));
        acc_ >>= width;
        bits_ -= width;
        return c;
    }

  private:
    bool refill() {
        if (block_left_ == 0) {
            const int size = s_.byte();
            if (size <= 0) return false;
            block_left_ = uint32_t(size);
        }
        const uint32_t got = s_.take(&p_, block_left_);
        if (!got) return false;
        block_left_ -= got;
        end_ = p_ + got;
        return true;
    }

    ImageStream& s_;
    const uint8_t* p_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint32_t block_left_ = 0;
    uint64_t acc_ = 0;
    unsigned bits_ = 0;
};

struct Image {
    int left, top, width, height;
    bool interlaced;
    int transparent;  // -1: none
};

// Where decoded indices go: the row buffer, a piece of a row of at most kChunkPixels, drawn
// when full; rows in file order (interlaced: four passes), each drawn at its own place.
class RowWriter {
  public:
    RowWriter(ImageSink& sink, const Image& im) : sink_(sink), im_(im) { start_chunk(); }

    bool done() const { return done_; }

    // Writes the string of `code` (the table's) and returns its first character.
    uint8_t put(uint32_t code) {
        const uint32_t e = g_table[code];
        const uint32_t length = length_of(e);
        if (fill_ + length <= end_) {
            const uint8_t* string = g_indices + fill_;
            fill_ += length;
            write_back(e, length, g_indices + fill_);
            const uint8_t first = *string;
            if (fill_ == end_) flush();
            return first;
        }
        uint8_t first = 0;
        for (uint32_t from = 0; from < length && !done_;) {
            const uint32_t n = end_ - fill_ < length - from ? end_ - fill_ : length - from;
            // Characters from..from+n-1 of the string: skip the chain's links behind them.
            uint32_t link = e;
            for (uint32_t k = length - (from + n); k; --k) link = g_table[link & 0xFFF];
            write_back(link, n, g_indices + fill_ + n);
            if (from == 0) first = g_indices[fill_];
            fill_ += n;
            from += n;
            if (fill_ == end_) flush();
        }
        return first;
    }

    // Draws what the row buffer holds of a row that will not be finished.
    void flush_partial() {
        if (!done_ && fill_) draw(fill_);
    }

  private:
    static constexpr uint8_t kPassStart[4] = {0, 4, 2, 1};
    static constexpr uint8_t kPassStep[4] = {8, 8, 4, 2};

    // n characters ending at d, taken from the chain that starts at entry e.
    static void write_back(uint32_t e, uint32_t n, uint8_t* d) {
        for (; n; --n) {
            *--d = uint8_t(e >> 12);
            e = g_table[e & 0xFFF];
        }
    }

    void start_chunk() {
        fill_ = 0;
        const int left = im_.width - column_;
        end_ = uint32_t(left < kChunkPixels ? left : kChunkPixels);
    }

    void draw(uint32_t n) {
        if (!sink_.visible(row_, column_, int(n))) return;
        const int t = im_.transparent;
        if (t < 0) {
            for (uint32_t i = 0; i < n; ++i) g_pixels[i] = g_palette[g_indices[i]];
            sink_.row(row_, column_, g_pixels, int(n));
            return;
        }
        for (uint32_t i = 0; i < n;) {
            while (i < n && g_indices[i] == t) ++i;
            const uint32_t from = i;
            for (; i < n && g_indices[i] != t; ++i) g_pixels[i] = g_palette[g_indices[i]];
            if (i > from) sink_.row(row_, column_ + int(from), g_pixels + from, int(i - from));
        }
    }

    void flush() {
        draw(fill_);
        column_ += int(fill_);
        if (column_ == im_.width) {
            column_ = 0;
            next_row();
        }
        if (!done_) start_chunk();
    }

    void next_row() {
        if (!im_.interlaced) {
            // Rows below the clip box need not be decoded at all.
            if (++row_ >= im_.height || sink_.below_clip(row_)) done_ = true;
            return;
        }
        row_ += kPassStep[pass_];
        while (row_ >= im_.height) {
            if (++pass_ == 4) {
                done_ = true;
                return;
            }
            row_ = kPassStart[pass_];
        }
    }

    ImageSink& sink_;
    const Image& im_;
    int row_ = 0;
    int column_ = 0;
    int pass_ = 0;
    uint32_t fill_ = 0;
    uint32_t end_ = 0;
    bool done_ = false;
};

int decode(ImageStream& s, ImageSink& sink, const Image& im, unsigned min_bits) {
    const uint32_t clear = 1u << min_bits, end_code = clear + 1;
    for (uint32_t c = 0; c < clear; ++c) g_table[c] = entry(0, c, 1);
    CodeReader codes(s);
    RowWriter out(sink, im);
    unsigned width = min_bits + 1;
    uint32_t next = clear + 2;
    int prev = -1;
    uint8_t prev_first = 0;
    while (!out.done()) {
        const int code = codes.code(width);
        if (code < 0 || uint32_t(code) == end_code) {
            out.flush_partial();
            return refuse(kDataError, "GIF: image data end early");
        }
        if (uint32_t(code) == clear) {
            width = min_bits + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        uint8_t first;
        if (uint32_t(code) < next && (prev >= 0 || uint32_t(code) < clear)) {
            first = out.put(uint32_t(code));
            // A full table stays as it is until the encoder clears it.
            if (prev >= 0 && next < kTableSize) {
                g_table[next++] = entry(uint32_t(prev), first, length_of(g_table[prev]) + 1);
            }
        } else if (uint32_t(code) == next && prev >= 0 && next < kTableSize) {
            // The string being defined is the previous one plus its own first character.
            g_table[next++] = entry(uint32_t(prev), prev_first, length_of(g_table[prev]) + 1);
            first = out.put(uint32_t(code));
        } else {
            out.flush_partial();
            return refuse(kDataError, "GIF: bad LZW code");
        }
        if (next == (1u << width) && width < kMaxCodeBits) ++width;
        prev = code;
        prev_first = first;
    }
    return 0;
}

}  // namespace

int GUI_GIF_DrawEx(GUI_GET_DATA_FUNC* getData, void* user, int x, int y) {
    if (!getData) return kRefused;
    ImageStream s(getData, user);
    uint8_t head[13];
    if (!s.read(head, sizeof head) || std::memcmp(head, "GIF", 3) != 0 ||
        (std::memcmp(head + 3, "87a", 3) != 0 && std::memcmp(head + 3, "89a", 3) != 0)) {
        return refuse(kRefused, "GIF: not a GIF file");
    }
    // A local map, when the image has one, replaces the global one; without either, every
    // index lies past the map and draws black.
    const bool global = head[10] & 0x80;
    if (!read_colour_map(s, global ? 2u << (head[10] & 7) : 0)) {
        return refuse(kRefused, "GIF: file truncated");
    }
    int transparent = -1;
    for (;;) {
        const int block = s.byte();
        if (block == 0x21) {
            const int label = s.byte();
            if (label == 0xF9) {
                uint8_t gce[5];
                if (!s.read(gce, 1)) return refuse(kRefused, "GIF: file truncated");
                if (gce[0] >= 4) {
                    if (!s.read(gce + 1, 4)) return refuse(kRefused, "GIF: file truncated");
                    transparent = gce[1] & 1 ? gce[4] : -1;
                    if (!s.skip(gce[0] - 4u)) return refuse(kRefused, "GIF: file truncated");
                } else if (!s.skip(gce[0])) {
                    return refuse(kRefused, "GIF: file truncated");
                }
            }
            if (label < 0 || !skip_sub_blocks(s)) return refuse(kRefused, "GIF: file truncated");
            continue;
        }
        if (block == 0x2C) break;
        if (block == 0x3B) return refuse(kRefused, "GIF: no image");
        return refuse(kRefused, block < 0 ? "GIF: file truncated" : "GIF: bad block");
    }

    uint8_t desc[9];
    if (!s.read(desc, sizeof desc)) return refuse(kRefused, "GIF: file truncated");
    Image im;
    im.left = desc[0] | desc[1] << 8;
    im.top = desc[2] | desc[3] << 8;
    im.width = desc[4] | desc[5] << 8;
    im.height = desc[6] | desc[7] << 8;
    im.interlaced = desc[8] & 0x40;
    im.transparent = transparent;
    if (im.width == 0 || im.height == 0) return refuse(kRefused, "GIF: empty image");
    if (desc[8] & 0x80) {
        if (!read_colour_map(s, 2u << (desc[8] & 7)))
            return refuse(kRefused, "GIF: file truncated");
    }
    const int min_bits = s.byte();
    if (min_bits < 0) return refuse(kRefused, "GIF: file truncated");
    if (min_bits < 2 || min_bits > 8) return refuse(kRefused, "GIF: bad LZW code size");
    // Beyond the int range the image cannot be seen anyway.
    const int64_t at_x = int64_t(x) + im.left, at_y = int64_t(y) + im.top;
    ImageSink sink(at_x > INT_MAX ? INT_MAX : int(at_x), at_y > INT_MAX ? INT_MAX : int(at_y));
    return decode(s, sink, im, unsigned(min_bits));
}
