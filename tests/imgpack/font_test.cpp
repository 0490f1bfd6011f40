// User fonts: rendered by fontgen's renderer into font data, put into a record that the
// firmware's font table finds and draws with.
#include <gtest/gtest.h>

#include <cstring>

#include "gui/builtin_fonts.h"
#include "gui/font.h"
#include "imgpack.h"
#include "media/fonts.h"

namespace {

using imgpack::FontRequest;

// Every glyph of both fonts: same cell, same ink box, same rows.
void expect_same_glyphs(const GUI_FONT& a, const GUI_FONT& b) {
    const int bpp = GUI_FontBitsPerPixel(&a);
    ASSERT_EQ(bpp, GUI_FontBitsPerPixel(&b));
    EXPECT_EQ(a.yDist, b.yDist);
    EXPECT_EQ(a.baseline, b.baseline);
    EXPECT_EQ(a.capHeight, b.capHeight);
    for (uint32_t c = 0x20; c <= 0xFF; ++c) {
        GUI_CHARINFO ga{}, gb{};
        const int has = GUI_GetGlyph(&a, c, &ga);
        ASSERT_EQ(has, GUI_GetGlyph(&b, c, &gb)) << c;
        if (!has) continue;
        ASSERT_EQ(ga.advance, gb.advance) << c;
        ASSERT_EQ(ga.x, gb.x) << c;
        ASSERT_EQ(ga.y, gb.y) << c;
        ASSERT_EQ(ga.width, gb.width) << c;
        ASSERT_EQ(ga.height, gb.height) << c;
        const size_t bytes = size_t(ga.height) * size_t(GUI_GlyphBytesPerRow(&a, &ga));
        if (bytes > 0) {
            ASSERT_EQ(std::memcmp(GUI_GlyphBits(&a, &ga), GUI_GlyphBits(&b, &gb), bytes), 0) << c;
        }
    }
}

GUI_FONT font_of(const std::vector<uint8_t>& data, int type) {
    GUI_FONT font{};
    EXPECT_EQ(GUI_SIF_CreateFont(data.data(), uint32_t(data.size()), &font, type), 1);
    return font;
}

// The same face, size and metrics as a built-in font give that font glyph for glyph: the user
// font goes through the built-in fonts' renderer, not a copy of it.
TEST(ImgpackFont, RendersAsTheBuiltInFontsDo) {
    std::vector<uint8_t> data;
    std::string error;
    FontRequest mono{VOXA_FONT_MONO, 12, imgpack::kFontAA4, true, 20, 16};
    ASSERT_TRUE(imgpack::render_font(mono, &data, &error)) << error;
    expect_same_glyphs(font_of(data, GUI_SIF_TYPE_PROP_AA4), GUI_FontMono12AA4);

    FontRequest sans{VOXA_FONT_SANS, 8, imgpack::kFont1Bit, false, 14, 11};
    ASSERT_TRUE(imgpack::render_font(sans, &data, &error)) << error;
    expect_same_glyphs(font_of(data, GUI_SIF_TYPE_PROP), GUI_FontArial8);

    // AA2 has no built-in counterpart: 2-bit coverage that uses its whole range, the line
    // taken from the face and holding the capitals.
    FontRequest aa2{VOXA_FONT_SANS, 20, imgpack::kFontAA2, false, 0, 0};
    ASSERT_TRUE(imgpack::render_font(aa2, &data, &error)) << error;
    const GUI_FONT f = font_of(data, GUI_SIF_TYPE_PROP_AA2);
    EXPECT_EQ(f.capHeight, 20);
    EXPECT_GE(f.baseline, 20);
    EXPECT_GT(f.yDist, f.baseline);
    GUI_CHARINFO o{};
    ASSERT_EQ(GUI_GetGlyph(&f, 'O', &o), 1);
    std::vector<int> seen(4, 0);
    const uint8_t* rows = GUI_GlyphBits(&f, &o);
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            const uint8_t byte = rows[y * GUI_GlyphBytesPerRow(&f, &o) + x / 4];
            ++seen[(byte >> (6 - 2 * (x % 4))) & 3];
        }
    }
    for (int v = 0; v < 4; ++v) EXPECT_GT(seen[v], 0) << "coverage " << v;

    // What cannot be rendered is refused with the reason.
    EXPECT_FALSE(imgpack::render_font(FontRequest{"/nonexistent.ttf", 12}, &data, &error));
    EXPECT_NE(error.find("/nonexistent.ttf"), std::string::npos) << error;
    EXPECT_FALSE(imgpack::render_font(FontRequest{VOXA_FONT_MONO, 0}, &data, &error));
    EXPECT_FALSE(
        imgpack::render_font(FontRequest{VOXA_FONT_MONO, 12, 7, false, 0, 0}, &data, &error));
}

