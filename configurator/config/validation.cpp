#include "configurator/config/validation.h"

#include <array>

#include "configurator/config/keywords.h"
#include "configurator/config/text_rules.h"

namespace kl40 {
namespace {

constexpr std::string_view kIpText = "Элементы IP-адреса должны находится в диапазоне 0..255";
constexpr std::string_view kMaskText = "Элементы маски сети должны находится в диапазоне 0..255";
constexpr std::string_view kServerTitle = "Недопустимый IP-адрес сервера для приема сообщений.";
constexpr std::string_view kPortText = "Порт не может принимать нулевое значение и быть больше 65335";
constexpr std::int32_t kMaxPort = 65335;

// The four groups of an address text, or nothing when it is not four groups of three digits.
// An empty text is the all-zero address.
std::optional<std::array<int, 4>> address_groups(const std::string& text) {
  const std::string addr = text.empty() ? std::string(kZeroAddress) : normalise(text, '.', '0', 3);
  if (addr.size() != 15) return std::nullopt;
  std::array<int, 4> groups{};
  for (int g = 0; g < 4; ++g) {
    int value = 0;
    for (int i = 0; i < 3; ++i) {
      const char c = addr[g * 4 + i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (g < 3 && addr[g * 4 + 3] != '.') return std::nullopt;
    groups[g] = value;
  }
  return groups;
}

bool address_valid(const std::string& text) {
  const auto groups = address_groups(text);
  if (!groups) return false;
  for (int v : *groups)
    if (v > 255) return false;
  return true;
}

// A server is in use when its address is not all zero (a malformed address counts as in use).
bool server_in_use(const std::string& text) {
  const auto groups = address_groups(text);
  if (!groups) return true;
  return (*groups)[0] + (*groups)[1] + (*groups)[2] + (*groups)[3] > 0;
}

bool port_valid(std::int32_t port) { return port > 0 && port <= kMaxPort; }

std::string range_text(std::string_view lead, std::int32_t min, std::int32_t max,
                       std::string_view unit) {
  return std::string(lead) + std::to_string(min) + ".." + std::to_string(max) + std::string(unit);
}

CheckFailure failure(CheckId check, FieldId field, std::string_view title, std::string text,
                     bool default_offered) {
  return CheckFailure{check, field, page_of(field), std::string(title), std::move(text),
                      default_offered};
}

int server_of(CheckId first, CheckId check) {
  return static_cast<int>(check) - static_cast<int>(first);
}

constexpr std::array<FieldId, 3> kServerFields = {FieldId::E_MX3_Server1, FieldId::E_MX3_Server2,
                                                  FieldId::E_MX3_Server3};
constexpr std::array<FieldId, 3> kServerPortFields = {FieldId::E_MX3_Port1, FieldId::E_MX3_Port2,
                                                      FieldId::E_MX3_Port3};

}  // namespace

const std::vector<CheckId>& all_checks() {
  static const std::vector<CheckId> checks = {
      CheckId::DeviceAddress, CheckId::GatewayAddress, CheckId::MaskAddress,
      CheckId::Server1Address, CheckId::Server2Address, CheckId::Server3Address,
      CheckId::DevicePort, CheckId::Server1Port, CheckId::Server2Port, CheckId::Server3Port,
      CheckId::Duty1, CheckId::Duty2, CheckId::AnswerWait, CheckId::NoAnswer};
  return checks;
}

bool is_network_check(CheckId check) {
  return static_cast<int>(check) <= static_cast<int>(CheckId::Server3Port);
}

std::optional<CheckFailure> run_check(const T_DEVICE_CommandMX3& set, CheckId check) {
  const TKeywordRow& duty = keyword_row(kKindDuty);
  const TKeywordRow& answer = keyword_row(kKindAnswer);
  switch (check) {
    case CheckId::DeviceAddress:
      if (address_valid(set.Address(kSlotDevice))) return std::nullopt;
      return failure(check, FieldId::E_LAN_IP, "Недопустимый IP-адрес устройства.",
                     std::string(kIpText), false);
    case CheckId::GatewayAddress:
      if (address_valid(set.Address(kSlotGateway))) return std::nullopt;
      return failure(check, FieldId::E_LAN_GateWay, "Недопустимый IP-адрес шлюза.",
                     std::string(kIpText), false);
    case CheckId::MaskAddress:
      if (address_valid(set.Address(kSlotMask))) return std::nullopt;
      return failure(check, FieldId::E_LAN_Mask, "Недопустимая маска устройства.",
                     std::string(kMaskText), false);
    case CheckId::Server1Address:
    case CheckId::Server2Address:
    case CheckId::Server3Address: {
      const int s = server_of(CheckId::Server1Address, check);
      if (address_valid(set.Address(kSlotServer1 + s))) return std::nullopt;
      return failure(check, kServerFields[s], kServerTitle, std::string(kIpText), false);
    }
    case CheckId::DevicePort:
      if (port_valid(set.Port(kSlotDevice))) return std::nullopt;
      return failure(check, FieldId::E_LAN_Port,
                     "Недопустимый номер порта прибора для отправки сообщений.",
                     std::string(kPortText), true);
    case CheckId::Server1Port:
    case CheckId::Server2Port:
    case CheckId::Server3Port: {
      const int s = server_of(CheckId::Server1Port, check);
      if (!server_in_use(set.Address(kSlotServer1 + s)) || port_valid(set.Port(kSlotServer1 + s)))
        return std::nullopt;
      return failure(check, kServerPortFields[s],
                     "Недопустимый номер порта сервера для приема сообщений.",
                     std::string(kPortText), true);
    }
    case CheckId::Duty1: {
      const std::int32_t v = set.DutyCommand.Value1();
      if (v >= duty.min1 && v <= duty.max1) return std::nullopt;
      return failure(check, FieldId::E_MX3_Duty1,
                     "Недопустимая величина периода отправки сообщений дежурного режим первого "
                     "типа (без подтверждения пульта).",
                     range_text("Период отправки сообщений может быть задан в диапазоне ",
                                duty.min1, duty.max1, " секунд"),
                     true);
    }
    case CheckId::Duty2: {
      const std::int32_t v = set.DutyCommand.Value2();
      if (v >= duty.min2 && v <= duty.max2) return std::nullopt;
      return failure(check, FieldId::E_MX3_Duty2,
                     "Недопустимая величина периода отправки сообщений дежурного режим второго "
                     "типа (с подтверждением от пульта).",
                     range_text("Период отправки сообщений может быть задан в диапазоне ",
                                duty.min2, duty.max2, " секунд"),
                     true);
    }
    case CheckId::AnswerWait: {
      const std::int32_t v = set.AnswerCommand.Value1();
      if (v >= answer.min1 && v <= answer.max1) return std::nullopt;
      return failure(check, FieldId::E_MX3_Answer,
                     "Недопустимая величина времени ожидания ответа на переданное сообщение.",
                     range_text("Время ожидания может быть задано в диапазоне ", answer.min1,
                                answer.max1, " секунд"),
                     true);
    }
    case CheckId::NoAnswer: {
      const std::int32_t v = set.AnswerCommand.Value2();
      if (v >= answer.min2 && v <= answer.max2) return std::nullopt;
      return failure(check, FieldId::E_MX3_NoAnswer,
                     "Недопустимая величина числа неответов на переданное сообщение, после "
                     "которого происходит снижение темпа повторов сообщения.",
                     range_text("Допустимое число неответов может быть задано в диапазоне ",
                                answer.min2, answer.max2, ""),
                     true);
    }
  }
  return std::nullopt;
}

std::vector<CheckFailure> validate(const T_DEVICE_CommandMX3& set) {
  std::vector<CheckFailure> out;
  for (CheckId check : all_checks()) {
    if (auto f = run_check(set, check)) out.push_back(std::move(*f));
  }
  return out;
}

bool apply_default(T_DEVICE_CommandMX3& set, CheckId check) {
  const TKeywordRow& ip = keyword_row(kKindIp);
  const TKeywordRow& duty = keyword_row(kKindDuty);
  const TKeywordRow& answer = keyword_row(kKindAnswer);
  switch (check) {
    case CheckId::DevicePort: set.NetCommands[kSlotDevice].SetValue(2, ip.def2); return true;
    case CheckId::Server1Port:
    case CheckId::Server2Port:
    case CheckId::Server3Port:
      set.NetCommands[kSlotServer1 + server_of(CheckId::Server1Port, check)].SetValue(2, ip.def2);
      return true;
    case CheckId::Duty1: set.DutyCommand.SetValue(1, duty.def1); return true;
    case CheckId::Duty2: set.DutyCommand.SetValue(2, duty.def2); return true;
    case CheckId::AnswerWait: set.AnswerCommand.SetValue(1, answer.def1); return true;
    case CheckId::NoAnswer: set.AnswerCommand.SetValue(2, answer.def2); return true;
    default: return false;
  }
}

DialogueOutcome run_validation_dialogue(T_DEVICE_CommandMX3& set, const AskFn& ask,
                                        const RedrawFn& redraw) {
  DialogueOutcome outcome;
  for (CheckId check : all_checks()) {
    auto f = run_check(set, check);
    if (!f) continue;
    const ErrorAnswer answer = ask ? ask(*f) : ErrorAnswer::Closed;
    if (answer == ErrorAnswer::SetDefault && f->default_offered) {
      apply_default(set, check);
      if (redraw) redraw(f->page);
      continue;
    }
    if (answer == ErrorAnswer::Correct) outcome.focus = f->field;
    outcome.failed = std::move(f);
    return outcome;
  }
  outcome.passed = true;
  return outcome;
}

}  // namespace kl40
