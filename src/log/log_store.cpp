#include "log/log_store.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "record/port_params.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr std::uint8_t kStatusValid = 40;
constexpr std::uint8_t kStatusNotAnError = 19;  // below 40 but no fault of the frame
constexpr std::uint8_t kStatusUncounted = 50;
constexpr std::uint32_t kChannels = 4;

}  // namespace

// --- Online queue ---

void OnlineQueue::Push(const TLogEntry& entry) {
  if ((writeIndex_ + 1) % kSlots == readIndex_) {
    overflow = true;
    readIndex_ = (readIndex_ + 4) % kSlots;
  }
  if (overflow && entry.frameKind == kFrameFixed) return;
  slots_[writeIndex_] = entry;
  writeIndex_ = (writeIndex_ + 1) % kSlots;
}

bool OnlineQueue::Take(TLogEntry& entry) {
  if (readIndex_ == writeIndex_) return false;
  entry = slots_[readIndex_];
  readIndex_ = (readIndex_ + 1) % kSlots;
  if (overflow && Count() < 2) overflow = false;
  return true;
}

void OnlineQueue::Reset() {
  slots_.fill(TLogEntry{});
  readIndex_ = 0;
  writeIndex_ = 0;
}

// --- Store ---

LogStore::LogStore(LogStoreContext context)
    : context_(context),
      writePage_(std::make_unique<TLogPage>()),
      readBuffer_(std::make_unique<TLogPage>()) {}

LogStore::~LogStore() = default;

double LogStore::Today() const {
  const LocalTime now = context_.clock.Now();
  return DayNumber(now.year, now.month, now.day);
}

TLogFileHeader LogStore::BuildHeader(std::uint32_t headerSize, std::uint32_t usedBytes) const {
  TLogFileHeader header;
  header.usedBytes = usedBytes;
  header.headerSize = headerSize;
  header.generalSettings = context_.general;
  header.port1Settings = context_.port1;
  header.port2Settings = context_.port2;
  return header;
}

bool LogStore::WritePrefix(std::uint32_t headerSize, std::uint32_t usedBytes) {
  std::array<std::uint8_t, kLogPrefixSize> prefix{};
  BuildHeader(headerSize, usedBytes).Encode(Bytes(prefix).first(kLogHeaderSize));
  index_.Encode(Bytes(prefix).subspan(kLogHeaderSize));
  return writeFile_.WriteAt(0, prefix);
}

void LogStore::ResetWritePage() {
  unwritten_ = false;
  writePageDamaged_ = false;
  writePage_->Clear();
  writeLast_ = kLogPageHeaderSize;
}

void LogStore::CompleteWritePageHeader() {
  TLogPageHeader header = writePage_->Header();
  header.lastOffset = writeLast_ - kLogPageHeaderSize;
  if (writePage_->LengthAt(kLogPageHeaderSize) != 0) {
    header.lastSeqNo = GetU32(writePage_->bytes, writeLast_ + TLogEntry::Offsets::SeqNo);
    header.lastTime = GetF64(writePage_->bytes, writeLast_ + TLogEntry::Offsets::TimeStamp);
    header.entryCount = header.lastSeqNo - header.firstSeqNo + 1;
  }
  writePage_->SetHeader(header);
}

bool LogStore::WriteCurrentPage() {
  // Before the first page goes into a file whose header describes a complete
  // log, the header is marked unflushed: should the program die now, the next
  // start rebuilds the index from the pages instead of trusting a stale one.
  if (!markedUnflushed_) {
    markedUnflushed_ = true;
    if (!WritePrefix(TLogFileHeader::kUnflushed, kLogPrefixSize)) return false;
  }
  ForgetPageSpan(index_.currentPage);
  return WriteWritePage();
}

bool LogStore::WriteWritePage() {
  // The entries first, the header after them in a write of its own. Between
  // two writes of a page its entries are only added to, so a program killed
  // in between, or in the middle of the first write (a kill can cut a write
  // short), leaves a header that still describes entries the file holds, and
  // the page reads intact.
  const std::uint64_t offset = PageOffset(index_.currentPage);
  const ConstBytes page(writePage_->bytes);
  return writeFile_.WriteAt(offset + kLogPageHeaderSize, page.subspan(kLogPageHeaderSize)) &&
         writeFile_.WriteAt(offset, page.first(kLogPageHeaderSize));
}

