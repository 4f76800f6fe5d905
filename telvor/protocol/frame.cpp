#include "telvor/protocol/frame.h"

#include "telvor/protocol/crc.h"

namespace telvor {

uint8_t FrameEscapeMask(int channelType) {
  return (channelType == 2 || channelType == 4 || channelType == 5) ? 0x20 : 0x40;
}

FrameChecksum FrameChecksumKind(int channelType) {
  return (channelType == 0 || channelType == 1 || channelType == 3) ? FrameChecksum::kCrcBLowFirst
                                                                    : FrameChecksum::kCrcAHighFirst;
}

bool FrameNeedsEscape(uint8_t byte) {
  return byte == kFrameStart || byte == kFrameEnd || byte == kFrameEscape || byte == 0xFF ||
         byte == 0x2B || byte < 0x20;
}

size_t FrameEncode(std::span<const uint8_t> raw, uint8_t escapeMask, std::span<uint8_t> out) {
  size_t needed = 2;
  for (uint8_t b : raw) needed += FrameNeedsEscape(b) ? 2 : 1;
  if (out.size() < needed) return 0;
  size_t o = 0;
  out[o++] = kFrameStart;
  for (uint8_t b : raw) {
    if (FrameNeedsEscape(b)) {
      out[o++] = kFrameEscape;
      out[o++] = uint8_t(b ^ escapeMask);
    } else {
      out[o++] = b;
    }
  }
  out[o++] = kFrameEnd;
  return o;
}

std::vector<uint8_t> FrameEncode(std::span<const uint8_t> raw, uint8_t escapeMask) {
  std::vector<uint8_t> out(FrameMaxEncodedSize(raw.size()));
  out.resize(FrameEncode(raw, escapeMask, out));
  return out;
}

std::vector<uint8_t> FrameForChannel(int channelType, std::span<const uint8_t> raw) {
  if (channelType == kChannelGprs) return FrameEncode(raw, FrameEscapeMask(channelType));
  std::vector<uint8_t> withChecksum(raw.begin(), raw.end());
  if (FrameChecksumKind(channelType) == FrameChecksum::kCrcBLowFirst) {
    const uint16_t crc = CrcB(raw);
    withChecksum.push_back(uint8_t(crc));
    withChecksum.push_back(uint8_t(crc >> 8));
  } else {
    const uint16_t crc = CrcA(raw);
    withChecksum.push_back(uint8_t(crc >> 8));
    withChecksum.push_back(uint8_t(crc));
  }
  return FrameEncode(withChecksum, FrameEscapeMask(channelType));
}

bool FramePeekIdentifier(std::span<const uint8_t> datagram, std::array<uint8_t, 6>& id) {
  size_t found = 0;
  for (size_t i = 0; i < datagram.size() && found < id.size(); ++i) {
    const uint8_t b = datagram[i];
    if (b == kFrameStart || b == kFrameEnd) continue;
    if (b == kFrameEscape) {
      if (++i >= datagram.size()) break;
      id[found++] = uint8_t(datagram[i] ^ 0x40);
    } else {
      id[found++] = b;
    }
  }
  return found == id.size();
}

FrameDecoder::FrameDecoder(uint8_t escapeMask, FrameChecksum checksum)
    : escapeMask_(escapeMask), checksum_(checksum) {}

FrameDecoder FrameDecoder::ForChannel(int channelType) {
  return FrameDecoder(FrameEscapeMask(channelType), FrameChecksumKind(channelType));
}

void FrameDecoder::Reset() {
  ring_.fill(0);
  head_ = 0;
  counter_ = kNoFrameOpen;
  frameLength_ = 0;
}

bool FrameDecoder::Push(uint8_t byte) {
  frameLength_ = 0;
  ring_[head_] = byte;
  head_ = (head_ + 1) % kRingSize;
  if (counter_ < kNoFrameOpen) ++counter_;
  if (byte == kFrameStart) counter_ = 1;
  if (byte == kFrameEnd && counter_ >= 1 && counter_ <= kRingSize) return TryCandidate();
  return false;
}

bool FrameDecoder::TryCandidate() {
  // The last counter_ bytes of the ring, oldest first, with the flags dropped and escapes undone.
  const size_t count = counter_;
  size_t at = (head_ + kRingSize - count) % kRingSize;
  size_t n = 0;
  for (size_t k = 0; k < count; ++k, at = (at + 1) % kRingSize) {
    const uint8_t b = ring_[at];
    if (b == kFrameStart || b == kFrameEnd) continue;
    if (b == kFrameEscape) {
      if (k + 1 >= count) break;
      ++k;
      at = (at + 1) % kRingSize;
      frame_[n++] = uint8_t(ring_[at] ^ escapeMask_);
    } else {
      frame_[n++] = b;
    }
  }
  if (n <= 2) return false;
  const std::span<const uint8_t> content(frame_.data(), n - 2);
  bool match;
  if (checksum_ == FrameChecksum::kCrcAHighFirst) {
    const uint16_t crc = CrcA(content);
    match = frame_[n - 2] == uint8_t(crc >> 8) && frame_[n - 1] == uint8_t(crc);
  } else {
    const uint16_t crc = CrcB(content);
    match = frame_[n - 2] == uint8_t(crc) && frame_[n - 1] == uint8_t(crc >> 8);
  }
  if (!match) return false;
  counter_ = kNoFrameOpen;
  frameLength_ = n - 2;
  return true;
}

size_t FrameDecoder::Feed(std::span<const uint8_t> bytes,
                          const std::function<void(std::span<const uint8_t>)>& onFrame) {
  size_t frames = 0;
  for (uint8_t b : bytes) {
    if (Push(b)) {
      ++frames;
      if (onFrame) onFrame(Frame());
    }
  }
  return frames;
}

}  // namespace telvor
