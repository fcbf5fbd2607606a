#include "ui/send_telegram_editor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/instance.h"
#include "app/messages.h"
#include "app/send_commands.h"
#include "asdu/text_format.h"
#include "asdu/type_items.h"
#include "send/data_values.h"
#include "send/send_execution.h"
#include "send/send_telegram.h"
#include "send/send_text_files.h"
#include "ui/editor_support.h"
#include "ui/type_picker.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kTextCaption = 1188;  // then n, then text 1189
constexpr int kTextCaptionEnd = 1189;
constexpr int kTextName = 794;
constexpr int kTextTrigger = 856;
constexpr int kTextTriggerType = 848;
constexpr int kTextTriggerMinute = 723;
constexpr int kTextPort = 493;
constexpr int kTextCount = 830;
constexpr int kTextPause = 853;
constexpr int kTextService = 796;
constexpr int kTextSecondaryService = 844;
constexpr int kTextLinkAddress = 841;          // the common address follows it
constexpr int kTextSeparateLinkAddress = 590;  // the common address is separate
constexpr int kTextCommonAddress = 835;
constexpr int kTextType = 490;
constexpr int kTextCause = 492;
constexpr int kTextFunInf = 838;
constexpr int kTextDataLabels = 729;  // + type index
constexpr int kTextTime = 822;
constexpr int kTextTimeHint = 823;
constexpr int kTextDate = 825;
constexpr int kTextDateHint = 826;
constexpr int kTextWeekday = 362;
constexpr int kTextIvSu = 363;
constexpr int kTextMeasuredValue = 760;  // + 0..8
constexpr int kTextMeasuredHint = 769;
constexpr int kTextMeasuredRows = 770;  // 770 and 771
constexpr int kTextNoDisturbances = 579;
constexpr int kTextSend = 675;  // OK, Cancel, Help follow
constexpr int kTextControlHint = 502;
constexpr int kTextDiscard = 1165;
constexpr int kTextLoad = 1338;
constexpr int kTextSave = 1339;
constexpr int kTextFilter = 1067;
constexpr int kTextExtension = 1337;
constexpr int kTextProposedName = 1127;
constexpr int kTextNotCreated = 1217;
constexpr int kHelpContext = 5100;

constexpr std::size_t kNameLength = SendHeader::kNameSize - 1;
constexpr std::uint8_t kTypeIdentification = 5;
constexpr std::uint8_t kTypeRecordedDisturbances = 23;
constexpr std::uint8_t kTypeOrder = 24;
// The identification of a type 5 telegram that has none yet.
constexpr char kDefaultIdentification[] = "Orvanta8    ";
constexpr int kMeasuredLow = -4096;
constexpr int kMeasuredHigh = 4095;
constexpr int kMemoOctetsPerLine = 16;
// A single-telegram file is three short lines; anything far larger is not one.
constexpr qint64 kMaxTelegramFile = 1 << 16;

// The rows below the information number that a type shows.
struct TypeLayout {
  bool header = true;  // cause, function type and information number
  bool date = false;
  bool time = false;
  int data3Label = 0;  // 0: not shown
  int data4Label = 0;
  int data2Label = 0;
  bool measured = false;
  int memoRows = 0;  // 0: no memo
};

TypeLayout LayoutOf(int type) {
  TypeLayout l;
  switch (type) {
    case 1:
      l.time = true, l.data2Label = 496;
      break;
    case 2:
      l.time = true, l.data3Label = 576, l.data4Label = 573, l.data2Label = 496;
      break;
    case 3:
    case 9:
      l.measured = true;
      break;
    case 4:
      l.time = true, l.data3Label = 576, l.data4Label = 573;
      break;
    case kTypeIdentification:
      l.memoRows = 2;
      break;
    case 6:
      l.date = true, l.time = true;
      break;
    case 10:
    case 11:
    case 21:
      l.memoRows = 5;
      break;
    case 20:
      l.data2Label = 593;
      break;
    case kTypeRecordedDisturbances:
      l.memoRows = 4;
      break;
    case kTypeOrder:
      l.data3Label = 597, l.data4Label = 573, l.data2Label = 595;
      break;
    case kTypeFreeAsdu:
    case kTypeFreeOctets:
      l.header = false, l.memoRows = 7;
      break;
    default:
      break;
  }
  return l;
}

// Whole seconds of a time of day given as a fraction of a day.
int SecondsOfTime(double time) {
  if (!std::isfinite(time) || time <= 0) return 0;
  const double fraction = time - std::floor(time);
  const long long ms = std::llround(fraction * kMillisecondsPerDay);
  return static_cast<int>((ms / 1000) % 86400);
}

// A measured value as the operator writes it: v, or v, one blank and the
// quality q; v -4096 to 4095, q 0 to 7; empty stands for 0.
std::optional<std::uint16_t> ParseMeasuredValue(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return std::uint16_t{0};
  static const QRegularExpression form(QStringLiteral("^([-+]?[0-9]{1,5})(?: ([0-7]))?$"));
  const QRegularExpressionMatch match = form.match(t);
  if (!match.hasMatch()) return std::nullopt;
  const int v = match.captured(1).toInt();
  const int q = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
  if (v < kMeasuredLow || v > kMeasuredHigh) return std::nullopt;
  return static_cast<std::uint16_t>(v * 8 + q);
}

QString FormatMeasuredValue(std::uint16_t stored) {
  const int v = static_cast<std::int16_t>(stored) >> 3;
  const int q = stored & 7;
  return q == 0 ? QString::number(v) : QStringLiteral("%1 %2").arg(v).arg(q);
}

QString MemoText(std::span<const std::uint8_t> octets) {
  return Q(FormatOctetMemo(octets)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void SetShown(std::initializer_list<QWidget*> widgets, bool shown) {
  for (QWidget* w : widgets) w->setVisible(shown);
}

void CallApplyShortcuts(QWidget* mainWindow) {
  // The main window takes F12 from its filter action while a send editor is
  // open, so that F12 reaches the picker.
  if (mainWindow && mainWindow->metaObject()->indexOfMethod("ApplyShortcuts()") >= 0) {
    QMetaObject::invokeMethod(mainWindow, "ApplyShortcuts");
  }
}

}  // namespace

TfmSeTe::TfmSeTe(QWidget* mainWindow, Instance& instance, int n, const SendTelegram& telegram)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowStaysOnTopHint),
      instance_(instance),
      mainWindow_(mainWindow),
      n_(n),
      work_(telegram) {
  setObjectName("fmSeTe");
  setProperty(kHelpContextProperty, kHelpContext);
  setAttribute(Qt::WA_DeleteOnClose);
  BuildControls();
  LabelControls();
  FillControls();
  ConnectControls();
  ReadControls();
  shown_ = work_;
  RestoreFocus();
}

