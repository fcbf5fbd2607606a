#include "asdu/renderer.h"

#include <langinfo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "asdu/colours.h"
#include "asdu/element_codings.h"
#include "asdu/element_layout.h"
#include "asdu/generic_services.h"
#include "asdu/info_text_table.h"
#include "record/colour_records.h"
#include "record/frame_status.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"
#include "util/bytes.h"

namespace kivo {

namespace {

// Texts of the telegram lines.
namespace txt {
constexpr int kPrimaryFunctions = 30;    // + function code
constexpr int kSecondaryFunctions = 46;  // + function code
constexpr int kSingleCharacter = 62;
constexpr int kEventValue = 65;
constexpr int kInf = 282;
constexpr int kCot = 283;
constexpr int kTyp = 284;
constexpr int kInfOneLine = 285;
constexpr int kAdr = 286;
constexpr int kFun = 287;
constexpr int kTypOneLine = 288;
constexpr int kFunOneLine = 289;
constexpr int kLinkAddress = 280;
constexpr int kControlBits = 384;  // RES, PRM, FCB, FCV, ACD, DFC
constexpr int kChannelSuffix = 390;
constexpr int kObjectColumn = 404;
constexpr int kDataColumn = 405;
constexpr int kLinkColumn = 406;
constexpr int kStatus = 432;  // + Status
constexpr int kModemLines = 475;
constexpr int kBaud = 520;
constexpr int kCounters = 521;
constexpr int kModemLineNames = 917;  // + line 0..3
constexpr int kChannelNames = 1175;   // + Channel
constexpr int kRelativeTimeUnit = 1229;
}  // namespace txt

// Past the shape errors a frame has parts the lines can name; before them
// the lines show octets only.
constexpr bool Decodable(int s) {
  return s > status::kLastShapeError;
}

constexpr std::size_t kMaxLineLength = 255;
constexpr std::size_t kColumn = 12;
constexpr std::size_t kEventColumn = 10;
constexpr std::size_t kPadExtra = 3;
constexpr std::size_t kPadMinimum = 10;
constexpr std::size_t kOneLinePadExtra = 2;
constexpr std::size_t kOneLineHeadWidth = 32;
constexpr std::size_t kMeasurandWidth = 22;
constexpr std::size_t kFanWidth = 11;
constexpr std::size_t kRowOctets = 16;
constexpr std::size_t kOctetFieldWidth = 70;
constexpr std::size_t kOctetCharacterColumn = 52;
constexpr std::size_t kDeltaLength = 19;
constexpr int kCauseNameCount = 64;
constexpr int kHighestNamedType = 127;
constexpr int kGeneralCommandType = 20;
constexpr int kGeneralCommandCot = 20;
constexpr std::uint8_t kSingleCharacterControl = 0xE5;
constexpr std::uint8_t kFunctionMask = 0x0F;
constexpr std::uint8_t kPrmBit = 0x40;
constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 4;
constexpr int kModemLineCount = 4;
constexpr int kModemStateShift = 4;

// Where the data words of a statistics event (port opened or closed) lie.
namespace statistics {
constexpr std::size_t kPairs = 0;  // two pairs of signed 32-bit counters
constexpr std::size_t kReason = 16;
constexpr std::size_t kNumber = 20;
constexpr std::size_t kReasonPresent = 16;    // ByteCount above this
constexpr std::size_t kCountersPresent = 16;  // ByteCount at least this
}  // namespace statistics

void AppendDecimal(std::string& out, long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<std::size_t>(end.ptr - digits));
}

// A line grows field by field: room for the longest at once spares the
// copies of growing it step by step.
std::string LineBuffer() {
  std::string s;
  s.reserve(kMaxLineLength + 1);
  return s;
}

// Room for a line of the greatest length in a line that is reused.
void Reserve(std::string& s) {
  if (s.capacity() < kMaxLineLength + 1) s.reserve(kMaxLineLength + 1);
}

// A line made apart put into `out`, whose room is kept when it suffices.
void Assign(std::string& out, std::string&& line) {
  if (out.capacity() >= line.size()) {
    out.assign(line);
  } else {
    out = std::move(line);
  }
}

// A CSV column: `v` and the field separator after it, written at `at`,
// which has room for kCsvNumberRoom octets; returns the end.
constexpr std::size_t kCsvNumberRoom = 22;  // sign, 20 digits, separator
char* PutCsvNumber(char* at, long long v, char sep) {
  at = std::to_chars(at, at + kCsvNumberRoom - 1, v).ptr;
  *at++ = sep;
  return at;
}

void PadTo(std::string& s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
}

// "d=0.055s  ": the seconds since the header line before, in at most
// kDeltaLength octets.
std::size_t FormatDelta(char* out, double seconds) {
  char text[2 + kFixedRoom + 3];
  std::memcpy(text, "d=", 2);
  std::size_t length = 2 + FormatFixed(text + 2, seconds, 3);
  std::memcpy(text + length, "s  ", 3);
  length = std::min(length + 3, kDeltaLength);
  std::memcpy(out, text, length);
  return length;
}

void AppendDelta(std::string& s, double seconds) {
  char text[kDeltaLength];
  s.append(text, FormatDelta(text, seconds));
}

// Elements as the text forms show them, or as the fields of the CSV form.
enum class Form : bool { kText, kCsv };

// `stop` is one more character written as a full stop: the field separator in
// the CSV form, where a reader must find the columns the line has; 0 (a
// control character anyway) in the text forms.
// The two hex digits of each octet, and how it stands among the characters:
// control characters and the octets above ASCII as a full stop, since the
// lines are UTF-8 and the columns must stay where they are.
constexpr auto kHexPairs = [] {
  std::array<std::array<char, 2>, 256> pairs{};
  for (std::size_t o = 0; o < pairs.size(); ++o)
    pairs[o] = {kHexDigits[o >> 4], kHexDigits[o & 15]};
  return pairs;
}();
constexpr auto kShownAs = [] {
  std::array<char, 256> shown{};
  for (std::size_t o = 0; o < shown.size(); ++o) {
    shown[o] = o < 0x20 || o >= 0x7F ? '.' : static_cast<char>(o);
  }
  return shown;
}();

void AppendOctetField(std::string& out, std::span<const std::uint8_t> octets, char stop = '\0') {
  const std::size_t base = out.size();
  out.append(kOctetFieldWidth, ' ');
  char* field = out.data() + base;
  const std::size_t count = std::min(octets.size(), kRowOctets);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t o = octets[i];
    std::memcpy(field + 3 * i + i / 4, kHexPairs[o].data(), 2);
    field[kOctetCharacterColumn + i] = o == static_cast<std::uint8_t>(stop) ? '.' : kShownAs[o];
  }
}

std::string OctetField(std::span<const std::uint8_t> octets, char stop = '\0') {
  std::string field;
  AppendOctetField(field, octets, stop);
  return field;
}

// The row label "first-last:  " right-justified to `width`.
void AppendRowLabel(std::string& out, std::size_t first, std::size_t last, std::size_t width) {
  char label[48];
  char* end = std::to_chars(label, label + 20, first).ptr;
  *end++ = '-';
  end = std::to_chars(end, end + 20, last).ptr;
  std::memcpy(end, ":  ", 3);
  end += 3;
  const auto length = static_cast<std::size_t>(end - label);
  if (length < width) out.append(width - length, ' ');
  out.append(label, length);
}

// Octets taken as Latin-1 characters, control characters and `stop` (as in
// OctetField) as full stops.
std::string Latin1Text(std::span<const std::uint8_t> octets, char stop) {
  std::string s;
  for (std::uint8_t o : octets) {
    if (o < 0x20 || o == 0x7F || o == static_cast<std::uint8_t>(stop)) {
      s.push_back('.');
    } else if (o < 0x80) {
      s.push_back(static_cast<char>(o));
    } else {
      s.push_back(static_cast<char>(0xC0 | (o >> 6)));
      s.push_back(static_cast<char>(0x80 | (o & 0x3F)));
    }
  }
  return s;
}

class Renderer {
 public:
  Renderer(RenderCursor& cursor, const RenderContext& context, RenderContext* kept = nullptr)
      : c_(cursor), x_(context), t_(context.texts), kept_(kept) {}

  // The next line into `out`, which comes empty; it stays empty when the
  // telegram has no more lines.
  void Line(double& previousTime, std::string& out);
  std::string Elements();
  void AppendElements(std::string& s);
  // The elements of a CSV telegram's first line, from where its head ended.
  void AppendCsvLineElements(std::string& s) { AppendCsvPart(s); }
  // Whether the rest of the telegram can go out without a line of its own
  // each: the octet rows of the bytes form, or measurands alone (in the
  // full, compact and one-line forms whole rows of them, in CSV those of
  // the VSQ count, all in the first line).
  bool RestStraight() const;
  // The rest of the telegram's lines as Line() makes them, each ended by
  // CR LF (not in CSV, whose line the cache ends).
  void AppendRest(std::string& out);

 private:
  RenderCursor& c_;
  const RenderContext& x_;
  const TextTable& t_;
  // Where the time and date texts of the last second and the lines of the
  // last generic ASDU are kept; none: each made anew.
  RenderContext* kept_;

