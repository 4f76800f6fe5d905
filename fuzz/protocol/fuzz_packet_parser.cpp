// Any datagram (as the frame decoder hands it over) through the GPRS packet parser, under the
// built-in key and clear; every item the parser indexes must lie inside the body, and a reply built
// from an accepted packet must encode.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "telvor/crypto/default_key.h"
#include "telvor/protocol/packet.h"

using namespace telvor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const GostFullKey key = GostDefaultKey();
  const std::span<const uint8_t> input(data, size);
  PacketBuffer packet;
  if (!packet.Assign(input)) {
    if (size <= kPacketCapacity) std::abort();
    return 0;
  }
  const PacketParseResult result = PacketParse(packet, &key);
  if (packet.Length() > PacketBuffer::kStorage) std::abort();
  if (result.verdict != PacketVerdict::kOk) return 0;
  uint32_t sum = 0;
  for (size_t i = 0; i < packet.ItemCount(); ++i) {
    const PacketItem item = packet.Item(i);
    if (item.offset + 2u + item.length > packet.Length() - 2) std::abort();
    for (uint8_t b : item.data) sum += b;
  }
  (void)sum;
  PacketBuffer reply;
  if (!reply.StartFrom(packet, PacketReplyType(packet.Type()))) std::abort();
  reply.AppendItem(kItemAck, packet.ItemCount() > 0 ? packet.Item(0).data.first(
                                                          std::min<size_t>(1, packet.Item(0).data.size()))
                                                    : std::span<const uint8_t>());
  GostRandomRecord random = result.random;
  if (PacketEncodeForWire(reply, key, &random, false).empty()) std::abort();
  return 0;
}
