#include "ui/main_window.h"

#include <QActionGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/info_texts.h"
#include "app/log_commands.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/port_texts.h"
#include "app/recent_files.h"
#include "app/send_commands.h"
#include "app/send_file_commands.h"
#include "app/shutdown.h"
#include "app/startup.h"
#include "asdu/text_format.h"
#include "log/log_filter.h"
#include "log/log_store.h"
#include "send/send_execution.h"
#include "ui/colour_dialogs.h"
#include "ui/editor_support.h"
#include "ui/filter_dialog.h"
#include "ui/general_dialog.h"
#include "ui/help_window.h"
#include "ui/link_test_window.h"
#include "ui/options_dialog.h"
#include "ui/output_dialog.h"
#include "ui/port_dialog.h"
#include "ui/response_sim_dialog.h"
#include "ui/send_list_editor.h"
#include "ui/send_telegram_editor.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kTextTitle = 499;
constexpr int kTextToolButtons = 504;
constexpr int kTextGoOnline = 1148;
constexpr int kTextGoOffline = 1149;
constexpr int kTextLampHints = 1154;
constexpr int kTextInfoFileCaption = 1065;
constexpr int kTextDemo = 1435;
constexpr const char* kSeparator = "-";
constexpr int kDefaultWidth = 960;
constexpr int kDefaultHeight = 640;
constexpr int kTextRowTitles = 1280;     // port 1, port 2
constexpr int kTextColumnTitles = 1282;  // "width,title" per column
constexpr int kStatisticsColumns = 10;
constexpr int kTextDisplayPanel = 1142;  // + online display
constexpr int kTextOff = 1139;           // + filter on
constexpr int kTextLogFilterPanel = 1146;
constexpr int kTextDisplayFilterPanel = 1145;
constexpr int kTextLogPanel = 1194;
constexpr int kTextCopy = 1160;
constexpr int kTextFilterSwitch = 686;  // + the display filter's Enabled
constexpr int kTextFilterRestrictsNothing = 1215;

// The main menu: each top-level menu with the text number of its first item
// and its items in order; "-" is a separator.
struct MenuDefinition {
  const char* name;
  int firstText;
  std::vector<const char*> items;
};

const std::vector<MenuDefinition>& MainMenu() {
  static const std::vector<MenuDefinition> menu = {
      {"miFile",
       1050,
       {"miLogOp", "miLogSav", "miLogDel", "miLogDrucken", kSeparator, "miSeTeLoad", "miSeTeSav",
        kSeparator, "miInfTxtLoad", kSeparator, "miExit"}},
      {"miMode", 523, {"miOnline", "miOffline", kSeparator, "miEmSe1", "miEmSe2"}},
      {"miSend", 528, {"miPaTe", "miPaLi", "miBRm", "miSeStop"}},
      {"miView",
       532,
       {"miAusgOnl", "miAusgLog", kSeparator, "miLog", "miKomp", "miLogN", "miByte", "miExp",
        kSeparator, "miZeit", "miLink"}},
      {"miPara",
       1440,
       {"miAllg", "miOpt", kSeparator, "miTelSize", "miFrbTyp", "miFrbUrs", kSeparator, "miLinkT1",
        "miLinkT2"}},
      {"miFilt", 683, {"miAFilter", "miAFiltAE", "miLFilter"}},
      {"miSpr", 927, {"miGer", "miUsa"}},
      {"miHelp", 689, {"miHelpContents", kSeparator, "miInfo"}},
  };
  return menu;
}

// The display formats of the view menu, as the action tags carry them.
const std::vector<std::pair<const char*, int>>& FormatItems() {
  static const std::vector<std::pair<const char*, int>> items = {
      {"miLog", 3}, {"miKomp", 4}, {"miLogN", 5}, {"miByte", 6}, {"miExp", 7}};
  return items;
}

QIcon OnlineIcon(bool online) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(online ? QColor(0x00, 0xC0, 0x00) : QColor(0xC0, 0x00, 0x00));
  painter.setPen(Qt::black);
  painter.drawEllipse(2, 2, 12, 12);
  return QIcon(pixmap);
}

}  // namespace

TfmMain::TfmMain(Instance& instance, const std::vector<std::string>& arguments, PortService* ports,
                 QWidget* parent)
    : QMainWindow(parent), instance_(instance), ports_(ports) {
  setObjectName("fmMain");
  instance_.events = this;
  CreateMainState(instance_, arguments);

  BuildMenus();
  BuildToolBars();
  BuildSendActions();
  BuildStatusBar();

  BuildLogArea();

  // The pop-up menu of the log area offers the items of the view menu.
  pmMain_ = new QMenu(this);
  pmMain_->setObjectName("pmMain");
  pmMain_->addActions(menu("miView")->actions());
  // The telegrams on the screen go to the clipboard in the export form, which
  // the send-list editor pastes as rows.
  pmMain_->addSeparator();
  QAction* copy = pmMain_->addAction(QString());
  copy->setObjectName("miLogCopy");
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  canvas_->addAction(copy);
  actions_["miLogCopy"] = copy;
  connect(copy, &QAction::triggered, this,
          [this] { QGuiApplication::clipboard()->setText(Q(canvas_->view().ShownEntriesText())); });
  canvas_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(canvas_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmMain_->popup(canvas_->mapToGlobal(at)); });

  aGoOnl_ = new QAction(this);
  aGoOnl_->setObjectName("aGoOnl");
  addAction(aGoOnl_);
  connect(aGoOnl_, &QAction::triggered, this, &TfmMain::aGoOnlClick);
  actions_["aGoOnl"] = aGoOnl_;
  ApplyShortcuts();

  ApplyTelegramFont();
  InstallHelpKey(this, instance_);
  setProperty(kHelpContextProperty, kHelpContents);
  LabelControls();

  timer_ = new QTimer(this);
  timer_->setObjectName("oTimer");
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(static_cast<int>(kTimerIntervalMs));
  connect(timer_, &QTimer::timeout, this, &TfmMain::oOnTimer);
  timer_->start();
  OnlineStateApplied();
}

