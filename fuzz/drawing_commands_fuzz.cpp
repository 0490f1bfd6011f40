// Drawing command lines with extreme numbers through parse_command, over the frame buffer of
// the in-process board: any write outside the screen's pixels (into the guard zones or the
// unused rest of the buffer) aborts.
//
// The input is read as a small program: each step either takes the next bytes as a raw line,
// or picks a command template and fills its numbers from a table of edge values (0, -1, the
// screen size, 16-bit and 32-bit limits, values past them) or from the input bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "command/drawing_state.h"
#include "command/parse_command.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "gui/gui.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kScreenPixels = 800u * 480u;
constexpr uint16_t kBeyond = 0x5AA5;

const char* const kTemplates[] = {
    "l %s %s %s %s",
    "r %s %s %s %s",
    "r %s %s %s %s %s",
    "r %s %s %s %s %s F0F",
    "r %s %s %s %s 3 12",
    "c %s %s %s",
    "c %s %s %s %s",
    "e %s %s %s %s",
    "ef %s %s %s %s",
    "a %s %s %s %s %s",
    "dp %s %s",
    "p %s",
    "pw %s %s",
    "pw %s %s %s",
    "pwx %s %s %s",
    "pr %s %s",
    "prx %s %s",
    "o %s %s",
    "sc %s %s",
    "ws %s %s %s %s %s",
    "ws %s %s %s %s",
    "wr %s %s %s",
    "wr %s %s",
    "k %s %s %s %s %s l",
    "k %s %s %s %s %s r",
    "k %s %s %s %s %s u",
    "k %s %s %s %s %s d",
    "k %s %s %s %s %s L",
    "k %s %s %s %s %s R",
    "i %s %s %s",
    "tr %s %s %s %s %s %s",
    "tr %s %s %s %s %s %s 0F0",
    "pg %s %s %s %s %s %s %s %s",
    "pf %s %s %s %s %s %s %s %s %s %s",
    "pl %s %s %s %s %s %s",
    "pgr %s %s %s %s %s %s %s %s %s",
    "pfr %s %s %s %s %s %s %s %s %s",
    "plr %s %s %s %s %s %s %s",
    "ppgr %s",
    "wvr %s",
    "wrf %s %s",
    "s %s %s",
    "S %s %s",
    "d x",
    "d n",
    "ss",
    "sr",
    "zs %s",
    "z",
    "*STATE",
    "*STATEF",
    "S",
    "p",
    "d",
    "o",
    "sc",
};

const char* const kNumbers[] = {
    "0",      "1",          "-1",          "2",          "5",           "63",
    "64",     "180",        "181",         "255",        "256",         "479",
    "480",    "599",        "799",         "800",        "1000",        "32767",
    "-32767", "-32768",     "32768",       "65535",      "65536",       "108544",
    "217088", "2147483647", "-2147483648", "2147483648", "99999999999", "-99999999999",
    "FFFFFF", "0x7FFFFFFF", "abc",         "",
};

class Input {
  public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ >= end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    std::string number() {
        const uint8_t b = byte();
        const size_t n = sizeof kNumbers / sizeof kNumbers[0];
        if (b < 0xC0) return kNumbers[b % n];
        // A value from the input itself, small or large, signed.
        int32_t v = int32_t(uint32_t(byte()) | uint32_t(byte()) << 8);
        if (b & 1) v = int32_t(uint32_t(v) << 16 | byte());
        if (b & 2) v = int32_t(0u - uint32_t(v));
        return std::to_string(v);
    }
    std::string raw_line() {
        std::string s;
        while (p_ < end_ && *p_ != '\n' && s.size() < 128) s.push_back(char(*p_++));
        if (p_ < end_) ++p_;
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

std::string fill_template(const char* tmpl, Input& in) {
    std::string out;
    for (const char* t = tmpl; *t; ++t) {
        if (t[0] == '%' && t[1] == 's') {
            out += in.number();
            ++t;
        } else {
            out.push_back(*t);
        }
    }
    return out;
}

void check_memory(sim::Standalone& board, const std::string& line) {
    const uint16_t* fb = lcd_framebuffer();
    bool beyond_ok = true;
    for (uint32_t i = kScreenPixels; i < kFrameBufferMaxPixels; ++i) beyond_ok &= fb[i] == kBeyond;
    if (!board.guards_intact() || !beyond_ok) {
        std::fprintf(stderr, "write outside the screen after: %s\n", line.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::Standalone& board = sim::Standalone::instance();
    interrupt_init();
    KV_EEPROM_SetDefaults();
    KV_COM_Init0();
    KV_COM_Init1();
    KV_TimerInit();
    GUI_Init();
    KV_DrawingState_Init();
    uint16_t* fb = lcd_framebuffer();
    for (uint32_t i = kScreenPixels; i < kFrameBufferMaxPixels; ++i) fb[i] = kBeyond;
    board.reset_guards();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    // Each input starts from the same state: defaults, no origin, pen 1.
    GUI_Init();
    KV_DrawingState_Init();
    Input in(data, size);
    char line[kLineBufSize];
    for (int steps = 0; !in.done() && steps < 64; ++steps) {
        const uint8_t pick = in.byte();
        std::string text;
        if (pick >= 0xF0) {
            text = in.raw_line();
        } else {
            text = fill_template(kTemplates[pick % (sizeof kTemplates / sizeof kTemplates[0])], in);
        }
        std::strncpy(line, text.c_str(), sizeof line - 1);
        line[sizeof line - 1] = 0;
        parse_command(line);
        check_memory(board, text);
    }
    board.take_output(kCom0);
    board.take_output(kCom1);
    return 0;
}
