// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF), used for checked command
// lines and the memory check commands.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC of length bytes at data; an empty input gives 0xFFFF.
uint16_t CalcCRC(const uint8_t* data, size_t length);
// Continues a CRC over more bytes (start with 0xFFFF).
uint16_t CalcCRCUpdate(uint16_t crc, const uint8_t* data, size_t length);
