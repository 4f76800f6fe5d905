// GPRS packets (channel type 6): the packet buffer, the builder and the parser.
//
// Raw datagram: 0..5 outer identifier, 6 cipher flag (1 = bytes 7.. are an envelope), then the
// plain body or the envelope, then the outer checksum (CRC A over everything before it, high byte
// first). Plain body, with offsets counted from the start of the datagram so that they are the same
// before and after decryption: 7..12 inner identifier, 13..16 time tag (little-endian), 17 packet
// type, 18 item count (for a long type the high byte of the single item's length), 19.. items, then
// the inner checksum (CRC A over 7 .. before it, high byte first).
// Item: [0] L (for a long type the low byte of the 16-bit length), [1] kind, [2..2+L) data whose
// first byte is the item's sequence number in every kind that carries one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "telvor/crypto/seal.h"

namespace telvor {

// Field offsets within the raw datagram.
inline constexpr size_t kPacketOuterId = 0;
inline constexpr size_t kPacketCipherFlag = 6;
inline constexpr size_t kPacketInnerId = 7;
inline constexpr size_t kPacketTimeTag = 13;
inline constexpr size_t kPacketType = 17;
inline constexpr size_t kPacketCount = 18;
inline constexpr size_t kPacketItems = 19;
inline constexpr size_t kPacketHeadSize = 19;
inline constexpr size_t kPacketIdSize = 6;

inline constexpr size_t kPacketCapacity = 1500;  // bytes of packet data
inline constexpr size_t kPacketMaxItems = 255;
// Shortest packet accepted by the parser, without its outer checksum.
inline constexpr size_t kPacketMinLength = 23;

inline constexpr uint8_t kCipherOn = 1;

// Time tags with a fixed meaning.
inline constexpr uint32_t kTimeTagBeforeFirst = 0x87654321;   // sent before any device packet
inline constexpr uint32_t kTimeTagAlwaysAccepted = 0x21436587;

// Packet types.
inline constexpr uint8_t kPacketNegative = 0;     // answer to a packet whose type is not 1..9
inline constexpr uint8_t kPacketReplyOffset = 0x10;

// Item kinds.
inline constexpr uint8_t kItemStatus = 1;
inline constexpr uint8_t kItemData = 2;
inline constexpr uint8_t kItemCommand = 3;
inline constexpr uint8_t kItemAck = 4;        // msg_KVITGOOD
inline constexpr uint8_t kItemNak = 5;        // msg_KVITBAD
inline constexpr uint8_t kItemKeyChange = 6;
inline constexpr uint8_t kItemDg2 = 0x81;
inline constexpr uint8_t kItemTimeRequest = 0x86;
inline constexpr uint8_t kItemTimeReply = 0x87;

// Size limits of packets built for a device, compared with the sealed datagram plus its outer
// checksum (framed, except for types 0x12, 0x15 and 0x16, which are measured unframed).
inline constexpr size_t kPacketLimitNormal = 500;
inline constexpr size_t kPacketLimitService = 1500;
inline constexpr size_t kPacketLimitType12And16 = 70;
inline constexpr size_t kPacketLimitType15 = 100;

// Types 1, 7, 8, 9 and their replies 0x11, 0x17, 0x18, 0x19 carry one item with a 16-bit length.
bool PacketIsLongType(uint8_t type);
// Reply types that only service-mode registrations may be sent: 0x11, 0x17, 0x18, 0x19.
bool PacketIsServiceOnlyType(uint8_t type);
// Device types 1..9 are answered with type + 0x10; any other type with type 0.
uint8_t PacketReplyType(uint8_t receivedType);

// Largest size a packet of `type` may have, for a registration in service mode or not.
size_t PacketSizeLimit(uint8_t type, bool serviceMode);
// Whether the limit of `type` is compared with the framed size (true) or the unframed one.
bool PacketLimitIsFramed(uint8_t type);
// Whether a sealed datagram with outer checksum of `unframedLength` bytes, framed to
// `framedLength` bytes, is within the limit of `type`.
bool PacketWithinLimit(uint8_t type, bool serviceMode, size_t unframedLength, size_t framedLength);

// The 20 characters of a time reply: "ts-YY/MM/DD,hh:mm:ss" (year modulo 100; every field is
// written as two digits).
std::array<char, 20> PacketTimeText(int year, int month, int day, int hour, int minute, int second);

// One item as found in a packet.
struct PacketItem {
  uint16_t offset = 0;  // of its length byte within the datagram
  uint16_t length = 0;  // L, or the 16-bit length of a long type's item
  uint8_t kind = 0;
  std::span<const uint8_t> data;  // L bytes; data[0] is the sequence number where there is one
};

// One packet in memory: up to kPacketCapacity bytes of data (plus room for sealing it in place),
// the table of its items (at most 255), and its lengths. Copyable; holds no pointers into itself.
class PacketBuffer {
 public:
  // Room behind the data for the envelope's growth and the outer checksum.
  static constexpr size_t kStorage = kPacketCapacity + kSealMaxGrowth + 2;

