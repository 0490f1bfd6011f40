// voxa-sim against a firmware process that breaks the link: malformed messages, impossible
// times, a process that dies, hangs or stops reading. Each must stop the module with a reason
// (as a crash or hang does) and leave voxa-sim itself, and no stray process, behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "sim/module.h"
#include "test_folder.h"

namespace sim {
namespace {

struct Case {
    const char* mode;    // what the stand-in does (see fake_firmware.cpp)
    const char* reason;  // what the stop reason must contain
};

class FirmwareLink : public ::testing::Test {
  protected:
    // A module whose firmware executable is the stand-in in the given mode. The stand-in
    // leaves its process id beside it.
    std::unique_ptr<Module> module(const std::string& mode, int hang_ms = 20000) {
        const std::string dir = dir_ + "/" + mode;
        std::filesystem::create_directories(dir);
        {
            std::ofstream(dir + "/voxa-fw-wvga")
                << "#!/bin/sh\necho $$ > '" << dir << "/pid'\nexec '" << VOXA_FAKE_FIRMWARE << "' "
                << mode << "\n";
        }
        std::filesystem::permissions(dir + "/voxa-fw-wvga", std::filesystem::perms::owner_all);
        Module::Options options;
        options.firmware_dir = dir;
        options.hang_timeout_ms = hang_ms;
        return std::make_unique<Module>(options);
    }

    // True when the last stand-in started in this mode is gone and reaped.
    bool stand_in_gone(const std::string& mode) const {
        std::ifstream in(dir_ + "/" + mode + "/pid");
        pid_t pid = 0;
        if (!(in >> pid) || pid <= 0) return false;
        return kill(pid, 0) != 0 && errno == ESRCH;
    }

    // Powers the stand-in on and runs it; expects the module stopped for the reason.
    void expect_stopped(const Case& c, const char* prefix, int hang_ms = 20000) {
        SCOPED_TRACE(c.mode);
        auto m = module(c.mode, hang_ms);
        m->power_on();
        m->run_for_ms(10);
        EXPECT_EQ(m->status(), Module::Status::kStopped);
        EXPECT_EQ(m->stop_reason().rfind(prefix, 0), 0u) << m->stop_reason();
        EXPECT_NE(m->stop_reason().find(c.reason), std::string::npos) << m->stop_reason();
        EXPECT_TRUE(stand_in_gone(c.mode));
        // Stopped, it stays stopped and still answers.
        m->run_for_ms(10);
        EXPECT_EQ(m->status(), Module::Status::kStopped);
    }

    void expect_rejected(const Case& c) { expect_stopped(c, "firmware broke the link protocol: "); }

