// An outgoing message queued by Write for a channel type 3 session, with the header fields the
// station protocol reads from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace telvor {

inline constexpr std::size_t kOutgoingMessageSize = 1500;

struct OutgoingMessage {
  std::array<std::uint8_t, kOutgoingMessageSize> bytes{};
  std::size_t length = 0;
  // Header byte fields: high nibble n (sequence value size), low nibble m.
  std::uint8_t n = 0, m = 0;
  std::optional<std::uint64_t> sequence;  // bytes 1..n, little-endian; none when n is 0
  std::optional<std::uint8_t> address;    // byte n + m + 1
  std::optional<std::uint8_t> command;    // byte n + m + 2
  std::size_t payload_offset = 0;         // n + m + 3, or n + m + 4 for address 0x3? command 0x10
  std::size_t payload_length = 0;         // length less the payload offset (0 when shorter)
  bool header_complete = false;           // the message holds every header byte it announces
};

// Builds the message of |data| (at most kOutgoingMessageSize bytes; an empty |data| gives the empty
// message of length 1). Returns nothing for a longer |data|.
std::optional<OutgoingMessage> make_outgoing_message(std::span<const std::uint8_t> data);

}  // namespace telvor
