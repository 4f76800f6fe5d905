#include "telvor/protocol/host.h"

#include <string>

#include "common/text/cp1251.h"

namespace telvor {

Host::Host(const LinkSettings& settings) : settings_(settings) {}

std::int32_t Host::slot(std::size_t offset) const {
  if (offset % 4 != 0 || offset / 4 >= 38) return 0;
  return settings_.slot[offset / 4];
}

bool Host::has_callback(int slot) const {
  return slot >= 0 && slot < TELVOR_CB_COUNT && settings_.callback[slot] != nullptr;
}

std::int32_t Host::call_has_block(std::int32_t type, const std::uint8_t* id,
                                  std::int32_t block_no) const {
  auto fn = callback<ZEB_HAS_BLOCK_fn>(TELVOR_CB_HAS_BLOCK);
  return fn ? fn(type, id, 0, block_no) : 0;
}

void Host::call_read_data(std::int32_t type, const std::uint8_t* id,
                          std::span<const std::uint8_t> data) const {
  if (auto fn = callback<ZEB_READ_DATA_fn>(TELVOR_CB_READ_DATA))
    fn(type, id, data.data(), static_cast<std::int32_t>(data.size()), 1);
}

std::int32_t Host::call_get_command() const {
  auto fn = callback<ZEB_GET_COMMAND_fn>(TELVOR_CB_GET_COMMAND);
  return fn ? fn() : 0;
}

void Host::call_notify(std::int32_t type, const std::uint8_t* id, void* session_data) const {
  if (auto fn = callback<ZEB_NOTIFY_fn>(TELVOR_CB_NOTIFY)) fn(type, id, session_data);
}

std::int32_t Host::call_get_cypher(bool svc, std::int32_t type, const std::uint8_t* id,
                                   std::uint8_t* key_or_null, std::int32_t* len,
                                   std::int32_t flag) const {
  auto fn = callback<ZEB_GET_CYPHER_fn>(svc ? TELVOR_CB_GET_CYPHER_SVC : TELVOR_CB_GET_CYPHER);
  return fn ? fn(type, id, key_or_null, len, flag) : 0;
}

void Host::call_read(std::int32_t type, const std::uint8_t* id,
                     std::span<const std::uint8_t> data) const {
  if (auto fn = callback<ZEB_READ_fn>(TELVOR_CB_READ))
    fn(type, id, 0, data.data(), static_cast<std::int32_t>(data.size()));
}

void Host::call_sethardst(bool svc, std::int32_t type, const std::uint8_t* id, std::int32_t state,
                          std::int32_t reason) const {
  if (auto fn = callback<ZEB_SETHARDST_fn>(svc ? TELVOR_CB_SETHARDST_SVC : TELVOR_CB_SETHARDST))
    fn(type, id, 0, state, reason, 0, 0);
}

void Host::call_state_report(std::int32_t type, const std::uint8_t* id, std::int32_t state,
                             std::int32_t reason, bool service_mode,
                             bool created_by_service_open) const {
  if (service_mode) {
    call_sethardst(true, type, id, state, reason);
    if (!created_by_service_open) call_sethardst(false, type, id, state, reason);
  } else {
    call_sethardst(false, type, id, state, reason);
  }
}

void Host::call_new_id(std::int32_t packet_type, const std::uint8_t* id) const {
  if (auto fn = callback<ZEB_NEW_ID_fn>(TELVOR_CB_NEW_ID)) fn(packet_type, id);
}

void Host::call_trace(std::int32_t packet_type, const std::uint8_t* id, const std::uint8_t* ip4,
                      std::int32_t port, std::span<const std::uint8_t> data,
                      std::int32_t direction) const {
  if (auto fn = callback<ZEB_TRACE_fn>(TELVOR_CB_TRACE))
    fn(packet_type, id, ip4, port, data.data(), static_cast<std::int32_t>(data.size()), direction);
}

std::int32_t Host::call_read_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                  std::span<const std::uint8_t> data) const {
  auto fn = callback<ZEB_READ_GPRS_fn>(TELVOR_CB_READ_GPRS);
  return fn ? fn(packet_type, id, data.data(), static_cast<std::int32_t>(data.size())) : 0;
}

std::int32_t Host::call_get_cmd_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                     std::uint8_t* record, std::int32_t mark) const {
  auto fn = callback<ZEB_GET_CMD_GPRS_fn>(TELVOR_CB_GET_CMD_GPRS);
  return fn ? fn(packet_type, id, record, mark) : 0;
}

void Host::call_cmd_result(std::int32_t packet_type, const std::uint8_t* id,
                           const std::uint8_t* record, std::int32_t status) const {
  if (auto fn = callback<ZEB_CMD_RESULT_fn>(TELVOR_CB_CMD_RESULT)) fn(packet_type, id, record, status);
}

void Host::call_log(std::string_view utf8) const {
  auto fn = callback<ZEB_LOG_fn>(TELVOR_CB_LOG);
  if (!fn) return;
  const std::string text = kl40::utf8_to_cp1251(utf8);
  fn(text.c_str());
}

void Host::call_error(std::string_view utf8) const {
  auto fn = callback<ZEB_ERROR_fn>(TELVOR_CB_ERROR);
  if (!fn) return;
  const std::string text = kl40::utf8_to_cp1251(utf8);
  fn(text.c_str());
}

void Host::call_com_read(const ComSettings* copy, std::span<const std::uint8_t> data,
                         std::int32_t direction) const {
  if (auto fn = callback<ZEB_COM_READ_fn>(TELVOR_CB_COM_READ))
    fn(copy, data.data(), static_cast<std::int32_t>(data.size()), direction);
}

void Host::call_com_event(const ComEvent* event) const {
  if (auto fn = callback<ZEB_COM_EVENT_fn>(TELVOR_CB_COM_EVENT)) fn(event);
}

void Host::call_sethardst_com(const ComSettings* copy, std::int32_t state) const {
  if (auto fn = callback<ZEB_SETHARDST_COM_fn>(TELVOR_CB_SETHARDST_COM)) fn(copy, state, 0);
}

bool Host::fetch_key(bool svc, std::int32_t type, const std::uint8_t* id,
                     std::span<std::uint8_t> key, std::int32_t flag) const {
  std::int32_t len = 0;
  if (call_get_cypher(svc, type, id, nullptr, &len, flag) != 1) return false;
  len = static_cast<std::int32_t>(key.size());
  call_get_cypher(svc, type, id, key.data(), &len, flag);
  return true;
}

}  // namespace telvor
