#include "core/extmem_load.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "base/text_helpers.h"
#include "core/main_loop.h"
#include "device/backlight.h"
#include "device/board.h"
#include "device/panel_config.h"
#include "device/timebase.h"
#include "drawing/drawing_state.h"
#include "fs/file_ops.h"
#include "fs/sd_commands.h"
#include "fs/sdcard.h"
#include "gui/bmp.h"
#include "gui/gui.h"
#include "macro/macro.h"
#include "media/ext_image.h"
#include "media/ext_load.h"
#include "media/ext_mem_area.h"
#include "media/fonts.h"
#include "settings/config_ini.h"

namespace {

constexpr int kDotsPerLine = 64;
constexpr int kTitleInset = 10;
constexpr uint32_t kProgramBlock = 0x8000;
constexpr int kCopyReadFailed = 21;
constexpr int kCopyEraseFailed = 22;
constexpr int kCopyProgramFailed = 23;
constexpr int kCopyVerifyFailed = 24;
constexpr int kNoBinFailure = 1;
constexpr int kLastSdloadMacro = 254;
constexpr uint32_t kScheduleNoArgs = 512;

int dots;

int copy_file_to_flash(FS_FILE* file, const char* name);

int kilobytes(uint32_t bytes) {
    const int kb = int(bytes / 1024);
    return kb ? kb : 1;
}

// The RAM area is about to be overwritten: an image that lies there stops being current.
void claim_ram_area() {
    if (ExtMem_InRam()) KV_ExtMem_Init();
}

// Programs length bytes from data at offset of the window; an odd last byte goes with an erased
// one, which leaves the cell as it is.
bool program(uint32_t offset, const uint8_t* data, uint32_t length) {
    const uint32_t even = length & ~1u;
    if (even && FlashWriteBlock(kFlash2Address + offset, data, even) != 0) return false;
    if (even == length) return true;
    const uint8_t last[2] = {data[even], 0xFF};
    return FlashWriteBlock(kFlash2Address + offset + even, last, 2) == 0;
}

bool flash_holds(uint32_t offset, const uint8_t* data, uint32_t length) {
    return std::memcmp(flash2_window() + offset, data, length) == 0;
}

// splash.bmp, when the card has one: drawn at the top-left corner without disturbing the
// drawing state, and the backlight goes on with it.
void show_splash_file() {
    FS_FILE* file = SD_fopen("splash.bmp", kFsModeRead);
    if (!file) return;
    const uint32_t size = file->size;
    if (size > kExtMemSize) {
        pout(":splash.bmp could not be loaded - too big\r");
    } else {
        claim_ram_area();
        if (!SD_ReadWholeFile(file, ExtMemRamBuffer, size)) {
            pout(":splash.bmp could not be loaded\r");
        } else {
            GUI_CONTEXT saved;
            GUI_SaveContext_M(&saved);
            const int refused = GUI_BMP_Draw(ExtMemRamBuffer, size, 0, 0);
            GUI_RestoreContext(&saved);
            // A picture that could not be drawn leaves the banner or splash bitmap to come.
            if (!refused) {
                splashShown = 1;
                KV_Visibility_Init();
            }
        }
    }
    SD_fclose(file);
}

bool file_exists(const char* name) {
    FS_FILE* file = SD_fopen(name, kFsModeRead);
    if (!file) return false;
    SD_fclose(file);
    return true;
}

// The window's image becomes current only when it validates; otherwise there is none.
void use_flash_or_nothing() {
    if (Flash2Select(false) != 0) KV_ExtMem_Init();
}

// The found and validated card file, opened; null (after the checker's message) otherwise.
FS_FILE* open_card_file(char* name) {
    if (!findVoxaBin(name)) return nullptr;
    FS_FILE* file = SD_fopen(name, kFsModeRead);
    if (!file) return nullptr;
    if (!SDvalidateBin(file)) {
        SD_fclose(file);
        return nullptr;
    }
    return file;
}

bool too_big_for_flash(const FS_FILE* file, void (*say)(const char*, ...)) {
    if (file->size <= kFlash2Size) return false;
    say(":Failed to copy .BIN file (%d bytes) from SD Card to Data Flash (max %d bytes)\r",
        int(file->size), int(kFlash2Size));
    return true;
}

}  // namespace

