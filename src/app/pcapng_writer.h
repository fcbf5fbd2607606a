// The log as a pcapng capture that Wireshark decodes as IEC 60870-5-103 by
// itself: one interface per port, each frame a packet of the upper-PDU link
// type whose header names the dissector, events as packets with a comment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "app/output_run.h"
#include "asdu/renderer.h"
#include "record/log_entry.h"

namespace kivo {

namespace pcapng {
constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceBlock = 1;
constexpr std::uint32_t kEnhancedPacketBlock = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t kLinkTypeUpperPdu = 252;
// Exported-PDU tags: big-endian type and length, the value padded to 4 octets.
constexpr std::uint16_t kTagEnd = 0;
constexpr std::uint16_t kTagProtoName = 12;
constexpr std::uint16_t kOptEnd = 0, kOptComment = 1, kOptName = 2, kOptTsResol = 9, kOptFlags = 2;
constexpr std::uint32_t kFlagInbound = 1, kFlagOutbound = 2;
constexpr int kPorts = 2;
inline constexpr const char* kFrameDissector = "iec60870_5_103";
inline constexpr const char* kEventDissector = "data-text-lines";
}  // namespace pcapng

// Microseconds since 1970-01-01 UTC of a log time stamp. The log keeps the
// local civil time of the machine that recorded it as days since 1899-12-30;
// it is read in the local time zone (TZ) of the machine exporting it, so both
// must agree. In the repeated hour at the end of summer time the earlier or
// later instant may be taken (mktime decides). 0 for a stamp that is no
// number or lies before 1970.
std::uint64_t EpochMicroseconds(double timeStamp);

// EpochMicroseconds for the stamps of a log, which mostly follow each other
// within the hour: mktime reads the time zone at every call, so it is asked
// twice an hour of local time rather than once a stamp.
class EpochConverter {
 public:
  std::uint64_t Microseconds(double timeStamp);

 private:
  double day_ = -1;
  int hourStart_ = -1;  // second of the day
  std::time_t base_ = 0;
  bool straight_ = false;
  // Of an hour that is a straight run of seconds: the day number after its
  // day's (none: the day's own), the microsecond of the day it starts at and
  // its start in microseconds since 1970.
  double dayEnd_ = -1;
  std::int64_t hourStartMicros_ = 0;
  std::uint64_t hourBase_ = 0;
};

// The section header and one interface description per port.
std::vector<std::uint8_t> PcapngHead();

// The enhanced packet block of one entry: a frame with its octets, an event
// with `eventText` as its payload and comment. Channels 1 and 2 are port 1
// (interface 0), 3 and 4 port 2; odd channels are received, even ones sent.
std::vector<std::uint8_t> PcapngPacket(const TLogEntry& entry, const std::string& eventText);
// The same with the time of the packet already converted.
std::vector<std::uint8_t> PcapngPacket(const TLogEntry& entry, const std::string& eventText,
                                       std::uint64_t epochMicros);
// The same appended to `out`, so that a run of packets fills one buffer.
void AppendPcapngPacket(std::vector<std::uint8_t>& out, const TLogEntry& entry,
                        std::string_view eventText, std::uint64_t epochMicros);

// The whole log, as far as it passes the display filter, into `out`.
// `context` renders the event texts.
OutputResult RunPcapngOutput(LogStore& log, RenderContext& context, const OutputOptions& options,
                             std::FILE* out);

}  // namespace kivo
