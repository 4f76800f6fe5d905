#include "telvor/crypto/mp_random.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using State = std::array<std::uint8_t, 16>;

State Md5ByLibcrypto(std::span<const std::uint8_t> data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), out, &len, EVP_md5(), nullptr);
  State s;
  std::copy(out, out + 16, s.begin());
  return s;
}

// (a + b) mod 2^128 of two big-endian 16-byte numbers, worked out with BIGNUM.
State Add128(const State& a, const State& b) {
  BIGNUM* x = BN_bin2bn(a.data(), 16, nullptr);
  BIGNUM* y = BN_bin2bn(b.data(), 16, nullptr);
  BN_add(x, x, y);
  BN_mask_bits(x, 128);
  State out;
  BN_bn2binpad(x, out.data(), 16);
  BN_free(x);
  BN_free(y);
  return out;
}

telvor::RandomGenerator Ready(const State& state) {
  telvor::RandomGenerator g;
  g.bytes_needed = 0;
  g.state = state;
  return g;
}

TEST(RandomGenerator, RefusesUntilSeeded) {
  telvor::RandomGenerator g;  // set up, not fed
  std::array<std::uint8_t, 8> out;
  out.fill(0x5A);
  EXPECT_EQ(telvor::RandomBytes(g, out), telvor::kRandomNeedsSeed);
  EXPECT_EQ(out[0], 0x5A);
  std::vector<std::uint8_t> block(511, 1);
  telvor::MixRandom(g, block);
  EXPECT_EQ(g.bytes_needed, 1u);
  EXPECT_EQ(telvor::RandomBytes(g, out), telvor::kRandomNeedsSeed);
  telvor::MixRandom(g, std::span<const std::uint8_t>(block).first(40));  // more than needed
  EXPECT_EQ(g.bytes_needed, 0u);
  EXPECT_EQ(telvor::RandomBytes(g, out), 0u);
  telvor::MixRandom(g, block);
  EXPECT_EQ(g.bytes_needed, 0u);  // never below 0
}

// The digest is added to the state as two 128-bit big-endian numbers; the carry out of byte 0 is
// dropped.
TEST(RandomGenerator, MixAddsTheDigestToTheState) {
  const std::vector<std::uint8_t> block = {'k', 'l', '4', '0'};
  const State states[] = {State{}, [] { State s; s.fill(0xFF); return s; }(),
                          State{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0xFF}};
  for (const State& start : states) {
    telvor::RandomGenerator g;
    g.state = start;
    telvor::MixRandom(g, block);
    EXPECT_EQ(g.state, Add128(start, Md5ByLibcrypto(block)));
    EXPECT_EQ(g.bytes_needed, telvor::kRandomSeedBytes - 4);
  }
}

// Output blocks are MD5 of the state; after each block the state steps: byte 15 goes up by one,
// and the step moves on to the byte before only while the stepped byte was 0 before.
TEST(RandomGenerator, OutputBlocksAndStateSteps) {
  struct Case {
    const char* name;
    State start;
    State stepped;
  } cases[] = {
      {"byte 15 is 0: bytes 15 and 14 go up", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 7, 0},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 8, 1}},
      {"byte 15 is 255: only byte 15 changes", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
      {"ordinary byte 15", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 41},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42}},
      {"a run of zero bytes all go up", {0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0},
       {0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 1, 1}},
      {"all zero: every byte goes up, down to byte 0", State{},
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    telvor::RandomGenerator g = Ready(c.start);
    std::array<std::uint8_t, 32> out;
    ASSERT_EQ(telvor::RandomBytes(g, std::span(out).first(16)), 0u);
    EXPECT_EQ(g.state, c.stepped) << c.name;
    EXPECT_EQ(g.output_available, 0u);
    ASSERT_EQ(telvor::RandomBytes(g, std::span(out).last(16)), 0u);
    const State first = Md5ByLibcrypto(c.start), second = Md5ByLibcrypto(c.stepped);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin())) << c.name;
    EXPECT_TRUE(std::equal(second.begin(), second.end(), out.begin() + 16)) << c.name;
  }
}

