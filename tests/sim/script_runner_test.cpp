// Scripts played against real firmware children, in virtual time.
#include "sim/script_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/screen.h"
#include "test_folder.h"

namespace sim {
namespace {

struct Played {
    bool ok = false;
    std::string failure;
    std::string log;
    uint64_t end_ns = 0;
    int resets = 0;
    int power_ons = 0;
};

Played play(const std::string& text, bool realtime = false, const std::string& dir = ".") {
    Played p;
    Script script;
    std::string error;
    if (!parse_script(text, "t.vsim", dir, &script, &error)) {
        p.failure = "parse: " + error;
        return p;
    }
    Module module(Module::Options{});
    std::ostringstream out;
    {
        TrafficLog log(out);
        Session session(module, realtime);
        session.set_log(&log);
        session.power_on();
        ScriptRunner runner(session);
        p.ok = runner.run(script, &p.failure);
        p.end_ns = session.now();
    }
    p.log = out.str();
    p.resets = module.resets();
    p.power_ons = module.power_ons();
    return p;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The virtual time of the first log line that contains text.
uint64_t logged_at(const std::string& log, const std::string& text) {
    const size_t at = log.find(text);
    if (at == std::string::npos) return UINT64_MAX;
    const size_t line = log.rfind('\n', at) + 1;  // npos + 1 == 0 for the first line
    unsigned long long s = 0, us = 0;
    std::sscanf(log.c_str() + line, "%llu.%llu", &s, &us);
    return s * 1'000'000'000ull + us * 1'000ull;
}

constexpr const char* kBootAndVers = R"(
expect ":No .BIN file in flash or on SD card\r>\r" within 3000
send "vers\r"
expect "VOXA5-PLUS V1.4.0 WVGA \r>\r"
)";

TEST(ScriptRunner, BootAndVersionPassAndAreLogged) {
    const Played p = play(kBootAndVers);
    ASSERT_TRUE(p.ok) << p.failure;
    EXPECT_NE(p.log.find(" com0 out  >\\r\n"), std::string::npos) << p.log;
    EXPECT_NE(p.log.find(" com0 in   vers\\r\n"), std::string::npos) << p.log;
    EXPECT_NE(p.log.find(" com0 out  VOXA5-PLUS V1.4.0 WVGA \\r\n"), std::string::npos) << p.log;
    // The host reacts within a millisecond of the reply, not at the end of the limit.
    EXPECT_LE(p.end_ns, logged_at(p.log, "VOXA5") + 5'000'000) << p.log;
    EXPECT_LE(logged_at(p.log, " com0 in   vers"), logged_at(p.log, " com0 out  >\\r") + 1'000'000)
        << p.log;
}

TEST(ScriptRunner, ExpectFailuresShowExpectedAndReceived) {
    Played p = play(
        "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\nsend "
        "\"vers\\r\"\nexpect \"VOXA5-PLUS V9\"\n");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.failure.rfind("t.vsim:3: expect on com0 failed at ", 0), 0u) << p.failure;
    EXPECT_NE(p.failure.find("expected \"VOXA5-PLUS V9\", received \"VOXA5-PLUS V1"),
              std::string::npos)
        << p.failure;
    // A wrong byte fails at once, long before the 2 s limit would run out.
    EXPECT_LT(p.end_ns, logged_at(p.log, " com0 in   vers") + 10'000'000) << p.log;

    p = play(
        "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\nexpect \"more\" "
        "within 50\n");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.failure.rfind("t.vsim:2: expect on com0 timed out after 50 ms at ", 0), 0u)
        << p.failure;
    EXPECT_NE(p.failure.find("expected \"more\", received \"\""), std::string::npos) << p.failure;

    // The boot prompt takes longer than the limit given.
    p = play("expect \">\\r\" within 100\n");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.failure.rfind("t.vsim:1: expect on com0 timed out after 100 ms at 0.100000 s", 0),
              0u)
        << p.failure;
}

