#include "ui/response_sim_dialog.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "app/instance.h"
#include "asdu/type_items.h"
#include "send/response_sim_text.h"
#include "send/send_text_files.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kTextCaption = 1250;
constexpr int kTextSwitch = 1251;  // label, item count, items
constexpr int kTextFirstHeading = 1260;
constexpr int kTextCut = 1159;
constexpr int kTextCopy = 1160;
constexpr int kTextPaste = 1161;
constexpr int kTextLoad = 1340;
constexpr int kTextSave = 1341;
constexpr int kTextProposedName = 1129;
constexpr int kTextFileFilter = 1067;
constexpr int kTextFileExtension = 1337;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kTextComboAndButtonHint = 502;
constexpr int kHelpContext = 5300;
// The status-bar hint of each column; the row numbers have none.
constexpr int kColumnHints[TfmRm::kColumnCount] = {0, 839, 502, 502, 1345, 1346};
// The in-place editors of the number columns; the acknowledgement columns
// (chbPos, chbNeg) are check boxes drawn in their cells, with no editor.
constexpr const char* kEditorNames[TfmRm::kColumnCount] = {"", "sfBCA",   "",
                                                           "", "sfRmInf", "sfRmSt"};
// The type whose information numbers the picker offers for a column: the
// command is a general command, the response a time-tagged message.
constexpr int kCommandType = 20;
constexpr int kResponseType = 1;
// Focus indices of the controls that remember the focus.
constexpr int kFocusSwitch = 0;
constexpr int kFocusTable = 1;
// A simulation file is about 2 KiB; more than this is not one.
constexpr std::streamsize kMaxSimFileSize = 1 << 20;

bool IsCheckColumn(int column) {
  return column == TfmRm::kColPos || column == TfmRm::kColNeg;
}
bool IsNumberColumn(int column) {
  return column == TfmRm::kColBCA || column == TfmRm::kColRmInf || column == TfmRm::kColRmSt;
}

struct FieldRange {
  int low;
  int high;
};
FieldRange RangeOf(int column) {
  switch (column) {
    case TfmRm::kColRmInf:
      return {-1, 255};
    case TfmRm::kColRmSt:
      return {0, 5};
    default:
      return {0, 255};
  }
}

int FieldOf(const ResponseSimRow& row, int column) {
  switch (column) {
    case TfmRm::kColBCA:
      return row.commandInf;
    case TfmRm::kColPos:
      return row.positiveAck;
    case TfmRm::kColNeg:
      return row.negativeAck;
    case TfmRm::kColRmInf:
      return row.responseInf;
    case TfmRm::kColRmSt:
      return row.responseState;
    default:
      return 0;
  }
}

void SetField(ResponseSimRow& row, int column, int value) {
  switch (column) {
    case TfmRm::kColBCA:
      row.commandInf = static_cast<std::uint8_t>(value);
      break;
    case TfmRm::kColPos:
      row.positiveAck = static_cast<std::uint8_t>(value);
      break;
    case TfmRm::kColNeg:
      row.negativeAck = static_cast<std::uint8_t>(value);
      break;
    case TfmRm::kColRmInf:
      row.responseInf = static_cast<std::int16_t>(value);
      break;
    case TfmRm::kColRmSt:
      row.responseState = static_cast<std::uint8_t>(value);
      break;
    default:
      break;
  }
}

// The text of a number cell as its field takes it, or nothing when refused.
std::optional<int> ReadField(int column, const QString& text) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok);
  const FieldRange range = RangeOf(column);
  if (!ok || number < range.low || number > range.high) return std::nullopt;
  return number;
}

// The colours that ShowValidity gives an invalid field.
QColor ErrorBackground() {
  return QColor(0xFF, 0x80, 0x80);
}

}  // namespace

