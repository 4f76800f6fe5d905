// Sealing and opening, full and short, the random-byte records, the chaining, and the per-thread
// random source.
#include "telvor/crypto/seal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "telvor/crypto/random_bytes.h"

namespace telvor {
namespace {

GostFullKey MakeKey(uint8_t seed) {
  GostFullKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(seed + 17 * i);
  return key;
}

GostShortKey MakeShortKey(uint8_t seed) {
  GostShortKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(seed * 3 + 29 * i);
  return key;
}

std::vector<uint8_t> Payload(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + 1);
  return v;
}

// Undoes the cipher and the chaining of a full seal by hand, leaving the formatted message.
std::vector<uint8_t> Unseal(const GostFullKey& key, std::vector<uint8_t> sealed) {
  GostDecryptEcb(sealed.data(), sealed.size() / 8, GostKeyWords::FromFull(key.data()));
  GostChainReverse(sealed.data(), sealed.size());
  return sealed;
}

class FullSeal : public ::testing::Test {
 protected:
  GostFullKey key_ = MakeKey(1);
  GostContext ctx_{&key_, nullptr};
};

TEST_F(FullSeal, RandomCountAndLengthFollowThePayloadLength) {
  struct Case {
    uint16_t n;
    size_t random;
  };
  for (const Case c : {Case{7, 8}, Case{6, 1}, Case{0, 7}, Case{1, 6}, Case{8, 7}, Case{15, 8},
                       Case{1500, 3}}) {
    std::vector<uint8_t> buffer = Payload(c.n);
    buffer.resize(c.n + kSealMaxGrowth);
    GostRandomRecord record{};
    const int sealed = GostSeal(ctx_, buffer, c.n, &record, true);
    ASSERT_EQ(sealed, int(c.n + 1 + c.random)) << c.n;
    EXPECT_EQ(sealed % 8, 0);
    EXPECT_EQ(record[0], c.random);
    // The formatted message: the random bytes, the payload, the count.
    const auto plain = Unseal(key_, std::vector<uint8_t>(buffer.begin(), buffer.begin() + sealed));
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + c.random, record.begin() + 1)) << c.n;
    EXPECT_EQ(std::vector<uint8_t>(plain.begin() + c.random, plain.end() - 1), Payload(c.n));
    EXPECT_EQ(plain.back(), c.random);
  }
}

TEST_F(FullSeal, OpenReturnsThePayloadAndTheSameRandomBytes) {
  for (uint16_t n : {0, 1, 6, 7, 23, 64, 1490}) {
    std::vector<uint8_t> buffer = Payload(n);
    buffer.resize(n + kSealMaxGrowth);
    GostRandomRecord sent{};
    const int sealed = GostSeal(ctx_, buffer, n, &sent, true);
    ASSERT_GT(sealed, 0);
    GostRandomRecord received{};
    received.fill(0xEE);
    ASSERT_EQ(GostOpen(ctx_, buffer, uint16_t(sealed), &received, true), n);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), Payload(n));
    // Count and the random bytes themselves; the unused tail of the record is cleared.
    EXPECT_EQ(received[0], sent[0]);
    EXPECT_TRUE(std::equal(received.begin() + 1, received.begin() + 1 + sent[0], sent.begin() + 1));
    EXPECT_TRUE(std::all_of(received.begin() + 1 + sent[0], received.end(),
                            [](uint8_t b) { return b == 0; }));
  }
}

