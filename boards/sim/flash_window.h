// The Flash2 window of the simulated board: kFlash2Size bytes mapped read-only, so that the
// firmware reads them in place and a stray write through the pointer faults, as a write cycle
// to NOR flash never silently changes what it reads.
//
// The window's content is a file holding the window from offset 0. A file shorter than the
// window leaves the rest erased: those pages map a small shared block of 0xFF again and again,
// so that a new module costs no 28 MB file. The file's size is a whole number of sectors, so
// no mapped byte lies past its end.
//
// The board (never the firmware through the pointer) erases and programs the window with NOR
// semantics: programming only clears bits, erasing sets a whole sector to 0xFF. Programming a
// sector beyond the file's end grows the file by whole erased sectors and maps the new part over
// the shared erased block at the same addresses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Maps the window over the file fd (its size a multiple of the page size and at most the
// window's). at: a window mapped earlier, replaced in place so that the firmware's pointer stays
// valid; nullptr maps a new one. Returns the window, or nullptr with errno set.
const uint8_t* map_flash_window(int fd, const uint8_t* at = nullptr);
void unmap_flash_window(const uint8_t* window);

// Sets the sector that holds offset (which must lie in the window) to 0xFF. A sector beyond the
// file already reads erased and stays so. False (errno set) when the file cannot be written.
bool flash_erase_sector(int fd, uint32_t offset);
// Programs length bytes at offset (the range must lie in the window): every byte becomes
// old & data. Grows the file first when the range reaches beyond it. False (errno set) when the
// file cannot be grown, mapped or written; what was stored before the failure stays.
bool flash_program(int fd, const uint8_t* window, uint32_t offset, const uint8_t* data,
                   uint32_t length);

// The file size that holds size bytes of content: whole sectors (the tail padded with 0xFF).
constexpr size_t flash_file_size(size_t size, size_t sector) {
    return (size + sector - 1) / sector * sector;
}

}  // namespace sim