// The 100 rows of the block as table cells. A number the field refuses is
// kept as the cell's text, marked, and never reaches the block.
class ResponseSimModel : public QAbstractTableModel {
 public:
  ResponseSimModel(Instance& instance, QObject* parent)
      : QAbstractTableModel(parent), instance_(instance) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kResponseSimRows;
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : TfmRm::kColumnCount;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const int column = index.column();
    const ResponseSimRow& row = Row(index.row());
    const auto refused = refused_.find({index.row(), column});
    const bool isRefused = refused != refused_.end();
    switch (role) {
      case Qt::DisplayRole:
      case Qt::EditRole:
        if (column == TfmRm::kColNumber) return index.row() + 1;
        if (IsCheckColumn(column)) return {};
        if (isRefused) return refused->second;
        return FieldOf(row, column);
      case Qt::CheckStateRole:
        if (!IsCheckColumn(column)) return {};
        return FieldOf(row, column) != 0 ? Qt::Checked : Qt::Unchecked;
      case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
      case Qt::BackgroundRole:
        if (isRefused) return ErrorBackground();
        if (column == TfmRm::kColNumber) return QApplication::palette().button();
        return {};
      case Qt::ForegroundRole:
        if (isRefused) return QColor(Qt::black);
        return {};
      default:
        return {};
    }
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (!index.isValid()) return false;
    const int column = index.column();
    ResponseSimRow& row = Row(index.row());
    if (IsCheckColumn(column) && role == Qt::CheckStateRole) {
      SetField(row, column, value.toInt() == Qt::Checked ? 1 : 0);
    } else if (IsNumberColumn(column) && role == Qt::EditRole) {
      if (const std::optional<int> number = ReadField(column, value.toString())) {
        SetField(row, column, *number);
        refused_.erase({index.row(), column});
      } else {
        refused_[{index.row(), column}] = value.toString();
      }
    } else {
      return false;
    }
    emit dataChanged(index, index);
    return true;
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsNumberColumn(index.column())) flags |= Qt::ItemIsEditable;
    if (IsCheckColumn(index.column())) flags |= Qt::ItemIsUserCheckable;
    return flags;
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return Q(instance_.texts.Text(kTextFirstHeading + section));
  }

  bool Valid() const { return refused_.empty(); }
  QModelIndex FirstRefused() const {
    if (refused_.empty()) return {};
    const auto& [cell, text] = *refused_.begin();
    return index(cell.first, cell.second);
  }
  // The block changed as a whole (rows moved, a file read): every cell shows
  // it again, and refused texts, which belonged to the cells before, go.
  void Reload() {
    beginResetModel();
    refused_.clear();
    endResetModel();
  }

 private:
  Instance& instance_;
  std::map<std::pair<int, int>, QString> refused_;

  ResponseSimRow& Row(int row) {
    return instance_.send.simulation.rows[static_cast<std::size_t>(row)];
  }
  const ResponseSimRow& Row(int row) const {
    return instance_.send.simulation.rows[static_cast<std::size_t>(row)];
  }
};

