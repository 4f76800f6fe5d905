// Checksums, framing with its escape masks, and the receive ring.
#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "telvor/protocol/crc.h"
#include "telvor/protocol/frame.h"

namespace telvor {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

uint16_t BitwiseCrcA(const std::vector<uint8_t>& data) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

uint16_t BitwiseCrcB(const std::vector<uint8_t>& data) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : data) {
    uint32_t x = (uint32_t(b) << 8) ^ crc;
    for (int i = 0; i < 8; ++i) x = (x & 0x8000) ? ((x << 1) ^ 0xA001) : (x << 1);
    crc = uint16_t(x);
  }
  return crc;
}

// A raw GPRS datagram: content followed by CRC A, high byte first.
std::vector<uint8_t> WithCrcA(std::vector<uint8_t> content) {
  const uint16_t crc = CrcA(content);
  content.push_back(uint8_t(crc >> 8));
  content.push_back(uint8_t(crc));
  return content;
}

TEST(Crc, PublishedCheckValues) {
  struct Case {
    std::string_view text;
    uint16_t a;
    uint16_t b;
  };
  for (const Case& c : {Case{"123456789", 0x4B37, 0xCF32}, Case{"abc", 0x5749, 0x012F},
                        Case{"", 0xFFFF, 0xFFFF}}) {
    EXPECT_EQ(CrcA(Bytes(c.text)), c.a) << c.text;
    EXPECT_EQ(CrcB(Bytes(c.text)), c.b) << c.text;
  }
}

TEST(Crc, TablesAgreeWithTheBitwiseDefinitionAtEveryLengthAndSplit) {
  std::mt19937 rng(9);
  for (size_t n = 0; n < 80; ++n) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = uint8_t(rng());
    ASSERT_EQ(CrcA(data), BitwiseCrcA(data)) << n;
    ASSERT_EQ(CrcB(data), BitwiseCrcB(data)) << n;
    const size_t cut = n / 3;
    const uint16_t head = CrcA(std::span<const uint8_t>(data).first(cut));
    ASSERT_EQ(CrcAUpdate(head, std::span<const uint8_t>(data).subspan(cut)), CrcA(data)) << n;
  }
}

