// One simulated KL40 device: the device half of the GPRS protocol, with no sockets and no clock of
// its own. The runner feeds it received datagrams and the time, and sends what it returns.
//
// What it does:
//  - sends a duty packet (a DG2 item) every duty period, now and then with a time request, and data items
//    when asked to; data items are sent again until the library acknowledges them;
//  - echoes in every packet the time tag of the library's last packet;
//  - answers DG2 polls, sends again after a negative reply;
//  - takes commands: "gc" is answered with the 42-byte parameter image in a type 1 packet,
//    configuration lines change the pending parameters, "wr" makes them current (a new identifier
//    or key takes effect once the acknowledgement has gone out);
//  - does the device half of the key change: it acknowledges the key-change item under its new key
//    and answers under it from then on, while still reading packets under the old key.
//  - fault injection: dropping, duplicating and corrupting datagrams, bad tags, replayed
//    datagrams, silence, refused or ignored commands, an ignored key change.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "configurator/config/command.h"
#include "telvor/crypto/gost.h"

namespace kl40sim {

using DeviceId = std::array<std::uint8_t, 6>;
using Key = telvor::GostFullKey;

struct Faults {
  double drop = 0;       // fraction of outgoing datagrams not sent
  double duplicate = 0;  // fraction sent twice
  double corrupt = 0;    // fraction with one byte of the sealed body flipped (checksums still framed)
  bool bad_tags = false;         // random time tags instead of the library's
  bool replay = false;           // after the first, every duty datagram repeats the last bytes sent
  bool refuse_commands = false;  // commands get a negative acknowledgement
  bool ignore_commands = false;  // commands get no acknowledgement at all
  bool ignore_key_change = false;  // key-change items get no acknowledgement
  double silent_after_s = 0;     // > 0: stop sending after this many seconds
  double silent_for_s = 0;       // > 0: talk again after this long a silence; 0 = for good
};

struct DeviceConfig {
  DeviceId id{};
  Key key{};
  kl40::T_DEVICE_CommandMX3 params;  // the current parameters; the identifier and key above win
  std::uint8_t type = 2;             // packet type of status and data packets
  std::uint32_t duty_ms = 0;         // 0: the duty period 1 of the parameters, in seconds
  std::uint32_t answer_wait_ms = 0;  // 0: the answer wait of the parameters, in seconds
  std::uint32_t time_request_every = 10;  // every Nth status packet asks the time; 0 = never
  double data_every_s = 0;                // > 0: a data item this often
  std::optional<Key> new_key;        // key taken at a key change; default: the pending key
  std::uint32_t start_offset_ms = 0;  // first packet this long after start
  Faults faults;
};

// Parses 12 hexadecimal digits into an identifier; false on anything else.
bool parse_id(std::string_view text, DeviceId& out);
// Parses 64 hexadecimal digits into a key; false on anything else.
bool parse_key(std::string_view text, Key& out);
std::string id_text(const DeviceId& id);
// The identifier |n| steps after |id| (48-bit, big-endian, wrapping).
DeviceId id_plus(const DeviceId& id, std::uint64_t n);
// The key of four key parts of 16 hexadecimal digits (part 1 first); false when one is malformed.
bool key_of_parts(const kl40::T_DEVICE_CommandMX3& set, Key& out);
// The 42-byte current-parameters image of a parameter set.
std::array<std::uint8_t, 42> parameter_image(const kl40::T_DEVICE_CommandMX3& set);

struct DeviceStats {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint64_t undecodable = 0;
  std::uint64_t commands = 0;
  std::uint64_t acks_received = 0;
};

class SimDevice {
 public:
  using EventSink = std::function<void(const DeviceId&, std::string_view)>;

  SimDevice(DeviceConfig config, std::uint64_t start_ms, std::uint32_t seed, EventSink sink);

  // A datagram from the library (framed). Datagrams to send back are appended to |out|.
  void on_datagram(std::uint64_t now_ms, std::span<const std::uint8_t> framed,
                   std::vector<std::vector<std::uint8_t>>& out);
  // Time passes: duty packets, data, retries. Appends datagrams to send to |out|.
  void tick(std::uint64_t now_ms, std::vector<std::vector<std::uint8_t>>& out);
  // When tick() next has something to do.
  std::uint64_t next_due() const;

  const DeviceId& id() const { return id_; }
  const Key& key() const { return key_; }
  const kl40::T_DEVICE_CommandMX3& current() const { return current_; }
  const kl40::T_DEVICE_CommandMX3& pending() const { return pending_; }
  const DeviceStats& stats() const { return stats_; }
  bool silent(std::uint64_t now_ms) const;

 private:
  struct Item {
    std::uint8_t kind;
    std::vector<std::uint8_t> data;
  };
  struct PendingData {
    std::uint8_t type;
    Item item;
    std::uint32_t tries;
    std::uint64_t next_retry;
  };

  void event(const std::string& text) const;
  std::uint8_t next_seq();
  std::uint32_t tag_for_packet();
  // Builds, seals and frames one packet under the current key and applies the faults.
  void send_packet(std::uint64_t now, std::uint8_t type, const std::vector<Item>& items,
                   std::vector<std::vector<std::uint8_t>>& out, bool remember = true);
  void emit(std::vector<std::uint8_t> datagram, std::vector<std::vector<std::uint8_t>>& out);
  void queue_data(std::uint64_t now, std::uint8_t type, std::vector<std::uint8_t> payload,
                  std::vector<std::vector<std::uint8_t>>& out);
  void run_command(std::uint64_t now, std::string_view text,
                   std::vector<std::vector<std::uint8_t>>& out, bool& apply_after_ack);
  void apply_written_identity();

  DeviceConfig config_;
  EventSink sink_;
  std::mt19937 rng_;
  std::uint64_t start_ms_;

  DeviceId id_;
  Key key_;
  std::optional<Key> old_key_;  // still read during a key change
  kl40::T_DEVICE_CommandMX3 current_;
  kl40::T_DEVICE_CommandMX3 pending_;

  std::uint32_t library_tag_ = 0;
  bool have_library_tag_ = false;
  std::uint8_t seq_ = 0;
  std::uint64_t next_duty_ = 0;
  std::uint64_t next_data_ = 0;
  std::uint32_t duty_count_ = 0;
  std::uint64_t data_count_ = 0;
  std::map<std::uint8_t, PendingData> pending_data_;

  std::uint8_t last_type_ = 0;
  std::vector<Item> last_items_;
  std::uint32_t resends_ = 0;
  std::vector<std::uint8_t> last_datagram_;
  DeviceStats stats_;
};

}  // namespace kl40sim
