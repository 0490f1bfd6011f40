// voxa-sim as a program: exit codes, messages and files, run as a user would run it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "test_folder.h"

namespace {

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
    r = run("--script '" + path("missing.vsim") + "'");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("missing.vsim"), std::string::npos) << r.err;
    r = run("--help");
    EXPECT_EQ(r.code, 0);
    for (const char* option :
         {"--panel", "--com0", "--com1", "--realtime", "--fast", "--state", "--script", "--run-for",
          "--screenshot", "--log", "--power-on-now", "pty:LINK", "tcp:PORT"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST_F(VoxaSim, ScriptRunWritesLogAndScreenshot) {
    write("ok.vsim",
          "expect \">\\r\" within 3000\nsend \"vers\\r\"\nexpect \"VOXA5-PLUS V1.4.0 "
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
    write("bad.vsim", "# boot\nexpect \">\\r\" within 3000\nsend \"vers\\r\"\nexpect \"V2\"\n");
    Outcome r = run("--fast --script '" + path("bad.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("bad.vsim:4: expect on com0 failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("received \"VOXA5"), std::string::npos) << r.err;

    write("syntax.vsim", "wait 1\nwiat 2\n");
    r = run("--fast --script '" + path("syntax.vsim") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("syntax.vsim:2: unknown command 'wiat'"), std::string::npos) << r.err;
}

TEST_F(VoxaSim, InteractiveRunOnStdioEndsAfterRunFor) {
    const Outcome r = run("--fast --run-for 3000");
    EXPECT_EQ(r.code, 0) << r.err;
    // The module's CR ends a line on the terminal.
    EXPECT_EQ(r.out, ">\n");
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
    EXPECT_EQ(r.out.rfind(">\nVOXA5-PLUS V1.4.0 WVGA \n>\n", 0), 0u) << r.out;
    // "f?" is answered whole: its last font, then the prompt.
    EXPECT_TRUE(r.out.size() > 7 && r.out.substr(r.out.size() - 7) == "\nm64\n>\n") << r.out;
    const std::string log = read("log.txt");
    EXPECT_LT(log.find(" com0 out  >\\r\n"), log.find(" com0 in   vers\\r\n")) << log;

    // A typed LF is the module's CR; the run does not end before the answer.
    write("lf.txt", "vers\n");
    r = run("--fast", "<'" + path("lf.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, ">\nVOXA5-PLUS V1.4.0 WVGA \n>\n");
}

TEST_F(VoxaSim, PipedLinesWithoutPromptOrAcrossAResetAreNotLost) {
    // "outs" sends its text and no prompt: the next line follows after a quiet time. "*RESET"
    // restarts the firmware: the line after it waits for the new start-up prompt.
    write("in.txt", "outs \"hi\"\rvers\r*RESET\rvers\r");
    const Outcome r = run("--fast", "<'" + path("in.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, ">\nhiVOXA5-PLUS V1.4.0 WVGA \n>\n>\nVOXA5-PLUS V1.4.0 WVGA \n>\n");
}

TEST_F(VoxaSim, RawStdinSendsPipedBytesAtOnce) {
    // The old behaviour on request: "vers" is on the wire at 0 s, before the firmware listens.
    write("in.txt", "vers\r");
    const Outcome r = run("--fast --raw-stdin --run-for 3000", "<'" + path("in.txt") + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind(">\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("VOXA5"), std::string::npos) << r.out;
}

}  // namespace
