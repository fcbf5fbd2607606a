#include "ui/port_dialog.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/port_service.h"
#include "app/port_texts.h"
#include "app/startup.h"
#include "link/port_control.h"
#include "platform/posix/termios_port.h"
#include "ui/editor_support.h"

namespace kivo {

namespace {

constexpr int kTextTitlePort1 = 652;
constexpr int kTextPageSerial = 559;
constexpr int kTextPageLink = 560;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kTextPortLabel = 671;
constexpr int kTextNoPort = 1206;
constexpr int kTextPortPrefix = 1207;
constexpr int kTextAddresses = 600;
constexpr int kTextWatchedLines = 921;
constexpr int kTextWatchedLineItems = 922;
constexpr int kTextTelegramLength = 613;
constexpr int kTextFrameLength = 911;  // on a gap monitor
constexpr int kTextResponseTimeout = 617;
constexpr int kTextCharacterGap = 914;  // on a gap monitor
constexpr int kHelpContext = 5400;
constexpr int kMaxListItems = 64;
// The digits of the port number start at character position 6 of an entry.
constexpr int kPortDigitsAt = 5;
constexpr int kPortDigits = 3;
// A telegram length below this is raised on ports with a link procedure.
constexpr std::uint32_t kLeastLinkTelegramLength = 24;
// The watched modem lines of chlbAend, first item first.
constexpr std::uint8_t kWatchedLineBits[] = {0x80, 0x40, 0x20};
constexpr std::uint8_t kWatchedLineMask = 0xE0;

// The texts of binding a device path to a port number.
enum LocalTextId {
  kDeviceLabel = 1492,
  kBindButton,
  kDeviceHint,
  kEmptyPath,
  kNoDevice,
  kNotCharacterDevice,
  kUsedByOtherPort,
  kNoFreeNumber,
  kNotStored,
  kReopenLabel = 1508,
  kReopenHint,
};

bool SameDevice(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  const auto ca = std::filesystem::weakly_canonical(a, error);
  if (error) return false;
  const auto cb = std::filesystem::weakly_canonical(b, error);
  return !error && ca == cb;
}

// Waits while the events of the program keep being processed.
void WaitProcessingEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

TfmCom::TfmCom(Instance& instance, int portIndex, QWidget* parent)
    : QDialog(parent), instance_(instance), portIndex_(portIndex & 1) {
  setObjectName("fmCom");
  setProperty(kHelpContextProperty, kHelpContext);
  work_ = Record();
  BuildControls();
  LabelControls();
  FillPortList(work_.portNumber);
  ShowParams();
  ApplyFunctionState();
  ConnectControls();
  RestoreFocus();
}

PortParams& TfmCom::Record() {
  return instance_.ports[static_cast<std::size_t>(portIndex_)].params;
}

void TfmCom::BuildControls() {
  auto* outer = new QVBoxLayout(this);
  pgctrlCom_ = new QTabWidget(this);
  pgctrlCom_->setObjectName("pgctrlCom");
  outer->addWidget(pgctrlCom_);

  std::array<QFormLayout*, 2> forms{};
  for (int page = 0; page < 2; ++page) {
    auto* sheet = new QWidget(pgctrlCom_);
    sheet->setObjectName(page == kPageSerial ? "tsCom" : "tsLink");
    forms[static_cast<std::size_t>(page)] = new QFormLayout(sheet);
    forms[static_cast<std::size_t>(page)]->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    pgctrlCom_->addTab(sheet, QString());
  }

  auto addFocus = [this](QWidget* control, int page) {
    control->installEventFilter(this);
    focusItems_.push_back({control, page, QString()});
  };
  auto addList = [&](const char* name, int labelText, int page) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* label = new QLabel(this);
    label->setBuddy(box);
    forms[static_cast<std::size_t>(page)]->addRow(label, box);
    lists_.push_back({box, label, labelText});
    addFocus(box, page);
    return box;
  };
  auto addNumber = [&](const char* name, int labelText, std::uint32_t PortParams::*member,
                       std::uint32_t minimum, std::uint32_t maximum, int page) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,6}"), edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance("0000000") + 16);
    auto* label = new QLabel(this);
    label->setBuddy(edit);
    forms[static_cast<std::size_t>(page)]->addRow(label, edit);
    numbers_.push_back({edit, label, member, minimum, maximum, labelText, true});
    addFocus(edit, page);
  };

  // Serial port: the device and its character format, RTS and modem lines.
  cbCom_ = new QComboBox(this);
  cbCom_->setObjectName("cbCom");
  cbCom_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  cbCom_->setMinimumContentsLength(8);
  lblCom_ = new QLabel(this);
  lblCom_->setBuddy(cbCom_);
  forms[0]->addRow(lblCom_, cbCom_);
  addFocus(cbCom_, kPageSerial);

  auto* deviceRow = new QWidget(this);
  auto* deviceLayout = new QHBoxLayout(deviceRow);
  deviceLayout->setContentsMargins(0, 0, 0, 0);
  edDevice_ = new QLineEdit(deviceRow);
  edDevice_->setObjectName("edDevice");
  edDevice_->setPlaceholderText("/dev/ttyUSB0");
  edDevice_->setMinimumWidth(edDevice_->fontMetrics().horizontalAdvance("/dev/serial/by-id/usb"));
  btnBind_ = new QPushButton(deviceRow);
  btnBind_->setObjectName("btnBind");
  btnBind_->setAutoDefault(false);
  deviceLayout->addWidget(edDevice_, 1);
  deviceLayout->addWidget(btnBind_);
  lblDevice_ = new QLabel(this);
  lblDevice_->setBuddy(edDevice_);
  forms[0]->addRow(lblDevice_, deviceRow);
  addFocus(edDevice_, kPageSerial);
  addFocus(btnBind_, kPageSerial);
  // Only devices of the port map can be bound.
  if (!dynamic_cast<TermiosPortEnumerator*>(instance_.platform.ports)) {
    deviceRow->hide();
    lblDevice_->hide();
    edDevice_->hide();
    btnBind_->hide();
  }

  cbReopen_ = new QCheckBox(this);
  cbReopen_->setObjectName("cbReopen");
  forms[0]->addRow(QString(), cbReopen_);
  addFocus(cbReopen_, kPageSerial);

  cbFktn_ = addList("cbFktn", 884, kPageSerial);
  cbBaud_ = addList("cbBaud", 655, kPageSerial);
  cbPari_ = addList("cbPari", 891, kPageSerial);
  cbData_ = addList("cbData", 899, kPageSerial);
  cbStop_ = addList("cbStop", 906, kPageSerial);
  cbFRts_ = addList("cbFRts", 1110, kPageSerial);
  addNumber("edTVor", 629, &PortParams::rtsLead, 0, 65535, kPageSerial);
  addNumber("edTNach", 631, &PortParams::rtsLag, 0, 65535, kPageSerial);
  addNumber("edSVerz", 881, &PortParams::sendDelay, 0, 5000, kPageSerial);
  cbSpikes_ = addList("cbSpikes", 609, kPageSerial);
  chlbAend_ = new QListWidget(this);
  chlbAend_->setObjectName("chlbAend");
  lblAend_ = new QLabel(this);
  lblAend_->setBuddy(chlbAend_);
  forms[0]->addRow(lblAend_, chlbAend_);
  addFocus(chlbAend_, kPageSerial);

  // Link procedure: addresses, times and the polling rules.
  sfLinkAdr_ = new QLineEdit(this);
  sfLinkAdr_->setObjectName("sfLinkAdr");
  sfLinkAdr_->setMinimumWidth(
      sfLinkAdr_->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('0'))));
  lblLinkAdr_ = new QLabel(this);
  lblLinkAdr_->setBuddy(sfLinkAdr_);
  forms[1]->addRow(lblLinkAdr_, sfLinkAdr_);
  addFocus(sfLinkAdr_, kPageLink);
  cbLRes_ = addList("cbLRes", 568, kPageLink);
  addNumber("edTeLg", kTextTelegramLength, &PortParams::telegramLength, 1, 261, kPageLink);
  addNumber("edTimeOut", kTextResponseTimeout, &PortParams::responseTimeout, 1, 65535, kPageLink);
  addNumber("edWiedH", 615, &PortParams::repetitions, 0, 65535, kPageLink);
  addNumber("edZyZtLink", 619, &PortParams::linkWait, 1, 100, kPageLink);
  addNumber("edZyZtV", 924, &PortParams::pollCycle, 0, 10000, kPageLink);
  cbAbfr_ = addList("cbAbfr", 603, kPageLink);
  addNumber("sfZykCl1", 720, &PortParams::class1PollLimit, 0, 65535, kPageLink);
  cbVwE5_ = addList("cbVwE5", 562, kPageLink);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOK_ = NamedButton(this, "btnOK");
  btnAbbr_ = NamedButton(this, "btnAbbr");
  btnHelp_ = NamedButton(this, "btnHelp");
  for (QPushButton* button : {btnOK_, btnAbbr_, btnHelp_}) {
    button->setAutoDefault(false);  // Enter moves on between the fields
    buttons->addWidget(button);
  }
  outer->addLayout(buttons);

  stbarEmSe_ = HintBar(this, "stbarEmSe");
  outer->addWidget(stbarEmSe_);
}

