// Run-time fonts: the checks before use, data at any address, damaged data never read outside,
// and user fonts of the bitmap/macro image selected and drawn through the text commands.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "command/parse_command.h"
#include "core/main_loop.h"
#include "device/board.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/fonts.h"
#include "sif_builder.h"
#include "test_screen.h"

namespace voxa_test {
namespace {

constexpr int W = kWvgaScreen.width;

// 'A' and 'B' in one range, the euro sign in a second; 120 bytes:
//   header 0-19, ranges 20-35, glyph records 36-51 ('A', 'B') and 52-59 (euro),
//   rows 60-61 ('A'), 62-91 ('B'), 92-119 (euro).
std::vector<uint8_t> small_font(int bpp = 4) {
    const uint8_t full = uint8_t((1 << bpp) - 1);
    SifBuilder b(bpp, 10, 8, 6);
    b.glyph('A', 4, 1, 1, 2, 2, {0, 1, 2, full});
    b.glyph('B', 5, 0, 0, 5, 10, std::vector<uint8_t>(50, full));
    b.glyph(0x20AC, 7, 0, 0, 7, 7, std::vector<uint8_t>(49, full));
    return b.build();
}

// A copy of exactly its size, so that any read past the end is caught.
std::unique_ptr<uint8_t[]> exact_copy(const std::vector<uint8_t>& d) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[d.empty() ? 1 : d.size()]);
    if (!d.empty()) std::memcpy(p.get(), d.data(), d.size());
    return p;
}

std::string utf8(uint32_t c) {
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

class SifFont : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Standalone::instance();
        KV_GUI_Init();
        screen_.open(kWvgaScreen, 0x1234);
        fb_ = lcd_framebuffer();
    }
    void TearDown() override { EXPECT_TRUE(screen_.untouched_outside()); }
    uint16_t px(int x, int y) const { return screen_.px(x, y); }

    TestScreen screen_;

    uint16_t* fb_;
};

TEST_F(SifFont, TheDocumentedExampleIsAFont) {
    const std::vector<uint8_t> example = {
        0x47, 0x55, 0x49, 0x50, 0x01, 0x01, 0x08, 0x00, 0x07, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00,
        0x00, 0x2D, 0x00, 0x00, 0x00, 0x41, 0x00, 0x41, 0x00, 0x1C, 0x00, 0x00, 0x00, 0x06, 0x00,
        0x02, 0x05, 0x05, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x50, 0x88, 0xF8, 0x88,
    };
    ASSERT_EQ(example.size(), 45u);
    GUI_FONT font{};
    ASSERT_EQ(GUI_SIF_CreateFont(example.data(), 45, &font, GUI_SIF_TYPE_PROP), 1);
    EXPECT_EQ(font.yDist, 8);
    EXPECT_EQ(font.baseline, 7);
    EXPECT_EQ(font.capHeight, 5);
    GUI_SetFont(&font);
    GUI_SetColor(0xFFFFFF);
    GUI_SetBkColor(0x000000);
    GUI_DispStringAt("AA", 10, 10);
    const char* rows[] = {"......", "......", "..#...", ".#.#..",
                          "#...#.", "#####.", "#...#.", "......"};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            EXPECT_EQ(px(10 + x, 10 + y), rows[y][x % 6] == '#' ? 0xFFFF : 0x0000)
                << x << ", " << y;
        }
    }
    EXPECT_EQ(GUI_GetStringDistX("AAB"), 12);  // no 'B'
}

TEST_F(SifFont, DataMayLieAtAnyAddress) {
    const std::vector<uint8_t> d = small_font();
    std::vector<uint16_t> first;
    for (size_t shift = 0; shift < 4; ++shift) {
        std::vector<uint8_t> buffer(shift, 0xEE);
        buffer.insert(buffer.end(), d.begin(), d.end());
        GUI_FONT font{};
        ASSERT_EQ(GUI_SIF_CreateFont(buffer.data() + shift, uint32_t(d.size()), &font,
                                     GUI_SIF_TYPE_PROP_AA4),
                  1);
        GUI_SetFont(&font);
        GUI_UC_SetEncodeUTF8();
        GUI_DispStringAt("AB\xE2\x82\xAC", 10, 10);
        std::vector<uint16_t> drawn;
        for (int y = 10; y < 20; ++y) drawn.insert(drawn.end(), fb_ + y * W + 10, fb_ + y * W + 26);
        if (shift == 0) first = drawn;
        EXPECT_EQ(drawn, first) << "shift " << shift;
        EXPECT_EQ(px(25, 16), 0xFFFF);  // the euro sign's last pixel
    }
}

