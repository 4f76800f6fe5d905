#include "telvor/crypto/gost.h"

#include <cstring>

#include "telvor/crypto/gost_engines.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TELVOR_GOST_AVX512 1  // the x86-64 vector engines
#if !defined(__clang__)
// GCC 12 warns inside its own AVX-512 headers about the undefined source of unmasked intrinsics.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace telvor {

const GostSbox kGostSystemSbox = {{
    {6, 3, 14, 0, 11, 15, 5, 1, 12, 9, 2, 13, 8, 10, 7, 4},
    {1, 5, 8, 4, 14, 10, 2, 0, 7, 6, 13, 9, 11, 12, 15, 3},
    {11, 12, 6, 7, 8, 3, 10, 2, 1, 0, 13, 15, 4, 14, 5, 9},
    {7, 5, 11, 6, 10, 1, 8, 4, 2, 3, 13, 14, 15, 12, 9, 0},
    {8, 13, 10, 11, 14, 3, 4, 12, 2, 5, 7, 6, 9, 0, 15, 1},
    {7, 0, 12, 5, 10, 3, 2, 4, 9, 14, 6, 15, 8, 1, 13, 11},
    {13, 10, 14, 8, 0, 2, 9, 12, 15, 7, 11, 1, 4, 3, 5, 6},
    {11, 6, 1, 3, 12, 13, 2, 8, 0, 14, 9, 7, 5, 10, 4, 15},
}};

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Key word order of the four block operations.
constexpr uint8_t kEncryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                       0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr uint8_t kDecryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                       7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr uint8_t kShortEncryptOrder[8] = {0, 1, 0, 1, 0, 1, 1, 0};
constexpr uint8_t kShortDecryptOrder[8] = {0, 1, 1, 0, 1, 0, 1, 0};

// Key words in the order the rounds use them.
struct Schedule {
  uint32_t k[32];
  size_t rounds;
};

Schedule MakeSchedule(const GostKeyWords& key, GostDirection direction, bool shortVariant) {
  Schedule s{};
  const uint8_t* order = shortVariant
                             ? (direction == GostDirection::kEncrypt ? kShortEncryptOrder
                                                                     : kShortDecryptOrder)
                             : (direction == GostDirection::kEncrypt ? kEncryptOrder : kDecryptOrder);
  s.rounds = shortVariant ? 8 : 32;
  for (size_t i = 0; i < s.rounds; ++i) s.k[i] = key.k[order[i]];
  return s;
}

// ---- Portable engine ------------------------------------------------------------------------
// The four tables lie back to back, so one base register addresses all of them.
#define TELVOR_GOST_ROUND(n1, n2, k)                                                \
  do {                                                                              \
    const uint64_t x_ = uint32_t((n1) + (k));                                              \
    (n2) ^= t[size_t(x_ & 0xFF)] ^ t[size_t((x_ >> 8) & 0xFF) + 256] ^              \
            t[size_t((x_ >> 16) & 0xFF) + 512] ^ t[size_t(x_ >> 24) + 768];         \
  } while (0)

// One block. The round count is even, so after the loop a holds the last N1 and b the last N2;
// the halves are written exchanged.
void PortableOne(uint8_t* data, const Schedule& s, const uint32_t* t) {
  uint32_t a = LoadLe32(data), b = LoadLe32(data + 4);
  for (size_t r = 0; r < s.rounds; r += 2) {
    TELVOR_GOST_ROUND(a, b, s.k[r]);
    TELVOR_GOST_ROUND(b, a, s.k[r + 1]);
  }
  StoreLe32(data, b);
  StoreLe32(data + 4, a);
}

