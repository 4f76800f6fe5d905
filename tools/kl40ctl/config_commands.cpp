#include "tools/kl40ctl/config_commands.h"

#include <cctype>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "configurator/config/pages.h"
#include "configurator/config/random.h"
#include "configurator/config/text_rules.h"
#include "configurator/config/validation.h"

namespace kl40::ctl {
namespace {

void file_fault(std::ostream& err, const std::string& file, const char* what,
                const FileError& e) {
  err << "kl40ctl: " << file << ": " << what << ": " << e.reason << "\n";
}

}  // namespace

std::optional<std::string> parse_hex_argument(const std::string& text, std::size_t digits,
                                              std::string& why) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-') continue;
    if (!is_hex_digit(c)) {
      const auto u = static_cast<unsigned char>(c);
      why = "character " + std::to_string(i + 1) +
            (u >= 0x21 && u < 0x7F ? std::string(" '") + c + "'" : std::string()) +
            " is not a hexadecimal digit (0-9, A-F)";
      return std::nullopt;
    }
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (out.size() != digits) {
    why = "it has " + std::to_string(out.size()) + " hexadecimal digits, " +
          std::to_string(digits) + " are needed";
    return std::nullopt;
  }
  return out;
}

int run_new(const NewOptions& o, std::ostream& out, std::ostream& err) {
  std::string id, key, why;
  if (o.id) {
    auto parsed = parse_hex_argument(*o.id, 12, why);
    if (!parsed) {
      err << "kl40ctl: invalid identifier '" << *o.id << "': " << why << "\n";
      return kExitUsage;
    }
    id = *parsed;
  }
  if (o.key) {
    auto parsed = parse_hex_argument(*o.key, 64, why);
    if (!parsed) {
      err << "kl40ctl: invalid key: " << why << "\n";
      return kExitUsage;
    }
    key = *parsed;
  }
  std::error_code ec;
  if (!o.force && std::filesystem::symlink_status(o.file, ec).type() !=
                      std::filesystem::file_type::not_found) {
    err << "kl40ctl: " << o.file << ": already exists (give --force to overwrite it)\n";
    return kExitUsage;
  }

  // A default set as the main window shows and unloads it: zero addresses, 10001 ports, zero
  // identifier and key digits.
  T_DEVICE_CommandMX3 set;
  MainWindowFields fields;
  RedrawAll(set, fields);
  if (o.generate_id) GenerateIdentField(fields.protocol, program_random());
  if (o.generate_key) GenerateKeyFields(fields.protocol);
  UnloadAll(fields, set);
  if (o.id) set.IdentCommands[0].SetText(1, id);
  if (o.key) {
    for (int part = 1; part <= 4; ++part)
      set.IdentCommands[part].SetText(1, key.substr((part - 1) * 16, 16));
  }

  FileError e;
  if (!SaveLines(o.file, WriteLines(set), &e)) {
    file_fault(err, o.file, "cannot be written", e);
    return kExitUsage;
  }
  out << o.file << ": written, identifier " << identifier_grouped(set.Identifier()) << "\n";
  return kExitOk;
}

int run_dump(const std::string& file, std::ostream& out, std::ostream& err) {
  T_DEVICE_CommandMX3 set;
  FileError e;
  if (!LoadFile(file, set, &e)) {
    file_fault(err, file, "cannot be read", e);
    return kExitUsage;
  }
  const std::string bytes = EncodeLines(WriteLines(set));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) {
    err << "kl40ctl: standard output cannot be written\n";
    return kExitUsage;
  }
  return kExitOk;
}

int run_check(const std::string& file, std::ostream& out, std::ostream& err) {
  T_DEVICE_CommandMX3 set;
  FileError e;
  if (!LoadFile(file, set, &e)) {
    file_fault(err, file, "cannot be read", e);
    return kExitUsage;
  }
  MainWindowFields fields;
  RedrawAll(set, fields);
  UnloadAll(fields, set);
  const auto failures = validate(set);
  for (const auto& f : failures) out << f.title << "\n" << f.text << "\n";
  if (failures.empty()) out << file << ": all checks passed\n";
  out.flush();
  return failures.empty() ? kExitOk : kExitChecksFailed;
}

}  // namespace kl40::ctl
