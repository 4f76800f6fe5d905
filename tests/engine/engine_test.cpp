// The engine on real sockets and threads: worker accounting, routing of datagrams on 127.0.0.1,
// the unknown-identifier path, the GPRS request exports, and closing while datagrams arrive.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include "telvor/api/library.h"
#include "telvor/io/gprs_binding.h"
#include "tests/engine/device.h"
#include "tests/engine/recording_host.h"

namespace telvor::test {
namespace {

constexpr Id kId = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
constexpr Id kUnknown = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
const std::string kNewIdLine = "telvor.dll::ThreadProcess - New_ID_in_GPRS (новый/неизвестный ID)";

TEST(WorkerCount, FollowsProcessorsAndRequestWithinLimit) {
  struct Case {
    unsigned processors;
    int requested;
    int expected;
  };
  for (const Case c : {Case{1, 0, 3}, Case{2, 0, 5}, Case{2, 10, 10}, Case{2, 4, 5},
                       Case{300, 0, 512}, Case{2, 1000, 512}}) {
    EXPECT_EQ(Engine::worker_count_for(c.processors, c.requested), c.expected)
        << c.processors << " processors, " << c.requested << " requested";
  }
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::get().reset(); }
  void start(LinkSettings settings = recording_settings()) {
    settings_ = settings;
    lib_ = std::make_unique<Library>(settings_);
  }
  void TearDown() override { lib_.reset(); }

  std::size_t new_id_count() {
    std::lock_guard lock(Recorder::get().mu);
    return Recorder::get().new_ids.size();
  }

  LinkSettings settings_{};
  std::unique_ptr<Library> lib_;
};

TEST_F(EngineTest, OpeningAndClosingSessionsLeavesTheThreadCounterAtZero) {
  start();
  Engine& engine = lib_->runtime().engine;
  const int w = engine.worker_count();
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(6, &port, 1);
  EXPECT_FALSE(engine.active());

  lib_->Open(6, kId.data(), 0, true);
  EXPECT_TRUE(engine.active());
  EXPECT_EQ(engine.started_threads(), w);
  EXPECT_EQ(engine.running_threads(), static_cast<std::size_t>(w));
  lib_->Close_svc(6, kId.data(), 0);
  EXPECT_EQ(engine.started_threads(), 0);
  EXPECT_EQ(engine.running_threads(), 0u);
  EXPECT_FALSE(engine.active());

  // A second session asks for as many threads again, but at most worker count + 2 run.
  lib_->Open(6, kId.data(), 0, true);
  lib_->Open(6, kUnknown.data(), 0, true);
  EXPECT_EQ(engine.started_threads(), 2 * w);
  EXPECT_EQ(engine.running_threads(), static_cast<std::size_t>(w + 2));
  lib_->Close_svc(6, kUnknown.data(), 0);
  EXPECT_GT(engine.started_threads(), 0);
  lib_->Close_svc(6, kId.data(), 0);
  EXPECT_EQ(engine.started_threads(), 0);
  EXPECT_EQ(engine.running_threads(), 0u);
  EXPECT_FALSE(engine.active());
}

TEST_F(EngineTest, AValidFrameFromAnUnknownIdentifierGivesOneNewIdPerDatagram) {
  start();
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(6, &port, 1);
  lib_->Open(6, kId.data(), 0, true);
  Device device;
  const GostFullKey default_key = GostDefaultKey();
  GostFullKey wrong_key{};
  wrong_key.fill(0x33);

  // Nothing to report: an empty datagram, garbage, a frame with a broken outer checksum, a frame
  // sealed under another key, a datagram of 65507 bytes.
  device.send(port, {});
  device.send(port, {0x7E, 0x01, 0x02, 0x7F});
  auto broken = device_frame(kUnknown, 2, 1, {1}, 5, &default_key);
  broken[broken.size() - 3] ^= 0x01;
  device.send(port, broken);
  device.send(port, device_frame(kUnknown, 2, 1, {1}, 5, &wrong_key));
  device.send(port, std::vector<std::uint8_t>(65507, 0x7E));
  // Reported, once each: sealed under the default key, and in clear.
  device.send(port, device_frame(kUnknown, 3, 1, {1}, 5, &default_key));
  device.send(port, device_frame(kUnknown, 4, 1, {2}, 6, nullptr));

  ASSERT_TRUE(Recorder::get().wait_for([] { return Recorder::get().new_ids.size() >= 2; }));
  // A last known-good datagram proves that the earlier ones have all been routed.
  device.send(port, device_frame(kUnknown, 5, 1, {3}, 7, nullptr));
  ASSERT_TRUE(Recorder::get().wait_for([] { return Recorder::get().new_ids.size() >= 3; }));
  {
    std::lock_guard lock(Recorder::get().mu);
    const auto& ids = Recorder::get().new_ids;
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0].packet_type, 3);
    EXPECT_EQ(ids[1].packet_type, 4);
    EXPECT_EQ(ids[2].packet_type, 5);
    for (const auto& c : ids) EXPECT_EQ(c.id, kUnknown);
  }
  // The log line follows its ZEB_NEW_ID call on the same worker.
  EXPECT_TRUE(Recorder::get().wait_for([] { return Recorder::get().count_logs_locked(kNewIdLine) >= 3; }));
  EXPECT_EQ(Recorder::get().count_logs(kNewIdLine), 3u);
  // Nothing was sent back to the device.
  EXPECT_FALSE(device.receive(std::chrono::milliseconds(50)).has_value());
}

