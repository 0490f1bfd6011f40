// The screen controls' command lines (buttons, sliders, meters, level bars, the LED, charts,
// text boxes, animations) with extreme and negative numbers through parse_command, over a
// bitmap file of faces, slider parts and a dial, with raw bytes waiting on the host port for a
// "bcv" transfer to take; then the animation scheduler's passes, and every defined hotspot
// pressed, dragged and released where the input says, as the touch dispatcher applies them. An
// index outside a control's table (ASan), a draw outside the screen (the fence) or an
// overflowing conversion (UBSan) aborts.
#include <cstdint>
#include <string>
#include <vector>

#include "boards/sim/standalone.h"
#include "controls/animation.h"
#include "controls/level_bars.h"
#include "drawing/drawing_state.h"
#include "fuzz_support.h"
#include "media/ext_image.h"
#include "tests/unit/image_builder.h"
#include "touch/control_hooks.h"
#include "touch/hotspots.h"

namespace {

// %s: a number, %c: a colour word, %q: the text inside double quotes, %w: an LED or on/off
// word, %d: a slot digit, %a: an animation line, %l: a scroll letter.
const char* const kTemplates[] = {
    "bd %s %s %s %s \"%q\" %s %s %s %s",
    "bd %s %s %s %s \"%q\" %s %s",
    "bd %s %s %s %s \"%q\" \"%q\" %s %s %s %s %s %s %s %s",
    "bd %s %s %s %s \"%q\" \"%q\" %s %s %s %s",
    "bdc %s %s %s %s \"%q\" %s %s",
    "bdc %s %s %s %s \"%q\" \"%q\" %s",
    "bdc %s %s %s %s \"%q\"",
    "bc %s",
    "ssb %s %s",
    "sl %s %s %s %s %s %s %s %s %s %s %s",
    "sv %s %s",
    "slc %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s",
    "svc %s %s",
    "md %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s",
    ("md %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s %s "
     "%s %s %s %s"),
    "mdb %s %s %s %s %s %s %s %s %s %s %s %s %s %s %c %c %s %s %s %s %s %s %s %s",
    "mv %s %s",
    "mvb %s %s",
    "mvb %s %s %s %s %s %s %c %c",
    "mvb %s %s %s %s",
    "ld %s %s %s %s %s %s %s %s %c %s %c %s %c %s %c",
    "ld %s %s %s %s %s %s %s %s %c %s %c %s %c %s %c %s %c",
    "lv %s %s",
    "led %w",
    "xe %s",
    "xes %s",
    "xd %s",
    "xc %s",
    "xc all",
    "z",
    "zs",
    "o %s %s",
    "*binr %s",
    "typematic %s %s",
    "cd %s %s %s %s %s %s %s %s %s %c %s %c %s %c",
    "cd %s %s %s %s %s %s %s %s %s %c",
    "cdb %s %s %s %s %s %s %s %s %c",
    "cdp %s %s %s %c",
    "cdbb %s %s",
    "cdbc %s %c",
    "cddm %s %w",
    "cdrm %s %w",
    "cc %s",
    "cr %s",
    "cv %s %s %s %s",
    "cv %s %s - %s %s %s %s %s %s %s",
    "bcv %s %s",
    "std %s %s %s %s %s %s",
    "std %s",
    "stc %s",
    "sta %s \"%q\"",
    "stp %s \"%q\"",
    "sts %s %l %s",
    "sts %s %l",
    "stg %s %s %s",
    "stg %s %s",
    "stdump %s",
    "f m16",
    "f 24B",
    "ani %d %a",
    "ani+ %d %a",
    "anie %s",
    "tfe %s",
    "anid %s %s",
    "anid %s",
    "tfd %s %s",
    "anix %s",
    "tfx %s",
    "anis",
    "anic",
    "tfc",
    "ani?",
    "ani? %s",
    "tf?",
    "tf %s %s \"%q\"",
};

const char* const kNumbers[] = {
    "0",     "1",          "2",           "3",      "4",   "5",     "7",          "8",
    "9",     "20",         "21",          "30",     "-1",  "-21",   "50",         "100",
    "127",   "128",        "130",         "255",    "256", "-256",  "64",         "200",
    "399",   "479",        "480",         "799",    "800", "-5000", "32767",      "-32768",
    "65535", "2147483647", "-2147483648", "268000", "-3",  "",      "99999999999"};

const char* const kColours[] = {"F00", "0F0", "000", "FFF", "FFFFFF", "12AB34", "", "XYZ", "ABCD"};
const char* const kTexts[] = {
    "",
    "OK",
    "A\\x42C",
    "\\r\\n",
    "\x1b\xc3\xa9t\xc3\xa9",
    "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890"};
const char* const kLedWords[] = {"sys", "on", "off", "blink", ""};
const char* const kAnimationLines[] = {
    "y 5",    "y 0",       "y -2",       "y 1",       "anis",         "anid 1 0",
    "z",      "zs",        "cv 0 50 50", "lv 0 20",   "tf 1 5 \"x\"", "outs \"a\"",
    "anie 2", "tfd 0 0",   "anix 0",     "S F00 000", "sta 0 \"q\"",  "mv 0 30",
    "anic",   "ani 3 y 1", "o 10 10",    "f 24B",     "sv 130 5",     "xe 1"};
const char* const kScrollLetters[] = {"U", "D", "L", "R", "u", "d", "l", "r", "x", ""};

template <size_t N>
const char* pick(const char* const (&table)[N], uint8_t b) {
    return table[b % N];
}

class Input : public fuzz::ByteReader {
  public:
    using ByteReader::ByteReader;
    std::string piece(char kind) {
        switch (kind) {
            case 's':
                return number(kNumbers);
            case 'c':
                return pick(kColours, byte());
            case 'q':
                return pick(kTexts, byte());
            case 'd':
                return std::to_string(byte() % 11);
            case 'a':
                return pick(kAnimationLines, byte());
            case 'l':
                return pick(kScrollLetters, byte());
            default:
                return pick(kLedWords, byte());
        }
    }
};

// Faces (0, 1: 64 x 64; 2: 40 x 20; 3: a transparent 10 x 10), slider backgrounds (4 vertical,
// 6 horizontal) and thumb (5), a dial (7), a 1 x 1 bitmap (8).
std::vector<uint8_t> controls_file() {
    voxa_test::ImageBuilder b;
    const auto plain = [&](uint16_t w, uint16_t h, uint16_t seed) {
        std::vector<uint16_t> px(size_t(w) * h);
        for (size_t i = 0; i < px.size(); ++i) px[i] = uint16_t(seed + i * 37);
        b.addBitmap(1, w, h, voxa_test::ImageBuilder::pixels(px));
    };
    plain(64, 64, 1);
    plain(64, 64, 2);
    plain(40, 20, 3);
    b.addBitmap(5, 10, 10, voxa_test::ImageBuilder::pixels(std::vector<uint16_t>(100, 0xF81F)),
                0xF81F);
    plain(30, 200, 4);
    plain(10, 10, 5);
    plain(200, 30, 6);
    plain(120, 120, 7);
    plain(1, 1, 8);
    return b.build();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_command_firmware(sim::Standalone::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> file = controls_file();
    sim::Standalone& board = sim::Standalone::instance();
    KV_GUI_Init();
    KV_DrawingState_Init();
    KV_ExtMem_SetImage(file.data(), uint32_t(file.size()), kFlash2Address);
    // The controls' tables go with the screen reset, as "z" empties them.
    char reset[] = "z";
    parse_command(reset);
    init_animation();
    KV_HotSpot_Init();
    binaryResponses = 0;
    Input in(data, size);
    // Bytes on the host line, as a "bcv" transfer takes them: the count is the input's to say.
    std::string waiting;
    for (int n = in.byte() % 64; n > 0; --n) waiting.push_back(char(in.byte()));
    // Nothing of the previous input may still be on the line or in the receive ring.
    for (int ms = 0; ms < 10; ++ms) board_idle();
    rxReset();
    board.take_output(kCom0);
    board.send(kCom0, waiting);
    fuzz::run_command_lines(board, in, kTemplates, 24, [&](char kind) { return in.piece(kind); });
    for (int pass = 0; pass < 16; ++pass) {
        handle_animation();
        board_idle();
        fuzz::screen_fence().check("animation pass");
    }
    // Every defined hotspot pressed, moved across and released, as touches reach controls.
    for (int spot = 0; spot < kHotSpotCount && !in.done(); ++spot) {
        if (TouchHotSpots[size_t(spot)].type == kSpotFree) continue;
        const int moves = in.byte() % 4;
        int x = int(in.byte()) * 4 - 100, y = int(in.byte()) * 3 - 100;
        updateSpot(1, spot, 1, x, y, 0);
        for (int m = 0; m < moves; ++m) {
            x = int(in.byte()) * 4 - 100;
            y = int(in.byte()) * 3 - 100;
            touchControls().isXYinSlider(x, y);
            updateSpot(1, spot, 1, x, y, 0);
        }
        updateSpot(0, spot, 1, x, y, 0);
        fuzz::screen_fence().check("press, drag and release");
    }
    board.take_output(kCom0);
    return 0;
}
