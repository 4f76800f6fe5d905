// Natural numbers of up to 33 32-bit digits (1056 bits): the arithmetic behind the RSA key pairs.
//
// Every function takes its operands by reference and writes its result through an out-parameter
// that may be the same object as an operand. Nothing here allocates or throws; a call that cannot
// give a meaningful result (division by zero, a product that does not fit) says so in its return
// value instead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace telvor {

inline constexpr std::size_t kNaturalDigits = 33;
inline constexpr std::size_t kNaturalBits = kNaturalDigits * 32;
inline constexpr std::size_t kNaturalBytes = kNaturalDigits * 4;

struct Natural {
  // Least significant digit first.
  std::array<std::uint32_t, kNaturalDigits> digits{};

  static Natural Of(std::uint32_t value) {
    Natural n;
    n.digits[0] = value;
    return n;
  }
  bool IsZero() const;
  bool IsOdd() const { return (digits[0] & 1) != 0; }
  friend bool operator==(const Natural&, const Natural&) = default;
};

// Reads a big-endian byte string of any length. Returns false, and leaves `out` zero, when the
// value does not fit in 33 digits (a non-zero byte before the last 132).
bool DecodeNatural(std::span<const std::uint8_t> bytes, Natural& out);

// Writes `value` big-endian and right-aligned into `field`, leading bytes 0. Returns false when
// the value has more significant bytes than the field holds; the field then has the low bytes.
bool EncodeNatural(const Natural& value, std::span<std::uint8_t> field);

// -1, 0 or 1 as a is smaller than, equal to or greater than b.
int Compare(const Natural& a, const Natural& b);

// sum = (a + b) mod 2^1056; returns the carry out of the top digit (0 or 1).
std::uint32_t Add(const Natural& a, const Natural& b, Natural& sum);

// diff = (a - b) mod 2^1056; returns 1 when b was greater than a (a borrow), else 0.
std::uint32_t Subtract(const Natural& a, const Natural& b, Natural& diff);

// product = a * b. Returns false when the product needs more than 33 digits; `product` then
// holds its low 33 digits.
bool Multiply(const Natural& a, const Natural& b, Natural& product);

// quotient = a / b and remainder = a mod b; either pointer may be null. False when b is 0
// (outputs untouched).
bool Divide(const Natural& a, const Natural& b, Natural* quotient, Natural* remainder);

// r = a mod m. False when m is 0.
bool Mod(const Natural& a, const Natural& m, Natural& r);

// r = a * b mod m, with the full double-length product. False when m is 0.
bool ModMultiply(const Natural& a, const Natural& b, const Natural& m, Natural& r);

// r = base ^ exponent mod m (0 ^ 0 = 1; anything mod 1 is 0). False when m is 0.
bool ModExp(const Natural& base, const Natural& exponent, const Natural& m, Natural& r);

// r = a ^ -1 mod m, the x in [0, m) with a * x = 1 mod m. False when m is 0 or a and m are not
// coprime (no inverse exists).
bool ModInverse(const Natural& a, const Natural& m, Natural& r);

// Greatest common divisor; gcd(0, 0) = 0.
Natural Gcd(const Natural& a, const Natural& b);

// Number of digits up to the most significant non-zero one (0 for the number 0).
std::size_t SignificantDigits(const Natural& a);

// Position of the highest set bit plus one (0 for the number 0).
std::size_t SignificantBits(const Natural& a);

// r = 2 ^ k. False, and r untouched, when k >= 1056.
bool PowerOfTwo(std::size_t k, Natural& r);

// The 1027 odd primes from 3 to 8191, ascending: the divisors of the probable-prime test.
std::span<const std::uint16_t> SmallOddPrimes();

// Probable-prime test for an odd candidate: trial division by every small odd prime (a
// one-digit candidate equal to the prime at hand ends the division as passed), then Fermat's
// test with base 2 (2 ^ a mod a = 2). Of the even numbers only 2 passes.
bool IsProbablePrime(const Natural& a);

}  // namespace telvor
