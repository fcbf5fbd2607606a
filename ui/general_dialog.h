// TfmAlg: the general parameters (common address, disturbance data, the
// 100 % value, log size, summer time) and the data directory. The dialog
// edits a copy of the record; the caller applies it after OK.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "record/general_params.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace kivo {

class Instance;

class TfmAlg : public QDialog {
  Q_OBJECT

 public:
  TfmAlg(Instance& instance, QWidget* parent = nullptr);

  const GeneralParams& Params() const { return work_; }
  const std::string& DataDirectory() const { return directory_; }
  // The folder browser of btnBr; tests answer it themselves.
  std::function<QString(QWidget*, const QString& start)> chooseFolder;

 public slots:
  // Takes the fields when every one is valid (the directory checked last,
  // which may create it) and closes; else the first invalid field keeps the
  // focus.
  void btnOKClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct NumberField {
    QLineEdit* edit;
    std::uint32_t GeneralParams::*member;
    std::uint32_t least;
    std::uint32_t most;
  };
  Instance& instance_;
  GeneralParams work_;
  std::string directory_;
  std::vector<NumberField> numbers_;
  std::vector<QWidget*> focusOrder_;
  std::vector<int> hints_;  // text number of each control's hint
  QComboBox* cobxLLink_ = nullptr;
  QComboBox* cobxAbruf_ = nullptr;
  QLineEdit* edLogVerz_ = nullptr;
  QPushButton* btnBr_ = nullptr;
  QCheckBox* chbSZt_ = nullptr;
  QStatusBar* stbrAlg_ = nullptr;

  bool NumberValid(const NumberField& field, std::uint32_t* value) const;
};

// Runs the dialog beside the main window and applies what it returns; true
// when the parameters or the directory changed.
bool EditGeneralParams(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
