#include "ui/send_list_editor.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>
#include <cmath>

#include "app/instance.h"
#include "app/messages.h"
#include "app/send_commands.h"
#include "send/data_values.h"
#include "send/send_execution.h"
#include "send/send_list.h"
#include "send/send_text_files.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"
#include "util/file_io.h"

namespace kivo {

namespace {

// Text numbers of the window.
constexpr int kTextName = 794, kTextTrigger = 856, kTextTriggerType = 848, kTextTriggerMinute = 723,
              kTextPort = 493, kTextPasses = 832, kTextRowsPerPass = 851, kTextPause = 853,
              kTextRowPause = 1079, kTextService = 796, kTextServiceSecondary = 1074,
              kTextLinkAddress = 841, kTextLinkAddressSeparate = 590, kTextCommonAddress = 835,
              kTextSend = 675, kTextOK = 676, kTextCancel = 677, kTextHelp = 678,
              kTextProgram = 502, kTextHeadings = 1270, kTextHintType = 1224, kTextHintCause = 1225,
              kTextHintNumber = 1226, kTextDataNames = 270, kTextPercent = 814, kTextCaption = 1187,
              kTextCaptionEnd = 1189, kTextCut = 1159, kTextCopy = 1160, kTextPaste = 1161,
              kTextLoad = 1335, kTextSave = 1336, kTextFileName = 1128, kTextFilter = 1067,
              kTextExtension = 1337, kTextDiscard = 1165, kTextNotCreated = 1217;
// The information-text column is read only; its heading says what it holds.
constexpr int kTextInfoHint = kTextHeadings + TfmSeLi::kColInfo;

constexpr int kDefaultWidth = 540, kDefaultHeight = 520;
constexpr int kMaxName = 27;
constexpr int kMaxDataText = 15;
constexpr int kMaxInfoText = 83;
constexpr int kMaxType = 113;
// The type picker of the rows leaves out the last seven known types: 27 to 31
// of the disturbance transfer and the free types 128 and 129.
constexpr int kPickerLeaveOut = 7;
constexpr int kTypeOrder = 24;  // its data value is the TOO
// A value outside the new type's range becomes 1, or 10000 when the range is
// wide; a float of no sensible magnitude becomes 10000.0.
constexpr std::uint32_t kWideRangeValue = 10000;
constexpr std::int64_t kWideRangeHigh = 20000;
constexpr float kFloatReset = 10000.0F;
constexpr double kFloatSmallest = 1e-20, kFloatLargest = 1e20;
// Files larger than this are no list files.
constexpr qint64 kMaxListFile = 4 * 1024 * 1024;

const QColor kErrorBackground(0xFF, 0x80, 0x80);

bool DescribedByDpi(int typ) {
  return typ == 1 || typ == 2 || typ == 20;
}

// The data cells take at most 15 characters, the numbers three digits.
class CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
      edit->setMaxLength(index.column() >= TfmSeLi::kColData1 ? kMaxDataText : 3);
    }
    return editor;
  }
};

bool HasMethod(const QObject* object, const char* signature) {
  return object && object->metaObject()->indexOfMethod(signature) >= 0;
}

// The main window takes F12 from its filter while a send editor is open.
void ApplyMainShortcuts(QWidget* mainWindow) {
  if (HasMethod(mainWindow, "ApplyShortcuts()")) {
    QMetaObject::invokeMethod(mainWindow, "ApplyShortcuts");
  }
}

}  // namespace

// --- the row table ---------------------------------------------------------

void ListRowTable::EndEditing() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void ListRowTable::MoveOn(int step) {
  int row = currentRow();
  int column = currentColumn() + step;
  if (column >= columnCount()) {
    column = TfmSeLi::kColActive;
    row = std::min(row + 1, rowCount() - 1);
  } else if (column < TfmSeLi::kColActive) {
    column = columnCount() - 1;
    row = std::max(row - 1, 0);
  }
  setCurrentCell(std::max(row, 0), column);
}

void ListRowTable::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
      MoveOn(1);
      return;
    case Qt::Key_Backtab:
      MoveOn(-1);
      return;
    case Qt::Key_F12:
      emit PickerRequested(currentRow(), currentColumn());
      return;
    default:
      QTableWidget::keyPressEvent(event);
  }
}

void ListRowTable::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid() && index.column() >= TfmSeLi::kColActive) {
    setCurrentCell(index.row(), index.column());
  }
  emit RightClicked(index.isValid() ? index.row() : -1, index.isValid() ? index.column() : -1,
                    event->globalPosition().toPoint());
}

// Tab ends the cell and moves on; Enter reaches keyPressEvent after the line
// edit let it pass, so it must not move here as well.
void ListRowTable::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
  if (hint == QAbstractItemDelegate::EditNextItem) MoveOn(1);
  if (hint == QAbstractItemDelegate::EditPreviousItem) MoveOn(-1);
}

// --- opening and closing -----------------------------------------------------

void OpenSendListEditor(QWidget* mainWindow, Instance& instance, int n) {
  if (n < 1 || n > kSendListCount) return;
  if (QWidget* open = OpenSendEditor(mainWindow)) {
    open->show();
    open->raise();
    open->activateWindow();
    return;
  }
  StopList(instance.sendContext, n);
  auto* editor = new TfmSeLi(instance, n, mainWindow);
  editor->setProperty(kSendEditorProperty, static_cast<int>(EditorState::List));
  ApplyMainShortcuts(mainWindow);
  editor->PlaceBeside(mainWindow);
  editor->show();
  editor->raise();
  editor->activateWindow();
}

void NotifyListPassEnded(QWidget* mainWindow, int n) {
  auto* editor = qobject_cast<TfmSeLi*>(OpenSendEditor(mainWindow));
  if (editor && editor->ListNumber() == n) editor->FollowPass();
}