// The in-place editors of the number columns and the check boxes of the
// acknowledgement columns, which a click or the space bar toggles.
class ResponseSimDelegate : public QStyledItemDelegate {
 public:
  explicit ResponseSimDelegate(TfmRm& dialog) : QStyledItemDelegate(&dialog), dialog_(dialog) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                        const QModelIndex& index) const override {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(kEditorNames[index.column()]);
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A right click reaches the table: the picker or pmEdit.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    const int column = index.column();
    connect(edit, &QLineEdit::textChanged, edit, [edit, column](const QString& text) {
      ShowValidity(edit, ReadField(column, text).has_value());
    });
    editor_ = edit;
    return edit;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
      edit->setText(index.data(Qt::EditRole).toString());
      ShowValidity(edit, ReadField(index.column(), edit->text()).has_value());
      edit->selectAll();
    }
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) model->setData(index, edit->text());
  }

  // The cell editor that is open, or null.
  QWidget* OpenEditor() const { return editor_ && !editor_->isHidden() ? editor_.data() : nullptr; }
  void Close(QWidget* editor, bool commit) {
    if (commit) emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (IsCheckColumn(index.column())) {
      PaintCheckBox(painter, option, index);
    } else {
      QStyledItemDelegate::paint(painter, option, index);
    }
    // The cursor stays visible inside the selected row.
    if (index == dialog_.tbRm()->currentIndex()) {
      painter->save();
      const bool selected = (option.state & QStyle::State_Selected) != 0;
      painter->setPen(
          QPen(selected ? option.palette.highlightedText().color() : option.palette.text().color(),
               1, Qt::DotLine));
      painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
      painter->restore();
    }
  }

  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    if (!IsCheckColumn(index.column())) {
      return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    bool toggle = false;
    if (event->type() == QEvent::MouseButtonRelease) {
      // Only on the box itself: a click elsewhere in the cell selects the row.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      toggle = mouse->button() == Qt::LeftButton &&
               CheckBoxRect(option).adjusted(-2, -2, 2, 2).contains(mouse->position().toPoint());
    } else if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      toggle = key == Qt::Key_Space || key == Qt::Key_Select;
    }
    if (!toggle) return false;
    const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
      switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
          // Enter takes the number and moves on as Tab does.
          emit commitData(editor);
          emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
          return true;
        case Qt::Key_F12: {
          const QModelIndex cell = dialog_.tbRm()->currentIndex();
          Close(editor, true);
          dialog_.RunPicker(cell);
          return true;
        }
        default:
          break;
      }
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

 private:
  TfmRm& dialog_;
  mutable QPointer<QWidget> editor_;

  static QStyle* StyleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
  }
  // The check box in the middle of its cell.
  static QRect CheckBoxRect(const QStyleOptionViewItem& option) {
    QStyle* style = StyleOf(option);
    QRect box(0, 0, style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget),
              style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget));
    box.moveCenter(option.rect.center());
    return box;
  }
  void PaintCheckBox(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const bool on = cell.checkState == Qt::Checked;
    cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    cell.text.clear();
    QStyle* style = StyleOf(option);
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
    QStyleOptionViewItem box = cell;
    box.rect = CheckBoxRect(option);
    box.state = (cell.state & QStyle::State_Enabled) | (on ? QStyle::State_On : QStyle::State_Off);
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, option.widget);
  }
};

// tbRm: the cursor stays off the row numbers; Tab, Right and Enter go from
// the last column to the first of the next row.
class ResponseSimTable : public QTableView {
 public:
  explicit ResponseSimTable(TfmRm& dialog) : QTableView(&dialog), dialog_(dialog) {}

  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !model()) return QTableView::moveCursor(action, modifiers);
    const int row = current.row();
    const int column = std::max(current.column(), static_cast<int>(TfmRm::kColBCA));
    auto cell = [this](int r, int c) { return model()->index(r, c); };
    // From a row number the cursor goes into the row's first field.
    if (current.column() == TfmRm::kColNumber && (action == MoveNext || action == MoveRight)) {
      return cell(row, TfmRm::kColBCA);
    }
    switch (action) {
      case MoveRight:
      case MoveNext:
        if (column < TfmRm::kColRmSt) return cell(row, column + 1);
        return row + 1 < kResponseSimRows ? cell(row + 1, TfmRm::kColBCA) : QModelIndex();
      case MovePrevious:
        if (column > TfmRm::kColBCA) return cell(row, column - 1);
        return row > 0 ? cell(row - 1, TfmRm::kColRmSt) : QModelIndex();
      case MoveLeft:
        return cell(row, std::max(column - 1, static_cast<int>(TfmRm::kColBCA)));
      default: {
        QModelIndex next = QTableView::moveCursor(action, modifiers);
        if (next.isValid() && next.column() == TfmRm::kColNumber) {
          next = cell(next.row(), TfmRm::kColBCA);
        }
        return next;
      }
    }
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: {
        const QModelIndex next = moveCursor(MoveNext, Qt::NoModifier);
        if (next.isValid()) {
          setCurrentIndex(next);
        } else {
          focusNextChild();
        }
        event->accept();
        return;
      }
      case Qt::Key_F12:
        dialog_.RunPicker(currentIndex());
        event->accept();
        return;
      case Qt::Key_Escape:
        event->ignore();  // the dialog's: Cancel
        return;
      default:
        QTableView::keyPressEvent(event);
    }
  }

 private:
  TfmRm& dialog_;
};

