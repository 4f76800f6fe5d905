// libtelvor.so and kl40sim over 127.0.0.1 with short settings: duty and data, commands
// acknowledged, refused and unanswered, time requests, silence with DG2 polls and disrepair, an
// unknown identifier, and key changes that succeed and fail.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "telvor/api/telvor.h"
#include "tests/support/udp_port.h"

extern char** environ;

namespace {

using Id = std::array<std::uint8_t, 6>;
using Key = std::array<std::uint8_t, 32>;

constexpr const char* kDefaultKeyHex =
    "3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A";

std::string hex(std::span<const std::uint8_t> b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (auto x : b) {
    s.push_back(d[x >> 4]);
    s.push_back(d[x & 15]);
  }
  return s;
}

Key key_of(std::uint8_t base) {
  Key k{};
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(base + 5 * i);
  return k;
}

struct Command {
  std::uint16_t number;
  std::uint8_t sequence;
  std::string text;
  int taken = 0;  // >0 taken and not answered, <=0 waiting to be taken
};

// Everything the library told the host. One process-wide instance; the callbacks lock it.
struct Host {
  std::mutex mu;
  std::condition_variable cv;
  Id id{};
  Key key{};
  Key new_key{};
  std::vector<std::pair<bool, std::int32_t>> states;  // svc, state
  std::vector<std::vector<std::uint8_t>> reads;
  std::vector<std::pair<std::uint16_t, std::int32_t>> results;  // number, status
  std::vector<Id> new_ids;
  std::vector<std::vector<std::uint8_t>> sent_traces;
  std::deque<Command> commands;
  std::vector<std::string> logs;

  void reset() {
    std::lock_guard l(mu);
    states.clear();
    reads.clear();
    results.clear();
    new_ids.clear();
    sent_traces.clear();
    commands.clear();
    logs.clear();
  }
  bool wait(const std::function<bool()>& pred, int ms = 10000) {
    std::unique_lock l(mu);
    return cv.wait_for(l, std::chrono::milliseconds(ms), pred);
  }
  bool has_state(std::int32_t s) {
    for (auto& x : states)
      if (x.second == s) return true;
    return false;
  }
  static Host& get() {
    static Host h;
    return h;
  }
};

extern "C" {
std::int32_t cb_sethardst(std::int32_t, const std::uint8_t*, std::int32_t, std::int32_t state,
                          std::int32_t, std::int32_t, std::int32_t) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  h.states.push_back({false, state});
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_sethardst_svc(std::int32_t, const std::uint8_t*, std::int32_t, std::int32_t state,
                              std::int32_t, std::int32_t, std::int32_t) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  h.states.push_back({true, state});
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_get_cypher(std::int32_t, const std::uint8_t*, std::uint8_t* key, std::int32_t* len,
                           std::int32_t flag) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  if (key && len && *len >= 32) std::memcpy(key, flag ? h.new_key.data() : h.key.data(), 32);
  return 1;
}
std::int32_t cb_new_id(std::int32_t, const std::uint8_t* id) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  Id i;
  std::memcpy(i.data(), id, 6);
  h.new_ids.push_back(i);
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_trace(std::int32_t, const std::uint8_t*, const std::uint8_t*, std::int32_t,
                      const std::uint8_t* data, std::int32_t len, std::int32_t direction) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  if (direction == 1) h.sent_traces.emplace_back(data, data + len);
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_read_gprs(std::int32_t, const std::uint8_t*, const std::uint8_t* data, std::int32_t len) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  h.reads.emplace_back(data, data + len);
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_get_cmd(std::int32_t, const std::uint8_t*, std::uint8_t* record, std::int32_t mark) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  if (mark == 0) {
    for (auto& c : h.commands) {
      if (c.taken > 0) continue;
      record[0] = static_cast<std::uint8_t>(c.number);
      record[1] = static_cast<std::uint8_t>(c.number >> 8);
      record[2] = c.sequence;
      record[3] = static_cast<std::uint8_t>(c.text.size());
      record[4] = static_cast<std::uint8_t>(c.text.size() >> 8);
      std::memcpy(record + 5, c.text.data(), c.text.size());
      return 1;
    }
    return 0;
  }
  const std::uint16_t n = static_cast<std::uint16_t>(record[0] | (record[1] << 8));
  for (auto& c : h.commands) {
    if (c.number == n) {
      c.taken = (c.taken < 0 ? -c.taken : c.taken) + 1;
      return 1;
    }
  }
  return 0;
}
std::int32_t cb_cmd_result(std::int32_t, const std::uint8_t*, const std::uint8_t* record,
                           std::int32_t status) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  const std::uint16_t n = static_cast<std::uint16_t>(record[0] | (record[1] << 8));
  h.results.push_back({n, status});
  for (auto it = h.commands.begin(); it != h.commands.end(); ++it) {
    if (it->number == n) {
      h.commands.erase(it);  // settled: this host does not send again
      break;
    }
  }
  h.cv.notify_all();
  return 0;
}
std::int32_t cb_log(const char* text) {
  auto& h = Host::get();
  std::lock_guard l(h.mu);
  h.logs.emplace_back(text);
  return 0;
}
}