void LogStore::WriteBehind() {
  if (!open_ || readOnly_ || !unwritten_) return;
  const std::uint32_t now = context_.clock.NowMs();
  if (now - lastWriteMs_ < kWriteBehindMs) return;
  lastWriteMs_ = now;
  unwritten_ = false;
  CompleteWritePageHeader();
  std::array<std::uint8_t, kLogIndexSize> index{};
  index_.Encode(index);
  if (!WriteCurrentPage() || !writeFile_.WriteAt(kLogHeaderSize, index)) Fail();
}

void LogStore::NextWritePage() {
  CompleteWritePageHeader();
  if (!WriteCurrentPage()) Fail();
  const std::uint32_t n = index_.pageCount;
  index_.currentPage = (index_.currentPage + 1) % n;
  if (index_.currentPage == index_.oldestPage) {
    index_.oldestPage = (index_.oldestPage + 1) % n;
    if (readerOpen_ && readPage_ == index_.currentPage) ++index_.overruns;
    std::array<std::uint8_t, kLogPageHeaderSize> dropped{};
    if (writeFile_.ReadAt(PageOffset(index_.currentPage), dropped)) {
      const TLogPageHeader header = TLogPageHeader::Decode(dropped);
      index_.firstSeqNo = header.lastSeqNo + 1;
      index_.firstTime = header.lastTime;
    } else {
      Fail();
    }
  }
  ResetWritePage();
}

void LogStore::Count(const TLogEntry& entry) {
  if (entry.frameKind == kFrameEvent || entry.status == kStatusUncounted) return;
  if (entry.channel < 1 || entry.channel > kChannels) return;
  ChannelCounters& counters = counters_[entry.channel - 1u];
  ++counters.telegrams;
  if (entry.status < kStatusValid && entry.status != kStatusNotAnError) ++counters.errors;
  if (hooks.countersChanged) hooks.countersChanged(entry.channel);
}

bool LogStore::Append(const TLogEntry& source) {
  if (!open_ || readOnly_) return false;
  TLogEntry entry = source;
  entry.byteCount = std::min(entry.byteCount, TLogEntry::kMaxByteCount);
  entry.timeStamp = Today() + context_.timeBase.TimeOfDay();
  entry.seqNo = index_.lastSeqNo + 1;
  if (hooks.logFilter && !hooks.logFilter(entry)) return false;
  Count(entry);
  Store(entry);
  if (hooks.stored) hooks.stored(entry);
  if (!hooks.displayFilter || hooks.displayFilter(entry)) queue_.Push(entry);
  return true;
}

bool LogStore::AppendCopy(const TLogEntry& source) {
  if (!open_ || readOnly_) return false;
  TLogEntry entry = source;
  entry.byteCount = std::min(entry.byteCount, TLogEntry::kMaxByteCount);
  entry.seqNo = index_.lastSeqNo + 1;
  Store(entry);
  return true;
}

void LogStore::Store(TLogEntry& entry) {
  ++index_.lastSeqNo;
  index_.lastTime = entry.timeStamp;

  entry.length = entry.StoredLength();
  std::uint16_t previous = writePage_->LengthAt(writeLast_);
  std::uint32_t position = writeLast_ + previous;
  if (position + entry.length > kLogPageLimit) {
    NextWritePage();
    position = kLogPageHeaderSize;
    previous = 0;
  }
  if (previous == 0) {
    TLogPageHeader header = writePage_->Header();
    header.firstSeqNo = entry.seqNo;
    header.firstTime = entry.timeStamp;
    writePage_->SetHeader(header);
    if (index_.oldestPage == index_.currentPage) {
      index_.firstSeqNo = entry.seqNo;
      index_.firstTime = entry.timeStamp;
    }
  }
  entry.prevLength = previous;
  std::array<std::uint8_t, TLogEntry::kBufferSize> encoded;
  entry.Encode(encoded);
  std::copy_n(encoded.begin(), entry.length, writePage_->bytes.begin() + position);
  writeLast_ = position;
  // The header's LastOffset is kept current so that a copy of the write page
  // reads like any page of the file.
  PutU32(writePage_->bytes, TLogPageHeader::Offsets::LastOffset, writeLast_ - kLogPageHeaderSize);
  unwritten_ = true;
}