TfmSeLi::TfmSeLi(Instance& instance, int n, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window | Qt::WindowStaysOnTopHint),
      instance_(instance),
      n_(n),
      mainWindow_(mainWindow),
      work_(instance.send.List(n)) {
  setObjectName("fmSeLi");
  setProperty(kHelpContextProperty, kHelpContext);
  rowsLocked_ = instance_.settings.Option(kOptionListReadOnly);
  BuildControls();
  LabelControls();
  BuildTable();
  ShowHeader();
  FillTable();
  setMinimumSize(kMinWidth, kMinHeight);
  setMaximumWidth(kMaxWidth);
}

void TfmSeLi::PlaceBeside(const QWidget* mainWindow) {
  PlaceBesideMain(this, mainWindow);
  const int stored = instance_.settings.sendListWidth;
  resize(stored >= kMinWidth && stored <= kMaxWidth ? stored : kDefaultWidth, kDefaultHeight);
  // Still on the screen in its own size.
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    const int right = area.right() + 1 - frameGeometry().width();
    move(std::max(area.left(), std::min(x(), right)), y());
  }
}

// However the window ends, the list no longer reports its passes to it.
TfmSeLi::~TfmSeLi() {
  Stored().notifyWindow = 0;
}

SendList& TfmSeLi::Stored() {
  return instance_.send.List(n_);
}

QString TfmSeLi::Text(int n) const {
  return Q(instance_.texts.Text(n));
}

std::vector<TfmSeLi::NumberField*> TfmSeLi::Numbers() {
  return {&sfTypN_, &sfSend_, &sfAnzT_, &sfAnzO_, &sfWZt_, &sfSbT_, &sfCA_};
}

void TfmSeLi::BuildControls() {
  auto edit = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    return e;
  };
  auto combo = [this](const char* name) {
    auto* c = new QComboBox(this);
    c->setObjectName(name);
    // Narrow windows show the start of long items rather than cut labels.
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(6);
    return c;
  };
  auto number = [&](NumberField& f, const char* name, int labelText, long long low,
                    long long high) {
    f.edit = edit(name);
    f.label = new QLabel(this);
    f.label->setBuddy(f.edit);
    f.labelText = labelText;
    f.low = low;
    f.high = high;
  };
  sfBez_ = edit("sfBez");
  sfBez_->setMaxLength(kMaxName);
  lblBez_ = new QLabel(this);
  cbAnst_ = combo("cbAnst");
  lblAnst_ = new QLabel(this);
  number(sfTypN_, "sfTypN", kTextTriggerType, 0, 255);
  number(sfSend_, "sfSend", kTextPort, 1, 2);
  number(sfAnzT_, "sfAnzT", kTextPasses, 0, 100000);
  number(sfAnzO_, "sfAnzO", kTextRowsPerPass, 0, 1000000);
  number(sfWZt_, "sfWZt", kTextPause, 0, 1000000);
  number(sfSbT_, "sfSbT", kTextRowPause, 0, 10000);
  number(sfCA_, "sfCA", kTextCommonAddress, 0, 255);
  cbUeb_ = combo("cbUeb");
  lblUeb_ = new QLabel(this);
  cbLA_ = combo("cbLA");
  lblLA_ = new QLabel(this);
  lblLA_->setWordWrap(true);  // "link address = common address" is long

  tbObj_ = new ListRowTable(this);
  tbObj_->setObjectName("tbObj");

  btnSend_ = NamedButton(this, "btnSend");
  btnOK_ = NamedButton(this, "btnOK");
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnHelp_ = NamedButton(this, "btnHelp");
  for (QPushButton* b : {btnSend_, btnOK_, btnAbbr_, btnHelp_}) {
    b->setAutoDefault(false);
    b->installEventFilter(this);
  }
  stbrSeLi_ = new QStatusBar(this);
  stbrSeLi_->setObjectName("stbrSeLi");
  stbrSeLi_->setSizeGripEnabled(true);
  LayOutControls();
  ConnectControls();
  BuildMenus();
}

// The header in two columns of labelled fields above the table, the buttons
// and the status bar below it.
void TfmSeLi::LayOutControls() {
  auto* header = new QGridLayout;
  header->setHorizontalSpacing(6);
  header->setVerticalSpacing(3);
  header->addWidget(lblBez_, 0, 0);
  header->addWidget(sfBez_, 0, 1, 1, 3);
  header->addWidget(lblAnst_, 1, 0);
  header->addWidget(cbAnst_, 1, 1);
  header->addWidget(sfTypN_.label, 1, 2);
  header->addWidget(sfTypN_.edit, 1, 3);
  header->addWidget(sfSend_.label, 2, 0);
  header->addWidget(sfSend_.edit, 2, 1);
  header->addWidget(lblLA_, 2, 2);
  header->addWidget(cbLA_, 2, 3);
  header->addWidget(sfAnzT_.label, 3, 0);
  header->addWidget(sfAnzT_.edit, 3, 1);
  header->addWidget(sfCA_.label, 3, 2);
  header->addWidget(sfCA_.edit, 3, 3);
  header->addWidget(sfAnzO_.label, 4, 0);
  header->addWidget(sfAnzO_.edit, 4, 1);
  header->addWidget(lblUeb_, 4, 2);
  header->addWidget(cbUeb_, 4, 3);
  header->addWidget(sfWZt_.label, 5, 0);
  header->addWidget(sfWZt_.edit, 5, 1);
  header->addWidget(sfSbT_.label, 5, 2);
  header->addWidget(sfSbT_.edit, 5, 3);
  header->setColumnStretch(1, 1);
  header->setColumnStretch(3, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnSend_);
  buttons->addStretch(1);
  for (QPushButton* b : {btnOK_, btnAbbr_, btnHelp_}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 0);
  layout->setSpacing(4);
  layout->addLayout(header);
  layout->addWidget(tbObj_, 1);
  layout->addLayout(buttons);
  layout->addWidget(stbrSeLi_);
}

