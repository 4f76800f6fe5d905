#include "telvor/io/port.h"

#include <algorithm>
#include <cstdio>

#include "telvor/io/runtime.h"
#include "telvor/io/session.h"

namespace telvor {

std::int64_t PortEntry::first_slot(const DeviceId& id) const {
  auto it = index.find(id_key(id));
  if (it == index.end() || it->second.empty()) return -1;
  return it->second.front();
}

std::size_t PortEntry::count_with(const DeviceId& id) const {
  auto it = index.find(id_key(id));
  return it == index.end() ? 0 : it->second.size();
}

std::vector<std::shared_ptr<DeviceSession>> PortEntry::sessions_with(const DeviceId& id) const {
  std::vector<std::shared_ptr<DeviceSession>> out;
  auto it = index.find(id_key(id));
  if (it == index.end()) return out;
  for (auto slot : it->second) out.push_back(table[slot]);
  return out;
}

bool PortEntry::insert(const std::shared_ptr<DeviceSession>& s, std::uint32_t& slot_out) {
  while (first_free < table.size() && table[first_free]) ++first_free;
  if (first_free >= kPortTableSize) return false;
  if (first_free == table.size()) table.emplace_back();
  const std::size_t slot = first_free;
  table[slot] = s;
  ++first_free;
  ++live;
  if (slot + 1 > high_water) high_water = slot + 1;
  auto& slots = index[id_key(s->id)];
  slots.insert(std::upper_bound(slots.begin(), slots.end(), static_cast<std::uint32_t>(slot)),
               static_cast<std::uint32_t>(slot));
  slot_out = static_cast<std::uint32_t>(slot);
  s->slot = slot_out;
  return true;
}

void PortEntry::remove(std::uint32_t slot) {
  if (slot >= table.size() || !table[slot]) return;
  auto it = index.find(id_key(table[slot]->id));
  if (it != index.end()) {
    auto& slots = it->second;
    slots.erase(std::remove(slots.begin(), slots.end(), slot), slots.end());
    if (slots.empty()) index.erase(it);
  }
  table[slot].reset();
  --live;
  if (slot < first_free) first_free = slot;
  while (high_water > 0 && !table[high_water - 1]) --high_water;
  // Keep the table no longer than it needs to be.
  if (table.size() > high_water) table.resize(high_water);
  if (first_free > table.size()) first_free = table.size();
}

PortSocket::PortSocket(Runtime& rt, PortEntry& port, asio::ip::udp::socket socket)
    : rt_(rt), port_(port), socket_(std::move(socket)) {
  std::error_code ec;
  auto local = socket_.local_endpoint(ec);
  if (!ec) local_port_ = local.port();
}

bool PortSocket::is_open() {
  std::lock_guard lock(mu_);
  return !closed_ && socket_.is_open();
}

void PortSocket::start_receive() {
  std::lock_guard lock(mu_);
  arm_locked();
}

void PortSocket::arm_locked() {
  if (closed_) return;
  socket_.async_receive_from(asio::buffer(buffer_), sender_,
                             [self = shared_from_this()](const std::error_code& ec, std::size_t n) {
                               self->on_receive(ec, n);
                             });
}

void PortSocket::on_receive(const std::error_code& ec, std::size_t bytes) {
  if (ec == asio::error::operation_aborted) return;
  if (ec && ec != asio::error::connection_refused && ec != asio::error::connection_reset) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "telvor.dll::PostRecvFrom - SOCKET_ERROR (ошибка сокета = %d чтение порта %d - "
                  "остановлено!!!)",
                  ec.value(), static_cast<int>(port_.number));
    rt_.host.call_log(line);
    return;
  }
  if (!ec && bytes > 0) {
    AddressRecord from;
    const auto addr = sender_.address();
    if (addr.is_v4()) from.ip = addr.to_v4().to_bytes();
    from.port = sender_.port();
    rt_.route_datagram(port_, std::span<const std::uint8_t>(buffer_.data(), bytes), from);
  }
  std::lock_guard lock(mu_);
  arm_locked();
}

void PortSocket::close() {
  std::lock_guard lock(mu_);
  closed_ = true;
  std::error_code ec;
  socket_.close(ec);
}

namespace {
asio::ip::udp::endpoint endpoint_of(const AddressRecord& to) {
  return asio::ip::udp::endpoint(asio::ip::address_v4(to.ip), to.port);
}
}  // namespace

int PortSocket::send_to(const AddressRecord& to, std::shared_ptr<std::vector<std::uint8_t>> bytes) {
  std::lock_guard lock(mu_);
  if (closed_ || !socket_.is_open()) return -1;
  socket_.async_send_to(asio::buffer(*bytes), endpoint_of(to),
                        [bytes](const std::error_code&, std::size_t) {});
  return 0;
}

int PortSocket::send_now(const AddressRecord& to, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mu_);
  if (closed_ || !socket_.is_open()) return -1;
  std::error_code ec;
  socket_.send_to(asio::buffer(bytes.data(), bytes.size()), endpoint_of(to), 0, ec);
  if (!ec) return 0;
  if (ec == asio::error::would_block || ec == asio::error::try_again) return -2;
  return -1;
}

}  // namespace telvor
