// The GPRS device session (channel type 6): duty supervision with DG2 polls, time-tag and repeat
// checks, acknowledgement and delivery of data, time replies, state reports, commands carried to the
// device and settled towards the host, and the key-change handshake.
//
// The session does no I/O. It acts only on the arguments of its handlers and on its GprsEnv
// (gprs_env.h). The engine owns one session per registered identifier and UDP port and calls the
// handlers below from the session's strand, so that two handlers of one session never run at once.
// Timers and send requests made through the environment come back later as engine events, each of
// which maps to exactly one handler (the event kind is given with each handler).
#pragma once

#include <memory>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "telvor/protocol/gprs_env.h"
#include "telvor/protocol/packet.h"

namespace telvor {

// The GPRS timing of one device session, copied from the settings record when the session is
// opened. Times are milliseconds. Names are the registry value names under which the configurator
// stores them.
struct GprsSettings {
  std::uint32_t Open_GPRS = 30000;               // wait for the first packet after opening
  std::uint32_t ToSendDG2_GPRS = 30000;          // silence before the first DG2 poll
  std::uint32_t ToRetrySendDG2_GPRS = 10000;     // interval between DG2 polls
  std::uint32_t CountRetrySendDG2_GPRS = 10;     // polls before the device is declared faulty
  std::uint32_t ToWaitKvitCmd_GPRS = 10000;      // acknowledgement wait after a command packet
  std::uint32_t ToWaitSendDAfterIn = 300;        // minimum gap after the last traffic
  std::uint32_t CountRetryRecive_GPRS = 5;       // identical packets that mark the link broken
  std::uint32_t CountNoGoodTimeTag_GPRS = 5;     // wrong time tags that mark an imitation
  std::uint16_t key_change_attempts = 3;         // settings word at offset 56

  // Reads the values from the settings record's 32-bit slots (slot i is byte offset 4 * i):
  // offsets 88 to 116 and the 16-bit word of offset 56. Negative values are taken as 0.
  static GprsSettings from_slots(std::span<const std::int32_t, 38> slots);
};

// Session states.
enum class GprsState : std::uint8_t {
  Closed = 0,
  Opening = 1,
  Duty = 2,
  Polling = 3,
  Faulty = 4,
};

// What the engine does after a sending handler (events 11, 12, 13) returns.
enum class GprsSendResult : std::uint8_t {
  Done,     // nothing more to send: clear the send-running flag
  Again,    // keep the send-running flag and post event 11 again
  Waiting,  // the send-delay or acknowledgement timer is armed: keep the send-running flag; its
            // event (12 or 13) continues
};

// State codes reported to the host.
inline constexpr std::int32_t ma_DUTY = 96;
inline constexpr std::int32_t ma_DISREPAIR = 64;
inline constexpr std::int32_t ma_DISRP_IMIT_UT = 70;
inline constexpr std::int32_t kStateKeyChanged = 0x307;
inline constexpr std::int32_t kStateKeyChangeFailed = 0x308;

// Fault reasons sent with a state report.
inline constexpr std::int32_t kReasonBadChecksum = 1;
inline constexpr std::int32_t kReasonDecryption = 2;
inline constexpr std::int32_t kReasonOther = 241;

// Time tag the library sends before it has received anything, and the device tag always accepted.
inline constexpr std::uint32_t kTagBeforeFirstPacket = 0x87654321u;
inline constexpr std::uint32_t kTagAlwaysAccepted = 0x21436587u;

// Log line of a datagram from an identifier without a session (written by the engine's routing).
inline constexpr std::string_view kLogNewIdInGprs =
    "telvor.dll::ThreadProcess - New_ID_in_GPRS (новый/неизвестный ID)";

// Checks a datagram (without its outer checksum) whose identifier has no session on the port: opens
// it with the library's default key when its cipher flag is 1, and returns its packet type byte when
// the inner checksum is right and the inner identifier equals the outer one (the engine then calls
// ZEB_NEW_ID and logs kLogNewIdInGprs). Returns nothing for anything else. Never throws.
std::optional<std::uint8_t> gprs_unknown_id_packet_type(std::span<const std::uint8_t> raw);


// A packet buffer allocated on first use, so that an idle session carries none of its
// 2 KiB buffers (a port may hold 65,535 sessions).
class LazyPacketBuffer {
 public:
  LazyPacketBuffer() = default;
  LazyPacketBuffer(const LazyPacketBuffer& other)
      : buffer_(other.buffer_ ? std::make_unique<PacketBuffer>(*other.buffer_) : nullptr) {}
  LazyPacketBuffer& operator=(const LazyPacketBuffer& other) {
    if (this != &other) get() = other.get();
    return *this;
  }
  LazyPacketBuffer& operator=(const PacketBuffer& packet) {
    get() = packet;
    return *this;
  }
  PacketBuffer& get() const {
    if (!buffer_) buffer_ = std::make_unique<PacketBuffer>();
    return *buffer_;
  }
  PacketBuffer* operator->() const { return &get(); }
  operator PacketBuffer&() const { return get(); }

