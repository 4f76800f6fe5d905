#define OPENSSL_SUPPRESS_DEPRECATED  // the raw RSA_* calls are the plainest reference
#include "telvor/crypto/rsa.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/rsa.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "tests/crypto_rsa/bn_util.h"

namespace {

using rsa_test::Bn;
using rsa_test::BnCtx;
using rsa_test::BnFromBytes;
using rsa_test::FromBn;
using rsa_test::Hex;
using rsa_test::NewBn;
using rsa_test::ToBn;
using telvor::Natural;

struct RsaFree {
  void operator()(RSA* r) const { RSA_free(r); }
};
using Rsa = std::unique_ptr<RSA, RsaFree>;

// A generator in a fixed, reproducible state.
telvor::RandomGenerator FixedGenerator(std::uint8_t tag) {
  telvor::RandomGenerator g;
  std::vector<std::uint8_t> seed(512);
  for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 31 + tag);
  telvor::MixRandom(g, seed);
  return g;
}

struct KeyPair {
  telvor::PublicKeyRecord pub{};
  telvor::PrivateKeyRecord priv{};
};

// Key pairs are made once per size and exponent choice and shared by the tests.
const KeyPair& GeneratedKey(std::uint32_t bits, std::uint32_t exponent_choice = 1) {
  static std::map<std::pair<std::uint32_t, std::uint32_t>, KeyPair> cache;
  auto [it, fresh] = cache.try_emplace({bits, exponent_choice});
  if (fresh) {
    telvor::RandomGenerator g = FixedGenerator(static_cast<std::uint8_t>(bits + exponent_choice));
    const std::uint32_t status = telvor::GenerateKeyPair({bits, exponent_choice}, g, it->second.pub, it->second.priv);
    EXPECT_EQ(status, telvor::kRsaOk) << bits << " bits";
  }
  return it->second;
}

Rsa ToRsa(const telvor::PrivateKey& k) {
  Rsa rsa(RSA_new());
  RSA_set0_key(rsa.get(), ToBn(k.modulus).release(), ToBn(k.public_exponent).release(),
               ToBn(k.exponent).release());
  RSA_set0_factors(rsa.get(), ToBn(k.p).release(), ToBn(k.q).release());
  RSA_set0_crt_params(rsa.get(), ToBn(k.dp).release(), ToBn(k.dq).release(), ToBn(k.q_inverse).release());
  return rsa;
}

telvor::PrivateKey FromRsa(const RSA* rsa, std::uint16_t bits) {
  telvor::PrivateKey k;
  k.bits = bits;
  k.modulus = FromBn(RSA_get0_n(rsa));
  k.public_exponent = FromBn(RSA_get0_e(rsa));
  k.exponent = FromBn(RSA_get0_d(rsa));
  k.p = FromBn(RSA_get0_p(rsa));
  k.q = FromBn(RSA_get0_q(rsa));
  k.dp = FromBn(RSA_get0_dmp1(rsa));
  k.dq = FromBn(RSA_get0_dmq1(rsa));
  k.q_inverse = FromBn(RSA_get0_iqmp(rsa));
  return k;
}

// libcrypto's raw private operation on a big-endian input of the modulus' byte length.
std::vector<std::uint8_t> LibcryptoPrivate(RSA* rsa, const std::vector<std::uint8_t>& input) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(RSA_size(rsa)));
  const int n = RSA_private_decrypt(static_cast<int>(input.size()), input.data(), out.data(), rsa, RSA_NO_PADDING);
  EXPECT_EQ(n, RSA_size(rsa)) << ERR_error_string(ERR_get_error(), nullptr);
  return out;
}

std::vector<std::uint8_t> Padded(const BIGNUM* x, std::size_t len) {
  std::vector<std::uint8_t> out(len);
  BN_bn2binpad(x, out.data(), static_cast<int>(len));
  return out;
}

