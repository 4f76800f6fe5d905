// The GPRS device session. See gprs_session.h for the handler contract.
#include "telvor/protocol/gprs_session.h"

#include <algorithm>
#include <cstring>

#include "telvor/crypto/default_key.h"
#include "telvor/protocol/crc.h"

namespace telvor {

namespace {

constexpr std::string_view kLogTimerOpen =
    "telvor.dll::Timers_GPRS_1(1) - ma_DISREPAIR (после открытия канала ответа не поступило)";
constexpr std::string_view kLogTimerPolls =
    "telvor.dll::Timers_GPRS_1(2) - ma_DISREPAIR (количество повторов ДР2 с пульта исчерпано)";
constexpr std::string_view kLogBadCrc =
    "telvor.dll::IncomingPacketGPRS(1) - ma_DISREPAIR (количество плохих CRC превысило "
    "критический параметр. ГОСТ вроде как норм.)";
constexpr std::string_view kLogBadGost =
    "telvor.dll::IncomingPacketGPRS(2) - ma_DISREPAIR (количество плохих CRC превысило "
    "критический параметр. ошибка расшифровки ГОСТ.)";
constexpr std::string_view kLogBadTags =
    "telvor.dll::IncomingPacketGPRS(3) - ma_DISRP_IMIT_UT  (количество плохих таймерных меток "
    "превысило критический параметр.)";
constexpr std::string_view kLogDutyAfterOpen =
    "telvor.dll::IncomingPacketGPRS(4) - ma_DUTY (исправность после включения канала)";
constexpr std::string_view kLogDutyAfterFault =
    "telvor.dll::IncomingPacketGPRS(5) - ma_DUTY  (исправность после ожидания включения в режиме "
    "'неисправность')";
constexpr std::string_view kLogReplayed =
    "telvor.dll::IncomingPacketGPRS(6) - ma_DISRP_IMIT_UT (количество следующих подряд одинаковых "
    "пакетов(т.н.'дублирующих'(у которых даже № пакета совпал)) превысило критический "
    "параметр).также совпали сл.байты в ГОСТ-е";
constexpr std::string_view kLogBeforeRead =
    "telvor.dll::IncomingPacketGPRS(7) - перед Read_GPRS";
constexpr std::string_view kLogRepeated =
    "telvor.dll::IncomingPacketGPRS(8) - ma_DISREPAIR. (на пульт пришло критическое количество "
    "одинаковых пакетов. случайные байты ГОСТа несовпали. вероятнее всего до прибора не доходят "
    "пакеты)";
constexpr std::string_view kLogKvitGood = "telvor.dll::IncomingPacketGPRS - msg_KVITGOOD";
constexpr std::string_view kLogKvitBad = "telvor.dll::IncomingPacketGPRS - msg_KVITBAD";
constexpr std::string_view kLogSendCmd =
    "telvor.dll::Send_CMD_GPRS - Команда поставлена на обработку";
constexpr std::string_view kLogChangeKey =
    "telvor.dll::ChangeKeyNow_GPRS - Команда смены ключа поставлена на обработку";

// Command flag bits in the order they are served, and the packet type of each.
constexpr std::array<std::uint8_t, 9> kBitType = {0x12, 0x13, 0x14, 0x15, 0x16,
                                                  0x11, 0x17, 0x18, 0x19};
constexpr std::uint16_t kServiceOnlyBits = 0x1E0;  // bits 5..8

// The command flag bit of an export code (0x11..0x19), or -1 for a code that sets none.
int bit_of_code(std::int32_t code) {
  switch (code) {
    case 0x11: return 5;
    case 0x12: return 0;
    case 0x13: return 1;
    case 0x14: return 2;
    case 0x15: return 3;
    case 0x16: return 4;
    case 0x17: return 6;
    case 0x18: return 7;
    case 0x19: return 8;
    default: return -1;
  }
}

std::uint32_t clamp_slot(std::int32_t v) { return v < 0 ? 0u : static_cast<std::uint32_t>(v); }

// The body from offset 7 up to the inner checksum, time tag left out, of two opened packets.
bool same_body_without_tag(const PacketBuffer& a, const PacketBuffer& b) {
  if (a.Length() != b.Length() || a.Length() < kPacketMinLength) return false;
  const auto x = a.Bytes();
  const auto y = b.Bytes();
  const std::size_t end = x.size() - 2;
  return std::equal(x.begin() + kPacketInnerId, x.begin() + kPacketTimeTag,
                    y.begin() + kPacketInnerId) &&
         std::equal(x.begin() + kPacketType, x.begin() + end, y.begin() + kPacketType);
}

// Whether a trial open under the new key checked out (inner checksum and identifier right).
bool trial_checked_out(PacketVerdict v) {
  return v == PacketVerdict::kOk || v == PacketVerdict::kTooShort || v == PacketVerdict::kNoItems;
}

bool is_checksum_failure(PacketVerdict v) {
  return v == PacketVerdict::kDecryptFailed || v == PacketVerdict::kBodyTooShort ||
         v == PacketVerdict::kBadInnerChecksum;
}

std::uint16_t record_length(const std::array<std::uint8_t, kCommandRecordSize>& record) {
  const std::uint16_t n = static_cast<std::uint16_t>(record[3] | (record[4] << 8));
  return std::min<std::uint16_t>(n, kCommandRecordSize - 5);
}

}  // namespace

GprsSettings GprsSettings::from_slots(std::span<const std::int32_t, 38> slots) {
  GprsSettings s;
  s.Open_GPRS = clamp_slot(slots[88 / 4]);
  s.ToSendDG2_GPRS = clamp_slot(slots[92 / 4]);
  s.ToRetrySendDG2_GPRS = clamp_slot(slots[96 / 4]);
  s.CountRetrySendDG2_GPRS = clamp_slot(slots[100 / 4]);
  s.ToWaitKvitCmd_GPRS = clamp_slot(slots[104 / 4]);
  s.ToWaitSendDAfterIn = clamp_slot(slots[108 / 4]);
  s.CountRetryRecive_GPRS = clamp_slot(slots[112 / 4]);
  s.CountNoGoodTimeTag_GPRS = clamp_slot(slots[116 / 4]);
  s.key_change_attempts = static_cast<std::uint16_t>(slots[56 / 4] & 0xFFFF);
  return s;
}

std::optional<std::uint8_t> gprs_unknown_id_packet_type(std::span<const std::uint8_t> raw) {
  if (raw.empty() || raw.size() > kPacketCapacity) return std::nullopt;
  PacketBuffer packet;
  if (!packet.Assign(raw)) return std::nullopt;
  if (packet.CipherFlag() == kCipherOn) {
    const GostFullKey key = GostDefaultKey();
    if (PacketOpen(packet, &key, nullptr) != PacketVerdict::kOk) return std::nullopt;
  }
  if (packet.LengthFrom7() <= 2 || !packet.InnerChecksumOk()) return std::nullopt;
  if (packet.InnerId() != packet.OuterId()) return std::nullopt;
  return packet.Type();
}

GprsSession::GprsSession(GprsEnv& env, const Id& id, const Key& key, const GprsSettings& settings,
                         bool keyed)
    : env_(env), id_(id), key_(key), keyed_(keyed), settings_(settings) {}

// ---- state reports ----------------------------------------------------------------------------

void GprsSession::report_state(std::int32_t state, std::int32_t reason) {
  if (env_.service_mode()) {
    env_.host_set_hard_state(true, id_.data(), state, reason);
    if (!env_.created_by_service_open()) env_.host_set_hard_state(false, id_.data(), state, reason);
  } else {
    env_.host_set_hard_state(false, id_.data(), state, reason);
  }
}

void GprsSession::report_fault(std::int32_t state, std::string_view log_text) {
  env_.log(log_text);
  report_state(state, fault_reason_);
  clear_tag_state();
  fault_reason_ = kReasonOther;
  state_ = GprsState::Faulty;
}

void GprsSession::clear_tag_state() {
  tag_history_.fill(0);
  tag_count_ = 0;
  tag_chain_ = false;
  last_device_tag_ = 0;
}

void GprsSession::push_tag(std::uint32_t tag) {
  std::move_backward(tag_history_.begin(), tag_history_.end() - 1, tag_history_.end());
  tag_history_[0] = tag;
  if (tag_count_ < tag_history_.size()) ++tag_count_;
}

// ---- session timer ----------------------------------------------------------------------------

void GprsSession::opened() { state_ = GprsState::Opening; }

void GprsSession::arm_session_timer() {
  switch (state_) {
    case GprsState::Opening:
      first_packet_ = false;
      env_.arm_timer(GprsTimer::Session, settings_.Open_GPRS);
      break;
    case GprsState::Duty:
      answer_ = false;
      polls_left_ = settings_.CountRetrySendDG2_GPRS;
      env_.arm_timer(GprsTimer::Session, settings_.ToSendDG2_GPRS);
      break;
    case GprsState::Polling:
      answer_ = false;
      env_.arm_timer(GprsTimer::Session, settings_.ToRetrySendDG2_GPRS);
      break;
    case GprsState::Faulty:
      state_ = GprsState::Opening;
      first_packet_ = true;
      env_.set_session_set_up();
      env_.arm_timer(GprsTimer::Session, 0);
      break;
    case GprsState::Closed:
      break;
  }
}

bool GprsSession::Timers_GPRS_1() {
  env_.cancel_timer(GprsTimer::Session);
  switch (state_) {
    case GprsState::Opening: {
      const bool set_up = env_.take_session_set_up();
      if (!set_up) {
        state_ = GprsState::Faulty;
        return false;
      }
      if (first_packet_) {
        state_ = GprsState::Duty;
        env_.bind_session();
        return true;
      }
      have_last_received_ = false;
      tag_history_.fill(0);
      tag_count_ = 0;
      if (!env_.has_bound_session()) {
        report_fault(ma_DISREPAIR, kLogTimerOpen);
      }
      first_packet_ = false;
      state_ = GprsState::Faulty;
      return false;
    }
    case GprsState::Duty:
    case GprsState::Polling:
      if (answer_) {
        state_ = GprsState::Duty;
        env_.bind_session();
        return true;
      }
      if (polls_left_ > 0) {
        if (state_ == GprsState::Duty) first_poll_of_silence_ = true;
        state_ = GprsState::Polling;
        if (have_reply_template_) {
          dg2_due_ = true;
          env_.request_send();
        }
        --polls_left_;
        return true;
      }
      have_last_received_ = false;
      tag_history_.fill(0);
      tag_count_ = 0;
      report_fault(ma_DISREPAIR, kLogTimerPolls);
      return false;
    default:
      return false;
  }
}

// ---- receiving --------------------------------------------------------------------------------

void GprsSession::item_state_effect() {
  switch (state_) {
    case GprsState::Opening:
      first_packet_ = true;
      env_.log(kLogDutyAfterOpen);
      report_state(ma_DUTY, fault_reason_);
      env_.arm_timer(GprsTimer::Session, 0);
      break;
    case GprsState::Duty:
    case GprsState::Polling:
      answer_ = true;
      env_.arm_timer(GprsTimer::Session, 0);
      break;
    case GprsState::Faulty:
      env_.log(kLogDutyAfterFault);
      report_state(ma_DUTY, fault_reason_);
      arm_session_timer();
      break;
    case GprsState::Closed:
      break;
  }
  bad_tags_ = 0;
}

void GprsSession::handle_ack(std::uint8_t kind, std::uint8_t sequence, bool under_new_key) {
  auto it = std::find_if(sent_.begin(), sent_.end(),
                         [&](const SentCommand& e) { return e.sequence == sequence; });
  if (it == sent_.end()) return;
  it->acknowledged = true;
  if (kind == kItemNak) {
    env_.log(kLogKvitBad);
    env_.host_cmd_result(it->type, id_.data(), it->record.data(), kCmdRefused);
  } else if (under_new_key && key_change_pending_) {
    dg2_due_ = true;
    awaiting_ack_ = false;
    new_key_poll_due_ = true;
  } else {
    env_.log(kLogKvitGood);
    env_.host_cmd_result(it->type, id_.data(), it->record.data(), kCmdAcknowledged);
  }
  const bool all_acked =
      std::all_of(sent_.begin(), sent_.end(), [](const SentCommand& e) { return e.acknowledged; });
  if (all_acked && ack_timer_running_) env_.arm_timer(GprsTimer::Ack, 0);
}

bool GprsSession::fetch_new_key(Key& out) {
  const bool svc = env_.created_by_service_open();
  std::int32_t len = 0;
  if (env_.host_get_cypher(svc, id_.data(), nullptr, &len, 1) != 1) return false;
  len = static_cast<std::int32_t>(out.size());
  Key fetched{};
  env_.host_get_cypher(svc, id_.data(), fetched.data(), &len, 1);
  out = fetched;
  return true;
}

void GprsSession::IncomingPacketGPRS(const GprsPeer& peer, std::span<const std::uint8_t> raw) {
  if (state_ == GprsState::Closed) return;
  last_traffic_ms_ = env_.now_ms();

  PacketBuffer packet;
  if (!raw.empty()) packet.Assign(raw.first(std::min(raw.size(), kPacketCapacity)));
  const bool encrypted = packet.CipherFlag() == kCipherOn;

  // Decryption: during a key change the new key is tried first on a copy.
  bool under_new_key = false;
  PacketVerdict verdict = PacketVerdict::kOk;
  if (encrypted) {
    GostRandomRecord random{};
    if (key_change_pending_) {
      Key candidate{};
      if (fetch_new_key(candidate)) {
        PacketBuffer trial = packet;
        GostRandomRecord trial_random{};
        PacketVerdict tv = PacketOpen(trial, &candidate, &trial_random);
        if (tv == PacketVerdict::kOk) tv = PacketCheck(trial, true);
        if (trial_checked_out(tv)) {
          packet = trial;
          random = trial_random;
          verdict = tv;
          under_new_key = true;
          new_key_ = candidate;
          new_key_loaded_ = true;
        }
      }
      if (!under_new_key && awaiting_ack_) {
        awaiting_ack_ = false;
        if (attempts_left_ > 0) --attempts_left_;
        if (attempts_left_ == 0) key_change_failed();
      }
    }
    if (!under_new_key) {
      verdict = PacketOpen(packet, keyed_ ? &key_ : nullptr, &random);
      if (verdict == PacketVerdict::kOk) verdict = PacketCheck(packet, true);
    }
    random_before_ = random_last_;
    random_last_ = random;
  } else {
    verdict = PacketOpen(packet, nullptr, nullptr);
    if (verdict == PacketVerdict::kOk) verdict = PacketCheck(packet, false);
  }

  // A packet under the new key answering the new-key poll completes the key change.
  if (under_new_key && new_key_poll_ && key_change_pending_) {
    report_state(kStateKeyChanged, fault_reason_);
    key_ = new_key_;
    keyed_ = true;
    key_change_pending_ = false;
    awaiting_ack_ = false;
    new_key_poll_due_ = false;
  }
  new_key_poll_ = false;

  // Checksum test.
  if (is_checksum_failure(verdict)) {
    if (bad_packets_ < 5) {
      ++bad_packets_;
      if (bad_packets_ == 5) {
        const bool crc = verdict == PacketVerdict::kBadInnerChecksum;
        fault_reason_ = crc ? kReasonBadChecksum : kReasonDecryption;
        if (state_ == GprsState::Faulty) report_fault(ma_DISREPAIR, crc ? kLogBadCrc : kLogBadGost);
      }
    }
  } else {
    bad_packets_ = 0;
  }

  bool bad = verdict != PacketVerdict::kOk;
  bool repeat = false;
  if (bad) {
    repeats_ = 0;
  } else if (!have_last_received_) {
    tag_chain_ = true;
    last_device_tag_ = packet.TimeTag();
    repeats_ = 0;
  } else {
    const std::uint32_t tag = packet.TimeTag();
    const bool in_history =
        std::find(tag_history_.begin(), tag_history_.begin() + tag_count_, tag) !=
        tag_history_.begin() + tag_count_;
    bool repeat_test = false;
    if (in_history) {
      repeat_test = true;
    } else if (!tag_chain_) {
      tag_chain_ = true;
      last_device_tag_ = tag;
      repeats_ = 0;
    } else if (tag == last_device_tag_) {
      repeat_test = true;
    } else if (tag == kTagAlwaysAccepted) {
      repeats_ = 0;
    } else {
      const std::uint32_t limit = std::max<std::uint32_t>(1, settings_.CountNoGoodTimeTag_GPRS);
      if (bad_tags_ < limit) {
        ++bad_tags_;
        if (bad_tags_ == limit) report_fault(ma_DISRP_IMIT_UT, kLogBadTags);
      }
      bad = true;
    }
    if (repeat_test) {
      if (negative_reply_ || !same_body_without_tag(packet, last_received_)) {
        tag_chain_ = true;
        last_device_tag_ = tag;
        repeats_ = 0;
      } else {
        const std::uint32_t threshold = std::max<std::uint32_t>(2, settings_.CountRetryRecive_GPRS);
        if (repeats_ < threshold - 1) ++repeats_;
        if (repeats_ >= threshold - 1) {
          if (random_last_ == random_before_) {
            report_fault(ma_DISRP_IMIT_UT, kLogReplayed);
          } else {
            report_fault(ma_DISREPAIR, kLogRepeated);
          }
          bad = true;
        } else {
          repeat = true;
          tag_chain_ = true;
          last_device_tag_ = tag;
        }
      }
    }
  }

  // Trace of what arrived (plain, without the inner checksum).
  {
    const auto bytes = packet.Bytes();
    const std::size_t n = bytes.size() > kPacketInnerId + 2 ? bytes.size() - 2 : bytes.size();
    env_.host_trace(bad ? 0 : packet.Type(), id_.data(), peer, bytes.first(n), 0);
  }

  // The reply starts as a copy of the head with no items.
  const std::uint8_t type = packet.Type();
  const bool device_type = type >= 1 && type <= 9;
  PacketBuffer reply;
  if (packet.Length() >= kPacketHeadSize) {
    reply.StartFrom(packet, PacketReplyType(type));
  } else {
    reply.StartNew(id_, encrypted ? kCipherOn : (packet.Length() > kPacketCipherFlag ? packet.CipherFlag() : kCipherOn),
                   PacketReplyType(type));
  }
  std::size_t reply_items = 0;
  bool needs_answer = false;
  bool new_data = false;
  bool time_request = false;

  if (bad || !device_type) {
    reply.AppendItem(kItemNak, {});
    ++reply_items;
    negative_reply_ = true;
    const auto outer = reply.OuterId();
    if (reply.InnerId() != outer) reply.SetInnerId(outer);
    needs_answer = true;
  } else {
    packet.IndexItems();
    needs_answer = packet.IsLongType();
    bool effect_done = false;
    for (std::size_t i = 0; i < packet.ItemCount(); ++i) {
      const PacketItem item = packet.Item(i);
      const std::uint8_t kind = item.kind;
      if (!effect_done && (kind == kItemStatus || kind == kItemData || kind == kItemAck ||
                           kind == kItemDg2 || kind == kItemTimeRequest)) {
        effect_done = true;
        item_state_effect();
      }
      const std::uint8_t seq = item.data.empty() ? 0 : item.data[0];
      switch (kind) {
        case kItemData: {
          if (item.data.empty()) break;
          needs_answer = true;
          const bool acked = reply.AppendItem(kItemAck, std::span<const std::uint8_t>(&seq, 1));
          if (acked) ++reply_items;
          bool in_previous = false;
          if (!negative_reply_ && have_last_received_) {
            for (std::size_t j = 0; j < last_received_->ItemCount() && !in_previous; ++j) {
              const PacketItem old = last_received_->Item(j);
              in_previous = old.kind == kItemData && old.length == item.length &&
                            std::equal(old.data.begin(), old.data.end(), item.data.begin(),
                                       item.data.end());
            }
          }
          if (!repeat && !in_previous) {
            env_.log(kLogBeforeRead);
            new_data = true;
            const std::int32_t refused = env_.host_read_gprs(type, id_.data(), item.data.subspan(1));
            if (refused != 0 && acked) {
              reply.RemoveLastItem();
              --reply_items;
            }
          }
          break;
        }
        case kItemDg2:
          needs_answer = true;
          if (reply.AppendItem(kItemAck, std::span<const std::uint8_t>(&seq, 1))) ++reply_items;
          break;
        case kItemTimeRequest: {
          needs_answer = true;
          time_request = true;
          const std::tm t = env_.local_time();
          const auto text = PacketTimeText(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                            t.tm_min, t.tm_sec);
          std::array<std::uint8_t, 21> data{};
          data[0] = seq;
          std::memcpy(data.data() + 1, text.data(), text.size());
          if (reply.AppendItem(kItemTimeReply, data)) ++reply_items;
          break;
        }
        case kItemAck:
        case kItemNak:
          if (!item.data.empty()) handle_ack(kind, seq, under_new_key);
          break;
        default:
          break;
      }
    }
    negative_reply_ = false;
    last_received_ = packet;
    have_last_received_ = true;
  }

  if (reply_items > 0) {
    reply_template_ = reply;
    have_reply_template_ = true;
    reply_pending_ = true;
  }
  peer_ = peer;
  const bool unacked_left =
      std::any_of(sent_.begin(), sent_.end(), [](const SentCommand& e) { return !e.acknowledged; });
  if (ack_timer_running_ && (!unacked_left || new_data || time_request)) {
    env_.arm_timer(GprsTimer::Ack, 0);
  }
  if (needs_answer) env_.request_send();
}

// ---- sending ----------------------------------------------------------------------------------

std::uint16_t GprsSession::servable_flags() const {
  std::uint16_t flags = command_flags_;
  if (!env_.service_mode()) flags &= static_cast<std::uint16_t>(~kServiceOnlyBits);
  return flags;
}

bool GprsSession::work_waiting() const {
  return reply_pending_ || dg2_due_ || packet_full_ || servable_flags() != 0;
}

bool GprsSession::fits_size_limit(const PacketBuffer& packet) const {
  GostRandomRecord random{};
  std::size_t unframed = 0;
  const auto framed = PacketEncodeForWire(packet, key_, &random, true, &unframed);
  if (framed.empty()) return false;
  return PacketWithinLimit(packet.Type(), env_.service_mode(), unframed, framed.size());
}

// Serves the first set command flag into |packet|. Returns whether an item was added.
bool GprsSession::serve_commands(PacketBuffer& packet) {
  const std::uint16_t flags = servable_flags();
  int bit = -1;
  for (int b = 0; b < 9; ++b) {
    if (flags & (1u << b)) {
      bit = b;
      break;
    }
  }
  if (bit < 0) return false;
  const std::uint8_t type = kBitType[bit];
  const std::size_t items_before = packet.ItemCount();
  // A long type carries one item only: a packet that already holds items waits for the next one.
  if (PacketIsLongType(type) && items_before > 0) {
    packet_full_ = true;
    return false;
  }
  const std::uint8_t previous_type = packet.Type();
  packet.SetType(type);
  bool added = false;

  if (key_change_pending_) {
    const std::uint8_t number = key_change_number_;
    if (packet.AppendItem(kItemKeyChange, std::span<const std::uint8_t>(&number, 1))) {
      if (fits_size_limit(packet) || packet.ItemCount() == 1) {
        SentCommand entry;
        entry.type = type;
        entry.sequence = number;
        sent_.push_back(entry);
        awaiting_ack_ = true;
        added = true;
      } else {
        packet.RemoveLastItem();
      }
    }
    packet_full_ = true;  // the key-change item always ends the packet; the bit stays set
    if (!added) packet.SetType(previous_type);
    return added;
  }

  // A host that keeps handing out the same command whatever the marks say must not hold the
  // session here: after as many rounds as a packet has items, the flag is dropped.
  bool host_done = false;
  for (std::size_t round = 0; round <= kPacketMaxItems; ++round) {
    std::array<std::uint8_t, kCommandRecordSize> record{};
    if (env_.host_get_cmd_gprs(type, id_.data(), record.data(), 0) == 0) {
      host_done = true;
      break;
    }
    const std::uint16_t n = record_length(record);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n) + 1);
    data[0] = record[2];
    std::copy_n(record.begin() + 5, n, data.begin() + 1);
    const bool had_items = packet.ItemCount() > 0;
    bool fits = packet.AppendItem(kItemCommand, data);
    if (fits && !fits_size_limit(packet)) {
      packet.RemoveLastItem();
      fits = false;
    }
    if (!fits) {
      if (had_items) {
        packet_full_ = true;  // the command waits for the next packet; the bit stays set
        break;
      }
      // The command cannot travel in any packet: it is taken and settled as refused.
      env_.host_get_cmd_gprs(type, id_.data(), record.data(), 1);
      env_.host_cmd_result(type, id_.data(), record.data(), kCmdRefused);
      continue;
    }
    env_.host_get_cmd_gprs(type, id_.data(), record.data(), 1);
    SentCommand entry;
    entry.type = type;
    entry.sequence = record[2];
    entry.record = record;
    sent_.push_back(entry);
    added = true;
    if (packet.IsLongType()) {
      packet_full_ = true;  // its one item is there; further commands go in the next packet
      break;
    }
  }
  if (host_done || !packet_full_) command_flags_ &= static_cast<std::uint16_t>(~(1u << bit));
  if (!added) packet.SetType(previous_type);
  return added;
}