TEST_F(SifFont, EveryRuleRefusesTheWholeFontAndKeepsTheObject) {
    const std::vector<uint8_t> good = small_font();
    ASSERT_EQ(good.size(), 120u);
    const auto u16 = [](std::vector<uint8_t>& d, size_t at, uint16_t v) {
        SifBuilder::put16(d, at, v);
    };
    const auto u32 = [](std::vector<uint8_t>& d, size_t at, uint32_t v) {
        SifBuilder::put32(d, at, v);
    };
    const struct {
        const char* rule;
        std::function<void(std::vector<uint8_t>&)> damage;
    } cases[] = {
        {"magic", [](auto& d) { d[3] = 'Q'; }},
        {"version", [](auto& d) { d[4] = 2; }},
        {"depth against the kind", [](auto& d) { d[5] = 2; }},
        {"line height 0", [&](auto& d) { u16(d, 6, 0); }},
        {"line height above 512", [&](auto& d) { u16(d, 6, 513); }},
        {"baseline below the line", [&](auto& d) { u16(d, 8, 11); }},
        {"capitals above the baseline", [&](auto& d) { u16(d, 10, 9); }},
        {"no ranges", [&](auto& d) { u16(d, 12, 0); }},
        {"256 ranges", [&](auto& d) { u16(d, 12, 256); }},
        {"reserved field", [&](auto& d) { u16(d, 14, 1); }},
        {"size past the memory", [&](auto& d) { u32(d, 16, 121); }},
        {"size without the range table", [&](auto& d) { u32(d, 16, 35); }},
        {"range ending before it starts", [&](auto& d) { u16(d, 22, 0x40); }},
        {"ranges out of order", [&](auto& d) { u16(d, 28, 0x42), u16(d, 30, 0x42); }},
        {"glyph records past the size", [&](auto& d) { u32(d, 24, 105); }},
        {"glyph records in the header", [&](auto& d) { u32(d, 24, 12); }},
        {"range too long for its records", [&](auto& d) { u16(d, 30, 0x20FF); }},
        {"ink right of the cell", [](auto& d) { d[37] = 3; }},
        {"ink below the line", [](auto& d) { d[38] = 9; }},
        {"width without height", [](auto& d) { d[39] = 0; }},
        {"height without width", [](auto& d) { d[40] = 0; }},
        {"rows past the size", [](auto& d) { d[57] = 93; }},
        {"rows in the header", [](auto& d) { d[41] = 19, d[42] = 0; }},
        {"rows far away", [](auto& d) { d[41] = d[42] = d[43] = 0xFF; }},
    };
    static const uint8_t kElsewhere[1] = {0};
    const GUI_FONT sentinel{9, 8, 7, 6, 5, 4, nullptr, kElsewhere, kElsewhere};
    const auto same = [](const GUI_FONT& a, const GUI_FONT& b) {
        return a.type == b.type && a.numRanges == b.numRanges && a.yDist == b.yDist &&
               a.baseline == b.baseline && a.capHeight == b.capHeight && a.bitsSize == b.bitsSize &&
               a.ranges == b.ranges && a.bits == b.bits && a.sif == b.sif;
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> d = good;
        c.damage(d);
        const auto copy = exact_copy(d);
        GUI_FONT font = sentinel;
        EXPECT_EQ(GUI_SIF_CreateFont(copy.get(), uint32_t(d.size()), &font, GUI_SIF_TYPE_PROP_AA4),
                  0)
            << c.rule;
        EXPECT_TRUE(same(font, sentinel)) << c.rule;
    }
    // What the rules allow: more memory than the font, a record marked as no glyph whatever
    // else it holds, a glyph sharing another's rows.
    std::vector<uint8_t> d = good;
    d.resize(200, 0xAB);
    GUI_FONT font{};
    EXPECT_EQ(GUI_SIF_CreateFont(d.data(), 200, &font, GUI_SIF_TYPE_PROP_AA4), 1);
    EXPECT_EQ(font.bitsSize, 120u);
    d = good;
    d[36] = 0, d[37] = 0xFF, d[41] = 0xFF;  // 'A' is no glyph
    d[49] = 60, d[50] = 0;                  // 'B' takes rows from the start of 'A's
    d[47] = 2;                              // two rows of 'B' then fit
    ASSERT_EQ(GUI_SIF_CreateFont(d.data(), 120, &font, GUI_SIF_TYPE_PROP_AA4), 1);
    GUI_CHARINFO g;
    EXPECT_EQ(GUI_GetGlyph(&font, 'A', &g), 0);
    EXPECT_EQ(GUI_GetGlyph(&font, 'B', &g), 1);
    EXPECT_EQ(GUI_FindGlyph(&font, 'B'), nullptr);  // records are read in place, not as tables
    // Null pointers and too little memory for a header.
    EXPECT_EQ(GUI_SIF_CreateFont(nullptr, 120, &font, GUI_SIF_TYPE_PROP_AA4), 0);
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), 120, nullptr, GUI_SIF_TYPE_PROP_AA4), 0);
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), 19, &font, GUI_SIF_TYPE_PROP_AA4), 0);
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), 120, &font, 7), 0);
}