  PacketBuffer() = default;

  // Copies a raw datagram. Returns false (and leaves the packet empty) when it is longer than
  // kPacketCapacity. The item table is emptied; IndexItems() fills it.
  bool Assign(std::span<const uint8_t> raw);
  void Clear();

  // The three lengths: total, from offset 7 on, from offset 19 on (0 when shorter).
  size_t Length() const { return length_; }
  size_t LengthFrom7() const { return length_ > 7 ? length_ - 7 : 0; }
  size_t LengthFrom19() const { return length_ > 19 ? length_ - 19 : 0; }

  std::span<const uint8_t> Bytes() const { return {data_.data(), length_}; }
  uint8_t operator[](size_t i) const { return data_[i]; }
  // Whole storage for in-place work; SetLength() states the new length afterwards.
  std::span<uint8_t> Storage() { return {data_.data(), data_.size()}; }
  bool SetLength(size_t length);  // false when past kStorage

  // Head fields; reading a field the packet is too short for gives zeros.
  std::array<uint8_t, 6> OuterId() const;
  std::array<uint8_t, 6> InnerId() const;
  uint8_t CipherFlag() const { return length_ > kPacketCipherFlag ? data_[kPacketCipherFlag] : 0; }
  uint32_t TimeTag() const;
  uint8_t Type() const { return length_ > kPacketType ? data_[kPacketType] : 0; }
  uint8_t CountByte() const { return length_ > kPacketCount ? data_[kPacketCount] : 0; }
  bool IsLongType() const { return PacketIsLongType(Type()); }

  // Head setters; they need the 19-byte head to exist (false otherwise).
  bool SetOuterId(std::span<const uint8_t, 6> id);
  bool SetInnerId(std::span<const uint8_t, 6> id);
  bool SetCipherFlag(uint8_t flag);
  bool SetTimeTag(uint32_t tag);
  bool SetType(uint8_t type);

  // Builder step 1: the 19-byte head copied from `from` (a received packet or the last reply
  // template), the type set, count 0, no items. False when `from` is shorter than 19 bytes.
  bool StartFrom(const PacketBuffer& from, uint8_t type);
  // Builder start without a packet to copy: the given identifiers, cipher flag, type, tag 0.
  void StartNew(std::span<const uint8_t, 6> id, uint8_t cipherFlag, uint8_t type);

  // Builder step 2: appends an item {L, kind, data} and keeps the count (or, for a long type, the
  // 16-bit length split between byte 18 and the item's length byte). False, with nothing changed,
  // when the packet has no head or already has an inner checksum appended, when the data is longer
  // than 255 (65535 for a long type), when a long type already has its item, when 255 items are
  // there, or when the packet would pass kPacketCapacity.
  bool AppendItem(uint8_t kind, std::span<const uint8_t> data);
  // Takes the newest item back out (an acknowledgement withdrawn, a packet cut back to its last
  // complete item). False when there is none.
  bool RemoveLastItem();

