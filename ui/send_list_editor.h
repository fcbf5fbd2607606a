// TfmSeLi: the editor of one send list, its header fields and the table of
// its 400 rows. It works on a work copy and commits it on OK or Send; Send
// also starts the list.
#pragma once

#include <QTableWidget>
#include <QWidget>
#include <array>
#include <set>
#include <utility>
#include <vector>

#include "send/send_records.h"
#include "ui/file_commands.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;

namespace kivo {

class Instance;

// Opens the editor for list n (1 to 12) beside the main window. While a send
// editor (telegram or list) is open, only brings that one to the front.
void OpenSendListEditor(QWidget* mainWindow, Instance& instance, int n);

// A pass of list n ended: the open list editor of that list moves its table
// cursor to where the next pass starts.
void NotifyListPassEnded(QWidget* mainWindow, int n);

// The row table: Enter and Tab move on like the right arrow and wrap to the
// first data column of the next row; F12 and a right click in a column with
// a list ask the editor for its picker.
class ListRowTable : public QTableWidget {
  Q_OBJECT

 public:
  using QTableWidget::QTableWidget;
  // Ends the editing of a cell and keeps what was typed.
  void EndEditing();
  void MoveOn(int step);

 signals:
  void PickerRequested(int row, int column);
  void RightClicked(int row, int column, QPoint globalPosition);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
};

class TfmSeLi : public QWidget {
  Q_OBJECT

 public:
  // Table columns; column 0 holds the row numbers.
  enum Column {
    kColNumber = 0,
    kColActive = 1,  // chbAkt
    kColType = 2,    // sfTyp
    kColCause = 3,   // sfUrs
    kColFun = 4,     // sfFkt
    kColInf = 5,     // sfINr
    kColInfo = 6,    // stInf
    kColData1 = 7,   // sfData1
    kColData2 = 8,   // sfData2
    kColumns = 9
  };
  static constexpr int kMinWidth = 320;
  static constexpr int kMaxWidth = 580;
  static constexpr int kMinHeight = 240;
  static constexpr int kHelpContext = 5200;

  TfmSeLi(Instance& instance, int n, QWidget* mainWindow);
  ~TfmSeLi() override;

  int ListNumber() const { return n_; }
  const SendList& WorkCopy() const { return work_; }
  ListRowTable* table() const { return tbObj_; }
  // Every header field and every cell holds a value that reads.
  bool FieldsValid() const;
  // Beside the main window as the send editors stand, in the width the
  // operator gave it last.
  void PlaceBeside(const QWidget* mainWindow);
  // The table cursor goes to the row where the next pass of the stored list
  // starts.
  void FollowPass();

  // The open and save dialogs of the list files; tests answer them.
  FileChooser chooseFile = ChooseWithDialog;

 public slots:
  void btnOKClick();
  void btnSendClick();
  void btnAbbrClick();
  void btnHelpClick();
  void miCutClick();
  void miCopyClick();
  void miPasteClick();
  void miLoadClick();
  void miSaveClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A header edit field with its range; the hint is the text after its label.
  struct NumberField {
    QLineEdit* edit = nullptr;
    QLabel* label = nullptr;
    int labelText = 0;
    long long low = 0;
    long long high = 0;
    bool valid = true;
  };

  Instance& instance_;
  int n_;
  QWidget* mainWindow_;
  SendList work_;
  bool rowsLocked_ = false;
  bool shown_ = false;
  bool closing_ = false;
  bool filling_ = false;  // the table is being filled: cell changes are ours
  int portShown_ = -1;    // port index the address and service lists were built for
  std::uint32_t triggerShown_ = 0;
  std::set<std::pair<int, int>> invalidCells_;

  QLineEdit* sfBez_ = nullptr;
  QComboBox* cbAnst_ = nullptr;
  NumberField sfTypN_, sfSend_, sfAnzT_, sfAnzO_, sfWZt_, sfSbT_, sfCA_;
  QComboBox* cbUeb_ = nullptr;
  QComboBox* cbLA_ = nullptr;
  QLabel* lblBez_ = nullptr;
  QLabel* lblAnst_ = nullptr;
  QLabel* lblUeb_ = nullptr;
  QLabel* lblLA_ = nullptr;
  ListRowTable* tbObj_ = nullptr;
  QPushButton* btnSend_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;
  QStatusBar* stbrSeLi_ = nullptr;
  QMenu* pmEdit_ = nullptr;
  QAction* miCut_ = nullptr;
  QAction* miCopy_ = nullptr;
  QAction* miPaste_ = nullptr;
  QMenu* pmLoadSave_ = nullptr;
  QAction* miLoad_ = nullptr;
  QAction* miSave_ = nullptr;
  // The controls in the order of their focus index (1 onwards).
  std::vector<QWidget*> focusOrder_;

  SendList& Stored();
  void BuildControls();
  void LayOutControls();
  void ConnectControls();
  void BuildMenus();
  void LabelControls();
  void BuildTable();
  std::vector<NumberField*> Numbers();

  // Header fields from the work copy and back.
  void ShowHeader();
  void ShowTriggerValue();
  void TakeTriggerValue();
  void RebuildPortLists(int portIndex);
  void ReadControls();
  void ValidateNumber(NumberField& field);
  static bool ReadNumber(const QLineEdit* edit, long long low, long long high, long long& value);
  int PortIndexShown() const;
  bool PortIsSecondary(int portIndex) const;

  // The table.
  void FillTable();
  void FillRow(int row);
  void SetCellText(int row, int column, const QString& text);
  void OnCellChanged(QTableWidgetItem* item);
  bool ReadCell(int row, int column, const QString& text);
  void MarkCell(int row, int column, bool valid);
  void BringRowIntoLine(int row);
  void RefreshInfo(int row);
  QString Data1Text(const SendListRow& row) const;
  QString Data2Text(const SendListRow& row) const;
  QString CellHint(int row, int column) const;
  void ShowCellHint();
  // The columns with a list: type, cause, function type, information
  // number, and data 1 of an order (its TOO).
  bool HasPicker(int row, int column) const;
  void OnPickerRequested(int row, int column);
  void OnRightClick(int row, int column, QPoint globalPosition);
  void ShowEditMenu(QPoint globalPosition);
  // Rows (0-based) of the selection, or the cursor row.
  std::pair<int, int> SelectedRows() const;
  void MoveCursor(int row, int column, bool toTop);
  void SizeColumns();

  // End cell editing, take the header value being typed and check all.
  bool EndAndCheck();
  void Commit();
  void FocusByIndex();
  void ShowHint(const QString& hint);
  QString Text(int n) const;
};

}  // namespace kivo
