// Library-wide state that the engine's handlers reach: the host, the engine, the registries of
// ports and registrations, and the datagram routing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "telvor/io/engine.h"
#include "telvor/io/ids.h"
#include "telvor/io/port.h"
#include "telvor/protocol/host.h"

namespace telvor {

class DeviceSession;

// One identifier opened with Open or Open_svc.
struct Registration {
  explicit Registration(const DeviceId& i) : id(i) {}
  const DeviceId id;
  std::atomic<bool> linked{true};          // still in the registry
  std::atomic<bool> session_set_up{false};
  std::atomic<bool> service_mode{false};
  std::atomic<bool> created_by_service_open{false};

  std::shared_ptr<DeviceSession> bound() const;
  bool has_bound() const;
  bool is_bound(const DeviceSession* s) const;
  void bind(const std::shared_ptr<DeviceSession>& s);
  void unbind_if(const DeviceSession* s);

 private:
  mutable std::mutex mu_;
  std::weak_ptr<DeviceSession> bound_;
  const DeviceSession* bound_raw_ = nullptr;
};

// Handlers of the station service protocol (channel types 0 to 5), ping and serial supervision.
// A missing handler means the event is taken and nothing is done.
struct ProtocolHooks {
  // Event 6; nonzero asks for another step.
  std::function<int(DeviceSession&)> service_step;
  // A raw datagram routed to a channel type 0 to 5 session by its sender address.
  std::function<void(DeviceSession&, const AddressRecord&, std::span<const std::uint8_t>)> station_input;
  // Events 7 and 8; nonzero asks for the next schedule.
  std::function<int(DeviceSession&)> ping_schedule;
  std::function<int(DeviceSession&)> ping;
  // Events 14 and 15; nonzero asks for another arm.
  std::function<int(DeviceSession&)> serial_arm;
  std::function<int(DeviceSession&)> serial_timer;
};

class Runtime {
 public:
  // threads: false runs no worker; the owner calls engine.poll() (tests, fuzzing).
  Runtime(const LinkSettings& settings, bool threads = true);
  ~Runtime();

  Host host;
  Engine engine;
  ProtocolHooks hooks;

  // Registries. Read by handlers under a shared lock, changed by the exports under an exclusive
  // lock. No host callback is ever called while the lock is held.
  mutable std::shared_mutex registry_mu;
  std::vector<std::unique_ptr<PortEntry>> ports;  // creation order
  std::unordered_map<std::uint64_t, std::shared_ptr<Registration>> registrations;

  PortEntry* find_port(std::uint16_t number) const;                            // lock held
  std::shared_ptr<Registration> find_registration(const DeviceId& id) const;  // lock held

  // Routing of one received datagram (the receive handler and the fuzz target call this): chooses
  // the ring by the identifier at the start of the datagram, rebuilds frames, and hands each frame
  // to the first session in slot order that claims it, the raw datagram to the first session whose
  // identifier is the sender address, or reports an unknown identifier. Never throws.
  void route_datagram(PortEntry& port, std::span<const std::uint8_t> datagram,
                      const AddressRecord& from);

  // Counters for tests and benchmarks.
  std::atomic<std::uint64_t> datagrams_routed{0};
  std::atomic<std::uint64_t> frames_unclaimed{0};

 private:
  void walk(PortEntry& port, const DeviceSession* on_strand_of,
            std::optional<std::span<const std::uint8_t>> frame,
            std::span<const std::uint8_t> datagram, const AddressRecord& from, bool& raw_given);
};

}  // namespace telvor
