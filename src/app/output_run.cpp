#include "app/output_run.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "app/instance.h"
#include "asdu/text_format.h"
#include "log/log_store.h"
#include "text/text_table.h"
#include "util/file_io.h"

namespace kivo {

namespace {

namespace txt {
constexpr int kLogDisplay = 421;  // + OnlineDisplay
constexpr int kFilter = 1212;     // + filter on
constexpr int kFormat = 406;      // + Format (3..7)
constexpr int kTimeLine = 407;    // + ShowTime
constexpr int kLinkLine = 423;    // + ShowLink
constexpr int kLogOf = 428;
constexpr int kPage = 429;
constexpr int kEndOfOutput = 1170;
constexpr int kOutputCancelled = 1171;
}  // namespace txt

constexpr std::size_t kLogNameWidth = 32;
constexpr std::size_t kHeaderWidth = 60;
constexpr std::size_t kPageNumberWidth = 3;
constexpr std::int64_t kProgressStep = 100;

std::string ShortDate(const RenderContext& context, double timeStamp) {
  return FormatDayTime(SplitDayNumber(std::isfinite(timeStamp) ? timeStamp : 0.0),
                       context.locale.dateFormat);
}

// The walk over the log that every target shares: from the oldest entry to
// the newest, only entries that pass the display filter.
class FilteredWalk {
 public:
  FilteredWalk(LogStore& log, const OutputOptions& options) : log_(log), options_(options) {
    // Opened afresh so that the walk reaches the page being written now.
    openedHere_ = !log_.ReaderOpen();
    log_.CloseReader();
    log_.OpenReader();
    const TLogIndex& index = log_.Index();
    firstSeqNo_ = index.firstSeqNo;
    count_ = RelativeNumber(index.lastSeqNo);
    have_ = log_.ReaderOpen() && log_.SeekPage(index.oldestPage, false) && Present();
    SkipRefused();
    if (!have_) count_ = -1;
  }
  ~FilteredWalk() {
    if (openedHere_) log_.CloseReader();
  }

  bool Have() const { return have_ && Relative() <= count_; }
  const TLogEntry& Entry() const { return log_.CurrentEntry(); }
  std::int64_t Relative() const { return RelativeNumber(Entry().seqNo); }
  std::int64_t Count() const { return count_; }
  void Next() {
    have_ = log_.StepForward() && Present();
    SkipRefused();
  }

 private:
  LogStore& log_;
  const OutputOptions& options_;
  bool openedHere_ = false;
  bool have_ = false;
  std::uint32_t firstSeqNo_ = 0;
  std::int64_t count_ = 0;

  // The numbers count modulo 2^32: a log may run on across the wrap.
  std::int64_t RelativeNumber(std::uint32_t seqNo) const {
    return std::int64_t{static_cast<std::uint32_t>(seqNo - firstSeqNo_)} + 1;
  }
  bool Present() const { return log_.CurrentEntry().length != 0; }
  bool Passes() const { return !options_.displayFilter || options_.displayFilter(Entry()); }
  void SkipRefused() {
    while (have_ && !Passes()) have_ = log_.StepForward() && Present();
  }
};

// Progress every 100 entries; true when the operator cancelled.
class ProgressGate {
 public:
  explicit ProgressGate(const OutputOptions& options) : options_(options) {}
  bool Cancelled(std::int64_t relative, std::int64_t count) {
    if (relative <= last_ + kProgressStep) return false;
    last_ = relative;
    if (!options_.progress || count <= 0) return false;
    return options_.progress(static_cast<int>(last_ * 100 / count));
  }

