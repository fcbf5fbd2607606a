#include "app/pcapng_writer.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>

#include "asdu/text_format.h"

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
void PutBig16(Octets& o, std::uint16_t v) {
  o.push_back(static_cast<std::uint8_t>(v >> 8));
  o.push_back(static_cast<std::uint8_t>(v));
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

// The upper-PDU header: the dissector by name, then the end tag. `o` holds
// a multiple of 4 octets before it.
void PutUpperPduHeader(Octets& o, std::string_view dissector) {
  PutBig16(o, pcapng::kTagProtoName);
  PutBig16(o, static_cast<std::uint16_t>(Padded4(dissector.size())));
  o.insert(o.end(), dissector.begin(), dissector.end());
  Pad4(o);
  PutBig16(o, pcapng::kTagEnd);
  PutBig16(o, 0);
}

std::size_t UpperPduHeaderSize(std::string_view dissector) {
  return 4 + Padded4(dissector.size()) + 4;
}

}  // namespace

namespace {

bool StampInRange(double timeStamp) {
  return std::isfinite(timeStamp) && timeStamp >= 0.0 && timeStamp <= 2958466.0;
}

std::int64_t MicrosOfDay(double timeStamp, double day) {
  return static_cast<std::int64_t>(std::llround((timeStamp - day) * kMicrosPerDay));
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
  const double day = std::floor(timeStamp);
  const std::int64_t micros = MicrosOfDay(timeStamp, day);
  return Join(LocalSeconds(day, static_cast<int>(micros / 1000000)), micros);
}

std::uint64_t EpochConverter::Microseconds(double timeStamp) {
  if (!StampInRange(timeStamp)) return 0;
  const double day = std::floor(timeStamp);
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
  PutPcapngPacket(block, entry, eventText, micros);
  return block;
}

void PutPcapngPacket(std::vector<std::uint8_t>& block, const TLogEntry& entry,
                     std::string_view eventText, std::uint64_t micros) {
  block.clear();
  const bool event = entry.frameKind == kFrameEvent;
  const std::string_view dissector = event ? pcapng::kEventDissector : pcapng::kFrameDissector;
  const auto frame = entry.Frame();
  const auto captured = static_cast<std::uint32_t>(UpperPduHeaderSize(dissector) +
                                                   (event ? eventText.size() : frame.size()));
  // Channels outside 1..4 come only from damaged entries: port 1, no direction.
  const bool known = entry.channel >= 1 && entry.channel <= 2 * pcapng::kPorts;
  Put32(block, pcapng::kEnhancedPacketBlock);
  Put32(block, 0);  // the total length, known at the end
  Put32(block, known ? static_cast<std::uint32_t>((entry.channel - 1) / 2) : 0);
  Put32(block, static_cast<std::uint32_t>(micros >> 32));
  Put32(block, static_cast<std::uint32_t>(micros));
  Put32(block, captured);
  Put32(block, captured);
  PutUpperPduHeader(block, dissector);
  if (event) {
    block.insert(block.end(), eventText.begin(), eventText.end());
  } else {
    block.insert(block.end(), frame.begin(), frame.end());
  }
  Pad4(block);
  if (event) PutOption(block, pcapng::kOptComment, eventText);
  const std::uint32_t flags =
      !known ? 0 : (entry.channel % 2 == 1 ? pcapng::kFlagInbound : pcapng::kFlagOutbound);
  Put16(block, pcapng::kOptFlags);
  Put16(block, 4);
  Put32(block, flags);
  PutOption(block, pcapng::kOptEnd, {});
  const auto total = static_cast<std::uint32_t>(block.size() + 4);
  Put32(block, total);
  std::memcpy(block.data() + 4, &total, sizeof total);
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
  Octets block;  // one buffer for every packet
  return RunEntryOutput(log, options, [&](const TLogEntry& entry) {
    std::string text;
    if (entry.frameKind == kFrameEvent) {
      RenderCursor cursor;
      StartTelegram(cursor, entry, context, 0);
      for (std::string line = NextLine(cursor, context); !line.empty();
           line = NextLine(cursor, context)) {
        if (!text.empty()) text += '\n';
        text += line;
      }
    }
    PutPcapngPacket(block, entry, text, epoch.Microseconds(entry.timeStamp));
    return put(block);
  });
}

}  // namespace kivo
