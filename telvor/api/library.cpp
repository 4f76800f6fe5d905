#include "telvor/api/library.h"

#include <asio/post.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>

#include "telvor/io/gprs_binding.h"
#include "telvor/protocol/gprs_session.h"
#include "telvor/station/block_table.h"

namespace telvor {

Library::Library(const LinkSettings& settings, LibraryOptions options)
    : rt_(std::make_unique<Runtime>(settings, options.threads)) {}

Library::~Library() { teardown(); }

void Library::teardown() {
  if (!rt_) return;
  // Every worker ends first; from here on this thread is the only one touching the runtime.
  rt_->engine.shutdown();
  std::vector<std::shared_ptr<DeviceSession>> sessions;
  for (auto& port : rt_->ports) {
    for (auto& s : port->table)
      if (s) sessions.push_back(s);
    port->table.clear();
    port->index.clear();
    port->live = 0;
    port->high_water = 0;
    port->first_free = 0;
    if (port->socket) port->socket->close();
    port->socket.reset();
  }
  for (auto& s : sessions) {
    s->active.store(false);
    s->receiving.store(false);
    s->stop_on_strand();
  }
  for (auto& [key, reg] : rt_->registrations) reg->linked.store(false);
  // Handlers still queued run now and find their sessions inactive; they release what they hold.
  for (int i = 0; i < 1000 && rt_->engine.poll() > 0; ++i) {
  }
  sessions.clear();
  rt_->registrations.clear();
  rt_->ports.clear();
  rt_.reset();
}

std::int32_t Library::ListPort(std::int32_t type, const std::uint16_t* ports, std::int32_t count) {
  if (type < 0 || type > 31) return 0;
  const std::uint32_t bit = 1u << type;
  std::size_t n = static_cast<std::uint16_t>(count);
  if (count < 1 || ports == nullptr) n = 0;
  std::unique_lock lock(rt_->registry_mu);
  for (std::size_t i = 0; i < n; ++i) {
    PortEntry* p = rt_->find_port(ports[i]);
    if (!p) {
      rt_->ports.push_back(std::make_unique<PortEntry>(ports[i]));
      p = rt_->ports.back().get();
    }
    p->mask.fetch_or(bit);
  }
  for (auto& p : rt_->ports) {
    bool listed = false;
    for (std::size_t i = 0; i < n && !listed; ++i) listed = ports[i] == p->number;
    if (!listed) p->mask.fetch_and(~bit);
  }
  return 0;
}

bool Library::set_up_socket_locked(PortEntry* port) {
  std::error_code ec;
  asio::ip::udp::socket socket(rt_->engine.io());
  socket.open(asio::ip::udp::v4(), ec);
  if (ec) return false;
  socket.set_option(asio::socket_base::broadcast(false), ec);
  if (ec) return false;
  if (port->number > 0) {
    socket.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), port->number), ec);
    if (ec) return false;
  }
  port->socket = std::make_shared<PortSocket>(*rt_, *port, std::move(socket));
  port->socket_created = true;
  port->socket->start_receive();
  return true;
}