TEST_F(SifFont, EachDepthIsTakenOnlyAsItsOwnKind) {
    const int types[] = {GUI_SIF_TYPE_PROP, GUI_SIF_TYPE_PROP_AA2, GUI_SIF_TYPE_PROP_AA4};
    const int depths[] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t> d = small_font(depths[i]);
        for (int j = 0; j < 3; ++j) {
            GUI_FONT font{};
            EXPECT_EQ(GUI_SIF_CreateFont(d.data(), uint32_t(d.size()), &font, types[j]), i == j)
                << depths[i] << " bits as kind " << types[j];
            if (i == j) {
                EXPECT_EQ(GUI_FontBitsPerPixel(&font), depths[i]);
            }
        }
    }
}

// Whatever a damaged font holds, checking it and drawing every code it claims stays inside it.
TEST_F(SifFont, DamagedDataAreNeverReadOutside) {
    const std::vector<uint8_t> good = small_font(2);
    int accepted = 0;
    const auto try_font = [&](const std::vector<uint8_t>& d) {
        const auto copy = exact_copy(d);
        GUI_FONT font{};
        if (!GUI_SIF_CreateFont(copy.get(), uint32_t(d.size()), &font, GUI_SIF_TYPE_PROP_AA2)) {
            return;
        }
        ++accepted;
        GUI_SetFont(&font);
        GUI_UC_SetEncodeUTF8();
        for (uint32_t r = 0; r < font.numRanges; ++r) {
            const uint8_t* range = copy.get() + 20 + 8 * r;
            const uint32_t first = range[0] | (range[1] << 8);
            const uint32_t last = range[2] | (range[3] << 8);
            std::string text;
            for (uint32_t c = first; c <= last && c < first + 300; ++c) text += utf8(c);
            text += utf8(last + 1);
            GUI_DispStringAt(text.c_str(), 100 - int(font.yDist), 100);
            const GUI_RECT box{0, 0, 300, 200};
            GUI_DispStringInRectEx(text.c_str(), &box, GUI_TA_HCENTER, -1, GUI_ROTATE_CW);
        }
    };
    for (size_t at = 0; at < good.size(); ++at) {
        for (const int change : {0x00, 0xFF, 0x01, 0x80, good[at] ^ 0x01, good[at] + 0x10}) {
            std::vector<uint8_t> d = good;
            d[at] = uint8_t(change);
            try_font(d);
        }
    }
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> d(good.begin(), good.begin() + long(n));
        try_font(d);
        if (n >= 20) {
            SifBuilder::put32(d, 16, uint32_t(n));  // a size field that agrees
            try_font(d);
        }
    }
    EXPECT_GT(accepted, 100);  // many harmless changes were accepted and drawn
}

