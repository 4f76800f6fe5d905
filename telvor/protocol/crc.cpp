#include "telvor/protocol/crc.h"

#include <array>

namespace telvor {

namespace {

// Eight-way slicing tables of CRC A: table[k][v] is the CRC state change of byte v followed by k
// zero bytes.
struct CrcATables {
  std::array<std::array<uint16_t, 256>, 8> t{};
  CrcATables() {
    for (uint32_t v = 0; v < 256; ++v) {
      uint16_t c = uint16_t(v);
      for (int i = 0; i < 8; ++i) c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
      t[0][v] = c;
    }
    for (uint32_t v = 0; v < 256; ++v)
      for (int k = 1; k < 8; ++k) t[k][v] = uint16_t((t[k - 1][v] >> 8) ^ t[0][t[k - 1][v] & 0xFF]);
  }
};

const CrcATables& TablesA() {
  static const CrcATables tables;
  return tables;
}

// CRC B table: the eight steps applied to (v << 8); the low byte of the state only moves up.
struct CrcBTable {
  std::array<uint16_t, 256> t{};
  CrcBTable() {
    for (uint32_t v = 0; v < 256; ++v) {
      uint32_t x = v << 8;
      for (int i = 0; i < 8; ++i) x = (x & 0x8000) ? ((x << 1) ^ 0xA001) : (x << 1);
      t[v] = uint16_t(x);
    }
  }
};

const CrcBTable& TableB() {
  static const CrcBTable table;
  return table;
}

}  // namespace

uint16_t CrcAUpdate(uint16_t crc, std::span<const uint8_t> data) {
  const auto& t = TablesA().t;
  const uint8_t* p = data.data();
  size_t n = data.size();
  uint32_t c = crc;
  while (n >= 8) {
    c ^= uint32_t(p[0]) | (uint32_t(p[1]) << 8);
    c = t[7][c & 0xFF] ^ t[6][c >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
        t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
  return uint16_t(c);
}

uint16_t CrcA(std::span<const uint8_t> data) { return CrcAUpdate(0xFFFF, data); }

uint16_t CrcB(std::span<const uint8_t> data) {
  const auto& t = TableB().t;
  uint16_t crc = 0xFFFF;
  for (uint8_t b : data) crc = uint16_t((crc << 8) ^ t[uint8_t(b ^ (crc >> 8))]);
  return crc;
}

}  // namespace telvor