void TfmSeTe::BuildControls() {
  auto* outer = new QVBoxLayout(this);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  outer->addLayout(grid);

  auto addFocus = [this](QWidget* control, int hintText) {
    control->installEventFilter(this);
    focusItems_.push_back({control, hintText});
  };
  auto label = [this](QWidget* buddy) {
    auto* l = new QLabel(this);
    l->setBuddy(buddy);
    return l;
  };
  auto number = [&](NumberField& field, const char* name, long low, long high, int digits) {
    field.edit = new QLineEdit(this);
    field.edit->setObjectName(name);
    field.edit->setMaxLength(12);
    field.edit->setFixedWidth(field.edit->fontMetrics().horizontalAdvance(QString(digits, '0')) +
                              16);
    field.label = label(field.edit);
    field.label->setObjectName(QStringLiteral("lbl") + QLatin1String(name + 2));
    field.low = low, field.high = high;
  };
  auto combo = [this](const char* name) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
  };
  auto row = [](std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch(1);
    return layout;
  };

  sfBez_ = new QLineEdit(this);
  sfBez_->setObjectName("sfBez");
  sfBez_->setMaxLength(static_cast<int>(kNameLength));
  auto* lblBez = label(sfBez_);
  lblBez->setObjectName("lblBez");
  grid->addWidget(lblBez, 0, 0);
  grid->addWidget(sfBez_, 0, 1, 1, 3);
  addFocus(sfBez_, kTextName + 1);

  cbAnst_ = combo("cbAnst");
  auto* lblAnst = label(cbAnst_);
  lblAnst->setObjectName("lblAnst");
  number(sfTypN_, "sfTypN", 0, 255, 4);
  lblTypN_ = sfTypN_.label;
  grid->addWidget(lblAnst, 1, 0);
  grid->addWidget(cbAnst_, 1, 1);
  grid->addWidget(lblTypN_, 1, 2);
  grid->addWidget(sfTypN_.edit, 1, 3);
  addFocus(cbAnst_, kTextControlHint);
  addFocus(sfTypN_.edit, kTextTriggerType + 1);

  number(sfAnzT_, "sfAnzT", 0, 100000, 7);
  number(sfWZt_, "sfWZt", 0, 1000000, 8);
  grid->addWidget(sfAnzT_.label, 2, 0);
  grid->addWidget(sfAnzT_.edit, 2, 1);
  grid->addWidget(sfWZt_.label, 2, 2);
  grid->addWidget(sfWZt_.edit, 2, 3);
  addFocus(sfAnzT_.edit, kTextCount + 1);
  addFocus(sfWZt_.edit, kTextPause + 1);

  number(sfSend_, "sfSend", 1, 2, 3);
  cbUeb_ = combo("cbUeb");
  lblUeb_ = label(cbUeb_);
  grid->addWidget(sfSend_.label, 3, 0);
  grid->addWidget(sfSend_.edit, 3, 1);
  grid->addWidget(lblUeb_, 3, 2);
  grid->addWidget(cbUeb_, 3, 3);
  addFocus(sfSend_.edit, kTextPort + 1);
  addFocus(cbUeb_, kTextControlHint);

  cbLA_ = combo("cbLA");
  cbLA_->setMinimumContentsLength(4);
  lblLA_ = label(cbLA_);
  lblLA_->setObjectName("lblLA");
  number(sfCA_, "sfCA", 0, 255, 4);
  grid->addWidget(lblLA_, 4, 0);
  grid->addWidget(cbLA_, 4, 1);
  grid->addWidget(sfCA_.label, 4, 2);
  grid->addWidget(sfCA_.edit, 4, 3);
  addFocus(cbLA_, kTextControlHint);
  addFocus(sfCA_.edit, kTextCommonAddress + 1);

  cbTyp_ = combo("cbTyp");
  cbTyp_->setMaxVisibleItems(20);
  lblTyp_ = label(cbTyp_);
  lblTyp_->setObjectName("lblTyp");
  grid->addWidget(lblTyp_, 5, 0);
  grid->addWidget(cbTyp_, 5, 1, 1, 3);
  addFocus(cbTyp_, kTextControlHint);

  cbUrs_ = combo("cbUrs");
  lblUrs_ = label(cbUrs_);
  lblUrs_->setObjectName("lblUrs");
  grid->addWidget(lblUrs_, 6, 0);
  grid->addWidget(cbUrs_, 6, 1, 1, 3);
  addFocus(cbUrs_, kTextControlHint);

  number(sfFTyp_, "sfFTyp", 0, 255, 4);
  number(sfINr_, "sfINr", 0, 255, 4);
  lblFun_ = sfFTyp_.label;
  sfINr_.label->hide();  // one label for both
  sfData_ = new QLineEdit(this);
  sfData_->setObjectName("sfData");
  sfData_->setFixedWidth(sfData_->fontMetrics().horizontalAdvance(QString(16, '0')) + 16);
  udData_ = new QWidget(this);
  udData_->setObjectName("udData");
  {
    auto* arrows = new QVBoxLayout(udData_);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    for (int step : {1, -1}) {
      auto* arrow = new QToolButton(udData_);
      arrow->setObjectName(step > 0 ? "udDataUp" : "udDataDown");
      arrow->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
      arrow->setAutoRepeat(true);
      arrow->setFocusPolicy(Qt::NoFocus);
      arrow->setFixedSize(18, sfData_->sizeHint().height() / 2);
      connect(arrow, &QToolButton::clicked, this, [this, step] { StepData(step); });
      arrows->addWidget(arrow);
    }
  }
  lblData_ = label(sfData_);
  lblData_->setObjectName("lblData");
  grid->addWidget(lblFun_, 7, 0);
  grid->addLayout(row({sfFTyp_.edit, sfINr_.edit}), 7, 1);
  grid->addWidget(lblData_, 7, 2);
  grid->addLayout(row({sfData_, udData_}), 7, 3);
  addFocus(sfFTyp_.edit, kTextFunInf + 1);
  addFocus(sfINr_.edit, kTextFunInf + 1);
  addFocus(sfData_, 0);

  edDate_ = new QDateEdit(this);
  edDate_->setObjectName("edDate");
  edDate_->setDisplayFormat("yyyy-MM-dd");
  edDate_->setDateRange(kDayZero, QDate(9999, 12, 31));
  edDate_->setCalendarPopup(true);
  // Day zero stands for the date of sending: shown empty, not as 1899.
  edDate_->setSpecialValueText(QStringLiteral(" "));
  lblDate_ = label(edDate_);
  lblDate_->setObjectName("lblDate");
  cbWT_ = new QCheckBox(this);
  cbWT_->setObjectName("cbWT");
  grid->addWidget(lblDate_, 8, 0);
  grid->addWidget(edDate_, 8, 1);
  grid->addWidget(cbWT_, 8, 2, 1, 2);

  edZeit_ = new QTimeEdit(this);
  edZeit_->setObjectName("edZeit");
  edZeit_->setDisplayFormat("HH:mm:ss");
  lblZeit_ = label(edZeit_);
  lblZeit_->setObjectName("lblZeit");
  number(sfZtMs_, "sfZtMs", 0, 999, 4);
  sfZtMs_.label->hide();  // the milliseconds stand beside the time
  chlbIV_ = new QListWidget(this);
  chlbIV_->setObjectName("chlbIV");
  chlbIV_->setFlow(QListView::LeftToRight);
  chlbIV_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  chlbIV_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->addWidget(lblZeit_, 9, 0);
  grid->addLayout(row({edZeit_, sfZtMs_.edit}), 9, 1);
  grid->addWidget(chlbIV_, 9, 2, 1, 2);
  // The focus order follows the table of the rows: time, then date.
  addFocus(chlbIV_, kTextControlHint);
  addFocus(edZeit_, kTextTimeHint);
  addFocus(sfZtMs_.edit, kTextTimeHint);
  addFocus(edDate_, kTextDateHint);
  addFocus(cbWT_, kTextControlHint);

  number(sfData3_, "sfData3", 0, 65535, 6);
  number(sfData4_, "sfData4", 0, 65535, 6);
  number(sfData2_, "sfData2", 0, 255, 4);
  grid->addWidget(sfData3_.label, 10, 0);
  grid->addWidget(sfData3_.edit, 10, 1);
  grid->addWidget(sfData4_.label, 10, 2);
  grid->addWidget(sfData4_.edit, 10, 3);
  grid->addWidget(sfData2_.label, 11, 0);
  grid->addWidget(sfData2_.edit, 11, 1);
  addFocus(sfData3_.edit, 0);
  addFocus(sfData4_.edit, 0);
  addFocus(sfData2_.edit, 0);

  // Three rows of three measured values, each row with its label.
  mwBox_ = new QWidget(this);
  mwBox_->setObjectName("mwBox");
  {
    auto* values = new QGridLayout(mwBox_);
    values->setContentsMargins(0, 0, 0, 0);
    for (int r = 0; r < 2; ++r) {
      auto* rowLabel = new QLabel(mwBox_);
      rowLabel->setObjectName(QStringLiteral("lblMw%1").arg(r + 1));
      values->addWidget(rowLabel, r, 0);
    }
    for (int i = 0; i < 9; ++i) {
      auto* edit = new QLineEdit(mwBox_);
      edit->setObjectName(QStringLiteral("sfMw%1").arg(i + 1));
      edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(8, '0')) + 16);
      auto* valueLabel = new QLabel(mwBox_);
      valueLabel->setObjectName(QStringLiteral("lblMwValue%1").arg(i + 1));
      valueLabel->setBuddy(edit);
      values->addWidget(valueLabel, i / 3, 1 + 2 * (i % 3), Qt::AlignRight);
      values->addWidget(edit, i / 3, 2 + 2 * (i % 3));
      sfMw_[static_cast<std::size_t>(i)] = edit;
      addFocus(edit, kTextMeasuredHint);
    }
    values->setColumnStretch(7, 1);
  }
  grid->addWidget(mwBox_, 12, 0, 1, 4);

  Memo_ = new QPlainTextEdit(this);
  Memo_->setObjectName("Memo");
  Memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_->setTabChangesFocus(true);
  Memo_->setFixedWidth(
      QFontMetrics(Memo_->font()).horizontalAdvance(QString(3 * kMemoOctetsPerLine + 1, '0')) +
      2 * Memo_->frameWidth() + 24);
  grid->addWidget(Memo_, 13, 0, 1, 4);
  addFocus(Memo_, kTextControlHint);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnSend_ = NamedButton(this, "btnSend");
  btnOK_ = NamedButton(this, "btnOK");
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnHelp_ = NamedButton(this, "btnHelp");
  for (QPushButton* button : {btnSend_, btnOK_, btnAbbr_, btnHelp_}) {
    button->setAutoDefault(false);  // Enter moves on between the fields
    buttons->addWidget(button);
    addFocus(button, kTextControlHint);
  }
  outer->addLayout(buttons);

  stbrSeTe_ = HintBar(this, "stbrSeTe");
  outer->addWidget(stbrSeTe_);

  pmLoadSave_ = new QMenu(this);
  pmLoadSave_->setObjectName("pmLoadSave");
  miLoad_ = pmLoadSave_->addAction(QString());
  miLoad_->setObjectName("miLoad");
  miSave_ = pmLoadSave_->addAction(QString());
  miSave_->setObjectName("miSave");
  setContextMenuPolicy(Qt::CustomContextMenu);

  for (std::size_t i = 1; i < focusItems_.size(); ++i) {
    setTabOrder(focusItems_[i - 1].control, focusItems_[i].control);
  }
}