TfmMain::~TfmMain() {
  if (instance_.events == this) instance_.events = nullptr;
}

QAction* TfmMain::action(const QString& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* TfmMain::menu(const QString& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

void TfmMain::BuildMenus() {
  auto* formats = new QActionGroup(this);
  auto* displays = new QActionGroup(this);
  for (const MenuDefinition& definition : MainMenu()) {
    auto* top = new QMenu(this);
    top->setObjectName(definition.name);
    topMenus_.push_back(top);
    menus_[definition.name] = top;
    for (const char* item : definition.items) {
      if (std::string_view(item) == kSeparator) {
        top->addSeparator();
        continue;
      }
      QAction* a = top->addAction(QString());
      a->setObjectName(item);
      a->setEnabled(false);  // enabled below where the command is available
      actions_[item] = a;
    }
  }

  auto enable = [this](const char* name, auto slot) {
    QAction* a = action(name);
    a->setEnabled(true);
    connect(a, &QAction::triggered, this, slot);
  };
  enable("miOnline", &TfmMain::aGoOnlClick);
  enable("miOffline", &TfmMain::aGoOfflClick);
  enable("miExit", &TfmMain::close);
  enable("miInfTxtLoad", &TfmMain::aInfTxtLoadClick);
  enable("miSeTeLoad", &TfmMain::miSeTeLoadClick);
  enable("miSeTeSav", &TfmMain::miSeTeSavClick);
  enable("miLogOp", &TfmMain::miLogOpClick);
  enable("miLogSav", &TfmMain::miLogSavClick);
  enable("miLogDel", &TfmMain::aLogDelClick);
  enable("miGer", &TfmMain::miGerClick);
  enable("miUsa", &TfmMain::miGerClick);
  action("miGer")->setData(0);
  action("miUsa")->setData(1);
  for (int port = 0; port < 2; ++port) {
    QAction* parameters = action(port == 0 ? "miEmSe1" : "miEmSe2");
    parameters->setEnabled(true);
    connect(parameters, &QAction::triggered, this, [this, port] {
      RunPortDialog(this, instance_, port, ports_);
      OnlineStateApplied();
    });
    QAction* linkTest = action(port == 0 ? "miLinkT1" : "miLinkT2");
    connect(linkTest, &QAction::triggered, this,
            [this, port] { OpenLinkTest(this, instance_, port); });
  }
  enable("miAllg", &TfmMain::miAllgClick);
  enable("miAFilter", &TfmMain::aAFilterClick);
  enable("miLFilter", &TfmMain::miLFilterClick);
  enable("miAFiltAE", &TfmMain::aAFiltAEClick);
  enable("miTelSize", &TfmMain::miTelSizeClick);
  enable("miFrbTyp", &TfmMain::miFrbTypClick);
  enable("miFrbUrs", &TfmMain::miFrbUrsClick);
  enable("miLogDrucken", &TfmMain::miLogDruckenClick);
  enable("miHelpContents", &TfmMain::miHelpContentsClick);
  enable("miOpt", &TfmMain::miOptClick);
  enable("miInfo", &TfmMain::miInfoClick);
  QMenu* mode = menu("miMode");
  mode->addSeparator();
  QAction* demo = mode->addAction(QString());
  demo->setObjectName("miDemo");
  actions_["miDemo"] = demo;
  connect(demo, &QAction::triggered, this, &TfmMain::miDemoClick);
  mruFile_ = std::make_unique<RecentFilesSection>(
      menu("miFile"), action("miExit"), [this](const std::string& name) { mruFileClick(name); });
  for (const char* name : {"miOnline", "miOffline", "miGer", "miUsa"}) {
    action(name)->setCheckable(true);
  }

  for (const auto& [name, format] : FormatItems()) {
    QAction* a = action(name);
    a->setEnabled(true);
    a->setCheckable(true);
    a->setData(format);
    formats->addAction(a);
    connect(a, &QAction::triggered, this, [this, format = format] { SetDisplayFormat(format); });
  }
  for (const char* name : {"miAusgOnl", "miAusgLog"}) {
    QAction* a = action(name);
    a->setEnabled(true);
    a->setCheckable(true);
    displays->addAction(a);
  }
  // The log display item toggles between the displays; the online display
  // item switches back from the log display.
  connect(action("miAusgLog"), &QAction::triggered, this, &TfmMain::ToggleDisplays);
  connect(action("miAusgOnl"), &QAction::triggered, this, [this] {
    if (instance_.settings.onlineDisplay == 0) {
      ShowOnlineDisplay();
    } else {
      RefreshViewChecks();
    }
  });
  for (const char* name : {"miZeit", "miLink"}) {
    QAction* a = action(name);
    a->setEnabled(true);
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, time = std::string_view(name) == "miZeit"] {
      Settings& s = instance_.settings;
      RefreshViewChecks();
      if (s.displayFormat == 7) return;  // the export form has both lines
      std::uint8_t& flag = time ? s.showTime : s.showLink;
      flag = flag ? 0 : 1;
      RefreshViewChecks();
      RedrawView(time ? 1 : 2);
    });
  }
}