std::optional<LogStore::PageSpan> LogStore::ReaderPageSpan(std::uint32_t page) {
  if (page < pageSpans_.size() && pageSpans_[page].state != 0) {
    return pageSpans_[page].state == 1 ? std::optional(pageSpans_[page]) : std::nullopt;
  }
  const std::optional<TLogPageHeader> header = ReadPageHeader(readFile_, page);
  PageSpan span;
  span.state = header && header->Plausible() ? 1 : 2;
  if (header) {
    span.firstSeqNo = header->firstSeqNo;
    span.lastSeqNo = header->lastSeqNo;
  }
  // The page being written has no complete header yet: never kept.
  if (page < pageSpans_.size() && page != index_.currentPage) pageSpans_[page] = span;
  return span.state == 1 ? std::optional(span) : std::nullopt;
}

std::optional<TLogPageHeader> LogStore::ReadPageHeader(const BlockFile& file,
                                                       std::uint32_t page) const {
  std::array<std::uint8_t, kLogPageHeaderSize> bytes{};
  if (!file.ReadAt(PageOffset(page), bytes)) return std::nullopt;
  return TLogPageHeader::Decode(bytes);
}

namespace {

// Takes the writer's lock of an existing file into `lock`.
bool LockForWriting(const std::string& name, BlockFile& lock) {
  return lock.Open(name, BlockFile::Access::ReadOnly) && lock.TryLockExclusive();
}

}  // namespace

bool LogStore::OpenLog(const std::string& name, bool startNewIfOld, LogOpenMode mode) {
  // Reopening the current log: write out what is in memory first, so that the
  // file is read as it really stands.
  if (open_ && name == name_) CloseLog();
  // A log that another program is writing is only read: its pages and header
  // are that program's.
  BlockFile lock;
  if (mode != LogOpenMode::ReadOnly && FileExists(name) && !LockForWriting(name, lock)) {
    lock.Close();
    mode = LogOpenMode::ReadOnly;
  }

  BlockFile file;
  std::array<std::uint8_t, kLogHeaderSize> headerBytes{};
  std::array<std::uint8_t, kLogIndexSize> indexBytes{};
  const bool read = file.Open(name, mode == LogOpenMode::ReadOnly ? BlockFile::Access::ReadOnly
                                                                  : BlockFile::Access::ReadWrite) &&
                    file.ReadAt(0, headerBytes) && file.ReadAt(kLogHeaderSize, indexBytes);
  const TLogFileHeader header = TLogFileHeader::Decode(headerBytes);
  const TLogIndex index = TLogIndex::Decode(indexBytes);
  const bool flushed = header.headerSize == kLogHeaderSize;
  const bool unflushed = header.headerSize == TLogFileHeader::kUnflushed;
  // An unflushed log's ring fields are rebuilt, so only its page count counts.
  const bool usable = read && header.magic == kLogMagic && index.blockSize == kLogIndexSize &&
                      index.pageCount >= 1 && index.pageCount <= kLogMaxPages &&
                      ((flushed && index.RingInRange()) || unflushed);
  if (!usable) {
    if (mode != LogOpenMode::ReplaceUnusable) return false;
    if (open_) CloseLog();
    context_.writeFailed = false;
    file.Close();
    writerLock_ = std::move(lock);
    return CreateLog(name);
  }
  if (open_) CloseLog();
  context_.writeFailed = false;
  writerLock_ = std::move(lock);
  openedHeader_ = header;
  index_ = index;
  recovered_ = unflushed;
  if (unflushed) {
    index_ = RebuildIndex(
        index.pageCount, [&](std::uint32_t page) { return ReadPageHeader(file, page); },
        [&](std::uint32_t page) {
          return file.ReadAt(PageOffset(page), readBuffer_->bytes) &&
                 !ScanPage(*readBuffer_).damaged;
        });
    index_.reserved44 = index.reserved44;
    index_.overruns = index.overruns;
    index_.reserved52 = index.reserved52;
  }
  if (startNewIfOld && mode != LogOpenMode::ReadOnly &&
      std::fabs(index_.firstTime - Today()) > 1.0) {
    file.Close();
    return CreateLog(name);
  }
  if (mode != LogOpenMode::ReadOnly) {
    if (header.generalSettings.size == GeneralParams::kSize) {
      context_.general = header.generalSettings;
    }
    if (header.port1Settings.blockSize == PortParams::kSize) context_.port1 = header.port1Settings;
    if (header.port2Settings.blockSize == PortParams::kSize) context_.port2 = header.port2Settings;
  }
  writeFile_ = std::move(file);
  name_ = name;
  open_ = true;
  pageSpans_.clear();  // another file, or the same one started anew
  readOnly_ = mode == LogOpenMode::ReadOnly;
  markedUnflushed_ = unflushed;
  ResetWritePage();
  // A rebuilt log continues in a fresh page: what the file holds there is
  // older than the pages before it.
  if (!unflushed) {
    if (writeFile_.ReadAt(PageOffset(index_.currentPage), writePage_->bytes)) {
      ContinueWritePage();
    } else {
      ShowError(kTextPageReadFailed);
      ResetWritePage();
      writePageDamaged_ = true;
    }
  }
  return true;
}

