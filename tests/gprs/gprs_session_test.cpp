// GPRS device session over a fake environment and a fake clock: supervision, tags and repeats,
// data, replies, commands and the key change.
#include "telvor/protocol/gprs_session.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/gprs/gprs_fake_env.h"
#include "telvor/crypto/default_key.h"
#include "telvor/protocol/envelope.h"

namespace telvor::testing {
namespace {

constexpr std::uint8_t kType = 2;  // a short device packet type; replies are 0x12

GostFullKey make_key(std::uint8_t base) {
  GostFullKey k{};
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(base + i * 7);
  return k;
}

class GprsSessionTest : public ::testing::Test {
 protected:
  GostFullKey key = make_key(1);
  GostFullKey new_key = make_key(100);
  GprsSession::Id id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
  GprsPeer peer{{127, 0, 0, 1}, 40000};
  FakeGprsEnv env;
  GprsSettings settings;
  std::unique_ptr<GprsSession> s;
  std::uint8_t next_seq = 1;

  void open() {
    env.session_set_up = true;
    s = std::make_unique<GprsSession>(env, id, key, settings);
    env.attach(s.get());
    s->opened();
    env.post(9);
    env.settle();
  }

  void receive(const std::vector<std::uint8_t>& raw) {
    s->IncomingPacketGPRS(peer, raw);
    env.settle();
  }

  // The tag a well-behaved device puts into its next packet: the one the library last sent.
  std::uint32_t echo_tag() const {
    if (env.sent.empty()) return 0x0BADF00D;
    return decode_sent(env.sent.back().framed, key).tag();
  }

  std::vector<std::uint8_t> packet(std::vector<Item> items, std::uint8_t type = kType,
                                   std::optional<std::uint32_t> tag = std::nullopt,
                                   const GostFullKey* with = nullptr) {
    return device_packet(id, with ? *with : key, type, tag.value_or(echo_tag()), items);
  }

  Item status() { return Item{kItemStatus, {next_seq++}}; }

  Item data_item(std::vector<std::uint8_t> payload) {
    payload.insert(payload.begin(), next_seq++);
    return Item{kItemData, payload};
  }

  // Opens the session and brings it on duty with one data packet (so that a reply template exists).
  void on_duty() {
    open();
    receive(packet({data_item({0xAA})}));
    env.advance(settings.ToWaitSendDAfterIn);
    ASSERT_EQ(s->state(), GprsState::Duty);
    ASSERT_EQ(env.sent.size(), 1u);
  }

  // A well-sealed packet whose inner checksum does not match its body.
  std::vector<std::uint8_t> bad_inner_checksum() {
    PacketBuffer p;
    p.StartNew(id, kCipherOn, kType);
    p.SetTimeTag(echo_tag());
    p.AppendItem(kItemStatus, std::vector<std::uint8_t>{next_seq++});
    p.AppendInnerChecksum();
    p.Storage()[kPacketTimeTag] ^= 0x01;
    GostRandomRecord r{};
    PacketSeal(p, key, &r, true);
    return {p.Bytes().begin(), p.Bytes().end()};
  }

  // An envelope that opens to fewer than 3 bytes.
  std::vector<std::uint8_t> too_short_envelope() {
    std::vector<std::uint8_t> raw(id.begin(), id.end());
    raw.push_back(kCipherOn);
    std::array<std::uint8_t, 16> buf{0x11, 0x22};
    GostRandomRecord r{};
    const int n = EnvelopeSeal(buf, 2, key, &r, true);
    raw.insert(raw.end(), buf.begin(), buf.begin() + n);
    return raw;
  }

