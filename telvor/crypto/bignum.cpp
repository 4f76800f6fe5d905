#include "telvor/crypto/bignum.h"

#include <algorithm>
#include <bit>

namespace telvor {
namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

constexpr std::size_t kWide = 2 * kNaturalDigits;

std::size_t Significant(const u32* a, std::size_t n) {
  while (n > 0 && a[n - 1] == 0) --n;
  return n;
}

// w[0 .. na + nb) = a * b.
void MulDigits(const u32* a, std::size_t na, const u32* b, std::size_t nb, u32* w) {
  std::fill(w, w + na + nb, 0u);
  for (std::size_t i = 0; i < na; ++i) {
    u64 carry = 0;
    const u64 ai = a[i];
    for (std::size_t j = 0; j < nb; ++j) {
      const u64 t = ai * b[j] + w[i + j] + carry;
      w[i + j] = static_cast<u32>(t);
      carry = t >> 32;
    }
    w[i + nb] = static_cast<u32>(carry);
  }
}

// Long division (Knuth's algorithm D). u has nu digits, v has nv significant digits (nv >= 1,
// v[nv - 1] != 0, nu <= kWide, nv <= kNaturalDigits). Writes max(nu - nv + 1, 1) quotient digits
// to q (if given) and nv remainder digits to r (if given).
void DivDigits(const u32* u, std::size_t nu, const u32* v, std::size_t nv, u32* q, u32* r) {
  if (nu < nv) {
    if (q) q[0] = 0;
    if (r) {
      std::copy(u, u + nu, r);
      std::fill(r + nu, r + nv, 0u);
    }
    return;
  }
  if (nv == 1) {
    u64 rem = 0;
    for (std::size_t i = nu; i-- > 0;) {
      const u64 cur = (rem << 32) | u[i];
      if (q) q[i] = static_cast<u32>(cur / v[0]);
      rem = cur % v[0];
    }
    if (r) r[0] = static_cast<u32>(rem);
    return;
  }
  const int s = std::countl_zero(v[nv - 1]);
  u32 vn[kNaturalDigits];
  u32 un[kWide + 1];
  for (std::size_t i = nv - 1; i > 0; --i)
    vn[i] = s ? (v[i] << s) | (v[i - 1] >> (32 - s)) : v[i];
  vn[0] = v[0] << s;
  un[nu] = s ? u[nu - 1] >> (32 - s) : 0;
  for (std::size_t i = nu - 1; i > 0; --i)
    un[i] = s ? (u[i] << s) | (u[i - 1] >> (32 - s)) : u[i];
  un[0] = u[0] << s;

  constexpr u64 kBase = u64{1} << 32;
  for (std::size_t j = nu - nv + 1; j-- > 0;) {
    const u64 num = (u64{un[j + nv]} << 32) | un[j + nv - 1];
    u64 qhat = num / vn[nv - 1];
    u64 rhat = num % vn[nv - 1];
    while (qhat >= kBase || qhat * vn[nv - 2] > ((rhat << 32) | un[j + nv - 2])) {
      --qhat;
      rhat += vn[nv - 1];
      if (rhat >= kBase) break;
    }
    // un[j .. j + nv] -= qhat * vn
    std::int64_t t = 0;
    u64 k = 0;
    for (std::size_t i = 0; i < nv; ++i) {
      const u64 p = qhat * vn[i];
      t = static_cast<std::int64_t>(un[i + j]) - static_cast<std::int64_t>(k) -
          static_cast<std::int64_t>(p & 0xFFFFFFFFu);
      un[i + j] = static_cast<u32>(t);
      k = (p >> 32) - static_cast<u64>(t >> 32);
    }
    t = static_cast<std::int64_t>(un[j + nv]) - static_cast<std::int64_t>(k);
    un[j + nv] = static_cast<u32>(t);
    if (t < 0) {  // qhat was one too large: add the divisor back
      --qhat;
      u64 c = 0;
      for (std::size_t i = 0; i < nv; ++i) {
        const u64 sum = u64{un[i + j]} + vn[i] + c;
        un[i + j] = static_cast<u32>(sum);
        c = sum >> 32;
      }
      un[j + nv] = static_cast<u32>(un[j + nv] + c);
    }
    if (q) q[j] = static_cast<u32>(qhat);
  }
  if (r) {
    for (std::size_t i = 0; i + 1 < nv; ++i)
      r[i] = s ? (un[i] >> s) | (un[i + 1] << (32 - s)) : un[i];
    r[nv - 1] = un[nv - 1] >> s;
  }
}

// r = w mod m for a wide number w of nw digits; m non-zero.
void ModWide(const u32* w, std::size_t nw, const Natural& m, Natural& r) {
  const std::size_t nm = Significant(m.digits.data(), kNaturalDigits);
  u32 rem[kNaturalDigits];
  DivDigits(w, Significant(w, nw), m.digits.data(), nm, nullptr, rem);
  Natural out;
  std::copy(rem, rem + nm, out.digits.begin());
  r = out;
}

// r = a * b mod m; a and b need not be reduced; m non-zero.
void ModMulUnchecked(const Natural& a, const Natural& b, const Natural& m, Natural& r) {
  u32 w[kWide];
  const std::size_t na = Significant(a.digits.data(), kNaturalDigits);
  const std::size_t nb = Significant(b.digits.data(), kNaturalDigits);
  MulDigits(a.digits.data(), na, b.digits.data(), nb, w);
  ModWide(w, na + nb, m, r);
}

constexpr std::size_t kSmallPrimeCount = 1027;

constexpr std::array<std::uint16_t, kSmallPrimeCount> BuildSmallPrimes() {
  std::array<bool, 8192> composite{};
  std::array<std::uint16_t, kSmallPrimeCount> primes{};
  std::size_t n = 0;
  for (std::size_t i = 2; i < composite.size(); ++i) {
    if (composite[i]) continue;
    for (std::size_t j = i * i; j < composite.size(); j += i) composite[j] = true;
    if (i != 2 && n < primes.size()) primes[n++] = static_cast<std::uint16_t>(i);
  }
  return primes;
}

constexpr std::array<std::uint16_t, kSmallPrimeCount> kSmallPrimes = BuildSmallPrimes();
static_assert(kSmallPrimes.back() == 8191, "the odd primes up to 8191 are exactly 1027");

}  // namespace