void LogStore::ContinueWritePage() {
  const PageScan scan = ScanPage(*writePage_);
  if (scan.count == 0) {
    ResetWritePage();
    writePageDamaged_ = scan.damaged;
    return;
  }
  writePageDamaged_ = scan.damaged;
  // Appending goes on after the last intact entry; whatever stood behind it
  // is cleared so that the page chains cleanly when it is written again.
  writeLast_ = scan.lastEntry;
  const std::uint32_t end = writeLast_ + writePage_->LengthAt(writeLast_);
  std::fill(writePage_->bytes.begin() + end, writePage_->bytes.end(), std::uint8_t{0});
  PutU32(writePage_->bytes, TLogPageHeader::Offsets::LastOffset, writeLast_ - kLogPageHeaderSize);
}

bool LogStore::CreateLog(const std::string& name) {
  CloseReader();
  writeFile_.Close();
  if (!(writerLock_.IsOpen() && (name == name_ || !open_))) {
    writerLock_.Close();
    // Never start a new log over the entries another program is writing.
    if (FileExists(name) && !LockForWriting(name, writerLock_)) {
      writerLock_.Close();
      open_ = false;
      Fail();
      return false;
    }
  }
  name_ = name;
  open_ = true;
  pageSpans_.clear();  // another file, or the same one started anew
  readOnly_ = false;
  recovered_ = false;
  markedUnflushed_ = true;
  index_ = TLogIndex{};
  index_.pageCount = PagesForLogSize(context_.general.logSize);
  openedHeader_ = BuildHeader(TLogFileHeader::kUnflushed, kLogPrefixSize);
  ResetWritePage();
  bool ok = writeFile_.Open(name, BlockFile::Access::CreateTruncate) &&
            WritePrefix(TLogFileHeader::kUnflushed, kLogPrefixSize);
  ok = writeFile_.Close() && ok;
  ok = ok && writeFile_.Open(name, BlockFile::Access::ReadWrite);
  if (ok && !writerLock_.IsOpen()) LockForWriting(name, writerLock_);
  if (!ok) Fail();
  return ok;
}

bool LogStore::ClearLog() {
  if (!open_ || readOnly_) return false;
  CloseReader();
  const bool ok = CreateLog(name_);
  ResetQueue();
  OpenReader();
  return ok;
}

bool LogStore::FlushLog() {
  if (!open_) return false;
  if (readOnly_) return true;
  CompleteWritePageHeader();
  // The page goes in before the header that describes it; the header still
  // says what it said, so there is nothing to mark here.
  bool ok = WriteWritePage();
  unwritten_ = false;
  index_.usedPages = index_.UsedPagesNow();
  ok = ok && WritePrefix(kLogHeaderSize, kLogPrefixSize + index_.usedPages * kLogPageSize);
  markedUnflushed_ = !ok;
  ok = writeFile_.Close() && ok;
  ok = ok && writeFile_.Open(name_, BlockFile::Access::ReadWrite);
  if (!ok) Fail();
  return ok;
}

bool LogStore::CloseLog() {
  CloseReader();
  if (!open_) return true;
  bool ok = FlushLog();
  writeFile_.Close();
  writerLock_.Close();
  open_ = false;
  return ok;
}

