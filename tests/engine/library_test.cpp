// The registries and the session creation and close routines on real UDP sockets on 127.0.0.1.
#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>

#include <memory>

#include "telvor/api/library.h"
#include "tests/engine/device.h"
#include "tests/engine/recording_host.h"

namespace telvor::test {
namespace {

constexpr Id kId = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
constexpr Id kOther = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder::get().reset();
    settings_ = recording_settings();
    lib_ = std::make_unique<Library>(settings_);
  }
  void TearDown() override { lib_.reset(); }

  std::vector<StateCall> states_with(std::int32_t state) {
    std::vector<StateCall> out;
    for (auto& s : Recorder::get().states_copy())
      if (s.state == state) out.push_back(s);
    return out;
  }

  LinkSettings settings_{};
  std::unique_ptr<Library> lib_;
};

TEST_F(LibraryTest, ListPortLeavesExactlyTheListedPortsWithTheType) {
  const std::uint16_t a = 10001, b = 10002;
  lib_->ListPort(6, &a, 1);
  lib_->ListPort(6, &b, 1);
  auto ports = lib_->ports();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].number, a);
  EXPECT_EQ(ports[0].mask, 0u);
  EXPECT_EQ(ports[1].number, b);
  EXPECT_EQ(ports[1].mask, 1u << 6);

  // Another type adds its bit beside the first; a count below 1 takes the type from every port.
  const std::uint16_t both[] = {a, b};
  lib_->ListPort(3, both, 2);
  ports = lib_->ports();
  EXPECT_EQ(ports[0].mask, 1u << 3);
  EXPECT_EQ(ports[1].mask, (1u << 3) | (1u << 6));
  lib_->ListPort(3, both, 0);
  ports = lib_->ports();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].mask, 0u);
  EXPECT_EQ(ports[1].mask, 1u << 6);
  // Only the low 16 bits of the count are used: 0x10001 lists one port.
  lib_->ListPort(4, both, 0x10001);
  ports = lib_->ports();
  EXPECT_EQ(ports[0].mask, 1u << 4);
  EXPECT_EQ(ports[1].mask, 1u << 6);
}

struct OpenCase {
  std::int32_t type;
  bool svc;
  std::int32_t duplicate_code;
  std::size_t cypher_calls_per_session;  // 0 or 2
  std::int32_t key_length;
  std::size_t block_asks_per_session;
  // A second Open_svc of a service registration with a session set up neither opens nor reports.
  std::size_t duplicate_reports = 2;
};

class OpenTwiceTest : public LibraryTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTwiceTest, SecondOpenReportsTheDuplicateOncePerPortAndChangesNothing) {
  const OpenCase c = GetParam();
  const std::uint16_t ports[] = {free_udp_port(), free_udp_port()};
  lib_->ListPort(c.type, ports, 2);
  const Id id = c.type == 6 ? kId : Id{127, 0, 0, 9, 0, 0};
  lib_->Open(c.type, id.data(), 0, c.svc);
  {
    auto& r = Recorder::get();
    std::lock_guard lock(r.mu);
    ASSERT_EQ(r.cyphers.size(), 2 * c.cypher_calls_per_session);
    for (std::size_t i = 0; i < r.cyphers.size(); ++i) {
      const auto& call = r.cyphers[i];
      EXPECT_EQ(call.svc, c.svc);
      EXPECT_EQ(call.type, c.type);
      EXPECT_EQ(call.id, id);
      EXPECT_EQ(call.flag, 0);
      if (i % 2 == 0) {
        EXPECT_FALSE(call.with_buffer);  // first asked with no buffer and a length of 0
        EXPECT_EQ(call.len, 0);
      } else {
        EXPECT_TRUE(call.with_buffer);
        EXPECT_EQ(call.len, c.key_length);
      }
    }
    EXPECT_EQ(r.blocks.size(), 2 * c.block_asks_per_session);
    r.cyphers.clear();
    r.blocks.clear();
  }
  EXPECT_TRUE(states_with(c.duplicate_code).empty());
  auto first = lib_->find_session(c.type, id.data(), ports[0]);
  ASSERT_NE(first, nullptr);

  lib_->Open(c.type, id.data(), 0, c.svc);
  const auto dups = states_with(c.duplicate_code);
  ASSERT_EQ(dups.size(), c.duplicate_reports);
  for (const auto& d : dups) {
    EXPECT_EQ(d.type, c.type);
    EXPECT_EQ(d.id, id);
    EXPECT_EQ(d.svc, c.svc);
  }
  {
    auto& r = Recorder::get();
    std::lock_guard lock(r.mu);
    EXPECT_TRUE(r.cyphers.empty());
    EXPECT_TRUE(r.blocks.empty());
  }
  EXPECT_EQ(lib_->find_session(c.type, id.data(), ports[0]), first);
  for (const auto& p : lib_->ports()) EXPECT_EQ(p.sessions, 1u);

