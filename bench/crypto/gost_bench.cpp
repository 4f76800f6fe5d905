// Throughput of the GOST 28147-89 block cipher beside libgcrypt's, of a full packet seal and open,
// and of CRC A.
#include <benchmark/benchmark.h>
#include <gcrypt.h>

#include <cstring>
#include <vector>

#include "telvor/crypto/gost.h"
#include "telvor/crypto/gost_engines.h"
#include "telvor/crypto/seal.h"
#include "telvor/protocol/crc.h"

namespace {

using namespace telvor;

// libgcrypt's default GOST 28147-89 table (the GOST R 34.11-94 test parameter set), so that both
// sides do exactly the same work.
const GostSbox kGcryptDefaultSbox = {{
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
}};

GostFullKey BenchKey() {
  GostFullKey key{};
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 37 + 11);
  return key;
}

std::vector<uint8_t> BenchData(size_t n) {
  std::vector<uint8_t> data(n);
  for (size_t i = 0; i < n; ++i) data[i] = uint8_t(i * 131 + 7);
  return data;
}

// ECB over the payload rounded up to whole blocks, as an envelope of that size is.
size_t EcbBytes(int64_t payload) { return (size_t(payload) + 7) & ~size_t(7); }

void BM_GostEcb_Ours(benchmark::State& state) {
  static const GostTables tables(kGcryptDefaultSbox);
  const GostKeyWords key = GostKeyWords::FromFull(BenchKey().data());
  const size_t n = EcbBytes(state.range(0));
  std::vector<uint8_t> data = BenchData(n);
  for (auto _ : state) {
    GostEncryptEcb(data.data(), n / 8, key, tables);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

// One engine alone, to see what machines without the best one get.
void BM_GostEcb_Engine(benchmark::State& state, GostEngine engine) {
  if (!GostEngineAvailable(engine)) {
    state.SkipWithError("this processor lacks the engine");
    return;
  }
  static const GostTables tables(kGcryptDefaultSbox);
  const GostKeyWords key = GostKeyWords::FromFull(BenchKey().data());
  const size_t n = EcbBytes(state.range(0));
  std::vector<uint8_t> data = BenchData(n);
  for (auto _ : state) {
    GostEcbWith(engine, GostDirection::kEncrypt, false, data.data(), n / 8, key,
                tables);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_GostEcb_Libgcrypt(benchmark::State& state) {
  if (!gcry_check_version(nullptr)) {
    state.SkipWithError("libgcrypt did not start");
    return;
  }
  gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  gcry_cipher_hd_t handle = nullptr;
  if (gcry_cipher_open(&handle, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0) {
    state.SkipWithError("libgcrypt has no GOST 28147-89");
    return;
  }
  const GostFullKey key = BenchKey();
  gcry_cipher_setkey(handle, key.data(), key.size());
  const size_t n = EcbBytes(state.range(0));
  std::vector<uint8_t> data = BenchData(n);
  for (auto _ : state) {
    gcry_cipher_encrypt(handle, data.data(), n, nullptr, 0);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
  gcry_cipher_close(handle);
}

void BM_GostSeal(benchmark::State& state) {
  const GostFullKey key = BenchKey();
  const GostContext ctx{&key, nullptr};
  const auto n = uint16_t(state.range(0));
  const std::vector<uint8_t> payload = BenchData(n);
  std::vector<uint8_t> buffer(n + kSealMaxGrowth);
  GostRandomRecord record{};
  for (auto _ : state) {
    std::memcpy(buffer.data(), payload.data(), n);
    const int sealed = GostSeal(ctx, buffer, n, &record, true);
    const int opened = GostOpen(ctx, buffer, uint16_t(sealed), &record, true);
    benchmark::DoNotOptimize(opened);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_CrcA(benchmark::State& state) {
  const std::vector<uint8_t> data = BenchData(size_t(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(CrcA(data));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_GostEcb_Ours)->Name("BM_GostEcb/ours")->Arg(1500);
BENCHMARK_CAPTURE(BM_GostEcb_Engine, portable, GostEngine::kPortable)
    ->Name("BM_GostEcb/ours_portable")
    ->Arg(1500);
BENCHMARK_CAPTURE(BM_GostEcb_Engine, avx2, GostEngine::kAvx2)->Name("BM_GostEcb/ours_avx2")->Arg(1500);
BENCHMARK(BM_GostEcb_Libgcrypt)->Name("BM_GostEcb/libgcrypt")->Arg(1500);
BENCHMARK(BM_GostSeal)->Arg(64)->Arg(1500);
BENCHMARK(BM_CrcA)->Arg(1500);

BENCHMARK_MAIN();