  Decoded last_sent(const GostFullKey* with = nullptr) const {
    return decode_sent(env.sent.back().framed, with ? *with : key);
  }
};

// ---- opening, duty, silence -------------------------------------------------------------------

TEST_F(GprsSessionTest, FirstPacketBringsDutyWhateverItsTag) {
  open();
  EXPECT_EQ(s->state(), GprsState::Opening);
  receive(packet({status()}, kType, 0xDEADBEEF));
  EXPECT_EQ(s->state(), GprsState::Duty);
  ASSERT_EQ(env.states.size(), 1u);
  EXPECT_EQ(env.states[0].state, ma_DUTY);
  EXPECT_FALSE(env.states[0].svc);
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS(4) - ma_DUTY (исправность после включения канала)"));
  EXPECT_TRUE(env.bound);
  // A status item alone needs no answer.
  env.advance(1000);
  EXPECT_TRUE(env.sent.empty());
}

TEST_F(GprsSessionTest, NoPacketAfterOpeningIsDisrepair) {
  open();
  env.advance(settings.Open_GPRS - 1);
  EXPECT_TRUE(env.states.empty());
  env.advance(1);
  EXPECT_EQ(env.state_codes(), std::vector<std::int32_t>{ma_DISREPAIR});
  EXPECT_EQ(env.states[0].reason, kReasonOther);
  EXPECT_TRUE(env.logged("telvor.dll::Timers_GPRS_1(1) - ma_DISREPAIR (после открытия канала ответа не поступило)"));
  EXPECT_EQ(s->state(), GprsState::Faulty);
}

TEST_F(GprsSessionTest, NoPacketAfterOpeningIsSilentWhenAnotherSessionIsBound) {
  env.other_bound = true;
  open();
  env.advance(settings.Open_GPRS);
  EXPECT_TRUE(env.states.empty());
  EXPECT_EQ(s->state(), GprsState::Faulty);
}

TEST_F(GprsSessionTest, SilentDeviceGetsTenPollsThenDisrepair) {
  on_duty();
  const std::uint64_t last_packet = env.now - settings.ToWaitSendDAfterIn;
  const std::size_t before = env.sent.size();
  env.advance(200000);
  std::vector<std::uint64_t> polls;
  for (std::size_t i = before; i < env.sent.size(); ++i) {
    const Decoded d = decode_sent(env.sent[i].framed, key);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.has(kItemDg2));
    polls.push_back(env.sent[i].at - last_packet);
  }
  std::vector<std::uint64_t> expected;
  for (int i = 0; i < 10; ++i) expected.push_back(30000 + 10000 * i);
  EXPECT_EQ(polls, expected);
  ASSERT_EQ(env.states.size(), 2u);
  EXPECT_EQ(env.states[1].state, ma_DISREPAIR);
  EXPECT_EQ(env.states[1].at - last_packet, 130000u);
  EXPECT_TRUE(env.logged("telvor.dll::Timers_GPRS_1(2) - ma_DISREPAIR (количество повторов ДР2 с пульта исчерпано)"));
  EXPECT_EQ(s->state(), GprsState::Faulty);
}

TEST_F(GprsSessionTest, PacketAfterFaultBringsDutyAgain) {
  on_duty();
  env.advance(200000);
  ASSERT_EQ(s->state(), GprsState::Faulty);
  receive(packet({status()}));
  EXPECT_EQ(s->state(), GprsState::Duty);
  EXPECT_EQ(env.states.back().state, ma_DUTY);
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS(5) - ma_DUTY  (исправность после ожидания включения в режиме 'неисправность')"));
}

TEST_F(GprsSessionTest, EveryPacketRestartsTheSilenceWait) {
  on_duty();
  for (int i = 0; i < 5; ++i) {
    env.advance(25000);
    receive(packet({status()}));
  }
  const std::size_t before = env.sent.size();
  env.advance(29999);
  EXPECT_EQ(env.sent.size(), before);
  env.advance(1);
  ASSERT_EQ(env.sent.size(), before + 1);
  EXPECT_TRUE(last_sent().has(kItemDg2));
}

// ---- pacing -------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, NextPacketWaitsForTheGapAfterTheLastDatagram) {
  on_duty();
  receive(packet({status()}));
  const std::uint64_t received = env.now;
  env.advance(100);
  env.commands.push_back(HostCommand{7, 9, {'g', 'c'}, false});
  s->Send_CMD_GPRS(0x12);
  env.advance(199);
  EXPECT_EQ(env.sent.size(), 1u);
  env.advance(1);
  ASSERT_EQ(env.sent.size(), 2u);
  EXPECT_EQ(env.sent.back().at - received, 300u);
}

// ---- time tags ------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, WrongTagsGiveImitationOnTheFifth) {
  on_duty();
  for (int i = 0; i < 4; ++i) {
    receive(packet({status()}, kType, 0x5000 + i));
    EXPECT_EQ(env.states.size(), 1u) << i;
  }
  receive(packet({status()}, kType, 0x6000));
  ASSERT_EQ(env.states.size(), 2u);
  EXPECT_EQ(env.states[1].state, ma_DISRP_IMIT_UT);
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS(3) - ma_DISRP_IMIT_UT  (количество плохих таймерных меток превысило критический параметр.)"));
  EXPECT_EQ(s->state(), GprsState::Faulty);
  // Each wrong tag was answered negatively.
  env.advance(1000);
  const Decoded d = last_sent();
  EXPECT_TRUE(d.has(kItemNak));
}