  if (c.duplicate_reports > 0) {
    // Another unit number is another session.
    lib_->Open(c.type, id.data(), 1, c.svc);
    for (const auto& p : lib_->ports()) EXPECT_EQ(p.sessions, 2u);
    lib_->Close(c.type, id.data(), 1, nullptr);
    for (const auto& p : lib_->ports()) EXPECT_EQ(p.sessions, 1u);
  }
  lib_->Close(c.type, id.data(), 0, nullptr);
  for (const auto& p : lib_->ports()) {
    EXPECT_EQ(p.sessions, 0u);
    EXPECT_FALSE(p.socket_open);
  }
  EXPECT_EQ(lib_->registration_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ChannelTypes, OpenTwiceTest,
    ::testing::Values(OpenCase{6, true, 774, 2, 32, 0, 0}, OpenCase{6, false, 774, 2, 32, 0},
                      OpenCase{3, false, 771, 0, 0, 0}, OpenCase{0, false, 771, 2, 32, 32},
                      OpenCase{1, false, 771, 2, 32, 0}, OpenCase{4, false, 771, 2, 40, 16},
                      OpenCase{5, false, 771, 2, 40, 4}));

TEST_F(LibraryTest, ChannelTypeAboveSevenReports772AndCreatesNothing) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(9, &port, 1);
  lib_->Open(9, kId.data(), 0, false);
  const auto bad = states_with(772);
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0].type, 9);
  EXPECT_FALSE(bad[0].svc);
  EXPECT_EQ(lib_->ports()[0].sessions, 0u);
  EXPECT_FALSE(lib_->ports()[0].socket_open);
}

TEST_F(LibraryTest, OpenOfAServiceRegistrationWithoutSessionReportsDisrepair241) {
  // No port carries type 6, so the service registration never gets a session.
  lib_->Open(6, kId.data(), 0, true);
  ASSERT_NE(lib_->find_registration(kId.data()), nullptr);
  lib_->Open(6, kId.data(), 0, false);
  const auto calls = Recorder::get().states_copy();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].svc);
  EXPECT_EQ(calls[0].type, 6);
  EXPECT_EQ(calls[0].id, kId);
  EXPECT_EQ(calls[0].zero1, 0);
  EXPECT_EQ(calls[0].state, 64);
  EXPECT_EQ(calls[0].reason, 241);
  EXPECT_EQ(calls[0].zero2, 0);
  EXPECT_EQ(calls[0].zero3, 0);
  auto reg = lib_->find_registration(kId.data());
  EXPECT_FALSE(reg->service_mode.load());
  EXPECT_FALSE(reg->created_by_service_open.load());

  // Open_svc of such a registration reports through the service callback instead.
  Recorder::get().reset();
  lib_->Open(6, kOther.data(), 0, true);
  lib_->Open(6, kOther.data(), 0, true);
  const auto svc_calls = Recorder::get().states_copy();
  ASSERT_EQ(svc_calls.size(), 1u);
  EXPECT_TRUE(svc_calls[0].svc);
  EXPECT_EQ(svc_calls[0].state, 64);
  EXPECT_EQ(svc_calls[0].reason, 241);
}

TEST_F(LibraryTest, CloseSvcOfARegistrationThatExistedBeforeKeepsTheSessions) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(6, &port, 1);
  lib_->Open(6, kId.data(), 0, false);
  auto session = lib_->find_session(6, kId.data(), port);
  ASSERT_NE(session, nullptr);

  lib_->Open(6, kId.data(), 0, true);
  // The duplicate goes through the state path of a service registration during the call.
  const auto dups = states_with(774);
  ASSERT_EQ(dups.size(), 1u);
  EXPECT_TRUE(dups[0].svc);
  auto reg = lib_->find_registration(kId.data());
  EXPECT_TRUE(reg->service_mode.load());
  EXPECT_FALSE(reg->created_by_service_open.load());

  // A plain Close does not tear down what the service registration uses.
  lib_->Close(6, kId.data(), 0, nullptr);
  EXPECT_EQ(lib_->find_session(6, kId.data(), port), session);

  lib_->Close_svc(6, kId.data(), 0);
  EXPECT_EQ(lib_->find_session(6, kId.data(), port), session);
  EXPECT_FALSE(reg->service_mode.load());
  EXPECT_TRUE(lib_->ports()[0].socket_open);

  lib_->Close(6, kId.data(), 0, nullptr);
  EXPECT_EQ(lib_->find_session(6, kId.data(), port), nullptr);
  EXPECT_FALSE(lib_->ports()[0].socket_open);
  EXPECT_EQ(lib_->find_registration(kId.data()), nullptr);
  EXPECT_FALSE(reg->linked.load());
}