// Runs our private operation and libcrypto's on random inputs below n and on 0, 1 and n - 1.
void ExpectSamePrivateOperation(const telvor::PrivateKeyRecord& record, int random_inputs) {
  const auto key = telvor::ParsePrivateKeyRecord(record);
  ASSERT_TRUE(key);
  Rsa rsa = ToRsa(*key);
  const std::size_t len = static_cast<std::size_t>(RSA_size(rsa.get()));
  ASSERT_EQ(len, (key->bits + 7u) / 8u);
  const Bn n = ToBn(key->modulus);
  std::vector<Bn> inputs;
  inputs.push_back(NewBn());
  inputs.push_back(Bn(BN_dup(BN_value_one())));
  inputs.push_back(Bn(BN_dup(n.get())));
  BN_sub_word(inputs.back().get(), 1);
  for (int i = 0; i < random_inputs; ++i) {
    inputs.push_back(NewBn());
    BN_rand_range(inputs.back().get(), n.get());
  }
  // Ciphertexts of the two messages that are 0 modulo one prime and -1 modulo the other: the
  // halves of the CRT step then lie as far apart as they can.
  BnCtx ctx(BN_CTX_new());
  const Bn e = ToBn(key->public_exponent);
  for (auto [zero_of, minus_one_of] : {std::pair{&key->p, &key->q}, std::pair{&key->q, &key->p}}) {
    const Bn zero = ToBn(*zero_of), minus_one = ToBn(*minus_one_of);
    Bn k(BN_mod_inverse(nullptr, zero.get(), minus_one.get(), ctx.get()));
    ASSERT_TRUE(k);
    BN_sub(k.get(), minus_one.get(), k.get());  // k = -zero^-1 mod minus_one
    Bn m = NewBn(), x = NewBn();
    BN_mul(m.get(), zero.get(), k.get(), ctx.get());
    BN_mod_exp(x.get(), m.get(), e.get(), n.get(), ctx.get());
    inputs.push_back(std::move(x));
  }
  for (const Bn& x : inputs) {
    const std::vector<std::uint8_t> in = Padded(x.get(), len);
    std::array<std::uint8_t, telvor::kRsaMaxModulusBytes> out;
    std::size_t out_len = 0;
    ASSERT_EQ(telvor::RsaPrivateBlock(in, record, out, out_len), telvor::kRsaBlockDone) << Hex(x.get());
    ASSERT_EQ(out_len, len);
    const std::vector<std::uint8_t> ours(out.begin(), out.begin() + out_len);
    ASSERT_EQ(ours, LibcryptoPrivate(rsa.get(), in)) << "input " << Hex(x.get());
  }
}

class GeneratedKeyPair : public ::testing::TestWithParam<std::uint32_t> {};

