// The fields and pages of the main window, by the names its controls bear.
#pragma once

#include <string_view>

namespace kl40 {

enum class Page {
  Tab_LAN,  // "Параметры сети"
  Tab_MX3,  // "Параметры протокола MX3"
};

enum class FieldId {
  RB_LAN_DHCP,
  RB_LAN_StaticIP,
  E_LAN_IP,
  E_LAN_Mask,
  E_LAN_GateWay,
  E_LAN_Port,
  E_MX3_Server1,
  E_MX3_Server2,
  E_MX3_Server3,
  E_MX3_Port1,
  E_MX3_Port2,
  E_MX3_Port3,
  E_MX3_Ident,
  E_MX3_Key_1,
  E_MX3_Key_2,
  E_MX3_Key_3,
  E_MX3_Key_4,
  E_MX3_Duty1,
  E_MX3_Duty2,
  E_MX3_Answer,
  E_MX3_NoAnswer,
};

// The control name of FIELD ("E_LAN_IP", ...), usable as a widget's object name.
std::string_view field_name(FieldId field);

// The page FIELD lies on.
Page page_of(FieldId field);

// The page caption as the window shows it.
std::string_view page_caption(Page page);

}  // namespace kl40
