// RSA key pairs with a modulus of 255 to 1024 bits, their fixed little records, and the
// private-key operation in Chinese-remainder form. A device session of the station service
// protocol owns one 256-bit pair with the public exponent 65537 (SessionRsaKeys below).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "telvor/crypto/bignum.h"
#include "telvor/crypto/mp_random.h"

namespace telvor {

// Result codes.
inline constexpr std::uint32_t kRsaOk = 0;              // success (GenerateKeyPair, GeneratePrime)
inline constexpr std::uint32_t kRsaBlockDone = 1;       // RsaPrivateBlock succeeded
inline constexpr std::uint32_t kRsaDataError = 0x0401;  // no prime in the range, or input >= modulus
inline constexpr std::uint32_t kRsaModulusLength = 0x0407;  // modulus length outside 255 to 1024 bits
inline constexpr std::uint32_t kRsaNeedRandom = kRandomNeedsSeed;  // 0x0408, generator not seeded
inline constexpr std::uint32_t kRsaBadPrivateKey = 0x0409;  // private key record unusable

inline constexpr std::uint32_t kRsaMinModulusBits = 255;
inline constexpr std::uint32_t kRsaMaxModulusBits = 1024;
inline constexpr std::size_t kRsaMaxModulusBytes = kRsaMaxModulusBits / 8;   // 128
inline constexpr std::size_t kRsaMaxPrimeBytes = kRsaMaxModulusBytes / 2;    // 64

// Public key record, 258 bytes: bits (u16 little-endian), modulus (128), exponent (128).
// Private key record, 706 bytes: bits (u16 little-endian), modulus (128), public exponent (128),
// private exponent d (128), p (64), q (64), d mod (p - 1) (64), d mod (q - 1) (64),
// q ^ -1 mod p (64). Numbers are big-endian and right-aligned in their fields.
inline constexpr std::size_t kPublicKeyRecordSize = 258;
inline constexpr std::size_t kPrivateKeyRecordSize = 706;
using PublicKeyRecord = std::array<std::uint8_t, kPublicKeyRecordSize>;
using PrivateKeyRecord = std::array<std::uint8_t, kPrivateKeyRecordSize>;

struct KeyPairRequest {
  std::uint32_t modulus_bits = 256;
  std::uint32_t exponent_choice = 1;  // non-zero: 65537, zero: 3
};

struct PublicKey {
  std::uint16_t bits = 0;
  Natural modulus;
  Natural exponent;
};

struct PrivateKey {
  std::uint16_t bits = 0;
  Natural modulus;
  Natural public_exponent;
  Natural exponent;  // d
  Natural p;
  Natural q;
  Natural dp;         // d mod (p - 1)
  Natural dq;         // d mod (q - 1)
  Natural q_inverse;  // q ^ -1 mod p
};

// Reads a record; any byte string is accepted, and only one of exactly the record's size gives
// a key (whose numbers are not checked here).
std::optional<PublicKey> ParsePublicKeyRecord(std::span<const std::uint8_t> record);
std::optional<PrivateKey> ParsePrivateKeyRecord(std::span<const std::uint8_t> record);

// Writes a record; false when a number does not fit its field (which then holds its low bytes).
bool WritePublicKeyRecord(const PublicKey& key, PublicKeyRecord& record);
bool WritePrivateKeyRecord(const PrivateKey& key, PrivateKeyRecord& record);

// Searches a probable prime in [lo, hi] with a - 1 divisible by `step`, starting from a random
// point. Returns kRsaOk with the prime in `prime`, kRsaDataError when the search runs past hi
// (or the range is empty or the step 0), or kRsaNeedRandom.
std::uint32_t GeneratePrime(const Natural& lo, const Natural& hi, const Natural& step,
                            RandomGenerator& generator, Natural& prime);

// Generates a key pair and writes both records. Returns kRsaOk, kRsaModulusLength,
// kRsaNeedRandom or kRsaDataError; on failure the records are untouched.
std::uint32_t GenerateKeyPair(const KeyPairRequest& request, RandomGenerator& generator,
                              PublicKeyRecord& public_record, PrivateKeyRecord& private_record);

// The private-key operation: `input` read as a big-endian number x (any length) gives
// x ^ d mod n, written into the first (bits + 7) / 8 bytes of `output` (`output_length`).
// Returns kRsaBlockDone; kRsaDataError when x is not smaller than the modulus;
// kRsaModulusLength when the record's bits lie outside 255 to 1024; kRsaBadPrivateKey when the
// record is not 706 bytes or its numbers do not form a key (p or q zero, n != p * q, n wider
// than its bits). On failure `output` is untouched and `output_length` is 0.
std::uint32_t RsaPrivateBlock(std::span<const std::uint8_t> input,
                              std::span<const std::uint8_t> private_record,
                              std::array<std::uint8_t, kRsaMaxModulusBytes>& output,
                              std::size_t& output_length);

// The key material of a device session: cleared when the session is created; a public record
// whose bits are 0 means no key pair yet.
struct SessionRsaKeys {
  PublicKeyRecord public_record{};
  PrivateKeyRecord private_record{};
  std::uint32_t keys_ready = 0;
};

inline constexpr std::size_t kDeviceKeyFieldSize = 32;
using DeviceKeyField = std::array<std::uint8_t, kDeviceKeyFieldSize>;

// Makes the session's key pair the first time it is needed: while the public record is empty,
// seeds `generator` with SeedRandom and generates 256 bits with exponent 65537; on success sets
// keys_ready to 1. Returns kRsaOk when the session has keys afterwards, else the failure.
std::uint32_t EnsureSessionKeys(SessionRsaKeys& keys, RandomGenerator& generator);

// The public key as it goes to the device: the low 32 bytes of the modulus field and of the
// exponent field, each least significant byte first.
void DevicePublicKeyFields(const PublicKeyRecord& record, DeviceKeyField& modulus,
                           DeviceKeyField& exponent);

// Opens a 32-byte block received from the device (least significant byte first) with the
// session's private key; `out` is least significant byte first too. Returns kRsaBlockDone,
// kRsaDataError (block not below the modulus), or kRsaBadPrivateKey when the session has no
// usable 256-bit key.
std::uint32_t OpenDeviceBlock(const SessionRsaKeys& keys, std::span<const std::uint8_t, 32> block,
                              DeviceKeyField& out);

}  // namespace telvor
