#include "device/crc.h"

namespace {

// Slicing by eight: table k gives the change a byte makes to the CRC when k zero bytes follow
// it, so eight bytes are folded in with eight independent look-ups instead of a chain of eight
// dependent ones. The frame-buffer and flash checks run over megabytes; the tables (4 KB) sit
// in flash with the code.
constexpr int kSlices = 8;

struct CrcTables {
    uint16_t t[kSlices][256];
};

constexpr CrcTables make_tables() {
    CrcTables tables{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
        tables.t[0][i] = crc;
    }
    for (int k = 1; k < kSlices; ++k) {
        for (int i = 0; i < 256; ++i) {
            const uint16_t prev = tables.t[k - 1][i];
            tables.t[k][i] = uint16_t((prev >> 8) ^ tables.t[0][prev & 0xFF]);
        }
    }
    return tables;
}

constexpr CrcTables kTables = make_tables();

inline uint16_t crc_byte(uint16_t crc, uint8_t byte) {
    return uint16_t((crc >> 8) ^ kTables.t[0][(crc ^ byte) & 0xFF]);
}

}  // namespace

uint16_t CalcCRCUpdate(uint16_t crc, const uint8_t* data, size_t length) {
    const auto& t = kTables.t;
    while (length >= kSlices) {
        // The 16-bit CRC only reaches into the first two bytes of the block; the other six
        // enter on their own.
        const uint8_t b0 = uint8_t(data[0] ^ (crc & 0xFF));
        const uint8_t b1 = uint8_t(data[1] ^ (crc >> 8));
        crc = uint16_t(t[7][b0] ^ t[6][b1] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^
                       t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
        data += kSlices;
        length -= kSlices;
    }
    while (length--) crc = crc_byte(crc, *data++);
    return crc;
}

uint16_t CalcCRC(const uint8_t* data, size_t length) {
    return CalcCRCUpdate(0xFFFF, data, length);
}