TfmRm::TfmRm(Instance& instance, QWidget* parent)
    : QDialog(parent), instance_(instance), backup_(instance.send.simulation) {
  setObjectName("fmRm");
  setProperty(kHelpContextProperty, kHelpContext);
  BuildControls();
  LabelControls();
  ConnectControls();
  RestoreCursorAndFocus();
}

TfmRm::~TfmRm() = default;

ResponseSimBlock& TfmRm::Block() {
  return instance_.send.simulation;
}

QTableView* TfmRm::tbRm() const {
  return tbRm_;
}

void TfmRm::BuildControls() {
  auto* outer = new QVBoxLayout(this);

  auto* switchRow = new QHBoxLayout;
  lblSRm_ = new QLabel(this);
  cbSRm_ = new QComboBox(this);
  cbSRm_->setObjectName("cbSRm");
  cbSRm_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  lblSRm_->setBuddy(cbSRm_);
  switchRow->addWidget(lblSRm_);
  switchRow->addWidget(cbSRm_);
  switchRow->addStretch(1);
  outer->addLayout(switchRow);

  model_ = new ResponseSimModel(instance_, this);
  delegate_ = new ResponseSimDelegate(*this);
  tbRm_ = new ResponseSimTable(*this);
  tbRm_->setObjectName("tbRm");
  tbRm_->setModel(model_);
  tbRm_->setItemDelegate(delegate_);
  tbRm_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tbRm_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  tbRm_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  tbRm_->setContextMenuPolicy(Qt::CustomContextMenu);
  tbRm_->verticalHeader()->hide();
  tbRm_->verticalHeader()->setDefaultSectionSize(tbRm_->fontMetrics().height() + 6);
  tbRm_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tbRm_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  outer->addWidget(tbRm_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOK_ = NamedButton(this, "btnOK");
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnHelp_ = NamedButton(this, "btnHelp");
  for (QPushButton* button : {btnOK_, btnAbbr_, btnHelp_}) {
    button->setAutoDefault(false);  // Enter moves on between the controls
    button->installEventFilter(this);
    buttons->addWidget(button);
  }
  outer->addLayout(buttons);

  stbrRm_ = HintBar(this, "stbrRm");
  outer->addWidget(stbrRm_);

  pmEdit_ = new QMenu(this);
  pmEdit_->setObjectName("pmEdit");
  auto addAction = [this](QMenu* menu, const char* name, QKeySequence keys = {}) {
    auto* action = new QAction(this);
    action->setObjectName(name);
    if (!keys.isEmpty()) {
      action->setShortcut(keys);
      // While a cell is edited its editor keeps these keys for its text.
      action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      tbRm_->addAction(action);
    }
    menu->addAction(action);
    return action;
  };
  miCut_ = addAction(pmEdit_, "miCut", QKeySequence::Cut);
  miCopy_ = addAction(pmEdit_, "miCopy", QKeySequence::Copy);
  miPaste_ = addAction(pmEdit_, "miPaste", QKeySequence::Paste);
  pmLoadSave_ = new QMenu(this);
  pmLoadSave_->setObjectName("pmLoadSave");
  miLoad_ = addAction(pmLoadSave_, "miLoad");
  miSave_ = addAction(pmLoadSave_, "miSave");
  setContextMenuPolicy(Qt::CustomContextMenu);

  for (QWidget* control : {static_cast<QWidget*>(cbSRm_), static_cast<QWidget*>(tbRm_)}) {
    control->installEventFilter(this);
  }
}

void TfmRm::LabelControls() {
  const TextTable& t = instance_.texts;
  setWindowTitle(Q(t.Text(kTextCaption)));
  lblSRm_->setText(FillComboFromTexts(cbSRm_, t, kTextSwitch));
  btnOK_->setText(Q(t.Text(kTextOk)));
  btnAbbr_->setText(Q(t.Text(kTextCancel)));
  btnHelp_->setText(Q(t.Text(kTextHelp)));
  btnHelp_->setEnabled(HelpAvailable(instance_));
  miCut_->setText(Q(t.Text(kTextCut)));
  miCopy_->setText(Q(t.Text(kTextCopy)));
  miPaste_->setText(Q(t.Text(kTextPaste)));
  miLoad_->setText(Q(t.Text(kTextLoad)));
  miSave_->setText(Q(t.Text(kTextSave)));

  // Every column as wide as its heading or its widest number, the table
  // wide enough to need no horizontal scrolling.
  const QFontMetrics metrics(tbRm_->font());
  int width = 2 * tbRm_->frameWidth() + tbRm_->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < kColumnCount; ++column) {
    const int heading = tbRm_->horizontalHeader()->fontMetrics().horizontalAdvance(
                            Q(t.Text(kTextFirstHeading + column))) +
                        24;
    const int digits = metrics.horizontalAdvance(QStringLiteral("-0000")) + 16;
    tbRm_->setColumnWidth(column, std::max(heading, digits));
    width += tbRm_->columnWidth(column);
  }
  tbRm_->setMinimumWidth(width);
  tbRm_->setMinimumHeight(tbRm_->horizontalHeader()->sizeHint().height() +
                          16 * tbRm_->verticalHeader()->defaultSectionSize() +
                          2 * tbRm_->frameWidth());
}

