// Disturbance file → COMTRADE. The records of the file are walked once: the
// type 26 record gives the sampling (NOE values per channel, INT µs apart,
// the first at the type 26 time), each type 27 opens a channel that the
// following type 30 records fill, type 29 records carry the tags and type 31
// records close blocks. A block the device sent again after a negative
// acknowledgement replaces the earlier one.
#include "send/comtrade.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "send/disturbance.h"
#include "util/file_io.h"

namespace kivo {

namespace {

using Outcome = ComtradeRecord::Outcome;

// Largest disturbance file taken: 15 channels of 65535 values and their
// records stay far below it.
constexpr std::int64_t kMaxFileSize = 64 << 20;
// More tagged signals than analysis software shows; also bounds the .dat.
constexpr std::size_t kMaxDigitalChannels = 512;

namespace typ {
constexpr std::uint8_t kReadyForData = 26, kReadyForChannel = 27, kReadyForTags = 28, kTags = 29,
                       kValues = 30, kEnd = 31;
}  // namespace typ
namespace too {
constexpr std::uint8_t kEndData = 32, kEndDataLast = 34, kEndChannel = 35, kEndChannelLast = 37,
                       kEndTags = 38, kEndTagsLast = 40;
}  // namespace too

// ASDU octets (type identification = 0) of the disturbance types.
namespace at {
constexpr std::size_t kAcc = 10;
constexpr std::size_t kNoc = 12, kNoe = 13, kInterval = 15, kTime = 17;       // type 26
constexpr std::size_t kRpv = 11, kRsv = 15, kRfa = 19;                        // type 27
constexpr std::size_t kTagCount = 8, kTagPosition = 9, kFirstTag = 11;        // type 29
constexpr std::size_t kValueCount = 11, kFirstNumber = 12, kFirstValue = 14;  // type 30
constexpr std::size_t kToo = 6;                                               // type 31
}  // namespace at
constexpr std::size_t kReadyForDataSize = 21, kReadyForChannelSize = 23, kReadyForTagsSize = 10,
                      kEndSize = 11;

// The header's list entry: FAN, SOF, then the fault's seven-octet time.
constexpr std::size_t kEntryTime = 3;

// IEC 60870-5-103 actual channel numbers 1 to 8: name, phase, unit.
struct AccMeaning {
  const char* name;
  const char* phase;
  const char* unit;
};
constexpr std::array<AccMeaning, 9> kAccMeanings{{{"", "", ""},
                                                  {"IL1", "L1", "A"},
                                                  {"IL2", "L2", "A"},
                                                  {"IL3", "L3", "A"},
                                                  {"IN", "N", "A"},
                                                  {"UL1E", "L1", "V"},
                                                  {"UL2E", "L2", "V"},
                                                  {"UL3E", "L3", "V"},
                                                  {"UEN", "N", "V"}}};

float FloatAt(ConstBytes b, std::size_t at) {
  const std::uint32_t bits = GetU32(b, at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

struct Channel {
  std::uint8_t acc = 0;
  float rpv = 0, rsv = 0, rfa = 0;
  std::vector<std::int16_t> values;
  bool ended = false;  // closed by an end of channel (TOO 35)
  std::string fault;   // why it is not usable, when it is not
};

struct Digital {
  std::uint16_t key = 0;                                // FUN << 8 | INF
  std::vector<std::pair<std::uint16_t, bool>> changes;  // position, on
};

struct Recording {
  std::uint8_t announcedChannels = 0;
  std::uint16_t samples = 0;
  std::uint16_t interval = 0;  // µs
  std::array<std::uint8_t, 4> firstTime{};
  std::vector<Channel> channels;
  std::optional<std::size_t> current;  // the channel being filled
  std::vector<Digital> digitals;
  bool tagsStarted = false, tagsEnded = false;
  std::string tagsFault;
  std::uint8_t endToo = 0;
  std::string cutOff;  // the file is shorter than its header says
};

struct Failure {
  Outcome outcome;
  std::string problem;
};

std::string Offset(std::size_t at) {
  return "the record at octet " + std::to_string(at);
}

std::string ChannelName(std::uint8_t acc) {
  return acc >= 1 && acc < kAccMeanings.size() ? std::string(kAccMeanings[acc].name)
                                               : "ACC " + std::to_string(acc);
}

// One record; a failure for a record that contradicts its type.
std::optional<Failure> TakeRecord(Recording& rec, ConstBytes asdu, std::size_t at) {
  const std::uint8_t type = asdu[0];
  const auto wrongSize = [&] {
    return Failure{Outcome::Damaged, Offset(at) + " (type " + std::to_string(type) + ") has " +
                                         std::to_string(asdu.size()) + " octets, which its " +
                                         "counts do not allow"};
  };
  switch (type) {
    case typ::kReadyForData:
      if (asdu.size() != kReadyForDataSize) return wrongSize();
      rec.announcedChannels = asdu[at::kNoc];
      rec.samples = GetU16(asdu, at::kNoe);
      rec.interval = GetU16(asdu, at::kInterval);
      std::copy_n(asdu.begin() + at::kTime, rec.firstTime.size(), rec.firstTime.begin());
      return std::nullopt;
    case typ::kReadyForChannel: {
      if (asdu.size() != kReadyForChannelSize) return wrongSize();
      const std::uint8_t acc = asdu[at::kAcc];
      auto found = std::find_if(rec.channels.begin(), rec.channels.end(),
                                [&](const Channel& c) { return c.acc == acc; });
      if (found == rec.channels.end()) found = rec.channels.insert(found, Channel{});
      *found = Channel{};
      found->acc = acc;
      found->rpv = FloatAt(asdu, at::kRpv);
      found->rsv = FloatAt(asdu, at::kRsv);
      found->rfa = FloatAt(asdu, at::kRfa);
      if (!std::isfinite(found->rpv) || !std::isfinite(found->rsv) || !std::isfinite(found->rfa)) {
        found->fault = "its rated values or reference factor are no numbers";
      }
      rec.current = static_cast<std::size_t>(found - rec.channels.begin());
      return std::nullopt;
    }
    case typ::kValues: {
      if (asdu.size() < at::kFirstValue ||
          asdu.size() != at::kFirstValue + 2u * asdu[at::kValueCount]) {
        return wrongSize();
      }
      if (!rec.current || rec.channels[*rec.current].acc != asdu[at::kAcc]) {
        return Failure{Outcome::Damaged, Offset(at) + " holds values of " +
                                             ChannelName(asdu[at::kAcc]) +
                                             " outside that channel's block"};
      }
      Channel& channel = rec.channels[*rec.current];
      if (!channel.fault.empty()) return std::nullopt;
      if (GetU16(asdu, at::kFirstNumber) != channel.values.size()) {
        channel.fault = "its values are out of order at " + Offset(at);
        return std::nullopt;
      }
      for (std::size_t i = 0; i < asdu[at::kValueCount]; ++i) {
        channel.values.push_back(static_cast<std::int16_t>(GetU16(asdu, at::kFirstValue + 2 * i)));
      }
      return std::nullopt;
    }
    case typ::kReadyForTags:
      if (asdu.size() != kReadyForTagsSize) return wrongSize();
      rec.digitals.clear();
      rec.tagsStarted = true;
      rec.tagsEnded = false;
      rec.tagsFault.clear();
      return std::nullopt;
    case typ::kTags: {
      if (asdu.size() < at::kFirstTag || asdu.size() != at::kFirstTag + 3u * asdu[at::kTagCount]) {
        return wrongSize();
      }
      if (!rec.tagsStarted) {
        return Failure{Outcome::Damaged, Offset(at) + " holds tags before ready for tags"};
      }
      const std::uint16_t position = GetU16(asdu, at::kTagPosition);
      for (std::size_t i = 0; i < asdu[at::kTagCount]; ++i) {
        const std::size_t tag = at::kFirstTag + 3 * i;
        const auto key = static_cast<std::uint16_t>(asdu[tag] << 8 | asdu[tag + 1]);
        auto found = std::find_if(rec.digitals.begin(), rec.digitals.end(),
                                  [&](const Digital& d) { return d.key == key; });
        if (found == rec.digitals.end()) {
          if (rec.digitals.size() >= kMaxDigitalChannels) {
            return Failure{Outcome::Damaged,
                           "more than " + std::to_string(kMaxDigitalChannels) + " tagged signals"};
          }
          found = rec.digitals.insert(found, Digital{key, {}});
        }
        // DPI 1 off, 2 on; 0 and 3 (indeterminate) leave the state as it was.
        const std::uint8_t dpi = asdu[tag + 2] & 3;
        if (dpi == 1 || dpi == 2) found->changes.emplace_back(position, dpi == 2);
      }
      return std::nullopt;
    }
    case typ::kEnd: {
      if (asdu.size() != kEndSize) return wrongSize();
      const std::uint8_t endToo = asdu[at::kToo];
      if (endToo >= too::kEndChannel && endToo <= too::kEndChannelLast) {
        if (rec.current) {
          Channel& channel = rec.channels[*rec.current];
          channel.ended = endToo == too::kEndChannel;
          if (!channel.ended && channel.fault.empty()) channel.fault = "its transfer was aborted";
        }
        rec.current.reset();
      } else if (endToo >= too::kEndTags && endToo <= too::kEndTagsLast) {
        rec.tagsEnded = endToo == too::kEndTags;
        if (!rec.tagsEnded) rec.tagsFault = "the tags' transfer was aborted";
      } else if (endToo >= too::kEndData && endToo <= too::kEndDataLast) {
        rec.endToo = endToo;
      }
      return std::nullopt;
    }
    default:
      return Failure{Outcome::Damaged,
                     Offset(at) + " has type " + std::to_string(type) + ", no disturbance type"};
  }
}

// Checks the header and walks the records.
std::optional<Failure> ReadRecording(ConstBytes file, Recording& rec, DisturbanceHeader& header) {
  if (file.size() < DisturbanceHeader::kSize) {
    return Failure{Outcome::Damaged, "shorter than the 128-octet header of a disturbance file"};
  }
  header = DisturbanceHeader::Decode(file.first(DisturbanceHeader::kSize));
  if (std::all_of(file.begin(), file.begin() + DisturbanceHeader::kSize,
                  [](std::uint8_t o) { return o == 0; })) {
    return Failure{Outcome::Incomplete,
                   "its header is not written yet: the recording still runs or was cut off"};
  }
  if (header.magic != DisturbanceHeader::kMagic) {
    return Failure{Outcome::Damaged, "no disturbance file (its first octets are not 30 10 73 00)"};
  }
  if (header.headerLength != DisturbanceHeader::kSize) {
    return Failure{Outcome::Damaged,
                   "the header gives its length as " + std::to_string(header.headerLength)};
  }
  if (header.firstRecord < DisturbanceHeader::kSize || header.firstRecord >= header.fileEnd) {
    return Failure{Outcome::Damaged, "the header's positions of the first record (" +
                                         std::to_string(header.firstRecord) + ") and the end (" +
                                         std::to_string(header.fileEnd) + ") do not fit"};
  }
  std::size_t end = header.fileEnd;
  if (end > file.size()) {
    rec.cutOff = "the file is cut off: the header gives " + std::to_string(header.fileEnd) +
                 " octets, the file has " + std::to_string(file.size());
    end = file.size();
  }
  bool first = true;
  for (std::size_t at = header.firstRecord; at < end;) {
    const std::size_t size = file[at];
    if (at + 1 + size > end) {
      if (rec.cutOff.empty()) {
        return Failure{Outcome::Damaged, Offset(at) + " runs past the end the header gives"};
      }
      break;
    }
    if (size < 6) return Failure{Outcome::Damaged, Offset(at) + " is too short for an ASDU"};
    const ConstBytes asdu = file.subspan(at + 1, size);
    if (first && asdu[0] != typ::kReadyForData) {
      return Failure{Outcome::Damaged, "the first record is no ready for disturbance data (26)"};
    }
    first = false;
    if (auto failure = TakeRecord(rec, asdu, at)) return failure;
    at += 1 + size;
  }
  if (first) return Failure{Outcome::Damaged, "it holds no record"};
  if (rec.samples == 0 || rec.interval == 0) {
    return Failure{Outcome::Damaged, "the recording announces " + std::to_string(rec.samples) +
                                         " values " + std::to_string(rec.interval) +
                                         " microseconds apart"};
  }
  return std::nullopt;
}

// --- Times ---

struct Moment {
  std::chrono::sys_days day;
  std::int64_t microseconds = 0;  // since midnight
};

std::optional<std::int64_t> TimeOfDay(ConstBytes time4) {
  const unsigned ms = GetU16(time4, 0), minutes = time4[2] & 0x3F, hours = time4[3] & 0x1F;
  if (ms > 59999 || minutes > 59 || hours > 23) return std::nullopt;
  return ((hours * 60LL + minutes) * 60000LL + ms) * 1000LL;
}

// The fault's time from the list entry and the first value's from type 26;
// the first value may lie on the day before the fault.
std::optional<std::pair<Moment, Moment>> Times(const DisturbanceHeader& header,
                                               const Recording& rec) {
  const ConstBytes entry(header.listEntry);
  const auto fault = TimeOfDay(entry.subspan(kEntryTime, 4));
  const auto firstValue = TimeOfDay(rec.firstTime);
  if (!fault || !firstValue) return std::nullopt;
  // As a seven-octet time is read everywhere: day 0 is the first, a month
  // out of range January, years below 81 this century.
  const unsigned day = std::max(1u, entry[kEntryTime + 4] & 0x1Fu);
  unsigned month = entry[kEntryTime + 5] & 0x0F;
  if (month == 0 || month > 12) month = 1;
  const int yearOctet = entry[kEntryTime + 6] & 0x7F;
  const std::chrono::year_month_day date{
      std::chrono::year(yearOctet < 81 ? 2000 + yearOctet : 1900 + yearOctet),
      std::chrono::month(month), std::chrono::day(day)};
  if (!date.ok()) return std::nullopt;
  const std::chrono::sys_days faultDay(date);
  constexpr std::int64_t kHalfDay = 12LL * 3600 * 1000000;
  std::chrono::sys_days firstDay = faultDay;
  if (*firstValue - *fault > kHalfDay) firstDay -= std::chrono::days(1);
  if (*fault - *firstValue > kHalfDay) firstDay += std::chrono::days(1);
  return std::pair{Moment{firstDay, *firstValue}, Moment{faultDay, *fault}};
}

std::string CfgTime(const Moment& m) {
  const std::chrono::year_month_day date(m.day);
  const std::int64_t seconds = m.microseconds / 1000000;
  char text[40];
  std::snprintf(text, sizeof text, "%02u/%02u/%04d,%02d:%02d:%02d.%06d",
                static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()),
                static_cast<int>(date.year()), static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                static_cast<int>(m.microseconds % 1000000));
  return text;
}

// --- Writing ---

// Whatever the user's locale: a decimal point, no grouping.
std::string Number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 9);
  return std::string(text, result.ptr);
}
std::string Number(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general);
  return std::string(text, result.ptr);
}

