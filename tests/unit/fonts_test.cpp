// The built-in fonts (metrics, glyph data) and the font table with its user font look-up.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "gui/builtin_fonts.h"
#include "gui/gui.h"
#include "image_builder.h"
#include "media/fonts.h"
#include "settings/settings.h"

namespace {

using voxa_test::ImageBuilder;

struct Metrics {
    const GUI_FONT* font;
    uint8_t type;
    int line, base, cap;
};

constexpr uint8_t kBit1 = GUI_FONTTYPE_PROP;
constexpr uint8_t kExt = GUI_FONTTYPE_PROP_EXT;
constexpr uint8_t kAA4 = GUI_FONTTYPE_PROP_AA4;

// Every font object with the kind and metrics the firmware promises its hosts.
const Metrics kFonts[] = {
    {&GUI_FontArial8, kBit1, 14, 11, 8},     {&GUI_FontArial8B, kBit1, 14, 11, 8},
    {&GUI_FontArial10, kBit1, 16, 13, 10},   {&GUI_FontArial10B, kBit1, 16, 13, 10},
    {&GUI_FontArial10AA4, kAA4, 16, 13, 10}, {&GUI_FontArial10BAA4, kAA4, 16, 13, 10},
    {&GUI_FontArial12AA4, kAA4, 18, 15, 12}, {&GUI_FontArial12BAA4, kAA4, 19, 15, 12},
    {&GUI_FontArial14AA4, kAA4, 22, 18, 14}, {&GUI_FontArial14BAA4, kAA4, 22, 18, 14},
    {&GUI_FontArial16AA4, kAA4, 25, 20, 16}, {&GUI_FontArial16BAA4, kAA4, 26, 21, 16},
    {&GUI_FontArial20AA4, kAA4, 32, 26, 20}, {&GUI_FontArial20BAA4, kAA4, 32, 25, 20},
    {&GUI_FontArial24AA4, kAA4, 38, 31, 24}, {&GUI_FontArial24BAA4, kAA4, 38, 31, 24},
    {&GUI_FontArial32AA4, kAA4, 50, 40, 32}, {&GUI_FontArial32BAA4, kAA4, 51, 40, 32},
    {&GUI_FontMono48, kExt, 83, 67, 48},     {&GUI_FontMono64, kExt, 110, 88, 64},
    {&GUI_FontMono8AA4, kAA4, 14, 11, 8},    {&GUI_FontMono8BAA4, kAA4, 14, 11, 8},
    {&GUI_FontMono10AA4, kAA4, 17, 14, 10},  {&GUI_FontMono10BAA4, kAA4, 17, 14, 10},
    {&GUI_FontMono12AA4, kAA4, 20, 16, 12},  {&GUI_FontMono12BAA4, kAA4, 20, 16, 12},
    {&GUI_FontMono14AA4, kAA4, 24, 19, 14},  {&GUI_FontMono14BAA4, kAA4, 24, 19, 14},
    {&GUI_FontMono16AA4, kAA4, 28, 22, 16},  {&GUI_FontMono16BAA4, kAA4, 28, 22, 16},
    {&GUI_FontMono20AA4, kAA4, 35, 28, 20},  {&GUI_FontMono20BAA4, kAA4, 35, 28, 20},
    {&GUI_FontMono24AA4, kAA4, 42, 34, 24},  {&GUI_FontMono24BAA4, kAA4, 42, 34, 24},
    {&GUI_FontMono32AA4, kAA4, 54, 43, 31},  {&GUI_FontMono32BAA4, kAA4, 54, 43, 31},
    {&GUI_Font16_1, kBit1, 16, 13, 10},      {&GUI_Font16B_1, kBit1, 16, 13, 10},
};

const Metrics* metricsOf(const GUI_FONT* font) {
    for (const Metrics& m : kFonts) {
        if (m.font == font) return &m;
    }
    return nullptr;
}

bool isMono(const GUI_FONT* font) {
    for (const GUI_FONT* f :
         {&GUI_FontMono48, &GUI_FontMono64, &GUI_FontMono8AA4, &GUI_FontMono8BAA4,
          &GUI_FontMono10AA4, &GUI_FontMono10BAA4, &GUI_FontMono12AA4, &GUI_FontMono12BAA4,
          &GUI_FontMono14AA4, &GUI_FontMono14BAA4, &GUI_FontMono16AA4, &GUI_FontMono16BAA4,
          &GUI_FontMono20AA4, &GUI_FontMono20BAA4, &GUI_FontMono24AA4, &GUI_FontMono24BAA4,
          &GUI_FontMono32AA4, &GUI_FontMono32BAA4}) {
        if (f == font) return true;
    }
    return false;
}

// The names in search order and the font each one selects (the first entry of a name wins).
struct NameCase {
    const char* name;
    const GUI_FONT* font;
};
const NameCase kNames[kFontTableSize] = {
    {"8s", &GUI_FontArial8},        {"8Bs", &GUI_FontArial8B},     {"8", &GUI_FontArial8},
    {"8B", &GUI_FontArial8B},       {"10s", &GUI_FontArial10},     {"10Bs", &GUI_FontArial10B},
    {"10", &GUI_FontArial10AA4},    {"10B", &GUI_FontArial10BAA4}, {"12", &GUI_FontArial12AA4},
    {"12B", &GUI_FontArial12BAA4},  {"14", &GUI_FontArial14AA4},   {"14B", &GUI_FontArial14BAA4},
    {"16", &GUI_FontArial16AA4},    {"16B", &GUI_FontArial16BAA4}, {"20", &GUI_FontArial20AA4},
    {"20B", &GUI_FontArial20BAA4},  {"24", &GUI_FontArial24AA4},   {"24B", &GUI_FontArial24BAA4},
    {"32", &GUI_FontArial32AA4},    {"32B", &GUI_FontArial32BAA4}, {"48", &GUI_FontMono48},
    {"64", &GUI_FontMono64},        {"m8", &GUI_FontMono8AA4},     {"m8B", &GUI_FontMono8BAA4},
    {"m10", &GUI_FontMono10AA4},    {"m10B", &GUI_FontMono10BAA4}, {"m12", &GUI_FontMono12AA4},
    {"m12B", &GUI_FontMono12BAA4},  {"m14", &GUI_FontMono14AA4},   {"m14B", &GUI_FontMono14BAA4},
    {"m16", &GUI_FontMono16AA4},    {"m16B", &GUI_FontMono16BAA4}, {"m20", &GUI_FontMono20AA4},
    {"m20B", &GUI_FontMono20BAA4},  {"m24", &GUI_FontMono24AA4},   {"m24B", &GUI_FontMono24BAA4},
    {"m32", &GUI_FontMono32AA4},    {"m32B", &GUI_FontMono32BAA4}, {"m48", &GUI_FontMono48},
    {"m64", &GUI_FontMono64},       {"dummy", &GUI_FontArial8},    {"10S", &GUI_FontArial8},
    {"13", &GUI_FontArial10},       {"13B", &GUI_FontArial10B},    {"x16", &GUI_Font16_1},
    {"x16B", &GUI_Font16B_1},       {"18BC", &GUI_FontArial24AA4}, {"24", &GUI_FontArial24AA4},
    {"24B", &GUI_FontArial24BAA4},  {"24BC", &GUI_FontArial24AA4}, {"32", &GUI_FontArial32AA4},
    {"32B", &GUI_FontArial32BAA4},  {"4x6", &GUI_FontMono8AA4},    {"6x8", &GUI_FontMono8AA4},
    {"6x9", &GUI_FontMono8AA4},     {"8x8", &GUI_FontMono8AA4},    {"8x9", &GUI_FontMono8AA4},
    {"8x10", &GUI_FontMono10AA4},   {"8x12", &GUI_FontMono12AA4},  {"8x13", &GUI_FontMono12AA4},
    {"8x15B", &GUI_FontMono14AA4},  {"8x16", &GUI_FontMono16AA4},  {"8x16L", &GUI_FontMono16AA4},
    {"12x24", &GUI_FontMono24AA4},  {"14x24", &GUI_FontMono24AA4}, {"16x32", &GUI_FontMono32AA4},
    {"16x32i", &GUI_FontMono32AA4}, {"24x48", &GUI_FontMono48},    {"32x64", &GUI_FontMono64},
    {"40x80", &GUI_FontMono64},     {"60x120", &GUI_FontMono64},
};

TEST(FontTable, EveryNameSelectsItsFontWithItsMetrics) {
    ASSERT_EQ(fontTable[kFontTableSize].name, nullptr);
    for (int i = 0; i < kFontTableSize; ++i) {
        const NameCase& c = kNames[i];
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(fontTable[i].name, c.name);
        const FontEntry* e = KV_FindFont(c.name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->font, c.font);
        const Metrics* m = metricsOf(e->font);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(e->font->type, m->type);
        EXPECT_EQ(e->font->yDist, m->line);
        EXPECT_EQ(e->font->baseline, m->base);
        EXPECT_EQ(e->font->capHeight, m->cap);
    }
}

TEST(FontTable, ShadowedAndSharedNames) {
    // The bold 24 of the main table, not the alias at the end that maps to the plain 24.
    EXPECT_EQ(KV_FindFont("24B"), &fontTable[17]);
    EXPECT_EQ(KV_FindFont("8x16")->font, KV_FindFont("m16")->font);
    EXPECT_EQ(KV_FindFont("m8")->font, KV_FindFont("8x8")->font);
    // Case matters; a prefix or an extension of a name is another name.
    EXPECT_EQ(KV_FindFont("M16"), nullptr);
    EXPECT_EQ(KV_FindFont("m1"), nullptr);
    EXPECT_EQ(KV_FindFont("m16BB"), nullptr);
    EXPECT_EQ(KV_FindFont(""), nullptr);
    EXPECT_EQ(KV_FindFont(nullptr), nullptr);
}

TEST(FontTable, NameEnumerationWrapsAfterOneNull) {
    KV_Fonts_Init();
    std::vector<std::string> names;
    for (const char* n; (n = KV_FontName()) != nullptr;) names.push_back(n);
    ASSERT_EQ(names.size(), size_t(kFontTableSize));
    for (int i = 0; i < kFontTableSize; ++i) EXPECT_EQ(names[size_t(i)], kNames[i].name);
    // What "f?" shows: the 40 names before "dummy".
    EXPECT_EQ(names[40], "dummy");
    EXPECT_EQ(names.front(), "8s");
    EXPECT_EQ(names[39], "m64");
    EXPECT_STREQ(KV_FontName(), "8s");
    EXPECT_STREQ(KV_FontName(), "8Bs");
    KV_Fonts_Init();
    EXPECT_STREQ(KV_FontName(), "8s");
}

// ---------------------------------------------------------------------------------------------
// Glyph data

int pixel(const GUI_FONT* f, const GUI_CHARINFO* g, int x, int y) {
    const int bpp = GUI_FontBitsPerPixel(f);
    const uint8_t* row = GUI_GlyphBits(f, g) + y * GUI_GlyphBytesPerRow(f, g);
    const int bit = x * bpp;
    return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
}

TEST(FontGlyphs, EveryGlyphExistsFitsItsCellAndHasATightInkBox) {
    for (const Metrics& m : kFonts) {
        const GUI_FONT* f = m.font;
        SCOPED_TRACE(testing::Message() << "font with line " << m.line << " cap " << m.cap);
        int monoAdvance = 0;
        for (uint32_t c = 0x20; c <= 0xFF; ++c) {
            if (c == 0x80) c = 0xA0;
            SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c);
            const GUI_CHARINFO* g = GUI_FindGlyph(f, c);
            ASSERT_NE(g, nullptr);
            EXPECT_GT(g->advance, 0);
            EXPECT_LE(g->x + g->width, g->advance);
            EXPECT_LE(g->y + g->height, f->yDist);
            ASSERT_EQ(g->width == 0, g->height == 0);
            if (isMono(f)) {
                if (monoAdvance == 0) monoAdvance = g->advance;
                EXPECT_EQ(g->advance, monoAdvance);
            }
            if (g->width == 0) continue;
            const uint32_t offset = uint32_t(GUI_GlyphBits(f, g) - f->bits);
            ASSERT_LE(offset + uint32_t(g->height * GUI_GlyphBytesPerRow(f, g)), f->bitsSize);
            // A tight box has ink in its outer rows and columns; a wrong row length or bit
            // order would leave one of them blank.
            bool top = false, bottom = false, left = false, right = false;
            for (int x = 0; x < g->width; ++x) {
                top |= pixel(f, g, x, 0) != 0;
                bottom |= pixel(f, g, x, g->height - 1) != 0;
            }
            for (int y = 0; y < g->height; ++y) {
                left |= pixel(f, g, 0, y) != 0;
                right |= pixel(f, g, g->width - 1, y) != 0;
            }
            EXPECT_TRUE(top && bottom && left && right);
        }
        // The capitals are as high as the font says and stand on its baseline.
        for (const char c : {'H', 'E', 'T'}) {
            const GUI_CHARINFO* g = GUI_FindGlyph(f, uint8_t(c));
            EXPECT_EQ(g->y + g->height, f->baseline) << c;
            EXPECT_EQ(g->height, f->capHeight) << c;
        }
        EXPECT_EQ(GUI_FindGlyph(f, ' ')->width, 0);
    }
}

