#include "send/send_text_files.h"

#include <algorithm>
#include <array>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "record/ft12.h"
#include "text/number_reader.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kMaxNameLength = SendHeader::kNameSize - 1;  // 27
constexpr std::int64_t kAnyLow = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kAnyHigh = std::numeric_limits<std::int32_t>::max();

// A line with this many separators is a telegram line copied from the log.
constexpr std::ptrdiff_t kLogLineSeparators = 16;
constexpr std::ptrdiff_t kHeaderLineSeparators = 12;
constexpr std::ptrdiff_t kDataLineSeparators = 5;

// Lines of a text; LF, CR LF and CR all end a line, and a line end at the
// very end of the text does not start another (empty) line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  std::optional<std::string_view> Next() {
    if (rest_.empty()) return std::nullopt;
    const std::size_t end = rest_.find_first_of(kLineEnd);
    if (end == std::string_view::npos) return std::exchange(rest_, {});
    const std::string_view line = rest_.substr(0, end);
    const bool crLf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
    rest_.remove_prefix(end + (crLf ? 2 : 1));
    return line;
  }

 private:
  std::string_view rest_;
};

// Fields of a line: the text before each separator, then whatever follows
// the last separator (so a last value need not be closed by one).
class FieldReader {
 public:
  FieldReader(std::string_view line, char sep) : rest_(line), sep_(sep) {}
  std::optional<std::string_view> Next() {
    if (done_) return std::nullopt;
    const std::size_t end = rest_.find(sep_);
    if (end == std::string_view::npos) {
      done_ = true;
      return rest_;
    }
    const std::string_view field = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    return field;
  }
  std::optional<std::int32_t> NextIn(std::int64_t low, std::int64_t high) {
    const auto field = Next();
    return field ? ReadIntegerIn(*field, low, high) : std::nullopt;
  }
  // What is left of the line: all fields not read yet.
  std::string_view Rest() const { return done_ ? std::string_view{} : rest_; }
  bool Done() const { return done_; }

 private:
  std::string_view rest_;
  char sep_;
  bool done_ = false;
};

std::ptrdiff_t Separators(std::string_view line, char sep) {
  return std::count(line.begin(), line.end(), sep);
}

void Append(std::string& s, std::int64_t value, char sep) {
  s += std::to_string(value);
  s += sep;
}

// 32-bit fields that hold any integer (a float's bit pattern among them) are
// written signed, as the integer reader takes them back.
std::int64_t Signed(std::uint32_t v) {
  return static_cast<std::int32_t>(v);
}

struct Range {
  std::int64_t low, high;
};

