// Validation of a parameter set, and the validation dialogue of the main window as a plain driver
// that a window or a test answers.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "configurator/config/command.h"
#include "configurator/config/fields.h"

namespace kl40 {

// The checks, in the order they run. Address checks (group 1) offer no default; all others do.
enum class CheckId {
  DeviceAddress,   // slot 1, E_LAN_IP
  GatewayAddress,  // slot 2, E_LAN_GateWay
  MaskAddress,     // slot 3, E_LAN_Mask
  Server1Address,  // slots 4..6, E_MX3_Server1..3
  Server2Address,
  Server3Address,
  DevicePort,      // slot 1 port, E_LAN_Port, always checked
  Server1Port,     // slots 4..6 ports, checked only when the server's address is not all zero
  Server2Port,
  Server3Port,
  Duty1,           // "gd" value 1, E_MX3_Duty1
  Duty2,           // "gd" value 2, E_MX3_Duty2
  AnswerWait,      // "gt" value 1, E_MX3_Answer
  NoAnswer,        // "gt" value 2, E_MX3_NoAnswer
};

// Every check in running order; the network checks come first (through Server3Port).
const std::vector<CheckId>& all_checks();

// True for the checks of the network page (addresses and ports).
bool is_network_check(CheckId check);

// One failing check.
struct CheckFailure {
  CheckId check;
  FieldId field;         // the field the check concerns
  Page page;             // the page of that field
  std::string title;     // the error window's message (UTF-8)
  std::string text;      // the error window's recommendation (UTF-8)
  bool default_offered;  // "Установить \"по-умолчанию\"" is offered

  bool operator==(const CheckFailure&) const = default;
};

// Runs one check on SET; nothing when it passes.
std::optional<CheckFailure> run_check(const T_DEVICE_CommandMX3& set, CheckId check);

// Every failing check of SET in running order (each judged on SET as it is, no defaults applied).
std::vector<CheckFailure> validate(const T_DEVICE_CommandMX3& set);

// Sets the value CHECK concerns to its table default: a port to 10001, the duty periods to 15 and
// 30, the wait time to 5, the unanswered limit to 2. Address checks have no default; false then.
bool apply_default(T_DEVICE_CommandMX3& set, CheckId check);

// Answers of the error window to a failing check.
enum class ErrorAnswer {
  SetDefault = 1,  // "Установить \"по-умолчанию\""
  Closed = 2,      // the window was closed by its frame
  Correct = 4,     // "Исправить"
};

// How a dialogue ended.
struct DialogueOutcome {
  bool passed = false;                 // every check passed or was set to its default
  std::optional<CheckFailure> failed;  // the check the dialogue stopped at
  std::optional<FieldId> focus;        // with "Исправить": the field to switch to and focus
};

// The validation dialogue. Runs the checks in order on SET; for each failing check it calls ASK.
// SetDefault (only when the check offers a default) applies the default, calls REDRAW (when
// given) with the page of the field, and goes on with the next check. Correct stops, naming the
// field to focus. Closed, or SetDefault where no default is offered, stops without a focus.
using AskFn = std::function<ErrorAnswer(const CheckFailure&)>;
using RedrawFn = std::function<void(Page)>;
DialogueOutcome run_validation_dialogue(T_DEVICE_CommandMX3& set, const AskFn& ask,
                                        const RedrawFn& redraw = {});

}  // namespace kl40
