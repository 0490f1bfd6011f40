#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_helpers.h"

namespace {

// A writable line exactly as long as the text, so that reading past its end shows under ASan.
struct Line {
    explicit Line(const std::string& text) : bytes(text.begin(), text.end()) { bytes.push_back(0); }
    char* data() { return bytes.data(); }
    std::vector<char> bytes;
};

struct Decoded {
    std::string text;  // decoded bytes, NULs included
    std::string rest;
    bool ok;
};

Decoded decode(const std::string& input) {
    Line line(input);
    char* rest = nullptr;
    int length = -1;
    char* s = escstrl(line.data(), '"', &rest, &length);
    if (!s) return {"", rest ? rest : "(null)", false};
    return {std::string(s, size_t(length)), rest, true};
}

TEST(Escapes, DecodeInPlaceWithTheirLength) {
    EXPECT_EQ(decode("\"a\\nb\\rc\"").text, "a\nb\rc");
    EXPECT_EQ(decode("\"\\x41\\X4a\\x4f\"").text, "AJO");
    EXPECT_EQ(decode("\"q\\\"q\\\\\\z\"").text, "q\"q\\z");
    // NULs from \0 and \x00 count, so binary data can be sent.
    EXPECT_EQ(decode("\"a\\0b\\x00c\"").text, std::string("a\0b\0c", 5));
    // The text starts after the first quote, wherever it is, and is written over the line.
    const Decoded d = decode("t \"hi\" 10 20");
    EXPECT_EQ(d.text, "hi");
    EXPECT_EQ(d.rest, " 10 20");
    EXPECT_EQ(decode("\"open to the end").text, "open to the end");
    EXPECT_EQ(decode("\"open to the end").rest, "");
    EXPECT_EQ(decode("\"\"").text, "");
}

TEST(Escapes, NothingToDecode) {
    EXPECT_FALSE(decode("no quote").ok);
    EXPECT_FALSE(decode("").ok);
    EXPECT_EQ(escstr(nullptr, '"', nullptr), nullptr);
    char* rest = reinterpret_cast<char*>(1);
    int length = 7;
    EXPECT_EQ(escstrl(nullptr, '"', &rest, &length), nullptr);
    EXPECT_EQ(rest, nullptr);
    EXPECT_EQ(length, 0);
}

TEST(Escapes, AnEscapeCutShortByTheLineEndStaysInside) {
    EXPECT_EQ(decode("\"ab\\").text, "ab\\");
    EXPECT_EQ(decode("\"ab\\x").text, "abx");
    EXPECT_EQ(decode("\"ab\\x4").text, "abx4");
    EXPECT_EQ(decode("\"ab\\x4").rest, "");
    // Two characters are taken whatever they are, even a closing quote (0x22 counts as a
    // decimal digit: 4 * 16 + 0x22 - '0').
    EXPECT_EQ(decode("\"\\x4\"z").text, std::string(1, char(4 * 16 + '"' - '0')) + "z");
}

TEST(HexDigits, LooseAndStrictForms) {
    EXPECT_EQ(shtoU8("4f"), 0x4F);
    EXPECT_EQ(shtoU8("Ab"), 0xAB);
    EXPECT_EQ(shtoU8(":0"), 0xA0);  // below 0x40: taken as a decimal digit, no validation
    EXPECT_EQ(atoh('0'), 0);
    EXPECT_EQ(atoh('9'), 9);
    EXPECT_EQ(atoh('a'), 10);
    EXPECT_EQ(atoh('F'), 15);
    EXPECT_EQ(atoh('g'), 0);
    EXPECT_EQ(atoh(':'), 0);
    char c = 'c';
    EXPECT_EQ(toHex(&c), 12);
    EXPECT_EQ(c, 12);
}

TEST(Tokens, SplitAtTheDelimiterAndSkipItsRun) {
    Line line("outs \"\"raw text\"tail");
    char* rest = nullptr;
    EXPECT_STREQ(strtokr(line.data(), '"', &rest), "outs ");
    EXPECT_STREQ(rest, "raw text\"tail");
    char* after = nullptr;
    EXPECT_STREQ(strtokr(rest, '"', &after), "raw text");
    EXPECT_STREQ(after, "tail");
    // Leading delimiters are not skipped; no delimiter leaves rest at the end.
    Line lead("\"x");
    EXPECT_STREQ(strtokr(lead.data(), '"', &rest), "");
    EXPECT_STREQ(rest, "x");
    Line none("abc");
    EXPECT_STREQ(strtokr(none.data(), '"', &rest), "abc");
    EXPECT_EQ(*rest, '\0');
    // An empty pair of quotes leaves nothing to take: the raw forms fail on it.
    Line empty("outs \"\"");
    strtokr(empty.data(), '"', &rest);
    EXPECT_EQ(strtokr(rest, '"', &after), nullptr);
    EXPECT_EQ(after, nullptr);
    EXPECT_EQ(strtokr(nullptr, '"', &rest), nullptr);
    EXPECT_EQ(rest, nullptr);
}

std::string kill(const std::string& text, int* kept) {
    Line line(text);
    *kept = killTrailingComment(line.data());
    return line.data();
}

TEST(Comments, CutOutsideQuotesOnly) {
    int kept = 0;
    EXPECT_EQ(kill("l 0 0 10 10 // draw", &kept), "l 0 0 10 10");
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(kill("t \"a//b\" // c", &kept), "t \"a//b\"");
    EXPECT_EQ(kill("t \"a\\\"//b\" // c", &kept), "t \"a\\\"//b\"");
    EXPECT_EQ(kill("\"a // b\" // c", &kept), "\"a // b\"");
    EXPECT_EQ(kill("a/ ///b", &kept), "a");
    EXPECT_EQ(kill("trailing blanks stay  ", &kept), "trailing blanks stay  ");
    EXPECT_EQ(kill("// only a remark", &kept), "");
    EXPECT_EQ(kept, 0);
    EXPECT_EQ(kill("  // blanks and a remark", &kept), "");
    EXPECT_EQ(kept, 0);
    EXPECT_EQ(killTrailingComment(nullptr), 0);
}

TEST(Whitespace, SkippedAtTheStart) {
    Line line(" \t\r x y");
    EXPECT_STREQ(skipLeadingWhitespace(line.data()), "x y");
    Line blank("   ");
    EXPECT_EQ(*skipLeadingWhitespace(blank.data()), '\0');
    EXPECT_EQ(skipLeadingWhitespace(nullptr), nullptr);
}

}  // namespace
