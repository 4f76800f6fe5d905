// Parameter set, keyword table, text rules and the random source.
#include <gtest/gtest.h>

#include <chrono>

#include "configurator/config/command.h"
#include "configurator/config/keywords.h"
#include "configurator/config/random.h"
#include "configurator/config/text_rules.h"
#include "configurator/config/utf8_chars.h"

namespace kl40 {
namespace {
// The program's generator reads its seed from this clock: 01:02:03.456 while the program starts,
// 05:06:07.890 once the tests run.
bool g_tests_running = false;
}  // namespace

std::chrono::system_clock::time_point startup_clock() {
  using namespace std::chrono;
  const auto day = system_clock::time_point(days(20000));
  if (g_tests_running) return day + hours(5) + minutes(6) + seconds(7) + milliseconds(890);
  return day + hours(1) + minutes(2) + seconds(3) + milliseconds(456);
}

namespace {

TEST(KeywordTable, RowsAsStored) {
  const auto& t = keyword_table();
  EXPECT_EQ(t[0].keyword, "");
  EXPECT_EQ(t[1].keyword, "KL40");
  EXPECT_EQ(t[1].type1, kValueTextWrite);
  EXPECT_EQ(t[2].keyword, "ip");
  EXPECT_EQ(t[2].max_index, 6);
  EXPECT_EQ(t[2].type2, kValueNumber);
  EXPECT_EQ(t[2].min2, -1);
  EXPECT_EQ(t[2].def2, 10001);
  EXPECT_EQ(t[3].keyword, "gd");
  EXPECT_EQ((std::array{t[3].min1, t[3].def1, t[3].max1, t[3].min2, t[3].def2, t[3].max2}),
            (std::array{5, 15, 900, 5, 30, 900}));
  EXPECT_EQ(t[4].keyword, "gt");
  EXPECT_EQ((std::array{t[4].min1, t[4].def1, t[4].max1, t[4].min2, t[4].def2, t[4].max2}),
            (std::array{5, 5, 60, 1, 2, 100}));
  EXPECT_EQ(t[5].keyword, "gi");
  EXPECT_EQ(t[5].type2, kValueNone);
  EXPECT_EQ(t[6].keyword, "gk");
  EXPECT_EQ(t[6].max_index, 4);
  for (int k = 2; k <= 6; ++k) {
    EXPECT_EQ(utf8::count(t[k].comment), kLineWidth) << "row " << k;
    EXPECT_EQ(t[k].comment.substr(0, 2), "; ") << "row " << k;
  }
  EXPECT_TRUE(t[2].comment.starts_with("; IP-адрес и порт пульта для GPRS "));
  EXPECT_EQ(&keyword_row(200), &t[0]);
}

TEST(Command, AccessorsByPosition) {
  TCommandMX3 c(kKindIp, 4);
  EXPECT_EQ(c.Value(0), 4);
  EXPECT_EQ(c.Value(1), 0);
  EXPECT_EQ(c.Value(2), 10001);
  EXPECT_EQ(c.Value(3), 0);
  EXPECT_EQ(c.Value(-1), 0);
  c.SetValue(1, 7);
  c.SetValue(2, 80);
  c.SetValue(3, 99);  // ignored
  c.SetValue(0, 5);
  EXPECT_EQ(c.Index(), 5);
  EXPECT_EQ(c.Value1(), 7);
  EXPECT_EQ(c.Value2(), 80);
  c.SetText(1, "a");
  c.SetText(2, "b");
  c.SetText(0, "x");  // ignored
  c.SetText(3, "y");  // ignored
  EXPECT_EQ(c.Text(1), "a");
  EXPECT_EQ(c.Text(2), "b");
  EXPECT_EQ(c.Text(0), "");
  EXPECT_EQ(c.Text(3), "");

  c.Reset();  // kind and index stay, values to the kind's defaults, texts emptied
  EXPECT_EQ(c.Kind(), kKindIp);
  EXPECT_EQ(c.Index(), 5);
  EXPECT_EQ(c.Value1(), 0);
  EXPECT_EQ(c.Value2(), 10001);
  EXPECT_EQ(c.Text1(), "");
  EXPECT_EQ(c.Text2(), "");

  TCommandMX3 d(kKindDuty);
  EXPECT_EQ(d.Value1(), 15);
  EXPECT_EQ(d.Value2(), 30);
  d.Assign(c);
  EXPECT_EQ(d, c);
}

TEST(Command, RangeEnforcement) {
  struct Case {
    std::uint8_t kind;
    std::int32_t v1, v2, want1, want2;
  } cases[] = {
      {kKindDuty, 3, 1000, 15, 30},   {kKindDuty, 5, 900, 5, 900},   {kKindDuty, 4, 901, 15, 30},
      {kKindAnswer, 61, 0, 5, 2},     {kKindAnswer, 60, 100, 60, 100},
      {kKindAnswer, 4, 101, 5, 2},    {kKindIp, 0, 99999, 0, 99999},  // ports are not checked
      {kKindIp, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TCommandMX3 cmd(c.kind);
    cmd.SetValue(1, c.v1);
    cmd.SetValue(2, c.v2);
    cmd.EnforceRange();
    EXPECT_EQ(cmd.Value1(), c.want1) << int(c.kind) << " " << c.v1;
    EXPECT_EQ(cmd.Value2(), c.want2) << int(c.kind) << " " << c.v2;
  }
}

TEST(ParameterSet, ResetGivesTableDefaults) {
  T_DEVICE_CommandMX3 set;
  set.NetCommands[1].SetText(1, "1.2.3.4");
  set.DutyCommand.SetValue(1, 99);
  set.IdentCommands[3].SetText(1, "ABC");
  set.Reset();
  EXPECT_EQ(set.NetCommands[0].Kind(), kKindVersion);
  EXPECT_EQ(set.NetCommands[0].Text1(), "KL40 soft v.2.0");
  EXPECT_EQ(set.NetCommands[0].Value2(), 0);
  for (int slot = 1; slot <= 6; ++slot) {
    EXPECT_EQ(set.NetCommands[slot].Kind(), kKindIp);
    EXPECT_EQ(set.NetCommands[slot].Index(), slot);
    EXPECT_EQ(set.Address(slot), "");
    EXPECT_EQ(set.Port(slot), 10001);
  }
  EXPECT_EQ(set.DutyCommand.Value1(), 15);
  EXPECT_EQ(set.DutyCommand.Value2(), 30);
  EXPECT_EQ(set.AnswerCommand.Value1(), 5);
  EXPECT_EQ(set.AnswerCommand.Value2(), 2);
  EXPECT_EQ(set.IdentCommands[0].Kind(), kKindIdent);
  EXPECT_EQ(set.Identifier(), "");
  for (int part = 1; part <= 4; ++part) {
    EXPECT_EQ(set.IdentCommands[part].Kind(), kKindKey);
    EXPECT_EQ(set.IdentCommands[part].Index(), part);
    EXPECT_EQ(set.KeyPart(part), "");
  }

  T_DEVICE_CommandMX3 other;
  other.IdentCommands[0].SetText(1, "0123456789AB");
  other.AnswerCommand.SetValue(2, 9);
  const TCommandMX3* slot_before = &set.IdentCommands[0];
  set.Assign(other);
  EXPECT_EQ(set, other);
  EXPECT_EQ(slot_before, &set.IdentCommands[0]);  // the command objects are never replaced
}

TEST(ParameterSet, SlotsOfKindAndIndex) {
  T_DEVICE_CommandMX3 set;
  EXPECT_EQ(set.Slot(kKindIp, 0), &set.NetCommands[0]);
  EXPECT_EQ(set.Slot(kKindIp, 6), &set.NetCommands[6]);
  EXPECT_EQ(set.Slot(kKindIp, 7), nullptr);
  EXPECT_EQ(set.Slot(kKindKey, 0), &set.IdentCommands[0]);
  EXPECT_EQ(set.Slot(kKindKey, 4), &set.IdentCommands[4]);
  EXPECT_EQ(set.Slot(kKindKey, 5), nullptr);
  EXPECT_EQ(set.Slot(kKindDuty, 0), &set.DutyCommand);
  EXPECT_EQ(set.Slot(kKindAnswer, 0), &set.AnswerCommand);
  EXPECT_EQ(set.Slot(kKindIdent, 0), &set.IdentCommands[0]);
  EXPECT_EQ(set.Slot(kKindNone, 0), nullptr);
}

TEST(TextRules, Normalise) {
  struct Case {
    const char* text;
    char sep, pad;
    std::size_t n;
    const char* want;
  } cases[] = {
      {"192.168.0.1", '.', '0', 3, "192.168.000.001"},
      {"1234", '.', '0', 3, "123.004"},
      {"ABCDE", '-', '0', 2, "AB-CD-0E"},
      {"", '.', '0', 3, ""},
      {"1..2", '.', '0', 3, "001.002"},
      {".1.", '.', '0', 3, "001"},
      {"000.000.000.000", '.', '0', 3, "000.000.000.000"},
      {"1234567", '.', '0', 3, "123.456.007"},
      {"12.3456", '.', '0', 3, "012.345.006"},
      {"3C5A3C5A3C5A3C5A", '-', '0', 2, "3C-5A-3C-5A-3C-5A-3C-5A"},
      {"ЖЖЖЖ", '.', '0', 3, "ЖЖЖ.00Ж"},  // characters, not bytes
  };
  for (const auto& c : cases)
    EXPECT_EQ(normalise(c.text, c.sep, c.pad, c.n), c.want) << c.text;
}

TEST(TextRules, HexGrouping) {
  struct Case {
    const char* text;
    const char* want;
    bool changed;
  } cases[] = {
      {"0123456789ab", "0123-4567-89ab", true},
      {"12", "1200-0000-0000", true},
      {"", "0000-0000-0000", true},
      {"0123-4567-89AB", "0123-4567-89AB", false},
      {"0123456789ABCDEF", "0123-4567-89AB", true},
      {"G1H2", "1200-0000-0000", true},
      {"Ж1", "1000-0000-0000", true},
  };
  for (const auto& c : cases) {
    const auto r = hex_format(c.text, kHexDigits, '-', true, 12, 4, '0');
    EXPECT_EQ(r.text, c.want) << c.text;
    EXPECT_EQ(r.changed, c.changed) << c.text;
  }
  const auto flat = hex_format("ab-c", kHexDigits, '-', false, 6, 4, 'x');
  EXPECT_EQ(flat.text, "abcxxx");
  EXPECT_FALSE(hex_format("abc", kHexDigits, '-', false, 3, 4, '0').changed);
  EXPECT_EQ(identifier_grouped(""), "0000-0000-0000");
  EXPECT_EQ(identifier_grouped("0123456789AB"), "0123-4567-89AB");
}

TEST(TextRules, FromDisplayText) {
  struct Case {
    const char* text;
    const char* ident;
  } idents[] = {
      {"0123-4567-89AB", "0123456789AB"},
      {"0123-4567-89AB-CDEF", "0123456789AB"},  // only the first 14 characters
      {"0G23-4567-89AB", "023456789AB"},        // letters beyond F are dropped
      {"12", "12000000000000"},                 // each missing position of the 14 adds "0"
      {"", "00000000000000"},
      {"ab-cd", "abcd000000000"},
  };
  for (const auto& c : idents) EXPECT_EQ(identifier_from_display(c.text), c.ident) << c.text;
  EXPECT_EQ(key_part_from_display("3C-5A-3C-5A-3C-5A-3C-5A"), "3C5A3C5A3C5A3C5A");
  EXPECT_EQ(key_part_from_display("3C-5A-3C-5A-3C-5A-3C-5A-FF"), "3C5A3C5A3C5A3C5A");
  EXPECT_EQ(key_part_from_display("AB"), std::string("AB") + std::string(21, '0'));
  EXPECT_EQ(key_part_display("0123456789ABCDEF"), "01-23-45-67-89-AB-CD-EF");
}

TEST(RandomSource, StepsAndDrawsAsTheLcg) {
  TRandomSource r(0);
  const std::uint32_t states[] = {1u, 134775814u, 3698175007u, 870078620u, 1172187917u};
  for (std::uint32_t s : states) {
    r.Draw(16);
    EXPECT_EQ(r.State(), s);
  }
  // Upper 32 bits of state * N, for several ranges.
  TRandomSource q(12345);
  EXPECT_EQ(q.Draw(10), 3u);
  EXPECT_EQ(q.Draw(1000), 289u);
  EXPECT_EQ(q.Draw(0xFFFFFFFFu), 342459379u);
  EXPECT_EQ(q.Draw(1), 0u);
  EXPECT_EQ(q.Draw(0), 0u);
}

TEST(RandomSource, IdentifierDependsOnlyOnTheSeed) {
  struct Case {
    std::uint32_t seed;
    const char* ident;
    std::uint32_t state_after;
  } cases[] = {{12345, "6418A5710EF5", 1376306845u},
               {3723456, "D4139EB0C837", 1982965588u},
               {0, "00D34A525617", 2039224980u}};
  for (const auto& c : cases) {
    TRandomSource a(c.seed), b(c.seed);
    EXPECT_EQ(generate_identifier(a), c.ident);
    EXPECT_EQ(a.State(), c.state_after);  // exactly 12 draws
    EXPECT_EQ(generate_identifier(b), c.ident);
  }
}

TEST(RandomSource, ProgramGeneratorIsSeededAtStartUp) {
  g_tests_running = true;
  // Seeded with 3723456 (01:02:03.456) before the first use, not when first asked.
  EXPECT_EQ(generate_identifier(program_random()), "D4139EB0C837");
}

TEST(RandomSource, SeedIsMillisecondsSinceUtcMidnight) {
  using namespace std::chrono;
  const auto day = hours(24);
  const auto t = system_clock::time_point(days(20000) + hours(1) + minutes(2) + seconds(3) +
                                          milliseconds(456));
  EXPECT_EQ(ms_since_utc_midnight(t), ((1u * 60 + 2) * 60 + 3) * 1000 + 456);
  EXPECT_EQ(ms_since_utc_midnight(system_clock::time_point(days(20000))), 0u);
  EXPECT_EQ(ms_since_utc_midnight(system_clock::time_point(days(20001) - milliseconds(1))),
            86399999u);
  // Before the epoch the time of day still counts forward from midnight.
  EXPECT_EQ(ms_since_utc_midnight(system_clock::time_point(-day + hours(23))), 23u * 3600000);
}

TEST(KeyGeneration, PartsFromInjectedBytes) {
  auto counting = [](std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i * 9);
  };
  const auto parts = generate_key_parts(counting);
  EXPECT_EQ(parts[0], "0009121B242D363F");
  EXPECT_EQ(parts[1], "48515A636C757E87");
  EXPECT_EQ(parts[2], "9099A2ABB4BDC6CF");
  EXPECT_EQ(parts[3], "D8E1EAF3FC050E17");
  EXPECT_EQ(cleared_key_parts(), (std::array<std::string, 4>{
                                     "3C5A3C5A3C5A3C5A", "3C5A3C5A3C5A3C5A", "3C5A3C5A3C5A3C5A",
                                     "3C5A3C5A3C5A3C5A"}));
}

TEST(KeyGeneration, SystemSourceGivesFreshKeys) {
  const auto a = generate_key_parts();
  const auto b = generate_key_parts();
  for (const auto& part : a) {
    ASSERT_EQ(part.size(), 16u);
    for (char c : part) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << part;
  }
  EXPECT_NE(a, b);  // 256 random bits twice alike would mean the source is not random
}

}  // namespace
}  // namespace kl40
