// The library's built-in key: the same 32 bytes as the configurator's default key (four key parts
// "3C5A3C5A3C5A3C5A" in order). Built at run time from a short constant whenever it is asked for,
// so the full key never stands in the binary as one block.
#pragma once

#include "telvor/crypto/gost.h"

namespace telvor {

GostFullKey GostDefaultKey();

}  // namespace telvor
