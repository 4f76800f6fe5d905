// Lexems: the character source (TLitPipe), the lexeme (TLexema) and the lexeme source (TLexPipe)
// of the configuration file reader. They work on bytes; a byte 0 reads like the end of the text:
// it is the end of input where a lexeme would start, and it ends a word or number like the end
// does (reading then goes on after it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kl40 {

// Character source: the whole text and a 1-based read position (0 when there is no text).
class TLitPipe {
 public:
  // Takes TEXT; the position becomes 1, or 0 for an empty text.
  void SetText(std::string_view text);
  // The character at the position, advancing it; 0 when there is no text or the position is past
  // the end (the position then stays where it is).
  char Next();
  // Steps back one character, only when the position is not 0.
  void Back();
  std::int32_t Position() const { return pos_; }

 private:
  std::string text_;
  std::int32_t pos_ = 0;
};

// Lexeme kinds.
enum : std::uint8_t {
  kLexEol = 0,     // a CR or an LF (CR LF gives two)
  kLexWord = 1,    // text
  kLexNumber = 2,  // text and number
  kLexDot = 3,     // "."
  kLexComma = 4,   // ","
  kLexDash = 5,    // "-"
  kLexEnd = 6,     // end of input
};

// Reading modes: text mode, and token mode (every other value behaves as token mode).
enum : std::uint8_t {
  kModeToken = 0,
  kModeText = 1,
};

// One lexeme.
struct TLexema {
  std::uint8_t Kind = kLexEnd;
  std::string Text;
  std::int32_t Number = 0;

  bool operator==(const TLexema&) const = default;
};

// Lexeme source over a TLitPipe, with a one-lexeme push-back.
class TLexPipe {
 public:
  // Hands TEXT to the character source and clears the push-back.
  void SetText(std::string_view text);
  // The next lexeme read in MODE (kModeText or token mode); after PushBack the current lexeme
  // again, without reading, whatever the mode.
  const TLexema& Next(std::uint8_t mode);
  // The next call of Next returns the current lexeme again.
  void PushBack() { pushed_back_ = true; }
  const TLexema& Current() const { return lexeme_; }
  std::uint8_t Mode() const { return mode_; }

 private:
  void CollectNumber();
  void CollectWord();

  TLitPipe lit_;
  TLexema lexeme_;
  bool pushed_back_ = false;
  std::string collected_;
  std::uint8_t mode_ = kModeToken;
};

}  // namespace kl40
