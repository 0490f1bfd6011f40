// A bitmap/macro file made from the input, made current as the flash image would be (used in
// place) or as a card's file is (copied into the RAM area and relocated there), then validated,
// listed, looked up by number and name, run through the command lines that call macros and
// drawn by the bitmap commands: a location, count, size or name that leads outside the file
// must be refused, never followed (ASan; in the RAM area everything behind the file is
// poisoned), and no bitmap may be drawn outside the screen (the fence).
//
// Input: two bytes of image length (15 bits; the top bit selects the RAM area), the image, then
// the calls (templates as the other command targets). Images whose lines could restart the board,
// wait, loop for ever or wait for a touch are skipped: those are commands, not the file's
// structure, and have their own tests.
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "boards/sim/standalone.h"
#include "drawing/drawing_state.h"
#include "fuzz_support.h"
#include "macro/macro.h"
#include "media/ext_check.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"
#include "media/macro_table.h"
#include "touch/hotspots.h"

namespace {

const char* const kTemplates[] = {
    "ls",
    "lsbmp",
    "lsbmp %s",
    "lsmac",
    "lsmac %s",
    "m %s",
    "m%s",
    "m %w",
    "m %w:%w %w",
    "m%s:%w",
    "m %s %w %w",
    "x 130 10 10 100 100 %s",
    "xm 130 %w %w",
    "xm 130 %s:x130 %s:r130",
    "xa 130 p %w %w",
    "*PONMAC",
    "*DEMOMAC %w",
    "xi %s %s %s",
    "xit %s %s %s %s",
    "xim %s %s %s",
    "xic %s %s %s %s %s %s %s",
    "xio %s %s %s %s %s %s",
    "zs %s",
};

const char* const kNumbers[] = {"0",   "1",   "2",   "3",   "5",     "254",
                                "255", "256", "-1",  "-50", "65535", "99999999999",
                                "/",   "799", "479", "800", "-800",  "100"};
const char* const kWords[] = {"main",     "a", "_x", "/",       "1", ":x130",
                              ":default", "",  "Z9", "\"q r\"", ":1"};

// Lines a fuzzed file may not hold: they restart, wait, loop or wait for a finger or a key.
const char* const kBanned[] = {"RESET", "rst",    "w ",   "wr",   "tc",   ":re",
                               "*LOAD", "*load",  "*sd",  "*cal", "bdld", "bcv",
                               "xmp",   "*speed", "beep", "al ",  "adj"};

class Input : public fuzz::ByteReader {
  public:
    using ByteReader::ByteReader;
    std::string number() { return ByteReader::number(kNumbers); }
    std::string word() { return kWords[byte() % (sizeof kWords / sizeof kWords[0])]; }
};

bool harmless(std::string_view image) {
    for (const char* b : kBanned) {
        if (image.find(b) != std::string_view::npos) return false;
    }
    return true;
}

// The RAM area behind a file of length bytes: stale data on the module, out of bounds here.
void poison_ram_behind(size_t length, bool poison) {
    if (poison) {
        ASAN_POISON_MEMORY_REGION(ExtMemRamBuffer + length, kExtMemSize - length);
    } else {
        ASAN_UNPOISON_MEMORY_REGION(ExtMemRamBuffer + length, kExtMemSize - length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_command_firmware(sim::Standalone::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t length = std::min<size_t>(size - 2, size_t(data[0] | ((data[1] & 0x7F) << 8)));
    // The card's loader relocates only a file whose header's size is its length.
    const bool ram =
        (data[1] & 0x80) && length >= 8 &&
        uint32_t(data[6] | data[7] << 8 | data[8] << 16 | uint32_t(data[9]) << 24) == length;
    // The image in a buffer of exactly its size: a read past its end is caught.
    std::vector<uint8_t> image(data + 2, data + 2 + length);
    if (!harmless(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()))) {
        return 0;
    }
    sim::Standalone& board = sim::Standalone::instance();
    KV_GUI_Init();
    KV_DrawingState_Init();
    KV_HotSpot_Init();
    KV_Macro_Init();
    if (ram) {
        std::memcpy(ExtMemRamBuffer, image.data(), image.size());
        poison_ram_behind(image.size(), true);
        if (KV_Fixup_ExtMem(kExtMemRamAddress, kExtMemSize)) KV_ExtMem_UseRam();
    } else {
        KV_ExtMem_SetImage(image.empty() ? nullptr : image.data(), uint32_t(image.size()),
                           kFlash2Address);
    }
    ExtMem_CheckImage(image.data(), uint32_t(image.size()), kFlash2Address, nullptr, nullptr);
    ExtMemUsed();

    // Every look-up the runner and the listings make, over every number.
    for (int n = -1; n <= 256; ++n) {
        MacroEntry e;
        KV_GetMacro(n, &e);
        KV_MacroName(n);
        int k = n;
        convertIndextoStringMacro(&k);
    }
    Input in(data + 2 + length, size - 2 - length);
    fuzz::run_command_lines(board, in, kTemplates, 16,
                            [&](char kind) { return kind == 's' ? in.number() : in.word(); });
    processScheduledMacro();
    board.take_output(kCom0);
    KV_ExtMem_Init();
    if (ram) poison_ram_behind(image.size(), false);
    return 0;
}
