#include "telvor/protocol/packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "telvor/protocol/crc.h"
#include "telvor/protocol/envelope.h"
#include "telvor/protocol/frame.h"

namespace telvor {

bool PacketIsLongType(uint8_t type) {
  switch (type) {
    case 1:
    case 7:
    case 8:
    case 9:
    case 0x11:
    case 0x17:
    case 0x18:
    case 0x19:
      return true;
    default:
      return false;
  }
}

bool PacketIsServiceOnlyType(uint8_t type) {
  return type == 0x11 || type == 0x17 || type == 0x18 || type == 0x19;
}

uint8_t PacketReplyType(uint8_t receivedType) {
  return (receivedType >= 1 && receivedType <= 9) ? uint8_t(receivedType + kPacketReplyOffset)
                                                  : kPacketNegative;
}

size_t PacketSizeLimit(uint8_t type, bool serviceMode) {
  size_t limit = serviceMode ? kPacketLimitService : kPacketLimitNormal;
  if (type == 0x12 || type == 0x16) limit = std::min(limit, kPacketLimitType12And16);
  if (type == 0x15) limit = std::min(limit, kPacketLimitType15);
  return limit;
}

bool PacketLimitIsFramed(uint8_t type) { return !(type == 0x12 || type == 0x15 || type == 0x16); }

bool PacketWithinLimit(uint8_t type, bool serviceMode, size_t unframedLength, size_t framedLength) {
  const size_t measured = PacketLimitIsFramed(type) ? framedLength : unframedLength;
  return measured <= PacketSizeLimit(type, serviceMode);
}

std::array<char, 20> PacketTimeText(int year, int month, int day, int hour, int minute, int second) {
  // Every field is reduced to two digits so the text is always exactly 20 characters.
  auto two = [](int v) { return ((v % 100) + 100) % 100; };
  char text[21];
  std::snprintf(text, sizeof(text), "ts-%02d/%02d/%02d,%02d:%02d:%02d", two(year), two(month),
                two(day), two(hour), two(minute), two(second));
  std::array<char, 20> out{};
  std::memcpy(out.data(), text, out.size());
  return out;
}

// ---- PacketBuffer ---------------------------------------------------------------------------

bool PacketBuffer::Assign(std::span<const uint8_t> raw) {
  Clear();
  if (raw.size() > kPacketCapacity) return false;
  if (!raw.empty()) std::memcpy(data_.data(), raw.data(), raw.size());
  length_ = raw.size();
  sealedTail_ = true;
  return true;
}

void PacketBuffer::Clear() {
  length_ = 0;
  itemCount_ = 0;
  sealedTail_ = false;
}

bool PacketBuffer::SetLength(size_t length) {
  if (length > kStorage) return false;
  length_ = length;
  if (length_ < kPacketHeadSize) itemCount_ = 0;
  while (itemCount_ > 0 && items_[itemCount_ - 1] + 2u > length_) --itemCount_;
  return true;
}

std::array<uint8_t, 6> PacketBuffer::OuterId() const {
  std::array<uint8_t, 6> id{};
  for (size_t i = 0; i < id.size() && kPacketOuterId + i < length_; ++i) id[i] = data_[kPacketOuterId + i];
  return id;
}

std::array<uint8_t, 6> PacketBuffer::InnerId() const {
  std::array<uint8_t, 6> id{};
  for (size_t i = 0; i < id.size() && kPacketInnerId + i < length_; ++i) id[i] = data_[kPacketInnerId + i];
  return id;
}

uint32_t PacketBuffer::TimeTag() const {
  uint32_t tag = 0;
  for (size_t i = 0; i < 4 && kPacketTimeTag + i < length_; ++i)
    tag |= uint32_t(data_[kPacketTimeTag + i]) << (8 * i);
  return tag;
}

bool PacketBuffer::SetOuterId(std::span<const uint8_t, 6> id) {
  if (length_ < kPacketHeadSize) return false;
  std::memcpy(data_.data() + kPacketOuterId, id.data(), id.size());
  return true;
}

bool PacketBuffer::SetInnerId(std::span<const uint8_t, 6> id) {
  if (length_ < kPacketHeadSize) return false;
  std::memcpy(data_.data() + kPacketInnerId, id.data(), id.size());
  return true;
}

bool PacketBuffer::SetCipherFlag(uint8_t flag) {
  if (length_ < kPacketHeadSize) return false;
  data_[kPacketCipherFlag] = flag;
  return true;
}

bool PacketBuffer::SetTimeTag(uint32_t tag) {
  if (length_ < kPacketHeadSize) return false;
  for (size_t i = 0; i < 4; ++i) data_[kPacketTimeTag + i] = uint8_t(tag >> (8 * i));
  return true;
}

bool PacketBuffer::SetType(uint8_t type) {
  if (length_ < kPacketHeadSize) return false;
  data_[kPacketType] = type;
  return true;
}

bool PacketBuffer::StartFrom(const PacketBuffer& from, uint8_t type) {
  if (from.length_ < kPacketHeadSize) return false;
  if (&from != this) std::memcpy(data_.data(), from.data_.data(), kPacketHeadSize);
  length_ = kPacketHeadSize;
  itemCount_ = 0;
  sealedTail_ = false;
  data_[kPacketType] = type;
  data_[kPacketCount] = 0;
  return true;
}

void PacketBuffer::StartNew(std::span<const uint8_t, 6> id, uint8_t cipherFlag, uint8_t type) {
  std::memset(data_.data(), 0, kPacketHeadSize);
  std::memcpy(data_.data() + kPacketOuterId, id.data(), id.size());
  std::memcpy(data_.data() + kPacketInnerId, id.data(), id.size());
  data_[kPacketCipherFlag] = cipherFlag;
  data_[kPacketType] = type;
  length_ = kPacketHeadSize;
  itemCount_ = 0;
  sealedTail_ = false;
}

bool PacketBuffer::AppendItem(uint8_t kind, std::span<const uint8_t> data) {
  if (length_ < kPacketHeadSize || sealedTail_) return false;
  const bool isLong = IsLongType();
  if (isLong ? (itemCount_ > 0 || data.size() > 0xFFFF) : data.size() > 0xFF) return false;
  if (!isLong && (itemCount_ >= kPacketMaxItems || data_[kPacketCount] >= kPacketMaxItems)) return false;
  if (length_ + 2 + data.size() > kPacketCapacity) return false;
  const size_t at = length_;
  data_[at] = uint8_t(data.size());
  data_[at + 1] = kind;
  if (!data.empty()) std::memcpy(data_.data() + at + 2, data.data(), data.size());
  length_ += 2 + data.size();
  if (isLong) {
    data_[kPacketCount] = uint8_t(data.size() >> 8);
  } else {
    ++data_[kPacketCount];
  }
  items_[itemCount_++] = uint16_t(at);
  return true;
}

bool PacketBuffer::RemoveLastItem() {
  if (itemCount_ == 0 || sealedTail_) return false;
  length_ = items_[--itemCount_];
  if (IsLongType()) {
    data_[kPacketCount] = 0;
  } else if (data_[kPacketCount] > 0) {
    --data_[kPacketCount];
  }
  return true;
}

bool PacketBuffer::AppendInnerChecksum() {
  if (length_ < kPacketInnerId || length_ + 2 > kStorage) return false;
  const uint16_t crc = CrcA({data_.data() + kPacketInnerId, length_ - kPacketInnerId});
  data_[length_] = uint8_t(crc >> 8);
  data_[length_ + 1] = uint8_t(crc);
  length_ += 2;
  sealedTail_ = true;
  return true;
}

bool PacketBuffer::InnerChecksumOk() const {
  if (length_ < kPacketInnerId + 2) return false;
  const size_t end = length_ - 2;
  const uint16_t crc = CrcA({data_.data() + kPacketInnerId, end - kPacketInnerId});
  return data_[end] == uint8_t(crc >> 8) && data_[end + 1] == uint8_t(crc);
}

bool PacketBuffer::AppendOuterChecksum() {
  if (length_ + 2 > kStorage) return false;
  const uint16_t crc = CrcA({data_.data(), length_});
  data_[length_] = uint8_t(crc >> 8);
  data_[length_ + 1] = uint8_t(crc);
  length_ += 2;
  sealedTail_ = true;
  return true;
}

void PacketBuffer::IndexItems() {
  itemCount_ = 0;
  if (length_ < kPacketItems + 2) return;
  const size_t end = length_ - 2;  // the inner checksum closes the body
  if (IsLongType()) {
    if (kPacketItems + 2 > end) return;
    const size_t size = (size_t(data_[kPacketCount]) << 8) | data_[kPacketItems];
    if (kPacketItems + 2 + size <= end) items_[itemCount_++] = uint16_t(kPacketItems);
    return;
  }
  size_t at = kPacketItems;
  for (size_t i = 0; i < data_[kPacketCount]; ++i) {
    if (at + 2 > end || at + 2 + data_[at] > end) break;
    items_[itemCount_++] = uint16_t(at);
    at += 2 + data_[at];
  }
}

PacketItem PacketBuffer::Item(size_t index) const {
  PacketItem item;
  if (index >= itemCount_) return item;
  const size_t at = items_[index];
  item.offset = uint16_t(at);
  item.length = IsLongType() ? uint16_t((size_t(data_[kPacketCount]) << 8) | data_[at]) : data_[at];
  item.kind = data_[at + 1];
  item.data = {data_.data() + at + 2, item.length};
  return item;
}

// ---- Builder steps 5 to 7 -------------------------------------------------------------------

bool PacketSeal(PacketBuffer& packet, const GostFullKey& key, GostRandomRecord* random, bool fresh) {
  if (packet.CipherFlag() != kCipherOn) return true;
  if (packet.Length() <= kPacketInnerId) return false;
  const size_t body = packet.Length() - kPacketInnerId;
  if (body > 0xFFFF) return false;
  const std::span<uint8_t> tail = packet.Storage().subspan(kPacketInnerId);
  const int sealed = EnvelopeSeal(tail, uint16_t(body), key, random, fresh);
  if (sealed < 0) return false;
  return packet.SetLength(kPacketInnerId + size_t(sealed));
}

std::vector<uint8_t> PacketEncodeForWire(const PacketBuffer& plain, const GostFullKey& key,
                                         GostRandomRecord* random, bool fresh,
                                         size_t* unframedLength) {
  if (unframedLength != nullptr) *unframedLength = 0;
  if (plain.Length() < kPacketHeadSize || plain.HasInnerChecksum()) return {};
  PacketBuffer wire = plain;
  if (!wire.AppendInnerChecksum()) return {};
  if (!PacketSeal(wire, key, random, fresh)) return {};
  if (!wire.AppendOuterChecksum()) return {};
  if (unframedLength != nullptr) *unframedLength = wire.Length();
  return FrameEncode(wire.Bytes(), FrameEscapeMask(kChannelGprs));
}

// ---- Parser -----------------------------------------------------------------------------------

PacketVerdict PacketOpen(PacketBuffer& packet, const GostFullKey* key, GostRandomRecord* random) {
  if (random != nullptr) random->fill(0);
  if (packet.CipherFlag() != kCipherOn || packet.Length() <= kPacketCipherFlag) {
    return packet.LengthFrom7() < 3 ? PacketVerdict::kBodyTooShort : PacketVerdict::kOk;
  }
  if (key == nullptr) return PacketVerdict::kDecryptFailed;
  const size_t envelope = packet.LengthFrom7();
  if (envelope == 0 || envelope % 8 != 0 || envelope > 0xFFFF) return PacketVerdict::kDecryptFailed;
  const std::span<uint8_t> tail = packet.Storage().subspan(kPacketInnerId);
  const int body = EnvelopeOpen(tail, uint16_t(envelope), *key, random);
  if (body < 0) return PacketVerdict::kDecryptFailed;
  packet.SetLength(kPacketInnerId + size_t(body));
  return body < 3 ? PacketVerdict::kDecryptFailed : PacketVerdict::kOk;
}

PacketVerdict PacketCheck(const PacketBuffer& packet, bool encrypted) {
  if (packet.LengthFrom7() < 3) return encrypted ? PacketVerdict::kDecryptFailed : PacketVerdict::kBodyTooShort;
  if (encrypted && !packet.InnerChecksumOk()) return PacketVerdict::kBadInnerChecksum;
  if (packet.Length() < kPacketInnerId + kPacketIdSize || packet.InnerId() != packet.OuterId())
    return PacketVerdict::kWrongInnerId;
  if (packet.Length() < kPacketMinLength) return PacketVerdict::kTooShort;
  if (!packet.IsLongType() && packet.CountByte() == 0) return PacketVerdict::kNoItems;
  return PacketVerdict::kOk;
}

PacketParseResult PacketParse(PacketBuffer& packet, const GostFullKey* key) {
  PacketParseResult result;
  result.encrypted = packet.CipherFlag() == kCipherOn && packet.Length() > kPacketCipherFlag;
  result.verdict = PacketOpen(packet, key, result.encrypted ? &result.random : nullptr);
  if (result.verdict == PacketVerdict::kOk) result.verdict = PacketCheck(packet, result.encrypted);
  if (result.verdict == PacketVerdict::kOk) packet.IndexItems();
  return result;
}

}  // namespace telvor
