// TfmSeTe: the editor of one send telegram. It works on a work copy and
// commits it on OK or Send; Send also starts the telegram.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "send/send_records.h"
#include "ui/file_commands.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimeEdit;
class QToolButton;

namespace kivo {

class Instance;

class TfmSeTe : public QWidget {
  Q_OBJECT

 public:
  // A tool window of mainWindow (its direct child), for telegram n (1 to 12),
  // filled from the work copy `telegram`.
  TfmSeTe(QWidget* mainWindow, Instance& instance, int n, const SendTelegram& telegram);

  int TelegramNumber() const { return n_; }
  const SendTelegram& WorkCopy() const { return work_; }
  // Every field that is shown holds a value it may hold.
  bool FieldsValid() const;

  // The open and save dialogs of pmLoadSave; tests answer them themselves.
  FileChooser chooseFile = ChooseWithDialog;

 public slots:
  void btnOKClick();
  void btnSendClick();
  void btnAbbrClick();
  void btnHelpClick();
  void miLoadClick();
  void miSaveClick();
  // Escape: closes at once when nothing was changed, else after question 1165.
  void EscapeClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // An entry field of a decimal number with its range; the hint is the
  // text after its label unless said otherwise.
  struct NumberField {
    QLineEdit* edit = nullptr;
    QLabel* label = nullptr;
    long low = 0;
    long high = 0;
    bool valid = true;
  };
  // Every control that takes part in focusIndex and in moving on with Enter,
  // in the order of the window; focusIndex is the position counted from 1.
  struct FocusItem {
    QWidget* control;
    int hintText;  // 0: the hint is computed (sfData)
  };

  Instance& instance_;
  QWidget* mainWindow_;
  int n_;
  SendTelegram work_;
  // The work copy as the editor first showed it: what the editor itself put
  // into the fields then (a preset, a cause made admissible) is no change.
  SendTelegram shown_;
  std::uint8_t shownType_ = 0;
  std::uint32_t shownTrigger_ = 0;
  int shownPort_ = 0;  // port index of cbLA and cbUeb
  bool dataValid_ = true;
  std::array<bool, 9> measuredValid_{};
  std::vector<FocusItem> focusItems_;

  QLineEdit* sfBez_ = nullptr;
  QComboBox* cbAnst_ = nullptr;
  QLabel* lblTypN_ = nullptr;
  NumberField sfTypN_;
  NumberField sfAnzT_;
  NumberField sfWZt_;
  NumberField sfSend_;
  QLabel* lblUeb_ = nullptr;
  QComboBox* cbUeb_ = nullptr;
  QLabel* lblLA_ = nullptr;
  QComboBox* cbLA_ = nullptr;
  NumberField sfCA_;
  QLabel* lblTyp_ = nullptr;
  QComboBox* cbTyp_ = nullptr;
  QLabel* lblUrs_ = nullptr;
  QComboBox* cbUrs_ = nullptr;
  QLabel* lblFun_ = nullptr;
  NumberField sfFTyp_;
  NumberField sfINr_;
  QLabel* lblData_ = nullptr;
  QLineEdit* sfData_ = nullptr;
  QWidget* udData_ = nullptr;
  QLabel* lblDate_ = nullptr;
  QDateEdit* edDate_ = nullptr;
  QCheckBox* cbWT_ = nullptr;
  QLabel* lblZeit_ = nullptr;
  QTimeEdit* edZeit_ = nullptr;
  NumberField sfZtMs_;
  QListWidget* chlbIV_ = nullptr;
  NumberField sfData3_;
  NumberField sfData4_;
  NumberField sfData2_;
  QWidget* mwBox_ = nullptr;
  std::array<QLineEdit*, 9> sfMw_{};
  QPlainTextEdit* Memo_ = nullptr;
  QPushButton* btnSend_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;
  QStatusBar* stbrSeTe_ = nullptr;
  QMenu* pmLoadSave_ = nullptr;
  QAction* miLoad_ = nullptr;
  QAction* miSave_ = nullptr;

  void BuildControls();
  void LabelControls();
  void FillControls();
  void ConnectControls();

  // The rules of leaving a control.
  void LeaveTypeBox();
  void LeaveCauseBox();
  void LeavePortField();
  void ApplyTrigger();

  // The type shown: its cause list, its fields and their labels.
  void ShowType(bool keepName);
  void FillCauseList();
  void FillAddressAndService();
  void ShowMemo();
  void ShowData();
  int TypeIndex() const;

  void ValidateNumber(NumberField& field);
  void ValidateData();
  void ValidateMeasuredValue(int i);
  void StepData(int step);
  void Pick(QWidget* field);

  // The controls into the work copy (the fields shown and valid only).
  void ReadControls();
  // The focus item of the first field shown that is invalid, or -1.
  int FirstInvalidField() const;
  // All checks of OK; the first invalid field takes the focus.
  bool CheckFields();
  bool Commit();

  // Shown when the window is (whether or not it is yet).
  bool Shown(const QWidget* control) const { return control->isVisibleTo(this); }
  int PortIndexShown() const;
  bool SecondaryPortShown() const;
  int FocusIndexOf(const QObject* control) const;
  void ShowHint(int focusIndex);
  void FocusNext(QWidget* from);
  void RestoreFocus();
  FileRequest TelegramFileRequest(int caption, bool save) const;
};

// Opens the editor for telegram n (1 to 12) beside the main window. While a
// send editor (telegram or list) is open, only brings that one to the front.
void OpenSendTelegramEditor(QWidget* mainWindow, Instance& instance, int n);

}  // namespace kivo