bool Natural::IsZero() const {
  return std::all_of(digits.begin(), digits.end(), [](u32 d) { return d == 0; });
}

bool DecodeNatural(std::span<const std::uint8_t> bytes, Natural& out) {
  Natural n;
  const std::size_t len = bytes.size();
  for (std::size_t i = 0; i < len; ++i) {
    const std::size_t from_end = len - 1 - i;  // byte position counted from the least significant
    const std::uint8_t b = bytes[i];
    if (from_end >= kNaturalBytes) {
      if (b != 0) {
        out = Natural{};
        return false;
      }
      continue;
    }
    n.digits[from_end / 4] |= u32{b} << (8 * (from_end % 4));
  }
  out = n;
  return true;
}

bool EncodeNatural(const Natural& value, std::span<std::uint8_t> field) {
  const std::size_t len = field.size();
  for (std::size_t k = 0; k < len; ++k) {  // k counts from the least significant byte
    const std::uint8_t b =
        k < kNaturalBytes ? static_cast<std::uint8_t>(value.digits[k / 4] >> (8 * (k % 4))) : 0;
    field[len - 1 - k] = b;
  }
  return (SignificantBits(value) + 7) / 8 <= len;
}

int Compare(const Natural& a, const Natural& b) {
  for (std::size_t i = kNaturalDigits; i-- > 0;) {
    if (a.digits[i] != b.digits[i]) return a.digits[i] < b.digits[i] ? -1 : 1;
  }
  return 0;
}

u32 Add(const Natural& a, const Natural& b, Natural& sum) {
  u64 carry = 0;
  for (std::size_t i = 0; i < kNaturalDigits; ++i) {
    const u64 t = u64{a.digits[i]} + b.digits[i] + carry;
    sum.digits[i] = static_cast<u32>(t);
    carry = t >> 32;
  }
  return static_cast<u32>(carry);
}

u32 Subtract(const Natural& a, const Natural& b, Natural& diff) {
  u32 borrow = 0;
  for (std::size_t i = 0; i < kNaturalDigits; ++i) {
    const u64 t = u64{a.digits[i]} - b.digits[i] - borrow;
    diff.digits[i] = static_cast<u32>(t);
    borrow = static_cast<u32>(t >> 63);
  }
  return borrow;
}

bool Multiply(const Natural& a, const Natural& b, Natural& product) {
  u32 w[kWide];
  const std::size_t na = Significant(a.digits.data(), kNaturalDigits);
  const std::size_t nb = Significant(b.digits.data(), kNaturalDigits);
  MulDigits(a.digits.data(), na, b.digits.data(), nb, w);
  std::fill(w + na + nb, w + kWide, 0u);
  std::copy(w, w + kNaturalDigits, product.digits.begin());
  return Significant(w, kWide) <= kNaturalDigits;
}

