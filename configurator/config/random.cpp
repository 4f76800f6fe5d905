#include "configurator/config/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "configurator/config/keywords.h"

namespace kl40 {

// The clock the program's generator is seeded from. Weak, so that a test program can give a
// clock of its own and see when the seed was taken.
[[gnu::weak]] std::chrono::system_clock::time_point startup_clock() {
  return std::chrono::system_clock::now();
}
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

}  // namespace

std::uint32_t TRandomSource::Draw(std::uint32_t n) {
  state_ = state_ * 134775813u + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state_) * n) >> 32);
}

std::uint32_t ms_since_utc_midnight(std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  const auto since_epoch = duration_cast<milliseconds>(now.time_since_epoch()).count();
  constexpr std::int64_t kDay = 24LL * 60 * 60 * 1000;
  std::int64_t ms = since_epoch % kDay;
  if (ms < 0) ms += kDay;
  return static_cast<std::uint32_t>(ms);
}

TRandomSource& program_random() {
  static TRandomSource random(ms_since_utc_midnight(startup_clock()));
  return random;
}

namespace {
// Seeds the program's generator while the program starts.
[[maybe_unused]] const bool kSeededAtStartUp = (program_random(), true);
}  // namespace

std::string random_hex(TRandomSource& random, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out += kUpperHex[random.Draw(16)];
  return out;
}

std::string generate_identifier(TRandomSource& random) { return random_hex(random, 12); }

void step_for_key(TRandomSource& random) {
  for (int i = 0; i < 64; ++i) random.Draw(16);
}

void os_random_bytes(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = getrandom(out + done, size - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == ENOSYS) break;
    throw std::runtime_error(std::string("no random bytes from the system: ") +
                             std::strerror(errno));
  }
  if (done == size) return;
  // Kernels without getrandom: the random device gives the same bytes.
  std::ifstream device("/dev/urandom", std::ios::binary);
  device.read(reinterpret_cast<char*>(out + done), static_cast<std::streamsize>(size - done));
  if (!device || static_cast<std::size_t>(device.gcount()) != size - done)
    throw std::runtime_error("no random bytes from the system: /dev/urandom cannot be read");
}

std::array<std::string, 4> generate_key_parts(const RandomBytes& bytes) {
  std::uint8_t raw[32];
  if (bytes) bytes(raw, sizeof raw);
  else os_random_bytes(raw, sizeof raw);
  std::array<std::string, 4> parts;
  for (std::size_t p = 0; p < 4; ++p) {
    for (std::size_t i = 0; i < 8; ++i) {
      const std::uint8_t b = raw[p * 8 + i];
      parts[p] += kUpperHex[b >> 4];
      parts[p] += kUpperHex[b & 0x0F];
    }
  }
  std::memset(raw, 0, sizeof raw);
  return parts;
}

std::array<std::string, 4> cleared_key_parts() {
  const std::string part(kDefaultKeyPart);
  return {part, part, part, part};
}

}  // namespace kl40