void TfmCom::LabelControls() {
  const TextTable& t = instance_.texts;
  setWindowTitle(Q(t.Text(kTextTitlePort1 + portIndex_)));
  pgctrlCom_->setTabText(kPageSerial, Q(t.Text(kTextPageSerial)));
  pgctrlCom_->setTabText(kPageLink, Q(t.Text(kTextPageLink)));
  btnOK_->setText(Q(t.Text(kTextOk)));
  btnAbbr_->setText(Q(t.Text(kTextCancel)));
  btnHelp_->setText(Q(t.Text(kTextHelp)));
  lblCom_->setText(Q(t.Text(kTextPortLabel)));
  lblDevice_->setText(LocalText(kDeviceLabel));
  btnBind_->setText(LocalText(kBindButton));
  cbReopen_->setText(LocalText(kReopenLabel));

  for (ListField& list : lists_) {
    list.label->setText(Q(t.Text(list.labelText)));
    list.box->clear();
    const long count = std::clamp<long>(t.NumberText(list.labelText + 1), 0, kMaxListItems);
    for (int i = 0; i < count; ++i) list.box->addItem(Q(t.Text(list.labelText + 2 + i)));
  }
  for (NumberField& field : numbers_) {
    field.label->setText(Q(t.Text(field.labelText)));
  }
  lblLinkAdr_->setText(Q(t.Text(kTextAddresses)));
  lblAend_->setText(Q(t.Text(kTextWatchedLines)));
  chlbAend_->clear();
  for (const std::string& item : t.List(kTextWatchedLineItems)) {
    auto* entry = new QListWidgetItem(Q(item), chlbAend_);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    entry->setCheckState(Qt::Unchecked);
  }
  const int rows = std::max(chlbAend_->count(), 1);
  chlbAend_->setFixedHeight(chlbAend_->sizeHintForRow(0) * rows + 2 * chlbAend_->frameWidth() + 4);
  chlbAend_->setMaximumWidth(chlbAend_->sizeHintForColumn(0) + 48);

  // Hints: an edit field's hint is the text after its label.
  for (FocusItem& item : focusItems_) {
    item.hint.clear();
    if (item.control == sfLinkAdr_) item.hint = Q(t.Text(kTextAddresses + 1));
    if (item.control == edDevice_ || item.control == btnBind_) item.hint = LocalText(kDeviceHint);
    if (item.control == cbReopen_) item.hint = LocalText(kReopenHint);
    for (const NumberField& field : numbers_) {
      if (field.edit == item.control) item.hint = Q(t.Text(field.labelText + 1));
    }
  }
  btnHelp_->setEnabled(HelpAvailable(instance_));
}

