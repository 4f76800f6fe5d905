// GPRS packets: the byte layout the builder writes, the envelope, the size limits, and the parser's
// verdicts on good, damaged and hostile datagrams.
#include "telvor/protocol/packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "telvor/crypto/default_key.h"
#include "telvor/protocol/crc.h"
#include "telvor/protocol/envelope.h"
#include "telvor/protocol/frame.h"

namespace telvor {
namespace {

const std::array<uint8_t, 6> kId = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};

GostFullKey TestKey() {
  GostFullKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(0xA0 + i);
  return key;
}

std::vector<uint8_t> V(std::initializer_list<int> l) {
  std::vector<uint8_t> v;
  for (int x : l) v.push_back(uint8_t(x));
  return v;
}

// A device packet of `type` with the given items, ready for the wire or the parser.
PacketBuffer DevicePacket(uint8_t type, uint8_t cipher,
                          const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& items,
                          uint32_t tag = 0x01020304) {
  PacketBuffer p;
  p.StartNew(kId, cipher, type);
  p.SetTimeTag(tag);
  for (const auto& [kind, data] : items) EXPECT_TRUE(p.AppendItem(kind, data));
  return p;
}

// What the frame decoder would hand over for this packet: sealed, less the outer checksum.
PacketBuffer Received(const PacketBuffer& plain, const GostFullKey& key, GostRandomRecord* random) {
  const auto wire = PacketEncodeForWire(plain, key, random, true);
  EXPECT_FALSE(wire.empty());
  FrameDecoder decoder;
  PacketBuffer got;
  decoder.Feed(wire, [&](std::span<const uint8_t> frame) { EXPECT_TRUE(got.Assign(frame)); });
  EXPECT_GT(got.Length(), 0u);
  return got;
}

TEST(PacketLayout, HeadItemsAndChecksumsSitAtTheirOffsets) {
  PacketBuffer p = DevicePacket(0x13, 0, {{kItemAck, V({7})}, {kItemDg2, V({0})}},
                                kTimeTagBeforeFirst);
  ASSERT_TRUE(p.AppendInnerChecksum());
  const auto b = p.Bytes();
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 6), std::vector<uint8_t>(kId.begin(), kId.end()));
  EXPECT_EQ(b[6], 0);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 7, b.begin() + 13), std::vector<uint8_t>(kId.begin(), kId.end()));
  // The tag 0x87654321 is sent as 21 43 65 87.
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 13, b.begin() + 17), V({0x21, 0x43, 0x65, 0x87}));
  EXPECT_EQ(b[17], 0x13);
  EXPECT_EQ(b[18], 2);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 19, b.begin() + 25), V({1, 4, 7, 1, 0x81, 0}));
  const uint16_t crc = CrcA(b.subspan(7, 18));
  EXPECT_EQ(b[25], crc >> 8);
  EXPECT_EQ(b[26], crc & 0xFF);
  EXPECT_EQ(p.Length(), 27u);
  EXPECT_EQ(p.LengthFrom7(), 20u);
  EXPECT_EQ(p.LengthFrom19(), 8u);
  EXPECT_TRUE(p.InnerChecksumOk());
  EXPECT_FALSE(p.AppendItem(kItemAck, V({1})));  // nothing after the checksum
  ASSERT_TRUE(p.AppendOuterChecksum());
  const uint16_t outer = CrcA(p.Bytes().first(27));
  EXPECT_EQ(p[27], outer >> 8);
  EXPECT_EQ(p[28], outer & 0xFF);
}