  bool OneLine() const { return x_.format == DisplayFormat::OneLine; }
  int Status() const { return c_.entry.status; }
  int Kind() const { return c_.entry.frameKind; }
  std::string T(int n) const { return n >= 0 ? t_.Text(n) : std::string(); }
  std::string_view V(int n) const { return n >= 0 ? t_.View(n) : std::string_view(); }
  std::string Pad(std::string s) const;
  std::string Num(int textNumber, long long v) const {
    std::string s(V(textNumber));
    AppendDecimal(s, v);
    return s;
  }
  std::string Field(int textNumber, long long v) const { return Pad(Num(textNumber, v)); }
  // field(t, v), or nothing for a field that the ASDU does not reach.
  std::string FieldIf(int textNumber, std::optional<std::uint8_t> v) const {
    return v ? Field(textNumber, *v) : std::string();
  }
  // The next header field (FUN, INF): none where the ASDU has ended, so that
  // a short ASDU never shows its checksum and end character as fields.
  std::optional<std::uint8_t> ReadField() {
    if (c_.Exhausted()) return std::nullopt;
    return c_.ReadOctet();
  }
  std::string Col12(std::string s) const {
    PadTo(s, kColumn);
    return s;
  }
  std::string Channel(int c) const;
  std::string Prefix() const {
    std::string s = Channel(c_.entry.channel);
    s += V(txt::kChannelSuffix);
    return Col12(std::move(s));
  }
  std::string HexPrefix() const { return std::string(1, t_.hexPrefix()); }
  // Notes where a changing text, s[from, end), stands when the context asks.
  void Mark(const std::string& s, std::size_t from, SlotKind kind) const {
    if (x_.slotNotes == nullptr) return;
    x_.slotNotes->push_back(
        {0, static_cast<std::uint16_t>(std::min<std::size_t>(from, UINT16_MAX)),
         static_cast<std::uint16_t>(std::min<std::size_t>(s.size() - from, UINT16_MAX)), kind});
  }
  std::string NumberText() const;
  std::string TimeText() const;
  const std::string& DayTimeText(const DayTime& t, bool date, std::string& own) const;
  std::string StatusText() const;
  std::string TypeName(int typ) const;
  std::string CauseName(int typ, int cot) const;
  std::string InfPart(int inf) const;

  std::string Header(double& previousTime);
  std::string LinkLine() const;
  std::string AsduHeader();
  std::string FunInfLine();
  void OctetRow(int row, std::string& s) const;
  void OneLineForm(std::string& s);
  void Csv(std::string& s);
  std::string CsvPart() {
    std::string s;
    AppendCsvPart(s);
    return s;
  }
  void AppendCsvPart(std::string& s);
  void SelectNameAndColour();

  // Element texts.
  std::string ContinuationRow();
  void DataLine(std::string& s);
  bool GenericDecoded() const {
    return x_.genericServices && IsGenericServiceType(c_.Typ()) &&
           (x_.format == DisplayFormat::Log || x_.format == DisplayFormat::Compact);
  }
  std::string GenericLine();
  std::string Octets(ConstBytes octets, Form form) const {
    return OctetField(octets, StopCharacter(form));
  }
  char StopCharacter(Form form) const { return form == Form::kCsv ? t_.fieldSeparator() : '\0'; }
  std::string LeftOctets(Form form) {
    return Octets(c_.ReadOctets(std::min(kRowOctets, c_.Left())), form);
  }
  std::string DpiText(std::uint8_t octet) const;
  std::string Time4Text(ConstBytes octets) const;
  std::string Time7Text(ConstBytes octets) const;
  // The field of a measurand: value, share, flags, padding.
  void AppendMeasurand(std::string& out, std::uint16_t word) const;
  // The value and its share of the reference, "  2731= 80.02%".
  void AppendMeaValue(std::string& out, int value) const;
  std::string TooText(std::uint8_t too) const;
  std::string FloatOf(std::uint32_t bits) const {
    return FloatText(DecodeFloat(bits), x_.locale.decimalPoint);
  }
  std::string Value(layout::Coding coding, ConstBytes octets, Form form) const;
  void AppendCsvValue(std::string& s, layout::Coding coding, ConstBytes octets) const;
  // Flags and value, each with the field separator after it.
  void AppendCsvMeasurand(std::string& s, std::uint16_t word) const;
  void AppendFieldText(std::string& out, const layout::Field& field, ConstBytes octets) const;
  std::size_t PadWidth(std::size_t length) const {
    return OneLine() ? length + kOneLinePadExtra : std::max(length + kPadExtra, kPadMinimum);
  }
  bool Append(std::string& s, std::span<const layout::Field> unit, Form form);
  void AppendItems(std::string& s, std::span<const layout::Field> item, int count, Form form);
};

std::string Renderer::Pad(std::string s) const {
  PadTo(s, PadWidth(s.size()));
  return s;
}

std::string Renderer::Channel(int c) const {
  return c >= kFirstChannel && c <= kLastChannel ? T(txt::kChannelNames + c) : std::string();
}

std::string Renderer::NumberText() const {
  return RightJustify(GroupedNumber(c_.entry.seqNo, x_.locale), 2);
}

const std::string& Renderer::DayTimeText(const DayTime& t, bool date, std::string& own) const {
  const std::string& format = date ? x_.locale.dateFormat : x_.locale.timeFormat;
  if (kept_ != nullptr) {
    return (date ? kept_->dateTexts : kept_->timeTexts).Text(t, format);
  }
  own = FormatDayTime(t, format);
  return own;
}

std::string Renderer::TimeText() const {
  const DayTime t = SplitDayNumber(c_.entry.timeStamp);
  std::string own;
  std::string s = DayTimeText(t, false, own);
  s.push_back(',');
  AppendZeroPadded(s, t.millisecond, 3);
  return s;
}

std::string Renderer::StatusText() const {
  const int s = Status();
  const int x = c_.entry.linkAddress;
  const int c = c_.entry.channel;
  switch (s) {
    case event::kModemLines: {
      std::string text = Channel(c) + T(txt::kModemLines);
      for (int i = kModemLineCount - 1; i >= 0; --i) {
        if ((x & (1 << i)) == 0) continue;
        text += T(txt::kModemLineNames + i) + ((x & (1 << (i + kModemStateShift))) ? "1" : "0");
      }
      return text;
    }
    case event::kPortOpened:
    case event::kPortClosed: {
      const std::size_t count = c_.Frame().size();
      std::string a;
      std::string b;
      auto word = [&](std::size_t at) {
        return static_cast<std::int32_t>(c_.FrameOctet(at) | (c_.FrameOctet(at + 1) << 8) |
                                         (c_.FrameOctet(at + 2) << 16) |
                                         (static_cast<std::uint32_t>(c_.FrameOctet(at + 3)) << 24));
      };
      if (count > statistics::kReasonPresent) {
        const int reason =
            c_.FrameOctet(statistics::kReason) | (c_.FrameOctet(statistics::kReason + 1) << 8);
        a = T(text::kPortFunctionNames + reason);
        b = FormatText(t_.View(txt::kBaud), {static_cast<long long>(word(statistics::kNumber))});
      }
      std::string text = FormatText(t_.View(txt::kStatus + s), {static_cast<long long>(x), a, b});
      if (count >= statistics::kCountersPresent) {
        for (int k = 0; k < 2; ++k) {
          const std::size_t at = statistics::kPairs + 8 * static_cast<std::size_t>(k);
          text += FormatText(
              t_.View(txt::kCounters),
              {Channel(c + k), static_cast<double>(word(at)), static_cast<double>(word(at + 4))});
        }
      }
      return text;
    }
    case event::kRtsChanged:
      return Channel(c) + Num(txt::kStatus + s, x);
    default:
      return T(txt::kStatus + s);
  }
}

std::string Renderer::TypeName(int typ) const {
  return T(typ > kHighestNamedType ? text::kPrivateType : text::kTypeNames + typ);
}

std::string Renderer::CauseName(int typ, int cot) const {
  const int k = cot < kCauseNameCount ? cot : 0;
  if (typ == kGeneralCommandType && k == kGeneralCommandCot) return T(text::kGeneralCommandCause);
  return T(text::kCauseNames + k);
}

std::string Renderer::InfPart(int inf) const {
  std::string s = Num(OneLine() ? txt::kInfOneLine : txt::kInf, inf);
  if (c_.nameIndex != -1 && x_.infoTexts != nullptr) {
    s += '=';
    s += x_.infoTexts->Name(c_.nameIndex);
  }
  return Pad(std::move(s));
}

void Renderer::SelectNameAndColour() {
  if (Kind() != kFrameVariable || !Decodable(Status())) return;
  const int typ = c_.Typ();
  const int cot = c_.AsduOctet(ft12::at::kCot).value_or(0);
  const auto fun = c_.AsduOctet(ft12::at::kFun);
  const auto inf = c_.AsduOctet(ft12::at::kInf);
  // An ASDU that ends before INF has no name.
  if (fun && inf) {
    c_.nameKey = InfoKey(typ, *fun, *inf);
    c_.nameIndex = x_.infoTexts != nullptr ? x_.infoTexts->Lookup(c_.nameKey) : -1;
  }
  if (Status() < status::kCorrect) return;
  const std::uint16_t objectColour =
      c_.nameIndex != -1 ? x_.infoTexts->ColourWord(c_.nameIndex) : std::uint16_t{0};
  const std::uint16_t typePair =
      x_.typeColours != nullptr ? (*x_.typeColours)[static_cast<std::size_t>(typ)] : 0;
  const std::uint16_t causePair =
      x_.causeColours != nullptr ? (*x_.causeColours)[static_cast<std::size_t>(cot)] : 0;
  const std::uint16_t pair = ApplyOverride(ColourPair(c_.textColour, c_.backgroundColour),
                                           OverridePair(objectColour, typePair, causePair));
  c_.textColour = TextIndex(pair);
  c_.backgroundColour = BackgroundIndex(pair);
}

std::string Renderer::Header(double& previousTime) {
  const TLogEntry& e = c_.entry;
  const bool event = e.frameKind == kFrameEvent;
  std::string eventPrefix;
  if (event && (e.status == event::kLinkResetReceived || e.status == event::kLinkEstablished ||
                e.status == event::kLinkLost)) {
    eventPrefix = Channel(e.channel) + Num(txt::kEventValue, e.linkAddress) + "  ";
  }
  std::string s = LineBuffer();
  s += NumberText();
  Mark(s, 0, SlotKind::Number);
  PadTo(s, kColumn);
  std::size_t at = s.size();
  s += TimeText();
  Mark(s, at, SlotKind::Time);
  s += "  ";
  if (!event && previousTime != 0.0) {
    at = s.size();
    AppendDelta(s, (e.timeStamp - previousTime) * 86400.0);
    Mark(s, at, SlotKind::Delta);
  }
  previousTime = e.timeStamp;
  Mark(s, s.size(), SlotKind::SetsPrevious);
  s += eventPrefix;
  s += StatusText();
  return s;
}

