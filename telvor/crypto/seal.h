// Packet sealing with GOST 28147-89: byte chaining over the whole message, a prefix of random
// bytes that fills the message to whole 8-byte blocks, and (full variant) a trailer byte that tells
// the receiver how many random bytes to drop. Everything works in place on the caller's buffer
// and allocates nothing.
//
// Result codes: every routine returns the length it states (>= 0) or one of the negative
// kSeal* codes below, in which case the buffer and the random record are left as they were.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "telvor/crypto/gost.h"

namespace telvor {

inline constexpr int kSealNoKey = -1;       // the context lacks the key the call needs
inline constexpr int kSealNoRoom = -2;      // the buffer is too small, or a length passes 65535
inline constexpr int kSealBadLength = -3;   // a sealed length that is not a positive multiple of 8
inline constexpr int kSealNoRecord = -4;    // the call needs a random record and got none

// Most bytes a seal adds to a payload (8 random bytes and the trailer).
inline constexpr size_t kSealMaxGrowth = 9;

// References to the keys of one session; either may be null. The routines never copy or free them.
struct GostContext {
  const GostFullKey* fullKey = nullptr;
  const GostShortKey* shortKey = nullptr;
};

// Random bytes of one full seal: [0] = count p (1..8), [1..8] = the bytes in order.
using GostRandomRecord = std::array<uint8_t, 9>;
// Random bytes of one short seal, from byte 0.
using GostShortRandomRecord = std::array<uint8_t, 8>;

// Forward chaining over bytes 0..len-1: for i = 1..len-1, b[i] = rotl1(b[i] ^ b[i-1]).
void GostChainForward(uint8_t* data, size_t len);
// Reverse chaining: for i = len-1 down to 1, b[i] = rotr1(b[i]) ^ b[i-1].
void GostChainReverse(uint8_t* data, size_t len);

// Full seal of the payload at buffer[0..payloadLength). p = 8 - ((n + 1) mod 8) random bytes go
// in front, the byte p behind, the whole is chained forward and encrypted block by block.
// fresh: every random byte is drawn anew and copied to record[1 + i] (when a record is given).
// Not fresh: byte i comes from record[1 + i] while i < record[0]; the rest are drawn anew and
// written to the record. record[0] becomes p. Returns the sealed length n + 1 + p.
int GostSeal(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
             GostRandomRecord* record, bool fresh);

// Full open of a sealed message of sealedLength bytes (a positive multiple of 8): blocks decrypted,
// chaining undone, the trailer read as p. With want and a record: record[0] = p and the first
// min(p, 8) bytes copied into record[1..]. When sealedLength > p the payload (sealedLength - p - 1
// bytes) is moved from offset p to the start; otherwise the payload is empty. Returns its length.
int GostOpen(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t sealedLength,
             GostRandomRecord* record, bool want);

// Forward chaining over `length` bytes, then full encryption of every block up to the length
// rounded up to whole blocks (the buffer must hold that many). Returns length.
int GostEncryptChained(std::span<uint8_t> buffer, uint16_t length, const GostFullKey& key);

// Short seal: p = 8 - (n mod 8) random bytes in front (fresh: drawn and copied to the record when
// one is given; otherwise taken from the record, which is then required). When encrypt is set and
// the context has a short key: forward chaining and short encryption. Returns n + p.
int GostSealShort(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
                  GostShortRandomRecord* record, bool fresh, bool encrypt);

// Short open of n payload bytes sealed as n + p bytes. With decrypt set (and a short key in the
// context) the blocks are decrypted and the payload unchained; without want the prefix is rebuilt
// in its chained form from the record (then required); with want and a record the random bytes
// are copied into the record. The payload is moved to the start; returns n.
int GostOpenShort(const GostContext& ctx, std::span<uint8_t> buffer, uint16_t payloadLength,
                  GostShortRandomRecord* record, bool want, bool decrypt);

}  // namespace telvor
