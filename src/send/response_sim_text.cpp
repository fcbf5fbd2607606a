#include "send/response_sim_text.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "text/number_reader.h"

namespace kivo {

namespace {

constexpr std::uint8_t kUnreadableState = 2;
constexpr int kRowFields = 5;
constexpr auto kRows = static_cast<int>(kResponseSimRows);

// Splits text into lines ended by CR LF, LF or CR; a last line without its
// end counts, an empty rest after the last end does not.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

// The five row fields of a line; missing ones are empty.
std::array<std::string_view, kRowFields> Fields(std::string_view line, char separator) {
  std::array<std::string_view, kRowFields> fields{};
  for (std::string_view& field : fields) {
    const std::size_t end = line.find(separator);
    field = line.substr(0, end);
    if (end == std::string_view::npos) break;
    line.remove_prefix(end + 1);
  }
  return fields;
}

void Append(std::string& out, long value, char separator) {
  out += std::to_string(value);
  out += separator;
}

int ClampRow(std::int64_t row) {
  return static_cast<int>(std::clamp<std::int64_t>(row, 0, kRows));
}

// The rows of a selection that lie inside the table, as begin and end.
std::pair<int, int> Selection(int first, int count) {
  const std::int64_t last = std::int64_t{first} + std::max(count, 0);
  return {ClampRow(first), ClampRow(last)};
}

bool Blank(std::string_view s) {
  return s.find_first_not_of(" \t") == std::string_view::npos;
}

struct RowField {
  const char* name;
  std::int64_t low, high;
};
constexpr RowField kRowFieldRanges[kRowFields] = {
    {"commandInf", 0, 255},
    {"positiveAck", 0, 1},
    {"negativeAck", 0, 1},
    {"responseInf", -1, 255},
    {"responseState", 0, kResponseStateInverted},
};

// What is wrong with the values of a line, each followed by the separator.
std::optional<std::string> CheckValues(std::string_view line, char separator,
                                       std::span<const RowField> fields) {
  for (const RowField& f : fields) {
    const std::size_t end = line.find(separator);
    const std::string_view field = line.substr(0, end);
    if (end == std::string_view::npos && Blank(field)) return std::string(f.name) + " is missing";
    if (!ReadIntegerIn(field, f.low, f.high)) {
      return std::string(f.name) + " takes " + std::to_string(f.low) + ".." +
             std::to_string(f.high) + ", not '" + std::string(field) + "'";
    }
    line = end == std::string_view::npos ? std::string_view{} : line.substr(end + 1);
  }
  if (!Blank(line)) return "text after the last value: '" + std::string(line) + "'";
  return std::nullopt;
}

}  // namespace

std::string FormatSimRow(const ResponseSimRow& row, char separator) {
  std::string line;
  Append(line, row.commandInf, separator);
  Append(line, row.positiveAck, separator);
  Append(line, row.negativeAck, separator);
  Append(line, row.responseInf, separator);
  Append(line, row.responseState, separator);
  return line;
}

std::optional<ResponseSimRow> ReadSimRow(std::string_view line, char separator) {
  const auto fields = Fields(line, separator);
  const auto inf = ReadIntegerIn(fields[0], 0, 255);
  const auto positive = ReadIntegerIn(fields[1], 0, 1);
  const auto negative = ReadIntegerIn(fields[2], 0, 1);
  const auto responseInf = ReadIntegerIn(fields[3], -1, 255);
  if (!inf || !positive || !negative || !responseInf) return std::nullopt;
  const auto state = ReadIntegerIn(fields[4], 0, kResponseStateInverted);
  ResponseSimRow row;
  row.commandInf = static_cast<std::uint8_t>(*inf);
  row.positiveAck = static_cast<std::uint8_t>(*positive);
  row.negativeAck = static_cast<std::uint8_t>(*negative);
  row.responseInf = static_cast<std::int16_t>(*responseInf);
  row.responseState = state ? static_cast<std::uint8_t>(*state) : kUnreadableState;
  return row;
}

std::string CopySimRows(const ResponseSimBlock& block, int first, int count, char separator) {
  std::string text;
  const auto [begin, end] = Selection(first, count);
  for (int i = begin; i < end; ++i) {
    text += FormatSimRow(block.rows[static_cast<std::size_t>(i)], separator);
    text += kSimLineEnd;
  }
  return text;
}

std::string CutSimRows(ResponseSimBlock& block, int first, int count, char separator) {
  std::string text = CopySimRows(block, first, count, separator);
  const auto [begin, end] = Selection(first, count);
  auto& rows = block.rows;
  const auto freed = std::move(rows.begin() + end, rows.end(), rows.begin() + begin);
  // Freed rows hold nothing at all, not even the defaults of a new table.
  ResponseSimRow empty;
  empty.responseState = 0;
  empty.responseInf = 0;
  std::fill(freed, rows.end(), empty);
  return text;
}

int PasteSimRows(ResponseSimBlock& block, int cursor, std::string_view text, char separator) {
  const int at = ClampRow(cursor);
  std::vector<ResponseSimRow> pasted;
  for (std::string_view line : Lines(text)) {
    if (at + static_cast<int>(pasted.size()) >= kRows) break;
    const auto row = ReadSimRow(line, separator);
    if (!row) break;
    pasted.push_back(*row);
  }
  if (pasted.empty()) return 0;
  auto& rows = block.rows;
  const auto insert = rows.begin() + at;
  // Rows at and after the cursor move down; those pushed beyond the end go.
  std::move_backward(insert, rows.end() - static_cast<long>(pasted.size()), rows.end());
  std::copy(pasted.begin(), pasted.end(), insert);
  return static_cast<int>(pasted.size());
}

std::string WriteSimText(const ResponseSimBlock& block, char separator) {
  std::string text;
  Append(text, block.simulationOn, separator);
  text += kSimLineEnd;
  text += CopySimRows(block, 0, kRows, separator);
  return text;
}

SimTextResult ReadSimText(std::string_view text, char separator, ResponseSimBlock& block) {
  SimTextResult result;
  const auto lines = Lines(text);
  if (lines.size() < 2) return result;
  result.read = true;
  if (const auto on = ReadIntegerIn(Fields(lines[0], separator)[0], 0, 1)) {
    block.simulationOn = static_cast<std::uint32_t>(*on);
    result.switchSet = true;
  }
  for (std::size_t i = 1; i < lines.size() && result.rowsStored < kRows; ++i) {
    if (const auto row = ReadSimRow(lines[i], separator)) {
      block.rows[static_cast<std::size_t>(result.rowsStored++)] = *row;
    }
  }
  return result;
}

std::optional<TextLineFault> CheckSimText(std::string_view text, char separator) {
  auto lines = Lines(text);
  while (!lines.empty() && Blank(lines.back())) lines.pop_back();
  if (lines.empty()) return TextLineFault{1, "missing: simulationOn (0 or 1)"};
  static constexpr RowField kSwitch[] = {{"simulationOn", 0, 1}};
  if (auto what = CheckValues(lines[0], separator, kSwitch)) return TextLineFault{1, *what};
  if (lines.size() < 2) return TextLineFault{2, "missing: at least one row"};
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (i > static_cast<std::size_t>(kRows)) {
      return TextLineFault{static_cast<int>(i + 1),
                           "the table has at most " + std::to_string(kRows) + " rows"};
    }
    if (auto what = CheckValues(lines[i], separator, kRowFieldRanges)) {
      return TextLineFault{static_cast<int>(i + 1), *what};
    }
  }
  return std::nullopt;
}

}  // namespace kivo
