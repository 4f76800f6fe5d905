// The engine's dispatch vocabulary: what one event posted for a device session means.
#pragma once

#include <cstdint>

namespace telvor {

enum class EventKind : std::int32_t {
  Shutdown = 1,         // a worker ends its thread
  UdpReceive = 2,       // a UDP datagram arrived: routing
  SerialRead = 3,       // a serial read completed
  SerialWait = 4,       // a serial wait for received characters completed
  SendDone = 5,         // an overlapped send completed: nothing to do
  ServiceStep = 6,      // station service step
  PingSchedule = 7,     // ping scheduling
  PingTimer = 8,        // ping timer expiry
  SessionTimerArm = 9,  // GPRS session timer arming
  SessionTimer = 10,    // GPRS session timer expiry (Timers_GPRS_1)
  SendRequest = 11,     // GPRS build-and-send
  SendDelay = 12,       // GPRS send-delay expiry (transmit)
  AckTimer = 13,        // GPRS acknowledgement timer expiry (packet transmitted)
  SerialArm = 14,       // serial supervision arming
  SerialTimer = 15,     // serial supervision expiry
};

// The one-shot timers of a session, one per purpose; arming one replaces the previous one.
enum class TimerPurpose : std::uint8_t {
  ServiceStep = 0,  // posts ServiceStep
  Ping = 1,         // posts PingTimer
  Session = 2,      // posts SessionTimer
  SendDelay = 3,    // posts SendDelay
  Ack = 4,          // posts AckTimer
  Serial = 5,       // posts SerialTimer
};
inline constexpr int kTimerPurposes = 6;

constexpr EventKind timer_event(TimerPurpose purpose) {
  switch (purpose) {
    case TimerPurpose::ServiceStep: return EventKind::ServiceStep;
    case TimerPurpose::Ping: return EventKind::PingTimer;
    case TimerPurpose::Session: return EventKind::SessionTimer;
    case TimerPurpose::SendDelay: return EventKind::SendDelay;
    case TimerPurpose::Ack: return EventKind::AckTimer;
    case TimerPurpose::Serial: return EventKind::SerialTimer;
  }
  return EventKind::SendDone;
}

}  // namespace telvor
