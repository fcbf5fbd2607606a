#include "ui/type_picker.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "app/instance.h"
#include "ui/editor_support.h"

namespace kivo {

TfmTyp::TfmTyp(Instance& instance, PickerKind kind, int value, std::uint32_t parameter,
               int leaveOut, QWidget* parent)
    : QDialog(parent) {
  setObjectName("fmTyp");
  setModal(true);
  lbTyp_ = new QListWidget(this);
  lbTyp_->setObjectName("lbTyp");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(lbTyp_);

  const PickerSources sources{instance.texts, instance.knownTypes, instance.infoTexts,
                              instance.groupNames};
  const PickerList picker = BuildPickerList(sources, kind, value, parameter, leaveOut);
  setWindowTitle(Q(picker.caption));
  for (const std::string& item : picker.items) lbTyp_->addItem(Q(item));
  if (lbTyp_->count() > 0) {
    lbTyp_->setCurrentRow(std::clamp(picker.selected, 0, lbTyp_->count() - 1));
  }
  // Wide enough for the longest name, high enough for 20 items.
  const QFontMetrics metrics(lbTyp_->font());
  int width = 160;
  for (int i = 0; i < lbTyp_->count(); ++i) {
    width = std::max(width, metrics.horizontalAdvance(lbTyp_->item(i)->text()) + 40);
  }
  const int rows = std::clamp(lbTyp_->count(), 4, 20);
  resize(std::min(width, 520), rows * (metrics.height() + 2) + 12);
  connect(lbTyp_, &QListWidget::itemActivated, this, [this] { done(kChosen); });
}

int TfmTyp::ChosenValue() const {
  const QListWidgetItem* item = lbTyp_->currentItem();
  return item ? PickerItemValue(S(item->text())) : 0;
}

void TfmTyp::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      done(kChosen);
      return;
    case Qt::Key_Escape:
      done(kLeft);
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

int RunTypePicker(QWidget* parent, QPoint at, Instance& instance, PickerKind kind, int& value,
                  std::uint32_t parameter, int leaveOut) {
  TfmTyp picker(instance, kind, value, parameter, leaveOut, parent);
  QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const QSize size = picker.size();
  picker.move(
      std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())),
      std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
  const int result = picker.exec();
  if (result == TfmTyp::kChosen) {
    value = picker.ChosenValue();
    return TfmTyp::kChosen;
  }
  return TfmTyp::kLeft;
}

int RunTypePickerBeside(QWidget* field, Instance& instance, PickerKind kind, int& value,
                        std::uint32_t parameter, int leaveOut) {
  const QPoint at = field ? field->mapToGlobal(QPoint(field->width(), 0)) : QPoint();
  return RunTypePicker(field ? field->window() : nullptr, at, instance, kind, value, parameter,
                       leaveOut);
}

}  // namespace kivo
