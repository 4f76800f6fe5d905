// Conversion between UTF-8 (the program's own texts) and Windows-1251 (configuration files and
// every text that crosses the library's C interface).
#pragma once

#include <string>
#include <string_view>

namespace kl40 {

// Character written for a code point that Windows-1251 cannot represent.
inline constexpr char kCp1251Unmappable = '?';

// Converts UTF-8 to Windows-1251. Code points without a Windows-1251 byte, and malformed UTF-8
// sequences, become kCp1251Unmappable (one per code point or per malformed byte).
std::string utf8_to_cp1251(std::string_view utf8);

// Converts Windows-1251 to UTF-8. The single unassigned byte 0x98 becomes U+FFFD.
std::string cp1251_to_utf8(std::string_view cp1251);

}  // namespace kl40