std::string Renderer::LinkLine() const {
  const TLogEntry& e = c_.entry;
  std::string s = LineBuffer();
  s += e.frameKind == kFrameVariable ? V(txt::kLinkColumn) : Channel(e.channel);
  if (e.frameKind != kFrameVariable) s += V(txt::kChannelSuffix);
  PadTo(s, kColumn);
  auto control = [&] {
    s += "  ";
    s.push_back(t_.hexPrefix());
    s.push_back(kHexDigits[e.control >> 4]);
    s.push_back(kHexDigits[e.control & 0x0F]);
  };
  if (e.control == kSingleCharacterControl) {
    s += V(txt::kSingleCharacter);
    control();
    return s;
  }
  const bool prm = (e.control & kPrmBit) != 0;
  const int function = (e.control & kFunctionMask) + txt::kPrimaryFunctions +
                       (prm ? 0 : txt::kSecondaryFunctions - txt::kPrimaryFunctions);
  const std::size_t address = s.size();
  s += V(txt::kLinkAddress);
  AppendDecimal(s, e.linkAddress);
  PadTo(s, address + kEventColumn);
  s += V(function);
  control();
  auto bit = [&](int label, int b) {
    s += V(label);
    s.push_back(static_cast<char>('0' + ((e.control >> b) & 1)));
  };
  bit(txt::kControlBits + 0, 7);
  bit(txt::kControlBits + 1, 6);
  bit(txt::kControlBits + (prm ? 2 : 4), 5);
  bit(txt::kControlBits + (prm ? 3 : 5), 4);
  return s;
}

std::string Renderer::AsduHeader() {
  constexpr std::size_t kShortestAsduFrame = 9;
  if (c_.Frame().size() < kShortestAsduFrame) return {};
  const int typ = c_.Typ();
  const int cot = c_.AsduOctet(ft12::at::kCot).value_or(0);
  const int adr = c_.AsduOctet(ft12::at::kCommonAddress).value_or(0);
  if (x_.format == DisplayFormat::Compact) {
    const auto fun = ReadField();
    const auto inf = ReadField();
    return Prefix() + Field(txt::kAdr, adr) + Field(txt::kTyp, typ) + Field(txt::kCot, cot) +
           FieldIf(txt::kFun, fun) + FieldIf(txt::kInf, inf);
  }
  return Prefix() + Field(txt::kAdr, adr) + Num(txt::kTyp, typ) + "=" + TypeName(typ) + "   " +
         Num(txt::kCot, cot) + "=" + CauseName(typ, cot);
}

std::string Renderer::FunInfLine() {
  const auto fun = ReadField();
  const auto inf = ReadField();
  return Col12(T(txt::kObjectColumn)) + FieldIf(txt::kFun, fun) + (inf ? InfPart(*inf) : "");
}

void Renderer::OctetRow(int row, std::string& s) const {
  const auto frame = c_.Frame();
  const std::size_t first = kRowOctets * static_cast<std::size_t>(row);
  if (row < 0 || first >= frame.size()) return;
  const std::size_t last = std::min(first + kRowOctets - 1, frame.size() - 1);
  Reserve(s);
  if (row == 0) s += Channel(c_.entry.channel);
  AppendRowLabel(s, first + 1, last + 1, row == 0 ? kEventColumn : kColumn);
  AppendOctetField(s, frame.subspan(first, last - first + 1));
}

std::string Renderer::ContinuationRow() {
  const std::size_t k = std::min(kRowOctets, c_.Left());
  if (k == 0) return {};
  const std::size_t b = kRowOctets * static_cast<std::size_t>(c_.continuationRow++);
  std::string s = LineBuffer();
  AppendRowLabel(s, b + 1, b + k, kColumn);
  AppendOctetField(s, c_.ReadOctets(k));
  return s;
}

// The cursor keeps only how many lines were shown: the lines of the ASDU are
// kept in the context for the next line, or decoded anew for each one.
std::string Renderer::GenericLine() {
  const std::size_t end = c_.AsduEnd();
  if (end <= ft12::at::kElements) return {};
  const int typ = c_.Typ();
  const auto elements = c_.Frame().subspan(ft12::at::kElements, end - ft12::at::kElements);
  std::vector<std::string> own;
  if (kept_ == nullptr) {
    own = GenericServiceLines(typ, elements);
  } else if (GenericLinesKept& kept = kept_->genericLines;
             kept.typ != typ || !std::ranges::equal(kept.elements, elements)) {
    kept.typ = typ;
    kept.elements.assign(elements.begin(), elements.end());
    kept.lines = GenericServiceLines(typ, elements);
  }
  const std::vector<std::string>& lines = kept_ == nullptr ? own : kept_->genericLines.lines;
  const auto index = static_cast<std::size_t>(c_.elementStep);
  if (index >= lines.size()) return {};
  ++c_.elementStep;
  return Col12(T(txt::kDataColumn)) + lines[index];
}

std::string Renderer::DpiText(std::uint8_t octet) const {
  const std::size_t width = OneLine() ? t_.Length(elementtext::kDpiNames) + kOneLinePadExtra : 10;
  return LeftJustify(T(elementtext::kDpiNames + DoublePoint(octet)), width);
}

std::string Renderer::Time4Text(ConstBytes octets) const {
  const Time4 t = DecodeTime4(octets);
  std::string s;
  if (t.invalid) s += T(elementtext::kInvalid);
  if (t.reserve1) s += T(elementtext::kReserve1);
  if (t.summerTime) s += T(elementtext::kSummerTime);
  AppendZeroPadded(s, t.hours, 2);
  s.push_back(':');
  AppendZeroPadded(s, t.minutes, 2);
  s.push_back(':');
  AppendZeroPadded(s, t.Seconds(), 2);
  s.push_back(',');
  AppendZeroPadded(s, t.Millis(), 3);
  return s;
}

std::string Renderer::Time7Text(ConstBytes octets) const {
  const Time7 t = DecodeTime7(octets);
  std::string s;
  if (t.dayOfWeek != 0) s = T(elementtext::kDayOfWeek) + std::to_string(t.dayOfWeek) + " ";
  DayTime date;
  date.year = t.year;
  date.month = t.month;
  date.day = t.day;
  std::string own;
  s += DayTimeText(date, true, own);
  s += "  ";
  s += Time4Text(octets);
  return s;
}

void Renderer::AppendMeasurand(std::string& out, std::uint16_t word) const {
  MeasurandTexts* const kept = x_.measurandTexts;
  if (kept != nullptr && kept->Append(out, word, x_)) return;
  const Measurand m = DecodeMeasurand(word);
  const std::size_t start = out.size();
  AppendMeaValue(out, m.value);
  if (m.overflow) out += V(elementtext::kOverflow);
  if (m.error) out += V(elementtext::kError);
  PadTo(out, start + kMeasurandWidth);
  if (kept != nullptr) kept->Keep(word, std::string_view(out).substr(start));
}

void Renderer::AppendMeaValue(std::string& out, int value) const {
  constexpr std::size_t kWidth = 6;
  const float p = MeasurandPercent(value, x_.measurand100);
  const float magnitude = p < 0 ? -p : p;
  const int decimals = magnitude < 10.0f ? 3 : magnitude < 100.0f ? 2 : 1;
  // Both numbers right-justified, put together here and appended at once.
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value);
  const auto length = static_cast<std::size_t>(end.ptr - digits);
  char percent[kFixedRoom];
  const std::size_t percentLength = FormatFixed(percent, static_cast<double>(p), decimals);
  char text[sizeof digits + sizeof percent + 2 * kWidth + 2];
  char* at = text;
  const auto put = [&at](const char* from, std::size_t n) {
    if (n < kWidth) at = std::fill_n(at, kWidth - n, ' ');
    at = std::copy_n(from, n, at);
  };
  put(digits, length);
  *at++ = '=';
  put(percent, percentLength);
  *at++ = '%';
  out.append(text, static_cast<std::size_t>(at - text));
}

std::string Renderer::TooText(std::uint8_t too) const {
  const int q = TooPosition(t_.TooCodes(), too);
  if (q == 0) return Field(elementtext::kTooFallback, too);
  return Pad(T(text::kTooNames + q) + "=" + std::to_string(too));
}

// The value of a field: in the text forms as the lines show it, in CSV as
// numbers, each with the field separator after it.
std::string Renderer::Value(layout::Coding coding, ConstBytes o, Form form) const {
  using enum layout::Coding;
  if (form == Form::kCsv) {
    std::string s;
    AppendCsvValue(s, coding, o);
    return s;
  }
  switch (coding) {
    case kOctet:
      return std::to_string(o[0]);
    case kWord:
      return std::to_string(GetU16(o, 0));
    case kBits:
      return Hex2(o[0]);
    case kHexOctet:
      return HexPrefix() + Hex2(o[0]);
    case kDpi:
      return DpiText(o[0]);
    case kToo:
      return TooText(o[0]);
    case kMeasurand: {
      std::string s;
      AppendMeasurand(s, GetU16(o, 0));
      return s;
    }
    case kMilliseconds:
      return std::to_string(GetU16(o, 0)) + T(txt::kRelativeTimeUnit);
    case kFloat:
      return FloatOf(GetU32(o, 0));
    case kTime4:
      return Time4Text(o);
    case kTime7:
      return Time7Text(o);
    case kText:
      return Latin1Text(o, StopCharacter(form));
    case kLong:
      return HexPrefix() + OctetField(o);
    case kLineBreak:
      break;
  }
  return {};
}