TEST(PacketLayout, ALongTypeSplitsItsSixteenBitLengthAndCarriesOneItem) {
  std::vector<uint8_t> data(260);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
  PacketBuffer p = DevicePacket(0x11, 0, {{kItemData, data}});
  EXPECT_EQ(p[18], 0x01);
  EXPECT_EQ(p[19], 0x04);
  EXPECT_EQ(p[20], kItemData);
  EXPECT_FALSE(p.AppendItem(kItemAck, V({1})));  // a long type has exactly one item
  ASSERT_TRUE(p.RemoveLastItem());
  EXPECT_EQ(p.Length(), kPacketHeadSize);
  EXPECT_EQ(p[18], 0);
  ASSERT_TRUE(p.AppendItem(kItemData, data));

  // Parsed back: byte 18 = 0x01 and length byte 0x04 make one item of 260 data bytes.
  PacketBuffer device = p;
  device.SetType(0x01);
  ASSERT_TRUE(device.AppendInnerChecksum());
  PacketBuffer in;
  ASSERT_TRUE(in.Assign(device.Bytes()));
  const auto result = PacketParse(in, nullptr);
  ASSERT_EQ(result.verdict, PacketVerdict::kOk);
  ASSERT_EQ(in.ItemCount(), 1u);
  EXPECT_EQ(in.Item(0).length, 260);
  EXPECT_EQ(std::vector<uint8_t>(in.Item(0).data.begin(), in.Item(0).data.end()), data);
}

TEST(PacketBuilder, RefusesWhatTheFormatCannotHold) {
  PacketBuffer p;
  EXPECT_FALSE(p.AppendItem(kItemAck, V({1})));  // no head yet
  EXPECT_FALSE(p.RemoveLastItem());
  p.StartNew(kId, 1, 0x13);
  EXPECT_FALSE(p.AppendItem(kItemData, std::vector<uint8_t>(256)));  // L is one byte
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(p.AppendItem(kItemAck, V({i}))) << i;
  EXPECT_FALSE(p.AppendItem(kItemAck, V({0})));  // at most 255 items
  EXPECT_EQ(p[18], 255);
  EXPECT_EQ(p.ItemCount(), 255u);

  PacketBuffer big;
  big.StartNew(kId, 1, 0x11);
  EXPECT_FALSE(big.AppendItem(kItemData, std::vector<uint8_t>(kPacketCapacity)));  // past 1500
  EXPECT_TRUE(big.AppendItem(kItemData, std::vector<uint8_t>(kPacketCapacity - 21)));
  EXPECT_EQ(big.Length(), kPacketCapacity);

  // A reply head copied from a packet too short to have one is refused.
  PacketBuffer tiny;
  tiny.Assign(V({1, 2, 3}));
  PacketBuffer reply;
  EXPECT_FALSE(reply.StartFrom(tiny, 0x13));
  EXPECT_FALSE(big.Assign(std::vector<uint8_t>(kPacketCapacity + 1)));
  EXPECT_EQ(big.Length(), 0u);
}

TEST(PacketBuilder, AReplyCopiesTheHeadOfThePacketItAnswers) {
  PacketBuffer in = DevicePacket(3, 1, {{kItemData, V({9, 1, 2})}}, 0xCAFEBABE);
  ASSERT_TRUE(in.AppendInnerChecksum());
  PacketBuffer reply;
  ASSERT_TRUE(reply.StartFrom(in, PacketReplyType(in.Type())));
  EXPECT_EQ(reply.Length(), kPacketHeadSize);
  EXPECT_EQ(reply.Type(), 0x13);
  EXPECT_EQ(reply.CountByte(), 0);
  EXPECT_EQ(reply.TimeTag(), 0xCAFEBABEu);
  EXPECT_EQ(reply.CipherFlag(), 1);
  EXPECT_EQ(reply.OuterId(), kId);
  EXPECT_TRUE(reply.AppendItem(kItemAck, V({9})));
}

TEST(PacketTypes, ReplyTypesLongTypesAndLimits) {
  for (int t = 0; t < 256; ++t) {
    const auto type = uint8_t(t);
    const bool longType = t == 1 || t == 7 || t == 8 || t == 9 || t == 0x11 || t == 0x17 ||
                          t == 0x18 || t == 0x19;
    EXPECT_EQ(PacketIsLongType(type), longType) << t;
    EXPECT_EQ(PacketReplyType(type), (t >= 1 && t <= 9) ? t + 0x10 : 0) << t;
    EXPECT_EQ(PacketIsServiceOnlyType(type), t == 0x11 || t == 0x17 || t == 0x18 || t == 0x19);
  }
  struct Limit {
    uint8_t type;
    bool service;
    size_t limit;
    bool framed;
  };
  for (const Limit& l : {Limit{0x13, false, 500, true}, Limit{0x13, true, 1500, true},
                         Limit{0x11, true, 1500, true}, Limit{0x12, false, 70, false},
                         Limit{0x12, true, 70, false}, Limit{0x16, true, 70, false},
                         Limit{0x15, false, 100, false}, Limit{0x15, true, 100, false},
                         Limit{0x00, false, 500, true}}) {
    EXPECT_EQ(PacketSizeLimit(l.type, l.service), l.limit) << int(l.type);
    EXPECT_EQ(PacketLimitIsFramed(l.type), l.framed) << int(l.type);
    // Just inside and just outside, measured the way the type is measured.
    const size_t inside = l.limit, outside = l.limit + 1;
    EXPECT_TRUE(PacketWithinLimit(l.type, l.service, l.framed ? 9999 : inside, l.framed ? inside : 9999));
    EXPECT_FALSE(PacketWithinLimit(l.type, l.service, l.framed ? 0 : outside, l.framed ? outside : 0));
  }
}