TEST_F(FullSeal, GivenRandomBytesAreReusedAndMissingOnesDrawnIntoTheRecord) {
  // A full record: the same seal twice gives the same bytes.
  GostRandomRecord record = {8, 10, 11, 12, 13, 14, 15, 16, 17};
  std::vector<uint8_t> a = Payload(7), b = Payload(7);
  a.resize(16);
  b.resize(16);
  ASSERT_EQ(GostSeal(ctx_, a, 7, &record, false), 16);
  ASSERT_EQ(GostSeal(ctx_, b, 7, &record, false), 16);
  EXPECT_EQ(a, b);
  EXPECT_EQ(record, (GostRandomRecord{8, 10, 11, 12, 13, 14, 15, 16, 17}));
  const auto plain = Unseal(key_, a);
  EXPECT_EQ(std::vector<uint8_t>(plain.begin(), plain.begin() + 8),
            (std::vector<uint8_t>{10, 11, 12, 13, 14, 15, 16, 17}));

  // A record of a packet with fewer random bytes than this seal needs: the first three are
  // reused, the other five drawn and written back; the count becomes this seal's.
  GostRandomRecord shortRecord = {3, 1, 2, 3, 0, 0, 0, 0, 0};
  std::vector<uint8_t> c = Payload(7);
  c.resize(16);
  ASSERT_EQ(GostSeal(ctx_, c, 7, &shortRecord, false), 16);
  EXPECT_EQ(shortRecord[0], 8);
  const auto plainC = Unseal(key_, c);
  EXPECT_EQ(std::vector<uint8_t>(plainC.begin(), plainC.begin() + 8),
            std::vector<uint8_t>(shortRecord.begin() + 1, shortRecord.end()));
  EXPECT_EQ(plainC[0], 1);
  EXPECT_EQ(plainC[2], 3);

  // No record at all: fresh bytes, still a valid seal.
  std::vector<uint8_t> d = Payload(7);
  d.resize(16);
  ASSERT_EQ(GostSeal(ctx_, d, 7, nullptr, false), 16);
  ASSERT_EQ(GostOpen(ctx_, d, 16, nullptr, true), 7);
  EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 7), Payload(7));
}