void TfmSeTe::LabelControls() {
  const TextTable& t = instance_.texts;
  setWindowTitle(Q(t.Text(kTextCaption)) + QString::number(n_) + Q(t.Text(kTextCaptionEnd)));
  findChild<QLabel*>("lblBez")->setText(Q(t.Text(kTextName)));
  findChild<QLabel*>("lblAnst")->setText(FillComboFromTexts(cbAnst_, t, kTextTrigger));
  sfSend_.label->setText(Q(t.Text(kTextPort)));
  sfAnzT_.label->setText(Q(t.Text(kTextCount)));
  sfWZt_.label->setText(Q(t.Text(kTextPause)));
  sfCA_.label->setText(Q(t.Text(kTextCommonAddress)));
  lblTyp_->setText(Q(t.Text(kTextType)));
  lblUrs_->setText(Q(t.Text(kTextCause)));
  lblFun_->setText(Q(t.Text(kTextFunInf)));
  lblZeit_->setText(Q(t.Text(kTextTime)));
  lblDate_->setText(Q(t.Text(kTextDate)));
  cbWT_->setText(Q(t.Text(kTextWeekday)));
  chlbIV_->clear();
  for (const std::string& item : t.List(kTextIvSu)) {
    auto* entry = new QListWidgetItem(Q(item), chlbIV_);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    entry->setCheckState(Qt::Unchecked);
  }
  chlbIV_->setFixedHeight(chlbIV_->sizeHintForRow(0) + 2 * chlbIV_->frameWidth() + 4);
  chlbIV_->setFixedWidth(chlbIV_->sizeHintForColumn(0) * std::max(chlbIV_->count(), 1) + 24);
  for (int r = 0; r < 2; ++r) {
    findChild<QLabel*>(QStringLiteral("lblMw%1").arg(r + 1))
        ->setText(Q(t.Text(kTextMeasuredRows + r)));
  }
  for (int i = 0; i < 9; ++i) {
    findChild<QLabel*>(QStringLiteral("lblMwValue%1").arg(i + 1))
        ->setText(Q(t.Text(kTextMeasuredValue + i)));
  }
  btnSend_->setText(Q(t.Text(kTextSend)));
  btnOK_->setText(Q(t.Text(kTextSend + 1)));
  btnAbbr_->setText(Q(t.Text(kTextSend + 2)));
  btnHelp_->setText(Q(t.Text(kTextSend + 3)));
  btnHelp_->setEnabled(HelpAvailable(instance_));
  miLoad_->setText(Q(t.Text(kTextLoad)));
  miSave_->setText(Q(t.Text(kTextSave)));

  const bool separate = instance_.general.separateCommonAddress != 0;
  lblLA_->setText(Q(t.Text(separate ? kTextSeparateLinkAddress : kTextLinkAddress)));
  sfCA_.label->setVisible(separate);
  sfCA_.edit->setVisible(separate);

  cbTyp_->clear();
  for (const std::string& item : TypeItems(t, instance_.knownTypes, 0, TypeNaming::Common)) {
    cbTyp_->addItem(Q(item));
  }
}

