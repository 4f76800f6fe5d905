// The encryption envelope of a GPRS packet. B, the plain body with its inner checksum, becomes
// N random bytes, B, and the byte N (N = 8 - ((|B| + 1) mod 8), 1..8), chained forward and then
// encrypted block by block with the device's key.
#pragma once

#include <cstdint>
#include <span>

#include "telvor/crypto/seal.h"

namespace telvor {

// Seals B = buffer[0..bodyLength) in place (the buffer needs bodyLength + 9 bytes). fresh draws
// new random bytes and keeps a copy in `random` (when given); otherwise the random bytes of
// `random` (a record from an opened packet) are reused. Returns the envelope length or a negative
// kSeal* code.
int EnvelopeSeal(std::span<uint8_t> buffer, uint16_t bodyLength, const GostFullKey& key,
                 GostRandomRecord* random, bool fresh);

// Opens an envelope of envelopeLength bytes in place: B moves to the start. The N random bytes and
// N go to `random` when given. Returns |B| (0 when the trailer is not smaller than the length) or
// kSealBadLength for a length that is not a positive multiple of 8.
int EnvelopeOpen(std::span<uint8_t> buffer, uint16_t envelopeLength, const GostFullKey& key,
                 GostRandomRecord* random);

}  // namespace telvor
