// The file operations of the SD card: 8.3 names in the current directory, one file open at a
// time. Every caller checks SDisInitialized() first; without a mounted card every operation
// fails with kFsErrNoCard.
//
// The operations work the same on both kinds of card: the firmware's own FAT12/16/32 over the
// board's sector device, or a file system the board offers itself (board_fs_driver()).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kFsModeRead = 1;  // SD_fopen: the only mode it takes

// The largest piece freadChunk hands out: one cluster of the largest supported size.
constexpr uint32_t kFsMaxChunk = 64 * 1024;

// Last error codes (SD_lastError), reported to the host as ":SD card error %d\r".
enum FsError : int {
    kFsOk = 0,
    kFsErrNoCard = 1,        // no card mounted
    kFsErrRead = 2,          // a sector read failed
    kFsErrWrite = 3,         // a sector write failed
    kFsErrNotFound = 4,      // no such file or directory
    kFsErrBadName = 5,       // not an 8.3 name
    kFsErrIsDirectory = 6,   // a directory where a file was expected
    kFsErrNotDirectory = 7,  // a file where a directory was expected
    kFsErrTooManyOpen = 8,   // the one file handle is in use
    kFsErrDiskFull = 9,      // no free cluster left
    kFsErrDirFull = 10,      // no free entry left in the directory
    kFsErrCorrupt = 11,      // a structure on the card points outside the volume
    kFsErrUnsupported = 12,  // no FAT volume the firmware can mount
    kFsErrBadMode = 13,      // operation not allowed for how the file was opened
    kFsErrReadOnly = 14,     // the entry is read-only (or a volume label)
    kFsErrExists = 15,       // SD_mkdir of a name that exists
    kFsErrBadArgument = 16,  // null file, offset out of range, ...
};

// An open file. Only size and position are for the callers; the rest belongs to the file layer.
struct FS_FILE {
    uint32_t size;      // bytes in the file (grows while writing)
    uint32_t position;  // offset of the next byte read or written
    uint8_t mode;       // 0 closed, else how it was opened
    uint8_t slot;
};

// A directory entry exactly as a FAT directory stores it (32 bytes, little-endian fields).
struct FS_DIRENT {
    char name[8];  // blank-padded; 0x05 in the first byte stands for 0xE5
    char ext[3];
    uint8_t attr;
    uint8_t ntReserved;
    uint8_t createTenths;
    uint8_t createTime[2];
    uint8_t createDate[2];
    uint8_t accessDate[2];
    uint8_t clusterHigh[2];
    uint8_t writeTime[2];
    uint8_t writeDate[2];
    uint8_t clusterLow[2];
    uint8_t fileSize[4];
};
static_assert(sizeof(FS_DIRENT) == 32);

constexpr uint8_t kFsAttrReadOnly = 0x01;
constexpr uint8_t kFsAttrHidden = 0x02;
constexpr uint8_t kFsAttrSystem = 0x04;
constexpr uint8_t kFsAttrVolume = 0x08;
constexpr uint8_t kFsAttrDirectory = 0x10;
constexpr uint8_t kFsAttrArchive = 0x20;
constexpr uint8_t kFsAttrLongName = 0x0F;

uint32_t FS_DirEntrySize(const FS_DIRENT* entry);

// Opens a file of the current directory for reading (mode kFsModeRead). Null when it does not
// exist, is a directory, the name is not 8.3, or a file is already open.
FS_FILE* SD_fopen(const char* name, int mode);
// Creates a file for writing, or truncates it when it exists (mode is ignored). Null on
// failure. Writing only appends.
FS_FILE* fcreate(const char* name, int mode);
// Closes the file; for a written file, the data, the directory entry and the FAT are on the
// card when it returns. 0 on success, -1 when something could not be written. A null file is
// ignored (0).
int SD_fclose(FS_FILE* file);

// Reads up to size x count bytes; returns the number of whole items read.
size_t fread(void* buffer, size_t size, size_t count, FS_FILE* file);
// Copies the next piece of the file (the rest of the current cluster, at most kFsMaxChunk
// bytes, never more than is left) to destination; returns its length, or -1 at the end of the
// file or on an error (SD_lastError tells which).
int freadChunk(FS_FILE* file, uint8_t* destination);
// Positions a file opened for reading: origin 0 from the start, 1 from the position, 2 from
// the end; the result must lie within the file. 0 on success, -1 otherwise.
int fseek(FS_FILE* file, long offset, int origin);
// Appends one byte; returns it, or -1 on failure.
int fputc_(int byte, FS_FILE* file);
// Appends size x count bytes; returns the number of whole items written.
size_t fwrite(const void* buffer, size_t size, size_t count, FS_FILE* file);

// Changes the current directory: ".", "..", a name, or a path of names separated by "/" (a
// leading "/" starts at the root). The current directory stays unchanged when any part fails.
// 0 on success, -1 on failure. (Not called chdir: that name belongs to the host's C library in
// the simulator and the tests.)
int SD_chdir(const char* path);
// Creates a directory in the current directory. 0 on success, -1 on failure.
int SD_mkdir(const char* name);

// next = 0: the first entry of the current directory; 1: the following one. Deleted entries,
// long-name entries and the end marker are skipped. 1 while an entry was returned, 0 at the
// end (or on an error).
int read_directory_entry(FS_DIRENT* entry, int next);
// The entry's name as "NAME.EXT" ("NAME." when the extension is blank); name must hold 13
// bytes.
void NameFromDirEntry(char* name, const FS_DIRENT* entry);

// The last error of the file layer (an FsError value).
int SD_lastError();

// File-layer state at power-on: nothing mounted, nothing open.
void FS_Init();
// Mounts the card in the slot (sd_card_init must have succeeded); 1 on success. The current
// directory becomes the root.
int FS_Mount();
// Forgets the card: open files are dropped, nothing is written any more.
void FS_Unmount();