void TfmMain::BuildToolBars() {
  tbrMenu_ = addToolBar(QString());
  tbrMenu_->setObjectName("tbrMenu");
  tbrMenu_->setMovable(false);
  tbrMenu_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QMenu* top : topMenus_) {
    auto* button = new QToolButton(tbrMenu_);
    button->setObjectName("tbtn" + top->objectName().mid(2));
    button->setMenu(top);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    tbrMenu_->addWidget(button);
    menuButtons_.push_back(button);
  }

  tbrOnline_ = addToolBar(QString());
  tbrOnline_->setObjectName("tbrOnline");
  tbrOnline_->setMovable(false);
  onlineButton_ = new QToolButton(tbrOnline_);
  onlineButton_->setObjectName("tbtnGoOnl");
  onlineButton_->setCheckable(true);
  onlineButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(onlineButton_, &QToolButton::clicked, this, &TfmMain::aGoOnlClick);
  tbrOnline_->addWidget(onlineButton_);
  tbrOnline_->addSeparator();
  const char* lampNames[] = {"tbtnR1", "tbtnT1", "tbtnR2", "tbtnT2"};
  for (std::size_t i = 0; i < lamps_.size(); ++i) {
    auto* lamp = new QToolButton(tbrOnline_);
    lamp->setObjectName(lampNames[i]);
    lamp->setText(i % 2 == 0 ? QStringLiteral("R%1").arg(i / 2 + 1)
                             : QStringLiteral("T%1").arg(i / 2 + 1));
    lamp->setEnabled(false);
    tbrOnline_->addWidget(lamp);
    lamps_[i] = lamp;
  }
}

// One action per send telegram and per send list, the telegrams on one tool
// bar and the lists on the next: a click starts it, the caption names its
// trigger and name. The edit actions of the same telegrams and lists fill the
// two submenus of the send menu and open the editors.
void TfmMain::BuildSendActions() {
  for (const char* holder : {"miPaTe", "miPaLi"}) {
    auto* sub = new QMenu(this);
    sub->setObjectName(QString(holder) + "Menu");
    action(holder)->setMenu(sub);
    action(holder)->setEnabled(true);
    menus_[holder] = sub;
  }
  for (int slot = 1; slot <= kSendTelegramCount + kSendListCount; ++slot) {
    const bool list = slot >= kFirstListSlot;
    const int n = list ? slot - kFirstListSlot + 1 : slot;
    if (n == 1) {
      addToolBarBreak();
      QToolBar* bar = addToolBar(QString());
      bar->setObjectName(list ? "tbrSendLists" : "tbrSendTelegrams");
      bar->setMovable(false);
      bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
      (list ? tbrSendLists_ : tbrSendTelegrams_) = bar;
    }
    auto* a = new QAction(this);
    a->setObjectName(QStringLiteral("%1%2").arg(list ? "aSeLi" : "aSeTe").arg(n));
    a->setData(n);
    connect(a, &QAction::triggered, this, [this, list, n] {
      if (list) {
        OperatorStartList(instance_, n);
      } else {
        OperatorSendNow(instance_, instance_.send.Telegram(n));
      }
    });
    (list ? tbrSendLists_ : tbrSendTelegrams_)->addAction(a);
    addAction(a);
    actions_[a->objectName()] = a;
    sendActions_[static_cast<std::size_t>(slot - 1)] = a;

    QAction* edit = menu(list ? "miPaLi" : "miPaTe")->addAction(QString());
    edit->setObjectName(QStringLiteral("%1%2").arg(list ? "aPaLi" : "aPaTe").arg(n));
    edit->setData(n);
    connect(edit, &QAction::triggered, this, [this, list, n] {
      if (list) {
        OpenSendListEditor(this, instance_, n);
      } else {
        OpenSendTelegramEditor(this, instance_, n);
      }
    });
    addAction(edit);  // its shortcut works wherever the focus is
    actions_[edit->objectName()] = edit;
    editActions_[static_cast<std::size_t>(slot - 1)] = edit;
    // A right click on the send button edits what it sends.
    if (QWidget* button = (list ? tbrSendLists_ : tbrSendTelegrams_)->widgetForAction(a)) {
      button->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(button, &QWidget::customContextMenuRequested, edit, &QAction::trigger);
    }
  }
  QAction* stop = action("miSeStop");
  stop->setEnabled(AnySending(instance_.sendContext));
  connect(stop, &QAction::triggered, this, [this] { StopSending(instance_.sendContext, 255); });
  connect(menu("miSend"), &QMenu::aboutToShow, this,
          [this] { action("miSeStop")->setEnabled(AnySending(instance_.sendContext)); });
  QAction* simulation = action("miBRm");
  simulation->setEnabled(true);
  connect(simulation, &QAction::triggered, this,
          [this] { OpenResponseSimDialog(this, instance_); });
}

