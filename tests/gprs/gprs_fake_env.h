// A fake environment for GPRS sessions: a millisecond clock that only moves when told, a small
// event loop that plays the engine (session timer arm and expiry, send requests with the
// send-running flag, send-delay and acknowledgement timers), a host that records every callback and
// keeps a command queue, and a device side that builds and reads packets with the protocol core.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "telvor/protocol/frame.h"
#include "telvor/protocol/gprs_env.h"
#include "telvor/protocol/gprs_session.h"
#include "telvor/protocol/packet.h"

namespace telvor::testing {

struct StateReport {
  bool svc;
  std::int32_t state;
  std::int32_t reason;
  std::uint64_t at;
};

struct Delivery {
  std::int32_t type;
  std::vector<std::uint8_t> data;
};

struct Trace {
  std::int32_t type;
  std::vector<std::uint8_t> plain;
  std::int32_t direction;
};

struct CmdResult {
  std::int32_t type;
  std::uint16_t number;
  std::uint8_t sequence;
  std::int32_t status;
};

struct Sent {
  std::uint64_t at;
  GprsPeer peer;
  std::vector<std::uint8_t> framed;
};

// A command the fake host hands out through ZEB_GET_CMD_GPRS.
struct HostCommand {
  std::uint16_t number = 0;
  std::uint8_t sequence = 0;
  std::vector<std::uint8_t> bytes;
  bool taken = false;
  std::int32_t type = 0;  // packet type it is handed out for; 0 = any
};

class FakeGprsEnv : public GprsEnv {
 public:
  // ---- environment --------------------------------------------------------------------------
  std::uint64_t now_ms() override { return now; }
  void arm_timer(GprsTimer purpose, std::uint32_t due_ms) override {
    timer(purpose) = Timer{now + due_ms, ++order};
  }
  void cancel_timer(GprsTimer purpose) override { timer(purpose).reset(); }
  void request_send() override {
    ++send_requests;
    if (send_running) return;
    send_running = true;
    post(11);
  }
  void send_datagram(const GprsPeer& peer, std::span<const std::uint8_t> framed) override {
    sent.push_back(Sent{now, peer, {framed.begin(), framed.end()}});
  }
  bool take_session_set_up() override {
    const bool was = session_set_up;
    session_set_up = false;
    return was;
  }
  void set_session_set_up() override { session_set_up = true; }
  bool has_bound_session() override { return bound || other_bound; }
  bool is_bound_session() override { return bound; }
  void bind_session() override { bound = true; }
  bool service_mode() override { return svc_mode; }
  bool created_by_service_open() override { return created_by_svc; }