void startProgressDots(const char* title) {
    if (const FontEntry* font = KV_FindFont(panel::kBuild.progress_font)) {
        GUI_SetFont(font->font);
    }
    GUI_Clear();
    GUI_DispStringAt(title, Origin_X + kTitleInset, Origin_Y + kTitleInset);
    GUI_DispNextLine();
    dots = 0;
}

void addProgressDot() {
    SD_ledToggle();
    GUI_DispString(".");
    if (++dots % kDotsPerLine == 0) GUI_DispNextLine();
}

int CopyMemToFlash2(uint32_t size) {
    uint8_t* image = ExtMemRamBuffer;
    // The magic goes in last: until then the window holds no image the header check accepts.
    const uint8_t magic[2] = {image[0], image[1]};
    image[0] = image[1] = 0xFF;
    startProgressDots("Copying Data File to Flash Memory");
    pout(":Erasing Flash2\r");
    pout(":");
    int result = 0;
    for (uint32_t at = 0; at < size && !result; at += kFlash2SectorSize) {
        const uint32_t address = kFlash2Address + at;
        if (!FlashIsErased(address, kFlash2SectorSize) && FlashEraseSector(address) != 0) {
            result = kCopyEraseFailed;
        }
        pout(".");
        addProgressDot();
    }
    if (!result) {
        pout("\r:Programming Flash2\r");
        pout(":");
    }
    for (uint32_t at = 0; at < size && !result; at += kProgramBlock) {
        const uint32_t length = size - at < kProgramBlock ? size - at : kProgramBlock;
        if (!program(at, image + at, length)) result = kCopyProgramFailed;
        pout(".");
        addProgressDot();
    }
    if (!result && !flash_holds(0, image, size)) result = kCopyVerifyFailed;
    image[0] = magic[0];
    image[1] = magic[1];
    if (!result && (!program(0, magic, 2) || !flash_holds(0, magic, 2))) {
        result = kCopyVerifyFailed;
    }
    Led(0);
    if (result) return result;
    pout("  DONE!\r");
    return 0;
}

int CopyBinFileToFlash2(FS_FILE* file, const char* name) {
    // The progress display borrows the library's font; the command font comes back after it.
    const GUI_FONT* font = GUI_GetFont();
    const int result = copy_file_to_flash(file, name);
    GUI_SetFont(font);
    return result;
}

namespace {

int copy_file_to_flash(FS_FILE* file, const char* name) {
    const uint32_t size = file->size;
    pout(":loading %dKB bitmap/macro file from SD card\r", kilobytes(size));
    startProgressDots("Loading Flash Data file from SD Card");
    claim_ram_area();
    if (!SD_ReadWholeFile(file, ExtMemRamBuffer, size)) {
        pout("Error - Failed to read file '%s' into memory\r", name);
        return kCopyReadFailed;
    }
    uint8_t* header = ExtMemRamBuffer;
    for (int i = 0; i < 4; ++i) header[4 + i] = uint8_t(size >> (8 * i));
    if (!KV_Fixup_ExtMem(kFlash2Address, size)) return kCopyVerifyFailed;
    // The window is about to change under an image that may lie there.
    KV_ExtMem_Init();
    return CopyMemToFlash2(size);
}

}  // namespace

int KV_Load_ExtMem() {
    if (!SDisInitialized()) {
        if (Flash2Init() != 0) {
            pout(":No .BIN file in flash or on SD card\r");
            return 0;
        }
        return 1;
    }
    show_splash_file();
    const bool to_flash = file_exists("flash2.ini");
    char name[kBinNameSize];
    FS_FILE* file = open_card_file(name);
    if (!file) {
        if (Flash2Init() != 0) {
            pout(":No bin file in Flash or SD card (%d)\r", kNoBinFailure);
            return 0;
        }
        return 1;
    }
    int ok = 0;
    if (to_flash) {
        if (!too_big_for_flash(file, pout)) {
            if (CopyBinFileToFlash2(file, name) != 0) {
                pout(":Failed to copy .BIN file from SD Card to Flash\r");
                use_flash_or_nothing();
            } else {
                use_flash_or_nothing();
                ok = ExtMem_Valid() ? 1 : 0;
            }
        }
    } else {
        const uint32_t size = file->size;
        pout(":loading %dKB bitmap/macro file from SD card\r", kilobytes(size));
        claim_ram_area();
        if (!SD_ReadWholeFile(file, ExtMemRamBuffer, size)) {
            pout(":SD card error %d\r", SD_lastError());
        } else if (!KV_Fixup_ExtMem(kExtMemRamAddress, size)) {
            pout(":SD card .BIN file directory invalid\r");
        } else {
            KV_ExtMem_UseRam();
            ok = 1;
        }
    }
    SD_fclose(file);
    return ok;
}