void TfmMain::SendCaptionChanged(int slot) {
  for (int s = 1; s <= static_cast<int>(sendActions_.size()); ++s) {
    if (slot != 0 && s != slot) continue;
    const QString caption = Q(SendCaption(instance_.sendContext, s));
    sendActions_[static_cast<std::size_t>(s - 1)]->setText(caption);
    editActions_[static_cast<std::size_t>(s - 1)]->setText(caption + "...");
  }
}

void TfmMain::ListPassEnded(int list) {
  NotifyListPassEnded(this, list);
}

void TfmMain::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("stbrMain");
  for (int i = 0; i < kStatusPanels; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("stbrPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(60);
    bar->addWidget(panel, i == kStatusPanels - 1 ? 1 : 0);
    panels_[static_cast<std::size_t>(i)] = panel;
  }
}

void TfmMain::LabelControls() {
  const TextTable& t = instance_.texts;
  const auto& definitions = MainMenu();
  for (std::size_t m = 0; m < definitions.size(); ++m) {
    const MenuDefinition& definition = definitions[m];
    menuButtons_[m]->setText(Q(t.Text(kTextToolButtons + static_cast<int>(m))));
    topMenus_[m]->setTitle(menuButtons_[m]->text());
    for (std::size_t i = 0; i < definition.items.size(); ++i) {
      if (QAction* a = action(definition.items[i])) {
        a->setText(Q(t.Text(definition.firstText + static_cast<int>(i))));
      }
    }
  }
  // The menu bar is as wide as its buttons: it never folds items away.
  int width = 0;
  for (QToolButton* button : menuButtons_) width += button->sizeHint().width();
  tbrMenu_->setMinimumWidth(width + 16);
  for (std::size_t i = 0; i < lamps_.size(); ++i) {
    lamps_[i]->setToolTip(Q(t.Text(kTextLampHints + static_cast<int>(i))));
  }
  action("miDemo")->setText(Q(t.Text(kTextDemo)));
  action("miLogCopy")->setText(Q(t.Text(kTextCopy)));
  action("miGer")->setChecked(instance_.settings.language == 0);
  action("miUsa")->setChecked(instance_.settings.language == 1);
  RefillRecentFiles();
  panels_[5]->setText(Q(InfoTextStatus(instance_)));
  SendCaptionChanged(0);
  RefreshViewChecks();
  RefreshFilterSwitch();
  RefreshOnlineControls();
  FillStatistics();
  RefreshStatusBar();
  RefreshTitle();
  RedrawView(0);
}

void TfmMain::ApplyShortcuts() {
  const Settings& s = instance_.settings;
  auto key = [&s](int option, QKeySequence sequence) {
    return s.Option(option) ? sequence : QKeySequence();
  };
  aGoOnl_->setShortcut(key(kOptionF8Online, Qt::Key_F8));
  action("miAusgLog")->setShortcut(key(kOptionF9Display, Qt::Key_F9));
  action("miAFiltAE")->setShortcut(key(kOptionF11FilterOnOff, Qt::Key_F11));
  // While a send editor is open F12 belongs to its picker.
  action("miAFilter")
      ->setShortcut(OpenSendEditor(this) ? QKeySequence() : key(kOptionF12Filter, Qt::Key_F12));
  // F n with Alt sends telegram n, with Ctrl starts list n, with Shift edits
  // telegram n and with Shift+Ctrl edits list n.
  for (int slot = 1; slot <= static_cast<int>(sendActions_.size()); ++slot) {
    const bool list = slot >= kFirstListSlot;
    const int n = list ? slot - kFirstListSlot + 1 : slot;
    const auto f = static_cast<Qt::Key>(Qt::Key_F1 + n - 1);
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    sendActions_[i]->setShortcut(list ? key(kOptionCtrlSendList, Qt::CTRL | f)
                                      : key(kOptionAltSendTelegram, Qt::ALT | f));
    editActions_[i]->setShortcut(list ? key(kOptionShiftCtrlEditList, Qt::SHIFT | Qt::CTRL | f)
                                      : key(kOptionShiftEditTelegram, Qt::SHIFT | f));
  }
  for (const char* name : {"miLinkT1", "miLinkT2"}) {
    action(name)->setEnabled(s.Option(kOptionLinkTest) != 0);
  }
}

void TfmMain::miOptClick() {
  if (!EditOptions(this, instance_)) return;
  ApplyShortcuts();
  RedrawView(0);  // the online display may scroll now instead of sweeping
}

void TfmMain::miAllgClick() {
  EditGeneralParams(this, instance_);
  // The parameters may have gone offline, started the log anew or moved the
  // files: everything the window shows is read again.
  LabelControls();
}

void TfmMain::aAFilterClick() {
  if (RunFilterDialog(this, instance_, false)) AfterFilterChange();
}

void TfmMain::miLFilterClick() {
  if (RunFilterDialog(this, instance_, true)) AfterFilterChange();
}

// The display filter on or off; a filter that restricts nothing has nothing
// to switch.
void TfmMain::aAFiltAEClick() {
  if (!ToggleEnabled(instance_.general.displayFilter)) {
    ShowMessage(instance_, kTextFilterRestrictsNothing);
    return;
  }
  AfterFilterChange();
}

