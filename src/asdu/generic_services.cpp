#include "asdu/generic_services.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "asdu/element_codings.h"
#include "asdu/text_format.h"

namespace kivo {

namespace {

using Octets = std::span<const std::uint8_t>;

constexpr std::string_view kTruncated = "  \u2026truncated";
constexpr std::string_view kWrapIndent = "    ";
constexpr std::size_t kGinLength = 2;
constexpr std::size_t kGddLength = 3;
// NGD and NDE: the number of sets in bits 0-5, then COUNT and CONT.
constexpr std::uint8_t kSetCountMask = 0x3F;
constexpr std::uint8_t kCountBit = 0x40;
constexpr std::uint8_t kContinueBit = 0x80;
// GDD octet 2: NUMBER in bits 0-6, CONT in bit 7.
constexpr std::uint8_t kNumberMask = 0x7F;
// A structure inside a structure is still decoded this deep; below, hex.
constexpr int kDeepestStructure = 4;

// Kind of description (KOD) of IEC 60870-5-103; the gaps are reserved.
// clang-format off
constexpr std::array<std::string_view, 24> kKindNames = {
    "none",        "actual value", "default value", "range",        "",
    "precision",   "factor",       "% reference",   "enumeration",  "dimension",
    "description", "",             "password",      "read only",    "write only",
    "",            "",             "",              "",             "IO address",
    "event",       "text array",   "value array",   "related entries"};
// clang-format on

enum DataType : std::uint8_t {
  kNoData = 0,
  kOs8 = 1,
  kBitString = 2,
  kUnsigned = 3,
  kSigned = 4,
  kUnsignedFraction = 5,
  kFraction = 6,
  kReal32 = 7,
  kReal64 = 8,
  kDoublePoint = 9,
  kSinglePoint = 10,
  kDoublePointTe = 11,
  kMeasurand = 12,
  kBinaryTime = 14,
  kGin = 15,
  kRelativeTime = 16,
  kFunInf = 17,
  kMessage = 18,
  kMessageRet = 19,
  kMeasurandRet = 20,
  kTextNumber = 21,
  kReplyCode = 22,
  kStructure = 23,
  kIndex = 24,
};

// Data types of IEC 60870-5-103 7.2.6.32 by their short names; 13 is reserved.
constexpr std::array<std::string_view, 25> kDataTypeNames = {
    "none", "OS8",     "BS1",       "UI",  "I",   "UF",        "F",    "R32.23", "R64.53",
    "DPI",  "SPI",     "DPI-TE",    "MEA", "",    "CP56",      "GIN",  "RET",    "FUN-INF",
    "TTM",  "TTM-RET", "TTMEA-RET", "ETN", "GRC", "STRUCTURE", "INDEX"};

// Generic reply codes, 7.2.6.36.
constexpr std::array<std::string_view, 12> kReplyNames = {
    "ACK",          "invalid GIN",        "no such data",     "data not available",
    "verify error", "out of range",       "entry too large",  "too many commands",
    "read only",    "password protected", "local write busy", "error, text follows"};

constexpr std::array<std::string_view, 4> kDoublePointNames = {"DPI 0", "OFF", "ON", "DPI 3"};
constexpr std::array<std::string_view, 4> kTransientNames = {"transient", "OFF", "ON", "error"};

template <std::size_t N>
std::string NameOf(const std::array<std::string_view, N>& names, unsigned value) {
  return value < N && !names[value].empty() ? std::string(names[value]) : "reserved";
}

std::string HexOf(Octets octets, std::string_view between = "") {
  std::string s;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i != 0) s += between;
    s += Hex2(octets[i]);
  }
  return s;
}

std::uint64_t UnsignedOf(Octets o) {
  std::uint64_t v = 0;
  for (std::size_t i = o.size(); i-- > 0;) v = (v << 8) | o[i];
  return v;
}

std::int64_t SignedOf(Octets o) {
  const std::uint64_t v = UnsignedOf(o);
  const unsigned bits = static_cast<unsigned>(8 * o.size());
  if (bits == 0 || bits >= 64 || (v >> (bits - 1)) == 0) return static_cast<std::int64_t>(v);
  return static_cast<std::int64_t>(v | (~std::uint64_t{0} << bits));
}

std::string Printf(const char* format, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

// Printable ASCII as it is, everything else as a full stop: the lines stay
// ASCII and their columns where they are.
std::string Quoted(Octets o) {
  std::string s = "\"";
  for (std::uint8_t c : o) s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.');
  return s + "\"";
}

std::string Time4Of(Octets o) {
  const Time4 t = DecodeTime4(o);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", t.hours, t.minutes, t.Seconds(),
                t.Millis());
  return std::string(buffer) + (t.invalid ? " IV" : "") + (t.summerTime ? " SU" : "");
}