TEST(FrameEncode, EscapesEachSpecialByteWithTheChannelsMask) {
  struct Case {
    uint8_t byte;
    std::vector<uint8_t> gprs;  // mask 0x40
    std::vector<uint8_t> type2;  // mask 0x20
  };
  const std::vector<Case> cases = {
      {0x2B, {0x7D, 0x6B}, {0x7D, 0x0B}}, {0x0D, {0x7D, 0x4D}, {0x7D, 0x2D}},
      {0x7E, {0x7D, 0x3E}, {0x7D, 0x5E}}, {0x7F, {0x7D, 0x3F}, {0x7D, 0x5F}},
      {0x7D, {0x7D, 0x3D}, {0x7D, 0x5D}}, {0xFF, {0x7D, 0xBF}, {0x7D, 0xDF}},
      {0x00, {0x7D, 0x40}, {0x7D, 0x20}}, {0x1F, {0x7D, 0x5F}, {0x7D, 0x3F}},
      {0x20, {0x20}, {0x20}},             {0x41, {0x41}, {0x41}},
      {0x80, {0x80}, {0x80}},             {0xFE, {0xFE}, {0xFE}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> gprs = {0x7E};
    gprs.insert(gprs.end(), c.gprs.begin(), c.gprs.end());
    gprs.push_back(0x7F);
    std::vector<uint8_t> type2 = {0x7E};
    type2.insert(type2.end(), c.type2.begin(), c.type2.end());
    type2.push_back(0x7F);
    EXPECT_EQ(FrameEncode(std::vector<uint8_t>{c.byte}, FrameEscapeMask(kChannelGprs)), gprs)
        << int(c.byte);
    EXPECT_EQ(FrameEncode(std::vector<uint8_t>{c.byte}, FrameEscapeMask(2)), type2) << int(c.byte);
  }
  EXPECT_EQ(FrameEncode(std::vector<uint8_t>{}, 0x40), (std::vector<uint8_t>{0x7E, 0x7F}));
}

TEST(FrameEncode, ChannelTypesPickMaskAndChecksum) {
  struct Case {
    int type;
    uint8_t mask;
    std::vector<uint8_t> wire;
  };
  const std::vector<Case> cases = {
      // "abc" and its CRC B 0x012F low byte first: 2F 01, and 0x01 is escaped with 0x40.
      {0, 0x40, {0x7E, 0x61, 0x62, 0x63, 0x2F, 0x7D, 0x41, 0x7F}},
      {1, 0x40, {0x7E, 0x61, 0x62, 0x63, 0x2F, 0x7D, 0x41, 0x7F}},
      {3, 0x40, {0x7E, 0x61, 0x62, 0x63, 0x2F, 0x7D, 0x41, 0x7F}},
      // "abc" and its CRC A 0x5749 high byte first.
      {2, 0x20, {0x7E, 0x61, 0x62, 0x63, 0x57, 0x49, 0x7F}},
      {4, 0x20, {0x7E, 0x61, 0x62, 0x63, 0x57, 0x49, 0x7F}},
      {5, 0x20, {0x7E, 0x61, 0x62, 0x63, 0x57, 0x49, 0x7F}},
      // GPRS datagrams already carry their checksum: framing only.
      {6, 0x40, {0x7E, 0x61, 0x62, 0x63, 0x7F}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameEscapeMask(c.type), c.mask) << c.type;
    EXPECT_EQ(FrameForChannel(c.type, Bytes("abc")), c.wire) << c.type;
  }
}

TEST(FrameEncode, RefusesATooSmallOutputAndStaysWithinTwiceTheLengthPlusTwo) {
  const std::vector<uint8_t> allEscaped(100, 0x7E);
  std::vector<uint8_t> out(FrameMaxEncodedSize(allEscaped.size()));
  EXPECT_EQ(FrameEncode(allEscaped, 0x40, out), out.size());
  std::vector<uint8_t> small(out.size() - 1);
  EXPECT_EQ(FrameEncode(allEscaped, 0x40, small), 0u);
}

class Decoder : public ::testing::Test {
 protected:
  std::vector<std::vector<uint8_t>> FeedAll(FrameDecoder& d, const std::vector<uint8_t>& bytes) {
    std::vector<std::vector<uint8_t>> frames;
    d.Feed(bytes, [&](std::span<const uint8_t> f) { frames.emplace_back(f.begin(), f.end()); });
    return frames;
  }
  FrameDecoder decoder_;
};

TEST_F(Decoder, RebuildsFramesWhateverTheDatagramBoundaries) {
  std::mt19937 rng(4);
  std::vector<std::vector<uint8_t>> contents;
  std::vector<uint8_t> stream = {0x13, 0x7D, 0x00};  // noise before the first start flag
  for (int i = 0; i < 20; ++i) {
    std::vector<uint8_t> content(1 + rng() % 300);
    for (auto& b : content) b = uint8_t(rng());
    contents.push_back(content);
    const auto framed = FrameEncode(WithCrcA(content), 0x40);
    stream.insert(stream.end(), framed.begin(), framed.end());
  }
  EXPECT_EQ(FeedAll(decoder_, stream), contents);
  // Byte by byte into a fresh ring gives the same frames.
  FrameDecoder byByte;
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t b : stream)
    if (byByte.Push(b)) frames.emplace_back(byByte.Frame().begin(), byByte.Frame().end());
  EXPECT_EQ(frames, contents);
  EXPECT_EQ(byByte.Counter(), FrameDecoder::kNoFrameOpen);
}

TEST_F(Decoder, ABadChecksumIsDroppedAndTheNextFrameStillArrives) {
  auto bad = FrameEncode(WithCrcA(Bytes("hello")), 0x40);
  bad[2] ^= 0x01;
  auto good = FrameEncode(WithCrcA(Bytes("world")), 0x40);
  bad.insert(bad.end(), good.begin(), good.end());
  EXPECT_EQ(FeedAll(decoder_, bad), (std::vector<std::vector<uint8_t>>{Bytes("world")}));
}

TEST_F(Decoder, RawFlagsInsideAFrameAreNotData) {
  const auto content = Bytes("0123456789AB payload");
  auto framed = FrameEncode(WithCrcA(content), 0x40);
  // A stray 0x7F in the middle: its candidate fails, the real end flag completes the frame and
  // the stray byte is dropped.
  framed.insert(framed.begin() + 8, 0x7F);
  EXPECT_EQ(FeedAll(decoder_, framed), (std::vector<std::vector<uint8_t>>{content}));
  // A stray 0x7E restarts the frame: what came before it is lost, so nothing checks out.
  auto restarted = FrameEncode(WithCrcA(content), 0x40);
  restarted.insert(restarted.begin() + 8, 0x7E);
  EXPECT_TRUE(FeedAll(decoder_, restarted).empty());
}