// n = p q, e d = 1 mod lcm(p - 1, q - 1), the CRT fields, the record layout, and the sizes of
// the primes (p the larger, top two bits of each set).
TEST_P(GeneratedKeyPair, IsAConsistentRsaKey) {
  const std::uint32_t bits = GetParam();
  const KeyPair& kp = GeneratedKey(bits);
  const auto key = telvor::ParsePrivateKeyRecord(kp.priv);
  const auto pub = telvor::ParsePublicKeyRecord(kp.pub);
  ASSERT_TRUE(key && pub);
  EXPECT_EQ(kp.priv[0] | kp.priv[1] << 8, static_cast<int>(bits));
  EXPECT_TRUE(std::equal(kp.pub.begin(), kp.pub.end(), kp.priv.begin()))
      << "the public record is the head of the private record";
  EXPECT_EQ(pub->exponent, Natural::Of(65537));

  BnCtx ctx(BN_CTX_new());
  const Bn n = ToBn(key->modulus), e = ToBn(key->public_exponent), d = ToBn(key->exponent);
  const Bn p = ToBn(key->p), q = ToBn(key->q);
  EXPECT_EQ(BN_num_bits(n.get()), static_cast<int>(bits));
  EXPECT_GT(BN_cmp(p.get(), q.get()), 0) << "p is the larger prime";
  EXPECT_EQ(BN_check_prime(p.get(), ctx.get(), nullptr), 1);
  EXPECT_EQ(BN_check_prime(q.get(), ctx.get(), nullptr), 1);
  const int p_bits = static_cast<int>((bits + 1) / 2), q_bits = static_cast<int>(bits) - p_bits;
  for (auto [prime, size] : {std::pair{p.get(), p_bits}, std::pair{q.get(), q_bits}}) {
    EXPECT_EQ(BN_num_bits(prime), size);
    EXPECT_TRUE(BN_is_bit_set(prime, size - 1) && BN_is_bit_set(prime, size - 2)) << Hex(prime);
  }

  Bn t = NewBn(), p1(BN_dup(p.get())), q1(BN_dup(q.get())), g = NewBn(), lcm = NewBn();
  BN_mul(t.get(), p.get(), q.get(), ctx.get());
  EXPECT_EQ(BN_cmp(t.get(), n.get()), 0) << "n = p q";
  BN_sub_word(p1.get(), 1);
  BN_sub_word(q1.get(), 1);
  BN_gcd(g.get(), p1.get(), q1.get(), ctx.get());
  BN_mul(lcm.get(), p1.get(), q1.get(), ctx.get());
  BN_div(lcm.get(), nullptr, lcm.get(), g.get(), ctx.get());
  BN_mod_mul(t.get(), e.get(), d.get(), lcm.get(), ctx.get());
  EXPECT_TRUE(BN_is_one(t.get())) << "e d = 1 mod lcm(p - 1, q - 1)";
  BN_mod(t.get(), d.get(), p1.get(), ctx.get());
  EXPECT_EQ(Hex(t.get()), Hex(key->dp));
  BN_mod(t.get(), d.get(), q1.get(), ctx.get());
  EXPECT_EQ(Hex(t.get()), Hex(key->dq));
  BN_mod_mul(t.get(), q.get(), ToBn(key->q_inverse).get(), p.get(), ctx.get());
  EXPECT_TRUE(BN_is_one(t.get())) << "q inverse";
  EXPECT_LT(BN_cmp(ToBn(key->q_inverse).get(), p.get()), 0);

  Rsa rsa = ToRsa(*key);
  EXPECT_EQ(RSA_check_key(rsa.get()), 1) << ERR_error_string(ERR_get_error(), nullptr);
}

TEST_P(GeneratedKeyPair, PrivateBlockEqualsLibcrypto) {
  ExpectSamePrivateOperation(GeneratedKey(GetParam()).priv, 40);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GeneratedKeyPair, ::testing::Values(255u, 256u, 257u, 511u, 1024u));

TEST(GenerateKeyPair, ModulusLengthLimits) {
  struct Case {
    std::uint32_t bits;
    std::uint32_t status;
  } cases[] = {{0, telvor::kRsaModulusLength},   {254, telvor::kRsaModulusLength},
               {1025, telvor::kRsaModulusLength}, {0xFFFFFFFFu, telvor::kRsaModulusLength},
               {255, telvor::kRsaOk},             {1024, telvor::kRsaOk}};
  for (const auto& c : cases) {
    telvor::RandomGenerator g = FixedGenerator(1);
    KeyPair kp;
    kp.pub.fill(0xEE);
    EXPECT_EQ(telvor::GenerateKeyPair({c.bits, 1}, g, kp.pub, kp.priv), c.status) << c.bits;
    if (c.status != telvor::kRsaOk) {
      EXPECT_EQ(kp.pub[0], 0xEE) << "records untouched on failure";
    }
  }
}

TEST(GenerateKeyPair, UnseededGeneratorIsRefused) {
  telvor::RandomGenerator g;
  KeyPair kp;
  kp.pub.fill(0xEE);
  EXPECT_EQ(telvor::GenerateKeyPair({256, 1}, g, kp.pub, kp.priv), telvor::kRsaNeedRandom);
  EXPECT_EQ(kp.pub[0], 0xEE);
}

TEST(GenerateKeyPair, ExponentThree) {
  const KeyPair& kp = GeneratedKey(256, 0);
  const auto key = telvor::ParsePrivateKeyRecord(kp.priv);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->public_exponent, Natural::Of(3));
  for (const Natural& prime : {key->p, key->q}) {
    Natural r;
    telvor::Mod(prime, Natural::Of(3), r);
    EXPECT_EQ(r, Natural::Of(2)) << "p - 1 must not be divisible by 3";
  }
  Rsa rsa = ToRsa(*key);
  EXPECT_EQ(RSA_check_key(rsa.get()), 1);
  ExpectSamePrivateOperation(kp.priv, 10);
}

