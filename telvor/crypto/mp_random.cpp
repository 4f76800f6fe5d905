#include "telvor/crypto/mp_random.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "telvor/crypto/md5.h"

namespace telvor {
namespace {

void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void SecureClear(void* p, std::size_t n) {
  volatile std::uint8_t* b = static_cast<volatile std::uint8_t*>(p);
  while (n-- > 0) *b++ = 0;
}

// The state as a 128-bit big-endian counter, stepped the way this generator has always done
// it: byte 15 goes up by one, and the step moves on to the byte before only while the byte just
// stepped was 0 before its addition.
void StepState(std::array<std::uint8_t, 16>& state) {
  for (std::size_t i = state.size(); i-- > 0;) {
    const std::uint8_t before = state[i]++;
    if (before != 0) break;
  }
}

class SystemClock final : public SeedClock {
 public:
  std::time_t Now() override { return std::time(nullptr); }
  std::uint32_t ProcessorClock() override { return static_cast<std::uint32_t>(std::clock()); }
};

}  // namespace

void MixRandom(RandomGenerator& generator, std::span<const std::uint8_t> block) {
  const Md5Digest digest = Md5Of(block);
  unsigned carry = 0;
  for (std::size_t i = 16; i-- > 0;) {
    const unsigned sum = unsigned{generator.state[i]} + digest[i] + carry;
    generator.state[i] = static_cast<std::uint8_t>(sum);
    carry = sum >> 8;
  }
  generator.bytes_needed =
      block.size() >= generator.bytes_needed ? 0 : generator.bytes_needed - static_cast<std::uint32_t>(block.size());
}

std::uint32_t RandomBytes(RandomGenerator& generator, std::span<std::uint8_t> out) {
  if (generator.bytes_needed != 0) return kRandomNeedsSeed;
  // A foreign or damaged record cannot make us read outside the output block.
  std::uint32_t available = std::min<std::uint32_t>(generator.output_available, 16);
  std::size_t pos = 0;
  std::size_t wanted = out.size();
  while (wanted > available) {
    std::copy_n(generator.output.begin() + (16 - available), available, out.begin() + pos);
    pos += available;
    wanted -= available;
    generator.output = Md5Of(generator.state);
    available = 16;
    StepState(generator.state);
  }
  std::copy_n(generator.output.begin() + (16 - available), wanted, out.begin() + pos);
  generator.output_available = available - static_cast<std::uint32_t>(wanted);
  return 0;
}

void SeedRandom(RandomGenerator& generator, SeedClock& clock) {
  generator = RandomGenerator{};
  std::uint8_t calendar[36];
  while (generator.bytes_needed > 0) {
    const std::time_t now = clock.Now();
    std::tm tm{};
#ifdef _WIN32
    if (gmtime_s(&tm, &now) != 0) tm = std::tm{};
#else
    if (gmtime_r(&now, &tm) == nullptr) tm = std::tm{};
#endif
    const int fields[9] = {tm.tm_sec,  tm.tm_min,  tm.tm_hour, tm.tm_mday, tm.tm_mon,
                           tm.tm_year, tm.tm_wday, tm.tm_yday, tm.tm_isdst};
    for (int i = 0; i < 9; ++i) StoreLe32(calendar + 4 * i, static_cast<std::uint32_t>(fields[i]));
    MixRandom(generator, calendar);
    std::uint8_t ticks[4];
    StoreLe32(ticks, clock.ProcessorClock());
    MixRandom(generator, ticks);
  }
  SecureClear(calendar, sizeof calendar);
}

void SeedRandom(RandomGenerator& generator) {
  SystemClock clock;
  SeedRandom(generator, clock);
  std::random_device device;  // the operating system's random source
  std::uint8_t extra[32];
  for (std::size_t i = 0; i < sizeof extra; i += 4) StoreLe32(extra + i, device());
  MixRandom(generator, extra);
  SecureClear(extra, sizeof extra);
}

}  // namespace telvor
