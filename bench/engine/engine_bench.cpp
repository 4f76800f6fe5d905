// Routing cost per datagram with 1, 1,000 and 65,535 GPRS sessions on one port, and the memory of
// one idle GPRS session with 65,535 of them open (port table included).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstring>
#include <memory>
#include <vector>

#include "telvor/api/library.h"
#include "telvor/protocol/frame.h"
#include "telvor/protocol/packet.h"

namespace {

using telvor::Library;

LinkSettings bench_settings() {
  LinkSettings s{};
  s.slot[0] = sizeof(LinkSettings);
  const std::int32_t gprs[][2] = {{88, 30000}, {92, 30000}, {96, 10000}, {100, 10},
                                  {104, 10000}, {108, 300}, {112, 5}, {116, 5}};
  for (auto& v : gprs) s.slot[v[0] / 4] = v[1];
  return s;  // no callbacks: sessions open without a key
}

std::array<std::uint8_t, 6> id_of(std::uint32_t n) {
  return {0x42, 0x00, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
          static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

// A library without worker threads (the benchmark runs the handlers), one port, n sessions.
std::unique_ptr<Library> open_sessions(std::uint32_t n) {
  auto lib = std::make_unique<Library>(bench_settings(), telvor::LibraryOptions{.threads = false});
  const std::uint16_t port = 0;
  lib->ListPort(6, &port, 1);
  for (std::uint32_t i = 0; i < n; ++i) {
    const auto id = id_of(i);
    lib->Open(6, id.data(), 0, true);
  }
  lib->runtime().engine.poll();
  return lib;
}

// A clear status packet of the device in the last slot: the walk from slot 0 would pass every
// other session first.
std::vector<std::uint8_t> status_frame(std::uint32_t n) {
  const auto id = id_of(n - 1);
  telvor::PacketBuffer p;
  p.StartNew(std::span<const std::uint8_t, 6>(id), 0, 2);
  const std::uint8_t seq = 1;
  p.AppendItem(telvor::kItemStatus, std::span(&seq, 1));
  p.SetTimeTag(0x21436587);
  telvor::GostRandomRecord random{};
  return telvor::PacketEncodeForWire(p, telvor::GostFullKey{}, &random, true);
}

void BM_Route(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto lib = open_sessions(n);
  telvor::Runtime& rt = lib->runtime();
  telvor::PortEntry& port = *rt.ports.front();
  const auto frame = status_frame(n);
  telvor::AddressRecord from;
  from.ip = {127, 0, 0, 1};
  from.port = 9;  // discard
  for (auto _ : state) {
    rt.route_datagram(port, frame, from);
    rt.engine.poll();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["sessions"] = n;
}
BENCHMARK(BM_Route)->Arg(1)->Arg(1000)->Arg(65535)->Unit(benchmark::kMicrosecond);

// The reference beside it: a linear walk of the same table from slot 0, as the table was once
// searched, comparing identifiers only.
void BM_RouteWalkReference(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto lib = open_sessions(n);
  telvor::PortEntry& port = *lib->runtime().ports.front();
  const auto target = id_of(n - 1);
  for (auto _ : state) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < port.high_water; ++i)
      if (port.table[i] && port.table[i]->id == target) {
        found = i;
        break;
      }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_RouteWalkReference)->Arg(1)->Arg(1000)->Arg(65535)->Unit(benchmark::kMicrosecond);

void BM_IdleGprsSessionMemory(benchmark::State& state) {
  const std::uint32_t n = 65535;
  double per_session = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const auto before = mallinfo2().uordblks;
    auto lib = open_sessions(n);
    const auto after = mallinfo2().uordblks;
    per_session = static_cast<double>(after - before) / n;
    state.PauseTiming();
    lib.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_session"] = per_session;
}
BENCHMARK(BM_IdleGprsSessionMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
