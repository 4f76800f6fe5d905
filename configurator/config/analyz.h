// Analyz: the command reader that fills a parameter set from lexemes, the command line of one
// command, and the writer of the 24-line file layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configurator/config/command.h"
#include "configurator/config/lexems.h"

namespace kl40 {

// Reads commands from LEX until the end of input, using SCRATCH as the command being read. Every
// command read without failure is range-enforced ("ip" addresses get "," turned into "." and are
// normalised into three-digit groups) and copied into its slot of SET; the last of a kind wins.
// Unknown words and malformed commands are skipped. A slot keeps its own kind and index.
void ReadCommands(TCommandMX3& scratch, TLexPipe& lex, T_DEVICE_CommandMX3& set);

// Reads the commands of TEXT (UTF-8) into SET as it is, without resetting it first (for example
// configuration lines a device receives).
void ReadCommandsText(std::string_view text, T_DEVICE_CommandMX3& set);

// Reads configuration lines as the link window sends them to a device (commands joined by one
// blank, "ip1-... ip2-... ip3-...") into SET without resetting it: every blank-separated word is
// read as a line of its own, so that a command whose second value may be missing ("ip2", "ip3")
// is not spoiled by the command after it.
void ReadConfigurationLines(std::string_view text, T_DEVICE_CommandMX3& set);

// The text of one command of SET without padding or "$": "KL40-<version>" (kind 1),
// "ip1-192,168,000,010.10001" (ip 1, 4, 5, 6), "ip2-000,000,000,000" (ip 2, 3), "gd-15.30",
// "gt-05.02", "gi-<identifier>", "gk1-<part>". Empty for a kind or index without a command line
// (kinds other than 1..6, "ip" outside 1..6, "gk" outside 1..4).
std::string CommandLine(const T_DEVICE_CommandMX3& set, std::uint8_t kind, std::int32_t index);

// CONTENT filled with spaces up to 45 characters, then "$" (a longer content gets "$" at once).
std::string PaddedLine(std::string_view content);

// The 24 lines (UTF-8, without line ends) of the file layout for SET.
std::vector<std::string> WriteLines(const T_DEVICE_CommandMX3& set);

}  // namespace kl40