QString TfmCom::LocalText(int which, const QString& first, const QString& second) const {
  QString text = Q(instance_.texts.Text(which));
  for (const QString& insert : {first, second}) {
    const qsizetype at = text.indexOf("%s");
    if (at < 0) break;
    text.replace(at, 2, insert);
  }
  return text;
}

void TfmCom::FillPortList(std::uint32_t select) {
  const TextTable& t = instance_.texts;
  const AppState& app = instance_.app;
  const std::uint32_t other =
      instance_.ports[static_cast<std::size_t>(portIndex_ ^ 1)].params.portNumber;
  std::map<int, std::string> paths;
  if (auto* devices = dynamic_cast<TermiosPortEnumerator*>(instance_.platform.ports)) {
    paths = devices->PortMap();
  }
  const QString prefix = Q(t.Text(kTextPortPrefix));
  auto entry = [&](std::uint32_t number) {
    QString text = prefix + QString::number(number);
    auto it = paths.find(static_cast<int>(number));
    if (it != paths.end()) text = text.leftJustified(prefix.size() + 2) + "  " + Q(it->second);
    return text;
  };

  cbCom_->clear();
  cbCom_->addItem(Q(t.Text(kTextNoPort)), 0);
  int selected = 0;
  for (int i = 0; i < app.availablePortCount; ++i) {
    const std::uint32_t number = app.availablePorts[static_cast<std::size_t>(i)];
    if (number == other) continue;
    if (number == select) selected = cbCom_->count();
    cbCom_->addItem(entry(number), number);
  }
  // A configured port that is missing now keeps its number: changing the baud
  // rate while the adapter is unplugged must not lose the port.
  if (select != 0 && select != other && selected == 0 &&
      select <= TermiosPortEnumerator::kMaxPort) {
    selected = cbCom_->count();
    cbCom_->addItem(entry(select), select);
  }
  cbCom_->setCurrentIndex(selected);
}

