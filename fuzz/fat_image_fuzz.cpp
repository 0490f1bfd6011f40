// FAT images: the input is the start of a card (the rest reads as zeros), mounted, listed two
// levels deep, every file opened and read (fread, freadChunk, fseek), then a file and a folder
// written into it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "boards/sim/standalone.h"
#include "fs/file_ops.h"
#include "fs/sdcard.h"

namespace {

// A 64 MB card: room for the FAT32 volumes whose metadata fits the input.
constexpr uint32_t kCardSectors = 64 * 2048;
constexpr uint32_t kReadLimit = 64 * 1024;  // per file; a damaged size may claim 4 GB
constexpr int kEntryLimit = 300;

uint8_t scratch[kFsMaxChunk];

void read_file(const char* name) {
    FS_FILE* f = SD_fopen(name, kFsModeRead);
    if (!f) return;
    uint32_t total = 0;
    while (total < kReadLimit) {
        const size_t n = fread(scratch, 1, 700, f);
        if (n == 0) break;
        total += uint32_t(n);
    }
    if (fseek(f, 0, 0) == 0) {
        for (int i = 0; i < 3 && freadChunk(f, scratch) > 0; ++i) {}
    }
    if (f->size > 100 && fseek(f, -100, 2) == 0) fread(scratch, 1, 200, f);
    SD_fclose(f);
}

void walk(int depth) {
    char names[16][13];
    bool dirs[16];
    int count = 0;
    FS_DIRENT e;
    int seen = 0;
    for (int next = 0; seen < kEntryLimit && read_directory_entry(&e, next); next = 1, ++seen) {
        if (count < 16) {
            NameFromDirEntry(names[count], &e);
            const size_t n = std::strlen(names[count]);
            if (n && names[count][n - 1] == '.') names[count][n - 1] = 0;
            dirs[count] = (e.attr & kFsAttrDirectory) != 0;
            ++count;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!dirs[i]) {
            read_file(names[i]);
        } else if (depth < 2 && names[i][0] != '.' && SD_chdir(names[i]) == 0) {
            walk(depth + 1);
            SD_chdir("..");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto& board = sim::Standalone::instance();
    // One buffer for every input: a fresh allocation of a large image per run would cost more
    // (page faults of a new mapping each time) than mounting and walking it.
    static std::vector<uint8_t> card;
    card.assign(data, data + size);
    card.resize((size + 511) / 512 * 512);
    board.insert_sd_memory(card.data(), card.size(), kCardSectors);
    if (initialize_media()) {
        walk(0);
        SD_chdir("/");
        if (FS_FILE* f = fcreate("FUZZ.TXT", 0)) {
            std::memset(scratch, 'z', 3000);
            fwrite(scratch, 1, 3000, f);
            SD_fclose(f);
        }
        if (SD_mkdir("FUZZD") == 0 && SD_chdir("FUZZD") == 0) {
            if (FS_FILE* f = fcreate("IN.BIN", 0)) {
                fputc_('x', f);
                SD_fclose(f);
            }
        }
        read_file("FUZZ.TXT");
    }
    FS_Unmount();
    board.remove_sd();
    return 0;
}