void TfmMain::AfterFilterChange() {
  RefreshFilterSwitch();
  RefreshStatusBar();
  RedrawView(0);
}

void TfmMain::RefreshFilterSwitch() {
  const TLogFilter& filter = instance_.general.displayFilter;
  QAction* toggle = action("miAFiltAE");
  toggle->setText(Q(instance_.texts.Text(kTextFilterSwitch + (filter.enabled ? 1 : 0))));
  toggle->setEnabled(filter.restricting != 0);
}

void TfmMain::miTelSizeClick() {
  if (!EditTelegramFont(this, instance_)) return;
  ApplyTelegramFont();
  RedrawView(0);
}

void TfmMain::miFrbTypClick() {
  if (EditValueColours(this, instance_, false)) RedrawView(0);
}

void TfmMain::miFrbUrsClick() {
  if (EditValueColours(this, instance_, true)) RedrawView(0);
}

void TfmMain::miLogDruckenClick() {
  RunOutputDialog(this, instance_);
}

void TfmMain::miHelpContentsClick() {
  ShowHelp(this, instance_, kHelpContents);
}

// The telegram font of the settings on the log view.
void TfmMain::ApplyTelegramFont() {
  QFont logFont("Courier New");
  logFont.setStyleHint(QFont::TypeWriter);
  logFont.setPointSize(std::clamp<int>(instance_.settings.telFont.fontSize, 4, 72));
  canvas_->setFont(logFont);
  canvas_->SetLogFont(logFont);
}

void TfmMain::miInfoClick() {
  ShowInfo(this, instance_);
}

void TfmMain::RefreshTitle() {
  std::string title = InstanceSuffix(instance_.app.instanceNumber) +
                      instance_.texts.Text(kTextTitle) +
                      FileNameOf(instance_.app.sendTelegramFileName);
  setWindowTitle(Q(title));
  QGuiApplication::setApplicationDisplayName(Q(title));
}

void TfmMain::RefreshViewChecks() {
  const Settings& s = instance_.settings;
  for (const auto& [name, format] : FormatItems()) {
    action(name)->setChecked(s.displayFormat == format);
  }
  action("miAusgOnl")->setChecked(s.onlineDisplay != 0);
  action("miAusgLog")->setChecked(s.onlineDisplay == 0);
  action("miZeit")->setChecked(s.showTime != 0);
  action("miLink")->setChecked(s.showLink != 0);
}

void TfmMain::SetDisplayFormat(int format) {
  Settings& s = instance_.settings;
  s.displayFormat = format;
  if (format == 7) {
    s.showTime = 1;
    s.showLink = 1;
  }
  RefreshViewChecks();
  RedrawView(format);
}

void TfmMain::OnlineStateApplied() {
  if (!onlineButton_) return;
  RefreshOnlineControls();
  if (instance_.settings.onlineDisplay != 0) {
    ShowOnlineDisplay();
  } else {
    ShowLogDisplay();
  }
}

void TfmMain::RefreshOnlineControls() {
  const bool online = instance_.Online();
  const TextTable& t = instance_.texts;
  panels_[0]->setText(Q(t.Text(online ? text::kOnline : text::kOffline)));
  action("miOnline")->setChecked(online);
  action("miOffline")->setChecked(!online);
  onlineButton_->setChecked(online);
  onlineButton_->setIcon(OnlineIcon(online));
  onlineButton_->setText(Q(t.Text(online ? kTextGoOffline : kTextGoOnline)));
  panels_[0]->setStyleSheet(online ? "background: #00ff00; color: black;" : "background: #f0caa6;");
  RefreshLamps();
}

void TfmMain::aInfTxtLoadClick() {
  const TextTable& t = instance_.texts;
  const QString filter = QStringLiteral("*%1;;*").arg(Q(t.Text(filetext::kInfoTextExtension)));
  const QString chosen = QFileDialog::getOpenFileName(this, Q(t.Text(kTextInfoFileCaption)),
                                                      Q(instance_.app.infoTextFileName), filter);
  if (chosen.isEmpty()) return;
  if (LoadInfoTexts(instance_, chosen.toStdString())) {
    panels_[5]->setText(Q(InfoTextStatus(instance_)));
    AddRecentFile(instance_, chosen.toStdString());
    RefillRecentFiles();
  }
}

namespace {
constexpr int kTextOpenSendFile = 1218;
constexpr int kTextSaveSendFile = 1219;
}  // namespace

void TfmMain::miSeTeLoadClick() {
  const TextTable& t = instance_.texts;
  const QString filter = QStringLiteral("*%1;;*").arg(Q(t.Text(filetext::kSendExtension)));
  const QString chosen = QFileDialog::getOpenFileName(
      this, Q(t.Text(kTextOpenSendFile)), Q(instance_.app.sendTelegramFileName), filter);
  if (!chosen.isEmpty()) LoadSendTelegramFile(chosen.toStdString());
}

void TfmMain::miSeTeSavClick() {
  const TextTable& t = instance_.texts;
  const QString filter = QStringLiteral("*%1;;*").arg(Q(t.Text(filetext::kSendExtension)));
  const QString chosen = QFileDialog::getSaveFileName(
      this, Q(t.Text(kTextSaveSendFile)), Q(instance_.app.sendTelegramFileName), filter);
  if (!chosen.isEmpty()) SaveSendTelegramFileAs(chosen.toStdString());
}

