// Device register access.
#pragma once

#include <cstdint>

namespace qemu {

inline uint32_t read32(uint32_t address) {
    return *reinterpret_cast<volatile uint32_t*>(address);
}
inline void write32(uint32_t address, uint32_t value) {
    *reinterpret_cast<volatile uint32_t*>(address) = value;
}

}  // namespace qemu