GprsSendResult GprsSession::send_requested() {
  if (state_ == GprsState::Closed) return GprsSendResult::Done;
  outgoing_->Clear();
  outgoing_ready_ = false;
  outgoing_fresh_random_ = false;
  outgoing_new_key_poll_ = false;
  packet_full_ = false;
  sent_.clear();

  bool is_reply = false;
  if (reply_pending_) {
    outgoing_ = reply_template_;
    reply_pending_ = false;
    is_reply = true;
  } else if (have_reply_template_) {
    outgoing_->StartFrom(reply_template_, reply_template_->Type());
  } else {
    dg2_due_ = false;
    return GprsSendResult::Done;  // nothing has been received: nowhere to send to
  }
  const bool long_reply = is_reply && outgoing_->IsLongType();

  bool command_item = false;
  if (servable_flags() != 0 && !long_reply && !(key_change_pending_ && dg2_due_)) {
    command_item = serve_commands(outgoing_);
    if (command_item) outgoing_fresh_random_ = true;
  }

  bool dg2_item = false;
  if (dg2_due_ && !long_reply && (!command_item || key_change_pending_) &&
      !(outgoing_->IsLongType() && outgoing_->ItemCount() > 0)) {
    const std::uint8_t zero = 0;
    if (outgoing_->AppendItem(kItemDg2, std::span<const std::uint8_t>(&zero, 1))) {
      dg2_item = true;
      outgoing_fresh_random_ = true;
      if (key_change_pending_ && new_key_poll_due_) {
        outgoing_new_key_poll_ = true;
        new_key_poll_due_ = false;
      }
    }
    dg2_due_ = false;
  }

  if (outgoing_->ItemCount() == 0) {
    outgoing_->Clear();
    return work_waiting() ? GprsSendResult::Again : GprsSendResult::Done;
  }

  // Time tag.
  if (command_item || dg2_item) {
    std::uint32_t tag = kTagBeforeFirstPacket;
    if (tag_chain_) {
      tag = last_device_tag_;
    } else if (tag_count_ > 0) {
      tag = tag_history_[0];
    }
    outgoing_->SetTimeTag(tag);
    if (dg2_item && first_poll_of_silence_) {
      push_tag(tag);
      first_poll_of_silence_ = false;
    }
  } else {
    std::uint32_t tag = 0;
    for (int i = 0; i < 4; ++i) tag |= static_cast<std::uint32_t>(env_.random_byte()) << (8 * i);
    outgoing_->SetTimeTag(tag);
    push_tag(tag);
  }

  // A reply that grew past its size limit is cut back to its last complete item that fits.
  while (outgoing_->ItemCount() > 1 && !fits_size_limit(outgoing_)) outgoing_->RemoveLastItem();

  outgoing_ready_ = true;
  const std::uint64_t now = env_.now_ms();
  const std::uint64_t since = now >= last_traffic_ms_ ? now - last_traffic_ms_ : 0;
  if (since < settings_.ToWaitSendDAfterIn) {
    env_.arm_timer(GprsTimer::SendDelay,
                   static_cast<std::uint32_t>(settings_.ToWaitSendDAfterIn - since));
    return GprsSendResult::Waiting;
  }
  return transmit();
}