TEST_F(EngineTest, ARawDatagramGoesToTheSessionNamedByTheSenderAddress) {
  start();
  struct Seen {
    std::mutex mu;
    std::vector<std::pair<Id, std::size_t>> calls;
  };
  auto seen = std::make_shared<Seen>();
  lib_->runtime().hooks.station_input = [seen](DeviceSession& s, const AddressRecord& from,
                                               std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(seen->mu);
    seen->calls.push_back({s.id, bytes.size()});
    EXPECT_EQ(from.ip[0], 127);
    Recorder::get().notify();
  };
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(3, &port, 1);
  const Id elsewhere = {127, 0, 0, 2, 0, 0};
  const Id loopback = {127, 0, 0, 1, 0, 0};
  lib_->Open(3, elsewhere.data(), 0, false);
  Device device;
  // No session is named by 127.0.0.1, and the port carries no GPRS: dropped, nothing reported.
  device.send(port, device_frame(kUnknown, 2, 1, {1}, 5, nullptr));
  device.send(port, {});
  ASSERT_TRUE(Recorder::get().wait_for(
      [&] { return lib_->runtime().datagrams_routed.load() >= 1; }));
  // Then a session for 127.0.0.1 appears: the receive is still armed and the datagram reaches it.
  lib_->Open(3, loopback.data(), 0, false);
  device.send(port, {1, 2, 3, 4, 5});
  ASSERT_TRUE(Recorder::get().wait_for([&] {
    std::lock_guard lock(seen->mu);
    return !seen->calls.empty();
  }));
  EXPECT_EQ(new_id_count(), 0u);
  std::lock_guard lock(seen->mu);
  ASSERT_EQ(seen->calls.size(), 1u);
  EXPECT_EQ(seen->calls[0].first, loopback);
  EXPECT_EQ(seen->calls[0].second, 5u);
}

// Brings a GPRS session to duty with a reply sent, so that the request exports address it.
class GprsRequestTest : public EngineTest {
 protected:
  void TearDown() override {
    session_.reset();
    EngineTest::TearDown();
  }
  void bring_up(bool service) {
    start(recording_settings(/*open_gprs_ms=*/30000, /*send_gap_ms=*/0));
    port_ = free_udp_port();
    lib_->ListPort(6, &port_, 1);
    lib_->Open(6, kId.data(), 0, service);
    key_.fill(0x11);  // what the recording host hands out
    device_.send(port_, device_frame(kId, 2, 2, {1, 0x41, 0x42}, 0x21436587, &key_));
    auto reply = device_.receive(std::chrono::milliseconds(5000));
    ASSERT_TRUE(reply.has_value()) << "no reply to the device's data";
    session_ = lib_->find_session(6, kId.data(), port_);
    ASSERT_NE(session_, nullptr);
    ASSERT_TRUE(Recorder::get().wait_for([&] {
      return session_->has_reply_template.load() &&
             lib_->find_registration(kId.data())->is_bound(session_.get());
    }));
  }

