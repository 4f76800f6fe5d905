// A host for the library tests: C callbacks that record every call into one process-wide
// recorder, with waits for calls that arrive on worker threads.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/text/cp1251.h"
#include "telvor/api/telvor.h"

namespace telvor::test {

using Id = std::array<std::uint8_t, 6>;

struct StateCall {
  bool svc;
  std::int32_t type;
  Id id;
  std::int32_t state;
  std::int32_t reason;
  std::int32_t zero1, zero2, zero3;
};
struct CypherCall {
  bool svc;
  std::int32_t type;
  Id id;
  bool with_buffer;
  std::int32_t len;
  std::int32_t flag;
};
struct IdCall {
  std::int32_t packet_type;
  Id id;
};
struct BlockCall {
  std::int32_t type;
  Id id;
  std::int32_t block;
};
struct CmdCall {
  std::int32_t packet_type;
  Id id;
  std::int32_t mark;
};

class Recorder {
 public:
  static Recorder& get() {
    static Recorder r;
    return r;
  }

  void reset() {
    std::lock_guard lock(mu);
    states.clear();
    cyphers.clear();
    new_ids.clear();
    blocks.clear();
    logs.clear();
    errors.clear();
    cmds.clear();
    traces.clear();
    key_answer = 1;
    key_byte = 0x11;
    block_answer = [](std::int32_t) { return 1; };
    on_trace = nullptr;
  }

  // Waits (at most |limit|) until |pred| holds under the lock. The predicate is also looked at
  // every few milliseconds, for conditions that change without a callback.
  bool wait_for(const std::function<bool()>& pred,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mu);
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      cv.wait_for(lock, std::chrono::milliseconds(2));
    }
    return true;
  }
  void notify() { cv.notify_all(); }

  void set_on_trace(std::function<void()> hook) {
    std::lock_guard lock(mu);
    on_trace = std::move(hook);
  }
  std::size_t count_logs(const std::string& utf8) {
    std::lock_guard lock(mu);
    return count_logs_locked(utf8);
  }
  std::size_t count_logs_locked(const std::string& utf8) {
    std::size_t n = 0;
    for (auto& l : logs) n += l == utf8;
    return n;
  }
  std::vector<StateCall> states_copy() {
    std::lock_guard lock(mu);
    return states;
  }

  std::mutex mu;
  std::condition_variable cv;
  std::vector<StateCall> states;
  std::vector<CypherCall> cyphers;
  std::vector<IdCall> new_ids;
  std::vector<BlockCall> blocks;
  std::vector<std::string> logs;    // decoded from Windows-1251
  std::vector<std::string> errors;  // decoded from Windows-1251
  std::vector<CmdCall> cmds;
  std::vector<IdCall> traces;
  std::int32_t key_answer = 1;
  std::uint8_t key_byte = 0x11;
  std::function<std::int32_t(std::int32_t)> block_answer = [](std::int32_t) { return 1; };
  std::function<void()> on_trace;  // called without the lock
};

inline Id id_of(const std::uint8_t* p) {
  Id id{};
  if (p) std::memcpy(id.data(), p, 6);
  return id;
}

