// TfmOpt, the options: a check list of switches that mostly give actions
// their keys; and TfmInfo, what this program is.
#pragma once

#include <QDialog>

class QListWidget;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace kivo {

class Instance;

class TfmOpt : public QDialog {
  Q_OBJECT

 public:
  TfmOpt(Instance& instance, QWidget* parent = nullptr);
  QListWidget* list() const { return chlbOpt_; }

 public slots:
  // Stores every flag (1 ticked, 0 not) and closes.
  void btnOKClick();

 private:
  Instance& instance_;
  QListWidget* chlbOpt_ = nullptr;
  QStatusBar* stbrOpt_ = nullptr;
};

// Runs the options dialog beside the main window; on OK the flags are stored
// and true returned (the caller applies them).
bool EditOptions(QWidget* mainWindow, Instance& instance);

class TfmInfo : public QDialog {
  Q_OBJECT

 public:
  TfmInfo(Instance& instance, QWidget* parent = nullptr);
  QListWidget* list() const { return lbInfo_; }

 private:
  QListWidget* lbInfo_ = nullptr;
};

// The info dialog, centred on the main window.
void ShowInfo(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
