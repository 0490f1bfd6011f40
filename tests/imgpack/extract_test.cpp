// extract: a file taken apart and built again from what was written is the same file, byte
// for byte; what the manifest cannot say is reported; damaged files are refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "imgpack.h"

namespace {

namespace fs = std::filesystem;
using imgpack::Record;

class ImgpackExtract : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/imgpack-extract-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Extracts into a fresh folder and builds its manifest again.
    std::vector<uint8_t> round_trip(const std::vector<uint8_t>& bin, std::string* notes) {
        const std::string out = dir_ + "/x" + std::to_string(++runs_);
        std::string error, text;
        bool flash2 = false;
        EXPECT_TRUE(imgpack::extract(bin, out, &flash2, notes, &error)) << error;
        EXPECT_TRUE(imgpack::read_file(out + "/voxa.manifest", &text));
        imgpack::ImageFile again;
        EXPECT_TRUE(imgpack::parse_manifest(text, out, &again, &error)) << error;
        again.flash2_locations = flash2;
        return imgpack::build(again, nullptr, &error);
    }

    // A file with every record type; bitmaps chosen so that each encoding is kept.
    static imgpack::ImageFile every_type() {
        imgpack::ImageFile f;
        f.records.resize(8);
        f.records[0].kind = Record::Kind::kMacros;
        f.records[0].macros.macros = {
            imgpack::Macro{"start", {"z", "", "// note", ":x130", "t \"a  b\" 1 2"}},
            imgpack::Macro{},
            imgpack::Macro{"", {"m start"}},
            imgpack::Macro{"last", {}},
            imgpack::Macro{},
        };
        imgpack::Bitmap stripes;
        stripes.width = 40;
        stripes.height = 3;
        for (uint32_t i = 0; i < 120; ++i) stripes.pixels.push_back(i < 60 ? 0x001F : 0xF800);
        imgpack::Bitmap noise = stripes;
        for (uint32_t i = 0; i < 120; ++i) noise.pixels[i] = uint16_t(i * 0x9E37);
        imgpack::Bitmap keyed = noise;
        keyed.transparent = true;
        keyed.key = noise.pixels[7];
        f.records[2] = Record{Record::Kind::kBitmap, {}, noise, imgpack::Encoding::kPlain, {}};
        f.records[3] = Record{Record::Kind::kBitmap, {}, stripes, imgpack::Encoding::kAuto, {}};
        f.records[4] = Record{Record::Kind::kBitmap, {}, keyed, imgpack::Encoding::kAuto, {}};
        // Run-length although longer than plain.
        f.records[5] = Record{Record::Kind::kBitmap, {}, noise, imgpack::Encoding::kRle, {}};
        std::vector<uint8_t> data;
        std::string error;
        EXPECT_TRUE(imgpack::render_font(
            imgpack::FontRequest{VOXA_FONT_SANS, 10, imgpack::kFontAA2, false, 0, 0}, &data,
            &error))
            << error;
        f.records[6].kind = Record::Kind::kFont;
        f.records[6].font = imgpack::Font{"small", imgpack::kFontAA2, data};
        EXPECT_TRUE(imgpack::render_font(
            imgpack::FontRequest{VOXA_FONT_MONO, 9, imgpack::kFont1Bit, true, 0, 0}, &data, &error))
            << error;
        f.records[7].kind = Record::Kind::kFont;
        f.records[7].font = imgpack::Font{"one_bit", 0xFF, data};  // the other 1-bit kind byte
        return f;
    }

    std::string dir_;
    int runs_ = 0;
};

