// Link framing of datagrams: 0x7E, the content with 0x7D escaping, 0x7F; and the receive ring
// that rebuilds checked frames from a stream of bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace telvor {

inline constexpr uint8_t kFrameStart = 0x7E;
inline constexpr uint8_t kFrameEnd = 0x7F;
inline constexpr uint8_t kFrameEscape = 0x7D;

// Channel types of the library's exported interface.
inline constexpr int kChannelGprs = 6;
inline constexpr int kChannelSerial = 7;

enum class FrameChecksum : uint8_t {
  kCrcAHighFirst,  // channel types 2, 4, 5 and 6
  kCrcBLowFirst,   // channel types 0, 1, 3
};

// 0x20 for channel types 2, 4 and 5; 0x40 for every other type, GPRS included.
uint8_t FrameEscapeMask(int channelType);
// Checksum that channel type's frames carry (see FrameChecksum).
FrameChecksum FrameChecksumKind(int channelType);

// True for the bytes that are sent escaped: 0x7E, 0x7F, 0x7D, 0xFF, 0x2B and everything below 0x20.
bool FrameNeedsEscape(uint8_t byte);

// Largest framed size of `rawLength` content bytes.
constexpr size_t FrameMaxEncodedSize(size_t rawLength) { return 2 * rawLength + 2; }

// Writes 0x7E, the escaped content and 0x7F into `out`. Returns the framed length, or 0 when `out`
// is smaller than needed (nothing useful is then in `out`). An empty datagram becomes 7E 7F.
size_t FrameEncode(std::span<const uint8_t> raw, uint8_t escapeMask, std::span<uint8_t> out);
std::vector<uint8_t> FrameEncode(std::span<const uint8_t> raw, uint8_t escapeMask);

// What the shared sender of channel types 0..5 puts on the wire: the datagram, its checksum of
// that type in that type's byte order, all framed with that type's mask. For channel type 6 the
// datagram already carries its outer checksum and is only framed.
std::vector<uint8_t> FrameForChannel(int channelType, std::span<const uint8_t> raw);

// The first six content bytes of a received datagram (0x7E and 0x7F skipped, 0x7D plus the next
// byte taken as that byte XOR 0x40), used to choose the session whose ring gets the datagram.
// Returns false when the datagram ends before six bytes were found.
bool FramePeekIdentifier(std::span<const uint8_t> datagram, std::array<uint8_t, 6>& id);

// Receive ring of one session. Bytes go in one at a time; a 0x7E opens a frame, a 0x7F closes a
// candidate whose escapes are undone and whose trailing two bytes must equal the checksum of the
// rest. A candidate that fails keeps the frame open; a frame longer than the ring is lost.
class FrameDecoder {
 public:
  static constexpr size_t kRingSize = 1024;
  static constexpr uint16_t kNoFrameOpen = 65535;

  // GPRS channel by default: mask 0x40, CRC A high byte first.
  FrameDecoder() = default;
  FrameDecoder(uint8_t escapeMask, FrameChecksum checksum);
  static FrameDecoder ForChannel(int channelType);

  // Feeds one byte. Returns true when this byte completed a checked frame; Frame() then holds the
  // content less its two check bytes (at least one byte) until the next call.
  bool Push(uint8_t byte);

  // Feeds every byte of `bytes`, calling onFrame for each completed frame (the span is valid only
  // during the call). Returns the number of frames completed.
  size_t Feed(std::span<const uint8_t> bytes,
              const std::function<void(std::span<const uint8_t>)>& onFrame);

  std::span<const uint8_t> Frame() const { return {frame_.data(), frameLength_}; }
  // Bytes since the last start flag, counting the flag; kNoFrameOpen when no frame is open.
  uint16_t Counter() const { return counter_; }
  // Forgets the ring and closes any open frame.
  void Reset();

 private:
  bool TryCandidate();

  uint8_t escapeMask_ = 0x40;
  FrameChecksum checksum_ = FrameChecksum::kCrcAHighFirst;
  std::array<uint8_t, kRingSize> ring_{};
  size_t head_ = 0;  // index where the next byte goes
  uint16_t counter_ = kNoFrameOpen;
  std::array<uint8_t, kRingSize> frame_{};
  size_t frameLength_ = 0;
};

}  // namespace telvor
