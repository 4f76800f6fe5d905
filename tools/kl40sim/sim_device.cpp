#include "tools/kl40sim/sim_device.h"

#include <algorithm>
#include <cstdio>

#include "configurator/config/analyz.h"
#include "configurator/config/keywords.h"
#include "telvor/protocol/frame.h"
#include "telvor/protocol/packet.h"

namespace kl40sim {

using telvor::PacketBuffer;
using telvor::PacketVerdict;

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_hex(std::string_view text, std::span<std::uint8_t> out) {
  if (text.size() != out.size() * 2) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = hex_value(text[2 * i]);
    const int lo = hex_value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return true;
}

std::string hex_text(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

std::array<std::uint8_t, 4> address_bytes(const std::string& text) {
  std::array<std::uint8_t, 4> out{};
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4 && a < 256 && b < 256 &&
      c < 256 && d < 256) {
    out = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(c),
           static_cast<std::uint8_t>(d)};
  }
  return out;
}

void put16(std::array<std::uint8_t, 42>& img, std::size_t at, std::int32_t v) {
  img[at] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  img[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\n' || s.front() == 0))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n' || s.back() == 0))
    s.remove_suffix(1);
  return std::string(s);
}

// Opens a received packet under |key|; true when its checksum and identifiers check out.
bool open_with(const PacketBuffer& raw, const Key* key, PacketBuffer& out) {
  out = raw;
  const bool encrypted = out.CipherFlag() == telvor::kCipherOn;
  PacketVerdict v = telvor::PacketOpen(out, key, nullptr);
  if (v == PacketVerdict::kOk) v = telvor::PacketCheck(out, encrypted);
  return v == PacketVerdict::kOk;
}

}  // namespace

bool parse_id(std::string_view text, DeviceId& out) { return parse_hex(text, out); }
bool parse_key(std::string_view text, Key& out) { return parse_hex(text, out); }
std::string id_text(const DeviceId& id) { return hex_text(id); }