// Four independent blocks interleaved, so that their table loads overlap.
void PortableFour(uint8_t* data, const Schedule& s, const uint32_t* t) {
  uint32_t a0 = LoadLe32(data), b0 = LoadLe32(data + 4);
  uint32_t a1 = LoadLe32(data + 8), b1 = LoadLe32(data + 12);
  uint32_t a2 = LoadLe32(data + 16), b2 = LoadLe32(data + 20);
  uint32_t a3 = LoadLe32(data + 24), b3 = LoadLe32(data + 28);
  for (size_t r = 0; r < s.rounds; r += 2) {
    const uint32_t k0 = s.k[r], k1 = s.k[r + 1];
    TELVOR_GOST_ROUND(a0, b0, k0);
    TELVOR_GOST_ROUND(a1, b1, k0);
    TELVOR_GOST_ROUND(a2, b2, k0);
    TELVOR_GOST_ROUND(a3, b3, k0);
    TELVOR_GOST_ROUND(b0, a0, k1);
    TELVOR_GOST_ROUND(b1, a1, k1);
    TELVOR_GOST_ROUND(b2, a2, k1);
    TELVOR_GOST_ROUND(b3, a3, k1);
  }
  StoreLe32(data, b0);
  StoreLe32(data + 4, a0);
  StoreLe32(data + 8, b1);
  StoreLe32(data + 12, a1);
  StoreLe32(data + 16, b2);
  StoreLe32(data + 20, a2);
  StoreLe32(data + 24, b3);
  StoreLe32(data + 28, a3);
}

void PortableEcb(uint8_t* data, size_t blocks, const Schedule& s, const GostTables& tables) {
  const uint32_t* t = tables.Tables()[0].data();
  for (; blocks >= 4; blocks -= 4, data += 32) PortableFour(data, s, t);
  for (; blocks > 0; --blocks, data += 8) PortableOne(data, s, t);
}

