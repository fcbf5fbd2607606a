// The log view: draws the online display (telegrams as they arrive, from the
// online queue) and the log display (a screenful of stored entries from the
// reading cursor) line by line onto a canvas. The window program gives it a
// canvas of pixels; the view knows no toolkit.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "asdu/colours.h"
#include "record/log_entry.h"

namespace kivo {

class Instance;

// Where the view draws. Colours are 0xBBGGRR.
class ViewCanvas {
 public:
  virtual ~ViewCanvas() = default;
  // Fills the rectangle; a width below 0 reaches the right edge.
  virtual void Fill(int x, int y, int width, int height, std::uint32_t colour) = 0;
  // Draws one line of text with its top at y, on its own background;
  // `heading` draws it one size larger and bold.
  virtual void Text(int x, int y, std::string_view text, std::uint32_t textColour,
                    std::uint32_t background, bool heading) = 0;
  // Copies the band [top, bottom) upward by dy pixels.
  virtual void ScrollUp(int top, int bottom, int dy) = 0;
};

// The view's geometry, recomputed on every resize.
struct ViewGeometry {
  int lineHeight = 16;     // height of a telegram line
  int headingHeight = 18;  // height of the header line in its larger type
  int bottom = 480;        // the lowest y a line may reach
  int headerTop = 6;       // where the header line is drawn
  int LinesAvailable() const { return lineHeight > 0 ? bottom / lineHeight - 6 : 0; }
};

// Scroll codes of Redraw (the key codes the scroll bar and keys map to).
namespace viewcode {
inline constexpr int kNone = 0;
inline constexpr int kPageUp = 33;
inline constexpr int kPageDown = 34;
inline constexpr int kEnd = 35;
inline constexpr int kHome = 36;
inline constexpr int kLineUp = 38;
inline constexpr int kLineDown = 40;
inline constexpr int kCtrlPageUp = 545;
inline constexpr int kCtrlPageDown = 546;
inline constexpr int kShiftCtrlPageUp = 1057;
inline constexpr int kShiftCtrlPageDown = 1058;
inline constexpr int kShiftPageUp = 1569;
inline constexpr int kShiftPageDown = 1570;
}  // namespace viewcode

// Entries drawn for a display setting: the lines an entry takes.
struct LineEstimateSettings {
  int format = 3;
  bool showTime = true;
  bool showLink = true;
};
int LineEstimate(const TLogEntry& entry, const LineEstimateSettings& settings);

// The move of a scroll code (0 for codes that move to a place).
int MoveOfCode(int code);

class LogView {
 public:
  static constexpr int kMaxPosition = 1000;
  static constexpr int kLeft = 10;

  LogView(Instance& instance, ViewCanvas& canvas);

  void SetGeometry(const ViewGeometry& geometry) { geometry_ = geometry; }
  const ViewGeometry& Geometry() const { return geometry_; }
  // The desktop colours behind the system colour indices.
  void SetSystemColours(const SystemColours& colours) { system_ = colours; }
  // Milliseconds now, for the display timing trace; none: no trace.
  std::function<double()> traceClock;

  // The one entry point of both displays: clears, draws the header and, in
  // the log display, the screenful the code moves to. Returns the new scroll
  // position 0..1000.
  int Redraw(int code, int position);
  // Paints the next queued entry of the online display. True when it drew.
  bool OnlinePaintTick();

  // The log display's state, for the window and its tests.
  bool SingleEntryShown() const { return singleEntry_; }
  int Shift() const { return shift_; }
  int LinesDrawn() const { return linesDrawn_; }
  std::uint32_t FirstPaintedSeqNo() const { return firstPainted_; }
  int EntriesPainted() const { return entriesPainted_; }
  int Y() const { return y_; }
  int Top() const { return top_; }

  // The telegrams and events painted on the screen, oldest first, in the
  // export form (the lines that a send list takes as rows), each ending in
  // CR LF; the copy of the view's pop-up menu.
  std::string ShownEntriesText() const;
  std::size_t ShownEntryCount() const { return shown_.size(); }

 private:
  Instance& instance_;
  ViewCanvas& canvas_;
  ViewGeometry geometry_;
  SystemColours system_;

  int y_ = 0;
  int top_ = 0;
  int bottomAligned_ = 0;
  bool pageFull_ = false;
  int linesDrawn_ = 0;

  // Log display.
  bool haveCursor_ = false;
  std::uint32_t seenOverruns_ = 0;
  bool singleEntry_ = false;
  bool entryComplete_ = true;
  int shift_ = 0;
  int elementsShown_ = 0;  // element lines of the first entry painted
  std::uint32_t firstPainted_ = 0;
  int entriesPainted_ = 0;

  // What the screen shows, for the copy; no more than a screen can hold.
  static constexpr std::size_t kMostShown = 256;
  std::deque<TLogEntry> shown_;
  void Shown(const TLogEntry& entry);

  // Online display: where the previous entry's marker stands (-1: none).
  int markerY_ = -1;
  std::uint32_t markerColour_ = 0;

  // Display timing trace.
  double traceShown_ = -1.0;
  double traceLargest_ = 0.0;

  bool DisplayFilterOn() const;
  bool HeaderFilterFlag() const;
  LineEstimateSettings EstimateSettings() const;
  std::uint32_t HeadingBackground() const;
  std::uint32_t HeadingText() const;
  void ClearAndHeader();
  // Draws one line at y (wrapping to the top) and advances.
  void DrawLine(std::string_view text, std::uint16_t pair, bool heading = false);
  // Moves the drawing position down; the page is full when no line fits.
  void Advance(int dy);
  int RedrawLog(int code, int position);
  void MoveToEnd();
  int PageOfElements() const;
  // Paints one entry of the log display; false when the page filled.
  void PaintLogEntry(const TLogEntry& entry, bool first, bool countShift);
  void PaintOnlineEntry(const TLogEntry& entry);
  void RepaintOnline();
  void Trace(double started);
};

}  // namespace kivo
