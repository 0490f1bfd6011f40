#include "sim/script.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/byte_text.h"

namespace sim {
namespace {

Script parse_ok(const std::string& text) {
    Script s;
    std::string error;
    EXPECT_TRUE(parse_script(text, "t.vsim", "/scripts", &s, &error)) << error;
    return s;
}

std::string parse_error(const std::string& text) {
    Script s;
    std::string error;
    EXPECT_FALSE(parse_script(text, "t.vsim", "/scripts", &s, &error)) << text;
    return error;
}

TEST(ByteText, EscapesRoundTrip) {
    std::string bytes, error;
    ASSERT_TRUE(unescape(R"(a\r\n\t\\\"\'\x41\xfF\e\0z)", &bytes, &error)) << error;
    EXPECT_EQ(bytes, std::string("a\r\n\t\\\"'A\xFF\x1B\0z", 12));
    EXPECT_EQ(escape_bytes(bytes), R"(a\r\n\t\\"'A\xFF\x1B\x00z)");
    EXPECT_EQ(quote_bytes("say \"hi\" "), R"("say \"hi\" ")");
    // A trailing space is shown, since a log line would otherwise hide it.
    EXPECT_EQ(escape_bytes("V1.4 "), R"(V1.4\x20)");

    for (const char* bad : {R"(\q)", R"(\x4)", R"(\xg0)", "end\\"}) {
        error.clear();
        EXPECT_FALSE(unescape(bad, &bytes, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(Script, EveryCommand) {
    const Script s = parse_ok(R"(# a comment, then a blank line

send "vers\r"   # trailing comment
sendhex 76 65 72730D
wait 1.5
expect ">\r"
expect "#\r" within 250
expect-timeout 5000
expect "x"
wait-for "ready"
expect-silence 20
discard
aux send "abc"
aux expect "hello" within 10
screenshot shots/boot.png
screenshot "/abs/s p.png"
reset
power-cycle
power-off
power-on
send "# not a comment"
)");
    ASSERT_EQ(s.steps.size(), 18u);
    const auto& v = s.steps;
    EXPECT_EQ(v[0].kind, StepKind::kSend);
    EXPECT_EQ(v[0].bytes, "vers\r");
    EXPECT_EQ(v[0].line, 3);
    EXPECT_EQ(v[1].kind, StepKind::kSend);
    EXPECT_EQ(v[1].bytes, "vers\r");
    EXPECT_EQ(v[2].kind, StepKind::kWait);
    EXPECT_EQ(v[2].ns, 1'500'000u);
    EXPECT_EQ(v[3].kind, StepKind::kExpect);
    EXPECT_EQ(v[3].ns, kDefaultExpectLimitNs);
    EXPECT_EQ(v[4].ns, 250'000'000u);
    // expect-timeout changes the limit of the lines after it only.
    EXPECT_EQ(v[5].ns, 5'000'000'000u);
    EXPECT_EQ(v[5].line, 9);
    EXPECT_EQ(v[6].kind, StepKind::kWaitFor);
    EXPECT_EQ(v[6].ns, 5'000'000'000u);
    EXPECT_EQ(v[7].kind, StepKind::kExpectSilence);
    EXPECT_EQ(v[7].ns, 20'000'000u);
    EXPECT_EQ(v[8].kind, StepKind::kDiscard);
    EXPECT_EQ(v[8].port, 0);
    EXPECT_EQ(v[9].kind, StepKind::kSend);
    EXPECT_EQ(v[9].port, 1);
    EXPECT_EQ(v[10].kind, StepKind::kExpect);
    EXPECT_EQ(v[10].port, 1);
    EXPECT_EQ(v[10].ns, 10'000'000u);
    EXPECT_EQ(v[11].path, "/scripts/shots/boot.png");
    EXPECT_EQ(v[12].path, "/abs/s p.png");
    EXPECT_EQ(v[13].kind, StepKind::kReset);
    EXPECT_EQ(v[14].kind, StepKind::kPowerCycle);
    EXPECT_EQ(v[15].kind, StepKind::kPowerOff);
    EXPECT_EQ(v[16].kind, StepKind::kPowerOn);
    EXPECT_EQ(v[17].bytes, "# not a comment");
}

TEST(Script, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"wait 1\nfly away\n", "t.vsim:2: unknown command 'fly'"},
        {"\n\nsend vers\n", "t.vsim:3: send needs one text in double quotes"},
        {"send \"a\" \"b\"", "t.vsim:1: send needs one text"},
        {"send \"abc\n", "t.vsim:1: unterminated text"},
        {"# ok\nsend \"\\q\"", "t.vsim:2: unknown escape \\q"},
        {"send \"\\x4\"", "t.vsim:1: \\x needs two hex digits"},
        {"sendhex 7", "t.vsim:1: '7' is not hex bytes"},
        {"sendhex zz", "t.vsim:1: 'zz' is not hex bytes"},
        {"sendhex", "t.vsim:1: sendhex needs hex bytes"},
        {"wait", "t.vsim:1: wait needs one time"},
        {"wait -3", "t.vsim:1: '-3' is not a time"},
        {"wait soon", "t.vsim:1: 'soon' is not a time"},
        {"expect \">\" within", "t.vsim:1: expect needs one text"},
        {"expect \">\" within never", "t.vsim:1: 'never' is not a time"},
        {"expect \"\"", "t.vsim:1: expect needs a non-empty text"},
        {"aux wait 5", "t.vsim:1: aux goes before send"},
        {"aux", "t.vsim:1: aux goes before send"},
        {"reset now", "t.vsim:1: reset takes nothing after it"},
        {"screenshot", "t.vsim:1: screenshot needs one file name"},
        {"\"send\"", "t.vsim:1: a line starts with a command"},
    };
    for (const auto& c : cases) {
        const std::string error = parse_error(c.text);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error;
    }
}

TEST(Script, CrLfFilesParseLikeLfFiles) {
    const Script s = parse_ok("send \"a\"\r\nwait 1\r\n");
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_EQ(s.steps[1].line, 2);
}

TEST(Script, LoadMissingFileFails) {
    Script s;
    std::string error;
    EXPECT_FALSE(load_script("/nonexistent/x.vsim", &s, &error));
    EXPECT_NE(error.find("/nonexistent/x.vsim"), std::string::npos);
}

}  // namespace
}  // namespace sim
