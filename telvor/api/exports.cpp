// The exported functions: each one forwards to the Library object that InitLib created, and keeps
// every C++ exception on this side of the interface.
#include <memory>
#include <mutex>

#include "telvor/api/library.h"
#include "telvor/api/telvor.h"

namespace {

std::unique_ptr<telvor::Library> g_library;

telvor::Library* lib() { return g_library.get(); }

template <typename Fn>
std::int32_t guarded(std::int32_t fallback, Fn&& fn) {
  try {
    return fn();
  } catch (...) {
    return fallback;
  }
}

}  // namespace

extern "C" {

TELVOR_API const char* TELVOR_CDECL TELVOR_Version(void) { return telvor::kVersionText; }

TELVOR_API std::int32_t TELVOR_CDECL InitLib(LinkSettings* settings) {
  if (settings == nullptr || g_library) return -1;
  return guarded(-1, [&] {
    g_library = std::make_unique<telvor::Library>(*settings);
    g_library->runtime().host.call_log("telvor.dll::InitLib - библиотека загружена");
    return 0;
  });
}

TELVOR_API std::int32_t TELVOR_CDECL CloseLib(void) {
  return guarded(0, [] {
    g_library.reset();
    return 0;
  });
}

TELVOR_API std::int32_t TELVOR_CDECL ListPort(std::int32_t type, const std::uint16_t* ports,
                                              std::int32_t count) {
  return guarded(0, [&] { return lib() ? lib()->ListPort(type, ports, count) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Open(std::int32_t type, const std::uint8_t* id, std::int32_t unit) {
  return guarded(0, [&] { return lib() ? lib()->Open(type, id, unit, false) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Open_svc(std::int32_t type, const std::uint8_t* id,
                                              std::int32_t unit) {
  return guarded(0, [&] { return lib() ? lib()->Open(type, id, unit, true) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Close(std::int32_t type, const std::uint8_t* id,
                                           std::int32_t unit, const char* comName) {
  return guarded(0, [&] { return lib() ? lib()->Close(type, id, unit, comName) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Close_svc(std::int32_t type, const std::uint8_t* id,
                                               std::int32_t unit) {
  return guarded(0, [&] { return lib() ? lib()->Close_svc(type, id, unit) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Write(std::int32_t type, const std::uint8_t* id,
                                           std::int32_t unit, const std::uint8_t* data,
                                           std::int32_t length) {
  return guarded(-1, [&] { return lib() ? lib()->Write(type, id, unit, data, length) : -1; });
}

TELVOR_API std::int32_t TELVOR_CDECL RefreshUnit(std::int32_t type, const std::uint8_t* id,
                                                 std::int32_t blockNo) {
  return guarded(0, [&] { return lib() ? lib()->RefreshUnit(type, id, blockNo) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Set_tcp_ip_addr(std::int32_t type, const std::uint8_t* id,
                                                     const void* a, const void* b, const void* c) {
  return guarded(0, [&] { return lib() ? lib()->Set_tcp_ip_addr(type, id, a, b, c) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Set_range_ip_addr(std::int32_t type, const std::uint8_t* id,
                                                       std::int32_t count, const void* ranges) {
  return guarded(0, [&] { return lib() ? lib()->Set_range_ip_addr(type, id, count, ranges) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL GetMac(std::int32_t type, const std::uint8_t* id) {
  return guarded(0, [&] { return lib() ? lib()->GetMac(type, id) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL ChangeKeyNow(std::int32_t type, const std::uint8_t* id) {
  return guarded(0, [&] { return lib() ? lib()->ChangeKeyNow(type, id) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL ChangeKeyNow_GPRS(std::int32_t code, const std::uint8_t* id) {
  return guarded(0, [&] { return lib() ? lib()->ChangeKeyNow_GPRS(code, id) : 0; });
}

TELVOR_API std::int32_t TELVOR_CDECL Send_CMD_GPRS(std::int32_t code, const std::uint8_t* id) {
  return guarded(0, [&] { return lib() ? lib()->Send_CMD_GPRS(code, id) : 0; });
}

// The ping and serial channel exports belong to modules this build does not carry yet: they
// refuse every call with -1 and do nothing.
TELVOR_API std::int32_t TELVOR_CDECL Run_Pinger(std::int32_t, const std::uint8_t*, const char*,
                                                std::int32_t, std::int32_t, std::int32_t) {
  return -1;
}

TELVOR_API std::int32_t TELVOR_CDECL OpenComDevice(std::int32_t, std::int32_t, const char*,
                                                   ComSettings*) {
  return -1;
}

TELVOR_API std::int32_t TELVOR_CDECL CloseComDevice(std::int32_t, std::int32_t, const char*) {
  return -1;
}

TELVOR_API std::int32_t TELVOR_CDECL ParseDataMS(std::int32_t, std::int32_t, const ComSettings*,
                                                 const char*, std::int32_t, ComEvent*) {
  return -1;
}

}  // extern "C"
