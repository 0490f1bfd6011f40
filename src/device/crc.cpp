#include "device/crc.h"

namespace {

// The byte-wise form with separate high and low tables, as the board's firmware has always
// computed it: one table look-up per byte, no shifting loop.
struct CrcTables {
    uint8_t hi[256];
    uint8_t lo[256];
};

constexpr CrcTables make_tables() {
    CrcTables t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
        t.hi[i] = uint8_t(crc >> 8);
        t.lo[i] = uint8_t(crc & 0xFF);
    }
    return t;
}

constexpr CrcTables kTables = make_tables();

}  // namespace

uint16_t CalcCRCUpdate(uint16_t crc, const uint8_t* data, size_t length) {
    uint8_t hi = uint8_t(crc >> 8);
    uint8_t lo = uint8_t(crc & 0xFF);
    for (size_t i = 0; i < length; ++i) {
        const uint8_t index = uint8_t(lo ^ data[i]);
        lo = uint8_t(hi ^ kTables.lo[index]);
        hi = kTables.hi[index];
    }
    return uint16_t((hi << 8) | lo);
}

uint16_t CalcCRC(const uint8_t* data, size_t length) {
    return CalcCRCUpdate(0xFFFF, data, length);
}
