#pragma once
// The checksum that protects every block of the image programs' protocols:
// CRC-16/MODBUS (polynomial 0x8005 reflected, start 0xFFFF, no final XOR),
// sent low byte first.
#include <cstddef>
#include <cstdint>

namespace vorn {

uint16_t Crc16Modbus(const uint8_t* data, size_t length);

// Writes the CRC of data[0..length) to data[length] and data[length + 1].
void AppendCrc16(uint8_t* data, size_t length);
// True when data[length] and data[length + 1] hold the CRC of data[0..length).
bool HasValidCrc16(const uint8_t* data, size_t length);

}  // namespace vorn
