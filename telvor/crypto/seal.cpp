#include "telvor/crypto/seal.h"

#include <algorithm>
#include <cstring>

#include "telvor/crypto/random_bytes.h"

namespace telvor {

namespace {

inline uint8_t Rotl1(uint8_t b) { return uint8_t((b << 1) | (b >> 7)); }
inline uint8_t Rotr1(uint8_t b) { return uint8_t((b >> 1) | (b << 7)); }

constexpr size_t kMaxLength = 0xFFFF;

}  // namespace

void GostChainForward(uint8_t* data, size_t len) {
  for (size_t i = 1; i < len; ++i) data[i] = Rotl1(uint8_t(data[i] ^ data[i - 1]));
}

void GostChainReverse(uint8_t* data, size_t len) {
  for (size_t i = len; i-- > 1;) data[i] = uint8_t(Rotr1(data[i]) ^ data[i - 1]);
}

int GostSeal(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
             GostRandomRecord* record, bool fresh) {
  if (ctx.fullKey == nullptr) return kSealNoKey;
  const size_t n = payloadLength;
  const size_t p = 8 - ((n + 1) % 8);
  const size_t total = n + 1 + p;
  if (total > kMaxLength || total > buffer.size()) return kSealNoRoom;

  uint8_t* b = buffer.data();
  std::memmove(b + p, b, n);
  if (fresh) {
    ThreadRandomFill({b, p});
    if (record != nullptr) std::memcpy(record->data() + 1, b, p);
  } else {
    const size_t given = record != nullptr ? std::min<size_t>((*record)[0], p) : 0;
    std::memcpy(b, record != nullptr ? record->data() + 1 : b, given);
    ThreadRandomFill({b + given, p - given});
    if (record != nullptr) std::memcpy(record->data() + 1 + given, b + given, p - given);
  }
  b[p + n] = uint8_t(p);
  if (record != nullptr) (*record)[0] = uint8_t(p);

  GostChainForward(b, total);
  GostEncryptEcb(b, total / 8, GostKeyWords::FromFull(ctx.fullKey->data()));
  return int(total);
}

int GostOpen(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t sealedLength,
             GostRandomRecord* record, bool want) {
  const size_t len = sealedLength;
  if (len == 0 || len % 8 != 0) return kSealBadLength;
  if (len > buffer.size()) return kSealNoRoom;
  if (ctx.fullKey == nullptr) return kSealNoKey;

  uint8_t* b = buffer.data();
  GostDecryptEcb(b, len / 8, GostKeyWords::FromFull(ctx.fullKey->data()));
  GostChainReverse(b, len);
  const size_t p = b[len - 1];
  if (want && record != nullptr) {
    // The record has room for eight bytes; a trailer above 8 (a wrong key) copies only those.
    const size_t copied = std::min<size_t>(p, 8);
    record->fill(0);
    (*record)[0] = uint8_t(p);
    std::memcpy(record->data() + 1, b, copied);
  }
  if (len <= p) return 0;
  const size_t payload = len - p - 1;
  std::memmove(b, b + p, payload);
  return int(payload);
}

int GostEncryptChained(std::span<uint8_t> buffer, uint16_t length, const GostFullKey& key) {
  const size_t rounded = (size_t(length) + 7) & ~size_t(7);
  if (rounded > buffer.size()) return kSealNoRoom;
  GostChainForward(buffer.data(), length);
  GostEncryptEcb(buffer.data(), rounded / 8, GostKeyWords::FromFull(key.data()));
  return length;
}

int GostSealShort(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
                  GostShortRandomRecord* record, bool fresh, bool encrypt) {
  const size_t n = payloadLength;
  const size_t p = 8 - (n % 8);
  const size_t total = n + p;
  if (total > kMaxLength || total > buffer.size()) return kSealNoRoom;
  if (!fresh && record == nullptr) return kSealNoRecord;

  uint8_t* b = buffer.data();
  std::memmove(b + p, b, n);
  if (fresh) {
    ThreadRandomFill({b, p});
    if (record != nullptr) std::memcpy(record->data(), b, p);
  } else {
    std::memcpy(b, record->data(), p);
  }
  if (encrypt && ctx.shortKey != nullptr) {
    GostChainForward(b, total);
    GostEncryptEcbShort(b, total / 8, GostKeyWords::FromShort(ctx.shortKey->data()));
  }
  return int(total);
}

int GostOpenShort(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
                  GostShortRandomRecord* record, bool want, bool decrypt) {
  const size_t n = payloadLength;
  const size_t p = 8 - (n % 8);
  const size_t total = n + p;
  if (total > kMaxLength || total > buffer.size()) return kSealNoRoom;
  if (!want && record == nullptr) return kSealNoRecord;
  decrypt = decrypt && ctx.shortKey != nullptr;

  uint8_t* b = buffer.data();
  if (decrypt) {
    GostDecryptEcbShort(b, total / 8, GostKeyWords::FromShort(ctx.shortKey->data()));
    for (size_t i = total - 1; i >= p + 1; --i) b[i] = uint8_t(Rotr1(b[i]) ^ b[i - 1]);
  }
  if (!want) {
    // The prefix in the chained form the sender's random bytes give it.
    b[0] = (*record)[0];
    for (size_t i = 1; i < p; ++i) b[i] = Rotl1(uint8_t((*record)[i] ^ b[i - 1]));
  }
  if (decrypt) {
    // Byte p is the first payload byte; an empty payload has none.
    for (size_t i = std::min(p, total - 1); i >= 1; --i) b[i] = uint8_t(Rotr1(b[i]) ^ b[i - 1]);
  }
  if (want && record != nullptr) std::memcpy(record->data(), b, p);
  std::memmove(b, b + p, n);
  return int(n);
}

}  // namespace telvor