void Library::open_on_port(PortEntry* port, std::int32_t type, const DeviceId& id,
                           std::uint16_t unit, const std::shared_ptr<Registration>& reg, bool svc) {
  Host& host = rt_->host;
  serial_word_ = host.word(32);
  if (type < 0 || type > 7) {
    host.call_state_report(type, id.data(), kStateBadType, 0, reg->service_mode.load(),
                           reg->created_by_service_open.load());
    return;
  }
  // A session with the same identifier and unit on this port stays as it is.
  bool duplicate = false;
  {
    std::shared_lock lock(rt_->registry_mu);
    for (const auto& s : port->sessions_with(id))
      if (s->unit == unit) duplicate = true;
  }
  if (duplicate) {
    host.call_state_report(type, id.data(), type == kChannelGprs ? kStateDuplicateGprs : kStateDuplicate,
                           0, reg->service_mode.load(), reg->created_by_service_open.load());
    return;
  }

  auto s = std::make_shared<DeviceSession>(*rt_, type, id, unit, port, reg, svc);
  bool keyed = false;
  std::array<std::uint8_t, 40> key{};
  if (type != 3) keyed = host.fetch_key(svc, type, id.data(), std::span(key.data(), s->key_size()));

  {
    std::unique_lock lock(rt_->registry_mu);
    if (!port->socket) {
      if (!set_up_socket_locked(port)) {
        lock.unlock();
        char line[160];
        std::snprintf(line, sizeof line, kPortOpenError, static_cast<int>(port->number));
        host.call_error(line);
        return;
      }
      port->owner = s;
    }
  }
  rt_->engine.thread_start();
  port->open_count.fetch_add(1);

  {
    std::lock_guard data(s->data_mu);
    s->key = key;
    s->keyed = keyed;
    s->words.copy_from(host, type);
  }
  if (block_table_size(type) > 0) {
    SessionWords words;
    {
      std::lock_guard data(s->data_mu);
      words = s->words;
    }
    BlockTable table = build_block_table(type, id.data(), host, words, keyed, false);
    std::lock_guard data(s->data_mu);
    s->words = words;
    s->blocks = std::move(table);
  }
  if (type == kChannelGprs) {
    GprsSession::Key gkey{};
    std::memcpy(gkey.data(), key.data(), gkey.size());
    s->attach_gprs(std::make_unique<GprsBinding>(*s, gkey, GprsSettings::from_slots(host.slots()), keyed));
  }

  bool stored = false;
  {
    std::unique_lock lock(rt_->registry_mu);
    std::uint32_t slot = 0;
    stored = port->insert(s, slot);
    if (stored) {
      if (type == 3 || type == kChannelGprs || type == 7) {
        s->active.store(true);
        s->receiving.store(true);
      }
      if (type == kChannelGprs) {
        s->service_session.store(true);
        reg->session_set_up.store(true);
      }
    }
  }
  if (!stored) {
    // A full table keeps nothing: undo the thread start of the session.
    rt_->engine.session_stop();
    port->open_count.fetch_sub(1);
    return;
  }
  if (type == kChannelGprs) {
    asio::post(s->strand(), [s] {
      if (!s->active.load() || !s->gprs()) return;
      s->gprs()->session().opened();
      s->dispatch(EventKind::SessionTimerArm);
    });
    return;
  }
  if (type == 3 || type == 7) return;
  s->active.store(true);
  s->receiving.store(true);
  s->post_event(EventKind::ServiceStep);
  if (type == 4 || type == 5) s->post_event(EventKind::PingSchedule);
}

std::int32_t Library::Open(std::int32_t type, const std::uint8_t* id_bytes, std::int32_t unit_arg,
                           bool svc) {
  if (id_bytes == nullptr) return 0;
  const DeviceId id = device_id_from(id_bytes);
  const auto unit = static_cast<std::uint16_t>(unit_arg);
  Host& host = rt_->host;
  std::shared_ptr<Registration> reg;
  bool found = false;
  {
    std::unique_lock lock(rt_->registry_mu);
    reg = rt_->find_registration(id);
    if (!reg) {
      reg = std::make_shared<Registration>(id);
      if (svc) {
        reg->service_mode.store(true);
        reg->created_by_service_open.store(true);
      }
      rt_->registrations.emplace(id_key(id), reg);
    } else {
      found = true;
    }
  }

  bool restore_created = false;
  bool previous_created = false;
  if (found) {
    const bool was_service = reg->service_mode.load();
    if (svc) {
      previous_created = reg->created_by_service_open.load();
      restore_created = true;
      reg->service_mode.store(true);
      reg->created_by_service_open.store(true);
    } else {
      reg->created_by_service_open.store(false);
      if (was_service) reg->service_mode.store(false);
    }
    if (was_service) {
      if (auto bound = reg->bound()) {
        // Report duty for the bound session from its own strand (its state lives there).
        asio::post(bound->strand(), [bound] {
          if (auto* g = bound->gprs()) g->session().report_state(TELVOR_STATE_DUTY, g->session().fault_reason());
        });
      } else if (!reg->session_set_up.load()) {
        host.call_sethardst(svc, kChannelGprs, id.data(), TELVOR_STATE_DISREPAIR, 241);
      }
      if (restore_created) reg->created_by_service_open.store(previous_created);
      return 0;
    }
  }

  std::vector<PortEntry*> ports;
  {
    std::shared_lock lock(rt_->registry_mu);
    for (auto& p : rt_->ports)
      if (p->has_type(type)) ports.push_back(p.get());
  }
  for (PortEntry* p : ports) open_on_port(p, type, id, unit, reg, svc);
  if (restore_created) reg->created_by_service_open.store(previous_created);
  return 0;
}

