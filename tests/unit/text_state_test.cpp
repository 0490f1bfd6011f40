// The text helpers of the commands: KV_DispStringAt and KV_DispStringCenter with their one-text
// UTF-8 switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "core/main_loop.h"
#include "device/board.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "gui/gui.h"
#include "in_process.h"
#include "sif_builder.h"
#include "test_screen.h"

namespace voxa_test {
namespace {

constexpr uint16_t kPaper = 0x1234;

class TextState : public ::testing::Test {
  protected:
    void SetUp() override {
        start_firmware_in_process();
        KV_GUI_Init();
        KV_DrawingState_Init();
        KV_Text_Init();
        // 'B' fills its 5 x 10 cell, 0xE9 fills its 3 x 10 cell.
        SifBuilder b(4, 10, 8, 6);
        b.glyph('B', 5, 0, 0, 5, 10, std::vector<uint8_t>(50, 15));
        b.glyph(0xC3, 2, 0, 0, 2, 10, std::vector<uint8_t>(20, 15));
        b.glyph(0xE9, 3, 0, 0, 3, 10, std::vector<uint8_t>(30, 15));
        data_ = b.build();
        ASSERT_EQ(
            GUI_SIF_CreateFont(data_.data(), uint32_t(data_.size()), &font_, GUI_SIF_TYPE_PROP_AA4),
            1);
        GUI_SetFont(&font_);
        screen_.open(kWvgaScreen, kPaper);
    }
    void TearDown() override { EXPECT_TRUE(screen_.untouched_outside()); }
    std::array<int, 4> painted() const { return screen_.painted(kPaper); }

    std::vector<uint8_t> data_;
    GUI_FONT font_;
    TestScreen screen_;
};

TEST_F(TextState, EscapeMakesOneTextUtf8) {
    // "\xC3\xA9": two characters (2 + 3 wide) without encoding, one (3 wide) in UTF-8.
    GUI_SetTextAlign(GUI_TA_RIGHT | GUI_TA_BOTTOM);
    KV_DispStringAt("\x1B\xC3\xA9", 100, 100);
    EXPECT_EQ(painted(), (std::array<int, 4>{97, 91, 99, 100}));
    EXPECT_EQ(GUI_UC_GetEncoding(), GUI_ENCODE_NONE);
    EXPECT_EQ(GUI_GetTextAlign(), GUI_TA_RIGHT | GUI_TA_BOTTOM);
    // Right-aligned: the cursor and left border at the text's left end, relative to the origin.
    Origin_X = 40;
    Origin_Y = 30;
    KV_DispStringAt("\xC3\xA9", 200, 100);  // 2 wide without encoding (0xA9 has no glyph)
    EXPECT_EQ(GUI_GetDispPosX(), 198);
    EXPECT_EQ(GUI_GetDispPosY(), 100);
    EXPECT_EQ(GUI_GetLBorder(), 198);
    GUI_UC_SetEncodeUTF8();
    KV_DispStringAt(
        "\x1B"
        "B",
        300, 100);
    EXPECT_EQ(GUI_UC_GetEncoding(), GUI_ENCODE_UTF8);
}

TEST_F(TextState, CentredTextStandsInTheMiddleOfItsRectangle) {
    KV_DispStringCenter("BB", 100, 100, 139, 129);
    EXPECT_EQ(painted(), (std::array<int, 4>{115, 110, 124, 119}));
    screen_.fill(kPaper);
    KV_DispStringCenter("\x1B\xC3\xA9", 100, 100, 139, 129);  // one 3-wide character
    EXPECT_EQ(painted(), (std::array<int, 4>{118, 110, 120, 119}));
    EXPECT_EQ(GUI_UC_GetEncoding(), GUI_ENCODE_NONE);
    EXPECT_EQ(GUI_GetTextAlign(), GUI_TA_LEFT | GUI_TA_TOP);
}

}  // namespace
}  // namespace voxa_test
