// The socket side of kl40sim: one UDP socket for all simulated devices, datagrams routed to a
// device by the identifier at the start of the frame, a due-time queue for the devices' ticks.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/kl40sim/sim_device.h"

namespace kl40sim {

struct RunOptions {
  std::string server_host = "127.0.0.1";
  std::uint16_t server_port = 10001;
  std::uint16_t local_port = 0;  // 0: any free port
  std::uint64_t count = 1;
  DeviceConfig device;           // the first device; the others get consecutive identifiers
  std::uint32_t seed = 1;
  bool quiet = false;
  double run_for_s = 0;          // > 0: stop after this long
  bool stagger = true;           // spread the first packets of many devices over a duty period
};

struct RunTotals {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint64_t undecodable = 0;
  std::uint64_t commands = 0;
};

// Parses "HOST:PORT"; false when malformed.
bool parse_host_port(const std::string& text, std::string& host, std::uint16_t& port);

// Runs the devices until |stop| becomes true (or run_for_s passes). Event lines go to |events|
// unless quiet. Returns 0, or 1 with a message on |errors| when the socket cannot be set up.
int run_devices(const RunOptions& options, const std::atomic<bool>& stop, std::ostream& events,
                std::ostream& errors, RunTotals* totals = nullptr);

}  // namespace kl40sim
