#include "sim/cli_options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

using Kind = EndpointSpec::Kind;

struct Parsed {
    CliParse result;
    CliOptions options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"voxa-sim"};
    argv.insert(argv.end(), args.begin(), args.end());
    Parsed p;
    p.result = parse_cli(int(argv.size()), argv.data(), &p.options, &p.error);
    return p;
}

TEST(CliOptions, DefaultsAreAnInteractiveWvgaOnTheTerminal) {
    const Parsed p = parse({});
    ASSERT_EQ(p.result, CliParse::kRun);
    EXPECT_EQ(p.options.panel, Panel::kWvga);
    EXPECT_EQ(p.options.com[0].kind, Kind::kStdio);
    EXPECT_EQ(p.options.com[1].kind, Kind::kNone);
    EXPECT_TRUE(p.options.realtime);
    EXPECT_LT(p.options.run_for_ms, 0);
    EXPECT_FALSE(p.options.power_on_now);
}

TEST(CliOptions, EndpointSpecs) {
    EndpointSpec s;
    std::string error;
    ASSERT_TRUE(parse_endpoint_spec("pty:/tmp/voxa0", &s, &error));
    EXPECT_EQ(s.kind, Kind::kPty);
    EXPECT_EQ(s.link, "/tmp/voxa0");
    ASSERT_TRUE(parse_endpoint_spec("pty", &s, &error));
    EXPECT_EQ(s.kind, Kind::kPty);
    EXPECT_EQ(s.link, "");
    ASSERT_TRUE(parse_endpoint_spec("tcp:5000", &s, &error));
    EXPECT_EQ(s.kind, Kind::kTcp);
    EXPECT_EQ(s.address, "127.0.0.1");
    EXPECT_EQ(s.port, 5000);
    ASSERT_TRUE(parse_endpoint_spec("tcp:0.0.0.0:65535", &s, &error));
    EXPECT_EQ(s.address, "0.0.0.0");
    EXPECT_EQ(s.port, 65535);
    ASSERT_TRUE(parse_endpoint_spec("tcp:::1:7000", &s, &error));  // the last colon splits
    EXPECT_EQ(s.address, "::1");
    EXPECT_EQ(s.port, 7000);

    for (const char* bad : {"pty:", "tcp:", "tcp:65536", "tcp:12ab", "tcp::80", "serial", ""}) {
        error.clear();
        EXPECT_FALSE(parse_endpoint_spec(bad, &s, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CliOptions, EveryOptionInBothForms) {
    const Parsed p =
        parse({"--panel=svga", "--com0", "pty:/tmp/l", "--com1=tcp:4001", "--fast", "--state",
               "/tmp/st", "--run-for=2.5", "--screenshot", "a.png", "--log=-", "--power-on-now"});
    ASSERT_EQ(p.result, CliParse::kRun) << p.error;
    EXPECT_EQ(p.options.panel, Panel::kSvga);
    EXPECT_EQ(p.options.com[0].kind, Kind::kPty);
    EXPECT_EQ(p.options.com[0].link, "/tmp/l");
    EXPECT_EQ(p.options.com[1].kind, Kind::kTcp);
    EXPECT_EQ(p.options.com[1].port, 4001);
    EXPECT_FALSE(p.options.realtime);
    EXPECT_EQ(p.options.state_dir, "/tmp/st");
    EXPECT_DOUBLE_EQ(p.options.run_for_ms, 2.5);
    EXPECT_EQ(p.options.screenshot, "a.png");
    EXPECT_EQ(p.options.log, "-");
    EXPECT_TRUE(p.options.power_on_now);
    // The last pace given wins.
    EXPECT_TRUE(parse({"--fast", "--realtime"}).options.realtime);
}

TEST(CliOptions, ScriptTakesOverBothPorts) {
    const Parsed p = parse({"--script", "demo.vsim"});
    ASSERT_EQ(p.result, CliParse::kRun);
    EXPECT_EQ(p.options.com[0].kind, Kind::kNone);
    EXPECT_EQ(p.options.com[1].kind, Kind::kNone);
    EXPECT_EQ(parse({"--script", "x", "--com0", "none"}).result, CliParse::kRun);
    const Parsed clash = parse({"--script", "x", "--com1", "pty"});
    EXPECT_EQ(clash.result, CliParse::kError);
    EXPECT_NE(clash.error.find("--com1"), std::string::npos) << clash.error;
}

TEST(CliOptions, TouchPanelAndControlConsole) {
    Parsed p = parse({"--touch-panel", "noise=3 seed=7", "--control=tcp:5001"});
    ASSERT_EQ(p.result, CliParse::kRun) << p.error;
    EXPECT_EQ(p.options.touch_panel, "noise=3 seed=7");
    EXPECT_EQ(p.options.control.kind, Kind::kTcp);
    EXPECT_EQ(p.options.control.port, 5001);
    EXPECT_EQ(parse({}).options.control.kind, Kind::kNone);

    // The terminal is the console's once the ports are elsewhere; it reads lines as they come.
    p = parse({"--control", "stdio", "--com0", "pty"});
    ASSERT_EQ(p.result, CliParse::kRun) << p.error;
    EXPECT_EQ(p.options.control.kind, Kind::kStdio);
    EXPECT_TRUE(p.options.control.raw_input);

    const struct {
        std::initializer_list<const char*> args;
        const char* mentions;
    } bad[] = {
        {{"--control", "stdio"}, "--control stdio needs the terminal: put com0 elsewhere"},
        {{"--control", "stdio", "--com0", "none", "--com1", "stdio"}, "put com1 elsewhere"},
        {{"--control", "serial"}, "--control: unknown port endpoint 'serial'"},
        {{"--control", "pty", "--script", "x.vsim"}, "drop --control"},
        {{"--touch-panel", "noise=lots"}, "--touch-panel: 'noise=lots'"},
        {{"--touch-panel", ""}, "--touch-panel: a panel needs settings"},
        {{"--touch-panel"}, "--touch-panel needs a value"},
    };
    for (const auto& c : bad) {
        const Parsed r = parse(c.args);
        EXPECT_EQ(r.result, CliParse::kError) << c.mentions;
        EXPECT_NE(r.error.find(c.mentions), std::string::npos) << r.error;
    }
}

TEST(CliOptions, WebViewAddressTokenAndConsole) {
    Parsed p = parse({"--web", "8080", "--com0", "web"});
    ASSERT_EQ(p.result, CliParse::kRun) << p.error;
    EXPECT_TRUE(p.options.web);
    EXPECT_EQ(p.options.web_address, "127.0.0.1");
    EXPECT_EQ(p.options.web_port, 8080);
    EXPECT_EQ(p.options.com[0].kind, Kind::kWeb);
    EXPECT_FALSE(p.options.web_token);
    p = parse({"--web=[::1]:0", "--web-token", "--com0", "pty", "--com1", "web"});
    ASSERT_EQ(p.result, CliParse::kRun) << p.error;
    EXPECT_EQ(p.options.web_address, "::1");
    EXPECT_EQ(p.options.web_port, 0);
    EXPECT_TRUE(p.options.web_token);
    EXPECT_EQ(p.options.com[1].kind, Kind::kWeb);
    EXPECT_FALSE(parse({}).options.web);

    const struct {
        std::initializer_list<const char*> args;
        const char* mentions;
    } bad[] = {
        {{"--com0", "web"}, "--com0 web needs the web view: add --web PORT"},
        {{"--web", "1", "--com0", "web", "--com1", "web"}, "only one port can be"},
        {{"--web-token"}, "--web-token needs --web PORT"},
        {{"--web", "1", "--control", "web"}, "the web view has its own touch"},
        {{"--web", "80x"}, "--web: bad port in '80x'"},
        {{"--web", ":80"}, "--web: empty address"},
        {{"--web", "1", "--script", "x.vsim", "--com0", "web"}, "drop --com0"},
    };
    for (const auto& c : bad) {
        const Parsed q = parse(c.args);
        EXPECT_EQ(q.result, CliParse::kError) << c.mentions;
        EXPECT_NE(q.error.find(c.mentions), std::string::npos) << q.error;
    }
}

TEST(CliOptions, DataFlashIdIsAHexByte) {
    EXPECT_EQ(parse({}).options.dataflash_id, 0x17);
    for (const auto& [text, id] :
         {std::pair{"18", 0x18}, {"0x0", 0x00}, {"fF", 0xFF}, {"7", 0x07}}) {
        const Parsed p = parse({"--dataflash-id", text});
        ASSERT_EQ(p.result, CliParse::kRun) << text << ": " << p.error;
        EXPECT_EQ(p.options.dataflash_id, id) << text;
    }
    for (const char* bad : {"100", "", "0x", "g1", "-1", "1 "}) {
        const Parsed p = parse({"--dataflash-id", bad});
        EXPECT_EQ(p.result, CliParse::kError) << bad;
        EXPECT_NE(p.error.find("--dataflash-id: '" + std::string(bad) + "' is not a hex byte"),
                  std::string::npos)
            << p.error;
    }
}

TEST(CliOptions, BadArgumentsSayWhatIsWrong) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--panel", "qvga"}, "qvga"},    {{"--panel"}, "--panel needs a value"},
        {{"--run-for", "-5"}, "-5"},      {{"--run-for", "10ms"}, "10ms"},
        {{"--run-for="}, "--run-for"},    {{"--fast=1"}, "--fast takes no value"},
        {{"--com0", "serial"}, "serial"}, {{"--com0", "stdio", "--com1", "stdio"}, "stdio"},
        {{"--log", ""}, "--log"},         {{"-x"}, "'-x'"},
        {{"extra"}, "'extra'"},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_EQ(p.result, CliParse::kError) << c.mentions;
        EXPECT_NE(p.error.find(c.mentions), std::string::npos) << p.error;
    }
    EXPECT_EQ(parse({"--fast", "--help"}).result, CliParse::kHelp);
}

TEST(CliOptions, StateLivesPerPanelUnderHome) {
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    setenv("HOME", "/home/dev", 1);
    EXPECT_EQ(default_state_dir(Panel::kVga), "/home/dev/.voxa-sim/vga");
    if (old) {
        setenv("HOME", saved.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

}  // namespace
}  // namespace sim