    const voxa_test::TestFolder folder_{"fw-link"};
    const std::string dir_ = folder_.path();
};

TEST_F(FirmwareLink, AWellBehavedStandInRuns) {
    auto m = module("good");
    m->power_on();
    m->run_for_ms(10);
    ASSERT_EQ(m->status(), Module::Status::kRunning) << m->stop_reason();
    EXPECT_EQ(m->take_text(0), "A");
    EXPECT_EQ(m->take_text(1), "BC");
    ASSERT_EQ(m->events().size(), 2u);
    EXPECT_EQ(m->events()[0].kind, simlink::Event::kGpio);
    EXPECT_EQ(m->uart_rate(1), 9600u);
    m->run_for_ms(10);
    EXPECT_EQ(m->status(), Module::Status::kRunning);
    EXPECT_EQ(m->now_ns(), 20'000'000u);
}

TEST_F(FirmwareLink, RejectsHellosThatDoNotFitTheBuildStarted) {
    for (const Case& c : {
             Case{"hello-short", "a hello of 4 bytes (12 expected)"},
             Case{"hello-panel", "a hello from the 'svga' build where the wvga build was started"},
             Case{"hello-unterminated", "a hello whose panel name does not end"},
             Case{"hello-size", "a hello with a 801x480 screen"},
             Case{"hello-twice", "a second hello"},
             Case{"no-hello", "a message of type 101 before hello"},
         }) {
        expect_rejected(c);
    }
}

TEST_F(FirmwareLink, RejectsMessagesOfUnknownTypeOrWrongSize) {
    for (const Case& c : {
             Case{"unknown-type", "a message of unknown type 999"},
             Case{"parent-type", "a message of unknown type 2"},
             // The stand-in stays after announcing it: nothing is read, nothing waited for.
             Case{"oversized", "a message of 1048577 bytes (at most 1048576)"},
             Case{"yield-short", "a yield of 4 bytes (8 expected)"},
             Case{"event-short", "an event of 12 bytes (13 expected)"},
             Case{"reset-short", "a reset of 7 bytes (8 expected)"},
             Case{"output-empty", "UART output without its port"},
             Case{"output-partial", "UART output with 14 bytes of records, not whole records of 9"},
         }) {
        expect_rejected(c);
    }
}

TEST_F(FirmwareLink, RejectsRecordsOfNoSuchPortKindOrValue) {
    for (const Case& c : {
             Case{"output-port", "UART output for port 2"},
             Case{"event-kind", "an event of unknown kind 200"},
             Case{"event-duty", "an event of kind 7 with value 103"},
             Case{"event-gpio", "an event of kind 0 with value 4097"},
             Case{"event-rate-port", "an event of kind 4 with value 33564032"},
         }) {
        expect_rejected(c);
    }
}

TEST_F(FirmwareLink, RejectsTimesOutsideTheGrantOrGoingBack) {
    for (const Case& c : {
             Case{"yield-early", "a yield at 9999999 ns from a grant to 10000000 ns"},
             Case{"yield-late", "a yield at 10000001 ns from a grant to 10000000 ns"},
             Case{"output-late", "a UART byte at 10000001 ns, outside 0 to 10000000 ns"},
             Case{"output-early", "a UART byte at 18446744073709551615 ns, outside 0 to"},
             Case{"output-backwards", "a UART byte at 4999999 ns, outside 5000000 to"},
             Case{"event-backwards", "an event at 4999999 ns, outside 5000000 to"},
             Case{"reset-late", "a reset at 10000001 ns, outside 0 to 10000000 ns"},
             Case{"power-lost-early", "a power loss at 18446744073709551615 ns"},
         }) {
        expect_rejected(c);
    }
}

TEST_F(FirmwareLink, DeathsAndHangsStopTheModule) {
    expect_stopped({"die-mid-message", "(Segmentation fault)"}, "firmware crashed");
    expect_stopped({"silent", "no idle point reached for 0.3 s of wall time"},
                   "firmware hung: ", 300);
    expect_stopped({"stall-mid-message", "a message it began was not finished within 0.3 s"},
                   "firmware hung: ", 300);
    expect_stopped({"close-and-run", "it closed its link and went on running"},
                   "firmware hung: ", 300);
    expect_stopped({"reset-at-once", "it resets the processor as soon as it starts, over and over"},
                   "firmware hung: ");

    // One that stops taking in what it is sent: the world's writes must not block for good.
    auto m = module("deaf", 300);
    m->power_on();
    m->run_for_ms(10);
    ASSERT_EQ(m->status(), Module::Status::kRunning) << m->stop_reason();
    m->send(0, std::string(8u << 20, 'x'));
    m->run_for_ms(10);
    EXPECT_EQ(m->status(), Module::Status::kStopped);
    EXPECT_EQ(m->stop_reason().rfind("firmware hung: it took in nothing it was sent for 0.3 s", 0),
              0u)
        << m->stop_reason();
    EXPECT_TRUE(stand_in_gone("deaf"));
}

TEST_F(FirmwareLink, ShowsOnlyPrintableWordsOfAStoppedBoard) {
    auto m = module("fatal-garbage");
    m->power_on();
    m->run_for_ms(10);
    EXPECT_EQ(m->status(), Module::Status::kStopped);
    const std::string& why = m->stop_reason();
    EXPECT_EQ(why.rfind("simulated hardware stopped: bad??[2Jthingxxx", 0), 0u) << why;
    EXPECT_LT(why.size(), 300u);
    for (const char c : why) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
    EXPECT_TRUE(stand_in_gone("fatal-garbage"));
}

}  // namespace
}  // namespace sim
