#include "core/memory_checks.h"

#include "base/byte_order.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "device/board.h"
#include "device/crc.h"
#include "device/panel_config.h"
#include "media/ext_image.h"

namespace {

constexpr uint32_t kErasedSizeByte = 0xFF;

int reply_check_value(const uint8_t* data, uint32_t length) {
    pout("0x%04X\r", unsigned(CalcCRC(data, length)));
    return kCmdDone;
}

// The file the window holds, by its header. A size field beyond the window (an erased header
// reads 0xFFFFFFFF) is refused like the sizes the header can never have, so the check never
// reads past the window.
int check_flash2_file() {
    const uint8_t* window = flash2_window();
    const uint16_t magic = read_le16(window);
    if (magic != kExtMemMagic) {
        perr(":Flash2 memory invalid (saw %04X, expected %04X)\r", unsigned(magic),
             unsigned(kExtMemMagic));
        return kCmdFailed;
    }
    const uint32_t size = read_le32(window + 4);
    if (size == 0 || size == kErasedSizeByte || size > kFlash2Size) {
        perr(":External memory invalid size 0x%08X\r", unsigned(size));
        return kCmdFailed;
    }
    return reply_check_value(window, size);
}

int check_flash2_range(char* line) {
    unsigned long from, to;
    const int n = kv_sscanf(line, "%*s %lx %lx", &from, &to);
    if (n < 1) return check_flash2_file();
    if (n == 1) {
        txString(":missing argument\r");
        return kCmdFailed;
    }
    // Both ends inside the window and in order: "to - from + 1" then neither wraps nor reaches
    // past the window.
    if (to < from || to >= kFlash2Size) {
        txString(":invalid argument\r");
        return kCmdFailed;
    }
    const uint32_t length = uint32_t(to - from + 1);
    perr("0x%04lX\r", static_cast<unsigned long>(CalcCRC(flash2_window() + from, length)));
    return kCmdDone;
}

}  // namespace

int row_memory_checks(char* line) {
    if (exact(line, "*CRC")) {
        return reply_check_value(reinterpret_cast<const uint8_t*>(lcd_framebuffer()),
                                 panel::kPixels * 2);
    }
    if (exact(line, "*CSUM")) return reply_check_value(program_area(), kProgramAreaSize);
    if (exact(line, "*CSUMB")) return reply_check_value(boot_area(), kBootAreaSize);
    if (prefix(line, "*CEXT")) return check_flash2_range(line);
    return kNoMatch;
}
