// A Flash2 image given through the harness before boot, read in place by a stand-in firmware
// that answers an offset (eight hex digits and CR) with the byte there.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace {

using voxa_test::Harness;

TEST(Flash2Harness, ImageGivenBeforeBootIsReadByTheFirmware) {
    const std::string dir = std::filesystem::temp_directory_path().string() +
                            "/voxa-flash2-harness-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir + "/voxa-fw-wvga");
    std::filesystem::create_symlink(VOXA_FLASH2_PROBE, dir + "/voxa-fw-wvga");
    sim::Module::Options o;
    o.firmware_dir = dir;
    Harness h(o);
    EXPECT_NONFATAL_FAILURE(h.flash2(std::vector<uint8_t>(sim::Module::kFlash2Bytes + 1)),
                            "File too large");
    ASSERT_TRUE(h.flash2({0x12, 0x34}));
    h.module().power_on();
    h.send("00000001\r00000002\r");
    h.run_ms(5);
    EXPECT_EQ(h.take(), "34\rFF\r");
    std::filesystem::remove_all(dir);
}

}  // namespace
