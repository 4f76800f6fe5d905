#include "telvor/protocol/envelope.h"

namespace telvor {

int EnvelopeSeal(std::span<uint8_t> buffer, uint16_t bodyLength, const GostFullKey& key,
                 GostRandomRecord* random, bool fresh) {
  const GostContext ctx{&key, nullptr};
  return GostSeal(ctx, buffer, bodyLength, random, fresh);
}

int EnvelopeOpen(std::span<uint8_t> buffer, uint16_t envelopeLength, const GostFullKey& key,
                 GostRandomRecord* random) {
  const GostContext ctx{&key, nullptr};
  return GostOpen(ctx, buffer, envelopeLength, random, random != nullptr);
}

}  // namespace telvor
