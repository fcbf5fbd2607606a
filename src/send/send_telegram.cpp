#include "send/send_telegram.h"

#include <algorithm>
#include <cmath>

#include "asdu/element_codings.h"
#include "link/link_context.h"
#include "link/port_record.h"
#include "platform/clock.h"
#include "platform/time_base.h"
#include "record/frame_status.h"
#include "record/general_params.h"
#include "send/send_records.h"

namespace kivo {

namespace {

using namespace ft12;

constexpr std::int64_t kDayNumberOf1970 = 25569;  // 1970-01-01 counted from 1899-12-30
constexpr double kLastDayNumber = 2958465.0;      // 9999-12-31
constexpr std::uint8_t kBit7 = 0x80;

// Types whose elements the builder knows.
constexpr std::uint8_t kTypeTimeTagged = 1, kTypeRelativeTime = 2, kTypeMeasurandsI = 3,
                       kTypeTimeTaggedMeasurand = 4, kTypeIdentification = 5, kTypeTimeSync = 6,
                       kTypeInterrogation = 7, kTypeInterrogationEnd = 8, kTypeMeasurandsII = 9,
                       kTypeGenericData = 10, kTypeGenericIdentification = 11,
                       kTypeGeneralCommand = 20, kTypeGenericCommand = 21,
                       kTypeDisturbanceList = 23, kTypeOrder = 24;

// The date and time of day the time tag shows.
struct Moment {
  int year = 1899, month = 12, day = 30;
  int weekday = 6;  // Monday 1 .. Sunday 7
  std::uint32_t msOfDay = 0;
};

Moment MomentOf(TimeBase& time, const SendTelegram& telegram) {
  double days;
  if (telegram.date != 0.0 && std::isfinite(telegram.date) && telegram.date > -693593.0 &&
      telegram.date < kLastDayNumber) {
    days = std::floor(telegram.date);
  } else {
    const LocalTime now = time.clock().Now();
    days = DayNumber(now.year, now.month, now.day);
  }
  std::int64_t ms;
  if (telegram.time != 0.0 && std::isfinite(telegram.time)) {
    const double fraction = telegram.time - std::floor(telegram.time);
    ms = std::llround(fraction * kMsPerDay);
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  } else {
    ms = time.TimeOfDayMs() % kMsPerDay;
  }
  Moment m;
  const auto dayNumber = static_cast<std::int64_t>(days);
  CivilFromDays(dayNumber - kDayNumberOf1970, m.year, m.month, m.day);
  // 1899-12-30 was a Saturday.
  m.weekday = static_cast<int>(((dayNumber % 7) + 7 + 5) % 7) + 1;
  m.msOfDay = static_cast<std::uint32_t>(ms);
  return m;
}

void Put16(AsduTail& tail, std::uint32_t v) {
  tail.octets[tail.length++] = static_cast<std::uint8_t>(v);
  tail.octets[tail.length++] = static_cast<std::uint8_t>(v >> 8);
}

void Put8(AsduTail& tail, std::uint32_t v) {
  tail.octets[tail.length++] = static_cast<std::uint8_t>(v);
}

void PutTime(TimeBase& time, AsduTail& tail, const SendTelegram& telegram, int count) {
  FillTimeTag(time, telegram, std::span(tail.octets).subspan(tail.length, 7), count);
  tail.length += static_cast<std::size_t>(count);
}

void PutOctets(AsduTail& tail, ConstBytes octets) {
  const std::size_t room = kMaxAsduTail - tail.length;
  const std::size_t n = std::min(octets.size(), room);
  std::copy_n(octets.begin(), n, tail.octets.begin() + static_cast<std::ptrdiff_t>(tail.length));
  tail.length += n;
}

std::uint8_t ScnOrValue(const SendTelegram& t) {
  return t.replyKind == kReplyInterrogation ? t.replyInfo : static_cast<std::uint8_t>(t.value);
}

// A stored service outside the three kinds is sent as send/confirm.
std::uint8_t KindOf(const SendTelegram& telegram) {
  return telegram.service < kKindControl.size() ? static_cast<std::uint8_t>(telegram.service) : 0;
}

// Type 128: the operator's ASDU framed with the given control octet.
std::size_t FrameFreeAsdu(std::uint8_t control, std::uint8_t address, const SendTelegram& t,
                          std::span<std::uint8_t> out) {
  const ConstBytes raw = t.RawOctets();
  return BuildVariableFrame(control, address, raw.first(std::min(raw.size(), kMaxAsdu)), out);
}

// Type 129: the whole frame as the operator wrote it; the log holds at most
// a frame's longest length.
std::size_t CopyFreeOctets(const SendTelegram& t, std::span<std::uint8_t> out) {
  const ConstBytes raw = t.RawOctets();
  const std::size_t n = std::min({raw.size(), out.size(), std::size_t{TLogEntry::kMaxByteCount}});
  std::copy_n(raw.begin(), n, out.begin());
  return n;
}

VariableTelegram VariableOf(const SendTelegram& t, const AsduTail& tail, bool secondaryUserData) {
  VariableTelegram v;
  v.kind = KindOf(t);
  v.address = t.linkAddress;
  v.typ = t.typeId;
  v.vsq = tail.vsq;
  v.cot = t.cot;
  v.commonAddress = t.commonAddress;
  v.tail = tail.Octets();
  v.secondaryUserData = secondaryUserData;
  return v;
}

}  // namespace

void FillTimeTag(TimeBase& time, const SendTelegram& telegram, std::span<std::uint8_t> octets,
                 int count) {
  const Moment m = MomentOf(time, telegram);
  const std::uint32_t minuteMs = m.msOfDay % 60000;
  std::array<std::uint8_t, 7> tag{};
  tag[0] = static_cast<std::uint8_t>(minuteMs);
  tag[1] = static_cast<std::uint8_t>(minuteMs >> 8);
  tag[2] = static_cast<std::uint8_t>((m.msOfDay / 60000) % 60 | (telegram.iv != 0 ? kBit7 : 0));
  tag[3] = static_cast<std::uint8_t>((m.msOfDay / 3600000) % 24 | (telegram.su != 0 ? kBit7 : 0));
  tag[4] = static_cast<std::uint8_t>(m.day | (telegram.withWeekday == 1 ? m.weekday << 5 : 0));
  tag[5] = static_cast<std::uint8_t>(m.month);
  tag[6] = static_cast<std::uint8_t>(((m.year % 100) + 100) % 100);
  const std::size_t n =
      std::min({static_cast<std::size_t>(std::max(count, 0)), tag.size(), octets.size()});
  std::copy_n(tag.begin(), n, octets.begin());
}

AsduTail BuildAsduTail(TimeBase& time, const SendTelegram& t, const DisturbanceList& recorded) {
  AsduTail tail;
  tail.vsq = t.vsq;
  // Every type carries FUN and INF; a type without elements of its own ends
  // there.
  Put8(tail, t.fun);
  Put8(tail, t.inf);
  switch (t.typeId) {
    case kTypeTimeTagged:
      Put8(tail, t.value & 3);
      PutTime(time, tail, t, 4);
      Put8(tail, t.replyKind == kReplyInterrogation || t.replyKind == kReplyCommand ? t.replyInfo
                                                                                    : t.data2);
      break;
    case kTypeRelativeTime:
      Put8(tail, t.value & 3);
      Put16(tail, t.data3);
      Put16(tail, t.data4);
      PutTime(time, tail, t, 4);
      Put8(tail, t.replyKind == kReplyInterrogation ? t.replyInfo : t.data2);
      break;
    case kTypeMeasurandsI:
    case kTypeMeasurandsII: {
      const int n = static_cast<int>(t.value & 15);
      tail.vsq = static_cast<std::uint8_t>(n);
      for (int i = 1; i <= n; ++i) Put16(tail, t.MeasuredValue(i));
      break;
    }
    case kTypeTimeTaggedMeasurand:
      Put8(tail, t.value);
      Put8(tail, t.value >> 8);
      Put8(tail, t.value >> 16);
      Put8(tail, t.value >> 24);
      Put16(tail, t.data3);
      Put16(tail, t.data4);
      PutTime(time, tail, t, 4);
      break;
    case kTypeIdentification:
      Put8(tail, t.value);
      PutOctets(tail, ConstBytes(t.raw).subspan(SendTelegram::kIdentificationAt,
                                                SendTelegram::kIdentificationLength));
      break;
    case kTypeTimeSync:
      PutTime(time, tail, t, 7);
      break;
    case kTypeInterrogation:
    case kTypeInterrogationEnd:
      Put8(tail, ScnOrValue(t));
      break;
    case kTypeGenericData:
    case kTypeGenericIdentification:
    case kTypeGenericCommand:
      PutOctets(tail, t.RawOctets());
      break;
    case kTypeGeneralCommand:
      Put8(tail, t.value & 3);
      Put8(tail, t.data2);
      break;
    case kTypeDisturbanceList: {
      const int count = std::clamp(recorded.count, 0, DisturbanceList::kCapacity);
      tail.vsq = static_cast<std::uint8_t>(count);
      for (int i = 0; i < count; ++i) {
        PutOctets(tail, recorded.entries[static_cast<std::size_t>(i)]);
      }
      break;
    }
    case kTypeOrder:
      Put8(tail, t.value);
      Put8(tail, t.data3);
      Put16(tail, t.data4);
      Put8(tail, t.data2);
      break;
    default:
      break;
  }
  return tail;
}

bool BuildFreeFrame(SendContext& send, PortRecord& port, const SendTelegram& t,
                    bool secondaryUserData, OutgoingFrame& out) {
  if (t.typeId == kTypeFreeOctets) {
    out.length = CopyFreeOctets(t, out.Buffer());
    out.status =
        port.params.function == PortFunction::GapMonitor ? status::kCorrect : status::kFreeOctets;
    return true;
  }
  const std::uint8_t control = CompleteControl(port, kKindControl[KindOf(t)], secondaryUserData);
  out.length = FrameFreeAsdu(control, TelegramAddress(port, t.linkAddress), t, out.Buffer());
  // The operator's ASDU is checked as a received frame would be.
  TLogEntry entry;
  entry.SetFrame(out.View());
  out.status = ValidateFrame(send.link.rules, port, entry);
  return true;
}

bool BuildTelegramFrame(SendContext& send, PortRecord& port, const SendTelegram& t,
                        bool secondaryUserData, OutgoingFrame& out) {
  out = OutgoingFrame{};
  if (t.typeId == kTypeFreeAsdu || t.typeId == kTypeFreeOctets) {
    return BuildFreeFrame(send, port, t, secondaryUserData, out);
  }
  const AsduTail tail = BuildAsduTail(send.time(), t, send.Transfer(port).list);
  out.length =
      EncodeVariable(port, send.general(), VariableOf(t, tail, secondaryUserData), out.Buffer());
  return out.length != 0;
}

std::size_t PresetFreeOctets(SendContext& send, const SendTelegram& telegram, std::uint8_t newType,
                             std::span<std::uint8_t> out) {
  const int index = telegram.PortIndex() < 0 ? 0 : telegram.PortIndex();
  const PortRecord& port = send.ports()[static_cast<std::size_t>(index)];
  const std::uint8_t control = PreviewControl(port.params.function, kKindControl[KindOf(telegram)]);
  const std::uint8_t address = TelegramAddress(port, telegram.linkAddress);
  OutgoingFrame built;
  if (telegram.typeId == kTypeFreeOctets) {
    built.length = CopyFreeOctets(telegram, built.Buffer());
  } else if (telegram.typeId == kTypeFreeAsdu) {
    built.length = FrameFreeAsdu(control, address, telegram, built.Buffer());
  } else {
    const AsduTail tail = BuildAsduTail(send.time(), telegram, send.Transfer(port).list);
    const std::uint8_t commonAddress =
        send.general().separateCommonAddress != 0 ? telegram.commonAddress : address;
    built.length = EncodeVariableWith(control, address, commonAddress,
                                      VariableOf(telegram, tail, false), built.Buffer());
  }
  ConstBytes frame = built.View();
  if (newType == kTypeFreeAsdu) {
    // The ASDU from the type identification to the end of the data.
    if (frame.size() < at::kTyp + kTrailer) return 0;
    frame = frame.subspan(at::kTyp, frame.size() - at::kTyp - kTrailer);
  }
  const std::size_t n = std::min(frame.size(), out.size());
  std::copy_n(frame.begin(), n, out.begin());
  return n;
}

}  // namespace kivo