TEST_F(GprsSessionTest, AcceptedItemResetsTheWrongTagCount) {
  on_duty();
  for (int i = 0; i < 4; ++i) receive(packet({status()}, kType, 0x5000 + i));
  env.advance(1000);
  receive(packet({data_item({1})}));  // echoes the library's tag: accepted
  env.advance(1000);
  for (int i = 0; i < 4; ++i) receive(packet({status()}, kType, 0x7000 + i));
  EXPECT_EQ(env.state_codes(), std::vector<std::int32_t>{ma_DUTY});
}

TEST_F(GprsSessionTest, FixedDeviceTagIsAlwaysAccepted) {
  on_duty();
  receive(packet({data_item({0x42})}, kType, kTagAlwaysAccepted));
  ASSERT_EQ(env.deliveries.size(), 2u);
  EXPECT_EQ(env.deliveries[1].data, std::vector<std::uint8_t>{0x42});
  env.advance(1000);
  EXPECT_FALSE(last_sent().has(kItemNak));
}

TEST_F(GprsSessionTest, ReplyTagsAreRememberedFiveDeep) {
  on_duty();
  // Five replies, each with a fresh tag; the device answers none of them with their tag.
  std::vector<std::uint32_t> tags;
  for (int i = 0; i < 6; ++i) {
    receive(packet({data_item({static_cast<std::uint8_t>(i)})}));
    env.advance(1000);
    tags.push_back(last_sent().tag());
  }
  const std::size_t delivered = env.deliveries.size();
  // The newest five are accepted (the repeat test then runs; different content is new).
  receive(packet({data_item({0x50})}, kType, tags[1]));
  EXPECT_EQ(env.deliveries.size(), delivered + 1);
  env.advance(1000);
  // The sixth-newest has dropped out of the history and is not the last device tag.
  const std::vector<std::uint8_t> raw = packet({data_item({0x51})}, kType, tags[0]);
  receive(raw);
  EXPECT_EQ(env.deliveries.size(), delivered + 1);
}

// ---- repeats ---------------------------------------------------------------------------------------

struct RepeatCase {
  const char* name;
  std::uint32_t count_retry;
  bool same_ciphertext;  // replayed bytes (same random bytes) or re-sealed
  int repeats_to_verdict;
  std::int32_t verdict;
  const char* log_prefix;
};

