#include "telvor/crypto/md5.h"

#include <openssl/evp.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string HexOf(const telvor::Md5Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto b : d) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    const char* message;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexOf(telvor::Md5Of(Bytes(c.message))), c.digest) << '"' << c.message << '"';
  }
}

// Lengths around the padding boundaries (55, 56, 63, 64, ...) and messages fed in uneven
// pieces give libcrypto's digest, and Final() leaves the object ready for the next message.
TEST(Md5, AnyLengthInAnyPiecesMatchesLibcrypto) {
  std::mt19937_64 rng(1321);
  const std::size_t lengths[] = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4096};
  telvor::Md5 md5;
  for (const std::size_t len : lengths) {
    std::vector<std::uint8_t> msg(len);
    for (auto& b : msg) b = static_cast<std::uint8_t>(rng());
    unsigned char expected[EVP_MAX_MD_SIZE];
    unsigned int expected_len = 0;
    ASSERT_EQ(EVP_Digest(msg.data(), msg.size(), expected, &expected_len, EVP_md5(), nullptr), 1);
    ASSERT_EQ(expected_len, 16u);
    const telvor::Md5Digest want = [&] {
      telvor::Md5Digest d;
      std::copy(expected, expected + 16, d.begin());
      return d;
    }();
    EXPECT_EQ(telvor::Md5Of(msg), want) << "length " << len;
    std::size_t pos = 0;
    while (pos < msg.size()) {
      const std::size_t piece = std::min<std::size_t>(msg.size() - pos, rng() % 70);
      md5.Update(std::span<const std::uint8_t>(msg).subspan(pos, piece));
      pos += piece;
    }
    EXPECT_EQ(md5.Final(), want) << "length " << len << " in pieces";
  }
}

}  // namespace