void TfmSeLi::ConnectControls() {
  focusOrder_ = {sfBez_, cbAnst_,    sfTypN_.edit, sfSend_.edit, sfAnzT_.edit, sfAnzO_.edit,
                 cbLA_,  sfCA_.edit, cbUeb_,       sfWZt_.edit,  sfSbT_.edit,  tbObj_};
  for (std::size_t i = 0; i + 1 < focusOrder_.size(); ++i) {
    setTabOrder(focusOrder_[i], focusOrder_[i + 1]);
  }
  for (QWidget* control : focusOrder_) control->installEventFilter(this);

  for (NumberField* f : Numbers()) {
    connect(f->edit, &QLineEdit::textChanged, this, [this, f] { ValidateNumber(*f); });
  }
  connect(cbAnst_, &QComboBox::currentIndexChanged, this, [this](int) {
    TakeTriggerValue();
    ShowTriggerValue();
  });
  connect(sfSend_.edit, &QLineEdit::editingFinished, this, [this] {
    const int port = PortIndexShown();
    if (port >= 0 && port != portShown_) RebuildPortLists(port);
  });
  connect(btnOK_, &QPushButton::clicked, this, &TfmSeLi::btnOKClick);
  connect(btnSend_, &QPushButton::clicked, this, &TfmSeLi::btnSendClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &TfmSeLi::btnAbbrClick);
  connect(btnHelp_, &QPushButton::clicked, this, &TfmSeLi::btnHelpClick);
}

void TfmSeLi::BuildMenus() {
  pmEdit_ = new QMenu(this);
  pmEdit_->setObjectName("pmEdit");
  miCut_ = pmEdit_->addAction(QString(), this, &TfmSeLi::miCutClick);
  miCut_->setObjectName("miCut");
  miCut_->setShortcut(QKeySequence::Cut);
  miCopy_ = pmEdit_->addAction(QString(), this, &TfmSeLi::miCopyClick);
  miCopy_->setObjectName("miCopy");
  miCopy_->setShortcut(QKeySequence::Copy);
  miPaste_ = pmEdit_->addAction(QString(), this, &TfmSeLi::miPasteClick);
  miPaste_->setObjectName("miPaste");
  miPaste_->setShortcut(QKeySequence::Paste);
  for (QAction* a : {miCut_, miCopy_, miPaste_}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tbObj_->addAction(a);
  }
  pmLoadSave_ = new QMenu(this);
  pmLoadSave_->setObjectName("pmLoadSave");
  miLoad_ = pmLoadSave_->addAction(QString(), this, &TfmSeLi::miLoadClick);
  miLoad_->setObjectName("miLoad");
  miSave_ = pmLoadSave_->addAction(QString(), this, &TfmSeLi::miSaveClick);
  miSave_->setObjectName("miSave");
  // Locked rows take nothing; Paste is offered by the menu only for rows on
  // the clipboard, but its key stays ready for the next clipboard.
  miCut_->setEnabled(!rowsLocked_);
  miPaste_->setEnabled(!rowsLocked_);
  connect(pmEdit_, &QMenu::aboutToHide, this, [this] { miPaste_->setEnabled(!rowsLocked_); });
}

void TfmSeLi::LabelControls() {
  const TextTable& t = instance_.texts;
  setWindowTitle(Text(kTextCaption) + QString::number(n_) + Text(kTextCaptionEnd));
  lblBez_->setText(Text(kTextName));
  lblAnst_->setText(FillComboFromTexts(cbAnst_, t, kTextTrigger));
  for (NumberField* f : Numbers()) f->label->setText(Text(f->labelText));
  const bool separate = instance_.general.separateCommonAddress != 0;
  lblLA_->setText(Text(separate ? kTextLinkAddressSeparate : kTextLinkAddress));
  sfCA_.label->setVisible(separate);
  sfCA_.edit->setVisible(separate);
  btnSend_->setText(Text(kTextSend));
  btnOK_->setText(Text(kTextOK));
  btnAbbr_->setText(Text(kTextCancel));
  btnHelp_->setText(Text(kTextHelp));
  btnHelp_->setEnabled(HelpAvailable(instance_));
  miCut_->setText(Text(kTextCut));
  miCopy_->setText(Text(kTextCopy));
  miPaste_->setText(Text(kTextPaste));
  miLoad_->setText(Text(kTextLoad));
  miSave_->setText(Text(kTextSave));
}

void TfmSeLi::BuildTable() {
  tbObj_->setColumnCount(kColumns);
  tbObj_->setRowCount(kSendListRows);
  tbObj_->setItemDelegate(new CellDelegate(tbObj_));
  QStringList headings;
  for (int c = 0; c < kColumns; ++c) headings << Text(kTextHeadings + c);
  tbObj_->setHorizontalHeaderLabels(headings);
  tbObj_->verticalHeader()->hide();
  tbObj_->verticalHeader()->setDefaultSectionSize(tbObj_->fontMetrics().height() + 4);
  tbObj_->horizontalHeader()->setHighlightSections(false);
  tbObj_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tbObj_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  // The right button is ours (picker or pmEdit); it must not reach pmLoadSave.
  tbObj_->setContextMenuPolicy(Qt::PreventContextMenu);
  const Qt::ItemFlags cell = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const Qt::ItemFlags edit = rowsLocked_ ? Qt::ItemFlags() : Qt::ItemFlags(Qt::ItemIsEditable);
  const QBrush numberBackground = palette().brush(QPalette::Button);
  for (int r = 0; r < kSendListRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem;
      switch (c) {
        case kColNumber:
          // Not a cell the cursor visits.
          item->setFlags(Qt::NoItemFlags);
          item->setText(QString::number(r + 1));
          item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
          item->setBackground(numberBackground);
          item->setForeground(palette().brush(QPalette::ButtonText));
          break;
        case kColActive:
          item->setFlags(cell | (rowsLocked_ ? Qt::ItemFlags() : Qt::ItemIsUserCheckable));
          item->setCheckState(Qt::Unchecked);
          break;
        case kColInfo:
          item->setFlags(cell);
          break;
        default:
          item->setFlags(cell | edit);
          if (c < kColInfo) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
          break;
      }
      tbObj_->setItem(r, c, item);
    }
  }
  connect(tbObj_, &QTableWidget::itemChanged, this, &TfmSeLi::OnCellChanged);
  connect(tbObj_, &QTableWidget::currentCellChanged, this, [this] { ShowCellHint(); });
  connect(tbObj_, &ListRowTable::PickerRequested, this, &TfmSeLi::OnPickerRequested);
  connect(tbObj_, &ListRowTable::RightClicked, this, &TfmSeLi::OnRightClick);
  SizeColumns();
}