namespace {

// The two digits of each number below 100.
constexpr auto kTwoDigits = [] {
  std::array<std::array<char, 2>, 100> digits{};
  for (std::size_t n = 0; n < digits.size(); ++n) {
    digits[n] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
  }
  return digits;
}();

// The CSV columns of a measurand, flags and value, written at `at`, which
// has room for 2 * kCsvNumberRoom octets; returns the end.
char* PutCsvMeasurand(char* at, std::uint16_t word, char sep) {
  // (As DecodeMeasurand gives them, without its call; a digit for the flags
  // and at most four for the value, without those of to_chars.)
  static_assert(kMeaFlags < 10 && (0x8000 >> kMeaValueShift) <= 9999);
  *at++ = static_cast<char>('0' + (word & kMeaFlags));
  *at++ = sep;
  int value = static_cast<std::int16_t>(word) >> kMeaValueShift;
  if (value < 0) {
    *at++ = '-';
    value = -value;
  }
  // Two digits at a time, each pair from a table.
  const auto pair = [&at](int n) {
    std::memcpy(at, kTwoDigits[static_cast<std::size_t>(n)].data(), 2);
    at += 2;
  };
  const int high = value / 100;
  const int low = value % 100;
  if (high >= 10) {
    pair(high);
  } else if (high > 0) {
    *at++ = static_cast<char>('0' + high);
  }
  if (high > 0 || low >= 10) {
    pair(low);
  } else {
    *at++ = static_cast<char>('0' + low);
  }
  *at++ = sep;
  return at;
}

}  // namespace

void Renderer::AppendCsvMeasurand(std::string& s, std::uint16_t word) const {
  char text[2 * kCsvNumberRoom];
  s.append(text, static_cast<std::size_t>(PutCsvMeasurand(text, word, t_.fieldSeparator()) - text));
}

void Renderer::AppendCsvValue(std::string& s, layout::Coding coding, ConstBytes o) const {
  using enum layout::Coding;
  const char sep = t_.fieldSeparator();
  // The number and its separator in one append.
  auto n = [&](long long v) {
    char text[kCsvNumberRoom];
    s.append(text, static_cast<std::size_t>(PutCsvNumber(text, v, sep) - text));
  };
  switch (coding) {
    case kOctet:
    case kBits:
    case kHexOctet:
    case kToo:
      n(o[0]);
      break;
    case kWord:
    case kMilliseconds:
      n(GetU16(o, 0));
      break;
    case kDpi:
      n(DoublePoint(o[0]));
      break;
    case kMeasurand:
      AppendCsvMeasurand(s, GetU16(o, 0));
      break;
    case kLong:
      n(GetI32(o, 0));
      break;
    case kTime4:
    case kTime7:
      // A time tag: the milliseconds, then every octet as it is.
      n(GetU16(o, 0));
      for (std::size_t i = sizeof(std::uint16_t); i < o.size(); ++i) n(o[i]);
      break;
    case kFloat:
      s += FloatOf(GetU32(o, 0));
      s += sep;
      break;
    case kText:
      s += Latin1Text(o, sep);
      s += sep;
      break;
    case kLineBreak:
      break;
  }
}

void Renderer::AppendFieldText(std::string& out, const layout::Field& field,
                               ConstBytes octets) const {
  using enum layout::Look;
  if (field.look == kHidden) return;
  const std::size_t start = out.size();
  if (field.label != layout::label::kNone) out += V(field.label);
  // The most frequent element is written in place; the others come as a text.
  if (field.coding == layout::Coding::kMeasurand) {
    AppendMeasurand(out, GetU16(octets, 0));
  } else {
    out += Value(field.coding, octets, Form::kText);
  }
  switch (field.look) {
    case kPadded:
      PadTo(out, start + PadWidth(out.size() - start));
      break;
    case kSpaced:
      out += "  ";
      break;
    case kFanColumn:
      PadTo(out, start + PadWidth(out.size() - start));
      PadTo(out, start + kFanWidth);
      break;
    default:
      break;
  }
}

// A unit the ASDU cuts short ends the line: the fault, then the octets left.
// Past the check every field finds all its octets.
bool Renderer::Append(std::string& s, std::span<const layout::Field> unit, Form form) {
  const bool csv = form == Form::kCsv;
  if (c_.Left() < layout::SizeOf(unit)) {
    s += T(txt::kStatus + status::kAsduLength) +
         (csv ? std::string(1, t_.fieldSeparator()) : "  ") + LeftOctets(form);
    return false;
  }
  for (const layout::Field& field : unit) {
    const ConstBytes octets = c_.ReadOctets(layout::SizeOf(field.coding));
    if (csv) {
      AppendCsvValue(s, field.coding, octets);
    } else {
      AppendFieldText(s, field, octets);
    }
  }
  return true;
}

void Renderer::AppendItems(std::string& s, std::span<const layout::Field> item, int count,
                           Form form) {
  if (item.data() == layout::fields::kMeasurands) {
    // The most frequent items, written as Append writes them without its
    // loop over the fields.
    static_assert(std::size(layout::fields::kMeasurands) == 1 &&
                  layout::fields::kMeasurands[0].coding == layout::Coding::kMeasurand &&
                  layout::fields::kMeasurands[0].label == layout::label::kNone &&
                  layout::fields::kMeasurands[0].look == layout::Look::kBare);
    constexpr std::size_t kSize = layout::SizeOf(layout::Coding::kMeasurand);
    for (int i = 0; i < count && !c_.Exhausted(); ++i) {
      if (c_.Left() < kSize) {
        Append(s, item, form);  // the fault and the octet left
        return;
      }
      const std::uint16_t word = GetU16(c_.ReadOctets(kSize), 0);
      if (form == Form::kCsv) {
        AppendCsvMeasurand(s, word);
      } else {
        AppendMeasurand(s, word);
      }
    }
    return;
  }
  for (int i = 0; i < count && !c_.Exhausted(); ++i) {
    if (!Append(s, item, form)) return;
  }
}

std::string Renderer::Elements() {
  std::string s = LineBuffer();
  AppendElements(s);
  return s;
}

void Renderer::AppendElements(std::string& s) {
  if (c_.Exhausted()) return;
  const layout::TypeLayout& t = layout::LayoutOf(c_.Typ());
  if (c_.elementStep >= t.TextSteps()) {
    s += ContinuationRow();
    return;
  }
  const int step = c_.elementStep++;
  if (!t.fixed.empty() && step < t.FixedLines()) {
    Append(s, t.FixedLine(static_cast<std::size_t>(step)), Form::kText);
  } else if (!t.item.empty()) {
    AppendItems(s, t.item, t.itemsPerLine, Form::kText);
  } else {
    s += ContinuationRow();
  }
}

namespace {

constexpr std::size_t kMeasurandSize = layout::SizeOf(layout::Coding::kMeasurand);

// The CSV columns of `items` measurands from octet `from` of `frame` on,
// appended to the line that starts at `start` in `out`, which is then cut
// to its greatest length and ended.
void AppendCsvMeasurands(std::string& out, std::span<const std::uint8_t> frame, std::size_t from,
                         std::size_t items, char sep, std::size_t start) {
  // Some at a time put together here, and appended together.
  constexpr std::size_t kTogether = 16;
  char columns[kTogether * 2 * kCsvNumberRoom];
  while (items > 0) {
    const std::size_t n = std::min(items, kTogether);
    char* end = columns;
    for (std::size_t i = 0; i < n; ++i) {
      end = PutCsvMeasurand(end, GetU16(frame, from), sep);
      from += kMeasurandSize;
    }
    out.append(columns, static_cast<std::size_t>(end - columns));
    items -= n;
  }
  CutUtf8(out, kMaxLineLength, start);
  out.append("\r\n", 2);
}

}  // namespace

bool Renderer::RestStraight() const {
  if (x_.format == DisplayFormat::Octets) return true;
  const std::size_t left = c_.Left();
  if (left == 0 || left % kMeasurandSize != 0) return false;
  const layout::TypeLayout& t = layout::LayoutOf(c_.Typ());
  if (t.item.data() != layout::fields::kMeasurands) return false;
  switch (x_.format) {
    case DisplayFormat::Csv:
      // All of them in the first part, with no fixed fields before them and
      // no octets after them.
      return t.fixed.empty() && t.csvItemsCounted && c_.elementStep == 0 &&
             left / kMeasurandSize <= static_cast<std::size_t>(c_.elementCount);
    case DisplayFormat::Log:
    case DisplayFormat::Compact:
      // Every row a data line: never a generic line, nor a continuation row.
      if (GenericDecoded() || !KnownForDecoding(c_.Typ())) return false;
      [[fallthrough]];
    case DisplayFormat::OneLine:
      // (With items on lines there is no end to the element lines.)
      return t.itemsPerLine > 0 && c_.elementStep >= t.FixedLines();
    default:
      return false;
  }
}

void Renderer::AppendRest(std::string& out) {
  if (x_.format == DisplayFormat::Octets) {
    // The rows from the one after the line that Line() gave last.
    for (int row = c_.lineNumber - 1;; ++row) {
      const std::size_t rowStart = out.size();
      OctetRow(row, out);
      CutUtf8(out, kMaxLineLength, rowStart);
      if (out.size() == rowStart) break;
      out.append("\r\n", 2);
    }
    return;
  }
  // What each row starts with: the data column, or the one-line form's indent.
  std::string_view column;
  std::size_t pad = 0;
  if (OneLine()) {
    pad = c_.indent > 4 ? c_.indent - 4u : 0u;
  } else {
    column = V(txt::kDataColumn);
    pad = column.size() < kColumn ? kColumn - column.size() : 0;
  }
  const auto perRow = static_cast<std::size_t>(layout::LayoutOf(c_.Typ()).itemsPerLine);
  // A row whose fields are all kept is put together here and appended whole.
  MeasurandTexts* const kept = x_.measurandTexts;
  char line[512];
  const std::size_t prefix = column.size() + pad;
  const bool room =
      kept != nullptr &&
      prefix + std::min(perRow, sizeof line) * MeasurandTexts::kLongest + 2 <= sizeof line;
  if (room) {
    // (The one-line form has no column: no copy from its null pointer.)
    if (!column.empty()) std::memcpy(line, column.data(), column.size());
    std::memset(line + column.size(), ' ', pad);
  }
  const auto frame = c_.Frame();
  for (std::size_t items = c_.Left() / kMeasurandSize; items > 0;) {
    const std::size_t row = std::min(items, perRow);
    items -= row;
    if (room) {
      const std::size_t from = c_.parsePosition;
      std::size_t length = prefix;
      std::size_t i = 0;
      for (; i < row; ++i) {
        const std::size_t field =
            kept->CopyTo(line + length, GetU16(frame, from + kMeasurandSize * i), x_);
        if (field == 0) break;  // made below, and kept for the next time
        length += field;
      }
      if (i == row && length <= kMaxLineLength) {
        c_.parsePosition = from + kMeasurandSize * row;
        line[length] = '\r';
        line[length + 1] = '\n';
        out.append(line, length + 2);
        continue;
      }
    }
    const std::size_t lineStart = out.size();
    out += column;
    out.append(pad, ' ');
    for (std::size_t i = 0; i < row; ++i) {
      AppendMeasurand(out, GetU16(c_.ReadOctets(kMeasurandSize), 0));
    }
    CutUtf8(out, kMaxLineLength, lineStart);
    // A line cut to nothing ends the telegram.
    if (out.size() == lineStart) break;
    out.append("\r\n", 2);
  }
}

