// GPRS path of the library under load from kl40sim --count N on loopback.
//
//  cpu_us_per_datagram       CPU time of this process (the library's workers) per device datagram
//                            the library processed (traced as received), N = 1,000 and 10,000
//  echo_cpu_us_per_datagram  the same kl40sim load against a bare receive-and-reply UDP loop in
//                            this process, measured in the same run (goal: library within 3 times)
//  pacing_error_p99_ms       99th percentile of |send time - (receive time + ToWaitSendDAfterIn)|
//                            over the replies the library sent, N = 10,000 (goal: at most 5 ms)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "telvor/api/telvor.h"
#include "tests/support/udp_port.h"

extern char** environ;

namespace {

constexpr std::int32_t kPacing = 300;
constexpr double kWindowSeconds = 6.0;

std::uint64_t id_key(const std::uint8_t* id) {
  std::uint64_t v = 0;
  for (int i = 0; i < 6; ++i) v = (v << 8) | id[i];
  return v;
}

double now_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double process_cpu_us() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
}

struct Load {
  std::mutex mu;
  std::unordered_map<std::uint64_t, double> received_at;
  std::vector<double> pacing_errors;
  std::atomic<std::uint64_t> received{0};
  bool measuring = false;
};
Load g_load;

extern "C" std::int32_t on_trace(std::int32_t, const std::uint8_t* id, const std::uint8_t*, std::int32_t,
                                 const std::uint8_t*, std::int32_t, std::int32_t direction) {
  const double t = now_ms();
  std::lock_guard l(g_load.mu);
  if (direction == 0) {
    g_load.received.fetch_add(1);
    g_load.received_at[id_key(id)] = t;
  } else if (g_load.measuring) {
    auto it = g_load.received_at.find(id_key(id));
    if (it != g_load.received_at.end()) {
      g_load.pacing_errors.push_back(std::fabs(t - it->second - kPacing));
      g_load.received_at.erase(it);
    }
  }
  return 0;
}
extern "C" std::int32_t on_state(std::int32_t, const std::uint8_t*, std::int32_t, std::int32_t, std::int32_t,
                                 std::int32_t, std::int32_t) {
  return 0;
}
extern "C" std::int32_t on_cypher(std::int32_t, const std::uint8_t*, std::uint8_t* key, std::int32_t* len,
                                  std::int32_t) {
  if (key && len && *len >= 32) std::memset(key, 0x3C, 32);
  return 1;
}

using kl40::testing::free_udp_port;

pid_t spawn_sim(std::uint16_t port, int count, int duty_ms) {
  std::vector<std::string> args{KL40SIM_PATH, "--server", "127.0.0.1:" + std::to_string(port), "--id",
                                "010000000000", "--key", std::string(64, 'C'), "--count",
                                std::to_string(count), "--duty-ms", std::to_string(duty_ms),
                                "--time-every", "0", "--quiet"};
  // The key of on_cypher: 32 bytes of 0x3C.
  args[6].clear();
  for (int i = 0; i < 32; ++i) args[6] += "3C";
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, KL40SIM_PATH, nullptr, nullptr, argv.data(), environ);
  return pid;
}

void stop_sim(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// A bare UDP loop: every datagram is answered with one byte (which the simulator ignores).
double echo_cpu_us_per_datagram(int count, int duty_ms) {
  const std::uint16_t port = free_udp_port();
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(port);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int size = 4 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  const pid_t sim = spawn_sim(port, count, duty_ms);
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> handled{0};
  std::atomic<double> cpu_us{0};
  std::thread loop([&] {
    std::vector<std::uint8_t> buf(2048);
    const std::uint8_t reply = 0;
    timespec t0{};
    bool counting = false;
    const double start = now_ms();
    std::uint64_t n = 0;
    while (!stop.load()) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      sockaddr_in from{};
      socklen_t fl = sizeof from;
      const ssize_t got = ::recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fl);
      if (got <= 0) continue;
      ::sendto(fd, &reply, 1, 0, reinterpret_cast<sockaddr*>(&from), fl);
      if (!counting && now_ms() - start > 1000) {  // skip the start-up second
        counting = true;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
      } else if (counting) {
        ++n;
      }
    }
    timespec t1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    handled.store(n);
    cpu_us.store((t1.tv_sec - t0.tv_sec) * 1e6 + (t1.tv_nsec - t0.tv_nsec) / 1e3);
  });
  std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
  stop.store(true);
  loop.join();
  stop_sim(sim);
  ::close(fd);
  return handled.load() ? cpu_us.load() / static_cast<double>(handled.load()) : 0.0;
}

