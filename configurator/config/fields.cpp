#include "configurator/config/fields.h"

namespace kl40 {

std::string_view field_name(FieldId field) {
  switch (field) {
    case FieldId::RB_LAN_DHCP: return "RB_LAN_DHCP";
    case FieldId::RB_LAN_StaticIP: return "RB_LAN_StaticIP";
    case FieldId::E_LAN_IP: return "E_LAN_IP";
    case FieldId::E_LAN_Mask: return "E_LAN_Mask";
    case FieldId::E_LAN_GateWay: return "E_LAN_GateWay";
    case FieldId::E_LAN_Port: return "E_LAN_Port";
    case FieldId::E_MX3_Server1: return "E_MX3_Server1";
    case FieldId::E_MX3_Server2: return "E_MX3_Server2";
    case FieldId::E_MX3_Server3: return "E_MX3_Server3";
    case FieldId::E_MX3_Port1: return "E_MX3_Port1";
    case FieldId::E_MX3_Port2: return "E_MX3_Port2";
    case FieldId::E_MX3_Port3: return "E_MX3_Port3";
    case FieldId::E_MX3_Ident: return "E_MX3_Ident";
    case FieldId::E_MX3_Key_1: return "E_MX3_Key_1";
    case FieldId::E_MX3_Key_2: return "E_MX3_Key_2";
    case FieldId::E_MX3_Key_3: return "E_MX3_Key_3";
    case FieldId::E_MX3_Key_4: return "E_MX3_Key_4";
    case FieldId::E_MX3_Duty1: return "E_MX3_Duty1";
    case FieldId::E_MX3_Duty2: return "E_MX3_Duty2";
    case FieldId::E_MX3_Answer: return "E_MX3_Answer";
    case FieldId::E_MX3_NoAnswer: return "E_MX3_NoAnswer";
  }
  return {};
}

Page page_of(FieldId field) {
  return static_cast<int>(field) < static_cast<int>(FieldId::E_MX3_Ident) ? Page::Tab_LAN
                                                                          : Page::Tab_MX3;
}

std::string_view page_caption(Page page) {
  return page == Page::Tab_LAN ? "Параметры сети" : "Параметры протокола MX3";
}

}  // namespace kl40
