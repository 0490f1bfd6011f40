// The screen as a BMP file: the bytes of a small display whose rows lie wider apart than it is
// wide, every byte a writer may refuse, and the size of the full panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui.h"
#include "gui/image_decode.h"
#include "test_screen.h"

namespace voxa_test {
namespace {

struct Collector {
    std::string bytes;
    size_t refuse_at = SIZE_MAX;  // the index of the byte to refuse
    size_t calls = 0;
};

bool collect(uint8_t byte, void* context) {
    auto* c = static_cast<Collector*>(context);
    ++c->calls;
    if (c->bytes.size() == c->refuse_at) return false;
    c->bytes += char(byte);
    return true;
}

std::string le(uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char(uint8_t(v >> (8 * i)));
    return s;
}

class BmpSerialize : public ::testing::Test {
  protected:
    void TearDown() override {
        screen_.open(kWvgaScreen, 0);
        const GUI_DISPLAY d = screen_.display();
        GUI_Init(&d);
    }
    TestScreen screen_;
};

TEST_F(BmpSerialize, SmallStridedDisplayBottomRowFirstPaddedToFourBytes) {
    screen_.open({"odd", 3, 2, 5}, 0);
    const GUI_DISPLAY d = screen_.display();
    ASSERT_EQ(GUI_Init(&d), 0);
    uint16_t* fb = lcd_framebuffer();
    // Top row: white, black, pure red. Bottom row: full green, green field 2, green field 33
    // with red field 16 and blue field 1.
    const uint16_t top[3] = {0xFFFF, 0x0000, 0xF800};
    const uint16_t bottom[3] = {0x07E0, 2 << 5, (16 << 11) | (33 << 5) | 1};
    for (int x = 0; x < 3; ++x) {
        fb[x] = top[x];
        fb[5 + x] = bottom[x];
    }
    Collector c;
    ASSERT_EQ(GUI_BMP_Serialize(collect, &c), 0);
    // 8 bytes a row (6 of pixels, 2 of padding), 16 in all.
    std::string want = "BM" + le(54 + 16, 4) + le(0, 4) + le(54, 4);
    want += le(40, 4) + le(3, 4) + le(2, 4) + le(1, 2) + le(16, 2) + le(0, 4) + le(16, 4) +
            le(2835, 4) + le(2835, 4) + le(0, 4) + le(0, 4);
    // Green 63 reads back as 255 and becomes 31; green 2 reads 8, which rounds to 1; green 33
    // reads 133 -> 16, red 16 reads 131 -> 16, blue 1 reads 8 -> 1.
    want += le(0x03E0, 2) + le(0x0020, 2) + le((16 << 10) | (16 << 5) | 1, 2) + le(0, 2);
    want += le(0x7FFF, 2) + le(0x0000, 2) + le(0x7C00, 2) + le(0, 2);
    EXPECT_EQ(c.bytes, want);
    EXPECT_TRUE(screen_.untouched_outside());
}

TEST_F(BmpSerialize, StopsAtTheFirstRefusedByte) {
    screen_.open({"odd", 3, 2, 5}, 0x1234);
    const GUI_DISPLAY d = screen_.display();
    ASSERT_EQ(GUI_Init(&d), 0);
    for (const size_t at :
         {size_t(0), size_t(13), size_t(53), size_t(54), size_t(61), size_t(69)}) {
        Collector c;
        c.refuse_at = at;
        EXPECT_NE(GUI_BMP_Serialize(collect, &c), 0) << at;
        EXPECT_EQ(c.calls, at + 1) << "nothing after the refused byte";
    }
    EXPECT_NE(GUI_BMP_Serialize(nullptr, nullptr), 0);
}

TEST_F(BmpSerialize, WvgaScreenIsTheFileSizeOfAPanel) {
    screen_.open(kWvgaScreen, 0xF81F);
    const GUI_DISPLAY d = screen_.display();
    ASSERT_EQ(GUI_Init(&d), 0);
    Collector c;
    ASSERT_EQ(GUI_BMP_Serialize(collect, &c), 0);
    ASSERT_EQ(c.bytes.size(), 768054u);
    // Magenta everywhere: red and blue 31, green 0.
    EXPECT_EQ(c.bytes.substr(54, 2), le(0x7C1F, 2));
    EXPECT_EQ(c.bytes.substr(c.bytes.size() - 2), le(0x7C1F, 2));
}

}  // namespace
}  // namespace voxa_test