// Whether a traced plain packet (head of 19 bytes, then items) carries an item of |kind|.
bool has_item(const std::vector<std::uint8_t>& t, std::uint8_t kind) {
  for (std::size_t i = 19; i + 1 < t.size(); i += static_cast<std::size_t>(t[i]) + 2) {
    if (t[i + 1] == kind) return true;
  }
  return false;
}

using kl40::testing::free_udp_port;

class Simulator {
 public:
  Simulator(std::vector<std::string> args) {
    out_path_ = ::testing::TempDir() + "kl40sim_" + std::to_string(::getpid()) + "_" +
                std::to_string(counter_++) + ".log";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    args.insert(args.begin(), KL40SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, KL40SIM_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
  }
  ~Simulator() { stop(); }
  bool running() const { return pid_ > 0; }
  int stop() {
    if (pid_ <= 0) return exit_code_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_code_;
  }
  // Waits (at most |ms|) until the simulator has printed |text|.
  bool wait_output(const std::string& text, int ms = 10000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  std::string output() const {
    std::ifstream f(out_path_);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  static inline int counter_ = 0;
  pid_t pid_ = -1;
  int exit_code_ = -1;
  std::string out_path_;
};

class GprsIntegration : public ::testing::Test {
 protected:
  Id id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
  Key key = key_of(9);
  std::uint16_t port = 0;
  LinkSettings settings{};
  bool started = false;

  void SetUp() override {
    Host::get().reset();
    {
      std::lock_guard l(Host::get().mu);
      Host::get().key = key;
      Host::get().new_key = key_of(200);
    }
    port = free_udp_port();
    settings.slot[0] = static_cast<std::int32_t>(sizeof(LinkSettings));
    settings.slot[56 / 4] = 3;
    settings.slot[88 / 4] = 5000;   // Open_GPRS
    settings.slot[92 / 4] = 1200;   // ToSendDG2_GPRS
    settings.slot[96 / 4] = 300;    // ToRetrySendDG2_GPRS
    settings.slot[100 / 4] = 3;     // CountRetrySendDG2_GPRS
    settings.slot[104 / 4] = 1000;  // ToWaitKvitCmd_GPRS
    settings.slot[108 / 4] = 20;    // ToWaitSendDAfterIn
    settings.slot[112 / 4] = 5;     // CountRetryRecive_GPRS
    settings.slot[116 / 4] = 5;     // CountNoGoodTimeTag_GPRS
    settings.callback[TELVOR_CB_SETHARDST] = reinterpret_cast<void*>(&cb_sethardst);
    settings.callback[TELVOR_CB_SETHARDST_SVC] = reinterpret_cast<void*>(&cb_sethardst_svc);
    settings.callback[TELVOR_CB_GET_CYPHER] = reinterpret_cast<void*>(&cb_get_cypher);
    settings.callback[TELVOR_CB_GET_CYPHER_SVC] = reinterpret_cast<void*>(&cb_get_cypher);
    settings.callback[TELVOR_CB_NEW_ID] = reinterpret_cast<void*>(&cb_new_id);
    settings.callback[TELVOR_CB_TRACE] = reinterpret_cast<void*>(&cb_trace);
    settings.callback[TELVOR_CB_READ_GPRS] = reinterpret_cast<void*>(&cb_read_gprs);
    settings.callback[TELVOR_CB_GET_CMD_GPRS] = reinterpret_cast<void*>(&cb_get_cmd);
    settings.callback[TELVOR_CB_CMD_RESULT] = reinterpret_cast<void*>(&cb_cmd_result);
    settings.callback[TELVOR_CB_LOG] = reinterpret_cast<void*>(&cb_log);
    ASSERT_EQ(InitLib(&settings), 0);
    started = true;
    const std::uint16_t ports[1] = {port};
    ListPort(6, ports, 1);
    ASSERT_EQ(Open_svc(6, id.data(), 0), 0);
  }

  void TearDown() override {
    if (started) {
      Close_svc(6, id.data(), 0);
      CloseLib();
    }
  }

  std::vector<std::string> sim_args(std::vector<std::string> extra, std::string id_hex = "",
                                    std::string key_hex = "") {
    std::vector<std::string> a{"--server",   "127.0.0.1:" + std::to_string(port),
                               "--id",       id_hex.empty() ? hex(id) : id_hex,
                               "--key",      key_hex.empty() ? hex(key) : key_hex,
                               "--duty-ms",  "300",
                               "--time-every", "0"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  }

  bool wait_duty() {
    return Host::get().wait([] { return Host::get().has_state(TELVOR_STATE_DUTY); });
  }

  // Queues a command with the host and tells the library, retrying until the library has a
  // session that has replied once (before that the export does nothing).
  std::int32_t send_command(std::uint16_t number, std::string text, std::int32_t code = 0x11) {
    {
      std::lock_guard l(Host::get().mu);
      Host::get().commands.push_back(Command{number, static_cast<std::uint8_t>(number), std::move(text)});
    }
    Send_CMD_GPRS(code, id.data());
    std::int32_t status = 0;
    for (int round = 0; round < 20 && status == 0; ++round) {
      Host::get().wait(
          [&] {
            for (auto& r : Host::get().results)
              if (r.first == number) return true;
            return false;
          },
          500);
      std::lock_guard l(Host::get().mu);
      for (auto& r : Host::get().results)
        if (r.first == number) status = r.second;
      if (status == 0) Send_CMD_GPRS(code, id.data());
    }
    return status;
  }
};

TEST_F(GprsIntegration, DutyAndDataReachTheHost) {
  Simulator sim(sim_args({"--data-every", "0.3"}));
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(wait_duty());
  ASSERT_TRUE(Host::get().wait([] {
    for (auto& r : Host::get().reads)
      if (std::string(r.begin(), r.end()).rfind("sim data", 0) == 0) return true;
    return false;
  }));
  {
    std::lock_guard l(Host::get().mu);
    EXPECT_TRUE(Host::get().states.front().first);  // a service registration reports through slot 18
    EXPECT_FALSE(Host::get().has_state(TELVOR_STATE_DISREPAIR));
  }
  EXPECT_TRUE(sim.wait_output("acknowledged"));
  EXPECT_EQ(sim.stop(), 0);
}

TEST_F(GprsIntegration, GcIsAcknowledgedAndAnsweredWithTheImage) {
  Simulator sim(sim_args({}));
  ASSERT_TRUE(wait_duty());
  EXPECT_EQ(send_command(1, "gc"), TELVOR_CMD_ACKNOWLEDGED);
  ASSERT_TRUE(Host::get().wait([] {
    for (auto& r : Host::get().reads)
      if (r.size() == 42 && r[0] == 3 && r[1] == 0x24) return true;
    return false;
  }));
}

struct CommandOutcome {
  const char* name;
  const char* flag;
  std::int32_t status;
};

class GprsIntegrationCommands : public GprsIntegration,
                                public ::testing::WithParamInterface<CommandOutcome> {};

TEST_P(GprsIntegrationCommands, StatusOfTheDevice) {
  Simulator sim(sim_args({GetParam().flag}));
  ASSERT_TRUE(wait_duty());
  EXPECT_EQ(send_command(7, "gc"), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Cases, GprsIntegrationCommands,
                         ::testing::Values(CommandOutcome{"Refused", "--refuse-commands", TELVOR_CMD_REFUSED},
                                           CommandOutcome{"Unanswered", "--ignore-commands",
                                                          TELVOR_CMD_NO_ANSWER}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GprsIntegration, TimeRequestIsAnswered) {
  Simulator sim(sim_args({"--time-every", "1"}));
  ASSERT_TRUE(wait_duty());
  ASSERT_TRUE(Host::get().wait([] {
    for (auto& t : Host::get().sent_traces)
      if (has_item(t, 0x87)) return true;
    return false;
  }));
  EXPECT_TRUE(sim.wait_output("time reply ts-"));
  EXPECT_EQ(sim.stop(), 0);
}

TEST_F(GprsIntegration, SilenceGivesPollsThenDisrepairThenDutyAgain) {
  Simulator sim(sim_args({"--silent-after", "1", "--silent-for", "4"}));
  ASSERT_TRUE(wait_duty());
  ASSERT_TRUE(Host::get().wait([] { return Host::get().has_state(TELVOR_STATE_DISREPAIR); }));
  ASSERT_TRUE(Host::get().wait([] {
    auto& s = Host::get().states;
    return s.size() >= 3 && s.back().second == TELVOR_STATE_DUTY;
  }));
  std::lock_guard l(Host::get().mu);
  int polls = 0;
  for (auto& t : Host::get().sent_traces)
    if (has_item(t, 0x81)) ++polls;
  EXPECT_GE(polls, 3);
  bool logged = false;
  for (auto& line : Host::get().logs) logged = logged || line.rfind("telvor.dll::Timers_GPRS_1(2)", 0) == 0;
  EXPECT_TRUE(logged);
}

TEST_F(GprsIntegration, UnknownIdentifierIsReported) {
  const Id other{0xDE, 0xAD, 0x00, 0x00, 0x00, 0x01};
  Simulator sim(sim_args({}, hex(other), kDefaultKeyHex));
  ASSERT_TRUE(Host::get().wait([&] {
    for (auto& i : Host::get().new_ids)
      if (i == other) return true;
    return false;
  }));
  std::lock_guard l(Host::get().mu);
  EXPECT_FALSE(Host::get().has_state(TELVOR_STATE_DUTY));
}

TEST_F(GprsIntegration, KeyChangeSucceeds) {
  const Key next = key_of(200);
  Simulator sim(sim_args({"--new-key", hex(next)}));
  ASSERT_TRUE(wait_duty());
  // Wait until the library has replied once (a duty DG2 acknowledged), then ask for the change.
  ASSERT_TRUE(Host::get().wait([] { return !Host::get().sent_traces.empty(); }));
  for (int i = 0; i < 20; ++i) {
    ChangeKeyNow_GPRS(0x12, id.data());
    if (Host::get().wait([] { return Host::get().has_state(TELVOR_STATE_KEY_CHANGED); }, 5000)) break;
  }
  {
    std::lock_guard l(Host::get().mu);
    ASSERT_TRUE(Host::get().has_state(TELVOR_STATE_KEY_CHANGED));
    EXPECT_FALSE(Host::get().has_state(TELVOR_STATE_KEY_FAILED));
  }
  // Traffic goes on under the new key.
  EXPECT_EQ(send_command(3, "gc"), TELVOR_CMD_ACKNOWLEDGED);
}

TEST_F(GprsIntegration, KeyChangeFailsWhenTheDeviceIgnoresIt) {
  Simulator sim(sim_args({"--ignore-key-change"}));
  ASSERT_TRUE(wait_duty());
  ASSERT_TRUE(Host::get().wait([] { return !Host::get().sent_traces.empty(); }));
  ChangeKeyNow_GPRS(0x12, id.data());
  ASSERT_TRUE(Host::get().wait([] { return Host::get().has_state(TELVOR_STATE_KEY_FAILED); }, 15000));
  std::lock_guard l(Host::get().mu);
  EXPECT_FALSE(Host::get().has_state(TELVOR_STATE_KEY_CHANGED));
}

}  // namespace