TEST(FontGlyphs, CodesOutsideTheFontHaveNoGlyph) {
    for (const Metrics& m : kFonts) {
        for (const uint32_t c : {0x00u, 0x1Fu, 0x80u, 0x9Fu, 0x100u, 0x20ACu, 0x10FFFFu}) {
            EXPECT_EQ(GUI_FindGlyph(m.font, c), nullptr) << std::hex << c;
        }
    }
    EXPECT_EQ(GUI_FindGlyph(nullptr, 'A'), nullptr);

    // A code inside a range that a run-time font left out.
    const GUI_CHARINFO glyphs[3] = {
        {5, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, {5, 0, 0, 0, 0, 0, 0}};
    const GUI_FONT_RANGE range = {'a', 'c', glyphs};
    const uint8_t bits[1] = {0};
    const GUI_FONT sparse = {GUI_FONTTYPE_PROP_AA2, 1, 10, 8, 6, 1, &range, bits};
    EXPECT_EQ(GUI_FindGlyph(&sparse, 'a'), &glyphs[0]);
    EXPECT_EQ(GUI_FindGlyph(&sparse, 'b'), nullptr);
    EXPECT_EQ(GUI_FindGlyph(&sparse, 'c'), &glyphs[2]);
    EXPECT_EQ(GUI_FindGlyph(&sparse, 'd'), nullptr);
}

// ---------------------------------------------------------------------------------------------
// User fonts in the bitmap/macro image

class UserFonts : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Standalone::instance();
        KV_Fonts_Init();
        KV_GUI_Init();
        builder.add(3, std::vector<uint8_t>(16, 0));  // macros
        builder.add(1, std::vector<uint8_t>(20, 0));  // a bitmap
        builder.addFont("big", 3);
        builder.addFont("m12", 3);
        builder.add(0, {});  // blank record
        builder.addFont("odd", 0, "GUIP", 0x14);
        builder.addFont("weird", 7);
        builder.addFont("notsif", 2, "NOPE, no font here");
    }
    void TearDown() override { KV_SetFontImage(nullptr, 0); }

    // Puts the image into memory of exactly its size, so that a read past it is caught.
    void use(const std::vector<uint8_t>& img, size_t size) {
        memory.reset(new uint8_t[size]);
        std::memcpy(memory.get(), img.data(), size);
        KV_SetFontImage(memory.get(), uint32_t(size));
    }
    void use(const std::vector<uint8_t>& img) { use(img, img.size()); }

    std::vector<std::string> listed() {
        std::vector<std::string> names;
        char name[kFontNameSize];
        for (uint32_t i = 0; KV_UserFontName(&i, name);) names.push_back(name);
        return names;
    }

    ImageBuilder builder;
    std::unique_ptr<uint8_t[]> memory;
};