// ---- AVX-512 engine -------------------------------------------------------------------------
#ifdef TELVOR_GOST_AVX512
#define TELVOR_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Sixteen blocks per pair of registers: N1 words of blocks 0..15 in one, N2 words in the other.
// Substitution of a round sum x: the low nibbles of every byte, tagged with their byte position
// (bits 4 and 5), index a 64-byte table through a byte permute; the high nibbles likewise; the
// two results are joined and rotated by 11.
template <int G>
TELVOR_AVX512_TARGET inline void Avx512Groups(uint8_t* data, const Schedule& s, __m512i lo,
                                              __m512i hi) {
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  const __m512i position = _mm512_set1_epi32(0x30201000);
  const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i odd = _mm512_set_epi32(31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
  const __m512i joinLow = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
  const __m512i joinHigh =
      _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
  __m512i a[G], b[G];
  for (int g = 0; g < G; ++g) {
    const __m512i v0 = _mm512_loadu_si512(data + 128 * g);
    const __m512i v1 = _mm512_loadu_si512(data + 128 * g + 64);
    a[g] = _mm512_permutex2var_epi32(v0, even, v1);
    b[g] = _mm512_permutex2var_epi32(v0, odd, v1);
  }
  for (size_t r = 0; r < s.rounds; ++r) {
    const __m512i k = _mm512_set1_epi32(int(s.k[r]));
    for (int g = 0; g < G; ++g) {
      const __m512i x = _mm512_add_epi32(a[g], k);
      const __m512i il = _mm512_ternarylogic_epi32(x, nibble, position, 0xEA);
      const __m512i ih = _mm512_ternarylogic_epi32(_mm512_srli_epi32(x, 4), nibble, position, 0xEA);
      const __m512i sub = _mm512_or_si512(_mm512_permutexvar_epi8(il, lo),
                                          _mm512_permutexvar_epi8(ih, hi));
      const __m512i n1 = _mm512_xor_si512(b[g], _mm512_rol_epi32(sub, 11));
      b[g] = a[g];
      a[g] = n1;
    }
  }
  // Halves exchanged on the way out: N2 first, then N1.
  for (int g = 0; g < G; ++g) {
    _mm512_storeu_si512(data + 128 * g, _mm512_permutex2var_epi32(b[g], joinLow, a[g]));
    _mm512_storeu_si512(data + 128 * g + 64, _mm512_permutex2var_epi32(b[g], joinHigh, a[g]));
  }
}

TELVOR_AVX512_TARGET void Avx512Ecb(uint8_t* data, size_t blocks, const Schedule& s,
                                    const GostTables& tables) {
  const __m512i lo = _mm512_loadu_si512(tables.NibbleTables()[0].data());
  const __m512i hi = _mm512_loadu_si512(tables.NibbleTables()[1].data());
  for (; blocks >= 32; blocks -= 32, data += 256) Avx512Groups<2>(data, s, lo, hi);
  for (; blocks >= 16; blocks -= 16, data += 128) Avx512Groups<1>(data, s, lo, hi);
  if (blocks > 0) {
    // The last few blocks go through a scratch group of sixteen.
    alignas(64) uint8_t scratch[128] = {};
    std::memcpy(scratch, data, blocks * 8);
    Avx512Groups<1>(scratch, s, lo, hi);
    std::memcpy(data, scratch, blocks * 8);
  }
}

#define TELVOR_AVX2_TARGET __attribute__((target("avx2")))

// Eight blocks per pair of registers. The byte shuffle looks up sixteen entries, the same table
// for every byte, so each of the eight S-box rows is looked up with the bytes of the other three
// positions switched off (index bit 7 set), and the eight results are joined.
template <int G>
TELVOR_AVX2_TARGET inline void Avx2Groups(uint8_t* data, const Schedule& s, const __m256i* rows) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i off[4] = {_mm256_set1_epi32(int(0x80808000u)), _mm256_set1_epi32(int(0x80800080u)),
                          _mm256_set1_epi32(int(0x80008080u)), _mm256_set1_epi32(int(0x00808080u))};
  const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  __m256i a[G], b[G];
  for (int g = 0; g < G; ++g) {
    const __m256i v0 = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * g)), split);
    const __m256i v1 = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 64 * g + 32)), split);
    a[g] = _mm256_permute2x128_si256(v0, v1, 0x20);
    b[g] = _mm256_permute2x128_si256(v0, v1, 0x31);
  }
  for (size_t r = 0; r < s.rounds; ++r) {
    const __m256i k = _mm256_set1_epi32(int(s.k[r]));
    for (int g = 0; g < G; ++g) {
      const __m256i x = _mm256_add_epi32(a[g], k);
      const __m256i lo = _mm256_and_si256(x, nibble);
      const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(x, 4), nibble);
      __m256i sub = _mm256_or_si256(_mm256_shuffle_epi8(rows[0], _mm256_or_si256(lo, off[0])),
                                    _mm256_shuffle_epi8(rows[1], _mm256_or_si256(hi, off[0])));
      for (int j = 1; j < 4; ++j) {
        sub = _mm256_or_si256(sub, _mm256_shuffle_epi8(rows[2 * j], _mm256_or_si256(lo, off[j])));
        sub = _mm256_or_si256(sub, _mm256_shuffle_epi8(rows[2 * j + 1], _mm256_or_si256(hi, off[j])));
      }
      const __m256i rotated = _mm256_or_si256(_mm256_slli_epi32(sub, 11), _mm256_srli_epi32(sub, 21));
      const __m256i n1 = _mm256_xor_si256(b[g], rotated);
      b[g] = a[g];
      a[g] = n1;
    }
  }
  // Halves exchanged on the way out: N2 first, then N1.
  for (int g = 0; g < G; ++g) {
    const __m256i lo = _mm256_unpacklo_epi32(b[g], a[g]);
    const __m256i hi = _mm256_unpackhi_epi32(b[g], a[g]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(data + 64 * g), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(data + 64 * g + 32),
                        _mm256_permute2x128_si256(lo, hi, 0x31));
  }
}

TELVOR_AVX2_TARGET void Avx2Ecb(uint8_t* data, size_t blocks, const Schedule& s,
                                const GostTables& tables) {
  // Row 2j: the low nibble of byte j; row 2j + 1: its high nibble, shifted up by 4.
  __m256i rows[8];
  for (int j = 0; j < 4; ++j) {
    rows[2 * j] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.NibbleTables()[0].data() + 16 * j)));
    rows[2 * j + 1] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.NibbleTables()[1].data() + 16 * j)));
  }
  for (; blocks >= 16; blocks -= 16, data += 128) Avx2Groups<2>(data, s, rows);
  for (; blocks >= 8; blocks -= 8, data += 64) Avx2Groups<1>(data, s, rows);
  if (blocks > 0) {
    alignas(32) uint8_t scratch[64] = {};
    std::memcpy(scratch, data, blocks * 8);
    Avx2Groups<1>(scratch, s, rows);
    std::memcpy(data, scratch, blocks * 8);
  }
}

bool Avx2Supported() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

bool Avx512Supported() {
  static const bool supported = __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi");
  return supported;
}
#endif

