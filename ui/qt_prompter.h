// Message boxes and the busy cursor through Qt.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/prompter.h"

namespace kivo {

class QtPrompter : public Prompter {
 public:
  // The window that message boxes are placed against (may be null).
  void SetAnchor(QWidget* mainWindow, QWidget* placeBelow);
  MessageResult Show(const std::string& message, MessageType type, MessageButtons buttons) override;
  void SetBusy(bool busy) override;

 private:
  QPointer<QWidget> anchor_;
  QPointer<QWidget> placeBelow_;
  int busyDepth_ = 0;
};

}  // namespace kivo