void TfmSeLi::SizeColumns() {
  const QFontMetrics m = tbObj_->fontMetrics();
  const int digits = m.horizontalAdvance(QStringLiteral("0000")) + 10;
  std::array<int, kColumns> widths{};
  for (int c = 0; c < kColumns; ++c) {
    widths[static_cast<std::size_t>(c)] =
        std::max(digits, m.horizontalAdvance(tbObj_->horizontalHeaderItem(c)->text()) + 14);
  }
  widths[kColActive] += 8;
  widths[kColData1] = std::max(widths[kColData1], m.horizontalAdvance(QStringLiteral(" 2=OFF ")));
  widths[kColData2] = std::max(widths[kColData2], digits + 10);
  int others = 0;
  for (int c = 0; c < kColumns; ++c) {
    if (c != kColInfo) others += widths[static_cast<std::size_t>(c)];
  }
  // The information text takes what the window leaves, never less than 100.
  widths[kColInfo] = std::max(100, tbObj_->viewport()->width() - others);
  for (int c = 0; c < kColumns; ++c) tbObj_->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

void TfmSeLi::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  SizeColumns();
  const int row = static_cast<int>(std::clamp<std::uint32_t>(work_.editorRow, 1, kSendListRows));
  const int column =
      static_cast<int>(std::clamp<std::uint32_t>(work_.editorCol, kColActive, kColData2));
  MoveCursor(row - 1, column, true);
  FocusByIndex();
}

void TfmSeLi::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (shown_) instance_.settings.sendListWidth = width();
  SizeColumns();
}

void TfmSeLi::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (closing_) return;
  closing_ = true;
  Stored().notifyWindow = 0;
  setProperty(kSendEditorProperty, static_cast<int>(EditorState::None));
  ApplyMainShortcuts(mainWindow_);
  deleteLater();
}

// --- header fields -----------------------------------------------------------

bool TfmSeLi::ReadNumber(const QLineEdit* edit, long long low, long long high, long long& value) {
  bool ok = false;
  const long long v = edit->text().trimmed().toLongLong(&ok);
  if (!ok || v < low || v > high) return false;
  value = v;
  return true;
}

void TfmSeLi::ValidateNumber(NumberField& field) {
  long long value = 0;
  field.valid = ReadNumber(field.edit, field.low, field.high, value);
  ShowValidity(field.edit, field.valid);
}

int TfmSeLi::PortIndexShown() const {
  long long port = 0;
  return ReadNumber(sfSend_.edit, 1, 2, port) ? static_cast<int>(port - 1) : -1;
}

bool TfmSeLi::PortIsSecondary(int portIndex) const {
  return portIndex >= 0 && portIndex < 2 &&
         instance_.ports[static_cast<std::size_t>(portIndex)].params.function ==
             PortFunction::Secondary;
}

void TfmSeLi::ShowHeader() {
  sfBez_->setText(Q(work_.name.Get()));
  triggerShown_ = work_.trigger;
  {
    const QSignalBlocker block(cbAnst_);
    cbAnst_->setCurrentIndex(static_cast<int>(std::min<std::uint32_t>(work_.trigger, 5)));
  }
  ShowTriggerValue();
  const int port = std::max(work_.PortIndex(), 0);
  sfSend_.edit->setText(QString::number(port + 1));
  sfAnzT_.edit->setText(QString::number(work_.repeatCount));
  sfAnzO_.edit->setText(QString::number(work_.rowsPerStart));
  sfWZt_.edit->setText(QString::number(work_.pauseMs));
  sfSbT_.edit->setText(QString::number(work_.rowPause));
  sfCA_.edit->setText(QString::number(work_.commonAddress));
  portShown_ = -1;
  RebuildPortLists(port);
}

// The trigger value field holds the trigger type below trigger 4, the minute
// from 4 on.
void TfmSeLi::ShowTriggerValue() {
  const bool minute = cbAnst_->currentIndex() >= static_cast<int>(kTriggerHourly);
  sfTypN_.labelText = minute ? kTextTriggerMinute : kTextTriggerType;
  sfTypN_.high = minute ? 59 : 255;
  sfTypN_.label->setText(Text(sfTypN_.labelText));
  sfTypN_.edit->setText(QString::number(minute ? work_.triggerMinute : work_.triggerType));
  triggerShown_ = static_cast<std::uint32_t>(std::max(cbAnst_->currentIndex(), 0));
  ValidateNumber(sfTypN_);
}

void TfmSeLi::TakeTriggerValue() {
  long long value = 0;
  if (!ReadNumber(sfTypN_.edit, 0, sfTypN_.high, value)) return;
  if (triggerShown_ >= kTriggerHourly) {
    work_.triggerMinute = static_cast<std::uint16_t>(value);
  } else {
    work_.triggerType = static_cast<std::uint16_t>(value);
  }
}

