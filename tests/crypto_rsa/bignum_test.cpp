#include "telvor/crypto/bignum.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <vector>

#include "tests/crypto_rsa/bn_util.h"

namespace {

using rsa_test::Bn;
using rsa_test::BnCtx;
using rsa_test::FromBn;
using rsa_test::Hex;
using rsa_test::MakeOperand;
using rsa_test::NewBn;
using rsa_test::Shape;
using rsa_test::ToBn;
using telvor::Natural;

// Every pair of operands drawn from these sizes and shapes: 0, one digit, two digits, half and
// full width, and the top digit (33) where the carries and products leave the number.
class NaturalVsBignum : public ::testing::Test {
 protected:
  static constexpr std::size_t kSizes[] = {0, 1, 2, 3, 5, 16, 17, 32, 33};
  static constexpr Shape kShapes[] = {Shape::kRandom, Shape::kAllOnes, Shape::kTopBitOnly,
                                      Shape::kSparse};

  std::vector<Natural> Operands(int rounds) {
    std::vector<Natural> out;
    for (int r = 0; r < rounds; ++r)
      for (std::size_t size : kSizes)
        for (Shape shape : kShapes) out.push_back(MakeOperand(rng_, size, shape));
    out.push_back(Natural::Of(1));
    return out;
  }