void RunEcb(GostEngine engine, uint8_t* data, size_t blocks, const Schedule& s,
            const GostTables& tables) {
#ifdef TELVOR_GOST_AVX512
  if (engine == GostEngine::kAvx512) {
    Avx512Ecb(data, blocks, s, tables);
    return;
  }
  if (engine == GostEngine::kAvx2) {
    Avx2Ecb(data, blocks, s, tables);
    return;
  }
#endif
  (void)engine;
  PortableEcb(data, blocks, s, tables);
}

}  // namespace

GostTables::GostTables(const GostSbox& sbox) {
  for (int j = 0; j < 4; ++j) {
    for (uint32_t v = 0; v < 256; ++v) {
      const uint32_t sub = uint32_t(sbox[2 * j][v & 0x0F]) | (uint32_t(sbox[2 * j + 1][v >> 4]) << 4);
      t_[j][v] = Rotl(sub << (8 * j), 11);
    }
    for (uint32_t v = 0; v < 16; ++v) {
      nibbles_[0][16 * j + v] = uint8_t(sbox[2 * j][v] & 0x0F);
      nibbles_[1][16 * j + v] = uint8_t((sbox[2 * j + 1][v] & 0x0F) << 4);
    }
  }
}

const GostTables& GostSystemTables() {
  static const GostTables tables(kGostSystemSbox);
  return tables;
}

GostKeyWords GostKeyWords::FromFull(const uint8_t* key32) {
  GostKeyWords w{};
  for (int i = 0; i < 8; ++i) w.k[i] = LoadLe32(key32 + 4 * i);
  return w;
}

GostKeyWords GostKeyWords::FromShort(const uint8_t* key8) {
  GostKeyWords w{};
  w.k[0] = LoadLe32(key8);
  w.k[1] = LoadLe32(key8 + 4);
  return w;
}

void GostRound(GostHalves& block, uint32_t keyWord, const GostTables& tables) {
  const uint32_t n1 = tables.Substitute(block.n1 + keyWord) ^ block.n2;
  block.n2 = block.n1;
  block.n1 = n1;
}

bool GostEngineAvailable(GostEngine engine) {
  switch (engine) {
    case GostEngine::kPortable:
      return true;
    case GostEngine::kAvx512:
#ifdef TELVOR_GOST_AVX512
      return Avx512Supported();
#else
      return false;
#endif
    case GostEngine::kAvx2:
#ifdef TELVOR_GOST_AVX512
      return Avx2Supported();
#else
      return false;
#endif
  }
  return false;
}

GostEngine GostActiveEngine() {
  static const GostEngine active = GostEngineAvailable(GostEngine::kAvx512) ? GostEngine::kAvx512
                                   : GostEngineAvailable(GostEngine::kAvx2) ? GostEngine::kAvx2
                                                                             : GostEngine::kPortable;
  return active;
}

void GostEcbWith(GostEngine engine, GostDirection direction, bool shortVariant, uint8_t* data,
                 size_t blocks, const GostKeyWords& key, const GostTables& tables) {
  if (!GostEngineAvailable(engine)) engine = GostEngine::kPortable;
  RunEcb(engine, data, blocks, MakeSchedule(key, direction, shortVariant), tables);
}

void GostEncryptEcb(uint8_t* data, size_t blocks, const GostKeyWords& key, const GostTables& tables) {
  RunEcb(GostActiveEngine(), data, blocks, MakeSchedule(key, GostDirection::kEncrypt, false), tables);
}

void GostDecryptEcb(uint8_t* data, size_t blocks, const GostKeyWords& key, const GostTables& tables) {
  RunEcb(GostActiveEngine(), data, blocks, MakeSchedule(key, GostDirection::kDecrypt, false), tables);
}

void GostEncryptEcbShort(uint8_t* data, size_t blocks, const GostKeyWords& key,
                         const GostTables& tables) {
  RunEcb(GostActiveEngine(), data, blocks, MakeSchedule(key, GostDirection::kEncrypt, true), tables);
}

void GostDecryptEcbShort(uint8_t* data, size_t blocks, const GostKeyWords& key,
                         const GostTables& tables) {
  RunEcb(GostActiveEngine(), data, blocks, MakeSchedule(key, GostDirection::kDecrypt, true), tables);
}

}  // namespace telvor
