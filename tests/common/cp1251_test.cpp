#include "common/text/cp1251.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1251, RoundTripsEveryAssignedByte) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // the one unassigned byte
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(kl40::utf8_to_cp1251(kl40::cp1251_to_utf8(one)), one) << "byte " << b;
  }
}

TEST(Cp1251, KnownLetters) {
  struct Case {
    const char* utf8;
    const char* cp1251;
  } cases[] = {
      {"Ключ", "\xCA\xEB\xFE\xF7"},
      {"Ёё", "\xA8\xB8"},
      {"№", "\xB9"},
      {"telvor.dll::", "telvor.dll::"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kl40::utf8_to_cp1251(c.utf8), c.cp1251);
    EXPECT_EQ(kl40::cp1251_to_utf8(c.cp1251), c.utf8);
  }
}

TEST(Cp1251, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(kl40::utf8_to_cp1251("a\xE4\xB8\xADz"), "a?z");       // a CJK letter
  EXPECT_EQ(kl40::utf8_to_cp1251("a\xF0\x9F\x98\x80z"), "a?z");   // an emoji
  EXPECT_EQ(kl40::utf8_to_cp1251("\xD0"), "?");                   // truncated sequence
  EXPECT_EQ(kl40::utf8_to_cp1251("\x80\x81"), "??");              // stray continuation bytes
  EXPECT_EQ(kl40::cp1251_to_utf8("\x98"), "\xEF\xBF\xBD");
}

}  // namespace
