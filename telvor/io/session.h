// A device session: one channel type, identifier, unit number and port. It lives in its port's
// table and is owned by shared pointers: the table, the registries and every pending handler, so
// Close unlinks it and its memory goes when the last handler lets go. Every handler of one session
// runs on the session's strand.
#pragma once

#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "telvor/io/events.h"
#include "telvor/io/ids.h"
#include "telvor/protocol/frame.h"
#include "telvor/station/block_table.h"
#include "telvor/station/outgoing.h"
#include "telvor/station/session_words.h"

namespace telvor {

class Runtime;
class GprsBinding;
struct PortEntry;
struct Registration;

// Transport of a session.
enum class Transport : std::uint8_t { Serial = 0, Udp = 1 };

class DeviceSession : public std::enable_shared_from_this<DeviceSession> {
 public:
  DeviceSession(Runtime& rt, std::int32_t type, const DeviceId& id, std::uint16_t unit,
                PortEntry* port, std::shared_ptr<Registration> reg, bool service_open);
  ~DeviceSession();

  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // ---- identity -------------------------------------------------------------------------------
  const std::int32_t type;
  const DeviceId id;
  const std::uint16_t unit;
  const Transport transport = Transport::Udp;
  PortEntry* const port;  // owned by the registry; outlives every session
  const std::shared_ptr<Registration> registration;
  const bool service_open;  // created by Open_svc (the key came from ZEB_GET_CYPHER_SVC)

  Runtime& runtime() { return rt_; }
  asio::strand<asio::io_context::executor_type>& strand() { return strand_; }

  // ---- flags (any thread) ----------------------------------------------------------------------
  std::atomic<bool> active{false};
  std::atomic<bool> receiving{false};
  std::atomic<bool> send_running{false};
  std::atomic<bool> service_session{false};
  // Receive hold: a send request waits while it is set, re-posted every 1 ms, at most
  // kReceiveHoldRounds times.
  std::atomic<bool> receive_hold{false};
  std::atomic<bool> receive_finished{false};
  std::uint32_t hold_rounds = 0;  // strand only
  // Requests of GetMac, Set_tcp_ip_addr and Set_range_ip_addr, carried out by the station protocol.
  std::atomic<bool> req_get_mac{false};
  std::atomic<bool> req_get_mac_companion{false};
  std::atomic<bool> req_set_addresses{false};
  std::atomic<bool> req_set_ranges{false};
  std::atomic<bool> ranges_acknowledged{false};
  // Mirror of the GPRS session's "has a reply template" (the exports read it).
  std::atomic<bool> has_reply_template{false};
  // Slot in the port table (under the registry lock).
  std::uint32_t slot = 0;

  static constexpr std::uint32_t kReceiveHoldRounds = 20000;

  // ---- data guarded by data_mu (host thread and handlers) -------------------------------------
  std::mutex data_mu;
  std::array<std::uint8_t, 40> key{};
  bool keyed = false;
  BlockTable blocks;
  std::deque<OutgoingMessage> outgoing;  // Write pushes at the front
  SessionWords words;

  // ---- strand only ----------------------------------------------------------------------------
  // The session's reassembly ring, made when its first datagram arrives (an idle session has none).
  FrameDecoder& ring() {
    if (!ring_) ring_ = std::make_unique<FrameDecoder>();
    return *ring_;
  }

  // Key size of the session's channel type (40 for types 4 and 5, else 32).
  std::size_t key_size() const { return (type == 4 || type == 5) ? 40 : 32; }

  // GPRS side of a channel type 6 session (null for the other types).
  GprsBinding* gprs() { return gprs_.get(); }
  void attach_gprs(std::unique_ptr<GprsBinding> g);

  // ---- events ---------------------------------------------------------------------------------

  // Posts |kind| to the session's strand.
  void post_event(EventKind kind);
  // Runs the handler of |kind| (on the strand).
  void dispatch(EventKind kind);
  // Send request: sets the send-running flag and posts SendRequest unless it was set.
  void request_send();

  // Arms the timer of |purpose| for |due_ms| (replacing the previous one); on expiry the event of
  // the purpose is run on the strand when the session is still active. Strand only.
  void arm_timer(TimerPurpose purpose, std::uint64_t due_ms);
  // Cancels the timer of |purpose| (strand only); its event will not come.
  void cancel_timer(TimerPurpose purpose);
  // Cancels every timer and drops them (strand only).
  void stop_timers();

  // Hands a frame without its check bytes to the GPRS input (strand only).
  void gprs_input(const AddressRecord& from, std::span<const std::uint8_t> frame);
  // Hands a raw datagram to the station input (strand only).
  void station_input(const AddressRecord& from, std::span<const std::uint8_t> datagram);

  // Sends |bytes| to |to| through the port's socket. 0 started, -1 not active or no socket.
  int send(const AddressRecord& to, std::span<const std::uint8_t> bytes, bool immediate = false);

  // The closing step that must run on the strand: timers stopped, GPRS session closed.
  void stop_on_strand();

 private:
  void send_processing();
  void after_send_step(int result_kind);

  Runtime& rt_;
  asio::strand<asio::io_context::executor_type> strand_;
  std::array<std::unique_ptr<asio::steady_timer>, kTimerPurposes> timers_;
  std::array<std::uint64_t, kTimerPurposes> generations_{};
  std::unique_ptr<asio::steady_timer> hold_timer_;
  std::unique_ptr<GprsBinding> gprs_;
  std::unique_ptr<FrameDecoder> ring_;
};

}  // namespace telvor
