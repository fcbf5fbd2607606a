// TfmRm: the command-response simulation, its switch and the table of up to
// 100 rows, edited in place with a backup that Cancel restores.
#pragma once

#include <QDialog>
#include <QString>
#include <utility>

#include "send/send_records.h"
#include "ui/file_commands.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QModelIndex;
class QPushButton;
class QStatusBar;
class QTableView;

namespace kivo {

class Instance;
class ResponseSimModel;
class ResponseSimDelegate;
class ResponseSimTable;

class TfmRm : public QDialog {
  Q_OBJECT

 public:
  // The columns of tbRm; column 0 numbers the rows.
  enum Column { kColNumber = 0, kColBCA, kColPos, kColNeg, kColRmInf, kColRmSt, kColumnCount };

  explicit TfmRm(Instance& instance, QWidget* parent = nullptr);
  ~TfmRm() override;

  // The open and save dialogs of pmLoadSave; tests put their own in place.
  FileChooser chooseFile = ChooseWithDialog;

  QComboBox* cbSRm() const { return cbSRm_; }
  QTableView* tbRm() const;
  QStatusBar* statusBar() const { return stbrRm_; }
  QMenu* pmEdit() const { return pmEdit_; }
  QMenu* pmLoadSave() const { return pmLoadSave_; }
  // No cell holds text that its field refuses.
  bool CellsValid() const;

 public slots:
  void btnOKClick();
  void btnHelpClick();
  void miCutClick();
  void miCopyClick();
  void miPasteClick();
  void miLoadClick();
  void miSaveClick();
  // Cancel, Escape and closing the window: the block as it was at opening.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  friend class ResponseSimDelegate;
  friend class ResponseSimTable;

  Instance& instance_;
  ResponseSimBlock backup_;
  ResponseSimModel* model_ = nullptr;
  ResponseSimDelegate* delegate_ = nullptr;
  ResponseSimTable* tbRm_ = nullptr;
  QLabel* lblSRm_ = nullptr;
  QComboBox* cbSRm_ = nullptr;
  QPushButton* btnOK_ = nullptr;
  QPushButton* btnAbbr_ = nullptr;
  QPushButton* btnHelp_ = nullptr;
  QStatusBar* stbrRm_ = nullptr;
  QMenu* pmEdit_ = nullptr;
  QMenu* pmLoadSave_ = nullptr;
  QAction* miCut_ = nullptr;
  QAction* miCopy_ = nullptr;
  QAction* miPaste_ = nullptr;
  QAction* miLoad_ = nullptr;
  QAction* miSave_ = nullptr;
  int lastFocus_ = 0;
  bool shown_ = false;

  ResponseSimBlock& Block();
  void BuildControls();
  void LabelControls();
  void ConnectControls();
  void RestoreCursorAndFocus();
  // The cursor on row `row` (0-based), column `column`, that row selected.
  void PutCursor(int row, int column);
  // Takes what the open cell editor holds.
  void FinishEditing();
  // Puts the cursor on the first cell whose text was refused; false when
  // there is none.
  bool RefuseInvalidCell();
  // F12 or a right click: the information numbers of the cell's type.
  void RunPicker(const QModelIndex& index);
  void TableMenuRequested(const QPoint& at);
  void ShowHint();
  // The rows the selection covers (whole rows), else the cursor row.
  std::pair<int, int> SelectedRows() const;
  char Separator() const;
  FileRequest SimFileRequest(bool save) const;
};

// Runs the dialog modally beside the main window; true when left with OK.
bool OpenResponseSimDialog(QWidget* mainWindow, Instance& instance);

}  // namespace kivo
