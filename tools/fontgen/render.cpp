// The glyph renderer shared by fontgen and imgpack (render.h).
#include "render.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cstdlib>
#include <map>

namespace fontgen {

namespace {

constexpr uint32_t kMaxBitsOffset = 0xFFFFFF;

// One FreeType face set up for one font of the manifest.
class Renderer {
  public:
    Renderer(FT_Face face, Kind kind) : face_(face) {
        const bool grey = maxValue(kind) > 1;
        loadFlags_ = grey ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO;
        renderMode_ = grey ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
        levels_ = maxValue(kind);
    }

    // Hinting snaps heights to whole pixels, but some cap heights fall between two hinted
    // sizes; those are rendered unhinted at the size that puts the capitals on whole pixels.
    void setHinted(bool hinted) { hinted_ = hinted; }
    bool hinted() const { return hinted_; }

    void setSize(FT_F26Dot6 size) {
        if (FT_Set_Char_Size(face_, 0, size, 72, 72) != 0) throw Error("cannot set a size");
    }

    // Renders code c; false when the face has no glyph for it. origin* is the position of the
    // bitmap's top-left pixel relative to the pen on the baseline (y upwards).
    bool render(int c, int* advance, int* originX, int* originY, int* width, int* height,
                std::vector<uint8_t>* values) {
        const FT_UInt index = FT_Get_Char_Index(face_, FT_ULong(c));
        if (index == 0) return false;
        const FT_Int32 flags = hinted_ ? FT_LOAD_DEFAULT | loadFlags_ : FT_LOAD_NO_HINTING;
        if (FT_Load_Glyph(face_, index, flags) != 0 ||
            FT_Render_Glyph(face_->glyph, renderMode_) != 0) {
            throw Error("cannot render character " + std::to_string(c));
        }
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        *advance = int((slot->advance.x + 32) >> 6);
        *originX = slot->bitmap_left;
        *originY = slot->bitmap_top;
        *width = int(bm.width);
        *height = int(bm.rows);
        values->assign(size_t(*width) * size_t(*height), 0);
        if (bm.pitch < 0) throw Error("bottom-up bitmap from FreeType");
        for (int row = 0; row < *height; ++row) {
            const uint8_t* src = bm.buffer + row * bm.pitch;
            for (int col = 0; col < *width; ++col) {
                uint8_t v;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                    v = (src[col >> 3] >> (7 - (col & 7))) & 1;
                } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    v = uint8_t((src[col] * levels_ + 127) / 255);
                } else {
                    throw Error("unexpected pixel mode from FreeType");
                }
                (*values)[size_t(row) * size_t(*width) + size_t(col)] = v;
            }
        }
        return true;
    }

    // Rows of ink of the capital H above the baseline, or -1 when H does not sit on it.
    int capHeight() {
        int advance, ox, oy, w, h;
        std::vector<uint8_t> v;
        if (!render('H', &advance, &ox, &oy, &w, &h, &v)) throw Error("the face has no H");
        int top = -1, bottom = -1;
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                if (v[size_t(row) * size_t(w) + size_t(col)] != 0) {
                    if (top < 0) top = row;
                    bottom = row;
                }
            }
        }
        if (top < 0 || oy - bottom != 1) return -1;
        return oy - top;
    }

  private:
    FT_Face face_;
    bool hinted_ = true;
    FT_Int32 loadFlags_;
    FT_Render_Mode renderMode_;
    int levels_;
};

