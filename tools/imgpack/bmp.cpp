// BMP files to 8-bit RGBA: 1, 4, 8 bits with a palette (RLE4 and RLE8 too), 16 and 32 bits with
// or without bit fields, 24 bits; bottom-up and top-down. The bytes come from anywhere, so every
// read is checked against the buffer before it is made.
#include <algorithm>
#include <bit>
#include <string>

#include "imgpack.h"

namespace imgpack {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sides, 3-byte palette entries
constexpr uint32_t kInfoHeaderSize = 40;

enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kAlphaBitFields = 6,
};

class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool has(uint64_t at, uint64_t count) const {
        return at <= bytes_.size() && count <= bytes_.size() - at;
    }
    uint32_t u8(uint64_t at) const { return bytes_[size_t(at)]; }
    uint32_t u16(uint64_t at) const { return u8(at) | u8(at + 1) << 8; }
    uint32_t u32(uint64_t at) const { return u16(at) | u16(at + 2) << 16; }
    size_t size() const { return bytes_.size(); }

  private:
    const std::vector<uint8_t>& bytes_;
};

// A channel taken out of a pixel by its mask and widened to 8 bits by repeating its bits, so
// that the top bits of the stored value survive any later narrowing.
struct Field {
    uint32_t mask = 0;
    int shift = 0, bits = 0;

    static Field of(uint32_t mask) {
        Field f;
        f.mask = mask;
        if (mask == 0) return f;
        f.shift = std::countr_zero(mask);
        f.bits = std::popcount(mask);
        return f;
    }
    // False for a mask with holes, which no writer makes and no widening makes sense of.
    bool contiguous() const { return mask == 0 || ((mask >> shift) & ((mask >> shift) + 1)) == 0; }

    uint8_t get(uint32_t pixel, uint8_t absent) const {
        if (bits == 0) return absent;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t out = 0;
        int have = 0;
        while (have < 8) {
            out = out << bits | v;
            have += bits;
        }
        return uint8_t(out >> (have - 8));
    }
};

struct Colour {
    uint8_t r = 0, g = 0, b = 0;
};

class Decoder {
  public:
    Decoder(const std::vector<uint8_t>& bytes, Picture* out) : in_(bytes), out_(out) {}

