// TfmFlt: the display filter or the log filter, its rows, files and switch.
// The dialog edits a work copy of the filter; RunFilterDialog copies it back
// on OK.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "record/filter_record.h"
#include "ui/file_commands.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimeEdit;

namespace kivo {

class Instance;

class TfmFlt : public QDialog {
  Q_OBJECT

 public:
  // One row per criterion: label, mode list, Value1, operator list, Value2.
  struct CriterionRow {
    std::uint32_t kind = 0;
    QLabel* label = nullptr;
    QComboBox* mode = nullptr;
    QLineEdit* value1 = nullptr;
    QComboBox* operatorList = nullptr;
    QLineEdit* value2 = nullptr;
  };

  TfmFlt(Instance& instance, bool logFilter, QWidget* parent = nullptr);

  // The open and save dialogs of miLoad and miSave; tests put their own in
  // place.
  FileChooser chooseFile = ChooseWithDialog;

  // The work copy; after OK it holds what the controls say, normalised.
  const TLogFilter& Filter() const { return work_; }
  // Every value field holds a number its kind accepts.
  bool FieldsValid() const;
  int HelpContext() const;

  const std::array<CriterionRow, TLogFilter::kCriterionCount>& rows() const { return rows_; }
  QStatusBar* statusBar() const { return stbrFlt_; }
  QMenu* popupMenu() const { return pmFlt_; }

 public slots:
  void btnOKClick();
  void btnResetClick();
  void btnHelpClick();
  void miLoadClick();
  void miSaveClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Instance& instance_;
  bool logFilter_;
  TLogFilter work_;
  std::array<CriterionRow, TLogFilter::kCriterionCount> rows_{};
  QListWidget* chlbTKen_ = nullptr;
  QListWidget* chlbStat_ = nullptr;
  QCheckBox* chbVon_ = nullptr;
  QDateEdit* dtVon_ = nullptr;
  QTimeEdit* tmVon_ = nullptr;
  QCheckBox* chbBis_ = nullptr;
  QDateEdit* dtBis_ = nullptr;
  QTimeEdit* tmBis_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;
  QPushButton* btnReset_ = nullptr;
  QMenu* pmFlt_ = nullptr;
  QAction* miLoad_ = nullptr;
  QAction* miSave_ = nullptr;
  QStatusBar* stbrFlt_ = nullptr;
  // The controls in the order of Enter and of LastControl, with their hints.
  struct FocusItem {
    QWidget* control;
    QString hint;
  };
  std::vector<FocusItem> focusItems_;
  int lastFocus_ = -1;  // the last control other than a button that had the focus

  void BuildControls();
  void LoadControls();
  // What the controls say, or nothing while a value field is invalid (the
  // first of them then takes the focus).
  std::optional<TLogFilter> StoreControls();
  bool FieldValid(const QLineEdit* field, std::uint32_t kind) const;
  void ValidateField(QLineEdit* field, std::uint32_t kind);
  const CriterionRow* RowOfField(const QObject* field) const;
  // F12 or a double click on a value field of the type, cause, function type
  // or information number row.
  void RunPicker(QLineEdit* field, std::uint32_t kind);
  int FocusIndexOf(const QObject* control) const;
  void FocusNext(int index);
  FileRequest FilterFileRequest(bool save) const;
};

// Runs the dialog for the log filter (`logFilter`) or the display filter
// beside the main window; true when left with OK (the filter is then taken
// and switched on exactly when it restricts something; the caller refreshes
// the status panels and the view).
bool RunFilterDialog(QWidget* mainWindow, Instance& instance, bool logFilter);

}  // namespace kivo
