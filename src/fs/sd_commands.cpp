#include "fs/sd_commands.h"

#include <cstring>

#include "base/format.h"
#include "base/host_text.h"
#include "base/interpreter.h"
#include "base/scan.h"
#include "fs/file_ops.h"
#include "fs/sdcard.h"

char directory[kDirectoryNameSize];

namespace {

constexpr uint8_t kHiddenFromListing = kFsAttrHidden | kFsAttrSystem | kFsAttrVolume;
constexpr const char* kTestFile = "mytest.ini";
constexpr int kTestBlocks = 20;
constexpr int kTestBlockSize = 512;

// Block n of the write test: readable text, so the file can be checked on a PC.
void fill_test_block(uint8_t* block, int n) {
    char line[32];
    const int len = kv_snprintf(line, sizeof line, "voxa write test block %02d\r\n", n);
    for (int i = 0; i < kTestBlockSize; ++i) block[i] = uint8_t(line[i % len]);
}

}  // namespace

int row_ls(char* line) {
    if (std::strncmp(line, "*ls", 3) != 0) return kNoMatch;
    FS_DIRENT entry;
    for (int next = 0; read_directory_entry(&entry, next); next = 1) {
        if (entry.attr & kHiddenFromListing) continue;
        char name[16];
        NameFromDirEntry(name, &entry);
        size_t n = std::strlen(name);
        if (n && name[n - 1] == '.') name[--n] = 0;
        if (entry.attr & kFsAttrDirectory) {
            name[n++] = '/';
            name[n] = 0;
        }
        pout("%s\r", name);
    }
    return kCmdDone;
}

int row_cd(char* line) {
    char name[kDirectoryNameSize];
    if (kv_sscanf(line, "*cd %16s", name) != 1) return kNoMatch;
    if (!SDisInitialized()) {
        txNotify(":SD Card not ready\r");
        return kCmdFailed;
    }
    std::memcpy(directory, name, sizeof directory);
    if (SD_chdir(name) != 0) {
        char message[48];
        kv_snprintf(message, sizeof message, ":SD Card, chdir(\"%s\") FAILED\r", name);
        txNotify(message);
        return kCmdFailed;
    }
    return kCmdDone;
}

int row_sdled(char* line) {
    int on;
    if (kv_sscanf(line, "*sdled %d", &on) != 1) return kNoMatch;
    SD_led(on != 0);
    return kCmdDone;
}

// A write that fails is reported and fails the command; the test exists to find exactly that.
int row_fopen(char* line) {
    if (std::strcmp(line, "fopen") != 0) return kNoMatch;
    if (!SDisInitialized()) {
        txNotify(":SD Card not ready\r");
        return kCmdFailed;
    }
    FS_FILE* file = fcreate(kTestFile, 0);
    int error = file ? kFsOk : SD_lastError();
    uint8_t block[kTestBlockSize];
    for (int n = 0; error == kFsOk && n < kTestBlocks; ++n) {
        fill_test_block(block, n);
        if (fwrite(block, 1, sizeof block, file) != sizeof block) error = SD_lastError();
    }
    if (file && SD_fclose(file) != 0 && error == kFsOk) error = SD_lastError();
    if (error != kFsOk) {
        pout(":SD card error %d\r", error);
        return kCmdFailed;
    }
    return kCmdDone;
}
