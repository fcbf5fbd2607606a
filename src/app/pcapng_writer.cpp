#include "app/pcapng_writer.h"

#include <cmath>
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

// The upper-PDU header: the dissector by name, then the end tag.
Octets UpperPduHeader(std::string_view dissector) {
  Octets o;
  PutBig16(o, pcapng::kTagProtoName);
  const std::size_t padded = (dissector.size() + 3) / 4 * 4;
  PutBig16(o, static_cast<std::uint16_t>(padded));
  o.insert(o.end(), dissector.begin(), dissector.end());
  Pad4(o);
  PutBig16(o, pcapng::kTagEnd);
  PutBig16(o, 0);
  return o;
}

}  // namespace

std::uint64_t EpochMicroseconds(double timeStamp) {
  if (!std::isfinite(timeStamp) || timeStamp < 0.0 || timeStamp > 2958466.0) return 0;
  const double day = std::floor(timeStamp);
  auto micros = static_cast<std::int64_t>(std::llround((timeStamp - day) * kMicrosPerDay));
  const DayTime date = SplitDayNumber(day);
  std::tm civil{};
  civil.tm_year = date.year - 1900;
  civil.tm_mon = date.month - 1;
  civil.tm_mday = date.day;
  civil.tm_sec = static_cast<int>(micros / 1000000);  // mktime carries it into the hours
  civil.tm_isdst = -1;
  micros %= 1000000;
  const std::time_t seconds = std::mktime(&civil);
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * 1000000u + static_cast<std::uint64_t>(micros);
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
  const bool event = entry.frameKind == kFrameEvent;
  Octets packet = UpperPduHeader(event ? pcapng::kEventDissector : pcapng::kFrameDissector);
  if (event) {
    packet.insert(packet.end(), eventText.begin(), eventText.end());
  } else {
    const auto frame = entry.Frame();
    packet.insert(packet.end(), frame.begin(), frame.end());
  }
  const std::uint64_t micros = EpochMicroseconds(entry.timeStamp);
  // Channels outside 1..4 come only from damaged entries: port 1, no direction.
  const bool known = entry.channel >= 1 && entry.channel <= 2 * pcapng::kPorts;
  Octets body;
  Put32(body, known ? static_cast<std::uint32_t>((entry.channel - 1) / 2) : 0);
  Put32(body, static_cast<std::uint32_t>(micros >> 32));
  Put32(body, static_cast<std::uint32_t>(micros));
  Put32(body, static_cast<std::uint32_t>(packet.size()));
  Put32(body, static_cast<std::uint32_t>(packet.size()));
  body.insert(body.end(), packet.begin(), packet.end());
  Pad4(body);
  if (event) PutOption(body, pcapng::kOptComment, eventText);
  const std::uint32_t flags =
      !known ? 0 : (entry.channel % 2 == 1 ? pcapng::kFlagInbound : pcapng::kFlagOutbound);
  Put16(body, pcapng::kOptFlags);
  Put16(body, 4);
  Put32(body, flags);
  PutOption(body, pcapng::kOptEnd, {});
  return Block(pcapng::kEnhancedPacketBlock, body);
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
    return put(PcapngPacket(entry, text));
  });
}

}  // namespace kivo
