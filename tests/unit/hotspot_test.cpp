// The hotspot table and its commands, in process: definitions, search, the press and release
// of one hotspot with its reports, the enable/disable/remove commands and their index checks.
// Touch sequences through the panel (handle_touch, drawing, "touch", "*apt") are scenario tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command/parse_command.h"
#include "core/main_loop.h"
#include "drawing/drawing_state.h"
#include "gui/gui.h"
#include "in_process.h"
#include "settings/settings.h"
#include "touch/control_hooks.h"
#include "touch/hotspots.h"

namespace voxa_test {
namespace {

class Hotspots : public ::testing::Test {
  protected:
    void SetUp() override {
        start_firmware_in_process();
        KV_GUI_Init();
        KV_EEPROM_SetDefaults();
        KV_DrawingState_Init();
        KV_HotSpot_Init();
        KV_Touch_ResetControlHooks();
        binaryResponses = 0;
        host_output();
    }
    void TearDown() override {
        binaryResponses = 0;
        KV_HotSpot_Init();
        KV_Touch_ResetControlHooks();
    }

    // The result of one command line and what it sent.
    struct Run {
        int result;
        std::string out;
    };
    Run run(const char* text) {
        std::vector<char> line(text, text + std::strlen(text) + 1);
        const int result = parse_command(line.data());
        return {result, host_output()};
    }
    int ok(const char* text) { return run(text).result; }

    // A press and a release as the dispatcher applies them.
    std::string press(int spot, int x, int y) {
        updateSpot(1, spot, 1, x, y, 0);
        return host_output();
    }
    std::string release(int spot, int x, int y) {
        updateSpot(0, spot, 1, x, y, 0);
        return host_output();
    }

    static std::vector<HotSpot> table() {
        return std::vector<HotSpot>(TouchHotSpots.begin(), TouchHotSpots.end());
    }
    static bool same(const std::vector<HotSpot>& a, const std::vector<HotSpot>& b) {
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(HotSpot)) == 0;
    }
};

TEST_F(Hotspots, EveryKindIsStoredWithItsTypeOptionsAndRectangleAtTheOrigin) {
    struct Case {
        const char* line;
        int spot, type;
        uint8_t options, touchState;
    };
    const Case cases[] = {
        {"x 130 1 2 3 4", 130, 1, 0x45, 0},     {"xs 131 1 2 3 4", 131, 2, 0x45, 0},
        {"xsnb 132 1 2 3 4", 132, 2, 0x05, 0},  {"xt 133 1 2 3 4", 133, 1, 0x45, 1},
        {"xst 134 1 2 3 4", 134, 2, 0x4D, 1},   {"xxy 135 1 2 3 4", 135, 2, 0x65, 0},
        {"xxynb 136 1 2 3 4", 136, 2, 0x25, 0},
    };
    ASSERT_EQ(ok("o 100 200"), kCmdDone);
    for (const Case& c : cases) {
        ASSERT_EQ(ok(c.line), kCmdDone) << c.line;
        const HotSpot& h = TouchHotSpots[size_t(c.spot)];
        EXPECT_EQ(h.type, c.type) << c.line;
        EXPECT_EQ(h.options, c.options) << c.line;
        EXPECT_EQ(h.touchState, c.touchState) << c.line;
        EXPECT_EQ(h.x0, 101) << c.line;
        EXPECT_EQ(h.y0, 202) << c.line;
        EXPECT_EQ(h.x1, 103) << c.line;
        EXPECT_EQ(h.y1, 204) << c.line;
    }
    // Outside 128-255 nothing is stored; "x -1" is no hotspot command at all.
    const std::vector<HotSpot> before = table();
    for (const char* line : {"xs 127 1 2 3 4", "xs 256 1 2 3 4", "xt -5 1 2 3 4"}) {
        EXPECT_EQ(run(line).result, kCmdFailed) << line;
    }
    EXPECT_EQ(run("x -1 1 2 3 4").result, kCmdFailed);
    EXPECT_TRUE(same(table(), before));
}

TEST_F(Hotspots, SearchAgreesWithTryingEveryEntryAfterEveryChange) {
    uint32_t seed = 2024;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % uint32_t(n));
    };
    auto first_holding = [](int x, int y) {
        if (x == -1 || y == -1) return -1;
        for (int i = 0; i < kHotSpotCount; ++i) {
            const HotSpot& h = TouchHotSpots[size_t(i)];
            if (h.type >= 1 && h.type <= 4 && x >= h.x0 && x <= h.x1 && y >= h.y0 && y <= h.y1) {
                return i;
            }
        }
        return -1;
    };
    char line[96];
    for (int round = 0; round < 300; ++round) {
        const int spot = 128 + next(128);
        switch (next(5)) {
            case 0:
            case 1: {
                const int x0 = next(1400) - 200, y0 = next(1400) - 200;
                std::snprintf(line, sizeof line, "xs %d %d %d %d %d", spot, x0, y0,
                              x0 + next(300) - 20, y0 + next(300) - 20);
                break;
            }
            case 2:
                std::snprintf(line, sizeof line, "xd %d", spot);
                break;
            case 3:
                std::snprintf(line, sizeof line, "xe %d", spot);
                break;
            default:
                std::snprintf(line, sizeof line, "xc %d", spot);
                break;
        }
        ASSERT_EQ(ok(line), kCmdDone) << line;
        for (int probe = 0; probe < 40; ++probe) {
            const int x = next(1500) - 250, y = next(1500) - 250;
            ASSERT_EQ(KV_SearchHotSpot(x, y), first_holding(x, y))
                << "(" << x << ", " << y << ") after " << line;
        }
    }
}