void Library::run_on_strand(DeviceSession& s, std::function<void()> fn) {
  if (!rt_->engine.threaded() || !rt_->engine.active() || s.strand().running_in_this_thread()) {
    fn();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto future = done->get_future();
  asio::post(s.strand(), [fn = std::move(fn), done, keep = s.shared_from_this()] {
    fn();
    done->set_value();
  });
  future.wait_for(std::chrono::seconds(20));
}

std::int32_t Library::Close(std::int32_t type, const std::uint8_t* id_bytes, std::int32_t unit_arg,
                            const char* /*com_name*/) {
  if (type < 0 || id_bytes == nullptr) return 0;
  const DeviceId id = device_id_from(id_bytes);
  const auto unit = static_cast<std::uint16_t>(unit_arg);
  std::shared_ptr<Registration> reg;
  {
    std::shared_lock lock(rt_->registry_mu);
    reg = rt_->find_registration(id);
  }
  if (type <= 6 && reg && reg->service_mode.load() && !reg->created_by_service_open.load()) return 0;

  struct Victim {
    std::shared_ptr<DeviceSession> session;
    std::shared_ptr<PortSocket> socket_to_close;
  };
  std::vector<Victim> victims;
  {
    std::unique_lock lock(rt_->registry_mu);
    for (auto& p : rt_->ports) {
      if (!p->has_type(type)) continue;
      for (auto& s : p->sessions_with(id)) {
        if (s->unit != unit || s->type != type) continue;
        s->active.store(false);
        s->receiving.store(false);
        p->remove(s->slot);
        Victim v{s, nullptr};
        if (p->live == 0 && p->socket) {
          v.socket_to_close = p->socket;
          p->socket.reset();
          p->socket_created = false;
          p->owner.reset();
        }
        victims.push_back(std::move(v));
      }
    }
  }
  for (auto& v : victims) {
    if (v.socket_to_close) v.socket_to_close->close();
    // Waits for a handler of the session that is running now; later ones find it inactive.
    run_on_strand(*v.session, [s = v.session] { s->stop_on_strand(); });
    rt_->engine.session_stop();
    v.session->port->open_count.fetch_sub(1);
  }
  if (reg) {
    std::unique_lock lock(rt_->registry_mu);
    bool left = false;
    for (auto& p : rt_->ports)
      if (p->count_with(id) > 0) left = true;
    if (!left) {
      reg->linked.store(false);
      rt_->registrations.erase(id_key(id));
    }
  }
  return 0;
}

std::int32_t Library::Close_svc(std::int32_t type, const std::uint8_t* id_bytes, std::int32_t unit) {
  if (id_bytes == nullptr) return 0;
  std::shared_ptr<Registration> reg;
  {
    std::shared_lock lock(rt_->registry_mu);
    reg = rt_->find_registration(device_id_from(id_bytes));
  }
  if (!reg) return 0;
  if (!reg->created_by_service_open.load()) {
    reg->service_mode.store(false);
    return 0;
  }
  return Close(type, id_bytes, unit, nullptr);
}

std::int32_t Library::Write(std::int32_t type, const std::uint8_t* id_bytes, std::int32_t unit,
                            const std::uint8_t* data, std::int32_t length) {
  if (id_bytes == nullptr || length < 0 || static_cast<std::size_t>(length) > kOutgoingMessageSize ||
      (length > 0 && data == nullptr))
    return -1;
  const DeviceId id = device_id_from(id_bytes);
  std::shared_ptr<DeviceSession> target;
  {
    std::shared_lock lock(rt_->registry_mu);
    if (!rt_->find_registration(id)) return -1;
    for (auto& p : rt_->ports) {
      if (!p->has_type(type)) continue;
      for (auto& s : p->sessions_with(id)) {
        if (s->type == 3 && s->unit == static_cast<std::uint16_t>(unit)) {
          target = s;
          break;
        }
      }
      if (target) break;
    }
    if (!target) return -1;
    auto msg = make_outgoing_message(std::span(data, static_cast<std::size_t>(length)));
    if (!msg) return -1;
    {
      std::lock_guard guard(target->data_mu);
      if (target->outgoing.size() >= kOutgoingLimit) return -1;
      target->outgoing.push_front(std::move(*msg));
    }
    target->active.store(true);
    target->receiving.store(true);
  }
  target->post_event(EventKind::ServiceStep);
  return -1;
}

std::shared_ptr<DeviceSession> Library::first_session_locked(std::int32_t type,
                                                             const DeviceId& id) const {
  for (auto& p : rt_->ports) {
    if (!p->has_type(type)) continue;
    for (auto& s : p->sessions_with(id))
      if (s->type == type) return s;
  }
  return nullptr;
}

std::int32_t Library::RefreshUnit(std::int32_t type, const std::uint8_t* id_bytes,
                                  std::int32_t block_no) {
  if (id_bytes == nullptr || !(type == 0 || type == 4 || type == 5)) return 0;
  if (block_no < 1 || static_cast<std::size_t>(block_no) > block_table_size(type)) return 0;
  std::shared_ptr<DeviceSession> s;
  {
    std::shared_lock lock(rt_->registry_mu);
    s = first_session_locked(type, device_id_from(id_bytes));
  }
  if (!s) return 0;
  {
    std::lock_guard guard(s->data_mu);
    if (s->blocks.size() == 0) return 0;
  }
  const bool present = rt_->host.call_has_block(type, s->id.data(), block_no) != 0;
  std::lock_guard guard(s->data_mu);
  refresh_block(s->blocks, block_no, present, rt_->host);
  return 0;
}

std::int32_t Library::Set_tcp_ip_addr(std::int32_t type, const std::uint8_t* id_bytes, const void* a,
                                      const void* b, const void* c) {
  if (id_bytes == nullptr || a == nullptr || b == nullptr || c == nullptr) return 0;
  std::memcpy(addresses_[0].data(), a, 8);
  std::memcpy(addresses_[1].data(), b, 8);
  std::memcpy(addresses_[2].data(), c, 8);
  std::shared_lock lock(rt_->registry_mu);
  if (auto s = first_session_locked(type, device_id_from(id_bytes))) s->req_set_addresses.store(true);
  return 0;
}

std::int32_t Library::Set_range_ip_addr(std::int32_t type, const std::uint8_t* id_bytes,
                                        std::int32_t count, const void* ranges) {
  const std::size_t n = static_cast<std::uint8_t>(count);
  if (id_bytes == nullptr || (n > 0 && ranges == nullptr)) return 0;
  ranges_.assign(n, {});
  for (std::size_t i = 0; i < n; ++i)
    std::memcpy(ranges_[i].data(), static_cast<const std::uint8_t*>(ranges) + 8 * i, 8);
  std::shared_lock lock(rt_->registry_mu);
  if (auto s = first_session_locked(type, device_id_from(id_bytes))) {
    s->req_set_ranges.store(true);
    s->ranges_acknowledged.store(false);
  }
  return 0;
}

std::int32_t Library::GetMac(std::int32_t type, const std::uint8_t* id_bytes) {
  if (id_bytes == nullptr) return 0;
  std::shared_lock lock(rt_->registry_mu);
  if (auto s = first_session_locked(type, device_id_from(id_bytes))) {
    s->req_get_mac.store(true);
    s->req_get_mac_companion.store(true);
  }
  return 0;
}

std::int32_t Library::ChangeKeyNow(std::int32_t type, const std::uint8_t* id_bytes) {
  if (id_bytes == nullptr) return 0;
  std::shared_ptr<DeviceSession> s;
  {
    std::shared_lock lock(rt_->registry_mu);
    s = first_session_locked(type, device_id_from(id_bytes));
  }
  if (!s) return 0;
  if (s->gprs()) {
    asio::post(s->strand(), [s] {
      if (s->active.load() && s->gprs()) s->gprs()->session().ChangeKeyNow();
    });
    return 0;
  }
  std::array<std::uint8_t, 40> key{};
  const bool svc = false;
  const bool keyed = rt_->host.fetch_key(svc, type, s->id.data(), std::span(key.data(), s->key_size()));
  std::lock_guard guard(s->data_mu);
  if (keyed) s->key = key;
  s->keyed = keyed;
  return 0;
}

namespace {

int gprs_channel_of(std::int32_t code) {
  return ((code >= 1 && code <= 9) || (code >= 0x11 && code <= 0x19)) ? kChannelGprs : 0;
}

// The session a GPRS request export addresses: the registration's bound session of that channel
// type that has already answered the device (it has a reply to build on). A receive hold whose
// receive has finished is released, so the request is not kept waiting.
std::shared_ptr<DeviceSession> bound_gprs_session(Runtime& rt, int type, const DeviceId& id) {
  std::shared_ptr<DeviceSession> target;
  {
    std::shared_lock lock(rt.registry_mu);
    auto reg = rt.find_registration(id);
    if (!reg) return nullptr;
    for (auto& p : rt.ports) {
      if (!p->has_type(type)) continue;
      for (auto& s : p->sessions_with(id))
        if (s->type == type && s->gprs() && s->has_reply_template.load() && reg->is_bound(s.get())) {
          target = s;
          break;
        }
      if (target) break;
    }
  }
  if (target && target->receive_hold.load() && target->receive_finished.load())
    target->receive_hold.store(false);
  return target;
}

}  // namespace

std::int32_t Library::ChangeKeyNow_GPRS(std::int32_t code, const std::uint8_t* id_bytes) {
  if (id_bytes == nullptr) return 0;
  const auto target = bound_gprs_session(*rt_, gprs_channel_of(code), device_id_from(id_bytes));
  if (!target) return 0;
  asio::post(target->strand(), [target, code] {
    if (target->active.load()) target->gprs()->session().ChangeKeyNow_GPRS(code);
  });
  return 0;
}

std::int32_t Library::Send_CMD_GPRS(std::int32_t code, const std::uint8_t* id_bytes) {
  if (id_bytes == nullptr) return 0;
  const auto target = bound_gprs_session(*rt_, gprs_channel_of(code), device_id_from(id_bytes));
  if (!target) return 0;
  asio::post(target->strand(), [target, code] {
    if (target->active.load()) target->gprs()->session().Send_CMD_GPRS(code);
  });
  return 0;
}

std::vector<Library::PortView> Library::ports() const {
  std::vector<PortView> out;
  std::shared_lock lock(rt_->registry_mu);
  for (auto& p : rt_->ports) {
    PortView v;
    v.number = p->number;
    v.mask = p->mask.load();
    v.socket_open = p->socket != nullptr && p->socket->is_open();
    v.local_port = p->socket ? p->socket->local_port() : 0;
    v.sessions = p->live;
    out.push_back(v);
  }
  return out;
}

std::shared_ptr<DeviceSession> Library::find_session(std::int32_t type, const std::uint8_t* id,
                                                     std::uint16_t port_number) const {
  std::shared_lock lock(rt_->registry_mu);
  PortEntry* p = rt_->find_port(port_number);
  if (!p) return nullptr;
  for (auto& s : p->sessions_with(device_id_from(id)))
    if (s->type == type) return s;
  return nullptr;
}

std::shared_ptr<Registration> Library::find_registration(const std::uint8_t* id) const {
  std::shared_lock lock(rt_->registry_mu);
  return rt_->find_registration(device_id_from(id));
}

std::size_t Library::registration_count() const {
  std::shared_lock lock(rt_->registry_mu);
  return rt_->registrations.size();
}

}  // namespace telvor
