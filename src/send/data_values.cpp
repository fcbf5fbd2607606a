#include "send/data_values.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "text/number_reader.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr int kTextBinaryInput = text::kBinaryInput;  // 28
constexpr int kTextInputMarks = 29;
// Positions (from 1) of the marks in text 29 by the way they read.
constexpr std::size_t kLastDecimalMark = 2;
constexpr std::size_t kLastIntegerMark = 4;
// Characters of text 28 from this position (from 1) on stand for 1.
constexpr std::size_t kFirstOneCharacter = 4;
constexpr std::size_t kRangeAt = 2;  // the third character
constexpr std::int64_t kLargestValue = 0xFFFFFFFF;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A run of decimal digits from `at`; the bound is cut at the largest value.
std::optional<std::int64_t> DigitRun(std::string_view s, std::size_t& at) {
  if (at >= s.size() || !IsDigit(s[at])) return std::nullopt;
  std::int64_t value = 0;
  while (at < s.size() && IsDigit(s[at])) {
    value = std::min(kLargestValue, value * 10 + (s[at] - '0'));
    ++at;
  }
  return value;
}

std::string TrimmedUpper(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Decimal digits only, within 32 bits.
std::optional<std::int64_t> ReadDecimal(std::string_view s) {
  std::size_t at = 0;
  if (s.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (; at < s.size(); ++at) {
    if (!IsDigit(s[at])) return std::nullopt;
    value = value * 10 + (s[at] - '0');
    if (value > kLargestValue) return std::nullopt;
  }
  return value;
}

// Every character is a bit by its place in text 28, within 32 bits.
std::optional<std::int64_t> ReadBinary(const TextTable& texts, std::string_view s) {
  const std::string_view characters = texts.View(kTextBinaryInput);
  std::int64_t value = 0;
  for (char c : s) {
    const std::size_t at = characters.find(c);
    if (at == std::string_view::npos) return std::nullopt;
    value = value * 2 + (at + 1 >= kFirstOneCharacter ? 1 : 0);
    if (value > kLargestValue) return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> ReadFloat(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  std::string_view s = text;
  // from_chars takes a minus sign but no plus sign.
  const bool plus = !s.empty() && s.front() == '+';
  if (plus) s.remove_prefix(1);
  if (s.empty() || (plus && (s.front() == '+' || s.front() == '-'))) return std::nullopt;
  float value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return std::bit_cast<std::uint32_t>(value);
}

std::optional<std::int64_t> ReadIntegerValue(const DataDescription& description,
                                             const TextTable& texts, const std::string& s) {
  const std::size_t mark = texts.View(kTextInputMarks).find(s.front());
  if (mark == std::string_view::npos) {
    return description.kind == DataValueKind::Binary ? ReadBinary(texts, s) : ReadDecimal(s);
  }
  const std::size_t position = mark + 1;
  if (position <= kLastDecimalMark) return ReadDecimal(std::string_view(s).substr(1));
  if (position <= kLastIntegerMark) {
    const std::optional<std::int32_t> value = ReadInteger(s);
    if (!value) return std::nullopt;
    // A hexadecimal number is a bit pattern, never a negative value.
    if (s.front() == '$') return static_cast<std::int64_t>(static_cast<std::uint32_t>(*value));
    return *value;
  }
  return ReadBinary(texts, s);
}

}  // namespace

DataDescription DescribeDataValue(const TextTable& texts, int typeIndex, int descriptionBase) {
  DataDescription d;
  d.text = texts.Text(descriptionBase + typeIndex);
  if (d.text.empty()) return d;
  switch (d.text.front()) {
    case '1':
      d.kind = DataValueKind::Decimal;
      break;
    case '2':
      d.kind = DataValueKind::Hexadecimal;
      break;
    case '3':
      d.kind = DataValueKind::Binary;
      break;
    case '5':
      d.kind = DataValueKind::Float;
      break;
    default:
      d.kind = DataValueKind::None;
      break;
  }
  if (!d.IntegerKind()) return d;

  std::size_t at = kRangeAt;
  const std::optional<std::int64_t> low = DigitRun(d.text, at);
  if (!low) return d;
  while (at < d.text.size() && !IsDigit(d.text[at])) ++at;
  const std::optional<std::int64_t> high = DigitRun(d.text, at);
  if (!high || *low == *high) return d;
  d.hasRange = true;
  d.low = std::min(*low, *high);
  d.high = std::max(*low, *high);
  return d;
}

std::optional<std::uint32_t> ParseDataValue(const DataDescription& description,
                                            const TextTable& texts, std::string_view text) {
  std::string s = TrimmedUpper(text);
  if (s.empty()) s.push_back('0');
  if (description.kind == DataValueKind::Float) return ReadFloat(s);

  const std::optional<std::int64_t> value = ReadIntegerValue(description, texts, s);
  if (!value) return std::nullopt;
  if (description.IntegerKind() && description.hasRange &&
      (*value < description.low || *value > description.high)) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(*value);
}

std::optional<std::uint32_t> ParseDataValue(const TextTable& texts, int typeIndex,
                                            std::string_view text, int descriptionBase) {
  return ParseDataValue(DescribeDataValue(texts, typeIndex, descriptionBase), texts, text);
}

std::string FormatDataValue(const DataDescription& description, const TextTable& texts,
                            std::uint32_t value) {
  switch (description.kind) {
    case DataValueKind::Decimal:
      return std::to_string(static_cast<std::int32_t>(value));
    case DataValueKind::Hexadecimal: {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(value));
      return std::string(1, texts.hexPrefix()) + digits;
    }
    case DataValueKind::Binary: {
      std::string bits;
      for (int bit = 31; bit >= 0; --bit) {
        const bool one = (value >> bit) & 1;
        if (one || !bits.empty() || bit == 0) bits.push_back(texts.bitDigit(one ? 1 : 0));
      }
      return bits;
    }
    case DataValueKind::Float: {
      std::array<char, 32> buffer{};
      const auto [end, error] =
          std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::bit_cast<float>(value));
      if (error != std::errc()) return std::string();
      return std::string(buffer.data(), end);
    }
    case DataValueKind::None:
      break;
  }
  return std::string();
}

std::string FormatDataValue(const TextTable& texts, int typeIndex, std::uint32_t value,
                            int descriptionBase) {
  return FormatDataValue(DescribeDataValue(texts, typeIndex, descriptionBase), texts, value);
}

std::uint32_t StepDataValue(const DataDescription& description, std::uint32_t value, int step) {
  if (description.kind == DataValueKind::Float) {
    return std::bit_cast<std::uint32_t>(std::bit_cast<float>(value) + static_cast<float>(step));
  }
  if (description.IntegerKind() && description.hasRange) {
    const std::int64_t next = static_cast<std::int64_t>(value) + step;
    if (next > description.high) return static_cast<std::uint32_t>(description.low);
    if (next < description.low) return static_cast<std::uint32_t>(description.high);
    return static_cast<std::uint32_t>(next);
  }
  return value + static_cast<std::uint32_t>(step);
}

std::uint32_t StepDataValue(const TextTable& texts, int typeIndex, std::uint32_t value, int step,
                            int descriptionBase) {
  return StepDataValue(DescribeDataValue(texts, typeIndex, descriptionBase), value, step);
}

}  // namespace kivo
