// Block tables of the station channel types 0, 1, 2, 4 and 5: one entry per block of the device,
// built when the session opens and rewritten by RefreshUnit.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace telvor {

class Host;
struct SessionWords;

struct BlockEntry {
  std::uint8_t status = 0;   // 5 present, 6 present and keyed, 0 absent
  std::uint8_t param1 = 0;
  std::uint8_t param2 = 0;
  std::uint8_t retry = 0;
  std::array<std::uint8_t, 15> counters{};
  std::int32_t stale = 1;
};

struct BlockTable {
  std::vector<BlockEntry> entries;
  std::vector<std::uint8_t> present;  // one byte per block: 1 present
  std::size_t size() const { return entries.size(); }
};

// 32 blocks for channel types 0, 1 and 2, 16 for type 4, 4 for type 5, none otherwise.
std::size_t block_table_size(std::int32_t type);

// Builds the table of a new session of |type|: types 0, 4 and 5 ask ZEB_HAS_BLOCK for every block
// (1-based), types 1 and 2 mark only the first block present. A present entry gets status 5,
// parameter byte 1 from word 44 (type 2: both parameter bytes), the retry byte from word 52
// (types 0, 4, 5) or 64 (types 1, 2), presence 1. For a keyed session without a pending key
// change a present entry gets status 6 and word 24 is saved and replaced by 10000.
BlockTable build_block_table(std::int32_t type, const std::uint8_t* id, const Host& host,
                             SessionWords& words, bool keyed, bool key_change_pending);

// Rewrites entry |block_no| (1-based) after the host answered ZEB_HAS_BLOCK with |present|:
// present means status 5, parameter bytes from offsets 44 and 52, presence 1, counters zero;
// absent means status and parameter bytes zero, presence 0, stale 1 and the retry byte from offset
// 52. Returns false, changing nothing, when the block number lies outside the table.
bool refresh_block(BlockTable& table, std::int32_t block_no, bool present, const Host& host);

}  // namespace telvor
