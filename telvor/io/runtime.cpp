#include "telvor/io/runtime.h"

#include <asio/post.hpp>

#include "telvor/io/session.h"
#include "telvor/protocol/gprs_session.h"

namespace telvor {

std::shared_ptr<DeviceSession> Registration::bound() const {
  std::lock_guard lock(mu_);
  return bound_.lock();
}

bool Registration::has_bound() const {
  std::lock_guard lock(mu_);
  return bound_raw_ != nullptr && !bound_.expired();
}

bool Registration::is_bound(const DeviceSession* s) const {
  std::lock_guard lock(mu_);
  return s != nullptr && bound_raw_ == s && !bound_.expired();
}

void Registration::bind(const std::shared_ptr<DeviceSession>& s) {
  std::lock_guard lock(mu_);
  bound_ = s;
  bound_raw_ = s.get();
}

void Registration::unbind_if(const DeviceSession* s) {
  std::lock_guard lock(mu_);
  if (bound_raw_ == s) {
    bound_.reset();
    bound_raw_ = nullptr;
  }
}

Runtime::Runtime(const LinkSettings& settings, bool threads) : host(settings), engine(threads) {}

Runtime::~Runtime() {
  engine.shutdown();
}

PortEntry* Runtime::find_port(std::uint16_t number) const {
  for (const auto& p : ports)
    if (p->number == number) return p.get();
  return nullptr;
}

std::shared_ptr<Registration> Runtime::find_registration(const DeviceId& id) const {
  auto it = registrations.find(id_key(id));
  return it == registrations.end() ? nullptr : it->second;
}

void Runtime::route_datagram(PortEntry& port, std::span<const std::uint8_t> datagram,
                             const AddressRecord& from) {
  if (datagram.empty()) return;
  // Counted once the datagram has been handed on (or dropped), so that a reader of the counter
  // knows routing of that datagram is over.
  struct CountWhenDone {
    std::atomic<std::uint64_t>& counter;
    ~CountWhenDone() { counter.fetch_add(1, std::memory_order_release); }
  } count_when_done{datagrams_routed};
  try {
    bool raw_given = false;
    if (!port.has_type(kChannelGprs)) {
      walk(port, nullptr, std::nullopt, datagram, from, raw_given);
      return;
    }
    std::shared_ptr<DeviceSession> ring_owner;
    DeviceId peek{};
    if (FramePeekIdentifier(datagram, peek)) {
      std::shared_lock lock(registry_mu);
      const std::int64_t slot = port.first_slot(peek);
      if (slot >= 0) ring_owner = port.table[static_cast<std::size_t>(slot)];
    }
    if (ring_owner) {
      auto bytes = std::make_shared<std::vector<std::uint8_t>>(datagram.begin(), datagram.end());
      asio::post(ring_owner->strand(), [this, &port, s = ring_owner, bytes, from] {
        bool given = false;
        std::size_t frames = 0;
        try {
          frames = s->ring().Feed(*bytes, [&](std::span<const std::uint8_t> frame) {
            walk(port, s.get(), frame, *bytes, from, given);
          });
          if (frames == 0) walk(port, s.get(), std::nullopt, *bytes, from, given);
        } catch (...) {
          // A handler that fails loses this datagram only.
        }
      });
      return;
    }
    const std::size_t frames = port.fallback_ring.Feed(datagram, [&](std::span<const std::uint8_t> frame) {
      walk(port, nullptr, frame, datagram, from, raw_given);
    });
    if (frames == 0) walk(port, nullptr, std::nullopt, datagram, from, raw_given);
  } catch (...) {
    // Out of memory or a failing handler: this datagram is lost, the receive goes on.
  }
}

void Runtime::walk(PortEntry& port, const DeviceSession* on_strand_of,
                   std::optional<std::span<const std::uint8_t>> frame,
                   std::span<const std::uint8_t> datagram, const AddressRecord& from,
                   bool& raw_given) {
  std::shared_ptr<DeviceSession> frame_target;
  std::shared_ptr<DeviceSession> raw_target;
  bool unclaimed = false;
  DeviceId fid{};
  {
    std::shared_lock lock(registry_mu);
    const DeviceId aid = from.as_identifier();
    const std::int64_t s_addr = port.first_slot(aid);
    std::int64_t s_frame = -1;
    if (frame && frame->size() >= 6) {
      fid = device_id_from(frame->data());
      if (find_registration(fid)) s_frame = port.first_slot(fid);
    }
    if (s_frame >= 0 && (s_addr < 0 || s_frame <= s_addr)) {
      frame_target = port.table[static_cast<std::size_t>(s_frame)];
    } else if (s_addr >= 0) {
      raw_target = port.table[static_cast<std::size_t>(s_addr)];
    } else if (frame && frame->size() >= 6) {
      unclaimed = port.live > port.count_with(fid);
    }
  }

  if (frame_target) {
    if (frame_target->type != kChannelGprs || id_all_zero(frame_target->id) ||
        !frame_target->active.load())
      return;
    if (frame_target.get() == on_strand_of) {
      frame_target->gprs_input(from, *frame);
    } else {
      auto copy = std::make_shared<std::vector<std::uint8_t>>(frame->begin(), frame->end());
      asio::post(frame_target->strand(),
                 [s = frame_target, copy, from] { s->gprs_input(from, *copy); });
    }
    return;
  }
  if (raw_target) {
    if (raw_given) return;
    raw_given = true;
    if (raw_target.get() == on_strand_of) {
      raw_target->station_input(from, datagram);
    } else {
      auto copy = std::make_shared<std::vector<std::uint8_t>>(datagram.begin(), datagram.end());
      asio::post(raw_target->strand(),
                 [s = raw_target, copy, from] { s->station_input(from, *copy); });
    }
    return;
  }
  if (!unclaimed) return;
  frames_unclaimed.fetch_add(1, std::memory_order_relaxed);
  if (auto type = gprs_unknown_id_packet_type(*frame)) {
    host.call_new_id(*type, fid.data());
    host.call_log(kLogNewIdInGprs);
  }
}

}  // namespace telvor
