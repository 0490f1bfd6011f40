// Validation and relocation of bitmap/macro files: one damaged file per rule, refused record by
// record (or as a whole for the header and directory), the rest relocated and handed out.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image_builder.h"
#include "imgpack.h"
#include "in_process.h"
#include "media/bitmaps.h"
#include "media/ext_check.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"
#include "media/fonts.h"
#include "media/macro_table.h"

namespace {

using voxa_test::host_output;
using voxa_test::ImageBuilder;

uint32_t get32(const std::vector<uint8_t>& b, uint32_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
void put32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) {
    ImageBuilder::put32(b, at, v);
}
void put16(std::vector<uint8_t>& b, uint32_t at, uint16_t v) {
    ImageBuilder::put16(b, at, v);
}
uint32_t dir(int index) {
    return 8 + 12 * uint32_t(index);
}

// Records 0 macros, 1 plain 3x2, 2 run-length, 3 transparent, 4 blank, 5 font.
std::vector<uint8_t> sample(uint32_t base = 0) {
    imgpack::ImageFile f;
    f.flash2_locations = base != 0;
    imgpack::Record macros;
    macros.kind = imgpack::Record::Kind::kMacros;
    macros.macros.macros = {{"one", {"z", "vers"}}, {"two", {"outs \"x\""}}};
    f.records.push_back(macros);
    for (const auto enc : {imgpack::Encoding::kPlain, imgpack::Encoding::kRle}) {
        imgpack::Record r;
        r.kind = imgpack::Record::Kind::kBitmap;
        r.bitmap.width = 3;
        r.bitmap.height = 2;
        r.bitmap.pixels = {1, 2, 3, 4, 5, 6};
        r.encoding = enc;
        f.records.push_back(r);
    }
    imgpack::Record t;
    t.kind = imgpack::Record::Kind::kBitmap;
    t.bitmap.width = 2;
    t.bitmap.height = 2;
    t.bitmap.pixels = {0xF81F, 7, 7, 0xF81F};
    t.bitmap.transparent = true;
    t.bitmap.key = 0xF81F;
    f.records.push_back(t);
    f.records.push_back(imgpack::Record{});
    std::vector<uint8_t> bytes = imgpack::build(f);
    // imgpack writes no fonts: append one as the builder lays it out.
    ImageBuilder b;
    b.addFont("uf", 3);
    const std::vector<uint8_t> font = b.build();
    const uint32_t record = get32(font, dir(0) + 4);
    const uint32_t length = get32(font, dir(0) + 8);
    // A sixth directory entry: move the data 12 bytes on and shift every location with them.
    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + dir(5));
    out.resize(dir(6), 0);
    out.insert(out.end(), bytes.begin() + dir(5), bytes.end());
    auto shift = [&](uint32_t at) {
        const uint32_t v = get32(out, at);
        put32(out, at, v + 12);
    };
    for (int i = 0; i < 5; ++i) shift(dir(i) + 4);
    for (int i = 1; i <= 3; ++i) shift(get32(out, dir(i) + 4) - base + 8);
    for (int k = 0; k < 2; ++k) shift(get32(out, dir(0) + 4) - base + 8 * uint32_t(k));
    const uint32_t at = uint32_t(out.size());
    out.insert(out.end(), font.begin() + record, font.begin() + record + length);
    out[dir(5)] = 4;
    put32(out, dir(5) + 4, at + base);
    put32(out, dir(5) + 8, length);
    put32(out, at, at + 8 + base);
    put32(out, at + 4, at + 19 + base);
    put16(out, 2, 6);
    put32(out, 4, uint32_t(out.size()));
    return out;
}

std::vector<std::pair<int, std::string>> check(const std::vector<uint8_t>& b, uint32_t address,
                                               int* result = nullptr) {
    std::vector<std::pair<int, std::string>> reports;
    const int r = ExtMem_CheckImage(
        b.data(), uint32_t(b.size()), address,
        [](void* ctx, int index, const char* reason) {
            static_cast<std::vector<std::pair<int, std::string>>*>(ctx)->emplace_back(index,
                                                                                      reason);
        },
        &reports);
    if (result) *result = r;
    return reports;
}

std::vector<int> refused(const std::vector<uint8_t>& b, uint32_t address = 0) {
    std::vector<int> out;
    for (const auto& r : check(b, address)) out.push_back(r.first);
    return out;
}

class ExtCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        voxa_test::start_firmware_in_process();
        good_ = sample();
        host_output();
    }
    void TearDown() override { KV_ExtMem_Init(); }
    uint32_t record(int index) const { return get32(good_, dir(index) + 4); }
    std::vector<uint8_t> good_;
};

TEST_F(ExtCheck, SoundFilesPassWhereverTheirLocationsPoint) {
    int result = 99;
    EXPECT_TRUE(check(good_, 0, &result).empty());
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(refused(sample(kFlash2Address), kFlash2Address).empty());
    // Window addresses are understood in a RAM copy too.
    EXPECT_TRUE(refused(sample(kFlash2Address), kExtMemRamAddress).empty());
}

TEST_F(ExtCheck, HeaderAndDirectoryRefuseTheWholeFile) {
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = [&] {
        std::vector<std::pair<const char*, std::vector<uint8_t>>> c;
        c.emplace_back("short", std::vector<uint8_t>(good_.begin(), good_.begin() + 7));
        auto b = good_;
        b[0] = 0xEB;
        c.emplace_back("old magic", b);
        b = good_;
        put32(b, 4, uint32_t(b.size()) + 1);
        c.emplace_back("size past the bytes", b);
        b = good_;
        put32(b, 4, 4);
        c.emplace_back("size inside the header", b);
        b = good_;
        put16(b, 2, uint16_t((b.size() - 8) / 12 + 1));
        c.emplace_back("directory past the end", b);
        return c;
    }();
    for (const auto& [name, bytes] : cases) {
        int result = 0;
        const auto reports = check(bytes, 0, &result);
        EXPECT_EQ(result, -1) << name;
        ASSERT_EQ(reports.size(), 1u) << name;
        EXPECT_EQ(reports[0].first, -1) << name;
    }
    std::vector<uint8_t> huge(kExtMemSize + 2, 0);
    std::copy(good_.begin(), good_.begin() + 8, huge.begin());
    put32(huge, 4, kExtMemSize + 1);
    EXPECT_EQ(refused(huge), std::vector<int>{-1}) << "larger than the area";
}