std::uint32_t TfmCom::PortNumberOfEntry(const QString& entry) {
  std::uint32_t number = 0;
  for (int i = kPortDigitsAt; i < kPortDigitsAt + kPortDigits && i < entry.size(); ++i) {
    if (!entry[i].isDigit()) break;
    number = number * 10 + static_cast<std::uint32_t>(entry[i].digitValue());
  }
  return number;
}

void TfmCom::ShowParams() {
  auto select = [](QComboBox* box, long index) {
    if (box->count() == 0) return;
    box->setCurrentIndex(static_cast<int>(std::clamp<long>(index, 0, box->count() - 1)));
  };
  select(cbFktn_, static_cast<long>(work_.function));
  select(cbLRes_, work_.resetKind);
  select(cbVwE5_, work_.singleCharacter);
  select(cbAbfr_, work_.class1Polling);
  select(cbSpikes_, work_.spikeFilter);
  select(cbBaud_, work_.baudIndex);
  select(cbPari_, work_.parity);
  select(cbData_, static_cast<long>(work_.dataBits) - 5);
  select(cbStop_, static_cast<long>(work_.stopBits) - 1);
  select(cbFRts_, work_.rtsFunction);
  cbReopen_->setChecked((work_.reopen & 1) != 0);
  for (int i = 0; i < chlbAend_->count() && i < 3; ++i) {
    const bool on = (work_.watchedLines & kWatchedLineBits[i]) != 0;
    chlbAend_->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }

  // An address count of 0 stands for the one address 255, which the field
  // shows as empty.
  QStringList addresses;
  if (work_.addressCount > 0) {
    for (int i = 0; i < work_.EffectiveAddressCount(); ++i) {
      const std::uint8_t address = work_.Address(i);
      if (address == PortParams::kAddressEnd) break;
      addresses << QString::number(address);
    }
  }
  sfLinkAdr_->setText(addresses.join(' '));
  ValidateAddresses();
  for (NumberField& field : numbers_) {
    field.edit->setText(QString::number(work_.*field.member));
    ValidateNumber(field);
  }
}

void TfmCom::ConnectControls() {
  connect(cbFktn_, &QComboBox::currentIndexChanged, this, [this] {
    TakeLists();
    ApplyFunctionState();
    ProposeTimeOut();
  });
  connect(cbBaud_, &QComboBox::currentIndexChanged, this, [this] {
    TakeLists();
    ProposeTimeOut();
  });
  for (NumberField& field : numbers_) {
    QLineEdit* edit = field.edit;
    connect(edit, &QLineEdit::textChanged, this, [this, edit] {
      for (NumberField& f : numbers_) {
        if (f.edit != edit) continue;
        ValidateNumber(f);
        if (f.member == &PortParams::telegramLength && f.valid) ProposeTimeOut();
      }
    });
  }
  connect(sfLinkAdr_, &QLineEdit::textChanged, this, [this] { ValidateAddresses(); });
  connect(btnOK_, &QPushButton::clicked, this, &TfmCom::btnOKClick);
  connect(btnAbbr_, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnHelp_, &QPushButton::clicked, this, &TfmCom::btnHelpClick);
  connect(btnBind_, &QPushButton::clicked, this, &TfmCom::btnBindClick);
  connect(pgctrlCom_, &QTabWidget::currentChanged, this, [this] { stbarEmSe_->clearMessage(); });
}

