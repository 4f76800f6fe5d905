// Test helpers: OpenSSL BIGNUM values beside the library's naturals, and reproducible operands.
#pragma once

#include <openssl/bn.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "telvor/crypto/bignum.h"

namespace rsa_test {

struct BnFree {
  void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

struct CtxFree {
  void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using BnCtx = std::unique_ptr<BN_CTX, CtxFree>;

inline Bn NewBn() { return Bn(BN_new()); }

inline Bn ToBn(const telvor::Natural& n) {
  std::uint8_t bytes[telvor::kNaturalBytes];
  telvor::EncodeNatural(n, bytes);
  return Bn(BN_bin2bn(bytes, sizeof bytes, nullptr));
}

// The low 1056 bits of b as a natural.
inline telvor::Natural FromBn(const BIGNUM* b) {
  const int len = BN_num_bytes(b);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(len));
  BN_bn2bin(b, bytes.data());
  telvor::Natural n;
  const std::size_t skip = bytes.size() > telvor::kNaturalBytes ? bytes.size() - telvor::kNaturalBytes : 0;
  telvor::DecodeNatural(std::span<const std::uint8_t>(bytes).subspan(skip), n);
  return n;
}

inline Bn BnFromBytes(std::span<const std::uint8_t> be) {
  return Bn(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr));
}

inline Bn PowerOf2Bn(int k) {
  Bn b = NewBn();
  BN_set_bit(b.get(), k);
  return b;
}

inline std::string Hex(const BIGNUM* b) {
  char* s = BN_bn2hex(b);
  std::string out = s;
  OPENSSL_free(s);
  return out;
}

inline std::string Hex(const telvor::Natural& n) { return Hex(ToBn(n).get()); }

// Operand shapes that reach the carries, borrows and rare division steps.
enum class Shape { kRandom, kAllOnes, kTopBitOnly, kSparse };

// A natural of exactly `digits` significant digits (0 gives the number 0) of the given shape.
inline telvor::Natural MakeOperand(std::mt19937_64& rng, std::size_t digits, Shape shape) {
  telvor::Natural n;
  for (std::size_t i = 0; i < digits; ++i) {
    switch (shape) {
      case Shape::kRandom: n.digits[i] = static_cast<std::uint32_t>(rng()); break;
      case Shape::kAllOnes: n.digits[i] = 0xFFFFFFFFu; break;
      case Shape::kTopBitOnly: n.digits[i] = i + 1 == digits ? 0x80000000u : 0; break;
      case Shape::kSparse: n.digits[i] = (rng() % 4 == 0) ? static_cast<std::uint32_t>(rng()) : 0; break;
    }
  }
  if (digits > 0 && n.digits[digits - 1] == 0) n.digits[digits - 1] = 1 + static_cast<std::uint32_t>(rng() % 0xFFFFFFFEu);
  return n;
}

}  // namespace rsa_test