TEST(ScriptRunner, WaitLetsRepliesGatherAndWaitForSkipsToText) {
    Played p = play(R"(
wait 3000
send "vers\r"
wait 100
expect ":No .BIN file in flash or on SD card\r>\rVOXA5-PLUS"
wait-for ">\r"
expect-silence 50
)");
    EXPECT_TRUE(p.ok) << p.failure;

    p = play("wait 3000\nexpect-silence 10\n");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.failure,
              "t.vsim:2: expect-silence on com0 failed at 3.000000 s: received \":No .BIN file "
              "in flash or on SD card\\r>\\r\"");

    p = play("wait-for \"never\" within 1500\n");
    ASSERT_FALSE(p.ok);
    EXPECT_NE(p.failure.find("t.vsim:1: wait-for on com0 timed out after 1500 ms"),
              std::string::npos)
        << p.failure;

    // discard forgets what arrived so far.
    p = play("wait 3000\ndiscard\nexpect-silence 10\n");
    EXPECT_TRUE(p.ok) << p.failure;
}

TEST(ScriptRunner, AuxLinesPlayTheSecondPort) {
    const Played p = play(R"(
expect ":No .BIN file in flash or on SD card\r>\r" within 3000
send "aouts \"hello\"\r"
expect ">\r"
aux expect "hello"
aux send "abc"
wait 10
send "ain\r"
expect ":abc"
)");
    EXPECT_TRUE(p.ok) << p.failure;
    EXPECT_NE(p.log.find(" com1 out  hello\n"), std::string::npos) << p.log;
    EXPECT_NE(p.log.find(" com1 in   abc\n"), std::string::npos) << p.log;

    const Played wrong = play(
        "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\naux expect \"x\" "
        "within 5\n");
    EXPECT_NE(wrong.failure.find("t.vsim:2: expect on com1 timed out"), std::string::npos)
        << wrong.failure;
}

TEST(ScriptRunner, ResetAndPowerCycleRestartTheFirmware) {
    Played p = play(std::string(kBootAndVers) +
                    "reset\nexpect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\n");
    EXPECT_TRUE(p.ok) << p.failure;
    EXPECT_EQ(p.resets, 1);
    EXPECT_EQ(p.power_ons, 1);
    EXPECT_NE(p.log.find(" ---- reset\n"), std::string::npos) << p.log;

    p = play(std::string(kBootAndVers) +
             "power-cycle\nexpect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\n");
    EXPECT_TRUE(p.ok) << p.failure;
    EXPECT_EQ(p.power_ons, 2);

    // Switched off, the module neither listens nor answers.
    p = play(
        "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\npower-off\nsend "
        "\"vers\\r\"\nexpect-silence 100\n"
        "power-on\nexpect \":No .BIN file in flash or on SD card\\r>\\r\" within "
        "3000\nexpect-silence 100\n");
    EXPECT_TRUE(p.ok) << p.failure;
}

TEST(ScriptRunner, FirmwareCrashFailsTheScriptWithTheReason) {
    // A stand-in firmware that dies as a crashing one would.
    const voxa_test::TestFolder folder("sim-test-crash");
    const std::string& dir = folder.path();
    { std::ofstream(dir + "/voxa-fw-wvga") << "#!/bin/sh\nkill -SEGV $$\n"; }
    std::filesystem::permissions(dir + "/voxa-fw-wvga", std::filesystem::perms::owner_all);
    Module::Options options;
    options.firmware_dir = dir;
    Module module(options);
    std::ostringstream out;
    TrafficLog log(out);
    Session session(module, false);
    session.set_log(&log);
    session.power_on();
    Script script;
    std::string error;
    ASSERT_TRUE(parse_script("wait 10\nsend \"vers\\r\"\n", "c.vsim", dir, &script, &error));
    ScriptRunner runner(session);
    EXPECT_FALSE(runner.run(script, &error));
    EXPECT_EQ(error.rfind("c.vsim:1: the module stopped: firmware crashed (Segmentation fault)", 0),
              0u)
        << error;
    log.finish();
    EXPECT_NE(out.str().find(" ---- stopped: firmware crashed"), std::string::npos) << out.str();
}

TEST(ModuleReset, KeepsTheFrameBufferAndRestartsAtOnce) {
    Module m(Module::Options{});
    m.power_on();
    m.run_for_ms(3000);
    EXPECT_EQ(m.take_text(0), ":No .BIN file in flash or on SD card\r>\r");
    const std::vector<uint8_t> before = framebuffer_rgb(m);
    ASSERT_GT(backlight_level(m, {}), 0.0);
    const uint64_t t = m.now_ns();
    m.hardware_reset();
    EXPECT_EQ(m.now_ns(), t);
    EXPECT_EQ(m.resets(), 1);
    // The picture stays in SDRAM, but the reset LCD controller shows nothing of it.
    EXPECT_EQ(framebuffer_rgb(m), before);
    EXPECT_FALSE(panel_scanning(m));
    m.run_for_ms(3000);
    EXPECT_EQ(m.take_text(0), ":No .BIN file in flash or on SD card\r>\r");
    EXPECT_EQ(m.status(), Module::Status::kRunning);
}