 private:
  mutable std::unique_ptr<PacketBuffer> buffer_;
};

class GprsSession {
 public:
  using Id = std::array<std::uint8_t, 6>;
  using Key = std::array<std::uint8_t, 32>;

  // |env| must outlive the session. |key| is the device's current key as fetched at creation;
  // |keyed| is false when the host had none (encrypted packets then fail to decrypt).
  GprsSession(GprsEnv& env, const Id& id, const Key& key, const GprsSettings& settings,
              bool keyed = true);

  GprsSession(const GprsSession&) = delete;
  GprsSession& operator=(const GprsSession&) = delete;

  // ---- handlers ---------------------------------------------------------------------------------

  // Session opened: called once when the registration attaches this session to its UDP port, right
  // after creation. Sets state 1 (opening). The engine then posts event 9.
  void opened();

  // Event 9 (session timer arm): arms the session timer according to the state (state 1: Open_GPRS;
  // 2: ToSendDG2_GPRS with the polls refilled; 3: ToRetrySendDG2_GPRS; 4: back to state 1 and
  // expire at once). Other states arm nothing.
  void arm_session_timer();

  // Event 10 (session timer expiry), the Timers_GPRS_1 step. Returns true when the timer is to be
  // armed again: the engine then posts event 9 (if the session is still active).
  bool Timers_GPRS_1();

  // Event 2 (datagram routed to this session), the IncomingPacketGPRS step. |raw| is the unframed
  // datagram without its 2-byte outer checksum, as the frame decoder delivers it; |peer| is where it
  // came from. Any content is safe: bad packets are counted and answered with a negative reply.
  void IncomingPacketGPRS(const GprsPeer& peer, std::span<const std::uint8_t> raw);

  // Event 11 (send request): builds the next packet (reply, DG2 poll, command or key-change item),
  // then either transmits it at once or arms the send-delay timer for the rest of the
  // ToWaitSendDAfterIn pause. Result: see GprsSendResult.
  GprsSendResult send_requested();

  // Event 12 (send-delay timer expiry): the transmit step for the packet built by send_requested().
  // Returns Waiting when the acknowledgement timer was armed, otherwise the result of the
  // packet-transmitted step.
  GprsSendResult transmit();

  // Event 13 (acknowledgement timer expiry), also run at once after a transmission that waits for no
  // acknowledgement: settles the sent commands (statuses 3 and 4, key-change attempts) and returns
  // Again while a reply, DG2 poll, command flag or deferred item is still waiting, else Done.
  GprsSendResult packet_transmitted();

  // The registration is being closed: state 0, all three timers cancelled. No handler does anything
  // afterwards.
  void close();

  // ---- requests from the exports (the engine has found this session: it is the bound session and
  //      has_reply_template() is true) -------------------------------------------------------------

  // Send_CMD_GPRS(code): logs, sets the command flag of codes 0x11..0x19 (second-group codes only in
  // service mode) and requests a send.
  void Send_CMD_GPRS(std::int32_t code);

  // ChangeKeyNow_GPRS(code): logs, draws the key-change number, starts the key change with the
  // attempts of the settings, sets the command flag of the code and requests a send.
  void ChangeKeyNow_GPRS(std::int32_t code);