void TfmSeTe::FillControls() {
  sfBez_->setText(Q(work_.name.Get()));
  // The trigger value shown belongs to the trigger of the work copy, not to
  // the one the box showed before.
  shownTrigger_ = work_.trigger;
  {
    const QSignalBlocker quiet(cbAnst_);
    cbAnst_->setCurrentIndex(
        std::min(static_cast<int>(work_.trigger), std::max(cbAnst_->count() - 1, 0)));
  }
  ApplyTrigger();
  sfAnzT_.edit->setText(QString::number(work_.repeatCount));
  sfWZt_.edit->setText(QString::number(work_.pauseMs));
  sfSend_.edit->setText(QString::number(work_.portCode / 2));
  ValidateNumber(sfSend_);
  FillAddressAndService();
  sfCA_.edit->setText(QString::number(work_.commonAddress));
  cbTyp_->setCurrentIndex(instance_.knownTypes.IndexOf(work_.typeId) - 1);
  sfFTyp_.edit->setText(QString::number(work_.fun));
  sfINr_.edit->setText(QString::number(work_.inf));

  edDate_->setDate(DateOfDayNumber(work_.date));
  cbWT_->setChecked(work_.withWeekday != 0);
  edZeit_->setTime(QTime(0, 0).addSecs(SecondsOfTime(work_.time)));
  sfZtMs_.edit->setText(QString::number(work_.milliseconds));
  if (chlbIV_->count() >= 2) {
    chlbIV_->item(0)->setCheckState(work_.iv ? Qt::Checked : Qt::Unchecked);
    chlbIV_->item(1)->setCheckState(work_.su ? Qt::Checked : Qt::Unchecked);
  }
  sfData2_.edit->setText(QString::number(work_.data2));
  sfData3_.edit->setText(QString::number(work_.data3));
  sfData4_.edit->setText(QString::number(work_.data4));
  for (int i = 0; i < 9; ++i) {
    sfMw_[static_cast<std::size_t>(i)]->setText(FormatMeasuredValue(work_.MeasuredValue(i + 1)));
    ValidateMeasuredValue(i);
  }
  for (NumberField* field : {&sfAnzT_, &sfWZt_, &sfCA_, &sfFTyp_, &sfINr_, &sfZtMs_}) {
    ValidateNumber(*field);
  }
  ShowType(false);
}

void TfmSeTe::ConnectControls() {
  for (NumberField* field : {&sfTypN_, &sfAnzT_, &sfWZt_, &sfSend_, &sfCA_, &sfFTyp_, &sfINr_,
                             &sfZtMs_, &sfData2_, &sfData3_, &sfData4_}) {
    connect(field->edit, &QLineEdit::textChanged, this, [this, field] { ValidateNumber(*field); });
  }
  connect(sfData_, &QLineEdit::textChanged, this, [this] { ValidateData(); });
  for (int i = 0; i < 9; ++i) {
    connect(sfMw_[static_cast<std::size_t>(i)], &QLineEdit::textChanged, this,
            [this, i] { ValidateMeasuredValue(i); });
  }
  connect(cbAnst_, &QComboBox::currentIndexChanged, this, [this] { ApplyTrigger(); });
  connect(btnOK_, &QPushButton::clicked, this, &TfmSeTe::btnOKClick);
  connect(btnSend_, &QPushButton::clicked, this, &TfmSeTe::btnSendClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &TfmSeTe::btnAbbrClick);
  connect(btnHelp_, &QPushButton::clicked, this, &TfmSeTe::btnHelpClick);
  connect(miLoad_, &QAction::triggered, this, &TfmSeTe::miLoadClick);
  connect(miSave_, &QAction::triggered, this, &TfmSeTe::miSaveClick);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmLoadSave_->popup(mapToGlobal(at)); });
}