void TfmRm::ConnectControls() {
  connect(btnOK_, &QPushButton::clicked, this, &TfmRm::btnOKClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &TfmRm::reject);
  connect(btnHelp_, &QPushButton::clicked, this, &TfmRm::btnHelpClick);
  connect(miCut_, &QAction::triggered, this, &TfmRm::miCutClick);
  connect(miCopy_, &QAction::triggered, this, &TfmRm::miCopyClick);
  connect(miPaste_, &QAction::triggered, this, &TfmRm::miPasteClick);
  connect(miLoad_, &QAction::triggered, this, &TfmRm::miLoadClick);
  connect(miSave_, &QAction::triggered, this, &TfmRm::miSaveClick);
  connect(tbRm_, &QWidget::customContextMenuRequested, this, &TfmRm::TableMenuRequested);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmLoadSave_->popup(mapToGlobal(at)); });
  connect(tbRm_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { ShowHint(); });
}

void TfmRm::RestoreCursorAndFocus() {
  const ResponseSimBlock& block = Block();
  if (cbSRm_->count() > 0) {
    cbSRm_->setCurrentIndex(std::min(block.simulationOn != 0 ? 1 : 0, cbSRm_->count() - 1));
  }
  // The cursor is kept as the table counts it, the headings being row 0.
  const int row = static_cast<int>(std::clamp<std::uint32_t>(block.editorRow, 1, kResponseSimRows));
  const int column =
      static_cast<int>(std::clamp<std::uint32_t>(block.editorCol, kColBCA, kColRmSt));
  PutCursor(row - 1, column);
  lastFocus_ = block.focusIndex == kFocusTable ? kFocusTable : kFocusSwitch;
  (lastFocus_ == kFocusTable ? static_cast<QWidget*>(tbRm_) : cbSRm_)->setFocus();
  ShowHint();
}

void TfmRm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  tbRm_->scrollTo(tbRm_->currentIndex(), QAbstractItemView::PositionAtTop);
}

