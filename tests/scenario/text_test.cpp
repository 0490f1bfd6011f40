// Text and font commands and the start-up banner through the host port: replies byte for byte,
// and pixels compared with the same text drawn elsewhere on the screen, so that the checks
// hold whatever glyph shapes the installed TrueType fonts give.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "harness/harness.h"
#include "sim/screen.h"

namespace voxa_test {
namespace {

constexpr uint16_t kWhite = 0xFFFF;

std::vector<uint16_t> region(const Harness& h, int x0, int y0, int w, int rows) {
    std::vector<uint16_t> r;
    for (int y = y0; y < y0 + rows; ++y) {
        for (int x = x0; x < x0 + w; ++x) r.push_back(h.pixel(x, y));
    }
    return r;
}

int ink(const Harness& h, int x0, int y0, int w, int rows, uint16_t paper = kWhite) {
    int n = 0;
    for (int y = y0; y < y0 + rows; ++y) {
        for (int x = x0; x < x0 + w; ++x) n += h.pixel(x, y) != paper;
    }
    return n;
}

// Rows x0..x0+w-1 that hold anything but paper: first and last, or -1, -1.
std::pair<int, int> ink_rows(const Harness& h, int x0, int y0, int w, int rows) {
    int first = -1, last = -1;
    for (int y = y0; y < y0 + rows; ++y) {
        if (ink(h, x0, y, w, 1) == 0) continue;
        if (first < 0) first = y;
        last = y;
    }
    return {first, last};
}

int number(const std::string& reply) {
    return std::stoi(reply);
}

void save_screenshot(Harness& h, const std::string& name) {
    const std::string dir = VOXA_TEST_OUTPUT_DIR;
    ::mkdir(dir.c_str(), 0777);
    sim::write_png(dir + "/" + name, h.module().width(), h.module().height(),
                   sim::framebuffer_rgb(h.module()), nullptr);
}

class TextCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(h.boot(), kBootNoFile);
        ASSERT_EQ(h.command("z"), ">\r");
    }
    void expect(const std::string& line, const std::string& reply) {
        EXPECT_EQ(visible(h.command(line)), visible(reply)) << "line: " << line;
    }
    int width(const std::string& quoted) {
        const std::string r = h.command("t? \"" + quoted + "\"");
        return number(r);
    }
    Harness h;
};

// ---------------------------------------------------------------------------------------------
// The start-up screen

TEST(TextBanner, VersionAndBaudRateLinesInFont12BelowTheOrigin) {
    Harness h;
    ASSERT_EQ(h.boot(), kBootNoFile);
    save_screenshot(h, "banner.png");
    EXPECT_EQ(h.command("f"), "16\r>\r") << "the command font";
    EXPECT_EQ(h.command("sc"), "0 100\r>\r") << "the cursor below the banner's empty last line";
    const std::vector<uint16_t> version = region(h, 0, 0, 400, 28);
    const std::vector<uint16_t> baud = region(h, 0, 64, 400, 18);
    EXPECT_EQ(ink(h, 0, 46, 800, 18), 0) << "line 3 is empty";
    EXPECT_EQ(ink(h, 0, 82, 800, 398), 0) << "nothing below the baud rate";
    EXPECT_GT(ink(h, 0, 28, 400, 18), 100) << "the maker's notice";

    // The same lines drawn by command in font "12", top-left at (0, 310) and (0, 420).
    ASSERT_EQ(h.command("f 12"), ">\r");
    ASSERT_EQ(h.command("ts \"  VOXA5-PLUS V1.4.0 WVGA \" 0 310"), ">\r");
    ASSERT_EQ(h.command("ts \"  Baud rate = 115,200\" 0 420"), ">\r");
    EXPECT_EQ(region(h, 0, 300, 400, 28), version);
    EXPECT_EQ(region(h, 0, 420, 400, 18), baud);
}

TEST(TextBanner, OtherPanelsNameThemselves) {
    Harness h(sim::Panel::kVga);
    ASSERT_EQ(h.boot(), kBootNoFile);
    const std::vector<uint16_t> version = region(h, 0, 10, 300, 18);
    ASSERT_EQ(h.command("f 12"), ">\r");
    ASSERT_EQ(h.command("ts \"  VOXA5-PLUS V1.4.0 VGA \" 0 300"), ">\r");
    EXPECT_EQ(region(h, 0, 300, 300, 18), version);
}