int TfmSeTe::TypeIndex() const {
  return instance_.knownTypes.IndexOf(work_.typeId);
}

int TfmSeTe::PortIndexShown() const {
  return std::clamp(static_cast<int>(work_.portCode / 2) - 1, 0, 1);
}

bool TfmSeTe::SecondaryPortShown() const {
  return instance_.ports[static_cast<std::size_t>(shownPort_)].params.function ==
         PortFunction::Secondary;
}

void TfmSeTe::ApplyTrigger() {
  const TextTable& t = instance_.texts;
  // The value shown so far belongs to the trigger that was selected before.
  if (sfTypN_.valid && !sfTypN_.edit->text().trimmed().isEmpty() && cbAnst_->currentIndex() >= 0 &&
      static_cast<std::uint32_t>(cbAnst_->currentIndex()) != shownTrigger_) {
    const auto value = static_cast<std::uint16_t>(sfTypN_.edit->text().trimmed().toLong());
    (shownTrigger_ >= kTriggerHourly ? work_.triggerMinute : work_.triggerType) = value;
  }
  if (cbAnst_->currentIndex() >= 0) {
    work_.trigger = static_cast<std::uint32_t>(cbAnst_->currentIndex());
  }
  shownTrigger_ = work_.trigger;
  const bool timed = work_.trigger >= kTriggerHourly;
  const int labelText = timed ? kTextTriggerMinute : kTextTriggerType;
  lblTypN_->setText(Q(t.Text(labelText)));
  for (FocusItem& item : focusItems_) {
    if (item.control == sfTypN_.edit) item.hintText = labelText + 1;
  }
  sfTypN_.high = timed ? 59 : 255;
  sfTypN_.edit->setText(QString::number(timed ? work_.triggerMinute : work_.triggerType));
  ValidateNumber(sfTypN_);
}

void TfmSeTe::FillAddressAndService() {
  const TextTable& t = instance_.texts;
  shownPort_ = PortIndexShown();
  const PortParams& params = instance_.ports[static_cast<std::size_t>(shownPort_)].params;
  cbLA_->clear();
  for (int i = 0; i < params.EffectiveAddressCount(); ++i) {
    cbLA_->addItem(QString::number(params.Address(i)));
  }
  cbLA_->setCurrentIndex(work_.addressIndex < static_cast<std::uint32_t>(cbLA_->count())
                             ? static_cast<int>(work_.addressIndex)
                             : 0);
  if (SecondaryPortShown()) {
    lblUeb_->setText(FillComboFromTexts(cbUeb_, t, kTextSecondaryService));
    cbUeb_->setCurrentIndex(0);
  } else {
    lblUeb_->setText(FillComboFromTexts(cbUeb_, t, kTextService));
    cbUeb_->setCurrentIndex(
        std::min(static_cast<int>(work_.service), std::max(cbUeb_->count() - 1, 0)));
  }
}

void TfmSeTe::LeavePortField() {
  if (!sfSend_.valid) return;
  const int port = static_cast<int>(sfSend_.edit->text().trimmed().toLong()) - 1;
  if (port == shownPort_) return;
  if (cbLA_->currentIndex() >= 0) {
    work_.addressIndex = static_cast<std::uint32_t>(cbLA_->currentIndex());
  }
  if (!SecondaryPortShown() && cbUeb_->currentIndex() >= 0) {
    work_.service = static_cast<std::uint32_t>(cbUeb_->currentIndex());
  }
  work_.portCode = static_cast<std::uint32_t>(2 * (port + 1));
  FillAddressAndService();
  // The recorded disturbances are those of the sending port.
  if (work_.typeId == kTypeRecordedDisturbances) ShowMemo();
}

void TfmSeTe::FillCauseList() {
  cbUrs_->clear();
  const std::vector<std::string> items =
      CauseItems(instance_.texts, instance_.knownTypes, work_.typeId);
  int selected = -1, first = -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    cbUrs_->addItem(Q(items[i]));
    const int cause = PickerItemValue(items[i]);
    if (cause == work_.cot) selected = static_cast<int>(i);
    if (cause == 1) first = static_cast<int>(i);
  }
  if (items.empty()) return;
  if (selected < 0) selected = first >= 0 ? first : 0;
  cbUrs_->setCurrentIndex(selected);
  // A free ASDU takes its cause from its own octets.
  if (work_.typeId != kTypeFreeAsdu && work_.typeId != kTypeFreeOctets) {
    work_.cot =
        static_cast<std::uint8_t>(PickerItemValue(items[static_cast<std::size_t>(selected)]));
  }
}

void TfmSeTe::LeaveCauseBox() {
  if (!Shown(cbUrs_) || cbUrs_->currentIndex() < 0) return;
  work_.cot = static_cast<std::uint8_t>(PickerItemValue(S(cbUrs_->currentText())));
}

void TfmSeTe::LeaveTypeBox() {
  const int typ = instance_.knownTypes.TypeOf(cbTyp_->currentIndex() + 1);
  if (cbTyp_->currentIndex() < 0 || typ == work_.typeId) return;
  // The telegram in its previous form, as far as its fields read.
  ReadControls();
  const SendTelegram previous = work_;
  work_.typeId = static_cast<std::uint8_t>(typ);
  if (previous.typeId < kTypeFreeAsdu && (typ == kTypeFreeAsdu || typ == kTypeFreeOctets)) {
    std::array<std::uint8_t, SendTelegram::kRawCapacity> octets{};
    const std::size_t count =
        PresetFreeOctets(instance_.sendContext, previous, static_cast<std::uint8_t>(typ), octets);
    std::copy_n(octets.begin(), count, work_.raw.begin());
    work_.rawLength = static_cast<std::uint32_t>(count);
  }
  ShowType(true);
}

