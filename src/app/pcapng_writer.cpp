#include "app/pcapng_writer.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>

#include "asdu/text_format.h"
#include "util/bytes.h"

namespace kivo {

namespace {

using Octets = std::vector<std::uint8_t>;

constexpr double kMicrosPerDay = 86400.0 * 1e6;
constexpr std::uint32_t kSnapLength = 0;  // no limit
constexpr std::uint8_t kMicrosecondResolution = 6;

// Blocks and options are in the byte order of this machine, which the
// section header's magic tells the reader; the exported-PDU tags are always
// big-endian.
void Put16(Octets& o, std::uint16_t v) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  o.insert(o.end(), p, p + sizeof v);
}
void Put32(Octets& o, std::uint32_t v) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  o.insert(o.end(), p, p + sizeof v);
}
void Pad4(Octets& o) {
  while (o.size() % 4 != 0) o.push_back(0);
}
void PutOption(Octets& o, std::uint16_t code, std::string_view value) {
  Put16(o, code);
  Put16(o, static_cast<std::uint16_t>(value.size()));
  o.insert(o.end(), value.begin(), value.end());
  Pad4(o);
}

// Type, total length, body, total length again.
Octets Block(std::uint32_t type, const Octets& body) {
  Octets o;
  const auto total = static_cast<std::uint32_t>(12 + body.size());
  Put32(o, type);
  Put32(o, total);
  o.insert(o.end(), body.begin(), body.end());
  Put32(o, total);
  return o;
}

std::size_t Padded4(std::size_t length) {
  return (length + 3) / 4 * 4;
}

std::size_t UpperPduHeaderSize(std::string_view dissector) {
  return 4 + Padded4(dissector.size()) + 4;
}

}  // namespace

namespace {

constexpr double kLastStampDay = 2958466.0;
constexpr std::int64_t kMicrosPerHour = std::int64_t{3600} * 1000000;

bool StampInRange(double timeStamp) {
  return std::isfinite(timeStamp) && timeStamp >= 0.0 && timeStamp <= kLastStampDay;
}

std::int64_t MicrosOfDay(double timeStamp, double day) {
  return RoundOfSmall((timeStamp - day) * kMicrosPerDay);
}

// Seconds since 1970 of a second of a local day (mktime carries the seconds
// into the hours and over midnight).
std::time_t LocalSeconds(double day, int second) {
  const DayTime date = SplitDayNumber(day);
  std::tm civil{};
  civil.tm_year = date.year - 1900;
  civil.tm_mon = date.month - 1;
  civil.tm_mday = date.day;
  civil.tm_sec = second;
  civil.tm_isdst = -1;
  return std::mktime(&civil);
}

std::uint64_t Join(std::time_t seconds, std::int64_t micros) {
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * 1000000u +
         static_cast<std::uint64_t>(micros % 1000000);
}

}  // namespace

std::uint64_t EpochMicroseconds(double timeStamp) {
  if (!StampInRange(timeStamp)) return 0;
  const double day = FloorOfSmall(timeStamp);
  const std::int64_t micros = MicrosOfDay(timeStamp, day);
  return Join(LocalSeconds(day, static_cast<int>(micros / 1000000)), micros);
}

std::uint64_t EpochConverter::Microseconds(double timeStamp) {
  // Within a straight hour of the day of the stamp before, a stamp is the
  // hour's start and the microseconds since it.
  if (timeStamp >= day_ && timeStamp < dayEnd_) {
    const std::int64_t into = MicrosOfDay(timeStamp, day_) - hourStartMicros_;
    if (into >= 0 && into < kMicrosPerHour) return hourBase_ + static_cast<std::uint64_t>(into);
  }
  if (!StampInRange(timeStamp)) return 0;
  const double day = FloorOfSmall(timeStamp);
  const std::int64_t micros = MicrosOfDay(timeStamp, day);
  const int second = static_cast<int>(micros / 1000000);
  const int hourStart = second / 3600 * 3600;
  if (day != day_ || hourStart != hourStart_) {
    day_ = day;
    hourStart_ = hourStart;
    base_ = LocalSeconds(day, hourStart);
    // An hour in which the clock is put forward or back is not a straight
    // run of seconds: its stamps go to mktime one by one.
    straight_ = base_ >= 0 && LocalSeconds(day, hourStart + 3599) - base_ == 3599;
    // (The last day in range has no stamps beyond its start.)
    dayEnd_ = straight_ && day < kLastStampDay ? day + 1.0 : day;
    hourStartMicros_ = std::int64_t{hourStart} * 1000000;
    hourBase_ = straight_ ? static_cast<std::uint64_t>(base_) * 1000000u : 0;
  }
  if (!straight_) return EpochMicroseconds(timeStamp);
  return Join(base_ + (second - hourStart), micros);
}

