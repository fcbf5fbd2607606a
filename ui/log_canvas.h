// The client area of the main window: the log view draws into an image the
// size of the area, and a paint event shows the image.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QWidget>
#include <map>

#include "app/log_view.h"

namespace kivo {

class Instance;

// The colour of a 0xBBGGRR value.
QColor FromBgr(std::uint32_t bgr);
// The desktop colours behind the colour table's system entries, from a
// palette; the log view and the colour dialogs show the same colours.
SystemColours PaletteColours(const QPalette& palette);

class LogCanvas : public QWidget, public ViewCanvas {
  Q_OBJECT

 public:
  explicit LogCanvas(Instance& instance, QWidget* parent = nullptr);

  LogView& view() { return view_; }
  const QImage& image() const { return image_; }
  // The telegram font; the geometry follows it.
  void SetLogFont(const QFont& font);
  // Redraws and shows; the result is the new scroll position.
  int Redraw(int code, int position);
  // One online paint tick; shows what it painted.
  bool PaintTick();
  // The text of the line drawn at y (for tests: what the operator reads).
  QString LineAt(int y) const;
  // Every line of text on the canvas, top to bottom.
  QStringList Lines() const;

  // ViewCanvas
  void Fill(int x, int y, int width, int height, std::uint32_t colour) override;
  void Text(int x, int y, std::string_view text, std::uint32_t textColour, std::uint32_t background,
            bool heading) override;
  void ScrollUp(int top, int bottom, int dy) override;

 signals:
  // A key of the log view was pressed; the main window maps it.
  void keyPressed(QKeyEvent* event);
  // The canvas was resized: the view must be drawn again.
  void resized();
  // The mouse wheel asks for a scroll code (line up or down).
  void wheelCode(int code);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  Instance& instance_;
  LogView view_;
  QImage image_;
  QFont font_;
  QFont headingFont_;
  // What was drawn where, so that tests and the window read the canvas as
  // text: y of each line and its text.
  std::map<int, QString> lines_;

  void UpdateGeometry();
};

}  // namespace kivo
