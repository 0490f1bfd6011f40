// Builds run-time font data ("GUIP") for tests: glyphs given as coverage values, one byte per
// pixel, packed into the font's depth.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace voxa_test {

class SifBuilder {
  public:
    SifBuilder(int bpp, int line, int baseline, int cap)
        : bpp_(bpp), line_(line), baseline_(baseline), cap_(cap) {}

    // pixels: width * height coverage values, rows from the top. advance 0 makes a hole.
    SifBuilder& glyph(uint16_t code, int advance, int x, int y, int width, int height,
                      std::vector<uint8_t> pixels = {}) {
        glyphs_[code] = Glyph{advance, x, y, width, height, std::move(pixels)};
        return *this;
    }

    // Consecutive codes share a range.
    std::vector<uint8_t> build() const {
        std::vector<std::pair<uint16_t, uint16_t>> ranges;
        for (const auto& [code, g] : glyphs_) {
            if (!ranges.empty() && ranges.back().second + 1 == code) {
                ranges.back().second = code;
            } else {
                ranges.push_back({code, code});
            }
        }
        std::vector<uint8_t> d(20 + 8 * ranges.size(), 0);
        d[0] = 'G', d[1] = 'U', d[2] = 'I', d[3] = 'P';
        d[4] = 1;
        d[5] = uint8_t(bpp_);
        put16(d, 6, uint16_t(line_));
        put16(d, 8, uint16_t(baseline_));
        put16(d, 10, uint16_t(cap_));
        put16(d, 12, uint16_t(ranges.size()));
        for (size_t r = 0; r < ranges.size(); ++r) {
            put16(d, 20 + 8 * r, ranges[r].first);
            put16(d, 22 + 8 * r, ranges[r].second);
            put32(d, 24 + 8 * r, uint32_t(d.size()));
            d.resize(d.size() + 8 * (ranges[r].second - ranges[r].first + 1), 0);
        }
        size_t record = 20 + 8 * ranges.size();
        for (const auto& [code, g] : glyphs_) {
            d[record + 0] = uint8_t(g.advance);
            d[record + 1] = uint8_t(g.x);
            d[record + 2] = uint8_t(g.y);
            d[record + 3] = uint8_t(g.width);
            d[record + 4] = uint8_t(g.height);
            const uint32_t rows = uint32_t(d.size());
            d[record + 5] = uint8_t(rows), d[record + 6] = uint8_t(rows >> 8);
            d[record + 7] = uint8_t(rows >> 16);
            const int bytesPerRow = (g.width * bpp_ + 7) / 8;
            for (int y = 0; y < g.height; ++y) {
                std::vector<uint8_t> row(size_t(bytesPerRow), 0);
                for (int x = 0; x < g.width; ++x) {
                    const size_t i = size_t(y * g.width + x);
                    const int value = i < g.pixels.size() ? g.pixels[i] : 0;
                    const int bit = x * bpp_;
                    row[size_t(bit / 8)] |= uint8_t(value << (8 - bpp_ - bit % 8));
                }
                d.insert(d.end(), row.begin(), row.end());
            }
            record += 8;
        }
        put32(d, 16, uint32_t(d.size()));
        return d;
    }

    static void put16(std::vector<uint8_t>& d, size_t at, uint16_t v) {
        d[at] = uint8_t(v), d[at + 1] = uint8_t(v >> 8);
    }
    static void put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + size_t(i)] = uint8_t(v >> (8 * i));
    }

  private:
    struct Glyph {
        int advance, x, y, width, height;
        std::vector<uint8_t> pixels;
    };
    int bpp_, line_, baseline_, cap_;
    std::map<uint16_t, Glyph> glyphs_;
};

}  // namespace voxa_test