// The data column and the elements of a line.
void Renderer::DataLine(std::string& s) {
  Reserve(s);
  s += V(txt::kDataColumn);
  PadTo(s, kColumn);
  AppendElements(s);
}

void Renderer::OneLineForm(std::string& s) {
  const TLogEntry& e = c_.entry;
  const bool event = e.frameKind == kFrameEvent;
  if (c_.lineNumber > 1) {
    if (c_.Exhausted() || event) return;
    Reserve(s);
    s.append(c_.indent > 4 ? c_.indent - 4u : 0u, ' ');
    const std::size_t indent = s.size();
    AppendElements(s);
    if (s.size() == indent) s.clear();
    return;
  }
  if (e.frameKind == kFrameFixed && e.status >= status::kCorrect && !x_.showLink) return;
  Reserve(s);
  s += Channel(e.channel);
  s += "  ";
  if (x_.showTime) {
    std::size_t at = s.size();
    s += NumberText();
    Mark(s, at, SlotKind::Number);
    s += "  ";
    at = s.size();
    s += TimeText();
    Mark(s, at, SlotKind::Time);
    s += "  ";
  }
  if (e.status != event::kRtsChanged && e.status != event::kModemLines) {
    if (event) {
      if (e.status == event::kLinkResetReceived || e.status == event::kLinkEstablished) {
        s += std::to_string(e.linkAddress);
      }
      s += "  ";
    } else {
      if (x_.showLink) {
        if (e.control == kSingleCharacterControl) {
          s += "   ";
        } else {
          AppendDecimal(s, e.linkAddress);
          s += "  ";
        }
        s.push_back(t_.hexPrefix());
        s.push_back(kHexDigits[e.control >> 4]);
        s.push_back(kHexDigits[e.control & 0x0F]);
        s += "  ";
      }
      if (e.frameKind != kFrameFixed) {
        c_.indent = static_cast<std::uint16_t>(std::min<std::size_t>(s.size(), UINT16_MAX));
        const auto typ = c_.AsduOctet(ft12::at::kTyp);
        const auto fun = ReadField();
        const auto inf = ReadField();
        const std::size_t head = s.size();
        if (typ) {
          s += V(txt::kTypOneLine);
          AppendDecimal(s, *typ);
          s += "  ";
        }
        if (fun) {
          s += V(txt::kFunOneLine);
          AppendDecimal(s, *fun);
          s += "  ";
        }
        if (inf) s += InfPart(*inf);
        PadTo(s, head + kOneLineHeadWidth);
        // Rows of several items would not fit after the head; they start below it.
        if (layout::LayoutOf(c_.Typ()).itemsPerLine <= 1) AppendElements(s);
      }
    }
  }
  // Element texts may end in a digit; keep the status text apart from them.
  if (!s.empty() && s.back() != ' ') s += "  ";
  s += StatusText();
}

// The first part has the fixed fields and the first item, or all the items
// of the VSQ count; every later part one item.
void Renderer::AppendCsvPart(std::string& s) {
  if (c_.Exhausted()) return;
  const layout::TypeLayout& t = layout::LayoutOf(c_.Typ());
  if (c_.elementStep >= t.CsvSteps()) {
    s += LeftOctets(Form::kCsv);
    return;
  }
  const int step = c_.elementStep++;
  if (t.Empty()) {
    s += LeftOctets(Form::kCsv);
  } else if (step > 0) {
    AppendItems(s, t.item, 1, Form::kCsv);
  } else if (t.fixed.empty() || Append(s, t.fixed, Form::kCsv)) {
    AppendItems(s, t.item, t.csvItemsCounted ? c_.elementCount : 1, Form::kCsv);
  }
}

void Renderer::Csv(std::string& s) {
  const TLogEntry& e = c_.entry;
  const char sep = t_.fieldSeparator();
  const bool decodable =
      e.frameKind == kFrameVariable && Decodable(e.status) && e.status != status::kFreeOctets;
  const bool rawOctets = !decodable && (e.frameKind == kFrameOther || !Decodable(e.status) ||
                                        e.status == status::kFreeOctets);
  Reserve(s);
  if (c_.lineNumber > 1) {
    if (c_.csvPrefix.empty()) return;
    std::string part;
    if (rawOctets) {
      const auto frame = c_.Frame();
      if (c_.parsePosition >= frame.size()) return;
      part = Octets(c_.ReadFrameOctets(kRowOctets), Form::kCsv);
    } else {
      part = CsvPart();
    }
    if (part.empty()) return;
    AppendDecimal(s, e.seqNo);
    Mark(s, 0, SlotKind::SeqNo);
    s += sep;
    AppendDecimal(s, ++c_.subLine);
    s += sep;
    const std::size_t prefix = s.size();
    s += c_.csvPrefix;
    if (x_.slotNotes != nullptr) {
      for (RenderSlot slot : c_.csvPrefixSlots) {
        slot.offset =
            static_cast<std::uint16_t>(std::min<std::size_t>(prefix + slot.offset, UINT16_MAX));
        x_.slotNotes->push_back(slot);
      }
    }
    s += part;
    return;
  }
  AppendDecimal(s, e.seqNo);
  Mark(s, 0, SlotKind::SeqNo);
  s += sep;
  s += '0';
  s += sep;
  // What every line of the telegram repeats after its number and line.
  const std::size_t rest = s.size();
  const DayTime t = SplitDayNumber(e.timeStamp);
  std::string own;
  s += Channel(e.channel);
  s += sep;
  // Where the date and time columns stand in that repeated part.
  auto noteColumn = [&](std::size_t i, std::size_t from, SlotKind kind) {
    c_.csvPrefixSlots[i] = {0, static_cast<std::uint16_t>(from - rest),
                            static_cast<std::uint16_t>(s.size() - from), kind};
    Mark(s, from, kind);
  };
  std::size_t at = s.size();
  s += DayTimeText(t, true, own);
  noteColumn(0, at, SlotKind::Date);
  s += sep;
  at = s.size();
  s += DayTimeText(t, false, own);
  noteColumn(1, at, SlotKind::Clock);
  s += sep;
  at = s.size();
  AppendZeroPadded(s, t.millisecond, 3);
  noteColumn(2, at, SlotKind::Millisecond);
  s += sep;
  s += StatusText();
  s += sep;
  const std::size_t count = c_.Frame().size();
  if (count != 0) {
    AppendDecimal(s, e.control);
    s += sep;
    if (count != 1) {
      AppendDecimal(s, e.linkAddress);
      s += sep;
    }
  }
  if (decodable) {
    // A field that a short ASDU lacks stays an empty column.
    auto column = [&](std::optional<std::uint8_t> v) {
      if (v) AppendDecimal(s, *v);
      s += sep;
    };
    const auto typ = c_.AsduOctet(ft12::at::kTyp);
    const auto fun = ReadField();
    const auto inf = ReadField();
    if (typ) {
      s += V(text::kTypeNames);
      s += '_';
      AppendDecimal(s, *typ);
    }
    s += sep;
    column(typ);
    column(c_.AsduOctet(ft12::at::kVsq));
    column(c_.AsduOctet(ft12::at::kCot));
    column(c_.AsduOctet(ft12::at::kCommonAddress));
    column(fun);
    column(inf);
    if (c_.nameIndex != -1 && x_.infoTexts != nullptr) s += x_.infoTexts->Name(c_.nameIndex);
    s += sep;
    // Octets that the first part leaves (an element count of 0, say) follow
    // on the later lines.
    if (!c_.Exhausted()) {
      c_.csvPrefix.assign(s, rest);
      if (LineHeadNote* const note = x_.lineHeadNote; note != nullptr) {
        note->noted = true;
        note->length = s.size();
        note->cursor = c_;
      }
      AppendCsvPart(s);
    }
  } else if (rawOctets && count != 0) {
    c_.csvPrefix.assign(s, rest);
    c_.parsePosition = 0;
    AppendOctetField(s, c_.ReadFrameOctets(kRowOctets), sep);
  }
}

void Renderer::Line(double& previousTime, std::string& out) {
  int line = ++c_.lineNumber;
  if (line == 1) SelectNameAndColour();
  if (x_.format == DisplayFormat::Csv) return Csv(out);
  const TLogEntry& e = c_.entry;
  const int s = e.status;
  const int kind = e.frameKind;
  // Free octets are never decoded, in this form no more than in the others.
  if (x_.format == DisplayFormat::OneLine && Decodable(s) && s != status::kFreeOctets &&
      (kind != kFrameVariable || c_.Typ() < 21)) {
    return OneLineForm(out);
  }
  if (line == 1) {
    if (kind == kFrameEvent || s != status::kCorrect) return Assign(out, Header(previousTime));
    if (x_.showTime && (x_.showLink || kind == kFrameVariable || kind == kFrameOther)) {
      return Assign(out, Header(previousTime));
    }
    line = c_.lineNumber = 2;
  }
  if (Decodable(s) && s != status::kFreeOctets && kind != kFrameOther) {
    if (x_.format == DisplayFormat::Octets) {
      if (!x_.showLink && s == status::kCorrect && kind != kFrameVariable) return;
    } else {
      if (kind == kFrameEvent || c_.Frame().empty()) return;
      if (line == 2 && !x_.showLink && s >= status::kCorrect) {
        if (kind != kFrameVariable) return;
        line = c_.lineNumber = 3;
      }
      if (line > 2 && c_.Exhausted()) return;
      if (x_.format == DisplayFormat::Compact && line == 4) line = c_.lineNumber = 5;
      if (line >= 5 && GenericDecoded()) return Assign(out, GenericLine());
      switch (line) {
        case 2:
          return Assign(out, LinkLine());
        case 3:
          return Assign(out, AsduHeader());
        case 4:
          return Assign(out, FunInfLine());
        case 5:
          return DataLine(out);
        default:
          if (KnownForDecoding(c_.Typ())) return DataLine(out);
          return Assign(out, ContinuationRow());
      }
    }
  }
  OctetRow(line - 2, out);
}

}  // namespace

