#include "ui/filter_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/instance.h"
#include "app/messages.h"
#include "asdu/type_items.h"
#include "log/log_filter.h"
#include "platform/clock.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"

namespace kivo {

namespace {

constexpr int kTextCaptionDisplay = 692;
constexpr int kTextCaptionLog = 693;
constexpr int kTextModeList = 694;      // label, item count, items (index = Mode)
constexpr int kTextOperatorList = 699;  // label, item count, items (index = Operator)
constexpr int kTextRowLabel = 703;      // + kind
constexpr int kTextLoad = 789;
constexpr int kTextSave = 790;
constexpr int kTextExtension = 791;
constexpr int kTextFileFilter = 792;
constexpr int kTextChannelName = 1175;  // + channel
constexpr int kTextValueHint = 1209;    // followed by the field's maximum
constexpr int kTextPickerHint = 1227;
constexpr int kTextTimeFrom = 1501;
constexpr int kTextTimeTo = 1502;
constexpr int kTextStatusItems = 1503;  // valid, faulty
constexpr int kTextReset = 1504;
constexpr int kTextNotAFilterFile = 1505;
constexpr int kTextControlHint = 1506;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kHelpContextDisplay = 6100;
constexpr int kHelpContextLog = 6300;
constexpr int kChannels = 4;
constexpr int kModeItems = 3;
// A filter file is proposed under this name in the data directory.
constexpr const char* kProposedName = "Filter";
// The picker opens this far left of the field it fills.
constexpr int kPickerLeftOfField = 240;
// The free types 128 and 129 close the known-type list; no frame carries them.
constexpr int kPickerLeaveOut = 2;

// A date-time as the log stores it: whole days and the milliseconds of the
// day, so that a limit taken from the log's first or last entry compares
// equal to that entry's time stamp.
QTime TimeOfDayNumber(double day) {
  if (!std::isfinite(day) || day < 0 || day > kLastDayNumber) return QTime(0, 0);
  const long long ms = std::llround((day - std::floor(day)) * kMillisecondsPerDay);
  return QTime(0, 0).addMSecs(static_cast<int>(std::clamp<long long>(ms, 0, 86399999)));
}
double DayNumberOf(const QDate& date, const QTime& time) {
  const double day = DayNumber(date.year(), date.month(), date.day());
  return day + time.msecsSinceStartOfDay() / kMillisecondsPerDay;
}

bool OpensPicker(std::uint32_t kind) {
  return kind == kKindType || kind == kKindCause || kind == kKindFunctionType ||
         kind == kKindInformationNumber;
}

QString RowName(const char* part, std::uint32_t kind) {
  return QStringLiteral("%1%2").arg(QLatin1String(part)).arg(kind);
}

}  // namespace

TfmFlt::TfmFlt(Instance& instance, bool logFilter, QWidget* parent)
    : QDialog(parent),
      instance_(instance),
      logFilter_(logFilter),
      work_(logFilter ? instance.general.logFilter : instance.general.displayFilter) {
  setObjectName("fmFlt");
  setModal(true);
  Normalise(work_);
  setProperty(kHelpContextProperty, HelpContext());
  BuildControls();
  LoadControls();
  // The control that had the focus when the dialog was last left with OK.
  const int last = static_cast<int>(work_.lastControl) - 1;
  const bool known =
      last >= 0 && last < static_cast<int>(focusItems_.size()) &&
      !qobject_cast<QPushButton*>(focusItems_[static_cast<std::size_t>(last)].control);
  const int focus = known ? last : 0;
  focusItems_[static_cast<std::size_t>(focus)].control->setFocus(Qt::OtherFocusReason);
  lastFocus_ = focus;
  stbrFlt_->showMessage(focusItems_[static_cast<std::size_t>(focus)].hint);
}

int TfmFlt::HelpContext() const {
  return logFilter_ ? kHelpContextLog : kHelpContextDisplay;
}

void TfmFlt::BuildControls() {
  const TextTable& t = instance_.texts;
  setWindowTitle(Q(t.Text(logFilter_ ? kTextCaptionLog : kTextCaptionDisplay)));
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  QString modeLabel, operatorLabel;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    CriterionRow& row = rows_[i];
    row.kind = kFirstCriterionKind + static_cast<std::uint32_t>(i);
    const bool first = i == 0;
    row.label = new QLabel(Q(t.Text(kTextRowLabel + static_cast<int>(row.kind))), this);
    row.mode = new QComboBox(this);
    row.mode->setObjectName(first ? QStringLiteral("cbTNr1") : RowName("cbMode", row.kind));
    modeLabel = FillComboFromTexts(row.mode, t, kTextModeList);
    row.value1 = new QLineEdit(this);
    row.value1->setObjectName(first ? QStringLiteral("sfdTNr1") : RowName("sfdValue1_", row.kind));
    row.operatorList = new QComboBox(this);
    row.operatorList->setObjectName(first ? QStringLiteral("cbTNr2")
                                          : RowName("cbOperator", row.kind));
    operatorLabel = FillComboFromTexts(row.operatorList, t, kTextOperatorList);
    row.value2 = new QLineEdit(this);
    row.value2->setObjectName(first ? QStringLiteral("sfdTNr2") : RowName("sfdValue2_", row.kind));
    const std::int32_t maximum = CriterionMaximum(row.kind);
    QString valueHint = Q(t.Text(kTextValueHint)) + QString::number(maximum);
    if (row.kind == kKindType || row.kind == kKindCause) valueHint += Q(t.Text(kTextPickerHint));
    const int width =
        row.value1->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16;
    for (QLineEdit* field : {row.value1, row.value2}) {
      field->setMaxLength(11);
      field->setFixedWidth(width);
      field->setAlignment(Qt::AlignRight);
      connect(field, &QLineEdit::textChanged, this,
              [this, field, kind = row.kind] { ValidateField(field, kind); });
    }
    const int at = static_cast<int>(i) + 1;
    grid->addWidget(row.label, at, 0);
    grid->addWidget(row.mode, at, 1);
    grid->addWidget(row.value1, at, 2);
    grid->addWidget(row.operatorList, at, 3);
    grid->addWidget(row.value2, at, 4);
    focusItems_.push_back({row.mode, modeLabel});
    focusItems_.push_back({row.value1, valueHint});
    focusItems_.push_back({row.operatorList, operatorLabel});
    focusItems_.push_back({row.value2, valueHint});
  }
  grid->addWidget(new QLabel(modeLabel, this), 0, 1);
  grid->addWidget(new QLabel(operatorLabel, this), 0, 3);
  grid->setColumnStretch(5, 1);