  // Calls Send_CMD_GPRS(code) and waits for its log line.
  void send_cmd(std::int32_t code, std::size_t lines_before) {
    lib_->Send_CMD_GPRS(code, kId.data());
    ASSERT_TRUE(Recorder::get().wait_for([&] {
      std::size_t n = 0;
      for (auto& l : Recorder::get().logs)
        n += l == "telvor.dll::Send_CMD_GPRS - Команда поставлена на обработку";
      return n == lines_before + 1;
    }));
  }

  std::vector<std::int32_t> asked_types() {
    std::lock_guard lock(Recorder::get().mu);
    std::vector<std::int32_t> out;
    for (auto& c : Recorder::get().cmds)
      if (c.mark == 0) out.push_back(c.packet_type);
    return out;
  }

  std::uint16_t port_ = 0;
  GostFullKey key_{};
  Device device_;
  std::shared_ptr<DeviceSession> session_;
};

TEST_F(GprsRequestTest, ServiceOnlyCommandBitsAreSetOnlyInServiceMode) {
  for (bool service : {true, false}) {
    SCOPED_TRACE(service ? "service registration" : "plain registration");
    Recorder::get().reset();
    bring_up(service);
    send_cmd(17, 0);  // bit 5, packet type 0x11: service mode only
    send_cmd(18, 1);  // bit 0, packet type 0x12: always
    // The two flags may be served in two packets: wait for every request that is due.
    ASSERT_TRUE(Recorder::get().wait_for([&] {
      bool asked_12 = false, asked_11 = false;
      for (auto& c : Recorder::get().cmds) {
        asked_12 |= c.packet_type == 0x12;
        asked_11 |= c.packet_type == 0x11;
      }
      return asked_12 && (asked_11 || !service);
    }));
    const auto asked = asked_types();
    const bool asked_11 = std::find(asked.begin(), asked.end(), 0x11) != asked.end();
    EXPECT_EQ(asked_11, service);
    session_.reset();  // a session never outlives its library
    lib_.reset();
  }
}

TEST_F(GprsRequestTest, RequestsForOtherCodesOrUnknownDevicesDoNothing) {
  bring_up(true);
  // Code 30 addresses channel type 0, where this device has no session: no log line.
  lib_->ChangeKeyNow_GPRS(30, kId.data());
  lib_->Send_CMD_GPRS(30, kId.data());
  lib_->Send_CMD_GPRS(18, kUnknown.data());
  lib_->ChangeKeyNow_GPRS(18, kId.data());
  ASSERT_TRUE(Recorder::get().wait_for([] {
    return Recorder::get().count_logs_locked(
               "telvor.dll::ChangeKeyNow_GPRS - Команда смены ключа поставлена на обработку") == 1;
  }));
  EXPECT_EQ(Recorder::get().count_logs("telvor.dll::Send_CMD_GPRS - Команда поставлена на обработку"),
            0u);
}

TEST_F(GprsRequestTest, APlainOpenOfABoundServiceRegistrationReportsDutyThroughThePlainCallback) {
  bring_up(true);
  Recorder::get().states.clear();
  lib_->Open(6, kId.data(), 0, false);
  ASSERT_TRUE(Recorder::get().wait_for([] {
    for (auto& s : Recorder::get().states)
      if (s.state == 96) return true;
    return false;
  }));
  const auto calls = Recorder::get().states_copy();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].svc);  // service mode has just been left
  EXPECT_EQ(calls[0].type, 6);
  EXPECT_EQ(calls[0].id, kId);
  auto reg = lib_->find_registration(kId.data());
  EXPECT_FALSE(reg->service_mode.load());
  EXPECT_FALSE(reg->created_by_service_open.load());
  // No second session was opened.
  EXPECT_EQ(lib_->ports()[0].sessions, 1u);
}

