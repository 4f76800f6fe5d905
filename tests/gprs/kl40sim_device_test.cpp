// The simulated device against a real GPRS session, both on the fake clock: duty and polls,
// commands with the parameter image, configuration lines and "wr", key change, faults; and the
// simulator's command line.
#include <gtest/gtest.h>

#include <sstream>

#include "configurator/config/analyz.h"
#include "tests/gprs/gprs_fake_env.h"
#include "tools/kl40sim/sim_cli.h"
#include "tools/kl40sim/sim_device.h"

namespace telvor::testing {
namespace {

using kl40sim::DeviceConfig;
using kl40sim::SimDevice;

GostFullKey key_of(std::uint8_t base) {
  GostFullKey k{};
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(base + 3 * i);
  return k;
}

class SimAgainstSession : public ::testing::Test {
 protected:
  GostFullKey key = key_of(5);
  GprsSession::Id id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
  FakeGprsEnv env;
  GprsSettings settings;
  std::unique_ptr<GprsSession> session;
  std::unique_ptr<SimDevice> device;
  DeviceConfig config;
  std::vector<std::string> device_events;
  std::size_t delivered_to_device = 0;

  void SetUp() override {
    config.id = id;
    config.key = key;
    config.duty_ms = 20000;
    config.answer_wait_ms = 3000;
    config.time_request_every = 0;
    kl40::ReadCommandsText("ip1-192,168,001,010.10001 ip4-010,000,000,002.10002 gd-15.30 gt-05.03",
                           config.params);
  }

  void start() {
    env.session_set_up = true;
    session = std::make_unique<GprsSession>(env, id, key, settings);
    env.attach(session.get());
    session->opened();
    env.post(9);
    env.settle();
    device = std::make_unique<SimDevice>(config, env.now, 11,
                                         [this](const kl40sim::DeviceId&, std::string_view e) {
                                           device_events.emplace_back(e);
                                         });
  }

  void to_session(std::vector<std::vector<std::uint8_t>>& out) {
    for (const auto& framed : out) {
      FrameDecoder dec;
      dec.Feed(framed, [&](std::span<const std::uint8_t> raw) {
        session->IncomingPacketGPRS(GprsPeer{{127, 0, 0, 1}, 50000}, raw);
      });
    }
    out.clear();
  }

  // Runs both sides for |ms| in 10 ms steps.
  void run(std::uint64_t ms) {
    const std::uint64_t end = env.now + ms;
    std::vector<std::vector<std::uint8_t>> out;
    while (env.now < end) {
      device->tick(env.now, out);
      to_session(out);
      env.settle();
      while (delivered_to_device < env.sent.size()) {
        device->on_datagram(env.now, env.sent[delivered_to_device++].framed, out);
        to_session(out);
        env.settle();
      }
      env.advance(10);
    }
  }

  bool device_logged(std::string_view part) const {
    for (const auto& e : device_events)
      if (e.find(part) != std::string::npos) return true;
    return false;
  }

