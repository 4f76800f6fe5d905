#include "configurator/config/pages.h"

#include <algorithm>

#include "configurator/config/text_rules.h"
#include "configurator/config/utf8_chars.h"

namespace kl40 {
namespace {

constexpr int kPortSlots[] = {kSlotDevice, kSlotServer1, kSlotServer2, kSlotServer3};

// Address text as drawn: an empty address is all zero, the rest is normalised and shown as the
// masked field holds it.
std::string drawn_address(const std::string& text) {
  const std::string_view address = text.empty() ? kZeroAddress : std::string_view(text);
  return masked_address(normalise(address, '.', '0', 3));
}

std::string& port_field(NetworkPageFields& f, int slot) {
  return slot == kSlotDevice ? f.port : f.server_port.at(slot - kSlotServer1);
}
const std::string& port_field(const NetworkPageFields& f, int slot) {
  return slot == kSlotDevice ? f.port : f.server_port.at(slot - kSlotServer1);
}

// POSITIONS characters of TEXT, each a hexadecimal digit or "0", with "-" after every N-th
// position except the last.
std::string drawn_hex(std::string_view text, std::size_t positions, std::size_t n) {
  const auto cs = utf8::chars(text);
  std::string out;
  for (std::size_t i = 0; i < positions; ++i) {
    const bool hex = i < cs.size() && cs[i].size() == 1 && is_hex_digit(cs[i][0]);
    out += hex ? cs[i][0] : '0';
    if ((i + 1) % n == 0 && i + 1 < positions) out += '-';
  }
  return out;
}

// The field text without "-", POSITIONS characters (blank or missing ones "0"), regrouped.
std::string reformat(std::string_view text, std::size_t positions, std::size_t n) {
  std::vector<std::string_view> cs;
  for (auto c : utf8::chars(text))
    if (c != "-") cs.push_back(c);
  std::string out;
  for (std::size_t i = 0; i < positions; ++i) {
    if (i >= cs.size() || cs[i] == " ") out += '0';
    else out += cs[i];
    if ((i + 1) % n == 0 && i + 1 < positions) out += '-';
  }
  return out;
}

}  // namespace

std::string& address_field(NetworkPageFields& f, int slot) {
  switch (slot) {
    case kSlotDevice: return f.ip;
    case kSlotGateway: return f.gateway;
    case kSlotMask: return f.mask;
    default: return f.server.at(slot - kSlotServer1);
  }
}

const std::string& address_field(const NetworkPageFields& f, int slot) {
  return address_field(const_cast<NetworkPageFields&>(f), slot);
}

std::string masked_address(std::string_view text) {
  std::string out(kZeroAddress);
  const auto cs = utf8::chars(text);
  for (std::size_t i = 0; i < out.size() && i < cs.size(); ++i) {
    if (out[i] == '.') continue;
    if (cs[i].size() == 1 && cs[i][0] >= '0' && cs[i][0] <= '9') out[i] = cs[i][0];
  }
  return out;
}

std::string address_from_field(std::string_view text) {
  std::string t(text);
  std::replace(t.begin(), t.end(), ' ', '0');
  std::replace(t.begin(), t.end(), '_', '0');
  return normalise(t, '.', '0', 3);
}

void RedrawNetworkPage(T_DEVICE_CommandMX3& set, NetworkPageFields& fields) {
  for (int slot = kSlotDevice; slot <= kSlotServer3; ++slot)
    address_field(fields, slot) = drawn_address(set.Address(slot));
  for (int slot : kPortSlots) {
    TCommandMX3& cmd = set.NetCommands[slot];
    if (cmd.Value2() == 0) cmd.SetValue(2, kDefaultPort);
    port_field(fields, slot) = std::to_string(cmd.Value2());
  }
  const bool dhcp = fields.ip == kZeroAddress && fields.gateway == kZeroAddress &&
                    fields.mask == kZeroAddress;
  if (dhcp) ChooseDhcp(set, fields);
  else ChooseStatic(set, fields);
}

void UnloadNetworkPage(const NetworkPageFields& fields, T_DEVICE_CommandMX3& set) {
  for (int slot = kSlotDevice; slot <= kSlotServer3; ++slot)
    set.NetCommands[slot].SetText(1, address_from_field(address_field(fields, slot)));
  for (int slot : kPortSlots) set.NetCommands[slot].SetValue(2, FieldNumber(port_field(fields, slot)));
  set.NetCommands[kSlotGateway].SetValue(2, 0);
  set.NetCommands[kSlotMask].SetValue(2, 0);
}

void ChooseDhcp(T_DEVICE_CommandMX3& set, NetworkPageFields& fields) {
  for (int slot : {kSlotDevice, kSlotGateway, kSlotMask}) {
    std::string& field = address_field(fields, slot);
    set.NetCommands[slot].SetText(1, address_from_field(field));
    field = std::string(kZeroAddress);
  }
  fields.dhcp = true;
  fields.static_enabled = false;
}

void ChooseStatic(const T_DEVICE_CommandMX3& set, NetworkPageFields& fields) {
  for (int slot : {kSlotDevice, kSlotGateway, kSlotMask})
    address_field(fields, slot) = drawn_address(set.Address(slot));
  fields.dhcp = false;
  fields.static_enabled = true;
}

FieldId NetworkFocusAfterRedraw(FieldId remembered, const NetworkPageFields& fields) {
  const bool disabled = remembered == FieldId::E_LAN_IP || remembered == FieldId::E_LAN_Mask ||
                        remembered == FieldId::E_LAN_GateWay;
  if (fields.dhcp && disabled) return FieldId::RB_LAN_DHCP;
  return remembered;
}

std::int32_t SpinPosition(std::int32_t value, SpinRange range) {
  return std::clamp(value, range.min, range.max);
}

void RedrawProtocolPage(const T_DEVICE_CommandMX3& set, ProtocolPageFields& fields) {
  fields.ident = drawn_hex(set.Identifier(), 12, 4);
  for (int part = 1; part <= 4; ++part) fields.key[part - 1] = drawn_hex(set.KeyPart(part), 16, 2);
  fields.duty1 = std::to_string(SpinPosition(set.DutyCommand.Value1(), kDutySpin));
  fields.duty2 = std::to_string(SpinPosition(set.DutyCommand.Value2(), kDutySpin));
  fields.answer = std::to_string(SpinPosition(set.AnswerCommand.Value1(), kAnswerSpin));
  fields.no_answer = std::to_string(SpinPosition(set.AnswerCommand.Value2(), kNoAnswerSpin));
}

void UnloadProtocolPage(const ProtocolPageFields& fields, T_DEVICE_CommandMX3& set) {
  set.IdentCommands[0].SetText(1, identifier_from_display(fields.ident));
  for (int part = 1; part <= 4; ++part)
    set.IdentCommands[part].SetText(1, key_part_from_display(fields.key[part - 1]));
  set.DutyCommand.SetValue(1, FieldNumber(fields.duty1));
  set.DutyCommand.SetValue(2, FieldNumber(fields.duty2));
  set.AnswerCommand.SetValue(1, FieldNumber(fields.answer));
  set.AnswerCommand.SetValue(2, FieldNumber(fields.no_answer));
}

std::string ReformatIdentField(std::string_view text) { return reformat(text, 12, 4); }

std::string ReformatKeyField(std::string_view text) { return reformat(text, 16, 2); }

void GenerateIdentField(ProtocolPageFields& fields, TRandomSource& random) {
  fields.ident = identifier_grouped(generate_identifier(random));
}

void GenerateKeyFields(ProtocolPageFields& fields, TRandomSource& random,
                       const RandomBytes& bytes) {
  const auto parts = generate_key_parts(bytes);
  step_for_key(random);
  for (int i = 0; i < 4; ++i) fields.key[i] = key_part_display(parts[i]);
}

void GenerateKeyFields(ProtocolPageFields& fields, const RandomBytes& bytes) {
  GenerateKeyFields(fields, program_random(), bytes);
}

void ClearKeyFields(ProtocolPageFields& fields) {
  for (auto& k : fields.key) k = key_part_display(kDefaultKeyPart);
}

std::int32_t FieldNumber(std::string_view text) {
  std::int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 99999999) return 99999999;
  }
  return value;
}

void RedrawAll(T_DEVICE_CommandMX3& set, MainWindowFields& fields) {
  RedrawNetworkPage(set, fields.network);
  RedrawProtocolPage(set, fields.protocol);
}

void UnloadAll(const MainWindowFields& fields, T_DEVICE_CommandMX3& set) {
  UnloadNetworkPage(fields.network, set);
  UnloadProtocolPage(fields.protocol, set);
}

}  // namespace kl40
