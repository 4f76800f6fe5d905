#include "configurator/config/analyz.h"

#include <algorithm>

#include "configurator/config/text_rules.h"
#include "configurator/config/utf8_chars.h"

namespace kl40 {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Leading and trailing characters up to the blank (controls included) removed.
std::string trim_blanks(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// The index suffix of an indexed keyword: one or more digits not above MAX; -1 otherwise.
std::int32_t parse_index(std::string_view rest, std::int32_t max) {
  if (rest.empty()) return -1;
  std::int64_t value = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > max) return -1;
  }
  return static_cast<std::int32_t>(value);
}

// A "-" must follow the keyword; otherwise the lexeme is pushed back.
bool expect_dash(TLexPipe& lex) {
  if (lex.Next(kModeToken).Kind == kLexDash) return true;
  lex.PushBack();
  return false;
}

bool read_number1(TLexPipe& lex, TCommandMX3& cmd) {
  if (!expect_dash(lex)) return false;
  const TLexema& lx = lex.Next(kModeToken);
  switch (lx.Kind) {
    case kLexNumber: cmd.SetValue(1, lx.Number); return true;
    case kLexEol: cmd.SetValue(1, 0); return true;
    case kLexDot:
    case kLexComma: lex.PushBack(); cmd.SetValue(1, 0); return true;
    default: lex.PushBack(); return false;
  }
}

bool read_text1(TLexPipe& lex, TCommandMX3& cmd) {
  if (!expect_dash(lex)) return false;
  const TLexema& lx = lex.Next(kModeText);
  switch (lx.Kind) {
    case kLexWord: cmd.SetText(1, trim_blanks(lx.Text)); return true;
    case kLexEol: cmd.SetText(1, {}); return true;
    case kLexDot: lex.PushBack(); cmd.SetText(1, {}); return true;
    default: lex.PushBack(); return false;
  }
}

bool read_number2(TLexPipe& lex, TCommandMX3& cmd) {
  const TLexema& first = lex.Next(kModeToken);
  if (first.Kind == kLexEol) {
    cmd.SetValue(2, 0);
    return true;
  }
  if (first.Kind != kLexDot) {
    lex.PushBack();
    return false;
  }
  const TLexema& second = lex.Next(kModeToken);
  if (second.Kind == kLexEol) {
    cmd.SetValue(2, 0);
    return true;
  }
  if (second.Kind == kLexNumber) {
    cmd.SetValue(2, second.Number);
    return true;
  }
  lex.PushBack();
  return false;
}

// Decimal with a leading "0" below 10, as the "gd" and "gt" lines write their numbers.
std::string two_digits(std::int32_t v) {
  std::string s = std::to_string(v);
  return v >= 0 && v < 10 ? "0" + s : s;
}

}  // namespace

void ReadCommands(TCommandMX3& scratch, TLexPipe& lex, T_DEVICE_CommandMX3& set) {
  for (;;) {
    const TLexema& lx = lex.Next(kModeToken);
    if (lx.Kind == kLexEnd) return;
    if (lx.Kind == kLexEol) continue;
    std::string word = lx.Text;
    std::transform(word.begin(), word.end(), word.begin(), ascii_lower);
    std::uint8_t kind = kKindNone;
    for (std::uint8_t k = kKindIp; k < kKindCount; ++k) {
      if (word.starts_with(keyword_row(k).keyword)) {
        kind = k;
        break;
      }
    }
    if (kind == kKindNone) continue;
    const TKeywordRow& row = keyword_row(kind);
    std::int32_t index = 0;
    if (row.max_index > 0) {
      index = parse_index(std::string_view(word).substr(row.keyword.size()), row.max_index);
      if (index < 0) continue;
    }
    scratch.SetKind(kind);
    scratch.SetIndex(index);
    scratch.Reset();
    const bool ok1 = row.type1 == kValueNumber ? read_number1(lex, scratch) : read_text1(lex, scratch);
    if (!ok1) continue;
    if (row.type2 == kValueNumber && !read_number2(lex, scratch)) continue;

    scratch.EnforceRange();
    if (kind == kKindIp) {
      std::string address = scratch.Text1();
      std::replace(address.begin(), address.end(), ',', '.');
      scratch.SetText(1, normalise(address, '.', '0', 3));
    }
    if (TCommandMX3* slot = set.Slot(kind, index)) {
      // The slot keeps its own kind and index, so that resetting the set stays right even after
      // "ip0" or "gk0" landed in the version or identifier slot.
      slot->SetValue(1, scratch.Value1());
      slot->SetValue(2, scratch.Value2());
      slot->SetText(1, scratch.Text1());
      slot->SetText(2, scratch.Text2());
    }
    scratch.Reset();
  }
}

void ReadCommandsText(std::string_view text, T_DEVICE_CommandMX3& set) {
  TLexPipe lex;
  lex.SetText(text);
  TCommandMX3 scratch;
  ReadCommands(scratch, lex, set);
}

void ReadConfigurationLines(std::string_view text, T_DEVICE_CommandMX3& set) {
  std::string lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of(" \r\n", pos);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop > pos) {
      lines.append(text.substr(pos, stop - pos));
      lines += "\r\n";
    }
    pos = stop + 1;
  }
  ReadCommandsText(lines, set);
}

std::string CommandLine(const T_DEVICE_CommandMX3& set, std::uint8_t kind, std::int32_t index) {
  switch (kind) {
    case kKindVersion:
      return std::string(keyword_row(kKindVersion).keyword) + "-" + set.NetCommands[0].Text1();
    case kKindIp: {
      if (index < 1 || index > 6) return {};
      const TCommandMX3& cmd = set.NetCommands[index];
      std::string address = cmd.Text1();
      std::replace(address.begin(), address.end(), '.', ',');
      std::string line = "ip" + std::to_string(index) + "-" + address;
      if (index == kSlotDevice || index >= kSlotServer1) line += "." + std::to_string(cmd.Value2());
      return line;
    }
    case kKindDuty:
      return "gd-" + two_digits(set.DutyCommand.Value1()) + "." +
             two_digits(set.DutyCommand.Value2());
    case kKindAnswer:
      return "gt-" + two_digits(set.AnswerCommand.Value1()) + "." +
             two_digits(set.AnswerCommand.Value2());
    case kKindIdent:
      return "gi-" + set.IdentCommands[0].Text1();
    case kKindKey:
      if (index < 1 || index > 4) return {};
      return "gk" + std::to_string(index) + "-" + set.IdentCommands[index].Text1();
    default:
      return {};
  }
}

std::string PaddedLine(std::string_view content) {
  std::string line(content);
  const std::size_t n = utf8::count(content);
  if (n < kLineWidth) line.append(kLineWidth - n, ' ');
  line += '$';
  return line;
}

std::vector<std::string> WriteLines(const T_DEVICE_CommandMX3& set) {
  std::vector<std::string> lines;
  lines.reserve(24);
  const std::string blank = PaddedLine(";");
  lines.push_back(CommandLine(set, kKindVersion, 0));
  for (std::uint8_t kind = kKindIp; kind < kKindCount; ++kind) {
    const TKeywordRow& row = keyword_row(kind);
    lines.push_back(blank);
    lines.push_back(PaddedLine(row.comment));
    if (row.max_index == 0) {
      lines.push_back(PaddedLine(CommandLine(set, kind, 0)));
    } else {
      for (std::int32_t i = 1; i <= row.max_index; ++i)
        lines.push_back(PaddedLine(CommandLine(set, kind, i)));
    }
  }
  return lines;
}

}  // namespace kl40