// The size (26.6 pixels per em) at which H is exactly cap pixels high: hinted, the middle of
// the first run of sizes that give it, so that rounding elsewhere in the glyphs is least
// extreme; unhinted, the largest size that keeps H within cap rows.
FT_F26Dot6 findSize(Renderer& r, FT_Face face, int cap) {
    if (FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE) != 0) throw Error("the face has no H");
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    if (box.yMax <= 0) throw Error("the H of the face has no height");
    const double exact = 64.0 * cap * face->units_per_EM / double(box.yMax);

    constexpr int kStep = 4;  // 1/16 pixel
    r.setHinted(true);
    FT_F26Dot6 runStart = -1, runEnd = -1;
    for (FT_F26Dot6 size = FT_F26Dot6(exact * 0.85) / kStep * kStep; size <= exact * 1.15;
         size += kStep) {
        r.setSize(size);
        if (r.capHeight() == cap) {
            if (runStart < 0) runStart = size;
            runEnd = size;
        } else if (runStart >= 0) {
            break;
        }
    }
    if (runStart >= 0) return (runStart + runEnd) / 2 / kStep * kStep;

    r.setHinted(false);
    for (FT_F26Dot6 size = FT_F26Dot6(exact + 1); size > exact * 0.95; --size) {
        r.setSize(size);
        if (r.capHeight() == cap) return size;
    }
    throw Error("no size gives a cap height of " + std::to_string(cap));
}

// An accent that rises above the line loses blank rows between itself and the letter, so
// that the letter can stay on the baseline.
void closeAccentGap(Glyph& g, const Metrics& spec, FitStats& stats) {
    int excess = -g.y;
    const int capRow = spec.base - spec.cap - g.y;  // first row of the capitals in the box
    for (int row = std::min(capRow, g.height) - 1; row > 0 && excess > 0; --row) {
        const auto first = g.pixels.begin() + row * g.width;
        if (std::any_of(first, first + g.width, [](uint8_t v) { return v != 0; })) continue;
        g.pixels.erase(first, first + g.width);
        --g.height;
        ++g.y;
        --excess;
        ++stats.squeezed;
    }
}

// Keeps the ink box inside the cell: a glyph wider than a proportional cell widens the cell;
// in a monospaced font the outer columns are cropped instead, since every cell must keep the
// same width. Boxes that stick out are shifted in; a box taller than the line is cropped.
void fitIntoCell(Glyph& g, const Metrics& spec, FitStats& stats) {
    if (g.y < 0) closeAccentGap(g, spec, stats);
    if (g.width > g.advance) {
        if (spec.mono) {
            const int cut = g.width - g.advance, left = cut / 2;
            std::vector<uint8_t> kept;
            for (int row = 0; row < g.height; ++row) {
                for (int col = 0; col < g.width; ++col) {
                    const uint8_t v = g.pixels[size_t(row) * size_t(g.width) + size_t(col)];
                    if (col >= left && col < left + g.advance) {
                        kept.push_back(v);
                    } else {
                        stats.maxCropped = std::max(stats.maxCropped, int(v));
                    }
                }
            }
            g.pixels = kept;
            g.x += left;
            g.width = g.advance;
            ++stats.cropped;
        } else {
            g.advance = g.width;
            ++stats.widened;
        }
    }
    if (g.height > spec.line) {
        const int top = (g.height - spec.line) / 2;
        g.pixels.erase(g.pixels.begin(), g.pixels.begin() + top * g.width);
        g.pixels.resize(size_t(spec.line) * size_t(g.width));
        g.y += top;
        g.height = spec.line;
        ++stats.cropped;
    }
    const int x = std::clamp(g.x, 0, g.advance - g.width);
    const int y = std::clamp(g.y, 0, spec.line - g.height);
    if (x != g.x) ++stats.shiftedX;
    if (y != g.y) ++stats.shiftedY;
    stats.maxShift = std::max({stats.maxShift, std::abs(x - g.x), std::abs(y - g.y)});
    g.x = x;
    g.y = y;
}

// Cuts the rows and columns without ink from the box.
void trim(Glyph& g) {
    int top = g.height, bottom = -1, left = g.width, right = -1;
    for (int row = 0; row < g.height; ++row) {
        for (int col = 0; col < g.width; ++col) {
            if (g.pixels[size_t(row) * size_t(g.width) + size_t(col)] == 0) continue;
            top = std::min(top, row);
            bottom = std::max(bottom, row);
            left = std::min(left, col);
            right = std::max(right, col);
        }
    }
    if (bottom < 0) {
        g.width = g.height = 0;
        g.pixels.clear();
        return;
    }
    std::vector<uint8_t> kept;
    for (int row = top; row <= bottom; ++row) {
        for (int col = left; col <= right; ++col) {
            kept.push_back(g.pixels[size_t(row) * size_t(g.width) + size_t(col)]);
        }
    }
    g.x += left;
    g.y += top;
    g.width = right - left + 1;
    g.height = bottom - top + 1;
    g.pixels = kept;
}

}  // namespace