// ---------------------------------------------------------------------------------------------
// User fonts of the bitmap/macro image, through the font commands

class UserFontCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        start_firmware_in_process();
        KV_Fonts_Init();
        KV_DrawingState_Init();
        KV_Text_Init();
        KV_GUI_Init();
        fb_ = lcd_framebuffer();
        builder_.add(1, std::vector<uint8_t>(20, 0));
        builder_.addFont("tiny", 3, small_font(4));
        builder_.addFont("thin", 0xFF, small_font(1));
        std::vector<uint8_t> broken = small_font(4);
        broken[38] = 9;  // ink below the line
        builder_.addFont("broken", 3, broken);
        const std::vector<uint8_t> img = builder_.build();
        image_.reset(new uint8_t[img.size()]);
        std::memcpy(image_.get(), img.data(), img.size());
        KV_SetFontImage(image_.get(), uint32_t(img.size()));
        host_output();
    }
    void TearDown() override {
        KV_SetFontImage(nullptr, 0);
        KV_Fonts_Init();
        host_output();
    }
    int run(const char* text) {
        std::string line = text;
        return parse_command(line.data());
    }
    std::vector<uint16_t> area() const {
        std::vector<uint16_t> a;
        for (int y = 10; y < 20; ++y) a.insert(a.end(), fb_ + y * W + 10, fb_ + y * W + 30);
        return a;
    }

    ImageBuilder builder_;
    std::unique_ptr<uint8_t[]> image_;
    uint16_t* fb_;
};

TEST_F(UserFontCommands, AUserFontIsListedSelectedAndDrawn) {
    ASSERT_EQ(run("f?"), kCmdDone);
    const std::string listing = host_output();
    EXPECT_EQ(listing.substr(listing.rfind("m64\r")), "m64\rtiny\rthin\rbroken\r");

    ASSERT_EQ(run("f tiny"), kCmdDone);
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
    EXPECT_EQ(CmdFont.type, GUI_FONTTYPE_PROP_AA4);
    std::fill(fb_, fb_ + W * 30, 0);
    run("f");
    EXPECT_EQ(host_output(), "tiny\r");
    ASSERT_EQ(run("t \"AB\" 10 10"), kCmdDone);
    const std::vector<uint16_t> tiny = area();
    EXPECT_EQ(fb_[11 * W + 12], 0x1082);  // coverage 1 of white over black: 17, 17, 17
    run("t? \"ABBA\"");
    EXPECT_EQ(host_output(), "18\r");

    // A record whose font is broken becomes current, but the library keeps drawing with the
    // font it had, unharmed.
    ASSERT_EQ(run("f broken"), kCmdDone);
    run("f");
    EXPECT_EQ(host_output(), "broken\r");
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
    std::fill(fb_, fb_ + W * 30, 0);
    run("t \"AB\" 10 10");
    EXPECT_EQ(area(), tiny);

    // Another user font is rebuilt into the same object.
    ASSERT_EQ(run("f thin"), kCmdDone);
    EXPECT_EQ(CmdFont.type, GUI_FONTTYPE_PROP);
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
}

TEST_F(UserFontCommands, SavedStateBringsTheFontAndItsNameBack) {
    run("f m12");
    run("ss");
    run("f 24");
    run("sr");
    run("f");
    EXPECT_EQ(host_output(), "m12\r");
    EXPECT_EQ(GUI_GetFont(), KV_FindFont("m12")->font);

    run("f tiny");
    run("ss");
    run("f 8");
    run("sr");
    run("f");
    EXPECT_EQ(host_output(), "tiny\r");
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
    EXPECT_EQ(CmdFont.type, GUI_FONTTYPE_PROP_AA4);
}

}  // namespace
}  // namespace voxa_test
