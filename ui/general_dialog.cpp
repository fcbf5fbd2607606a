#include "ui/general_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/general_commands.h"
#include "app/instance.h"
#include "ui/editor_support.h"

namespace kivo {

namespace {

constexpr int kTextCaption = 556;
constexpr int kTextCommonAddress = 585;  // label, count, items
constexpr int kTextDisturbanceList = 641;
constexpr int kTextMeasurand100 = 581;
constexpr int kTextDisturbanceTimeout = 639;
constexpr int kTextLogSize = 633;
constexpr int kTextDataDirectory = 553;
constexpr int kTextSummerTime = 1348;
constexpr int kTextGeneralHint = 502;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kHelpContext = 5500;

}  // namespace

TfmAlg::TfmAlg(Instance& instance, QWidget* parent)
    : QDialog(parent),
      instance_(instance),
      work_(instance.general),
      directory_(instance.dataDirectory) {
  setObjectName("fmAlg");
  setProperty(kHelpContextProperty, kHelpContext);
  const TextTable& t = instance.texts;
  setWindowTitle(Q(t.Text(kTextCaption)));
  auto* form = new QFormLayout;
  auto combo = [&](const char* name, int first, std::uint32_t value) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    const QString label = FillComboFromTexts(box, t, first);
    box->setCurrentIndex(std::min<int>(static_cast<int>(value), box->count() - 1));
    form->addRow(label, box);
    focusOrder_.push_back(box);
    hints_.push_back(kTextGeneralHint);
    return box;
  };
  auto number = [&](const char* name, int label, std::uint32_t GeneralParams::*member,
                    std::uint32_t least, std::uint32_t most) {
    auto* edit = new QLineEdit(QString::number(work_.*member), this);
    edit->setObjectName(name);
    edit->setMaxLength(6);
    form->addRow(Q(t.Text(label)), edit);
    numbers_.push_back({edit, member, least, most});
    focusOrder_.push_back(edit);
    hints_.push_back(label + 1);
    connect(edit, &QLineEdit::textChanged, this, [this, edit] {
      for (const NumberField& field : numbers_) {
        if (field.edit == edit) ShowValidity(edit, NumberValid(field, nullptr));
      }
    });
  };
  cobxLLink_ = combo("cobxLLink", kTextCommonAddress, work_.separateCommonAddress);
  cobxAbruf_ = combo("cobxAbruf", kTextDisturbanceList, work_.autoOrderDisturbance ? 1 : 0);
  number("edMw100", kTextMeasurand100, &GeneralParams::measurand100, kLeastMeasurand100,
         kMostMeasurand100);
  number("edTimeout", kTextDisturbanceTimeout, &GeneralParams::disturbanceTimeout,
         kLeastDisturbanceTimeout, kMostDisturbanceTimeout);
  number("edMaxLog", kTextLogSize, &GeneralParams::logSize, kLeastLogSize,
         GeneralParams::kMaxLogSize);

  edLogVerz_ = new QLineEdit(Q(directory_), this);
  edLogVerz_->setObjectName("edLogVerz");
  edLogVerz_->setMaxLength(static_cast<int>(kMostDataDirectoryLength));
  edLogVerz_->setMinimumWidth(320);
  btnBr_ = new QPushButton(QStringLiteral("..."), this);
  btnBr_->setObjectName("btnBr");
  btnBr_->setToolTip(Q(t.Text(kTextGeneralHint)));
  auto* directoryRow = new QHBoxLayout;
  directoryRow->addWidget(edLogVerz_, 1);
  directoryRow->addWidget(btnBr_);
  form->addRow(Q(t.Text(kTextDataDirectory)), directoryRow);
  focusOrder_.push_back(edLogVerz_);
  hints_.push_back(kTextDataDirectory + 1);
  focusOrder_.push_back(btnBr_);
  hints_.push_back(kTextGeneralHint);
  chbSZt_ = new QCheckBox(Q(t.Text(kTextSummerTime)), this);
  chbSZt_->setObjectName("chbSZt");
  chbSZt_->setChecked(work_.summerTime != 0);
  form->addRow(QString(), chbSZt_);
  focusOrder_.push_back(chbSZt_);
  hints_.push_back(kTextSummerTime + 1);