DisplayFormat DisplayFormatFrom(int value) {
  return value >= static_cast<int>(DisplayFormat::Log) &&
                 value <= static_cast<int>(DisplayFormat::Csv)
             ? static_cast<DisplayFormat>(value)
             : DisplayFormat::Log;
}

std::uint16_t EntryColourPair(const TLogEntry& entry, const TTelFont& telFont) {
  return EntryPair(telFont, entry.channel, entry.status, entry.frameKind == kFrameEvent);
}

void StartTelegram(RenderCursor& cursor, const TLogEntry& entry, const RenderContext& context,
                   std::uint16_t colourPair) {
  cursor.Setup(entry, context.firstSeqNo, colourPair);
}

std::string NextLine(RenderCursor& cursor, RenderContext& context) {
  std::string line;
  NextLineInto(cursor, context, line);
  return line;
}

bool NextLineInto(RenderCursor& cursor, RenderContext& context, std::string& line) {
  line.clear();
  Renderer(cursor, context, &context).Line(context.previousTime, line);
  CutUtf8(line, kMaxLineLength);
  return !line.empty();
}

std::string ElementText(RenderCursor& cursor, const RenderContext& context) {
  return Renderer(cursor, context).Elements();
}

}  // namespace kivo

namespace kivo {

void MeasurandTexts::Begin(const RenderContext& context) {
  // The locale's radix character is compared only when the C library hands
  // out another text for it.
  const char* const radix = nl_langinfo(RADIXCHAR);
  const std::string_view overflow = context.texts.View(elementtext::kOverflow);
  const std::string_view error = context.texts.View(elementtext::kError);
  if (context.measurand100 != reference_ || (radix != radixText_ && radix_ != radix) ||
      overflow != overflow_ || error != error_) {
    // Made at another reference, radix character or texts: all made anew.
    texts_.clear();
    reference_ = context.measurand100;
    radix_ = radix;
    overflow_ = overflow;
    error_ = error;
  }
  radixText_ = radix;
  begun_ = true;
}

std::size_t MeasurandTexts::Index(std::uint16_t word) {
  // The value's 13 bits, the error and the overflow bit: all the text shows.
  return static_cast<std::size_t>(word >> 3) << 2 | (word & (kMeaOverflow | kMeaError));
}

bool MeasurandTexts::Append(std::string& out, std::uint16_t word, const RenderContext& context) {
  if (!begun_) Begin(context);
  if (texts_.empty()) return false;
  const Text& kept = texts_[Index(word)];
  if (kept.length == 0) return false;
  out.append(kept.text, kept.length);
  return true;
}

std::size_t MeasurandTexts::CopyTo(char* to, std::uint16_t word, const RenderContext& context) {
  if (!begun_) Begin(context);
  if (texts_.empty()) return 0;
  const Text& kept = texts_[Index(word)];
  // The whole room in two words of 16 octets that overlap, whatever the
  // length: fewer instructions than a copy of the length.
  static_assert(sizeof kept.text == kLongest && kLongest > 16 && kLongest <= 32);
  std::memcpy(to, kept.text, 16);
  std::memcpy(to + kLongest - 16, kept.text + kLongest - 16, 16);
  return kept.length;
}

void MeasurandTexts::Keep(std::uint16_t word, std::string_view field) {
  if (field.empty() || field.size() > kLongest) return;
  if (texts_.empty()) texts_.resize(4 * kValues);
  Text& kept = texts_[Index(word)];
  kept.length = static_cast<std::uint8_t>(field.size());
  std::memcpy(kept.text, field.data(), field.size());
}

namespace {

// The three digits of each millisecond.
constexpr auto kThreeDigits = [] {
  std::array<std::array<char, 3>, 1000> digits{};
  for (std::size_t n = 0; n < digits.size(); ++n) {
    digits[n] = {static_cast<char>('0' + n / 100), static_cast<char>('0' + n / 10 % 10),
                 static_cast<char>('0' + n % 10)};
  }
  return digits;
}();

// Adds one to the decimal number in `text`, stepping over the group
// separators; its length, or 0 when the number needs another digit.
std::size_t CountUp(char* text, std::size_t length) {
  for (std::size_t i = length; i-- > 0;) {
    char& c = text[i];
    if (c < '0' || c > '9') continue;
    if (c != '9') {
      ++c;
      return length;
    }
    c = '0';
  }
  return 0;
}

}  // namespace

void TelegramLineCache::ChangingTexts(const TLogEntry& entry, RenderContext& context) {
  const std::uint32_t number = entry.seqNo - context.firstSeqNo + 1;
  const DayTime& t = days_.Split(entry.timeStamp);
  const bool csv = context.format == DisplayFormat::Csv;
  // Telegrams come many to the second: the date and time texts of the last
  // second are kept.
  if (days_.NewSecond()) {
    // (The locale stays as it is through a run: its radix character is
    // looked at once a second.)
    radix_ = nl_langinfo(RADIXCHAR);
    clock_ = context.timeTexts.Text(t, context.locale.timeFormat);
    if (csv) date_ = context.dateTexts.Text(t, context.locale.dateFormat);
    time_ = clock_;
    time_ += ",000";
  }
  auto text = [&](SlotKind kind) -> std::string_view& {
    return texts_[static_cast<std::size_t>(kind)];
  };
  // The milliseconds, in place of those of the last telegram.
  char* const millisecond = time_.data() + time_.size() - 3;
  // (A split's milliseconds are below 1000; the bound only guards the table.)
  std::memcpy(millisecond, kThreeDigits[std::min<std::size_t>(t.millisecond, 999)].data(), 3);
  if (csv) {
    // Counted up in place, as the number of the text forms below.
    // (Not across the wrap of the 32-bit number, which the digits do not make.)
    std::size_t length =
        number != 0 && number == lastSeqNo_ + 1 ? CountUp(seqNo_, seqNoLength_) : 0;
    if (length == 0) {
      length = static_cast<std::size_t>(std::to_chars(seqNo_, seqNo_ + sizeof seqNo_, number).ptr -
                                        seqNo_);
    }
    seqNoLength_ = length;
    lastSeqNo_ = number;
    text(SlotKind::SeqNo) = {seqNo_, length};
    text(SlotKind::Date) = date_;
    text(SlotKind::Clock) = clock_;
    text(SlotKind::Millisecond) = {millisecond, 3};
  } else {
    // Right-justified to two places. Entries mostly come one number after
    // the other: the digits of the last one are counted up in place while
    // no new digit is needed.
    std::size_t length =
        number != 0 && number == lastNumber_ + 1 ? CountUp(number_ + 1, numberLength_) : 0;
    if (length == 0) {
      length = FormatGroupedNumber(number_ + 1, sizeof number_ - 1, number, context.locale);
      // A separator with digits in it could not be told from the digits.
      const std::string& separator = context.locale.thousandsSeparator;
      const bool countable = std::none_of(separator.begin(), separator.end(),
                                          [](char c) { return c >= '0' && c <= '9'; });
      numberLength_ = countable ? length : 0;
    }
    lastNumber_ = number;
    if (length == 0) {
      longNumber_.clear();
      AppendGroupedNumber(longNumber_, number, context.locale);
      text(SlotKind::Number) = longNumber_;
    } else if (length < 2) {
      number_[0] = ' ';
      text(SlotKind::Number) = {number_, length + 1};
    } else {
      text(SlotKind::Number) = {number_ + 1, length};
    }
    text(SlotKind::Time) = time_;
    length = context.previousTime != 0.0
                 ? DeltaText((entry.timeStamp - context.previousTime) * 86400.0)
                 : 0;
    text(SlotKind::Delta) = {delta_, length};
  }
  // Their widths are part of the keys: the columns after them depend on them.
  const std::size_t a = csv ? text(SlotKind::SeqNo).size() : text(SlotKind::Number).size();
  const std::size_t b = csv ? date_.size() : time_.size();
  const std::size_t c = csv ? clock_.size() : text(SlotKind::Delta).size();
  wide_ = a >= 255 || b >= 255 || c >= 255;
  auto width = [this](std::size_t n) {
    return std::uint32_t{static_cast<std::uint8_t>(wide_ ? std::min<std::size_t>(n, 255) : n)};
  };
  const std::uint32_t widths = width(a) | width(b) << 8 | width(c) << 16;
  std::memcpy(widths_.data(), &widths, sizeof widths);
}

std::size_t TelegramLineCache::DeltaText(double seconds) {
  // Entries mostly come at the same pace: the text of the last delta serves
  // the next one that rounds to the same milliseconds.
  const long long units = FixedUnits(seconds, 3);
  const bool negative = std::signbit(seconds);
  if (units < 0 || units != deltaUnits_ || negative != deltaNegative_ || radix_ != deltaRadix_) {
    deltaLength_ = FormatDelta(delta_, seconds);
    deltaUnits_ = units;
    deltaNegative_ = negative;
    deltaRadix_ = radix_;
  }
  return deltaLength_;
}

bool TelegramLineCache::Fits(const Telegram& known) const {
  // The widths in the key tell every text's length apart up to 254 octets
  // (the milliseconds are always three); a longer one must be checked.
  if (!wide_) return true;
  for (const RenderSlot& slot : known.slotNotes) {
    // A width the key could not tell apart is rendered anew.
    if (slot.kind != SlotKind::SetsPrevious && SlotText(slot.kind).size() != slot.length) {
      return false;
    }
  }
  return true;
}

void TelegramLineCache::Patch(Telegram& known, const TLogEntry& entry, RenderContext& context) {
  for (const RenderSlot& slot : known.slotNotes) {
    if (slot.kind == SlotKind::SetsPrevious) {
      context.previousTime = entry.timeStamp;
    } else {
      std::memcpy(known.lines[slot.line].data() + slot.offset, SlotText(slot.kind).data(),
                  slot.length);
    }
  }
}

namespace {

// Hashes eight octets at a time. An equal hash only sends a key to the
// map, which compares it whole.
constexpr std::uint64_t kMix = 0xFF51AFD7ED558CCDull;
inline std::uint64_t Mixed(std::uint64_t h, std::uint64_t word) {
  h = (h ^ word) * kMix;
  return h ^ (h >> 32);
}
// The whole words of `octets` mixed into `h`; the octets they took.
inline std::size_t MixWords(std::uint64_t& h, const std::uint8_t* octets, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, octets + i, sizeof word);
    h = Mixed(h, word);
  }
  return i;
}
// The last octets, fewer than eight, as one word.
inline std::uint64_t TailWord(const std::uint8_t* octets, std::size_t n) {
  std::uint64_t tail = 0;
  for (std::size_t i = 0; i < n; ++i) tail |= std::uint64_t{octets[i]} << (8 * i);
  return tail;
}
inline std::uint64_t Finished(std::uint64_t h, std::uint64_t tail) {
  h = (h ^ tail) * kMix;
  return h ^ (h >> 29);
}

