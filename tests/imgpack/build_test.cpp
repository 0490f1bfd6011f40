// The bytes imgpack writes, compared with files worked out by hand.
#include <gtest/gtest.h>

#include "imgpack.h"

namespace {

using imgpack::Layout;
using imgpack::Macro;
using imgpack::MacroFile;

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> v;
    for (int x : values) v.push_back(uint8_t(x));
    return v;
}

void append(std::vector<uint8_t>& v, const char* s) {
    do v.push_back(uint8_t(*s));
    while (*s++);
}

uint32_t u32(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
           uint32_t(v[at + 3]) << 24;
}

// Three macros: a named one with two lines, an unnamed empty one, a named one-liner.
MacroFile tiny() {
    MacroFile f;
    f.macros = {Macro{"go", {"z", ":a"}}, Macro{}, Macro{"b", {"c 1 2 3"}}};
    return f;
}

// The tiny file by hand: header, directory (record 0 at 20, 3 macros), table at 20, meta table
// at 44 (magic, 4 unused bytes, names "", "go", "", "b"), lines at 57; the empty macro 2 points
// where macro 3's lines start.
std::vector<uint8_t> tiny_expected() {
    std::vector<uint8_t> v = bytes({
        0xEC, 0xFE, 0x01, 0x00, 0x46, 0x00, 0x00, 0x00,                          // header, size 70
        0x03, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,  // directory
        0x39, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00,  // macro 1: @57, 2 lines
        0x3E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,  // macro 2: @62, none
        0x3E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00,  // macro 3: @62, 1 line
        0xA5, 0xA5, 0x00, 0x00, 0x00, 0x00,              // meta table
    });
    for (const char* s : {"", "go", "", "b", "z", ":a", "c 1 2 3"}) append(v, s);
    return v;
}

TEST(ImgpackBuild, TinyFileByteForByte) {
    Layout layout;
    const std::vector<uint8_t> image = imgpack::build(tiny(), &layout);
    EXPECT_EQ(image, tiny_expected());
    EXPECT_EQ(layout.directory, 8u);
    EXPECT_EQ(layout.table, 20u);
    EXPECT_EQ(layout.meta, 44u);
    EXPECT_EQ(layout.lines, 57u);
    EXPECT_EQ(layout.size, 70u);
}

TEST(ImgpackBuild, Flash2LocationsDifferOnlyInTheLocationFields) {
    MacroFile f = tiny();
    f.flash2_locations = true;
    const std::vector<uint8_t> image = imgpack::build(f);
    std::vector<uint8_t> expected = tiny_expected();
    for (size_t at : {12, 20, 28, 36}) expected[at + 3] = 0xC8, expected[at + 2] = 0x40;
    EXPECT_EQ(image, expected);
    EXPECT_EQ(u32(image, 12), 0xC8400014u);
    EXPECT_EQ(u32(image, 20), 0xC8400039u);
}

TEST(ImgpackBuild, OptionsAndEdges) {
    // Without names the lines follow the table at once.
    MacroFile f = tiny();
    f.names = false;
    Layout layout;
    std::vector<uint8_t> image = imgpack::build(f, &layout);
    EXPECT_EQ(layout.meta, 44u);
    EXPECT_EQ(layout.lines, 44u);
    EXPECT_EQ(image.size(), 44u + 2 + 3 + 8);
    EXPECT_EQ(u32(image, 20), 44u);
    EXPECT_EQ(u32(image, 4), image.size());

    // The shown number is written when set; 0 means the macro's own number.
    f = tiny();
    f.macros[2].shown_number = 42;
    image = imgpack::build(f);
    EXPECT_EQ(image[20 + 6], 1);
    EXPECT_EQ(image[36 + 6], 42);

    // A last macro without lines still points inside the file: the module refuses a file with
    // any location at or past its end.
    f = MacroFile{};
    f.macros = {Macro{"a", {"z"}}, Macro{"b", {}}};
    image = imgpack::build(f, &layout);
    EXPECT_EQ(u32(image, 28), layout.lines + 2);
    EXPECT_LT(u32(image, 28), image.size());
    EXPECT_EQ(u32(image, 4), image.size());

    // No macros at all: a valid, empty macro record.
    image = imgpack::build(MacroFile{}, &layout);
    EXPECT_EQ(image.size(), 8u + 12 + 6 + 1);
    EXPECT_EQ(u32(image, 16), 0u);

    // Lines are written as given, however long.
    f = MacroFile{};
    f.macros = {Macro{"", {std::string(300, 'a')}}};
    image = imgpack::build(f, &layout);
    EXPECT_EQ(image.size(), layout.lines + 301u);
}

TEST(ImgpackBuild, RefusesWhatTheModuleCannotUseUnlessUnchecked) {
    struct Case {
        MacroFile file;
        const char* error_part;
    };
    auto with = [](std::vector<Macro> macros) {
        MacroFile f;
        f.macros = std::move(macros);
        return f;
    };
    std::vector<Case> cases = {
        {with({Macro{"9lives", {"z"}}}), "name \"9lives\""},
        {with({Macro{"a:b", {}}}), "name \"a:b\""},
        {with({Macro{std::string(33, 'n'), {}}}), "at most 32"},
        {with({Macro{"same", {}}, Macro{"same", {}}}), "macro 2: name \"same\" is used twice"},
        {with({Macro{"", {"z", std::string("a\0b", 3)}}}), "macro 1: line 2 holds a NUL"},
        {with(std::vector<Macro>(256)), "256 macros"},
    };
    for (Case& c : cases) {
        std::string error;
        EXPECT_FALSE(imgpack::check(c.file, &error)) << c.error_part;
        EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
        error.clear();
        EXPECT_TRUE(imgpack::build(c.file, nullptr, &error).empty()) << c.error_part;
        EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
        c.file.unchecked = true;
        EXPECT_FALSE(imgpack::build(c.file).empty()) << c.error_part;
    }
    EXPECT_TRUE(imgpack::check(tiny(), nullptr));
    EXPECT_TRUE(imgpack::valid_name("_x9"));
    EXPECT_TRUE(imgpack::valid_name(std::string(32, 'n')));
}

}  // namespace
