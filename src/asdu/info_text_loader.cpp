// Reading the operator's information text file: group names, per-cause colour
// words and named information objects, one per line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "asdu/info_text_table.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr std::size_t kReadBuffer = 2048;
// Far beyond any line the format can use (a name is cut to 79 characters);
// a file of junk without line ends must not grow one line to its own size.
constexpr std::size_t kMaxLineLength = 1 << 20;
constexpr int kListedFaultyLines = 201;
constexpr int kLineNumbersPerRow = 10;
constexpr int kMaxColourIndex = 19;
constexpr std::string_view kCauseColourTag = "URS";
constexpr std::string_view kRowSeparator = ",  ";

// Reads a file line by line through a fixed buffer. A line ends at LF, CR LF
// or a lone CR; the last line needs no line end. Every octet else, NUL
// included, belongs to the line; a line longer than kMaxLineLength is read
// to its end but only its start is kept (see overlong()).
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // False at the end of the file or after a read error (see failed()).
  bool Next(std::string& line) {
    line.clear();
    overlong_ = false;
    bool any = false;
    for (;;) {
      // A read error drops the part of a line read before it.
      if (at_ == filled_ && !Fill()) return any && !failed_;
      const char c = buffer_[at_++];
      if (skipLineFeed_) {
        skipLineFeed_ = false;
        if (c == '\n') continue;
      }
      any = true;
      if (c == '\n') return true;
      if (c == '\r') {
        skipLineFeed_ = true;
        return true;
      }
      if (line.size() < kMaxLineLength) {
        line.push_back(c);
      } else {
        overlong_ = true;
      }
    }
  }
  bool failed() const { return failed_; }
  // The last line was cut.
  bool overlong() const { return overlong_; }

 private:
  bool Fill() {
    for (;;) {
      ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        failed_ = got < 0;
        return false;
      }
      at_ = 0;
      filled_ = static_cast<std::size_t>(got);
      return true;
    }
  }

  int fd_;
  std::array<char, kReadBuffer> buffer_{};
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  bool skipLineFeed_ = false;
  bool failed_ = false;
  bool overlong_ = false;
};

class FileHandle {
 public:
  explicit FileHandle(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info {};
    if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Blanks and control characters at both ends go, as with the first field and
// the colour field.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// A decimal number in 0..max: leading blanks allowed, then digits and nothing
// after them.
std::optional<int> Number(std::string_view s, int max) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == s.size()) return std::nullopt;
  long value = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > max) return std::nullopt;
  }
  return static_cast<int>(value);
}

// The colour field: empty or "0" no colour, "c" a text colour, "c-d" text and
// background colour.
std::optional<std::uint16_t> ColourField(std::string_view field) {
  field = Trim(field);
  if (field.empty()) return 0;
  const std::size_t dash = field.find('-');
  auto text = Number(field.substr(0, dash), kMaxColourIndex);
  if (!text) return std::nullopt;
  int background = 0;
  if (dash != std::string_view::npos) {
    auto parsed = Number(field.substr(dash + 1), kMaxColourIndex);
    if (!parsed) return std::nullopt;
    background = *parsed;
  }
  return static_cast<std::uint16_t>(*text | (background << 8));
}

// Field i (from 0) of a line: the text after separator i - 1 up to separator
// i, or up to the end of the line for a last field without its separator.
class Fields {
 public:
  Fields(std::string_view line, char separator) : line_(line), separator_(separator) {}
  std::string_view operator[](std::size_t index) const {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
      const std::size_t at = line_.find(separator_, start);
      if (at == std::string_view::npos) return {};
      start = at + 1;
    }
    const std::size_t end = line_.find(separator_, start);
    return line_.substr(start,
                        end == std::string_view::npos ? std::string_view::npos : end - start);
  }

 private:
  std::string_view line_;
  char separator_;
};

struct LoadTarget {
  InfoTextTable& table;
  GroupNameTable& groups;
  std::array<std::uint16_t, 256>& causeColours;
};

enum class LineResult { Used, Ignored, Faulty };

LineResult CauseColourLine(const Fields& fields, LoadTarget& target) {
  auto cause = Number(fields[1], 255);
  auto colour = ColourField(fields[2]);
  if (!cause || !colour) return LineResult::Faulty;
  target.causeColours[static_cast<std::size_t>(*cause)] = *colour;
  return LineResult::Used;
}

LineResult EntryLine(const Fields& fields, LoadTarget& target) {
  auto typ = Number(Trim(fields[0]), 255);
  auto fun = Number(fields[1], 255);
  auto inf = Number(fields[2], 255);
  auto colour = ColourField(fields[3]);
  if (!typ || !fun || !inf || !colour) return LineResult::Faulty;
  // Add cannot fail here: the loader stops as soon as the table is at its limit.
  target.table.Add(InfoKey(*typ, *fun, *inf), *colour, fields[4]);
  return LineResult::Used;
}

LineResult ApplyLine(std::string_view line, char separator, LoadTarget& target) {
  const std::size_t separators =
      static_cast<std::size_t>(std::count(line.begin(), line.end(), separator));
  if (separators == 0) return LineResult::Ignored;
  if (line.front() == separator) return LineResult::Ignored;  // a comment
  const Fields fields(line, separator);
  if (separators == 1) {
    return target.groups.Add(fields[0]) ? LineResult::Used : LineResult::Faulty;
  }
  if (Trim(fields[0]) == kCauseColourTag) return CauseColourLine(fields, target);
  return EntryLine(fields, target);
}

// Text 1267 takes the file name for its "%s" and the count for its "%d", in
// whichever order the language puts them.
std::string FaultyLinesMessage(const TextTable& texts, const std::string& path, int count,
                               const std::string& errorList) {
  const std::string_view format = texts.View(infotext::kFaultyLinesMessage);
  std::string message;
  bool nameDone = false;
  bool countDone = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's' && !nameDone) {
        message += path;
        nameDone = true;
        ++i;
        continue;
      }
      if (format[i + 1] == 'd' && !countDone) {
        message += std::to_string(count);
        countDone = true;
        ++i;
        continue;
      }
    }
    message += format[i];
  }
  return message + errorList;
}

}  // namespace

InfoTextLoadResult LoadInfoTextFile(const std::string& path, const TextTable& texts,
                                    InfoTextTable& table, GroupNameTable& groups,
                                    std::array<std::uint16_t, 256>& causeColours) {
  InfoTextLoadResult result;
  FileHandle file(path);
  if (file.fd() < 0) return result;

  groups.Clear();
  table.Clear();
  LoadTarget target{table, groups, causeColours};
  const char separator = texts.fieldSeparator();
  const std::string rowStart = "\n" + texts.Text(infotext::kFaultyLinesRow);

  LineReader reader(file.fd());
  std::string line;
  int lineNumber = 0;
  while (!table.AtLimit() && reader.Next(line)) {
    ++lineNumber;
    if (!reader.overlong() && ApplyLine(line, separator, target) != LineResult::Faulty) continue;
    if (result.faultyLines < kListedFaultyLines) {
      result.errorList += result.faultyLines % kLineNumbersPerRow == 0 ? rowStart : kRowSeparator;
      result.errorList += std::to_string(lineNumber);
    }
    ++result.faultyLines;
  }
  result.limitReached = table.AtLimit();
  result.ok = !reader.failed();

  // Sorted even after a read error, so that lookups stay correct.
  table.Sort();
  if (groups.Count() == 0) groups.SetDefaults(texts);
  if (result.ok && result.faultyLines > 0) {
    result.message = FaultyLinesMessage(texts, path, result.faultyLines, result.errorList);
  }
  return result;
}

}  // namespace kivo