bool LogStore::SaveLogAs(const std::string& name) {
  if (name == name_) return false;
  BlockFile source;
  if (!source.Open(name_, BlockFile::Access::ReadOnly)) return false;
  const std::int64_t size = source.Size();
  const std::string temporary = name + ".tmp";
  BlockFile target;
  bool ok = size >= 0 && target.Open(temporary, BlockFile::Access::CreateTruncate);
  std::vector<std::uint8_t> block(kLogPageSize);
  for (std::int64_t at = 0; ok && at < size; at += kLogPageSize) {
    const auto length = static_cast<std::size_t>(std::min<std::int64_t>(kLogPageSize, size - at));
    std::span<std::uint8_t> part(block.data(), length);
    ok = source.ReadAt(static_cast<std::uint64_t>(at), part) &&
         target.WriteAt(static_cast<std::uint64_t>(at), part);
  }
  ok = target.Close() && ok;
  if (!ok || std::rename(temporary.c_str(), name.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool LogStore::ChangeDailyLog(const std::string& name) {
  CloseLog();
  ResetQueue();
  return CreateLog(name);
}

// --- Reading cursor ---

bool LogStore::OpenReader() {
  if (readerOpen_) return true;
  readerOpen_ = true;
  damagedPages_ = 0;
  damagedSeen_.assign(index_.pageCount, false);
  // What the headers said stays true while this store writes the log: the
  // pages it writes are forgotten as they are written.
  if (pageSpans_.size() != (readOnly_ ? 0 : index_.pageCount)) {
    pageSpans_.assign(readOnly_ ? 0 : index_.pageCount, PageSpan{});
  }
  readPage_ = index_.currentPage;
  lastReadable_ = index_.currentPage;
  if (!open_ || !readFile_.Open(name_, BlockFile::Access::ReadOnly)) {
    ShowError(kTextPageReadFailed);
    readBuffer_->Clear();
    readScan_ = PageScan{};
    cursor_ = kLogPageHeaderSize;
    cursorIndex_ = 0;
    LoadCurrent();
    return false;
  }
  LoadPage(index_.currentPage, true, true);
  return true;
}

void LogStore::CloseReader() {
  readFile_.Close();
  readerOpen_ = false;
}

bool LogStore::SeekPage(std::uint32_t page, bool atLast) {
  if (!readerOpen_ || page >= index_.pageCount) return false;
  LoadPage(page, atLast, true);
  return true;
}

void LogStore::LoadPage(std::uint32_t page, bool atLast, bool countDamage) {
  entryCount_ = index_.firstSeqNo == 0 && index_.lastSeqNo == 0
                    ? 0
                    : index_.lastSeqNo - index_.firstSeqNo + 1;
  readPage_ = page;
  bool damaged = false;
  if (open_ && page == index_.currentPage) {
    *readBuffer_ = *writePage_;
    damaged = writePageDamaged_;
  } else if (!readFile_.ReadAt(PageOffset(page), readBuffer_->bytes)) {
    ShowError(kTextPageReadFailed);
    readBuffer_->Clear();
    damaged = true;
  }
  readScan_ = ScanPage(*readBuffer_);
  if (countDamage && (damaged || readScan_.damaged) && page < damagedSeen_.size() &&
      !damagedSeen_[page]) {
    damagedSeen_[page] = true;
    ++damagedPages_;
  }
  if (atLast) {
    cursor_ = readScan_.lastEntry;
    cursorIndex_ = readScan_.count > 0 ? readScan_.count - 1 : 0;
  } else {
    cursor_ = kLogPageHeaderSize;
    cursorIndex_ = 0;
  }
  LoadCurrent();
}

void LogStore::LoadCurrent() {
  if (readScan_.count == 0) {
    current_ = TLogEntry{};
    currentDirty_ = 0;
  } else {
    currentDirty_ = ReadEntry(*readBuffer_, cursor_, current_, currentDirty_);
  }
}

// Leaves the read page for the nearest page in `direction` that holds
// entries; at the end of the log the cursor stays where it was.
bool LogStore::PageStep(int direction) {
  const std::uint32_t n = index_.pageCount;
  const std::uint32_t startPage = readPage_;
  const std::uint32_t startCursor = cursor_;
  const std::uint32_t startIndex = cursorIndex_;
  std::uint32_t page = readPage_;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (page == (direction > 0 ? lastReadable_ : index_.oldestPage)) break;
    page = (page + n + static_cast<std::uint32_t>(direction)) % n;
    LoadPage(page, direction < 0, true);
    if (readScan_.count > 0) return true;
  }
  if (readPage_ != startPage) {
    LoadPage(startPage, false, false);
    cursor_ = startCursor;
    cursorIndex_ = startIndex;
    LoadCurrent();
  }
  return false;
}

bool LogStore::StepForward() {
  if (!readerOpen_) return false;
  if (readScan_.count > 0 && cursor_ != readScan_.lastEntry) {
    cursor_ += readBuffer_->LengthAt(cursor_);
    ++cursorIndex_;
    LoadCurrent();
    return true;
  }
  return PageStep(+1);
}

bool LogStore::StepBack() {
  if (!readerOpen_) return false;
  if (readScan_.count > 0 && cursor_ != kLogPageHeaderSize) {
    cursor_ -= readBuffer_->PrevLengthAt(cursor_);
    --cursorIndex_;
    LoadCurrent();
    return true;
  }
  return PageStep(-1);
}

bool LogStore::CurrentPasses() const {
  if (current_.length == 0) return false;
  return !hooks.displayFilter || hooks.displayFilter(current_);
}

int LogStore::Move(int n) {
  if (!readerOpen_ || n == 0) return 0;
  if (std::abs(n) >= kUnfilteredMove || !hooks.displayFilter) return Skip(n);
  auto forwardToPassing = [this] {
    while (StepForward()) {
      if (CurrentPasses()) return true;
    }
    return false;
  };
  auto backToPassing = [this] {
    while (StepBack()) {
      if (CurrentPasses()) return true;
    }
    return false;
  };
  int moved = 0;
  if (n > 0) {
    while (moved < n && forwardToPassing()) ++moved;
    return moved;
  }
  while (moved < -n && backToPassing()) ++moved;
  if (moved < -n && !CurrentPasses()) forwardToPassing();
  return -moved;
}

// Finds by bisection over the page headers the farthest whole page in
// `direction` that a move of `remaining` entries passes over, and puts the
// cursor at its far end. The numbers of a log run on from page to page, so
// the entries passed are the difference of the sequence numbers; a page whose
// header does not fit ends the search there. Returns the entries passed, 0
// when no page was passed over.
std::uint32_t LogStore::SkipPages(int direction, std::uint32_t remaining) {
  if (readScan_.count == 0) return 0;
  const std::uint32_t n = index_.pageCount;
  const bool forward = direction > 0;
  const std::uint32_t seqNo = GetU32(readBuffer_->bytes, cursor_ + TLogEntry::Offsets::SeqNo);
  const std::uint32_t end = forward ? lastReadable_ : index_.oldestPage;
  const std::uint32_t toEnd = forward ? (end + n - readPage_) % n : (readPage_ + n - end) % n;
  // The write page is in memory with an incomplete header: never passed over.
  std::uint32_t toWritePage =
      forward ? (index_.currentPage + n - readPage_) % n : (readPage_ + n - index_.currentPage) % n;
  if (toWritePage == 0) toWritePage = n;
  auto pageAt = [&](std::uint32_t k) {
    return forward ? (readPage_ + k) % n : (readPage_ + n - k) % n;
  };
  auto passed = [&](std::uint32_t k) -> std::uint32_t {
    const std::optional<PageSpan> header = ReaderPageSpan(pageAt(k));
    if (!header) return 0;
    const std::uint32_t entries = forward ? header->lastSeqNo - seqNo : seqNo - header->firstSeqNo;
    return entries <= remaining ? entries : 0;
  };
  std::uint32_t low = 0;
  std::uint32_t high = std::min(toEnd, toWritePage - 1);
  while (low < high) {
    const std::uint32_t middle = low + (high - low + 1) / 2;
    if (passed(middle) != 0) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  const std::uint32_t entries = low == 0 ? 0 : passed(low);
  if (entries != 0) LoadPage(pageAt(low), forward, true);
  return entries;
}

// Moves without the filter: within a page entry by entry, over whole pages
// by their headers.
int LogStore::Skip(int n) {
  const std::uint32_t target = static_cast<std::uint32_t>(std::abs(n));
  const int direction = n > 0 ? 1 : -1;
  std::uint32_t remaining = target;
  while (remaining > 0) {
    const std::uint32_t inPage = readScan_.count == 0 ? 0
                                 : direction > 0      ? readScan_.count - 1 - cursorIndex_
                                                      : cursorIndex_;
    if (inPage > 0) {
      const std::uint32_t k = std::min(remaining, inPage);
      for (std::uint32_t i = 0; i < k; ++i) {
        cursor_ = direction > 0 ? cursor_ + readBuffer_->LengthAt(cursor_)
                                : cursor_ - readBuffer_->PrevLengthAt(cursor_);
      }
      cursorIndex_ = direction > 0 ? cursorIndex_ + k : cursorIndex_ - k;
      remaining -= k;
      continue;
    }
    const std::uint32_t passed = SkipPages(direction, remaining);
    if (passed > 0) {
      remaining -= passed;
      continue;
    }
    if (!(direction > 0 ? StepForward() : StepBack())) break;
    --remaining;
  }
  LoadCurrent();
  const int moved = static_cast<int>(target - remaining);
  return direction > 0 ? moved : -moved;
}

}  // namespace kivo
