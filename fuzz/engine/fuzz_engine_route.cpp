// Feeds datagrams to the routing and frame-decoding path of a port through the same entry the
// socket's receive handler uses, with GPRS, station and unknown-identifier sessions on the port.
// Byte 0 of the input chooses the sender; the rest is the datagram.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "telvor/api/library.h"

namespace {

const std::uint8_t kGprsId[6] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
const std::uint8_t kPlainId[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const std::uint8_t kStationId[6] = {127, 0, 0, 1, 0, 0};

extern "C" std::int32_t fuzz_cypher(std::int32_t, const std::uint8_t*, std::uint8_t* key,
                                    std::int32_t* len, std::int32_t) {
  if (key && len && *len > 0) std::memset(key, 0x11, static_cast<std::size_t>(*len));
  return 1;
}

telvor::Library& library() {
  static std::unique_ptr<telvor::Library> lib = [] {
    LinkSettings s{};
    s.slot[0] = sizeof(LinkSettings);
    s.slot[88 / 4] = 30000;
    s.slot[92 / 4] = 30000;
    s.slot[96 / 4] = 10000;
    s.slot[100 / 4] = 10;
    s.slot[104 / 4] = 10000;
    s.slot[108 / 4] = 0;
    s.slot[112 / 4] = 5;
    s.slot[116 / 4] = 5;
    s.callback[TELVOR_CB_GET_CYPHER] = reinterpret_cast<void*>(&fuzz_cypher);
    s.callback[TELVOR_CB_GET_CYPHER_SVC] = reinterpret_cast<void*>(&fuzz_cypher);
    auto l = std::make_unique<telvor::Library>(s, telvor::LibraryOptions{.threads = false});
    const std::uint16_t port = 0;  // an unbound socket: nothing from outside reaches it
    l->ListPort(6, &port, 1);
    l->ListPort(3, &port, 1);
    l->Open(6, kGprsId, 0, true);
    l->Open(6, kPlainId, 0, false);
    l->Open(3, kStationId, 0, false);
    l->runtime().engine.poll();
    return l;
  }();
  return *lib;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  telvor::Library& lib = library();
  telvor::Runtime& rt = lib.runtime();
  telvor::AddressRecord from;
  switch (data[0] % 3) {
    case 0: from.ip = {127, 0, 0, 1}; break;  // names the station session
    case 1: from.ip = {127, 0, 0, 2}; break;
    default: from.ip = {10, 1, 2, 3}; break;
  }
  from.port = 9;
  telvor::PortEntry& port = *rt.ports.front();
  rt.route_datagram(port, std::span<const std::uint8_t>(data + 1, size - 1), from);
  rt.engine.poll();
  return 0;
}
