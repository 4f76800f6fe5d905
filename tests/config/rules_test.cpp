// Validation, the validation dialogue and the page rules of the main window.
#include <gtest/gtest.h>

#include <functional>

#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "configurator/config/pages.h"
#include "configurator/config/validation.h"

namespace kl40 {
namespace {

// A reset set as the main window leaves it after drawing and unloading it.
T_DEVICE_CommandMX3 drawn_default() {
  T_DEVICE_CommandMX3 set;
  MainWindowFields fields;
  RedrawAll(set, fields);
  UnloadAll(fields, set);
  return set;
}

std::vector<CheckId> failing(const T_DEVICE_CommandMX3& set) {
  std::vector<CheckId> ids;
  for (const auto& f : validate(set)) ids.push_back(f.check);
  return ids;
}

TEST(Validation, DrawnDefaultsPass) {
  EXPECT_TRUE(validate(drawn_default()).empty());
  // A set that was never drawn (empty addresses) passes as well.
  EXPECT_TRUE(validate(T_DEVICE_CommandMX3{}).empty());
}

TEST(Validation, LimitsOfEveryCheck) {
  using Edit = std::function<void(T_DEVICE_CommandMX3&)>;
  auto addr = [](int slot, const char* text) -> Edit {
    return [=](T_DEVICE_CommandMX3& s) { s.NetCommands[slot].SetText(1, text); };
  };
  auto port = [](int slot, std::int32_t v) -> Edit {
    return [=](T_DEVICE_CommandMX3& s) { s.NetCommands[slot].SetValue(2, v); };
  };
  auto both = [](Edit a, Edit b) -> Edit {
    return [=](T_DEVICE_CommandMX3& s) { a(s); b(s); };
  };
  auto duty = [](int pos, std::int32_t v) -> Edit {
    return [=](T_DEVICE_CommandMX3& s) { s.DutyCommand.SetValue(pos, v); };
  };
  auto answer = [](int pos, std::int32_t v) -> Edit {
    return [=](T_DEVICE_CommandMX3& s) { s.AnswerCommand.SetValue(pos, v); };
  };
  using C = CheckId;
  struct Case {
    const char* what;
    Edit edit;
    std::vector<CheckId> want;
  } cases[] = {
      {"group 256", addr(1, "256.000.000.000"), {C::DeviceAddress}},
      {"group 255", addr(1, "255.255.255.255"), {}},
      {"last group 256", addr(2, "000.000.000.256"), {C::GatewayAddress}},
      {"mask 999", addr(3, "255.255.999.000"), {C::MaskAddress}},
      {"server 1", both(addr(4, "300.000.000.001"), port(4, 80)), {C::Server1Address}},
      {"server 3", both(addr(6, "010.000.000.256"), port(6, 80)), {C::Server3Address}},
      {"not digits", addr(1, "1a2.000.000.000"), {C::DeviceAddress}},
      {"five groups", addr(1, "001.002.003.004.005"), {C::DeviceAddress}},
      {"unnormalised text", addr(1, "10.0.0.1"), {}},
      {"outgoing port 0", port(1, 0), {C::DevicePort}},
      {"outgoing port 65336", port(1, 65336), {C::DevicePort}},
      {"outgoing port 65335", port(1, 65335), {}},
      {"outgoing port negative", port(1, -5), {C::DevicePort}},
      {"unused server port 0", port(5, 0), {}},
      {"used server port 0", both(addr(5, "010.000.000.001"), port(5, 0)), {C::Server2Port}},
      {"used server port 65336", both(addr(4, "000.000.000.001"), port(4, 65336)),
       {C::Server1Port}},
      {"bad server address and port", both(addr(6, "999.000.000.000"), port(6, 0)),
       {C::Server3Address, C::Server3Port}},
      {"duty 4", duty(1, 4), {C::Duty1}},
      {"duty 901", duty(2, 901), {C::Duty2}},
      {"duty 5 and 900", both(duty(1, 5), duty(2, 900)), {}},
      {"wait 4", answer(1, 4), {C::AnswerWait}},
      {"wait 61", answer(1, 61), {C::AnswerWait}},
      {"wait 60", answer(1, 60), {}},
      {"limit 100", answer(2, 100), {}},
      {"limit 101", answer(2, 101), {C::NoAnswer}},
      {"limit 0", answer(2, 0), {C::NoAnswer}},
      {"order", both(both(duty(1, 1), port(1, 0)), addr(3, "256.0.0.0")),
       {C::MaskAddress, C::DevicePort, C::Duty1}},
  };
  for (const auto& c : cases) {
    T_DEVICE_CommandMX3 set = drawn_default();
    c.edit(set);
    EXPECT_EQ(failing(set), c.want) << c.what;
  }
}

TEST(Validation, MessagesFieldsAndDefaults) {
  T_DEVICE_CommandMX3 set = drawn_default();
  for (int slot = 1; slot <= 6; ++slot) set.NetCommands[slot].SetText(1, "256.000.000.001");
  for (int slot : {1, 4, 5, 6}) set.NetCommands[slot].SetValue(2, 0);
  set.DutyCommand.SetValue(1, 1);
  set.DutyCommand.SetValue(2, 1000);
  set.AnswerCommand.SetValue(1, 0);
  set.AnswerCommand.SetValue(2, 0);
  const auto all = validate(set);
  ASSERT_EQ(all.size(), 14u);
  const std::string ip = "Элементы IP-адреса должны находится в диапазоне 0..255";
  const std::string port = "Порт не может принимать нулевое значение и быть больше 65335";
  const std::string server = "Недопустимый IP-адрес сервера для приема сообщений.";
  const std::string server_port = "Недопустимый номер порта сервера для приема сообщений.";
  struct Want {
    CheckId check;
    FieldId field;
    Page page;
    std::string title, text;
    bool default_offered;
  } want[] = {
      {CheckId::DeviceAddress, FieldId::E_LAN_IP, Page::Tab_LAN,
       "Недопустимый IP-адрес устройства.", ip, false},
      {CheckId::GatewayAddress, FieldId::E_LAN_GateWay, Page::Tab_LAN,
       "Недопустимый IP-адрес шлюза.", ip, false},
      {CheckId::MaskAddress, FieldId::E_LAN_Mask, Page::Tab_LAN, "Недопустимая маска устройства.",
       "Элементы маски сети должны находится в диапазоне 0..255", false},
      {CheckId::Server1Address, FieldId::E_MX3_Server1, Page::Tab_LAN, server, ip, false},
      {CheckId::Server2Address, FieldId::E_MX3_Server2, Page::Tab_LAN, server, ip, false},
      {CheckId::Server3Address, FieldId::E_MX3_Server3, Page::Tab_LAN, server, ip, false},
      {CheckId::DevicePort, FieldId::E_LAN_Port, Page::Tab_LAN,
       "Недопустимый номер порта прибора для отправки сообщений.", port, true},
      {CheckId::Server1Port, FieldId::E_MX3_Port1, Page::Tab_LAN, server_port, port, true},
      {CheckId::Server2Port, FieldId::E_MX3_Port2, Page::Tab_LAN, server_port, port, true},
      {CheckId::Server3Port, FieldId::E_MX3_Port3, Page::Tab_LAN, server_port, port, true},
      {CheckId::Duty1, FieldId::E_MX3_Duty1, Page::Tab_MX3,
       "Недопустимая величина периода отправки сообщений дежурного режим первого типа (без "
       "подтверждения пульта).",
       "Период отправки сообщений может быть задан в диапазоне 5..900 секунд", true},
      {CheckId::Duty2, FieldId::E_MX3_Duty2, Page::Tab_MX3,
       "Недопустимая величина периода отправки сообщений дежурного режим второго типа (с "
       "подтверждением от пульта).",
       "Период отправки сообщений может быть задан в диапазоне 5..900 секунд", true},
      {CheckId::AnswerWait, FieldId::E_MX3_Answer, Page::Tab_MX3,
       "Недопустимая величина времени ожидания ответа на переданное сообщение.",
       "Время ожидания может быть задано в диапазоне 5..60 секунд", true},
      {CheckId::NoAnswer, FieldId::E_MX3_NoAnswer, Page::Tab_MX3,
       "Недопустимая величина числа неответов на переданное сообщение, после которого происходит "
       "снижение темпа повторов сообщения.",
       "Допустимое число неответов может быть задано в диапазоне 1..100", true},
  };
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i].check, want[i].check);
    EXPECT_EQ(all[i].field, want[i].field);
    EXPECT_EQ(all[i].page, want[i].page);
    EXPECT_EQ(all[i].title, want[i].title);
    EXPECT_EQ(all[i].text, want[i].text);
    EXPECT_EQ(all[i].default_offered, want[i].default_offered);
    EXPECT_EQ(is_network_check(all[i].check), all[i].page == Page::Tab_LAN);
  }

  // Applying every offered default leaves only the address checks.
  for (const auto& f : all) EXPECT_EQ(apply_default(set, f.check), f.default_offered);
  for (int slot : {1, 4, 5, 6}) EXPECT_EQ(set.Port(slot), 10001);
  EXPECT_EQ(set.DutyCommand.Value1(), 15);
  EXPECT_EQ(set.DutyCommand.Value2(), 30);
  EXPECT_EQ(set.AnswerCommand.Value1(), 5);
  EXPECT_EQ(set.AnswerCommand.Value2(), 2);
  EXPECT_EQ(set.Address(1), "256.000.000.001");
  EXPECT_EQ(validate(set).size(), 6u);
}

