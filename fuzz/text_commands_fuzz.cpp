// Text and font command lines with random and UTF-8 texts through parse_command, over the frame
// buffer of the in-process board: any write outside the screen's pixels (into the guard zones
// or the unused rest of the buffer) aborts, and so does any read past a line (ASan).
//
// The input is read as a small program: each step either takes the next bytes as a raw line,
// or picks a command template and fills it with numbers from a table of edge values, words
// (modes, layouts, font names) and texts made of the input's bytes, UTF-8 fragments, escapes,
// quotes and line feeds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boards/sim/standalone.h"
#include "command/parse_command.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "drawing/text_state.h"
#include "fuzz_support.h"
#include "gui/gui.h"
#include "media/fonts.h"
#include "settings/settings.h"

namespace {

// %s: a number, %w: a word, %t: a text.
const char* const kTemplates[] = {
    "t \"%t\"",
    "t \"%t\" %s %s",
    "t \"%t\" %s %s %w",
    "t \"%t\" %w",
    "t \"%t\" %s %s %s %s",
    "t \"%t\" %s %s %s %s %w",
    "t \"%t\" %s %s %s",
    "ts \"%t\" %s %s",
    "ts \"%t\" %s %s %s %s %w",
    "ts\"%t\"",
    "T \"%t\" %s %s %w",
    "T \"%t\" %w",
    "T \"%t\"",
    "tu %t",
    "t? \"%t\"",
    "ta %w",
    "ta",
    "tm %w",
    "tm",
    "f %w",
    "f",
    "f?",
    "utf8 on",
    "utf8 off",
    "utf8",
    "o %s %s",
    "sc %s %s",
    "ss",
    "sr",
    "z",
    "S %w %w",
    "d x",
    "d n",
    "*config \"%t\"",
    "*config",
    "*panel",
    "vers",
    "*FB %s",
    "*CRC",
    "*speedtest %s <t \"%t\" %s %s>",
    "*speedtest %s <*speedtest %s <%t>>",
    "*speedtest %s <*config",
    "*speedtest %s <%t",
    "*speedtest %s %t",
};

const char* const kNumbers[] = {
    "0",     "1",          "-1",          "5",           "99",           "100",    "399",
    "479",   "480",        "799",         "800",         "32767",        "-32768", "32768",
    "65535", "2147483647", "-2147483648", "99999999999", "-99999999999", "x",      "",
};

const char* const kWords[] = {
    "N",   "R",  "TR",  "T",    "X",   "Tr",    "TRWW", "XWC", "RCCW", "NCW", "TI",   "WW", "WC",
    "CCW", "CW", "I",   "Q",    "LT",  "RB",    "CC",   "lL",  "xy",   "16",  "m16",  "12", "64",
    "m64", "8s", "24B", "8x16", "x16", "dummy", "F00",  "0F0", "FFF",  "",    "TRWC", "XI", "NWW",
};

// Pieces of texts: bytes that matter to the decoders.
const char* const kPieces[] = {
    "a",
    "W",
    " ",
    "\\n",
    "\\\\",
    "\\\"",
    "\\x1B",
    "\\xC3\\xA9",
    "\\xE2\\x82\\xAC",
    "\\xF0\\x9F\\x98\\x80",
    "\\xC3",
    "\\xED\\xA0\\x80",
    "\\x80",
    "\\xFF",
    "\\0",
    "\\x",
    "//",
    "\xC3\xA9",
    "\xE2\x82",
    "\x1B",
    "\xF4\x90\x80\x80",
    "Hamburg ",
    "llllllllll",
};

// Words and texts on top of the shared reader.
class Input : public fuzz::ByteReader {
  public:
    using ByteReader::ByteReader;
    std::string number() { return ByteReader::number(kNumbers); }
    std::string word() { return kWords[byte() % (sizeof kWords / sizeof kWords[0])]; }
    std::string text() {
        std::string s;
        const int pieces = byte() % 24;
        for (int i = 0; i < pieces; ++i) {
            const uint8_t b = byte();
            if (b < 0x80) {
                s += kPieces[b % (sizeof kPieces / sizeof kPieces[0])];
            } else {
                // A byte of the input itself, except the line's end.
                const char c = char(byte());
                if (c != 0 && c != '\r' && c != '\n') s += c;
            }
        }
        return s;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::Standalone& board = sim::Standalone::instance();
    fuzz::start_command_firmware(board);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    // Each input starts from the same state: library defaults, command font "16".
    KV_GUI_Init();
    KV_DrawingState_Init();
    KV_Text_Init();
    KV_Fonts_Init();
    GUIDEMO_SetFont("16");
    Input in(data, size);
    fuzz::run_command_lines(board, in, kTemplates, 48, [&](char kind) {
        return kind == 's' ? in.number() : kind == 'w' ? in.word() : in.text();
    });
    return 0;
}
