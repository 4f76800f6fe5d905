// Random bytes for seals, time tags and key-change numbers. Each thread has its own generator,
// seeded once from the operating system's random source; no call shares state with another
// thread and nothing reseeds a process-wide generator.
#pragma once

#include <cstdint>
#include <span>

namespace telvor {

// Fills `out` with random bytes from the calling thread's generator.
void ThreadRandomFill(std::span<uint8_t> out);
uint8_t ThreadRandomByte();
// Four random bytes read as a little-endian word (a time tag made of random bytes).
uint32_t ThreadRandomWord();

}  // namespace telvor
