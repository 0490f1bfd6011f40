// voxa-sim as a program: exit codes, messages and files, run as a user would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../support/dosfs.h"
#include "sim/state_lock.h"
#include "test_folder.h"

namespace {

// What a module without a card and with an erased flash says first, as a terminal shows it.
const std::string kStartNoFile = ":No .BIN file in flash or on SD card\n>\n";

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

class VoxaSim : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Runs voxa-sim with its state in the test folder and stdin empty (or as given).
    Outcome run(const std::string& args, const std::string& stdin_redirect = "</dev/null") const {
        const std::string cmd = std::string("'") + VOXA_SIM_EXE + "' --state '" + path("state") +
                                "' " + args + " " + stdin_redirect + " >'" + path("stdout") +
                                "' 2>'" + path("stderr") + "'";
        const int status = std::system(cmd.c_str());
        Outcome r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = read("stdout");
        r.err = read("stderr");
        return r;
    }

    const voxa_test::TestFolder folder_{"sim-cli"};
    const std::string dir_ = folder_.path();
};

TEST_F(VoxaSim, UsageErrorsExitWithTwo) {
    Outcome r = run("--panel qvga");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("unknown panel 'qvga'"), std::string::npos) << r.err;
    r = run("--dataflash-id 1FF");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--dataflash-id: '1FF' is not a hex byte (00-FF)"), std::string::npos)
        << r.err;
    r = run("--help");
    EXPECT_EQ(r.code, 0);
    for (const char* option :
         {"--panel", "--com0", "--com1", "--realtime", "--fast", "--state", "--script", "--run-for",
          "--screenshot", "--wav", "--log", "--power-on-now", "--flash2", "--dataflash-id",
          "pty:LINK", "tcp:PORT"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST_F(VoxaSim, ScriptRunWritesLogAndScreenshot) {
    write("ok.vsim",
          "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\nsend "
          "\"vers\\r\"\nexpect \"VOXA5-PLUS V1.4.0 "
          "SVGA \\r>\\r\"\n");
    const Outcome r =
        run("--panel svga --fast --script '" + path("ok.vsim") + "' --run-for 500 --log '" +
            path("log.txt") + "' --screenshot '" + path("end.png") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string log = read("log.txt");
    EXPECT_EQ(log.rfind("   0.000000 ---- power on\n", 0), 0u) << log;
    EXPECT_NE(log.find(" com0 out  VOXA5-PLUS V1.4.0 SVGA \\r\n"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::is_directory(path("state")));
    // 800 x 600: the PNG header carries the panel's size.
    const std::string png = read("end.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x03\x20\0\0\x02\x58", 8));
}

TEST_F(VoxaSim, FailingScriptExitsWithOneAndNamesTheLine) {
    write("bad.vsim",
          "# boot\nexpect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\nsend "
          "\"vers\\r\"\nexpect \"V2\"\n");
    Outcome r = run("--fast --script '" + path("bad.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("bad.vsim:4: expect on com0 failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("received \"VOXA5"), std::string::npos) << r.err;

    write("syntax.vsim", "wait 1\nwiat 2\n");
    r = run("--fast --script '" + path("syntax.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("syntax.vsim:2: unknown command 'wiat'"), std::string::npos) << r.err;
}

TEST_F(VoxaSim, ScriptTouchesThePanelWithinItsBounds) {
    write("touch.vsim",
          "panel noise=2 seed=4\ntouch 0 0\ndrag 799 479 20\nmove 5 5\nrelease\n"
          "tap 399 239 10 300\nwait 5\n");
    Outcome r =
        run("--fast --no-sd --touch-panel 'temp=40 swap=1' --script '" + path("touch.vsim") + "'");
    EXPECT_EQ(r.code, 0) << r.err;

    write("off.vsim", "touch 10 10\nmove 640 480\n");
    r = run("--fast --no-sd --panel vga --script '" + path("off.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("off.vsim:2: 640,480 is off the 640x480 panel"), std::string::npos)
        << r.err;

    write("lifted.vsim", "drag 10 10 5\n");
    r = run("--fast --no-sd --script '" + path("lifted.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("lifted.vsim:1: no finger is on the panel"), std::string::npos) << r.err;

    r = run("--fast --no-sd --touch-panel 'corners=1,2' --run-for 1");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--touch-panel: 'corners=1,2': corners needs eight raw values"),
              std::string::npos)
        << r.err;
}

TEST_F(VoxaSim, InteractiveRunOnStdioEndsAfterRunFor) {
    const Outcome r = run("--fast --run-for 3000");
    EXPECT_EQ(r.code, 0) << r.err;
    // The module's CR ends a line on the terminal.
    EXPECT_EQ(r.out, kStartNoFile);
}

TEST_F(VoxaSim, ClosedStdinIsNoInput) {
    // With descriptor 0 closed, nothing voxa-sim opens later (here the board's shared memory,
    // as the log goes to stdout) may be taken for the terminal.
    const Outcome r = run("--fast --run-for 3000 --log -", "<&-");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find(" com0 in "), std::string::npos) << r.out.substr(0, 400);
    EXPECT_NE(r.out.find(" com0 out  >\\r\n"), std::string::npos) << r.out.substr(0, 400);
}

TEST_F(VoxaSim, EndpointThatCannotOpenIsAFailureNotAUsageError) {
    // A well-formed address this machine does not have.
    const Outcome r = run("--fast --com0 tcp:1.2.3.4:5000 --power-on-now --run-for 1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot listen on 1.2.3.4:5000"), std::string::npos) << r.err;
}

TEST_F(VoxaSim, PipedLinesWaitForTheModuleAndTheRunEndsAfterTheLastReply) {
    // Each line goes after the prompt that answers the one before (the first after the
    // start-up prompt); the run ends once the module has been quiet after the last reply.
    write("in.txt", "vers\rf?\r");
    Outcome r = run("--fast --log '" + path("log.txt") + "'", "<'" + path("in.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind(kStartNoFile + "VOXA5-PLUS V1.4.0 WVGA \n>\n", 0), 0u) << r.out;
    // "f?" is answered whole: its last font, then the prompt.
    EXPECT_TRUE(r.out.size() > 7 && r.out.substr(r.out.size() - 7) == "\nm64\n>\n") << r.out;
    const std::string log = read("log.txt");
    EXPECT_LT(log.find(" com0 out  >\\r\n"), log.find(" com0 in   vers\\r\n")) << log;

    // A typed LF is the module's CR; the run does not end before the answer.
    write("lf.txt", "vers\n");
    r = run("--fast", "<'" + path("lf.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, kStartNoFile + "VOXA5-PLUS V1.4.0 WVGA \n>\n");
}

TEST_F(VoxaSim, PipedLinesWithoutPromptOrAcrossAResetAreNotLost) {
    // "outs" sends its text and no prompt: the next line follows after a quiet time. "*RESET"
    // restarts the firmware: the line after it waits for the new start-up prompt.
    write("in.txt", "outs \"hi\"\rvers\r*RESET\rvers\r");
    const Outcome r = run("--fast", "<'" + path("in.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, kStartNoFile + "hiVOXA5-PLUS V1.4.0 WVGA \n>\n" + kStartNoFile +
                         "VOXA5-PLUS V1.4.0 WVGA \n>\n");
}

TEST_F(VoxaSim, RawStdinSendsPipedBytesAtOnce) {
    // The old behaviour on request: "vers" is on the wire at 0 s, before the firmware listens.
    write("in.txt", "vers\r");
    const Outcome r = run("--fast --raw-stdin --run-for 3000", "<'" + path("in.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind(kStartNoFile, 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("VOXA5"), std::string::npos) << r.out;
}

// Every file and folder the command line names is checked before anything starts: exit code
// 2 and the system's reason, and not even the state folder is made.
TEST_F(VoxaSim, UnusablePathsAreRefusedAtStart) {
    std::filesystem::create_directories(path("folder"));
    write("file", "x");
    write("big.bin", "");
    const std::string missing = ": No such file or directory\n";
    const struct {
        std::string args;
        std::string err;
    } cases[] = {
        {"--sd '" + path("nope") + "'", "--sd " + path("nope") + missing},
        {"--sd '" + path("file") + "'", "--sd " + path("file") + ": Not a directory\n"},
        {"--sd-image '" + path("nope.img") + "'", "--sd-image " + path("nope.img") + missing},
        {"--sd-image '" + path("folder") + "'",
         "--sd-image " + path("folder") + ": Is a directory\n"},
        {"--script '" + path("nope.vsim") + "'", "--script " + path("nope.vsim") + missing},
        {"--script '" + path("folder") + "'", "--script " + path("folder") + ": Is a directory\n"},
        {"--screenshot '" + path("nope/end.png") + "'",
         "--screenshot " + path("nope/end.png") + missing},
        {"--screenshot '" + path("folder") + "'",
         "--screenshot " + path("folder") + ": Is a directory\n"},
        {"--wav '" + path("nope/end.wav") + "'", "--wav " + path("nope/end.wav") + missing},
        {"--log '" + path("nope/run.log") + "'", "--log " + path("nope/run.log") + missing},
        {"--log '" + path("file/run.log") + "'",
         "--log " + path("file/run.log") + ": Not a directory\n"},
        {"--flash2 '" + path("nope.bin") + "'", "--flash2 " + path("nope.bin") + missing},
        {"--flash2 '" + path("folder") + "'", "--flash2 " + path("folder") + ": Is a directory\n"},
        {"--flash2 '" + path("big.bin") + "'",
         "--flash2 " + path("big.bin") +
             ": File too large (29097985 bytes; the Flash2 window holds 29097984)\n"},
    };
    std::filesystem::resize_file(path("big.bin"), 0x1BC0000 + 1);
    for (const auto& c : cases) {
        const Outcome r = run("--fast --run-for 10 " + c.args);
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_EQ(r.err, "voxa-sim: " + c.err) << c.args;
        EXPECT_FALSE(std::filesystem::exists(path("state"))) << c.args;
    }
}

// --flash2 programs the window before power-on; the state folder keeps it, padded to its
// sector with erased bytes, for the runs after.
TEST_F(VoxaSim, Flash2FileIsWrittenIntoTheStateFolder) {
    write("image.bin", std::string("VOXA\0\xFF\x01", 7));
    Outcome r = run("--fast --com0 none --run-for 10 --flash2 '" + path("image.bin") + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string expected(0x20000, '\xFF');
    expected.replace(0, 7, std::string("VOXA\0\xFF\x01", 7));
    EXPECT_EQ(read("state/flash2.bin"), expected);
    r = run("--fast --com0 none --run-for 10");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read("state/flash2.bin"), expected);
}

// A file of several records whose locations are offsets is refused by the module's flash check
// without a word: voxa-sim says so when it programs one; a file with flash addresses passes.
TEST_F(VoxaSim, Flash2FileWithOffsetsIsWarnedAbout) {
    std::string file(32, '\0');
    file[0] = '\xEC';
    file[1] = '\xFE';
    file[2] = 2;                                        // two records
    file.replace(24, 4, std::string("\x20\0\0\0", 4));  // record 1 at offset 0x20
    write("offsets.bin", file);
    Outcome r = run("--fast --com0 none --run-for 10 --flash2 '" + path("offsets.bin") + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(
        r.err.find("warning: --flash2 " + path("offsets.bin") + ": its locations are file offsets"),
        std::string::npos)
        << r.err;
    file.replace(24, 4, std::string("\x20\0\x40\xC8", 4));  // 0xC8400020
    write("addresses.bin", file);
    r = run("--fast --com0 none --run-for 10 --flash2 '" + path("addresses.bin") + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
}

// A script line naming a file that cannot be used fails the script at that line, found when
// the script is read: the module never runs (no log is even started).
TEST_F(VoxaSim, ScriptNamingAnUnusableFileFailsBeforeTheRun) {
    std::filesystem::create_directories(path("card"));
    const std::string missing = ": No such file or directory\n";
    const struct {
        std::string line;
        std::string err;
    } cases[] = {
        {"sd insert-image missing.img", "sd insert-image " + path("missing.img") + missing},
        {"sd insert-image card", "sd insert-image " + path("card") + ": Is a directory\n"},
        {"sd insert-folder missing", "sd insert-folder " + path("missing") + missing},
        {"screenshot shots/end.png", "screenshot " + path("shots/end.png") + missing},
        {"wav sounds/end.wav", "wav " + path("sounds/end.wav") + missing},
    };
    for (const auto& c : cases) {
        write("s.vsim",
              "expect \":No .BIN file in flash or on SD card\\r>\\r\" within 3000\nsend "
              "\"vers\\r\"\n" +
                  c.line + "\n");
        const Outcome r =
            run("--fast --script '" + path("s.vsim") + "' --log '" + path("run.log") + "'");
        EXPECT_EQ(r.code, 1) << c.line;
        EXPECT_EQ(r.err, "voxa-sim: " + path("s.vsim") + ":3: " + c.err) << c.line;
        EXPECT_FALSE(std::filesystem::exists(path("run.log"))) << c.line;
    }
}

// The user's case: a script puts a second card into the occupied slot and writes on both. The
// firmware must see the swap and write each card through its own FAT.
TEST_F(VoxaSim, ScriptSwapsCardsAndBothStaySound) {
    using voxa_test::quote;
    std::string log;
    ASSERT_EQ(
        voxa_test::run("mkfs.fat -C --invariant -F 16 " + quote(path("a.img")) + " 16384", &log), 0)
        << log;
    ASSERT_EQ(voxa_test::run("mkfs.fat -C --invariant -F 12 -s 1 " + quote(path("b.img")) + " 1024",
                             &log),
              0)
        << log;
    write("readme", "card a");
    write("other", "card b");
    ASSERT_TRUE(voxa_test::mcopy_in(path("a.img"), path("readme"), "::/README"));
    ASSERT_TRUE(voxa_test::mcopy_in(path("b.img"), path("other"), "::/OTHER.TXT"));
    write("swap.vsim", R"(expect ":No bin file in Flash or SD card (1)\r>\r" within 3000
send "fopen\r"
expect ">\r" within 5000
sd insert-image b.img
wait 200
send "fopen\r"
expect ">\r" within 5000
send "*ls\r"
expect "OTHER.TXT\rMYTEST.INI\r>\r"
sd insert-image a.img
wait 200
send "*ls\r"
expect "README\rMYTEST.INI\r>\r"
)");
    const Outcome r =
        run("--fast --sd-image '" + path("a.img") + "' --script '" + path("swap.vsim") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* image : {"a.img", "b.img"}) {
        EXPECT_TRUE(voxa_test::fsck_clean(path(image), &log)) << image << "\n" << log;
        ASSERT_EQ(voxa_test::run("mtype -i " + quote(path(image)) + " ::/MYTEST.INI", &log), 0)
            << log;
        EXPECT_EQ(log.size(), 10240u) << image;
        EXPECT_EQ(log.rfind("voxa write test block 00\r\n", 0), 0u) << image;
    }
    ASSERT_EQ(voxa_test::run("mtype -i " + quote(path("a.img")) + " ::/README", &log), 0);
    EXPECT_EQ(log, "card a");
    ASSERT_EQ(voxa_test::run("mtype -i " + quote(path("b.img")) + " ::/OTHER.TXT", &log), 0);
    EXPECT_EQ(log, "card b");
}

// One run per state folder, for as long as it runs: a second is refused and told who holds
// it; once the first is gone, even killed, the folder is free again.
TEST_F(VoxaSim, StateFolderServesOneRunAtATime) {
    // The first run waits for a host on its PTY, virtual time standing still, and says so on
    // its standard error once it holds the folder.
    int err_pipe[2];
    ASSERT_EQ(pipe(err_pipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    const std::string state = path("state");
    const char* argv[] = {VOXA_SIM_EXE, "--state", state.c_str(), "--com0", "pty", nullptr};
    pid_t first = -1;
    ASSERT_EQ(
        posix_spawn(&first, VOXA_SIM_EXE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(err_pipe[1]);
    FILE* err = fdopen(err_pipe[0], "r");
    ASSERT_NE(err, nullptr);
    std::string said;
    for (char line[512];
         said.find("com0 on ") == std::string::npos && std::fgets(line, sizeof line, err);) {
        said += line;
    }
    ASSERT_NE(said.find("com0 on "), std::string::npos) << said;

    const std::string held =
        "--state " + state + ": in use by another voxa-sim (pid " + std::to_string(first) + ")";
    Outcome r = run("--fast --run-for 10");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "voxa-sim: " + held + "\n");
    sim::StateLock lock;
    std::string why;
    EXPECT_FALSE(lock.acquire(state, &why));
    EXPECT_EQ("--state " + state + ": " + why, held);

    kill(first, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, 0), first);
    std::fclose(err);
    r = run("--fast --run-for 10");
    EXPECT_EQ(r.code, 0) << r.err;
}

}  // namespace