TEST_F(ImgpackExtract, RebuildingGivesTheSameFile) {
    imgpack::ImageFile f = every_type();
    for (bool flash2 : {false, true}) {
        for (bool names : {true, false}) {
            SCOPED_TRACE(std::string(flash2 ? "window" : "offsets") + (names ? "" : ", no names"));
            f.flash2_locations = flash2;
            f.records[0].macros.names = names;
            std::vector<imgpack::RecordLayout> layout;
            std::string error, notes;
            const std::vector<uint8_t> bin = imgpack::build(f, &layout, &error);
            ASSERT_FALSE(bin.empty()) << error;
            const uint8_t types[] = {3, 0, 1, 2, 5, 2, 4, 4};
            for (size_t i = 0; i < layout.size(); ++i) ASSERT_EQ(layout[i].type, types[i]) << i;
            EXPECT_EQ(round_trip(bin, &notes), bin);
            EXPECT_EQ(notes, "");
        }
    }
    // Only macros, the first one empty and without name.
    imgpack::MacroFile m;
    m.macros = {imgpack::Macro{}, imgpack::Macro{"b", {"x"}}};
    const std::vector<uint8_t> bin = imgpack::build(m);
    std::string notes;
    EXPECT_EQ(round_trip(bin, &notes), bin);
}

// Files another tool may write: what the macro text cannot carry is named, and the rebuild is
// said to differ (or to fail) instead of passing silently.
TEST_F(ImgpackExtract, WhatCannotBeRebuiltIsReported) {
    imgpack::MacroFile m;
    m.macros = {imgpack::Macro{"a", {"  indented", "#x"}, 9}};
    std::string notes;
    EXPECT_NE(round_trip(imgpack::build(m), &notes), imgpack::build(m));
    EXPECT_NE(notes.find("macro 1 is listed as #9"), std::string::npos) << notes;
    EXPECT_NE(notes.find("macro 1 line 1: '  indented'"), std::string::npos) << notes;
    EXPECT_NE(notes.find("macro 1 line 2: '#x'"), std::string::npos) << notes;
    EXPECT_NE(notes.find("building the manifest gives a different file"), std::string::npos)
        << notes;

    // A line "end" ends the block early: the text no longer reads.
    m.macros = {imgpack::Macro{"a", {"end", "z"}}};
    const std::string out = dir_ + "/end";
    std::string error;
    ASSERT_TRUE(imgpack::extract(imgpack::build(m), out, nullptr, &notes, &error)) << error;
    EXPECT_NE(notes.find("macro 1 line 1: 'end'"), std::string::npos) << notes;
    EXPECT_NE(notes.find("the manifest does not build"), std::string::npos) << notes;
}

// A file cut anywhere, or with a record type the format does not have, is refused with a
// reason (and, under the sanitizers, without reading outside it).
TEST_F(ImgpackExtract, DamagedFilesAreRefused) {
    std::string error, notes;
    const std::vector<uint8_t> bin = imgpack::build(every_type(), nullptr, &error);
    ASSERT_FALSE(bin.empty()) << error;
    // Records end where the next begins, so every cut inside the records' data loses some.
    for (size_t n = 0; n < bin.size(); n += (n < 400 ? 1 : 97)) {
        std::vector<uint8_t> cut(bin.begin(), bin.begin() + long(n));
        error.clear();
        bool flash2;
        const bool ok = imgpack::extract(cut, dir_ + "/cut", &flash2, &notes, &error);
        if (ok) {
            EXPECT_NE(notes, "") << n;  // a rebuild can never give the longer file
        } else {
            EXPECT_NE(error, "") << n;
        }
    }
    // A record whose size says it ends before its pixels or its font data do.
    for (int record : {2, 3, 6}) {
        std::vector<uint8_t> short_size = bin;
        const size_t field = 8 + 12 * size_t(record) + 8;
        const uint32_t size = uint32_t(bin[field]) | uint32_t(bin[field + 1]) << 8 |
                              uint32_t(bin[field + 2]) << 16 | uint32_t(bin[field + 3]) << 24;
        for (int i = 0; i < 4; ++i) short_size[field + i] = uint8_t((size - 1) >> (8 * i));
        EXPECT_FALSE(imgpack::extract(short_size, dir_ + "/short", nullptr, &notes, &error))
            << record;
        EXPECT_NE(error.find("record " + std::to_string(record) + ": "), std::string::npos)
            << error;
    }
    std::vector<uint8_t> odd = bin;
    odd[8 + 12 * 1] = 9;
    EXPECT_FALSE(imgpack::extract(odd, dir_ + "/odd", nullptr, &notes, &error));
    EXPECT_EQ(error, "record 1: unknown record type 9");
}

}  // namespace