int KV_Check_Demo() {
    if (!SDisInitialized()) return 0;
    FS_FILE* file = SD_fopen("rundemo.ini", kFsModeRead);
    if (!file) return 0;
    // No heap: one fixed buffer, the file and its terminator must fit.
    static char text[kDemoFileBufferSize];
    const uint32_t size = file->size;
    const size_t got = size < sizeof text ? fread(text, 1, size, file) : 0;
    SD_fclose(file);
    if (size >= sizeof text || got != size) {
        pout(":rundemo.ini could not be loaded\r");
        return 0;
    }
    text[got] = 0;
    int32_t value = 0;
    int verbose = 0;
    if (lookfor(text, "verbose", 'd', &value, 0) && value != 0) {
        pout(":rundemo.ini verbose mode enabled\r");
        verbose = 1;
    }
    int32_t demo = 0;
    if (!lookfor(text, "demomac", 'd', &demo, verbose)) return 0;
    return int(uint32_t(demo) & 0xFF);
}

int row_loadf(char* line) {
    if (!exact(line, "*LOADF") && !exact(line, "*loadf")) return kNoMatch;
    if (!SDisInitialized()) return kCmdFailed;
    char name[kBinNameSize];
    FS_FILE* file = open_card_file(name);
    if (!file) return kCmdFailed;
    if (too_big_for_flash(file, perr)) {
        SD_fclose(file);
        return kCmdFailed;
    }
    const int failed = CopyBinFileToFlash2(file, name);
    use_flash_or_nothing();
    SD_fclose(file);
    if (failed) {
        perr(":Failed to copy .BIN file from SD Card to Flash\r");
        return kCmdFailed;
    }
    return ExtMem_Valid() ? kCmdDone : kCmdFailed;
}

int row_load(char* line) {
    if (!prefix(line, "*LOAD") && !prefix(line, "*load")) return kNoMatch;
    return KV_Load_ExtMem() ? kCmdDone : kCmdFailed;
}

int row_flash2ram(char* line) {
    if (!prefix(line, "*flash2ram")) return kNoMatch;
    return KV_LoadFlash2ToRam() ? kCmdDone : kCmdFailed;
}

int row_sdload(char* line) {
    char name[kDirectoryNameSize];
    if (kv_sscanf(line, "*sdload %16s", name) != 1) return kNoMatch;
    if (!SDisInitialized()) {
        txNotify(":SD Card not ready\r");
        return kCmdFailed;
    }
    std::memcpy(directory, name, sizeof directory);
    if (SD_chdir(name) != 0) {
        pout(":SD Card, chdir(\"%s\") FAILED\r", name);
        return kCmdFailed;
    }
    int n = 0;
    int r = 0;
    bool number_ok = true;
    if (kv_sscanf(line, "*sdload %*s %d", &n) == 1 && (n < 1 || n > kLastSdloadMacro)) {
        txNotify(":invalid macro index number\r");
        number_ok = false;
    }
    if (number_ok) r = KV_Load_VoxaBin_To_ExtMem();
    if (std::strcmp(name, ".") != 0 && SD_chdir("..") != 0) {
        txNotify(":SD Card, chdir(\"..\") FAILED\r");
        return kCmdFailed;
    }
    if (!r) return kCmdFailed;
    // Macro 0 is no macro: queued, it would only hold up every macro until something else
    // replaced it.
    if (n) scheduleMacro(n + int(kScheduleNoArgs), nullptr);
    return r;
}