 private:
  const OutputOptions& options_;
  std::int64_t last_ = -kProgressStep;
};

}  // namespace

bool IsOutputToLog(const std::string& name, const LogStore& log) {
  return SameFile(name, log.FileName());
}

std::int64_t DayOf(double timeStamp) {
  if (!std::isfinite(timeStamp)) return 0;
  // A time stamp beyond any day has none: all of them count as one.
  if (std::fabs(timeStamp) >= 0x1p52) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(FloorOfSmall(timeStamp));
}

RenderContext MakeRenderContext(Instance& instance, std::uint32_t firstSeqNo) {
  RenderContext context(instance.texts);
  context.infoTexts = &instance.infoTexts;
  context.format = DisplayFormatFrom(instance.settings.displayFormat);
  context.showTime = instance.settings.showTime != 0;
  context.showLink = instance.settings.showLink != 0;
  context.measurand100 = instance.general.measurand100;
  context.typeColours = &instance.settings.typeColours.pairs;
  context.causeColours = &instance.settings.causeColours.pairs;
  context.locale = LocaleFormats::FromSystem();
  context.firstSeqNo = firstSeqNo;
  return context;
}

TextFileSink::TextFileSink(std::FILE* file) : file_(file) {
  // Room for the entry that crosses the size of a write.
  buffer_.reserve(2 * kWriteSize);
}

bool TextFileSink::Line(std::string_view line) {
  if (!file_ || failed_) return false;
  buffer_ += line;
  buffer_.append("\r\n", 2);
  return TextAppended();
}

bool TextFileSink::TextAppended() {
  if (!file_ || failed_) return false;
  return buffer_.size() < kWriteSize || Flush();
}

bool TextFileSink::Flush() {
  if (!file_ || failed_) return false;
  if (!buffer_.empty()) {
    failed_ = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size();
    buffer_.clear();
  }
  return !failed_;
}

std::string DisplayHeaderText(const RenderContext& context, bool onlineDisplay, bool filterOn) {
  const TextTable& t = context.texts;
  return t.Text(txt::kLogDisplay + (onlineDisplay ? 1 : 0)) +
         t.Text(txt::kFilter + (filterOn ? 1 : 0)) +
         t.Text(txt::kFormat + static_cast<int>(context.format)) +
         t.Text(txt::kTimeLine + (context.showTime ? 1 : 0)) +
         t.Text(txt::kLinkLine + (context.showLink ? 1 : 0));
}

std::vector<std::string> PageHeaderLines(const RenderContext& context, const std::string& logName,
                                         double previousTime, int pageNumber, bool onlineDisplay,
                                         bool filterOn) {
  const TextTable& t = context.texts;
  if (context.format == DisplayFormat::Csv) return {t.Text(text::kCsvTitles)};
  std::string first = LeftJustify(logName, kLogNameWidth) + t.Text(txt::kLogOf) +
                      ShortDate(context, previousTime) + " " + t.Text(txt::kPage) +
                      RightJustify(std::to_string(pageNumber), kPageNumberWidth);
  return {first, RightJustify(DisplayHeaderText(context, onlineDisplay, filterOn), kHeaderWidth)};
}

namespace {

OutputResult RunTextLines(LogStore& log, RenderContext& context, const OutputOptions& options,
                          LineSink& sink) {
  OutputResult result;
  FilteredWalk walk(log, options);
  double previousTime = walk.Have() ? walk.Entry().timeStamp : 0.0;
  int pageNumber = 0;

  auto pageHeader = [&]() {
    if (pageNumber > 0) sink.NewPage();
    ++pageNumber;
    for (const std::string& line :
         PageHeaderLines(context, log.FileName(), previousTime, pageNumber, options.onlineDisplay,
                         options.filterOn)) {
      if (!sink.Line(line)) return false;
    }
    return sink.Line("");
  };
  auto out = [&](std::string_view line) {
    const bool written = (!sink.PageFull() || pageHeader()) && sink.Line(line);
    result.ioError = result.ioError || !written;
    return written;
  };

  if (!pageHeader()) {
    result.ioError = true;
    return result;
  }
  context.previousTime = 0.0;
  ProgressGate gate(options);
  TelegramLineCache telegrams;
  std::string* const text = sink.TextBuffer();
  std::int64_t day = DayOf(previousTime);
  // The time stamps of that day, from its start to below the next one's:
  // within them it is the same day. (None beyond any day: there the next
  // one is the start itself.)
  double dayStart = static_cast<double>(day);
  double dayEnd = dayStart + 1.0;
  // An empty line after each telegram; a CSV file has none between its rows,
  // its printout has.
  const bool blank =
      options.target == OutputTarget::Printer || context.format != DisplayFormat::Csv;
  for (; walk.Have(); walk.Next()) {
    const TLogEntry& entry = walk.Entry();
    if (!(entry.timeStamp >= dayStart && entry.timeStamp < dayEnd)) {
      const std::int64_t entryDay = DayOf(entry.timeStamp);
      if (entryDay != day) {
        previousTime = entry.timeStamp;
        day = entryDay;
        if (!out(ShortDate(context, previousTime))) return result;
      }
      dayStart = static_cast<double>(day);
      dayEnd = dayStart + 1.0;
    }
    if (text != nullptr) {
      telegrams.AppendText(entry, context, blank, *text);
      if (!sink.TextAppended()) {
        result.ioError = true;
        return result;
      }
    } else {
      const auto lines = telegrams.Lines(entry, context);
      for (const std::string& line : lines) {
        if (!out(line)) return result;
      }
      if (blank && !lines.empty() && !out("")) return result;
    }
    ++result.entries;
    if (gate.Cancelled(walk.Relative(), walk.Count())) {
      out(context.texts.Text(txt::kOutputCancelled));
      sink.Abort();
      result.cancelled = true;
      result.damagedPages = log.DamagedPages();
      return result;
    }
  }
  result.damagedPages = log.DamagedPages();
  result.ok = out(context.texts.Text(txt::kEndOfOutput));
  return result;
}

}  // namespace

OutputResult RunTextOutput(LogStore& log, RenderContext& context, const OutputOptions& options,
                           LineSink& sink) {
  OutputResult result = RunTextLines(log, context, options, sink);
  // A run is only done when its last lines have reached the file.
  if (!sink.Flush()) {
    result.ioError = true;
    result.ok = false;
  }
  return result;
}

}  // namespace kivo