  void host_set_hard_state(bool svc, const std::uint8_t*, std::int32_t state,
                           std::int32_t reason) override {
    states.push_back(StateReport{svc, state, reason, now});
  }
  std::int32_t host_read_gprs(std::int32_t type, const std::uint8_t*,
                              std::span<const std::uint8_t> data) override {
    deliveries.push_back(Delivery{type, {data.begin(), data.end()}});
    return refuse_data;
  }
  void host_trace(std::int32_t type, const std::uint8_t*, const GprsPeer&,
                  std::span<const std::uint8_t> plain, std::int32_t direction) override {
    traces.push_back(Trace{type, {plain.begin(), plain.end()}, direction});
  }
  std::int32_t host_get_cmd_gprs(std::int32_t type, const std::uint8_t*, std::uint8_t* record,
                                 std::int32_t mark) override {
    get_cmd_calls.push_back({type, mark});
    if (mark == 0) {
      for (auto& c : commands) {
        if (c.taken || (c.type != 0 && c.type != type)) continue;
        std::memset(record, 0, kCommandRecordSize);
        record[0] = static_cast<std::uint8_t>(c.number);
        record[1] = static_cast<std::uint8_t>(c.number >> 8);
        record[2] = c.sequence;
        record[3] = static_cast<std::uint8_t>(c.bytes.size());
        record[4] = static_cast<std::uint8_t>(c.bytes.size() >> 8);
        std::memcpy(record + 5, c.bytes.data(), c.bytes.size());
        return 1;
      }
      return 0;
    }
    const std::uint16_t number = static_cast<std::uint16_t>(record[0] | (record[1] << 8));
    if (sticky_commands) return 1;
    for (auto& c : commands) {
      if (c.number == number && !c.taken) {
        c.taken = true;
        return 1;
      }
    }
    return 0;
  }
  void host_cmd_result(std::int32_t type, const std::uint8_t*, const std::uint8_t* record,
                       std::int32_t status) override {
    results.push_back(CmdResult{type, static_cast<std::uint16_t>(record[0] | (record[1] << 8)),
                                record[2], status});
  }
  std::int32_t host_get_cypher(bool svc, const std::uint8_t*, std::uint8_t* key,
                               std::int32_t* len, std::int32_t flag) override {
    cypher_calls.push_back({svc, flag});
    if (!host_key) return 0;
    if (key != nullptr && len != nullptr && *len >= 32) std::memcpy(key, host_key->data(), 32);
    return 1;
  }
  void log(std::string_view text) override { logs.emplace_back(text); }
  std::uint8_t random_byte() override { return static_cast<std::uint8_t>(rng = rng * 1103515245u + 12345u) ; }
  std::tm local_time() override { return clock_tm; }

  // ---- the engine's event loop --------------------------------------------------------------

  void attach(GprsSession* s) { session = s; }

  // Runs every event due up to and including |until|, moving the clock to each event's time and
  // finally to |until|.
  void run_until(std::uint64_t until) {
    for (;;) {
      int which = -1;
      std::uint64_t best_at = 0, best_order = 0;
      auto consider = [&](int w, std::uint64_t at, std::uint64_t ord) {
        if (at > until) return;
        if (which < 0 || at < best_at || (at == best_at && ord < best_order)) {
          which = w;
          best_at = at;
          best_order = ord;
        }
      };
      if (!posted.empty()) consider(0, posted.front().at, posted.front().order);
      if (session_timer) consider(1, session_timer->at, session_timer->order);
      if (send_delay_timer) consider(2, send_delay_timer->at, send_delay_timer->order);
      if (ack_timer) consider(3, ack_timer->at, ack_timer->order);
      if (which < 0) break;
      if (best_at > now) now = best_at;
      switch (which) {
        case 0: {
          const int kind = posted.front().kind;
          posted.pop_front();
          dispatch(kind);
          break;
        }
        case 1:
          session_timer.reset();
          if (session->Timers_GPRS_1()) post(9);
          break;
        case 2:
          send_delay_timer.reset();
          after_send(session->transmit());
          break;
        case 3:
          ack_timer.reset();
          after_send(session->packet_transmitted());
          break;
      }
    }
    if (until > now) now = until;
  }
  void advance(std::uint64_t ms) { run_until(now + ms); }
  // Runs everything that is due now.
  void settle() { run_until(now); }

  void post(int kind) { posted.push_back(Posted{now, ++order, kind}); }

  // ---- recorded traffic -----------------------------------------------------------------------

  std::uint64_t now = 1000000;
  bool session_set_up = false;
  bool bound = false;
  bool other_bound = false;
  bool svc_mode = false;
  bool created_by_svc = false;
  bool send_running = false;
  int send_requests = 0;
  std::int32_t refuse_data = 0;
  bool sticky_commands = false;  // the host hands out the same command whatever the marks say
  std::optional<GostFullKey> host_key;
  std::uint32_t rng = 7;
  std::tm clock_tm{};

  std::vector<StateReport> states;
  std::vector<Delivery> deliveries;
  std::vector<Trace> traces;
  std::vector<std::pair<std::int32_t, std::int32_t>> get_cmd_calls;
  std::vector<CmdResult> results;
  std::vector<std::pair<bool, std::int32_t>> cypher_calls;
  std::vector<std::string> logs;
  std::vector<Sent> sent;
  std::deque<HostCommand> commands;

