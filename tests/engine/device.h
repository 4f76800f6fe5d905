// A simulated device for the library tests: builds framed GPRS packets and sends them over UDP on
// 127.0.0.1, and receives what the library sends back.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "telvor/crypto/default_key.h"
#include "telvor/protocol/packet.h"
#include "tests/support/udp_port.h"

namespace telvor::test {

// A framed device packet of |type| with one item {kind, data}.
inline std::vector<std::uint8_t> device_frame(const std::array<std::uint8_t, 6>& id, std::uint8_t type,
                                              std::uint8_t kind, std::vector<std::uint8_t> data,
                                              std::uint32_t tag, const GostFullKey* key) {
  PacketBuffer p;
  p.StartNew(std::span<const std::uint8_t, 6>(id), key ? kCipherOn : 0, type);
  p.AppendItem(kind, data);
  p.SetTimeTag(tag);
  GostRandomRecord random{};
  const GostFullKey none{};
  return PacketEncodeForWire(p, key ? *key : none, &random, true);
}

using kl40::testing::free_udp_port;

class Device {
 public:
  Device() : socket_(io_, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0)) {}

  void send(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    socket_.send_to(asio::buffer(bytes),
                    asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), port));
  }

  // Waits at most |limit| for one datagram from the library.
  std::optional<std::vector<std::uint8_t>> receive(std::chrono::milliseconds limit) {
    std::vector<std::uint8_t> buf(65536);
    std::optional<std::vector<std::uint8_t>> out;
    asio::ip::udp::endpoint from;
    socket_.async_receive_from(asio::buffer(buf), from, [&](const std::error_code& ec, std::size_t n) {
      if (!ec) out = std::vector<std::uint8_t>(buf.begin(), buf.begin() + static_cast<long>(n));
    });
    io_.restart();
    io_.run_for(limit);
    if (!out) {
      socket_.cancel();
      io_.restart();
      io_.run();
    }
    return out;
  }

 private:
  asio::io_context io_;
  asio::ip::udp::socket socket_;
};

}  // namespace telvor::test