// A built file's font record is found by its name and drawn with, from a RAM image (offsets)
// and from one built for the flash window (window addresses).
TEST(ImgpackFont, RecordIsFoundAndUsedByTheFirmware) {
    std::vector<uint8_t> data;
    std::string error;
    ASSERT_TRUE(imgpack::render_font(
        FontRequest{VOXA_FONT_SANS, 16, imgpack::kFontAA4, false, 0, 0}, &data, &error))
        << error;
    imgpack::ImageFile file;
    file.records.resize(3);
    file.records[2].kind = imgpack::Record::Kind::kFont;
    file.records[2].font = imgpack::Font{"big_16", imgpack::kFontAA4, data};
    for (bool flash2 : {false, true}) {
        SCOPED_TRACE(flash2 ? "window addresses" : "offsets");
        file.flash2_locations = flash2;
        std::vector<imgpack::RecordLayout> layout;
        std::vector<uint8_t> bin = imgpack::build(file, &layout, &error);
        ASSERT_FALSE(bin.empty()) << error;
        ASSERT_EQ(layout[2].type, imgpack::kUserFont);
        ASSERT_EQ(layout[2].length, imgpack::kFontHeaderSize + data.size());
        KV_Fonts_Init();
        KV_SetFontImage(bin.data(), uint32_t(bin.size()));
        const FontEntry* entry = KV_FindFont("big_16");
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->sifData, bin.data() + layout[2].start + imgpack::kFontHeaderSize);
        EXPECT_EQ(entry->sifKind, imgpack::kFontAA4);
        GUI_FONT object{};
        EXPECT_EQ(KV_SetFont(entry, &object), 1);
        EXPECT_EQ(object.capHeight, 16);
        uint32_t index = 0;
        char name[kFontNameSize];
        ASSERT_EQ(KV_UserFontName(&index, name), 1);
        EXPECT_STREQ(name, "big_16");
        KV_SetFontImage(nullptr, 0);
    }

    // The listing names the font and says when the module's reader would refuse its data.
    file.flash2_locations = false;
    std::vector<imgpack::RecordLayout> layout;
    std::vector<uint8_t> bin = imgpack::build(file, &layout, &error);
    bool damaged = true;
    std::string text = imgpack::list(bin, &damaged);
    EXPECT_FALSE(damaged) << text;
    EXPECT_NE(text.find("    font 'big_16', kind 3, data @ "), std::string::npos) << text;
    bin[layout[2].start + imgpack::kFontHeaderSize + 4] = 2;  // a font data version it lacks
    text = imgpack::list(bin, &damaged);
    EXPECT_TRUE(damaged);
    EXPECT_NE(text.find("damaged: record 2: the font data are not a font of kind 3"),
              std::string::npos)
        << text;

    // Names of 1 to 9 characters; font data the module's reader refuses never go in.
    for (const char* bad : {"", "ten_chars_"}) {
        file.records[2].font.name = bad;
        EXPECT_TRUE(imgpack::build(file, nullptr, &error).empty()) << bad;
    }
    file.records[2].font.name = "ok";
    file.records[2].font.kind = imgpack::kFont1Bit;  // 4-bit data under a 1-bit kind
    EXPECT_TRUE(imgpack::build(file, nullptr, &error).empty());
    file.records[2].font.kind = imgpack::kFontAA4;
    file.records[2].font.data.resize(data.size() - 1);
    EXPECT_TRUE(imgpack::build(file, nullptr, &error).empty());
}

}  // namespace