  bool logged(std::string_view prefix) const {
    for (const auto& l : logs)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
  int count_logged(std::string_view prefix) const {
    int n = 0;
    for (const auto& l : logs)
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }
  std::vector<std::int32_t> state_codes() const {
    std::vector<std::int32_t> out;
    for (const auto& s : states) out.push_back(s.state);
    return out;
  }

 private:
  struct Timer {
    std::uint64_t at;
    std::uint64_t order;
  };
  struct Posted {
    std::uint64_t at;
    std::uint64_t order;
    int kind;
  };

  std::optional<Timer>& timer(GprsTimer p) {
    switch (p) {
      case GprsTimer::Session: return session_timer;
      case GprsTimer::SendDelay: return send_delay_timer;
      default: return ack_timer;
    }
  }

  void dispatch(int kind) {
    if (kind == 9) {
      session->arm_session_timer();
    } else if (kind == 11) {
      after_send(session->send_requested());
    }
  }
  void after_send(GprsSendResult r) {
    switch (r) {
      case GprsSendResult::Done: send_running = false; break;
      case GprsSendResult::Again: post(11); break;
      case GprsSendResult::Waiting: break;
    }
  }

  GprsSession* session = nullptr;
  std::optional<Timer> session_timer, send_delay_timer, ack_timer;
  std::deque<Posted> posted;
  std::uint64_t order = 0;
};

// ---- the device side ----------------------------------------------------------------------------

struct Item {
  std::uint8_t kind;
  std::vector<std::uint8_t> data;
};

// A packet as the device would send it, raw and without the outer checksum (what the frame
// decoder hands to the session).
inline std::vector<std::uint8_t> device_packet(const GprsSession::Id& id, const GostFullKey& key,
                                               std::uint8_t type, std::uint32_t tag,
                                               const std::vector<Item>& items, bool encrypted = true,
                                               GostRandomRecord* random = nullptr,
                                               bool fresh = true) {
  PacketBuffer p;
  p.StartNew(id, encrypted ? kCipherOn : 0, type);
  p.SetTimeTag(tag);
  for (const auto& it : items) p.AppendItem(it.kind, it.data);
  p.AppendInnerChecksum();
  GostRandomRecord local{};
  PacketSeal(p, key, random ? random : &local, fresh);
  return {p.Bytes().begin(), p.Bytes().end()};
}

// One datagram the session sent, unframed, opened and indexed.
struct Decoded {
  bool ok = false;
  PacketBuffer packet;
  std::vector<Item> items;
  std::uint32_t tag() const { return packet.TimeTag(); }
  std::uint8_t type() const { return packet.Type(); }
  bool has(std::uint8_t kind) const {
    for (const auto& i : items)
      if (i.kind == kind) return true;
    return false;
  }
};

inline Decoded decode_sent(const std::vector<std::uint8_t>& framed, const GostFullKey& key) {
  Decoded d;
  FrameDecoder dec;
  std::vector<std::uint8_t> raw;
  dec.Feed(framed, [&](std::span<const std::uint8_t> f) { raw.assign(f.begin(), f.end()); });
  if (raw.empty()) return d;
  d.packet.Assign(raw);
  const bool encrypted = d.packet.CipherFlag() == kCipherOn;
  if (PacketOpen(d.packet, &key, nullptr) != PacketVerdict::kOk) return d;
  if (encrypted && !d.packet.InnerChecksumOk()) return d;
  d.packet.IndexItems();
  for (std::size_t i = 0; i < d.packet.ItemCount(); ++i) {
    const auto it = d.packet.Item(i);
    d.items.push_back(Item{it.kind, {it.data.begin(), it.data.end()}});
  }
  d.ok = true;
  return d;
}

}  // namespace telvor::testing