// The hash of a telegram's key in the table of seen telegrams.
std::uint64_t KeyHash(std::uint64_t head, const TLogEntry& entry) {
  const std::span<const std::uint8_t> frame = entry.Frame();
  std::uint64_t h = head;
  h = Mixed(h, frame.size() * 0x9E3779B97F4A7C15ull);
  const std::size_t i = MixWords(h, frame.data(), frame.size());
  // The last octets: a whole word of the frame's buffer with those after
  // the frame masked off, or one by one at the buffer's end.
  const std::size_t left = frame.size() - i;
  std::uint64_t tail = 0;
  if (i + 8 <= entry.frame.size()) {
    std::memcpy(&tail, entry.frame.data() + i, sizeof tail);
    tail &= left == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * left);
  } else {
    tail = TailWord(frame.data() + i, left);
  }
  return Finished(h, tail);
}

// Whether n octets at a and b are equal: words that may overlap, compared
// in place, where a call of memcmp costs more than the few words of a key.
template <typename Word>
inline Word WordAt(const void* at) {
  Word word;
  std::memcpy(&word, at, sizeof word);
  return word;
}
inline bool SameOctets(const void* a, const void* b, std::size_t n) {
  const auto* x = static_cast<const char*>(a);
  const auto* y = static_cast<const char*>(b);
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8) {
      if (WordAt<std::uint64_t>(x + i) != WordAt<std::uint64_t>(y + i)) return false;
    }
    return WordAt<std::uint64_t>(x + n - 8) == WordAt<std::uint64_t>(y + n - 8);
  }
  if (n >= 4) {
    return WordAt<std::uint32_t>(x) == WordAt<std::uint32_t>(y) &&
           WordAt<std::uint32_t>(x + n - 4) == WordAt<std::uint32_t>(y + n - 4);
  }
  if (n >= 2) {
    return WordAt<std::uint16_t>(x) == WordAt<std::uint16_t>(y) &&
           WordAt<std::uint16_t>(x + n - 2) == WordAt<std::uint16_t>(y + n - 2);
  }
  return n == 0 || *x == *y;
}

}  // namespace

TelegramLineCache::HeadKey TelegramLineCache::MakeHeadKey(const TLogEntry& entry) const {
  static_assert(sizeof head_ == 8 && kHeadOctets == 12 && sizeof widths_ == 4 &&
                TLogEntry::kFrameCapacity >= kHeadOctets);
  // The frame's first twelve octets from its buffer, those past the frame
  // masked off.
  const auto low = [](std::uint64_t word, std::size_t n) {
    return n >= 8 ? word : word & ((std::uint64_t{1} << (8 * n)) - 1);
  };
  const std::size_t size = entry.Frame().size();
  const std::uint64_t first = low(WordAt<std::uint64_t>(entry.frame.data()), size);
  const std::uint64_t next =
      low(WordAt<std::uint32_t>(entry.frame.data() + 8), size > 8 ? size - 8 : 0);
  const std::uint64_t widths = WordAt<std::uint32_t>(widths_.data());
  HeadKey key;
  key.words[0] = WordAt<std::uint64_t>(head_.data());
  key.words[1] = (size & 0xFFFF) | first << 16;
  key.words[2] = first >> 48 | next << 16 | widths << 48;
  key.words[3] = widths >> 16;
  return key;
}

void TelegramLineCache::MakeKey(std::span<const std::uint8_t> frame) {
  key_.resize(head_.size() + frame.size() + widths_.size());
  char* at = key_.data();
  std::memcpy(at, head_.data(), head_.size());
  at += head_.size();
  if (!frame.empty()) std::memcpy(at, frame.data(), frame.size());
  std::memcpy(at + frame.size(), widths_.data(), widths_.size());
  keyMade_ = true;
}

std::uint64_t TelegramLineCache::HeadKey::Hash() const {
  return Finished(Mixed(Mixed(words[0] * kMix, words[1]), words[2]), words[3]);
}

bool TelegramLineCache::HeadKey::Same(const std::string& key) const {
  const char* at = key.data();
  return key.size() == kSize && WordAt<std::uint64_t>(at) == words[0] &&
         WordAt<std::uint64_t>(at + 8) == words[1] && WordAt<std::uint64_t>(at + 16) == words[2] &&
         WordAt<std::uint16_t>(at + 24) == static_cast<std::uint16_t>(words[3]);
}

bool TelegramLineCache::SameKey(const std::string& key, std::span<const std::uint8_t> frame) const {
  const char* at = key.data();
  return key.size() == head_.size() + frame.size() + widths_.size() &&
         SameOctets(at, head_.data(), head_.size()) &&
         SameOctets(at + head_.size(), frame.data(), frame.size()) &&
         SameOctets(at + head_.size() + frame.size(), widths_.data(), widths_.size());
}

TelegramLineCache::Telegram* TelegramLineCache::Known(const TLogEntry& entry,
                                                      RenderContext& context) {
  // The key: the format and toggles, the entry's fields that the lines show,
  // the frame and the widths of the changing texts.
  const std::uint64_t head =
      std::uint64_t{static_cast<std::uint8_t>(static_cast<int>(context.format) |
                                              (context.showTime << 3) | (context.showLink << 4) |
                                              (context.genericServices << 5))} |
      std::uint64_t{entry.status} << 8 | std::uint64_t{entry.frameKind} << 16 |
      std::uint64_t{entry.channel} << 24 | std::uint64_t{entry.control} << 32 |
      std::uint64_t{entry.linkAddress} << 40;
  std::memcpy(head_.data(), &head, sizeof head);
  keyMade_ = false;
  const auto frame = entry.Frame();
  // A telegram seen for the first time is rendered as it stands: only those
  // that come again are worth keeping whole.
  // (A hash is never 0, the mark of an empty slot; its slot is chosen by
  // the bits above the one set for that, so that every slot is used.)
  const std::uint64_t hash = KeyHash(head, entry) | 1;
  if (seen_.empty()) seen_.resize(kSeen);
  Seen& seen = seen_[(hash >> 1) & (kSeen - 1)];
  again_ = seen.hash == hash;
  if (!again_) seen = {hash, nullptr};
  // Measurands and the like change their values from telegram to telegram;
  // the lines before their elements (header, link, ASDU, FUN and INF) are
  // kept apart from the elements, in the forms that show them on lines of
  // their own. (A telegram seen before needs its changing texts in any
  // case; where its head ends is only asked for when it is rendered.)
  headEnd_ = -1;
  if (!again_) {
    headEnd_ = HeadEnd(entry, context);
    if (headEnd_ == 0) return nullptr;
  }

  ChangingTexts(entry, context);
  if (!again_) return nullptr;
  // The telegram this slot found last is tried before the map.
  if (seen.kept == nullptr || !SameKey(seen.kept->first, frame)) {
    MakeKey(frame);
    const auto found = telegrams_.find(key_);
    seen.kept = found != telegrams_.end() ? &*found : nullptr;
  }
  return seen.kept != nullptr && Fits(seen.kept->second) ? &seen.kept->second : nullptr;
}

std::span<const std::string> TelegramLineCache::Lines(const TLogEntry& entry,
                                                      RenderContext& context) {
  KeptMeasurands kept{context, std::exchange(context.measurandTexts, &measurands_)};
  Telegram* const known = Known(entry, context);
  if (known == nullptr) return Fresh(entry, context);
  Patch(*known, entry, context);
  return known->lines;
}

// (Inlined: it serves every repeated telegram of an export.)
[[gnu::always_inline]] inline void TelegramLineCache::AppendKept(Telegram& known,
                                                                 const TLogEntry& entry,
                                                                 RenderContext& context, bool blank,
                                                                 std::string& out) {
  if ((known.text.empty() || known.textBlank != blank) && !known.lines.empty()) {
    std::vector<std::uint32_t> starts;
    known.text.clear();
    for (const std::string& line : known.lines) {
      starts.push_back(static_cast<std::uint32_t>(known.text.size()));
      known.text += line;
      known.text.append("\r\n", 2);
    }
    if (blank) known.text.append("\r\n", 2);
    known.textBlank = blank;
    known.textSlots.clear();
    known.setsPrevious = false;
    for (const RenderSlot& slot : known.slotNotes) {
      if (slot.kind == SlotKind::SetsPrevious) {
        known.setsPrevious = true;
      } else if (slot.line < starts.size()) {
        known.textSlots.push_back({starts[slot.line] + slot.offset, slot.length, slot.kind});
      }
    }
  }
  // The kept text goes out as it stands, with this telegram's changing texts
  // put in at their places.
  const std::size_t at = out.size();
  out += known.text;
  char* const text = out.data() + at;
  for (const Telegram::TextSlot& slot : known.textSlots) {
    CopyShort(text + slot.offset, SlotText(slot.kind).data(), slot.length);
  }
  if (known.setsPrevious) context.previousTime = entry.timeStamp;
}

