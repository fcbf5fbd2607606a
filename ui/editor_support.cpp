#include "ui/editor_support.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/instance.h"
#include "ui/help_window.h"

namespace kivo {

namespace {

QRect ScreenOf(const QWidget* widget) {
  QScreen* screen = widget ? widget->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

QPushButton* NamedButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  return button;
}

QStatusBar* HintBar(QWidget* parent, const char* name) {
  auto* bar = new QStatusBar(parent);
  bar->setObjectName(name);
  bar->setSizeGripEnabled(false);
  return bar;
}

QDate DateOfDayNumber(double day) {
  if (!std::isfinite(day) || day < 0 || day > kLastDayNumber) return kDayZero;
  return kDayZero.addDays(static_cast<qint64>(std::floor(day)));
}

void ShowValidity(QWidget* control, bool valid) {
  if (!control) return;
  if (valid) {
    control->setPalette(QPalette());
    return;
  }
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, QColor(0xFF, 0x80, 0x80));
  palette.setColor(QPalette::Text, Qt::black);
  control->setPalette(palette);
}

void PlaceBesideMain(QWidget* window, const QWidget* mainWindow) {
  window->adjustSize();
  const QRect screen = ScreenOf(mainWindow ? mainWindow : window);
  const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
  int left = screen.right() + 1 - size.width();
  int top = screen.top();
  if (mainWindow) {
    left = std::min(left, mainWindow->mapToGlobal(QPoint(mainWindow->width(), 0)).x());
    top = mainWindow->frameGeometry().top() + 48;
  }
  left =
      std::clamp(left, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
  top = std::clamp(top, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
  window->move(left, top);
}

void PlaceCentredOverMain(QWidget* window, const QWidget* mainWindow) {
  window->adjustSize();
  const QRect screen = ScreenOf(mainWindow ? mainWindow : window);
  const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
  int left = screen.left() + (screen.width() - size.width()) / 2;
  int top = screen.top();
  if (mainWindow) {
    const QRect frame = mainWindow->frameGeometry();
    left = frame.left() + (frame.width() - size.width()) / 2;
    top = frame.top() + 48;
  }
  left =
      std::clamp(left, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
  top = std::clamp(top, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
  window->move(left, top);
}

QString FillComboFromTexts(QComboBox* box, const TextTable& texts, int first) {
  const int count = static_cast<int>(std::clamp<long>(texts.NumberText(first + 1), 0, 64));
  box->clear();
  for (int i = 0; i < count; ++i) box->addItem(Q(texts.Text(first + 2 + i)));
  return Q(texts.Text(first));
}

bool OpenHelpPage(const Instance& instance, int context) {
  // The Help button that asks sits in the active window (the modal dialog
  // while one runs); the help window goes with that window's owner.
  QWidget* from = QApplication::activeModalWidget();
  if (!from) from = QApplication::activeWindow();
  return ShowHelpPage(from, instance, context);
}

bool HelpAvailable(const Instance& instance) {
  return !HelpPagePath(instance, kHelpContents).isEmpty();
}

QWidget* OpenSendEditor(const QWidget* mainWindow) {
  if (!mainWindow) return nullptr;
  for (QWidget* child : mainWindow->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const int state = child->property(kSendEditorProperty).toInt();
    if (state != 0) return child;
  }
  return nullptr;
}

EditorState CurrentEditorState(const QWidget* mainWindow) {
  QWidget* editor = OpenSendEditor(mainWindow);
  return editor ? static_cast<EditorState>(editor->property(kSendEditorProperty).toInt())
                : EditorState::None;
}

}  // namespace kivo
