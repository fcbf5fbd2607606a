#include "send/send_telegram.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/instance.h"
#include "asdu/element_codings.h"
#include "link/frame_codec.h"
#include "record/frame_status.h"

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

Moment MomentOf(Instance& instance, const SendTelegram& telegram) {
  double days;
  if (telegram.date != 0.0 && std::isfinite(telegram.date) && telegram.date > -693593.0 &&
      telegram.date < kLastDayNumber) {
    days = std::floor(telegram.date);
  } else {
    const LocalTime now = instance.platform.clock.Now();
    days = DayNumber(now.year, now.month, now.day);
  }
  std::int64_t ms;
  if (telegram.time != 0.0 && std::isfinite(telegram.time)) {
    const double fraction = telegram.time - std::floor(telegram.time);
    ms = std::llround(fraction * kMsPerDay);
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  } else {
    ms = instance.timeBase.TimeOfDayMs() % kMsPerDay;
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

void PutTime(Instance& instance, AsduTail& tail, const SendTelegram& telegram, int count) {
  FillTimeTag(instance, telegram, std::span(tail.octets).subspan(tail.length, 7), count);
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

std::uint8_t TelegramAddress(const PortRecord& port, const SendTelegram& telegram) {
  if (port.params.function == PortFunction::Secondary && telegram.linkAddress == kBroadcast) {
    return port.answeredAddress;
  }
  return telegram.linkAddress;
}

// A stored service outside the three kinds is sent as send/confirm.
std::uint8_t KindOf(const SendTelegram& telegram) {
  return telegram.service < kKindControl.size() ? static_cast<std::uint8_t>(telegram.service) : 0;
}

void PutTransmitEntry(PortRecord& port, ConstBytes octets, std::uint8_t status) {
  port.transmitEntry = TLogEntry{};
  port.transmitEntry.SetFrame(octets);
  port.transmitEntry.status = status;
  ClassifyFrame(port.transmitEntry);
  port.transmitReady = true;
}

// The received-frame rules applied to a frame the port sends, on a scratch
// copy so that no FCB or current index of the real port moves.
std::uint8_t ValidateOutgoing(const Instance& instance, const PortRecord& port, TLogEntry& entry) {
  auto scratch = std::make_unique<PortRecord>();
  scratch->params = port.params;
  scratch->index = port.index;
  scratch->notReset = port.notReset;
  scratch->fcbBits = port.fcbBits;
  scratch->currentIndex = port.currentIndex;
  scratch->previousIndex = port.previousIndex;
  scratch->portFcb = port.portFcb;
  scratch->monitorAddresses = port.monitorAddresses;
  scratch->monitorFcb = port.monitorFcb;
  return ValidateFrame(instance.frameRules, *scratch, entry);
}

}  // namespace

void FillTimeTag(Instance& instance, const SendTelegram& telegram, std::span<std::uint8_t> octets,
                 int count) {
  const Moment m = MomentOf(instance, telegram);
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

AsduTail BuildAsduTail(Instance& instance, const SendTelegram& t, const PortRecord& port) {
  AsduTail tail;
  tail.vsq = t.vsq;
  switch (t.typeId) {
    case 0:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
    case 22:
      return tail;
    default:
      if (t.typeId >= 25) return tail;
      break;
  }
  Put8(tail, t.fun);
  Put8(tail, t.inf);
  switch (t.typeId) {
    case kTypeTimeTagged:
      Put8(tail, t.value & 3);
      PutTime(instance, tail, t, 4);
      Put8(tail, t.replyKind == kReplyInterrogation || t.replyKind == kReplyCommand ? t.replyInfo
                                                                                    : t.data2);
      break;
    case kTypeRelativeTime:
      Put8(tail, t.value & 3);
      Put16(tail, t.data3);
      Put16(tail, t.data4);
      PutTime(instance, tail, t, 4);
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
      PutTime(instance, tail, t, 4);
      break;
    case kTypeIdentification:
      Put8(tail, t.value);
      PutOctets(tail, ConstBytes(t.raw).subspan(SendTelegram::kIdentificationAt,
                                                SendTelegram::kIdentificationLength));
      break;
    case kTypeTimeSync:
      PutTime(instance, tail, t, 7);
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
      const DisturbanceList& list = port.disturbance.list;
      const int count = std::clamp(list.count, 0, DisturbanceList::kCapacity);
      tail.vsq = static_cast<std::uint8_t>(count);
      for (int i = 0; i < count; ++i) PutOctets(tail, list.entries[static_cast<std::size_t>(i)]);
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

bool BuildFreeFrame(Instance& instance, PortRecord& port, const SendTelegram& t,
                    bool secondaryUserData) {
  const ConstBytes raw = t.RawOctets();
  if (t.typeId == kTypeFreeOctets) {
    // The whole frame as the operator wrote it; the log holds at most a
    // frame's longest length.
    const ConstBytes frame = raw.first(std::min<std::size_t>(raw.size(), TLogEntry::kMaxByteCount));
    PutTransmitEntry(
        port, frame,
        port.params.function == PortFunction::GapMonitor ? status::kCorrect : status::kFreeOctets);
    return true;
  }
  // Type 128: the operator's ASDU framed; L counts control and address too.
  const std::size_t asdu = std::min(raw.size(), kMaxUserOctets - 2);
  std::array<std::uint8_t, kMaxFrameLength> frame{};
  const std::size_t userOctets = asdu + 2;
  const std::size_t length = userOctets + kVariableOverhead;
  frame[0] = kStartVariable;
  frame[at::kLength] = static_cast<std::uint8_t>(userOctets);
  frame[at::kLengthRepeat] = static_cast<std::uint8_t>(userOctets);
  frame[at::kSecondStart] = kStartVariable;
  frame[at::kVariableControl] = CompleteControl(port, kKindControl[KindOf(t)], secondaryUserData);
  frame[at::kVariableAddress] = TelegramAddress(port, t);
  std::copy_n(raw.begin(), asdu, frame.begin() + at::kTyp);
  const std::span<std::uint8_t> built(frame.data(), length);
  built[length - 2] = FrameChecksum(built);
  built[length - 1] = kEndCharacter;
  PutTransmitEntry(port, built, status::kCorrect);
  ValidateOutgoing(instance, port, port.transmitEntry);
  return true;
}

bool BuildTelegramFrame(Instance& instance, PortRecord& port, const SendTelegram& t,
                        bool secondaryUserData) {
  if (t.typeId == kTypeFreeAsdu || t.typeId == kTypeFreeOctets) {
    return BuildFreeFrame(instance, port, t, secondaryUserData);
  }
  const AsduTail tail = BuildAsduTail(instance, t, port);
  VariableTelegram v;
  v.kind = KindOf(t);
  v.address = t.linkAddress;
  v.typ = t.typeId;
  v.vsq = tail.vsq;
  v.cot = t.cot;
  v.commonAddress = t.commonAddress;
  v.tail = tail.Octets();
  v.secondaryUserData = secondaryUserData;
  return EncodeVariable(port, instance.general, v);
}

std::size_t PresetFreeOctets(Instance& instance, const SendTelegram& telegram, std::uint8_t newType,
                             std::span<std::uint8_t> out) {
  auto scratch = std::make_unique<PortRecord>();
  const int index = telegram.PortIndex() < 0 ? 0 : telegram.PortIndex();
  const PortRecord& port = instance.ports[static_cast<std::size_t>(index)];
  scratch->params = port.params;
  scratch->index = port.index;
  scratch->currentIndex = port.currentIndex;
  scratch->answeredAddress = port.answeredAddress;
  scratch->disturbance.list = port.disturbance.list;
  if (!BuildTelegramFrame(instance, *scratch, telegram, false)) return 0;
  ConstBytes frame = scratch->transmitEntry.Frame();
  if (newType == kTypeFreeAsdu) {
    // The ASDU from the type identification to the end of the data.
    if (frame.size() < at::kTyp + 2) return 0;
    frame = frame.subspan(at::kTyp, frame.size() - at::kTyp - 2);
  }
  const std::size_t n = std::min(frame.size(), out.size());
  std::copy_n(frame.begin(), n, out.begin());
  return n;
}

}  // namespace kivo
