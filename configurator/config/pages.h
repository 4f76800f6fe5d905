// Page rules of the main window as plain functions over a parameter set and the texts of the
// window's fields. The window binds its controls to these structs and calls the functions; a
// test drives them without a display.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "configurator/config/command.h"
#include "configurator/config/fields.h"
#include "configurator/config/random.h"

namespace kl40 {

// The fields of the network page ("Параметры сети"). Address texts are the masked fields'
// "999.999.999.999" texts; an unfilled position (a space or "_") reads as "0".
struct NetworkPageFields {
  std::string ip;       // E_LAN_IP (slot 1)
  std::string gateway;  // E_LAN_GateWay (slot 2)
  std::string mask;     // E_LAN_Mask (slot 3)
  std::string port;     // E_LAN_Port, decimal digits
  std::array<std::string, 3> server;       // E_MX3_Server1..3 (slots 4..6)
  std::array<std::string, 3> server_port;  // E_MX3_Port1..3, decimal digits
  bool dhcp = true;  // RB_LAN_DHCP chosen; otherwise RB_LAN_StaticIP
  // E_LAN_IP, E_LAN_Mask, E_LAN_GateWay and their labels are enabled (false while DHCP is chosen).
  bool static_enabled = false;

  bool operator==(const NetworkPageFields&) const = default;
};

// The address field of SLOT 1..6.
std::string& address_field(NetworkPageFields& fields, int slot);
const std::string& address_field(const NetworkPageFields& fields, int slot);

// What a masked "999.999.999.999" field holds when TEXT is put into it: position by position a
// digit stays, any other character and every position beyond the text is "0", the "." stand at
// positions 4, 8 and 12, and whatever lies beyond the 15th position is cut off.
std::string masked_address(std::string_view text);

// An address field's text as an address: unfilled positions as "0", normalise(".", "0", 3).
std::string address_from_field(std::string_view text);

// Redraw of the network page (set -> fields). Addresses are normalised into their fields as the
// masked fields hold them (an empty one shows "000.000.000.000"); a port of 0 of slots 1, 4, 5,
// 6 is first replaced in SET by 10001; DHCP is chosen exactly when device address, gateway and
// mask are all zero, and the chosen handler runs.
void RedrawNetworkPage(T_DEVICE_CommandMX3& set, NetworkPageFields& fields);

// Unload of the network page (fields -> set): every address field normalised into its slot; the
// ports of slots 1, 4, 5, 6 from their fields (0 when empty); slots 2 and 3 get port 0.
void UnloadNetworkPage(const NetworkPageFields& fields, T_DEVICE_CommandMX3& set);

// DHCP chosen: for device address, gateway and mask, in that order, the field's text is
// normalised and stored in SET, then the field shows "000.000.000.000"; the three are disabled.
void ChooseDhcp(T_DEVICE_CommandMX3& set, NetworkPageFields& fields);

// Static chosen: the three fields show SET's normalised addresses (as the masked fields hold
// them) and are enabled.
void ChooseStatic(const T_DEVICE_CommandMX3& set, NetworkPageFields& fields);

// Where the focus goes after a redraw of the shown network page: the remembered field, or the
// DHCP choice when DHCP is chosen and the remembered field is one of the disabled three.
FieldId NetworkFocusAfterRedraw(FieldId remembered, const NetworkPageFields& fields);

// Ranges of the protocol page's spin controls.
struct SpinRange {
  std::int32_t min, max;
};
inline constexpr SpinRange kDutySpin{1, 900};
inline constexpr SpinRange kAnswerSpin{5, 60};
inline constexpr SpinRange kNoAnswerSpin{1, 99};

// VALUE limited to RANGE, as a spin control takes it.
std::int32_t SpinPosition(std::int32_t value, SpinRange range);

// The fields of the protocol page ("Параметры протокола MX3").
struct ProtocolPageFields {
  std::string ident;               // E_MX3_Ident, "XXXX-XXXX-XXXX"
  std::array<std::string, 4> key;  // E_MX3_Key_1..4, "XX-XX-XX-XX-XX-XX-XX-XX"
  std::string duty1;               // E_MX3_Duty1, decimal digits
  std::string duty2;               // E_MX3_Duty2
  std::string answer;              // E_MX3_Answer
  std::string no_answer;           // E_MX3_NoAnswer

  bool operator==(const ProtocolPageFields&) const = default;
};

// Redraw of the protocol page: the identifier in 12 positions and each key part in 16 (a
// hexadecimal digit as is, anything else or a missing position "0"), grouped 4-4-4 and in pairs;
// each number set into its spin (duty 1..900, wait 5..60, unanswered 1..99) and shown as the
// spin's position.
void RedrawProtocolPage(const T_DEVICE_CommandMX3& set, ProtocolPageFields& fields);

// Unload of the protocol page: the identifier and key parts through the from-display-text rules;
// the numbers as decimal values, 0 when a field is empty.
void UnloadProtocolPage(const ProtocolPageFields& fields, T_DEVICE_CommandMX3& set);

// Re-format on leaving the identifier field: the text without "-", 12 positions (a blank or
// missing character "0"), regrouped 4-4-4.
std::string ReformatIdentField(std::string_view text);

// Re-format on leaving a key field: the same over 16 positions, in pairs.
std::string ReformatKeyField(std::string_view text);

// "Генерация": a new identifier from RANDOM into the identifier field, grouped 4-4-4.
void GenerateIdentField(ProtocolPageFields& fields, TRandomSource& random);
// "Генерация ключа": four new key parts (see generate_key_parts) into the key fields, in pairs;
// RANDOM steps the 64 draws of a key (see step_for_key). Without RANDOM the program's generator
// steps.
void GenerateKeyFields(ProtocolPageFields& fields, TRandomSource& random,
                       const RandomBytes& bytes = {});
void GenerateKeyFields(ProtocolPageFields& fields, const RandomBytes& bytes = {});
// "Очистка ключа": the default key part into all four key fields, in pairs.
void ClearKeyFields(ProtocolPageFields& fields);

// Decimal value of a digit field: 0 when empty; only leading digits count, capped at 99999999.
std::int32_t FieldNumber(std::string_view text);

// Both pages.
struct MainWindowFields {
  NetworkPageFields network;
  ProtocolPageFields protocol;
};
// Redraw all: network page, then protocol page.
void RedrawAll(T_DEVICE_CommandMX3& set, MainWindowFields& fields);
// Unload all: network page, then protocol page.
void UnloadAll(const MainWindowFields& fields, T_DEVICE_CommandMX3& set);

}  // namespace kl40
