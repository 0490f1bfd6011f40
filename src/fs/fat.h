// The firmware's FAT12/FAT16/FAT32 file system over the board's SD card sectors (internal to
// src/fs; callers use fs/file_ops.h).
//
// Limits: 512-byte sectors; clusters of 1 to 128 sectors (512 bytes to 64 KB); one or two
// FATs; volumes unpartitioned or in the first FAT partition of an MBR (types 0x01, 0x04, 0x06,
// 0x0B, 0x0C, 0x0E); 32-bit sector numbers (2 TB). Every value read from the card is checked
// against the volume before it is used, so a damaged card yields kFsErrCorrupt, never an access
// outside the volume or a buffer. All functions return an FsError.
#pragma once

#include <cstdint>

#include "fs/file_ops.h"

namespace fat {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kEntriesPerSector = kSectorSize / 32;
// Directories longer than this are taken as corrupt (FAT itself allows no more).
constexpr uint32_t kMaxDirectoryEntries = 65536;

// Where a directory entry sits on the card.
struct EntryLocation {
    uint32_t sector;
    uint16_t index;  // entry within the sector
};

// A file opened through the FAT code. The position is the caller's; the file remembers the
// cluster it was last in so that sequential access needs no walk from the start.
struct File {
    uint32_t first_cluster;
    uint32_t cluster;  // cluster number cluster_index of the file; 0 when unknown
    uint32_t cluster_index;
    uint32_t size;
    EntryLocation entry;
    bool writing;
    bool failed;  // a write went wrong; the file only closes now
    bool buffer_dirty;
    uint32_t buffer_sector;  // sector held in buffer; 0 when none
    uint8_t buffer[kSectorSize];
};

int mount();
void unmount();
bool mounted();

// The current directory (a first cluster; 0 is the fixed root of FAT12/16).
uint32_t current_directory();
// Changes the current directory along a path (see SD_chdir); unchanged on failure.
int change_directory(const char* path);

// Directory listing of the current directory: restart, then next entry (deleted and long-name
// entries skipped). next_entry gives kFsOk with an entry, kFsErrNotFound at the end.
void list_restart();
int list_next(FS_DIRENT* entry);

// Opens an existing file of the current directory for reading.
int open_read(const char name[11], File* file);
// Creates (or truncates) a file of the current directory for appending.
int open_write(const char name[11], File* file);
int read(File* file, uint32_t position, uint8_t* data, uint32_t count, uint32_t* got);
// The bytes from position to the end of its cluster (at most the rest of the file).
int read_chunk(File* file, uint32_t position, uint8_t* data, uint32_t* got);
int append(File* file, const uint8_t* data, uint32_t count);
// Writes back what a written file holds in memory and its directory entry.
int close(File* file);

int make_directory(const char name[11]);

}  // namespace fat