TEST(PacketTypes, TimeReplyTextIsTwentyCharacters) {
  const auto text = PacketTimeText(2026, 12, 10, 9, 5, 3);
  EXPECT_EQ(std::string(text.begin(), text.end()), "ts-26/12/10,09:05:03");
  const auto odd = PacketTimeText(1999, 1, 1, 0, 0, 0);
  EXPECT_EQ(std::string(odd.begin(), odd.end()), "ts-99/01/01,00:00:00");
}

TEST(Envelope, RandomCountDependsOnTheBodyLength) {
  const GostFullKey key = TestKey();
  struct Case {
    uint16_t body;
    int envelope;
    uint8_t n;
  };
  for (const Case c : {Case{7, 16, 8}, Case{6, 8, 1}, Case{23, 32, 8}, Case{24, 32, 7}}) {
    std::vector<uint8_t> buffer(c.body + 9);
    for (size_t i = 0; i < c.body; ++i) buffer[i] = uint8_t(i + 1);
    GostRandomRecord random{};
    ASSERT_EQ(EnvelopeSeal(buffer, c.body, key, &random, true), c.envelope) << c.body;
    EXPECT_EQ(random[0], c.n);
    GostRandomRecord back{};
    ASSERT_EQ(EnvelopeOpen(buffer, uint16_t(c.envelope), key, &back), c.body);
    EXPECT_EQ(back, random);
    for (size_t i = 0; i < c.body; ++i) EXPECT_EQ(buffer[i], i + 1);
  }
}

class Parser : public ::testing::Test {
 protected:
  GostFullKey key_ = TestKey();
};

TEST_F(Parser, ASealedPacketComesBackWithItsItemsAndRandomBytes) {
  const PacketBuffer plain =
      DevicePacket(3, 1, {{kItemData, V({5, 'h', 'i'})}, {kItemStatus, {}}, {kItemTimeRequest, V({6})}});
  GostRandomRecord sent{};
  PacketBuffer in = Received(plain, key_, &sent);
  const auto result = PacketParse(in, &key_);
  ASSERT_EQ(result.verdict, PacketVerdict::kOk);
  EXPECT_TRUE(result.encrypted);
  EXPECT_EQ(result.random, sent);
  EXPECT_GE(sent[0], 1);
  EXPECT_EQ(in.Length(), plain.Length() + 2);  // the body is back at offset 7 with its checksum
  EXPECT_TRUE(std::equal(plain.Bytes().begin(), plain.Bytes().end(), in.Bytes().begin()));
  ASSERT_EQ(in.ItemCount(), 3u);
  EXPECT_EQ(in.Item(0).kind, kItemData);
  EXPECT_EQ(in.Item(0).data[0], 5);
  EXPECT_EQ(in.Item(1).length, 0);
  EXPECT_EQ(in.Item(2).kind, kItemTimeRequest);
}

TEST_F(Parser, GivenRandomBytesAreReusedOnTheWayOut) {
  const PacketBuffer plain = DevicePacket(0x13, 1, {{kItemAck, V({5})}});
  GostRandomRecord reuse = {8, 1, 2, 3, 4, 5, 6, 7, 8};
  const auto first = PacketEncodeForWire(plain, key_, &reuse, false);
  const auto second = PacketEncodeForWire(plain, key_, &reuse, false);
  EXPECT_EQ(first, second);
  GostRandomRecord fresh{};
  EXPECT_NE(PacketEncodeForWire(plain, key_, &fresh, true), first);
}