  chooseFolder = [](QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start);
  };
  connect(btnBr_, &QPushButton::clicked, this, [this] {
    const QString chosen = chooseFolder(this, edLogVerz_->text());
    if (!chosen.isEmpty()) edLogVerz_->setText(Q(S(chosen)).endsWith('/') ? chosen : chosen + '/');
  });

  QPushButton* ok = NamedButton(this, "btnOK");
  ok->setText(Q(t.Text(kTextOk)));
  QPushButton* cancel = NamedButton(this, "btnAbbr");
  cancel->setText(Q(t.Text(kTextCancel)));
  QPushButton* help = NamedButton(this, "btnHelp");
  help->setText(Q(t.Text(kTextHelp)));
  help->setEnabled(HelpAvailable(instance));
  connect(ok, &QPushButton::clicked, this, &TfmAlg::btnOKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { OpenHelpPage(instance_, kHelpContext); });
  for (QPushButton* button : {ok, cancel, help}) {
    button->setAutoDefault(false);
    focusOrder_.push_back(button);
    hints_.push_back(kTextGeneralHint);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* button : {ok, cancel, help}) buttons->addWidget(button);
  stbrAlg_ = HintBar(this, "stbrAlg");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->addWidget(stbrAlg_);
  for (QWidget* control : focusOrder_) control->installEventFilter(this);
  // The control that had the focus when the dialog was last left.
  const std::size_t focus = std::min<std::size_t>(work_.focusIndex, focusOrder_.size() - 1);
  focusOrder_[focus]->setFocus();
  stbrAlg_->showMessage(Q(t.Text(hints_[focus])));
}

bool TfmAlg::NumberValid(const NumberField& field, std::uint32_t* value) const {
  bool ok = false;
  const qulonglong number = field.edit->text().trimmed().toULongLong(&ok);
  if (!ok || number < field.least || number > field.most) return false;
  if (value) *value = static_cast<std::uint32_t>(number);
  return true;
}

bool TfmAlg::eventFilter(QObject* watched, QEvent* event) {
  const auto at = std::find(focusOrder_.begin(), focusOrder_.end(), watched);
  if (at != focusOrder_.end()) {
    const std::size_t index = static_cast<std::size_t>(at - focusOrder_.begin());
    if (event->type() == QEvent::FocusIn) {
      work_.focusIndex = static_cast<std::uint32_t>(index);
      stbrAlg_->showMessage(Q(instance_.texts.Text(hints_[index])));
    } else if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      // Enter moves on, except on the buttons, which it presses.
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !qobject_cast<QPushButton*>(*at)) {
        focusOrder_[(index + 1) % focusOrder_.size()]->setFocus();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmAlg::btnOKClick() {
  GeneralParams taken = work_;
  for (const NumberField& field : numbers_) {
    std::uint32_t value = 0;
    if (!NumberValid(field, &value)) {
      ShowValidity(field.edit, false);
      field.edit->setFocus();
      return;
    }
    taken.*field.member = value;
  }
  std::string directory = S(edLogVerz_->text().trimmed());
  if (!CheckDataDirectory(instance_, directory)) {
    ShowValidity(edLogVerz_, false);
    edLogVerz_->setFocus();
    return;
  }
  ShowValidity(edLogVerz_, true);
  taken.separateCommonAddress = static_cast<std::uint32_t>(std::max(0, cobxLLink_->currentIndex()));
  taken.autoOrderDisturbance = static_cast<std::uint32_t>(std::max(0, cobxAbruf_->currentIndex()));
  taken.summerTime = chbSZt_->isChecked() ? 1 : 0;
  work_ = taken;
  directory_ = directory;
  accept();
}

bool EditGeneralParams(QWidget* mainWindow, Instance& instance) {
  TfmAlg dialog(instance, mainWindow);
  PlaceBesideMain(&dialog, mainWindow);
  if (dialog.exec() != QDialog::Accepted) {
    instance.general.focusIndex = dialog.Params().focusIndex;
    return false;
  }
  const GeneralOutcome outcome =
      ApplyGeneralParams(instance, dialog.Params(), dialog.DataDirectory());
  return outcome == GeneralOutcome::Stored || outcome == GeneralOutcome::Applied;
}

}  // namespace kivo