TEST_F(LibraryTest, CloseSvcOfItsOwnRegistrationClosesEverything) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(6, &port, 1);
  lib_->Open(6, kId.data(), 0, true);
  ASSERT_NE(lib_->find_session(6, kId.data(), port), nullptr);
  lib_->Close_svc(6, kId.data(), 0);
  EXPECT_EQ(lib_->find_session(6, kId.data(), port), nullptr);
  EXPECT_EQ(lib_->registration_count(), 0u);
  // Unknown identifiers and negative types change nothing.
  lib_->Close_svc(6, kOther.data(), 0);
  lib_->Close(-1, kId.data(), 0, nullptr);
}

TEST_F(LibraryTest, APortInUseFailsOnlyItsOwnSession) {
  asio::io_context io;
  asio::ip::udp::socket squatter(io, asio::ip::udp::endpoint(asio::ip::address_v4::any(), 0));
  const std::uint16_t busy = squatter.local_endpoint().port();
  const std::uint16_t good = free_udp_port();
  const std::uint16_t ports[] = {busy, good};
  lib_->ListPort(6, ports, 2);
  lib_->Open(6, kId.data(), 0, true);
  {
    auto& r = Recorder::get();
    std::lock_guard lock(r.mu);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "Ошибка инициализации! Проблема открытия порта " + std::to_string(busy) + ".");
  }
  EXPECT_EQ(lib_->find_session(6, kId.data(), busy), nullptr);
  EXPECT_NE(lib_->find_session(6, kId.data(), good), nullptr);

  // The other port keeps working: an unknown identifier there is still reported.
  Device device;
  const GostFullKey key = GostDefaultKey();
  device.send(good, device_frame(kOther, 2, 1, {7}, 0x12345678, &key));
  EXPECT_TRUE(Recorder::get().wait_for([] { return Recorder::get().new_ids.size() == 1; }));
}

TEST_F(LibraryTest, PortZeroGetsAnUnboundSocketWithItsLocalPortReadBack) {
  const std::uint16_t zero = 0;
  lib_->ListPort(6, &zero, 1);
  lib_->Open(6, kId.data(), 0, true);
  const auto ports = lib_->ports();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_TRUE(ports[0].socket_open);
  EXPECT_EQ(ports[0].local_port, 0u);  // not bound: the system has given it no port yet
  EXPECT_EQ(ports[0].sessions, 1u);
  std::lock_guard lock(Recorder::get().mu);
  EXPECT_TRUE(Recorder::get().errors.empty());
}

TEST_F(LibraryTest, WriteQueuesBoundedMessagesAndAlwaysReturnsMinusOne) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(3, &port, 1);
  const Id id = {127, 0, 0, 5, 0, 0};
  lib_->Open(3, id.data(), 7, false);
  auto s = lib_->find_session(3, id.data(), port);
  ASSERT_NE(s, nullptr);
  std::vector<std::uint8_t> big(1501, 0x20);
  struct Case {
    std::int32_t unit;
    std::int32_t length;
    bool null_data;
    std::size_t queued_after;
  };
  const Case cases[] = {
      {7, 1501, false, 0},             // longer than the message buffer: refused
      {7, -1, false, 0},               // negative length: refused
      {7, 5, true, 0},                 // no data: refused
      {8, 10, false, 0},               // no session with that unit
      {7 + 0x10000, 10, false, 1},     // only the low 16 bits of the unit count
      {7, 1500, false, 2},             // exactly the buffer
      {7, 0, false, 3},                // the empty message
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lib_->Write(3, id.data(), c.unit, c.null_data ? nullptr : big.data(), c.length), -1);
    std::lock_guard lock(s->data_mu);
    EXPECT_EQ(s->outgoing.size(), c.queued_after) << "length " << c.length;
  }
  EXPECT_EQ(lib_->Write(3, kOther.data(), 7, big.data(), 10), -1);
  std::lock_guard lock(s->data_mu);
  EXPECT_EQ(s->outgoing.size(), 3u);
  EXPECT_EQ(s->outgoing.front().length, 1u);  // pushed at the head
  EXPECT_EQ(s->outgoing[1].length, 1500u);
}

