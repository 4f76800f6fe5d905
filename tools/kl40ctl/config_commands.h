// The configuration-file commands of kl40ctl: new, dump and check.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace kl40::ctl {

// Exit codes of kl40ctl.
enum : int {
  kExitOk = 0,
  kExitChecksFailed = 1,
  kExitUsage = 2,  // bad usage, or a file that cannot be read or written
};

struct NewOptions {
  std::string file;
  std::optional<std::string> id;   // 12 hexadecimal digits, "-" between them allowed
  bool generate_id = false;
  std::optional<std::string> key;  // 64 hexadecimal digits, "-" between them allowed
  bool generate_key = false;
  bool force = false;
};

// Checks an identifier or key given on the command line: DIGITS hexadecimal digits, "-" anywhere
// between them ignored. Returns the digits in upper case, or nothing with WHY telling what is wrong.
std::optional<std::string> parse_hex_argument(const std::string& text, std::size_t digits,
                                              std::string& why);

// Writes a default configuration (then the given or generated identifier and key) to FILE.
int run_new(const NewOptions& options, std::ostream& out, std::ostream& err);

// Reads FILE into a reset set and writes the bytes the writer produces for it to OUT.
int run_dump(const std::string& file, std::ostream& out, std::ostream& err);

// Loads FILE as the main window does on opening (reset, read, redraw, unload), runs the checks
// and prints each failing check's title and text; 1 when any fails.
int run_check(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace kl40::ctl
