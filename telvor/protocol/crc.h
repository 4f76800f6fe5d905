// The two 16-bit checksums of the wire protocol.
#pragma once

#include <cstdint>
#include <span>

namespace telvor {

// CRC A (CRC-16/MODBUS): initial 0xFFFF, reflected polynomial 0xA001, no final XOR.
// "123456789" gives 0x4B37. Written to packets high byte first.
uint16_t CrcA(std::span<const uint8_t> data);
// Continues a CRC A over more bytes; CrcA(x) == CrcAUpdate(0xFFFF, x).
uint16_t CrcAUpdate(uint16_t crc, std::span<const uint8_t> data);

// CRC B: initial 0xFFFF; per byte x = (b << 8) ^ crc, then eight steps of "shift left by one,
// XOR 0xA001 when bit 15 was set", low 16 bits kept. "123456789" gives 0xCF32. Written low byte
// first.
uint16_t CrcB(std::span<const uint8_t> data);

}  // namespace telvor