  // Builder step 4: appends the inner checksum over offsets 7 .. end. False without a head or room.
  bool AppendInnerChecksum();
  // Whether the last two bytes are CRC A (high byte first) of offsets 7 .. before them.
  bool InnerChecksumOk() const;
  // Builder step 6: appends CRC A of the whole datagram, high byte first.
  bool AppendOuterChecksum();

  // Parser step 7: walks the items from offset 19 up to the end of the body (the length from 19 on
  // less the 2 checksum bytes); items that would pass it are cut off. A long type has at most one.
  void IndexItems();
  size_t ItemCount() const { return itemCount_; }
  PacketItem Item(size_t index) const;  // index < ItemCount()
  // Whether the packet ends in its inner checksum (appended, or a received datagram): items can
  // then no longer be appended.
  bool HasInnerChecksum() const { return sealedTail_; }

 private:
  std::array<uint8_t, kStorage> data_{};
  size_t length_ = 0;
  std::array<uint16_t, kPacketMaxItems> items_{};
  size_t itemCount_ = 0;
  bool sealedTail_ = false;  // the inner checksum (or more) is already appended
};

// Builder step 5: when the cipher flag is 1, replaces offsets 7 .. end (body and inner checksum)
// with the envelope. fresh draws new random bytes (copied into `random` when given); otherwise the
// bytes of `random` are reused. Returns false when sealing failed (no room); a packet whose cipher
// flag is not 1 is left as it is and true returned.
bool PacketSeal(PacketBuffer& packet, const GostFullKey& key, GostRandomRecord* random, bool fresh);

// Builder steps 4 to 7 on a copy of `plain` (a built packet without inner checksum): inner
// checksum, envelope, outer checksum, framing with mask 0x40. `unframedLength` receives the size of
// the sealed datagram with its outer checksum. Returns the framed bytes, empty on failure.
std::vector<uint8_t> PacketEncodeForWire(const PacketBuffer& plain, const GostFullKey& key,
                                         GostRandomRecord* random, bool fresh,
                                         size_t* unframedLength = nullptr);

// Why a received packet was rejected.
enum class PacketVerdict : uint8_t {
  kOk,
  kDecryptFailed,     // encrypted, and fewer than 3 bytes remain after offset 7 once opened
  kBodyTooShort,      // clear, and fewer than 3 bytes after offset 7
  kBadInnerChecksum,  // encrypted, and the inner checksum does not match
  kWrongInnerId,      // the inner identifier differs from the outer one
  kTooShort,          // shorter than 23 bytes (without the outer checksum)
  kNoItems,           // not a long type and its item count is 0
};

// Parser step 2: when the cipher flag is 1, opens the envelope at offset 7 under `key` in place and
// moves the body down to offset 7 (length 7 + |body|). The envelope's random bytes go to `random`
// when given. kDecryptFailed when fewer than 3 bytes remain, when the envelope is not a positive
// multiple of 8 bytes, or when there is no key; then the packet holds what the open left. A clear
// packet is checked for its 3 bytes only.
PacketVerdict PacketOpen(PacketBuffer& packet, const GostFullKey* key, GostRandomRecord* random);
// Parser steps 4 to 6 on an opened packet (encrypted tells whether it had been sealed).
PacketVerdict PacketCheck(const PacketBuffer& packet, bool encrypted);

// The whole parser in order (steps 2 to 7): `packet` holds the raw datagram less its outer
// checksum, as the frame decoder delivers it. On kOk the items are indexed.
struct PacketParseResult {
  PacketVerdict verdict = PacketVerdict::kOk;
  bool encrypted = false;
  GostRandomRecord random{};  // the envelope's random bytes (count 0 for a clear packet)
};
PacketParseResult PacketParse(PacketBuffer& packet, const GostFullKey* key);

}  // namespace telvor
