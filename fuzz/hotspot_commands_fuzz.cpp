// Hotspot and touch command lines with extreme numbers through parse_command, each followed by
// a press or release as the dispatcher applies them, over the frame buffer of the in-process
// board: an index that reaches outside the hotspot table (ASan), an inverting rectangle drawn
// outside the screen (the fence) or a report that overruns its buffer aborts.
#include <cstdint>
#include <string>

#include "boards/sim/standalone.h"
#include "drawing/drawing_state.h"
#include "fuzz_support.h"
#include "touch/hotspots.h"

namespace {

// %s: a number, %w: an option word.
const char* const kTemplates[] = {
    "x %s %s %s %s %s",
    "xs %s %s %s %s %s",
    "xsnb %s %s %s %s %s",
    "xt %s %s %s %s %s",
    "xst %s %s %s %s %s",
    "xxy %s %s %s %s %s",
    "xxynb %s %s %s %s %s",
    "xset %s %w",
    "xd %s",
    "xd %s %s",
    "xd all",
    "xe %s",
    "xe %s %s",
    "xes %s",
    "xes %s %s",
    "xe all",
    "xes all",
    "xc %s",
    "xc all",
    "*xn off",
    "typematic %s %s",
    "typematics %s %s",
    "typematic",
    "touch on",
    "touch off",
    "touch",
    "*apt",
    "o %s %s",
    "*binr %s",
    "z",
    "zs",
};

const char* const kNumbers[] = {
    "0",     "1",          "-1",          "127",         "128",          "129",    "200",   "255",
    "256",   "-256",       "799",         "800",         "479",          "-32768", "32767", "65535",
    "65536", "2147483647", "-2147483648", "99999999999", "-99999999999", "x",      "",      "300",
};

const char* const kWords[] = {"p", "+p", "-p", "r", "+r", "-r", "b", "T",  "t",  "+t", "-t",
                              "x", "+x", "-x", "q", "+",  "-",  "",  "pr", "++", "-q"};

class Input : public fuzz::ByteReader {
  public:
    using ByteReader::ByteReader;
    std::string number() { return ByteReader::number(kNumbers); }
    std::string word() { return kWords[byte() % (sizeof kWords / sizeof kWords[0])]; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_command_firmware(sim::Standalone::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Standalone& board = sim::Standalone::instance();
    KV_GUI_Init();
    KV_DrawingState_Init();
    KV_HotSpot_Init();
    binaryResponses = 0;
    Input in(data, size);
    fuzz::run_command_lines(board, in, kTemplates, 32,
                            [&](char kind) { return kind == 's' ? in.number() : in.word(); });
    // Every defined hotspot pressed and released where the input says, as a touch would.
    for (int spot = 0; spot < kHotSpotCount && !in.done(); ++spot) {
        if (TouchHotSpots[size_t(spot)].type == kSpotFree) continue;
        const int x = int(in.byte()) * 4, y = int(in.byte()) * 2;
        updateSpot(1, spot, 1, x, y, 0);
        updateSpot(0, spot, 1, x, y, 0);
        fuzz::screen_fence().check("press and release");
    }
    board.take_output(kCom0);
    return 0;
}
