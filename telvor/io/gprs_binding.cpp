#include "telvor/io/gprs_binding.h"

#include <chrono>

#include "telvor/crypto/random_bytes.h"
#include "telvor/io/runtime.h"
#include "telvor/io/session.h"

namespace telvor {
namespace {

TimerPurpose purpose_of(GprsTimer t) {
  switch (t) {
    case GprsTimer::Session: return TimerPurpose::Session;
    case GprsTimer::SendDelay: return TimerPurpose::SendDelay;
    case GprsTimer::Ack: return TimerPurpose::Ack;
  }
  return TimerPurpose::Session;
}

}  // namespace

GprsBinding::GprsBinding(DeviceSession& session, const GprsSession::Key& key,
                         const GprsSettings& settings, bool keyed)
    : s_(session), gprs_(*this, session.id, key, settings, keyed) {}

std::uint64_t GprsBinding::now_ms() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void GprsBinding::arm_timer(GprsTimer purpose, std::uint32_t due_ms) {
  s_.arm_timer(purpose_of(purpose), due_ms);
}

void GprsBinding::cancel_timer(GprsTimer purpose) { s_.cancel_timer(purpose_of(purpose)); }

void GprsBinding::request_send() { s_.request_send(); }

void GprsBinding::send_datagram(const GprsPeer& peer, std::span<const std::uint8_t> framed) {
  AddressRecord to;
  to.ip = peer.ip;
  to.port = peer.port;
  s_.send(to, framed);
}

bool GprsBinding::take_session_set_up() { return s_.registration->session_set_up.exchange(false); }
void GprsBinding::set_session_set_up() { s_.registration->session_set_up.store(true); }
bool GprsBinding::has_bound_session() { return s_.registration->has_bound(); }
bool GprsBinding::is_bound_session() { return s_.registration->is_bound(&s_); }
void GprsBinding::bind_session() { s_.registration->bind(s_.shared_from_this()); }
bool GprsBinding::service_mode() { return s_.registration->service_mode.load(); }
bool GprsBinding::created_by_service_open() {
  return s_.registration->created_by_service_open.load();
}

void GprsBinding::host_set_hard_state(bool svc, const std::uint8_t* id, std::int32_t state,
                                      std::int32_t reason) {
  s_.runtime().host.call_sethardst(svc, kChannelGprs, id, state, reason);
}

std::int32_t GprsBinding::host_read_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                         std::span<const std::uint8_t> data) {
  return s_.runtime().host.call_read_gprs(packet_type, id, data);
}

void GprsBinding::host_trace(std::int32_t packet_type, const std::uint8_t* id, const GprsPeer& peer,
                             std::span<const std::uint8_t> plain, std::int32_t direction) {
  s_.runtime().host.call_trace(packet_type, id, peer.ip.data(), peer.port, plain, direction);
}

std::int32_t GprsBinding::host_get_cmd_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                            std::uint8_t* record, std::int32_t mark) {
  return s_.runtime().host.call_get_cmd_gprs(packet_type, id, record, mark);
}

void GprsBinding::host_cmd_result(std::int32_t packet_type, const std::uint8_t* id,
                                  const std::uint8_t* record, std::int32_t status) {
  s_.runtime().host.call_cmd_result(packet_type, id, record, status);
}

std::int32_t GprsBinding::host_get_cypher(bool svc, const std::uint8_t* id,
                                          std::uint8_t* key_or_null, std::int32_t* len,
                                          std::int32_t flag) {
  return s_.runtime().host.call_get_cypher(svc, kChannelGprs, id, key_or_null, len, flag);
}

void GprsBinding::log(std::string_view utf8_text) { s_.runtime().host.call_log(utf8_text); }

std::uint8_t GprsBinding::random_byte() { return ThreadRandomByte(); }

}  // namespace telvor