  const QString controlHint = Q(t.Text(kTextControlHint));
  auto checkList = [this](const char* name, const std::vector<std::string>& items) {
    auto* list = new QListWidget(this);
    list->setObjectName(name);
    for (const std::string& text : items) {
      auto* item = new QListWidgetItem(Q(text), list);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
      item->setCheckState(Qt::Unchecked);
    }
    const int rowHeight = list->sizeHintForRow(0) > 0 ? list->sizeHintForRow(0) : 18;
    list->setFixedHeight(rowHeight * list->count() + 2 * list->frameWidth() + 4);
    list->setFixedWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 12);
    return list;
  };
  std::vector<std::string> channelNames;
  for (int channel = 1; channel <= kChannels; ++channel) {
    channelNames.push_back(t.Text(kTextChannelName + channel));
  }
  chlbTKen_ = checkList("chlbTKen", channelNames);
  std::vector<std::string> statusNames = t.List(kTextStatusItems);
  statusNames.resize(2);
  chlbStat_ = checkList("chlbStat", statusNames);

  auto timeRow = [this](const char* check, const char* date, const char* time, int text,
                        QCheckBox*& box, QDateEdit*& dateEdit, QTimeEdit*& timeEdit) {
    box = new QCheckBox(Q(instance_.texts.Text(text)), this);
    box->setObjectName(check);
    dateEdit = new QDateEdit(this);
    dateEdit->setObjectName(date);
    dateEdit->setDateRange(kDayZero, QDate(9999, 12, 31));
    dateEdit->setCalendarPopup(true);
    timeEdit = new QTimeEdit(this);
    timeEdit->setObjectName(time);
    // Milliseconds too: a limit at the log's last entry must not cut off the
    // entries of its last second.
    timeEdit->setDisplayFormat(QStringLiteral("HH:mm:ss.zzz"));
  };
  timeRow("chbVon", "dtVon", "tmVon", kTextTimeFrom, chbVon_, dtVon_, tmVon_);
  timeRow("chbBis", "dtBis", "tmBis", kTextTimeTo, chbBis_, dtBis_, tmBis_);
  auto* times = new QGridLayout;
  times->addWidget(chbVon_, 0, 0);
  times->addWidget(dtVon_, 0, 1);
  times->addWidget(tmVon_, 0, 2);
  times->addWidget(chbBis_, 1, 0);
  times->addWidget(dtBis_, 1, 1);
  times->addWidget(tmBis_, 1, 2);
  times->setRowStretch(2, 1);
  for (QWidget* control : std::initializer_list<QWidget*>{chlbTKen_, chlbStat_, chbVon_, dtVon_,
                                                          tmVon_, chbBis_, dtBis_, tmBis_}) {
    focusItems_.push_back({control, controlHint});
  }
  auto* lower = new QHBoxLayout;
  lower->addWidget(chlbTKen_, 0, Qt::AlignTop);
  lower->addWidget(chlbStat_, 0, Qt::AlignTop);
  lower->addSpacing(12);
  lower->addLayout(times);
  lower->addStretch(1);

  miLoad_ = new QAction(Q(t.Text(kTextLoad)), this);
  miLoad_->setObjectName("miLoad");
  miSave_ = new QAction(Q(t.Text(kTextSave)), this);
  miSave_->setObjectName("miSave");
  pmFlt_ = new QMenu(this);
  pmFlt_->setObjectName("pmFlt");
  pmFlt_->addAction(miLoad_);
  pmFlt_->addAction(miSave_);
  connect(miLoad_, &QAction::triggered, this, &TfmFlt::miLoadClick);
  connect(miSave_, &QAction::triggered, this, &TfmFlt::miSaveClick);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmFlt_->popup(mapToGlobal(at)); });

  btnOK_ = NamedButton(this, "btnOK");
  btnOK_->setText(Q(t.Text(kTextOk)));
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnAbbr_->setText(Q(t.Text(kTextCancel)));
  btnHelp_ = NamedButton(this, "btnHelp");
  btnHelp_->setText(Q(t.Text(kTextHelp)));
  btnHelp_->setEnabled(HelpAvailable(instance_));
  btnReset_ = NamedButton(this, "btnReset");
  btnReset_->setText(Q(t.Text(kTextReset)));
  connect(btnOK_, &QPushButton::clicked, this, &TfmFlt::btnOKClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnHelp_, &QPushButton::clicked, this, &TfmFlt::btnHelpClick);
  connect(btnReset_, &QPushButton::clicked, this, &TfmFlt::btnResetClick);
  auto* buttons = new QHBoxLayout;
  // The file commands of the pop-up menu, also within reach of the mouse.
  for (QAction* action : {miLoad_, miSave_}) {
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setObjectName(action->objectName() == "miLoad" ? "tbtnLoad" : "tbtnSave");
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  for (QPushButton* button : {btnOK_, btnAbbr_, btnReset_, btnHelp_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
    focusItems_.push_back({button, controlHint});
  }
  stbrFlt_ = HintBar(this, "stbrFlt");

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addLayout(lower);
  // The buttons half a row below the last row.
  layout->addSpacing(rows_[0].mode->sizeHint().height() / 2);
  layout->addLayout(buttons);
  layout->addWidget(stbrFlt_);
  for (const FocusItem& item : focusItems_) item.control->installEventFilter(this);
  for (QWidget* edit : {static_cast<QWidget*>(dtVon_), static_cast<QWidget*>(tmVon_),
                        static_cast<QWidget*>(dtBis_), static_cast<QWidget*>(tmBis_)}) {
    // The spin boxes hand Enter to their line edit first.
    for (QLineEdit* inner : edit->findChildren<QLineEdit*>()) inner->installEventFilter(this);
  }
}

void TfmFlt::LoadControls() {
  const TLogIndex& index = instance_.logStore.Index();
  const bool empty = index.firstSeqNo == 0 && index.lastSeqNo == 0;
  const std::int64_t entries = empty ? 0 : std::int64_t{index.lastSeqNo} - index.firstSeqNo + 1;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const TFilterCriterion& c = work_.criteria[i];
    const CriterionRow& row = rows_[i];
    row.mode->setCurrentIndex(static_cast<int>(std::min<std::uint32_t>(c.mode, kModeItems - 1)));
    row.operatorList->setCurrentIndex(c.operatorCode == kOperatorEqual ||
                                              c.operatorCode == kOperatorEither
                                          ? static_cast<int>(c.operatorCode)
                                          : static_cast<int>(kOperatorRange));
    // A telegram number that is not tested offers the whole log.
    const bool wholeLog = row.kind == kKindTelegramNumber && c.mode == kModeOff;
    row.value1->setText(QString::number(wholeLog ? 1 : c.value1));
    row.value2->setText(QString::number(wholeLog ? entries : c.value2));
  }
  // A limit that is not tested shows where the log begins or ends; an empty
  // log shows today.
  const LocalTime now = instance_.platform.clock.Now();
  const double today =
      DayNumber(now.year, now.month, now.day) + now.MillisecondsOfDay() / kMillisecondsPerDay;
  const double from = work_.timeFromActive ? work_.timeFrom : (empty ? today : index.firstTime);
  const double to = work_.timeToActive ? work_.timeTo : (empty ? today : index.lastTime);
  chbVon_->setChecked(work_.timeFromActive != 0);
  dtVon_->setDate(DateOfDayNumber(from));
  tmVon_->setTime(TimeOfDayNumber(from));
  chbBis_->setChecked(work_.timeToActive != 0);
  dtBis_->setDate(DateOfDayNumber(to));
  tmBis_->setTime(TimeOfDayNumber(to));
  chlbStat_->item(0)->setCheckState(work_.showValid ? Qt::Checked : Qt::Unchecked);
  chlbStat_->item(1)->setCheckState(work_.showFaulty ? Qt::Checked : Qt::Unchecked);
  for (int channel = 0; channel < kChannels; ++channel) {
    chlbTKen_->item(channel)->setCheckState((work_.channels >> channel) & 1 ? Qt::Checked
                                                                            : Qt::Unchecked);
  }
}