TEST(TextBanner, AddressedModeAddsItsLine) {
    Harness h;
    ASSERT_EQ(h.boot(), kBootNoFile);
    ASSERT_EQ(h.command("*rs485 !35"), "RS485 Mode SOF 0x21 (!) ADR 35\r");
    h.module().power_cycle();
    h.run_ms(3000);
    const std::vector<uint16_t> line5 = region(h, 0, 82, 400, 18);

    Harness other;
    ASSERT_EQ(other.boot(), kBootNoFile);
    ASSERT_EQ(other.command("z"), ">\r");
    ASSERT_EQ(other.command("f 12"), ">\r");
    ASSERT_EQ(other.command("ts \"  RS485 Mode SOF 0x21 (!) ADR 35\" 0 82"), ">\r");
    EXPECT_EQ(region(other, 0, 82, 400, 18), line5);
    EXPECT_EQ(ink(h, 0, 100, 800, 380), 0);
}

TEST(TextBanner, PowerOnMacroSettingAndSplashSuppressTheBanner) {
    TempDir card;
    write_file(card / "config.ini", "PONMAC = 5\n");
    {
        sim::Module::Options o;
        o.sd_dir = card.path();
        Harness h(o);
        // The power-on macro is tried (there is no macro file) and the banner stays away.
        ASSERT_EQ(h.boot(), ":No bin file in Flash or SD card (1)\r:macro index 5 not valid\r>\r");
        EXPECT_EQ(ink(h, 0, 0, 800, 480), 0);
    }
    write_file(card / "config.ini", "SPL = 3\n");
    sim::Module::Options o;
    o.sd_dir = card.path();
    Harness h(o);
    ASSERT_EQ(h.boot(), kBootNoFileOnCard);
    // No bitmap 3: the splash says so, in the command font, instead of the banner.
    const std::vector<uint16_t> note = region(h, 0, 0, 400, 60);
    ASSERT_EQ(h.command("z"), ">\r");
    ASSERT_EQ(h.command("t \"(invalid splash bitmap)\" 0 10"), ">\r");
    EXPECT_EQ(region(h, 0, 0, 400, 60), note);
}

// ---------------------------------------------------------------------------------------------
// Every font, through the font commands

struct FontMetrics {
    const char* name;
    int line, base, cap;
};
const FontMetrics kListed[] = {
    {"8s", 14, 11, 8},   {"8Bs", 14, 11, 8},   {"8", 14, 11, 8},    {"8B", 14, 11, 8},
    {"10s", 16, 13, 10}, {"10Bs", 16, 13, 10}, {"10", 16, 13, 10},  {"10B", 16, 13, 10},
    {"12", 18, 15, 12},  {"12B", 19, 15, 12},  {"14", 22, 18, 14},  {"14B", 22, 18, 14},
    {"16", 25, 20, 16},  {"16B", 26, 21, 16},  {"20", 32, 26, 20},  {"20B", 32, 25, 20},
    {"24", 38, 31, 24},  {"24B", 38, 31, 24},  {"32", 50, 40, 32},  {"32B", 51, 40, 32},
    {"48", 83, 67, 48},  {"64", 110, 88, 64},  {"m8", 14, 11, 8},   {"m8B", 14, 11, 8},
    {"m10", 17, 14, 10}, {"m10B", 17, 14, 10}, {"m12", 20, 16, 12}, {"m12B", 20, 16, 12},
    {"m14", 24, 19, 14}, {"m14B", 24, 19, 14}, {"m16", 28, 22, 16}, {"m16B", 28, 22, 16},
    {"m20", 35, 28, 20}, {"m20B", 35, 28, 20}, {"m24", 42, 34, 24}, {"m24B", 42, 34, 24},
    {"m32", 54, 43, 31}, {"m32B", 54, 43, 31}, {"m48", 83, 67, 48}, {"m64", 110, 88, 64},
};