TEST_F(UserFonts, FoundByNameAfterTheBuiltInNames) {
    use(builder.build());
    const FontEntry* e = KV_FindFont("big");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->name, "big");
    EXPECT_EQ(e->font, nullptr);
    EXPECT_EQ(e->sifKind, 3);
    ASSERT_NE(e->sifData, nullptr);
    EXPECT_EQ(std::memcmp(e->sifData, "GUIP font data", 14), 0);
    // The font data end where the record ends: the next record is no part of them.
    EXPECT_EQ(e->sifSize, 14u);
    // The type's low four bits decide.
    EXPECT_NE(KV_FindFont("odd"), nullptr);
    // The built-in table is searched first.
    EXPECT_EQ(KV_FindFont("m12"), &fontTable[26]);
    EXPECT_EQ(KV_FindFont("nothing"), nullptr);
    EXPECT_EQ(listed(), (std::vector<std::string>{"big", "m12", "odd", "weird", "notsif"}));

    KV_SetFontImage(nullptr, 0);
    EXPECT_EQ(KV_FindFont("big"), nullptr);
    EXPECT_TRUE(listed().empty());
}

TEST_F(UserFonts, FlashWindowLocationsAreFound) {
    use(builder.build(0xC8400000));
    const FontEntry* e = KV_FindFont("notsif");
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->sifData, nullptr);
    EXPECT_EQ(std::memcmp(e->sifData, "NOPE", 4), 0);
}

