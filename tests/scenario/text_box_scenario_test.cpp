// Scrolling text boxes as the host drives them: what each row of a box shows is compared pixel
// for pixel with the same text drawn by "t" in the box's colours on a scratch line, replies are
// compared byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace voxa_test {
namespace {

// Yellow on navy for the boxes, on a red screen so that margins show.
constexpr const char* kBoxColours = "S FFFF00 000080";
constexpr int kScratchY = 440;  // below every box of these tests

struct Geometry {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, lines = 0, chars = 0, numLines = 0, fHt = 0, fWd = 0;
};

class TextBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(h.boot(), kBootNoFile);
        ASSERT_EQ(h.command(kBoxColours), ">\r");
        ASSERT_EQ(h.command("z"), ">\r");
        ASSERT_EQ(h.command("r 0 0 799 420 1 FF0000"), ">\r");
        ASSERT_EQ(h.command("f m12"), ">\r");
        // m12: 20-pixel lines; its width as the text command measures it.
        fWd = std::stoi(h.command("t? \"W\"").substr(0, 3));
        ASSERT_GT(fWd, 0);
    }

    // The box as "stdump" lists it.
    Geometry geometry(int box) {
        const std::string dump = h.command("stdump " + std::to_string(box));
        Geometry g;
        int index, type;
        const size_t at = dump.find(":index:");
        EXPECT_NE(at, std::string::npos) << visible(dump);
        if (at == std::string::npos) return g;
        EXPECT_EQ(std::sscanf(dump.c_str() + at,
                              ":index: %d   type: %d   rect: %d %d %d %d\r:dispLines: %d   "
                              "dispChars: %d   numLines: %d   fHt: %d   fWd:%d",
                              &index, &type, &g.x0, &g.y0, &g.x1, &g.y1, &g.lines, &g.chars,
                              &g.numLines, &g.fHt, &g.fWd),
                  11)
            << visible(dump);
        return g;
    }

    // Whether row `row` of the box shows text (from its first character) in the box's colours
    // and nothing else: the same text drawn with "t" on the scratch line must match pixel for
    // pixel over the box's width. Leaves the host's colours as the boxes' colours.
    ::testing::AssertionResult shows(const Geometry& g, int row, const std::string& text) {
        if (h.command(kBoxColours) != ">\r" ||
            h.command("r 0 " + std::to_string(kScratchY) + " 799 479 1 000080") != ">\r") {
            return ::testing::AssertionFailure() << "scratch line";
        }
        if (!text.empty() &&
            h.command("t \"" + text + "\" 0 " + std::to_string(kScratchY)) != ">\r") {
            return ::testing::AssertionFailure() << "reference text";
        }
        for (int y = 0; y < g.fHt; ++y) {
            for (int x = 0; x < g.chars * g.fWd; ++x) {
                const uint16_t got = h.pixel(g.x0 + x, g.y0 + g.fHt * row + y);
                const uint16_t want = h.pixel(x, kScratchY + y);
                if (got != want) {
                    return ::testing::AssertionFailure()
                           << "row " << row << " \"" << text << "\": pixel " << x << "," << y
                           << " is " << got << ", not " << want;
                }
            }
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult rows(const Geometry& g, const std::vector<std::string>& texts) {
        for (size_t r = 0; r < texts.size(); ++r) {
            ::testing::AssertionResult ok = shows(g, int(r), texts[r]);
            if (!ok) return ok;
        }
        return ::testing::AssertionSuccess();
    }

    std::string define(int box, int type, int x0, int y0, int x1, int y1) {
        char line[80];
        std::snprintf(line, sizeof line, "std %d %d %d %d %d %d", box, type, x0, y0, x1, y1);
        return h.command(line);
    }

    Harness h;
    int fWd = 0;
    static constexpr int fHt = 20;
};

TEST_F(TextBoxes, DefinitionCentresTheTextAreaAndRefusesWhatCannotHoldIt) {
    // Two spare rows (one above, one below) and three spare columns (one left, two right).
    ASSERT_EQ(define(1, 1, 10, 10, 10 + 20 * fWd + 2, 10 + 2 * fHt + 1), ">\r");
    Geometry g = geometry(1);
    EXPECT_EQ(g.x0, 11);
    EXPECT_EQ(g.y0, 11);
    EXPECT_EQ(g.x1, 10 + 20 * fWd + 1);
    EXPECT_EQ(g.y1, 10 + 2 * fHt);
    EXPECT_EQ(g.fHt, fHt);
    EXPECT_EQ(g.fWd, fWd);
    EXPECT_EQ(h.command("std 1"), "2 20 100 80\r>\r");
    // The text area is cleared in the box's background, the margins are not.
    EXPECT_EQ(h.pixel(11, 11), 0x0010);
    EXPECT_EQ(h.pixel(g.x1, g.y1), 0x0010);
    EXPECT_EQ(h.pixel(10, 10), 0xF800);
    EXPECT_EQ(h.pixel(g.x1 + 1, g.y1 + 1), 0xF800);
    // The drawing origin moves the box.
    ASSERT_EQ(h.command("o 300 100"), ">\r");
    ASSERT_EQ(define(9, 0, 0, 0, 5 * fWd - 1, 2 * fHt - 1), ">\r");
    g = geometry(9);
    EXPECT_EQ(g.x0, 300);
    EXPECT_EQ(g.y0, 100);
    EXPECT_EQ(h.command("std 9"), "2 5 0 0\r>\r");

    // With the origin at 300, 100: bad numbers, types and corners, one line only, off the
    // screen on each side, beyond any int, too few numbers, an undefined box.
    const char* refused[] = {
        "std 10 0 0 0 99 99",
        "std -1 0 0 0 99 99",
        "std 2 1 0 0 99 99",
        "std 0 2 0 0 99 99",
        "std 0 -1 0 0 99 99",
        "std 0 0 0 0 0 99",
        "std 0 0 50 0 10 99",
        "std 0 0 0 99 99 0",
        "std 0 0 0 0 99 38",
        "std 0 0 -301 0 99 99",
        "std 0 0 0 -101 99 99",
        "std 0 0 0 0 500 99",
        "std 0 0 0 0 99 380",
        "std 0 0 -2147483648 0 2147483647 99",
        "std 0 0 0 -2147483648 99 2147483647",
        "std 2147483647 0 0 0 99 99",
        "std 0 0 0 0 99",
        "std 9 1",
        "std 3",
    };
    for (const char* line : refused) EXPECT_EQ(h.command(line), "!\r") << line;
    // A refused redefinition leaves the box as it was.
    EXPECT_EQ(h.command("std 9"), "2 5 0 0\r>\r");
    // A proportional font cannot make a box.
    ASSERT_EQ(h.command("o 0 0"), ">\r");
    ASSERT_EQ(h.command("f 12"), ">\r");
    EXPECT_EQ(h.command("std 4 0 0 0 199 199"), "!\r");
    ASSERT_EQ(h.command("f m8"), ">\r");
    EXPECT_EQ(h.command("std 4 0 0 0 199 199"), ">\r");
}

TEST_F(TextBoxes, PlainBoxesScrollUpOnAppendAndDownOnPrepend) {
    ASSERT_EQ(define(2, 0, 20, 20, 20 + 10 * fWd - 1, 20 + 3 * fHt - 1), ">\r");
    const Geometry g = geometry(2);
    ASSERT_EQ(g.lines, 3);
    ASSERT_EQ(g.chars, 10);
    for (const char* line : {"sta 2 \"one\"", "sta 2 \"two\"", "sta 2 \"three\""})
        ASSERT_EQ(h.command(line), ">\r") << line;
    EXPECT_TRUE(rows(g, {"one", "two", "three"}));
    // A full box scrolls up by one line.
    ASSERT_EQ(h.command("sta 2 \"four\""), ">\r");
    EXPECT_TRUE(rows(g, {"two", "three", "four"}));
    // Prepending to a full box pushes the bottom line out.
    ASSERT_EQ(h.command("stp 2 \"zero\""), ">\r");
    EXPECT_TRUE(rows(g, {"zero", "two", "three"}));
    // Longer than the box is wide: refused, nothing moves.
    EXPECT_EQ(h.command("sta 2 \"0123456789A\""), "!\r");
    EXPECT_EQ(h.command("stp 2 \"0123456789A\""), "!\r");
    EXPECT_TRUE(rows(g, {"zero", "two", "three"}));
    ASSERT_EQ(h.command("sta 2 \"0123456789\""), ">\r");
    EXPECT_TRUE(rows(g, {"two", "three", "0123456789"}));

    ASSERT_EQ(h.command("stc 2"), ">\r");
    EXPECT_TRUE(rows(g, {"", "", ""}));
    ASSERT_EQ(h.command("stp 2 \"b\""), ">\r");
    ASSERT_EQ(h.command("stp 2 \"a\""), ">\r");
    EXPECT_TRUE(rows(g, {"a", "b", ""}));
    ASSERT_EQ(h.command("sta 2 \"c\""), ">\r");
    EXPECT_TRUE(rows(g, {"a", "b", "c"}));
    EXPECT_EQ(geometry(2).numLines, 3);

    // Plain boxes have no view to move; unknown boxes take nothing.
    for (const char* line : {"sts 2 U", "sts 2 u 1", "stg 2 1", "sta 3 \"x\"", "stp 3 \"x\"",
                             "stc 3", "stc -1", "sta -1 \"x\"", "sta 10 \"x\"", "sta 2", "stc"})
        EXPECT_EQ(h.command(line), "!\r") << line;
    EXPECT_TRUE(rows(g, {"a", "b", "c"}));
}

TEST_F(TextBoxes, ABoxDrawsInItsOwnStateAndLeavesTheHostsAlone) {
    // Reverse text and centred alignment when the box is defined: the box still draws normal
    // text from the left.
    ASSERT_EQ(h.command("tm R"), ">\r");
    ASSERT_EQ(h.command("ta CB"), ">\r");
    ASSERT_EQ(define(0, 1, 20, 20, 20 + 10 * fWd - 1, 20 + 3 * fHt - 1), ">\r");
    const Geometry g = geometry(0);

    const char* host_state[] = {"f 10",  "S 00FF00 FF0000", "tm X", "ta RT",
                                "o 5 7", "sc 3 4",          "p 3",  "d x"};
    for (const char* line : host_state) ASSERT_EQ(h.command(line), ">\r") << line;
    const std::string state = h.command("*STATE");
    const std::string font = h.command("f");
    ASSERT_EQ(font, "10\r>\r");
    for (const char* line :
         {"sta 0 \"abc\"", "sta 0 \"defghijklmnopq\"", "stp 0 \"top\"", "sts 0 r 3", "sts 0 L",
          "sta 0 \"x\"", "sts 0 u 1", "stg 0 1 1", "stc 0", "sta 0 \"again\""}) {
        ASSERT_EQ(h.command(line), ">\r") << line;
        EXPECT_EQ(h.command("*STATE"), state) << line;
        EXPECT_EQ(h.command("f"), font) << line;
    }
    // What a box defined in reverse, centred, XOR drawing draws while the host has moved on:
    // normal text from the left in its own font and colours.
    for (const char* line : {"o 0 0", "f m12", kBoxColours, "tm R", "ta CB"})
        ASSERT_EQ(h.command(line), ">\r") << line;
    ASSERT_EQ(define(0, 1, 20, 20, 20 + 10 * fWd - 1, 20 + 3 * fHt - 1), ">\r");
    for (const char* line :
         {"f 10", "S 00FF00 FF0000", "sta 0 \"Wide mono\"", "f m12", "ta LT", "tm N", "d n"})
        ASSERT_EQ(h.command(line), ">\r") << line;
    EXPECT_TRUE(rows(g, {"Wide mono", "", ""}));
}

TEST_F(TextBoxes, BufferedBoxesMoveTheirViewThroughTheLines) {
    ASSERT_EQ(define(0, 1, 20, 20, 20 + 10 * fWd - 1, 20 + 3 * fHt - 1), ">\r");
    const Geometry g = geometry(0);
    std::vector<std::string> text;
    for (int i = 1; i <= 6; ++i) {
        text.push_back("L" + std::to_string(i) + "-abcdefghijklmnopqrstuvwxyz");
        ASSERT_EQ(h.command("sta 0 \"" + text.back() + "\""), ">\r");
    }
    const auto from = [&](const std::string& s, size_t column) {
        return column < s.size() ? s.substr(column) : std::string();
    };
    EXPECT_TRUE(rows(g, {text[3], text[4], text[5]}));
    // A view scrolled up stays where it is while lines are appended; D shows the newest.
    ASSERT_EQ(h.command("sts 0 u 2"), ">\r");
    EXPECT_TRUE(rows(g, {text[1], text[2], text[3]}));
    text.push_back("L7");
    ASSERT_EQ(h.command("sta 0 \"L7\""), ">\r");
    EXPECT_TRUE(rows(g, {text[1], text[2], text[3]}));
    ASSERT_EQ(h.command("sts 0 D"), ">\r");
    EXPECT_TRUE(rows(g, {text[4], text[5], text[6]}));
    // Moves stop at the edges.
    ASSERT_EQ(h.command("sts 0 d 99"), ">\r");
    ASSERT_EQ(h.command("sts 0 u 99"), ">\r");
    EXPECT_TRUE(rows(g, {text[0], text[1], text[2]}));
    ASSERT_EQ(h.command("sts 0 d 1"), ">\r");
    EXPECT_TRUE(rows(g, {text[1], text[2], text[3]}));
    ASSERT_EQ(h.command("sts 0 r 5"), ">\r");
    EXPECT_TRUE(rows(g, {from(text[1], 5), from(text[2], 5), from(text[3], 5)}));
    ASSERT_EQ(h.command("sts 0 R"), ">\r");  // column 71: the 80th character at the right edge
    EXPECT_NE(h.command("stdump 0").find(":type: 0   :curLine: 1   curChar: 70\r"),
              std::string::npos);
    ASSERT_EQ(h.command("sts 0 l 68"), ">\r");
    EXPECT_TRUE(rows(g, {from(text[1], 2), from(text[2], 2), from(text[3], 2)}));
    ASSERT_EQ(h.command("sts 0 l 79"), ">\r");
    EXPECT_TRUE(rows(g, {text[1], text[2], text[3]}));

    // A move that lands where the view is draws nothing: a white dot inside the box (a colour
    // no box text has) survives it, a real move paints over it.
    ASSERT_EQ(h.command("S FFFFFF 000080"), ">\r");
    const std::string dot = "pw " + std::to_string(g.x1) + " " + std::to_string(g.y1);
    ASSERT_EQ(h.command(dot), ">\r");
    for (const char* line : {"sts 0 L", "sts 0 l 3"}) {
        ASSERT_EQ(h.command(line), ">\r") << line;
        EXPECT_EQ(h.pixel(g.x1, g.y1), 0xFFFF) << line;
    }
    ASSERT_EQ(h.command("sts 0 u 1"), ">\r");  // from line 2 to line 1
    EXPECT_NE(h.pixel(g.x1, g.y1), 0xFFFF);
    ASSERT_EQ(h.command(dot), ">\r");
    for (const char* line : {"sts 0 U", "sts 0 u 5", "sts 0 L", "sts 0 l 1"}) {
        ASSERT_EQ(h.command(line), ">\r") << line;
        EXPECT_EQ(h.pixel(g.x1, g.y1), 0xFFFF) << line;
    }
    ASSERT_EQ(h.command("sts 0 D"), ">\r");
    EXPECT_NE(h.pixel(g.x1, g.y1), 0xFFFF);
    ASSERT_EQ(h.command(dot), ">\r");
    EXPECT_EQ(h.command("sts 0 d 3"), ">\r");
    EXPECT_EQ(h.pixel(g.x1, g.y1), 0xFFFF);
    ASSERT_EQ(h.command("stg 0 5"), ">\r");

    // Counts and letters outside their ranges.
    for (const char* line : {"sts 0 u 0",
                             "sts 0 u 100",
                             "sts 0 d -1",
                             "sts 0 l 80",
                             "sts 0 r 0",
                             "sts 0 U 1",
                             "sts 0 D 2",
                             "sts 0 q 1",
                             "sts 0",
                             "sts 0 u -2147483648",
                             "sts 0 r 2147483647",
                             "sts 2 U",
                             "sts -1 U",
                             "sts 10 U",
                             "stg 0 0",
                             "stg 0 101",
                             "stg 0 1 0",
                             "stg 0 1 81",
                             "stg 0 -1",
                             "stg 0 1 -2147483648",
                             "stg 0",
                             "stg 1 1"})
        EXPECT_EQ(h.command(line), "!\r") << line;
    EXPECT_TRUE(rows(g, {text[4], text[5], text[6]}));

    // "stg" from a line and column; a line beyond the stored ones shows the newest at the top.
    ASSERT_EQ(h.command("stg 0 2 4"), ">\r");
    EXPECT_TRUE(rows(g, {from(text[1], 3), from(text[2], 3), from(text[3], 3)}));
    ASSERT_EQ(h.command("stg 0 100"), ">\r");
    EXPECT_TRUE(rows(g, {text[6], "", ""}));
    // The column is limited so that the 80th character is the last one shown.
    ASSERT_EQ(h.command("stg 0 1 80"), ">\r");
    EXPECT_NE(h.command("stdump 0").find("curChar: 70\r"), std::string::npos);
}

TEST_F(TextBoxes, BufferedBoxesKeepTheLastHundredLines) {
    ASSERT_EQ(define(1, 1, 20, 20, 20 + 10 * fWd - 1, 20 + 2 * fHt - 1), ">\r");
    const Geometry g = geometry(1);
    // While every line fits at once there is nothing to scroll down to.
    EXPECT_EQ(h.command("sts 1 D"), "!\r");
    EXPECT_EQ(h.command("sts 1 d 1"), "!\r");
    ASSERT_EQ(h.command("sta 1 \"n1\""), ">\r");
    EXPECT_EQ(h.command("sts 1 D"), "!\r");
    EXPECT_EQ(h.command("sts 1 U"), ">\r");
    for (int i = 2; i <= 101; ++i)
        ASSERT_EQ(h.command("sta 1 \"n" + std::to_string(i) + "\""), ">\r") << i;
    const std::string dump = h.command("stdump 1");
    EXPECT_NE(dump.find(":bufTopLine: 1   numBufLines: 100\r:001 [n2]\r"), std::string::npos)
        << visible(dump);
    EXPECT_NE(dump.find(":100 [n101]\r>\r"), std::string::npos);
    EXPECT_TRUE(rows(g, {"n100", "n101"}));
    // At the top of a full buffer, the view stays on the oldest line as the lines move up.
    ASSERT_EQ(h.command("sts 1 U"), ">\r");
    EXPECT_TRUE(rows(g, {"n2", "n3"}));
    ASSERT_EQ(h.command("sta 1 \"n102\""), ">\r");
    EXPECT_TRUE(rows(g, {"n3", "n4"}));
    // Prepending to a full buffer drops the newest line.
    ASSERT_EQ(h.command("stp 1 \"n2\""), ">\r");
    EXPECT_TRUE(rows(g, {"n2", "n3"}));
    ASSERT_EQ(h.command("sts 1 D"), ">\r");
    EXPECT_TRUE(rows(g, {"n100", "n101"}));
}

TEST_F(TextBoxes, BoxesWiderThanEightyCharactersAlwaysShowTheFirstColumn) {
    ASSERT_EQ(h.command("f m8"), ">\r");  // 14-pixel lines, narrow enough for more than 80
    ASSERT_EQ(define(0, 1, 0, 0, 799, 2 * 14 - 1), ">\r");
    const Geometry g = geometry(0);
    ASSERT_GT(g.chars, 80);
    const std::string line(80, 'x');
    ASSERT_EQ(h.command("sta 0 \"" + line + "\""), ">\r");
    for (const char* move : {"sts 0 R", "sts 0 r 5", "stg 0 1 50"}) {
        ASSERT_EQ(h.command(move), ">\r") << move;
        EXPECT_NE(h.command("stdump 0").find("curChar: 0\r"), std::string::npos) << move;
        EXPECT_TRUE(shows(g, 0, line)) << move;
    }
}

TEST_F(TextBoxes, DumpListsTheBoxAsWritten) {
    ASSERT_EQ(define(1, 1, 10, 10, 10 + 10 * fWd, 10 + 3 * fHt - 1), ">\r");
    ASSERT_EQ(h.command("sta 1 \"alpha\""), ">\r");
    ASSERT_EQ(h.command("sta 1 \"b\\x41\\\"c\""), ">\r");  // escapes are decoded
    ASSERT_EQ(h.command("stp 1 \"zero\""), ">\r");
    char head[200];
    std::snprintf(head, sizeof head,
                  ":common info:\r:index: 1   type: 1   rect: 10 10 %d %d\r:dispLines: 3   "
                  "dispChars: 10   numLines: 3   fHt: %d   fWd:%d\r",
                  10 + 10 * fWd, 10 + 3 * fHt - 1, fHt, fWd);
    EXPECT_EQ(h.command("stdump 1"),
              std::string(head) +
                  ":buffer info:\r:type: 1   :curLine: 99   curChar: 0\r"
                  ":bufTopLine: 99   numBufLines: 3\r:001 [zero]\r:002 [alpha]\r:003 [bA\"c]\r>\r");

    ASSERT_EQ(define(4, 0, 0, 300, 5 * fWd - 1, 300 + 2 * fHt - 1), ">\r");
    ASSERT_EQ(h.command("sta 4 \"p\""), ">\r");
    std::snprintf(head, sizeof head,
                  ":common info:\r:index: 4   type: 0   rect: 0 300 %d %d\r:dispLines: 2   "
                  "dispChars: 5   numLines: 1   fHt: %d   fWd:%d\r",
                  5 * fWd - 1, 300 + 2 * fHt - 1, fHt, fWd);
    EXPECT_EQ(h.command("stdump 4"), std::string(head) + ":buffer info NOT DEFINED\r>\r");
    EXPECT_EQ(h.command("stdump 3"), ":Scrolling Textbox 3 NOT DEFINED\r>\r");
    EXPECT_EQ(h.command("stdump 10"), ":Invalid Index 10\r!\r");
    EXPECT_EQ(h.command("stdump -1"), ":Invalid Index -1\r!\r");
    EXPECT_EQ(h.command("stdump -2147483648"), ":Invalid Index -2147483648\r!\r");
    EXPECT_EQ(h.command("stdump"), "!\r");
}

TEST_F(TextBoxes, AScreenResetForgetsEveryBox) {
    for (const char* reset : {"z", "zs"}) {
        ASSERT_EQ(define(0, 1, 0, 0, 10 * fWd - 1, 2 * fHt - 1), ">\r");
        ASSERT_EQ(define(5, 0, 0, 100, 10 * fWd - 1, 100 + 2 * fHt - 1), ">\r");
        ASSERT_EQ(h.command("sta 0 \"kept\""), ">\r");
        ASSERT_EQ(h.command(reset), ">\r");
        for (const char* line :
             {"std 0", "std 5", "sta 0 \"x\"", "stp 5 \"x\"", "stc 5", "sts 0 U", "stg 0 1"})
            EXPECT_EQ(h.command(line), "!\r") << reset << ": " << line;
        EXPECT_EQ(h.command("stdump 0"), ":Scrolling Textbox 0 NOT DEFINED\r>\r") << reset;
        // A box defined again starts empty.
        ASSERT_EQ(define(0, 1, 0, 0, 10 * fWd - 1, 2 * fHt - 1), ">\r");
        EXPECT_NE(h.command("stdump 0").find("numBufLines: 0\r>\r"), std::string::npos) << reset;
    }
}

}  // namespace
}  // namespace voxa_test