// The key follows from the generator alone: the same state gives the same pair, and the primes
// are those the prime search gives on the generator's stream, worked out here with BIGNUM: draw
// 16 bytes, r mod (hi - lo + 1) + lo, made odd, then the next prime; again while p - 1 shares a
// factor with e.
TEST(GenerateKeyPair, FollowsTheGeneratorStream) {
  telvor::RandomGenerator g1 = FixedGenerator(9), g2 = FixedGenerator(9);
  KeyPair a, b;
  ASSERT_EQ(telvor::GenerateKeyPair({256, 1}, g1, a.pub, a.priv), telvor::kRsaOk);
  ASSERT_EQ(telvor::GenerateKeyPair({256, 1}, g2, b.pub, b.priv), telvor::kRsaOk);
  EXPECT_EQ(a.priv, b.priv);

  telvor::RandomGenerator stream = FixedGenerator(9);
  BnCtx ctx(BN_CTX_new());
  const Bn lo = rsa_test::PowerOf2Bn(127), span = NewBn();
  BN_add(lo.get(), lo.get(), rsa_test::PowerOf2Bn(126).get());
  Bn hi = rsa_test::PowerOf2Bn(128);
  BN_sub_word(hi.get(), 1);
  BN_sub(span.get(), hi.get(), lo.get());
  BN_add_word(span.get(), 1);
  auto next_prime = [&] {
    for (;;) {
      std::array<std::uint8_t, 16> drawn;
      EXPECT_EQ(telvor::RandomBytes(stream, drawn), 0u);
      Bn a = BnFromBytes(drawn);
      BN_mod(a.get(), a.get(), span.get(), ctx.get());
      BN_add(a.get(), a.get(), lo.get());
      if (!BN_is_odd(a.get())) BN_add_word(a.get(), 1);
      while (BN_check_prime(a.get(), ctx.get(), nullptr) != 1) BN_add_word(a.get(), 2);
      Bn a1(BN_dup(a.get()));
      BN_sub_word(a1.get(), 1);
      if (BN_mod_word(a1.get(), 65537) != 0) return a;
    }
  };
  Bn p = next_prime(), q = next_prime();
  if (BN_cmp(p.get(), q.get()) < 0) std::swap(p, q);
  const auto key = telvor::ParsePrivateKeyRecord(a.priv);
  EXPECT_EQ(Hex(key->p), Hex(p.get()));
  EXPECT_EQ(Hex(key->q), Hex(q.get()));
  EXPECT_EQ(g1.state, stream.state) << "the generator is left where the searches left it";
}

TEST(RsaPrivateBlock, InputMustBeBelowTheModulus) {
  const KeyPair& kp = GeneratedKey(256);
  const auto key = telvor::ParsePrivateKeyRecord(kp.priv);
  const Bn n = ToBn(key->modulus);
  Bn n1(BN_dup(n.get()));
  BN_add_word(n1.get(), 1);
  std::vector<std::uint8_t> long_zero_padded(300, 0);
  long_zero_padded.back() = 2;
  std::vector<std::uint8_t> long_high(300, 0);
  long_high[0] = 1;
  long_high.back() = 2;  // the low bytes alone would be a valid input
  struct Case {
    const char* name;
    std::vector<std::uint8_t> input;
    std::uint32_t status;
  } cases[] = {
      {"the modulus itself", Padded(n.get(), 32), telvor::kRsaDataError},
      {"modulus + 1", Padded(n1.get(), 32), telvor::kRsaDataError},
      {"all ones", std::vector<std::uint8_t>(32, 0xFF), telvor::kRsaDataError},
      {"300 bytes with a high byte set", long_high, telvor::kRsaDataError},
      {"empty is 0", {}, telvor::kRsaBlockDone},
      {"one byte", {0x07}, telvor::kRsaBlockDone},
      {"300 bytes, leading zeros", long_zero_padded, telvor::kRsaBlockDone},
  };
  Rsa rsa = ToRsa(*key);
  for (const auto& c : cases) {
    std::array<std::uint8_t, telvor::kRsaMaxModulusBytes> out;
    out.fill(0xCC);
    std::size_t len = 99;
    EXPECT_EQ(telvor::RsaPrivateBlock(c.input, kp.priv, out, len), c.status) << c.name;
    if (c.status == telvor::kRsaBlockDone) {
      ASSERT_EQ(len, 32u) << c.name;
      const std::vector<std::uint8_t> padded = Padded(BnFromBytes(c.input).get(), 32);
      EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 32), LibcryptoPrivate(rsa.get(), padded)) << c.name;
    } else {
      EXPECT_EQ(len, 0u) << c.name;
      EXPECT_EQ(out[0], 0xCC) << c.name;
    }
  }
}

