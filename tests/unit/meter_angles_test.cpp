// Meter angle arithmetic on meters defined in-process: the mirrored scale ends, the turn per
// unit, and the arc angles of values at and far beyond the scale's ends.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "controls/meters.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/ext_image.h"

namespace voxa_test {
namespace {

class MeterAngles : public ::testing::Test {
  protected:
    void SetUp() override {
        start_firmware_in_process();
        ImageBuilder b;
        b.add(3, {});
        b.addBitmap(1, 4, 4, ImageBuilder::pixels(std::vector<uint16_t>(16, 0x1234)));
        file_ = b.build(kFlash2Address);
        KV_ExtMem_SetImage(file_.data(), uint32_t(file_.size()), kFlash2Address);
        KV_Meter_Init();
    }
    void TearDown() override { KV_ExtMem_Init(); }

    // Defines meter 0 with these numbers after "md 0 1 0 0 0" and a small needle.
    const Meter& define(const char* range_and_angles) {
        char line[160] = "md 0 1 0 0 0 ";
        std::strcat(line, range_and_angles);
        std::strcat(line, " 2 2 0 0 1 0 0 1");
        EXPECT_EQ(meterDefine(line), 1) << line;
        host_output();
        return meters[0];
    }

    std::vector<uint8_t> file_;
};

TEST_F(MeterAngles, ScaleEndsTurnAndArcs) {
    const Meter& m = define("0 100 0 0 270");
    EXPECT_EQ(m.angleA, 360);
    EXPECT_EQ(m.angleB, 90);
    EXPECT_EQ(meterSweep(m), 270);
    EXPECT_DOUBLE_EQ(meterTurnDegrees(m, 1), -2.7);
    EXPECT_DOUBLE_EQ(meterTurnDegrees(m, 100), -270);
    // Counter-clockwise from the right: the minimum straight down, the maximum to the right,
    // the middle up-left, and values past the ends continue round.
    EXPECT_EQ(meterArcAngle(m, 0), 270);
    EXPECT_EQ(meterArcAngle(m, 100), 0);
    EXPECT_EQ(meterArcAngle(m, 50), 135);
    EXPECT_EQ(meterArcAngle(m, 110), 333);
    EXPECT_EQ(meterArcAngle(m, -10), 297);

    // Equal ends are a whole turn; ends given past 360 or negative count modulo 360.
    EXPECT_EQ(meterSweep(define("0 100 0 45 45")), 360);
    EXPECT_EQ(meterSweep(define("0 100 0 -90 720")), 90);
}

TEST_F(MeterAngles, FullIntRangeDoesNotOverflow) {
    const Meter& m = define("-2147483648 2147483647 -2147483648 0 270");
    EXPECT_DOUBLE_EQ(meterTurnDegrees(m, 2147483647), -270);
    EXPECT_NEAR(meterTurnDegrees(m, 0), -135, 1e-6);
    EXPECT_EQ(meterArcAngle(m, 2147483647), 0);
    EXPECT_EQ(meterArcAngle(m, -2147483648), 270);
    // A range of one: 270 degrees per unit, so the angles repeat every four units, and values
    // 2^31 away land where the small ones do.
    const Meter& n = define("0 1 0 0 270");
    EXPECT_EQ(meterArcAngle(n, 3), 180);
    EXPECT_EQ(meterArcAngle(n, 2147483647), 180);
    EXPECT_EQ(meterArcAngle(n, -2147483648), 270);
    // Mirroring the most negative end angle saturates instead of wrapping.
    const Meter& e = define("0 100 0 -2147483648 2147483647");
    EXPECT_EQ(e.angleA, 2147483647);
    EXPECT_EQ(e.angleB, 360 - 2147483647);
}

}  // namespace
}  // namespace voxa_test