    bool run() {
        if (!in_.has(0, kFileHeaderSize + 4) || in_.u8(0) != 'B' || in_.u8(1) != 'M') {
            return fail("not a BMP file");
        }
        const uint32_t pixels_at = in_.u32(10);
        const uint32_t header = in_.u32(kFileHeaderSize);
        const uint64_t h0 = kFileHeaderSize;
        int64_t width, height;
        uint32_t compression = kRgb, colours_used = 0;
        uint32_t entry_size = 4;
        uint64_t palette_at;
        if (header == kCoreHeaderSize) {
            if (!in_.has(h0, kCoreHeaderSize)) return fail("the header is cut short");
            width = in_.u16(h0 + 4);
            height = in_.u16(h0 + 6);
            bpp_ = in_.u16(h0 + 10);
            entry_size = 3;
            palette_at = h0 + kCoreHeaderSize;
        } else if (header >= kInfoHeaderSize) {
            if (!in_.has(h0, kInfoHeaderSize)) return fail("the header is cut short");
            width = int32_t(in_.u32(h0 + 4));
            height = int32_t(in_.u32(h0 + 8));
            bpp_ = in_.u16(h0 + 14);
            compression = in_.u32(h0 + 16);
            colours_used = in_.u32(h0 + 32);
            palette_at = h0 + header;
            // Masks follow a plain info header, or lie inside the longer ones at the same place.
            const bool masks = compression == kBitFields || compression == kAlphaBitFields;
            const uint32_t mask_count = compression == kAlphaBitFields || header >= 56 ? 4 : 3;
            if (masks) {
                if (!in_.has(h0 + kInfoHeaderSize, 4 * mask_count)) {
                    return fail("the colour masks are cut short");
                }
                red_ = Field::of(in_.u32(h0 + 40));
                green_ = Field::of(in_.u32(h0 + 44));
                blue_ = Field::of(in_.u32(h0 + 48));
                if (mask_count == 4) alpha_ = Field::of(in_.u32(h0 + 52));
                if (header == kInfoHeaderSize) palette_at += 4 * mask_count;
            }
        } else {
            return fail("unknown header size " + std::to_string(header));
        }
        if (in_.u16(h0 + (header == kCoreHeaderSize ? 8 : 12)) != 1) {
            return fail("the number of planes is not 1");
        }

        top_down_ = height < 0;
        if (top_down_) height = -height;
        if (width <= 0 || height <= 0) return fail("a side is 0 or negative");
        if (width > kMaxBitmapSide || height > kMaxBitmapSide) {
            return fail(std::to_string(width) + "x" + std::to_string(height) +
                        " pixels: a bitmap has at most 65535 on a side");
        }
        if (uint64_t(width) * uint64_t(height) * 2 > kMaxFileSize) {
            return fail("more pixels than the module's memory holds at 16 bits each");
        }
        width_ = uint32_t(width);
        height_ = uint32_t(height);

        switch (compression) {
            case kRgb:
                if (bpp_ == 16) {
                    red_ = Field::of(0x7C00), green_ = Field::of(0x03E0), blue_ = Field::of(0x1F);
                } else if (bpp_ == 32) {
                    red_ = Field::of(0xFF0000), green_ = Field::of(0xFF00);
                    blue_ = Field::of(0xFF);
                } else if (bpp_ != 1 && bpp_ != 4 && bpp_ != 8 && bpp_ != 24) {
                    return fail(std::to_string(bpp_) + " bits per pixel are not taken");
                }
                break;
            case kRle8:
            case kRle4:
                if (bpp_ != (compression == kRle8 ? 8u : 4u)) {
                    return fail("run-length compression does not match the bits per pixel");
                }
                if (top_down_) return fail("a run-length picture cannot be top-down");
                break;
            case kBitFields:
            case kAlphaBitFields:
                if (bpp_ != 16 && bpp_ != 32) return fail("bit fields need 16 or 32 bits");
                if (red_.mask == 0 || green_.mask == 0 || blue_.mask == 0 || !red_.contiguous() ||
                    !green_.contiguous() || !blue_.contiguous() || !alpha_.contiguous()) {
                    return fail("unusable colour masks");
                }
                break;
            default:
                return fail("compression " + std::to_string(compression) + " is not taken");
        }

        if (bpp_ <= 8) {
            uint64_t count = colours_used != 0 ? colours_used : uint64_t(1) << bpp_;
            if (count > 256) count = 256;
            // A palette may be shorter than the header says when the pixels start earlier.
            if (pixels_at > palette_at)
                count = std::min<uint64_t>(count, (pixels_at - palette_at) / entry_size);
            if (!in_.has(palette_at, count * entry_size)) return fail("the palette is cut short");
            for (uint64_t i = 0; i < count; ++i) {
                const uint64_t e = palette_at + i * entry_size;
                palette_.push_back(
                    Colour{uint8_t(in_.u8(e + 2)), uint8_t(in_.u8(e + 1)), uint8_t(in_.u8(e))});
            }
            if (palette_.empty()) return fail("a palette picture without a palette");
        }

        out_->width = width_;
        out_->height = height_;
        out_->rgba.assign(size_t(width_) * height_ * 4, 0xFF);
        if (compression == kRle8 || compression == kRle4) return run_length(pixels_at);
        return rows(pixels_at);
    }

    const std::string& error() const { return error_; }

  private:
    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    uint8_t* at(uint32_t x, uint32_t row_in_file) {
        const uint32_t y = top_down_ ? row_in_file : height_ - 1 - row_in_file;
        return out_->rgba.data() + (size_t(y) * width_ + x) * 4;
    }

    // Indices past a short palette show its first colour, as undrawn run-length pixels do.
    void put_index(uint32_t x, uint32_t row, uint32_t index) {
        const Colour& c = index < palette_.size() ? palette_[index] : palette_[0];
        uint8_t* p = at(x, row);
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
    }