TEST_F(TextCommands, TheFortyFontsAreListedAndEachDrawsOnItsLines) {
    std::string expected;
    for (const FontMetrics& f : kListed) expected += std::string(f.name) + "\r";
    expect("f?", expected + ">\r");
    expect("f?", expected + ">\r");  // the listing starts from the first name every time

    for (const FontMetrics& f : kListed) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(h.command("z"), ">\r");
        ASSERT_EQ(h.command(std::string("f ") + f.name), ">\r");
        expect("f", std::string(f.name) + "\r>\r");
        // Capitals between the cap line and the baseline, descenders below it, all inside the
        // line; normal mode paints the line's cells white on white, so only ink shows.
        ASSERT_EQ(h.command("t \"HEX\" 20 200"), ">\r");
        EXPECT_EQ(ink_rows(h, 0, 0, 800, 480),
                  std::make_pair(200 + f.base - f.cap, 200 + f.base - 1));
        ASSERT_EQ(h.command("t \"gjpq\" 400 200"), ">\r");
        const auto rows = ink_rows(h, 400, 0, 400, 480);
        EXPECT_GE(rows.second, 200 + f.base);
        EXPECT_LT(rows.second, 200 + f.line);
    }
}

TEST_F(TextCommands, FontSelectionByNameAndAlias) {
    expect("f", "16\r>\r");
    expect("f 24B", ">\r");
    expect("f", "24B\r>\r");
    expect("f nosuch", "!\r");
    expect("f", "24B\r>\r");
    // An alias draws with the font it names.
    expect("f m16", ">\r");
    expect("t \"Mono 0123\" 10 10", ">\r");
    expect("f 8x16", ">\r");
    expect("f", "8x16\r>\r");
    expect("t \"Mono 0123\" 10 100", ">\r");
    EXPECT_EQ(region(h, 0, 10, 300, 28), region(h, 0, 100, 300, 28));
    EXPECT_GT(ink(h, 0, 10, 300, 28), 100);
    // The saved state brings the font back with its name.
    expect("ss", ">\r");
    expect("f 8", ">\r");
    expect("sr", ">\r");
    expect("f", "8x16\r>\r");
}

// ---------------------------------------------------------------------------------------------
// Quoted text and its options

TEST_F(TextCommands, EscapesLineFeedsAndRawText) {
    // A decoded line feed starts the second line at the left border, one line lower.
    expect("t \"ab\\ncd\" 100 100", ">\r");
    expect("t \"ab\" 100 300", ">\r");
    expect("t \"cd\" 100 325", ">\r");
    EXPECT_EQ(region(h, 90, 100, 100, 50), region(h, 90, 300, 100, 50));
    // The raw form draws the backslash.
    expect("ts \"a\\nb\" 400 100", ">\r");
    expect("t \"a\\\\nb\" 400 300", ">\r");
    EXPECT_EQ(region(h, 390, 100, 150, 25), region(h, 390, 300, 150, 25));
    EXPECT_EQ(ink(h, 390, 125, 150, 25), 0);
    expect("t? \"a\\nb\"",
           std::to_string(width("a") + width("\\") + width("n") + width("b")) + "\r>\r");
    // ESC first: this one text in UTF-8, the setting unchanged.
    expect("t \"\\x1B\\xC3\\xA9t\\xC3\\xA9\" 600 100", ">\r");
    expect("t \"\\xE9t\\xE9\" 600 300", ">\r");
    EXPECT_EQ(region(h, 590, 100, 100, 25), region(h, 590, 300, 100, 25));
    EXPECT_GT(ink(h, 590, 100, 100, 25), 50);
    expect("utf8", "utf8 off\r>\r");
    // Nothing to draw.
    expect("t abc 10 10", "!\r");
    expect("ts \"\" 10 10", "!\r");
    expect("ts abc", "!\r");
    expect("t \"x\" 1 2 3", "!\r");
    expect("t \"x\" 10 10 Q", "!\r");
    expect("T x", "!\r");
}