bool TfmFlt::FieldValid(const QLineEdit* field, std::uint32_t kind) const {
  bool ok = false;
  const qlonglong value = field->text().trimmed().toLongLong(&ok);
  return ok && value >= 0 && value <= CriterionMaximum(kind);
}

void TfmFlt::ValidateField(QLineEdit* field, std::uint32_t kind) {
  ShowValidity(field, FieldValid(field, kind));
}

bool TfmFlt::FieldsValid() const {
  return std::all_of(rows_.begin(), rows_.end(), [this](const CriterionRow& row) {
    return FieldValid(row.value1, row.kind) && FieldValid(row.value2, row.kind);
  });
}

std::optional<TLogFilter> TfmFlt::StoreControls() {
  for (const CriterionRow& row : rows_) {
    for (QLineEdit* field : {row.value1, row.value2}) {
      if (FieldValid(field, row.kind)) continue;
      ShowValidity(field, false);
      field->setFocus(Qt::OtherFocusReason);
      field->selectAll();
      QApplication::beep();
      return std::nullopt;
    }
  }
  TLogFilter f = work_;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const CriterionRow& row = rows_[i];
    TFilterCriterion& c = f.criteria[i];
    c.mode = static_cast<std::uint32_t>(std::max(row.mode->currentIndex(), 0));
    c.operatorCode = static_cast<std::uint32_t>(std::max(row.operatorList->currentIndex(), 0));
    c.value1 = row.value1->text().trimmed().toInt();
    c.value2 = row.value2->text().trimmed().toInt();
  }
  f.timeFromActive = chbVon_->isChecked() ? 1 : 0;
  f.timeToActive = chbBis_->isChecked() ? 1 : 0;
  f.timeFrom = DayNumberOf(dtVon_->date(), tmVon_->time());
  f.timeTo = DayNumberOf(dtBis_->date(), tmBis_->time());
  f.showValid = chlbStat_->item(0)->checkState() == Qt::Checked ? 1 : 0;
  f.showFaulty = chlbStat_->item(1)->checkState() == Qt::Checked ? 1 : 0;
  f.channels = 0;
  for (int channel = 0; channel < kChannels; ++channel) {
    if (chlbTKen_->item(channel)->checkState() == Qt::Checked) f.channels |= 1u << channel;
  }
  Normalise(f);
  return f;
}