std::string Time7Of(Octets o) {
  const Time7 t = DecodeTime7(o);
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d ", t.year, t.month, t.day);
  return buffer + Time4Of(o);
}

std::string GinOf(Octets o) {
  return "GIN " + std::to_string(o[0]) + "." + std::to_string(o[1]);
}

std::string Structure(Octets o, int depth);

// One element of `type`, or none where its size does not fit the type.
std::optional<std::string> ElementOf(std::uint8_t type, Octets o, int depth) {
  const std::size_t size = o.size();
  auto fixed = [&](std::size_t wanted) { return size == wanted; };
  switch (type) {
    case kOs8:
      return Quoted(o);
    case kBitString:
      return "0x" + HexOf(o);
    case kUnsigned:
    case kTextNumber:
    case kIndex:
      if (size > sizeof(std::uint64_t)) return std::nullopt;
      return std::to_string(UnsignedOf(o));
    case kSigned:
      if (size > sizeof(std::uint64_t)) return std::nullopt;
      return std::to_string(SignedOf(o));
    case kUnsignedFraction:
      if (size > sizeof(std::uint64_t)) return std::nullopt;
      return Printf("%.6g",
                    std::ldexp(static_cast<double>(UnsignedOf(o)), -8 * static_cast<int>(size)));
    case kFraction:
      if (size > sizeof(std::uint64_t)) return std::nullopt;
      return Printf("%.6g",
                    std::ldexp(static_cast<double>(SignedOf(o)), 1 - 8 * static_cast<int>(size)));
    case kReal32:
      if (!fixed(4)) return std::nullopt;
      return Printf("%.7g", DecodeFloat(static_cast<std::uint32_t>(UnsignedOf(o))));
    case kReal64: {
      if (!fixed(8)) return std::nullopt;
      const std::uint64_t bits = UnsignedOf(o);
      return Printf("%.15g", std::bit_cast<double>(bits));
    }
    case kDoublePoint:
      if (!fixed(1)) return std::nullopt;
      return std::string(kDoublePointNames[static_cast<std::size_t>(DoublePoint(o[0]))]);
    case kSinglePoint:
      if (!fixed(1)) return std::nullopt;
      return (o[0] & 1) ? "ON" : "OFF";
    case kDoublePointTe:
      if (!fixed(1)) return std::nullopt;
      return std::string(kTransientNames[static_cast<std::size_t>(DoublePoint(o[0]))]);
    case kMeasurand: {
      if (!fixed(2)) return std::nullopt;
      const Measurand m = DecodeMeasurand(static_cast<std::uint16_t>(UnsignedOf(o)));
      return std::to_string(m.value) + (m.overflow ? " OV" : "") + (m.error ? " ER" : "");
    }
    case kBinaryTime:
      if (!fixed(kTime7Length)) return std::nullopt;
      return Time7Of(o);
    case kGin:
      if (!fixed(kGinLength)) return std::nullopt;
      return GinOf(o);
    case kRelativeTime:
      if (!fixed(2)) return std::nullopt;
      return std::to_string(UnsignedOf(o)) + " ms";
    case kFunInf:
      if (!fixed(2)) return std::nullopt;
      return "FUN " + std::to_string(o[0]) + " INF " + std::to_string(o[1]);
    case kMessage:  // DPI, time, SIN
      if (!fixed(6)) return std::nullopt;
      return std::string(kDoublePointNames[static_cast<std::size_t>(DoublePoint(o[0]))]) + " " +
             Time4Of(o.subspan(1, 4)) + " SIN " + std::to_string(o[5]);
    case kMessageRet:  // DPI, RET, FAN, time, SIN
      if (!fixed(10)) return std::nullopt;
      return std::string(kDoublePointNames[static_cast<std::size_t>(DoublePoint(o[0]))]) + " RET " +
             std::to_string(UnsignedOf(o.subspan(1, 2))) + " ms FAN " +
             std::to_string(UnsignedOf(o.subspan(3, 2))) + " " + Time4Of(o.subspan(5, 4)) +
             " SIN " + std::to_string(o[9]);
    case kMeasurandRet:  // value, RET, FAN, time
      if (!fixed(12)) return std::nullopt;
      return Printf("%.7g", DecodeFloat(static_cast<std::uint32_t>(UnsignedOf(o.subspan(0, 4))))) +
             " RET " + std::to_string(UnsignedOf(o.subspan(4, 2))) + " ms FAN " +
             std::to_string(UnsignedOf(o.subspan(6, 2))) + " " + Time4Of(o.subspan(8, 4));
    case kReplyCode:
      if (!fixed(1)) return std::nullopt;
      return std::to_string(o[0]) + " " + NameOf(kReplyNames, o[0]);
    case kStructure:
      if (depth >= kDeepestStructure) return std::nullopt;
      return Structure(o, depth + 1);
    default:
      return std::nullopt;
  }
}

