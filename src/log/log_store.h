// The log store, which is at the same time the current log file: appends the
// entries of the link engine to a ring of pages, hands them to the online
// display through a small queue and offers a reading cursor over the log.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "record/frame_sink.h"
#include "record/log_entry.h"
#include "util/block_file.h"

namespace kivo {

class Clock;
class TimeBase;
struct GeneralParams;
struct PortParams;

// What the store works with but does not own.
struct LogStoreContext {
  Clock& clock;
  TimeBase& timeBase;
  GeneralParams& general;  // log size; copied into every header, taken over when continuing
  PortParams& port1;
  PortParams& port2;
  bool& writeFailed;  // the write-error flag the main timer checks
};

// Set by the application; every member may stay empty.
struct LogStoreHooks {
  // The log filter, when switched on: false drops an entry before it is stored.
  std::function<bool(const TLogEntry&)> logFilter;
  // The display filter test of the view: decides what is queued for the
  // online display and what filtered moves count. Empty: every entry passes.
  std::function<bool(const TLogEntry&)> displayFilter;
  // A per-channel counter changed (channel 1..4).
  std::function<void(int channel)> countersChanged;
  // Every entry once it is stored (the command-line program prints them).
  std::function<void(const TLogEntry&)> stored;
  // An error message by text number (1203: a page could not be read).
  std::function<void(int textNumber)> showError;
};

enum class LogOpenMode {
  // The standard log at start and when going online: a file that is not a
  // usable log is replaced by a new, empty log of the same name.
  ReplaceUnusable,
  // A log the operator chose: a file that is not a usable log is left alone,
  // OpenLog fails and the current log stays current.
  KeepUnusable,
  // Reading only (export): nothing is ever written to the file.
  ReadOnly,
};

// Entries waiting for the online display: 16 slots, one always left free.
class OnlineQueue {
 public:
  static constexpr std::uint32_t kSlots = 16;

  // Queues an entry. A full queue drops its four oldest entries and then stops
  // taking fixed-length frames until the painter has nearly caught up.
  void Push(const TLogEntry& entry);
  // Takes the oldest queued entry; clears the overflow state once fewer than
  // two entries remain.
  bool Take(TLogEntry& entry);
  std::uint32_t Count() const { return (writeIndex_ + kSlots - readIndex_) % kSlots; }
  // The k-th newest queued entry (0 = newest), k < Count().
  const TLogEntry& Newest(std::uint32_t k) const {
    return slots_[(writeIndex_ + kSlots - 1 - k) % kSlots];
  }
  // The k-th most recent entry the queue took, painted or not (0 = newest,
  // k < kSlots - 1); Length 0 when that slot was never filled.
  const TLogEntry& Recent(std::uint32_t k) const {
    return slots_[(writeIndex_ + kSlots - 1 - k) % kSlots];
  }
  // Takes every queued entry at once (the display repainted them).
  void TakeAll() {
    readIndex_ = writeIndex_;
    overflow = false;
  }
  void Reset();

  std::uint32_t readIndex() const { return readIndex_; }
  std::uint32_t writeIndex() const { return writeIndex_; }
  bool overflow = false;
  bool repaintAll = false;

 private:
  std::array<TLogEntry, kSlots> slots_{};
  std::uint32_t readIndex_ = 0;
  std::uint32_t writeIndex_ = 0;
};

class LogStore : public FrameSink {
 public:
  // Moves of this many entries or more do not consult the display filter.
  static constexpr int kUnfilteredMove = 5000;
  static constexpr int kTextPageReadFailed = 1203;
  // While entries arrive, the write page goes to the file at least this
  // often; the main timer serves the deadline up to one tick (at most 70 ms)
  // late, so a killed program, or a reader beside it, misses at most the
  // last second.
  static constexpr std::uint32_t kWriteBehindMs = 900;

  explicit LogStore(LogStoreContext context);
  ~LogStore() override;
  LogStore(const LogStore&) = delete;
  LogStore& operator=(const LogStore&) = delete;

  LogStoreHooks hooks;

  // --- Writing ---
  // Stores a copy of the entry (time stamp and number are set here). False
  // when the log filter dropped it or no writable log is open.
  bool Append(const TLogEntry& entry) override;
  // Stores an entry copied from another log (output to a log file): it keeps
  // its time stamp and gets the next number; no filter, counter or queue.
  bool AppendCopy(const TLogEntry& entry);
  // Makes a file the current log. A usable log is continued (a log that was
  // never flushed gets its index rebuilt from its pages); with
  // `startNewIfOld` a log whose first entry is more than a day away from
  // today is started anew. What happens to an unusable file depends on the
  // mode. The current log is closed only when the new one is taken. A log
  // that another store (another program) is writing is opened for reading
  // only, whatever the mode: its writer alone ever writes it.
  bool OpenLog(const std::string& name, bool startNewIfOld, LogOpenMode mode);
  // Starts a new, empty log in that file (truncating it); refused when
  // another store is writing that file.
  bool CreateLog(const std::string& name);
  // Starts the current log file anew (a changed log size takes effect) and
  // leaves the reader open at its end.
  bool ClearLog();
  // Writes the write page and the header with the index; the file then holds
  // a complete log.
  bool FlushLog();
  // Main-timer work: when entries arrived since the last write and
  // kWriteBehindMs have passed since it, writes the write page as it stands
  // and the index. The header stays marked unflushed, so the next open
  // rebuilds the index from the pages and keeps this partial page.
  void WriteBehind();
  // Closes the reader, flushes and closes the write file.
  bool CloseLog();
  // Copies the current log file as it stands on disk to `name` (close or
  // flush first). Nothing happens when the names are equal or there is no file.
  bool SaveLogAs(const std::string& name);
  // The daily change: close the current log, empty the queue and create the
  // log of the new day.
  bool ChangeDailyLog(const std::string& name);
  void ResetQueue() { queue_.Reset(); }

