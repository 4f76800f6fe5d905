#include "telvor/station/block_table.h"

#include "telvor/protocol/host.h"
#include "telvor/station/session_words.h"

namespace telvor {

std::size_t block_table_size(std::int32_t type) {
  switch (type) {
    case 0:
    case 1:
    case 2: return 32;
    case 4: return 16;
    case 5: return 4;
    default: return 0;
  }
}

BlockTable build_block_table(std::int32_t type, const std::uint8_t* id, const Host& host,
                             SessionWords& words, bool keyed, bool key_change_pending) {
  BlockTable table;
  const std::size_t n = block_table_size(type);
  table.entries.assign(n, BlockEntry{});
  table.present.assign(n, 0);
  const bool asks = type == 0 || type == 4 || type == 5;
  for (std::size_t i = 0; i < n; ++i) {
    const bool present = asks ? host.call_has_block(type, id, static_cast<std::int32_t>(i + 1)) != 0
                              : i == 0;
    if (!present) continue;
    BlockEntry& e = table.entries[i];
    e.status = 5;
    e.param1 = static_cast<std::uint8_t>(words.w44);
    if (type == 2) e.param2 = static_cast<std::uint8_t>(words.w44);
    e.retry = static_cast<std::uint8_t>(asks ? words.w52 : words.w64);
    e.stale = 1;
    table.present[i] = 1;
    if (keyed && !key_change_pending) {
      // Saved once: a second present block must not save the replacement.
      if (!words.w24_saved) {
        words.saved_w24 = words.w24;
        words.w24_saved = true;
      }
      words.w24 = 10000;
      e.status = 6;
    }
  }
  return table;
}

bool refresh_block(BlockTable& table, std::int32_t block_no, bool present, const Host& host) {
  if (block_no < 1 || static_cast<std::size_t>(block_no) > table.size()) return false;
  BlockEntry& e = table.entries[static_cast<std::size_t>(block_no - 1)];
  const std::size_t i = static_cast<std::size_t>(block_no - 1);
  if (present) {
    e.status = 5;
    e.param1 = static_cast<std::uint8_t>(host.word(44));
    e.param2 = static_cast<std::uint8_t>(host.word(52));
    e.counters = {};
    table.present[i] = 1;
  } else {
    e.status = 0;
    e.param1 = 0;
    e.param2 = 0;
    e.stale = 1;
    e.retry = static_cast<std::uint8_t>(host.word(52));
    table.present[i] = 0;
  }
  return true;
}

}  // namespace telvor