// Keys made by libcrypto, written into the record in both orders of the primes (the CRT step
// must not assume p > q for a key it did not make).
TEST(RsaPrivateBlock, ForeignKeysInEitherPrimeOrder) {
  for (int bits : {512, 1024}) {
    Rsa rsa(RSA_new());
    Bn e = NewBn();
    BN_set_word(e.get(), 65537);
    ASSERT_EQ(RSA_generate_key_ex(rsa.get(), bits, e.get(), nullptr), 1);
    telvor::PrivateKey key = FromRsa(rsa.get(), static_cast<std::uint16_t>(bits));
    telvor::PrivateKeyRecord record;
    ASSERT_TRUE(telvor::WritePrivateKeyRecord(key, record));
    ExpectSamePrivateOperation(record, 10);

    std::swap(key.p, key.q);
    std::swap(key.dp, key.dq);
    ASSERT_TRUE(telvor::ModInverse(key.q, key.p, key.q_inverse));
    ASSERT_TRUE(telvor::WritePrivateKeyRecord(key, record));
    ExpectSamePrivateOperation(record, 10);
  }
}

TEST(RsaPrivateBlock, UnusableRecordsAreRefused) {
  const KeyPair& kp = GeneratedKey(256);
  auto with = [&](auto change) {
    std::vector<std::uint8_t> r(kp.priv.begin(), kp.priv.end());
    change(r);
    return r;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> record;
    std::uint32_t status;
  } cases[] = {
      {"empty", {}, telvor::kRsaBadPrivateKey},
      {"one byte short", with([](auto& r) { r.pop_back(); }), telvor::kRsaBadPrivateKey},
      {"one byte long", with([](auto& r) { r.push_back(0); }), telvor::kRsaBadPrivateKey},
      {"all zero", std::vector<std::uint8_t>(706, 0), telvor::kRsaModulusLength},
      {"254 bits", with([](auto& r) { r[0] = 254; r[1] = 0; }), telvor::kRsaModulusLength},
      {"1025 bits", with([](auto& r) { r[0] = 0x01; r[1] = 0x04; }), telvor::kRsaModulusLength},
      {"bits below the modulus", with([](auto& r) { r[0] = 255; r[1] = 0; }), telvor::kRsaBadPrivateKey},
      {"p zero", with([](auto& r) { std::fill(r.begin() + 386, r.begin() + 450, 0); }), telvor::kRsaBadPrivateKey},
      {"q zero", with([](auto& r) { std::fill(r.begin() + 450, r.begin() + 514, 0); }), telvor::kRsaBadPrivateKey},
      {"modulus changed", with([](auto& r) { r[129] ^= 2; }), telvor::kRsaBadPrivateKey},
      {"bits raised", with([](auto& r) { r[0] = 0x00; r[1] = 0x01 + 2; }), telvor::kRsaBlockDone},
  };
  const std::uint8_t input[] = {1, 2, 3};
  for (const auto& c : cases) {
    std::array<std::uint8_t, telvor::kRsaMaxModulusBytes> out;
    std::size_t len = 5;
    EXPECT_EQ(telvor::RsaPrivateBlock(input, c.record, out, len), c.status) << c.name;
    if (c.status != telvor::kRsaBlockDone) {
      EXPECT_EQ(len, 0u) << c.name;
    }
  }
}