GprsSendResult GprsSession::transmit() {
  env_.cancel_timer(GprsTimer::SendDelay);
  if (state_ == GprsState::Closed || !outgoing_ready_) return GprsSendResult::Done;
  outgoing_ready_ = false;
  last_traffic_ms_ = env_.now_ms();
  env_.host_trace(outgoing_->Type(), id_.data(), peer_, outgoing_->Bytes(), 1);

  Key seal_key = key_;
  if (outgoing_new_key_poll_) {
    Key fetched{};
    if (fetch_new_key(fetched)) {
      new_key_ = fetched;
      new_key_loaded_ = true;
    }
    if (new_key_loaded_) seal_key = new_key_;
  }
  GostRandomRecord random = outgoing_fresh_random_ ? GostRandomRecord{} : random_last_;
  const auto framed = PacketEncodeForWire(outgoing_, seal_key, &random, outgoing_fresh_random_);
  if (!framed.empty()) env_.send_datagram(peer_, framed);

  if (outgoing_new_key_poll_) new_key_poll_ = true;
  if (!sent_.empty() || outgoing_new_key_poll_) {
    ack_timer_running_ = true;
    env_.arm_timer(GprsTimer::Ack, settings_.ToWaitKvitCmd_GPRS);
    return GprsSendResult::Waiting;
  }
  return packet_transmitted();
}

