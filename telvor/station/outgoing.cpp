#include "telvor/station/outgoing.h"

#include <algorithm>

namespace telvor {

std::optional<OutgoingMessage> make_outgoing_message(std::span<const std::uint8_t> data) {
  if (data.size() > kOutgoingMessageSize) return std::nullopt;
  OutgoingMessage msg;
  if (data.empty()) {
    msg.length = 1;
    return msg;
  }
  std::copy(data.begin(), data.end(), msg.bytes.begin());
  msg.length = data.size();
  const std::uint8_t header = data[0];
  msg.n = header >> 4;
  msg.m = header & 0x0F;
  const std::size_t n = msg.n, m = msg.m;
  if (n > 0 && data.size() > n) {
    std::uint64_t v = 0;
    for (std::size_t i = n; i >= 1; --i) v = (v << 8) | data[i];
    msg.sequence = v;
  }
  if (data.size() > n + m + 1) msg.address = data[n + m + 1];
  if (data.size() > n + m + 2) msg.command = data[n + m + 2];
  std::size_t start = n + m + 3;
  if (msg.address && msg.command && (*msg.address >> 4) == 3 && *msg.command == 0x10) start += 1;
  msg.payload_offset = start;
  msg.payload_length = data.size() > start ? data.size() - start : 0;
  msg.header_complete = data.size() >= start;
  return msg;
}

}  // namespace telvor
