// The library behind the C interface: one Library object between InitLib and CloseLib, holding the
// runtime (host, engine, registries) and carrying out every export.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "telvor/api/telvor.h"
#include "telvor/io/runtime.h"
#include "telvor/io/session.h"

namespace telvor {

inline constexpr const char* kVersionText = "7,3,7,36";

// Error line for a port whose socket could not be opened.
inline constexpr const char* kPortOpenError = "Ошибка инициализации! Проблема открытия порта %d.";

// State codes of session creation.
inline constexpr std::int32_t kStateDuplicate = 0x303;
inline constexpr std::int32_t kStateBadType = 0x304;
inline constexpr std::int32_t kStateDuplicateGprs = 0x306;

// Most messages Write queues for one session before refusing more.
inline constexpr std::size_t kOutgoingLimit = 1024;

struct LibraryOptions {
  // false: no worker threads; the caller runs handlers with runtime().engine.poll().
  bool threads = true;
};

class Library {
 public:
  explicit Library(const LinkSettings& settings, LibraryOptions options = {});
  ~Library();

  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  Runtime& runtime() { return *rt_; }

  std::int32_t ListPort(std::int32_t type, const std::uint16_t* ports, std::int32_t count);
  std::int32_t Open(std::int32_t type, const std::uint8_t* id, std::int32_t unit, bool svc);
  std::int32_t Close(std::int32_t type, const std::uint8_t* id, std::int32_t unit, const char* com_name);
  std::int32_t Close_svc(std::int32_t type, const std::uint8_t* id, std::int32_t unit);
  std::int32_t Write(std::int32_t type, const std::uint8_t* id, std::int32_t unit,
                     const std::uint8_t* data, std::int32_t length);
  std::int32_t RefreshUnit(std::int32_t type, const std::uint8_t* id, std::int32_t block_no);
  std::int32_t Set_tcp_ip_addr(std::int32_t type, const std::uint8_t* id, const void* a,
                               const void* b, const void* c);
  std::int32_t Set_range_ip_addr(std::int32_t type, const std::uint8_t* id, std::int32_t count,
                                 const void* ranges);
  std::int32_t GetMac(std::int32_t type, const std::uint8_t* id);
  std::int32_t ChangeKeyNow(std::int32_t type, const std::uint8_t* id);
  std::int32_t ChangeKeyNow_GPRS(std::int32_t code, const std::uint8_t* id);
  std::int32_t Send_CMD_GPRS(std::int32_t code, const std::uint8_t* id);

  // ---- observers for tests and benchmarks -----------------------------------------------------
  struct PortView {
    std::uint16_t number = 0;
    std::uint32_t mask = 0;
    bool socket_open = false;
    std::uint16_t local_port = 0;
    std::size_t sessions = 0;
  };
  std::vector<PortView> ports() const;
  std::shared_ptr<DeviceSession> find_session(std::int32_t type, const std::uint8_t* id,
                                              std::uint16_t port_number) const;
  std::shared_ptr<Registration> find_registration(const std::uint8_t* id) const;
  std::size_t registration_count() const;
  std::array<std::array<std::uint8_t, 8>, 3> address_records() const { return addresses_; }
  std::vector<std::array<std::uint8_t, 8>> address_ranges() const { return ranges_; }

 private:
  // The open routine for one port.
  void open_on_port(PortEntry* port, std::int32_t type, const DeviceId& id, std::uint16_t unit,
                    const std::shared_ptr<Registration>& reg, bool svc);
  // Creates the port's socket (registry lock held). False when it cannot be opened.
  bool set_up_socket_locked(PortEntry* port);
  // Runs |fn| on the session's strand and waits for it (at most 20 s), or runs it here when the
  // engine runs no thread or this thread already runs the strand.
  void run_on_strand(DeviceSession& s, std::function<void()> fn);
  // First session of |type| with |id| in port order (registry lock held).
  std::shared_ptr<DeviceSession> first_session_locked(std::int32_t type, const DeviceId& id) const;
  void teardown();

  std::unique_ptr<Runtime> rt_;
  std::uint16_t serial_word_ = 0;  // settings word 32, kept library-wide for serial sessions
  std::array<std::array<std::uint8_t, 8>, 3> addresses_{};
  std::vector<std::array<std::uint8_t, 8>> ranges_;
};

}  // namespace telvor
