// TfmCom: the parameters of one port's transceiver unit, on two pages
// (serial port, link procedure). The dialog edits a work copy of the port's
// parameter block; the caller copies it back on OK.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

#include "record/port_params.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace kivo {

class Instance;
class PortService;

class TfmCom : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kPageSerial = 0;
  static constexpr int kPageLink = 1;

  TfmCom(Instance& instance, int portIndex, QWidget* parent = nullptr);

  // The work copy as far as the fields have been taken into it; after OK it
  // holds everything the record takes.
  const PortParams& Params() const { return work_; }
  // Every field holds a value in its range.
  bool FieldsValid() const;
  // Shows page kPageSerial or kPageLink of pgctrlCom.
  void SelectPage(int page);
  // Left of the dialog at the right edge of the main window's client area
  // (or at the right edge of the screen when that is nearer), 48 pixels below
  // the main window's top, kept on the screen.
  void PlaceBeside(const QWidget* mainWindow);

  // The port number of a port-list entry: the digits at character positions
  // 6 to 8 (the entry is text 1207 of five characters and the number); 0 when
  // there are none.
  static std::uint32_t PortNumberOfEntry(const QString& entry);

 public slots:
  void btnOKClick();
  void btnHelpClick();
  // Binds the device path of edDevice to a free port number of the port map.
  void btnBindClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // An edit field for one number of the block with its range.
  struct NumberField {
    QLineEdit* edit = nullptr;
    QLabel* label = nullptr;
    std::uint32_t PortParams::*member = nullptr;
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    int labelText = 0;  // the hint is the text after it
    bool valid = true;
  };
  struct ListField {
    QComboBox* box = nullptr;
    QLabel* label = nullptr;
    int labelText = 0;
  };

  Instance& instance_;
  int portIndex_;
  PortParams work_;
  std::vector<NumberField> numbers_;
  std::vector<ListField> lists_;
  // Every control that takes part in the focus index and in moving on with
  // Enter, in that order, with the page it is on and its hint.
  struct FocusItem {
    QWidget* control;
    int page;
    QString hint;
  };
  std::vector<FocusItem> focusItems_;
  int lastFocus_ = 0;
  bool addressesValid_ = true;

  QTabWidget* pgctrlCom_ = nullptr;
  QComboBox* cbCom_ = nullptr;
  QLineEdit* edDevice_ = nullptr;
  QPushButton* btnBind_ = nullptr;
  QLabel* lblDevice_ = nullptr;
  QComboBox* cbFktn_ = nullptr;
  QComboBox* cbLRes_ = nullptr;
  QComboBox* cbVwE5_ = nullptr;
  QComboBox* cbAbfr_ = nullptr;
  QComboBox* cbSpikes_ = nullptr;
  QComboBox* cbBaud_ = nullptr;
  QComboBox* cbPari_ = nullptr;
  QComboBox* cbData_ = nullptr;
  QComboBox* cbStop_ = nullptr;
  QComboBox* cbFRts_ = nullptr;
  QLineEdit* sfLinkAdr_ = nullptr;
  QLabel* lblLinkAdr_ = nullptr;
  QLabel* lblCom_ = nullptr;
  QLabel* lblAend_ = nullptr;
  QListWidget* chlbAend_ = nullptr;
  QCheckBox* cbReopen_ = nullptr;
  QStatusBar* stbarEmSe_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;

  PortParams& Record();
  void BuildControls();
  void LabelControls();
  void FillPortList(std::uint32_t select);
  void ShowParams();
  void ConnectControls();
  void RestoreFocus();

  NumberField& Number(const char* name);
  void ValidateNumber(NumberField& field);
  void ValidateAddresses();
  void ShowValidity(QWidget* control, bool valid);

  // The character format and telegram-length state of the function.
  void ApplyFunctionState();
  // The proposed response time-out (character gap on a gap monitor).
  void ProposeTimeOut();
  void TakeLists();
  void FocusNext(QWidget* from);
  int FocusIndexOf(const QObject* control) const;
  void ShowHint(int focusIndex);
  // A Linux-only text of the binding control in the dialog's language.
  // A text of the table with up to two inserts for its %s.
  QString LocalText(int which, const QString& first = {}, const QString& second = {}) const;
  void Refuse(const QString& message);
};

// The parameters of port 1 (portIndex 0) or port 2 (1), from the mode menu:
// the ports are enumerated when offline or when none are known, the dialog is
// shown modally, and on OK the port is closed under its previous number, the
// line allowed to drain (events keep being processed), the new parameters
// taken, the port prepared and the online state applied again, which reopens
// it when online. Returns whether OK was pressed.
bool RunPortDialog(QWidget* parent, Instance& instance, int portIndex, PortService* ports);

}  // namespace kivo
