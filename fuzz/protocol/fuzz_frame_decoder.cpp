// Any byte stream, cut into datagrams of any size, into the receive ring of the GPRS channel and of
// the two other framings. Every frame that comes out must fit the ring, and framing it again the
// way its sender would must give the same frame back.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "telvor/protocol/crc.h"
#include "telvor/protocol/frame.h"

using namespace telvor;

namespace {

std::vector<uint8_t> SenderBytes(int type, std::span<const uint8_t> frame) {
  if (type != kChannelGprs) return FrameForChannel(type, frame);
  std::vector<uint8_t> raw(frame.begin(), frame.end());
  const uint16_t crc = CrcA(frame);
  raw.push_back(uint8_t(crc >> 8));
  raw.push_back(uint8_t(crc));
  return FrameEncode(raw, FrameEscapeMask(kChannelGprs));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  std::array<uint8_t, 6> id{};
  (void)FramePeekIdentifier(input, id);
  const size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
  for (int type : {kChannelGprs, 0, 2}) {
    FrameDecoder decoder = FrameDecoder::ForChannel(type);
    for (size_t at = 0; at < size; at += chunk) {
      decoder.Feed(input.subspan(at, std::min(chunk, size - at)), [&](std::span<const uint8_t> f) {
        if (f.empty() || f.size() + 2 > FrameDecoder::kRingSize) std::abort();
        const std::vector<uint8_t> wire = SenderBytes(type, f);
        if (wire.size() > FrameDecoder::kRingSize) return;  // the ring could not hold it
        FrameDecoder again = FrameDecoder::ForChannel(type);
        std::vector<uint8_t> got;
        again.Feed(wire, [&](std::span<const uint8_t> g) { got.assign(g.begin(), g.end()); });
        if (!std::equal(f.begin(), f.end(), got.begin(), got.end())) std::abort();
      });
    }
  }
  return 0;
}
