// One keyword command (TCommandMX3) and the parameter set of one device (T_DEVICE_CommandMX3).
//
// Texts are held in UTF-8; they become Windows-1251 only when a file is saved.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "configurator/config/keywords.h"

namespace kl40 {

// One keyword command: a kind (row of the keyword table), an index (the keyword's numeric
// suffix) and two numeric and two text values.
class TCommandMX3 {
 public:
  // A command of KIND with the table's defaults and empty texts.
  explicit TCommandMX3(std::uint8_t kind = kKindNone, std::int32_t index = 0);

  std::uint8_t Kind() const { return kind_; }
  void SetKind(std::uint8_t kind) { kind_ = kind; }
  std::int32_t Index() const { return index_; }
  void SetIndex(std::int32_t index) { index_ = index; }

  // Value by position: 0 is the index, 1 and 2 the values; any other position reads 0.
  std::int32_t Value(int position) const;
  // Sets a value by position (0 sets the index); any other position is ignored.
  void SetValue(int position, std::int32_t value);
  // Text by position 1 or 2; any other position reads the empty text.
  const std::string& Text(int position) const;
  // Sets a text by position 1 or 2; any other position is ignored.
  void SetText(int position, std::string text);

  std::int32_t Value1() const { return value1_; }
  std::int32_t Value2() const { return value2_; }
  const std::string& Text1() const { return text1_; }
  const std::string& Text2() const { return text2_; }

  // Values back to the defaults of the command's own kind, both texts emptied; kind and index stay.
  void Reset();
  // Copies kind, index, both values and both texts from OTHER.
  void Assign(const TCommandMX3& other);

  // Range enforcement of the keyword table: a numeric value outside its row's range (when the
  // row's minimum is not negative) becomes the row's default.
  void EnforceRange();

  bool operator==(const TCommandMX3&) const = default;

 private:
  std::uint8_t kind_ = kKindNone;
  std::int32_t index_ = 0;
  std::int32_t value1_ = 0;
  std::int32_t value2_ = 0;
  std::string text1_;
  std::string text2_;
};

// Slot numbers of NetCommands.
enum : int {
  kSlotVersion = 0,
  kSlotDevice = 1,   // "ip1": device address and outgoing port
  kSlotGateway = 2,  // "ip2"
  kSlotMask = 3,     // "ip3"
  kSlotServer1 = 4,  // "ip4".."ip6": receiving servers 1..3 with their ports
  kSlotServer2 = 5,
  kSlotServer3 = 6,
};

// The parameter set of one device: thirteen commands in four groups. The command objects are
// created once and never replaced, so references to them stay valid for the set's life.
class T_DEVICE_CommandMX3 {
 public:
  // Creates the thirteen commands and resets them (see Reset).
  T_DEVICE_CommandMX3();

  // [0] version (kind 1), [1..6] "ip1".."ip6" (kind 2).
  std::array<TCommandMX3, 7> NetCommands;
  // "gd": duty periods type 1 (Value1) and type 2 (Value2), seconds.
  TCommandMX3 DutyCommand{kKindDuty};
  // "gt": answer wait time (Value1, seconds) and unanswered limit (Value2).
  TCommandMX3 AnswerCommand{kKindAnswer};
  // [0] identifier "gi" (kind 5), [1..4] key parts "gk1".."gk4" (kind 6).
  std::array<TCommandMX3, 5> IdentCommands;

  // Every command reset from the table, then the version text set to kDefaultVersion.
  void Reset();
  // Command-by-command Assign of all thirteen, in slot order.
  void Assign(const T_DEVICE_CommandMX3& other);

  // Convenience accessors of the texts the rest of the program uses most.
  const std::string& Address(int slot) const { return NetCommands.at(slot).Text1(); }
  std::int32_t Port(int slot) const { return NetCommands.at(slot).Value2(); }
  const std::string& Identifier() const { return IdentCommands[0].Text1(); }
  // Key part 1..4.
  const std::string& KeyPart(int part) const { return IdentCommands.at(part).Text1(); }

  // The slot a reader takes a command of KIND and INDEX into, or nullptr when there is none
  // ("ip" 0..6, "gd", "gt", "gi", "gk" 0..4).
  TCommandMX3* Slot(std::uint8_t kind, std::int32_t index);
  const TCommandMX3* Slot(std::uint8_t kind, std::int32_t index) const;

  bool operator==(const T_DEVICE_CommandMX3&) const = default;
};

}  // namespace kl40
