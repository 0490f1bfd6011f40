#include "core/screen_capture.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/text_helpers.h"
#include "device/timebase.h"
#include "fs/file_ops.h"
#include "fs/sdcard.h"
#include "gui/image_decode.h"

namespace {

constexpr int kNameCount = 1000;
constexpr uint32_t kProgressMs = 500;
constexpr size_t kNameSize = 13;

// The serialiser hands out one byte at a time; the card takes whole sectors. Collecting a
// sector before each write keeps a capture at one file-layer call per sector, not per byte.
struct CaptureWriter {
    uint32_t buffered;
    bool failed;
    uint8_t buffer[512];
};
CaptureWriter writer;

bool flush_writer(FS_FILE* file) {
    if (writer.failed) return false;
    const uint32_t n = writer.buffered;
    writer.buffered = 0;
    if (n == 0) return true;
    if (fwrite(writer.buffer, 1, n, file) == n) return true;
    // One message for the whole capture: the card will not take the rest either, and a
    // message per byte would keep the host line busy for minutes.
    writer.failed = true;
    txString(":error writing BMP file\r");
    return false;
}

constexpr int kAllTaken = -1;
constexpr int kUnreadable = -2;

// The first number whose name does not exist yet. A name that cannot be opened for another
// reason (the directory cannot be read) may still exist, and creating it would replace it: the
// search ends there with kUnreadable.
int free_number(char* name) {
    for (int n = 0; n < kNameCount; ++n) {
        kv_snprintf(name, kNameSize, "VOXA%04d.BMP", n);
        FS_FILE* f = SD_fopen(name, kFsModeRead);
        if (f) {
            SD_fclose(f);
            continue;
        }
        return SD_lastError() == kFsErrNotFound ? n : kUnreadable;
    }
    return kAllTaken;
}

bool exists(const char* name) {
    FS_FILE* f = SD_fopen(name, kFsModeRead);
    if (!f) return false;
    SD_fclose(f);
    return true;
}

}  // namespace

bool WriteByte2File(uint8_t byte, void* file) {
    if (delayTimer == 0) {
        txString(".");
        delayTimer = kProgressMs;
    }
    if (writer.failed) return false;
    writer.buffer[writer.buffered++] = byte;
    if (writer.buffered < sizeof writer.buffer) return true;
    return flush_writer(static_cast<FS_FILE*>(file));
}

int KV_ScreenCapture(char* nameOut) {
    if (!SDisInitialized()) {
        txString(":SD Card not initialized\r");
        return 0;
    }
    char name[kNameSize];
    const int number = free_number(name);
    if (number == kAllTaken) {
        // Reusing the last name would overwrite a capture the user kept.
        perr(":no free file name, VOXA0000.BMP to VOXA%04d.BMP exist\r", kNameCount - 1);
        return 0;
    }
    if (number < 0) {
        perr(":cannot create SD card file \"%s\".\r", name);
        return 0;
    }
    if (nameOut) std::memcpy(nameOut, name, kNameSize);
    FS_FILE* file = fcreate(name, 0);
    if (!file) {
        perr(":cannot create SD card file \"%s\".\r", name);
        return 0;
    }
    perr(":writing SD File %s", name);
    // The progress pacing starts when the host has the whole name.
    txWait();
    delayTimer = kProgressMs;
    writer.buffered = 0;
    writer.failed = false;
    const int serialised = GUI_BMP_Serialize(WriteByte2File, file);
    const bool flushed = serialised == 0 && flush_writer(file);
    // A partly written file is closed like a whole one and stays on the card as far as the
    // card recorded it: there is no delete, and what it holds may still help to find the fault.
    const bool closed = SD_fclose(file) == 0;
    delayTimer = 0;
    if (flushed && !closed && !writer.failed) txString(":error writing BMP file\r");
    txString("\r");
    if (!exists(name)) {
        perr(":file %s not created\r", name);
        return 0;
    }
    return serialised == 0 && flushed && closed ? 1 : 0;
}

int row_screen_capture(char* line) {
    if (!exact(line, "*getScreenAsBMPFile")) return kNoMatch;
    return KV_ScreenCapture(nullptr) ? kCmdDone : kCmdFailed;
}
