#include "ui/options_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QtGlobal>
#include <algorithm>

#include "app/instance.h"
#include "ui/editor_support.h"

namespace kivo {

namespace {

constexpr int kTextOptionsCaption = 1231;
constexpr int kTextOptionCount = 1232;
constexpr int kTextFirstOption = 1233;
constexpr int kTextInfoCaption = 1323;
constexpr int kTextInfoTitle = 1324;
constexpr int kTextInfoVersion = 1325;
constexpr int kTextInfoLine = 1326;
constexpr int kTextForLinux = 1;
constexpr int kTextProgram = 502;
constexpr int kTextDataDirectory = 553;
constexpr int kTextOk = 676;
constexpr int kTextCancel = 677;
constexpr int kTextHelp = 678;
constexpr int kHelpOptions = 5700;

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
  QPushButton* button = NamedButton(parent, name);
  button->setText(text);
  return button;
}

QString CompilerName() {
#if defined(__clang__)
  return QStringLiteral("clang %1.%2.%3")
      .arg(__clang_major__)
      .arg(__clang_minor__)
      .arg(__clang_patchlevel__);
#elif defined(__GNUC__)
  return QStringLiteral("GCC %1.%2.%3").arg(__GNUC__).arg(__GNUC_MINOR__).arg(__GNUC_PATCHLEVEL__);
#else
  return QStringLiteral("C++");
#endif
}

}  // namespace

TfmOpt::TfmOpt(Instance& instance, QWidget* parent) : QDialog(parent), instance_(instance) {
  setObjectName("fmOpt");
  setProperty(kHelpContextProperty, kHelpOptions);
  const TextTable& t = instance.texts;
  setWindowTitle(Q(t.Text(kTextOptionsCaption)));
  chlbOpt_ = new QListWidget(this);
  chlbOpt_->setObjectName("chlbOpt");
  const int count =
      static_cast<int>(std::clamp<long>(t.NumberText(kTextOptionCount), 0, kOptionCount));
  for (int i = 0; i < count; ++i) {
    auto* item = new QListWidgetItem(Q(t.Text(kTextFirstOption + i)), chlbOpt_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(instance.settings.Option(i) ? Qt::Checked : Qt::Unchecked);
  }
  if (count > 0) chlbOpt_->setCurrentRow(0);
  // The space bar ticks the current item; Enter leaves with OK.
  const QFontMetrics metrics(chlbOpt_->font());
  int width = 200;
  for (int i = 0; i < count; ++i) {
    width = std::max(width, metrics.horizontalAdvance(chlbOpt_->item(i)->text()) + 60);
  }
  chlbOpt_->setMinimumSize(width, (count + 1) * (metrics.height() + 4));

  QPushButton* ok = Button(this, "btnOK", Q(t.Text(kTextOk)));
  QPushButton* cancel = Button(this, "btnAbbr", Q(t.Text(kTextCancel)));
  QPushButton* help = Button(this, "btnHelp", Q(t.Text(kTextHelp)));
  ok->setDefault(true);
  help->setEnabled(HelpAvailable(instance));
  connect(ok, &QPushButton::clicked, this, &TfmOpt::btnOKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { OpenHelpPage(instance_, kHelpOptions); });
  stbrOpt_ = HintBar(this, "stbrOpt");
  stbrOpt_->showMessage(Q(t.Text(kTextProgram)));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* b : {ok, cancel, help}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chlbOpt_);
  layout->addLayout(buttons);
  layout->addWidget(stbrOpt_);
}

void TfmOpt::btnOKClick() {
  for (int i = 0; i < chlbOpt_->count() && i < kOptionCount; ++i) {
    instance_.settings.options[static_cast<std::size_t>(i)] =
        chlbOpt_->item(i)->checkState() == Qt::Checked ? 1 : 0;
  }
  accept();
}

bool EditOptions(QWidget* mainWindow, Instance& instance) {
  TfmOpt dialog(instance, mainWindow);
  PlaceBesideMain(&dialog, mainWindow);
  return dialog.exec() == QDialog::Accepted;
}

TfmInfo::TfmInfo(Instance& instance, QWidget* parent) : QDialog(parent) {
  setObjectName("fmInfo");
  const TextTable& t = instance.texts;
  setWindowTitle(Q(t.Text(kTextInfoCaption)));
  lbInfo_ = new QListWidget(this);
  lbInfo_->setObjectName("lbInfo");
  lbInfo_->setSelectionMode(QAbstractItemView::NoSelection);
  lbInfo_->setFocusPolicy(Qt::NoFocus);
  const QStringList lines = {
      QString(),
      Q(t.Text(kTextInfoTitle)),
      QString(),
      QStringLiteral(" Copyright (C) 2026 the Kivo developers"),
      QString(),
      Q(t.Text(kTextInfoVersion)) + QStringLiteral(KIVO_VERSION) + QStringLiteral("   ") +
          Q(t.Text(kTextForLinux)).trimmed(),
      QString(),
      Q(t.Text(kTextInfoLine)),
      QString(),
      QStringLiteral(" Qt %1, %2").arg(QString::fromLatin1(qVersion()), CompilerName()),
      QStringLiteral(" %1: %2").arg(Q(t.Text(kTextDataDirectory)), Q(instance.dataDirectory)),
  };
  lbInfo_->addItems(lines);
  const QFontMetrics metrics(lbInfo_->font());
  int width = 320;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line) + 40);
  lbInfo_->setMinimumSize(std::min(width, 900), (lines.size() + 1) * (metrics.height() + 2));
  QPushButton* ok = Button(this, "btnOK", Q(t.Text(kTextOk)));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbInfo_);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
}

void ShowInfo(QWidget* mainWindow, Instance& instance) {
  TfmInfo dialog(instance, mainWindow);
  dialog.adjustSize();
  if (mainWindow) {
    const QRect frame = mainWindow->frameGeometry();
    dialog.move(frame.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
  }
  dialog.exec();
}

}  // namespace kivo
