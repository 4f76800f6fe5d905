#include "configurator/config/lexems.h"

namespace kl40 {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

}  // namespace

void TLitPipe::SetText(std::string_view text) {
  text_.assign(text);
  pos_ = text_.empty() ? 0 : 1;
}

char TLitPipe::Next() {
  if (pos_ == 0 || static_cast<std::size_t>(pos_) > text_.size()) return '\0';
  return text_[static_cast<std::size_t>(pos_++) - 1];
}

void TLitPipe::Back() {
  if (pos_ != 0) --pos_;
}

void TLexPipe::SetText(std::string_view text) {
  lit_.SetText(text);
  pushed_back_ = false;
  lexeme_ = TLexema{};
}

const TLexema& TLexPipe::Next(std::uint8_t mode) {
  collected_.clear();
  if (pushed_back_) {
    pushed_back_ = false;
    return lexeme_;
  }
  mode_ = mode;
  const bool text_mode = mode == kModeText;
  auto set = [this](std::uint8_t kind, std::string text) -> const TLexema& {
    lexeme_.Kind = kind;
    lexeme_.Text = std::move(text);
    lexeme_.Number = 0;
    return lexeme_;
  };
  for (;;) {
    char c = lit_.Next();
    if (c == '\0') return set(kLexEnd, {});
    if (is_line_end(c)) return set(kLexEol, {});
    if (c == '$') continue;
    if (c == ' ' && !text_mode) continue;
    if (c == ';') {
      // A comment runs up to and including the next line end or "$".
      for (;;) {
        c = lit_.Next();
        if (c == '\0') return set(kLexEnd, {});
        if (is_line_end(c) || c == '$') break;
      }
      continue;
    }
    if (c == '.') return set(kLexDot, ".");
    if (!text_mode && c == ',') return set(kLexComma, ",");
    if (!text_mode && c == '-') return set(kLexDash, "-");
    collected_ += c;
    if (!text_mode && is_digit(c)) CollectNumber();
    else CollectWord();
    return lexeme_;
  }
}

void TLexPipe::CollectNumber() {
  for (;;) {
    const char c = lit_.Next();
    if (is_digit(c)) {
      collected_ += c;
      if (collected_.size() > 5) {
        CollectWord();
        return;
      }
      continue;
    }
    if (c == ' ' || c == '$' || is_line_end(c) || c == '\0') break;
    lit_.Back();
    break;
  }
  std::int32_t value = 0;
  for (char d : collected_) value = value * 10 + (d - '0');
  lexeme_.Kind = kLexNumber;
  lexeme_.Text = collected_;
  lexeme_.Number = value;
}

void TLexPipe::CollectWord() {
  const bool text_mode = mode_ == kModeText;
  for (;;) {
    const char c = lit_.Next();
    if (c == '\0' || c == '$' || is_line_end(c)) break;
    if (c == ' ') {
      collected_ += c;
      break;
    }
    if (c == '.' || c == ';') {
      lit_.Back();
      break;
    }
    if ((c == ',' || c == '-') && !text_mode) {
      lit_.Back();
      break;
    }
    collected_ += c;
  }
  lexeme_.Kind = kLexWord;
  lexeme_.Text = collected_;
  lexeme_.Number = 0;
}

}  // namespace kl40
