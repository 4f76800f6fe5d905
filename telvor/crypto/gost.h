// GOST 28147-89 block cipher: the round, full (32 rounds, 256-bit key) and short (8 rounds,
// 64-bit key) block encryption and decryption, and electronic-codebook runs over many blocks.
//
// A block is 8 bytes read as two little-endian words, N1 from bytes 0..3 and N2 from bytes 4..7.
// A full key is 32 bytes used as eight little-endian words K0..K7; a short key is 8 bytes, K0 and
// K1. The substitution table is a parameter: GostTables expands any eight-row S-box into four
// 256-entry tables that fold in the 11-bit rotation, so one round costs four table loads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace telvor {

// Eight rows of sixteen 4-bit values. Row 0 substitutes bits 0..3 of the round sum, row 7 bits
// 28..31; the column is the input nibble.
using GostSbox = std::array<std::array<uint8_t, 16>, 8>;

using GostFullKey = std::array<uint8_t, 32>;
using GostShortKey = std::array<uint8_t, 8>;

// The substitution table of this system.
extern const GostSbox kGostSystemSbox;

// Round tables expanded from an S-box: entry j[b] is the substitution of byte b at byte position
// j of the round sum, already rotated left by 11 bits. Every result equals the nibble-wise S-box.
class GostTables {
 public:
  explicit GostTables(const GostSbox& sbox);

  // f(x) = rotl11(S(x)), the round function without the key addition.
  uint32_t Substitute(uint32_t x) const {
    return t_[0][x & 0xFF] ^ t_[1][(x >> 8) & 0xFF] ^ t_[2][(x >> 16) & 0xFF] ^ t_[3][x >> 24];
  }
  const std::array<std::array<uint32_t, 256>, 4>& Tables() const { return t_; }
  // The S-box as two 64-byte tables indexed by (byte position << 4 | nibble): [0] the low nibble
  // of each byte of the round sum, [1] the high nibble, already shifted up by 4.
  const std::array<std::array<uint8_t, 64>, 2>& NibbleTables() const { return nibbles_; }

 private:
  alignas(64) std::array<std::array<uint32_t, 256>, 4> t_;
  alignas(64) std::array<std::array<uint8_t, 64>, 2> nibbles_;
};

// The tables of kGostSystemSbox, built once on first use (thread-safe).
const GostTables& GostSystemTables();

// Key words of a full key (K0..K7) or of a short key (K0, K1).
struct GostKeyWords {
  uint32_t k[8];
  static GostKeyWords FromFull(const uint8_t* key32);
  static GostKeyWords FromShort(const uint8_t* key8);  // k[0], k[1]; the rest zero
};

// One round in place: N1 + keyWord mod 2^32, substituted, rotated left by 11, XORed with N2;
// the result becomes N1 and the old N1 becomes N2.
struct GostHalves {
  uint32_t n1;
  uint32_t n2;
};
void GostRound(GostHalves& block, uint32_t keyWord, const GostTables& tables = GostSystemTables());

// Full encryption / decryption of `blocks` 8-byte blocks in place (ECB: each block alone).
// Encryption: K0..K7 three times, then K7..K0, then the halves exchanged. Decryption: K0..K7,
// then K7..K0 three times, then the halves exchanged. Several blocks are kept in flight at once.
void GostEncryptEcb(uint8_t* data, size_t blocks, const GostKeyWords& key,
                    const GostTables& tables = GostSystemTables());
void GostDecryptEcb(uint8_t* data, size_t blocks, const GostKeyWords& key,
                    const GostTables& tables = GostSystemTables());

// Short variant, 8 rounds: encryption K0 K1 K0 K1 K0 K1 K1 K0, decryption K0 K1 K1 K0 K1 K0 K1 K0,
// each followed by the exchange of the halves.
void GostEncryptEcbShort(uint8_t* data, size_t blocks, const GostKeyWords& key,
                         const GostTables& tables = GostSystemTables());
void GostDecryptEcbShort(uint8_t* data, size_t blocks, const GostKeyWords& key,
                         const GostTables& tables = GostSystemTables());

}  // namespace telvor
