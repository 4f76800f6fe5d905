// The environment of a GPRS device session on the engine: time from the steady clock, the three
// session timers as Asio timers on the session's strand, sends through the port's socket, the
// registration's fields and the host callbacks.
#pragma once

#include <memory>

#include "telvor/protocol/gprs_env.h"
#include "telvor/protocol/gprs_session.h"

namespace telvor {

class DeviceSession;

class GprsBinding final : public GprsEnv {
 public:
  GprsBinding(DeviceSession& session, const GprsSession::Key& key, const GprsSettings& settings,
              bool keyed);

  GprsSession& session() { return gprs_; }

  std::uint64_t now_ms() override;
  void arm_timer(GprsTimer purpose, std::uint32_t due_ms) override;
  void cancel_timer(GprsTimer purpose) override;
  void request_send() override;
  void send_datagram(const GprsPeer& peer, std::span<const std::uint8_t> framed) override;
  bool take_session_set_up() override;
  void set_session_set_up() override;
  bool has_bound_session() override;
  bool is_bound_session() override;
  void bind_session() override;
  bool service_mode() override;
  bool created_by_service_open() override;
  void host_set_hard_state(bool svc, const std::uint8_t* id, std::int32_t state,
                           std::int32_t reason) override;
  std::int32_t host_read_gprs(std::int32_t packet_type, const std::uint8_t* id,
                              std::span<const std::uint8_t> data) override;
  void host_trace(std::int32_t packet_type, const std::uint8_t* id, const GprsPeer& peer,
                  std::span<const std::uint8_t> plain, std::int32_t direction) override;
  std::int32_t host_get_cmd_gprs(std::int32_t packet_type, const std::uint8_t* id,
                                 std::uint8_t* record, std::int32_t mark) override;
  void host_cmd_result(std::int32_t packet_type, const std::uint8_t* id, const std::uint8_t* record,
                       std::int32_t status) override;
  std::int32_t host_get_cypher(bool svc, const std::uint8_t* id, std::uint8_t* key_or_null,
                               std::int32_t* len, std::int32_t flag) override;
  void log(std::string_view utf8_text) override;
  std::uint8_t random_byte() override;

 private:
  DeviceSession& s_;
  GprsSession gprs_;
};

}  // namespace telvor