// Answers a dialogue from a script and records what it was asked and what was redrawn.
struct ScriptedWindow {
  std::vector<ErrorAnswer> answers;
  std::vector<CheckId> asked;
  std::vector<Page> redrawn;

  AskFn ask() {
    return [this](const CheckFailure& f) {
      asked.push_back(f.check);
      if (asked.size() > answers.size()) return ErrorAnswer::Closed;
      return answers[asked.size() - 1];
    };
  }
  RedrawFn redraw() {
    return [this](Page p) { redrawn.push_back(p); };
  }
};

TEST(ValidationDialogue, DefaultGoesOnCorrectStops) {
  using A = ErrorAnswer;
  using C = CheckId;
  struct Case {
    const char* what;
    std::vector<A> answers;
    bool passed;
    std::vector<C> asked;
    std::optional<FieldId> focus;
    std::optional<C> stopped;
    std::vector<Page> redrawn;
  } cases[] = {
      {"defaults all the way", {A::SetDefault, A::SetDefault, A::SetDefault}, true,
       {C::DevicePort, C::Server2Port, C::Duty1}, std::nullopt, std::nullopt,
       {Page::Tab_LAN, Page::Tab_LAN, Page::Tab_MX3}},
      {"correct the first", {A::Correct}, false, {C::DevicePort}, FieldId::E_LAN_Port,
       C::DevicePort, {}},
      {"default then correct", {A::SetDefault, A::SetDefault, A::Correct}, false,
       {C::DevicePort, C::Server2Port, C::Duty1}, FieldId::E_MX3_Duty1, C::Duty1,
       {Page::Tab_LAN, Page::Tab_LAN}},
      {"closed window", {A::SetDefault, A::Closed}, false, {C::DevicePort, C::Server2Port},
       std::nullopt, C::Server2Port, {Page::Tab_LAN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    T_DEVICE_CommandMX3 set = drawn_default();
    set.NetCommands[1].SetValue(2, 0);
    set.NetCommands[5].SetText(1, "010.000.000.001");
    set.NetCommands[5].SetValue(2, 70000);
    set.DutyCommand.SetValue(1, 3);
    ScriptedWindow window{c.answers, {}, {}};
    const DialogueOutcome out = run_validation_dialogue(set, window.ask(), window.redraw());
    EXPECT_EQ(out.passed, c.passed);
    EXPECT_EQ(window.asked, c.asked);
    EXPECT_EQ(out.focus, c.focus);
    EXPECT_EQ(out.failed ? std::optional<C>(out.failed->check) : std::nullopt, c.stopped);
    EXPECT_EQ(window.redrawn, c.redrawn);
    // Every default taken is in the set.
    const std::size_t taken = c.redrawn.size();
    EXPECT_EQ(set.Port(1), taken >= 1 ? 10001 : 0);
    EXPECT_EQ(set.Port(5), taken >= 2 ? 10001 : 70000);
    EXPECT_EQ(set.DutyCommand.Value1(), taken >= 3 ? 15 : 3);
  }
}

TEST(ValidationDialogue, AddressErrorsOfferOnlyCorrection) {
  T_DEVICE_CommandMX3 set = drawn_default();
  set.NetCommands[2].SetText(1, "300.000.000.000");
  ScriptedWindow window{{ErrorAnswer::SetDefault}, {}, {}};
  const auto out = run_validation_dialogue(set, window.ask(), window.redraw());
  EXPECT_FALSE(out.passed);
  ASSERT_TRUE(out.failed);
  EXPECT_EQ(out.failed->check, CheckId::GatewayAddress);
  EXPECT_FALSE(out.failed->default_offered);
  EXPECT_EQ(out.focus, std::nullopt);
  EXPECT_TRUE(window.redrawn.empty());
  EXPECT_EQ(set.Address(2), "300.000.000.000");

  ScriptedWindow corrected{{ErrorAnswer::Correct}, {}, {}};
  const auto again = run_validation_dialogue(set, corrected.ask());
  EXPECT_EQ(again.focus, FieldId::E_LAN_GateWay);
  EXPECT_EQ(page_of(*again.focus), Page::Tab_LAN);
  EXPECT_EQ(field_name(*again.focus), "E_LAN_GateWay");

  // With nothing to complain about the window is never asked.
  T_DEVICE_CommandMX3 good = drawn_default();
  ScriptedWindow silent;
  EXPECT_TRUE(run_validation_dialogue(good, silent.ask()).passed);
  EXPECT_TRUE(silent.asked.empty());
}

TEST(NetworkPage, RedrawOfAResetSetChoosesDhcp) {
  T_DEVICE_CommandMX3 set;
  NetworkPageFields f;
  f.dhcp = false;
  f.static_enabled = true;
  RedrawNetworkPage(set, f);
  EXPECT_TRUE(f.dhcp);
  EXPECT_FALSE(f.static_enabled);
  for (int slot = 1; slot <= 6; ++slot) EXPECT_EQ(address_field(f, slot), "000.000.000.000");
  EXPECT_EQ(f.port, "10001");
  EXPECT_EQ(f.server_port, (std::array<std::string, 3>{"10001", "10001", "10001"}));
  // The DHCP handler stored the three (zero) field texts into the set.
  EXPECT_EQ(set.Address(1), "000.000.000.000");
  EXPECT_EQ(set.Address(3), "000.000.000.000");
  EXPECT_EQ(set.Address(4), "");
}

TEST(NetworkPage, RedrawNormalisesAndReplacesPortZero) {
  T_DEVICE_CommandMX3 set;
  set.NetCommands[1].SetText(1, "192.168.0.1");
  set.NetCommands[1].SetValue(2, 0);
  set.NetCommands[3].SetText(1, "255.255.255.0");
  set.NetCommands[4].SetText(1, "10.0.0.1");
  set.NetCommands[4].SetValue(2, 80);
  set.NetCommands[6].SetValue(2, 0);
  set.NetCommands[2].SetValue(2, 0);  // gateway port is not drawn and stays
  NetworkPageFields f;
  RedrawNetworkPage(set, f);
  EXPECT_FALSE(f.dhcp);
  EXPECT_TRUE(f.static_enabled);
  EXPECT_EQ(f.ip, "192.168.000.001");
  EXPECT_EQ(f.gateway, "000.000.000.000");
  EXPECT_EQ(f.mask, "255.255.255.000");
  EXPECT_EQ(f.server[0], "010.000.000.001");
  EXPECT_EQ(f.port, "10001");
  EXPECT_EQ(set.Port(1), 10001);
  EXPECT_EQ(f.server_port[0], "80");
  EXPECT_EQ(set.Port(6), 10001);
  EXPECT_EQ(set.Port(2), 0);
}

TEST(NetworkPage, AddressesShowAsTheMaskedFieldHoldsThem) {
  // The field takes digits in 15 positions with "." at 4, 8 and 12: a short address is filled
  // with "0", a longer one is cut, and anything but a digit shows as "0".
  struct Case {
    const char* address;
    const char* shown;
  } cases[] = {
      {"192.168.0.1", "192.168.000.001"},
      {"10.0.0", "010.000.000.000"},
      {"1.2.3.4.5", "001.002.003.004"},
      {"1a2.0.0.1", "102.000.000.001"},
      {"Жук", "000.000.000.000"},
      {"123456789012345", "123.456.789.012"},
  };
  for (const auto& c : cases) {
    T_DEVICE_CommandMX3 set;
    for (int slot = 1; slot <= 6; ++slot) set.NetCommands[slot].SetText(1, c.address);
    NetworkPageFields f;
    RedrawNetworkPage(set, f);
    for (int slot = 1; slot <= 6; ++slot)
      EXPECT_EQ(address_field(f, slot), c.shown) << c.address << " slot " << slot;
    ChooseStatic(set, f);
    EXPECT_EQ(f.ip, c.shown) << c.address;
    UnloadNetworkPage(f, set);
    EXPECT_EQ(set.Address(4), c.shown) << c.address;
  }
  // An address that shows as zeros in all three fields means DHCP.
  T_DEVICE_CommandMX3 set;
  set.NetCommands[1].SetText(1, "0.0");
  NetworkPageFields f;
  RedrawNetworkPage(set, f);
  EXPECT_TRUE(f.dhcp);
}

TEST(NetworkPage, DhcpThenStaticRestoresTypedAddresses) {
  T_DEVICE_CommandMX3 set;
  NetworkPageFields f;
  RedrawNetworkPage(set, f);
  ChooseStatic(set, f);
  EXPECT_TRUE(f.static_enabled);
  f.ip = "192.168.  1. 10";  // unfilled positions of the masked field
  f.gateway = "192.168.001.001";
  f.mask = "255.255.255.000";
  ChooseDhcp(set, f);
  EXPECT_EQ(f.ip, "000.000.000.000");
  EXPECT_FALSE(f.static_enabled);
  EXPECT_EQ(set.Address(1), "192.168.001.010");  // kept until the next unload
  ChooseStatic(set, f);
  EXPECT_EQ(f.ip, "192.168.001.010");
  EXPECT_EQ(f.gateway, "192.168.001.001");
  EXPECT_EQ(f.mask, "255.255.255.000");

  // Saving while DHCP is chosen writes zeros for address, gateway and mask.
  ChooseDhcp(set, f);
  UnloadNetworkPage(f, set);
  const auto lines = WriteLines(set);
  EXPECT_EQ(lines[3].substr(0, 25), "ip1-000,000,000,000.10001");
  EXPECT_EQ(lines[4].substr(0, 19), "ip2-000,000,000,000");
  EXPECT_EQ(lines[5].substr(0, 19), "ip3-000,000,000,000");
}

TEST(NetworkPage, UnloadReadsFieldsIntoTheSet) {
  T_DEVICE_CommandMX3 set;
  NetworkPageFields f;
  f.ip = "010.000.000.002";
  f.gateway = "010.000.000.001";
  f.mask = "255.255.255.___";
  f.port = "";
  f.server = {"  1.  2.  3.  4", "", "000.000.000.000"};
  f.server_port = {"80", "00123", ""};
  set.NetCommands[2].SetValue(2, 555);
  UnloadNetworkPage(f, set);
  EXPECT_EQ(set.Address(1), "010.000.000.002");
  EXPECT_EQ(set.Address(3), "255.255.255.000");
  EXPECT_EQ(set.Address(4), "001.002.003.004");
  EXPECT_EQ(set.Address(5), "");
  EXPECT_EQ(set.Port(1), 0);
  EXPECT_EQ(set.Port(2), 0);
  EXPECT_EQ(set.Port(3), 0);
  EXPECT_EQ(set.Port(4), 80);
  EXPECT_EQ(set.Port(5), 123);
  EXPECT_EQ(set.Port(6), 0);
  // An empty port fails the check; the server with a zero address and port 0 passes.
  EXPECT_EQ(failing(set), (std::vector<CheckId>{CheckId::DevicePort}));
}

TEST(NetworkPage, FocusAfterRedraw) {
  NetworkPageFields dhcp;
  dhcp.dhcp = true;
  NetworkPageFields fixed;
  fixed.dhcp = false;
  EXPECT_EQ(NetworkFocusAfterRedraw(FieldId::E_LAN_Mask, dhcp), FieldId::RB_LAN_DHCP);
  EXPECT_EQ(NetworkFocusAfterRedraw(FieldId::E_LAN_IP, dhcp), FieldId::RB_LAN_DHCP);
  EXPECT_EQ(NetworkFocusAfterRedraw(FieldId::E_LAN_Port, dhcp), FieldId::E_LAN_Port);
  EXPECT_EQ(NetworkFocusAfterRedraw(FieldId::E_LAN_Mask, fixed), FieldId::E_LAN_Mask);
}

TEST(ProtocolPage, RedrawShowsDigitsAndSpinPositions) {
  struct Case {
    const char* ident;
    const char* shown;
  } idents[] = {
      {"0123456789AB", "0123-4567-89AB"},
      {"", "0000-0000-0000"},
      {"12G", "1200-0000-0000"},
      {"abcdef", "abcd-ef00-0000"},
      {"0123456789ABCDEF", "0123-4567-89AB"},
      {"Ж12", "0120-0000-0000"},
  };
  for (const auto& c : idents) {
    T_DEVICE_CommandMX3 set;
    set.IdentCommands[0].SetText(1, c.ident);
    ProtocolPageFields f;
    RedrawProtocolPage(set, f);
    EXPECT_EQ(f.ident, c.shown) << c.ident;
  }
  T_DEVICE_CommandMX3 set;
  set.IdentCommands[1].SetText(1, "3C5A3C5A3C5A3C5A");
  set.IdentCommands[2].SetText(1, "12");
  set.DutyCommand.SetValue(1, 0);
  set.DutyCommand.SetValue(2, 1000);
  set.AnswerCommand.SetValue(1, 100);
  set.AnswerCommand.SetValue(2, 100);
  ProtocolPageFields f;
  RedrawProtocolPage(set, f);
  EXPECT_EQ(f.key[0], "3C-5A-3C-5A-3C-5A-3C-5A");
  EXPECT_EQ(f.key[1], "12-00-00-00-00-00-00-00");
  EXPECT_EQ(f.key[2], "00-00-00-00-00-00-00-00");
  EXPECT_EQ(f.duty1, "1");
  EXPECT_EQ(f.duty2, "900");
  EXPECT_EQ(f.answer, "60");
  EXPECT_EQ(f.no_answer, "99");
}

TEST(ProtocolPage, UnloadTakesDisplayTexts) {
  ProtocolPageFields f;
  f.ident = "0G23-4567-89AB";
  f.key = {"3C-5A-3C-5A-3C-5A-3C-5A", "AB-CD-EF-01-23-45-67-89", "", "ZZ-00-00-00-00-00-00-00"};
  f.duty1 = "3";
  f.duty2 = "";
  f.answer = "07";
  f.no_answer = "99";
  T_DEVICE_CommandMX3 set;
  UnloadProtocolPage(f, set);
  EXPECT_EQ(set.Identifier(), "023456789AB");  // shorter than 12: the letter is lost
  EXPECT_EQ(set.KeyPart(1), "3C5A3C5A3C5A3C5A");
  EXPECT_EQ(set.KeyPart(2), "ABCDEF0123456789");
  EXPECT_EQ(set.KeyPart(3), std::string(23, '0'));
  EXPECT_EQ(set.KeyPart(4), std::string(14, '0'));
  EXPECT_EQ(set.DutyCommand.Value1(), 3);
  EXPECT_EQ(set.DutyCommand.Value2(), 0);
  EXPECT_EQ(set.AnswerCommand.Value1(), 7);
  EXPECT_EQ(set.AnswerCommand.Value2(), 99);

  // The next redraw pads the short identifier on the right.
  ProtocolPageFields again;
  RedrawProtocolPage(set, again);
  EXPECT_EQ(again.ident, "0234-5678-9AB0");
}

TEST(ProtocolPage, LimitOf100ShowsAndSaves99) {
  T_DEVICE_CommandMX3 set;
  LoadText("gt-05.100\r\n", set);
  EXPECT_EQ(set.AnswerCommand.Value2(), 100);
  MainWindowFields f;
  RedrawAll(set, f);
  EXPECT_EQ(f.protocol.no_answer, "99");
  UnloadAll(f, set);
  EXPECT_EQ(PaddedLine("gt-05.99"), WriteLines(set)[14]);
}

TEST(ProtocolPage, ShortDutyFailsOnSaveAndTakesItsDefault) {
  for (int type : {1, 2}) {
    T_DEVICE_CommandMX3 set;
    MainWindowFields f;
    RedrawAll(set, f);
    (type == 1 ? f.protocol.duty1 : f.protocol.duty2) = "4";  // the spin goes down to 1
    UnloadAll(f, set);
    ScriptedWindow window{{ErrorAnswer::SetDefault}, {}, {}};
    const auto out = run_validation_dialogue(set, window.ask(), window.redraw());
    EXPECT_TRUE(out.passed);
    EXPECT_EQ(window.asked, (std::vector<CheckId>{type == 1 ? CheckId::Duty1 : CheckId::Duty2}));
    EXPECT_EQ(type == 1 ? set.DutyCommand.Value1() : set.DutyCommand.Value2(),
              type == 1 ? 15 : 30);
  }
}

TEST(ProtocolPage, ReformatOnLeavingAField) {
  struct Case {
    const char* text;
    const char* ident;
    const char* key;
  } cases[] = {
      {"0123-4567-89AB", "0123-4567-89AB", "01-23-45-67-89-AB-00-00"},
      {"0123-45", "0123-4500-0000", "01-23-45-00-00-00-00-00"},
      {" 1 2", "0102-0000-0000", "01-02-00-00-00-00-00-00"},
      {"", "0000-0000-0000", "00-00-00-00-00-00-00-00"},
      {"GHIJ-KLMN-OPQR-STU", "GHIJ-KLMN-OPQR", "GH-IJ-KL-MN-OP-QR-ST-U0"},
      {"--ab--", "ab00-0000-0000", "ab-00-00-00-00-00-00-00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReformatIdentField(c.text), c.ident) << c.text;
    EXPECT_EQ(ReformatKeyField(c.text), c.key) << c.text;
  }
}

TEST(ProtocolPage, ButtonsFillTheFields) {
  ProtocolPageFields f;
  TRandomSource random(12345);
  GenerateIdentField(f, random);
  EXPECT_EQ(f.ident, "6418-A571-0EF5");

  auto ones = [](std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(0x11 * (i / 8 + 1));
  };
  GenerateKeyFields(f, random, ones);
  EXPECT_EQ(f.key[0], "11-11-11-11-11-11-11-11");
  EXPECT_EQ(f.key[3], "44-44-44-44-44-44-44-44");
  // The key took its 64 draws from the generator: the next identifier is draws 77..88.
  ProtocolPageFields next;
  GenerateIdentField(next, random);
  EXPECT_EQ(next.ident, "68C5-B018-3738");

  ClearKeyFields(f);
  for (const auto& k : f.key) EXPECT_EQ(k, "3C-5A-3C-5A-3C-5A-3C-5A");
  T_DEVICE_CommandMX3 set;
  UnloadProtocolPage(f, set);
  EXPECT_EQ(set.Identifier(), "6418A5710EF5");
  for (int part = 1; part <= 4; ++part) EXPECT_EQ(set.KeyPart(part), "3C5A3C5A3C5A3C5A");
}

TEST(ProtocolPage, NumbersOfDigitFields) {
  EXPECT_EQ(FieldNumber(""), 0);
  EXPECT_EQ(FieldNumber("0"), 0);
  EXPECT_EQ(FieldNumber("00900"), 900);
  EXPECT_EQ(FieldNumber("12x"), 12);
  EXPECT_EQ(FieldNumber("x12"), 0);
  EXPECT_EQ(FieldNumber("99999999999999"), 99999999);
  EXPECT_EQ(SpinPosition(0, kNoAnswerSpin), 1);
  EXPECT_EQ(SpinPosition(100, kNoAnswerSpin), 99);
  EXPECT_EQ(SpinPosition(4, kAnswerSpin), 5);
  EXPECT_EQ(SpinPosition(901, kDutySpin), 900);
}

}  // namespace
}  // namespace kl40