// Line 1 after the name, in file order.
enum HeaderValue {
  kTrigger,
  kTriggerType,
  kRepeatCount,
  kPortCode,
  kRowsPerStart,
  kPauseMs,
  kService,
  kLinkAddress,
  kCommonAddress,
  kTypeId,
  kCot,
  kFun,
  kInf,
  kValue,
  kSecondaryService,
  kRowPause,
  kHeaderValues
};
// rowsPerStart takes the list editor's whole range (up to 1,000,000), so that
// every list the editor accepts also reads back from its file.
constexpr std::array<Range, kHeaderValues> kHeaderRanges{{
    {0, 5},
    {0, 257},
    {0, 100'000},
    {1, 4},
    {0, 1'000'000},
    {0, 1'000'000},
    {0, 2},
    {0, 255},
    {0, 255},
    {0, 255},
    {0, 255},
    {0, 255},
    {0, 255},
    {kAnyLow, kAnyHigh},
    {0, 1},
    {0, 65'535},
}};

constexpr std::array<const char*, kHeaderValues> kHeaderNames{
    "trigger", "triggerType", "repeatCount",      "portCode", "rowsPerStart", "pauseMs",
    "service", "linkAddress", "commonAddress",    "typeId",   "cot",          "fun",
    "inf",     "value",       "secondaryService", "rowPause"};

// The name as written: separators and line ends would split the file's
// fields or lines, so they become blanks.
std::string FileName(const SendHeader& h, char sep) {
  std::string name = h.name.Get();
  for (char& c : name) {
    if (c == sep || c == '\r' || c == '\n') c = ' ';
  }
  return name;
}

std::string HeaderLine(const SendHeader& h, char sep) {
  std::string s = FileName(h, sep);
  s += sep;
  const std::array<std::int64_t, kHeaderValues> values{
      h.trigger, h.triggerType,   h.repeatCount,      h.portCode, h.rowsPerStart, h.pauseMs,
      h.service, h.linkAddress,   h.commonAddress,    h.typeId,   h.cot,          h.fun,
      h.inf,     Signed(h.value), h.secondaryService, h.rowPause};
  for (std::int64_t v : values) Append(s, v, sep);
  return s;
}

// All or nothing: the name and the 16 values are taken only when every value
// lies in its range.
bool ReadHeaderLine(std::string_view line, char sep, SendHeader& h) {
  if (Separators(line, sep) < kHeaderLineSeparators) return false;
  FieldReader fields(line, sep);
  const std::string_view name = fields.Next().value_or(std::string_view{});
  std::array<std::int32_t, kHeaderValues> v{};
  for (std::size_t i = 0; i < v.size(); ++i) {
    const auto value = fields.NextIn(kHeaderRanges[i].low, kHeaderRanges[i].high);
    if (!value) return false;
    v[i] = *value;
  }
  h.name.Set(name.substr(0, std::min(name.size(), kMaxNameLength)));
  h.trigger = static_cast<std::uint32_t>(v[kTrigger]);
  h.triggerType = static_cast<std::uint16_t>(v[kTriggerType]);
  h.repeatCount = static_cast<std::uint32_t>(v[kRepeatCount]);
  h.portCode = static_cast<std::uint32_t>(v[kPortCode]);
  h.rowsPerStart = static_cast<std::uint32_t>(v[kRowsPerStart]);
  h.pauseMs = static_cast<std::uint32_t>(v[kPauseMs]);
  h.service = static_cast<std::uint32_t>(v[kService]);
  h.linkAddress = static_cast<std::uint8_t>(v[kLinkAddress]);
  h.commonAddress = static_cast<std::uint8_t>(v[kCommonAddress]);
  h.typeId = static_cast<std::uint8_t>(v[kTypeId]);
  h.cot = static_cast<std::uint8_t>(v[kCot]);
  h.fun = static_cast<std::uint8_t>(v[kFun]);
  h.inf = static_cast<std::uint8_t>(v[kInf]);
  h.value = static_cast<std::uint32_t>(v[kValue]);
  h.secondaryService = static_cast<std::int16_t>(v[kSecondaryService]);
  h.rowPause = static_cast<std::uint16_t>(v[kRowPause]);
  return true;
}

// Line 2: each value is taken as soon as it reads; the first that does not
// ends the line.
void ReadDataLine(std::string_view line, char sep, SendTelegram& t) {
  if (Separators(line, sep) < kDataLineSeparators) return;
  FieldReader fields(line, sep);
  auto take = [&](auto& field, std::int64_t low, std::int64_t high) {
    const auto v = fields.NextIn(low, high);
    if (v) field = static_cast<std::remove_reference_t<decltype(field)>>(*v);
    return v.has_value();
  };
  (void)(take(t.milliseconds, 0, 59'999) && take(t.data2, kAnyLow, kAnyHigh) &&
         take(t.data3, kAnyLow, kAnyHigh) && take(t.data4, kAnyLow, kAnyHigh) && take(t.iv, 0, 1) &&
         take(t.su, 0, 1));
}

// Line 3 holds rawLength and the first 263 raw octets; the last octet of raw
// is not part of the file (no frame the program builds reaches it). Reading
// also takes a line of 264 octets. The octets are taken one by one up to the first that fails, and
// rawLength is cut to the octets the line delivered, so that a cut-off line never leaves stale
// octets counted as the telegram's data. A file without line 3 leaves raw and rawLength as they
// were: the file says nothing about them.
constexpr std::size_t kFileRawOctets = SendTelegram::kRawCapacity - 1;  // 263

void ReadRawLine(std::string_view line, char sep, SendTelegram& t) {
  FieldReader fields(line, sep);
  const auto length = fields.NextIn(0, SendTelegram::kRawCapacity);
  if (!length) return;
  std::size_t taken = 0;
  for (; taken < t.raw.size(); ++taken) {
    const auto octet = fields.NextIn(0, 255);
    if (!octet) break;
    t.raw[taken] = static_cast<std::uint8_t>(*octet);
  }
  t.rawLength = static_cast<std::uint32_t>(std::min<std::size_t>(*length, taken));
}

// Which fields of a log telegram line (counted from 1) give a row's data.
struct LogDataFields {
  int data1, data2;
};
LogDataFields LogDataFieldsOf(int typeId) {
  switch (typeId) {
    case 1:
      return {18, 22};  // DPI, SIN
    case 2:
      return {18, 24};  // DPI, SIN
    case 3:
    case 9:
      // The number of measured values is the VSQ column, the value the one
      // after the first quality column.
      return {12, 19};
    case 6:
      return {17, 17};
    default:
      return {18, 19};
  }
}

constexpr int kLogFieldSubLine = 2;
constexpr int kLogFieldVsq = 12;
constexpr int kLogFieldType = 11;
constexpr int kLogFieldCot = 13;
constexpr int kLogFieldFun = 15;
constexpr int kLogFieldInf = 16;
constexpr int kLogFieldsUsed = 24;
constexpr int kTypeDisturbanceList = 23;

std::optional<SendListRow> ReadLogLine(std::string_view line, char sep) {
  std::array<std::string_view, kLogFieldsUsed + 1> f{};  // f[1] is field 1
  FieldReader fields(line, sep);
  for (std::size_t i = 1; i < f.size(); ++i) {
    const auto field = fields.Next();
    if (!field) break;
    f[i] = *field;
  }
  const auto typeId = ReadIntegerIn(f[kLogFieldType], 0, 255);
  const auto cot = ReadIntegerIn(f[kLogFieldCot], 0, 255);
  const auto fun = ReadIntegerIn(f[kLogFieldFun], 0, 255);
  const auto inf = ReadIntegerIn(f[kLogFieldInf], 0, 255);
  if (!typeId || !cot || !fun || !inf) return std::nullopt;
  // A disturbance list is taken from its first line only.
  if (*typeId == kTypeDisturbanceList && ReadTrimmedInteger(f[kLogFieldSubLine]) != 0) {
    return std::nullopt;
  }
  const LogDataFields data = LogDataFieldsOf(*typeId);
  auto number = [&](int n) {
    return static_cast<std::uint32_t>(
        ReadTrimmedInteger(f[static_cast<std::size_t>(n)]).value_or(0));
  };
  SendListRow row;
  row.active = 1;
  row.typeId = static_cast<std::uint8_t>(*typeId);
  row.cot = static_cast<std::uint8_t>(*cot);
  row.fun = static_cast<std::uint8_t>(*fun);
  row.inf = static_cast<std::uint8_t>(*inf);
  row.data1 = number(data.data1);
  if (data.data1 == kLogFieldVsq) row.data1 &= ft12::kVsqCountMask;
  // data2 is a 16-bit value in a row; a negative measured value keeps its
  // bit pattern (it is sent as data2 x 8).
  row.data2 = number(data.data2) & 0xFFFFu;
  return row;
}

std::optional<SendListRow> ReadRowValues(std::string_view line, char sep) {
  FieldReader fields(line, sep);
  const auto active = fields.NextIn(0, 1);
  const auto typeId = fields.NextIn(0, 255);
  const auto cot = fields.NextIn(0, 255);
  const auto fun = fields.NextIn(0, 255);
  const auto inf = fields.NextIn(0, 255);
  const auto data1 = fields.NextIn(kAnyLow, kAnyHigh);
  const auto data2 = fields.NextIn(0, 65'535);
  if (!active || !typeId || !cot || !fun || !inf || !data1 || !data2) return std::nullopt;
  SendListRow row;
  row.active = static_cast<std::uint8_t>(*active);
  row.typeId = static_cast<std::uint8_t>(*typeId);
  row.cot = static_cast<std::uint8_t>(*cot);
  row.fun = static_cast<std::uint8_t>(*fun);
  row.inf = static_cast<std::uint8_t>(*inf);
  row.data1 = static_cast<std::uint32_t>(*data1);
  row.data2 = static_cast<std::uint32_t>(*data2);
  return row;
}

// The values of one line read strictly, in order; the first that fails is
// described in `problem`.
class StrictLine {
 public:
  StrictLine(std::string_view line, char sep) : fields_(line, sep) {}
  std::optional<std::int32_t> Value(const char* name, std::int64_t low, std::int64_t high) {
    if (!problem.empty()) return std::nullopt;
    const std::string_view field = fields_.Next().value_or(std::string_view{});
    const auto v = ReadIntegerIn(field, low, high);
    if (v) return v;
    if (fields_.Done() && Blank(field)) {
      problem = std::string(name) + " is missing";
    } else {
      problem = std::string(name) + " takes " + std::to_string(low) + ".." + std::to_string(high) +
                ", not '" + std::string(field) + "'";
    }
    return std::nullopt;
  }
  std::optional<std::string_view> Text() {
    if (!problem.empty()) return std::nullopt;
    return fields_.Next();
  }
  // After the last value: only blanks may follow its separator.
  bool End(const char* what) {
    if (!problem.empty()) return false;
    const std::string_view rest = fields_.Rest();
    if (Blank(rest)) return true;
    problem = std::string("text after ") + what + ": '" + std::string(rest) + "'";
    return false;
  }
  std::string_view Rest() const { return fields_.Rest(); }
  std::string problem;

 private:
  static bool Blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
  }
  FieldReader fields_;
};

std::optional<std::string> CheckHeaderLine(std::string_view line, char sep) {
  StrictLine values(line, sep);
  const auto name = values.Text();
  if (name && name->size() > kMaxNameLength) {
    return "the name has more than " + std::to_string(kMaxNameLength) + " characters";
  }
  for (std::size_t i = 0; i < kHeaderValues; ++i) {
    values.Value(kHeaderNames[i], kHeaderRanges[i].low, kHeaderRanges[i].high);
  }
  values.End("the 16 values after the name");
  if (!values.problem.empty()) return values.problem;
  return std::nullopt;
}

std::optional<std::string> CheckDataLine(std::string_view line, char sep) {
  StrictLine values(line, sep);
  values.Value("milliseconds", 0, 59'999);
  values.Value("data2", kAnyLow, kAnyHigh);
  values.Value("data3", kAnyLow, kAnyHigh);
  values.Value("data4", kAnyLow, kAnyHigh);
  values.Value("iv", 0, 1);
  values.Value("su", 0, 1);
  values.End("the 6 values");
  if (!values.problem.empty()) return values.problem;
  return std::nullopt;
}

std::optional<std::string> CheckRawLine(std::string_view line, char sep) {
  StrictLine values(line, sep);
  const auto length = values.Value("rawLength", 0, SendTelegram::kRawCapacity);
  if (!length) return values.problem;
  FieldReader octets(values.Rest(), sep);
  std::size_t count = 0;
  while (const auto field = octets.Next()) {
    if (octets.Done() && field->find_first_not_of(" \t") == std::string_view::npos) break;
    if (count == SendTelegram::kRawCapacity) {
      return "more than " + std::to_string(SendTelegram::kRawCapacity) + " octets";
    }
    if (!ReadIntegerIn(*field, 0, 255)) {
      return "octet " + std::to_string(count + 1) + " takes 0..255, not '" + std::string(*field) +
             "'";
    }
    ++count;
  }
  if (count < static_cast<std::size_t>(*length)) {
    return "rawLength is " + std::to_string(*length) + " but the line holds " +
           std::to_string(count) + " octets";
  }
  return std::nullopt;
}

std::optional<std::string> CheckRowLine(std::string_view line, char sep) {
  if (Separators(line, sep) >= kLogLineSeparators) {
    if (ReadLogLine(line, sep)) return std::nullopt;
    return "a telegram line from the log needs type, cause, function type and information "
           "number (fields 11, 13, 15, 16) from 0 to 255";
  }
  StrictLine values(line, sep);
  values.Value("active", 0, 1);
  values.Value("typeId", 0, 255);
  values.Value("cot", 0, 255);
  values.Value("fun", 0, 255);
  values.Value("inf", 0, 255);
  values.Value("data1", kAnyLow, kAnyHigh);
  values.Value("data2", 0, 65'535);
  values.End("the 7 values of a row");
  if (!values.problem.empty()) return values.problem;
  return std::nullopt;
}

// The lines of a text up to its last line that is not blank.
std::vector<std::string_view> AllLines(std::string_view text) {
  std::vector<std::string_view> all;
  LineReader reader(text);
  while (const auto line = reader.Next()) all.push_back(*line);
  // Blank lines at the end say nothing.
  while (!all.empty() && all.back().find_first_not_of(" \t") == std::string_view::npos) {
    all.pop_back();
  }
  return all;
}

std::optional<TextLineFault> Fault(std::size_t index, std::optional<std::string> what) {
  if (!what) return std::nullopt;
  return TextLineFault{static_cast<int>(index + 1), std::move(*what)};
}

bool BlankLine(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Rows a..b (1-based) cut to the table; false when nothing remains.
bool ClampRows(int& first, int& last) {
  first = std::max(first, 1);
  last = std::min(last, kSendListRows);
  return first <= last;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr std::size_t kMemoOctetsPerLine = 16;
constexpr std::size_t kCauseOctet = 2;  // type, VSQ, cause: the third octet of a data unit

}  // namespace

char SendSeparator(const TextTable& texts) {
  const std::string_view t = texts.View(text::kFieldSeparator);
  return t.empty() ? texts.fieldSeparator() : t.front();
}

std::string WriteTelegramText(const SendTelegram& t, char sep) {
  std::string s = HeaderLine(t, sep);
  s += kLineEnd;
  for (std::int64_t v : {std::int64_t{t.milliseconds}, Signed(t.data2), Signed(t.data3),
                         Signed(t.data4), std::int64_t{t.iv}, std::int64_t{t.su}}) {
    Append(s, v, sep);
  }
  s += kLineEnd;
  Append(s, std::min<std::uint32_t>(t.rawLength, kFileRawOctets), sep);
  for (std::size_t i = 0; i < kFileRawOctets; ++i) Append(s, t.raw[i], sep);
  s += kLineEnd;
  return s;
}

bool ReadTelegramText(std::string_view text, char sep, SendTelegram& workCopy) {
  LineReader lines(text);
  const auto line1 = lines.Next();
  const auto line2 = lines.Next();
  if (!line1 || !line2) return false;
  ReadHeaderLine(*line1, sep, workCopy);
  ReadDataLine(*line2, sep, workCopy);
  if (const auto line3 = lines.Next()) ReadRawLine(*line3, sep, workCopy);
  return true;
}

std::optional<TextLineFault> CheckTelegramText(std::string_view text, char sep) {
  const auto lines = AllLines(text);
  using Check = std::optional<std::string> (*)(std::string_view, char);
  constexpr struct {
    Check check;
    const char* holds;
  } kLines[] = {
      {CheckHeaderLine, "the name and 16 values"},
      {CheckDataLine, "milliseconds, data2, data3, data4, iv, su"},
      {CheckRawLine, "rawLength and the raw octets"},
  };
  for (std::size_t i = 0; i < std::size(kLines); ++i) {
    if (i >= lines.size()) {
      return TextLineFault{static_cast<int>(i + 1),
                           std::string("missing (a single-telegram file has three lines; this "
                                       "one holds ") +
                               kLines[i].holds + ")"};
    }
    if (auto f = Fault(i, kLines[i].check(lines[i], sep))) return f;
  }
  for (std::size_t i = std::size(kLines); i < lines.size(); ++i) {
    if (!BlankLine(lines[i])) return TextLineFault{static_cast<int>(i + 1), "a line too many"};
  }
  return std::nullopt;
}

std::optional<TextLineFault> CheckListText(std::string_view text, char sep) {
  const auto lines = AllLines(text);
  if (lines.empty()) return TextLineFault{1, "missing: the header line of the list"};
  if (auto f = Fault(0, CheckHeaderLine(lines[0], sep))) return f;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (i > static_cast<std::size_t>(kSendListRows)) {
      return TextLineFault{static_cast<int>(i + 1),
                           "a send list has at most " + std::to_string(kSendListRows) + " rows"};
    }
    if (BlankLine(lines[i])) {
      return TextLineFault{static_cast<int>(i + 1), "an empty row (a row is seven values)"};
    }
    if (auto f = Fault(i, CheckRowLine(lines[i], sep))) return f;
  }
  return std::nullopt;
}

std::string FormatListRow(const SendListRow& row, char sep) {
  std::string s;
  for (std::int64_t v :
       {std::int64_t{row.active}, std::int64_t{row.typeId}, std::int64_t{row.cot},
        std::int64_t{row.fun}, std::int64_t{row.inf}, Signed(row.data1), std::int64_t{row.data2}}) {
    Append(s, v, sep);
  }
  return s;
}

std::optional<SendListRow> ReadListRow(std::string_view line, char sep) {
  return Separators(line, sep) >= kLogLineSeparators ? ReadLogLine(line, sep)
                                                     : ReadRowValues(line, sep);
}

std::string CopyListRows(const SendList& list, int firstRow, int lastRow, char sep) {
  std::string s;
  if (!ClampRows(firstRow, lastRow)) return s;
  for (int n = firstRow; n <= lastRow; ++n) {
    s += FormatListRow(list.rows[static_cast<std::size_t>(n - 1)], sep);
    s += kLineEnd;
  }
  return s;
}

void CutListRows(SendList& list, int firstRow, int lastRow) {
  if (!ClampRows(firstRow, lastRow)) return;
  auto& rows = list.rows;
  const auto first = rows.begin() + (firstRow - 1);
  const auto behind = rows.begin() + lastRow;
  const auto freed = std::move(behind, rows.end(), first);
  std::fill(freed, rows.end(), SendListRow{});
}

int PasteListRows(SendList& list, int cursorRow, std::string_view clipboard, char sep) {
  if (cursorRow < 1 || cursorRow > kSendListRows) return 0;
  const std::size_t room = static_cast<std::size_t>(kSendListRows - cursorRow + 1);
  std::vector<SendListRow> written;
  LineReader lines(clipboard);
  while (written.size() < room) {
    const auto line = lines.Next();
    if (!line) break;
    if (const auto row = ReadListRow(*line, sep)) written.push_back(*row);
  }
  if (written.empty()) return 0;
  auto& rows = list.rows;
  const auto at = rows.begin() + (cursorRow - 1);
  // The rows from the cursor on move down behind the written ones; what is
  // pushed beyond row 400 falls off.
  std::move_backward(at, rows.end() - static_cast<std::ptrdiff_t>(written.size()), rows.end());
  std::copy(written.begin(), written.end(), at);
  return static_cast<int>(written.size());
}

bool ClipboardHoldsListRow(std::string_view clipboard, char sep) {
  LineReader lines(clipboard);
  while (const auto line = lines.Next()) {
    if (ReadListRow(*line, sep)) return true;
  }
  return false;
}

std::string WriteListText(const SendList& list, char sep) {
  std::string s = HeaderLine(list, sep);
  s += kLineEnd;
  for (const SendListRow& row : list.rows) {
    s += FormatListRow(row, sep);
    s += kLineEnd;
  }
  return s;
}

bool ReadListText(std::string_view text, char sep, SendList& workCopy) {
  LineReader lines(text);
  const auto header = lines.Next();
  if (!header) return false;
  ReadHeaderLine(*header, sep, workCopy);
  std::size_t stored = 0;
  for (int n = 0; n < kSendListRows; ++n) {
    const auto line = lines.Next();
    if (!line) break;
    if (const auto row = ReadListRow(*line, sep)) workCopy.rows[stored++] = *row;
  }
  return true;
}

std::string FormatOctetMemo(std::span<const std::uint8_t> octets) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(octets.size() * 3 + octets.size() / kMemoOctetsPerLine * 2);
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i != 0 && i % kMemoOctetsPerLine == 0) s += kLineEnd;
    s += ' ';
    s += kDigits[octets[i] >> 4];
    s += kDigits[octets[i] & 0x0F];
  }
  return s;
}

std::size_t ReadOctetMemo(std::string_view text, std::span<std::uint8_t> out) {
  std::size_t count = 0;
  bool quoted = false;
  int digits = 0;
  unsigned pending = 0;
  auto complete = [&] {
    out[count++] = static_cast<std::uint8_t>(pending);
    digits = 0;
    pending = 0;
  };
  for (const char c : text) {
    if (count >= out.size()) break;
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        out[count++] = static_cast<std::uint8_t>(c);
      }
      continue;
    }
    if (const int d = HexDigit(c); d >= 0) {
      pending = pending * 16 + static_cast<unsigned>(d);
      if (++digits == 2) complete();
      continue;
    }
    if (digits > 0) complete();
    if (c == '"') quoted = true;
  }
  if (digits > 0 && count < out.size()) complete();
  return count;
}

void ApplyOctetMemo(SendTelegram& t, std::string_view text) {
  switch (t.typeId) {
    case 5: {
      const auto identification = std::span(t.raw).subspan(SendTelegram::kIdentificationAt,
                                                           SendTelegram::kIdentificationLength);
      t.rawLength = static_cast<std::uint32_t>(ReadOctetMemo(text, identification));
      return;
    }
    case 10:
    case 11:
    case 21:
    case 128:
    case 129: {
      const std::size_t count = ReadOctetMemo(text, t.raw);
      t.rawLength = static_cast<std::uint32_t>(count);
      // A data unit too short to hold a cause leaves the cause as it was
      // rather than taking an octet the operator did not write.
      if (t.typeId == 128 && count > kCauseOctet) t.cot = t.raw[kCauseOctet];
      return;
    }
    default:
      return;
  }
}

}  // namespace kivo
