// Feeds arbitrary datagrams to a GPRS session over the fake environment. The input is split into
// datagrams by its first byte (a length) so that one run drives a whole exchange; between
// datagrams the fake clock moves on and every due timer and send runs, so the replies, the DG2
// polls, the command settling and the key-change paths are reached as well.
#include <cstddef>
#include <cstdint>

#include "tests/gprs/gprs_fake_env.h"

using namespace telvor;
using namespace telvor::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const GostFullKey kKey = [] {
    GostFullKey k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(1 + i * 7);
    return k;
  }();
  const GprsSession::Id id{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
  FakeGprsEnv env;
  env.session_set_up = true;
  env.host_key = kKey;
  env.commands.push_back(HostCommand{1, 0x10, {'g', 'c'}, false});
  GprsSettings settings;
  settings.CountRetryRecive_GPRS = 3;
  GprsSession session(env, id, kKey, settings);
  env.attach(&session);
  session.opened();
  env.post(9);
  env.settle();
  const GprsPeer peer{{127, 0, 0, 1}, 40000};

  std::size_t pos = 0;
  int round = 0;
  while (pos < size) {
    const std::size_t len = std::min<std::size_t>(data[pos], size - pos - 1);
    ++pos;
    // Datagrams arrive as the device would send them: identifier first, then the fuzzed rest.
    std::vector<std::uint8_t> raw(id.begin(), id.end());
    raw.insert(raw.end(), data + pos, data + pos + len);
    pos += len;
    session.IncomingPacketGPRS(peer, raw);
    switch (round++ % 4) {
      case 1: session.Send_CMD_GPRS(0x12); break;
      case 2: if (session.has_reply_template()) session.ChangeKeyNow_GPRS(0x13); break;
      default: break;
    }
    env.advance(round % 2 ? 150 : 12000);
  }
  env.advance(200000);
  return 0;
}
