#include "text/text_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>

namespace kivo {

namespace {

// A language file is some 30 kB; one of megabytes is no language file, and
// reading it whole would only cost memory.
constexpr std::size_t kMaxFileSize = 4 << 20;

constexpr std::array<const char*, 7> kFaultTexts = {
    "",
    "Error on memory allocation",
    "Program text missing/wrong",
    "Text number wrong, line:",
    "Line number jumps, line:",
    "Too many text, line:",
    "Too many lines, line:",
};

constexpr std::string_view kNumberBlank = "    ";
constexpr std::size_t kTextColumn = 6;  // column 7, counted from 1
constexpr std::size_t kShortestLine = 7;
constexpr int kAlwaysAccepted = 18;

// The text number of columns 1-4: digits with optional blanks around them.
bool ParseNumberField(std::string_view field, int& number) {
  std::size_t first = field.find_first_not_of(' ');
  std::size_t last = field.find_last_not_of(' ');
  if (first == std::string_view::npos) return false;
  number = 0;
  for (std::size_t i = first; i <= last; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(field[i]))) return false;
    number = number * 10 + (field[i] - '0');
  }
  return true;
}

}  // namespace

TextTable::TextTable() : pool_(new (std::nothrow) std::array<std::uint8_t, kPoolSize>()) {
  if (pool_) {
    pool_->fill(0);
    for (int n = 0; n < kTextCount; ++n) {
      (*pool_)[2 * n] = kTextsStart & 0xFF;
      (*pool_)[2 * n + 1] = kTextsStart >> 8;
    }
  }
}

long TextTable::NumberText(int n) const {
  std::string_view t = View(n);
  std::size_t i = t.find_first_not_of(' ');
  long value = 0;
  for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
    value = value * 10 + (t[i] - '0');
    if (value > 1'000'000'000L) break;
  }
  return value;
}

std::vector<std::string> TextTable::List(int n) const {
  std::vector<std::string> items;
  std::string_view t = View(n);
  if (t.empty()) return items;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = t.find(',', start);
    items.emplace_back(t.substr(start, comma == std::string_view::npos ? t.npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

bool TextTable::SetText(int n, std::string_view value) {
  if (!pool_ || n < 0 || n >= kTextCount) return false;
  std::size_t offset = Offset(n);
  if (offset < kTextsStart || offset >= kPoolSize) return false;
  if (value.size() > (*pool_)[offset]) return false;
  (*pool_)[offset] = static_cast<std::uint8_t>(value.size());
  std::copy(value.begin(), value.end(), pool_->begin() + static_cast<std::ptrdiff_t>(offset + 1));
  return true;
}

std::string TextTable::FaultMessage(TextFault fault, int line, const std::string& detail) {
  char number[16];
  std::snprintf(number, sizeof number, "%5d", line);
  return std::string(kFaultTexts[static_cast<int>(fault)]) + number + "\n" + detail;
}

TextLoadResult TextTable::LoadFile(const std::string& path) {
  if (!pool_) return {TextFault::Memory, 0, FaultMessage(TextFault::Memory, 0, path)};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {TextFault::Missing, 0, FaultMessage(TextFault::Missing, 0, path)};
  // One octet more than a language file may have tells a larger file.
  std::string content(kMaxFileSize + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad() || content.size() > kMaxFileSize) {
    return {TextFault::Missing, 0, FaultMessage(TextFault::Missing, 0, path)};
  }
  return LoadLines(content, path);
}

TextLoadResult TextTable::LoadLines(std::string_view content, const std::string& name) {
  if (!pool_) return {TextFault::Memory, 0, FaultMessage(TextFault::Memory, 0, name)};
  auto& p = *pool_;
  for (int n = 0; n < kTextCount; ++n) {
    p[2 * n] = kTextsStart & 0xFF;
    p[2 * n + 1] = kTextsStart >> 8;
  }
  p[kTextsStart] = 0;

  int expected = 0;
  std::size_t writeAt = kTextsStart;
  int lineNumber = 0;
  std::size_t start = 0;
  auto fail = [&](TextFault fault, std::string_view line) {
    return TextLoadResult{fault, lineNumber, FaultMessage(fault, lineNumber, std::string(line))};
  };

  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < kShortestLine || line.front() == ';') continue;

    int number = expected;
    std::string_view field = line.substr(0, 4);
    if (field != kNumberBlank) {
      if (!ParseNumberField(field, number) || number > kTextCount) {
        return fail(TextFault::NumberWrong, line);
      }
      if (number != expected && number != kAlwaysAccepted) {
        return fail(TextFault::NumberJumps, line);
      }
    }
    std::string_view value = line.substr(kTextColumn);
    if (std::size_t comment = value.rfind(';'); comment != std::string_view::npos) {
      value = value.substr(0, comment);
    }
    if (value.size() > kMaxTextLength) value = value.substr(0, kMaxTextLength);
    if (writeAt + value.size() + 1 >= kPoolSize) return fail(TextFault::TooManyText, line);
    if (number >= kTextCount) return fail(TextFault::TooManyLines, line);

    p[writeAt] = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), p.begin() + static_cast<std::ptrdiff_t>(writeAt + 1));
    p[2 * number] = static_cast<std::uint8_t>(writeAt & 0xFF);
    p[2 * number + 1] = static_cast<std::uint8_t>(writeAt >> 8);
    writeAt += value.size() + 1;
    expected = number + 1;
  }
  if (expected < kRequiredTexts) {
    return {TextFault::Missing, lineNumber, FaultMessage(TextFault::Missing, lineNumber, name)};
  }
  return {};
}