// The elements of one GID: OS8 of one-octet elements is one text, every
// other type one value per element; what a type cannot read is hex.
std::vector<std::string> ValuesOf(std::uint8_t type, std::size_t size, Octets o, int depth) {
  std::vector<std::string> values;
  if (type == kOs8 && size == 1) {
    if (!o.empty()) values.push_back(Quoted(o));
    return values;
  }
  for (std::size_t at = 0; at + size <= o.size() && size != 0; at += size) {
    const Octets element = o.subspan(at, size);
    values.push_back(ElementOf(type, element, depth).value_or(HexOf(element, " ")));
  }
  return values;
}

// A data structure: (GDD, GID) after (GDD, GID) within its octets; what does
// not read as such is hex.
std::string Structure(Octets o, int depth) {
  std::string s = "{";
  std::size_t at = 0;
  while (at < o.size()) {
    if (at != 0) s += "; ";
    const Octets rest = o.subspan(at);
    const std::size_t size = rest.size() >= kGddLength ? rest[1] : 0;
    const std::size_t total = rest.size() >= kGddLength ? size * (rest[2] & kNumberMask) : 0;
    if (size == 0 || total > rest.size() - kGddLength) {
      s += HexOf(rest, " ");
      break;
    }
    const std::vector<std::string> values =
        ValuesOf(rest[0], size, rest.subspan(kGddLength, total), depth);
    for (std::size_t i = 0; i < values.size(); ++i) s += (i != 0 ? ", " : "") + values[i];
    at += kGddLength + total;
  }
  return s + "}";
}

// Lines of at most kGenericLineWidth octets: a value that does not fit goes
// on in the next line, indented; a value longer than a line is cut into
// pieces.
class Lines {
 public:
  void Start(std::string_view head = {}) {
    Flush();
    Add(head, "");
  }
  void Add(std::string_view token, std::string_view separator = "  ") {
    if (token.empty()) return;
    const std::string_view sep = current_.empty() ? std::string_view() : separator;
    if (current_.size() + sep.size() + token.size() > kGenericLineWidth &&
        current_.size() > kWrapIndent.size()) {
      Flush();
      current_ = kWrapIndent;
      Add(token, "");
      return;
    }
    const std::size_t room = kGenericLineWidth - current_.size() - sep.size();
    current_ += sep;
    current_ += token.substr(0, room);
    if (token.size() > room) {
      Flush();
      current_ = kWrapIndent;
      Add(token.substr(room), "");
    }
  }
  void Hex(Octets o, std::string_view first = "  ") {
    for (std::size_t i = 0; i < o.size(); ++i) Add(Hex2(o[i]), i == 0 ? first : " ");
  }
  void Truncated() { truncated_ = true; }
  std::vector<std::string> Done() {
    Flush();
    if (truncated_) {
      if (lines_.empty()) lines_.emplace_back();
      lines_.back() += kTruncated;
    }
    return std::move(lines_);
  }

 private:
  std::vector<std::string> lines_;
  std::string current_;
  bool truncated_ = false;

  void Flush() {
    if (!current_.empty()) lines_.push_back(std::move(current_));
    current_.clear();
  }
};

// Walks the element octets; a field the telegram lacks shows the octets
// that are left and marks the lines truncated.
class Decoder {
 public:
  explicit Decoder(Octets octets) : o_(octets) {}

  std::vector<std::string> Command();
  std::vector<std::string> Data();
  std::vector<std::string> Identification();

 private:
  Octets o_;
  std::size_t at_ = 0;
  Lines lines_;

  std::size_t Left() const { return o_.size() - at_; }
  std::optional<Octets> Need(std::size_t n) {
    if (n > Left()) {
      lines_.Hex(o_.subspan(at_));
      at_ = o_.size();
      lines_.Truncated();
      return std::nullopt;
    }
    const Octets field = o_.subspan(at_, n);
    at_ += n;
    return field;
  }
  // NGD, NDE: the number of sets, with COUNT and CONT named when set.
  unsigned SetCount(std::string_view label, std::uint8_t octet) {
    lines_.Add(std::string(label) + " " + std::to_string(octet & kSetCountMask));
    if (octet & kCountBit) lines_.Add("COUNT", " ");
    if (octet & kContinueBit) lines_.Add("CONT", " ");
    return octet & kSetCountMask;
  }
  void Kod(std::uint8_t kod) {
    lines_.Add("KOD " + std::to_string(kod) + " " + NameOf(kKindNames, kod));
  }
  bool DescribedData();
  // Octets that no count claims.
  void Surplus() {
    if (Left() == 0) return;
    lines_.Start("surplus");
    lines_.Hex(o_.subspan(at_));
    at_ = o_.size();
  }
  // Sets claimed beyond the telegram's end.
  bool Ended() {
    if (Left() != 0) return false;
    lines_.Truncated();
    return true;
  }
};

