#include "ui/help_window.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/instance.h"
#include "ui/editor_support.h"

namespace kivo {

namespace {

constexpr int kTextTitle = 499;
constexpr int kTextHelp = 511;
constexpr int kTextContents = 689;
constexpr int kDefaultWidth = 720;
constexpr int kDefaultHeight = 620;

QWidget* TopOf(QWidget* widget) {
  while (widget && widget->parentWidget()) widget = widget->parentWidget();
  return widget;
}

// The help context of the window a widget sits in: the nearest one named on
// the way up through its parents, else the contents.
int ContextOf(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    const QVariant context = widget->property(kHelpContextProperty);
    if (context.isValid()) return context.toInt();
  }
  return kHelpContents;
}

TfmHelp* HelpWindowOf(QWidget* owner) {
  if (owner) return owner->findChild<TfmHelp*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* help = qobject_cast<TfmHelp*>(widget);
    if (help && !help->parentWidget()) return help;
  }
  return nullptr;
}

// A modal dialog blocks every window that is not its own; the help opened
// from it must still scroll and follow links, so it stands over the dialog
// while one is open and over its owner otherwise.
void KeepUsable(QWidget* help) {
  QWindow* handle = help->windowHandle();
  if (!handle) return;
  QWidget* modal = QApplication::activeModalWidget();
  QWidget* over = modal && modal != help ? modal : help->parentWidget();
  handle->setTransientParent(over ? over->window()->windowHandle() : nullptr);
}

// F1 without modifiers anywhere in the main window's windows; the F keys
// with modifiers belong to sending and editing.
class HelpKey : public QObject {
 public:
  HelpKey(QWidget* mainWindow, Instance& instance)
      : QObject(mainWindow), mainWindow_(mainWindow), instance_(instance) {
    qApp->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || TopOf(widget) != mainWindow_) return false;
    return ShowHelpPage(widget, instance_, ContextOf(widget));
  }

 private:
  QWidget* mainWindow_;
  Instance& instance_;
};

}  // namespace

TfmHelp::TfmHelp(QWidget* owner) : QWidget(owner, Qt::Window) {
  setObjectName("fmHelp");
  if (!owner) setAttribute(Qt::WA_DeleteOnClose);

  btnBack_ = new QToolButton(this);
  btnBack_->setObjectName("btnBack");
  btnBack_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  btnBack_->setEnabled(false);
  btnForward_ = new QToolButton(this);
  btnForward_->setObjectName("btnForward");
  btnForward_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
  btnForward_->setEnabled(false);
  btnContents_ = NamedButton(this, "btnContents");
  btnContents_->setAutoDefault(false);

  tbHelp_ = new QTextBrowser(this);
  tbHelp_->setObjectName("tbHelp");
  tbHelp_->setOpenLinks(true);
  tbHelp_->setOpenExternalLinks(true);

  auto* bar = new QHBoxLayout;
  bar->addWidget(btnBack_);
  bar->addWidget(btnForward_);
  bar->addWidget(btnContents_);
  bar->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(tbHelp_, 1);

  connect(btnBack_, &QToolButton::clicked, tbHelp_, &QTextBrowser::backward);
  connect(btnForward_, &QToolButton::clicked, tbHelp_, &QTextBrowser::forward);
  connect(tbHelp_, &QTextBrowser::backwardAvailable, btnBack_, &QToolButton::setEnabled);
  connect(tbHelp_, &QTextBrowser::forwardAvailable, btnForward_, &QToolButton::setEnabled);
  connect(btnContents_, &QPushButton::clicked, this,
          [this] { tbHelp_->setSource(QUrl::fromLocalFile(contentsPage_)); });
  connect(tbHelp_, &QTextBrowser::sourceChanged, this, [this] { ShowTitle(); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QSize TfmHelp::sizeHint() const {
  return {kDefaultWidth, kDefaultHeight};
}

void TfmHelp::ShowPage(const Instance& instance, const QString& page) {
  const TextTable& t = instance.texts;
  contentsPage_ = HelpPagePath(instance, kHelpContents);
  titlePrefix_ = Q(t.Text(kTextTitle)) + Q(t.Text(kTextHelp));
  btnContents_->setText(Q(t.Text(kTextContents)));
  const QUrl url = QUrl::fromLocalFile(page);
  // The same page again is reloaded: a language switch may have replaced it.
  if (tbHelp_->source() == url) {
    tbHelp_->reload();
  } else {
    tbHelp_->setSource(url);
  }
  ShowTitle();
}

void TfmHelp::ShowTitle() {
  const QString title = tbHelp_->documentTitle();
  setWindowTitle(title.isEmpty() ? titlePrefix_ : titlePrefix_ + QStringLiteral(" - ") + title);
}

QString HelpPagePath(const Instance& instance, int context) {
  const std::string& file = instance.texts.helpFile();
  if (file.empty()) return {};
  const QFileInfo contents(Q(file));
  if (context != kHelpContents) {
    const QFileInfo page(contents.absolutePath() + QStringLiteral("/%1.html").arg(context));
    if (page.isFile()) return page.absoluteFilePath();
  }
  return contents.isFile() ? contents.absoluteFilePath() : QString();
}

bool ShowHelpPage(QWidget* parent, const Instance& instance, int context) {
  const QString page = HelpPagePath(instance, context);
  if (page.isEmpty()) return false;
  QWidget* owner = TopOf(parent);
  TfmHelp* help = HelpWindowOf(owner);
  const bool created = !help;
  if (created) help = new TfmHelp(owner);
  help->ShowPage(instance, page);
  if (created) PlaceBesideMain(help, owner);
  help->show();
  KeepUsable(help);
  help->raise();
  help->activateWindow();
  return true;
}

void ShowHelp(QWidget* parent, Instance& instance, int context) {
  ShowHelpPage(parent, instance, context);
}

void InstallHelpKey(QWidget* mainWindow, Instance& instance) {
  if (mainWindow) new HelpKey(mainWindow, instance);
}

}  // namespace kivo
