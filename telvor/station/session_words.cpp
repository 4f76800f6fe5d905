#include "telvor/station/session_words.h"

#include "telvor/protocol/host.h"

namespace telvor {

void SessionWords::copy_from(const Host& host, std::int32_t type) {
  w8 = host.word(8);
  w12 = host.word(12);
  w16 = host.word(16);
  w20 = host.word(20);
  w24 = host.word(24);
  w28 = host.word(28);
  w32 = host.word(32);
  w36 = host.word(36);
  w40 = host.word(40);
  w44 = host.word(44);
  w48 = host.word(48);
  w52 = host.word(52);
  w56 = host.word(56);
  w60 = host.word(60);
  w64 = host.word(64);
  w72 = host.word(72);
  w76 = host.word(76);
  w80 = host.word(80);
  if (type == 4) {
    param_b = host.slot(84);
    param_a = 0;
  } else if (type == 5) {
    param_a = host.slot(84);
    param_b = 1;
  }
  for (std::size_t i = 0; i < dwords.size(); ++i) dwords[i] = host.slot(88 + 4 * i);
}

}  // namespace telvor
