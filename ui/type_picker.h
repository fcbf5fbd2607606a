// TfmTyp: the modal list from which the editors and the filter dialog choose
// a type, a cause, a function type, an information number or a TOO code.
#pragma once

#include <QDialog>
#include <cstdint>

#include "asdu/type_items.h"

class QListWidget;

namespace kivo {

class Instance;

class TfmTyp : public QDialog {
  Q_OBJECT

 public:
  // The modal results: Enter or a double click choose, Escape leaves.
  static constexpr int kChosen = 1;
  static constexpr int kLeft = 2;

  TfmTyp(Instance& instance, PickerKind kind, int value, std::uint32_t parameter, int leaveOut,
         QWidget* parent = nullptr);

  // The number before "=" of the selected item (0 when there is none).
  int ChosenValue() const;
  QListWidget* list() const { return lbTyp_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QListWidget* lbTyp_ = nullptr;
};

// Shows the picker at `at` (screen coordinates; kept on the screen). With
// kChosen `value` holds the chosen number; with kLeft it is unchanged.
// `parameter` is PickerParameter(type, cause, function type, INF).
int RunTypePicker(QWidget* parent, QPoint at, Instance& instance, PickerKind kind, int& value,
                  std::uint32_t parameter, int leaveOut = 0);

// The picker beside a field: at the field's top right corner.
int RunTypePickerBeside(QWidget* field, Instance& instance, PickerKind kind, int& value,
                        std::uint32_t parameter, int leaveOut = 0);

}  // namespace kivo