class GprsRepeatTest : public GprsSessionTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(GprsRepeatTest, IdenticalPacketsGiveTheVerdictAtTheThreshold) {
  const RepeatCase& c = GetParam();
  settings.CountRetryRecive_GPRS = c.count_retry;
  on_duty();
  const std::uint32_t tag = echo_tag();
  const Item item = data_item({0x10, 0x20});
  const std::vector<std::uint8_t> first = packet({item}, kType, tag);
  receive(first);
  env.advance(1000);
  ASSERT_EQ(env.deliveries.size(), 2u);
  for (int r = 1; r <= c.repeats_to_verdict; ++r) {
    // The device did not get the reply: it sends the same packet again with the same tag.
    const auto again = c.same_ciphertext ? first : packet({item}, kType, tag);
    receive(again);
    env.advance(1000);
    if (r < c.repeats_to_verdict) {
      EXPECT_EQ(env.states.size(), 1u) << "repeat " << r;
      EXPECT_TRUE(last_sent().has(kItemAck)) << "repeat " << r;
    }
  }
  ASSERT_EQ(env.states.size(), 2u);
  EXPECT_EQ(env.states[1].state, c.verdict);
  EXPECT_TRUE(env.logged(c.log_prefix));
  EXPECT_TRUE(last_sent().has(kItemNak));
  // Data was delivered once only.
  EXPECT_EQ(env.deliveries.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GprsRepeatTest,
    ::testing::Values(
        RepeatCase{"ResealedFive", 5, false, 4, ma_DISREPAIR, "telvor.dll::IncomingPacketGPRS(8)"},
        RepeatCase{"ReplayedFive", 5, true, 4, ma_DISRP_IMIT_UT, "telvor.dll::IncomingPacketGPRS(6)"},
        RepeatCase{"OneIsRaisedToTwo", 1, false, 1, ma_DISREPAIR, "telvor.dll::IncomingPacketGPRS(8)"},
        RepeatCase{"Three", 3, true, 2, ma_DISRP_IMIT_UT, "telvor.dll::IncomingPacketGPRS(6)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GprsSessionTest, PacketsDifferingOnlyInTheTagAreARepeat) {
  on_duty();
  const Item item = data_item({0x33});
  receive(packet({item}));
  env.advance(1000);
  receive(packet({item}));  // the new library tag, same content
  env.advance(1000);
  EXPECT_EQ(env.deliveries.size(), 2u);  // acknowledged, not delivered again
  EXPECT_TRUE(last_sent().has(kItemAck));
}

TEST_F(GprsSessionTest, RepetitionAfterNegativeReplyIsNew) {
  settings.CountRetryRecive_GPRS = 2;  // one repeat would already give the verdict
  on_duty();
  const std::uint32_t tag = echo_tag();
  const Item item = data_item({0x44});
  receive(packet({item}, kType, tag));
  env.advance(1000);
  // A bad packet in between is answered negatively.
  std::vector<std::uint8_t> broken = packet({item}, kType, tag);
  broken[10] ^= 0x55;
  receive(broken);
  env.advance(1000);
  ASSERT_TRUE(last_sent().has(kItemNak));
  receive(packet({item}, kType, tag));
  env.advance(1000);
  EXPECT_EQ(env.states.size(), 1u);
  EXPECT_TRUE(last_sent().has(kItemAck));
}

// ---- data -----------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, DataIsAcknowledgedAndDeliveredOnce) {
  on_duty();
  ASSERT_EQ(env.deliveries.size(), 1u);
  EXPECT_EQ(env.deliveries[0].type, kType);
  EXPECT_EQ(env.deliveries[0].data, std::vector<std::uint8_t>{0xAA});
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS(7) - перед Read_GPRS"));
  const Decoded reply = decode_sent(env.sent[0].framed, key);
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.type(), 0x12);
  ASSERT_EQ(reply.items.size(), 1u);
  EXPECT_EQ(reply.items[0].kind, kItemAck);
  EXPECT_EQ(reply.items[0].data, std::vector<std::uint8_t>{1});
  // The same item in the device's next packet (beside a new one) is acknowledged again only.
  const Item old_item{kItemData, {1, 0xAA}};
  receive(packet({old_item, data_item({0xBB})}));
  env.advance(1000);
  ASSERT_EQ(env.deliveries.size(), 2u);
  EXPECT_EQ(env.deliveries[1].data, std::vector<std::uint8_t>{0xBB});
  const Decoded d = last_sent();
  ASSERT_EQ(d.items.size(), 2u);
  EXPECT_EQ(d.items[0].data, std::vector<std::uint8_t>{1});
  EXPECT_EQ(d.items[1].data, std::vector<std::uint8_t>{2});
}

TEST_F(GprsSessionTest, RefusedDataIsNotAcknowledged) {
  open();
  env.refuse_data = 1;
  receive(packet({data_item({1}), {kItemDg2, {5}}}));
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_EQ(d.items.size(), 1u);  // only the DG2 acknowledgement
  EXPECT_EQ(d.items[0].data, std::vector<std::uint8_t>{5});
}

TEST_F(GprsSessionTest, LongTypeDataCarriesItsSixteenBitLength) {
  open();
  std::vector<std::uint8_t> payload(300);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
  receive(packet({data_item(payload)}, 1));
  ASSERT_EQ(env.deliveries.size(), 1u);
  EXPECT_EQ(env.deliveries[0].data, payload);
  env.advance(1000);
  EXPECT_EQ(last_sent().type(), 0x11);
}

TEST_F(GprsSessionTest, TimeRequestIsAnsweredWithTheClockText) {
  env.clock_tm.tm_year = 126;
  env.clock_tm.tm_mon = 11;
  env.clock_tm.tm_mday = 10;
  env.clock_tm.tm_hour = 9;
  env.clock_tm.tm_min = 5;
  env.clock_tm.tm_sec = 7;
  open();
  receive(packet({{kItemTimeRequest, {0x21}}}));
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_EQ(d.items.size(), 1u);
  EXPECT_EQ(d.items[0].kind, kItemTimeReply);
  const std::string text(d.items[0].data.begin() + 1, d.items[0].data.end());
  EXPECT_EQ(d.items[0].data[0], 0x21);
  EXPECT_EQ(text, "ts-26/12/10,09:05:07");
}

TEST_F(GprsSessionTest, ReplyReusesTheDeviceRandomBytes) {
  open();
  GostRandomRecord device_random{};
  receive(device_packet(id, key, kType, 1, {data_item({1})}, true, &device_random, true));
  env.advance(1000);
  // Opening the reply yields the device's random bytes.
  FrameDecoder dec;
  std::vector<std::uint8_t> raw;
  dec.Feed(env.sent.back().framed, [&](auto f) { raw.assign(f.begin(), f.end()); });
  PacketBuffer p;
  p.Assign(raw);
  GostRandomRecord reply_random{};
  ASSERT_EQ(PacketOpen(p, &key, &reply_random), PacketVerdict::kOk);
  const std::size_t reused = std::min(device_random[0], reply_random[0]);
  ASSERT_GT(reused, 0u);
  EXPECT_TRUE(std::equal(device_random.begin() + 1, device_random.begin() + 1 + reused,
                         reply_random.begin() + 1));
}

// ---- bad packets ------------------------------------------------------------------------------------

struct BadCase {
  const char* name;
  bool wrong_key;  // decryption failure vs checksum failure
  std::int32_t reason;
  const char* log_prefix;
};

class GprsBadPacketTest : public GprsSessionTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(GprsBadPacketTest, FiveBadPacketsInFaultyStateReportDisrepair) {
  const BadCase& c = GetParam();
  open();
  env.advance(settings.Open_GPRS);  // no packet: faulty
  ASSERT_EQ(s->state(), GprsState::Faulty);
  ASSERT_EQ(env.states.size(), 1u);
  auto bad = [&] { return c.wrong_key ? too_short_envelope() : bad_inner_checksum(); };
  for (int i = 0; i < 4; ++i) receive(bad());
  EXPECT_EQ(env.states.size(), 1u);
  receive(bad());
  ASSERT_EQ(env.states.size(), 2u);
  EXPECT_EQ(env.states[1].state, ma_DISREPAIR);
  EXPECT_EQ(env.states[1].reason, c.reason);
  EXPECT_TRUE(env.logged(c.log_prefix));
  EXPECT_EQ(s->fault_reason(), kReasonOther);
  // Bad packets are answered negatively.
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.items.size(), 1u);
  EXPECT_EQ(d.items[0].kind, kItemNak);
  EXPECT_TRUE(d.items[0].data.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GprsBadPacketTest,
    ::testing::Values(BadCase{"Checksum", false, kReasonBadChecksum, "telvor.dll::IncomingPacketGPRS(1)"},
                      BadCase{"Decryption", true, kReasonDecryption, "telvor.dll::IncomingPacketGPRS(2)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GprsSessionTest, BadPacketsOnDutyOnlyRecordTheReason) {
  on_duty();
  for (int i = 0; i < 6; ++i) receive(bad_inner_checksum());
  EXPECT_EQ(env.states.size(), 1u);
  EXPECT_EQ(s->fault_reason(), kReasonBadChecksum);
  env.advance(200000);  // silence: the disrepair carries the reason
  EXPECT_EQ(env.states.back().state, ma_DISREPAIR);
  EXPECT_EQ(env.states.back().reason, kReasonBadChecksum);
}

TEST_F(GprsSessionTest, UnknownTypeIsAnsweredWithTypeZero) {
  open();
  receive(packet({status()}, 0x33));
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.type(), 0);
  EXPECT_TRUE(d.has(kItemNak));
  EXPECT_TRUE(env.states.empty());
}

TEST_F(GprsSessionTest, WrongInnerIdentifierIsRejectedAndTheReplyCarriesTheOuterOne) {
  open();
  PacketBuffer p;
  p.StartNew(id, kCipherOn, kType);
  p.SetInnerId(std::array<std::uint8_t, 6>{9, 9, 9, 9, 9, 9});
  p.SetTimeTag(5);
  p.AppendItem(kItemStatus, std::vector<std::uint8_t>{1});
  p.AppendInnerChecksum();
  GostRandomRecord r{};
  PacketSeal(p, key, &r, true);
  receive({p.Bytes().begin(), p.Bytes().end()});
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.has(kItemNak));
  EXPECT_EQ(d.packet.InnerId(), id);
  EXPECT_TRUE(env.states.empty());
  ASSERT_FALSE(env.traces.empty());
  EXPECT_EQ(env.traces[0].type, 0);
}

TEST_F(GprsSessionTest, ArbitraryShortDatagramsAreSafe) {
  open();
  for (std::size_t n = 0; n < 30; ++n) {
    std::vector<std::uint8_t> raw(n, 0x01);
    receive(raw);
  }
  env.advance(1000);
  EXPECT_EQ(s->state(), GprsState::Opening);
}

// ---- state reports and service mode ------------------------------------------------------------------

struct ModeCase {
  const char* name;
  bool service_mode;
  bool created_by_svc;
  std::vector<bool> expected;  // svc flag of each callback made for one report
};

class GprsReportTest : public GprsSessionTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(GprsReportTest, StatePathFollowsTheRegistration) {
  env.svc_mode = GetParam().service_mode;
  env.created_by_svc = GetParam().created_by_svc;
  open();
  receive(packet({status()}));
  std::vector<bool> svc;
  for (const auto& r : env.states) svc.push_back(r.svc);
  EXPECT_EQ(svc, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GprsReportTest,
    ::testing::Values(ModeCase{"Plain", false, false, {false}},
                      ModeCase{"ServiceOpen", true, true, {true}},
                      ModeCase{"ServiceOverPlain", true, false, {true, false}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- commands ----------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, CommandIsCarriedAndAcknowledged) {
  on_duty();
  env.commands.push_back(HostCommand{0x0102, 0x33, {'g', 'c'}, false});
  s->Send_CMD_GPRS(0x12);
  EXPECT_TRUE(env.logged("telvor.dll::Send_CMD_GPRS - Команда поставлена на обработку"));
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.type(), 0x12);
  ASSERT_EQ(d.items.size(), 1u);
  EXPECT_EQ(d.items[0].kind, kItemCommand);
  EXPECT_EQ(d.items[0].data, (std::vector<std::uint8_t>{0x33, 'g', 'c'}));
  // The command packet carries the last device tag (the device's first packet had 0x0BADF00D).
  EXPECT_EQ(d.tag(), 0x0BADF00Du);
  EXPECT_EQ(env.get_cmd_calls,
            (std::vector<std::pair<std::int32_t, std::int32_t>>{{0x12, 0}, {0x12, 1}, {0x12, 0}}));
  receive(packet({{kItemAck, {0x33}}}));
  ASSERT_EQ(env.results.size(), 1u);
  EXPECT_EQ(env.results[0].status, kCmdAcknowledged);
  EXPECT_EQ(env.results[0].number, 0x0102);
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS - msg_KVITGOOD"));
  env.advance(settings.ToWaitKvitCmd_GPRS * 2);
  EXPECT_EQ(env.results.size(), 1u);  // settled at once, nothing more
  EXPECT_FALSE(env.send_running);
}

TEST_F(GprsSessionTest, CommandRefusedAndUnanswered) {
  on_duty();
  env.commands.push_back(HostCommand{1, 0x40, {'x'}, false});
  s->Send_CMD_GPRS(0x13);
  env.advance(1000);
  receive(packet({{kItemNak, {0x40}}}));
  ASSERT_EQ(env.results.size(), 1u);
  EXPECT_EQ(env.results[0].status, kCmdRefused);
  EXPECT_TRUE(env.logged("telvor.dll::IncomingPacketGPRS - msg_KVITBAD"));

  env.commands.push_back(HostCommand{2, 0x41, {'y'}, false});
  s->Send_CMD_GPRS(0x13);
  env.advance(1000);
  const std::uint64_t sent_at = env.sent.back().at;
  env.run_until(sent_at + settings.ToWaitKvitCmd_GPRS - 1);
  EXPECT_EQ(env.results.size(), 1u);
  env.run_until(sent_at + settings.ToWaitKvitCmd_GPRS);
  ASSERT_EQ(env.results.size(), 2u);
  EXPECT_EQ(env.results[1].status, kCmdNoAcknowledgement);
  EXPECT_EQ(env.results[1].number, 2);
}

TEST_F(GprsSessionTest, OneOfTwoCommandsAcknowledgedGivesStatusFourToTheOther) {
  on_duty();
  env.commands.push_back(HostCommand{1, 0x50, {'a'}, false});
  env.commands.push_back(HostCommand{2, 0x51, {'b'}, false});
  s->Send_CMD_GPRS(0x14);
  env.advance(1000);
  const Decoded d = last_sent();
  ASSERT_EQ(d.items.size(), 2u);
  receive(packet({{kItemAck, {0x51}}}));
  env.advance(settings.ToWaitKvitCmd_GPRS);
  ASSERT_EQ(env.results.size(), 2u);
  EXPECT_EQ(env.results[0].number, 2);
  EXPECT_EQ(env.results[0].status, kCmdAcknowledged);
  EXPECT_EQ(env.results[1].number, 1);
  EXPECT_EQ(env.results[1].status, kCmdOthersAcknowledged);
}

TEST_F(GprsSessionTest, TwoFlagsAreServedInTwoPacketsInTableOrder) {
  on_duty();
  env.commands.push_back(HostCommand{1, 0x60, {'a'}, false, 0x12});
  env.commands.push_back(HostCommand{2, 0x61, {'b'}, false, 0x15});
  s->Send_CMD_GPRS(0x15);
  s->Send_CMD_GPRS(0x12);
  env.advance(1000);
  ASSERT_EQ(env.sent.size(), 2u);
  EXPECT_EQ(last_sent().type(), 0x12);
  EXPECT_EQ(last_sent().items.size(), 1u);
  receive(packet({{kItemAck, {0x60}}}));
  env.advance(1000);
  ASSERT_EQ(env.sent.size(), 3u);
  EXPECT_EQ(last_sent().type(), 0x15);
  EXPECT_TRUE(last_sent().has(kItemCommand));
}

TEST_F(GprsSessionTest, ServiceOnlyCodeOutsideServiceModeFetchesNothing) {
  on_duty();
  env.commands.push_back(HostCommand{1, 0x70, {'a'}, false});
  s->Send_CMD_GPRS(0x17);
  env.advance(1000);
  EXPECT_TRUE(env.get_cmd_calls.empty());
  EXPECT_EQ(s->command_flags(), 0);
  EXPECT_FALSE(env.send_running);
}

TEST_F(GprsSessionTest, ServiceModeCarriesALongCommandOnePerPacket) {
  env.svc_mode = true;
  env.created_by_svc = true;
  on_duty();
  std::vector<std::uint8_t> big(600, 'z');
  env.commands.push_back(HostCommand{1, 0x80, big, false});
  env.commands.push_back(HostCommand{2, 0x81, {'w', 'r'}, false});
  s->Send_CMD_GPRS(0x11);
  env.advance(1000);
  Decoded d = last_sent();
  EXPECT_EQ(d.type(), 0x11);
  ASSERT_EQ(d.items.size(), 1u);
  EXPECT_EQ(d.items[0].data.size(), 601u);
  receive(packet({{kItemAck, {0x80}}}));
  env.advance(1000);
  d = last_sent();
  ASSERT_EQ(d.items.size(), 1u);
  EXPECT_EQ(d.items[0].data, (std::vector<std::uint8_t>{0x81, 'w', 'r'}));
}

TEST_F(GprsSessionTest, CommandTooLargeForItsTypeIsRefused) {
  on_duty();
  env.commands.push_back(HostCommand{1, 0x90, std::vector<std::uint8_t>(300, 'q'), false});
  s->Send_CMD_GPRS(0x12);
  env.advance(1000);
  ASSERT_FALSE(env.results.empty());
  EXPECT_EQ(env.results[0].status, kCmdRefused);
  EXPECT_TRUE(env.commands[0].taken);
}

TEST_F(GprsSessionTest, HostHandingOutOneCommandForeverDoesNotHoldTheSession) {
  on_duty();
  env.sticky_commands = true;
  env.commands.push_back(HostCommand{1, 0x91, std::vector<std::uint8_t>(300, 'q'), false});
  s->Send_CMD_GPRS(0x12);
  env.advance(1000);
  EXPECT_EQ(s->command_flags(), 0);
  EXPECT_FALSE(env.send_running);
  EXPECT_LE(env.results.size(), 256u);
  for (const auto& r : env.results) EXPECT_EQ(r.status, kCmdRefused);
}

// ---- key change -------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, KeyChangeSucceeds) {
  env.svc_mode = true;
  env.created_by_svc = true;
  on_duty();
  env.host_key = new_key;
  s->ChangeKeyNow_GPRS(0x12);
  EXPECT_TRUE(env.logged("telvor.dll::ChangeKeyNow_GPRS - Команда смены ключа поставлена на обработку"));
  env.advance(1000);
  const Decoded item_packet = last_sent();
  ASSERT_TRUE(item_packet.ok);  // still under the current key
  ASSERT_EQ(item_packet.items.size(), 1u);
  ASSERT_EQ(item_packet.items[0].kind, kItemKeyChange);
  const std::uint8_t number = item_packet.items[0].data[0];
  // The device switches and acknowledges under the new key.
  receive(device_packet(id, new_key, kType, item_packet.tag(), {{kItemAck, {number}}}));
  env.advance(1000);
  const Decoded poll = last_sent(&new_key);
  ASSERT_TRUE(poll.ok);
  EXPECT_TRUE(poll.has(kItemDg2));
  EXPECT_TRUE(env.results.empty());
  receive(device_packet(id, new_key, kType, poll.tag(), {{kItemAck, {0}}}));
  EXPECT_EQ(env.states.back().state, kStateKeyChanged);
  EXPECT_EQ(s->key(), new_key);
  EXPECT_FALSE(s->key_change_pending());
  // The new key came through the service slot, with flag 1.
  ASSERT_FALSE(env.cypher_calls.empty());
  for (const auto& c : env.cypher_calls) {
    EXPECT_TRUE(c.first);
    EXPECT_EQ(c.second, 1);
  }
  // Traffic goes on under the new key.
  receive(device_packet(id, new_key, kType, poll.tag(), {data_item({7})}));
  EXPECT_EQ(env.deliveries.back().data, std::vector<std::uint8_t>{7});
}

TEST_F(GprsSessionTest, KeyChangeFailsAfterThreeUnansweredItems) {
  on_duty();
  env.host_key = new_key;
  s->ChangeKeyNow_GPRS(0x12);
  EXPECT_EQ(s->key_change_attempts_left(), 3);
  env.advance(100000);
  int items = 0;
  for (const auto& sent : env.sent) {
    const Decoded d = decode_sent(sent.framed, key);
    if (d.ok && d.has(kItemKeyChange)) ++items;
  }
  EXPECT_EQ(items, 3);
  EXPECT_EQ(env.state_codes(), (std::vector<std::int32_t>{ma_DUTY, kStateKeyChangeFailed}));
  EXPECT_FALSE(s->key_change_pending());
  EXPECT_EQ(s->key(), key);
  // A plain registration fetches through the data-channel slot.
  for (const auto& c : env.cypher_calls) EXPECT_FALSE(c.first);
}

TEST_F(GprsSessionTest, PacketUnderTheOldKeyDuringTheWaitCostsAnAttempt) {
  on_duty();
  env.host_key = new_key;
  s->ChangeKeyNow_GPRS(0x12);
  env.advance(1000);
  EXPECT_EQ(s->key_change_attempts_left(), 3);
  receive(packet({status()}));
  EXPECT_EQ(s->key_change_attempts_left(), 2);
}

// ---- other ------------------------------------------------------------------------------------------

TEST_F(GprsSessionTest, ReloadedKeyComesFromTheSlotOfTheRegistration) {
  env.created_by_svc = true;
  open();
  env.host_key = new_key;
  EXPECT_TRUE(s->ChangeKeyNow());
  EXPECT_EQ(s->key(), new_key);
  ASSERT_EQ(env.cypher_calls.size(), 2u);
  EXPECT_TRUE(env.cypher_calls[0].first);
  EXPECT_EQ(env.cypher_calls[0].second, 0);
  env.host_key.reset();
  EXPECT_FALSE(s->ChangeKeyNow());
  EXPECT_FALSE(s->keyed());
}

TEST(GprsSettingsTest, ReadFromTheRecordSlots) {
  std::array<std::int32_t, 38> slots{};
  slots[88 / 4] = 1;
  slots[92 / 4] = 2;
  slots[96 / 4] = 3;
  slots[100 / 4] = 4;
  slots[104 / 4] = 5;
  slots[108 / 4] = -6;
  slots[112 / 4] = 7;
  slots[116 / 4] = 8;
  slots[56 / 4] = 0x10009;
  const GprsSettings s = GprsSettings::from_slots(slots);
  EXPECT_EQ(s.Open_GPRS, 1u);
  EXPECT_EQ(s.ToSendDG2_GPRS, 2u);
  EXPECT_EQ(s.ToRetrySendDG2_GPRS, 3u);
  EXPECT_EQ(s.CountRetrySendDG2_GPRS, 4u);
  EXPECT_EQ(s.ToWaitKvitCmd_GPRS, 5u);
  EXPECT_EQ(s.ToWaitSendDAfterIn, 0u);
  EXPECT_EQ(s.CountRetryRecive_GPRS, 7u);
  EXPECT_EQ(s.CountNoGoodTimeTag_GPRS, 8u);
  EXPECT_EQ(s.key_change_attempts, 9);
}

TEST(GprsUnknownIdTest, RecognisesPacketsUnderTheDefaultKey) {
  const GprsSession::Id id{1, 2, 3, 4, 5, 6};
  const auto good = device_packet(id, GostDefaultKey(), 7, 1, {{kItemStatus, {1}}});
  EXPECT_EQ(gprs_unknown_id_packet_type(good), std::optional<std::uint8_t>(7));
  const auto clear = device_packet(id, GostDefaultKey(), 3, 1, {{kItemStatus, {1}}}, false);
  EXPECT_EQ(gprs_unknown_id_packet_type(clear), std::optional<std::uint8_t>(3));
  const auto other = device_packet(id, make_key(9), 7, 1, {{kItemStatus, {1}}});
  EXPECT_EQ(gprs_unknown_id_packet_type(other), std::nullopt);
  EXPECT_EQ(gprs_unknown_id_packet_type({}), std::nullopt);
}

}  // namespace
}  // namespace telvor::testing
