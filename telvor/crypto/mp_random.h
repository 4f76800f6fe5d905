// The random generator of the RSA key pairs: a 16-byte state stepped through MD5.
//
// A generator is usable only after at least 512 bytes of seed material have been mixed into it;
// until then RandomBytes refuses with kRandomNeedsSeed. SeedRandom provides that material for a
// device session. A generator is not safe for concurrent use: each session owns its own.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <span>

namespace telvor {

// RandomBytes before the generator has been given enough seed material.
inline constexpr std::uint32_t kRandomNeedsSeed = 0x0408;
// Seed bytes a fresh generator needs before it gives output.
inline constexpr std::uint32_t kRandomSeedBytes = 512;

struct RandomGenerator {
  std::uint32_t bytes_needed = kRandomSeedBytes;  // seed bytes still needed before use
  std::array<std::uint8_t, 16> state{};           // byte 15 is the least significant
  std::uint32_t output_available = 0;             // unread bytes at the end of `output`
  std::array<std::uint8_t, 16> output{};
};

// Where SeedRandom takes its material from; a test passes a fake.
class SeedClock {
 public:
  virtual ~SeedClock() = default;
  // Current calendar time in seconds since 1970-01-01 UTC, as time() gives it.
  virtual std::time_t Now() = 0;
  // The processor-clock count, as clock() gives it.
  virtual std::uint32_t ProcessorClock() = 0;
};

// Adds the MD5 digest of `block` to the state (two 128-bit big-endian numbers, the final carry
// dropped) and lowers the bytes still needed by the block's length, not below 0.
void MixRandom(RandomGenerator& generator, std::span<const std::uint8_t> block);

// Fills `out`. Returns 0, or kRandomNeedsSeed (out untouched) while seed bytes are still needed.
std::uint32_t RandomBytes(RandomGenerator& generator, std::span<std::uint8_t> out);

// Sets the generator up afresh (512 bytes needed, state 0, no output) and seeds it: rounds of
// the UTC calendar record of clock.Now() (nine 32-bit little-endian fields, 36 bytes) followed
// by the 4-byte processor-clock count, until no seed bytes are needed (13 rounds).
void SeedRandom(RandomGenerator& generator, SeedClock& clock);

// As above with the system clock; afterwards 32 bytes from the operating system's random source
// are mixed in as well, so that a session's keys do not follow from the time they were made.
void SeedRandom(RandomGenerator& generator);

}  // namespace telvor