TEST_F(Parser, VerdictsFollowTheOrderOfTheChecks) {
  struct Case {
    std::string name;
    PacketBuffer in;
    const GostFullKey* key;
    PacketVerdict verdict;
  };
  std::vector<Case> cases;
  const GostFullKey other = GostDefaultKey();

  {  // no key for an encrypted packet
    GostRandomRecord r{};
    cases.push_back({"no key", Received(DevicePacket(3, 1, {{kItemStatus, {}}}), key_, &r), nullptr,
                     PacketVerdict::kDecryptFailed});
  }
  {  // envelope that is not whole blocks
    PacketBuffer p;
    std::vector<uint8_t> raw(7 + 12, 0x55);
    std::copy(kId.begin(), kId.end(), raw.begin());
    raw[6] = 1;
    p.Assign(raw);
    cases.push_back({"partial block", p, &key_, PacketVerdict::kDecryptFailed});
  }
  {  // encrypted body of 2 bytes: fewer than 3 remain
    std::vector<uint8_t> body = {0xAA, 0xBB};
    std::vector<uint8_t> buffer(16);
    std::copy(body.begin(), body.end(), buffer.begin());
    const int sealed = EnvelopeSeal(buffer, 2, key_, nullptr, true);
    std::vector<uint8_t> raw(kId.begin(), kId.end());
    raw.push_back(1);
    raw.insert(raw.end(), buffer.begin(), buffer.begin() + sealed);
    PacketBuffer p;
    p.Assign(raw);
    cases.push_back({"short encrypted", p, &key_, PacketVerdict::kDecryptFailed});
  }
  {  // clear packet with 2 bytes after offset 7
    std::vector<uint8_t> raw = V({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0, 1, 2});
    PacketBuffer p;
    p.Assign(raw);
    cases.push_back({"short clear", p, nullptr, PacketVerdict::kBodyTooShort});
  }
  {  // encrypted with a damaged inner checksum
    PacketBuffer plain = DevicePacket(3, 1, {{kItemStatus, {}}});
    ASSERT_TRUE(plain.AppendInnerChecksum());
    std::vector<uint8_t> raw(plain.Bytes().begin(), plain.Bytes().end());
    raw.back() ^= 1;
    PacketBuffer p;
    p.Assign(raw);
    p.SetLength(raw.size());
    // Seal by hand (the packet already ends in its checksum).
    PacketBuffer sealed = p;
    ASSERT_TRUE(PacketSeal(sealed, key_, nullptr, true));
    cases.push_back({"bad inner checksum", sealed, &key_, PacketVerdict::kBadInnerChecksum});
  }
  {  // clear packet with a damaged inner checksum: not checked
    PacketBuffer plain = DevicePacket(3, 0, {{kItemStatus, {}}});
    ASSERT_TRUE(plain.AppendInnerChecksum());
    std::vector<uint8_t> raw(plain.Bytes().begin(), plain.Bytes().end());
    raw.back() ^= 1;
    PacketBuffer p;
    p.Assign(raw);
    cases.push_back({"clear, checksum not checked", p, nullptr, PacketVerdict::kOk});
  }
  {  // inner identifier differs
    PacketBuffer plain = DevicePacket(3, 1, {{kItemStatus, {}}});
    std::array<uint8_t, 6> otherId = kId;
    otherId[5] ^= 0xFF;
    plain.SetInnerId(otherId);
    GostRandomRecord r{};
    cases.push_back({"wrong inner id", Received(plain, key_, &r), &key_, PacketVerdict::kWrongInnerId});
  }
  {  // 22 bytes without the outer checksum
    PacketBuffer plain;
    plain.StartNew(kId, 0, 3);
    std::vector<uint8_t> raw(plain.Bytes().begin(), plain.Bytes().end());
    raw[18] = 1;
    raw.push_back(0);
    const uint16_t crc = CrcA(std::span<const uint8_t>(raw).subspan(7));
    raw.push_back(uint8_t(crc >> 8));
    raw.push_back(uint8_t(crc));
    PacketBuffer p;
    p.Assign(raw);
    cases.push_back({"too short", p, nullptr, PacketVerdict::kTooShort});
  }
  {  // an item list that is empty on a short type, and one on a long type
    PacketBuffer plain = DevicePacket(3, 0, {{kItemStatus, V({1, 2})}});
    ASSERT_TRUE(plain.AppendInnerChecksum());
    std::vector<uint8_t> raw(plain.Bytes().begin(), plain.Bytes().end());
    raw[18] = 0;
    PacketBuffer p;
    p.Assign(raw);
    cases.push_back({"no items", p, nullptr, PacketVerdict::kNoItems});
    raw[17] = 7;  // a long type: byte 18 is a length, not a count
    p.Assign(raw);
    cases.push_back({"long type, count byte 0", p, nullptr, PacketVerdict::kOk});
  }
  // Under another key the envelope opens to garbage: either too little is left or the checksum
  // fails, depending on the trailer it happens to show.
  for (int i = 0; i < 20; ++i) {
    GostRandomRecord r{};
    PacketBuffer in = Received(DevicePacket(3, 1, {{kItemData, V({i, 1, 2, 3})}}), key_, &r);
    const auto verdict = PacketParse(in, &other).verdict;
    EXPECT_TRUE(verdict == PacketVerdict::kDecryptFailed || verdict == PacketVerdict::kBadInnerChecksum)
        << int(verdict);
  }
  for (Case& c : cases) {
    EXPECT_EQ(PacketParse(c.in, c.key).verdict, c.verdict) << c.name;
    EXPECT_LE(c.in.Length(), kPacketCapacity) << c.name;
  }
}

