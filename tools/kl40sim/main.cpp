// kl40sim: plays one KL40 device, or many with consecutive identifiers, against a host that runs
// libtelvor. Exit codes: 0 after a clean stop (SIGINT, SIGTERM or --run-for), 1 when the socket
// cannot be set up, 2 for bad arguments.
#include <atomic>
#include <csignal>
#include <iostream>

#include "tools/kl40sim/sim_cli.h"

namespace {
std::atomic<bool> g_stop{false};
extern "C" void on_signal(int) { g_stop.store(true); }
}  // namespace

int main(int argc, char** argv) {
  kl40sim::RunOptions options;
  const int parsed = kl40sim::parse_command_line(argc, argv, options, std::cout, std::cerr);
  if (parsed >= 0) return parsed;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return kl40sim::run_devices(options, g_stop, std::cout, std::cerr);
}