void TfmRm::PutCursor(int row, int column) {
  const QModelIndex cell =
      model_->index(std::clamp(row, 0, kResponseSimRows - 1),
                    std::clamp(column, static_cast<int>(kColBCA), static_cast<int>(kColRmSt)));
  tbRm_->selectionModel()->setCurrentIndex(
      cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  tbRm_->scrollTo(cell);
}

void TfmRm::ShowHint() {
  int text = kTextComboAndButtonHint;
  if (lastFocus_ == kFocusTable && !btnOK_->hasFocus() && !btnAbbr_->hasFocus() &&
      !btnHelp_->hasFocus()) {
    const int column = tbRm_->currentIndex().column();
    text = column >= 0 && column < kColumnCount ? kColumnHints[column] : 0;
  }
  if (text == 0) {
    stbrRm_->clearMessage();
  } else {
    stbrRm_->showMessage(Q(instance_.texts.Text(text)));
  }
}

bool TfmRm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (watched == cbSRm_) lastFocus_ = kFocusSwitch;
    if (watched == tbRm_) lastFocus_ = kFocusTable;
    if (watched == btnOK_ || watched == btnAbbr_ || watched == btnHelp_) {
      stbrRm_->showMessage(Q(instance_.texts.Text(kTextComboAndButtonHint)));
    } else {
      ShowHint();
    }
  } else if (event->type() == QEvent::KeyPress && watched == cbSRm_) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      tbRm_->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmRm::FinishEditing() {
  if (QWidget* editor = delegate_->OpenEditor()) delegate_->Close(editor, true);
}

bool TfmRm::CellsValid() const {
  return model_->Valid();
}

bool TfmRm::RefuseInvalidCell() {
  if (CellsValid()) return false;
  const QModelIndex refused = model_->FirstRefused();
  PutCursor(refused.row(), refused.column());
  tbRm_->setFocus(Qt::OtherFocusReason);
  QApplication::beep();
  return true;
}

void TfmRm::btnOKClick() {
  FinishEditing();
  if (RefuseInvalidCell()) return;
  ResponseSimBlock& block = Block();
  const QModelIndex cursor = tbRm_->currentIndex();
  block.focusIndex = static_cast<std::uint32_t>(lastFocus_);
  block.editorRow = static_cast<std::uint32_t>(cursor.isValid() ? cursor.row() + 1 : 1);
  block.editorCol = static_cast<std::uint32_t>(
      std::clamp(cursor.column(), static_cast<int>(kColBCA), static_cast<int>(kColRmSt)));
  block.simulationOn = cbSRm_->currentIndex() == 1 ? 1 : 0;
  instance_.app.sendDataModified = true;
  accept();
}

void TfmRm::reject() {
  // The open editor goes without its text: it must not write into the block
  // once that is restored.
  if (QWidget* editor = delegate_->OpenEditor()) delegate_->Close(editor, false);
  instance_.send.simulation = backup_;
  QDialog::reject();
}

void TfmRm::btnHelpClick() {
  OpenHelpPage(instance_, kHelpContext);
}

void TfmRm::RunPicker(const QModelIndex& index) {
  if (!index.isValid()) return;
  const int column = index.column();
  if (column != kColBCA && column != kColRmInf) return;
  FinishEditing();
  const ResponseSimRow& row = Block().rows[static_cast<std::size_t>(index.row())];
  int value = FieldOf(row, column);
  const int type = column == kColBCA ? kCommandType : kResponseType;
  const QRect cell = tbRm_->visualRect(index);
  const QPoint at = tbRm_->viewport()->mapToGlobal(cell.topRight());
  if (RunTypePicker(this, at, instance_, PickerKind::InfoNumbers, value,
                    PickerParameter(type, 0, 0, value)) == TfmTyp::kChosen) {
    model_->setData(index, QString::number(value), Qt::EditRole);
  }
  tbRm_->setFocus(Qt::OtherFocusReason);
}

