#include "media/ext_load.h"

#include <cstring>

#include "base/byte_order.h"
#include "base/host_text.h"
#include "fs/file_ops.h"
#include "media/ext_image.h"
#include "media/ext_mem_area.h"

namespace {

constexpr uint32_t kSizeFieldOffset = 4;
constexpr char kPrefix[] = "voxa";
constexpr char kExtension[] = "bin";

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

int kilobytes(uint32_t bytes) {
    const int kb = int(bytes / 1024);
    return kb ? kb : 1;
}

}  // namespace

int findVoxaBin(char* nameOut) {
    FS_DIRENT entry;
    for (int next = 0; read_directory_entry(&entry, next); next = 1) {
        if (entry.attr & (kFsAttrDirectory | kFsAttrVolume)) continue;
        char name[8], ext[3];
        for (int i = 0; i < 8; ++i) name[i] = lower(entry.name[i]);
        for (int i = 0; i < 3; ++i) ext[i] = lower(entry.ext[i]);
        if (std::memcmp(name, kPrefix, 4) != 0 || std::memcmp(ext, kExtension, 3) != 0) continue;
        NameFromDirEntry(nameOut, &entry);
        return 1;
    }
    return 0;
}

int SDvalidateBin(FS_FILE* file) {
    uint8_t header[kExtMemHeaderSize];
    fseek(file, 0, 0);
    const size_t got = fread(header, 1, sizeof header, file);
    fseek(file, 0, 0);
    if (got < sizeof header) {
        pout(":SD card .BIN file too small\r");
        return 0;
    }
    const uint16_t magic = read_le16(header);
    if (magic == kExtMemOldMagic) {
        pout(":SD card .BIN file created for VOXA5; select VOXA5 PLUS in ImgPack\r");
        return 0;
    }
    if (magic != kExtMemMagic) {
        pout(":SD card .BIN file header is not valid (got 0x%04X, expected 0x%04X)\r", magic,
             kExtMemMagic);
        return 0;
    }
    const uint32_t size = read_le32(header + kSizeFieldOffset);
    if (size != file->size) {
        pout(":SD card .BIN file invalid (internal size error)\r");
        return 0;
    }
    if (size > kExtMemSize) {
        pout(":SD card .BIN file %dKB > max %dKB\r", int(size / 1024), int(kExtMemSize / 1024));
        return 0;
    }
    return 1;
}

bool SD_ReadWholeFile(FS_FILE* file, uint8_t* destination, uint32_t length) {
    if (fseek(file, 0, 0) != 0) return false;
    uint32_t done = 0;
    while (done < length) {
        // A piece never reaches past the file's end, which is length.
        const int got = freadChunk(file, destination + done);
        if (got <= 0 || uint32_t(got) > length - done) return false;
        done += uint32_t(got);
    }
    return true;
}

int SDLoadBinFileToRam(FS_FILE* file) {
    const uint32_t size = file->size;
    pout(":loading %dKB bitmap/macro file from SD card...\r", kilobytes(size));
    // The area is overwritten: an image that lies there stops being current.
    if (ExtMem_InRam()) KV_ExtMem_Init();
    if (!SD_ReadWholeFile(file, ExtMemRamBuffer, size)) {
        pout(":SD card error %d\r", SD_lastError());
        return 0;
    }
    if (!KV_Fixup_ExtMem(kExtMemRamAddress, size)) return 0;
    KV_ExtMem_UseRam();
    return 1;
}

int KV_Load_VoxaBin_To_ExtMem() {
    char name[kBinNameSize];
    if (!findVoxaBin(name)) return 0;
    FS_FILE* file = SD_fopen(name, kFsModeRead);
    if (!file) return 0;
    const int ok = SDvalidateBin(file) && SDLoadBinFileToRam(file);
    SD_fclose(file);
    return ok;
}