TEST_F(Parser, ItemsThatPassTheEndOfTheBodyAreCutOff) {
  PacketBuffer plain = DevicePacket(3, 0, {{kItemData, V({1, 2, 3})}, {kItemStatus, V({4})}});
  ASSERT_TRUE(plain.AppendInnerChecksum());
  std::vector<uint8_t> raw(plain.Bytes().begin(), plain.Bytes().end());
  struct Case {
    uint8_t count;
    uint8_t secondLength;
    size_t items;
  };
  for (const Case c : {Case{2, 1, 2}, Case{5, 1, 2}, Case{2, 2, 1}, Case{2, 200, 1}, Case{255, 1, 2}}) {
    raw[18] = c.count;
    raw[19 + 5] = c.secondLength;
    PacketBuffer p;
    p.Assign(raw);
    ASSERT_EQ(PacketParse(p, nullptr).verdict, PacketVerdict::kOk);
    EXPECT_EQ(p.ItemCount(), c.items) << int(c.count) << " " << int(c.secondLength);
    for (size_t i = 0; i < p.ItemCount(); ++i)
      EXPECT_LE(p.Item(i).offset + 2u + p.Item(i).length, p.Length() - 2);
  }
  // A long type whose 16-bit length passes the end carries no item at all.
  raw[17] = 1;
  raw[18] = 0x01;
  PacketBuffer p;
  p.Assign(raw);
  ASSERT_EQ(PacketParse(p, nullptr).verdict, PacketVerdict::kOk);
  EXPECT_EQ(p.ItemCount(), 0u);
}

TEST_F(Parser, WireSizeOfAFullServicePacketIsReportedForTheLimit) {
  PacketBuffer plain;
  plain.StartNew(kId, 1, 0x11);
  ASSERT_TRUE(plain.AppendItem(kItemCommand, std::vector<uint8_t>(1400, 0x7E)));
  size_t unframed = 0;
  GostRandomRecord r{};
  const auto wire = PacketEncodeForWire(plain, key_, &r, true, &unframed);
  ASSERT_FALSE(wire.empty());
  EXPECT_EQ(unframed % 8, (7 + 2) % 8);  // 7 clear bytes, whole blocks, 2 outer checksum bytes
  EXPECT_GT(wire.size(), unframed);
  EXPECT_LE(wire.size(), FrameMaxEncodedSize(unframed));
  // A packet that already ends in its checksum is not encoded twice.
  PacketBuffer done = plain;
  ASSERT_TRUE(done.AppendInnerChecksum());
  EXPECT_TRUE(PacketEncodeForWire(done, key_, &r, true).empty());
}

}  // namespace
}  // namespace telvor