// Reading the stream in pieces of any size gives the same bytes as one read; the unread bytes
// of a block are the last ones of it.
TEST(RandomGenerator, StreamDoesNotDependOnReadSizes) {
  State start{};
  start[3] = 0x33;
  start[15] = 0xFE;
  telvor::RandomGenerator whole = Ready(start);
  std::vector<std::uint8_t> expected(200);
  ASSERT_EQ(telvor::RandomBytes(whole, expected), 0u);
  const State first = Md5ByLibcrypto(start);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), expected.begin()));

  const std::size_t pieces[] = {0, 1, 5, 10, 16, 17, 0, 3, 32, 48, 2, 66};
  telvor::RandomGenerator g = Ready(start);
  std::vector<std::uint8_t> got;
  for (std::size_t n : pieces) {
    std::vector<std::uint8_t> part(n);
    ASSERT_EQ(telvor::RandomBytes(g, part), 0u);
    got.insert(got.end(), part.begin(), part.end());
  }
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(g.state, whole.state);
  EXPECT_EQ(g.output_available, whole.output_available);
}

// A damaged remaining count cannot make the generator read past its output block.
TEST(RandomGenerator, OversizedRemainingCountIsHarmless) {
  telvor::RandomGenerator g = Ready(State{});
  g.output_available = 0xFFFFFFFFu;
  std::array<std::uint8_t, 20> out;
  EXPECT_EQ(telvor::RandomBytes(g, out), 0u);
  EXPECT_LE(g.output_available, 16u);
}

class FakeSeedClock : public telvor::SeedClock {
 public:
  explicit FakeSeedClock(std::time_t now) : now_(now) {}
  std::time_t Now() override {
    ++now_calls;
    return now_;
  }
  std::uint32_t ProcessorClock() override { return 1000 + 7 * clock_calls++; }
  int now_calls = 0;
  std::uint32_t clock_calls = 0;

 private:
  std::time_t now_;
};

std::array<std::uint8_t, 4> Le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

// 1700000000 is Tuesday 2023-11-14 22:13:20 UTC, day 317 of the year counted from 0.
TEST(RandomGenerator, SeedMixesThirteenCalendarAndClockRounds) {
  const std::uint32_t fields[9] = {20, 13, 22, 14, 10, 123, 2, 317, 0};
  std::vector<std::uint8_t> calendar;
  for (std::uint32_t f : fields) {
    const auto b = Le32(f);
    calendar.insert(calendar.end(), b.begin(), b.end());
  }
  State expected{};
  for (std::uint32_t round = 0; round < 13; ++round) {
    expected = Add128(expected, Md5ByLibcrypto(calendar));
    expected = Add128(expected, Md5ByLibcrypto(Le32(1000 + 7 * round)));
  }

  telvor::RandomGenerator g;
  telvor::MixRandom(g, std::vector<std::uint8_t>(600, 9));  // a used generator is set up afresh
  std::array<std::uint8_t, 3> drawn;
  telvor::RandomBytes(g, drawn);
  FakeSeedClock clock(1700000000);
  telvor::SeedRandom(g, clock);
  EXPECT_EQ(clock.now_calls, 13);
  EXPECT_EQ(clock.clock_calls, 13u);
  EXPECT_EQ(g.bytes_needed, 0u);
  EXPECT_EQ(g.output_available, 0u);
  EXPECT_EQ(g.state, expected);
}

// The system seeding also takes the operating system's random source, so two generators
// seeded in the same instant still differ.
TEST(RandomGenerator, SystemSeedingIsReadyAndUnpredictable) {
  telvor::RandomGenerator a, b;
  telvor::SeedRandom(a);
  telvor::SeedRandom(b);
  std::array<std::uint8_t, 32> x, y;
  ASSERT_EQ(telvor::RandomBytes(a, x), 0u);
  ASSERT_EQ(telvor::RandomBytes(b, y), 0u);
  EXPECT_NE(x, y);
}

}  // namespace
