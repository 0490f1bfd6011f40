#include "core/flash_program_commands.h"

#include <cstring>

#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/serial.h"
#include "device/board.h"
#include "fs/sdcard.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"
#include "media/extmem_program.h"

namespace {

constexpr unsigned kEraseKey = 0xFEEC;
constexpr unsigned kSectorEraseKey = 0xFEEB;  // checks its sector argument against the window
constexpr uint32_t kXmpMaxBytes = 128;
constexpr char kEscape = ' ';

// Sector size of the SPI data flash by the capacity byte of its identification.
constexpr uint8_t kDataFlash64Mbit = 0x17;
constexpr uint8_t kDataFlash128Mbit = 0x18;
constexpr uint32_t kDataFlash64MbitSector = 0x20000;
constexpr uint32_t kDataFlash128MbitSector = 0x40000;
constexpr uint32_t kDataFlashOtherSector = 0x10000;

uint32_t dataflash_sector_size() {
    switch (ReadSerialFlashID()) {
        case kDataFlash64Mbit:
            return kDataFlash64MbitSector;
        case kDataFlash128Mbit:
            return kDataFlash128MbitSector;
        default:
            return kDataFlashOtherSector;
    }
}

int xma() {
    if (!SDisInitialized()) {
        perr("%ld %ld %ld %lX\r", long(kFlash2Size), long(kFlash2SectorSize), long(kFlash2Size),
             static_cast<unsigned long>(kFlash2Address));
    } else {
        perr("%ld %ld %ld\r", long(kExtMemSize), long(dataflash_sector_size()), long(kExtMemSize));
    }
    return kCmdDone;
}

int xmc(const char* line) {
    unsigned key;
    int sector;
    const int n = kv_sscanf(line, "xmc %x %d", &key, &sector);
    if (n < 1 || (key != kEraseKey && key != kSectorEraseKey)) {
        txString(":invalid argument\r");
        return kCmdFailed;
    }
    if (n == 2) {
        if (key == kSectorEraseKey && sector >= kFlash2Sectors) {
            perr(":sector arg %d >= max %d\r", sector, kFlash2Sectors);
            return kCmdFailed;
        }
        // A negative sector is refused with the others outside the window: below the window
        // lies the firmware.
        perr(":Erasing sector %d...", sector);
        if (KV_ExtMem_Erase_Sector(sector) != 0) {
            perr("\r:Erase sector %d failed\r", sector);
            return kCmdFailed;
        }
        txString(" done\r");
        return kCmdDone;
    }
    // The whole window, so that an "xmp" anywhere in it finds erased flash.
    txString(":Erasing chip...");
    for (int s = 0; s < kFlash2Sectors; ++s) {
        if (KV_ExtMem_Erase_Sector(s) != 0) {
            txString(":Erase failed\r");
            return kCmdFailed;
        }
    }
    txString(" done\r");
    return kCmdDone;
}

// How one "xmp" line ends.
enum class LineResult { kNext, kEnd, kError };

// Waits for the host's next line; false when the ring overflowed (bytes are lost).
bool wait_for_line() {
    for (;;) {
        const int status = isLineAvail();
        if (status == kLineReady) return true;
        if (status == kRxOverflow) return false;
        board_idle();
    }
}

const char* plural(uint32_t n) {
    return n == 1 ? "" : "s";
}

// What a character after the escape stands for: the bytes a text line cannot carry as they are
// (the intake acts on them), and the escape itself.
struct Escaped {
    char key;
    uint8_t byte;
};
constexpr Escaped kEscaped[] = {{'0', 0x00}, {'B', 0x08}, {'N', 0x0A}, {'R', 0x0D},
                                {'X', 0x11}, {'Y', 0x13}, {'[', 0x1B}, {' ', 0x20}};

// Decodes the escapes of one line into data; *count bytes, *end when the end escape came.
LineResult decode_line(const char* text, size_t length, uint64_t offset, bool verbose,
                       uint8_t* data, uint32_t* count, bool* end) {
    uint32_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = uint8_t(text[i]);
        if (c == uint8_t(kEscape)) {
            if (++i == length) break;
            if (text[i] == 'Q' || text[i] == 'q') {
                *end = true;
                break;
            }
            const Escaped* e = nullptr;
            for (const Escaped& x : kEscaped) {
                if (x.key == text[i]) e = &x;
            }
            if (!e) continue;  // not an escape: dropped
            c = e->byte;
        }
        if (n == kXmpMaxBytes) {
            txString("\rInput buffer overflowed!\r");
            return LineResult::kError;
        }
        if (offset + n >= kFlash2Size) {
            txString("\rCannot write past end of external memory!\r");
            return LineResult::kError;
        }
        data[n] = c;
        if (verbose) perr("byte %u: %02X\r", unsigned(n), unsigned(c));
        ++n;
    }
    *count = n;
    return LineResult::kNext;
}