TEST_F(UserFonts, InvalidImagesHaveNoUserFonts) {
    std::vector<uint8_t> img = builder.build();
    img[0] = 0xEB;  // the older product's magic
    use(img);
    EXPECT_EQ(KV_FindFont("big"), nullptr);
    img = builder.build();
    img[2] = img[3] = 0;  // no records
    use(img);
    EXPECT_EQ(KV_FindFont("big"), nullptr);
    use(builder.build(), 5);  // not even a header
    EXPECT_EQ(KV_FindFont("big"), nullptr);
}

TEST_F(UserFonts, CorruptRecordsAreSkippedWithoutReadingOutside) {
    const std::vector<uint8_t> good = builder.build();
    // Directory index of "big" is 2; its entry starts at 8 + 24.
    constexpr size_t kBigEntry = 8 + 2 * 12;
    {
        std::vector<uint8_t> img = good;
        ImageBuilder::put32(img, kBigEntry + 4, uint32_t(img.size()));  // location past the end
        use(img);
        EXPECT_EQ(KV_FindFont("big"), nullptr);
        EXPECT_NE(KV_FindFont("odd"), nullptr);
        ImageBuilder::put32(img, kBigEntry + 4, uint32_t(img.size() - 18));  // record cut off
        use(img);
        EXPECT_EQ(KV_FindFont("big"), nullptr);
        ImageBuilder::put32(img, kBigEntry + 4, 0xC9FBFFFF);  // far end of the flash window
        use(img);
        EXPECT_EQ(KV_FindFont("big"), nullptr);
    }
    {
        // A name field without its NUL is no name.
        std::vector<uint8_t> img = good;
        const size_t record = img[kBigEntry + 4] | (img[kBigEntry + 5] << 8);
        std::memset(&img[record + 8], 'b', 10);
        use(img);
        EXPECT_EQ(KV_FindFont("bbbbbbbbbb"), nullptr);
        EXPECT_EQ(KV_FindFont("bbbbbbbbb"), nullptr);
        EXPECT_EQ(listed(), (std::vector<std::string>{"m12", "odd", "weird", "notsif"}));
    }
    {
        // More records than the directory has room for.
        std::vector<uint8_t> img = good;
        ImageBuilder::put16(img, 2, 0xFFFF);
        use(img);
        EXPECT_NE(KV_FindFont("big"), nullptr);
        listed();  // walks every entry that fits
    }
    {
        // A size field smaller than the memory ends the image early.
        std::vector<uint8_t> img = good;
        const size_t record = img[kBigEntry + 4] | (img[kBigEntry + 5] << 8);
        ImageBuilder::put32(img, 4, uint32_t(record + 10));
        use(img);
        EXPECT_EQ(KV_FindFont("big"), nullptr);
    }
    // Every truncation of the image: whatever is found lies wholly inside.
    for (size_t size = 0; size <= good.size(); ++size) {
        use(good, size);
        for (const char* name : {"big", "odd", "weird", "notsif", "zzz"}) {
            const FontEntry* e = KV_FindFont(name);
            if (e == nullptr || e->sifData == nullptr) continue;
            EXPECT_LE(e->sifData + e->sifSize, memory.get() + size);
        }
        for (const std::string& name : listed()) EXPECT_LT(name.size(), size_t(kFontNameSize));
    }
}