// Whatever the bytes, the record readers and the private operation answer with a result and
// stay inside their buffers (the sanitizer builds watch the reads).
TEST(KeyRecords, AnyBytesAreHandledSafely) {
  std::mt19937_64 rng(706);
  const KeyPair& kp = GeneratedKey(256);
  const std::set<std::uint32_t> results = {telvor::kRsaBlockDone, telvor::kRsaDataError,
                                           telvor::kRsaModulusLength, telvor::kRsaBadPrivateKey};
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> record;
    if (i % 2 == 0) {  // random length and content
      record.resize(rng() % 800);
      for (auto& b : record) b = static_cast<std::uint8_t>(rng());
    } else {  // the real record with a few bytes changed
      record.assign(kp.priv.begin(), kp.priv.end());
      for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k) record[rng() % record.size()] = static_cast<std::uint8_t>(rng());
    }
    const auto priv = telvor::ParsePrivateKeyRecord(record);
    const auto pub = telvor::ParsePublicKeyRecord(record);
    EXPECT_EQ(priv.has_value(), record.size() == telvor::kPrivateKeyRecordSize);
    EXPECT_EQ(pub.has_value(), record.size() == telvor::kPublicKeyRecordSize);
    std::vector<std::uint8_t> input(rng() % 140);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());
    std::array<std::uint8_t, telvor::kRsaMaxModulusBytes> out;
    std::size_t len = 0;
    const std::uint32_t status = telvor::RsaPrivateBlock(input, record, out, len);
    ASSERT_TRUE(results.count(status)) << status;
    EXPECT_LE(len, out.size());
  }
  EXPECT_TRUE(telvor::ParsePublicKeyRecord(kp.pub));
  EXPECT_FALSE(telvor::ParsePublicKeyRecord({}));
}

TEST(KeyRecords, WriteRefusesNumbersWiderThanTheirFields) {
  telvor::PrivateKey key;
  key.bits = 256;
  telvor::PowerOfTwo(512, key.p);  // 65 bytes for a 64-byte field
  telvor::PrivateKeyRecord record;
  EXPECT_FALSE(telvor::WritePrivateKeyRecord(key, record));
  telvor::PublicKey pub;
  telvor::PowerOfTwo(1024, pub.modulus);
  telvor::PublicKeyRecord pub_record;
  EXPECT_FALSE(telvor::WritePublicKeyRecord(pub, pub_record));
  telvor::PowerOfTwo(1023, pub.modulus);
  EXPECT_TRUE(telvor::WritePublicKeyRecord(pub, pub_record));
  EXPECT_EQ(pub_record[2], 0x80);
}

class PrimeSearch : public ::testing::Test {
 protected:
  std::uint32_t Search(std::uint32_t lo, std::uint32_t hi, std::uint32_t step, Natural& prime) {
    return telvor::GeneratePrime(Natural::Of(lo), Natural::Of(hi), Natural::Of(step), generator_, prime);
  }
  telvor::RandomGenerator generator_ = FixedGenerator(42);
};

TEST_F(PrimeSearch, SmallRanges) {
  struct Case {
    std::uint32_t lo, hi, step;
    std::uint32_t status;
    std::uint32_t prime;  // when the range allows only one
  } cases[] = {
      {7, 7, 2, telvor::kRsaOk, 7},           // a small prime passes the trial division
      {3, 3, 2, telvor::kRsaOk, 3},
      {8191, 8191, 2, telvor::kRsaOk, 8191},  // the last divisor of the table
      {8, 10, 2, telvor::kRsaDataError, 0},   // only 9 in the range
      {14, 16, 2, telvor::kRsaDataError, 0},  // 15, then 17 is past hi
      {24, 28, 2, telvor::kRsaDataError, 0},  // 25 and 27
      {10, 5, 2, telvor::kRsaDataError, 0},   // empty range
      {3, 100, 0, telvor::kRsaDataError, 0},  // no step
      {89, 97, 1, telvor::kRsaOk, 97},        // every number a candidate
  };
  for (const auto& c : cases) {
    Natural prime;
    EXPECT_EQ(Search(c.lo, c.hi, c.step, prime), c.status) << c.lo << ".." << c.hi << " step " << c.step;
    if (c.status == telvor::kRsaOk && c.prime != 0) {
      EXPECT_EQ(prime, Natural::Of(c.prime)) << c.lo;
    }
  }
}

