#include "image/crc16.h"

namespace vorn {

uint16_t Crc16Modbus(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

void AppendCrc16(uint8_t* data, size_t length) {
  const uint16_t crc = Crc16Modbus(data, length);
  data[length] = static_cast<uint8_t>(crc & 0xFF);
  data[length + 1] = static_cast<uint8_t>(crc >> 8);
}

bool HasValidCrc16(const uint8_t* data, size_t length) {
  const uint16_t crc = Crc16Modbus(data, length);
  return data[length] == (crc & 0xFF) && data[length + 1] == (crc >> 8);
}

}  // namespace vorn
