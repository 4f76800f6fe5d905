// kl40ctl: command line for KL40 device configuration files.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "tools/kl40ctl/config_commands.h"

int main(int argc, char** argv) {
  using namespace kl40::ctl;
  CLI::App app{"kl40ctl - KL40 device configuration files"};
  app.require_subcommand(1);

  NewOptions new_options;
  CLI::App* cmd_new = app.add_subcommand(
      "new", "Write a default configuration, optionally with an identifier and a key");
  cmd_new->add_option("FILE", new_options.file, "configuration file to create")->required();
  auto* id = cmd_new->add_option("--id", new_options.id,
                                 "identifier: 12 hexadecimal digits (\"-\" between them allowed)");
  auto* gen_id = cmd_new->add_flag("--generate-id", new_options.generate_id,
                                   "generate a random identifier");
  auto* key = cmd_new->add_option("--key", new_options.key,
                                  "key: 64 hexadecimal digits (\"-\" between them allowed)");
  auto* gen_key = cmd_new->add_flag("--generate-key", new_options.generate_key,
                                    "generate a random key from the system's random source");
  id->excludes(gen_id);
  key->excludes(gen_key);
  cmd_new->add_flag("--force", new_options.force, "overwrite an existing file");

  std::string dump_file;
  CLI::App* cmd_dump = app.add_subcommand(
      "dump", "Read a configuration file and write it as the configurator stores it");
  cmd_dump->add_option("FILE", dump_file, "configuration file to read")->required();

  std::string check_file;
  CLI::App* cmd_check = app.add_subcommand(
      "check", "Check a configuration file as the configurator does before saving");
  cmd_check->add_option("FILE", check_file, "configuration file to check")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e) == 0 ? kExitOk : kExitUsage;  // --help
    std::cerr << "kl40ctl: " << e.what() << " (kl40ctl --help shows the usage)\n";
    return kExitUsage;
  }

  try {
    if (*cmd_new) return run_new(new_options, std::cout, std::cerr);
    if (*cmd_dump) return run_dump(dump_file, std::cout, std::cerr);
    if (*cmd_check) return run_check(check_file, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "kl40ctl: " << e.what() << "\n";
    return kExitUsage;
  }
  return kExitUsage;
}
