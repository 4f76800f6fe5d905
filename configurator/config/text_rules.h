// Text rules shared by the reader, the pages and the link window: group normalisation, hex
// grouping, and identifier and key parts taken from display texts.
//
// All functions work on UTF-8 and count characters (code points), as the single-byte texts of
// the device files count bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kl40 {

// Group normalisation. Walks TEXT collecting characters other than SEP into a group; a group is
// emitted (after SEP when something was emitted before), left-padded with PAD to N characters,
// at each SEP when it is not empty, as soon as it reaches N characters, and at the end. Empty
// groups are dropped. "192.168.0.1" ('.', '0', 3) gives "192.168.000.001"; "1234" gives
// "123.004"; "ABCDE" ('-', '0', 2) gives "AB-CD-0E"; "" gives "".
std::string normalise(std::string_view text, char sep, char pad, std::size_t n);

// Result of hex_format.
struct HexFormatResult {
  std::string text;
  bool changed = false;  // the result differs from the input in length or in any character
};

// The allowed characters of identifier and key texts.
inline constexpr std::string_view kHexDigits = "0123456789ABCDEFabcdef";

// Hex grouping. Drops every character of TEXT not in ALLOWED, pads on the right with PAD up to
// WIDTH, keeps the first WIDTH characters and, when GROUP is on, inserts SEP after every N-th
// character except after the last. With the identifier arguments (kHexDigits, '-', true, 12, 4,
// '0'): "0123456789ab" gives "0123-4567-89ab", "12" gives "1200-0000-0000".
HexFormatResult hex_format(std::string_view text, std::string_view allowed, char sep, bool group,
                           std::size_t width, std::size_t n, char pad);

// The identifier as the file list and the link window show it: hex_format with the identifier
// arguments ("0000-0000-0000" for the empty identifier).
std::string identifier_grouped(std::string_view identifier);

// Identifier from display text: of the first 14 characters of TEXT the hexadecimal digits stay
// and every other character is dropped; each of the 14 positions beyond the end of TEXT adds a
// "0". "0123-4567-89AB" gives "0123456789AB".
std::string identifier_from_display(std::string_view text);

// Key part from display text: the same over the first 23 characters.
std::string key_part_from_display(std::string_view text);

// A key part shown as eight pairs joined by "-": normalise(part, '-', '0', 2).
std::string key_part_display(std::string_view part);

// True when C is one of kHexDigits.
bool is_hex_digit(char c);

}  // namespace kl40
