// The text table: every operator-visible text by number, loaded from a
// language file beside the program, plus the data texts (special characters,
// cause sets, TOO codes) converted right after loading.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_numbers.h"

namespace kivo {

enum class TextFault : int {
  None = 0,
  Memory = 1,        // "Error on memory allocation"
  Missing = 2,       // "Program text missing/wrong"
  NumberWrong = 3,   // "Text number wrong, line:"
  NumberJumps = 4,   // "Line number jumps, line:"
  TooManyText = 5,   // "Too many text, line:"
  TooManyLines = 6,  // "Too many lines, line:"
};

struct TextLoadResult {
  TextFault fault = TextFault::None;
  int line = 0;         // line of the fault (for fault 2: lines read)
  std::string message;  // the complete message box text, empty without fault
  bool ok() const { return fault == TextFault::None; }
};

class TextTable {
 public:
  static constexpr std::size_t kPoolSize = 23600;
  static constexpr int kTextCount = 1800;
  static constexpr std::uint16_t kTextsStart = 3600;  // after 1800 16-bit offsets
  static constexpr std::size_t kMaxTextLength = 249;
  static constexpr int kRequiredTexts = 1000;  // texts 0..999 at least

  TextTable();

  // Reads a language file into the table (format and faults only; see
  // LoadTexts for the whole load with its post-load steps and message).
  TextLoadResult LoadFile(const std::string& path);
  // Same over text already in memory, for tests and fuzzing; `name` stands in
  // the messages of faults 1 and 2.
  TextLoadResult LoadLines(std::string_view content, const std::string& name);

  // Text n; a number outside 0..1799 gives an empty text.
  std::string Text(int n) const { return std::string(View(n)); }
  // Inline: the renderer asks for several texts on every line it draws.
  std::string_view View(int n) const {
    if (!pool_ || n < 0 || n >= kTextCount) return {};
    const std::size_t offset = Offset(n);
    if (offset < kTextsStart || offset >= kPoolSize) return {};
    const std::size_t length = std::min<std::size_t>((*pool_)[offset], kPoolSize - offset - 1);
    return std::string_view(reinterpret_cast<const char*>(pool_->data() + offset + 1), length);
  }
  std::size_t Length(int n) const { return View(n).size(); }
  // The decimal number written in text n (leading blanks skipped); 0 when none.
  long NumberText(int n) const;
  // Text n read as comma-separated items.
  std::vector<std::string> List(int n) const;
  // Overwrites text n in place; only for values no longer than the text.
  bool SetText(int n, std::string_view value);

  // The post-load conversions: cause sets and TOO list to octet strings and
  // the special characters.
  void ApplyPostLoad();

  char hexPrefix() const { return hexPrefix_; }
  char bitDigit(int bit) const { return bitDigits_[bit ? 1 : 0]; }
  char fieldSeparator() const { return fieldSeparator_; }
  // Octets of the causes permitted for type index k (k = 0: the common set).
  std::string_view CauseSet(int typeIndex) const;
  bool CausePermitted(int typeIndex, int cause) const;
  std::string_view TooCodes() const { return View(text::kTooCodes); }
  int causeSetCount() const { return causeSetCount_; }
  // The help file (text 1163 taken relative to the program directory).
  const std::string& helpFile() const { return helpFile_; }
  void SetHelpFile(std::string path) { helpFile_ = std::move(path); }

  // The complete fault message box text.
  static std::string FaultMessage(TextFault fault, int line, const std::string& detail);

 private:
  std::unique_ptr<std::array<std::uint8_t, kPoolSize>> pool_;
  char hexPrefix_ = '$';
  std::array<char, 2> bitDigits_{'0', '1'};
  char fieldSeparator_ = ';';
  int causeSetCount_ = 0;
  std::string helpFile_;

  std::uint16_t Offset(int n) const {
    const auto& p = *pool_;
    return static_cast<std::uint16_t>(p[2 * n] | (p[2 * n + 1] << 8));
  }
  void ConvertTwoDigitNumbers(int n);
};

// The language files: index 0 "ger", index 1 "usa".
inline constexpr int kLanguageCount = 2;
std::string_view LanguageExtension(int languageIndex);
std::string LanguageFilePath(const std::string& programDirectory, int languageIndex);

// Loads the language file of `languageIndex` from the program directory and
// runs the post-load steps. A fault leaves its message in the result for the
// caller to show.
TextLoadResult LoadTexts(TextTable& table, const std::string& programDirectory, int languageIndex);

}  // namespace kivo
