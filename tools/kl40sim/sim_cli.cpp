#include "tools/kl40sim/sim_cli.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <sstream>

#include "configurator/config/config_file.h"

namespace kl40sim {

int parse_command_line(int argc, const char* const* argv, RunOptions& options, std::ostream& out,
                       std::ostream& err) {
  CLI::App app{"kl40sim: a simulated KL40 device (one or many) for a telvor host"};
  std::string server, id_hex, key_hex, new_key_hex, config_path;
  Faults& f = options.device.faults;
  // An option given twice takes its last value, so that scripts can override a default they pass.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("--server", server, "HOST:PORT of the host's library (UDP)")->required();
  app.add_option("--id", id_hex, "device identifier, 12 hexadecimal digits");
  app.add_option("--key", key_hex, "device key, 64 hexadecimal digits");
  app.add_option("--count", options.count, "number of devices, with consecutive identifiers")
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000}));
  app.add_option("--config", config_path, "configuration file (.ini) with the starting parameters");
  app.add_option("--new-key", new_key_hex,
                 "key taken at a key change (default: the key of the pending parameters)");
  app.add_option("--type", options.device.type, "packet type of status and data packets (2..9)")
      ->check(CLI::Range(2, 9));
  app.add_option("--duty-ms", options.device.duty_ms,
                 "duty period in milliseconds (default: duty period 1 of the parameters)");
  app.add_option("--answer-wait-ms", options.device.answer_wait_ms,
                 "wait before a data item is sent again (default: the answer wait of the parameters)");
  app.add_option("--time-every", options.device.time_request_every,
                 "every Nth status packet asks the time (0 = never)");
  app.add_option("--data-every", options.device.data_every_s, "send a data item this often, seconds")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--local-port", options.local_port, "local UDP port (default: any)");
  app.add_option("--seed", options.seed, "seed of the simulator's random choices");
  app.add_option("--run-for", options.run_for_s, "stop after this many seconds")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--drop", f.drop, "fraction of datagrams not sent")->check(CLI::Range(0.0, 1.0));
  app.add_option("--duplicate", f.duplicate, "fraction of datagrams sent twice")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--corrupt", f.corrupt, "fraction of datagrams with a corrupted body")
      ->check(CLI::Range(0.0, 1.0));
  app.add_flag("--bad-tags", f.bad_tags, "random time tags instead of the library's");
  app.add_flag("--replay", f.replay, "duty datagrams repeat the bytes last sent (a replay)");
  app.add_option("--silent-after", f.silent_after_s, "fall silent after this many seconds")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--silent-for", f.silent_for_s, "talk again after this long a silence, seconds")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--refuse-commands", f.refuse_commands, "refuse every command (msg_KVITBAD)");
  app.add_flag("--ignore-commands", f.ignore_commands, "never acknowledge a command");
  app.add_flag("--ignore-key-change", f.ignore_key_change, "never acknowledge a key change");
  app.add_flag("--quiet", options.quiet, "no event lines on standard output");
  app.add_flag("--no-stagger", [&](std::int64_t) { options.stagger = false; },
               "start all devices at once");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "kl40sim: " << e.what() << "\n" << "Run with --help for the options.\n";
    return kExitBadArguments;
  }

  if (!parse_host_port(server, options.server_host, options.server_port)) {
    err << "kl40sim: --server must be HOST:PORT with a port of 1 to 65535, not \"" << server << "\"\n";
    return kExitBadArguments;
  }
  DeviceConfig& d = options.device;
  if (!config_path.empty()) {
    kl40::FileError error;
    if (!kl40::LoadFile(config_path, d.params, &error)) {
      err << "kl40sim: cannot read the configuration file \"" << config_path << "\": " << error.title;
      if (!error.reason.empty()) err << " (" << error.reason << ")";
      err << "\n";
      return kExitBadArguments;
    }
  }
  if (!id_hex.empty()) {
    if (!parse_id(id_hex, d.id)) {
      err << "kl40sim: --id must be 12 hexadecimal digits, not \"" << id_hex << "\"\n";
      return kExitBadArguments;
    }
  } else if (config_path.empty() || !parse_id(d.params.Identifier(), d.id)) {
    err << "kl40sim: give the identifier with --id (or a configuration file that holds one)\n";
    return kExitBadArguments;
  }
  if (!key_hex.empty()) {
    if (!parse_key(key_hex, d.key)) {
      err << "kl40sim: --key must be 64 hexadecimal digits\n";
      return kExitBadArguments;
    }
  } else if (config_path.empty() || !key_of_parts(d.params, d.key)) {
    err << "kl40sim: give the key with --key (or a configuration file that holds one)\n";
    return kExitBadArguments;
  }
  if (!new_key_hex.empty()) {
    Key k{};
    if (!parse_key(new_key_hex, k)) {
      err << "kl40sim: --new-key must be 64 hexadecimal digits\n";
      return kExitBadArguments;
    }
    d.new_key = k;
  }
  if (f.refuse_commands && f.ignore_commands) {
    err << "kl40sim: --refuse-commands and --ignore-commands exclude each other\n";
    return kExitBadArguments;
  }
  return -1;
}

}  // namespace kl40sim
