// The output run: the whole current log, as far as it passes the display
// filter, written as text lines (a text file, or a printer through a page
// sink) or copied into a new log file; and the render context of the
// instance that the views, the printer and the export draw with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "asdu/renderer.h"
#include "record/log_entry.h"

namespace kivo {

class Instance;
class LogStore;

enum class OutputTarget : int { TextFile = 0, Printer = 1, LogFile = 2 };

// Where the text lines of targets 0 and 1 go. A printer sink starts a new
// page when asked and knows when its page is full.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // False on an I/O error (the run ends at once).
  virtual bool Line(std::string_view line) = 0;
  // True when the next line would not fit on the page.
  virtual bool PageFull() const { return false; }
  // Starts the next page (not called before the first one).
  virtual void NewPage() {}
  // The run was cancelled: the job is aborted.
  virtual void Abort() {}
  // Everything written so far has reached its target; false on an I/O error.
  // The run calls it before it ends.
  virtual bool Flush() { return true; }
  // A target without pages may take whole entries as text, their lines each
  // ended by CR LF, appended to a buffer of its own; none: it takes them
  // line by line.
  virtual std::string* TextBuffer() { return nullptr; }
  // Text was appended to TextBuffer(). False on an I/O error.
  virtual bool TextAppended() { return true; }
};

// Text file lines end with CR LF. They gather in a buffer that goes to the
// stream in large writes.
class TextFileSink : public LineSink {
 public:
  explicit TextFileSink(std::FILE* file);
  ~TextFileSink() override { Flush(); }
  TextFileSink(const TextFileSink&) = delete;
  TextFileSink& operator=(const TextFileSink&) = delete;
  bool Line(std::string_view line) override;
  bool Flush() override;
  std::string* TextBuffer() override { return &buffer_; }
  bool TextAppended() override;
  // The size of its writes: each call of write costs the kernel a share of
  // its own besides the octets, so a few large writes cost less than many.
  static constexpr std::size_t kWriteSize = 1 << 18;

 private:
  std::FILE* file_;
  std::string buffer_;
  bool failed_ = false;
};

struct OutputOptions {
  OutputTarget target = OutputTarget::TextFile;
  // The display filter: entries it refuses are neither written nor copied.
  std::function<bool(const TLogEntry&)> displayFilter;
  // Progress in percent every 100 entries; returns true when the operator
  // cancelled.
  std::function<bool(int percent)> progress;
  // The display settings of the text lines (format, time and link lines).
  bool onlineDisplay = false;
  bool filterOn = false;
};

struct OutputResult {
  bool ok = false;  // the target was written completely
  bool cancelled = false;
  std::uint64_t entries = 0;       // entries written or copied
  std::uint32_t damagedPages = 0;  // damaged pages the reader passed over
  bool ioError = false;            // writing the target failed
};

// The calendar day of a time stamp (days since 1899-12-30); 0 for one that
// is no number.
std::int64_t DayOf(double timeStamp);

// A context over the records of a running instance, with the display
// settings, the measurand reference, the colour tables and the locale in force.
RenderContext MakeRenderContext(Instance& instance, std::uint32_t firstSeqNo);

// Targets 0 and 1: the lines of every entry, with the page header, date lines
// and the end line. `context` carries format and toggles.
OutputResult RunTextOutput(LogStore& log, RenderContext& context, const OutputOptions& options,
                           LineSink& sink);

// True when `name` leads to the file of `log` (through links or another
// spelling of its path): output there is refused.
bool IsOutputToLog(const std::string& name, const LogStore& log);

// Every entry that passes the display filter, oldest first, handed to
// `write`; a false return is an I/O error and ends the run. For writers of
// binary forms that have no lines.
OutputResult RunEntryOutput(LogStore& log, const OutputOptions& options,
                            const std::function<bool(const TLogEntry&)>& write);

// Target 2: a new log in `name`, made with the present settings; the entries
// are renumbered from 1 and keep their time stamps. It is written beside
// `name` and takes its place when complete; `name` must not be the log read.
OutputResult RunLogOutput(Instance& instance, LogStore& log, const std::string& name,
                          const OutputOptions& options);

// The display header: log or online display, filter, format, time line and
// link line, as the view and the page header show it.
std::string DisplayHeaderText(const RenderContext& context, bool onlineDisplay, bool filterOn);

// The page header lines of a text output (without the empty line after it).
std::vector<std::string> PageHeaderLines(const RenderContext& context, const std::string& logName,
                                         double previousTime, int pageNumber, bool onlineDisplay,
                                         bool filterOn);

}  // namespace kivo
