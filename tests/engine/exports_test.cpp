// The exported C interface of libtelvor.so, called as a host calls it: order of calls, a second
// life after CloseLib, and calls outside the contract that must not crash.
#include <gtest/gtest.h>

#include <cstring>

#include "telvor/api/telvor.h"
#include "tests/engine/device.h"
#include "tests/engine/recording_host.h"

namespace telvor::test {
namespace {

constexpr Id kId = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
const std::string kLoaded = "telvor.dll::InitLib - библиотека загружена";

TEST(Exports, VersionAndCallsBeforeInitLib) {
  EXPECT_STREQ(TELVOR_Version(), "7,3,7,36");
  const std::uint16_t port = 10001;
  EXPECT_EQ(ListPort(6, &port, 1), 0);
  EXPECT_EQ(Open_svc(6, kId.data(), 0), 0);
  EXPECT_EQ(Write(3, kId.data(), 0, kId.data(), 6), -1);
  EXPECT_EQ(Close(6, kId.data(), 0, nullptr), 0);
  EXPECT_EQ(Send_CMD_GPRS(18, kId.data()), 0);
  EXPECT_EQ(CloseLib(), 0);
  EXPECT_EQ(InitLib(nullptr), -1);
}

TEST(Exports, InitLibAfterCloseLibStartsAFreshLibrary) {
  for (int life = 0; life < 2; ++life) {
    SCOPED_TRACE(life);
    Recorder::get().reset();
    LinkSettings settings = recording_settings();
    ASSERT_EQ(InitLib(&settings), 0);
    // The library keeps its own copy: changing the host's record afterwards changes nothing.
    std::memset(&settings, 0, sizeof settings);
    EXPECT_EQ(Recorder::get().count_logs(kLoaded), 1u);
    LinkSettings again = recording_settings();
    EXPECT_EQ(InitLib(&again), -1);  // already started

    const std::uint16_t port = free_udp_port();
    EXPECT_EQ(ListPort(6, &port, 1), 0);
    EXPECT_EQ(Open_svc(6, kId.data(), 0), 0);
    {
      std::lock_guard lock(Recorder::get().mu);
      ASSERT_EQ(Recorder::get().cyphers.size(), 2u);  // the copied callbacks are used
      EXPECT_TRUE(Recorder::get().cyphers[0].svc);
    }
    // A plain Open of the service registration takes it out of service mode and opens nothing.
    EXPECT_EQ(Open(6, kId.data(), 0), 0);
    EXPECT_EQ(Close_svc(6, kId.data(), 0), 0);
    EXPECT_EQ(Close(6, kId.data(), 0, nullptr), 0);
    EXPECT_EQ(CloseLib(), 0);
    bool duty = false;
    for (auto& s : Recorder::get().states_copy()) duty |= s.state == 774 || s.state == 96;
    EXPECT_FALSE(duty) << "a plain Open of a service registration with a session reports nothing";
  }
}

}  // namespace
}  // namespace telvor::test