  // ChangeKeyNow(6, id): reloads the current key from the host (ZEB_GET_CYPHER_SVC for a
  // registration created by the service open, else ZEB_GET_CYPHER; flag 0). Returns whether a key is
  // present afterwards; without one the key is left all zero.
  bool ChangeKeyNow();

  // The state path: ZEB_SETHARDST, or in service mode ZEB_SETHARDST_SVC and also ZEB_SETHARDST when
  // the registration was not created by the service open; arguments (6, id, 0, state, reason, 0, 0).
  // The engine uses it too (duty re-reported by a plain open, code 774 for a duplicate session).
  void report_state(std::int32_t state, std::int32_t reason);

  // ---- observers ----------------------------------------------------------------------------------

  const Id& id() const { return id_; }
  GprsState state() const { return state_; }
  const Key& key() const { return key_; }
  // True once the session has built a reply (the exports only address such sessions).
  bool has_reply_template() const { return have_reply_template_; }
  const GprsPeer& peer() const { return peer_; }
  std::uint16_t command_flags() const { return command_flags_; }
  bool key_change_pending() const { return key_change_pending_; }
  std::uint16_t key_change_attempts_left() const { return attempts_left_; }
  std::int32_t fault_reason() const { return fault_reason_; }
  const GprsSettings& settings() const { return settings_; }
  bool keyed() const { return keyed_; }

 private:
  struct SentCommand {
    std::uint8_t type = 0;  // packet type that carried it
    std::uint8_t sequence = 0;
    bool acknowledged = false;
    std::array<std::uint8_t, kCommandRecordSize> record{};  // zero for the key-change entry
  };

  void report_fault(std::int32_t state, std::string_view log_text);
  void clear_tag_state();
  void push_tag(std::uint32_t tag);
  void item_state_effect();
  void handle_ack(std::uint8_t kind, std::uint8_t sequence, bool under_new_key);
  bool fetch_new_key(Key& out);
  bool serve_commands(PacketBuffer& packet);
  bool fits_size_limit(const PacketBuffer& packet) const;
  std::uint16_t servable_flags() const;
  bool work_waiting() const;
  void key_change_failed();

  GprsEnv& env_;
  Id id_;
  Key key_;
  bool keyed_ = true;
  GprsSettings settings_;

  GprsState state_ = GprsState::Closed;
  bool first_packet_ = false;
  bool answer_ = false;
  std::uint32_t polls_left_ = 0;
  bool first_poll_of_silence_ = false;

  std::array<std::uint32_t, 5> tag_history_{};
  std::uint8_t tag_count_ = 0;
  bool tag_chain_ = false;
  std::uint32_t last_device_tag_ = 0;

  std::uint8_t bad_packets_ = 0;
  std::uint32_t bad_tags_ = 0;
  std::uint32_t repeats_ = 0;
  LazyPacketBuffer last_received_;
  bool have_last_received_ = false;

  // Random bytes of the last received envelope and of the one before (count, then the bytes).
  GostRandomRecord random_last_{};
  GostRandomRecord random_before_{};

  LazyPacketBuffer reply_template_;
  bool have_reply_template_ = false;
  GprsPeer peer_;
  bool reply_pending_ = false;
  bool dg2_due_ = false;
  bool negative_reply_ = false;
  std::int32_t fault_reason_ = kReasonOther;
  std::uint64_t last_traffic_ms_ = 0;
  bool ack_timer_running_ = false;

  // The packet between send_requested() and transmit().
  LazyPacketBuffer outgoing_;
  bool outgoing_ready_ = false;
  bool outgoing_fresh_random_ = false;
  bool outgoing_new_key_poll_ = false;
  bool packet_full_ = false;

  std::uint16_t command_flags_ = 0;
  std::vector<SentCommand> sent_;

  bool key_change_pending_ = false;
  std::uint8_t key_change_number_ = 0;
  std::uint16_t attempts_left_ = 0;
  bool awaiting_ack_ = false;
  bool new_key_poll_due_ = false;
  bool new_key_poll_ = false;
  Key new_key_{};
  bool new_key_loaded_ = false;
};

}  // namespace telvor