TEST_F(EngineTest, CloseWaitsForAHandlerThatIsRunning) {
  start(recording_settings(30000, 0));
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(6, &port, 1);
  lib_->Open(6, kId.data(), 0, true);
  // A second session keeps the workers running, so only the close itself can wait.
  lib_->Open(6, kUnknown.data(), 0, true);
  std::atomic<int> sequence{0};
  std::atomic<int> handler_done{-1}, close_returned{-1};
  std::atomic<bool> entered{false}, closing{false};
  Recorder::get().set_on_trace([&] {
    if (entered.exchange(true)) return;
    {
      std::lock_guard lock(Recorder::get().mu);
    }
    Recorder::get().notify();
    while (!closing.load()) std::this_thread::yield();
    for (int i = 0; i < 20000; ++i) std::this_thread::yield();  // still inside the callback
    handler_done.store(sequence.fetch_add(1));
  });
  Device device;
  GostFullKey key{};
  key.fill(0x11);
  device.send(port, device_frame(kId, 2, 2, {1, 0x41}, 0x21436587, &key));
  ASSERT_TRUE(Recorder::get().wait_for([&] { return entered.load(); }));
  std::thread closer([&] {
    closing.store(true);
    lib_->Close_svc(6, kId.data(), 0);
    close_returned.store(sequence.fetch_add(1));
  });
  closer.join();
  EXPECT_EQ(handler_done.load(), 0);
  EXPECT_EQ(close_returned.load(), 1);
  EXPECT_EQ(lib_->runtime().engine.started_threads(), lib_->runtime().engine.worker_count());
  lib_->Close_svc(6, kUnknown.data(), 0);
  EXPECT_EQ(lib_->runtime().engine.started_threads(), 0);
  Recorder::get().set_on_trace(nullptr);
}

TEST_F(EngineTest, SessionsOpenAndCloseWhileDatagramsArrive) {
  start(recording_settings(30000, 0));
  const std::uint16_t ports[] = {free_udp_port(), free_udp_port()};
  lib_->ListPort(6, ports, 2);
  lib_->ListPort(3, ports, 1);
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    Device device;
    GostFullKey key{};
    key.fill(0x11);
    const GostFullKey default_key = GostDefaultKey();
    std::mt19937 rng(7);
    std::uint8_t seq = 0;
    while (!stop.load()) {
      for (std::uint16_t p : ports) {
        device.send(p, device_frame(kId, 2, 2, {++seq, 0x41}, 0x21436587, &key));
        device.send(p, device_frame(kUnknown, 2, 1, {seq}, 5, &default_key));
        std::vector<std::uint8_t> junk(rng() % 64);
        for (auto& b : junk) b = static_cast<std::uint8_t>(rng());
        device.send(p, junk);
      }
    }
  });
  const Id station = {127, 0, 0, 1, 0, 0};
  for (int round = 0; round < 40; ++round) {
    lib_->Open(6, kId.data(), 0, round % 2 == 0);
    lib_->Open(3, station.data(), 0, false);
    if (round % 3 == 0) lib_->Send_CMD_GPRS(18, kId.data());
    std::this_thread::yield();
    lib_->Close(6, kId.data(), 0, nullptr);
    lib_->Close(3, station.data(), 0, nullptr);
  }
  stop.store(true);
  sender.join();
  EXPECT_EQ(lib_->runtime().engine.started_threads(), 0);
  EXPECT_EQ(lib_->registration_count(), 0u);
  for (const auto& p : lib_->ports()) {
    EXPECT_EQ(p.sessions, 0u);
    EXPECT_FALSE(p.socket_open);
  }
  // The library comes back to life for a new round on the same ports.
  lib_->Open(6, kId.data(), 0, true);
  EXPECT_TRUE(lib_->ports()[0].socket_open);
}

}  // namespace
}  // namespace telvor::test
