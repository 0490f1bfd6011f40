#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "command/chain.h"
#include "command/parse_command.h"
#include "controls/animation.h"
#include "image_builder.h"
#include "in_process.h"
#include "media/ext_image.h"

namespace voxa_test {
namespace {

constexpr int kNone = -1;
constexpr int kResetResult = -2;  // the row restarted the processor

struct Outcome {
    int result;
    int row;  // 1-based row of the command index, kNone when no row took the line
};

// A line that may restart the processor is first tried on a copy of the board, which ends at
// the reset; only a line that did not reset runs here. (A reset here would stop the test
// process.)
bool may_reset(const std::string& text) {
    return text.rfind("*RESET", 0) == 0 || text.rfind("*MFGRESET", 0) == 0;
}

// The interactive timing modes wait for a key from the host: an ESC sent first ends them.
void key_for_interactive(const std::string& text) {
    if (text.rfind("*paneladj", 0) == 0 || text.rfind("*touchadj", 0) == 0) {
        sim::Standalone::instance().send(hostPort(), "\x1b");
    }
}

Outcome run(const std::string& text) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    key_for_interactive(text);
    if (may_reset(text)) {
        const auto ending = sim::Standalone::instance().run_isolated(
            [&] { return parse_command(line.data()); }, [] { return parse_command_last_row(); });
        EXPECT_TRUE(ending.reset() || ending.returned()) << text << ": " << ending.why;
        if (ending.reset()) return {kResetResult, ending.value + 1};
    }
    const int result = parse_command(line.data());
    const int row = parse_command_last_row();
    return {result, row < 0 ? kNone : row + 1};
}

// The first row that takes the line when every row is tried in order: what the index must
// reproduce.
int walking_row = -1;
int linear_row(const std::string& text) {
    const auto walk = [&] {
        key_for_interactive(text);
        for (size_t i = 0; i < kChainLength; ++i) {
            std::vector<char> line(text.begin(), text.end());
            line.push_back('\0');
            walking_row = int(i);
            if (kChain[i].fn(line.data()) != kNoMatch) return int(i) + 1;
        }
        return kNone;
    };
    if (!may_reset(text)) return walk();
    const auto ending =
        sim::Standalone::instance().run_isolated(walk, [] { return walking_row + 1; });
    EXPECT_TRUE(ending.reset() || ending.returned()) << text << ": " << ending.why;
    return ending.value;
}

class Chain : public ::testing::Test {
  protected:
    // "xi" takes only a line whose index names a bitmap of the current file.
    static void SetUpTestSuite() {
        start_firmware_in_process();
        ImageBuilder b;
        b.add(3, {});
        b.addBitmap(1, 2, 2, ImageBuilder::pixels({1, 2, 3, 4}));
        image() = b.build();
        KV_ExtMem_SetImage(image().data(), uint32_t(image().size()), kFlash2Address);
    }
    static void TearDownTestSuite() { KV_ExtMem_Init(); }
    static std::vector<uint8_t>& image() {
        static std::vector<uint8_t> bytes;
        return bytes;
    }
    void TearDown() override { host_output(); }
};

// One line per row of the command index, in index order, with the row's name in kChain.
struct Entry {
    const char* name;
    const char* line;
};
const Entry kIndex[] = {
    {"md/mdb", "mdb 0 1 10 10 0 0 100 50 0 270"},
    {"mv", "mv 0 50"},
    {"mvb", "mvb 0 50"},
    {"tclr", "tclr"},
    {"pr", "prx 10 20"},
    {"pw", "pw 10 20"},
    {"Q", nullptr},  // RS-485 addressed mode only: its own test
    {"*rs485", "*rs485 off"},
    {"ss/sr", "sr"},
    {"anic/tfc", "tfc"},
    {"tfd/anid", "anid 3"},
    {"anix/tfx", "tfx 2"},
    {"anis", "anis"},
    {"tfe/anie", "anie 1"},
    {"ani/ani+", "ani+ 1 y 100"},
    {"tf", "tf 1 500 \"hi\""},
    {"tf?/ani?", "ani? 1"},
    {"tu", "tu hello"},
    {"t?", "t? \"abc\""},
    {"ts/t", "t \"hi\" 10 20"},
    {"T", "T \"hi\" 1 2 R"},
    {"stdump", "stdump 0"},
    {"std", "std 0 0 10 10 100 100"},
    {"stc/sta/stp", "sta 0 \"line\""},
    {"sts", "sts 0 u 1"},
    {"stg", "stg 0 1 1"},
    {"pgr/pg", "pgr 45 10 10 0 0 5 5 10 0"},
    {"pfr/pf", "pf 10 10 0 0 5 5 10 0"},
    {"ppgr", "ppgr 90"},
    {"plr/pl", "plr 5 1 1 2 2 3 3"},
    {"p", "p 3"},
    {"ta", "ta CB"},
    {"sb/su/SB/SU", "SB abc"},
    {"*debug", "*debug 1"},
    {"baudp/bauds/baud", "baud"},
    {"temp", "temp"},
    {"typematic", "typematic 75 20"},
    {"*touchParm", "*touchParm 5 3"},
    {"*debounce", "*debounce 30"},
    {"ls/lsmac/lsbmp", "lsbmp 2"},
    {"xbl", "xbl of"},
    {"xa", "xa 130 p 5 arg"},
    {"set", "setx i1 1F"},
    {"get", "getq s2"},
    {"mpush/mpop", "mpop 2 3"},
    {"xi", "xi 1 0 0"},
    {"xif", "xif logo.bmp 0 0"},
    {"xit/xim/xic/xio", "xio 1 0 0 0 5 10"},
    {"xma/xmc/xmp", "xma"},
    {"xmpmax/fopen", "fopen"},
    {"xm", "xmq 130 5:x130 6"},
    {"bdld", "bdld 4 0 300 5000"},
    {"*eer/*eerc/*eew/*eewc/*eed/*eec/*ees", "*eewc 10 5"},
    {"beep/beepw", "beepw 100"},
    {"al", "al 3 2000"},
    {"bv", "bvs +10"},
    {"bf", "bfs 2000"},
    {"*spkr", "*spkr off"},
    {"bMaX/bb/rb", "rb 200 300"},
    {"dp", "dp 10 10"},
    {"d", "d xor"},
    {"s", "s 1 0"},
    {"S", "S 0F0 000"},
    {"tm", "tm TR"},
    {"sc", "sc 10 10"},
    {"out", "out \"hi\""},
    {"aout", "aout \"hi\""},
    {"ain", "ain"},
    {"auxIO", "auxIO"},
    {"o", "o 10 20"},
    {"v on/v of", "v on"},
    {"zs", "zs 0"},
    {"z", "z"},
    {"l", "l 0 0 10 10"},
    {"r", "r 0 0 10 10 1 F00"},
    {"tr", "tr 0 0 10 0 5 5"},
    {"a", "a 50 50 20 0 90"},
    {"ef/e", "ef 50 50 10 10"},
    {"c", "c 50 50 10 1"},
    {"f/f?", "f?"},
    {"x", "x 130 0 0 10 10"},
    {"xs/xsnb/xt/xst/xxy/xxynb", "xxynb 200 100 100 199 149"},
    {"xset", "xset 130 +r"},
    {"xd", "xd all"},
    {"xe", "xes 130"},
    {"touch", "touch off"},
    {"*apt", "*apt"},
    {"*xn off", "*xn off"},
    {"xc", "xc 130"},
    {"*STATE/*STATEF", "*STATEF"},
    {"led", "led sys"},
    {"w", "w 0"},
    {"vers", "vers"},
    {"i", "i 1 10 10"},
    {"ssb", "ssb 5 1"},
    {"bd/bdc/bc", "bdc 5 100 100 1 \"OK\""},
    {"tc", "tc"},
    {"sl/sv", "sv 130 50"},
    {"slc/svc", "svc 130 50"},
    {"*getTouch", "*getTouch"},
    {"xbb", "xbb"},
    {"*macdebug/*binr/*macnote", "*macnote"},
    {"*DEMOMAC/*PONMAC/*SPL", "*PONMAC 5 1"},
    {"*MFGRESET/*RESET", "*MFGRESET"},
    {"*FB", "*FB 0"},
    {"*CRC/*CSUM/*CSUMB/*CEXT", "*CEXT 0 FF"},
    {"*KV", "*KV"},
    {"*ever", "*ever"},
    {"*prevCons", "*prevCons"},
    {"*auxEsc", "*auxEsc"},
    {"*com1main/*com0main", "*com0mains"},
    {"*debugTouch", "*debugTouch 1"},
    {"utf8", "utf8 on"},
    {"*rst", "*rst"},
    {"*SERR/*IERR", "*SERR"},
    {"*BMOFF", "*BMOFF"},
    {"cc/cr/cd...", "cdbb 1 5"},
    {"bcv", "bcv 1 2"},
    {"ld/lv", "lv 0 50"},
    {"ws/wr", "wr 10 10"},
    {"wvr/wrf", "wrf 0 100"},
    {"k", "k 0 0 99 99 2 l"},
    {"*panel", "*panel"},
    {"*config", "*config"},
    {"*touchSwap", "*touchSwap 1"},
    {"*tt/*ttt", "*ttt"},
    {"*touchadj", "*touchadj"},
    {"*td/*tr/*td2", "*td2"},
    {"*gcp", "*gcp 100 100"},
    {"*R16/*R/*W", "*W 10 5"},
    {"*orient", "*orient 1"},
    {"*autoCal/*tspan/*tplo/...", "*tpDeltaLim 5"},
    {"*vq", "*vq 1"},
    {"*maxBrite/*minBrite/...", "*pwmIsEnable"},
    {"*touchMode", "*touchModes LP"},
    {"*getScreenAsBMPFile", "*getScreenAsBMPFile"},
    {"*comwdt", "*comwdt 5 10 60"},
    {"*firmware", "*firmware"},
    {"*hpw/*hfp/*hbp/*vpw/*vfp/*vbp", "*vbp"},
    {"*paneladj", "*paneladj"},
    {"//", "// remark"},
    {"*speedtest", "*speedtest 10 <c 1 2 3>"},
    {"*LOADF/*loadf", "*loadf"},
    {"*LOAD/*load", "*load"},
    {"*sdled", "*sdled 1"},
    {"*sdload", "*sdload demo 3"},
    {"*cd", "*cd demo"},
    {"*ls", "*ls"},
    {"*flash2ram", "*flash2ram"},
    {"*eel", "*eel"},
    {"i2c", "i2c write 1000 5"},
    {"*ctype", "*ctype"},
    {"m", "m 5 a b"},
};

TEST_F(Chain, HoldsTheIndexRowsInOrderAndEachTakesItsLine) {
    ASSERT_EQ(kChainLength, 153u);
    ASSERT_EQ(std::size(kIndex), kChainLength);
    for (size_t i = 0; i < kChainLength; ++i) {
        EXPECT_STREQ(kChain[i].name, kIndex[i].name) << "row " << i + 1;
        if (!kIndex[i].line) continue;
        EXPECT_EQ(run(kIndex[i].line).row, int(i) + 1) << kIndex[i].line;
    }
}

TEST_F(Chain, ResetLinesRestartTheProcessorMfgResetAfterErasingTheSettings) {
    int reset_row = kNone;
    for (size_t i = 0; i < kChainLength; ++i) {
        if (std::strcmp(kIndex[i].name, "*MFGRESET/*RESET") == 0) reset_row = int(i) + 1;
    }
    uint8_t* eeprom = sim::Standalone::instance().eeprom();
    const std::vector<uint8_t> kept(eeprom, eeprom + kEepromSize);
    std::memset(eeprom, 0x12, kEepromSize);

    Outcome r = run("*RESET");
    EXPECT_EQ(r.result, kResetResult);
    EXPECT_EQ(r.row, reset_row);
    EXPECT_EQ(std::count(eeprom, eeprom + kEepromSize, 0x12), kEepromSize);

    // The copy that ran the line is gone; what it stored in the EEPROM is not.
    r = run("*MFGRESET");
    EXPECT_EQ(r.result, kResetResult);
    EXPECT_EQ(r.row, reset_row);
    for (const uint32_t base : {kEepromCopyA, kEepromCopyB, kEepromUserArea}) {
        EXPECT_EQ(std::count(eeprom + base, eeprom + base + 0x100, 0xFF), 0x100) << base;
    }
    EXPECT_EQ(std::count(eeprom, eeprom + kEepromSize, 0xFF), 3 * 0x100);
    std::memcpy(eeprom, kept.data(), kept.size());
}

TEST_F(Chain, PollIsACommandOnlyInAddressedMode) {
    EXPECT_EQ(run("Q").row, kNone);
    eepromData.rs485Mode = kPortFlagOn;
    EXPECT_EQ(run("Q").row, 7);
    eepromData.rs485Mode = kUnset;
    Init_485mode();
    makeUart0Main();
}

TEST_F(Chain, LongerFormsWinOverTheirPrefixes) {
    // clang-format off
    const struct {
        const char* line;
        int row;
    } cases[] = {
        // A blank in a template also matches no white space; keywords are case-sensitive.
        {"c10 20 5", 79}, {"C 10 20 5", kNone},
        // After "zs" every 'z' line is the screen clear.
        {"zs", 72}, {"zs 3", 72}, {"z", 73}, {"zx", 73}, {"zoom 2", 73},
        // The hotspot needs a digit right after its blank; the other kinds have their own row.
        {"x 130 0 0 10 10", 81}, {"x -1 0 0 10 10", kNone}, {"x130 0 0 10 10", kNone},
        {"xs 130 0 0 10 10", 82}, {"xsnb 130 0 0 10 10", 82}, {"xst 130 0 0 10 10", 82},
        {"xset 130 p", 83}, {"xbb 5", 101}, {"xbl on", 41},
        // Exact keywords do not take longer lines.
        {"*CSUM", 106}, {"*CSUMB", 106}, {"*CSUMBX", kNone}, {"*CRC ", kNone}, {"*tt", 126},
        {"*ttt", 126}, {"*tttt", kNone}, {"*STATE", 90}, {"*STATEF", 90}, {"*spkr", 58},
        {"*spkr on", 58}, {"*spkr off", 58}, {"*spkrx", kNone}, {"*LOADF", 143}, {"*LOADFX", 144},
        {"*LOAD 2", 144}, {"*R16 10", 130},
        // Animation forms: "tf %d%d" before "tf?", "anie" before "ani ".
        {"tf 1 \"x\"", 16}, {"tf?", 17}, {"tf? 1", 17}, {"tfe 1", 14}, {"anie 1", 14},
        {"ani 1 z", 15}, {"anic", 10}, {"tfd 1", kNone},
        // Text forms.
        {"tu \"x\"", 18}, {"t? \"x\"", 19}, {"t?x", kNone}, {"ts\"x\"", 20}, {"T \"x\"", 21},
        {"T x", kNone}, {"tclr", 4}, {"tclrx", 97}, {"tc", 97},
        // Polygons: the rotated forms are never the pen, and the pen is never a polygon.
        {"pgr 1 2 3 4 5 6 7", 27}, {"pg 2 3 4 5 6 7", 27}, {"ppgr 5", 29}, {"ppgr", kNone},
        {"p", 31}, {"p5", 31}, {"pq", kNone},
        // Text boxes: "stdump" before "std" before the others.
        {"stdump 1", 22}, {"std 1", 23}, {"stc 1", 24}, {"sts 1 U", 25}, {"stg 1 1", 26},
        {"s 1 2", 62}, {"ssb 1 1", 95}, {"ss", 9}, {"sc", 65},
        // Beeper and buttons.
        {"beep 5", 54}, {"beepw 5", 54}, {"bdld 4 0 10 100", 52}, {"bd 1 2 3 4", 96}, {"bc 1", 96},
        {"bcv 1 1", 118}, {"rb 1 2 3", 59}, {"rb 1", 75},
        // The meter value band answers every count from two up; "mv" needs exactly two.
        {"mvb 0 50 1 2", 3}, {"mvb 0", kNone}, {"mv 0", kNone},
        // Lines, level bars, LED, listings.
        {"l 0 0 10 10 extra words", 74}, {"ld 0", 119}, {"led on", 91}, {"ls", 40},
        {"lsmac 3", 40},
        // Waits, screen areas.
        {"w 5", 92}, {"ws 0 0 9 9", 120}, {"ws 0 0 9", kNone}, {"wr 1 1", 120}, {"wrf 1 2", 121},
        {"wvr", 121},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(run(c.line).row, c.row) << c.line;
}

TEST_F(Chain, FallThroughHandlersLeaveTheLineToLaterRows) {
    // clang-format off
    const struct {
        const char* line;
        int row;
    } cases[] = {
        {"d n", 61}, {"d xor", 61}, {"d q", kNone}, {"d", 61}, {"d ", 61}, {"dp 1", kNone},
        {"tm", 64}, {"tm R", 64}, {"tm  ", kNone}, {"r 0 0 9 9", 75}, {"r 0 0 9 9 3 F00", 75},
        {"r 0 0 9 9 2 F00", kNone}, {"tr 0 0 9 0 5", kNone}, {"tr 0 0 9 0 5 5 F00", 76},
        {"typematic", 37}, {"typematic 300 20", kNone}, {"typematics 20 256", kNone},
        {"typematics 20 255", 37}, {"get i1", 44}, {"getx e0F", 44}, {"get z1", kNone}, {"S", 63},
        {"S 12", kNone}, {"xm 130", kNone}, {"xm 130 5", 51}, {"xmpmax", 50}, {"xmpmaxx", kNone},
        {"xmq 130 5", 51},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(run(c.line).row, c.row) << c.line;
}

TEST_F(Chain, AnimationStepsCannotDeleteAnimations) {
    EXPECT_EQ(run("anix 1").row, 12);
    ExecState = kExecAnimation;
    EXPECT_EQ(run("anix 1").row, kNone);
    ExecState = 0;
}

TEST_F(Chain, ResultCodesAndPrompts) {
    EXPECT_EQ(run("*IERR").result, kCmdHash);
    EXPECT_EQ(run("*SERR").result, kCmdFailed);
    for (const char* accepted : {"sb 5", "su", "SB xyz", "SU", "// note"}) {
        const Outcome r = run(accepted);
        EXPECT_EQ(r.result, kCmdDone) << accepted;
        EXPECT_NE(r.row, kNone) << accepted;
    }
    EXPECT_EQ(host_output(), "");
    // Unknown and unbuilt commands alike are refused without a word.
    EXPECT_EQ(run("nonsense 1 2").result, kCmdFailed);
    EXPECT_EQ(run("").result, kCmdFailed);
    EXPECT_EQ(run("mv 1 50").result, kCmdFailed);
    EXPECT_EQ(host_output(), "");
    EXPECT_EQ(parse_command(nullptr), kCmdFailed);
    EXPECT_EQ(parse_command_last_row(), -1);
}

TEST_F(Chain, AddressedModeOffIsNotAStartCharacterAndAddress) {
    const Outcome r = run("*rs485 off");
    EXPECT_EQ(r.result, kCmdDone);
    EXPECT_EQ(rs485Active(), 0);
    EXPECT_EQ(host_output().rfind("RS485 OFF ADR ", 0), 0u);
}

TEST_F(Chain, BaudFormsAreToldApart) {
    // "baudp" answers its prompt itself before the rate changes; taken as "baud" with the word
    // "p" it would have been refused.
    EXPECT_EQ(run("baudp0 115200").result, kCmdNoPrompt);
    EXPECT_EQ(host_output(), ">\r");
    EXPECT_EQ(run("baud0 115200").result, kCmdDone);
    EXPECT_EQ(host_output(), "");
}

TEST_F(Chain, IndexFindsWhatAWalkOfTheWholeChainFinds) {
    // Every index line with its first or second character replaced by each printable
    // character, a tab or nothing: the index must pick the row a plain walk picks.
    std::vector<std::string> lines;
    for (const Entry& e : kIndex) {
        if (!e.line) continue;
        const std::string base = e.line;
        for (int pos = 0; pos < 2 && pos < int(base.size()); ++pos) {
            for (int c = 0x20; c < 0x7F; ++c) {
                std::string m = base;
                m[size_t(pos)] = char(c);
                lines.push_back(m);
            }
            std::string tab = base;
            tab[size_t(pos)] = '\t';
            lines.push_back(tab);
            lines.push_back(base.substr(0, size_t(pos)));
        }
    }
    for (const std::string& line : lines) {
        if (line.rfind("*R", 0) == 0 && line.find("ESET") != std::string::npos) continue;
        ASSERT_EQ(run(line).row, linear_row(line)) << '"' << line << '"';
        host_output();
    }
}

}  // namespace
}  // namespace voxa_test
