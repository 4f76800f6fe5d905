// The block cipher: the round against the nibble-wise S-box, the key order of every block
// operation, both engines against each other, and the whole cipher against libgcrypt's
// GOST 28147-89 with libgcrypt's own table.
#include "telvor/crypto/gost.h"

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "telvor/crypto/default_key.h"
#include "telvor/crypto/gost_engines.h"

namespace telvor {
namespace {

// libgcrypt's default table for GCRY_CIPHER_GOST28147 (the GOST R 34.11-94 test parameter set).
const GostSbox kGcryptSbox = {{
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
}};

// The round written the slow way, straight from the S-box.
uint32_t ReferenceRound(const GostSbox& sbox, uint32_t n1, uint32_t n2, uint32_t k) {
  const uint32_t sum = n1 + k;
  uint32_t sub = 0;
  for (int row = 0; row < 8; ++row) sub |= uint32_t(sbox[row][(sum >> (4 * row)) & 0xF]) << (4 * row);
  return ((sub << 11) | (sub >> 21)) ^ n2;
}

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A block operation as the list of key word indices of its rounds, then the exchange.
std::vector<uint8_t> ReferenceCrypt(const GostSbox& sbox, std::vector<uint8_t> block,
                                    const uint8_t* keyBytes, const std::vector<int>& order) {
  uint32_t n1 = Le32(block.data()), n2 = Le32(block.data() + 4);
  for (int index : order) {
    const uint32_t next = ReferenceRound(sbox, n1, n2, Le32(keyBytes + 4 * index));
    n2 = n1;
    n1 = next;
  }
  for (int i = 0; i < 4; ++i) {
    block[i] = uint8_t(n2 >> (8 * i));
    block[4 + i] = uint8_t(n1 >> (8 * i));
  }
  return block;
}

std::vector<GostEngine> Engines() {
  std::vector<GostEngine> engines = {GostEngine::kPortable};
  for (GostEngine e : {GostEngine::kAvx2, GostEngine::kAvx512})
    if (GostEngineAvailable(e)) engines.push_back(e);
  return engines;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

TEST(GostRound, MatchesTheNibbleWiseSboxForAnyTable) {
  std::mt19937 rng(7);
  for (const GostSbox* sbox : {&kGostSystemSbox, &kGcryptSbox}) {
    const GostTables tables(*sbox);
    for (int i = 0; i < 20000; ++i) {
      const uint32_t n1 = rng(), n2 = rng(), k = rng();
      GostHalves block{n1, n2};
      GostRound(block, k, tables);
      ASSERT_EQ(block.n1, ReferenceRound(*sbox, n1, n2, k)) << i;
      ASSERT_EQ(block.n2, n1);
    }
  }
  // The default argument is the system's table.
  GostHalves block{0x01234567, 0x89ABCDEF};
  GostRound(block, 0xDEADBEEF);
  EXPECT_EQ(block.n1, ReferenceRound(kGostSystemSbox, 0x01234567, 0x89ABCDEF, 0xDEADBEEF));
}

// Each block operation is its rounds in the stated key order followed by the exchange of halves,
// on every engine and for every block of a run (tails included).
TEST(GostBlocks, EveryEngineFollowsTheKeyOrderOfEachOperation) {
  struct Case {
    const char* name;
    GostDirection direction;
    bool shortVariant;
    std::vector<int> order;
  };
  const std::vector<Case> cases = {
      {"E", GostDirection::kEncrypt, false, {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                             0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0}},
      {"D", GostDirection::kDecrypt, false, {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0,
                                             7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0}},
      {"ES", GostDirection::kEncrypt, true, {0, 1, 0, 1, 0, 1, 1, 0}},
      {"DS", GostDirection::kDecrypt, true, {0, 1, 1, 0, 1, 0, 1, 0}},
  };
  std::mt19937 rng(11);
  const GostTables& tables = GostSystemTables();
  for (const Case& c : cases) {
    for (GostEngine engine : Engines()) {
      for (size_t blocks : {1u, 3u, 4u, 15u, 16u, 17u, 31u, 32u, 33u, 50u}) {
        const auto key = RandomBytes(rng, 32);
        const auto plain = RandomBytes(rng, 8 * blocks);
        auto data = plain;
        const GostKeyWords words =
            c.shortVariant ? GostKeyWords::FromShort(key.data()) : GostKeyWords::FromFull(key.data());
        GostEcbWith(engine, c.direction, c.shortVariant, data.data(), blocks, words, tables);
        for (size_t b = 0; b < blocks; ++b) {
          const std::vector<uint8_t> one(plain.begin() + 8 * b, plain.begin() + 8 * b + 8);
          const auto expected = ReferenceCrypt(kGostSystemSbox, one, key.data(), c.order);
          ASSERT_EQ(std::vector<uint8_t>(data.begin() + 8 * b, data.begin() + 8 * b + 8), expected)
              << c.name << " engine " << int(engine) << " blocks " << blocks << " block " << b;
        }
      }
    }
  }
}

TEST(GostBlocks, DecryptionUndoesEncryptionThroughThePublicEntryPoints) {
  std::mt19937 rng(5);
  for (size_t blocks : {1u, 7u, 188u}) {
    const auto key = RandomBytes(rng, 32);
    const auto plain = RandomBytes(rng, 8 * blocks);
    auto data = plain;
    const auto full = GostKeyWords::FromFull(key.data());
    GostEncryptEcb(data.data(), blocks, full);
    EXPECT_NE(data, plain);
    GostDecryptEcb(data.data(), blocks, full);
    EXPECT_EQ(data, plain);
    const auto shortKey = GostKeyWords::FromShort(key.data());
    GostEncryptEcbShort(data.data(), blocks, shortKey);
    EXPECT_NE(data, plain);
    GostDecryptEcbShort(data.data(), blocks, shortKey);
    EXPECT_EQ(data, plain);
  }
}

class Gcrypt : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gcry_check_version(nullptr), nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    ASSERT_EQ(gcry_cipher_open(&handle_, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
  }
  void TearDown() override {
    if (handle_ != nullptr) gcry_cipher_close(handle_);
  }
  gcry_cipher_hd_t handle_ = nullptr;
};

// libgcrypt with its default table and our cipher with the same table agree on random keys and
// blocks, both ways: this pins the round, the key order, the word byte order and the exchange.
TEST_F(Gcrypt, SameCiphertextAsLibgcryptWithItsTable) {
  const GostTables tables(kGcryptSbox);
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 40; ++trial) {
    const auto key = RandomBytes(rng, 32);
    ASSERT_EQ(gcry_cipher_setkey(handle_, key.data(), key.size()), 0u);
    const size_t blocks = 1 + rng() % 70;
    const auto plain = RandomBytes(rng, 8 * blocks);
    std::vector<uint8_t> theirs(plain.size());
    ASSERT_EQ(gcry_cipher_encrypt(handle_, theirs.data(), theirs.size(), plain.data(), plain.size()),
              0u);
    for (GostEngine engine : Engines()) {
      auto ours = plain;
      GostEcbWith(engine, GostDirection::kEncrypt, false, ours.data(), blocks,
                  GostKeyWords::FromFull(key.data()), tables);
      ASSERT_EQ(ours, theirs) << "trial " << trial << " engine " << int(engine);
      GostEcbWith(engine, GostDirection::kDecrypt, false, ours.data(), blocks,
                  GostKeyWords::FromFull(key.data()), tables);
      ASSERT_EQ(ours, plain) << "trial " << trial << " engine " << int(engine);
    }
  }
}

// The system's own table really is the one in use by default: a different table gives a
// different ciphertext, the system table through GostEcbWith the same as the plain entry point.
TEST(GostTablesChoice, DefaultEntryPointsUseTheSystemTable) {
  std::mt19937 rng(3);
  const auto key = RandomBytes(rng, 32);
  const auto plain = RandomBytes(rng, 64);
  const auto words = GostKeyWords::FromFull(key.data());
  auto viaDefault = plain, viaSystem = plain, viaOther = plain;
  GostEncryptEcb(viaDefault.data(), 8, words);
  GostEcbWith(GostEngine::kPortable, GostDirection::kEncrypt, false, viaSystem.data(), 8, words,
              GostTables(kGostSystemSbox));
  GostEcbWith(GostEngine::kPortable, GostDirection::kEncrypt, false, viaOther.data(), 8, words,
              GostTables(kGcryptSbox));
  EXPECT_EQ(viaDefault, viaSystem);
  EXPECT_NE(viaDefault, viaOther);
}

TEST(GostDefaultKey, EqualsTheConfiguratorsFourDefaultKeyParts) {
  // Four key parts "3C5A3C5A3C5A3C5A", in order, as 64 hexadecimal digits read pairwise.
  const std::string hex = "3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A3C5A";
  GostFullKey expected{};
  for (size_t i = 0; i < expected.size(); ++i)
    expected[i] = uint8_t(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  EXPECT_EQ(GostDefaultKey(), expected);
}

}  // namespace
}  // namespace telvor
