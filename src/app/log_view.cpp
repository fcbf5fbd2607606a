#include "app/log_view.h"

#include <algorithm>
#include <cmath>

#include "app/instance.h"
#include "app/output_run.h"
#include "asdu/renderer.h"
#include "asdu/text_format.h"
#include "log/log_store.h"
#include "record/frame_status.h"
#include "record/ft12.h"
#include "text/text_table.h"

namespace kivo {

namespace {

namespace txt {
constexpr int kTelegram = 425;
constexpr int kOf = 427;
constexpr int kEndOfLog = 1191;
}  // namespace txt

constexpr int kHeaderWidth = 80;
constexpr int kHeaderGap = 6;
constexpr int kSweepBlock = 8;  // the marker line and the seven lines below it
constexpr int kOneLineWidth = 120;
constexpr int kMarkerColour = 5;
constexpr std::string_view kMarker = "        ";
constexpr int kFormatCompact = 4;
constexpr int kFormatOneLine = 5;
constexpr int kFormatOctets = 6;
constexpr int kFormatCsv = 7;
constexpr std::uint8_t kStatusSpaced = 43;
constexpr std::uint8_t kStatusGoodEvent = 50;
constexpr std::uint8_t kStatusFreeOctets = 51;
constexpr std::uint8_t kLastUndecoded = 12;

std::string Padded(std::string_view s, std::size_t width) {
  std::string out(s);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

bool Faulty(const TLogEntry& e) {
  return e.status < kFirstValidStatus;
}

// Whether the renderer decodes the entry's ASDU into element lines.
bool Decoded(const TLogEntry& e, int format) {
  return format != kFormatOctets && e.frameKind != kFrameOther && e.status != kStatusFreeOctets &&
         e.status > kLastUndecoded;
}

}  // namespace

int LineEstimate(const TLogEntry& e, const LineEstimateSettings& s) {
  if (e.frameKind == kFrameEvent) return 1;
  const int t = (s.showTime || Faulty(e)) ? 1 : 0;
  if (e.frameKind == kFrameFixed) {
    if (s.format == kFormatOneLine || e.status == kStatusSpaced || e.status == kStatusGoodEvent) {
      return 1;
    }
    return t + 1;
  }
  if (s.format == kFormatCsv) return 1;
  if (Decoded(e, s.format)) {
    const auto frame = e.Frame();
    auto octet = [&](std::size_t i) -> int { return i < frame.size() ? frame[i] : 0; };
    const int typ = octet(ft12::at::kTyp);
    const int vsq = octet(ft12::at::kVsq) & 0x7F;
    const int byteCount = e.byteCount;
    int extra = 0;
    switch (typ) {
      case 3:
      case 9:
        extra = (vsq + 2) / 3 - 1;
        break;
      case 23:
        extra = vsq - 1;
        break;
      case 26:
      case 27:
        extra = 1;
        break;
      case 29:
        extra = (byteCount - 2) / 16;
        break;
      case 30:
        extra = (byteCount - 5) / 16;
        break;
      default:
        break;
    }
    const int elements = 1 + extra;
    if (s.format == kFormatOneLine) return elements;
    const int link = (Faulty(e) || s.showLink) ? 1 : 0;
    return elements + t + 2 + link - (s.format == kFormatCompact ? 1 : 0);
  }
  const int time = (s.showTime || e.status <= kLastUndecoded || e.status == kStatusFreeOctets);
  return time + e.byteCount / 16 + 1;
}

int MoveOfCode(int code) {
  using namespace viewcode;
  switch (code) {
    case kLineDown:
      return 1;
    case kLineUp:
      return -1;
    case kPageUp:
      return -5;
    case kPageDown:
      return 5;
    case kCtrlPageUp:
      return -500;
    case kCtrlPageDown:
      return 500;
    case kShiftPageUp:
      return -50;
    case kShiftPageDown:
      return 50;
    case kShiftCtrlPageUp:
      return -5000;
    case kShiftCtrlPageDown:
      return 5000;
    default:
      return 0;
  }
}

LogView::LogView(Instance& instance, ViewCanvas& canvas) : instance_(instance), canvas_(canvas) {}

bool LogView::DisplayFilterOn() const {
  return instance_.general.displayFilter.enabled != 0;
}

bool LogView::HeaderFilterFlag() const {
  return DisplayFilterOn() ||
         (instance_.settings.onlineDisplay != 0 && instance_.general.logFilter.enabled != 0);
}

LineEstimateSettings LogView::EstimateSettings() const {
  const Settings& s = instance_.settings;
  return {static_cast<int>(DisplayFormatFrom(s.displayFormat)), s.showTime != 0, s.showLink != 0};
}

std::uint32_t LogView::HeadingBackground() const {
  return BackgroundColourOf(instance_.settings.telFont.pairs[4], system_);
}

std::uint32_t LogView::HeadingText() const {
  return TextColourOf(instance_.settings.telFont.pairs[4], system_);
}

void LogView::DrawLine(std::string_view text, std::uint16_t pair, bool heading) {
  const int height = heading ? geometry_.headingHeight : geometry_.lineHeight;
  if (y_ + height > geometry_.bottom) y_ = top_;
  canvas_.Text(kLeft, y_, text, TextColourOf(pair, system_), BackgroundColourOf(pair, system_),
               heading);
  y_ += height;
  ++linesDrawn_;
  if (y_ + geometry_.lineHeight > geometry_.bottom) pageFull_ = true;
}

void LogView::Advance(int dy) {
  y_ += dy;
  if (y_ + geometry_.lineHeight > geometry_.bottom) pageFull_ = true;
}

void LogView::ClearAndHeader() {
  canvas_.Fill(0, 0, -1, geometry_.bottom, HeadingBackground());
  y_ = geometry_.headerTop;
  top_ = y_;
  pageFull_ = false;
  linesDrawn_ = 0;
  markerY_ = -1;
  shown_.clear();
  const RenderContext context = MakeRenderContext(instance_, instance_.logStore.Index().firstSeqNo);
  const std::string header =
      DisplayHeaderText(context, instance_.settings.onlineDisplay != 0, HeaderFilterFlag());
  DrawLine(Padded(header, kHeaderWidth), instance_.settings.telFont.pairs[4], true);
  y_ += kHeaderGap;
  top_ = y_;
  const int lh = std::max(1, geometry_.lineHeight);
  bottomAligned_ = top_ + ((geometry_.bottom - top_) / lh) * lh;
  pageFull_ = y_ + geometry_.lineHeight > geometry_.bottom;
}

int LogView::Redraw(int code, int position) {
  const double started = traceClock ? traceClock() : 0.0;
  ClearAndHeader();
  if (instance_.settings.onlineDisplay != 0) {
    instance_.logStore.Queue().repaintAll = true;
    return position;
  }
  const int result = RedrawLog(code, position);
  Trace(started);
  return result;
}

void LogView::MoveToEnd() {
  LogStore& log = instance_.logStore;
  log.SeekPage(log.Index().currentPage, true);
  if (DisplayFilterOn()) {
    log.Move(-1);
    return;
  }
  const LineEstimateSettings s = EstimateSettings();
  const int available = geometry_.LinesAvailable();
  int sum = 0;
  for (;;) {
    sum += LineEstimate(log.CurrentEntry(), s) + 1;
    if (sum + 4 > available) {
      log.StepForward();
      return;
    }
    if (!log.StepBack()) return;
  }
}

int LogView::PageOfElements() const {
  const Settings& s = instance_.settings;
  const int available = geometry_.LinesAvailable();
  if (DisplayFormatFrom(s.displayFormat) == DisplayFormat::OneLine) return available - 1;
  const TLogEntry& e = instance_.logStore.CurrentEntry();
  int page = available - 4 - (s.showLink ? 1 : 0);
  if (s.showTime || Faulty(e)) --page;
  if (s.displayFormat == kFormatCompact) page += 2;
  return std::max(2, page);
}

int LogView::RedrawLog(int code, int position) {
  using namespace viewcode;
  LogStore& log = instance_.logStore;
  entriesPainted_ = 0;
  if (!log.ReaderOpen()) return position;

  // 1. The code adjustments.
  if (!haveCursor_) code = kEnd;
  if (log.Index().overruns != seenOverruns_) {
    seenOverruns_ = log.Index().overruns;
    code = kEnd;
  }
  if (code == kNone && position == 0) code = kHome;
  if (code == kNone && position == kMaxPosition) code = kEnd;

  // 2. The move.
  int move = MoveOfCode(code);
  bool reset = move != 0;
  if (code == kHome) {
    log.SeekPage(log.Index().oldestPage, false);
    if (!log.CurrentPasses()) log.Move(1);
    reset = true;
  } else if (code == kEnd) {
    // The end of the log as it stands now: the reader is opened afresh, so
    // that what was written since (or overwrote the page it stood on) is
    // read as the log is now.
    log.CloseReader();
    if (!log.OpenReader()) return position;
    MoveToEnd();
    reset = true;
  } else if (code >= 1 && code <= kFormatCsv) {
    if (!log.CurrentPasses()) log.Move(-1);
  } else if (code == kNone && position > 0 && position < kMaxPosition) {
    const std::uint64_t target = static_cast<std::uint64_t>(log.EntryCount()) *
                                 static_cast<std::uint64_t>(position) / kMaxPosition;
    const std::int64_t by = static_cast<std::int64_t>(target) + log.Index().firstSeqNo -
                            static_cast<std::int64_t>(log.CurrentEntry().seqNo);
    move = static_cast<int>(std::clamp<std::int64_t>(by, -2000000000, 2000000000));
    reset = true;
  }

  // 3. A telegram longer than the screen is paged through before the view
  // moves on to the next one.
  // A page never reaches past what the screen showed: no line is skipped.
  const int page = std::max(2, std::min(PageOfElements(), elementsShown_));
  if (singleEntry_ && move == 1 && !entryComplete_) {
    shift_ += page - 1;
    move = 0;
    reset = false;
  } else if (singleEntry_ && move == -1 && shift_ > 0) {
    shift_ = std::max(0, shift_ - (page - 1));
    move = 0;
    reset = false;
  }
  if (reset) shift_ = 0;

  // 4.
  if (move != 0) log.Move(move);
  haveCursor_ = true;

  // 5. Paint from the cursor until the page is full.
  RenderContext context = MakeRenderContext(instance_, log.Index().firstSeqNo);
  context.previousTime = 0.0;
  const TTelFont& font = instance_.settings.telFont;
  const std::uint16_t headingPair = font.pairs[4];
  const int gap = geometry_.lineHeight * font.spacing / 100;
  const int format = static_cast<int>(context.format);
  if (log.CurrentEntry().length != 0 && !log.CurrentPasses()) log.Move(1);
  if (log.CurrentEntry().length == 0 || !log.CurrentPasses()) {
    DrawLine(instance_.texts.Text(txt::kEndOfLog), headingPair);
    singleEntry_ = false;
    entryComplete_ = true;
    return 0;
  }
  firstPainted_ = log.CurrentEntry().seqNo;
  elementsShown_ = 0;
  int steps = 0;
  double previousDay = 0;
  bool complete = true;
  for (;;) {
    const TLogEntry& entry = log.CurrentEntry();
    if (entriesPainted_ == 0) {
      const std::string heading =
          FormatDayTime(SplitDayNumber(entry.timeStamp), "%A, " + context.locale.dateFormat) +
          instance_.texts.Text(txt::kTelegram) +
          GroupedNumber(static_cast<long long>(entry.seqNo) - context.firstSeqNo + 1,
                        context.locale) +
          instance_.texts.Text(txt::kOf) + GroupedNumber(log.EntryCount(), context.locale);
      DrawLine(heading, headingPair, true);
      Advance(kHeaderGap);
    } else if (DayOf(entry.timeStamp) != DayOf(previousDay) && !pageFull_) {
      DrawLine(FormatDayTime(SplitDayNumber(entry.timeStamp), context.locale.dateFormat),
               headingPair);
    }
    previousDay = entry.timeStamp;
    if (pageFull_) break;

    RenderCursor cursor;
    StartTelegram(cursor, entry, context, EntryColourPair(entry, font));
    // The element lines: the data lines of a decoded telegram, else the
    // octet rows.
    const int firstElementLine = Decoded(entry, format) ? 5 : 2;
    const int skip = entriesPainted_ == 0 ? shift_ : 0;
    int elementLines = 0;
    bool drawn = false;
    complete = false;
    for (;;) {
      const std::string line = NextLine(cursor, context);
      if (line.empty()) {
        complete = true;
        break;
      }
      const bool element = cursor.lineNumber >= firstElementLine;
      if (element && elementLines++ < skip) continue;
      if (pageFull_) break;
      DrawLine(line, cursor.ColourPair());
      drawn = true;
      if (element && entriesPainted_ == 0) ++elementsShown_;
    }
    ++entriesPainted_;
    if (drawn) Shown(entry);
    if (drawn && !pageFull_) Advance(gap);
    if (pageFull_) break;
    if (log.Move(1) == 0) {
      DrawLine(instance_.texts.Text(txt::kEndOfLog), headingPair);
      break;
    }
    ++steps;
  }
  singleEntry_ = entriesPainted_ == 1 && !complete;
  entryComplete_ = complete;
  if (!singleEntry_) shift_ = 0;

  // 6. Back to the first entry painted.
  if (steps > 0) log.Move(-steps);
  const std::uint32_t count = log.EntryCount();
  if (count <= 1) return 0;
  const std::uint64_t relative = firstPainted_ - log.Index().firstSeqNo;
  return static_cast<int>(
      std::min<std::uint64_t>(kMaxPosition, kMaxPosition * relative / (count - 1)));
}

// --- The online display ---------------------------------------------------

bool LogView::OnlinePaintTick() {
  if (instance_.settings.onlineDisplay == 0) return false;
  OnlineQueue& queue = instance_.logStore.Queue();
  const double started = traceClock ? traceClock() : 0.0;
  if (queue.repaintAll) {
    RepaintOnline();
    Trace(started);
    return true;
  }
  TLogEntry entry;
  bool painted = false;
  while (queue.Take(entry)) {
    if (instance_.logStore.hooks.displayFilter && !instance_.logStore.hooks.displayFilter(entry)) {
      continue;
    }
    PaintOnlineEntry(entry);
    painted = true;
    break;
  }
  if (painted) Trace(started);
  return painted;
}

void LogView::RepaintOnline() {
  OnlineQueue& queue = instance_.logStore.Queue();
  queue.repaintAll = false;
  queue.overflow = false;
  ClearAndHeader();
  const auto& filter = instance_.logStore.hooks.displayFilter;
  const LineEstimateSettings s = EstimateSettings();
  const int gap = geometry_.lineHeight * instance_.settings.telFont.spacing / 100;
  const int room = bottomAligned_ - top_;
  std::uint32_t from = 0;  // how many recent slots to paint
  int sum = 0;
  for (std::uint32_t k = 0; k + 1 < OnlineQueue::kSlots; ++k) {
    const TLogEntry& e = queue.Recent(k);
    if (e.length == 0) break;
    from = k + 1;
    if (filter && !filter(e)) continue;
    sum += LineEstimate(e, s) * geometry_.lineHeight + gap;
    if (sum >= room) break;
  }
  queue.TakeAll();
  for (std::uint32_t k = from; k-- > 0;) {
    const TLogEntry e = queue.Recent(k);
    if (filter && !filter(e)) continue;
    PaintOnlineEntry(e);
  }
}

void LogView::Shown(const TLogEntry& entry) {
  if (shown_.size() == kMostShown) shown_.pop_front();
  shown_.push_back(entry);
}

std::string LogView::ShownEntriesText() const {
  RenderContext context = MakeRenderContext(instance_, instance_.logStore.Index().firstSeqNo);
  context.format = DisplayFormat::Csv;
  std::string text;
  for (const TLogEntry& entry : shown_) {
    RenderCursor cursor;
    StartTelegram(cursor, entry, context, 0);
    for (std::string line = NextLine(cursor, context); !line.empty();
         line = NextLine(cursor, context)) {
      text += line;
      text += "\r\n";
    }
  }
  return text;
}

void LogView::PaintOnlineEntry(const TLogEntry& entry) {
  Shown(entry);
  const Settings& s = instance_.settings;
  const TTelFont& font = s.telFont;
  const int lh = geometry_.lineHeight;
  const int gap = lh * font.spacing / 100;
  RenderContext context = MakeRenderContext(instance_, instance_.logStore.Index().firstSeqNo);
  RenderCursor cursor;
  const std::uint16_t pair = EntryColourPair(entry, font);
  StartTelegram(cursor, entry, context, pair);
  const std::uint32_t normalText = HeadingText();
  const std::uint32_t normalBackground = HeadingBackground();

  if (s.Option(kOptionScrollingOnline)) {
    const int estimate = LineEstimate(entry, EstimateSettings());
    const int need = y_ + estimate * lh + gap;
    if (need > bottomAligned_) {
      const int dy = std::min(need - bottomAligned_, y_ - top_);
      if (dy > 0) {
        canvas_.ScrollUp(top_, y_, dy);
        y_ -= dy;
        canvas_.Fill(0, y_, -1, dy, normalBackground);
      }
    }
    y_ += gap;
    pageFull_ = false;
    for (std::string line = NextLine(cursor, context); !line.empty() && !pageFull_;
         line = NextLine(cursor, context)) {
      DrawLine(line, cursor.ColourPair());
    }
    return;
  }

  // Sweep mode: the entries overwrite the screen from the top; a marker shows
  // where the newest one starts.
  if (markerY_ >= 0) {
    canvas_.Text(kLeft, markerY_, kMarker, normalText, normalBackground, false);
  }
  const std::uint32_t markerBackground = ColourOf(kMarkerColour, system_, 0x00FFFF);
  pageFull_ = false;
  if (s.displayFormat != kFormatOneLine) {
    if (y_ + 6 * lh > geometry_.bottom) y_ = top_;
    markerY_ = y_;
    const int blockEnd = std::min(geometry_.bottom, y_ + kSweepBlock * lh);
    canvas_.Fill(0, y_, -1, blockEnd - y_, normalBackground);
    canvas_.Text(kLeft, y_, kMarker, TextColourOf(pair, system_), markerBackground, false);
    y_ += lh;
    for (int n = 0; n < kSweepBlock - 1 && y_ + lh <= blockEnd; ++n) {
      const std::string line = NextLine(cursor, context);
      if (line.empty()) break;
      canvas_.Text(kLeft, y_, line, TextColourOf(cursor.ColourPair(), system_),
                   BackgroundColourOf(cursor.ColourPair(), system_), false);
      ++linesDrawn_;
      y_ += lh;
    }
    y_ = blockEnd;
    return;
  }
  if (y_ + lh + 4 > geometry_.bottom) {
    canvas_.Fill(0, y_, -1, std::max(0, geometry_.bottom - y_), normalBackground);
    y_ = top_;
  }
  markerY_ = y_;
  canvas_.Fill(0, y_, -1, lh, normalBackground);
  canvas_.Text(kLeft, y_, kMarker, TextColourOf(pair, system_), markerBackground, false);
  y_ += lh;
  for (std::string line = NextLine(cursor, context); !line.empty();
       line = NextLine(cursor, context)) {
    if (y_ + lh > geometry_.bottom) y_ = top_;
    canvas_.Text(kLeft, y_, Padded(line, kOneLineWidth), TextColourOf(cursor.ColourPair(), system_),
                 BackgroundColourOf(cursor.ColourPair(), system_), false);
    ++linesDrawn_;
    y_ += lh;
  }
  if (y_ + lh <= geometry_.bottom) canvas_.Fill(0, y_, -1, lh, normalBackground);
}

void LogView::Trace(double started) {
  if (!instance_.app.switchT2 || !traceClock) return;
  const double elapsed = traceClock() - started;
  traceLargest_ = std::max(traceLargest_, elapsed);
  if (std::fabs(elapsed - traceShown_) <= 1.0) return;
  traceShown_ = elapsed;
  DrawLine("Display: " + std::to_string(std::lround(elapsed)) + " " +
               std::to_string(std::lround(traceLargest_)) + " ",
           instance_.settings.telFont.pairs[4]);
}

}  // namespace kivo
