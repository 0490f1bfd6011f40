// A host folder shown to the firmware as an SD card: the file-system driver that the simulated
// board offers through board_fs_driver() while such a card is in the slot.
//
// The firmware sees what a FAT card holding the same files would show: 8.3 names (names that
// already are 8.3 in upper case; others get a "~N" alias as a PC would give them), 32-byte FAT
// directory entries, "." and ".." at the top of every subdirectory. Host names starting with a
// dot are host artefacts and are not shown. Files the firmware creates are named with their 8.3
// name in upper case; every write goes to the host file at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/board.h"
#include "fs/fs_driver.h"

namespace sim {

class HostFolder {
  public:
    static constexpr int kMaxHandles = 8;

    // A new card: the root is path, nothing open.
    void attach(const std::string& path);
    void detach();
    bool attached() const { return !root_.empty(); }

    FsDriverStatus open(const char* name, bool create, int* handle, uint32_t* size);
    FsDriverStatus read(int handle, uint32_t offset, uint8_t* data, uint32_t count, uint32_t* got);
    FsDriverStatus write(int handle, uint32_t offset, const uint8_t* data, uint32_t count);
    FsDriverStatus close(int handle);
    FsDriverStatus chdir(const char* name);
    FsDriverStatus mkdir(const char* name);
    FsDriverStatus dir_entry(uint32_t index, uint8_t entry[32]);
    void reset();

    // The 8.3 name (11 bytes, blank-padded) a FAT card would show for each of these host names,
    // in the same order. Exposed for tests.
    static std::vector<std::string> short_names(const std::vector<std::string>& host_names);

  private:
    struct Entry {
        std::string short11;  // 11 bytes, blank-padded, upper case
        std::string host;     // name in the host folder; empty for "." and ".."
        bool directory;
        uint32_t size;
    };

    std::string cwd_path() const;
    void rescan();
    const Entry* find(const char* name83);

    std::string root_;
    std::vector<std::string> cwd_;  // host names of the directories below the root
    std::vector<Entry> listing_;
    int fds_[kMaxHandles] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

// The driver table that forwards to the host folder of this process's machine.
const BoardFsDriver& host_folder_driver();

}  // namespace sim