void TfmRm::TableMenuRequested(const QPoint& at) {
  const QModelIndex cell = tbRm_->indexAt(at);
  if (cell.isValid() && (cell.column() == kColBCA || cell.column() == kColRmInf)) {
    PutCursor(cell.row(), cell.column());
    RunPicker(cell);
    return;
  }
  pmEdit_->popup(tbRm_->viewport()->mapToGlobal(at));
}

std::pair<int, int> TfmRm::SelectedRows() const {
  int first = kResponseSimRows;
  int last = -1;
  for (const QModelIndex& cell : tbRm_->selectionModel()->selectedIndexes()) {
    first = std::min(first, cell.row());
    last = std::max(last, cell.row());
  }
  if (last < 0) {
    first = last = std::max(tbRm_->currentIndex().row(), 0);
  }
  return {first, last - first + 1};
}

char TfmRm::Separator() const {
  return SendSeparator(instance_.texts);
}

void TfmRm::miCopyClick() {
  FinishEditing();
  const auto [first, count] = SelectedRows();
  QGuiApplication::clipboard()->setText(Q(CopySimRows(Block(), first, count, Separator())));
}

void TfmRm::miCutClick() {
  FinishEditing();
  const auto [first, count] = SelectedRows();
  QGuiApplication::clipboard()->setText(Q(CutSimRows(Block(), first, count, Separator())));
  model_->Reload();
  PutCursor(first, kColBCA);
}

void TfmRm::miPasteClick() {
  FinishEditing();
  const QModelIndex cursor = tbRm_->currentIndex();
  const int row = std::max(cursor.row(), 0);
  const std::string text = S(QGuiApplication::clipboard()->text());
  if (PasteSimRows(Block(), row, text, Separator()) == 0) return;
  model_->Reload();
  PutCursor(row, cursor.column());
}

FileRequest TfmRm::SimFileRequest(bool save) const {
  const TextTable& t = instance_.texts;
  FileRequest request;
  request.caption = Q(t.Text(save ? kTextSave : kTextLoad));
  request.defaultSuffix = Q(t.Text(kTextFileExtension));
  request.path =
      Q(instance_.dataDirectory + t.Text(kTextProposedName)) + "." + request.defaultSuffix;
  request.filter = DialogFilter(t.Text(kTextFileFilter));
  request.save = save;
  return request;
}

void TfmRm::miLoadClick() {
  FinishEditing();
  const QString chosen = chooseFile(this, SimFileRequest(false));
  if (chosen.isEmpty()) return;
  std::ifstream in(S(chosen), std::ios::binary);
  if (!in) return;
  std::string text(static_cast<std::size_t>(kMaxSimFileSize), '\0');
  in.read(text.data(), kMaxSimFileSize);
  if (in.bad()) return;
  text.resize(static_cast<std::size_t>(in.gcount()));
  const SimTextResult result = ReadSimText(text, Separator(), Block());
  if (!result.read) return;
  if (result.switchSet && cbSRm_->count() > 1) {
    cbSRm_->setCurrentIndex(Block().simulationOn != 0 ? 1 : 0);
  }
  model_->Reload();
  instance_.app.sendDataModified = true;
  PutCursor(0, kColBCA);
}

void TfmRm::miSaveClick() {
  FinishEditing();
  // What OK would refuse is not written either.
  if (RefuseInvalidCell()) return;
  const FileRequest request = SimFileRequest(true);
  const QString chosen = chooseFile(this, request);
  if (chosen.isEmpty()) return;
  Block().simulationOn = cbSRm_->currentIndex() == 1 ? 1 : 0;
  const std::string text = WriteSimText(Block(), Separator());
  ReplaceFile(WithDefaultSuffix(chosen, request.defaultSuffix),
              {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

bool OpenResponseSimDialog(QWidget* mainWindow, Instance& instance) {
  TfmRm dialog(instance, mainWindow);
  PlaceBesideMain(&dialog, mainWindow);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace kivo