constexpr const char* kLineEnd = "\r\n";

// The type 30 values are relative to the channel's reference factor: value ×
// RFA is the instantaneous secondary quantity (in the unit of RSV), and the
// rated values give the transformer ratio RPV / RSV to the primary side. So
// the multiplier that turns a stored value into a primary quantity is
// RFA × RPV / RSV. A channel without a usable RSV keeps secondary values.
struct Scaling {
  double multiplier;
  bool primary;
};
Scaling ScalingOf(const Channel& c) {
  if (c.rsv != 0) return {static_cast<double>(c.rfa) * c.rpv / c.rsv, true};
  return {c.rfa, false};
}

std::string Cfg(const DisturbanceHeader& header, const Recording& rec,
                const std::vector<const Channel*>& analog,
                const std::vector<const Digital*>& digital, const std::pair<Moment, Moment>& times,
                const ComtradeOptions& options, bool partial, bool timeInvalid) {
  std::string cfg;
  const auto line = [&](const std::string& text) { cfg += text + kLineEnd; };
  // Field 2 carries the word "partial": a 1999 configuration has no comments.
  line("Link address " + std::to_string(header.linkAddress) + ",Common address " +
       std::to_string(header.commonAddress) + " FAN " +
       std::to_string(GetU16(header.listEntry, 0)) + (partial ? " partial" : "") + "," +
       (options.binary ? "2013" : "1999"));
  line(std::to_string(analog.size() + digital.size()) + "," + std::to_string(analog.size()) + "A," +
       std::to_string(digital.size()) + "D");
  // The binary form reserves -32768 for a missing value.
  const char* range = options.binary ? "-32767,32767" : "-32768,32767";
  for (std::size_t i = 0; i < analog.size(); ++i) {
    const Channel& c = *analog[i];
    const AccMeaning meaning =
        c.acc >= 1 && c.acc < kAccMeanings.size() ? kAccMeanings[c.acc] : kAccMeanings[0];
    const Scaling scaling = ScalingOf(c);
    line(std::to_string(i + 1) + "," + ChannelName(c.acc) + "," + meaning.phase + ",," +
         meaning.unit + "," + Number(scaling.multiplier) + ",0,0," + range + "," + Number(c.rpv) +
         "," + Number(c.rsv) + "," + (scaling.primary ? "P" : "S"));
  }
  for (std::size_t i = 0; i < digital.size(); ++i) {
    line(std::to_string(analog.size() + i + 1) + ",FUN " + std::to_string(digital[i]->key >> 8) +
         " INF " + std::to_string(digital[i]->key & 0xFF) + ",,,0");
  }
  // IEC 60870-5-103 carries no line frequency; the protection it serves runs
  // on 50 Hz networks.
  line("50");
  line("1");
  line(Number(1e6 / rec.interval) + "," + std::to_string(rec.samples));
  line(CfgTime(times.first));
  line(CfgTime(times.second));
  line(options.binary ? "BINARY" : "ASCII");
  line("1");
  if (options.binary) {
    // Device time of unknown zone; its quality is only known to be bad when
    // the device marked the time invalid.
    line("0,0");
    line(std::string(timeInvalid ? "F" : "0") + ",0");
  }
  return cfg;
}

