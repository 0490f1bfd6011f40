// Drawing and beeper command lines with extreme numbers through parse_command, over the frame
// buffer of the in-process board: any write outside the screen's pixels (into the guard zones or
// the unused rest of the buffer) aborts.
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
#include "command/parse_command.h"
#include "core/main_loop.h"
#include "core/serial.h"
#include "device/board.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "fuzz_support.h"
#include "gui/gui.h"
#include "settings/settings.h"

namespace {

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
    "beep %s",
    "beepw %s",
    "al %s %s",
    "rb %s %s",
    "rb %s %s %s",
    "bf",
    "bf %s",
    "bfs %s",
    "bv",
    "bv %s",
    "bvs %s",
    "bv +%s",
    "bvs -%s",
    "bMaX %s",
    "bb %s",
    "*spkr",
    "*spkr on",
    "*spkr off",
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
    "*hpw %s",
    "*hfp %s",
    "*hbp %s",
    "*vpw %s",
    "*vfp %s",
    "*vbp %s",
    "*orient %s",
    "*vq %s",
    "*R16 %x",
    "*R %x",
    "*R %x %x",
    "*W %x %x",
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

// Register offsets: the LCD controller's words, the block's ends and beyond, wrapping sums.
const char* const kRegisterOffsets[] = {
    "0",        "2",        "21000",     "2101C", "2101E",    "21020",    "2102C",
    "21034",    "3FFFC",    "3FFFE",     "3FFFF", "40000",    "FFFC",     "7FFFFFFF",
    "FFFFFFFC", "FFFFFFFF", "100000000", "-4",    "0C00641D", "BC002725", "",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::Standalone& board = sim::Standalone::instance();
    fuzz::start_command_firmware(board);
    KV_DrawingState_Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    // Each input starts from the same state: defaults, no origin, pen 1.
    KV_GUI_Init();
    KV_DrawingState_Init();
    fuzz::ByteReader in(data, size);
    fuzz::run_command_lines(board, in, kTemplates, 64, [&](char kind) {
        return kind == 'x' ? in.number(kRegisterOffsets) : in.number(kNumbers);
    });
    return 0;
}
