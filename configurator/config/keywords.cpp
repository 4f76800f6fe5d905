#include "configurator/config/keywords.h"

namespace kl40 {

const std::array<TKeywordRow, kKindCount>& keyword_table() {
  // Comments are padded with spaces to exactly 45 characters (Cyrillic letters are two UTF-8
  // bytes each; the padding counts characters).
  static const std::array<TKeywordRow, kKindCount> table = {{
      {"", 0, kValueNone, 0, 0, 0, kValueNone, 0, 0, 0, ""},
      {"KL40", 0, kValueTextWrite, 0, 0, 0, kValueNone, 0, 0, 0, ""},
      {"ip", 6, kValueText, 0, 0, 0, kValueNumber, -1, 10001, 0,
       "; IP-адрес и порт пульта для GPRS            "},
      {"gd", 0, kValueNumber, 5, 15, 900, kValueNumber, 5, 30, 900,
       "; Периоды передачи дежурных режимов для GPRS "},
      {"gt", 0, kValueNumber, 5, 5, 60, kValueNumber, 1, 2, 100,
       "; Время ожидания и число неответов для GPRS  "},
      {"gi", 0, kValueText, 0, 0, 0, kValueNone, 0, 0, 0,
       "; Идентификатор для GPRS                     "},
      {"gk", 4, kValueText, 0, 0, 0, kValueNone, 0, 0, 0,
       "; Ключ шифрации для GPRS                     "},
  }};
  return table;
}

const TKeywordRow& keyword_row(std::uint8_t kind) {
  const auto& table = keyword_table();
  return kind < table.size() ? table[kind] : table[0];
}

}  // namespace kl40
