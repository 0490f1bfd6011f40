// The Flash2 window of the simulated board: kFlash2Size bytes mapped read-only, so that the
// firmware reads them in place and a stray write through the pointer faults, as a write cycle
// to NOR flash never silently changes what it reads.
//
// The window's content is a file holding the window from offset 0. A file shorter than the
// window leaves the rest erased: those pages map a small shared block of 0xFF again and again,
// so that a new module costs no 28 MB file. The file's size is a whole number of sectors, so
// no mapped byte lies past its end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Maps the window over the file fd (its size a multiple of the page size and at most the
// window's). at: a window mapped earlier, replaced in place so that the firmware's pointer stays
// valid; nullptr maps a new one. Returns the window, or nullptr with errno set.
const uint8_t* map_flash_window(int fd, const uint8_t* at = nullptr);
void unmap_flash_window(const uint8_t* window);

// The file size that holds size bytes of content: whole sectors (the tail padded with 0xFF).
constexpr size_t flash_file_size(size_t size, size_t sector) {
    return (size + sector - 1) / sector * sector;
}

}  // namespace sim