  void command(std::uint16_t number, std::string text, std::int32_t code = 0x12) {
    env.commands.push_back(HostCommand{number, static_cast<std::uint8_t>(number), {text.begin(), text.end()}, false});
    session->Send_CMD_GPRS(code);
  }
};

TEST_F(SimAgainstSession, DutyIsKeptThroughPollsOfAQuietDevice) {
  config.duty_ms = 400000;      // quieter than the poll period: the device lives on DG2 answers
  config.time_request_every = 1;  // its one packet asks the time, so the session has replied once
  start();
  run(1000);
  ASSERT_EQ(session->state(), GprsState::Duty);
  run(300000);
  EXPECT_EQ(env.state_codes(), std::vector<std::int32_t>{ma_DUTY});
  EXPECT_TRUE(device_logged("DG2 poll answered"));
}

TEST_F(SimAgainstSession, GcIsAnsweredWithTheParameterImage) {
  start();
  run(500);
  command(0x0101, "gc");
  run(2000);
  ASSERT_FALSE(env.results.empty());
  EXPECT_EQ(env.results[0].status, kCmdAcknowledged);
  ASSERT_EQ(env.deliveries.size(), 1u);
  EXPECT_EQ(env.deliveries[0].type, 1);
  const auto& img = env.deliveries[0].data;
  ASSERT_EQ(img.size(), 42u);
  EXPECT_EQ(img[0], 3);
  EXPECT_EQ(img[1], 0x24);
  EXPECT_EQ(std::vector<std::uint8_t>(img.begin() + 3, img.begin() + 9),
            (std::vector<std::uint8_t>{192, 168, 1, 10, 0x27, 0x11}));
  EXPECT_EQ(std::vector<std::uint8_t>(img.begin() + 17, img.begin() + 23),
            (std::vector<std::uint8_t>{10, 0, 0, 2, 0x27, 0x12}));
  EXPECT_EQ(std::vector<std::uint8_t>(img.begin() + 35, img.end()),
            (std::vector<std::uint8_t>{0, 15, 0, 30, 0, 5, 3}));
  // The data was acknowledged: the device does not send it again.
  run(10000);
  EXPECT_EQ(env.deliveries.size(), 1u);
}

TEST_F(SimAgainstSession, ConfigurationLinesTakeEffectWithWr) {
  start();
  run(500);
  // Type 0x13: the 70-byte limit of type 0x12 would not take these lines.
  command(1, "ip4-010,000,000,001.80 ip5-010,000,000,003.81 gd-20.40 gt-07.04", 0x13);
  run(2000);
  command(2, "gc", 0x13);
  run(2000);
  ASSERT_EQ(env.deliveries.size(), 1u);
  EXPECT_EQ(env.deliveries[0].data[36], 15);  // not written yet: still the old duty period
  command(3, "wr", 0x13);
  run(2000);
  command(4, "gc", 0x13);
  run(2000);
  ASSERT_EQ(env.deliveries.size(), 2u);
  const auto& img = env.deliveries[1].data;
  EXPECT_EQ(std::vector<std::uint8_t>(img.begin() + 17, img.begin() + 29),
            (std::vector<std::uint8_t>{10, 0, 0, 1, 0, 80, 10, 0, 0, 3, 0, 81}));
  EXPECT_EQ(std::vector<std::uint8_t>(img.begin() + 35, img.end()),
            (std::vector<std::uint8_t>{0, 20, 0, 40, 0, 7, 4}));
  for (const auto& r : env.results) EXPECT_EQ(r.status, kCmdAcknowledged);
}

TEST_F(SimAgainstSession, NewIdentifierTakesEffectAfterTheAcknowledgement) {
  start();
  run(500);
  command(1, "gi-ABCDEF012345");
  run(2000);
  command(2, "wr");
  run(2000);
  ASSERT_EQ(env.results.size(), 2u);
  EXPECT_EQ(env.results[1].status, kCmdAcknowledged);  // the "wr" ack still came from the old id
  EXPECT_EQ(kl40sim::id_text(device->id()), "ABCDEF012345");
}

TEST_F(SimAgainstSession, KeyChangeWithTheDevice) {
  const GostFullKey next = key_of(77);
  config.new_key = next;
  start();
  run(500);
  env.host_key = next;
  session->ChangeKeyNow_GPRS(0x12);
  run(5000);
  EXPECT_EQ(env.states.back().state, kStateKeyChanged);
  EXPECT_EQ(session->key(), next);
  EXPECT_EQ(device->key(), next);
  // Traffic goes on under the new key.
  command(9, "gc");
  run(3000);
  EXPECT_EQ(env.deliveries.size(), 1u);
  EXPECT_TRUE(device_logged("key change complete"));
}

TEST_F(SimAgainstSession, KeyChangeFailsWhenTheDeviceIgnoresIt) {
  config.faults.ignore_key_change = true;
  start();
  run(500);
  env.host_key = key_of(77);
  session->ChangeKeyNow_GPRS(0x12);
  run(40000);
  EXPECT_EQ(env.states.back().state, kStateKeyChangeFailed);
  EXPECT_EQ(session->key(), key);
}

struct CommandFault {
  const char* name;
  bool refuse;
  bool ignore;
  std::int32_t status;
};

class SimCommandFaults : public SimAgainstSession, public ::testing::WithParamInterface<CommandFault> {};

TEST_P(SimCommandFaults, StatusReachesTheHost) {
  config.faults.refuse_commands = GetParam().refuse;
  config.faults.ignore_commands = GetParam().ignore;
  start();
  run(500);
  command(1, "gc");
  run(settings.ToWaitKvitCmd_GPRS + 2000);
  ASSERT_EQ(env.results.size(), 1u);
  EXPECT_EQ(env.results[0].status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimCommandFaults,
                         ::testing::Values(CommandFault{"Accepted", false, false, kCmdAcknowledged},
                                           CommandFault{"Refused", true, false, kCmdRefused},
                                           CommandFault{"Ignored", false, true, kCmdNoAcknowledgement}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimAgainstSession, TimeRequestsGetTheLibraryClock) {
  config.time_request_every = 1;
  env.clock_tm.tm_year = 126;
  env.clock_tm.tm_mon = 0;
  env.clock_tm.tm_mday = 2;
  start();
  run(1000);
  EXPECT_TRUE(device_logged("time reply ts-26/01/02,00:00:00"));
}

struct FaultVerdict {
  const char* name;
  bool bad_tags;
  bool replay;
  std::int32_t state;
};

class SimFaultVerdicts : public SimAgainstSession, public ::testing::WithParamInterface<FaultVerdict> {};

TEST_P(SimFaultVerdicts, FaultsAreSeenByTheSession) {
  config.faults.bad_tags = GetParam().bad_tags;
  config.faults.replay = GetParam().replay;
  config.duty_ms = 1000;
  start();
  run(30000);
  bool seen = false;
  for (auto s : env.state_codes()) seen = seen || s == GetParam().state;
  EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimFaultVerdicts,
                         ::testing::Values(FaultVerdict{"BadTags", true, false, ma_DISRP_IMIT_UT},
                                           FaultVerdict{"Replay", false, true, ma_DISRP_IMIT_UT}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimAgainstSession, SilenceGivesDisrepairAndTheDeviceComesBack) {
  settings.ToSendDG2_GPRS = 3000;
  settings.ToRetrySendDG2_GPRS = 1000;
  settings.CountRetrySendDG2_GPRS = 2;
  config.duty_ms = 1000;
  config.faults.silent_after_s = 2;
  config.faults.silent_for_s = 10;
  start();
  run(20000);
  EXPECT_EQ(env.state_codes(), (std::vector<std::int32_t>{ma_DUTY, ma_DISREPAIR, ma_DUTY}));
}

TEST_F(SimAgainstSession, DroppedDatagramsNeverArrive) {
  config.faults.drop = 1.0;
  config.duty_ms = 1000;
  start();
  run(3000);
  EXPECT_TRUE(env.traces.empty());
  EXPECT_EQ(session->state(), GprsState::Opening);
  EXPECT_TRUE(device_logged("datagram dropped"));
}

TEST_F(SimAgainstSession, CorruptedDatagramsAreBadPackets) {
  config.faults.corrupt = 1.0;
  config.duty_ms = 500;
  start();
  run(4000);
  EXPECT_TRUE(env.states.empty());  // no packet was good enough for duty
  ASSERT_FALSE(env.traces.empty());
  for (const auto& t : env.traces) {
    if (t.direction == 0) {
      EXPECT_EQ(t.type, 0);
    }
  }
  EXPECT_NE(session->fault_reason(), kReasonOther);  // five bad packets recorded their reason
}

TEST_F(SimAgainstSession, DuplicatedDataIsDeliveredOnce) {
  config.faults.duplicate = 1.0;
  config.data_every_s = 1;
  start();
  run(3500);
  ASSERT_GE(env.deliveries.size(), 3u);
  for (std::size_t i = 1; i < env.deliveries.size(); ++i) {
    EXPECT_NE(env.deliveries[i].data, env.deliveries[i - 1].data);
  }
}

// ---- helpers and the command line -------------------------------------------------------------

TEST(Kl40simHelpers, IdentifiersAndKeys) {
  kl40sim::DeviceId id{};
  EXPECT_TRUE(kl40sim::parse_id("0123456789ab", id));
  EXPECT_EQ(id, (kl40sim::DeviceId{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}));
  EXPECT_FALSE(kl40sim::parse_id("0123456789A", id));
  EXPECT_FALSE(kl40sim::parse_id("0123456789AG", id));
  EXPECT_EQ(kl40sim::id_text(kl40sim::id_plus({0, 0, 0, 0, 0, 0xFF}, 1)), "000000000100");
  EXPECT_EQ(kl40sim::id_text(kl40sim::id_plus({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 2)), "000000000001");
  kl40::T_DEVICE_CommandMX3 set;
  kl40::ReadCommandsText("gk1-0011223344556677 gk2-8899AABBCCDDEEFF gk3-0000000000000000 gk4-3C5A3C5A3C5A3C5A", set);
  GostFullKey k{};
  ASSERT_TRUE(kl40sim::key_of_parts(set, k));
  EXPECT_EQ(k[0], 0x00);
  EXPECT_EQ(k[1], 0x11);
  EXPECT_EQ(k[15], 0xFF);
  EXPECT_EQ(k[31], 0x5A);
}

struct CliCase {
  std::vector<const char*> args;
  int exit_code;  // -1: runs
};

class Kl40simCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(Kl40simCli, BadArgumentsExitWithTwo) {
  std::vector<const char*> argv{"kl40sim"};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  kl40sim::RunOptions options;
  std::ostringstream out, err;
  const int rc = kl40sim::parse_command_line(static_cast<int>(argv.size()), argv.data(), options, out, err);
  EXPECT_EQ(rc, GetParam().exit_code) << err.str();
  if (rc == kl40sim::kExitBadArguments) {
    EXPECT_FALSE(err.str().empty());
  }
}

constexpr const char* kKey64 = "3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A";

INSTANTIATE_TEST_SUITE_P(
    Cases, Kl40simCli,
    ::testing::Values(
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64}, -1},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64, "--count", "3",
                 "--drop", "0.5", "--bad-tags", "--silent-after", "2.5"}, -1},
        CliCase{{"--id", "0123456789AB", "--key", kKey64}, 2},
        CliCase{{"--server", "127.0.0.1", "--id", "0123456789AB", "--key", kKey64}, 2},
        CliCase{{"--server", "127.0.0.1:70000", "--id", "0123456789AB", "--key", kKey64}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123", "--key", kKey64}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", "00"}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64, "--drop", "1.5"}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64, "--count", "0"}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64, "--config",
                 "/nonexistent/x.ini"}, 2},
        CliCase{{"--server", "127.0.0.1:10001", "--id", "0123456789AB", "--key", kKey64, "--bogus"}, 2},
        CliCase{{"--help"}, 0}));

}  // namespace
}  // namespace telvor::testing
