// TfmFarb, the telegram font and its colour pairs, and TfmFrbSel, the colours
// of single type identifications or causes of transmission. Both edit a copy
// of their block; the entry points store it into the settings on OK only.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "record/colour_records.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStatusBar;

namespace kivo {

class Instance;

class TfmFarb : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 5550;
  // The extra space after an entry: none up to one more line.
  static constexpr int kLeastSpacing = 0;
  static constexpr int kMostSpacing = 100;

  explicit TfmFarb(Instance& instance, QWidget* parent = nullptr);

  // The work copy; after OK it holds the size, the spacing and the pairs.
  const TTelFont& Font() const { return work_; }
  // The item of cbSize that a font size selects.
  static int SizeItemOf(const QString& sizes, int fontSize);

 public slots:
  // Takes the fields when the spacing is valid and closes.
  void btnOKClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Instance& instance_;
  TTelFont work_;
  QComboBox* cbSize_ = nullptr;
  QLineEdit* sfLeerZl_ = nullptr;
  // Per class (received port 1 ... faulty): preview, text and background list.
  std::array<QListWidget*, 6> previews_{};
  std::array<QComboBox*, 6> textLists_{};
  std::array<QComboBox*, 6> backgroundLists_{};
  std::vector<QWidget*> focusOrder_;
  std::vector<QString> hints_;
  QStatusBar* stbrFarb_ = nullptr;

  bool SpacingValue(int* value) const;
  void ShowPreview(int slot);
};

class TfmFrbSel : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpTypes = 5800;
  static constexpr int kHelpCauses = 5850;

  TfmFrbSel(Instance& instance, bool causes, QWidget* parent = nullptr);

  const TValueColours& Table() const { return work_; }
  // The text of a row of lbTyp: the value right-aligned in four, four blanks
  // and its name where the name tables define one.
  QString RowText(int value) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Instance& instance_;
  bool causes_;
  TValueColours work_;
  QListWidget* lbTyp_ = nullptr;
  QComboBox* cbFg_ = nullptr;
  QComboBox* cbHg_ = nullptr;
  std::vector<QWidget*> focusOrder_;
  std::vector<QString> hints_;
  QStatusBar* stbrFrbSel_ = nullptr;
  bool showingRow_ = false;

  void PaintRow(int value);
  void ShowRow(int value);
  void TakeLists();
};

// The telegram font dialog beside the main window; on OK the block goes into
// the settings and the result is true (the caller applies the font and draws
// the view again).
bool EditTelegramFont(QWidget* mainWindow, Instance& instance);
// The colours of types (`causes` false) or causes; on OK the table goes into
// the settings and the result is true.
bool EditValueColours(QWidget* mainWindow, Instance& instance, bool causes);

}  // namespace kivo