void TfmSeTe::ShowType(bool rename) {
  const TextTable& t = instance_.texts;
  const TypeLayout layout = LayoutOf(work_.typeId);
  FillCauseList();
  SetShown({lblUrs_, cbUrs_, lblFun_, sfFTyp_.edit, sfINr_.edit}, layout.header);
  SetShown({lblDate_, edDate_, cbWT_}, layout.date);
  SetShown({lblZeit_, edZeit_, sfZtMs_.edit, chlbIV_}, layout.time);
  const struct {
    NumberField& field;
    int labelText;
  } elements[] = {
      {sfData3_, layout.data3Label}, {sfData4_, layout.data4Label}, {sfData2_, layout.data2Label}};
  for (const auto& e : elements) {
    e.field.label->setVisible(e.labelText != 0);
    e.field.edit->setVisible(e.labelText != 0);
    if (e.labelText == 0) continue;
    e.field.label->setText(Q(t.Text(e.labelText)));
    for (FocusItem& item : focusItems_) {
      if (item.control == e.field.edit) item.hintText = e.labelText + 1;
    }
  }
  // TOV is one octet of a type 24 order.
  sfData3_.high = work_.typeId == kTypeOrder ? 255 : 65535;
  for (NumberField* field : {&sfData2_, &sfData3_, &sfData4_}) ValidateNumber(*field);
  mwBox_->setVisible(layout.measured);

  const QString dataLabel = Q(t.Text(kTextDataLabels + TypeIndex()));
  lblData_->setText(dataLabel);
  SetShown({lblData_, sfData_, udData_}, TypeIndex() > 0 && !dataLabel.isEmpty());
  ShowData();
  ShowMemo();
  if (rename && cbTyp_->currentIndex() >= 0) {
    const QString item = cbTyp_->currentText();
    sfBez_->setText(item.mid(item.indexOf('=') + 1).left(static_cast<int>(kNameLength)));
  }
  shownType_ = work_.typeId;
}

void TfmSeTe::ShowData() {
  sfData_->setText(Q(FormatDataValue(instance_.texts, TypeIndex(), work_.value)));
  ValidateData();
}

void TfmSeTe::ShowMemo() {
  const int rows = LayoutOf(work_.typeId).memoRows;
  Memo_->setVisible(rows > 0);
  Memo_->setReadOnly(work_.typeId == kTypeRecordedDisturbances);
  if (rows == 0) return;
  const QFontMetrics metrics(Memo_->font());
  Memo_->setFixedHeight(rows * metrics.lineSpacing() + 2 * Memo_->frameWidth() + 12);
  switch (work_.typeId) {
    case kTypeIdentification: {
      const auto identification = std::span(work_.raw).subspan(SendTelegram::kIdentificationAt,
                                                               SendTelegram::kIdentificationLength);
      if (identification[0] == 0) {
        std::copy_n(kDefaultIdentification, identification.size(), identification.begin());
      }
      Memo_->setPlainText(MemoText(identification));
      break;
    }
    case kTypeRecordedDisturbances: {
      const DisturbanceList& list =
          instance_.disturbance[static_cast<std::size_t>(PortIndexShown())].list;
      QStringList lines;
      for (int i = 0; i < std::min(list.count, DisturbanceList::kCapacity); ++i) {
        lines << MemoText(list.entries[static_cast<std::size_t>(i)]);
      }
      if (lines.isEmpty()) lines << Q(instance_.texts.Text(kTextNoDisturbances));
      Memo_->setPlainText(lines.join('\n'));
      break;
    }
    default:
      Memo_->setPlainText(MemoText(work_.RawOctets()));
      break;
  }
}

void TfmSeTe::ValidateNumber(NumberField& field) {
  bool ok = false;
  const long value = field.edit->text().trimmed().toLong(&ok);
  field.valid = ok && value >= field.low && value <= field.high;
  ShowValidity(field.edit, field.valid);
}

void TfmSeTe::ValidateData() {
  if (!Shown(sfData_)) {
    dataValid_ = true;
  } else {
    const std::optional<std::uint32_t> value =
        ParseDataValue(instance_.texts, TypeIndex(), S(sfData_->text()));
    dataValid_ = value.has_value();
    if (value) work_.value = *value;
  }
  ShowValidity(sfData_, dataValid_);
}

void TfmSeTe::ValidateMeasuredValue(int i) {
  QLineEdit* edit = sfMw_[static_cast<std::size_t>(i)];
  measuredValid_[static_cast<std::size_t>(i)] = ParseMeasuredValue(edit->text()).has_value();
  ShowValidity(edit, measuredValid_[static_cast<std::size_t>(i)]);
}

void TfmSeTe::StepData(int step) {
  if (!Shown(sfData_)) return;
  work_.value = StepDataValue(instance_.texts, TypeIndex(), work_.value, step);
  ShowData();
}

void TfmSeTe::Pick(QWidget* field) {
  auto fieldValue = [](const NumberField& f, int fallback) {
    return f.valid ? static_cast<int>(f.edit->text().trimmed().toLong()) : fallback;
  };
  LeaveCauseBox();
  const int fun = fieldValue(sfFTyp_, work_.fun);
  const int inf = fieldValue(sfINr_, work_.inf);
  PickerKind kind = PickerKind::FunctionTypes;
  int value = fun;
  if (field == sfINr_.edit) {
    kind = PickerKind::InfoNumbers;
    value = inf;
  } else if (field == sfData_) {
    kind = PickerKind::TooCodes;
    value = static_cast<int>(work_.value & 0xFF);
  }
  const std::uint32_t parameter = PickerParameter(work_.typeId, work_.cot, fun, inf);
  if (RunTypePickerBeside(field, instance_, kind, value, parameter) == TfmTyp::kChosen) {
    if (field == sfData_) {
      work_.value = static_cast<std::uint32_t>(value);
      ShowData();
    } else {
      static_cast<QLineEdit*>(field)->setText(QString::number(value));
    }
  }
  field->setFocus(Qt::OtherFocusReason);
}

