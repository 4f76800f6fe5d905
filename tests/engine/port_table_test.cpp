// The port table's identifier index gives the same session as a walk of the table from slot 0.
#include <gtest/gtest.h>

#include <random>

#include "telvor/io/runtime.h"
#include "telvor/io/session.h"
#include "tests/engine/recording_host.h"

namespace telvor::test {
namespace {

std::int64_t walk_first(const PortEntry& port, const DeviceId& id) {
  for (std::size_t i = 0; i < port.high_water && i < port.table.size(); ++i)
    if (port.table[i] && port.table[i]->id == id) return static_cast<std::int64_t>(i);
  return -1;
}

TEST(PortTable, IndexAgreesWithTheSlotOrderWalkThroughInsertsAndRemovals) {
  LinkSettings settings = recording_settings();
  Runtime rt(settings, /*threads=*/false);
  PortEntry port(10001);
  std::mt19937 rng(42);
  // Few identifiers, so that several sessions share one and removals leave holes.
  std::vector<DeviceId> ids;
  for (std::uint8_t i = 0; i < 12; ++i) ids.push_back({i, 1, 2, 3, 4, 5});
  std::vector<std::shared_ptr<DeviceSession>> live;
  for (int step = 0; step < 4000; ++step) {
    if (live.empty() || rng() % 3 != 0) {
      const DeviceId& id = ids[rng() % ids.size()];
      auto s = std::make_shared<DeviceSession>(rt, 6, id, static_cast<std::uint16_t>(step), &port,
                                               nullptr, false);
      std::uint32_t slot = 0;
      ASSERT_TRUE(port.insert(s, slot));
      // The first free slot is taken.
      for (std::uint32_t i = 0; i < slot; ++i) ASSERT_NE(port.table[i], nullptr);
      live.push_back(s);
    } else {
      const std::size_t k = rng() % live.size();
      port.remove(live[k]->slot);
      live.erase(live.begin() + static_cast<long>(k));
    }
    ASSERT_EQ(port.live, live.size());
    for (const auto& id : ids) {
      ASSERT_EQ(port.first_slot(id), walk_first(port, id)) << "step " << step;
      std::size_t n = 0;
      for (auto& s : live) n += s->id == id;
      ASSERT_EQ(port.count_with(id), n);
      const auto with = port.sessions_with(id);
      for (std::size_t i = 1; i < with.size(); ++i) ASSERT_LT(with[i - 1]->slot, with[i]->slot);
    }
  }
}

TEST(PortTable, AFullTableStoresNothingMore) {
  LinkSettings settings = recording_settings();
  Runtime rt(settings, /*threads=*/false);
  PortEntry port(10001);
  auto s = std::make_shared<DeviceSession>(rt, 3, DeviceId{1, 2, 3, 4, 5, 6}, 0, &port, nullptr, false);
  std::uint32_t slot = 0;
  for (std::size_t i = 0; i < kPortTableSize; ++i) ASSERT_TRUE(port.insert(s, slot));
  EXPECT_EQ(slot, kPortTableSize - 1);
  EXPECT_FALSE(port.insert(s, slot));
  EXPECT_EQ(port.live, kPortTableSize);
  port.remove(100);
  EXPECT_TRUE(port.insert(s, slot));
  EXPECT_EQ(slot, 100u);
}

}  // namespace
}  // namespace telvor::test
