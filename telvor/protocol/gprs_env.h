// The world as a GPRS device session sees it.
//
// A GprsSession (gprs_session.h) does no I/O of its own: it reads the time, arms its three one-shot
// timers, asks for a send, hands framed datagrams to the socket, reads and sets a few fields of its
// registration and calls the host, all through this interface. The I/O engine implements it once per
// device session on top of Asio; the unit tests implement it with a fake millisecond clock and record
// every call.
//
// Every method is called from inside one of the session's handlers, that is on the session's strand;
// an implementation never calls back into the session from inside a method (timers and send requests
// arrive later as events).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <ctime>

namespace telvor {

// The three one-shot timers of a GPRS session. The value is the engine event kind that the expiry
// posts for the session.
enum class GprsTimer : std::uint8_t {
  Session = 10,    // session timer: on expiry the engine calls GprsSession::Timers_GPRS_1()
  SendDelay = 12,  // send-delay timer: on expiry the engine calls GprsSession::transmit()
  Ack = 13,        // acknowledgement timer: on expiry the engine calls GprsSession::packet_transmitted()
};

// Where a device last sent from: IPv4 address as received (network order, ip[0] is the first
// octet) and UDP port in host order.
struct GprsPeer {
  std::array<std::uint8_t, 4> ip{};
  std::uint16_t port = 0;

  friend bool operator==(const GprsPeer&, const GprsPeer&) = default;
};

// Status values passed to the host's command-result callback.
inline constexpr std::int32_t kCmdAcknowledged = 1;     // kind 4 item for the command
inline constexpr std::int32_t kCmdRefused = 2;          // kind 5 item for the command
inline constexpr std::int32_t kCmdNoAcknowledgement = 3;  // nothing acknowledged in the wait
inline constexpr std::int32_t kCmdOthersAcknowledged = 4;  // other items of the packet acknowledged

// Size of one command record exchanged with the host (2 number, 1 sequence, 2 length, 1000 bytes).
inline constexpr std::size_t kCommandRecordSize = 1005;

class GprsEnv {
 public:
  virtual ~GprsEnv() = default;

  // ---- time and timers ------------------------------------------------------------------------

  // Monotonic milliseconds (the high-resolution clock of the library).
  virtual std::uint64_t now_ms() = 0;

  // Arms the one-shot timer of |purpose| to expire |due_ms| milliseconds from now. Arming replaces a
  // previous timer of the same purpose, armed or not: only the newest one ever posts its event.
  // A due time of 0 means "expire at once" (the event is posted, never run inline).
  virtual void arm_timer(GprsTimer purpose, std::uint32_t due_ms) = 0;

  // Cancels the timer of |purpose|; its event will not be posted. No-op when none is armed.
  virtual void cancel_timer(GprsTimer purpose) = 0;

  // ---- sending --------------------------------------------------------------------------------

  // Asks for the build-and-send step (engine event 11) unless a send is already requested or running
  // for this session (the send-running flag): when the flag is clear the engine sets it and posts the
  // event, otherwise the call does nothing (the running send picks the work up when it settles).
  virtual void request_send() = 0;

  // Sends one framed datagram (0x7E .. 0x7F) to |peer| on the session's UDP port. Fire and forget:
  // a send error is the engine's to log; the session goes on as if the datagram had left.
  virtual void send_datagram(const GprsPeer& peer, std::span<const std::uint8_t> framed) = 0;

  // ---- the registration of the session's identifier --------------------------------------------

  // Returns the registration's "session set up" flag and clears it.
  virtual bool take_session_set_up() = 0;
  // Sets the registration's "session set up" flag.
  virtual void set_session_set_up() = 0;
  // True when the registration has a bound session (this one or another one).
  virtual bool has_bound_session() = 0;
  // True when this session is the registration's bound session.
  virtual bool is_bound_session() = 0;
  // Makes this session the registration's bound session.
  virtual void bind_session() = 0;
  // The registration's service mode flag (set by the service open, cleared by a plain open).
  virtual bool service_mode() = 0;
  // The registration's "created by the service open" flag.
  virtual bool created_by_service_open() = 0;

  // ---- host callbacks -------------------------------------------------------------------------
  // Each one is skipped (returning 0) when the host left the slot empty. Channel type is always 6;
  // identifiers are the session's 6 bytes.

  // ZEB_SETHARDST (svc false) or ZEB_SETHARDST_SVC (svc true) with (6, id, 0, state, reason, 0, 0).
  // The session applies the service-mode rules itself and calls this once per callback to make.
  virtual void host_set_hard_state(bool svc, const std::uint8_t* id, std::int32_t state,
                                   std::int32_t reason) = 0;
  // ZEB_READ_GPRS: nonzero refuses the data.
  virtual std::int32_t host_read_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                      std::span<const std::uint8_t> data) = 0;
  // ZEB_TRACE: |plain| is the plain packet from offset 0 without its inner checksum;
  // direction 0 = received, 1 = sent.
  virtual void host_trace(std::int32_t packet_type, const std::uint8_t* id, const GprsPeer& peer,
                          std::span<const std::uint8_t> plain, std::int32_t direction) = 0;
  // ZEB_GET_CMD_GPRS with a kCommandRecordSize-byte record; mark 0 asks for a command (nonzero =
  // the host filled the record), mark 1 tells the host the command is in a packet.
  virtual std::int32_t host_get_cmd_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                         std::uint8_t* record, std::int32_t mark) = 0;
  // ZEB_CMD_RESULT with one of the kCmd* statuses.
  virtual void host_cmd_result(std::int32_t packet_type, const std::uint8_t* id,
                               const std::uint8_t* record, std::int32_t status) = 0;
  // ZEB_GET_CYPHER (svc false) or ZEB_GET_CYPHER_SVC (svc true) with (6, id, key, len, flag).
  virtual std::int32_t host_get_cypher(bool svc, const std::uint8_t* id, std::uint8_t* key_or_null,
                                       std::int32_t* len, std::int32_t flag) = 0;

  // ZEB_LOG: |utf8_text| is the line as the library's own UTF-8 text; the implementation converts it
  // to Windows-1251 before it crosses the C interface.
  virtual void log(std::string_view utf8_text) = 0;

  // ---- randomness -----------------------------------------------------------------------------

  // One random byte (0..255) for time tags and key-change numbers. The engine uses the library's
  // random source; tests make it predictable.
  virtual std::uint8_t random_byte() = 0;

  // The local calendar time for time replies. The default reads the system clock; tests override it.
  virtual std::tm local_time() {
    std::time_t now = std::time(nullptr);
    std::tm out{};
    localtime_r(&now, &out);
    return out;
  }
};

}  // namespace telvor