void TfmSeTe::ReadControls() {
  auto take = [this](const NumberField& f, auto& member) {
    if (!Shown(f.edit) || !f.valid) return;
    member =
        static_cast<std::remove_reference_t<decltype(member)>>(f.edit->text().trimmed().toLong());
  };
  LeavePortField();
  std::string name = S(sfBez_->text());
  CutUtf8(name, kNameLength);
  work_.name.Set(name);
  if (cbAnst_->currentIndex() >= 0) {
    work_.trigger = static_cast<std::uint32_t>(cbAnst_->currentIndex());
  }
  take(sfTypN_, shownTrigger_ >= kTriggerHourly ? work_.triggerMinute : work_.triggerType);
  take(sfAnzT_, work_.repeatCount);
  take(sfWZt_, work_.pauseMs);
  if (sfSend_.valid) {
    work_.portCode = static_cast<std::uint32_t>(2 * sfSend_.edit->text().trimmed().toLong());
  }
  // A secondary port answers with user data whatever the telegram's service.
  if (!SecondaryPortShown() && cbUeb_->currentIndex() >= 0) {
    work_.service = static_cast<std::uint32_t>(cbUeb_->currentIndex());
  }
  if (cbLA_->currentIndex() >= 0) {
    work_.addressIndex = static_cast<std::uint32_t>(cbLA_->currentIndex());
  }
  const PortParams& params = instance_.ports[static_cast<std::size_t>(shownPort_)].params;
  work_.linkAddress =
      params.Address(work_.addressIndex < static_cast<std::uint32_t>(params.EffectiveAddressCount())
                         ? static_cast<int>(work_.addressIndex)
                         : 0);
  take(sfCA_, work_.commonAddress);
  LeaveCauseBox();
  take(sfFTyp_, work_.fun);
  take(sfINr_, work_.inf);
  // sfData is taken whenever it reads (ValidateData).
  if (Shown(Memo_) && !Memo_->isReadOnly()) ApplyOctetMemo(work_, S(Memo_->toPlainText()));
  take(sfData2_, work_.data2);
  take(sfData3_, work_.data3);
  take(sfData4_, work_.data4);
  if (Shown(mwBox_)) {
    for (int i = 0; i < 9; ++i) {
      const auto value = ParseMeasuredValue(sfMw_[static_cast<std::size_t>(i)]->text());
      if (value) work_.SetMeasuredValue(i + 1, *value);
    }
  }
  if (Shown(edDate_)) {
    work_.date = static_cast<double>(kDayZero.daysTo(edDate_->date()));
    work_.withWeekday = cbWT_->isChecked() ? 1 : 0;
  }
  if (Shown(edZeit_)) {
    take(sfZtMs_, work_.milliseconds);
    const int seconds = edZeit_->time().msecsSinceStartOfDay() / 1000;
    // 00:00:00 stands for the moment of sending.
    work_.time = seconds == 0 ? 0.0 : (seconds * 1000.0 + work_.milliseconds) / kMillisecondsPerDay;
    if (chlbIV_->count() >= 2) {
      work_.iv = chlbIV_->item(0)->checkState() == Qt::Checked ? 1 : 0;
      work_.su = chlbIV_->item(1)->checkState() == Qt::Checked ? 1 : 0;
    }
  }
}

int TfmSeTe::FirstInvalidField() const {
  for (std::size_t i = 0; i < focusItems_.size(); ++i) {
    const QWidget* control = focusItems_[i].control;
    if (!Shown(control)) continue;
    bool invalid = control == sfData_ && !dataValid_;
    for (std::size_t m = 0; m < sfMw_.size(); ++m) {
      invalid = invalid || (control == sfMw_[m] && !measuredValid_[m]);
    }
    for (const NumberField* f : {&sfTypN_, &sfAnzT_, &sfWZt_, &sfSend_, &sfCA_, &sfFTyp_, &sfINr_,
                                 &sfZtMs_, &sfData2_, &sfData3_, &sfData4_}) {
      invalid = invalid || (control == f->edit && !f->valid);
    }
    if (invalid) return static_cast<int>(i);
  }
  return -1;
}

bool TfmSeTe::FieldsValid() const {
  return FirstInvalidField() < 0;
}

bool TfmSeTe::CheckFields() {
  LeaveTypeBox();
  LeaveCauseBox();
  LeavePortField();
  const int invalid = FirstInvalidField();
  if (invalid < 0) return true;
  focusItems_[static_cast<std::size_t>(invalid)].control->setFocus(Qt::OtherFocusReason);
  ShowHint(invalid);
  QApplication::beep();
  return false;
}

bool TfmSeTe::Commit() {
  if (!CheckFields()) return false;
  ReadControls();
  // A start that Send made, or a trigger while the editor was open, keeps
  // running: the run-time state is the stored telegram's.
  const SendTelegram& stored = instance_.send.Telegram(n_);
  work_.sendState = stored.sendState;
  work_.dueTick = stored.dueTick;
  work_.sentCount = stored.sentCount;
  work_.replyKind = stored.replyKind;
  work_.replyInfo = stored.replyInfo;
  CommitSendTelegram(instance_.sendContext, n_, work_);
  return true;
}

void TfmSeTe::btnOKClick() {
  if (Commit()) close();
}

void TfmSeTe::btnSendClick() {
  if (!Commit()) return;
  OperatorSendNow(instance_, instance_.send.Telegram(n_));
  RestoreFocus();
}

void TfmSeTe::btnAbbrClick() {
  close();
}

void TfmSeTe::btnHelpClick() {
  OpenHelpPage(instance_, kHelpContext);
}

void TfmSeTe::EscapeClick() {
  ReadControls();
  const SendTelegram& stored = instance_.send.Telegram(n_);
  if (work_.SameContent(stored) || work_.SameContent(shown_) || Confirm(instance_, kTextDiscard)) {
    close();
  }
}

FileRequest TfmSeTe::TelegramFileRequest(int caption, bool save) const {
  const TextTable& t = instance_.texts;
  FileRequest request;
  request.caption = Q(t.Text(caption));
  request.filter = DialogFilter(t.Text(kTextFilter));
  request.defaultSuffix = Q(t.Text(kTextExtension));
  request.path = Q(instance_.dataDirectory + t.Text(kTextProposedName)) + QString::number(n_);
  if (!request.defaultSuffix.isEmpty()) request.path += "." + request.defaultSuffix;
  request.save = save;
  return request;
}

