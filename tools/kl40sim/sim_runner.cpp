#include "tools/kl40sim/sim_runner.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <ostream>
#include <queue>
#include <unordered_map>

#include "telvor/protocol/frame.h"

namespace kl40sim {

namespace {

std::uint64_t steady_ms() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t id_key(const DeviceId& id) {
  std::uint64_t v = 0;
  for (std::uint8_t b : id) v = (v << 8) | b;
  return v;
}

std::string clock_text() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  return buf;
}

class Socket {
 public:
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd_ = -1;
};

}  // namespace

bool parse_host_port(const std::string& text, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
  const std::string p = text.substr(colon + 1);
  if (p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long v = std::stoul(p);
  if (v == 0 || v > 65535) return false;
  host = text.substr(0, colon);
  port = static_cast<std::uint16_t>(v);
  return true;
}

int run_devices(const RunOptions& options, const std::atomic<bool>& stop, std::ostream& events,
                std::ostream& errors, RunTotals* totals) {
  sockaddr_in server{};
  {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    const int rc = ::getaddrinfo(options.server_host.c_str(), nullptr, &hints, &res);
    if (rc != 0 || res == nullptr) {
      errors << "kl40sim: cannot resolve server \"" << options.server_host << "\": "
             << ::gai_strerror(rc) << "\n";
      return 1;
    }
    std::memcpy(&server, res->ai_addr, sizeof server);
    ::freeaddrinfo(res);
    server.sin_port = htons(options.server_port);
  }
  Socket sock;
  sock.fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (sock.fd_ < 0) {
    errors << "kl40sim: cannot create a UDP socket: " << std::strerror(errno) << "\n";
    return 1;
  }
  {
    int size = 4 << 20;
    ::setsockopt(sock.fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(sock.fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(options.local_port);
    if (::bind(sock.fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      errors << "kl40sim: cannot bind UDP port " << options.local_port << ": "
             << std::strerror(errno) << "\n";
      return 1;
    }
  }

  auto sink = [&](const DeviceId& id, std::string_view text) {
    if (options.quiet) return;
    events << clock_text() << ' ' << id_text(id) << ' ' << text << '\n' << std::flush;
  };

  const std::uint64_t start = steady_ms();
  std::vector<std::unique_ptr<SimDevice>> devices;
  std::unordered_map<std::uint64_t, std::size_t> by_id;
  devices.reserve(options.count);
  const std::uint32_t duty = options.device.duty_ms
                                 ? options.device.duty_ms
                                 : static_cast<std::uint32_t>(
                                       std::max(1, options.device.params.DutyCommand.Value1()) * 1000);
  for (std::uint64_t i = 0; i < options.count; ++i) {
    DeviceConfig c = options.device;
    c.id = id_plus(options.device.id, i);
    if (options.stagger && options.count > 1) {
      c.start_offset_ms = static_cast<std::uint32_t>((duty * i) / options.count);
    }
    devices.push_back(std::make_unique<SimDevice>(c, start, options.seed + static_cast<std::uint32_t>(i), sink));
    by_id[id_key(c.id)] = i;
  }
  using Due = std::pair<std::uint64_t, std::size_t>;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> queue;
  for (std::size_t i = 0; i < devices.size(); ++i) queue.push({devices[i]->next_due(), i});

  std::vector<std::vector<std::uint8_t>> out;
  auto flush = [&] {
    for (const auto& d : out) {
      ::sendto(sock.fd_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&server),
               sizeof server);
    }
    out.clear();
  };
  auto reschedule = [&](std::size_t i) {
    queue.push({devices[i]->next_due(), i});
    const std::uint64_t key = id_key(devices[i]->id());
    auto found = by_id.find(key);
    if (found == by_id.end() || found->second != i) {
      // The device took a new identifier ("wr"): route its traffic by the new one.
      for (auto it = by_id.begin(); it != by_id.end(); ++it) {
        if (it->second == i) {
          by_id.erase(it);
          break;
        }
      }
      by_id[key] = i;
    }
  };

  std::vector<std::uint8_t> buffer(2048);
  const std::uint64_t end =
      options.run_for_s > 0 ? start + static_cast<std::uint64_t>(options.run_for_s * 1000.0) : 0;
  while (!stop.load()) {
    std::uint64_t now = steady_ms();
    if (end && now >= end) break;
    while (!queue.empty() && queue.top().first <= now) {
      const auto [due, i] = queue.top();
      queue.pop();
      if (due != devices[i]->next_due()) continue;  // stale entry
      devices[i]->tick(now, out);
      flush();
      reschedule(i);
    }
    int timeout = 200;
    if (!queue.empty()) {
      const std::uint64_t wait = queue.top().first > now ? queue.top().first - now : 0;
      timeout = static_cast<int>(std::min<std::uint64_t>(wait, 200));
    }
    pollfd pfd{sock.fd_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeout);
    if (ready < 0 && errno != EINTR) {
      errors << "kl40sim: poll failed: " << std::strerror(errno) << "\n";
      break;
    }
    if (ready <= 0) continue;
    for (int burst = 0; burst < 256; ++burst) {
      const ssize_t n = ::recv(sock.fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n <= 0) break;
      const std::span<const std::uint8_t> dg(buffer.data(), static_cast<std::size_t>(n));
      DeviceId id{};
      if (!telvor::FramePeekIdentifier(dg, id)) continue;
      auto found = by_id.find(id_key(id));
      if (found == by_id.end()) continue;
      devices[found->second]->on_datagram(steady_ms(), dg, out);
      flush();
      reschedule(found->second);
    }
  }

  RunTotals t;
  for (const auto& d : devices) {
    t.sent += d->stats().sent;
    t.received += d->stats().received;
    t.undecodable += d->stats().undecodable;
    t.commands += d->stats().commands;
  }
  if (!options.quiet) {
    events << clock_text() << " kl40sim stopped: " << devices.size() << " device(s), " << t.sent
           << " datagram(s) sent, " << t.received << " received\n"
           << std::flush;
  }
  if (totals) *totals = t;
  return 0;
}

}  // namespace kl40sim
