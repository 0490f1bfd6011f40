// The macro table of a bitmap/macro file read where the file lies, valid and damaged: no look-up
// may read outside the file, and both kinds of location a file can hold work.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imgpack.h"
#include "in_process.h"
#include "macro/macro.h"
#include "media/ext_image.h"
#include "media/macro_table.h"

namespace {

using voxa_test::host_output;

constexpr uint32_t kRamAddress = 0xC0400000;

void put32(std::vector<uint8_t>& b, uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

class MacroTable : public ::testing::Test {
  protected:
    void SetUp() override {
        voxa_test::start_firmware_in_process();
        file_.macros = {{"first", {"z", ":x1"}}, {"", {"vers"}}, {"third", {"a", "b", "c"}}};
        bytes_ = imgpack::build(file_, &layout_);
        ASSERT_FALSE(bytes_.empty());
        host_output();
    }
    void TearDown() override { KV_ExtMem_Init(); }
    // The image in a buffer of exactly its size, so that ASan sees a read past it.
    void use(const std::vector<uint8_t>& bytes, uint32_t address = kFlash2Address) {
        image_ = bytes;
        KV_ExtMem_SetImage(image_.data(), uint32_t(image_.size()), address);
    }
    std::string line(const MacroEntry& e, int k) {
        uint32_t at = e.first_line;
        for (int i = 0; i < k; ++i) at += uint32_t(std::strlen(ExtMem_String(at))) + 1;
        return ExtMem_String(at);
    }

    imgpack::MacroFile file_;
    imgpack::Layout layout_;
    std::vector<uint8_t> bytes_, image_;
};

TEST_F(MacroTable, OffsetsAndFlashAddressesBothWork) {
    for (const bool flash : {false, true}) {
        file_.flash2_locations = flash;
        use(imgpack::build(file_), flash ? kFlash2Address : kRamAddress);
        MacroEntry e;
        ASSERT_EQ(KV_GetMacro(3, &e), 1) << flash;
        EXPECT_EQ(e.line_count, 3);
        EXPECT_EQ(e.shown_number, 3);
        EXPECT_EQ(line(e, 2), "c");
        EXPECT_STREQ(KV_MacroName(1), "first");
        EXPECT_STREQ(KV_MacroName(2), "");
        EXPECT_EQ(KV_GetMacro(0, &e), 0);
        EXPECT_EQ(KV_GetMacro(4, &e), 0);
        int n = 2;
        EXPECT_STREQ(convertIndextoStringMacro(&n), "");
        ASSERT_EQ(convertStringtoIndexMacro("third", &n), 1);
        EXPECT_EQ(n, 3);
    }
    EXPECT_EQ(host_output(), "");
}

TEST_F(MacroTable, LocationsAndCountsThatLeaveTheFileAreNotFollowed) {
    // A line location past the end, and one inside the file whose lines run off its end.
    std::vector<uint8_t> b = bytes_;
    put32(b, layout_.table + 0, uint32_t(b.size()));
    put32(b, layout_.table + 8, uint32_t(b.size() - 2));
    b[layout_.table + 8 + 4] = 3;  // "c", "" and then the end of the file
    use(b);
    MacroEntry e;
    EXPECT_EQ(KV_GetMacro(1, &e), 0);
    EXPECT_EQ(KV_GetMacro(2, &e), 0);
    EXPECT_EQ(KV_GetMacro(3, &e), 1);
    EXPECT_EQ(processMacro(1, nullptr, nullptr), 0);
    EXPECT_EQ(host_output(), ":macro index 1 not valid\r");

    // A count of macros far beyond the table, and a line count beyond the lines.
    b = bytes_;
    put32(b, layout_.directory + 8, 200);
    b[layout_.table + 16 + 4] = 0xFF;
    use(b);
    EXPECT_EQ(KV_MacroCount(), 200);
    EXPECT_EQ(KV_GetMacro(3, &e), 0);
    for (int n = 4; n <= 200; ++n) KV_GetMacro(n, &e);  // entries read as far as the file goes

    // The size field bounds the file even where the memory holds more.
    b = bytes_;
    put32(b, 4, layout_.lines + 6);
    use(b);
    EXPECT_EQ(KV_GetMacro(1, &e), 1);  // "z" and ":x1" lie inside
    EXPECT_EQ(KV_GetMacro(2, &e), 0);
    EXPECT_EQ(host_output(), "");
}

TEST_F(MacroTable, CallByNameSaysWhyItCannot) {
    int n = 0;
    use({});
    EXPECT_EQ(convertStringtoIndexMacro("first", &n), 0);
    EXPECT_EQ(n, -3);
    EXPECT_EQ(host_output(), ":Macro external memory record not found\r");

    std::vector<uint8_t> b = bytes_;
    b[layout_.directory] = 1;  // record 0 is not the macro record
    use(b);
    EXPECT_EQ(convertStringtoIndexMacro("first", &n), 0);
    EXPECT_EQ(n, -2);
    EXPECT_EQ(host_output(), ":No macros loaded\r");
    EXPECT_EQ(convertStringtoIndexMacro("12", &n), 1);  // numbers are not checked here
    EXPECT_EQ(n, 12);

    b = bytes_;
    b[layout_.meta] = 0;  // no name table
    use(b);
    EXPECT_EQ(convertStringtoIndexMacro("first", &n), 0);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(host_output(), ":Macro meta table not loaded\r:Macro call-by-name not supported\r");
    n = 1;
    EXPECT_EQ(convertIndextoStringMacro(&n), nullptr);
    EXPECT_EQ(n, -1);

    use(bytes_);
    EXPECT_EQ(convertStringtoIndexMacro("/", &n), 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(convertStringtoIndexMacro("9x", &n), 1);
    EXPECT_EQ(n, 9);
    EXPECT_EQ(convertStringtoIndexMacro("-x", &n), 0);
    EXPECT_EQ(n, -4);
    EXPECT_EQ(convertStringtoIndexMacro("firs", &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(host_output(), ":Macro name has improper form\r:Macro name not found\r");

    // Names that run off the end of the file are not found, the ones before still are.
    b = bytes_;
    b.resize(layout_.meta + 6 + 1 + 6 + 2);
    put32(b, 4, uint32_t(b.size()));
    use(b);
    EXPECT_EQ(convertStringtoIndexMacro("first", &n), 1);
    EXPECT_EQ(convertStringtoIndexMacro("third", &n), 0);
    EXPECT_EQ(KV_MacroName(3), nullptr);
    host_output();
}

TEST(Flash2Check, AcceptsAWholeFileOnly) {
    voxa_test::start_firmware_in_process();
    sim::Standalone& board = sim::Standalone::instance();
    imgpack::MacroFile f;
    f.macros = {{"m", {"z"}}};
    f.flash2_locations = true;
    std::vector<uint8_t> b = imgpack::build(f);
    ASSERT_TRUE(board.set_flash2(b));
    host_output();
    EXPECT_EQ(Flash2Init(), 0);
    EXPECT_EQ(host_output(), ":loading 1KB bitmap/macro file from flash2\r");
    EXPECT_EQ(KV_MacroCount(), 1);

    KV_ExtMem_Init();
    std::vector<uint8_t> bad = b;
    bad[0] = 0xEB;  // the older product's magic
    ASSERT_TRUE(board.set_flash2(bad));
    EXPECT_EQ(Flash2Init(), 1);
    bad = b;
    put32(bad, 4, kFlash2Size + 1);
    ASSERT_TRUE(board.set_flash2(bad));
    EXPECT_EQ(Flash2Init(), 1);
    // With two records, record 1 must lie in the window: an offset there means the file was
    // programmed without its fix-up.
    bad = b;
    bad[2] = 2;
    bad.insert(bad.begin() + 20, 12, 0);
    put32(bad, 20 + 4, 0x100);
    ASSERT_TRUE(board.set_flash2(bad));
    EXPECT_EQ(Flash2Init(), 1);
    EXPECT_EQ(KV_MacroCount(), 0);
    EXPECT_EQ(host_output(), "");
    ASSERT_TRUE(board.set_flash2({}));
    EXPECT_EQ(Flash2Init(), 1);
}

}  // namespace
