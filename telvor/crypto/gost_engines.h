// The interchangeable implementations of GOST 28147-89 ECB runs. GostEncryptEcb and friends use the
// fastest one the processor has; tests and benchmarks can pick one by name to compare them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "telvor/crypto/gost.h"

namespace telvor {

enum class GostEngine : uint8_t {
  kPortable,  // four 256-entry tables, four blocks interleaved
  kAvx512,    // sixteen blocks per vector, nibble substitution by byte permutes (AVX-512 VBMI)
  kAvx2,      // eight blocks per vector, nibble substitution by byte shuffles (AVX2)
};

bool GostEngineAvailable(GostEngine engine);
// The engine the plain entry points use on this processor.
GostEngine GostActiveEngine();

// Runs `rounds` (8 or 32) of the given key word order over whole blocks with the named engine.
// The engine must be available.
enum class GostDirection : uint8_t { kEncrypt, kDecrypt };
void GostEcbWith(GostEngine engine, GostDirection direction, bool shortVariant, uint8_t* data,
                 size_t blocks, const GostKeyWords& key, const GostTables& tables);

}  // namespace telvor
