// The host side of the library: the library's copy of the settings record and one call helper per
// host callback. Every helper tests its slot for null and skips an empty one (returning 0), so no
// caller ever reaches a callback pointer directly. Helpers may be called from any thread; the
// record is never changed after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "telvor/api/telvor.h"

namespace telvor {

class Host {
 public:
  // Copies the whole record (settings and callback table).
  explicit Host(const LinkSettings& settings);

  // ---- settings slots, by byte offset (0, 4, ..., 148) ----------------------------------------

  // The 32-bit slot at byte offset |offset| (a multiple of 4 below 152; anything else reads 0).
  std::int32_t slot(std::size_t offset) const;
  // The low 16 bits of that slot, as the session layer copies its words.
  std::uint16_t word(std::size_t offset) const { return static_cast<std::uint16_t>(slot(offset)); }
  // The 38 settings slots (slot i is byte offset 4 * i).
  std::span<const std::int32_t, 38> slots() const { return std::span<const std::int32_t, 38>(settings_.slot); }
  const LinkSettings& settings() const { return settings_; }
  bool has_callback(int slot) const;

  // Named settings (offsets in brackets).
  std::uint16_t serial_session_word() const { return word(32); }     // [32]
  std::uint16_t ping_period_ms() const { return word(76); }          // [76]
  std::uint16_t ping_timeout_ms() const { return word(80); }         // [80]
  std::int32_t open_gprs_ms() const { return slot(88); }             // [88]  "Open_GPRS"
  std::int32_t to_send_dg2_ms() const { return slot(92); }           // [92]  "ToSendDG2_GPRS"
  std::int32_t to_retry_send_dg2_ms() const { return slot(96); }     // [96]  "ToRetrySendDG2_GPRS"
  std::int32_t count_retry_send_dg2() const { return slot(100); }    // [100] "CountRetrySendDG2_GPRS"
  std::int32_t to_wait_kvit_cmd_ms() const { return slot(104); }     // [104] "ToWaitKvitCmd_GPRS"
  std::int32_t to_wait_send_after_in_ms() const { return slot(108); }  // [108] "ToWaitSendDAfterIn"
  std::int32_t count_retry_receive() const { return slot(112); }     // [112] "CountRetryRecive_GPRS"
  std::int32_t count_no_good_time_tag() const { return slot(116); }  // [116] "CountNoGoodTimeTag_GPRS"
  std::int32_t com_first_answer_ms() const { return slot(120); }     // [120]
  std::int32_t com_duty_period_ms() const { return slot(124); }      // [124]

  // ---- callbacks ------------------------------------------------------------------------------

  std::int32_t call_has_block(std::int32_t type, const std::uint8_t* id, std::int32_t block_no) const;
  void call_read_data(std::int32_t type, const std::uint8_t* id, std::span<const std::uint8_t> data) const;
  std::int32_t call_get_command() const;
  void call_notify(std::int32_t type, const std::uint8_t* id, void* session_data) const;
  // ZEB_GET_CYPHER (svc false) or ZEB_GET_CYPHER_SVC (svc true).
  std::int32_t call_get_cypher(bool svc, std::int32_t type, const std::uint8_t* id,
                               std::uint8_t* key_or_null, std::int32_t* len, std::int32_t flag) const;
  void call_read(std::int32_t type, const std::uint8_t* id, std::span<const std::uint8_t> data) const;
  // ZEB_SETHARDST (svc false) or ZEB_SETHARDST_SVC (svc true) with (type, id, 0, state, reason, 0, 0).
  void call_sethardst(bool svc, std::int32_t type, const std::uint8_t* id, std::int32_t state,
                      std::int32_t reason) const;
  // The state path: ZEB_SETHARDST_SVC when the registration is in service mode, and also
  // ZEB_SETHARDST when it was not created by the service open; ZEB_SETHARDST alone otherwise.
  void call_state_report(std::int32_t type, const std::uint8_t* id, std::int32_t state,
                         std::int32_t reason, bool service_mode, bool created_by_service_open) const;
  void call_new_id(std::int32_t packet_type, const std::uint8_t* id) const;
  // |ip4| points to 4 bytes in network order, |port| in host order.
  void call_trace(std::int32_t packet_type, const std::uint8_t* id, const std::uint8_t* ip4,
                  std::int32_t port, std::span<const std::uint8_t> data, std::int32_t direction) const;
  // Nonzero refuses the data; 0 when the slot is empty.
  std::int32_t call_read_gprs(std::int32_t packet_type, const std::uint8_t* id,
                              std::span<const std::uint8_t> data) const;
  std::int32_t call_get_cmd_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                 std::uint8_t* record, std::int32_t mark) const;
  void call_cmd_result(std::int32_t packet_type, const std::uint8_t* id, const std::uint8_t* record,
                       std::int32_t status) const;
  // ZEB_LOG / ZEB_ERROR: |utf8| is converted to Windows-1251 and zero-terminated.
  void call_log(std::string_view utf8) const;
  void call_error(std::string_view utf8) const;
  void call_com_read(const ComSettings* copy, std::span<const std::uint8_t> data,
                     std::int32_t direction) const;
  void call_com_event(const ComEvent* event) const;
  void call_sethardst_com(const ComSettings* copy, std::int32_t state) const;

  // The key fetch: asks slot 4 (or 17 when |svc|) with no buffer and a length of 0; only a result
  // of exactly 1 means a key exists, and then the slot is asked again with |key| and its size as
  // the length (that second result is not looked at). Returns whether a key exists. |key| is left
  // untouched when none exists.
  bool fetch_key(bool svc, std::int32_t type, const std::uint8_t* id, std::span<std::uint8_t> key,
                 std::int32_t flag = 0) const;

 private:
  template <typename Fn>
  Fn callback(int slot) const {
    return reinterpret_cast<Fn>(settings_.callback[slot]);
  }

  LinkSettings settings_;
};

}  // namespace telvor