// The address list and the link services of the sending port; a secondary
// port offers the class 1 answer or the DTR handshake and its delay.
void TfmSeLi::RebuildPortLists(int portIndex) {
  if (portShown_ >= 0 && cbUeb_->currentIndex() >= 0) {
    if (PortIsSecondary(portShown_)) {
      work_.secondaryService = static_cast<std::int16_t>(cbUeb_->currentIndex());
    } else {
      work_.service = static_cast<std::uint32_t>(cbUeb_->currentIndex());
    }
  }
  if (portShown_ >= 0 && cbLA_->currentIndex() >= 0) {
    work_.addressIndex = static_cast<std::uint32_t>(cbLA_->currentIndex());
  }
  portShown_ = portIndex;
  const PortParams& params = instance_.ports[static_cast<std::size_t>(portIndex)].params;
  cbLA_->clear();
  const int count = params.EffectiveAddressCount();
  for (int i = 0; i < count; ++i) cbLA_->addItem(QString::number(params.Address(i)));
  cbLA_->setCurrentIndex(work_.addressIndex < static_cast<std::uint32_t>(count)
                             ? static_cast<int>(work_.addressIndex)
                             : 0);
  const bool secondary = PortIsSecondary(portIndex);
  lblUeb_->setText(FillComboFromTexts(cbUeb_, instance_.texts,
                                      secondary ? kTextServiceSecondary : kTextService));
  const int choice = secondary ? work_.secondaryService : static_cast<int>(work_.service);
  cbUeb_->setCurrentIndex(std::clamp(choice, 0, std::max(cbUeb_->count() - 1, 0)));
  sfSbT_.label->setVisible(secondary);
  sfSbT_.edit->setVisible(secondary);
}

void TfmSeLi::ReadControls() {
  work_.name.Set(S(sfBez_->text().left(kMaxName)));
  TakeTriggerValue();
  work_.trigger = static_cast<std::uint32_t>(std::max(cbAnst_->currentIndex(), 0));
  long long value = 0;
  const int port = PortIndexShown();
  if (port >= 0) {
    if (port != portShown_) RebuildPortLists(port);
    work_.portCode = static_cast<std::uint32_t>(2 * (port + 1));
  }
  if (ReadNumber(sfAnzT_.edit, sfAnzT_.low, sfAnzT_.high, value)) {
    work_.repeatCount = static_cast<std::uint32_t>(value);
  }
  if (ReadNumber(sfAnzO_.edit, sfAnzO_.low, sfAnzO_.high, value)) {
    work_.rowsPerStart = static_cast<std::uint32_t>(value);
  }
  if (ReadNumber(sfWZt_.edit, sfWZt_.low, sfWZt_.high, value)) {
    work_.pauseMs = static_cast<std::uint32_t>(value);
  }
  const bool secondary = PortIsSecondary(portShown_);
  if (cbUeb_->currentIndex() >= 0) {
    work_.service = static_cast<std::uint32_t>(cbUeb_->currentIndex());
    if (secondary) work_.secondaryService = static_cast<std::int16_t>(cbUeb_->currentIndex());
  }
  if (secondary && ReadNumber(sfSbT_.edit, sfSbT_.low, sfSbT_.high, value)) {
    work_.rowPause = static_cast<std::uint16_t>(value);
  }
  if (cbLA_->currentIndex() >= 0) {
    work_.addressIndex = static_cast<std::uint32_t>(cbLA_->currentIndex());
  }
  if (portShown_ >= 0) {
    const PortParams& params = instance_.ports[static_cast<std::size_t>(portShown_)].params;
    const int index =
        work_.addressIndex < static_cast<std::uint32_t>(params.EffectiveAddressCount())
            ? static_cast<int>(work_.addressIndex)
            : 0;
    work_.linkAddress = params.Address(index);
  }
  if (instance_.general.separateCommonAddress != 0 &&
      ReadNumber(sfCA_.edit, sfCA_.low, sfCA_.high, value)) {
    work_.commonAddress = static_cast<std::uint8_t>(value);
  }
  if (tbObj_->currentRow() >= 0) {
    work_.editorRow = static_cast<std::uint32_t>(tbObj_->currentRow() + 1);
    work_.editorCol = static_cast<std::uint32_t>(std::max(tbObj_->currentColumn(), 1));
  }
}

bool TfmSeLi::FieldsValid() const {
  for (const NumberField* f : {&sfTypN_, &sfSend_, &sfAnzT_, &sfAnzO_, &sfWZt_}) {
    if (!f->valid) return false;
  }
  if (sfSbT_.edit->isVisibleTo(this) && !sfSbT_.valid) return false;
  if (sfCA_.edit->isVisibleTo(this) && !sfCA_.valid) return false;
  return invalidCells_.empty();
}

// --- the table -----------------------------------------------------------------

void TfmSeLi::FillTable() {
  invalidCells_.clear();
  for (int r = 0; r < kSendListRows; ++r) FillRow(r);
}

void TfmSeLi::SetCellText(int row, int column, const QString& text) {
  QTableWidgetItem* item = tbObj_->item(row, column);
  if (!item) return;
  const bool wasFilling = filling_;
  filling_ = true;
  item->setText(text);
  filling_ = wasFilling;
  MarkCell(row, column, true);
}

void TfmSeLi::FillRow(int r) {
  const SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  const bool wasFilling = filling_;
  filling_ = true;
  tbObj_->item(r, kColActive)->setCheckState(row.active == 1 ? Qt::Checked : Qt::Unchecked);
  filling_ = wasFilling;
  SetCellText(r, kColType, QString::number(row.typeId));
  SetCellText(r, kColCause, QString::number(row.cot));
  SetCellText(r, kColFun, QString::number(row.fun));
  SetCellText(r, kColInf, QString::number(row.inf));
  SetCellText(r, kColData1, Data1Text(row));
  SetCellText(r, kColData2, Data2Text(row));
  RefreshInfo(r);
}