TfmCom::NumberField& TfmCom::Number(const char* name) {
  for (NumberField& field : numbers_) {
    if (field.edit->objectName() == QLatin1String(name)) return field;
  }
  return numbers_.front();
}

void TfmCom::ShowValidity(QWidget* control, bool valid) {
  kivo::ShowValidity(control, valid);
}

void TfmCom::ValidateNumber(NumberField& field) {
  bool ok = false;
  const QString text = field.edit->text().trimmed();
  const qulonglong value = text.toULongLong(&ok);
  field.valid = ok && value >= field.minimum && value <= field.maximum;
  if (field.valid) work_.*field.member = static_cast<std::uint32_t>(value);
  ShowValidity(field.edit, field.valid);
}

void TfmCom::ValidateAddresses() {
  const std::optional<AddressList> list = ParseAddressList(sfLinkAdr_->text().toStdString());
  addressesValid_ = list.has_value();
  if (list) ApplyAddressList(work_, *list);
  ShowValidity(sfLinkAdr_, addressesValid_);
}

bool TfmCom::FieldsValid() const {
  if (!addressesValid_) return false;
  return std::all_of(numbers_.begin(), numbers_.end(),
                     [](const NumberField& field) { return field.valid; });
}

void TfmCom::ApplyFunctionState() {
  const bool gapMonitor = work_.function == PortFunction::GapMonitor;
  const bool formatFree = gapMonitor || instance_.app.switchT;
  NumberField& length = Number("edTeLg");
  NumberField& timeout = Number("edTimeOut");
  length.minimum = formatFree ? 1 : kLeastLinkTelegramLength;
  if (!formatFree) {
    // Taken into the port record at once: Cancel keeps what the function
    // forced.
    ForceLinkCharacterFormat(work_);
    ForceLinkCharacterFormat(Record());
    cbPari_->setCurrentIndex(work_.parity);
    cbData_->setCurrentIndex(work_.dataBits - 5);
    cbStop_->setCurrentIndex(work_.stopBits - 1);
    if (length.valid || length.edit->text().toULongLong() < kLeastLinkTelegramLength) {
      length.edit->setText(QString::number(work_.telegramLength));
    }
  }
  for (QComboBox* box : {cbPari_, cbData_, cbStop_}) box->setEnabled(formatFree);
  ValidateNumber(length);

  const TextTable& t = instance_.texts;
  length.labelText = gapMonitor ? kTextFrameLength : kTextTelegramLength;
  timeout.labelText = gapMonitor ? kTextCharacterGap : kTextResponseTimeout;
  for (NumberField* field : {&length, &timeout}) {
    field->label->setText(Q(t.Text(field->labelText)));
    for (FocusItem& item : focusItems_) {
      if (item.control == field->edit) item.hint = Q(t.Text(field->labelText + 1));
    }
  }
}

void TfmCom::ProposeTimeOut() {
  const std::uint32_t baud = BaudRateOfIndex(instance_.texts, work_.baudIndex);
  const std::uint32_t proposal = GetTimeOut(baud, work_.telegramLength, work_.function);
  if (proposal == 0) return;  // no rate in the list
  Number("edTimeOut").edit->setText(QString::number(proposal));
}