void TelegramLineCache::AppendText(const TLogEntry& entry, RenderContext& context, bool blank,
                                   std::string& out) {
  KeptMeasurands kept{context, std::exchange(context.measurandTexts, &measurands_)};
  Telegram* const known = Known(entry, context);
  if (known != nullptr) {
    AppendKept(*known, entry, context, blank, out);
    return;
  }
  const std::size_t before = out.size();
  for (const std::string& line : Fresh(entry, context, &out)) {
    out += line;
    out.append("\r\n", 2);
  }
  if (blank && out.size() != before) out.append("\r\n", 2);
}

std::span<const std::string> TelegramLineCache::Fresh(const TLogEntry& entry,
                                                      RenderContext& context, std::string* text) {
  // The kept measurand texts are checked against the reference, the radix
  // character and the texts of the flags (which stay as they are through a
  // run) at the first telegram of each second, and at each one whose
  // changing texts were not made.
  if (headEnd_ < 0) headEnd_ = HeadEnd(entry, context);
  if (days_.NewSecond() || (!again_ && headEnd_ == 0)) measurands_.Expire();
  const auto frame = entry.Frame();
  if (again_ && !keyMade_) MakeKey(frame);
  if (headEnd_ == 0) return Render(entry, context, again_, 0);
  // The head's key, made as words and compared as words: a key written
  // octet by octet and read back by words makes each load wait for the
  // stores before it.
  const HeadKey key = MakeHeadKey(entry);
  // The head a slot of the memo found last is tried before the map.
  Telegrams::value_type*& memo = headMemo_[key.Hash() & (kHeadMemo - 1)];
  const bool memoFound = memo != nullptr && key.Same(memo->first);
  if (!memoFound || !Fits(memo->second)) {
    headKey_.assign(reinterpret_cast<const char*>(key.words.data()), HeadKey::kSize);
  }
  if (!memoFound) {
    const auto found = heads_.find(headKey_);
    memo = found != heads_.end() ? &*found : nullptr;
  }
  if (memo == nullptr || !Fits(memo->second)) {
    return Render(entry, context, again_, headEnd_);
  }
  Telegram& head = memo->second;
  // The element lines go on from where the head ended.
  pooled_ = 0;
  const bool csv = context.format == DisplayFormat::Csv;
  // Octet rows and measurands, the most frequent elements, go to the text
  // straight after the head.
  const bool toText = text != nullptr && !again_;
  if (toText && csv) {
    // Whether the rest of a CSV line is measurands alone, and how many, follows
    // from the head: it is asked once. Their columns then follow the head
    // from where it ended, with no cursor to set up.
    if (head.csvItems < 0) {
      cursor_.Resume(head.cursor, entry, context.firstSeqNo);
      head.csvItems = Renderer(cursor_, context, &context).RestStraight()
                          ? static_cast<int>(cursor_.Left() / kMeasurandSize)
                          : 0;
    }
    if (head.csvItems > 0) {
      const std::size_t start = text->size();
      AppendKept(head, entry, context, false, *text);
      text->resize(text->size() - 2);  // the line goes on after the head
      AppendCsvMeasurands(*text, entry.Frame(), head.cursor.parsePosition,
                          static_cast<std::size_t>(head.csvItems), context.texts.fieldSeparator(),
                          start);
      return {};
    }
  }
  cursor_.Resume(head.cursor, entry, context.firstSeqNo);
  if (toText && !csv) {
    Renderer renderer(cursor_, context, &context);
    if (renderer.RestStraight()) {
      AppendKept(head, entry, context, false, *text);
      renderer.AppendRest(*text);
      return {};
    }
  }
  if (toText && !csv) {
    // Only the element lines are rendered: the head goes to the text at once.
    AppendKept(head, entry, context, false, *text);
  } else {
    Patch(head, entry, context);
    for (const std::string& line : head.lines) PoolLine().assign(line);
  }
  if (csv) {
    // The first line goes on with its elements; the later ones repeat the
    // part of it after the number, with this telegram's date and time.
    std::string& first = pool_.front();
    cursor_.csvPrefix.assign(first, first.size() - cursor_.csvPrefix.size());
    Renderer(cursor_, context, &context).AppendCsvLineElements(first);
    CutUtf8(first, kMaxLineLength);
  }
  while (NextLineInto(cursor_, context, PoolLine())) {
  }
  --pooled_;  // the empty line that ended the telegram
  // Later CSV lines have changing texts that were not noted here.
  if (!again_ || (csv && pooled_ > 1)) return Pooled();
  // Come again whole: kept whole.
  return KeepPooled(telegrams_, key_, head.slotNotes).lines;
}

void TelegramLineCache::Drop(Telegrams& known) {
  known.clear();
  // Nothing may point into it any more.
  for (Seen& seen : seen_) seen.kept = nullptr;
  headMemo_.fill(nullptr);
}

TelegramLineCache::Telegram& TelegramLineCache::KeepPooled(Telegrams& known, const std::string& key,
                                                           const std::vector<RenderSlot>& slots) {
  if (known.size() >= kCapacity) Drop(known);
  Telegram& telegram = known[key];
  telegram.lines.assign(pool_.begin(), pool_.begin() + static_cast<std::ptrdiff_t>(pooled_));
  telegram.slotNotes = slots;
  telegram.text.clear();
  telegram.csvItems = -1;
  return telegram;
}

std::string& TelegramLineCache::PoolLine() {
  if (pooled_ == pool_.size()) pool_.emplace_back();
  std::string& line = pool_[pooled_++];
  line.clear();
  return line;
}

int TelegramLineCache::HeadEnd(const TLogEntry& entry, const RenderContext& context) {
  if (entry.frameKind != kFrameVariable || !Decodable(entry.status) ||
      entry.status == status::kFreeOctets) {
    return 0;
  }
  // The texts of these statuses are read from the whole frame (a damaged log
  // may give them to a telegram), not from the octets the head key holds.
  if (entry.status == event::kPortOpened || entry.status == event::kPortClosed) return 0;
  switch (context.format) {
    case DisplayFormat::Log:
      return 4;  // after the FUN and INF line
    case DisplayFormat::Compact:
      return 3;  // the ASDU line shows them
    case DisplayFormat::Csv:
      return 1;  // the part of the first line before the elements
    case DisplayFormat::Octets:
      // The header line, where there is one; the rows of the whole frame
      // follow it.
      return context.showTime || entry.status != status::kCorrect ? 1 : 0;
    case DisplayFormat::OneLine: {
      // The line of the head and the status, where the items of the type come
      // in rows below it; the types from 21 on are shown as in the full form.
      const auto frame = entry.Frame();
      // (A frame without a whole ASDU head has no TYP to go by.)
      if (frame.size() < ft12::at::kInf + 3) return 0;
      const int typ = frame[ft12::at::kTyp];
      return typ < 21 && layout::LayoutOf(typ).itemsPerLine > 1 ? 1 : 0;
    }
    default:
      return 0;
  }
}

std::span<const std::string> TelegramLineCache::Render(const TLogEntry& entry,
                                                       RenderContext& context, bool keep,
                                                       int headEnd) {
  pooled_ = 0;
  freshSlots_.clear();
  std::vector<RenderSlot>* const before = context.slotNotes;
  const bool keepHead = headEnd != 0;
  context.slotNotes = keep || keepHead ? &freshSlots_ : nullptr;
  StartTelegram(cursor_, entry, context, 0);
  LineHeadNote* const noteBefore = context.lineHeadNote;
  const bool lineHead = keepHead && context.format == DisplayFormat::Csv;
  if (lineHead) {
    lineHead_.noted = false;
    context.lineHeadNote = &lineHead_;
  }
  bool reusable = true;
  bool headTaken = false;
  std::size_t noted = 0;
  for (;;) {
    std::string& line = PoolLine();
    if (!NextLineInto(cursor_, context, line)) {
      --pooled_;
      break;
    }
    for (; noted < freshSlots_.size(); ++noted) {
      RenderSlot& slot = freshSlots_[noted];
      slot.line = static_cast<std::uint16_t>(pooled_ - 1);
      if (slot.kind == SlotKind::SetsPrevious) continue;
      // Each text must stand where it was noted, as the cache makes it; a
      // line cut to its greatest length may have lost it.
      if (std::size_t{slot.offset} + slot.length > line.size() ||
          line.compare(slot.offset, slot.length, SlotText(slot.kind)) != 0) {
        reusable = false;
      }
    }
    if (keepHead && !headTaken && cursor_.lineNumber == headEnd) {
      headTaken = true;
      context.lineHeadNote = noteBefore;
      if (lineHead) {
        // Only the part before the elements, where every changing text
        // stands; not when the line was cut within it.
        const std::size_t length = lineHead_.length;
        const bool whole = lineHead_.noted && length <= pool_.front().size();
        const bool slotsIn = std::all_of(
            freshSlots_.begin(), freshSlots_.end(),
            [&](const RenderSlot& slot) { return slot.offset + slot.length <= length; });
        if (reusable && whole && slotsIn) {
          if (heads_.size() >= kCapacity) Drop(heads_);
          Telegram& known = heads_[headKey_];
          known.lines.assign(1, pool_.front().substr(0, length));
          known.slotNotes = freshSlots_;
          known.text.clear();
          known.cursor = lineHead_.cursor;
          known.csvItems = -1;
        }
      } else if (reusable) {
        KeepPooled(heads_, headKey_, freshSlots_).cursor = cursor_;
      }
    }
  }
  context.slotNotes = before;
  context.lineHeadNote = noteBefore;
  if (!keep || !reusable || noted != freshSlots_.size()) return Pooled();
  return KeepPooled(telegrams_, key_, freshSlots_).lines;
}

}  // namespace kivo
