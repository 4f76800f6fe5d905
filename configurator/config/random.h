// The program's random source, identifier generation, and key generation and clearing.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kl40 {

// The clock the program's generator reads its seed from at start-up (the system clock).
std::chrono::system_clock::time_point startup_clock();

// The program's pseudo-random generator: a 32-bit state stepped as
// state := state * 134775813 + 1 (mod 2^32); a draw from range N steps the state and returns
// the upper 32 bits of the 64-bit product state * N, a value 0..N-1.
class TRandomSource {
 public:
  explicit TRandomSource(std::uint32_t seed = 0) : state_(seed) {}

  void Seed(std::uint32_t seed) { state_ = seed; }
  std::uint32_t State() const { return state_; }

  // A value 0..N-1 (0 when N is 0).
  std::uint32_t Draw(std::uint32_t n);

 private:
  std::uint32_t state_;
};

// Milliseconds since midnight UTC of NOW: ((hour * 60 + minute) * 60 + second) * 1000 + ms.
std::uint32_t ms_since_utc_midnight(std::chrono::system_clock::time_point now);

// The process-wide generator, seeded once at program start-up (before main) with
// ms_since_utc_midnight of the time then, so that the first identifier depends only on when the
// program started, not on when it was first asked for one.
TRandomSource& program_random();

// N draws from range 16, each as an upper-case hexadecimal digit.
std::string random_hex(TRandomSource& random, std::size_t n);

// A new identifier: 12 draws from range 16 as upper-case hexadecimal digits, no separators.
std::string generate_identifier(TRandomSource& random);

// The 64 draws from range 16 that making a key takes from RANDOM. The key parts themselves come
// from the operating system (generate_key_parts); RANDOM still steps as if it had made them, so
// that the identifiers generated after a key are the ones the program's generator gives.
void step_for_key(TRandomSource& random);

// Fills a buffer with random bytes. The default takes them from the operating system's
// cryptographic source (getrandom); tests inject their own.
using RandomBytes = std::function<void(std::uint8_t* out, std::size_t size)>;

// Random bytes from the operating system's cryptographic source. Throws std::runtime_error when
// the source cannot give them.
void os_random_bytes(std::uint8_t* out, std::size_t size);

// Four new key parts of 16 upper-case hexadecimal digits each (8 random bytes per part, high
// nibble first), parts 1..4 in order. Without BYTES the operating system's source is used.
std::array<std::string, 4> generate_key_parts(const RandomBytes& bytes = {});

// The four parts of the cleared (default) key: kDefaultKeyPart each.
std::array<std::string, 4> cleared_key_parts();

}  // namespace kl40