TEST(ScriptRunner, ScreenshotPathsAreRelativeToTheScript) {
    const voxa_test::TestFolder folder("sim-test-shot");
    const std::string& dir = folder.path();
    {
        std::ofstream(dir + "/s.vsim") << "expect \":No .BIN file in flash or on SD card\\r>\\r\" "
                                          "within 3000\nscreenshot out.png\n";
    }
    Script script;
    std::string error;
    ASSERT_TRUE(load_script(dir + "/s.vsim", &script, &error)) << error;
    Module module(Module::Options{});
    Session session(module, false);
    session.power_on();
    ScriptRunner runner(session);
    ASSERT_TRUE(runner.run(script, &error)) << error;
    const std::string png = read_file(dir + "/out.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");

    // An unwritable screenshot fails the line.
    Script bad;
    ASSERT_TRUE(parse_script("screenshot /nonexistent/dir/x.png\n", "b.vsim", dir, &bad, &error));
    EXPECT_FALSE(runner.run(bad, &error));
    EXPECT_EQ(error.rfind("b.vsim:1: ", 0), 0u) << error;
}

TEST(Determinism, SameScriptSameLogAndScreens) {
    const voxa_test::TestFolder folder("sim-test-det");
    const std::string& dir = folder.path();
    const std::string script = std::string(kBootAndVers) + R"(
send "aouts \"x\"\r"
expect ">\r" within 100
wait 20
screenshot a.png
reset
wait 700
screenshot b.png
expect ":No .BIN file in flash or on SD card\r>\r" within 3000
)";
    const Played first = play(script, false, dir);
    ASSERT_TRUE(first.ok) << first.failure;
    const std::string a1 = read_file(dir + "/a.png"), b1 = read_file(dir + "/b.png");
    const Played second = play(script, false, dir);
    ASSERT_TRUE(second.ok) << second.failure;
    EXPECT_EQ(second.log, first.log);
    EXPECT_EQ(read_file(dir + "/a.png"), a1);
    EXPECT_EQ(read_file(dir + "/b.png"), b1);
}

TEST(Determinism, RealtimeAndFastRunsAgree) {
    const auto start = std::chrono::steady_clock::now();
    const Played realtime = play(kBootAndVers, true);
    const auto wall = std::chrono::steady_clock::now() - start;
    const Played fast = play(kBootAndVers, false);
    ASSERT_TRUE(realtime.ok) << realtime.failure;
    EXPECT_EQ(realtime.log, fast.log);
    EXPECT_EQ(realtime.end_ns, fast.end_ns);
    // Realtime really was paced: the boot alone is over a second of virtual time.
    EXPECT_GE(wall, std::chrono::milliseconds(1100));
}

TEST(ScriptRunner, CardsGoInAndOutWhileTheModuleRuns) {
    const voxa_test::TestFolder folder("sim-test-sd");
    const std::string& dir = folder.path();
    std::filesystem::create_directories(dir + "/card/SUB");
    std::ofstream(dir + "/card/HELLO.TXT") << "hi";
    const Played p = play(R"(
expect ":No .BIN file in flash or on SD card\r>\r" within 3000
send "*cd SUB\r"
expect ":SD Card not ready\r!\r"
sd insert-folder card
wait 500
send "*ls\r"
expect "HELLO.TXT\rSUB/\r>\r"
sd remove
wait 500
send "*cd SUB\r"
expect ":SD Card not ready\r!\r"
)",
                          false, dir);
    EXPECT_TRUE(p.ok) << p.failure;
    std::string error;
    Script script;
    EXPECT_FALSE(parse_script("sd eject\n", "t.vsim", ".", &script, &error));
    EXPECT_EQ(error, "t.vsim:1: sd needs 'insert-image FILE', 'insert-folder DIR' or 'remove'");
}

}  // namespace
}  // namespace sim
