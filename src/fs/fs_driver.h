// The file-system driver a board may supply in place of a block device (board_fs_driver() in
// device/board.h): the card then is a file system the board keeps itself, such as the simulator's
// host folder, and the file layer (file_ops.cpp) calls these operations instead of its FAT code.
//
// Names are 8.3 names as the file layer validated them (upper case, "NAME.EXT"); directory
// entries come back as 32-byte FAT directory entries, so the card looks exactly like a FAT card
// to everything above the file layer.
#pragma once

#include <cstdint>

enum class FsDriverStatus : int {
    kOk = 0,
    kNotFound,      // no such name in the current directory
    kIoError,       // the host refused the operation
    kIsDirectory,   // a directory where a file was asked for
    kNotDirectory,  // a file where a directory was asked for
    kExists,        // mkdir of a name that exists
    kEndOfDirectory,
};
struct BoardFsDriver {
    // Opens a file of the current directory; create: create it, or truncate it if it exists.
    // On success *handle and *size are set.
    FsDriverStatus (*open)(const char* name, bool create, int* handle, uint32_t* size);
    // Reads up to count bytes at offset; *got tells how many (fewer only at the end).
    FsDriverStatus (*read)(int handle, uint32_t offset, uint8_t* data, uint32_t count,
                           uint32_t* got);
    FsDriverStatus (*write)(int handle, uint32_t offset, const uint8_t* data, uint32_t count);
    FsDriverStatus (*close)(int handle);
    // A path of components ("." , ".." or a name) separated by "/", a leading "/" starting at
    // the root. The current directory changes only when every component resolves.
    FsDriverStatus (*chdir)(const char* path);
    FsDriverStatus (*mkdir)(const char* name);
    // The index-th entry of the current directory (0 rescans it).
    FsDriverStatus (*dir_entry)(uint32_t index, uint8_t entry[32]);
    // Back to the root directory, all handles closed (a new card).
    void (*reset)();
};
