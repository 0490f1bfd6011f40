// Where the module's memory lies in QEMU's 256 MB of RAM (physical addresses), and the virtual
// addresses the MMU gives it. The firmware uses the module's addresses (SDRAM at 0xC0000000,
// boot flash at 0xC8000000); the image and its RAM run identity-mapped.
#pragma once

#include <cstdint>

namespace qemu {

constexpr uint32_t kMiB = 0x100000;

// The image as linked (vectors at 0): the module's boot and program areas.
constexpr uint32_t kImagePhys = 0x00000000;
constexpr uint32_t kImageSize = 4 * kMiB;
// .data, .bss and the stacks follow, up to kSdramPhys (the linker script checks).
constexpr uint32_t kRamPhys = 0x00400000;

// The module's 64 MB SDRAM: the external-memory area and the frame buffer live in it.
constexpr uint32_t kSdramVirt = 0xC0000000;
constexpr uint32_t kSdramPhys = 0x04000000;
constexpr uint32_t kSdramSize = 64 * kMiB;

// The boot flash: its first 4 MB are the image itself, the rest (the Flash2 window) is RAM of
// its own, so that erasing and programming act on something that reads back.
constexpr uint32_t kFlashVirt = 0xC8000000;
constexpr uint32_t kFlashImageSize = 4 * kMiB;
constexpr uint32_t kFlashRestVirt = kFlashVirt + kFlashImageSize;
constexpr uint32_t kFlashRestPhys = 0x08400000;
constexpr uint32_t kFlashRestSize = 28 * kMiB;

// Kept outside anything the ELF loader or the start-up code writes, so that a reset of the
// machine (reset_cpu) leaves the EEPROM and the Flash2 contents as they were.
constexpr uint32_t kEepromPhys = 0x0A000000;
constexpr uint32_t kPersistMarkerPhys = 0x0A010000;
// The first-level translation table (16 KB, aligned to 16 KB).
constexpr uint32_t kTranslationTablePhys = 0x0A100000;

// QEMU's RAM (-m 256) and the devices, identity-mapped.
constexpr uint32_t kQemuRamSize = 256 * kMiB;
constexpr uint32_t kDevicesPhys = 0x10000000;
constexpr uint32_t kDevicesSize = 2 * kMiB;

// The frame buffer at the module's address, and where the LCD controller fetches it.
constexpr uint32_t kFrameBufferVirt = 0xC3E00000;
constexpr uint32_t kFrameBufferPhys = kFrameBufferVirt - kSdramVirt + kSdramPhys;

}  // namespace qemu