void TfmFlt::btnOKClick() {
  std::optional<TLogFilter> taken = StoreControls();
  if (!taken) return;
  work_ = *taken;
  work_.lastControl = lastFocus_ >= 0 ? static_cast<std::uint32_t>(lastFocus_ + 1) : 0;
  accept();
}

void TfmFlt::btnResetClick() {
  work_ = NormalisedFilter();
  LoadControls();
}

void TfmFlt::btnHelpClick() {
  OpenHelpPage(instance_, HelpContext());
}

FileRequest TfmFlt::FilterFileRequest(bool save) const {
  const TextTable& t = instance_.texts;
  FileRequest request;
  request.caption = Q(t.Text(save ? kTextSave : kTextLoad));
  request.defaultSuffix = Q(t.Text(kTextExtension));
  request.path = Q(instance_.dataDirectory + kProposedName) + "." + request.defaultSuffix;
  request.filter = DialogFilter(t.Text(kTextFileFilter));
  request.save = save;
  return request;
}

void TfmFlt::miLoadClick() {
  const QString chosen = chooseFile(this, FilterFileRequest(false));
  if (chosen.isEmpty()) return;
  TLogFilter loaded = work_;
  if (!ReadFilterFile(S(chosen), loaded)) {
    ShowMessage(instance_, kTextNotAFilterFile, MessageType::Error, MessageButtons::Ok, S(chosen));
    return;
  }
  Normalise(loaded);
  work_ = loaded;
  LoadControls();
}