TEST_F(Hotspots, PressAndReleaseReportsInTextAndBinary) {
    ASSERT_EQ(ok("xs 129 0 0 50 50"), kCmdDone);
    EXPECT_EQ(press(129, 5, 5), "x129\r");
    // The press is reported once until its release.
    EXPECT_EQ(press(129, 5, 5), "");
    EXPECT_EQ(release(129, 5, 5), "");
    ASSERT_EQ(ok("xset 129 +r"), kCmdDone);
    EXPECT_EQ(press(129, 5, 5), "x129\r");
    EXPECT_EQ(release(129, 5, 5), "r129\r");

    ASSERT_EQ(ok("xxy 200 100 100 199 149"), kCmdDone);
    EXPECT_EQ(press(200, 110, 120), "x200 10 20\r");
    EXPECT_EQ(lastHotAX, 110);
    EXPECT_EQ(lastHotRY, 20);
    release(200, 110, 120);

    binaryResponses = 1;
    EXPECT_EQ(press(129, 5, 5), std::string("X\x81", 2));
    EXPECT_EQ(release(129, 5, 5), std::string("R\x81", 2));
    EXPECT_EQ(press(200, 110 + 300, 120), std::string("Y\xC8\x36\x01\x14\x00", 6));
    release(200, 0, 0);

    // A corner at the far end of the int range: the offset saturates instead of overflowing.
    ASSERT_EQ(ok("xxy 201 -2147483648 0 799 479"), kCmdDone);
    binaryResponses = 0;
    EXPECT_EQ(press(201, 44, 5), "x201 2147483647 5\r");
    release(201, 0, 0);
    binaryResponses = 1;

    // "*xn off": no reports at all, whatever the options.
    ASSERT_EQ(ok("*xn off"), kCmdDone);
    binaryResponses = 0;
    EXPECT_EQ(press(129, 5, 5), "");
    EXPECT_EQ(release(129, 5, 5), "");
}

TEST_F(Hotspots, NegativeIndexesAreRefusedAndNeverTouchTheTable) {
    ASSERT_EQ(ok("xs 130 0 0 9 9"), kCmdDone);
    ASSERT_EQ(ok("xd 130"), kCmdDone);
    const std::vector<HotSpot> before = table();
    for (const char* line : {"xd -1", "xd -3 130", "xd 130 -1", "xd 256", "xd 0 256", "xe -1",
                             "xes -1", "xe -2 130", "xe 256"}) {
        EXPECT_EQ(run(line).result, kCmdFailed) << line;
        EXPECT_TRUE(same(table(), before)) << line;
    }
    EXPECT_EQ(KV_Touch_HotSpot_Unset(-1), 0);
    EXPECT_EQ(KV_Touch_HotSpot_Unset(256), 0);
    EXPECT_EQ(buttonReEnable(-1, 0), 0);
    EXPECT_EQ(buttonReEnable(256, 1), 0);
    EXPECT_TRUE(same(table(), before));
    // An empty range does nothing and succeeds.
    EXPECT_EQ(ok("xe 200 100"), kCmdDone);
    EXPECT_EQ(ok("xd 200 100"), kCmdDone);
    EXPECT_TRUE(same(table(), before));
}