void TextTable::ConvertTwoDigitNumbers(int n) {
  std::string_view digits = View(n);
  std::string octets;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    unsigned char high = static_cast<unsigned char>(digits[i]);
    unsigned char low = static_cast<unsigned char>(digits[i + 1]);
    if (!std::isdigit(high) || !std::isdigit(low)) continue;
    octets.push_back(static_cast<char>((high - '0') * 10 + (low - '0')));
  }
  SetText(n, octets);
}

void TextTable::ApplyPostLoad() {
  if (std::string_view t = View(text::kHexPrefix); !t.empty()) hexPrefix_ = t[0];
  if (std::string_view t = View(text::kBitDigits); t.size() >= 2) bitDigits_ = {t[0], t[1]};
  if (std::string_view t = View(text::kFieldSeparator); !t.empty()) fieldSeparator_ = t[0];
  causeSetCount_ = 0;
  for (int n = text::kCauseSets; n < kTextCount && !View(n).empty(); ++n) {
    ConvertTwoDigitNumbers(n);
    ++causeSetCount_;
  }
  ConvertTwoDigitNumbers(text::kTooCodes);
}

std::string_view TextTable::CauseSet(int typeIndex) const {
  if (typeIndex < 0 || typeIndex >= causeSetCount_) return {};
  return View(text::kCauseSets + typeIndex);
}

bool TextTable::CausePermitted(int typeIndex, int cause) const {
  if (cause <= 0 || cause > 255) return false;
  return CauseSet(typeIndex).find(static_cast<char>(cause)) != std::string_view::npos;
}

std::string_view LanguageExtension(int languageIndex) {
  return languageIndex == 1 ? "usa" : "ger";
}

std::string LanguageFilePath(const std::string& programDirectory, int languageIndex) {
  return programDirectory + "KivoText." + std::string(LanguageExtension(languageIndex));
}

TextLoadResult LoadTexts(TextTable& table, const std::string& programDirectory, int languageIndex) {
  TextLoadResult result = table.LoadFile(LanguageFilePath(programDirectory, languageIndex));
  if (!result.ok()) return result;
  table.ApplyPostLoad();
  table.SetHelpFile(programDirectory + table.Text(text::kHelpFile));
  return result;
}

}  // namespace kivo