  std::mt19937_64 rng_{20261210};
  BnCtx ctx_{BN_CTX_new()};
};

TEST_F(NaturalVsBignum, CompareAddSubtract) {
  const auto ops = Operands(2);
  const Bn top = rsa_test::PowerOf2Bn(telvor::kNaturalBits);
  for (const Natural& a : ops) {
    for (const Natural& b : ops) {
      const Bn x = ToBn(a), y = ToBn(b);
      ASSERT_EQ(telvor::Compare(a, b), BN_cmp(x.get(), y.get())) << Hex(a) << " vs " << Hex(b);

      Natural sum;
      const std::uint32_t carry = telvor::Add(a, b, sum);
      Bn want = NewBn();
      BN_add(want.get(), x.get(), y.get());
      ASSERT_EQ(carry, BN_cmp(want.get(), top.get()) >= 0 ? 1u : 0u) << Hex(a) << " + " << Hex(b);
      ASSERT_EQ(Hex(sum), Hex(FromBn(want.get()))) << Hex(a) << " + " << Hex(b);

      Natural diff;
      const std::uint32_t borrow = telvor::Subtract(a, b, diff);
      BN_sub(want.get(), x.get(), y.get());
      if (BN_is_negative(want.get())) BN_add(want.get(), want.get(), top.get());
      ASSERT_EQ(borrow, BN_cmp(x.get(), y.get()) < 0 ? 1u : 0u);
      ASSERT_EQ(Hex(diff), Hex(FromBn(want.get()))) << Hex(a) << " - " << Hex(b);
    }
  }
}

TEST_F(NaturalVsBignum, MultiplyDivideMod) {
  const auto ops = Operands(2);
  const Bn top = rsa_test::PowerOf2Bn(telvor::kNaturalBits);
  for (const Natural& a : ops) {
    for (const Natural& b : ops) {
      const Bn x = ToBn(a), y = ToBn(b);
      Natural product;
      const bool fits = telvor::Multiply(a, b, product);
      Bn want = NewBn();
      BN_mul(want.get(), x.get(), y.get(), ctx_.get());
      ASSERT_EQ(fits, BN_cmp(want.get(), top.get()) < 0) << Hex(a) << " * " << Hex(b);
      ASSERT_EQ(Hex(product), Hex(FromBn(want.get()))) << Hex(a) << " * " << Hex(b);

      Natural q, r;
      if (b.IsZero()) {
        Natural untouched = Natural::Of(77);
        EXPECT_FALSE(telvor::Divide(a, b, &untouched, &untouched));
        EXPECT_FALSE(telvor::Mod(a, b, untouched));
        EXPECT_EQ(untouched, Natural::Of(77));
        continue;
      }
      ASSERT_TRUE(telvor::Divide(a, b, &q, &r));
      Bn wq = NewBn(), wr = NewBn();
      BN_div(wq.get(), wr.get(), x.get(), y.get(), ctx_.get());
      ASSERT_EQ(Hex(q), Hex(wq.get())) << Hex(a) << " / " << Hex(b);
      ASSERT_EQ(Hex(r), Hex(wr.get())) << Hex(a) << " % " << Hex(b);
      Natural m;
      ASSERT_TRUE(telvor::Mod(a, b, m));
      ASSERT_EQ(m, r);
    }
  }
}

// Divisions whose first estimated quotient digit is too large by one or two, so that the
// correction and the add-back steps of the long division run.
TEST_F(NaturalVsBignum, DivisionCorrectionSteps) {
  struct Case {
    std::vector<std::uint32_t> u, v;  // least significant digit first
  } cases[] = {
      {{0, 0, 0x80000000u, 0x7FFFFFFFu}, {1, 0, 0x80000000u}},
      {{0, 0xFFFFFFFEu, 0, 0x80000000u}, {0xFFFFFFFFu, 0x80000000u}},
      {{3, 0, 0x80000000u}, {1, 0, 0x20000000u}},
      {{0, 0, 0x80000000u}, {1, 0x80000000u}},
      {{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0xFFFFFFFFu}},
      {{0x00000001u, 0x00000000u, 0xFFFFFFFFu, 0x7FFFFFFFu}, {0xFFFFFFFFu, 0x00000000u, 0x80000000u}},
      {{0x89ABCDEFu, 0x01234567u, 0x00000000u, 0x00000001u}, {0x00000001u, 0x00000001u}},
  };
  for (const auto& c : cases) {
    Natural u, v;
    std::copy(c.u.begin(), c.u.end(), u.digits.begin());
    std::copy(c.v.begin(), c.v.end(), v.digits.begin());
    // Also shifted up to the top digits, where the dividend fills all 33.
    for (std::size_t shift : {std::size_t{0}, telvor::kNaturalDigits - c.u.size()}) {
      Natural su, sv;
      std::copy(u.digits.begin(), u.digits.begin() + c.u.size(), su.digits.begin() + shift);
      std::copy(v.digits.begin(), v.digits.begin() + c.v.size(), sv.digits.begin() + shift);
      Natural q, r;
      ASSERT_TRUE(telvor::Divide(su, sv, &q, &r));
      Bn wq = NewBn(), wr = NewBn();
      BN_div(wq.get(), wr.get(), ToBn(su).get(), ToBn(sv).get(), ctx_.get());
      EXPECT_EQ(Hex(q), Hex(wq.get())) << Hex(su) << " / " << Hex(sv);
      EXPECT_EQ(Hex(r), Hex(wr.get())) << Hex(su) << " % " << Hex(sv);
    }
  }
}

TEST_F(NaturalVsBignum, ModularOperationsAndGcd) {
  const auto ops = Operands(1);
  for (const Natural& m : ops) {
    if (m.IsZero()) continue;
    const Bn bm = ToBn(m);
    for (const Natural& a : ops) {
      const Natural& b = ops[(rng_() % ops.size())];
      const Bn x = ToBn(a), y = ToBn(b);
      Bn want = NewBn();

      Natural r;
      ASSERT_TRUE(telvor::ModMultiply(a, b, m, r));
      BN_mod_mul(want.get(), x.get(), y.get(), bm.get(), ctx_.get());
      ASSERT_EQ(Hex(r), Hex(want.get())) << Hex(a) << " * " << Hex(b) << " mod " << Hex(m);

      ASSERT_TRUE(telvor::ModExp(a, b, m, r));
      BN_mod_exp(want.get(), x.get(), y.get(), bm.get(), ctx_.get());
      ASSERT_EQ(Hex(r), Hex(want.get())) << Hex(a) << " ^ " << Hex(b) << " mod " << Hex(m);

      BN_gcd(want.get(), x.get(), bm.get(), ctx_.get());
      ASSERT_EQ(Hex(telvor::Gcd(a, m)), Hex(want.get())) << "gcd " << Hex(a) << ", " << Hex(m);

      // (libcrypto declines every inverse mod 1; DegenerateModuli covers that case.)
      if (m == Natural::Of(1)) continue;
      const bool has_inverse = telvor::ModInverse(a, m, r);
      Bn inv(BN_mod_inverse(nullptr, x.get(), bm.get(), ctx_.get()));
      ERR_clear_error();
      ASSERT_EQ(has_inverse, inv != nullptr) << Hex(a) << " ^ -1 mod " << Hex(m);
      if (inv) {
        ASSERT_EQ(Hex(r), Hex(inv.get())) << Hex(a) << " ^ -1 mod " << Hex(m);
      }
    }
  }
}

TEST(NaturalModular, DegenerateModuli) {
  const Natural zero, one = Natural::Of(1), seven = Natural::Of(7);
  Natural r = Natural::Of(5);
  EXPECT_FALSE(telvor::ModMultiply(seven, seven, zero, r));
  EXPECT_FALSE(telvor::ModExp(seven, seven, zero, r));
  EXPECT_FALSE(telvor::ModInverse(seven, zero, r));
  EXPECT_EQ(r, Natural::Of(5));  // untouched by the refusals
  ASSERT_TRUE(telvor::ModExp(seven, zero, one, r));
  EXPECT_EQ(r, zero);  // anything mod 1 is 0
  ASSERT_TRUE(telvor::ModExp(zero, zero, seven, r));
  EXPECT_EQ(r, one);
  ASSERT_TRUE(telvor::ModInverse(seven, one, r));
  EXPECT_EQ(r, zero);
  EXPECT_FALSE(telvor::ModInverse(zero, seven, r));
  EXPECT_EQ(telvor::Gcd(zero, zero), zero);
  EXPECT_EQ(telvor::Gcd(zero, seven), seven);
}

// Results may be written over an operand.
TEST(NaturalModular, OutputMayAliasOperands) {
  std::mt19937_64 rng(5);
  const Natural a0 = MakeOperand(rng, 8, Shape::kRandom), m = MakeOperand(rng, 5, Shape::kRandom);
  Natural expected;
  telvor::ModExp(a0, a0, m, expected);
  Natural a = a0;
  telvor::ModExp(a, a, m, a);
  EXPECT_EQ(a, expected);
  a = a0;
  telvor::ModMultiply(a, a0, m, expected);
  telvor::ModMultiply(a, a, m, a);
  EXPECT_EQ(a, expected);
  a = a0;
  telvor::Divide(a0, m, &expected, nullptr);
  telvor::Divide(a, m, &a, nullptr);
  EXPECT_EQ(a, expected);
}

TEST(NaturalCoding, DecodeAnyLengthEncodeRightAligned) {
  // Short, exact and over-long strings; leading zero bytes beyond 132 are allowed.
  std::vector<std::uint8_t> bytes(200, 0);
  bytes[199] = 0x01;
  bytes[68] = 0xAB;  // byte 131 counted from the end: the top byte of digit 32
  Natural n;
  ASSERT_TRUE(telvor::DecodeNatural(bytes, n));
  EXPECT_EQ(n.digits[0], 1u);
  EXPECT_EQ(n.digits[32], 0xAB000000u);
  bytes[67] = 0x01;  // one byte too far up
  EXPECT_FALSE(telvor::DecodeNatural(bytes, n));
  EXPECT_TRUE(n.IsZero());
  ASSERT_TRUE(telvor::DecodeNatural({}, n));
  EXPECT_TRUE(n.IsZero());

  const std::uint8_t be[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  ASSERT_TRUE(telvor::DecodeNatural(be, n));
  EXPECT_EQ(n.digits[0], 0x02030405u);
  EXPECT_EQ(n.digits[1], 0x01u);
  std::uint8_t field[8];
  EXPECT_TRUE(telvor::EncodeNatural(n, field));
  const std::uint8_t expected[] = {0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_TRUE(std::equal(field, field + 8, expected));
  std::uint8_t narrow[4];
  EXPECT_FALSE(telvor::EncodeNatural(n, narrow));  // does not fit: low bytes kept
  EXPECT_EQ(narrow[0], 0x02);
  std::uint8_t wide[140];
  EXPECT_TRUE(telvor::EncodeNatural(n, wide));
  EXPECT_EQ(wide[139], 0x05);
  EXPECT_EQ(wide[0], 0);
}

TEST(NaturalSize, SignificantDigitsBitsAndPowersOfTwo) {
  for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{32},
                        std::size_t{127}, std::size_t{1024}, telvor::kNaturalBits - 1}) {
    Natural p;
    ASSERT_TRUE(telvor::PowerOfTwo(k, p));
    EXPECT_EQ(Hex(p), Hex(rsa_test::PowerOf2Bn(static_cast<int>(k)).get())) << k;
    EXPECT_EQ(telvor::SignificantBits(p), k + 1);
    EXPECT_EQ(telvor::SignificantDigits(p), k / 32 + 1);
  }
  Natural untouched = Natural::Of(9);
  EXPECT_FALSE(telvor::PowerOfTwo(telvor::kNaturalBits, untouched));
  EXPECT_EQ(untouched, Natural::Of(9));
  EXPECT_EQ(telvor::SignificantBits(Natural{}), 0u);
  EXPECT_EQ(telvor::SignificantDigits(Natural{}), 0u);
}

TEST(ProbablePrime, SmallPrimeTable) {
  const auto primes = telvor::SmallOddPrimes();
  ASSERT_EQ(primes.size(), 1027u);
  EXPECT_EQ(primes.front(), 3);
  EXPECT_EQ(primes.back(), 8191);
  BnCtx ctx(BN_CTX_new());
  for (std::size_t i = 0; i < primes.size(); ++i) {
    if (i > 0) {
      ASSERT_LT(primes[i - 1], primes[i]);
    }
    const Bn p = ToBn(Natural::Of(primes[i]));
    ASSERT_EQ(BN_check_prime(p.get(), ctx.get(), nullptr), 1) << primes[i];
  }
}

// Below 8209 * 8209 every composite has a factor in the table, so the test is exact there;
// the small primes themselves pass (a one-digit candidate is not divided by itself).
TEST(ProbablePrime, ExactForSmallNumbers) {
  BnCtx ctx(BN_CTX_new());
  for (std::uint32_t v = 1; v < 40000; v += 2) {
    const bool want = BN_check_prime(ToBn(Natural::Of(v)).get(), ctx.get(), nullptr) == 1;
    ASSERT_EQ(telvor::IsProbablePrime(Natural::Of(v)), want) << v;
  }
  EXPECT_TRUE(telvor::IsProbablePrime(Natural::Of(2)));
  EXPECT_FALSE(telvor::IsProbablePrime(Natural::Of(0)));
  EXPECT_FALSE(telvor::IsProbablePrime(Natural::Of(4)));
  EXPECT_FALSE(telvor::IsProbablePrime(Natural::Of(8209u * 8219u)));  // no small factor
}

TEST(ProbablePrime, LargeKnownNumbers) {
  struct Case {
    int exponent;
    int add;  // 2^exponent + add
    bool passes;
  } cases[] = {
      {127, -1, true},    // Mersenne prime
      {521, -1, true},    // Mersenne prime, 17 digits
      {128, -159, true},  // the largest prime below 2^128
      {128, -1, false},   // divisible by 3
      {1023, 1, false},   // divisible by 3
      {1024, -105, true}, // a prime just below 2^1024
      // Fermat number F7: composite, without a factor below 8191, and like every Fermat
      // number a base-2 pseudoprime, so the test takes it as probably prime.
      {128, 1, true},
  };
  for (const auto& c : cases) {
    Bn v = rsa_test::PowerOf2Bn(c.exponent);
    if (c.add < 0) BN_sub_word(v.get(), static_cast<BN_ULONG>(-c.add));
    else BN_add_word(v.get(), static_cast<BN_ULONG>(c.add));
    EXPECT_EQ(telvor::IsProbablePrime(FromBn(v.get())), c.passes) << "2^" << c.exponent << " + " << c.add;
  }
}

}  // namespace