void TfmFlt::miSaveClick() {
  // What OK would refuse is not written either.
  std::optional<TLogFilter> taken = StoreControls();
  if (!taken) return;
  const FileRequest request = FilterFileRequest(true);
  const QString chosen = chooseFile(this, request);
  if (chosen.isEmpty()) return;
  work_ = *taken;
  WriteFilterFile(WithDefaultSuffix(chosen, request.defaultSuffix), work_);
}

const TfmFlt::CriterionRow* TfmFlt::RowOfField(const QObject* field) const {
  for (const CriterionRow& row : rows_) {
    if (row.value1 == field || row.value2 == field) return &row;
  }
  return nullptr;
}

void TfmFlt::RunPicker(QLineEdit* field, std::uint32_t kind) {
  // The cause list is that of the type in the type row, the information
  // numbers those of the function type in the function-type row.
  const int typ = rows_[kKindType - kFirstCriterionKind].value1->text().trimmed().toInt();
  const int fun = rows_[kKindFunctionType - kFirstCriterionKind].value1->text().trimmed().toInt();
  int value = field->text().trimmed().toInt();
  PickerKind picker = PickerKind::Types;
  std::uint32_t parameter = 0;
  int leaveOut = 0;
  switch (kind) {
    case kKindType:
      parameter = PickerParameter(value, 0, 0, 0);
      leaveOut = kPickerLeaveOut;
      break;
    case kKindCause:
      picker = PickerKind::Causes;
      parameter = PickerParameter(typ, value, 0, 0);
      break;
    case kKindFunctionType:
      picker = PickerKind::FunctionTypes;
      parameter = PickerParameter(0, 0, value, 0);
      break;
    default:
      picker = PickerKind::InfoNumbers;
      parameter = PickerParameter(0, 0, fun, value);
      break;
  }
  const QPoint at = field->mapToGlobal(QPoint(-kPickerLeftOfField, 0));
  if (RunTypePicker(this, at, instance_, picker, value, parameter, leaveOut) == TfmTyp::kChosen) {
    field->setText(QString::number(value));
  }
  field->setFocus(Qt::OtherFocusReason);
}

int TfmFlt::FocusIndexOf(const QObject* control) const {
  for (std::size_t i = 0; i < focusItems_.size(); ++i) {
    const QWidget* item = focusItems_[i].control;
    if (item == control || (control && item->isAncestorOf(qobject_cast<const QWidget*>(control)))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TfmFlt::FocusNext(int index) {
  const std::size_t next = (static_cast<std::size_t>(index) + 1) % focusItems_.size();
  focusItems_[next].control->setFocus(Qt::TabFocusReason);
}

bool TfmFlt::eventFilter(QObject* watched, QEvent* event) {
  const int index = FocusIndexOf(watched);
  if (index >= 0) {
    const FocusItem& item = focusItems_[static_cast<std::size_t>(index)];
    const CriterionRow* row = RowOfField(watched);
    const bool picks = row && OpensPicker(row->kind);
    switch (event->type()) {
      case QEvent::FocusIn:
        if (!qobject_cast<QPushButton*>(item.control)) lastFocus_ = index;
        stbrFlt_->showMessage(item.hint);
        break;
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_F12 && picks) {
          RunPicker(static_cast<QLineEdit*>(watched), row->kind);
          return true;
        }
        // Enter moves on, except on the buttons, which it presses; an open
        // list of a combo box takes it itself.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            !qobject_cast<QPushButton*>(item.control)) {
          FocusNext(index);
          return true;
        }
        break;
      }
      case QEvent::MouseButtonDblClick:
        if (picks) {
          RunPicker(static_cast<QLineEdit*>(watched), row->kind);
          return true;
        }
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool RunFilterDialog(QWidget* mainWindow, Instance& instance, bool logFilter) {
  TfmFlt dialog(instance, logFilter, mainWindow);
  PlaceCentredOverMain(&dialog, mainWindow);
  if (dialog.exec() != QDialog::Accepted) return false;
  TLogFilter& target = logFilter ? instance.general.logFilter : instance.general.displayFilter;
  target = dialog.Filter();
  EnableWhenRestricting(target);
  return true;
}

}  // namespace kivo