GprsSendResult GprsSession::packet_transmitted() {
  if (ack_timer_running_) env_.cancel_timer(GprsTimer::Ack);
  ack_timer_running_ = false;
  if (state_ == GprsState::Closed) return GprsSendResult::Done;

  if (!key_change_pending_) {
    const bool any_acked =
        std::any_of(sent_.begin(), sent_.end(), [](const SentCommand& e) { return e.acknowledged; });
    for (const SentCommand& e : sent_) {
      if (!e.acknowledged) {
        env_.host_cmd_result(e.type, id_.data(), e.record.data(),
                             any_acked ? kCmdOthersAcknowledged : kCmdNoAcknowledgement);
      }
    }
  } else if (awaiting_ack_) {
    awaiting_ack_ = false;
    if (attempts_left_ > 0) --attempts_left_;
    if (attempts_left_ == 0) key_change_failed();
  }
  sent_.clear();
  outgoing_->Clear();
  return work_waiting() ? GprsSendResult::Again : GprsSendResult::Done;
}

void GprsSession::key_change_failed() {
  key_change_pending_ = false;
  attempts_left_ = 0;
  packet_full_ = false;
  awaiting_ack_ = false;
  new_key_poll_due_ = false;
  report_state(kStateKeyChangeFailed, fault_reason_);
}