void TfmSeLi::RefreshInfo(int r) {
  const SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  const std::uint32_t key = static_cast<std::uint32_t>(row.inf) |
                            (static_cast<std::uint32_t>(row.typeId) << 8) |
                            (static_cast<std::uint32_t>(row.fun) << 16);
  SetCellText(r, kColInfo, Q(std::string(instance_.infoTexts.NameByKey(key))).left(kMaxInfoText));
}

QString TfmSeLi::Data1Text(const SendListRow& row) const {
  const int index = instance_.knownTypes.IndexOf(row.typeId);
  if (DescribedByDpi(row.typeId)) {
    const std::string name =
        row.data1 <= 3 ? instance_.texts.Text(kTextDataNames + static_cast<int>(row.data1)) : "";
    return Q(NumberItem(static_cast<std::int32_t>(row.data1), name));
  }
  return Q(FormatDataValue(instance_.texts, index, row.data1, kDataDescriptionBase));
}

QString TfmSeLi::Data2Text(const SendListRow& row) const {
  const int index = instance_.knownTypes.IndexOf(row.typeId);
  return Q(FormatDataValue(instance_.texts, index, row.data2, kDataDescription2Base));
}

void TfmSeLi::MarkCell(int row, int column, bool valid) {
  QTableWidgetItem* item = tbObj_->item(row, column);
  if (!item) return;
  const bool wasFilling = filling_;
  filling_ = true;
  if (valid) {
    invalidCells_.erase({row, column});
    item->setData(Qt::BackgroundRole, QVariant());
    item->setData(Qt::ForegroundRole, QVariant());
  } else {
    invalidCells_.insert({row, column});
    item->setBackground(kErrorBackground);
    item->setForeground(QColor(Qt::black));
  }
  filling_ = wasFilling;
}

void TfmSeLi::OnCellChanged(QTableWidgetItem* item) {
  if (filling_ || !item) return;
  const int r = item->row();
  const int c = item->column();
  if (r < 0 || r >= kSendListRows) return;
  if (c == kColActive) {
    work_.rows[static_cast<std::size_t>(r)].active = item->checkState() == Qt::Checked ? 1 : 0;
    return;
  }
  if (!ReadCell(r, c, item->text())) {
    MarkCell(r, c, false);
    return;
  }
  const SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  switch (c) {
    case kColType:
      SetCellText(r, c, QString::number(row.typeId));
      BringRowIntoLine(r);
      break;
    case kColCause:
      SetCellText(r, c, QString::number(row.cot));
      break;
    case kColFun:
    case kColInf:
      SetCellText(r, c, QString::number(c == kColFun ? row.fun : row.inf));
      RefreshInfo(r);
      break;
    case kColData1:
      SetCellText(r, c, Data1Text(row));
      break;
    case kColData2:
      SetCellText(r, c, Data2Text(row));
      break;
    default:
      break;
  }
}

bool TfmSeLi::ReadCell(int r, int c, const QString& text) {
  SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  const TextTable& t = instance_.texts;
  const int index = instance_.knownTypes.IndexOf(row.typeId);
  bool ok = false;
  const int number = text.trimmed().toInt(&ok);
  switch (c) {
    case kColType:
      if (!ok || number < 1 || number > kMaxType || instance_.knownTypes.IndexOf(number) == 0) {
        return false;
      }
      row.typeId = static_cast<std::uint8_t>(number);
      return true;
    case kColCause:
      if (!ok || number < 1 || number > 255 || !t.CausePermitted(index, number % 64)) return false;
      row.cot = static_cast<std::uint8_t>(number);
      return true;
    case kColFun:
    case kColInf:
      if (!ok || number < 0 || number > 255) return false;
      (c == kColFun ? row.fun : row.inf) = static_cast<std::uint8_t>(number);
      return true;
    case kColData1:
    case kColData2: {
      if (text.size() > kMaxDataText) return false;
      const bool first = c == kColData1;
      const DataDescription d =
          DescribeDataValue(t, index, first ? kDataDescriptionBase : kDataDescription2Base);
      // A type without this value keeps what the row holds.
      if (d.kind == DataValueKind::None) return true;
      QString value = text;
      if (first && DescribedByDpi(row.typeId)) value = value.section(QLatin1Char('='), 0, 0);
      const std::optional<std::uint32_t> parsed = ParseDataValue(d, t, S(value));
      if (!parsed) return false;
      (first ? row.data1 : row.data2) = *parsed;
      return true;
    }
    default:
      return true;
  }
}

// After the type changed: data 1 into the new type's range, the cause one
// the type admits.
void TfmSeLi::BringRowIntoLine(int r) {
  SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  const TextTable& t = instance_.texts;
  const int index = instance_.knownTypes.IndexOf(row.typeId);
  const DataDescription d = DescribeDataValue(t, index, kDataDescriptionBase);
  if (d.IntegerKind() && d.hasRange) {
    const std::int64_t value = d.kind == DataValueKind::Decimal
                                   ? std::int64_t{static_cast<std::int32_t>(row.data1)}
                                   : std::int64_t{row.data1};
    if (value < d.low || value > d.high) row.data1 = d.high > kWideRangeHigh ? kWideRangeValue : 1;
  } else if (d.kind == DataValueKind::Float) {
    const double magnitude = std::fabs(static_cast<double>(std::bit_cast<float>(row.data1)));
    if (!(magnitude >= kFloatSmallest && magnitude <= kFloatLargest)) {
      row.data1 = std::bit_cast<std::uint32_t>(kFloatReset);
    }
  }
  if (!t.CausePermitted(index, row.cot % 64)) {
    const std::string_view causes = t.CauseSet(index);
    if (t.CausePermitted(index, 1)) {
      row.cot = 1;
    } else if (!causes.empty()) {
      row.cot = static_cast<std::uint8_t>(causes.front());
    }
  }
  SetCellText(r, kColType, QString::number(row.typeId));
  SetCellText(r, kColCause, QString::number(row.cot));
  SetCellText(r, kColData1, Data1Text(row));
  SetCellText(r, kColData2, Data2Text(row));
  RefreshInfo(r);
}

