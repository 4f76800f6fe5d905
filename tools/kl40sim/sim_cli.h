// The command line of kl40sim.
#pragma once

#include <iosfwd>

#include "tools/kl40sim/sim_runner.h"

namespace kl40sim {

// Exit code for bad arguments.
inline constexpr int kExitBadArguments = 2;

// Fills |options| from the command line. Returns -1 when the simulator is to run, otherwise the
// exit code (0 after --help, kExitBadArguments with a message on |err| for bad arguments).
int parse_command_line(int argc, const char* const* argv, RunOptions& options, std::ostream& out,
                       std::ostream& err);

}  // namespace kl40sim