void TfmCom::TakeLists() {
  auto index = [](const QComboBox* box, std::uint32_t fallback) {
    return box->currentIndex() < 0 ? fallback : static_cast<std::uint32_t>(box->currentIndex());
  };
  work_.function =
      static_cast<PortFunction>(index(cbFktn_, static_cast<std::uint32_t>(work_.function)));
  work_.resetKind = index(cbLRes_, work_.resetKind);
  work_.singleCharacter = index(cbVwE5_, work_.singleCharacter);
  work_.class1Polling = index(cbAbfr_, work_.class1Polling);
  work_.spikeFilter = static_cast<std::uint8_t>(index(cbSpikes_, work_.spikeFilter));
  work_.baudIndex = index(cbBaud_, work_.baudIndex);
  work_.baud = BaudRateOfIndex(instance_.texts, work_.baudIndex);
  work_.parity = static_cast<std::uint8_t>(index(cbPari_, work_.parity));
  work_.dataBits = static_cast<std::uint8_t>(index(cbData_, work_.dataBits - 5u) + 5);
  work_.stopBits = static_cast<std::uint8_t>(index(cbStop_, work_.stopBits - 1u) + 1);
  work_.rtsFunction = static_cast<std::uint8_t>(index(cbFRts_, work_.rtsFunction));
  std::uint8_t lines = work_.watchedLines & static_cast<std::uint8_t>(~kWatchedLineMask);
  for (int i = 0; i < chlbAend_->count() && i < 3; ++i) {
    if (chlbAend_->item(i)->checkState() == Qt::Checked) lines |= kWatchedLineBits[i];
  }
  work_.watchedLines = lines;
  work_.reopen = cbReopen_->isChecked() ? 1 : 0;
}

void TfmCom::SelectPage(int page) {
  pgctrlCom_->setCurrentIndex(std::clamp(page, 0, pgctrlCom_->count() - 1));
}

void TfmCom::RestoreFocus() {
  const int page = work_.dialogPage < 2 ? static_cast<int>(work_.dialogPage) : 0;
  SelectPage(page);
  auto usable = [this, page](std::size_t i) {
    const FocusItem& item = focusItems_[i];
    return item.page == page && item.control->isEnabled() && !item.control->isHidden();
  };
  std::size_t focus = work_.dialogFocus;
  if (focus >= focusItems_.size() || !usable(focus)) {
    focus = 0;
    while (focus < focusItems_.size() && !usable(focus)) ++focus;
  }
  if (focus < focusItems_.size()) {
    lastFocus_ = static_cast<int>(focus);
    focusItems_[focus].control->setFocus(Qt::OtherFocusReason);
    ShowHint(lastFocus_);
  }
}

int TfmCom::FocusIndexOf(const QObject* control) const {
  for (std::size_t i = 0; i < focusItems_.size(); ++i) {
    if (focusItems_[i].control == control) return static_cast<int>(i);
  }
  return -1;
}

void TfmCom::ShowHint(int focusIndex) {
  if (focusIndex < 0 || focusIndex >= static_cast<int>(focusItems_.size())) return;
  const QString& hint = focusItems_[static_cast<std::size_t>(focusIndex)].hint;
  if (hint.isEmpty()) {
    stbarEmSe_->clearMessage();
  } else {
    stbarEmSe_->showMessage(hint);
  }
}

void TfmCom::FocusNext(QWidget* from) {
  const int at = FocusIndexOf(from);
  for (std::size_t i = static_cast<std::size_t>(at + 1); i < focusItems_.size(); ++i) {
    const FocusItem& item = focusItems_[i];
    if (!item.control->isEnabled() || item.control->isHidden()) continue;
    SelectPage(item.page);
    item.control->setFocus(Qt::TabFocusReason);
    return;
  }
  btnOK_->setFocus(Qt::TabFocusReason);
}