DeviceId id_plus(const DeviceId& id, std::uint64_t n) {
  std::uint64_t v = 0;
  for (std::uint8_t b : id) v = (v << 8) | b;
  v = (v + n) & 0xFFFFFFFFFFFFull;
  DeviceId out{};
  for (int i = 5; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

bool key_of_parts(const kl40::T_DEVICE_CommandMX3& set, Key& out) {
  Key k{};
  for (int part = 1; part <= 4; ++part) {
    if (!parse_hex(set.KeyPart(part), std::span<std::uint8_t>(k.data() + 8 * (part - 1), 8)))
      return false;
  }
  out = k;
  return true;
}

std::array<std::uint8_t, 42> parameter_image(const kl40::T_DEVICE_CommandMX3& set) {
  std::array<std::uint8_t, 42> img{};
  img[0] = 3;
  img[1] = 0x24;
  auto put_addr = [&](std::size_t at, int slot) {
    const auto a = address_bytes(set.Address(slot));
    std::copy(a.begin(), a.end(), img.begin() + static_cast<std::ptrdiff_t>(at));
  };
  put_addr(3, kl40::kSlotDevice);
  put16(img, 7, set.Port(kl40::kSlotDevice));
  put_addr(9, kl40::kSlotGateway);
  put_addr(13, kl40::kSlotMask);
  put_addr(17, kl40::kSlotServer1);
  put16(img, 21, set.Port(kl40::kSlotServer1));
  put_addr(23, kl40::kSlotServer2);
  put16(img, 27, set.Port(kl40::kSlotServer2));
  put_addr(29, kl40::kSlotServer3);
  put16(img, 33, set.Port(kl40::kSlotServer3));
  put16(img, 35, set.DutyCommand.Value1());
  put16(img, 37, set.DutyCommand.Value2());
  put16(img, 39, set.AnswerCommand.Value1());
  img[41] = static_cast<std::uint8_t>(set.AnswerCommand.Value2() & 0xFF);
  return img;
}

SimDevice::SimDevice(DeviceConfig config, std::uint64_t start_ms, std::uint32_t seed, EventSink sink)
    : config_(std::move(config)), sink_(std::move(sink)), rng_(seed), start_ms_(start_ms),
      id_(config_.id), key_(config_.key) {
  current_.Assign(config_.params);
  current_.IdentCommands[0].SetText(1, id_text(id_));
  for (int part = 1; part <= 4; ++part) {
    current_.IdentCommands[static_cast<std::size_t>(part)].SetText(
        1, hex_text(std::span<const std::uint8_t>(key_.data() + 8 * (part - 1), 8)));
  }
  pending_.Assign(current_);
  library_tag_ = static_cast<std::uint32_t>(rng_());
  next_duty_ = start_ms + config_.start_offset_ms;
  next_data_ = start_ms + static_cast<std::uint64_t>(config_.data_every_s * 1000.0) +
               config_.start_offset_ms;
}

void SimDevice::event(const std::string& text) const {
  if (sink_) sink_(id_, text);
}

std::uint8_t SimDevice::next_seq() {
  if (++seq_ == 0) seq_ = 1;
  return seq_;
}

std::uint32_t SimDevice::tag_for_packet() {
  if (config_.faults.bad_tags) return static_cast<std::uint32_t>(rng_());
  return library_tag_;
}

bool SimDevice::silent(std::uint64_t now) const {
  const Faults& f = config_.faults;
  if (f.silent_after_s <= 0) return false;
  const std::uint64_t from = start_ms_ + static_cast<std::uint64_t>(f.silent_after_s * 1000.0);
  if (now < from) return false;
  if (f.silent_for_s <= 0) return true;
  return now < from + static_cast<std::uint64_t>(f.silent_for_s * 1000.0);
}

void SimDevice::emit(std::vector<std::uint8_t> datagram, std::vector<std::vector<std::uint8_t>>& out) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  last_datagram_ = datagram;
  if (config_.faults.drop > 0 && u(rng_) < config_.faults.drop) {
    event("datagram dropped");
    return;
  }
  ++stats_.sent;
  out.push_back(datagram);
  if (config_.faults.duplicate > 0 && u(rng_) < config_.faults.duplicate) {
    ++stats_.sent;
    out.push_back(std::move(datagram));
    event("datagram duplicated");
  }
}

void SimDevice::send_packet(std::uint64_t now, std::uint8_t type, const std::vector<Item>& items,
                            std::vector<std::vector<std::uint8_t>>& out, bool remember) {
  if (silent(now)) return;
  PacketBuffer p;
  p.StartNew(id_, telvor::kCipherOn, type);
  p.SetTimeTag(tag_for_packet());
  for (const Item& it : items) p.AppendItem(it.kind, it.data);
  p.AppendInnerChecksum();
  telvor::GostRandomRecord random{};
  if (!telvor::PacketSeal(p, key_, &random, true)) return;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  if (config_.faults.corrupt > 0 && u(rng_) < config_.faults.corrupt && p.Length() > 8) {
    std::uniform_int_distribution<std::size_t> at(telvor::kPacketInnerId, p.Length() - 1);
    p.Storage()[at(rng_)] ^= 0x5A;
    event("datagram corrupted");
  }
  p.AppendOuterChecksum();
  if (remember) {
    last_type_ = type;
    last_items_ = items;
  }
  emit(telvor::FrameEncode(p.Bytes(), telvor::FrameEscapeMask(telvor::kChannelGprs)), out);
}

void SimDevice::queue_data(std::uint64_t now, std::uint8_t type, std::vector<std::uint8_t> payload,
                           std::vector<std::vector<std::uint8_t>>& out) {
  const std::uint8_t seq = next_seq();
  payload.insert(payload.begin(), seq);
  Item item{telvor::kItemData, std::move(payload)};
  const std::uint32_t wait = config_.answer_wait_ms
                                 ? config_.answer_wait_ms
                                 : static_cast<std::uint32_t>(
                                       std::max(1, current_.AnswerCommand.Value1()) * 1000);
  pending_data_[seq] = PendingData{type, item, 1, now + wait};
  send_packet(now, type, {item}, out);
}

void SimDevice::tick(std::uint64_t now, std::vector<std::vector<std::uint8_t>>& out) {
  const std::uint32_t duty = config_.duty_ms ? config_.duty_ms
                                             : static_cast<std::uint32_t>(
                                                   std::max(1, current_.DutyCommand.Value1()) * 1000);
  if (now >= next_duty_) {
    while (next_duty_ <= now) next_duty_ += duty;
    ++duty_count_;
    if (config_.faults.replay && !last_datagram_.empty() && !silent(now)) {
      event("replaying the previous datagram");
      std::vector<std::uint8_t> again = last_datagram_;
      emit(std::move(again), out);
    } else {
      // The duty message is a DG2 item: the library acknowledges it, which also gives it a reply to
      // carry commands in.
      std::vector<Item> items{{telvor::kItemDg2, {next_seq()}}};
      if (config_.time_request_every && duty_count_ % config_.time_request_every == 0) {
        items.push_back({telvor::kItemTimeRequest, {next_seq()}});
      }
      send_packet(now, config_.type, items, out);
    }
  }
  if (config_.data_every_s > 0 && now >= next_data_) {
    const auto every = static_cast<std::uint64_t>(config_.data_every_s * 1000.0);
    while (next_data_ <= now) next_data_ += std::max<std::uint64_t>(1, every);
    if (!silent(now)) {
      const std::string text = "sim data " + std::to_string(++data_count_);
      queue_data(now, config_.type, {text.begin(), text.end()}, out);
    }
  }
  const std::uint32_t retries = static_cast<std::uint32_t>(std::max(1, current_.AnswerCommand.Value2()));
  const std::uint32_t wait = config_.answer_wait_ms
                                 ? config_.answer_wait_ms
                                 : static_cast<std::uint32_t>(
                                       std::max(1, current_.AnswerCommand.Value1()) * 1000);
  for (auto it = pending_data_.begin(); it != pending_data_.end();) {
    PendingData& d = it->second;
    if (d.next_retry > now) {
      ++it;
      continue;
    }
    if (d.tries >= retries) {
      event("data " + std::to_string(it->first) + " not acknowledged, given up");
      it = pending_data_.erase(it);
      continue;
    }
    ++d.tries;
    d.next_retry = now + wait;
    send_packet(now, d.type, {d.item}, out);
    ++it;
  }
}

std::uint64_t SimDevice::next_due() const {
  std::uint64_t due = next_duty_;
  if (config_.data_every_s > 0) due = std::min(due, next_data_);
  for (const auto& [seq, d] : pending_data_) due = std::min(due, d.next_retry);
  return due;
}

void SimDevice::run_command(std::uint64_t now, std::string_view text,
                            std::vector<std::vector<std::uint8_t>>& out, bool& apply_after_ack) {
  const std::string t = trimmed(text);
  if (t == "gc") {
    const auto img = parameter_image(current_);
    event("command \"gc\": answering with the parameter image");
    queue_data(now, 1, {img.begin(), img.end()}, out);
  } else if (t == "wr") {
    current_.Assign(pending_);
    apply_after_ack = true;
    event("command \"wr\": pending parameters are now current");
  } else {
    kl40::ReadCommandsText(t, pending_);
    event("command \"" + t + "\": pending parameters changed");
  }
}

void SimDevice::apply_written_identity() {
  DeviceId id{};
  if (parse_id(current_.Identifier(), id) && id != id_) {
    event("identifier changes to " + id_text(id));
    id_ = id;
  }
  Key k{};
  if (key_of_parts(current_, k) && k != key_) {
    key_ = k;
    old_key_.reset();
    event("key replaced by the written parameters");
  }
}

void SimDevice::on_datagram(std::uint64_t now, std::span<const std::uint8_t> framed,
                            std::vector<std::vector<std::uint8_t>>& out) {
  ++stats_.received;
  if (silent(now)) return;
  telvor::FrameDecoder decoder;
  std::vector<std::uint8_t> raw;
  decoder.Feed(framed, [&](std::span<const std::uint8_t> f) { raw.assign(f.begin(), f.end()); });
  PacketBuffer received;
  if (raw.empty() || !received.Assign(raw) || received.OuterId() != id_) {
    ++stats_.undecodable;
    event("undecodable datagram ignored");
    return;
  }
  PacketBuffer p;
  bool under_current = open_with(received, &key_, p);
  if (!under_current && !(old_key_ && open_with(received, &*old_key_, p))) {
    ++stats_.undecodable;
    event("datagram that opens under no key of this device ignored");
    return;
  }
  if (under_current && old_key_ && received.CipherFlag() == telvor::kCipherOn) {
    old_key_.reset();
    event("key change complete: the library uses the new key");
  }
  library_tag_ = p.TimeTag();
  have_library_tag_ = true;
  p.IndexItems();

  std::vector<Item> reply;
  std::vector<std::string> commands;
  bool resend = false;
  for (std::size_t i = 0; i < p.ItemCount(); ++i) {
    const telvor::PacketItem item = p.Item(i);
    const std::uint8_t seq = item.data.empty() ? 0 : item.data[0];
    switch (item.kind) {
      case telvor::kItemAck:
        ++stats_.acks_received;
        if (pending_data_.erase(seq)) event("data " + std::to_string(seq) + " acknowledged");
        break;
      case telvor::kItemNak:
        if (item.data.empty()) {
          resend = true;
        } else if (pending_data_.erase(seq)) {
          event("data " + std::to_string(seq) + " refused by the library");
        }
        break;
      case telvor::kItemCommand: {
        ++stats_.commands;
        const std::string text(item.data.begin() + (item.data.empty() ? 0 : 1), item.data.end());
        if (config_.faults.ignore_commands) {
          event("command \"" + trimmed(text) + "\" ignored");
        } else if (config_.faults.refuse_commands) {
          event("command \"" + trimmed(text) + "\" refused");
          reply.push_back({telvor::kItemNak, {seq}});
        } else {
          reply.push_back({telvor::kItemAck, {seq}});
          commands.push_back(text);
        }
        break;
      }
      case telvor::kItemKeyChange: {
        if (config_.faults.ignore_key_change) {
          event("key-change item ignored");
          break;
        }
        if (!old_key_) {
          Key next{};
          if (config_.new_key) {
            next = *config_.new_key;
          } else if (!key_of_parts(pending_, next)) {
            event("key-change item without a usable new key ignored");
            break;
          }
          old_key_ = key_;
          key_ = next;
          event("key change: switched to the new key");
        }
        reply.push_back({telvor::kItemAck, {seq}});
        break;
      }
      case telvor::kItemDg2:
        event("DG2 poll answered");
        reply.push_back({telvor::kItemAck, {seq}});
        // A status item of its own keeps two answers to two polls from looking like one packet
        // sent twice.
        reply.push_back({telvor::kItemStatus, {next_seq()}});
        break;
      case telvor::kItemTimeReply: {
        const std::string text(item.data.begin() + (item.data.empty() ? 0 : 1), item.data.end());
        event("time reply " + text);
        break;
      }
      default:
        break;
    }
  }
  if (resend && resends_ < 3 && !last_items_.empty()) {
    ++resends_;
    event("negative reply: sending again");
    send_packet(now, last_type_, last_items_, out);
  } else if (!resend) {
    resends_ = 0;
  }
  if (!reply.empty()) send_packet(now, config_.type, reply, out, false);
  bool apply = false;
  for (const std::string& c : commands) run_command(now, c, out, apply);
  if (apply) apply_written_identity();
}

}  // namespace kl40sim
