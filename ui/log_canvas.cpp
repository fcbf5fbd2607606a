#include "ui/log_canvas.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QWheelEvent>
#include <chrono>

#include "app/instance.h"

namespace kivo {

QColor FromBgr(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

namespace {

std::uint32_t ToBgr(const QColor& c) {
  return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
         (static_cast<std::uint32_t>(c.blue()) << 16);
}

}  // namespace

SystemColours PaletteColours(const QPalette& p) {
  SystemColours c;
  c.windowBackground = ToBgr(p.color(QPalette::Base));
  c.windowText = ToBgr(p.color(QPalette::Text));
  c.menu = ToBgr(p.color(QPalette::Window));
  c.activeCaption = ToBgr(p.color(QPalette::Active, QPalette::Highlight));
  c.inactiveCaption = ToBgr(p.color(QPalette::Inactive, QPalette::Highlight));
  return c;
}

namespace {

constexpr const char* kSample = "ABCQgj01234567890";

}  // namespace

LogCanvas::LogCanvas(Instance& instance, QWidget* parent)
    : QWidget(parent), instance_(instance), view_(instance, *this) {
  setObjectName("logCanvas");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  view_.SetSystemColours(PaletteColours(palette()));
  view_.traceClock = [] {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
  };
  SetLogFont(font());
}

void LogCanvas::SetLogFont(const QFont& font) {
  font_ = font;
  headingFont_ = font;
  headingFont_.setPointSize(std::max(1, font.pointSize() + 1));
  headingFont_.setBold(true);
  UpdateGeometry();
}

void LogCanvas::UpdateGeometry() {
  ViewGeometry g;
  g.lineHeight = std::max(1, QFontMetrics(font_).boundingRect(kSample).height());
  g.headingHeight =
      std::max(g.lineHeight, QFontMetrics(headingFont_).boundingRect(kSample).height());
  g.bottom = height();
  g.headerTop = 6;
  view_.SetGeometry(g);
}

int LogCanvas::Redraw(int code, int position) {
  if (image_.size() != size()) {
    image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    UpdateGeometry();
  }
  const int result = view_.Redraw(code, position);
  update();
  return result;
}

bool LogCanvas::PaintTick() {
  if (image_.isNull()) return false;
  const bool painted = view_.OnlinePaintTick();
  if (painted) update();
  return painted;
}

void LogCanvas::Fill(int x, int y, int width, int height, std::uint32_t colour) {
  if (image_.isNull() || height <= 0) return;
  if (width < 0) width = image_.width() - x;
  QPainter painter(&image_);
  painter.fillRect(x, y, width, height, FromBgr(colour));
  if (x <= LogView::kLeft) {
    lines_.erase(lines_.lower_bound(y), lines_.lower_bound(y + height));
  }
}

void LogCanvas::Text(int x, int y, std::string_view text, std::uint32_t textColour,
                     std::uint32_t background, bool heading) {
  if (image_.isNull()) return;
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QFont& f = heading ? headingFont_ : font_;
  const QFontMetrics metrics(f);
  QPainter painter(&image_);
  painter.setFont(f);
  const int height = heading ? view_.Geometry().headingHeight : view_.Geometry().lineHeight;
  painter.fillRect(x, y, metrics.horizontalAdvance(s), height, FromBgr(background));
  painter.setPen(FromBgr(textColour));
  painter.drawText(x, y + metrics.ascent(), s);
  QString& line = lines_[y];
  line = s.trimmed().isEmpty() && !line.isEmpty() ? line : s;
}

void LogCanvas::ScrollUp(int top, int bottom, int dy) {
  if (image_.isNull() || dy <= 0 || bottom <= top + dy) return;
  const QImage band = image_.copy(0, top + dy, image_.width(), bottom - top - dy);
  QPainter painter(&image_);
  painter.drawImage(0, top, band);
  std::map<int, QString> moved;
  for (const auto& [y, text] : lines_) {
    if (y < top) {
      moved[y] = text;
    } else if (y >= top + dy && y < bottom) {
      moved[y - dy] = text;
    } else if (y >= bottom) {
      moved[y] = text;
    }
  }
  lines_ = std::move(moved);
}

QString LogCanvas::LineAt(int y) const {
  auto it = lines_.find(y);
  return it == lines_.end() ? QString() : it->second;
}

QStringList LogCanvas::Lines() const {
  QStringList out;
  for (const auto& [y, text] : lines_) out << text;
  return out;
}

void LogCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (image_.isNull()) {
    painter.fillRect(rect(), palette().color(QPalette::Base));
    return;
  }
  painter.drawImage(0, 0, image_);
}

void LogCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image_.fill(palette().color(QPalette::Base));
  lines_.clear();
  UpdateGeometry();
  emit resized();
}

void LogCanvas::keyPressEvent(QKeyEvent* event) {
  emit keyPressed(event);
  if (!event->isAccepted()) QWidget::keyPressEvent(event);
}

void LogCanvas::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(steps); ++i) {
    emit wheelCode(steps > 0 ? viewcode::kLineUp : viewcode::kLineDown);
  }
  event->accept();
}

}  // namespace kivo