bool TfmSeLi::HasPicker(int r, int c) const {
  if (r < 0 || r >= kSendListRows) return false;
  if (c >= kColType && c <= kColInf) return true;
  return c == kColData1 && work_.rows[static_cast<std::size_t>(r)].typeId == kTypeOrder;
}

void TfmSeLi::OnRightClick(int r, int c, QPoint globalPosition) {
  if (HasPicker(r, c) && !rowsLocked_) {
    OnPickerRequested(r, c);
  } else {
    ShowEditMenu(globalPosition);
  }
}

void TfmSeLi::OnPickerRequested(int r, int c) {
  if (!HasPicker(r, c)) return;
  SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  PickerKind kind = PickerKind::TooCodes;
  int value = static_cast<int>(row.data1 & 0xFF);
  switch (c) {
    case kColType:
      kind = PickerKind::Types;
      value = row.typeId;
      break;
    case kColCause:
      kind = PickerKind::Causes;
      value = row.cot;
      break;
    case kColFun:
      kind = PickerKind::FunctionTypes;
      value = row.fun;
      break;
    case kColInf:
      kind = PickerKind::InfoNumbers;
      value = row.inf;
      break;
    default:
      break;
  }
  // Locked rows take nothing from the picker.
  if (rowsLocked_) return;
  tbObj_->EndEditing();
  const QRect cell = tbObj_->visualItemRect(tbObj_->item(r, c));
  const QPoint at = tbObj_->viewport()->mapToGlobal(cell.topRight());
  const std::uint32_t parameter = PickerParameter(row.typeId, row.cot, row.fun, row.inf);
  const int leaveOut = kind == PickerKind::Types ? kPickerLeaveOut : 0;
  if (RunTypePicker(this, at, instance_, kind, value, parameter, leaveOut) != TfmTyp::kChosen) {
    return;
  }
  // The choice goes through the cell as if typed, then the row is brought
  // into line as after a change of its type.
  tbObj_->item(r, c)->setText(QString::number(value));
  if (!invalidCells_.count({r, c})) BringRowIntoLine(r);
}

QString TfmSeLi::CellHint(int r, int c) const {
  const TextTable& t = instance_.texts;
  if (r < 0 || r >= kSendListRows) return {};
  const SendListRow& row = work_.rows[static_cast<std::size_t>(r)];
  const int index = instance_.knownTypes.IndexOf(row.typeId);
  switch (c) {
    case kColActive:
      return Text(kTextProgram);
    case kColType:
      return Text(kTextHintType);
    case kColCause:
      return Text(kTextHintCause);
    case kColFun:
    case kColInf:
      return Text(kTextHintNumber);
    case kColInfo:
      return Text(kTextInfoHint);
    case kColData1: {
      const std::string d = t.Text(kDataDescriptionBase + index);
      return Q(d.size() > 2 ? d.substr(2) : std::string());
    }
    case kColData2: {
      const std::string d = t.Text(kDataDescription2Base + index);
      QString hint = Q(d.size() > 2 ? d.substr(2) : std::string());
      // A value in per cent of the raw value that stands for 100 %.
      if (d.size() >= 15 && d[14] == '%') {
        hint += QStringLiteral("; ") + Text(kTextPercent) +
                QString::number(instance_.general.measurand100);
      }
      return hint;
    }
    default:
      return {};
  }
}

void TfmSeLi::ShowCellHint() {
  const QWidget* focus = QApplication::focusWidget();
  if (focus == tbObj_ || tbObj_->isAncestorOf(focus)) {
    ShowHint(CellHint(tbObj_->currentRow(), tbObj_->currentColumn()));
  }
}

void TfmSeLi::ShowHint(const QString& hint) {
  stbrSeLi_->showMessage(hint);
}

std::pair<int, int> TfmSeLi::SelectedRows() const {
  int first = kSendListRows, last = -1;
  for (const QTableWidgetSelectionRange& range : tbObj_->selectedRanges()) {
    first = std::min(first, range.topRow());
    last = std::max(last, range.bottomRow());
  }
  if (last < 0) {
    first = last = std::max(tbObj_->currentRow(), 0);
  }
  return {first, last};
}

void TfmSeLi::MoveCursor(int row, int column, bool toTop) {
  row = std::clamp(row, 0, kSendListRows - 1);
  tbObj_->setCurrentCell(row, column);
  if (toTop) {
    tbObj_->scrollToItem(tbObj_->item(row, column), QAbstractItemView::PositionAtTop);
  } else {
    tbObj_->scrollToItem(tbObj_->item(row, column));
  }
}

void TfmSeLi::FollowPass() {
  SendList copy = Stored();
  const std::uint32_t row = FindCurrentRow(copy);
  if (row == 0) return;
  MoveCursor(static_cast<int>(row) - 1, std::max(tbObj_->currentColumn(), 1), false);
}

void TfmSeLi::ShowEditMenu(QPoint globalPosition) {
  const QString clipboard = QApplication::clipboard()->text();
  miCut_->setEnabled(!rowsLocked_);
  miCopy_->setEnabled(true);
  miPaste_->setEnabled(!rowsLocked_ &&
                       ClipboardHoldsListRow(S(clipboard), SendSeparator(instance_.texts)));
  pmEdit_->popup(globalPosition);
}

void TfmSeLi::contextMenuEvent(QContextMenuEvent* event) {
  pmLoadSave_->popup(event->globalPos());
}

// --- clipboard ---------------------------------------------------------------

void TfmSeLi::miCopyClick() {
  tbObj_->EndEditing();
  const auto [first, last] = SelectedRows();
  const std::string text = CopyListRows(work_, first + 1, last + 1, SendSeparator(instance_.texts));
  QApplication::clipboard()->setText(Q(text));
}