void TfmSeTe::miLoadClick() {
  const QString chosen = chooseFile(this, TelegramFileRequest(kTextLoad, false));
  if (chosen.isEmpty()) return;
  QFile file(chosen);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxTelegramFile) return;
  const QByteArray content = file.readAll();
  // Fields the file does not hold come from the controls as they stand.
  ReadControls();
  const std::uint8_t typeBefore = work_.typeId;
  if (!ReadTelegramText(
          std::string_view(content.constData(), static_cast<std::size_t>(content.size())),
          SendSeparator(instance_.texts), work_)) {
    return;
  }
  instance_.sendContext.sendDataModified = true;
  const std::uint8_t typeRead = work_.typeId;
  // The type change rule runs against the type shown before: its layout and
  // the name; the octets came with the file, so there is no preset.
  work_.typeId = typeBefore;
  FillControls();
  work_.typeId = typeRead;
  cbTyp_->setCurrentIndex(instance_.knownTypes.IndexOf(typeRead) - 1);
  ShowType(typeRead != typeBefore);
}

void TfmSeTe::miSaveClick() {
  if (!Commit()) return;
  const FileRequest request = TelegramFileRequest(kTextSave, true);
  const QString chosen = chooseFile(this, request);
  if (chosen.isEmpty()) return;
  const std::string name = WithDefaultSuffix(chosen, request.defaultSuffix);
  const std::string text =
      WriteTelegramText(instance_.send.Telegram(n_), SendSeparator(instance_.texts));
  const auto* octets = reinterpret_cast<const std::uint8_t*>(text.data());
  if (!ReplaceFile(name, std::span(octets, text.size()))) {
    instance_.platform.prompter.Show(instance_.texts.Text(kTextNotCreated) + name,
                                     MessageType::Error, MessageButtons::Ok);
  }
}

int TfmSeTe::FocusIndexOf(const QObject* control) const {
  for (std::size_t i = 0; i < focusItems_.size(); ++i) {
    if (focusItems_[i].control == control) return static_cast<int>(i);
  }
  return -1;
}

void TfmSeTe::ShowHint(int focusIndex) {
  if (focusIndex < 0 || focusIndex >= static_cast<int>(focusItems_.size())) return;
  const FocusItem& item = focusItems_[static_cast<std::size_t>(focusIndex)];
  const QString hint = item.hintText != 0
                           ? Q(instance_.texts.Text(item.hintText))
                           : Q(DescribeDataValue(instance_.texts, TypeIndex()).Hint()).trimmed();
  if (hint.isEmpty()) {
    stbrSeTe_->clearMessage();
  } else {
    stbrSeTe_->showMessage(hint);
  }
}

void TfmSeTe::FocusNext(QWidget* from) {
  const int at = FocusIndexOf(from);
  for (std::size_t i = static_cast<std::size_t>(at + 1); i < focusItems_.size(); ++i) {
    QWidget* control = focusItems_[i].control;
    if (!Shown(control) || !control->isEnabled()) continue;
    control->setFocus(Qt::TabFocusReason);
    return;
  }
  btnOK_->setFocus(Qt::TabFocusReason);
}

void TfmSeTe::RestoreFocus() {
  auto usable = [this](std::size_t i) {
    QWidget* control = focusItems_[i].control;
    return control->isVisibleTo(this) && control->isEnabled() &&
           control->focusPolicy() != Qt::NoFocus;
  };
  std::size_t focus = work_.focusIndex >= 1 ? work_.focusIndex - 1 : focusItems_.size();
  if (focus >= focusItems_.size() || !usable(focus)) focus = 0;
  focusItems_[focus].control->setFocus(Qt::OtherFocusReason);
  ShowHint(static_cast<int>(focus));
}

bool TfmSeTe::eventFilter(QObject* watched, QEvent* event) {
  const int index = FocusIndexOf(watched);
  if (index < 0) return QWidget::eventFilter(watched, event);
  auto* control = static_cast<QWidget*>(watched);
  const bool button = qobject_cast<QPushButton*>(control) != nullptr;
  const bool picker = control == sfFTyp_.edit || control == sfINr_.edit ||
                      (control == sfData_ && work_.typeId == kTypeOrder);
  switch (event->type()) {
    case QEvent::FocusIn:
      if (!button) work_.focusIndex = static_cast<std::uint32_t>(index + 1);
      ShowHint(index);
      break;
    case QEvent::FocusOut:
      // Opening a combo box's list is no leaving.
      if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) break;
      if (control == cbTyp_) LeaveTypeBox();
      if (control == cbUrs_) LeaveCauseBox();
      if (control == sfSend_.edit) LeavePortField();
      break;
    case QEvent::ContextMenu:
      if (picker) {
        Pick(control);
        return true;
      }
      break;
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Escape) {
        EscapeClick();
        return true;
      }
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !button && control != Memo_) {
        FocusNext(control);
        return true;
      }
      if (key == Qt::Key_F12 && picker) {
        Pick(control);
        return true;
      }
      if ((key == Qt::Key_Up || key == Qt::Key_Down) && control == sfData_) {
        StepData(key == Qt::Key_Up ? 1 : -1);
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TfmSeTe::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    EscapeClick();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfmSeTe::closeEvent(QCloseEvent* event) {
  setProperty(kSendEditorProperty, static_cast<int>(EditorState::None));
  CallApplyShortcuts(mainWindow_);
  event->accept();
}

void OpenSendTelegramEditor(QWidget* mainWindow, Instance& instance, int n) {
  if (QWidget* open = OpenSendEditor(mainWindow)) {
    open->show();
    open->raise();
    open->activateWindow();
    return;
  }
  if (n < 1 || n > kSendTelegramCount) return;
  SendTelegram& telegram = instance.send.Telegram(n);
  telegram.sendState = kSendIdle;
  auto* editor = new TfmSeTe(mainWindow, instance, n, telegram);
  editor->setProperty(kSendEditorProperty, static_cast<int>(EditorState::Telegram));
  CallApplyShortcuts(mainWindow);
  PlaceBesideMain(editor, mainWindow);
  editor->show();
  editor->raise();
  editor->activateWindow();
}

}  // namespace kivo
