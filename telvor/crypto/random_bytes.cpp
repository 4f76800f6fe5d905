#include "telvor/crypto/random_bytes.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

namespace telvor {

namespace {

// xoshiro256**: fast, 256 bits of state, seeded per thread from the operating system.
class ThreadGenerator {
 public:
  ThreadGenerator() {
    uint8_t seed[sizeof(s_)];
    size_t got = 0;
    while (got < sizeof(seed)) {
      const ssize_t r = getrandom(seed + got, sizeof(seed) - got, 0);
      if (r <= 0) break;
      got += size_t(r);
    }
    if (got < sizeof(seed)) {
      // No kernel source: std::random_device, mixed with the clock and the thread.
      std::random_device device;
      for (size_t i = 0; i < sizeof(seed); ++i) seed[i] = uint8_t(device());
      const uint64_t mix = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           std::hash<std::thread::id>{}(std::this_thread::get_id());
      for (size_t i = 0; i < 8; ++i) seed[i] ^= uint8_t(mix >> (8 * i));
    }
    std::memcpy(s_, seed, sizeof(s_));
    if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0) s_[0] = 0x9E3779B97F4A7C15ull;
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

ThreadGenerator& Generator() {
  thread_local ThreadGenerator generator;
  return generator;
}

}  // namespace

void ThreadRandomFill(std::span<uint8_t> out) {
  ThreadGenerator& g = Generator();
  size_t i = 0;
  while (i < out.size()) {
    uint64_t v = g.Next();
    for (int k = 0; k < 8 && i < out.size(); ++k, ++i, v >>= 8) out[i] = uint8_t(v);
  }
}

uint8_t ThreadRandomByte() { return uint8_t(Generator().Next() >> 56); }

uint32_t ThreadRandomWord() { return uint32_t(Generator().Next() >> 32); }

}  // namespace telvor