TEST_F(Hotspots, EnablingGivesOnlyDisabledEntriesTheirTypeBack) {
    ASSERT_EQ(ok("x 130 0 0 9 9"), kCmdDone);
    ASSERT_EQ(ok("xs 131 0 0 9 9"), kCmdDone);
    ASSERT_EQ(ok("xd 128 255"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].type, 6);
    EXPECT_EQ(TouchHotSpots[131].type, 7);
    EXPECT_EQ(ok("xe 0 255"), kCmdDone);
    for (int i = 0; i < kHotSpotCount; ++i) {
        const int want = i == 130 ? 1 : i == 131 ? 2 : kSpotFree;
        EXPECT_EQ(TouchHotSpots[size_t(i)].type, want) << i;
    }
    // A second enable changes nothing; "xes" restores as well.
    EXPECT_EQ(ok("xe 130"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].type, 1);
    ASSERT_EQ(ok("xd 131"), kCmdDone);
    EXPECT_EQ(ok("xes 131"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[131].type, 2);
    // In a range, the run stops at the first index above 255.
    ASSERT_EQ(ok("xd 130 131"), kCmdDone);
    EXPECT_EQ(run("xe 131 300").result, kCmdFailed);
    EXPECT_EQ(TouchHotSpots[131].type, 2);
    EXPECT_EQ(TouchHotSpots[130].type, 6);
    // Anything else after "xe" does nothing.
    EXPECT_EQ(ok("xe"), kCmdDone);
    EXPECT_EQ(ok("xefoo"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].type, 6);
}

TEST_F(Hotspots, RemovingChecksTheRangeAndFreesEverything) {
    ASSERT_EQ(ok("xs 130 0 0 9 9"), kCmdDone);
    const Run r = run("xc 5");
    EXPECT_EQ(r.result, kCmdFailed);
    EXPECT_EQ(r.out, ":touch index must be 128 to 255\r");
    EXPECT_EQ(run("xc -1").out, ":touch index must be 128 to 255\r");
    EXPECT_EQ(TouchHotSpots[130].type, 2);
    EXPECT_EQ(ok("xc 130"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].type, kSpotFree);
    ASSERT_EQ(ok("xst 131 0 0 9 9"), kCmdDone);
    ASSERT_EQ(ok("xt 255 0 0 9 9"), kCmdDone);
    EXPECT_EQ(ok("xc all"), kCmdDone);
    for (const HotSpot& h : TouchHotSpots) {
        EXPECT_EQ(h.type, kSpotFree);
        EXPECT_EQ(h.options | h.touchState | h.x1 | h.y1, 0);
    }
    // A screen reset frees them too.
    ASSERT_EQ(ok("xs 130 0 0 9 9"), kCmdDone);
    GUIDEMO_Clear(-1);
    EXPECT_EQ(TouchHotSpots[130].type, kSpotFree);
}

TEST_F(Hotspots, OptionsSwitchOnlyOnEntriesInUse) {
    ASSERT_EQ(ok("xsnb 130 0 0 9 9"), kCmdDone);
    EXPECT_EQ(ok("xset 130 b"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].options & kOptBeep, kOptBeep);
    EXPECT_EQ(ok("xset 130 -b"), kCmdDone);
    EXPECT_EQ(ok("xset 130 +t"), kCmdDone);
    EXPECT_EQ(ok("xset 130 T"), kCmdDone);
    EXPECT_EQ(ok("xset 130 +x"), kCmdDone);
    EXPECT_EQ(ok("xset 130 -p"), kCmdDone);
    EXPECT_EQ(TouchHotSpots[130].options, kOptReportEnable | kOptNoRepeatBeep | kOptReportPosition);
    EXPECT_EQ(TouchHotSpots[130].touchState, kTouchAutoRepeat);
    ASSERT_EQ(ok("xd 130"), kCmdDone);
    EXPECT_EQ(ok("xset 130 r"), kCmdDone) << "a disabled entry is in use";
    for (const char* line : {"xset 131 p", "xset 130 q", "xset 130 +", "xset 256 p", "xset -1 p"}) {
        EXPECT_EQ(ok(line), kCmdFailed) << line;
    }
    // A slider's hotspot takes no options.
    TouchControlHooks hooks{};
    hooks.sliderFind = [](int spot) { return spot == 130 ? 0 : -1; };
    KV_Touch_SetControlHooks(hooks);
    EXPECT_EQ(ok("xset 130 p"), kCmdFailed);
}

TEST_F(Hotspots, TypematicSetsSavesQueriesAndLetsLargeValuesFallThrough) {
    Run r = run("typematic");
    EXPECT_EQ(r.out, "Delay 750ms, Repeat 200ms\r");
    r = run("typematic 50 10");
    EXPECT_EQ(r.result, kCmdDone);
    EXPECT_EQ(r.out, "Delay 500ms, Repeat 100ms\r");
    ASSERT_EQ(KV_EEPROM_Load(kEepromCopyA), 1);
    EXPECT_EQ(eepromData.typematicDelay, 50);
    r = run("typematics 255 0");
    EXPECT_EQ(r.out, "Delay 2550ms, Repeat 0ms\r");
    ASSERT_EQ(KV_EEPROM_Load(kEepromCopyA), 1);
    EXPECT_EQ(eepromData.typematicDelay, 50) << "typematics does not save";
    // Above 255 the line is no typematic command: nothing changes, nothing is sent.
    r = run("typematic 256 20");
    EXPECT_EQ(r.result, kCmdFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(run("typematic 20 -1").result, kCmdFailed);
    EXPECT_EQ(eepromData.typematicRepeat, 10);
}

TEST_F(Hotspots, SliderHotspotsReportTheirValueOnlyWhenItChanges) {
    static int value;
    TouchControlHooks hooks{};
    hooks.sliderFind = [](int spot) { return spot == 140 ? 3 : -1; };
    hooks.sliderValue = [](int) { return value; };
    hooks.sliderTouched = [](int, int, int y) { return value = y; };
    KV_Touch_SetControlHooks(hooks);
    value = 7;
    ASSERT_EQ(ok("xsnb 140 0 0 99 99"), kCmdDone);
    EXPECT_EQ(press(140, 5, 42), "l140:42\r");
    EXPECT_EQ(press(140, 6, 42), "");
    binaryResponses = 1;
    EXPECT_EQ(press(140, 6, 300), std::string("L\x8C\x2C\x01", 4));
}

}  // namespace
}  // namespace voxa_test