// Each digital channel's state per value position.
std::vector<std::vector<std::uint8_t>> DigitalStates(const std::vector<const Digital*>& digital,
                                                     std::size_t samples) {
  std::vector<std::vector<std::uint8_t>> states;
  for (const Digital* d : digital) {
    auto changes = d->changes;
    std::stable_sort(changes.begin(), changes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint8_t> state(samples, 0);
    std::size_t next = 0;
    std::uint8_t now = 0;
    for (std::size_t k = 0; k < samples; ++k) {
      for (; next < changes.size() && changes[next].first <= k; ++next) {
        now = changes[next].second ? 1 : 0;
      }
      state[k] = now;
    }
    states.push_back(std::move(state));
  }
  return states;
}

// The rows of values: sample number, time stamp in microseconds, the analog
// values and the digital states, as text lines or as fixed-size binary rows.
std::vector<std::uint8_t> Dat(const Recording& rec, const std::vector<const Channel*>& analog,
                              const std::vector<const Digital*>& digital, bool binary) {
  const auto states = DigitalStates(digital, rec.samples);
  std::vector<std::uint8_t> dat;
  if (binary) {
    const std::size_t words = (digital.size() + 15) / 16;
    dat.resize((8 + 2 * analog.size() + 2 * words) * rec.samples);
    std::uint8_t* at = dat.data();
    auto put = [&at](std::uint32_t value, int octets) {
      for (int i = 0; i < octets; ++i) *at++ = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (std::size_t k = 0; k < rec.samples; ++k) {
      put(static_cast<std::uint32_t>(k + 1), 4);
      put(static_cast<std::uint32_t>(k * rec.interval), 4);
      for (const Channel* c : analog) {
        // -32768 marks a missing value in the binary form.
        const std::int16_t value = std::max<std::int16_t>(c->values[k], -32767);
        put(static_cast<std::uint16_t>(value), 2);
      }
      for (std::size_t group = 0; group < words; ++group) {
        std::uint16_t word = 0;
        for (std::size_t bit = 0; bit < 16 && group * 16 + bit < digital.size(); ++bit) {
          word = static_cast<std::uint16_t>(word | states[group * 16 + bit][k] << bit);
        }
        put(word, 2);
      }
    }
    return dat;
  }
  dat.reserve(rec.samples * (24 + 7 * analog.size() + 2 * digital.size()));
  auto number = [&dat](auto value) {
    char text[24];
    const char* const end = std::to_chars(text, text + sizeof text, value).ptr;
    dat.insert(dat.end(), reinterpret_cast<const std::uint8_t*>(text),
               reinterpret_cast<const std::uint8_t*>(end));
  };
  for (std::size_t k = 0; k < rec.samples; ++k) {
    number(k + 1);
    dat.push_back(',');
    number(static_cast<std::uint32_t>(k * rec.interval));
    for (const Channel* c : analog) {
      dat.push_back(',');
      number(c->values[k]);
    }
    for (const auto& state : states) {
      dat.push_back(',');
      dat.push_back(state[k] != 0 ? '1' : '0');
    }
    dat.push_back('\r');
    dat.push_back('\n');
  }
  return dat;
}

}  // namespace

ComtradeRecord ConvertDisturbance(ConstBytes file, const ComtradeOptions& options) {
  ComtradeRecord out;
  Recording rec;
  DisturbanceHeader header;
  if (auto failure = ReadRecording(file, rec, header)) {
    out.outcome = failure->outcome;
    out.problem = failure->problem;
    return out;
  }
  const auto times = Times(header, rec);
  if (!times) {
    out.problem = "the time of the fault or of the first value is no valid date and time";
    return out;
  }

  // What the transfer left out, in the order an operator would look for it.
  std::vector<std::string> missing;
  if (!rec.cutOff.empty()) missing.push_back(rec.cutOff);
  if (rec.endToo == 0) {
    missing.push_back("the transfer did not reach its end of data");
  } else if (rec.endToo != too::kEndData) {
    missing.push_back("the transfer was aborted before its end");
  }
  std::vector<const Channel*> analog;
  for (const Channel& c : rec.channels) {
    std::string fault = c.fault;
    if (fault.empty() && c.values.size() != rec.samples) {
      fault = "it holds " + std::to_string(c.values.size()) + " of " + std::to_string(rec.samples) +
              " values";
    } else if (fault.empty() && !c.ended) {
      fault = "its block has no end";
    }
    if (fault.empty()) {
      analog.push_back(&c);
    } else {
      missing.push_back("channel " + ChannelName(c.acc) + ": " + fault);
    }
  }
  if (rec.channels.size() < rec.announcedChannels) {
    missing.push_back(std::to_string(rec.channels.size()) + " of " +
                      std::to_string(rec.announcedChannels) + " announced channels recorded");
  }
  std::vector<const Digital*> digital;
  if (rec.tagsStarted && !rec.tagsEnded) {
    missing.push_back(rec.tagsFault.empty() ? "the tags have no end" : rec.tagsFault);
  } else {
    for (const Digital& d : rec.digitals) digital.push_back(&d);
  }

  if (!missing.empty() && !options.partial) {
    out.outcome = Outcome::Incomplete;
    out.partialPossible = !analog.empty() || !digital.empty();
    for (const std::string& m : missing) out.problem += (out.problem.empty() ? "" : "; ") + m;
    return out;
  }
  if (analog.empty() && digital.empty()) {
    out.outcome = Outcome::Incomplete;
    out.problem = "no channel is complete";
    return out;
  }
  const bool partial = !missing.empty();
  out.outcome = partial ? Outcome::Partial : Outcome::Whole;
  for (const std::string& m : missing) out.problem += (out.problem.empty() ? "" : "; ") + m;
  const bool timeInvalid = (rec.firstTime[2] & 0x80) != 0;
  out.cfg = Cfg(header, rec, analog, digital, *times, options, partial, timeInvalid);
  out.dat = Dat(rec, analog, digital, options.binary);
  return out;
}

namespace {

bool WriteWhole(const std::string& path, ConstBytes content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace

ComtradeFiles WriteComtrade(const std::string& input, const std::string& directory,
                            const ComtradeOptions& options) {
  ComtradeFiles out;
  const std::int64_t size = FileSize(input);
  if (size < 0) {
    out.message = "no such file";
    return out;
  }
  if (size > kMaxFileSize) {
    out.message = "too large for a disturbance file (" + std::to_string(size) + " octets)";
    return out;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!ReadExactly(input, 0, bytes)) {
    out.message = "cannot be read";
    return out;
  }
  const ComtradeRecord record = ConvertDisturbance(bytes, options);
  out.outcome = record.outcome;
  out.message = record.problem;
  out.partialPossible = record.partialPossible;
  if (record.outcome != Outcome::Whole && record.outcome != Outcome::Partial) return out;

  std::string stem = FileNameOf(input);
  const std::string extension = ExtensionOf(stem);
  stem.resize(stem.size() - extension.size());
  const std::string base = WithTrailingSlash(directory.empty() ? "." : directory) + stem;
  out.status = ComtradeFiles::Status::NotWritten;
  out.cfgPath = base + ".cfg";
  out.datPath = base + ".dat";
  if (SameFile(input, out.cfgPath) || SameFile(input, out.datPath)) {
    out.message = "the record would replace " + input + " itself";
    return out;
  }
  StagedFile cfg(out.cfgPath), dat(out.datPath);
  const std::string& cfgText = record.cfg;
  if (!cfg.Create() || !dat.Create() || !WriteWhole(dat.WritePath(), record.dat) ||
      !WriteWhole(cfg.WritePath(),
                  {reinterpret_cast<const std::uint8_t*>(cfgText.data()), cfgText.size()})) {
    out.message = "cannot write " + base + ".cfg and .dat";
    return out;
  }
  // The configuration names the data file: it goes into place last, and a
  // data file without it does not stay.
  if (!dat.Commit()) {
    out.message = "cannot write " + out.datPath;
    return out;
  }
  if (!cfg.Commit()) {
    ::remove(out.datPath.c_str());
    out.message = "cannot write " + out.cfgPath;
    return out;
  }
  out.status = ComtradeFiles::Status::Written;
  return out;
}

}  // namespace kivo