bool TfmMain::LoadSendTelegramFile(const std::string& name) {
  const bool read = OpenSendTelegramFile(instance_, name);
  if (read) AddRecentFile(instance_, name);
  RefillRecentFiles();
  SendCaptionChanged(0);
  OnlineStateApplied();
  RefreshTitle();
  return read;
}

bool TfmMain::SaveSendTelegramFileAs(const std::string& name) {
  if (!WriteSendTelegramFile(instance_, name)) return false;
  instance_.app.sendTelegramFileName = name;
  AddRecentFile(instance_, name);
  RefillRecentFiles();
  RefreshTitle();
  return true;
}

void TfmMain::miLogOpClick() {
  const QString chosen = chooseFile(this, LogOpenRequest(instance_));
  if (chosen.isEmpty()) return;
  OpenChosenLog(instance_, chosen.toStdString());
  RefreshAfterFileCommand();
}

void TfmMain::miLogSavClick() {
  const FileRequest request = LogSaveRequest(instance_);
  const QString chosen = chooseFile(this, request);
  if (chosen.isEmpty()) return;
  SaveChosenLogAs(instance_, WithDefaultSuffix(chosen, request.defaultSuffix));
  RefreshAfterFileCommand();
}

void TfmMain::aLogDelClick() {
  DeleteCurrentLog(instance_);
}

void TfmMain::miDemoClick() {
  StartDemoWindow();
}

void TfmMain::mruFileClick(const std::string& name) {
  OpenRecentFile(instance_, name);
  panels_[5]->setText(Q(InfoTextStatus(instance_)));
  SendCaptionChanged(0);
  RefreshAfterFileCommand();
}

void TfmMain::RefillRecentFiles() {
  mruFile_->Refill(ShownRecentFiles(instance_));
}

void TfmMain::RefreshAfterFileCommand() {
  if (ports_) ports_->Reconcile();
  RefreshOnlineControls();
  RefreshStatusBar();
  RefreshTitle();
  RefillRecentFiles();
}

void TfmMain::oOnTimer() {
  if (ports_) {
    ports_->Tick();
  } else {
    OnTimerTick(instance_);
  }
  RefreshLamps();
}

void TfmMain::aGoOnlClick() {
  ToggleOnline(instance_);
  if (ports_) ports_->Reconcile();
}

void TfmMain::aGoOfflClick() {
  if (instance_.Online()) {
    GoOffline(instance_);
    if (ports_) ports_->Reconcile();
  } else {
    OnlineStateApplied();  // keep the check marks right
  }
}

void TfmMain::miGerClick() {
  auto* a = qobject_cast<QAction*>(sender());
  if (!a) return;
  instance_.settings.language = a->data().toInt();
  action("miGer")->setChecked(instance_.settings.language == 0);
  action("miUsa")->setChecked(instance_.settings.language == 1);
  QMetaObject::invokeMethod(this, &TfmMain::ReloadTexts, Qt::QueuedConnection);
}

void TfmMain::ReloadTexts() {
  if (LoadInstanceTexts(instance_, instance_.settings.language, true)) {
    LabelControls();
  } else {
    // The fault was shown; go back to the language that loaded before rather
    // than run on a half-filled table.
    instance_.settings.language = instance_.settings.language == 0 ? 1 : 0;
    if (kivo::ReloadTexts(instance_, instance_.settings.language)) LabelControls();
  }
}

void TfmMain::ShowWithPlacement() {
  const WindowPlacement& p = instance_.settings.placement;
  if (p.state != 0 && p.width > 0 && p.height > 0) {
    setGeometry(p.left, p.top, p.width, p.height);
  } else {
    resize(kDefaultWidth, kDefaultHeight);
  }
  switch (p.state) {
    case 2:
      showMinimized();
      break;
    case 3:
      showMaximized();
      break;
    default:
      show();
      break;
  }
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
    return;
  }
  if (!CloseQuery(instance_)) {
    event->ignore();
    return;
  }
  timer_->stop();
  WindowPlacement& p = instance_.settings.placement;
  if (!isVisible() || isMinimized()) {
    p.state = 2;
  } else {
    const QRect g = isMaximized() ? normalGeometry() : geometry();
    p.top = g.top();
    p.left = g.left();
    p.height = g.height();
    p.width = g.width();
    p.state = isMaximized() ? 3 : 1;
  }
  FinishRun(instance_);
  finished_ = true;
  event->accept();
}

// --- The log view --------------------------------------------------------