TEST_F(PrimeSearch, ResultLiesInTheRangeOnTheStep) {
  BnCtx ctx(BN_CTX_new());
  std::mt19937_64 rng(7);
  for (int i = 0; i < 200; ++i) {
    const std::uint32_t step = std::array<std::uint32_t, 4>{2, 4, 6, 30}[i % 4];
    const std::uint32_t lo = 1000 + static_cast<std::uint32_t>(rng() % 1000000);
    const std::uint32_t hi = lo + 2000;
    Natural prime;
    ASSERT_EQ(Search(lo, hi, step, prime), telvor::kRsaOk);
    const std::uint32_t v = prime.digits[0];
    EXPECT_GE(v, lo);
    EXPECT_LE(v, hi);
    EXPECT_EQ((v - 1) % step, 0u) << v;
    EXPECT_EQ(BN_check_prime(ToBn(prime).get(), ctx.get(), nullptr), 1) << v;
  }
}

TEST_F(PrimeSearch, NeedsASeededGenerator) {
  generator_ = telvor::RandomGenerator{};
  Natural prime;
  EXPECT_EQ(Search(3, 1000, 2, prime), telvor::kRsaNeedRandom);
}

TEST(SessionKeys, MadeOnceAndUsedInDeviceByteOrder) {
  telvor::SessionRsaKeys keys;
  telvor::RandomGenerator generator;
  ASSERT_EQ(telvor::EnsureSessionKeys(keys, generator), telvor::kRsaOk);
  EXPECT_EQ(keys.keys_ready, 1u);
  EXPECT_EQ(keys.public_record[0] | keys.public_record[1] << 8, 256);
  const telvor::SessionRsaKeys first = keys;
  ASSERT_EQ(telvor::EnsureSessionKeys(keys, generator), telvor::kRsaOk);
  EXPECT_EQ(keys.private_record, first.private_record) << "made only the first time";

  const auto key = telvor::ParsePrivateKeyRecord(keys.private_record);
  ASSERT_TRUE(key);
  Rsa rsa = ToRsa(*key);
  EXPECT_EQ(RSA_check_key(rsa.get()), 1);

  telvor::DeviceKeyField modulus, exponent;
  telvor::DevicePublicKeyFields(keys.public_record, modulus, exponent);
  const Bn n = ToBn(key->modulus);
  telvor::DeviceKeyField n_le;
  BN_bn2lebinpad(n.get(), n_le.data(), 32);
  EXPECT_EQ(modulus, n_le);
  telvor::DeviceKeyField e_le{};
  e_le[0] = 0x01;
  e_le[2] = 0x01;
  EXPECT_EQ(exponent, e_le);

  // The device encrypts x with the public key and sends it least significant byte first.
  BnCtx ctx(BN_CTX_new());
  for (int i = 0; i < 20; ++i) {
    Bn x = NewBn(), y = NewBn();
    BN_rand_range(x.get(), n.get());
    BN_mod_exp(y.get(), x.get(), ToBn(key->public_exponent).get(), n.get(), ctx.get());
    telvor::DeviceKeyField block, opened, x_le;
    BN_bn2lebinpad(y.get(), block.data(), 32);
    BN_bn2lebinpad(x.get(), x_le.data(), 32);
    ASSERT_EQ(telvor::OpenDeviceBlock(keys, block, opened), telvor::kRsaBlockDone);
    EXPECT_EQ(opened, x_le);
  }
  telvor::DeviceKeyField opened;
  EXPECT_EQ(telvor::OpenDeviceBlock(keys, modulus, opened), telvor::kRsaDataError);
  EXPECT_EQ(telvor::OpenDeviceBlock(telvor::SessionRsaKeys{}, modulus, opened), telvor::kRsaBadPrivateKey);
}

}  // namespace