TEST_F(FullSeal, FreshSealsDrawNewBytesEachTime) {
  std::set<std::vector<uint8_t>> seen;
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> buffer = Payload(7);
    buffer.resize(16);
    GostRandomRecord record{};
    ASSERT_EQ(GostSeal(ctx_, buffer, 7, &record, true), 16);
    seen.insert(buffer);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST_F(FullSeal, OpenOfAnUnfittingTrailerOrAWrongKeyStaysInsideTheMessage) {
  // A message whose trailer (200) is not smaller than its length: empty payload, nothing moved,
  // the record gets the count and no more than eight bytes.
  std::vector<uint8_t> message = {9, 8, 7, 6, 5, 4, 3, 200};
  GostChainForward(message.data(), message.size());
  GostEncryptEcb(message.data(), 1, GostKeyWords::FromFull(key_.data()));
  GostRandomRecord record{};
  EXPECT_EQ(GostOpen(ctx_, message, 8, &record, true), 0);
  EXPECT_EQ(record[0], 200);
  EXPECT_EQ(std::vector<uint8_t>(record.begin() + 1, record.end()),
            (std::vector<uint8_t>{9, 8, 7, 6, 5, 4, 3, 200}));

  // Opening with another key: whatever the trailer says, the result fits the message.
  const GostFullKey other = MakeKey(99);
  const GostContext wrong{&other, nullptr};
  for (uint16_t n : {0, 5, 40, 200}) {
    std::vector<uint8_t> buffer = Payload(n);
    buffer.resize(n + kSealMaxGrowth);
    const int sealed = GostSeal(ctx_, buffer, n, nullptr, true);
    const int opened = GostOpen(wrong, buffer, uint16_t(sealed), &record, true);
    EXPECT_GE(opened, 0);
    EXPECT_LT(opened, sealed);
  }
}

TEST_F(FullSeal, RefusesWhatItCannotDoAndLeavesTheBufferAlone) {
  const GostContext noKey{};
  std::vector<uint8_t> buffer = Payload(16);
  const auto before = buffer;
  GostRandomRecord record{};
  EXPECT_EQ(GostSeal(noKey, buffer, 7, &record, true), kSealNoKey);
  EXPECT_EQ(GostOpen(noKey, buffer, 16, &record, true), kSealNoKey);
  EXPECT_EQ(GostSeal(ctx_, buffer, 15, &record, true), kSealNoRoom);  // needs 15 + 1 + 8
  EXPECT_EQ(GostOpen(ctx_, buffer, 0, &record, true), kSealBadLength);
  EXPECT_EQ(GostOpen(ctx_, buffer, 12, &record, true), kSealBadLength);
  EXPECT_EQ(GostOpen(ctx_, buffer, 24, &record, true), kSealNoRoom);
  EXPECT_EQ(buffer, before);
  EXPECT_EQ(record, GostRandomRecord{});
  std::vector<uint8_t> big(65536 + 16);
  EXPECT_EQ(GostSeal(ctx_, big, 65535, nullptr, true), kSealNoRoom);  // 65544 does not fit 16 bits
}

TEST(Chaining, ForwardAndReverseAreInversesAndForwardIsAsStated) {
  std::vector<uint8_t> small = {0x01, 0x02, 0x80};
  GostChainForward(small.data(), small.size());
  // b1 = rotl(0x02 ^ 0x01) = 0x06; b2 = rotl(0x80 ^ 0x06) = 0x0D
  EXPECT_EQ(small, (std::vector<uint8_t>{0x01, 0x06, 0x0D}));
  GostChainReverse(small.data(), small.size());
  EXPECT_EQ(small, (std::vector<uint8_t>{0x01, 0x02, 0x80}));

  std::mt19937 rng(1);
  std::vector<uint8_t> data(333);
  for (auto& b : data) b = uint8_t(rng());
  auto copy = data;
  GostChainForward(copy.data(), copy.size());
  EXPECT_NE(copy, data);
  GostChainReverse(copy.data(), copy.size());
  EXPECT_EQ(copy, data);
  GostChainForward(copy.data(), 0);  // no bytes, nothing touched
  GostChainReverse(copy.data(), 1);
  EXPECT_EQ(copy, data);
}

TEST(EncryptChained, ChainsTheLengthAndEncryptsWholeBlocks) {
  const GostFullKey key = MakeKey(4);
  for (uint16_t n : {8, 13, 64}) {
    const size_t rounded = (n + 7u) & ~7u;
    std::vector<uint8_t> buffer = Payload(rounded);
    std::vector<uint8_t> expected = buffer;
    GostChainForward(expected.data(), n);
    GostEncryptEcb(expected.data(), rounded / 8, GostKeyWords::FromFull(key.data()));
    EXPECT_EQ(GostEncryptChained(buffer, n, key), n);
    EXPECT_EQ(buffer, expected) << n;
  }
  std::vector<uint8_t> tooSmall(13);
  EXPECT_EQ(GostEncryptChained(tooSmall, 13, key), kSealNoRoom);
}

class ShortSeal : public ::testing::Test {
 protected:
  GostShortKey key_ = MakeShortKey(2);
  GostContext ctx_{nullptr, &key_};
};

TEST_F(ShortSeal, RandomCountFollowsThePayloadLength) {
  struct Case {
    uint16_t n;
    int total;
  };
  for (const Case c : {Case{8, 16}, Case{9, 16}, Case{0, 8}, Case{1, 8}, Case{7, 8}}) {
    std::vector<uint8_t> buffer = Payload(c.n);
    buffer.resize(c.n + 8);
    GostShortRandomRecord record{};
    EXPECT_EQ(GostSealShort(ctx_, buffer, c.n, &record, true, true), c.total) << c.n;
  }
}

TEST_F(ShortSeal, WithoutEncryptionThePayloadStaysReadableBehindThePrefix) {
  std::vector<uint8_t> buffer = Payload(9);
  buffer.resize(16);
  GostShortRandomRecord record{};
  ASSERT_EQ(GostSealShort(ctx_, buffer, 9, &record, true, false), 16);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 7),
            std::vector<uint8_t>(record.begin(), record.begin() + 7));
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 7, buffer.end()), Payload(9));
  // A context without a short key never encrypts either.
  std::vector<uint8_t> plain = Payload(9);
  plain.resize(16);
  ASSERT_EQ(GostSealShort(GostContext{}, plain, 9, &record, false, true), 16);
  EXPECT_EQ(std::vector<uint8_t>(plain.begin() + 7, plain.end()), Payload(9));
}

