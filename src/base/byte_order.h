// Little-endian fields of files and records, read byte by byte: no alignment is assumed and the
// result is the same on any host.
#pragma once

#include <cstdint>

inline uint16_t read_le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