TEST_F(ExtCheck, EachRecordRuleRefusesOnlyItsRecord) {
    struct Case {
        const char* name;
        int index;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const uint32_t plain = record(1), rle = record(2), trans = record(3), font = record(5);
    const std::vector<Case> cases = {
        {"type above 5", 4, [](auto& b) { b[dir(4)] = 6; }},
        {"location past the end", 1, [](auto& b) { put32(b, dir(1) + 4, uint32_t(b.size())); }},
        {"location below the window", 1, [](auto& b) { put32(b, dir(1) + 4, 0xC83FFFF0); }},
        {"record past the end", 3, [&](auto& b) { put32(b, dir(3) + 8, uint32_t(b.size())); }},
        {"shorter than a descriptor", 1, [](auto& b) { put32(b, dir(1) + 8, 19); }},
        {"8 bits per pixel", 1, [&](auto& b) { put16(b, plain + 6, 8); }},
        {"palette on a plain bitmap", 1, [&](auto& b) { put32(b, plain + 12, 0x40); }},
        {"pixels before the record", 1, [&](auto& b) { put32(b, plain + 8, plain - 2); }},
        {"pixels past the record", 2, [&](auto& b) { put32(b, rle + 8, rle + 200); }},
        {"bytes per line below the width", 1, [&](auto& b) { put16(b, plain + 4, 5); }},
        {"rows past the record", 3, [&](auto& b) { put16(b, trans + 2, 3); }},
        {"width past the record", 1, [&](auto& b) { put16(b, plain + 0, 4); }},
        {"macro record not first", 4, [](auto& b) { b[dir(4)] = 3; }},
        {"macro table past the end", 0, [](auto& b) { put32(b, dir(0) + 8, 0x10000000); }},
        {"macro line outside", 0,
         [](auto& b) { put32(b, get32(b, dir(0) + 4) + 8, uint32_t(b.size()) + 5); }},
        {"macro lines unterminated", 0,
         [](auto& b) { put16(b, get32(b, dir(0) + 4) + 8 + 4, 0xFFFF); }},
        {"font too short", 5, [](auto& b) { put32(b, dir(5) + 8, 18); }},
        {"font name unterminated", 5, [&](auto& b) { std::memset(b.data() + font + 8, 'n', 10); }},
        {"font data outside", 5, [&](auto& b) { put32(b, font + 4, font - 1); }},
    };
    for (const auto& c : cases) {
        auto b = good_;
        c.damage(b);
        int result = 0;
        const auto reports = check(b, 0, &result);
        ASSERT_EQ(reports.size(), 1u) << c.name;
        EXPECT_EQ(reports[0].first, c.index) << c.name << ": " << reports[0].second;
        EXPECT_EQ(result, 1) << c.name;
    }
}

TEST_F(ExtCheck, FixupRelocatesSoundRecordsForTheRamAndLooksUpRefuseTheRest) {
    auto b = sample(kFlash2Address);
    // Bitmap 3 loses its pixels; macro 2 loses its line.
    put16(b, get32(b, dir(3) + 4) - kFlash2Address + 2, 200);
    const uint32_t table = get32(b, dir(0) + 4) - kFlash2Address;
    put16(b, table + 8 + 4, 0xFFFF);
    std::memcpy(ExtMemRamBuffer, b.data(), b.size());
    ASSERT_EQ(KV_Fixup_ExtMem(kExtMemRamAddress, uint32_t(b.size())), 1);
    EXPECT_EQ(host_output(), ":record 0 invalid\r:record 3 invalid\r");
    auto ram_location = [&](uint32_t at) {
        uint32_t v;
        std::memcpy(&v, ExtMemRamBuffer + at, 4);
        return v;
    };
    for (int i : {1, 2, 4, 5}) {
        EXPECT_EQ(ram_location(dir(i) + 4),
                  get32(b, dir(i) + 4) - kFlash2Address + kExtMemRamAddress)
            << i;
    }
    EXPECT_EQ(ram_location(dir(3) + 4), get32(b, dir(3) + 4)) << "a refused record is not touched";
    EXPECT_EQ(ram_location(table), get32(b, table) - kFlash2Address + kExtMemRamAddress);
    EXPECT_EQ(ram_location(table + 8), get32(b, table + 8)) << "nor is a refused macro";
    // A second pass finds every location relocated already and changes nothing.
    std::vector<uint8_t> once(ExtMemRamBuffer, ExtMemRamBuffer + b.size());
    ASSERT_EQ(KV_Fixup_ExtMem(kExtMemRamAddress, uint32_t(b.size())), 1);
    host_output();
    EXPECT_EQ(std::vector<uint8_t>(ExtMemRamBuffer, ExtMemRamBuffer + b.size()), once);

    KV_ExtMem_UseRam();
    BitmapHandle h;
    ASSERT_EQ(KV_GetExtBitmap(1, &h), 1);
    EXPECT_EQ(h.pixels, ExtMemRamBuffer + get32(b, dir(1) + 4) - kFlash2Address + 20);
    EXPECT_EQ(KV_GetExtBitmap(3, &h), 0);
    EXPECT_TRUE(KV_MacroExists(1));
    EXPECT_FALSE(KV_MacroExists(2));
    EXPECT_NE(KV_FindFont("uf"), nullptr);
    EXPECT_EQ(ExtMemUsed(), b.size());
}

TEST_F(ExtCheck, FixupRefusesABadDirectoryAndTryFixupKeepsInsideTheImage) {
    auto b = good_;
    put16(b, 2, 0x7FFF);
    std::memcpy(ExtMemRamBuffer, b.data(), b.size());
    EXPECT_EQ(KV_Fixup_ExtMem(kExtMemRamAddress, uint32_t(b.size())), 0);

    uint32_t v = 16;
    EXPECT_TRUE(tryFixup(&v, kExtMemRamAddress, 100));
    EXPECT_EQ(v, kExtMemRamAddress + 16);
    v = kFlash2Address + 16;
    EXPECT_TRUE(tryFixup(&v, kExtMemRamAddress, 100));
    EXPECT_EQ(v, kExtMemRamAddress + 16);
    v = kFlash2Address + 16;
    EXPECT_TRUE(tryFixup(&v, kFlash2Address, 100));
    EXPECT_EQ(v, kFlash2Address + 16);
    // Past a small image into whatever follows it: refused, left as it was.
    for (const uint32_t bad : {100u, kExtMemRamAddress + 100, kFlash2Address + 100, 0xFFFFFFFFu}) {
        v = bad;
        EXPECT_FALSE(tryFixup(&v, kExtMemRamAddress, 100)) << std::hex << bad;
        EXPECT_EQ(v, bad);
    }
}

}  // namespace