extern "C" {
inline std::int32_t rec_has_block(std::int32_t type, const std::uint8_t* id, std::int32_t,
                                  std::int32_t block) {
  auto& r = Recorder::get();
  std::lock_guard lock(r.mu);
  r.blocks.push_back({type, id_of(id), block});
  return r.block_answer(block);
}
inline std::int32_t rec_cypher_impl(bool svc, std::int32_t type, const std::uint8_t* id,
                                    std::uint8_t* key, std::int32_t* len, std::int32_t flag) {
  auto& r = Recorder::get();
  std::lock_guard lock(r.mu);
  r.cyphers.push_back({svc, type, id_of(id), key != nullptr, len ? *len : -1, flag});
  if (key && len) std::memset(key, r.key_byte, static_cast<std::size_t>(*len));
  return r.key_answer;
}
inline std::int32_t rec_cypher(std::int32_t type, const std::uint8_t* id, std::uint8_t* key,
                               std::int32_t* len, std::int32_t flag) {
  return rec_cypher_impl(false, type, id, key, len, flag);
}
inline std::int32_t rec_cypher_svc(std::int32_t type, const std::uint8_t* id, std::uint8_t* key,
                                   std::int32_t* len, std::int32_t flag) {
  return rec_cypher_impl(true, type, id, key, len, flag);
}
inline std::int32_t rec_state_impl(bool svc, std::int32_t type, const std::uint8_t* id,
                                   std::int32_t z1, std::int32_t state, std::int32_t reason,
                                   std::int32_t z2, std::int32_t z3) {
  auto& r = Recorder::get();
  {
    std::lock_guard lock(r.mu);
    r.states.push_back({svc, type, id_of(id), state, reason, z1, z2, z3});
  }
  r.notify();
  return 0;
}
inline std::int32_t rec_state(std::int32_t type, const std::uint8_t* id, std::int32_t z1,
                              std::int32_t state, std::int32_t reason, std::int32_t z2,
                              std::int32_t z3) {
  return rec_state_impl(false, type, id, z1, state, reason, z2, z3);
}
inline std::int32_t rec_state_svc(std::int32_t type, const std::uint8_t* id, std::int32_t z1,
                                  std::int32_t state, std::int32_t reason, std::int32_t z2,
                                  std::int32_t z3) {
  return rec_state_impl(true, type, id, z1, state, reason, z2, z3);
}
inline std::int32_t rec_new_id(std::int32_t packet_type, const std::uint8_t* id) {
  auto& r = Recorder::get();
  {
    std::lock_guard lock(r.mu);
    r.new_ids.push_back({packet_type, id_of(id)});
  }
  r.notify();
  return 0;
}
inline std::int32_t rec_trace(std::int32_t packet_type, const std::uint8_t* id, const std::uint8_t*,
                              std::int32_t, const std::uint8_t*, std::int32_t, std::int32_t) {
  auto& r = Recorder::get();
  std::function<void()> hook;
  {
    std::lock_guard lock(r.mu);
    r.traces.push_back({packet_type, id_of(id)});
    hook = r.on_trace;
  }
  if (hook) hook();
  r.notify();
  return 0;
}
inline std::int32_t rec_get_cmd(std::int32_t packet_type, const std::uint8_t* id, std::uint8_t*,
                                std::int32_t mark) {
  auto& r = Recorder::get();
  {
    std::lock_guard lock(r.mu);
    r.cmds.push_back({packet_type, id_of(id), mark});
  }
  r.notify();
  return 0;  // no command: the library clears the request
}
inline std::int32_t rec_log(const char* text) {
  auto& r = Recorder::get();
  {
    std::lock_guard lock(r.mu);
    r.logs.push_back(kl40::cp1251_to_utf8(text));
  }
  r.notify();
  return 0;
}
inline std::int32_t rec_error(const char* text) {
  auto& r = Recorder::get();
  {
    std::lock_guard lock(r.mu);
    r.errors.push_back(kl40::cp1251_to_utf8(text));
  }
  r.notify();
  return 0;
}
}

// The configurator's settings, with the recording callbacks. GPRS timings can be shortened.
inline LinkSettings recording_settings(std::int32_t open_gprs_ms = 30000, std::int32_t send_gap_ms = 300) {
  LinkSettings s{};
  const std::int32_t values[][2] = {
      {0, static_cast<std::int32_t>(sizeof(LinkSettings))},
      {20, 300}, {24, 2000}, {28, 3000}, {32, 10000}, {36, 0}, {40, 1}, {44, 3}, {48, 3},
      {52, 5}, {56, 3}, {60, 1000}, {64, 5}, {68, 10}, {72, 20000}, {76, 1000}, {80, 500},
      {84, 0}, {88, open_gprs_ms}, {92, 30000}, {96, 10000}, {100, 10}, {104, 10000},
      {108, send_gap_ms}, {112, 5}, {116, 5}, {120, 80000}, {124, 90000}, {128, 300}};
  for (auto& v : values) s.slot[v[0] / 4] = v[1];
  s.callback[TELVOR_CB_HAS_BLOCK] = reinterpret_cast<void*>(&rec_has_block);
  s.callback[TELVOR_CB_GET_CYPHER] = reinterpret_cast<void*>(&rec_cypher);
  s.callback[TELVOR_CB_SETHARDST] = reinterpret_cast<void*>(&rec_state);
  s.callback[TELVOR_CB_NEW_ID] = reinterpret_cast<void*>(&rec_new_id);
  s.callback[TELVOR_CB_TRACE] = reinterpret_cast<void*>(&rec_trace);
  s.callback[TELVOR_CB_GET_CMD_GPRS] = reinterpret_cast<void*>(&rec_get_cmd);
  s.callback[TELVOR_CB_LOG] = reinterpret_cast<void*>(&rec_log);
  s.callback[TELVOR_CB_ERROR] = reinterpret_cast<void*>(&rec_error);
  s.callback[TELVOR_CB_GET_CYPHER_SVC] = reinterpret_cast<void*>(&rec_cypher_svc);
  s.callback[TELVOR_CB_SETHARDST_SVC] = reinterpret_cast<void*>(&rec_state_svc);
  return s;
}

}  // namespace telvor::test