TEST_F(LibraryTest, BlockTablesAndRefreshUnitStayInsideTheTable) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(0, &port, 1);
  const Id id = {127, 0, 0, 6, 0, 0};
  Recorder::get().block_answer = [](std::int32_t block) { return block % 2; };
  lib_->Open(0, id.data(), 0, false);
  auto s = lib_->find_session(0, id.data(), port);
  ASSERT_NE(s, nullptr);
  {
    std::lock_guard lock(s->data_mu);
    ASSERT_EQ(s->blocks.size(), 32u);
    // Keyed session: present blocks get status 6 and word 24 is replaced once.
    EXPECT_EQ(s->blocks.entries[0].status, 6);
    EXPECT_EQ(s->blocks.present[0], 1);
    EXPECT_EQ(s->blocks.entries[0].param1, 3);
    EXPECT_EQ(s->blocks.entries[0].retry, 5);
    EXPECT_EQ(s->blocks.entries[1].status, 0);
    EXPECT_EQ(s->blocks.present[1], 0);
    EXPECT_EQ(s->blocks.entries[1].stale, 1);
    EXPECT_EQ(s->words.w24, 10000);
    EXPECT_EQ(s->words.saved_w24, 2000);
  }
  Recorder::get().blocks.clear();
  for (std::int32_t block : {0, 33, -1, 1 << 20}) lib_->RefreshUnit(0, id.data(), block);
  EXPECT_TRUE(Recorder::get().blocks.empty());

  Recorder::get().block_answer = [](std::int32_t) { return 0; };
  lib_->RefreshUnit(0, id.data(), 32);
  lib_->RefreshUnit(0, id.data(), 1);
  ASSERT_EQ(Recorder::get().blocks.size(), 2u);
  EXPECT_EQ(Recorder::get().blocks[0].block, 32);
  std::lock_guard lock(s->data_mu);
  EXPECT_EQ(s->blocks.entries[0].status, 0);
  EXPECT_EQ(s->blocks.present[0], 0);
  EXPECT_EQ(s->blocks.entries[0].retry, 5);
  EXPECT_EQ(s->blocks.entries[0].stale, 1);
}

TEST_F(LibraryTest, AnUnkeyedSessionKeepsStatusFiveAndItsWord) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(5, &port, 1);
  const Id id = {127, 0, 0, 7, 0, 0};
  Recorder::get().key_answer = 2;  // anything but 1 means no key
  lib_->Open(5, id.data(), 0, false);
  auto s = lib_->find_session(5, id.data(), port);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Recorder::get().cyphers.size(), 1u);  // no second call without a key
  std::lock_guard lock(s->data_mu);
  EXPECT_FALSE(s->keyed);
  ASSERT_EQ(s->blocks.size(), 4u);
  for (auto& e : s->blocks.entries) EXPECT_EQ(e.status, 5);
  EXPECT_EQ(s->words.w24, 2000);
  EXPECT_EQ(s->words.param_a, 0);
  EXPECT_EQ(s->words.param_b, 1);
}

TEST_F(LibraryTest, RequestExportsRaiseTheFlagsOfTheFirstMatchingSession) {
  const std::uint16_t port = free_udp_port();
  lib_->ListPort(0, &port, 1);
  const Id id = {127, 0, 0, 8, 0, 0};
  lib_->Open(0, id.data(), 0, false);
  auto s = lib_->find_session(0, id.data(), port);
  ASSERT_NE(s, nullptr);
  const std::uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {9}, c[8] = {10};
  EXPECT_EQ(lib_->Set_tcp_ip_addr(0, id.data(), a, nullptr, c), 0);  // refused
  EXPECT_FALSE(s->req_set_addresses.load());
  lib_->Set_tcp_ip_addr(0, id.data(), a, b, c);
  EXPECT_TRUE(s->req_set_addresses.load());
  EXPECT_EQ(lib_->address_records()[0][7], 8);
  const std::uint8_t ranges[16] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4};
  s->ranges_acknowledged.store(true);
  lib_->Set_range_ip_addr(0, id.data(), 0x102, ranges);  // the count's low 8 bits: 2
  EXPECT_TRUE(s->req_set_ranges.load());
  EXPECT_FALSE(s->ranges_acknowledged.load());
  ASSERT_EQ(lib_->address_ranges().size(), 2u);
  EXPECT_EQ(lib_->address_ranges()[1][0], 3);
  lib_->GetMac(0, id.data());
  EXPECT_TRUE(s->req_get_mac.load());
  EXPECT_TRUE(s->req_get_mac_companion.load());

  // ChangeKeyNow reloads the key on the calling thread; no key marks the session unkeyed.
  Recorder::get().key_byte = 0x5A;
  lib_->ChangeKeyNow(0, id.data());
  {
    std::lock_guard lock(s->data_mu);
    EXPECT_TRUE(s->keyed);
    EXPECT_EQ(s->key[31], 0x5A);
  }
  Recorder::get().key_answer = 0;
  lib_->ChangeKeyNow(0, id.data());
  std::lock_guard lock(s->data_mu);
  EXPECT_FALSE(s->keyed);
}

}  // namespace
}  // namespace telvor::test
