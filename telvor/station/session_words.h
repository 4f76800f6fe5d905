// The 16-bit session words that a device session copies from the settings record (named by their
// byte offset in the record), with the session's own defaults before the copy, and the 32-bit
// settings of offsets 88 to 128.
#pragma once

#include <array>
#include <cstdint>

namespace telvor {

class Host;

struct SessionWords {
  std::uint16_t w8 = 0, w12 = 0, w16 = 0, w20 = 300, w24 = 2000, w28 = 3000, w32 = 10000, w36 = 0,
                w40 = 1, w44 = 3, w48 = 3, w52 = 5, w56 = 3, w60 = 3000, w64 = 5, w72 = 20000,
                w76 = 1000, w80 = 0;
  // Word 24 as it was before a keyed block table replaced it by 10000.
  std::uint16_t saved_w24 = 0;
  bool w24_saved = false;
  // Block-transfer parameters A and B of channel types 4 and 5.
  std::int32_t param_a = 0, param_b = 0;
  // The 32-bit settings of offsets 88, 92, ..., 128 (index (offset - 88) / 4).
  std::array<std::int32_t, 11> dwords{};

  // Overwrites the defaults with the record's values for a session of |type|.
  void copy_from(const Host& host, std::int32_t type);
};

}  // namespace telvor
