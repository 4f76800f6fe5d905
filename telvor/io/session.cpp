#include "telvor/io/session.h"

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>

#include "telvor/io/gprs_binding.h"
#include "telvor/io/runtime.h"

namespace telvor {

DeviceSession::DeviceSession(Runtime& rt, std::int32_t t, const DeviceId& i, std::uint16_t u,
                             PortEntry* p, std::shared_ptr<Registration> reg, bool svc)
    : type(t),
      id(i),
      unit(u),
      port(p),
      registration(std::move(reg)),
      service_open(svc),
      rt_(rt),
      strand_(asio::make_strand(rt.engine.io())) {}

DeviceSession::~DeviceSession() = default;

void DeviceSession::attach_gprs(std::unique_ptr<GprsBinding> g) { gprs_ = std::move(g); }

void DeviceSession::post_event(EventKind kind) {
  asio::post(strand_, [self = shared_from_this(), kind] { self->dispatch(kind); });
}

void DeviceSession::request_send() {
  if (!send_running.exchange(true)) post_event(EventKind::SendRequest);
}

void DeviceSession::arm_timer(TimerPurpose purpose, std::uint64_t due_ms) {
  const auto i = static_cast<std::size_t>(purpose);
  auto& timer = timers_[i];
  if (!timer) timer = std::make_unique<asio::steady_timer>(rt_.engine.io());
  const std::uint64_t generation = ++generations_[i];
  timer->cancel();
  timer->expires_after(std::chrono::milliseconds(due_ms));
  timer->async_wait(asio::bind_executor(
      strand_, [self = shared_from_this(), purpose, generation](const std::error_code& ec) {
        const auto k = static_cast<std::size_t>(purpose);
        if (ec == asio::error::operation_aborted || self->generations_[k] != generation) return;
        if (!self->active.load()) {
          // Only the sending timers have something to undo on a closed session.
          if (purpose == TimerPurpose::SendDelay || purpose == TimerPurpose::Ack)
            self->send_running.store(false);
          return;
        }
        self->dispatch(timer_event(purpose));
      }));
}

void DeviceSession::cancel_timer(TimerPurpose purpose) {
  const auto i = static_cast<std::size_t>(purpose);
  ++generations_[i];
  if (timers_[i]) timers_[i]->cancel();
}

void DeviceSession::stop_timers() {
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    ++generations_[i];
    if (timers_[i]) timers_[i]->cancel();
  }
  if (hold_timer_) hold_timer_->cancel();
}

void DeviceSession::stop_on_strand() {
  stop_timers();
  if (gprs_) gprs_->session().close();
  if (registration) registration->unbind_if(this);
}

void DeviceSession::gprs_input(const AddressRecord& from, std::span<const std::uint8_t> frame) {
  if (!gprs_ || !active.load()) return;
  GprsPeer peer;
  peer.ip = from.ip;
  peer.port = from.port;
  gprs_->session().IncomingPacketGPRS(peer, frame);
  has_reply_template.store(gprs_->session().has_reply_template());
}

void DeviceSession::station_input(const AddressRecord& from, std::span<const std::uint8_t> datagram) {
  if (!active.load() || !receiving.load()) return;
  if (rt_.hooks.station_input) rt_.hooks.station_input(*this, from, datagram);
}

int DeviceSession::send(const AddressRecord& to, std::span<const std::uint8_t> bytes, bool immediate) {
  if (!active.load() || port == nullptr) return -1;
  std::shared_ptr<PortSocket> socket;
  {
    std::shared_lock lock(rt_.registry_mu);
    socket = port->socket;
  }
  if (!socket) return -1;
  if (immediate) return socket->send_now(to, bytes);
  return socket->send_to(to, std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end()));
}

void DeviceSession::dispatch(EventKind kind) {
  switch (kind) {
    case EventKind::Shutdown:
    case EventKind::UdpReceive:
    case EventKind::SerialRead:
    case EventKind::SerialWait:
    case EventKind::SendDone:
      return;  // not session events on this engine
    case EventKind::ServiceStep: {
      cancel_timer(TimerPurpose::ServiceStep);
      if (!active.load()) return;
      const int again = rt_.hooks.service_step ? rt_.hooks.service_step(*this) : 0;
      if (again != 0 && type != 3 && type != kChannelGprs && active.load())
        post_event(EventKind::ServiceStep);
      return;
    }
    case EventKind::PingSchedule:
      if (active.load() && rt_.hooks.ping_schedule) rt_.hooks.ping_schedule(*this);
      return;
    case EventKind::PingTimer:
      if (!active.load()) return;
      if (rt_.hooks.ping && rt_.hooks.ping(*this) != 0 && active.load())
        post_event(EventKind::PingSchedule);
      return;
    case EventKind::SessionTimerArm:
      if (active.load() && gprs_) gprs_->session().arm_session_timer();
      return;
    case EventKind::SessionTimer:
      cancel_timer(TimerPurpose::Session);
      if (!active.load() || !gprs_) return;
      if (gprs_->session().Timers_GPRS_1() && active.load()) post_event(EventKind::SessionTimerArm);
      has_reply_template.store(gprs_->session().has_reply_template());
      return;
    case EventKind::SendRequest:
      send_processing();
      return;
    case EventKind::SendDelay: {
      cancel_timer(TimerPurpose::SendDelay);
      if (!active.load() || !gprs_) {
        send_running.store(false);
        return;
      }
      after_send_step(static_cast<int>(gprs_->session().transmit()));
      return;
    }
    case EventKind::AckTimer: {
      if (!active.load() || !gprs_) {
        send_running.store(false);
        return;
      }
      after_send_step(static_cast<int>(gprs_->session().packet_transmitted()));
      return;
    }
    case EventKind::SerialArm:
      if (active.load() && rt_.hooks.serial_arm) rt_.hooks.serial_arm(*this);
      return;
    case EventKind::SerialTimer:
      if (!active.load()) return;
      if (rt_.hooks.serial_timer && rt_.hooks.serial_timer(*this) != 0 && active.load())
        post_event(EventKind::SerialArm);
      return;
  }
}

void DeviceSession::send_processing() {
  if (!active.load()) return;
  if (type != kChannelGprs || !gprs_) {
    send_running.store(false);
    return;
  }
  if (receive_hold.load()) {
    if (hold_rounds < kReceiveHoldRounds) {
      // Wait 1 ms and ask again; the send-running flag stays set.
      ++hold_rounds;
      if (!hold_timer_) hold_timer_ = std::make_unique<asio::steady_timer>(rt_.engine.io());
      hold_timer_->expires_after(std::chrono::milliseconds(1));
      hold_timer_->async_wait(asio::bind_executor(
          strand_, [self = shared_from_this()](const std::error_code& ec) {
            if (ec == asio::error::operation_aborted) return;
            self->dispatch(EventKind::SendRequest);
          }));
      return;
    }
    receive_hold.store(false);
    hold_rounds = 0;
  }
  after_send_step(static_cast<int>(gprs_->session().send_requested()));
}

void DeviceSession::after_send_step(int result_kind) {
  has_reply_template.store(gprs_->session().has_reply_template());
  switch (static_cast<GprsSendResult>(result_kind)) {
    case GprsSendResult::Done:
      send_running.store(false);
      return;
    case GprsSendResult::Again:
      if (active.load())
        post_event(EventKind::SendRequest);
      else
        send_running.store(false);
      return;
    case GprsSendResult::Waiting:
      return;
  }
}

}  // namespace telvor
