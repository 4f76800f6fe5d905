// Key-pair generation as a device session of the station service protocol does it once, when it
// first needs its public key: 256-bit modulus, exponent 65537. Each iteration continues the same
// generator, so the runs walk through different primes.
#include <benchmark/benchmark.h>

#include <vector>

#include "telvor/crypto/mp_random.h"
#include "telvor/crypto/rsa.h"

namespace {

void BM_GenerateKeyPair256(benchmark::State& state) {
  telvor::RandomGenerator generator;
  std::vector<std::uint8_t> seed(telvor::kRandomSeedBytes);
  for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 131 + 7);
  telvor::MixRandom(generator, seed);
  telvor::PublicKeyRecord public_record;
  telvor::PrivateKeyRecord private_record;
  for (auto _ : state) {
    const std::uint32_t status =
        telvor::GenerateKeyPair(telvor::KeyPairRequest{256, 1}, generator, public_record, private_record);
    if (status != telvor::kRsaOk) {
      state.SkipWithError("key generation failed");
      break;
    }
    benchmark::DoNotOptimize(private_record);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GenerateKeyPair256)->Unit(benchmark::kMillisecond);

}  // namespace
