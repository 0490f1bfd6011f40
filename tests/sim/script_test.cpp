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
        {"wav a.wav b.wav", "t.vsim:1: wav needs one file name"},
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

TEST(Script, TouchLines) {
    const Script s = parse_ok(R"(touch 10 20
touch 0 479 555
move 30 40
drag 700 400 250.5
release
tap 399 239 100
tap 1 2 3 260
panel corners=850,150,150,150,150,850,850,850 swap=1 noise=3 seed=7 pressure=400 temp=99.9
panel default
)");
    const auto& v = s.steps;
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0].kind, StepKind::kTouch);
    EXPECT_EQ(v[0].x, 10);
    EXPECT_EQ(v[0].y, 20);
    EXPECT_EQ(v[0].pressure, -1);
    EXPECT_EQ(v[1].pressure, 555);
    EXPECT_EQ(v[1].y, 479);
    EXPECT_EQ(v[2].kind, StepKind::kMove);
    EXPECT_EQ(v[2].x, 30);
    EXPECT_EQ(v[3].kind, StepKind::kDrag);
    EXPECT_EQ(v[3].x, 700);
    EXPECT_EQ(v[3].ns, 250'500'000u);
    EXPECT_EQ(v[4].kind, StepKind::kRelease);
    EXPECT_EQ(v[5].kind, StepKind::kTap);
    EXPECT_EQ(v[5].ns, 100'000'000u);
    EXPECT_EQ(v[5].pressure, -1);
    EXPECT_EQ(v[6].pressure, 260);
    EXPECT_EQ(v[7].kind, StepKind::kPanel);
    EXPECT_EQ(v[7].bytes,
              "corners=850,150,150,150,150,850,850,850 swap=1 noise=3 seed=7 pressure=400 "
              "temp=99.9");
    EXPECT_EQ(v[8].bytes, "default");

    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"touch 10", "t.vsim:1: touch needs X Y"},
        {"touch 10 20 30 40", "t.vsim:1: touch needs X Y"},
        {"touch -1 20", "t.vsim:1: '-1' is not a screen x position"},
        {"touch 1 2.5", "t.vsim:1: '2.5' is not a screen y position"},
        {"touch 1 2 hard", "t.vsim:1: 'hard' is not a pressure"},
        {"move 1", "t.vsim:1: move needs X Y"},
        {"move 1 2 3", "t.vsim:1: move needs X Y"},
        {"drag 1 2", "t.vsim:1: drag needs X Y and a time"},
        {"drag 1 2 soon", "t.vsim:1: 'soon' is not a time"},
        {"tap 1 2", "t.vsim:1: tap needs X Y, a time"},
        {"release 1", "t.vsim:1: release takes nothing after it"},
        {"panel", "t.vsim:1: a panel needs settings"},
        {"panel wobble=1", "t.vsim:1: unknown panel setting 'wobble=1'"},
        {"panel corners=1,2,3", "t.vsim:1: 'corners=1,2,3': corners needs eight raw values"},
        {"panel corners=1,2,3,4,5,6,7,1024", "t.vsim:1: 'corners=1,2,3,4,5,6,7,1024'"},
        {"panel swap=2", "t.vsim:1: 'swap=2': swap is 0 or 1"},
        {"panel noise=x", "t.vsim:1: 'noise=x'"},
        {"panel temp=warm", "t.vsim:1: 'temp=warm'"},
        {"panel pressure=-4", "t.vsim:1: 'pressure=-4'"},
    };
    for (const auto& c : bad) {
        const std::string error = parse_error(c.text);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << " got: " << error;
    }
}

}  // namespace
}  // namespace sim
