// The MMU gives the firmware the module's addresses: SDRAM at 0xC0000000 and the boot flash at
// 0xC8000000 become QEMU RAM (memory_map.h), everything QEMU has is identity-mapped, and any
// other address faults. Runs from the reset handler before .data and .bss exist.
#include "arm926.h"
#include "memory_map.h"

namespace {

using namespace qemu;

// First-level section descriptor: 1 MB, domain 0, read/write at every privilege level.
constexpr uint32_t kSection = 0x2 | 1u << 4;
constexpr uint32_t kSectionAccessRw = 3u << 10;
constexpr uint32_t kSectionCacheable = 1u << 3;
constexpr uint32_t kSectionBufferable = 1u << 2;
constexpr uint32_t kDomainsClient = 0x55555555;  // permissions checked in every domain

constexpr uint32_t kControlMmu = 1u << 0;

constexpr uint32_t kPersistMagic = 0x564F5841;  // the EEPROM and Flash2 RAM hold data

void map(uint32_t* table, uint32_t virt, uint32_t phys, uint32_t size, uint32_t attributes) {
    for (uint32_t offset = 0; offset < size; offset += kMiB) {
        table[(virt + offset) >> 20] = ((phys + offset) & 0xFFF00000u) | attributes;
    }
}

void fill(uint32_t address, uint32_t size, uint32_t word) {
    for (auto* p = reinterpret_cast<volatile uint32_t*>(address); size >= 4; size -= 4) *p++ = word;
}

}  // namespace

extern "C" void board_early_init(void) {
    auto* table = reinterpret_cast<uint32_t*>(kTranslationTablePhys);
    for (uint32_t i = 0; i < 4096; ++i) table[i] = 0;  // faults

    // Caching does not change what QEMU does; the bits say what the memory is.
    const uint32_t memory = kSection | kSectionAccessRw | kSectionCacheable | kSectionBufferable;
    const uint32_t device = kSection | kSectionAccessRw;
    map(table, 0, 0, kQemuRamSize, memory);
    map(table, kDevicesPhys, kDevicesPhys, kDevicesSize, device);
    map(table, kSdramVirt, kSdramPhys, kSdramSize, memory);
    map(table, kFlashVirt, kImagePhys, kFlashImageSize, memory);
    map(table, kFlashRestVirt, kFlashRestPhys, kFlashRestSize, memory);

    asm volatile(
        "mcr p15, 0, %0, c2, c0, 0\n"  // translation table base
        "mcr p15, 0, %1, c3, c0, 0\n"  // domain access
        "mcr p15, 0, %2, c8, c7, 0\n"  // invalidate the TLBs
        :
        : "r"(table), "r"(kDomainsClient), "r"(0)
        : "memory");
    uint32_t control;
    asm volatile("mrc p15, 0, %0, c1, c0, 0" : "=r"(control));
    asm volatile("mcr p15, 0, %0, c1, c0, 0" ::"r"(control | kControlMmu) : "memory");

    // The first power-on erases the EEPROM and the Flash2 window; a reset keeps them.
    auto* marker = reinterpret_cast<volatile uint32_t*>(kPersistMarkerPhys);
    if (*marker != kPersistMagic) {
        fill(kEepromPhys, 0x10000, 0xFFFFFFFFu);
        fill(kFlashRestPhys, kFlashRestSize, 0xFFFFFFFFu);
        *marker = kPersistMagic;
    }
}
