#include "configurator/config/text_rules.h"

#include "configurator/config/utf8_chars.h"

namespace kl40 {
namespace utf8 {

std::size_t char_length(std::string_view text, std::size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  std::size_t len = 0;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) len = 2;
  else if (b >= 0xE0 && b <= 0xEF) len = 3;
  else if (b >= 0xF0 && b <= 0xF4) len = 4;
  else return 1;
  if (pos + len > text.size()) return 1;
  for (std::size_t i = 1; i < len; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

std::vector<std::string_view> chars(std::string_view text) {
  std::vector<std::string_view> out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = char_length(text, pos);
    out.push_back(text.substr(pos, len));
    pos += len;
  }
  return out;
}

std::size_t count(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += char_length(text, pos)) ++n;
  return n;
}

}  // namespace utf8

namespace {

// Text of the group CHARS left-padded with PAD to N characters.
void emit_group(std::string& out, bool& emitted, const std::vector<std::string_view>& group,
                char sep, char pad, std::size_t n) {
  if (emitted) out += sep;
  for (std::size_t i = group.size(); i < n; ++i) out += pad;
  for (auto c : group) out += c;
  emitted = true;
}

std::string from_display(std::string_view text, std::size_t positions) {
  std::string out;
  const auto cs = utf8::chars(text);
  for (std::size_t i = 0; i < positions; ++i) {
    if (i >= cs.size()) {
      out += '0';
    } else if (cs[i].size() == 1 && is_hex_digit(cs[i][0])) {
      out += cs[i][0];
    }
  }
  return out;
}

}  // namespace

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string normalise(std::string_view text, char sep, char pad, std::size_t n) {
  std::string out;
  bool emitted = false;
  std::vector<std::string_view> group;
  for (auto c : utf8::chars(text)) {
    if (c.size() == 1 && c[0] == sep) {
      if (!group.empty()) emit_group(out, emitted, group, sep, pad, n);
      group.clear();
      continue;
    }
    group.push_back(c);
    if (group.size() >= n) {
      emit_group(out, emitted, group, sep, pad, n);
      group.clear();
    }
  }
  if (!group.empty()) emit_group(out, emitted, group, sep, pad, n);
  return out;
}

HexFormatResult hex_format(std::string_view text, std::string_view allowed, char sep, bool group,
                           std::size_t width, std::size_t n, char pad) {
  std::vector<std::string_view> kept;
  for (auto c : utf8::chars(text)) {
    if (allowed.find(c) != std::string_view::npos) kept.push_back(c);
  }
  while (kept.size() < width) kept.push_back(std::string_view(&pad, 1));
  kept.resize(width);
  HexFormatResult result;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    result.text += kept[i];
    if (group && n > 0 && (i + 1) % n == 0 && i + 1 < kept.size()) result.text += sep;
  }
  result.changed = result.text != text;
  return result;
}

std::string identifier_grouped(std::string_view identifier) {
  return hex_format(identifier, kHexDigits, '-', true, 12, 4, '0').text;
}

std::string identifier_from_display(std::string_view text) { return from_display(text, 14); }

std::string key_part_from_display(std::string_view text) { return from_display(text, 23); }

std::string key_part_display(std::string_view part) { return normalise(part, '-', '0', 2); }

}  // namespace kl40