void TfmMain::BuildLogArea() {
  auto* area = new QWidget(this);
  area->setObjectName("logArea");
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  tbSt_ = new StatisticsTable(3, kStatisticsColumns, area);
  tbSt_->setObjectName("tbSt");
  tbSt_->horizontalHeader()->hide();
  tbSt_->verticalHeader()->hide();
  tbSt_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbSt_->setSelectionMode(QAbstractItemView::NoSelection);
  tbSt_->setFocusPolicy(Qt::NoFocus);
  tbSt_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tbSt_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The table never makes the window wider than the operator wants it.
  tbSt_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  tbSt_->setMinimumWidth(0);
  QFont cellFont("Courier New");
  cellFont.setStyleHint(QFont::TypeWriter);
  tbSt_->setFont(cellFont);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < kStatisticsColumns; ++c) tbSt_->setItem(r, c, new QTableWidgetItem);
  }
  column->addWidget(tbSt_, 0, Qt::AlignLeft);

  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  canvas_ = new LogCanvas(instance_, area);
  row->addWidget(canvas_, 1);
  scbrLog_ = new QScrollBar(Qt::Vertical, area);
  scbrLog_->setObjectName("scbrLog");
  scbrLog_->setRange(0, LogView::kMaxPosition);
  scbrLog_->setPageStep(50);
  scbrLog_->setValue(LogView::kMaxPosition);
  row->addWidget(scbrLog_);
  column->addLayout(row, 1);
  setCentralWidget(area);

  connect(canvas_, &LogCanvas::resized, this, [this] { RedrawView(0); });
  connect(canvas_, &LogCanvas::keyPressed, this, &TfmMain::OnViewKey);
  connect(canvas_, &LogCanvas::wheelCode, this, [this](int code) {
    if (instance_.settings.onlineDisplay == 0) RedrawView(code);
  });
  connect(scbrLog_, &QScrollBar::actionTriggered, this, &TfmMain::OnScrollAction);
  scbrLog_->installEventFilter(this);

  instance_.logStore.hooks.countersChanged = [this](int channel) { RefreshCounters(channel); };
}

void TfmMain::RedrawView(int code, int position) {
  if (!canvas_) return;
  const int result = canvas_->Redraw(code, position);
  if (instance_.settings.onlineDisplay == 0 && result >= 0) {
    const QSignalBlocker block(scbrLog_);
    scbrLog_->setValue(result);
  }
}

void TfmMain::RefreshLogView() {
  if (canvas_) canvas_->PaintTick();
}

void TfmMain::ShowOnlineDisplay() {
  if (!canvas_) return;
  instance_.logStore.CloseReader();
  instance_.settings.onlineDisplay = 1;
  FillStatistics();
  tbSt_->show();
  scbrLog_->hide();
  RefreshViewChecks();
  RefreshStatusBar();
  RedrawView(0);
}

void TfmMain::ShowLogDisplay() {
  if (!canvas_) return;
  instance_.settings.onlineDisplay = 0;
  tbSt_->hide();
  scbrLog_->show();
  canvas_->setFocus();
  instance_.logStore.CloseReader();
  instance_.logStore.OpenReader();
  RefreshViewChecks();
  RedrawView(viewcode::kEnd);
  RefreshStatusBar();
}

void TfmMain::ToggleDisplays() {
  if (instance_.settings.onlineDisplay != 0) {
    ShowLogDisplay();
  } else {
    ShowOnlineDisplay();
  }
}

void TfmMain::RefreshStatusBar() {
  const TextTable& t = instance_.texts;
  const Settings& s = instance_.settings;
  const GeneralParams& g = instance_.general;
  const bool onlineDisplay = s.onlineDisplay != 0;
  panels_[1]->setText(Q(t.Text(kTextDisplayPanel + (onlineDisplay ? 1 : 0))));
  panels_[1]->setStyleSheet(onlineDisplay ? "background: #c0dcc0;" : QString());
  const bool logFilter = g.logFilter.enabled != 0;
  const bool displayFilter = g.displayFilter.enabled != 0;
  panels_[2]->setText(Q(t.Text(kTextLogFilterPanel) + t.Text(kTextOff + (logFilter ? 1 : 0))));
  panels_[2]->setStyleSheet(logFilter ? "background: #f0caa6;" : QString());
  panels_[3]->setText(
      Q(t.Text(kTextDisplayFilterPanel) + t.Text(kTextOff + (displayFilter ? 1 : 0))));
  panels_[3]->setStyleSheet(displayFilter ? "background: #f0caa6;" : QString());
  panels_[4]->setText(Q(t.Text(kTextLogPanel) + FileNameOf(instance_.logStore.FileName())));
  panels_[4]->setToolTip(Q(instance_.logStore.FileName()));
}

void TfmMain::FillStatistics() {
  if (!tbSt_) return;
  const TextTable& t = instance_.texts;
  std::array<int, kStatisticsColumns> widths{};
  for (int c = 0; c < kStatisticsColumns; ++c) {
    const std::string title = t.Text(kTextColumnTitles + c);
    const std::size_t comma = title.find(',');
    widths[static_cast<std::size_t>(c)] =
        comma == std::string::npos ? 60 : std::clamp(std::atoi(title.c_str()), 8, 400);
    tbSt_->item(0, c)->setText(Q(comma == std::string::npos ? title : title.substr(comma + 1)));
  }
  for (int r = 1; r <= 2; ++r) tbSt_->item(r, 0)->setText(Q(t.Text(kTextRowTitles + r - 1)));
  for (int channel = 1; channel <= 4; ++channel) RefreshCounters(channel);
  PortStatusChanged(0);
  PortStatusChanged(1);
  // The widths of the text table suit a small font: a column is never
  // narrower than its title or the widest number it shows.
  const QFontMetrics metrics(tbSt_->font());
  int width = 4;
  for (int c = 0; c < kStatisticsColumns; ++c) {
    int columnWidth = widths[static_cast<std::size_t>(c)];
    for (int r = 0; r < 3; ++r) {
      columnWidth =
          std::max(columnWidth, metrics.horizontalAdvance(tbSt_->item(r, c)->text()) + 10);
    }
    if (c >= 1 && c <= 4) {
      columnWidth = std::max(columnWidth, metrics.horizontalAdvance(QString(c % 2 ? 12 : 8, '0')));
    }
    tbSt_->setColumnWidth(c, columnWidth);
    width += columnWidth;
  }
  int height = 4;
  for (int r = 0; r < 3; ++r) height += tbSt_->rowHeight(r);
  static_cast<StatisticsTable*>(tbSt_)->SetHint(QSize(width, height));
  tbSt_->setMaximumWidth(width);
  tbSt_->setFixedHeight(height);
  tbSt_->updateGeometry();
}