  // --- Reading cursor ---
  // Opens the second handle and puts the cursor at the last entry.
  bool OpenReader();
  void CloseReader();
  bool SeekPage(std::uint32_t page, bool atLast);
  bool StepBack();
  bool StepForward();
  // Moves n entries (negative: back). Below kUnfilteredMove only entries
  // that pass the display filter are counted. Returns the entries moved.
  int Move(int n);
  // The entry under the cursor; Length 0 when the cursor stands on no entry.
  const TLogEntry& CurrentEntry() const { return current_; }
  bool CurrentPasses() const;

  bool ReaderOpen() const { return readerOpen_; }
  std::uint32_t ReadPage() const { return readPage_; }
  std::uint32_t CursorOffset() const { return cursor_; }
  std::uint32_t LastReadablePage() const { return lastReadable_; }
  // Entries in the log when the read page was loaded.
  std::uint32_t EntryCount() const { return entryCount_; }
  // Damaged or unreadable pages the reader came across since it was opened,
  // each page counted once.
  std::uint32_t DamagedPages() const { return damagedPages_; }

  // --- State ---
  bool IsOpen() const { return open_; }
  bool IsReadOnly() const { return readOnly_; }
  // The last OpenLog found a log that was never flushed and rebuilt its index.
  bool Recovered() const { return recovered_; }
  const std::string& FileName() const { return name_; }
  const TLogIndex& Index() const { return index_; }
  const TLogFileHeader& OpenedHeader() const { return openedHeader_; }
  const TLogPage& WritePage() const { return *writePage_; }
  const std::array<ChannelCounters, 4>& Counters() const { return counters_; }
  ChannelCounters ChannelCount(int channel) const override {
    return channel >= 1 && channel <= 4 ? counters_[static_cast<std::size_t>(channel - 1)]
                                        : ChannelCounters{};
  }
  void ClearCounters() { counters_ = {}; }
  OnlineQueue& Queue() { return queue_; }
  bool WriteFailed() const { return context_.writeFailed; }

 private:
  LogStoreContext context_;
  std::string name_;
  bool open_ = false;
  bool readOnly_ = false;
  bool recovered_ = false;
  // The file's header says "not flushed" (HeaderSize 2,128).
  bool markedUnflushed_ = false;
  // Entries went into the write page since it was last written.
  bool unwritten_ = false;
  std::uint32_t lastWriteMs_ = 0;
  BlockFile writeFile_;
  // Held while this store may write its log: the lock that tells other
  // stores that the file has a writer. A handle of its own, so that it stays
  // while the write file is closed and reopened.
  BlockFile writerLock_;
  TLogIndex index_;
  TLogFileHeader openedHeader_;
  std::unique_ptr<TLogPage> writePage_;
  std::uint32_t writeLast_ = kLogPageHeaderSize;
  // The write page was damaged or unreadable when the log was opened.
  bool writePageDamaged_ = false;
  std::array<ChannelCounters, 4> counters_{};
  OnlineQueue queue_;

  BlockFile readFile_;
  bool readerOpen_ = false;
  std::unique_ptr<TLogPage> readBuffer_;
  PageScan readScan_;
  std::uint32_t readPage_ = 0;
  std::uint32_t lastReadable_ = 0;
  std::uint32_t cursor_ = kLogPageHeaderSize;
  std::uint32_t cursorIndex_ = 0;
  std::uint32_t entryCount_ = 0;
  std::uint32_t damagedPages_ = 0;
  std::vector<bool> damagedSeen_;  // per page, since the reader was opened
  // The entry range of each page the reader looked up, so that moving across
  // many pages reads each header once, also after the reader was opened
  // again. Pages this store writes are looked up again; a log that another
  // program writes is never cached.
  struct PageSpan {
    std::uint32_t firstSeqNo = 0;
    std::uint32_t lastSeqNo = 0;
    std::uint8_t state = 0;  // 0 unknown, 1 plausible, 2 implausible or unreadable
  };
  std::vector<PageSpan> pageSpans_;
  std::optional<PageSpan> ReaderPageSpan(std::uint32_t page);
  void ForgetPageSpan(std::uint32_t page) {
    if (page < pageSpans_.size()) pageSpans_[page].state = 0;
  }
  TLogEntry current_;
  // How many leading frame octets of current_ may be other than zero.
  std::size_t currentDirty_ = TLogEntry::kFrameCapacity;

  double Today() const;
  TLogFileHeader BuildHeader(std::uint32_t headerSize, std::uint32_t usedBytes) const;
  bool WritePrefix(std::uint32_t headerSize, std::uint32_t usedBytes);
  void CompleteWritePageHeader();
  bool WriteCurrentPage();
  bool WriteWritePage();
  void NextWritePage();
  void Count(const TLogEntry& entry);
  // Puts a numbered, time-stamped entry into the write page (paging and ring).
  void Store(TLogEntry& entry);
  void ResetWritePage();
  void ContinueWritePage();
  void Fail() { context_.writeFailed = true; }
  void ShowError(int text) {
    if (hooks.showError) hooks.showError(text);
  }

  // Reading.
  void LoadPage(std::uint32_t page, bool atLast, bool countDamage);
  void LoadCurrent();
  bool PageStep(int direction);
  int Skip(int n);
  std::uint32_t SkipPages(int direction, std::uint32_t remaining);
  std::optional<TLogPageHeader> ReadPageHeader(const BlockFile& file, std::uint32_t page) const;
};

}  // namespace kivo