TEST_F(Decoder, FramesUpToTheRingSizeArriveLongerOnesAreLost) {
  // 7E + content + 7F, content being 1020 plain bytes and the 2 checksum bytes.
  auto content = std::vector<uint8_t>(1020, 0x41);
  for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(0x30 + i % 64);
  auto raw = WithCrcA(content);
  // Keep the checksum bytes from needing escapes so the framed size is exactly known.
  while (FrameNeedsEscape(raw[raw.size() - 2]) || FrameNeedsEscape(raw.back())) {
    content[0]++;
    raw = WithCrcA(content);
  }
  const auto framed = FrameEncode(raw, 0x40);
  ASSERT_EQ(framed.size(), FrameDecoder::kRingSize);
  EXPECT_EQ(FeedAll(decoder_, framed).size(), 1u);

  content.push_back(0x41);
  raw = WithCrcA(content);
  const auto tooLong = FrameEncode(raw, 0x40);
  ASSERT_GT(tooLong.size(), FrameDecoder::kRingSize);
  EXPECT_TRUE(FeedAll(decoder_, tooLong).empty());
  // The ring is not stuck: a normal frame after it arrives.
  EXPECT_EQ(FeedAll(decoder_, FrameEncode(WithCrcA(Bytes("ok!")), 0x40)).size(), 1u);
}

TEST_F(Decoder, CounterSaturatesAtNoFrameOpen) {
  EXPECT_EQ(decoder_.Counter(), FrameDecoder::kNoFrameOpen);
  decoder_.Push(0x7E);
  EXPECT_EQ(decoder_.Counter(), 1);
  for (int i = 0; i < 70000; ++i) decoder_.Push(0x41);
  EXPECT_EQ(decoder_.Counter(), FrameDecoder::kNoFrameOpen);
  EXPECT_FALSE(decoder_.Push(0x7F));
  // Short candidates (two bytes or fewer) are never frames.
  EXPECT_TRUE(FeedAll(decoder_, {0x7E, 0x7F, 0x7E, 0xFF, 0xFF, 0x7F}).empty());
}

TEST(DecoderChannels, EachChannelTypeReadsWhatItsSenderWrites) {
  for (int type : {0, 1, 2, 3, 4, 5}) {
    FrameDecoder decoder = FrameDecoder::ForChannel(type);
    const auto content = std::vector<uint8_t>{0x01, 0x2B, 0x7E, 0x0D, 0xFF, 0x55, 0x7D};
    std::vector<std::vector<uint8_t>> frames;
    decoder.Feed(FrameForChannel(type, content),
                 [&](std::span<const uint8_t> f) { frames.emplace_back(f.begin(), f.end()); });
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{content})) << type;
  }
}

TEST(FramePeek, TakesTheFirstSixUnescapedContentBytes) {
  std::array<uint8_t, 6> id{};
  const std::vector<uint8_t> id6 = {0x01, 0x23, 0x7E, 0x67, 0x0D, 0xAB};
  auto framed = FrameEncode(WithCrcA(id6), 0x40);
  ASSERT_TRUE(FramePeekIdentifier(framed, id));
  EXPECT_EQ(std::vector<uint8_t>(id.begin(), id.end()), id6);
  // Flags anywhere are skipped.
  ASSERT_TRUE(FramePeekIdentifier(std::vector<uint8_t>{0x7F, 0x7E, 1, 2, 0x7E, 3, 4, 5, 6}, id));
  EXPECT_EQ(id, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
  // Too few bytes, or an escape with nothing behind it.
  EXPECT_FALSE(FramePeekIdentifier(std::vector<uint8_t>{0x7E, 1, 2, 3, 4, 5}, id));
  EXPECT_FALSE(FramePeekIdentifier(std::vector<uint8_t>{0x7E, 1, 2, 3, 4, 5, 0x7D}, id));
  EXPECT_FALSE(FramePeekIdentifier(std::vector<uint8_t>{}, id));
}

}  // namespace
}  // namespace telvor