TEST_F(TextCommands, RightAlignedTextContinuesLeftwards) {
    const int abc = width("abc"), def = width("def");
    expect("ta RT", ">\r");
    expect("t \"abc\" 300 50", ">\r");
    expect("sc", std::to_string(300 - abc) + " 50\r>\r");
    expect("t \"def\"", ">\r");
    expect("sc", std::to_string(300 - abc - def) + " 50\r>\r");
    // The same as the two texts drawn left-aligned at their left ends.
    expect("ta LT", ">\r");
    expect("t \"abc\" " + std::to_string(300 - abc) + " 250", ">\r");
    expect("t \"def\" " + std::to_string(300 - abc - def) + " 250", ">\r");
    EXPECT_EQ(region(h, 150, 50, 200, 25), region(h, 150, 250, 200, 25));
    // Relative to the origin.
    expect("o 100 100", ">\r");
    expect("ta RT", ">\r");
    expect("t \"abc\" 300 50", ">\r");
    expect("sc", std::to_string(300 - abc) + " 50\r>\r");
}

TEST_F(TextCommands, ModeWordsAndTheModeName) {
    expect("tm", "N\r>\r");
    expect("t \"x\" 10 10 R", ">\r");
    expect("tm", "R\r>\r");
    expect("t \"x\" 10 10 TRx", ">\r");
    expect("tm", "TR\r>\r");
    expect("t \"x\" 10 10 Tr", ">\r");
    expect("tm", "T\r>\r");
    expect("tm Xenon", ">\r");
    expect("tm", "X\r>\r");
    expect("tm Q", "!\r");
    expect("tm", "X\r>\r");
    expect("t \"x\" 10 10", ">\r");  // a position alone: normal
    expect("tm", "N\r>\r");
    EXPECT_NE(h.command("*STATE").find(" 0x00 N 0x0000 0x0000 "), std::string::npos);
}

TEST_F(TextCommands, AModeGivenOnceStaysForTextsWithoutOptions) {
    expect("S 000 0F0", ">\r");  // black on green
    expect("z", ">\r");
    // Reverse, given with a position, draws green on black; the library mode is back to
    // normal afterwards, but the next text without options takes reverse again.
    expect("t \"W\" 10 10 R", ">\r");
    const std::vector<uint16_t> reversed = region(h, 0, 10, 60, 25);
    expect("z", ">\r");
    expect("t \"W\" 10 10 N", ">\r");
    const std::vector<uint16_t> normal = region(h, 0, 10, 60, 25);
    EXPECT_NE(reversed, normal);
    expect("z", ">\r");
    expect("t \"W\" 10 10 R", ">\r");
    expect("z", ">\r");
    expect("sc 10 10", ">\r");
    expect("tu W", ">\r");  // "tu" uses the library's mode: normal
    EXPECT_EQ(region(h, 0, 10, 60, 25), normal);
    expect("sc 10 10", ">\r");
    expect("t \"W\"", ">\r");  // no options: lastTextMode, reverse
    EXPECT_EQ(region(h, 0, 10, 60, 25), reversed);
}

TEST_F(TextCommands, BoxTextWithModesAndLayouts) {
    // WW alone: word wrap in normal mode.
    expect("t \"wrap these words\" 100 100 179 199 WW", ">\r");
    expect("tm", "N\r>\r");
    EXPECT_GT(ink(h, 100, 100, 80, 25), 0);
    EXPECT_GT(ink(h, 100, 125, 80, 25), 0);
    EXPECT_EQ(ink(h, 180, 90, 100, 120), 0) << "nothing right of the box";
    // XWC: XOR with character wrap, twice restores; the mode name is X afterwards while the
    // library draws normally again.
    expect("t \"xor\" 400 100 460 200 R", ">\r");  // something to invert
    const uint32_t before = h.framebuffer_crc();
    expect("t \"characters wrapped\" 400 100 460 200 XWC", ">\r");
    EXPECT_NE(h.framebuffer_crc(), before);
    EXPECT_GT(ink(h, 400, 150, 61, 25), 0) << "the wrapped text reaches the third line";
    expect("t \"characters wrapped\" 400 100 460 200 XWC", ">\r");
    EXPECT_EQ(h.framebuffer_crc(), before);
    expect("tm", "X\r>\r");
    // Four values: the box in normal mode with the current alignment.
    expect("ta CC", ">\r");
    expect("t \"mid\" 0 300 99 399", ">\r");
    expect("tm", "N\r>\r");
    const auto rows = ink_rows(h, 0, 300, 100, 100);
    EXPECT_NEAR((rows.first + rows.second) / 2.0, 349.5, 6);
    // Turned text stands in its box.
    expect("z", ">\r");
    expect("ta LT", ">\r");
    expect("t \"turned\" 200 200 229 299 CW", ">\r");
    expect("t \"turned\" 300 200 329 299 CCW", ">\r");
    expect("t \"turned\" 400 200 499 229 I", ">\r");
    // Clockwise from the top, counter-clockwise from the bottom, upside down from the right.
    EXPECT_GT(ink(h, 200, 200, 30, 60), 100);
    EXPECT_EQ(ink(h, 200, 270, 30, 30), 0);
    EXPECT_GT(ink(h, 300, 240, 30, 60), 100);
    EXPECT_EQ(ink(h, 300, 200, 30, 30), 0);
    const int turned = width("turned");
    EXPECT_GT(ink(h, 500 - turned, 200, turned, 30), 100);
    EXPECT_EQ(ink(h, 400, 200, 100 - turned, 30), 0);
    // A word that is neither a mode nor a layout.
    expect("t \"x\" 0 0 50 50 Q", "!\r");
    // The layout after a two-letter mode name: red ink on white (reverse of black on red).
    expect("S 000 F00", ">\r");
    expect("t \"wrap these words\" 600 300 679 399 TRWW", ">\r");
    expect("tm", "TR\r>\r");
    EXPECT_GT(ink(h, 600, 325, 80, 25), 0);
}