TEST_F(UserFonts, SelectingFonts) {
    use(builder.build());
    EXPECT_STREQ(KV_GetCurrentFontName(), "10s");
    EXPECT_EQ(GUI_GetFont(), &GUI_FontArial10);

    EXPECT_EQ(GUIDEMO_SetFont("8x16"), 1);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono16AA4);
    EXPECT_STREQ(KV_GetCurrentFontName(), "8x16");
    EXPECT_EQ(GUIDEMO_SetFont("no such"), 0);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono16AA4);
    EXPECT_STREQ(KV_GetCurrentFontName(), "8x16");
    EXPECT_EQ(KV_GetFontPtr(), KV_FindFont("8x16"));

    // Data that are no font data are never taken for a font; the record is still current.
    EXPECT_EQ(KV_SetFont(KV_FindFont("notsif"), &CmdFont), 0);
    EXPECT_EQ(GUIDEMO_SetFont("notsif"), 1);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono16AA4);
    EXPECT_STREQ(KV_GetCurrentFontName(), "notsif");
    // The current entry outlives later look-ups.
    EXPECT_NE(KV_FindFont("big"), nullptr);
    EXPECT_STREQ(KV_GetCurrentFontName(), "notsif");
    EXPECT_EQ(KV_GetFontPtr()->sifKind, 2);

    EXPECT_EQ(KV_SetFont(KV_FindFont("big"), nullptr), 0);
    EXPECT_EQ(KV_SetFont(nullptr, &CmdFont), 0);
    EXPECT_EQ(GUIDEMO_SetFont("m12"), 1);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono12AA4);
}

TEST_F(UserFonts, UnknownKindIsReportedAndStillBecomesCurrent) {
    auto& board = sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_COM_Init0();
    KV_COM_Init1();
    board.take_output(0);
    use(builder.build());
    GUIDEMO_SetFont("16");
    EXPECT_EQ(GUIDEMO_SetFont("weird"), 1);
    board.run_for_ns(20'000'000);  // the bytes leave at the line's pace
    EXPECT_EQ(board.take_output(0), ":Unsupported SIF font type\r");
    EXPECT_STREQ(KV_GetCurrentFontName(), "weird");
    EXPECT_EQ(GUI_GetFont(), &GUI_FontArial16AA4);
}

}  // namespace