LineResult program_line(uint64_t* offset, uint8_t* data, uint32_t count, bool verbose) {
    if (verbose) {
        perr("Programming %u byte%s @ 0x%08X...\r", unsigned(count), plural(count),
             unsigned(*offset));
    }
    if (count & 1) txString("\r!Internal error - odd flash write");
    // A file built for the older product keeps its magic when sent on; this module's loader
    // would refuse it otherwise.
    if (*offset == 0 && count == 2 && data[0] == 0xEB && data[1] == 0xFE) data[0] = 0xEC;
    if (KV_ExtMem_ProgramArea(uint32_t(*offset), data, count) != kProgramOk) {
        txString("\r!Write to external memory failed!");
        perr(" (%u byte%s @ 0x%04X%04X)\r", unsigned(count), plural(count), unsigned(*offset >> 16),
             unsigned(*offset & 0xFFFF));
        return LineResult::kError;
    }
    *offset += count;
    return LineResult::kNext;
}

// The protocol proper. The offset is kept wide: (high << 16) + low from two 32-bit values
// cannot wrap past the end check.
int run_xmp(uint64_t offset, bool verbose) {
    char line[kLineBufSize];
    uint8_t data[kXmpMaxBytes];
    for (;;) {
        txString("p>\r");
        if (!wait_for_line()) {
            txString("\rInput buffer overflowed!\r");
            return kCmdFailed;
        }
        std::memset(line, 0, sizeof line);
        rxString(line, kLineBufSize);
        // A line ends at its CR, or fills the buffer when the CR was not stored; anything else
        // is the intake's "*SERR"/"*IERR" for a broken or over-long line, never data.
        const char* cr = static_cast<const char*>(std::memchr(line, '\r', sizeof line));
        size_t length = cr ? size_t(cr - line) : std::strlen(line);
        const bool whole = cr || length == kLineBufSize - 1;
        if (cr) line[length] = 0;
        if (verbose) {
            txString("\rSaw: '");
            if (line[0]) txString(line);
            txString("'\r");
        }
        if (!whole) {
            txString("\rInput buffer overflowed!\r");
            return kCmdFailed;
        }
        uint32_t count = 0;
        bool end = false;
        if (decode_line(line, length, offset, verbose, data, &count, &end) == LineResult::kError) {
            return kCmdFailed;
        }
        // Bytes before the end escape belong to the file as much as any others.
        if (count && program_line(&offset, data, count, verbose) == LineResult::kError) {
            return kCmdFailed;
        }
        if (end) {
            if (Flash2Init() != 0) {
                txString(":invalid data in Flash\r");
                return kCmdFailed;
            }
            return kCmdDone;
        }
    }
}

int xmp(unsigned high, unsigned low, int verbose) {
    binaryEnable = 0;
    const int result = run_xmp((uint64_t(high) << 16) + low, verbose != 0);
    if (!binaryDisable) binaryEnable = 1;
    return result;
}

}  // namespace

int row_extmem(char* line) {
    if (prefix(line, "xma")) return xma();
    if (prefix(line, "xmc")) return xmc(line);
    unsigned high, low;
    int verbose;
    if (kv_sscanf(line, "xmp %x %x %d", &high, &low, &verbose) == 3) return xmp(high, low, verbose);
    return kNoMatch;
}