bool TfmCom::eventFilter(QObject* watched, QEvent* event) {
  const int index = FocusIndexOf(watched);
  if (index >= 0) {
    switch (event->type()) {
      case QEvent::FocusIn:
        lastFocus_ = index;
        ShowHint(index);
        if (watched == chlbAend_ && chlbAend_->count() > 0) chlbAend_->setCurrentRow(0);
        break;
      case QEvent::FocusOut:
        if (watched == chlbAend_) {
          chlbAend_->clearSelection();
          chlbAend_->setCurrentItem(nullptr);
        }
        break;
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched != btnBind_) {
          FocusNext(static_cast<QWidget*>(watched));
          return true;
        }
        break;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmCom::btnOKClick() {
  if (!FieldsValid()) {
    // The first invalid field takes the focus; the dialog stays open.
    for (std::size_t i = 0; i < focusItems_.size(); ++i) {
      QWidget* control = focusItems_[i].control;
      bool invalid = control == sfLinkAdr_ && !addressesValid_;
      for (const NumberField& field : numbers_) {
        invalid = invalid || (field.edit == control && !field.valid);
      }
      if (!invalid) continue;
      SelectPage(focusItems_[i].page);
      control->setFocus(Qt::OtherFocusReason);
      ShowHint(static_cast<int>(i));
      break;
    }
    QApplication::beep();
    return;
  }
  TakeLists();
  // A click on OK takes the focus; the field before it is remembered.
  const int focused = FocusIndexOf(focusWidget());
  work_.dialogFocus = static_cast<std::uint32_t>(focused >= 0 ? focused : std::max(lastFocus_, 0));
  work_.dialogPage = static_cast<std::uint32_t>(std::max(pgctrlCom_->currentIndex(), 0));
  work_.portNumber = cbCom_->currentIndex() <= 0 ? 0 : PortNumberOfEntry(cbCom_->currentText());
  accept();
}

void TfmCom::btnHelpClick() {
  OpenHelpPage(instance_, kHelpContext);
}

void TfmCom::Refuse(const QString& message) {
  instance_.platform.prompter.Show(message.toStdString(), MessageType::Error, MessageButtons::Ok);
  edDevice_->setFocus(Qt::OtherFocusReason);
}

void TfmCom::btnBindClick() {
  auto* devices = dynamic_cast<TermiosPortEnumerator*>(instance_.platform.ports);
  if (!devices) return;
  const QString shown = edDevice_->text().trimmed();
  const std::string path = shown.toStdString();
  if (path.empty()) return Refuse(LocalText(kEmptyPath));
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Refuse(LocalText(kNoDevice, shown));
  if (!S_ISCHR(info.st_mode)) return Refuse(LocalText(kNotCharacterDevice, shown));

  const std::uint32_t other =
      instance_.ports[static_cast<std::size_t>(portIndex_ ^ 1)].params.portNumber;
  const std::map<int, std::string> map = devices->PortMap();
  int number = 0;
  for (const auto& [n, mapped] : map) {
    if (SameDevice(mapped, path)) {
      number = n;
      break;
    }
  }
  if (number != 0 && static_cast<std::uint32_t>(number) == other) {
    return Refuse(LocalText(kUsedByOtherPort, shown, QString::number(number)));
  }
  if (number == 0) {
    for (int n = 1; n <= TermiosPortEnumerator::kMaxPort && number == 0; ++n) {
      if (map.count(n) == 0 && static_cast<std::uint32_t>(n) != other) number = n;
    }
    if (number == 0) return Refuse(LocalText(kNoFreeNumber, shown));
    if (!instance_.platform.registry.WriteString(kPortMapKey, std::to_string(number), path)) {
      return Refuse(LocalText(kNotStored, shown));
    }
    devices->Bind(number, path);
  }
  EnumeratePorts(instance_);
  FillPortList(static_cast<std::uint32_t>(number));
  edDevice_->clear();
  cbCom_->setFocus(Qt::OtherFocusReason);
}

void TfmCom::PlaceBeside(const QWidget* mainWindow) {
  PlaceBesideMain(this, mainWindow);
}

bool RunPortDialog(QWidget* parent, Instance& instance, int portIndex, PortService* ports) {
  portIndex &= 1;
  // A second dialog while the first one's port is still draining would take
  // parameters that are about to be overwritten.
  static constexpr const char* kBusy = "kivoPortDialogRunning";
  QPointer<QWidget> owner(parent);
  if (owner && owner->property(kBusy).toBool()) return false;
  if (!instance.Online() || instance.app.availablePortCount == 0) EnumeratePorts(instance);

  PortParams chosen;
  {
    TfmCom dialog(instance, portIndex, parent);
    dialog.PlaceBeside(parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    chosen = dialog.Params();
  }
  if (owner) owner->setProperty(kBusy, true);
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex)];
  // Closed under its previous number, and the line given the time to drain
  // what the old parameters sent.
  const std::uint32_t previousBaud = std::max<std::uint32_t>(port.params.baud, 1);
  ClosePort(instance.linkContext, portIndex);
  if (ports) ports->Reconcile();
  WaitProcessingEvents(static_cast<int>(176000 / previousBaud + 500));
  port.params = chosen;
  PreparePort(instance.linkContext, portIndex);
  ApplyOnlineState(instance);
  if (ports) ports->Reconcile();
  if (owner) owner->setProperty(kBusy, false);
  return true;
}

}  // namespace kivo