TEST_F(ShortSeal, OpenWithWantRecoversPayloadAndRandomBytes) {
  for (uint16_t n : {0, 1, 8, 9, 30}) {
    std::vector<uint8_t> buffer = Payload(n);
    buffer.resize(n + 8);
    GostShortRandomRecord sent{};
    const int sealed = GostSealShort(ctx_, buffer, n, &sent, true, true);
    ASSERT_GT(sealed, 0);
    GostShortRandomRecord received{};
    ASSERT_EQ(GostOpenShort(ctx_, buffer, n, &received, true, true), n);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), Payload(n)) << n;
    const size_t p = sealed - n;
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + p, received.begin())) << n;
  }
}

// Without the want flag the prefix is rebuilt from the caller's record: with the sender's random
// bytes the whole payload comes back; with other bytes only the first payload byte (whose chaining
// reaches back into the prefix) is wrong.
TEST_F(ShortSeal, OpenWithoutWantRebuildsThePrefixFromTheRecord) {
  const uint16_t n = 20;
  std::vector<uint8_t> buffer = Payload(n);
  buffer.resize(n + 8);
  GostShortRandomRecord sent{};
  ASSERT_EQ(GostSealShort(ctx_, buffer, n, &sent, true, true), 24);
  auto second = buffer;

  GostShortRandomRecord same = sent;
  ASSERT_EQ(GostOpenShort(ctx_, buffer, n, &same, false, true), n);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), Payload(n));
  EXPECT_EQ(same, sent);  // the record is only read

  GostShortRandomRecord other = sent;
  other[3] ^= 0x55;
  ASSERT_EQ(GostOpenShort(ctx_, second, n, &other, false, true), n);
  const std::vector<uint8_t> payload = Payload(n);
  EXPECT_NE(second[0], payload[0]);
  EXPECT_EQ(std::vector<uint8_t>(second.begin() + 1, second.begin() + n),
            std::vector<uint8_t>(payload.begin() + 1, payload.end()));

  // Without decryption the payload behind the prefix is only moved down.
  std::vector<uint8_t> raw = Payload(8);
  GostShortRandomRecord record = {1, 2, 3, 4, 0, 0, 0, 0};
  ASSERT_EQ(GostOpenShort(ctx_, raw, 4, &record, false, false), 4);
  EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.begin() + 4),
            (std::vector<uint8_t>{Payload(8)[4], Payload(8)[5], Payload(8)[6], Payload(8)[7]}));
}

TEST_F(ShortSeal, NeedsARecordWhereTheBytesComeFromIt) {
  std::vector<uint8_t> buffer = Payload(16);
  EXPECT_EQ(GostSealShort(ctx_, buffer, 8, nullptr, false, true), kSealNoRecord);
  EXPECT_EQ(GostOpenShort(ctx_, buffer, 8, nullptr, false, true), kSealNoRecord);
  EXPECT_EQ(GostSealShort(ctx_, buffer, 16, nullptr, true, true), kSealNoRoom);  // needs 24
  EXPECT_EQ(buffer, Payload(16));
  EXPECT_EQ(GostSealShort(ctx_, buffer, 8, nullptr, true, true), 16);  // fresh: no record needed
  EXPECT_EQ(GostOpenShort(ctx_, buffer, 8, nullptr, true, true), 8);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 8), Payload(8));
}

TEST(ThreadRandom, ThreadsDrawIndependentStreamsAndEveryByteValueAppears) {
  constexpr int kThreads = 4;
  std::vector<std::vector<uint8_t>> streams(kThreads, std::vector<uint8_t>(4096));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&streams, t] {
      // Seals on every thread at once, then a stream of bytes.
      const GostFullKey key = MakeKey(uint8_t(t));
      const GostContext ctx{&key, nullptr};
      for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> buffer(32);
        GostRandomRecord record{};
        GostSeal(ctx, buffer, 10, &record, true);
      }
      ThreadRandomFill(streams[t]);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    std::set<uint8_t> values(streams[t].begin(), streams[t].end());
    EXPECT_EQ(values.size(), 256u) << t;
    for (int u = t + 1; u < kThreads; ++u) EXPECT_NE(streams[t], streams[u]);
  }
  std::set<uint32_t> words;
  for (int i = 0; i < 100; ++i) words.insert(ThreadRandomWord());
  EXPECT_GT(words.size(), 95u);
}

}  // namespace
}  // namespace telvor