void BM_GprsLibraryUnderLoad(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const int duty_ms = static_cast<int>(state.range(1));
  for (auto _ : state) {
    LinkSettings s{};
    s.slot[0] = sizeof(LinkSettings);
    s.slot[56 / 4] = 3;
    s.slot[88 / 4] = 30000;
    s.slot[92 / 4] = 30000;
    s.slot[96 / 4] = 10000;
    s.slot[100 / 4] = 10;
    s.slot[104 / 4] = 10000;
    s.slot[108 / 4] = kPacing;
    s.slot[112 / 4] = 5;
    s.slot[116 / 4] = 5;
    s.callback[TELVOR_CB_TRACE] = reinterpret_cast<void*>(&on_trace);
    s.callback[TELVOR_CB_SETHARDST] = reinterpret_cast<void*>(&on_state);
    s.callback[TELVOR_CB_SETHARDST_SVC] = reinterpret_cast<void*>(&on_state);
    s.callback[TELVOR_CB_GET_CYPHER] = reinterpret_cast<void*>(&on_cypher);
    s.callback[TELVOR_CB_GET_CYPHER_SVC] = reinterpret_cast<void*>(&on_cypher);
    InitLib(&s);
    const std::uint16_t port = free_udp_port();
    ListPort(6, &port, 1);
    std::uint8_t id[6] = {0x01, 0, 0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
      id[4] = static_cast<std::uint8_t>(i >> 8);
      id[5] = static_cast<std::uint8_t>(i);
      id[3] = static_cast<std::uint8_t>(i >> 16);
      Open_svc(6, id, 0);
    }
    {
      std::lock_guard l(g_load.mu);
      g_load.received_at.clear();
      g_load.pacing_errors.clear();
      g_load.measuring = false;
    }
    const pid_t sim = spawn_sim(port, count, duty_ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(duty_ms + 1000));  // everyone on duty
    {
      std::lock_guard l(g_load.mu);
      g_load.measuring = true;
    }
    const std::uint64_t r0 = g_load.received.load();
    const double c0 = process_cpu_us();
    std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
    const double c1 = process_cpu_us();
    const std::uint64_t r1 = g_load.received.load();
    std::vector<double> errors;
    {
      std::lock_guard l(g_load.mu);
      g_load.measuring = false;
      errors = g_load.pacing_errors;
    }
    stop_sim(sim);
    for (int i = 0; i < count; ++i) {
      id[4] = static_cast<std::uint8_t>(i >> 8);
      id[5] = static_cast<std::uint8_t>(i);
      id[3] = static_cast<std::uint8_t>(i >> 16);
      Close_svc(6, id, 0);
    }
    CloseLib();
    const double datagrams = static_cast<double>(r1 - r0);
    state.counters["datagrams"] = datagrams;
    state.counters["cpu_us_per_datagram"] = datagrams > 0 ? (c1 - c0) / datagrams : 0;
    std::sort(errors.begin(), errors.end());
    state.counters["pacing_error_p99_ms"] =
        errors.empty() ? -1 : errors[static_cast<std::size_t>(0.99 * (errors.size() - 1))];
    state.counters["echo_cpu_us_per_datagram"] = echo_cpu_us_per_datagram(count, duty_ms);
  }
}

// N devices, duty period in ms. The duty period stays above the 300 ms pacing, so that every reply
// answers the datagram it is measured against.
BENCHMARK(BM_GprsLibraryUnderLoad)->Args({1000, 1000})->Args({10000, 2000})->Iterations(1)
    ->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