void TfmSeLi::miCutClick() {
  if (rowsLocked_) return;
  miCopyClick();
  const auto [first, last] = SelectedRows();
  CutListRows(work_, first + 1, last + 1);
  FillTable();
  tbObj_->clearSelection();
  MoveCursor(first, kColActive, false);
}

void TfmSeLi::miPasteClick() {
  if (rowsLocked_) return;
  tbObj_->EndEditing();
  const int row = std::max(tbObj_->currentRow(), 0);
  const std::string text = S(QApplication::clipboard()->text());
  if (PasteListRows(work_, row + 1, text, SendSeparator(instance_.texts)) == 0) return;
  FillTable();
  MoveCursor(row, std::max(tbObj_->currentColumn(), 1), false);
}

// --- list files ----------------------------------------------------------------

void TfmSeLi::miLoadClick() {
  FileRequest request;
  request.caption = Text(kTextLoad);
  request.path = Q(instance_.dataDirectory);
  request.filter = DialogFilter(instance_.texts.Text(kTextFilter));
  request.defaultSuffix = Text(kTextExtension);
  const QString name = chooseFile(this, request);
  if (name.isEmpty()) return;
  // What the file does not hold stays as the operator typed it.
  tbObj_->EndEditing();
  ReadControls();
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListFile) return;
  const QByteArray content = file.readAll();
  SendList loaded = work_;
  if (!ReadListText(std::string_view(content.constData(), static_cast<std::size_t>(content.size())),
                    SendSeparator(instance_.texts), loaded)) {
    return;
  }
  work_ = loaded;
  instance_.sendContext.sendDataModified = true;
  ShowHeader();
  FillTable();
  MoveCursor(0, kColActive, true);
}

void TfmSeLi::miSaveClick() {
  if (!EndAndCheck()) return;
  FileRequest request;
  request.caption = Text(kTextSave);
  request.path = Q(instance_.dataDirectory) + Text(kTextFileName) + QString::number(n_) +
                 QLatin1Char('.') + Text(kTextExtension);
  request.filter = DialogFilter(instance_.texts.Text(kTextFilter));
  request.defaultSuffix = Text(kTextExtension);
  request.save = true;
  const QString chosen = chooseFile(this, request);
  if (chosen.isEmpty()) return;
  ReadControls();
  Commit();
  const std::string name = WithDefaultSuffix(chosen, request.defaultSuffix);
  const std::string text = WriteListText(work_, SendSeparator(instance_.texts));
  if (!ReplaceFile(name,
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
    ShowMessage(instance_, kTextNotCreated, MessageType::Error, MessageButtons::Ok, name);
  }
}

// --- leaving -------------------------------------------------------------------

bool TfmSeLi::EndAndCheck() {
  tbObj_->EndEditing();
  for (NumberField* f : Numbers()) ValidateNumber(*f);
  if (FieldsValid()) return true;
  // Show the first invalid cell.
  if (!invalidCells_.empty()) {
    const auto [r, c] = *invalidCells_.begin();
    MoveCursor(r, c, false);
  }
  return false;
}

void TfmSeLi::Commit() {
  CommitSendList(instance_.sendContext, n_, work_);
}

void TfmSeLi::btnOKClick() {
  if (!EndAndCheck()) return;
  work_.notifyWindow = 0;
  ReadControls();
  Commit();
  close();
}

void TfmSeLi::btnSendClick() {
  if (!EndAndCheck()) return;
  work_.notifyWindow = 1;
  ReadControls();
  Commit();
  Stored().currentRow = static_cast<std::uint32_t>(std::max(tbObj_->currentRow(), 0) + 1);
  OperatorStartList(instance_, n_);
  FocusByIndex();
}

void TfmSeLi::btnAbbrClick() {
  close();
}

void TfmSeLi::btnHelpClick() {
  OpenHelpPage(instance_, kHelpContext);
}

void TfmSeLi::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  tbObj_->EndEditing();
  ReadControls();
  // What the editor does not edit (the run of a list started with Send) is
  // no change.
  SendList stored = Stored();
  stored.sentCount = work_.sentCount;
  stored.SetCurrentRowCopy(work_.CurrentRowCopy());
  stored.time = work_.time;
  stored.su = work_.su;
  stored.notifyWindow = work_.notifyWindow;
  stored.replyInfo = work_.replyInfo;
  stored.replyKind = work_.replyKind;
  stored.vsq = work_.vsq;
  if (stored.SameContent(work_) || Confirm(instance_, kTextDiscard)) close();
}

void TfmSeLi::FocusByIndex() {
  const std::uint32_t index = work_.focusIndex;
  QWidget* target = tbObj_;
  if (index >= 1 && index <= focusOrder_.size()) {
    QWidget* control = focusOrder_[index - 1];
    if (control->isVisibleTo(this) && control->isEnabled()) target = control;
  }
  target->setFocus();
}

bool TfmSeLi::eventFilter(QObject* watched, QEvent* event) {
  const auto it = std::find(focusOrder_.begin(), focusOrder_.end(), watched);
  const bool control = it != focusOrder_.end();
  if (event->type() == QEvent::FocusIn) {
    if (control) {
      work_.focusIndex = static_cast<std::uint32_t>(it - focusOrder_.begin() + 1);
      if (watched == tbObj_) {
        ShowHint(CellHint(tbObj_->currentRow(), tbObj_->currentColumn()));
      } else if (qobject_cast<QComboBox*>(watched)) {
        ShowHint(Text(kTextProgram));
      } else {
        int label = 0;
        if (watched == sfBez_) label = kTextName;
        for (NumberField* f : Numbers()) {
          if (f->edit == watched) label = f->labelText;
        }
        ShowHint(Text(label + 1));
      }
    } else if (qobject_cast<QPushButton*>(watched)) {
      ShowHint(Text(kTextProgram));
    }
  } else if (event->type() == QEvent::KeyPress && control && watched != tbObj_) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      focusNextChild();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace kivo
