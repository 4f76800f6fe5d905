// kl40ctl: new, dump and check, through the command functions and through the program itself.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/text/cp1251.h"
#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "tools/kl40ctl/config_commands.h"
#include "tests/support/test_folder.h"

namespace kl40::ctl {
namespace {

namespace fs = std::filesystem;

class Kl40ctl : public kl40::testing::TestFolder {
 protected:
  Kl40ctl() : TestFolder("kl40ctl") {}
  std::string path(const char* name) const { return (dir_ / name).string(); }

  std::ostringstream out_, err_;
};

TEST_F(Kl40ctl, NewWritesTheDrawnDefaults) {
  NewOptions o;
  o.file = path("a.ini");
  ASSERT_EQ(run_new(o, out_, err_), kExitOk) << err_.str();
  T_DEVICE_CommandMX3 set;
  ASSERT_TRUE(LoadFile(o.file, set));
  const auto lines = WriteLines(set);
  EXPECT_EQ(lines[3], PaddedLine("ip1-000,000,000,000.10001"));
  EXPECT_EQ(lines[17], PaddedLine("gi-000000000000"));
  EXPECT_EQ(lines[20], PaddedLine("gk1-0000000000000000"));
  EXPECT_EQ(read_bytes(o.file), EncodeLines(lines));
}

TEST_F(Kl40ctl, NewWithGivenOrGeneratedIdentityAndKey) {
  NewOptions o;
  o.file = path("given.ini");
  o.id = "0123-4567-89ab";
  o.key = std::string("00112233445566778899AABBCCDDEEFF") + "0123456789abcdef0123456789ABCDEF";
  ASSERT_EQ(run_new(o, out_, err_), kExitOk) << err_.str();
  T_DEVICE_CommandMX3 set;
  ASSERT_TRUE(LoadFile(o.file, set));
  EXPECT_EQ(set.Identifier(), "0123456789AB");
  EXPECT_EQ(set.KeyPart(1), "0011223344556677");
  EXPECT_EQ(set.KeyPart(2), "8899AABBCCDDEEFF");
  EXPECT_EQ(set.KeyPart(3), "0123456789ABCDEF");
  EXPECT_EQ(set.KeyPart(4), "0123456789ABCDEF");
  EXPECT_NE(out_.str().find("0123-4567-89AB"), std::string::npos);

  NewOptions g;
  g.file = path("generated.ini");
  g.generate_id = true;
  g.generate_key = true;
  ASSERT_EQ(run_new(g, out_, err_), kExitOk) << err_.str();
  ASSERT_TRUE(LoadFile(g.file, set));
  EXPECT_EQ(set.Identifier().size(), 12u);
  for (int part = 1; part <= 4; ++part) {
    EXPECT_EQ(set.KeyPart(part).size(), 16u);
    EXPECT_NE(set.KeyPart(part), "0000000000000000");
  }
  std::ostringstream check_out;
  EXPECT_EQ(run_check(g.file, check_out, err_), kExitOk);
}

TEST_F(Kl40ctl, NewRefusesBadArgumentsAndExistingFiles) {
  struct Case {
    const char* what;
    std::optional<std::string> id, key;
    const char* message;
  } cases[] = {
      {"short id", "12345", std::nullopt, "5 hexadecimal digits, 12 are needed"},
      {"letter in id", "0123456789AG", std::nullopt, "character 12 'G' is not a hexadecimal"},
      {"short key", std::nullopt, std::string(63, 'A'), "63 hexadecimal digits, 64 are needed"},
      {"space in key", std::nullopt, std::string(32, 'A') + " " + std::string(31, 'A'),
       "character 33 is not a hexadecimal"},
  };
  for (const auto& c : cases) {
    NewOptions o;
    o.file = path("bad.ini");
    o.id = c.id;
    o.key = c.key;
    std::ostringstream out, err;
    EXPECT_EQ(run_new(o, out, err), kExitUsage) << c.what;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << c.what << ": " << err.str();
    EXPECT_FALSE(fs::exists(o.file)) << c.what;
  }

  const std::string existing = path("old.ini");
  write_bytes(existing, "gd-20.40\r\n");
  NewOptions o;
  o.file = existing;
  EXPECT_EQ(run_new(o, out_, err_), kExitUsage);
  EXPECT_NE(err_.str().find("already exists"), std::string::npos);
  EXPECT_EQ(read_bytes(existing), "gd-20.40\r\n");
  o.force = true;
  EXPECT_EQ(run_new(o, out_, err_), kExitOk);
  EXPECT_NE(read_bytes(existing), "gd-20.40\r\n");

  NewOptions nowhere;
  nowhere.file = path("missing-folder/x.ini");
  std::ostringstream err;
  EXPECT_EQ(run_new(nowhere, out_, err), kExitUsage);
  EXPECT_NE(err.str().find(nowhere.file), std::string::npos);
}

TEST_F(Kl40ctl, DumpWritesTheWriterBytesWithoutAWindowRoundTrip) {
  const std::string file = path("part.ini");
  write_bytes(file, "gi-ABC\r\nGD-20.40 \xC6\r\n");
  std::ostringstream out;
  ASSERT_EQ(run_dump(file, out, err_), kExitOk);
  T_DEVICE_CommandMX3 set;
  LoadText("gi-ABC\r\ngd-20.40\r\n", set);
  EXPECT_EQ(out.str(), EncodeLines(WriteLines(set)));
  EXPECT_NE(out.str().find("ip1-.10001"), std::string::npos);  // an empty text stays empty
  EXPECT_NE(out.str().find("gi-ABC "), std::string::npos);

  // Bytes of a text value come out as they went in, 0x98 included.
  write_bytes(file, "gi-A\x98\xC6" "B\r\n");
  std::ostringstream raw;
  ASSERT_EQ(run_dump(file, raw, err_), kExitOk);
  EXPECT_NE(raw.str().find("\r\ngi-A\x98\xC6" "B "), std::string::npos);

  std::ostringstream err;
  EXPECT_EQ(run_dump(path("none.ini"), out, err), kExitUsage);
  EXPECT_NE(err.str().find("none.ini"), std::string::npos);
  EXPECT_NE(err.str().find("No such file"), std::string::npos);
}

TEST_F(Kl40ctl, CheckPrintsFailuresInOrder) {
  const std::string file = path("bad.ini");
  write_bytes(file, "ip1-300,1,1,1.70000\r\nip5-10,0,0,1.0\r\ngt-05.100\r\n");
  std::ostringstream out;
  EXPECT_EQ(run_check(file, out, err_), kExitChecksFailed);
  EXPECT_EQ(out.str(),
            "Недопустимый IP-адрес устройства.\n"
            "Элементы IP-адреса должны находится в диапазоне 0..255\n"
            "Недопустимый номер порта прибора для отправки сообщений.\n"
            "Порт не может принимать нулевое значение и быть больше 65335\n");
  // ip5's port 0 became 10001 when the page was drawn; the limit 100 was shown and kept as 99.

  // Short addresses are filled out by the fields as the window shows them, so they pass.
  const std::string short_addresses = path("short.ini");
  write_bytes(short_addresses, "ip1-192,168,1.8080\r\nip2-192,168\r\nip4-10,0,0,1,5.80\r\n");
  std::ostringstream short_out;
  EXPECT_EQ(run_check(short_addresses, short_out, err_), kExitOk) << short_out.str();

  const std::string good = path("good.ini");
  write_bytes(good, "");
  std::ostringstream ok;
  EXPECT_EQ(run_check(good, ok, err_), kExitOk);
  EXPECT_EQ(run_check(path("none.ini"), ok, err_), kExitUsage);
}

// Runs the kl40ctl program with ARGS; the exit status, or -1.
int run_program(const std::string& args) {
  const char* bin = std::getenv("KL40_BINARY_DIR");
  if (!bin) return -1;
  const std::string cmd = std::string(bin) + "/tools/kl40ctl/kl40ctl " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Kl40ctl, ProgramExitCodes) {
  if (!std::getenv("KL40_BINARY_DIR")) GTEST_SKIP() << "run through ctest";
  const std::string file = path("p.ini");
  struct Case {
    std::string args;
    int want;
  } cases[] = {
      {"", 2},
      {"frobnicate", 2},
      {"dump", 2},
      {"new " + file + " --id 1 --generate-id", 2},
      {"new " + file + " --generate-id --generate-key", 0},
      {"new " + file, 2},
      {"new " + file + " --force --id 0123456789AB", 0},
      {"dump " + file, 0},
      {"check " + file, 0},
      {"check " + path("missing.ini"), 2},
      {"dump /dev/zero", 2},
      {"--help", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(run_program(c.args), c.want) << c.args;
  write_bytes(file, "gd-1.1 ip4-1,1,1,1.0 ip1-0,0,0,1.99999\r\n");
  EXPECT_EQ(run_program("check " + file), 1);
}

TEST_F(Kl40ctl, ProgramFaultsAreOneLine) {
  const char* bin = std::getenv("KL40_BINARY_DIR");
  if (!bin) GTEST_SKIP() << "run through ctest";
  const std::string err = path("err.txt");
  const std::string cases[] = {"", "frobnicate", "dump", "dump a b", "new",
                               "new " + path("x.ini") + " --id 1 --generate-id",
                               "dump " + path("missing.ini"), "new " + path("x.ini") + " --id 12"};
  for (const auto& args : cases) {
    const std::string cmd =
        std::string(bin) + "/tools/kl40ctl/kl40ctl " + args + " >/dev/null 2>" + err;
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
    const std::string text = read_bytes(err);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << args << ": " << text;
    EXPECT_TRUE(text.starts_with("kl40ctl: ")) << args << ": " << text;
  }
}

}  // namespace
}  // namespace kl40::ctl