TEST_F(TextCommands, AlignmentAndEncodingAreSetAndQueried) {
    expect("ta", "LT\r>\r");
    expect("ta lb", ">\r");
    expect("ta", "LB\r>\r");
    expect("ta L", "LB\r>\r");  // one letter asks
    expect("ta xy", "!\r");
    expect("ta Rx", "!\r");
    expect("ta", "LB\r>\r");
    expect("taCl", ">\r");
    expect("ta", "CL\r>\r");
    expect("utf8", "utf8 off\r>\r");
    expect("utf8 on", ">\r");
    expect("utf8", "utf8 on\r>\r");
    expect("utf8 off", ">\r");
    expect("utf8", "utf8 off\r>\r");
    expect("t? \"", "0\r>\r");
    expect("t? \"\"", "0\r>\r");
    EXPECT_EQ(width("ab\\\"cd"), width("ab\\") + width("\"cd"));
}

TEST_F(TextCommands, InlineModeChangesOnlyTheLibrarysMode) {
    expect("S 000 0F0", ">\r");
    expect("T \"W\" 10 10", ">\r");
    const std::vector<uint16_t> normal = region(h, 0, 10, 60, 25);
    expect("T \"W\" 10 50 R", ">\r");
    expect("tm", "N\r>\r");
    EXPECT_NE(region(h, 0, 50, 60, 25), normal);
    // The library stays in reverse: "tu" draws reversed too.
    expect("sc 10 90", ">\r");
    expect("tu W", ">\r");
    EXPECT_EQ(region(h, 0, 90, 60, 25), region(h, 0, 50, 60, 25));
    expect("T \"W\" 10 130 Zebra", ">\r");  // not a mode: unchanged
    EXPECT_EQ(region(h, 0, 130, 60, 25), region(h, 0, 50, 60, 25));
    expect("T \"W\" 10 170 N", ">\r");
    EXPECT_EQ(region(h, 0, 170, 60, 25), normal);
    expect("T \"W\\nW\" 300 10", ">\r");  // left border at the position
    EXPECT_EQ(region(h, 290, 35, 60, 25), region(h, 290, 10, 60, 25));
}

TEST_F(TextCommands, TextAtTheCursorAndOffTheScreen) {
    expect("sc 10 10", ">\r");
    expect("tu hello world", ">\r");
    const int w = width("hello world");
    expect("sc", std::to_string(10 + w) + " 10\r>\r");
    expect("t \"" + std::string(100, 'W') + "\" 700 470", ">\r");
    expect("t \"" + std::string(100, 'W') + "\" -5000 -10", ">\r");
    expect("t \"x\" 0 0 -100 -100 WW", ">\r");
    expect("t \"x\" 2147483647 2147483647", ">\r");
    expect("vers", "VOXA5-PLUS V1.4.0 WVGA \r>\r");
}

}  // namespace
}  // namespace voxa_test
