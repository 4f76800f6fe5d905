#include "telvor/crypto/md5.h"

#include <algorithm>
#include <cstring>

namespace telvor {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// Per-step shift amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(2^32 * |sin(i + 1)|), the additive constants of the 64 steps.
constexpr std::uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

void Md5::Reset() {
  state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  length_ = 0;
  buffer_.fill(0);
}

void Md5::Transform(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    std::uint32_t f;
    int k;
    switch (round) {
      case 0: f = (b & c) | (~b & d); k = i; break;
      case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
    }
    const std::uint32_t rotated = b + Rotl(a + f + x[k] + kT[i], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = rotated;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(std::span<const std::uint8_t> data) {
  std::size_t used = static_cast<std::size_t>(length_ % 64);
  length_ += data.size();
  std::size_t pos = 0;
  if (used != 0) {
    const std::size_t take = std::min(data.size(), 64 - used);
    if (take != 0) std::memcpy(buffer_.data() + used, data.data(), take);
    pos = take;
    if (used + take < 64) return;
    Transform(buffer_.data());
  }
  for (; pos + 64 <= data.size(); pos += 64) Transform(data.data() + pos);
  if (pos < data.size()) std::memcpy(buffer_.data(), data.data() + pos, data.size() - pos);
}

Md5Digest Md5::Final() {
  const std::uint64_t bits = length_ * 8;
  std::uint8_t pad[72] = {0x80};
  const std::size_t used = static_cast<std::size_t>(length_ % 64);
  const std::size_t pad_len = used < 56 ? 56 - used : 120 - used;
  std::uint8_t tail[8];
  StoreLe32(tail, static_cast<std::uint32_t>(bits));
  StoreLe32(tail + 4, static_cast<std::uint32_t>(bits >> 32));
  Update({pad, pad_len});
  Update({tail, 8});
  Md5Digest out;
  for (int i = 0; i < 4; ++i) StoreLe32(out.data() + 4 * i, state_[i]);
  Reset();
  return out;
}

Md5Digest Md5Of(std::span<const std::uint8_t> data) {
  Md5 md5;
  md5.Update(data);
  return md5.Final();
}

}  // namespace telvor