// GDD and GID: false when the rest cannot be found after it.
bool Decoder::DescribedData() {
  const auto gdd = Need(kGddLength);
  if (!gdd) return false;
  const std::uint8_t type = (*gdd)[0];
  const std::size_t size = (*gdd)[1];
  const std::size_t number = (*gdd)[2] & kNumberMask;
  std::string description = "GDD " + std::to_string(type) + " " + NameOf(kDataTypeNames, type) +
                            " " + std::to_string(size) + "x" + std::to_string(number);
  if ((*gdd)[2] & kContinueBit) description += " CONT";
  lines_.Add(description);
  if (size == 0 && type != kNoData) {
    // Without a size no element can be told from the next: the rest as it is.
    lines_.Hex(o_.subspan(at_), "  = ");
    at_ = o_.size();
    return false;
  }
  const std::size_t total = size * number;
  const std::size_t present = std::min(total, Left());
  const Octets gid = o_.subspan(at_, present);
  const std::vector<std::string> values = ValuesOf(type, size, gid, 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    lines_.Add(i == 0 ? "= " + values[i] : values[i], i == 0 ? "  " : ", ");
  }
  at_ += present;
  if (present < total) {
    // The part of the last element the telegram carries.
    const std::size_t whole = type == kOs8 && size == 1 ? present : present - present % size;
    lines_.Hex(gid.subspan(whole), values.empty() ? "  = " : "  ");
    lines_.Truncated();
    return false;
  }
  return true;
}

std::vector<std::string> Decoder::Command() {
  lines_.Start();
  if (const auto rii = Need(1)) lines_.Add("RII " + std::to_string((*rii)[0]));
  const auto nog = Need(1);
  if (nog) {
    lines_.Add("NOG " + std::to_string((*nog)[0]));
    for (unsigned i = 0; i < (*nog)[0] && !Ended(); ++i) {
      lines_.Start();
      const auto gin = Need(kGinLength);
      if (!gin) break;
      lines_.Add(GinOf(*gin));
      const auto kod = Need(1);
      if (!kod) break;
      Kod((*kod)[0]);
    }
  }
  Surplus();
  return lines_.Done();
}

std::vector<std::string> Decoder::Data() {
  lines_.Start();
  if (const auto rii = Need(1)) lines_.Add("RII " + std::to_string((*rii)[0]));
  const auto ngd = Need(1);
  if (ngd) {
    const unsigned sets = SetCount("NGD", (*ngd)[0]);
    for (unsigned i = 0; i < sets && !Ended(); ++i) {
      lines_.Start();
      const auto gin = Need(kGinLength);
      if (!gin) break;
      lines_.Add(GinOf(*gin));
      const auto kod = Need(1);
      if (!kod) break;
      Kod((*kod)[0]);
      if (!DescribedData()) break;
    }
  }
  Surplus();
  return lines_.Done();
}

std::vector<std::string> Decoder::Identification() {
  lines_.Start();
  if (const auto rii = Need(1)) lines_.Add("RII " + std::to_string((*rii)[0]));
  const auto gin = Need(kGinLength);
  if (gin) lines_.Add(GinOf(*gin));
  const auto nde = gin ? Need(1) : std::nullopt;
  if (nde) {
    const unsigned elements = SetCount("NDE", (*nde)[0]);
    for (unsigned i = 0; i < elements && !Ended(); ++i) {
      lines_.Start();
      const auto kod = Need(1);
      if (!kod) break;
      Kod((*kod)[0]);
      if (!DescribedData()) break;
    }
  }
  Surplus();
  return lines_.Done();
}

}  // namespace

std::vector<std::string> GenericServiceLines(int typ, std::span<const std::uint8_t> elements) {
  if (elements.empty()) return {};
  Decoder decoder(elements);
  switch (typ) {
    case kGenericDataType:
      return decoder.Data();
    case kGenericIdentificationType:
      return decoder.Identification();
    case kGenericCommandType:
      return decoder.Command();
    default:
      return {};
  }
}

}  // namespace kivo
