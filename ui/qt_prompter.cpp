#include "ui/qt_prompter.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <iostream>

namespace kivo {

void QtPrompter::SetAnchor(QWidget* mainWindow, QWidget* placeBelow) {
  anchor_ = mainWindow;
  placeBelow_ = placeBelow;
}

MessageResult QtPrompter::Show(const std::string& message, MessageType type,
                               MessageButtons buttons) {
  // Without a display (offscreen runs) nobody could answer: say it on
  // standard error and take the safe answer.
  if (QGuiApplication::platformName() == "offscreen" ||
      QGuiApplication::platformName() == "minimal") {
    std::cerr << message << "\n";
    return buttons == MessageButtons::Ok      ? MessageResult::Ok
           : buttons == MessageButtons::YesNo ? MessageResult::No
                                              : MessageResult::Cancel;
  }
  QMessageBox box(anchor_);
  box.setText(QString::fromStdString(message));
  box.setWindowTitle(QApplication::applicationDisplayName());
  switch (type) {
    case MessageType::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageType::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageType::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageType::Confirmation:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  if (anchor_) {
    if (anchor_->isMinimized()) anchor_->showNormal();
    QRect frame = anchor_->frameGeometry();
    int top = frame.top() + 30;
    if (placeBelow_ && placeBelow_->isVisible()) {
      top = placeBelow_->mapToGlobal(QPoint(0, placeBelow_->height())).y() + 30;
    }
    box.move(frame.left() + frame.width() / 5, top);
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MessageResult::Yes;
    case QMessageBox::No:
      return MessageResult::No;
    case QMessageBox::Cancel:
      return MessageResult::Cancel;
    default:
      return MessageResult::Ok;
  }
}

void QtPrompter::SetBusy(bool busy) {
  if (busy) {
    ++busyDepth_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (busyDepth_ > 0) {
    --busyDepth_;
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace kivo
