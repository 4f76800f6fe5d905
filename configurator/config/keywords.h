// The keyword table of a device configuration: one row per command kind, with its keyword in the
// file, its numbered instances, the types, ranges and defaults of its two values and the comment
// written above its block.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kl40 {

// Types of a command value.
enum : std::uint8_t {
  kValueNone = 0,       // value 2 only: the command has no second value
  kValueNumber = 1,     // a decimal number
  kValueText = 2,       // a text word
  kValueTextWrite = 3,  // text that is written but never read back (the version)
};

// Command kinds (rows of the keyword table). Kind 0 is the empty row of the reader's scratch command.
enum : std::uint8_t {
  kKindNone = 0,
  kKindVersion = 1,  // "KL40"
  kKindIp = 2,       // "ip0".."ip6"
  kKindDuty = 3,     // "gd"
  kKindAnswer = 4,   // "gt"
  kKindIdent = 5,    // "gi"
  kKindKey = 6,      // "gk0".."gk4"
};
inline constexpr std::uint8_t kKindCount = 7;

// One row of the keyword table.
struct TKeywordRow {
  std::string_view keyword;  // keyword in the file; empty for row 0
  std::uint8_t max_index;    // 0: the keyword stands alone; N: it carries a suffix 0..N
  std::uint8_t type1;        // kValueNumber, kValueText or kValueTextWrite
  std::int32_t min1, def1, max1;
  std::uint8_t type2;        // kValueNone, kValueNumber or kValueText
  std::int32_t min2, def2, max2;  // a negative min2 switches the range check of value 2 off
  std::string_view comment;  // UTF-8, exactly 45 characters; empty for rows 0 and 1
};

// The table, indexed by kind 0..6.
const std::array<TKeywordRow, kKindCount>& keyword_table();

// The row of KIND; kinds above 6 give row 0 (no keyword, no values).
const TKeywordRow& keyword_row(std::uint8_t kind);

// Width of a comment text and of a padded value line before its closing "$".
inline constexpr std::size_t kLineWidth = 45;

// Version text of a reset set.
inline constexpr std::string_view kDefaultVersion = "KL40 soft v.2.0";
// Address of a reset set once drawn: all four groups zero.
inline constexpr std::string_view kZeroAddress = "000.000.000.000";
// The default (cleared) key part; the default key is four of them.
inline constexpr std::string_view kDefaultKeyPart = "3C5A3C5A3C5A3C5A";
// Port given to an outgoing or server port that is 0 when the network page is drawn, and the
// default offered by the port checks (default 2 of "ip").
inline constexpr std::int32_t kDefaultPort = 10001;

}  // namespace kl40