void GprsSession::close() {
  state_ = GprsState::Closed;
  env_.cancel_timer(GprsTimer::Session);
  env_.cancel_timer(GprsTimer::SendDelay);
  env_.cancel_timer(GprsTimer::Ack);
  ack_timer_running_ = false;
  outgoing_ready_ = false;
}

// ---- requests from the exports -----------------------------------------------------------------

void GprsSession::Send_CMD_GPRS(std::int32_t code) {
  env_.log(kLogSendCmd);
  const int bit = bit_of_code(code);
  if (bit >= 0 && (bit < 5 || env_.service_mode())) {
    command_flags_ |= static_cast<std::uint16_t>(1u << bit);
  }
  env_.request_send();
}

void GprsSession::ChangeKeyNow_GPRS(std::int32_t code) {
  env_.log(kLogChangeKey);
  key_change_number_ = env_.random_byte();
  key_change_pending_ = true;
  attempts_left_ = settings_.key_change_attempts;
  awaiting_ack_ = false;
  new_key_poll_due_ = false;
  new_key_loaded_ = false;
  const int bit = bit_of_code(code);
  if (bit >= 0 && (bit < 5 || env_.service_mode())) {
    command_flags_ |= static_cast<std::uint16_t>(1u << bit);
  }
  env_.request_send();
}

bool GprsSession::ChangeKeyNow() {
  const bool svc = env_.created_by_service_open();
  std::int32_t len = 0;
  if (env_.host_get_cypher(svc, id_.data(), nullptr, &len, 0) != 1) {
    keyed_ = false;
    return false;
  }
  len = static_cast<std::int32_t>(key_.size());
  Key fetched{};
  env_.host_get_cypher(svc, id_.data(), fetched.data(), &len, 0);
  key_ = fetched;
  keyed_ = true;
  return true;
}

}  // namespace telvor