namespace kivo {

OutputResult RunLogOutput(Instance& instance, LogStore& log, const std::string& name,
                          const OutputOptions& options) {
  OutputResult result;
  // The new log is made with the present settings: its page count follows the
  // present log size, and when the entries need more pages the oldest are
  // dropped as in any log.
  LogStore target(LogStoreContext{instance.platform.clock, instance.timeBase, instance.general,
                                  instance.ports[0].params, instance.ports[1].params,
                                  result.ioError});
  // The log being read is never written over, by whatever name it is given;
  // the new log takes its name only when it is complete.
  StagedFile staged(name);
  if (IsOutputToLog(name, log)) return result;
  if (!staged.Create()) {
    result.ioError = true;
    return result;
  }
  if (!target.CreateLog(staged.WritePath())) return result;
  FilteredWalk walk(log, options);
  ProgressGate gate(options);
  for (; walk.Have(); walk.Next()) {
    target.AppendCopy(walk.Entry());
    ++result.entries;
    if (gate.Cancelled(walk.Relative(), walk.Count())) {
      result.cancelled = true;
      break;
    }
  }
  result.damagedPages = log.DamagedPages();
  const bool flushed = target.FlushLog() && target.CloseLog();
  // A cancelled run still leaves a complete log of what it copied.
  if (!flushed || result.ioError || !staged.Commit()) result.ioError = true;
  result.ok = !result.ioError && !result.cancelled;
  return result;
}

OutputResult RunEntryOutput(LogStore& log, const OutputOptions& options,
                            const std::function<bool(const TLogEntry&)>& write) {
  OutputResult result;
  FilteredWalk walk(log, options);
  ProgressGate gate(options);
  for (; walk.Have(); walk.Next()) {
    if (!write(walk.Entry())) {
      result.ioError = true;
      result.damagedPages = log.DamagedPages();
      return result;
    }
    ++result.entries;
    if (gate.Cancelled(walk.Relative(), walk.Count())) {
      result.cancelled = true;
      result.damagedPages = log.DamagedPages();
      return result;
    }
  }
  result.damagedPages = log.DamagedPages();
  result.ok = true;
  return result;
}

}  // namespace kivo
