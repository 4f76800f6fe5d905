#include "configurator/config/command.h"

#include <utility>

namespace kl40 {
namespace {

const std::string kEmpty;

bool out_of_range(std::int32_t v, std::int32_t min, std::int32_t max) { return v < min || v > max; }

}  // namespace

TCommandMX3::TCommandMX3(std::uint8_t kind, std::int32_t index) : kind_(kind), index_(index) {
  Reset();
}

std::int32_t TCommandMX3::Value(int position) const {
  switch (position) {
    case 0: return index_;
    case 1: return value1_;
    case 2: return value2_;
    default: return 0;
  }
}

void TCommandMX3::SetValue(int position, std::int32_t value) {
  switch (position) {
    case 0: index_ = value; break;
    case 1: value1_ = value; break;
    case 2: value2_ = value; break;
    default: break;
  }
}

const std::string& TCommandMX3::Text(int position) const {
  switch (position) {
    case 1: return text1_;
    case 2: return text2_;
    default: return kEmpty;
  }
}

void TCommandMX3::SetText(int position, std::string text) {
  if (position == 1) text1_ = std::move(text);
  else if (position == 2) text2_ = std::move(text);
}

void TCommandMX3::Reset() {
  const TKeywordRow& row = keyword_row(kind_);
  value1_ = row.def1;
  value2_ = row.def2;
  text1_.clear();
  text2_.clear();
}

void TCommandMX3::Assign(const TCommandMX3& other) {
  if (this == &other) return;
  kind_ = other.kind_;
  index_ = other.index_;
  value1_ = other.value1_;
  value2_ = other.value2_;
  text1_ = other.text1_;
  text2_ = other.text2_;
}

void TCommandMX3::EnforceRange() {
  const TKeywordRow& row = keyword_row(kind_);
  if (row.type1 == kValueNumber && row.min1 >= 0 && out_of_range(value1_, row.min1, row.max1))
    value1_ = row.def1;
  if (row.type2 == kValueNumber && row.min2 >= 0 && out_of_range(value2_, row.min2, row.max2))
    value2_ = row.def2;
}

T_DEVICE_CommandMX3::T_DEVICE_CommandMX3() {
  NetCommands[0] = TCommandMX3(kKindVersion, 0);
  for (int slot = 1; slot <= 6; ++slot) NetCommands[slot] = TCommandMX3(kKindIp, slot);
  IdentCommands[0] = TCommandMX3(kKindIdent, 0);
  for (int part = 1; part <= 4; ++part) IdentCommands[part] = TCommandMX3(kKindKey, part);
  Reset();
}

void T_DEVICE_CommandMX3::Reset() {
  for (auto& c : NetCommands) c.Reset();
  DutyCommand.Reset();
  AnswerCommand.Reset();
  for (auto& c : IdentCommands) c.Reset();
  NetCommands[0].SetText(1, std::string(kDefaultVersion));
}

void T_DEVICE_CommandMX3::Assign(const T_DEVICE_CommandMX3& other) {
  if (this == &other) return;
  for (std::size_t i = 0; i < NetCommands.size(); ++i) NetCommands[i].Assign(other.NetCommands[i]);
  DutyCommand.Assign(other.DutyCommand);
  AnswerCommand.Assign(other.AnswerCommand);
  for (std::size_t i = 0; i < IdentCommands.size(); ++i)
    IdentCommands[i].Assign(other.IdentCommands[i]);
}

TCommandMX3* T_DEVICE_CommandMX3::Slot(std::uint8_t kind, std::int32_t index) {
  return const_cast<TCommandMX3*>(std::as_const(*this).Slot(kind, index));
}

const TCommandMX3* T_DEVICE_CommandMX3::Slot(std::uint8_t kind, std::int32_t index) const {
  switch (kind) {
    case kKindVersion: return index == 0 ? &NetCommands[0] : nullptr;
    case kKindIp: return index >= 0 && index <= 6 ? &NetCommands[index] : nullptr;
    case kKindDuty: return index == 0 ? &DutyCommand : nullptr;
    case kKindAnswer: return index == 0 ? &AnswerCommand : nullptr;
    case kKindIdent: return index == 0 ? &IdentCommands[0] : nullptr;
    case kKindKey: return index >= 0 && index <= 4 ? &IdentCommands[index] : nullptr;
    default: return nullptr;
  }
}

}  // namespace kl40