    bool rows(uint64_t start) {
        const uint64_t stride = (uint64_t(width_) * bpp_ + 31) / 32 * 4;
        // The last row need not carry its padding.
        const uint64_t last = (uint64_t(width_) * bpp_ + 7) / 8;
        if (!in_.has(start, stride * (height_ - 1) + last)) return fail("the pixels are cut short");
        for (uint32_t row = 0; row < height_; ++row) {
            const uint64_t r = start + stride * row;
            for (uint32_t x = 0; x < width_; ++x) {
                uint8_t* p = at(x, row);
                switch (bpp_) {
                    case 1:
                    case 4:
                    case 8: {
                        const uint64_t bit = uint64_t(x) * bpp_;
                        const uint32_t byte = in_.u8(r + bit / 8);
                        const uint32_t shift = 8 - bpp_ - uint32_t(bit % 8);
                        put_index(x, row, (byte >> shift) & ((1u << bpp_) - 1));
                        break;
                    }
                    case 24:
                        p[0] = uint8_t(in_.u8(r + 3 * x + 2));
                        p[1] = uint8_t(in_.u8(r + 3 * x + 1));
                        p[2] = uint8_t(in_.u8(r + 3 * x));
                        break;
                    default: {
                        const uint32_t v = bpp_ == 16 ? in_.u16(r + 2 * x) : in_.u32(r + 4 * x);
                        p[0] = red_.get(v, 0);
                        p[1] = green_.get(v, 0);
                        p[2] = blue_.get(v, 0);
                        p[3] = alpha_.get(v, 0xFF);
                        break;
                    }
                }
            }
        }
        return true;
    }

    bool run_length(uint64_t pos) {
        for (uint32_t row = 0; row < height_; ++row) {
            for (uint32_t x = 0; x < width_; ++x) put_index(x, row, 0);
        }
        const bool four = bpp_ == 4;
        uint32_t x = 0, row = 0;
        auto put = [&](uint32_t index) {
            // Pixels past the right edge or the top are dropped, as careful readers do.
            if (x < width_ && row < height_) put_index(x, row, index);
            ++x;
        };
        while (true) {
            if (!in_.has(pos, 2)) return fail("the run-length data end without an end mark");
            const uint32_t count = in_.u8(pos), value = in_.u8(pos + 1);
            pos += 2;
            if (count > 0) {
                for (uint32_t i = 0; i < count; ++i) {
                    put(four ? (i % 2 == 0 ? value >> 4 : value & 0xF) : value);
                }
                continue;
            }
            if (value == 0) {  // end of line
                x = 0;
                ++row;
            } else if (value == 1) {  // end of picture
                return true;
            } else if (value == 2) {  // move right and up
                if (!in_.has(pos, 2)) return fail("a run-length move is cut short");
                x += in_.u8(pos);
                row += in_.u8(pos + 1);
                pos += 2;
            } else {  // `value` pixels as they are, padded to an even number of bytes
                const uint64_t bytes = four ? (value + 1) / 2 : value;
                if (!in_.has(pos, bytes)) return fail("run-length pixels are cut short");
                for (uint32_t i = 0; i < value; ++i) {
                    const uint32_t b = in_.u8(pos + (four ? i / 2 : i));
                    put(four ? (i % 2 == 0 ? b >> 4 : b & 0xF) : b);
                }
                pos += (bytes + 1) & ~uint64_t(1);
            }
            if (row >= height_) return true;  // the end mark may be missing after the last row
        }
    }

    Reader in_;
    Picture* out_;
    std::string error_;
    uint32_t width_ = 0, height_ = 0, bpp_ = 0;
    bool top_down_ = false;
    Field red_, green_, blue_, alpha_;
    std::vector<Colour> palette_;
};

}  // namespace

bool decode_bmp(const std::vector<uint8_t>& bytes, Picture* out, std::string* error) {
    Picture p;
    Decoder d(bytes, &p);
    if (!d.run()) {
        if (error) *error = "BMP: " + d.error();
        return false;
    }
    *out = std::move(p);
    return true;
}

}  // namespace imgpack