std::vector<std::uint8_t> PcapngHead() {
  Octets section;
  Put32(section, pcapng::kByteOrderMagic);
  Put16(section, 1);  // version 1.0
  Put16(section, 0);
  Put32(section, 0xFFFFFFFF);  // section length not given
  Put32(section, 0xFFFFFFFF);
  Octets out = Block(pcapng::kSectionHeaderBlock, section);
  for (int port = 1; port <= pcapng::kPorts; ++port) {
    Octets body;
    Put16(body, pcapng::kLinkTypeUpperPdu);
    Put16(body, 0);
    Put32(body, kSnapLength);
    PutOption(body, pcapng::kOptName, "port " + std::to_string(port));
    PutOption(body, pcapng::kOptTsResol,
              std::string_view(reinterpret_cast<const char*>(&kMicrosecondResolution), 1));
    PutOption(body, pcapng::kOptEnd, {});
    const Octets block = Block(pcapng::kInterfaceBlock, body);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

std::vector<std::uint8_t> PcapngPacket(const TLogEntry& entry, const std::string& eventText) {
  return PcapngPacket(entry, eventText, EpochMicroseconds(entry.timeStamp));
}

std::vector<std::uint8_t> PcapngPacket(const TLogEntry& entry, const std::string& eventText,
                                       std::uint64_t micros) {
  Octets block;
  AppendPcapngPacket(block, entry, eventText, micros);
  return block;
}

void AppendPcapngPacket(std::vector<std::uint8_t>& out, const TLogEntry& entry,
                        std::string_view eventText, std::uint64_t micros) {
  const bool event = entry.frameKind == kFrameEvent;
  const std::string_view dissector = event ? pcapng::kEventDissector : pcapng::kFrameDissector;
  const auto frame = entry.Frame();
  const std::size_t payload = event ? eventText.size() : frame.size();
  const auto captured = static_cast<std::uint32_t>(UpperPduHeaderSize(dissector) + payload);
  // Channels outside 1..4 come only from damaged entries: port 1, no direction.
  const bool known = entry.channel >= 1 && entry.channel <= 2 * pcapng::kPorts;
  const std::uint32_t flags =
      !known ? 0 : (entry.channel % 2 == 1 ? pcapng::kFlagInbound : pcapng::kFlagOutbound);
  // Seven words of head, the packet padded to a word, the comment of an
  // event, the flags and end options and the length once more. The block is
  // added in one piece and written at its offsets; padding stays zero.
  constexpr std::size_t kHead = 28;
  const std::size_t comment = event ? 4 + Padded4(eventText.size()) : 0;
  const auto total = static_cast<std::uint32_t>(kHead + Padded4(captured) + comment + 8 + 4 + 4);
  const std::size_t start = out.size();
  out.resize(start + total);  // zero-filled, padding included
  std::uint8_t* const p = out.data() + start;
  std::size_t at = 0;
  const auto put16 = [&](std::uint16_t v) {
    std::memcpy(p + at, &v, sizeof v);
    at += sizeof v;
  };
  const auto put32 = [&](std::uint32_t v) {
    std::memcpy(p + at, &v, sizeof v);
    at += sizeof v;
  };
  const auto putBig16 = [&](std::uint16_t v) {
    p[at++] = static_cast<std::uint8_t>(v >> 8);
    p[at++] = static_cast<std::uint8_t>(v);
  };
  const auto putPadded = [&](const void* octets, std::size_t size) {
    if (size > 0) std::memcpy(p + at, octets, size);
    at += Padded4(size);
  };
  const auto putText = [&](std::string_view text) { putPadded(text.data(), text.size()); };
  put32(pcapng::kEnhancedPacketBlock);
  put32(total);
  put32(known ? static_cast<std::uint32_t>((entry.channel - 1) / 2) : 0);
  put32(static_cast<std::uint32_t>(micros >> 32));
  put32(static_cast<std::uint32_t>(micros));
  put32(captured);
  put32(captured);
  // The upper-PDU header: the dissector by name, then the end tag.
  putBig16(pcapng::kTagProtoName);
  putBig16(static_cast<std::uint16_t>(Padded4(dissector.size())));
  putText(dissector);
  putBig16(pcapng::kTagEnd);
  putBig16(0);
  if (event) {
    putText(eventText);
    put16(pcapng::kOptComment);
    put16(static_cast<std::uint16_t>(eventText.size()));
    putText(eventText);
  } else {
    CopyShort(p + at, frame.data(), frame.size());
    at += Padded4(frame.size());
  }
  put16(pcapng::kOptFlags);
  put16(4);
  put32(flags);
  put16(pcapng::kOptEnd);
  put16(0);
  put32(total);
}

OutputResult RunPcapngOutput(LogStore& log, RenderContext& context, const OutputOptions& options,
                             std::FILE* out) {
  auto put = [out](const Octets& o) { return std::fwrite(o.data(), 1, o.size(), out) == o.size(); };
  if (!put(PcapngHead())) {
    OutputResult failed;
    failed.ioError = true;
    return failed;
  }
  context.format = DisplayFormat::Log;
  context.showTime = false;
  EpochConverter epoch;
  // The packets gather in one buffer that goes to the file in large writes.
  constexpr std::size_t kFlushAt = std::size_t{1} << 18;
  Octets packets;
  packets.reserve(kFlushAt + 4096);
  std::string text;
  OutputResult result = RunEntryOutput(log, options, [&](const TLogEntry& entry) {
    text.clear();
    if (entry.frameKind == kFrameEvent) {
      RenderCursor cursor;
      StartTelegram(cursor, entry, context, 0);
      for (std::string line = NextLine(cursor, context); !line.empty();
           line = NextLine(cursor, context)) {
        if (!text.empty()) text += '\n';
        text += line;
      }
    }
    AppendPcapngPacket(packets, entry, text, epoch.Microseconds(entry.timeStamp));
    if (packets.size() < kFlushAt) return true;
    const bool written = put(packets);
    packets.clear();
    return written;
  });
  // What is gathered is written whatever ended the run, an error included.
  if (!packets.empty() && !put(packets)) {
    result.ok = false;
    result.ioError = true;
  }
  return result;
}

}  // namespace kivo
