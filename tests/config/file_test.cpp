// Lexer, command reader, writer and configuration files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/text/cp1251.h"
#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "configurator/config/lexems.h"
#include "configurator/config/pages.h"
#include "tests/support/test_folder.h"

namespace kl40 {
namespace {

namespace fs = std::filesystem;

TEST(LitPipe, PositionRules) {
  TLitPipe p;
  EXPECT_EQ(p.Next(), '\0');
  p.SetText("");
  EXPECT_EQ(p.Position(), 0);
  EXPECT_EQ(p.Next(), '\0');
  p.Back();
  EXPECT_EQ(p.Position(), 0);
  p.SetText("ab");
  EXPECT_EQ(p.Position(), 1);
  EXPECT_EQ(p.Next(), 'a');
  EXPECT_EQ(p.Next(), 'b');
  EXPECT_EQ(p.Next(), '\0');
  EXPECT_EQ(p.Position(), 3);  // stays past the end
  EXPECT_EQ(p.Next(), '\0');
  EXPECT_EQ(p.Position(), 3);
  p.Back();
  EXPECT_EQ(p.Next(), 'b');
}

// The lexemes of TEXT read in MODE until the end of input, as "kind:text" items.
std::string lex_all(std::string_view text, std::uint8_t mode) {
  TLexPipe lex;
  lex.SetText(text);
  std::string out;
  for (int guard = 0; guard < 100; ++guard) {
    const TLexema& l = lex.Next(mode);
    out += std::to_string(l.Kind);
    if (l.Kind == kLexWord) out += ":" + l.Text;
    if (l.Kind == kLexNumber) out += "=" + std::to_string(l.Number);
    if (l.Kind == kLexEnd) return out;
    out += " ";
  }
  return out + "...";
}

TEST(LexPipe, TokenAndTextModes) {
  struct Case {
    std::string text;
    std::uint8_t mode;
    const char* want;
  } cases[] = {
      {"gd-15.30\r\n", kModeToken, "1:gd 5 2=15 3 2=30 0 6"},  // CR ends the number, LF stays
      {"gd-15.30$\r\n", kModeToken, "1:gd 5 2=15 3 2=30 0 0 6"},  // "$" ends it instead
      {"  $ $gd", kModeToken, "1:gd 6"},
      {"a,b-c", kModeToken, "1:a 4 1:b 5 1:c 6"},
      {"a,b-c", kModeText, "1:a,b-c 6"},
      {"12a", kModeToken, "2=12 1:a 6"},  // a letter ends a number and is stepped back
      {"12a", kModeText, "1:12a 6"},
      {"123456", kModeToken, "1:123456 6"},  // more than 5 digits is a word
      {"99999", kModeToken, "2=99999 6"},
      {"1234567-", kModeToken, "1:1234567 5 6"},
      {"ab cd", kModeToken, "1:ab  1:cd 6"},  // a space is added to a word and ends it
      {" ab", kModeText, "1: ab 6"},          // in text mode a space starts a word
      {"  ab", kModeText, "1:   1:ab 6"},
      {"; comment $gd", kModeToken, "1:gd 6"},
      {"; comment\r\ngd", kModeToken, "0 1:gd 6"},  // the comment takes the CR
      {";x$\r\n", kModeToken, "0 0 6"},
      {"; never ends", kModeToken, "6"},
      {"ab;c", kModeToken, "1:ab 6"},
      {"ab.c", kModeToken, "1:ab 3 1:c 6"},
      {"\tx", kModeToken, "1:\tx 6"},
      {std::string("x\0y", 3), kModeToken, "1:x 1:y 6"},  // NUL ends a word, as the end does
      {std::string("\0y", 2), kModeToken, "6"},
      {"Жд-1", kModeToken, "1:Жд 5 2=1 6"},
  };
  for (const auto& c : cases) EXPECT_EQ(lex_all(c.text, c.mode), c.want) << "text: " << c.text;
}

TEST(LexPipe, PushBackReturnsTheSameLexemeWhateverTheMode) {
  TLexPipe lex;
  lex.SetText("ab,c d");
  EXPECT_EQ(lex.Next(kModeToken).Text, "ab");
  lex.PushBack();
  const TLexema again = lex.Next(kModeText);
  EXPECT_EQ(again.Kind, kLexWord);
  EXPECT_EQ(again.Text, "ab");
  EXPECT_EQ(lex.Next(kModeText).Text, ",c ");
  EXPECT_EQ(lex.Next(kModeToken).Text, "d");
  EXPECT_EQ(lex.Next(kModeToken).Kind, kLexEnd);
}

// What a reading case looks at in the set.
std::string duty(const T_DEVICE_CommandMX3& s) {
  return std::to_string(s.DutyCommand.Value1()) + "/" + std::to_string(s.DutyCommand.Value2());
}
std::string answer(const T_DEVICE_CommandMX3& s) {
  return std::to_string(s.AnswerCommand.Value1()) + "/" +
         std::to_string(s.AnswerCommand.Value2());
}
std::function<std::string(const T_DEVICE_CommandMX3&)> ip(int slot) {
  return [slot](const T_DEVICE_CommandMX3& s) {
    return s.Address(slot) + ":" + std::to_string(s.Port(slot));
  };
}
std::string ident(const T_DEVICE_CommandMX3& s) { return s.Identifier(); }
std::function<std::string(const T_DEVICE_CommandMX3&)> key(int part) {
  return [part](const T_DEVICE_CommandMX3& s) { return s.KeyPart(part); };
}
std::string version(const T_DEVICE_CommandMX3& s) { return s.NetCommands[0].Text1(); }
std::string untouched(const T_DEVICE_CommandMX3& s) {
  T_DEVICE_CommandMX3 fresh;
  return s == fresh ? "defaults" : "changed";
}

TEST(CommandReader, ReadingRules) {
  struct Case {
    const char* what;
    std::string text;
    std::function<std::string(const T_DEVICE_CommandMX3&)> look;
    const char* want;
  } cases[] = {
      {"plain", "gd-20.40", duty, "20/40"},
      {"padding and $", "gd-20.40                                     $", duty, "20/40"},
      {"out of range falls back", "gd-3.1000", duty, "15/30"},
      {"range edges", "gd-5.900", duty, "5/900"},
      {"gt at line end", "gt-5\r\n", answer, "5/2"},
      {"gt limit 100 is in range", "gt-05.100", answer, "5/100"},
      {"gt out of range", "gt-61.101", answer, "5/2"},
      {"upper-case keyword", "GD-20.40", duty, "20/40"},
      {"keyword prefix", "gdfoo-20.40", duty, "20/40"},
      {"several on a line", "gd-20.40 gt-10.3", answer, "10/3"},
      {"several on a line, first", "gd-20.40 gt-10.3", duty, "20/40"},
      {"last one wins", "gd-20.40\r\ngd-25.45", duty, "25/45"},
      {"line break ends a command", "gd-20.40\r\ngd-\r\n25.45", duty, "15/30"},
      {"$ inside a number", "gd-20.40\r\ngd-1$5.30", duty, "20/40"},
      {"comma instead of dot", "gd-20.40\r\ngd-21,41", duty, "20/40"},
      {"missing first value", "gd-.40", duty, "15/40"},
      {"no dash", "gd-20.40\r\ngd 21.41", duty, "20/40"},
      {"six digits are a word", "gd-20.40\r\ngd-123456.30", duty, "20/40"},
      {"commented out", "; gd-20.40", duty, "15/30"},
      {"server address", "ip4-10,0,0,1.80", ip(4), "010.000.000.001:80"},
      {"device address", "ip1-192,168,0,10.8080", ip(1), "192.168.000.010:8080"},
      {"gateway without port", "ip2-10,0,0,1", ip(2), "010.000.000.001:0"},
      {"empty address", "ip1-.10001", ip(1), ":10001"},
      {"port of six digits fails", "ip1-1,2,3,4.123456", ip(1), ":10001"},
      {"index 7 ignored", "ip7-1,1,1,1.5", untouched, "defaults"},
      {"gk5 ignored", "gk5-ABCD", untouched, "defaults"},
      {"no index ignored", "ip-1,1,1,1.5", untouched, "defaults"},
      {"letter index ignored", "ipx-1,1,1,1.5", untouched, "defaults"},
      {"huge index ignored", "ip99999999999-1,1,1,1.5", untouched, "defaults"},
      {"leading zero index", "ip01-1,1,1,1.5", ip(1), "001.001.001.001:5"},
      {"ip0 lands in the version slot", "ip0-1,2,3,4.5", version, "001.002.003.004"},
      {"gk0 lands in the identifier slot", "gk0-ABC", ident, "ABC"},
      {"version line is not read", "KL40-KL40 soft v.9.9", version, "KL40 soft v.2.0"},
      {"identifier", "gi-0123456789AB", ident, "0123456789AB"},
      {"text value is one word", "gi-0123 4567", ident, "0123"},
      {"one space before a text", "gi- 0123", ident, "0123"},
      {"two spaces before a text", "gi-  0123", ident, ""},
      {"text ends at a comment", "gi-ABC;x", ident, "ABC"},
      {"text ends at a dot", "gi-AB.CD", ident, "AB"},
      {"text keeps commas and dashes", "gi-A,B-C", ident, "A,B-C"},
      {"text at line end", "gi-ABC\r\ngi-\r\n", ident, ""},
      {"key part", "gk3-3C5A3C5A3C5A3C5A", key(3), "3C5A3C5A3C5A3C5A"},
      {"Cyrillic text", "gi-Жук", ident, "Жук"},
      {"LF line ends", "gd-20.40\ngt-10.3\n", answer, "10/3"},
      {"CR line ends", "gd-20.40\rgd-\r25.45", duty, "15/30"},
      {"text ends at NUL", std::string("gd-20.40\r\n\0gd-25.45", 19), duty, "20/40"},
      {"NUL ending a number does not end the text", std::string("gd-20.40\0gt-10.3", 16), answer,
       "10/3"},
      {"NUL ending a text value", std::string("gi-AB\0gd-20.40", 14), duty, "20/40"},
      {"empty file", "", untouched, "defaults"},
      {"only comments", "; one\r\n;two$\r\n", untouched, "defaults"},
      {"keyword inside a later word", "xx gift-0123", ident, "0123"},
  };
  for (const auto& c : cases) {
    T_DEVICE_CommandMX3 set;
    LoadText(c.text, set);
    EXPECT_EQ(c.look(set), c.want) << c.what << ": " << c.text;
  }
}

TEST(CommandReader, SlotsKeepTheirKindAfterIndexZero) {
  T_DEVICE_CommandMX3 set;
  LoadText("ip0-1,2,3,4.5\r\ngk0-ABC\r\n", set);
  EXPECT_EQ(set.NetCommands[0].Kind(), kKindVersion);
  EXPECT_EQ(set.IdentCommands[0].Kind(), kKindIdent);
  set.Reset();
  EXPECT_EQ(set, T_DEVICE_CommandMX3{});
}

TEST(CommandReader, ReadsIntoASetWithoutResetting) {
  T_DEVICE_CommandMX3 set;
  set.IdentCommands[0].SetText(1, "0123456789AB");
  ReadCommandsText("ip1-10,0,0,2.9000 ip2-10,0,0,1 gd-20.40", set);
  EXPECT_EQ(set.Identifier(), "0123456789AB");
  EXPECT_EQ(set.Address(1), "010.000.000.002");
  EXPECT_EQ(set.Port(1), 9000);
  // "ip2" expects its second value or a line end; the next command on the line makes it fail,
  // and that command is read in its turn.
  EXPECT_EQ(set.Address(2), "");
  EXPECT_EQ(duty(set), "20/40");
  ReadCommandsText("ip2-10,0,0,1\r\n", set);
  EXPECT_EQ(set.Address(2), "010.000.000.001");
}

TEST(CommandReader, ReadsConfigurationLinesAsALinkSendsThem) {
  T_DEVICE_CommandMX3 sent;
  sent.NetCommands[1].SetText(1, "192.168.001.010");
  sent.NetCommands[1].SetValue(2, 9000);
  sent.NetCommands[2].SetText(1, "192.168.001.001");
  sent.NetCommands[3].SetText(1, "255.255.255.000");
  sent.IdentCommands[0].SetText(1, "0123456789AB");
  for (int p = 1; p <= 4; ++p) sent.IdentCommands[p].SetText(1, "3C5A3C5A3C5A3C5A");
  sent.DutyCommand.SetValue(1, 20);
  sent.AnswerCommand.SetValue(2, 7);
  const std::string steps[] = {
      CommandLine(sent, kKindIp, 1) + " " + CommandLine(sent, kKindIp, 2) + " " +
          CommandLine(sent, kKindIp, 3),
      CommandLine(sent, kKindIp, 4) + " " + CommandLine(sent, kKindIp, 5) + " " +
          CommandLine(sent, kKindIp, 6),
      CommandLine(sent, kKindIdent, 0) + " " + CommandLine(sent, kKindKey, 1) + " " +
          CommandLine(sent, kKindKey, 2) + " " + CommandLine(sent, kKindKey, 3) + " " +
          CommandLine(sent, kKindKey, 4),
      CommandLine(sent, kKindDuty, 0) + " " + CommandLine(sent, kKindAnswer, 0),
  };
  T_DEVICE_CommandMX3 device;
  for (const auto& step : steps) ReadConfigurationLines(step, device);
  EXPECT_EQ(device.Address(2), "192.168.001.001");
  EXPECT_EQ(device.Address(3), "255.255.255.000");
  EXPECT_EQ(device.Port(2), 0);
  EXPECT_EQ(WriteLines(device), WriteLines(sent));
}

// A set as the main window leaves it after drawing and unloading a reset set.
T_DEVICE_CommandMX3 drawn_default() {
  T_DEVICE_CommandMX3 set;
  MainWindowFields fields;
  RedrawAll(set, fields);
  UnloadAll(fields, set);
  return set;
}

TEST(Writer, DefaultLayoutLineByLine) {
  const std::vector<std::string> want = {
      "KL40-KL40 soft v.2.0",
      ";                                            $",
      "; IP-адрес и порт пульта для GPRS            $",
      "ip1-000,000,000,000.10001                    $",
      "ip2-000,000,000,000                          $",
      "ip3-000,000,000,000                          $",
      "ip4-000,000,000,000.10001                    $",
      "ip5-000,000,000,000.10001                    $",
      "ip6-000,000,000,000.10001                    $",
      ";                                            $",
      "; Периоды передачи дежурных режимов для GPRS $",
      "gd-15.30                                     $",
      ";                                            $",
      "; Время ожидания и число неответов для GPRS  $",
      "gt-05.02                                     $",
      ";                                            $",
      "; Идентификатор для GPRS                     $",
      "gi-000000000000                              $",
      ";                                            $",
      "; Ключ шифрации для GPRS                     $",
      "gk1-0000000000000000                         $",
      "gk2-0000000000000000                         $",
      "gk3-0000000000000000                         $",
      "gk4-0000000000000000                         $",
  };
  EXPECT_EQ(WriteLines(drawn_default()), want);

  const std::string bytes = EncodeLines(want);
  EXPECT_EQ(bytes.size(), 20 + 23 * 46 + 24 * 2);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  // "; IP-адрес": Windows-1251 bytes of the Cyrillic letters.
  const std::string line3 = bytes.substr(22 + 48, 11);
  EXPECT_EQ(line3, std::string("; IP-\xE0\xE4\xF0\xE5\xF1 "));
}

TEST(Writer, CommandLines) {
  T_DEVICE_CommandMX3 set;
  set.NetCommands[1].SetText(1, "192.168.000.010");
  set.NetCommands[1].SetValue(2, 10001);
  set.NetCommands[3].SetText(1, "255.255.255.000");
  set.NetCommands[3].SetValue(2, 777);  // the mask line has no port part
  set.DutyCommand.SetValue(1, 5);
  set.DutyCommand.SetValue(2, 9);
  set.AnswerCommand.SetValue(1, 60);
  set.AnswerCommand.SetValue(2, 100);
  set.IdentCommands[0].SetText(1, "0123456789AB");
  set.IdentCommands[2].SetText(1, "3C5A3C5A3C5A3C5A");
  EXPECT_EQ(CommandLine(set, kKindIp, 1), "ip1-192,168,000,010.10001");
  EXPECT_EQ(CommandLine(set, kKindIp, 3), "ip3-255,255,255,000");
  EXPECT_EQ(CommandLine(set, kKindIp, 2), "ip2-");
  EXPECT_EQ(CommandLine(set, kKindDuty, 0), "gd-05.09");
  EXPECT_EQ(CommandLine(set, kKindAnswer, 0), "gt-60.100");
  EXPECT_EQ(CommandLine(set, kKindIdent, 0), "gi-0123456789AB");
  EXPECT_EQ(CommandLine(set, kKindKey, 2), "gk2-3C5A3C5A3C5A3C5A");
  EXPECT_EQ(CommandLine(set, kKindVersion, 0), "KL40-KL40 soft v.2.0");
  EXPECT_EQ(CommandLine(set, kKindIp, 0), "");
  EXPECT_EQ(CommandLine(set, kKindIp, 7), "");
  EXPECT_EQ(CommandLine(set, kKindKey, 5), "");
  EXPECT_EQ(CommandLine(set, kKindNone, 0), "");

  EXPECT_EQ(PaddedLine(std::string(50, 'x')), std::string(50, 'x') + "$");
  EXPECT_EQ(PaddedLine(std::string(45, 'x')), std::string(45, 'x') + "$");
  EXPECT_EQ(PaddedLine("gi-Жук"), "gi-Жук" + std::string(39, ' ') + "$");
}

// Sets that a written file must bring back exactly.
std::vector<T_DEVICE_CommandMX3> sample_sets() {
  std::vector<T_DEVICE_CommandMX3> sets;
  sets.push_back(drawn_default());
  T_DEVICE_CommandMX3 s = drawn_default();
  s.NetCommands[1].SetText(1, "192.168.001.010");
  s.NetCommands[1].SetValue(2, 65335);
  s.NetCommands[2].SetText(1, "192.168.001.001");
  s.NetCommands[3].SetText(1, "255.255.255.000");
  s.NetCommands[4].SetText(1, "010.000.000.001");
  s.NetCommands[4].SetValue(2, 80);
  s.NetCommands[6].SetValue(2, 0);
  s.DutyCommand.SetValue(1, 900);
  s.DutyCommand.SetValue(2, 5);
  s.AnswerCommand.SetValue(1, 60);
  s.AnswerCommand.SetValue(2, 1);
  s.IdentCommands[0].SetText(1, "0123456789AB");
  const auto parts = generate_key_parts();
  for (int p = 1; p <= 4; ++p) s.IdentCommands[p].SetText(1, parts[p - 1]);
  sets.push_back(s);
  T_DEVICE_CommandMX3 odd = s;
  odd.IdentCommands[0].SetText(1, "Жук-and-a-very-long-identifier-text-beyond-the-padding");
  odd.IdentCommands[1].SetText(1, "");
  odd.NetCommands[5].SetText(1, "");
  sets.push_back(odd);
  return sets;
}

TEST(Writer, ReadingAWrittenFileGivesTheSameBytes) {
  for (const auto& set : sample_sets()) {
    const std::string first = EncodeLines(WriteLines(set));
    T_DEVICE_CommandMX3 back;
    LoadText(cp1251_to_utf8(first), back);
    EXPECT_EQ(back, set);
    EXPECT_EQ(EncodeLines(WriteLines(back)), first);
  }
}

class ConfigFiles : public kl40::testing::TestFolder {
 protected:
  ConfigFiles() : TestFolder("kl40-config") {}
};

TEST_F(ConfigFiles, SaveThenLoadRoundTrip) {
  const fs::path file = dir_ / "config.ini";
  for (const auto& set : sample_sets()) {
    const auto lines = WriteLines(set);
    FileError e;
    ASSERT_TRUE(SaveLines(file, lines, &e)) << e.reason;
    EXPECT_EQ(e.fault, FileFault::None);
    EXPECT_EQ(read_bytes(file), EncodeLines(lines));
    EXPECT_FALSE(fs::exists(dir_ / "config.ini.tmp"));
    T_DEVICE_CommandMX3 back;
    ASSERT_TRUE(LoadFile(file, back, &e));
    EXPECT_EQ(EncodeLines(WriteLines(back)), read_bytes(file));
  }
}

TEST_F(ConfigFiles, LoadsWindows1251Text) {
  const fs::path file = dir_ / "cyr.ini";
  write_bytes(file, "gi-\xC6\xF3\xEA\r\ngd-20.40\r\n");
  T_DEVICE_CommandMX3 set;
  ASSERT_TRUE(LoadFile(file, set));
  EXPECT_EQ(set.Identifier(), "Жук");
  EXPECT_EQ(set.DutyCommand.Value1(), 20);
}

TEST_F(ConfigFiles, EveryByteOfATextValueSurvivesLoadAndSave) {
  // A text value holds whatever bytes the file had (0x98, unassigned in Windows-1251, included);
  // writing the set gives them back unchanged.
  const fs::path file = dir_ / "bytes.ini";
  const std::string specials = "\r\n$;.,- ";
  for (int b = 1; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (specials.find(c) != std::string::npos) continue;
    const std::string value = std::string("A") + c + "B";
    write_bytes(file, "gi-" + value + "\r\n");
    T_DEVICE_CommandMX3 set;
    ASSERT_TRUE(LoadFile(file, set));
    const std::string saved = EncodeLines(WriteLines(set));
    EXPECT_NE(saved.find("\r\ngi-" + value + std::string(45 - 6, ' ') + "$\r\n"),
              std::string::npos)
        << "byte " << b;
  }
}

TEST_F(ConfigFiles, FailedLoadKeepsTheSet) {
  const fs::path big = dir_ / "big.ini";
  write_bytes(big, std::string(kMaxConfigFileSize + 1, ' '));
  fs::create_directories(dir_ / "folder.ini");
  struct Case {
    const char* what;
    fs::path path;
  } cases[] = {{"missing", dir_ / "missing.ini"},
               {"folder", dir_ / "folder.ini"},
               {"too large", big},
               {"device", "/dev/zero"}};
  for (const auto& c : cases) {
    T_DEVICE_CommandMX3 set;
    set.DutyCommand.SetValue(1, 123);
    FileError e;
    EXPECT_FALSE(LoadFile(c.path, set, &e)) << c.what;
    EXPECT_EQ(e.fault, FileFault::CannotOpen) << c.what;
    EXPECT_EQ(e.title, "Ошибка открытия файла");
    EXPECT_EQ(e.text, "Проверьте наличие файла");
    EXPECT_FALSE(e.reason.empty()) << c.what;
    EXPECT_EQ(set.DutyCommand.Value1(), 123) << c.what;
  }
}

TEST_F(ConfigFiles, FailedSaveLeavesTheOldFile) {
  const fs::path file = dir_ / "config.ini";
  const std::string old = "gd-20.40\r\n";
  const auto lines = WriteLines(drawn_default());

  // A folder where the temporary file would go: nothing can be created.
  write_bytes(file, old);
  fs::create_directories(dir_ / "config.ini.tmp");
  FileError e;
  EXPECT_FALSE(SaveLines(file, lines, &e));
  EXPECT_EQ(e.fault, FileFault::CannotCreate);
  EXPECT_EQ(e.title, "Ошибка записи в файл - файл не может быть создан");
  EXPECT_EQ(e.text, "Проверьте отсутствие запрета записи и наличие свободного места");
  EXPECT_EQ(read_bytes(file), old);
  EXPECT_TRUE(fs::is_directory(dir_ / "config.ini.tmp"));
  fs::remove(dir_ / "config.ini.tmp");

  // A folder in place of the file: it cannot be replaced, and no temporary file is left.
  const fs::path folder = dir_ / "taken.ini";
  fs::create_directories(folder / "inside");
  EXPECT_FALSE(SaveLines(folder, lines, &e));
  EXPECT_EQ(e.fault, FileFault::CannotWrite);
  EXPECT_EQ(e.title, "Ошибка записи в файл - файл не может быть записан");
  EXPECT_EQ(e.text, "Проверьте отсутствие запрета записи");
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_FALSE(fs::exists(dir_ / "taken.ini.tmp"));

  // A missing folder.
  EXPECT_FALSE(SaveLines(dir_ / "no-such-folder" / "config.ini", lines, &e));
  EXPECT_EQ(e.fault, FileFault::CannotCreate);
  EXPECT_FALSE(e.reason.empty());

  // The old file is still whole and a later save still works.
  EXPECT_EQ(read_bytes(file), old);
  EXPECT_TRUE(SaveLines(file, lines, &e));
  EXPECT_EQ(read_bytes(file), EncodeLines(lines));
}

TEST_F(ConfigFiles, SaveKeepsThePermissionsOfTheOldFile) {
  const fs::path file = dir_ / "private.ini";
  write_bytes(file, "x");
  ::chmod(file.c_str(), 0600);
  ASSERT_TRUE(SaveLines(file, WriteLines(drawn_default())));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LineList, SplitAndJoin) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V want;
  } cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\r\n", {"A"}},
      {"\r\n", {""}},
      {"A\n\nB", {"A", "", "B"}},
      {"A\rB", {"A", "B"}},
      {"A\r\n\r\n", {"A", ""}},
      {"A\n\rB", {"A", "", "B"}},
      {std::string("A\0B\r\nC", 6), {std::string("A\0B", 3), "C"}},  // NUL is kept
  };
  for (const auto& c : cases) EXPECT_EQ(SplitLines(c.text), c.want) << c.text;
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines({}), "");
}

}  // namespace
}  // namespace kl40
