// MD5 message digest (RFC 1321). Used only by the random generator of the RSA key pairs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace telvor {

inline constexpr std::size_t kMd5DigestSize = 16;
using Md5Digest = std::array<std::uint8_t, kMd5DigestSize>;

// Incremental MD5. Update() may be called any number of times with pieces of any length
// (empty included); Final() returns the digest and leaves the object ready for a new message.
class Md5 {
 public:
  Md5() { Reset(); }

  void Reset();
  void Update(std::span<const std::uint8_t> data);
  Md5Digest Final();

 private:
  void Transform(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_{};
  std::uint64_t length_ = 0;  // message length in bytes so far
  std::array<std::uint8_t, 64> buffer_{};
};

// Digest of one complete message.
Md5Digest Md5Of(std::span<const std::uint8_t> data);

}  // namespace telvor