bool Divide(const Natural& a, const Natural& b, Natural* quotient, Natural* remainder) {
  const std::size_t nb = Significant(b.digits.data(), kNaturalDigits);
  if (nb == 0) return false;
  const std::size_t na = Significant(a.digits.data(), kNaturalDigits);
  u32 q[kNaturalDigits + 1] = {};
  u32 r[kNaturalDigits] = {};
  DivDigits(a.digits.data(), na, b.digits.data(), nb, q, r);
  if (quotient) {
    Natural out;
    if (na >= nb) std::copy(q, q + (na - nb + 1), out.digits.begin());
    *quotient = out;
  }
  if (remainder) {
    Natural out;
    std::copy(r, r + nb, out.digits.begin());
    *remainder = out;
  }
  return true;
}

bool Mod(const Natural& a, const Natural& m, Natural& r) { return Divide(a, m, nullptr, &r); }

bool ModMultiply(const Natural& a, const Natural& b, const Natural& m, Natural& r) {
  if (m.IsZero()) return false;
  ModMulUnchecked(a, b, m, r);
  return true;
}

bool ModExp(const Natural& base, const Natural& exponent, const Natural& m, Natural& r) {
  if (m.IsZero()) return false;
  // Fixed 4-bit window, most significant nibble first.
  Natural table[16];
  table[0] = Natural::Of(1);
  Mod(table[0], m, table[0]);
  Mod(base, m, table[1]);
  for (int i = 2; i < 16; ++i) ModMulUnchecked(table[i - 1], table[1], m, table[i]);
  Natural acc = table[0];
  const std::size_t bits = SignificantBits(exponent);
  const std::size_t nibbles = (bits + 3) / 4;
  for (std::size_t n = nibbles; n-- > 0;) {
    if (n + 1 != nibbles) {
      for (int s = 0; s < 4; ++s) ModMulUnchecked(acc, acc, m, acc);
    }
    const u32 nibble = (exponent.digits[n / 8] >> (4 * (n % 8))) & 0xF;
    if (nibble != 0) ModMulUnchecked(acc, table[nibble], m, acc);
  }
  r = acc;
  return true;
}

bool ModInverse(const Natural& a, const Natural& m, Natural& r) {
  if (m.IsZero()) return false;
  // Extended Euclid on naturals: the coefficients u1, v1 alternate in sign, which `negative`
  // tracks; their magnitudes never exceed m.
  Natural u1 = Natural::Of(1), v1;
  Natural u3, v3 = m;
  Mod(a, m, u3);
  bool negative = false;
  while (!v3.IsZero()) {
    Natural q, t3, t1;
    Divide(u3, v3, &q, &t3);
    Multiply(q, v1, t1);
    Add(t1, u1, t1);
    u1 = v1;
    v1 = t1;
    u3 = v3;
    v3 = t3;
    negative = !negative;
  }
  if (m == Natural::Of(1)) {
    r = Natural{};
    return true;
  }
  if (!(u3 == Natural::Of(1))) return false;
  if (negative) {
    Subtract(m, u1, r);
  } else {
    r = u1;
  }
  return true;
}

Natural Gcd(const Natural& a, const Natural& b) {
  Natural x = a, y = b;
  while (!y.IsZero()) {
    Natural t;
    Mod(x, y, t);
    x = y;
    y = t;
  }
  return x;
}

std::size_t SignificantDigits(const Natural& a) { return Significant(a.digits.data(), kNaturalDigits); }

std::size_t SignificantBits(const Natural& a) {
  const std::size_t n = SignificantDigits(a);
  if (n == 0) return 0;
  return 32 * (n - 1) + (32 - static_cast<std::size_t>(std::countl_zero(a.digits[n - 1])));
}

bool PowerOfTwo(std::size_t k, Natural& r) {
  if (k >= kNaturalBits) return false;
  Natural out;
  out.digits[k / 32] = u32{1} << (k % 32);
  r = out;
  return true;
}

std::span<const std::uint16_t> SmallOddPrimes() { return kSmallPrimes; }

bool IsProbablePrime(const Natural& a) {
  if (!a.IsOdd()) return a == Natural::Of(2);
  const std::size_t n = SignificantDigits(a);
  for (const std::uint16_t p : kSmallPrimes) {
    if (n == 1 && a.digits[0] == p) break;
    u64 rem = 0;
    for (std::size_t i = n; i-- > 0;) rem = ((rem << 32) | a.digits[i]) % p;
    if (rem == 0) return false;
  }
  Natural power;
  if (!ModExp(Natural::Of(2), a, a, power)) return false;  // a = 0
  return power == Natural::Of(2);
}

}  // namespace telvor
