// Any envelope opened under a key taken from the input: the body that comes out is never longer
// than the envelope and the random record never claims bytes it does not hold. Sealing the body
// again with the same random bytes and opening it gives the body back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "telvor/protocol/envelope.h"

using namespace telvor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GostFullKey key{};
  const size_t keyBytes = std::min(size, key.size());
  std::memcpy(key.data(), data, keyBytes);
  std::vector<uint8_t> buffer(data + keyBytes, data + size);
  const size_t length = std::min<size_t>(buffer.size(), 0xFFFF);
  GostRandomRecord random{};
  const int body = EnvelopeOpen(buffer, uint16_t(length), key, &random);
  if (body < 0) {
    if (body != kSealBadLength || (length != 0 && length % 8 == 0)) std::abort();
    return 0;
  }
  if (size_t(body) >= length) std::abort();
  const std::vector<uint8_t> opened(buffer.begin(), buffer.begin() + body);
  buffer.resize(body + kSealMaxGrowth);
  const int sealed = EnvelopeSeal(buffer, uint16_t(body), key, &random, false);
  if (sealed <= 0 || sealed % 8 != 0) std::abort();
  GostRandomRecord back{};
  if (EnvelopeOpen(buffer, uint16_t(sealed), key, &back) != body) std::abort();
  if (!std::equal(opened.begin(), opened.end(), buffer.begin())) std::abort();
  if (back[0] != random[0]) std::abort();
  return 0;
}