void TfmMain::RefreshCounters(int channel) {
  if (!tbSt_ || channel < 1 || channel > 4 || instance_.settings.onlineDisplay == 0) return;
  const ChannelCounters counters = instance_.logStore.ChannelCount(channel);
  const LocaleFormats locale = LocaleFormats::FromSystem();
  const int row = (channel + 1) / 2;
  const int column = channel % 2 == 1 ? 1 : 3;  // received, then sent
  tbSt_->item(row, column)->setText(Q(RightJustify(GroupedNumber(counters.telegrams, locale), 10)));
  tbSt_->item(row, column + 1)->setText(Q(RightJustify(GroupedNumber(counters.errors, locale), 7)));
}

void TfmMain::PortStatusChanged(int portIndex) {
  if (!tbSt_) return;
  const auto cells = PortStatusCells(instance_, portIndex & 1);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    tbSt_->item((portIndex & 1) + 1, static_cast<int>(i) + 5)->setText(Q(cells[i]));
  }
}

void TfmMain::RefreshLamps() {
  for (std::size_t i = 0; i < lamps_.size(); ++i) {
    const PortRecord& port = instance_.ports[i / 2];
    const bool transmit = i % 2 == 1;
    const int state =
        !port.open ? 0 : ((transmit ? port.transmitLamp : port.receiveLamp).lit ? 2 : 1);
    if (state == lampState_[i]) continue;
    lampState_[i] = state;
    lamps_[i]->setEnabled(state != 0);
    static const char* kLit[] = {"", "", "background: #30d030;", "background: #f0a020;"};
    lamps_[i]->setStyleSheet(state == 2 ? kLit[transmit ? 3 : 2] : "");
  }
}

void TfmMain::OnViewKey(QKeyEvent* event) {
  using namespace viewcode;
  const Settings& s = instance_.settings;
  const bool switchKeys = s.Option(kOptionF9Display);
  const bool online = s.onlineDisplay != 0;
  const int key = event->key();
  if (switchKeys && online && (key == Qt::Key_Up || key == Qt::Key_Down)) {
    ShowLogDisplay();
    return;
  }
  if (switchKeys && !online && key == Qt::Key_Escape) {
    ShowOnlineDisplay();
    return;
  }
  if (online) {
    event->ignore();
    return;
  }
  const Qt::KeyboardModifiers m = event->modifiers();
  const bool shift = m & Qt::ShiftModifier;
  const bool ctrl = m & Qt::ControlModifier;
  int code = 0;
  switch (key) {
    case Qt::Key_Up:
      code = kLineUp;
      break;
    case Qt::Key_Down:
      code = kLineDown;
      break;
    case Qt::Key_PageUp:
      code = shift && ctrl ? kShiftCtrlPageUp : shift ? kShiftPageUp : ctrl ? kCtrlPageUp : kPageUp;
      break;
    case Qt::Key_PageDown:
      code = shift && ctrl ? kShiftCtrlPageDown
             : shift       ? kShiftPageDown
             : ctrl        ? kCtrlPageDown
                           : kPageDown;
      break;
    case Qt::Key_Home:
      code = kHome;
      break;
    case Qt::Key_End:
      code = kEnd;
      break;
    default:
      event->ignore();
      return;
  }
  event->accept();
  RedrawView(code);
}

void TfmMain::OnScrollAction(int scrollAction) {
  using namespace viewcode;
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  const bool shift = m & Qt::ShiftModifier;
  const bool ctrl = m & Qt::ControlModifier;
  int code = -1;
  int position = -1;
  switch (scrollAction) {
    case QAbstractSlider::SliderSingleStepSub:
      code = kLineUp;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      code = kLineDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = shift && ctrl ? kShiftCtrlPageUp : shift ? kShiftPageUp : ctrl ? kCtrlPageUp : kPageUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = shift && ctrl ? kShiftCtrlPageDown
             : shift       ? kShiftPageDown
             : ctrl        ? kCtrlPageDown
                           : kPageDown;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = kHome;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = kEnd;
      break;
    case QAbstractSlider::SliderMove:
      code = kNone;
      position = scbrLog_->sliderPosition();
      break;
    default:
      return;
  }
  const int result = canvas_->Redraw(code, position);
  scbrLog_->setSliderPosition(result);
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  // The keys of the log view work while the scroll bar has the focus.
  if (watched == scbrLog_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    key->accept();
    OnViewKey(key);
    return key->isAccepted();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace kivo
