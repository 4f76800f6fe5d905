// Fuzzes the configuration file reader with arbitrary file bytes: reading must never crash or
// hang, the window path and the checks must accept whatever was read, and writing what was read
// must settle: a file written from a file written by the configurator reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "configurator/config/pages.h"
#include "configurator/config/validation.h"

namespace {

std::string write_of(std::string_view file_bytes) {
  kl40::T_DEVICE_CommandMX3 set;
  kl40::LoadText(kl40::FileText(file_bytes), set);
  return kl40::EncodeLines(kl40::WriteLines(set));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  kl40::T_DEVICE_CommandMX3 set;
  kl40::LoadText(kl40::FileText(bytes), set);
  const std::string first = kl40::EncodeLines(kl40::WriteLines(set));

  // The reader straight on the text, without the line list, into a set that is not reset.
  kl40::T_DEVICE_CommandMX3 direct = set;
  kl40::ReadCommandsText(kl40::FileText(bytes), direct);

  // The window path: draw, unload, check, and the dialogue taking every default.
  kl40::MainWindowFields fields;
  kl40::RedrawAll(set, fields);
  kl40::UnloadAll(fields, set);
  kl40::run_validation_dialogue(
      set, [](const kl40::CheckFailure&) { return kl40::ErrorAnswer::SetDefault; });

  const std::string second = write_of(first);
  const std::string third = write_of(second);
  if (second != third) std::abort();
  return 0;
}
