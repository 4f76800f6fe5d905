// Port records: one UDP port number, the channel types declared on it, its shared socket and its
// table of device sessions with the identifier index that routing uses.
#pragma once

#include <asio/ip/udp.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "telvor/io/ids.h"
#include "telvor/protocol/frame.h"

namespace telvor {

class DeviceSession;
class Runtime;
struct PortEntry;

// Largest number of sessions one port table holds.
inline constexpr std::size_t kPortTableSize = 65535;
// Bytes one receive takes from a datagram; the rest of a longer datagram is cut off.
inline constexpr std::size_t kReceiveBufferSize = 1500;

// The socket of one port record, shared by every session of the port. All socket calls go
// through the mutex, so a close on the host thread never overlaps a re-arm or a send on a worker.
class PortSocket : public std::enable_shared_from_this<PortSocket> {
 public:
  PortSocket(Runtime& rt, PortEntry& port, asio::ip::udp::socket socket);

  // Starts the receive chain (one outstanding receive on the socket).
  void start_receive();
  // Closes the socket; the outstanding receive ends with operation_aborted.
  void close();
  bool is_open();
  // Local port read back after set-up.
  std::uint16_t local_port() const { return local_port_; }
  // Starts an asynchronous send. Returns 0 when started, -1 when the socket is closed.
  int send_to(const AddressRecord& to, std::shared_ptr<std::vector<std::uint8_t>> bytes);
  // Sends at once; 0 sent, -2 would block, -1 any other error.
  int send_now(const AddressRecord& to, std::span<const std::uint8_t> bytes);

 private:
  void on_receive(const std::error_code& ec, std::size_t bytes);
  void arm_locked();

  Runtime& rt_;
  PortEntry& port_;
  std::mutex mu_;
  asio::ip::udp::socket socket_;
  asio::ip::udp::endpoint sender_;
  std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
  std::uint16_t local_port_ = 0;
  bool closed_ = false;
};

struct PortEntry {
  explicit PortEntry(std::uint16_t n) : number(n) {}

  const std::uint16_t number;
  // One bit per channel type that ListPort declared for the port.
  std::atomic<std::uint32_t> mask{0};

  // ---- under the registry lock --------------------------------------------------------------
  std::shared_ptr<PortSocket> socket;
  bool socket_created = false;
  std::weak_ptr<DeviceSession> owner;  // the session whose set-up created the socket
  std::vector<std::shared_ptr<DeviceSession>> table;  // grows to kPortTableSize; null = free
  std::size_t high_water = 0;  // slots in use are below this
  std::size_t first_free = 0;  // no free slot below this
  std::size_t live = 0;        // non-null slots
  // Identifier -> slots holding a session with that identifier, ascending.
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> index;
  std::atomic<std::int32_t> open_count{0};

  // ---- used only by the port's receive chain (one receive at a time) ------------------------
  // Ring for datagrams whose identifier has no session on the port.
  FrameDecoder fallback_ring;

  bool has_type(int type) const {
    return type >= 0 && type < 32 && (mask.load() & (1u << type)) != 0;
  }

  // Slot of the first session with |id|, or -1.
  std::int64_t first_slot(const DeviceId& id) const;
  // Puts |s| into the first free slot; false when the table is full.
  bool insert(const std::shared_ptr<DeviceSession>& s, std::uint32_t& slot_out);
  // Clears |slot|.
  void remove(std::uint32_t slot);
  // Sessions with |id| in slot order.
  std::vector<std::shared_ptr<DeviceSession>> sessions_with(const DeviceId& id) const;
  std::size_t count_with(const DeviceId& id) const;
};

}  // namespace telvor
