#include "telvor/crypto/rsa.h"

#include <algorithm>
#include <utility>

namespace telvor {
namespace {

// Field offsets of the records.
constexpr std::size_t kBitsAt = 0;
constexpr std::size_t kModulusAt = 2;
constexpr std::size_t kPublicExponentAt = kModulusAt + kRsaMaxModulusBytes;        // 130
constexpr std::size_t kExponentAt = kPublicExponentAt + kRsaMaxModulusBytes;       // 258
constexpr std::size_t kPAt = kExponentAt + kRsaMaxModulusBytes;                    // 386
constexpr std::size_t kQAt = kPAt + kRsaMaxPrimeBytes;                             // 450
constexpr std::size_t kDpAt = kQAt + kRsaMaxPrimeBytes;                            // 514
constexpr std::size_t kDqAt = kDpAt + kRsaMaxPrimeBytes;                           // 578
constexpr std::size_t kQInverseAt = kDqAt + kRsaMaxPrimeBytes;                     // 642
static_assert(kQInverseAt + kRsaMaxPrimeBytes == kPrivateKeyRecordSize);
static_assert(kPublicExponentAt + kRsaMaxModulusBytes == kPublicKeyRecordSize);

// Numbers handed to GeneratePrime stay below 2^1024, so that a + step never leaves 33 digits.
constexpr std::size_t kPrimeSearchMaxDigits = kNaturalDigits - 1;

std::uint16_t ReadBits(std::span<const std::uint8_t> record) {
  return static_cast<std::uint16_t>(record[kBitsAt] | record[kBitsAt + 1] << 8);
}

void WriteBits(std::uint16_t bits, std::span<std::uint8_t> record) {
  record[kBitsAt] = static_cast<std::uint8_t>(bits);
  record[kBitsAt + 1] = static_cast<std::uint8_t>(bits >> 8);
}

Natural ReadField(std::span<const std::uint8_t> record, std::size_t at, std::size_t size) {
  Natural n;
  DecodeNatural(record.subspan(at, size), n);  // fields of at most 128 bytes always fit
  return n;
}

bool WriteField(const Natural& n, std::span<std::uint8_t> record, std::size_t at, std::size_t size) {
  return EncodeNatural(n, record.subspan(at, size));
}

Natural Minus1(const Natural& a) {
  Natural r;
  Subtract(a, Natural::Of(1), r);
  return r;
}

// Draws a prime of exactly `bits` bits whose top two bits are set and with gcd(prime - 1, e) = 1,
// different from `other` when that is given.
std::uint32_t SearchKeyPrime(std::size_t bits, const Natural& e, const Natural* other,
                             RandomGenerator& generator, Natural& prime) {
  Natural lo, top2, hi;
  PowerOfTwo(bits - 1, lo);
  PowerOfTwo(bits - 2, top2);
  Add(lo, top2, lo);
  PowerOfTwo(bits, hi);
  Subtract(hi, Natural::Of(1), hi);
  const Natural step = Natural::Of(2);
  for (;;) {
    if (const std::uint32_t status = GeneratePrime(lo, hi, step, generator, prime)) return status;
    if (Gcd(Minus1(prime), e) == Natural::Of(1) && !(other && prime == *other)) return kRsaOk;
  }
}

}  // namespace

std::optional<PublicKey> ParsePublicKeyRecord(std::span<const std::uint8_t> record) {
  if (record.size() != kPublicKeyRecordSize) return std::nullopt;
  PublicKey key;
  key.bits = ReadBits(record);
  key.modulus = ReadField(record, kModulusAt, kRsaMaxModulusBytes);
  key.exponent = ReadField(record, kPublicExponentAt, kRsaMaxModulusBytes);
  return key;
}

std::optional<PrivateKey> ParsePrivateKeyRecord(std::span<const std::uint8_t> record) {
  if (record.size() != kPrivateKeyRecordSize) return std::nullopt;
  PrivateKey key;
  key.bits = ReadBits(record);
  key.modulus = ReadField(record, kModulusAt, kRsaMaxModulusBytes);
  key.public_exponent = ReadField(record, kPublicExponentAt, kRsaMaxModulusBytes);
  key.exponent = ReadField(record, kExponentAt, kRsaMaxModulusBytes);
  key.p = ReadField(record, kPAt, kRsaMaxPrimeBytes);
  key.q = ReadField(record, kQAt, kRsaMaxPrimeBytes);
  key.dp = ReadField(record, kDpAt, kRsaMaxPrimeBytes);
  key.dq = ReadField(record, kDqAt, kRsaMaxPrimeBytes);
  key.q_inverse = ReadField(record, kQInverseAt, kRsaMaxPrimeBytes);
  return key;
}

bool WritePublicKeyRecord(const PublicKey& key, PublicKeyRecord& record) {
  WriteBits(key.bits, record);
  bool ok = WriteField(key.modulus, record, kModulusAt, kRsaMaxModulusBytes);
  ok &= WriteField(key.exponent, record, kPublicExponentAt, kRsaMaxModulusBytes);
  return ok;
}

bool WritePrivateKeyRecord(const PrivateKey& key, PrivateKeyRecord& record) {
  WriteBits(key.bits, record);
  bool ok = WriteField(key.modulus, record, kModulusAt, kRsaMaxModulusBytes);
  ok &= WriteField(key.public_exponent, record, kPublicExponentAt, kRsaMaxModulusBytes);
  ok &= WriteField(key.exponent, record, kExponentAt, kRsaMaxModulusBytes);
  ok &= WriteField(key.p, record, kPAt, kRsaMaxPrimeBytes);
  ok &= WriteField(key.q, record, kQAt, kRsaMaxPrimeBytes);
  ok &= WriteField(key.dp, record, kDpAt, kRsaMaxPrimeBytes);
  ok &= WriteField(key.dq, record, kDqAt, kRsaMaxPrimeBytes);
  ok &= WriteField(key.q_inverse, record, kQInverseAt, kRsaMaxPrimeBytes);
  return ok;
}

std::uint32_t GeneratePrime(const Natural& lo, const Natural& hi, const Natural& step,
                            RandomGenerator& generator, Natural& prime) {
  if (step.IsZero() || Compare(lo, hi) > 0 || SignificantDigits(hi) > kPrimeSearchMaxDigits ||
      SignificantDigits(step) > kPrimeSearchMaxDigits)
    return kRsaDataError;

  // 1. A random starting point in [lo, hi].
  const std::size_t digits = SignificantDigits(hi);
  std::uint8_t block[kNaturalBytes];
  const std::span<std::uint8_t> drawn(block, 4 * digits);
  if (const std::uint32_t status = RandomBytes(generator, drawn)) return status;
  Natural a, range;
  DecodeNatural(drawn, a);
  std::fill(std::begin(block), std::end(block), std::uint8_t{0});
  Subtract(hi, lo, range);
  Add(range, Natural::Of(1), range);
  Mod(a, range, a);
  Add(a, lo, a);

  // 2. Make a - 1 divisible by the step, staying in the range where the step allows.
  Natural rem;
  Mod(a, step, rem);
  Subtract(a, rem, a);
  Add(a, Natural::Of(1), a);
  if (Compare(a, lo) < 0) {
    Add(a, step, a);
  } else if (Compare(a, hi) > 0 && Compare(a, step) >= 0) {
    Subtract(a, step, a);
  }

  // 3. Walk up by the step to the first probable prime.
  for (;;) {
    if (Compare(a, lo) >= 0 && Compare(a, hi) <= 0 && IsProbablePrime(a)) {
      prime = a;
      return kRsaOk;
    }
    Natural next;
    Add(a, step, next);
    if (Compare(next, hi) > 0) return kRsaDataError;
    a = next;
  }
}

std::uint32_t GenerateKeyPair(const KeyPairRequest& request, RandomGenerator& generator,
                              PublicKeyRecord& public_record, PrivateKeyRecord& private_record) {
  const std::uint32_t bits = request.modulus_bits;
  if (bits < kRsaMinModulusBits || bits > kRsaMaxModulusBits) return kRsaModulusLength;
  const Natural e = Natural::Of(request.exponent_choice != 0 ? 65537 : 3);
  const std::size_t p_bits = (bits + 1) / 2;
  const std::size_t q_bits = bits - p_bits;

  Natural p, q;
  if (const std::uint32_t status = SearchKeyPrime(p_bits, e, nullptr, generator, p)) return status;
  // The two searches can only meet when both primes have the same size; n = p^2 is no key.
  if (const std::uint32_t status = SearchKeyPrime(q_bits, e, &p, generator, q)) return status;
  if (Compare(p, q) < 0) std::swap(p, q);

  PrivateKey key;
  key.bits = static_cast<std::uint16_t>(bits);
  key.public_exponent = e;
  key.p = p;
  key.q = q;
  Multiply(p, q, key.modulus);
  ModInverse(q, p, key.q_inverse);
  const Natural p1 = Minus1(p), q1 = Minus1(q);
  Natural phi;
  Multiply(p1, q1, phi);
  ModInverse(e, phi, key.exponent);  // gcd(e, phi) = 1: e is prime and divides neither p-1 nor q-1
  Mod(key.exponent, p1, key.dp);
  Mod(key.exponent, q1, key.dq);

  PrivateKeyRecord priv{};
  PublicKeyRecord pub{};
  WritePrivateKeyRecord(key, priv);
  WritePublicKeyRecord(PublicKey{key.bits, key.modulus, key.public_exponent}, pub);
  private_record = priv;
  public_record = pub;
  std::fill(priv.begin(), priv.end(), std::uint8_t{0});
  return kRsaOk;
}

std::uint32_t RsaPrivateBlock(std::span<const std::uint8_t> input,
                              std::span<const std::uint8_t> private_record,
                              std::array<std::uint8_t, kRsaMaxModulusBytes>& output,
                              std::size_t& output_length) {
  output_length = 0;
  const std::optional<PrivateKey> key = ParsePrivateKeyRecord(private_record);
  if (!key) return kRsaBadPrivateKey;
  if (key->bits < kRsaMinModulusBits || key->bits > kRsaMaxModulusBits) return kRsaModulusLength;
  Natural pq;
  Multiply(key->p, key->q, pq);  // two 16-digit numbers always fit
  if (key->p.IsZero() || key->q.IsZero() || !(pq == key->modulus) ||
      SignificantBits(key->modulus) > key->bits)
    return kRsaBadPrivateKey;

  Natural x;
  if (!DecodeNatural(input, x) || Compare(x, key->modulus) >= 0) return kRsaDataError;

  Natural xp, xq, mp, mq;
  Mod(x, key->p, xp);
  Mod(x, key->q, xq);
  ModExp(xp, key->dp, key->p, mp);
  ModExp(xq, key->dq, key->q, mq);
  // t = (mP - mQ) mod p. mQ is reduced mod p first, which changes nothing when p > q (as every
  // generated key has it) and keeps the difference correct for a key with p < q.
  Natural mq_p, t;
  Mod(mq, key->p, mq_p);
  if (Compare(mp, mq_p) >= 0) {
    Subtract(mp, mq_p, t);
  } else {
    Natural diff;
    Subtract(mq_p, mp, diff);
    Subtract(key->p, diff, t);
  }
  ModMultiply(t, key->q_inverse, key->p, t);
  Natural m;
  Multiply(t, key->q, m);
  Add(m, mq, m);  // t < p and mq < q, so m < p * q = n

  output_length = (key->bits + 7u) / 8u;
  EncodeNatural(m, std::span<std::uint8_t>(output.data(), output_length));
  return kRsaBlockDone;
}

std::uint32_t EnsureSessionKeys(SessionRsaKeys& keys, RandomGenerator& generator) {
  if (ReadBits(keys.public_record) != 0) return kRsaOk;
  SeedRandom(generator);
  PublicKeyRecord pub{};
  PrivateKeyRecord priv{};
  const std::uint32_t status = GenerateKeyPair(KeyPairRequest{256, 1}, generator, pub, priv);
  if (status != kRsaOk) return status;
  keys.public_record = pub;
  keys.private_record = priv;
  keys.keys_ready = 1;
  std::fill(priv.begin(), priv.end(), std::uint8_t{0});
  return kRsaOk;
}

void DevicePublicKeyFields(const PublicKeyRecord& record, DeviceKeyField& modulus,
                           DeviceKeyField& exponent) {
  const auto low = [&](std::size_t field_at, DeviceKeyField& out) {
    const auto field_end = record.begin() + field_at + kRsaMaxModulusBytes;
    std::reverse_copy(field_end - kDeviceKeyFieldSize, field_end, out.begin());
  };
  low(kModulusAt, modulus);
  low(kPublicExponentAt, exponent);
}

std::uint32_t OpenDeviceBlock(const SessionRsaKeys& keys, std::span<const std::uint8_t, 32> block,
                              DeviceKeyField& out) {
  if (keys.keys_ready != 1) return kRsaBadPrivateKey;
  DeviceKeyField big_endian;
  std::reverse_copy(block.begin(), block.end(), big_endian.begin());
  std::array<std::uint8_t, kRsaMaxModulusBytes> result;
  std::size_t length = 0;
  const std::uint32_t status = RsaPrivateBlock(big_endian, keys.private_record, result, length);
  if (status != kRsaBlockDone) return status;
  if (length != kDeviceKeyFieldSize) return kRsaBadPrivateKey;
  std::reverse_copy(result.begin(), result.begin() + kDeviceKeyFieldSize, out.begin());
  return kRsaBlockDone;
}

}  // namespace telvor
