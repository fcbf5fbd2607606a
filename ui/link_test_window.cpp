#include "ui/link_test_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/instance.h"
#include "ui/editor_support.h"

namespace kivo {

namespace {

constexpr int kHelpLinkTest = 5450;

constexpr int kTextTitle = 1295;
constexpr int kTextItemCount = 1296;
constexpr int kTextFirstItem = 1297;
constexpr int kTextExit = 1310;
constexpr int kTextHint = 502;

}  // namespace

TfmLnk::TfmLnk(Instance& instance, int portIndex, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), instance_(instance), portIndex_(portIndex & 1) {
  setObjectName("fmLnk");
  setProperty(kHelpContextProperty, kHelpLinkTest);
  setAttribute(Qt::WA_DeleteOnClose);
  const TextTable& t = instance_.texts;
  const PortRecord& port = instance_.ports[static_cast<std::size_t>(portIndex_)];
  setWindowTitle(Q(t.Text(kTextTitle)) + QString::number(port.Number()));

  auto* layout = new QVBoxLayout(this);
  chlbLnk_ = new QListWidget(this);
  chlbLnk_->setObjectName("chlbLnk");
  const long count = std::clamp<long>(t.NumberText(kTextItemCount), 0, LinkTestFlags::kCount);
  for (int i = 0; i < count; ++i) {
    auto* item = new QListWidgetItem(Q(t.Text(kTextFirstItem + i)), chlbLnk_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(port.linkTest.Get(i) ? Qt::Checked : Qt::Unchecked);
  }
  if (count > 0) chlbLnk_->setCurrentRow(0);
  // All items visible without scrolling.
  const int rows = std::max<int>(static_cast<int>(count), 1);
  chlbLnk_->setMinimumHeight(chlbLnk_->sizeHintForRow(0) * rows + 2 * chlbLnk_->frameWidth() + 4);
  chlbLnk_->setMinimumWidth(chlbLnk_->sizeHintForColumn(0) + 2 * chlbLnk_->frameWidth() + 8);
  layout->addWidget(chlbLnk_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnExit_ = new QPushButton(Q(t.Text(kTextExit)), this);
  btnExit_->setObjectName("btnExit");
  buttons->addWidget(btnExit_);
  layout->addLayout(buttons);

  stbrLnk_ = HintBar(this, "stbrLnk");
  stbrLnk_->showMessage(Q(t.Text(kTextHint)));
  layout->addWidget(stbrLnk_);
  // The hint is read in full.
  setMinimumWidth(stbrLnk_->fontMetrics().horizontalAdvance(stbrLnk_->currentMessage()) + 48);

  connect(chlbLnk_, &QListWidget::itemChanged, this, &TfmLnk::chlbLnkClickCheck);
  connect(btnExit_, &QPushButton::clicked, this, &TfmLnk::btnExitClick);
}

void TfmLnk::chlbLnkClickCheck(QListWidgetItem* item) {
  const int index = chlbLnk_->row(item);
  if (index < 0 || index >= LinkTestFlags::kCount) return;
  instance_.ports[static_cast<std::size_t>(portIndex_)].linkTest.Set(
      index, item->checkState() == Qt::Checked);
}

void TfmLnk::btnExitClick() {
  close();
}

void TfmLnk::closeEvent(QCloseEvent* event) {
  instance_.ports[static_cast<std::size_t>(portIndex_)].linkTest.Clear();
  closed_ = true;
  event->accept();
}

void TfmLnk::PlaceBeside(const QWidget* mainWindow) {
  adjustSize();
  QScreen* screen = mainWindow ? mainWindow->screen() : this->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const QSize size = frameGeometry().size().expandedTo(sizeHint());
  int left = area.left();
  int top = area.top();
  if (mainWindow) {
    const QRect main = mainWindow->frameGeometry();
    left = main.left() + main.width() - size.width() - 10;
    top = main.top() + 32;
  }
  left = std::clamp(left, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
  top = std::clamp(top, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
  move(left, top);
}

void OpenLinkTest(QWidget* mainWindow, Instance& instance, int portIndex) {
  if (mainWindow) {
    for (TfmLnk* open : mainWindow->findChildren<TfmLnk*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (open->closed()) continue;
      open->showNormal();
      open->raise();
      open->activateWindow();
      return;
    }
  }
  auto* window = new TfmLnk(instance, portIndex, mainWindow);
  // Placed once shown, when its frame is known.
  window->show();
  window->PlaceBeside(mainWindow);
}

}  // namespace kivo
