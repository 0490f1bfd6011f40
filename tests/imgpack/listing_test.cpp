// Listing files, sound and damaged: the listing must say what is wrong and never read outside
// the bytes it is given.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "imgpack.h"

namespace {

using imgpack::Layout;
using imgpack::Macro;
using imgpack::MacroFile;

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (size_t i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

MacroFile sample() {
    MacroFile f;
    f.macros = {Macro{"go", {"z", ":a", "t \"\x01\""}}, Macro{}, Macro{"b", {"c 1 2 3"}, 9}};
    return f;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ImgpackList, SoundFiles) {
    Layout layout;
    MacroFile f = sample();
    bool damaged = true;
    std::string text = imgpack::list(imgpack::build(f, &layout), &damaged);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(text,
              "file: 76 bytes\n"
              "header: magic 0xFEEC, 1 record, size 76\n"
              "Records: 1\n"
              "  00: type 3 @ 000014 size 3\n"
              "    Macro Definitions\n"
              "macros: 3, with names\n"
              "  #1 go: 3 lines @ 0x000039\n"
              "    'z'\n"
              "    ':a'\n"
              "    't \"\\x01\"'\n"
              "  #2: 0 lines\n"
              "  #3 (shown as #9) b: 1 line @ 0x000044\n"
              "    'c 1 2 3'\n");

    f.flash2_locations = true;
    f.names = false;
    text = imgpack::list(imgpack::build(f), &damaged);
    EXPECT_FALSE(damaged) << text;
    EXPECT_TRUE(contains(text, "  00: type 3 @ c8400014 size 3\n    Macro Definitions\n"));
    EXPECT_TRUE(contains(text, "macros: 3, no meta table (no call by name)"));
    EXPECT_TRUE(contains(text, "  #1: 3 lines @ 0xC840002C (flash, offset 0x00002C)\n    'z'"));
}

TEST(ImgpackList, DamageIsNamed) {
    Layout layout;
    const std::vector<uint8_t> good = imgpack::build(sample(), &layout);
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        const char* says;
    };
    std::vector<Case> cases;
    auto poke = [&](const char* what, const std::function<void(std::vector<uint8_t>&)>& change,
                    const char* says) {
        std::vector<uint8_t> v = good;
        change(v);
        cases.push_back({what, v, says});
    };
    cases.push_back({"empty", {}, "damaged: too short for the 8-byte header"});
    cases.push_back({"header cut", {0xEC, 0xFE, 1, 0, 8}, "damaged: too short"});
    poke(
        "old magic", [](std::vector<uint8_t>& v) { v[0] = 0xEB; },
        "damaged: built for the older module");
    poke(
        "other magic", [](std::vector<uint8_t>& v) { v[1] = 0x12; },
        "damaged: not a bitmap/macro file (magic 0x12EC, expected 0xFEEC)");
    poke(
        "size field", [](std::vector<uint8_t>& v) { v[4] += 1; },
        "damaged: the header's size 77 differs from the file's length 76");
    poke(
        "records", [](std::vector<uint8_t>& v) { v[2] = 0xFF, v[3] = 0xFF; },
        "damaged: the directory of 65535 records runs past the end of the file; 5 fit");
    poke(
        "record type", [](std::vector<uint8_t>& v) { v[8] = 9; },
        "damaged: record 0: type 9 is unknown");
    poke(
        "table past end", [](std::vector<uint8_t>& v) { put32(v, 12, 5000); },
        "damaged: record 0: its location lies outside the file");
    poke(
        "flash table past end", [](std::vector<uint8_t>& v) { put32(v, 12, 0xC8400000 + 76); },
        "damaged: record 0: its location lies outside the file");
    poke(
        "huge N", [](std::vector<uint8_t>& v) { put32(v, 16, 0xFFFFFFFF); },
        "damaged: the macro table of 4294967295 entries runs past the end of the file; 7 fit");
    poke(
        "N above 255", [](std::vector<uint8_t>& v) { put32(v, 16, 256); },
        "damaged: 256 macros; the module calls only 1 to 255");
    poke(
        "lines past end", [&](std::vector<uint8_t>& v) { put32(v, layout.table + 16, 76); },
        "damaged: macro 3: its lines at 0x00004C lie outside the file");
    poke(
        "line count",
        [&](std::vector<uint8_t>& v) { v[layout.table + 4] = 0xFF, v[layout.table + 5] = 0xFF; },
        "damaged: macro 1: line 5 of 65535 runs past the end of the file");
    poke(
        "unterminated", [](std::vector<uint8_t>& v) { v.back() = 'x'; },
        "damaged: macro 3: line 1 of 1 runs past the end of the file");
    poke(
        "names",
        [&](std::vector<uint8_t>& v) {
            v.resize(layout.meta + 8);
            put32(v, 4, uint32_t(v.size()));
        },
        "damaged: the name of macro 1 runs past the end of the file");
    poke(
        "macros elsewhere", [](std::vector<uint8_t>& v) { v[2] = 2, v[20] = 3; },
        "damaged: record 1: macros are read from record 0 only");
    for (const Case& c : cases) {
        bool damaged = false;
        const std::string text = imgpack::list(c.image, &damaged);
        EXPECT_TRUE(damaged) << c.what;
        EXPECT_TRUE(contains(text, c.says)) << c.what << ":\n" << text;
    }
}

// Every prefix of a file, and files with random bytes changed, are listed within their bounds
// (the sanitizer build checks the reads). A shortened file is always reported as damaged.
TEST(ImgpackList, AnyBytes) {
    const std::vector<uint8_t> good = imgpack::build(sample());
    for (size_t n = 0; n < good.size(); ++n) {
        bool damaged = false;
        imgpack::list(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), &damaged);
        EXPECT_TRUE(damaged) << n << " bytes";
    }
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> v = good;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i) v[random() % v.size()] = uint8_t(random());
        if (random() % 4 == 0) v.resize(random() % v.size());
        const std::string text = imgpack::list(v);
        ASSERT_FALSE(text.empty());
    }
}

}  // namespace
