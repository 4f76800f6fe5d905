// Device identifiers and the address record shared by routing and the session layer.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace telvor {

using DeviceId = std::array<std::uint8_t, 6>;

inline DeviceId device_id_from(const std::uint8_t* bytes) {
  DeviceId id{};
  std::memcpy(id.data(), bytes, id.size());
  return id;
}

// The identifier as a 48-bit number (hash key; byte 0 lowest).
inline std::uint64_t id_key(const DeviceId& id) {
  std::uint64_t k = 0;
  for (int i = 5; i >= 0; --i) k = (k << 8) | id[i];
  return k;
}

inline bool id_all_zero(const DeviceId& id) {
  for (auto b : id)
    if (b) return false;
  return true;
}

// Sender of a datagram: IPv4 address as received (ip[0] is the first octet), the 16-bit word of
// the socket address padding that follows it (0 in practice) and the UDP port in host order.
struct AddressRecord {
  std::array<std::uint8_t, 4> ip{};
  std::uint16_t pad = 0;
  std::uint16_t port = 0;

  // A device of channel types 0 to 5 is identified by its IPv4 address followed by the padding.
  DeviceId as_identifier() const {
    return {ip[0], ip[1], ip[2], ip[3], static_cast<std::uint8_t>(pad & 0xFF),
            static_cast<std::uint8_t>(pad >> 8)};
  }
};

}  // namespace telvor