int bitsPerPixel(Kind kind) {
    switch (kind) {
        case Kind::kAA2:
            return 2;
        case Kind::kAA4:
            return 4;
        default:
            return 1;
    }
}

int maxValue(Kind kind) {
    return (1 << bitsPerPixel(kind)) - 1;
}

std::vector<uint8_t> pack(const Glyph& g, int bpp) {
    std::vector<uint8_t> out;
    const int perByte = 8 / bpp;
    for (int row = 0; row < g.height; ++row) {
        for (int col = 0; col < g.width; col += perByte) {
            uint8_t byte = 0;
            for (int i = 0; i < perByte; ++i) {
                const int c = col + i;
                const uint8_t v =
                    c < g.width ? g.pixels[size_t(row) * size_t(g.width) + size_t(c)] : 0;
                byte = uint8_t(byte | (v << (8 - bpp * (i + 1))));
            }
            out.push_back(byte);
        }
    }
    return out;
}

RenderedFont render(FT_Face face, const Metrics& wanted, const std::vector<Range>& ranges) {
    RenderedFont out;
    Metrics spec = wanted;
    Renderer r(face, spec.kind);
    const FT_F26Dot6 size = findSize(r, face, spec.cap);
    r.setSize(size);
    if (spec.line == 0) {
        // The face's own line at this size, never shorter than the capitals.
        const FT_Size_Metrics& m = face->size->metrics;
        spec.base = std::max(int((m.ascender + 63) >> 6), spec.cap);
        spec.line = spec.base + std::max(int((-m.descender + 63) >> 6), 0);
        if (spec.line > 255) throw Error("the line would be taller than 255 pixels");
    }

    FitStats& stats = out.stats;
    int spaceAdvance = 0, monoAdvance = 0;
    {
        int ox, oy, w, h;
        std::vector<uint8_t> v;
        if (!r.render(' ', &spaceAdvance, &ox, &oy, &w, &h, &v))
            throw Error("the face has no space");
        if (!r.render('0', &monoAdvance, &ox, &oy, &w, &h, &v)) throw Error("the face has no 0");
    }
    for (const Range& range : ranges) {
        std::vector<Glyph> glyphs;
        for (int c = range.first; c <= range.last; ++c) {
            Glyph g;
            int originX, originY;
            if (!r.render(c, &g.advance, &originX, &originY, &g.width, &g.height, &g.pixels)) {
                // Control codes such as DEL have no outline: they occupy a blank cell.
                stats.missing.push_back(c);
                g.advance = spaceAdvance;
                g.width = g.height = 0;
                g.pixels.clear();
            } else {
                g.x = originX;
                g.y = spec.base - originY;
            }
            if (spec.mono) g.advance = monoAdvance;
            trim(g);
            g.advance = std::max(g.advance, 1);
            fitIntoCell(g, spec, stats);
            if (g.advance > 255) throw Error("advance too wide");
            glyphs.push_back(std::move(g));
        }
        out.ranges.push_back(std::move(glyphs));
    }

    // Lay the bitmaps out one after the other; identical bitmaps are stored once.
    std::vector<uint8_t>& bits = out.bits;
    std::map<std::string, uint32_t> stored;
    for (auto& glyphs : out.ranges) {
        for (Glyph& g : glyphs) {
            const std::vector<uint8_t> packed = pack(g, bitsPerPixel(spec.kind));
            if (packed.empty()) continue;
            auto [it, added] =
                stored.emplace(std::string(packed.begin(), packed.end()), uint32_t(bits.size()));
            if (added) bits.insert(bits.end(), packed.begin(), packed.end());
            g.offset = it->second;
            if (g.offset > kMaxBitsOffset) throw Error("glyph data too large");
        }
    }
    if (bits.empty()) bits.push_back(0);

    out.metrics = spec;
    out.size = size;
    out.hinted = r.hinted();
    return out;
}

}  // namespace fontgen
