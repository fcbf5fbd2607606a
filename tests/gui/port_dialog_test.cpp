// The port parameter dialog, offscreen: every field taken on OK and shown
// again, the time-out proposal, the address list, the forced character
// format, the port list and its device binding, Enter and hints, and what OK
// does to an open port.
#include "ui/port_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <functional>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"
#include "record/frame_status.h"
#include "ui/main_window.h"
#include "ui/qt_event_loop.h"

namespace kivo {
namespace {

template <typename T>
T* Control(const QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(name);
  EXPECT_NE(control, nullptr) << name;
  return control;
}
QComboBox* Box(const QWidget& d, const char* name) {
  return Control<QComboBox>(d, name);
}
QLineEdit* Edit(const QWidget& d, const char* name) {
  return Control<QLineEdit>(d, name);
}
QPushButton* Button(const QWidget& d, const char* name) {
  return Control<QPushButton>(d, name);
}

// Runs `work` on the modal dialog as soon as its event loop runs.
void WhenModal(std::function<void(TfmCom&)> work) {
  QTimer::singleShot(0, [work] {
    auto* dialog = qobject_cast<TfmCom*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    work(*dialog);
  });
}

int IndexOfText(const QComboBox* box, const QString& text) {
  for (int i = 0; i < box->count(); ++i) {
    if (box->itemText(i) == text) return i;
  }
  return -1;
}

QStringList Entries(const QComboBox* box) {
  QStringList entries;
  for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
  return entries;
}

void PressEnter(QWidget* control) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(control, &press);
}

// An instance whose port map binds numbers 1, 3 and 4 to character devices
// (no device is searched for: the device folder is empty).
class PortDialogTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  TermiosPortEnumerator devices{{{1, "/dev/null"}, {3, "/dev/zero"}, {4, "/dev/full"}},
                                fake.scratch.Sub("dev"),
                                fake.scratch.Sub("sys")};
  Instance instance{Platform{fake.clock, fake.lock, fake.registry, fake.folders, fake.prompter,
                             &devices, &fake.clock}};
  PortParams& port1 = instance.ports[0].params;
  PortParams& port2 = instance.ports[1].params;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    EnumeratePorts(instance);
  }
  QString T(int n) const { return QString::fromStdString(instance.texts.Text(n)); }
  int BaudIndex(const char* rate) {
    TfmCom probe(instance, 0);
    return IndexOfText(Box(probe, "cbBaud"), rate);
  }
};

TEST_F(PortDialogTest, EveryFieldIsTakenOnOkAndShownWhenOpenedAgain) {
  instance.app.switchT = true;  // the character format is free on a primary
  port2.portNumber = 1;
  PortParams expected = port1;
  expected.portNumber = 3;
  expected.function = PortFunction::Primary;
  expected.baudIndex = 10;
  expected.baud = 38400;
  expected.parity = 1;
  expected.dataBits = 7;
  expected.stopBits = 2;
  expected.rtsFunction = 2;
  expected.rtsLead = 12;
  expected.rtsLag = 34;
  expected.sendDelay = 56;
  expected.spikeFilter = 1;
  expected.watchedLines = 0xA0;  // DCD and CTS
  expected.addresses = {4, 7, 9, 255};
  expected.addressCount = 3;
  expected.resetKind = 0;
  expected.telegramLength = 100;
  expected.responseTimeout = 777;
  expected.repetitions = 5;
  expected.linkWait = 9;
  expected.pollCycle = 1234;
  expected.class1Polling = 1;
  expected.class1PollLimit = 3;
  expected.singleCharacter = 1;
  expected.dialogPage = 1;
  expected.reopen = 1;

  WhenModal([](TfmCom& d) {
    QComboBox* ports = Box(d, "cbCom");
    for (int i = 0; i < ports->count(); ++i) {
      if (TfmCom::PortNumberOfEntry(ports->itemText(i)) == 3) ports->setCurrentIndex(i);
    }
    Box(d, "cbFktn")->setCurrentIndex(1);
    Box(d, "cbBaud")->setCurrentIndex(10);
    Box(d, "cbPari")->setCurrentIndex(1);
    Box(d, "cbData")->setCurrentIndex(2);
    Box(d, "cbStop")->setCurrentIndex(1);
    Box(d, "cbFRts")->setCurrentIndex(2);
    Edit(d, "edTVor")->setText("12");
    Edit(d, "edTNach")->setText("34");
    Edit(d, "edSVerz")->setText("56");
    Box(d, "cbSpikes")->setCurrentIndex(1);
    auto* lines = Control<QListWidget>(d, "chlbAend");
    lines->item(0)->setCheckState(Qt::Checked);
    lines->item(2)->setCheckState(Qt::Checked);
    Edit(d, "sfLinkAdr")->setText("4 7 9");
    Box(d, "cbLRes")->setCurrentIndex(0);
    Edit(d, "edTeLg")->setText("100");
    Edit(d, "edTimeOut")->setText("777");  // over the proposal
    Edit(d, "edWiedH")->setText("5");
    Edit(d, "edZyZtLink")->setText("9");
    Edit(d, "edZyZtV")->setText("1234");
    Box(d, "cbAbfr")->setCurrentIndex(1);
    Edit(d, "sfZykCl1")->setText("3");
    Box(d, "cbVwE5")->setCurrentIndex(1);
    Control<QCheckBox>(d, "cbReopen")->setChecked(true);
    d.SelectPage(TfmCom::kPageLink);
    Edit(d, "sfZykCl1")->setFocus();
    Button(d, "btnOK")->click();
  });
  ASSERT_TRUE(RunPortDialog(nullptr, instance, 0, nullptr));
  EXPECT_NE(port1.dialogFocus, 0u);
  expected.dialogFocus = port1.dialogFocus;
  EXPECT_EQ(port1, expected);

  // Opened again, the controls show the record; Cancel keeps it.
  WhenModal([](TfmCom& d) {
    EXPECT_EQ(TfmCom::PortNumberOfEntry(Box(d, "cbCom")->currentText()), 3u);
    EXPECT_TRUE(Box(d, "cbCom")->currentText().endsWith("/dev/zero"));
    const std::vector<std::pair<const char*, int>> lists = {
        {"cbFktn", 1}, {"cbBaud", 10},  {"cbPari", 1}, {"cbData", 2}, {"cbStop", 1},
        {"cbFRts", 2}, {"cbSpikes", 1}, {"cbLRes", 0}, {"cbAbfr", 1}, {"cbVwE5", 1}};
    for (const auto& [name, index] : lists) EXPECT_EQ(Box(d, name)->currentIndex(), index) << name;
    const std::vector<std::pair<const char*, const char*>> fields = {
        {"edTVor", "12"},    {"edTNach", "34"},    {"edSVerz", "56"}, {"sfLinkAdr", "4 7 9"},
        {"edTeLg", "100"},   {"edTimeOut", "777"}, {"edWiedH", "5"},  {"edZyZtLink", "9"},
        {"edZyZtV", "1234"}, {"sfZykCl1", "3"}};
    for (const auto& [name, text] : fields) EXPECT_EQ(Edit(d, name)->text(), text) << name;
    auto* lines = Control<QListWidget>(d, "chlbAend");
    EXPECT_EQ(lines->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(lines->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(lines->item(2)->checkState(), Qt::Checked);
    EXPECT_TRUE(Control<QCheckBox>(d, "cbReopen")->isChecked());
    EXPECT_EQ(Control<QTabWidget>(d, "pgctrlCom")->currentIndex(), TfmCom::kPageLink);
    EXPECT_EQ(d.focusWidget(), Edit(d, "sfZykCl1"));
    Edit(d, "edWiedH")->setText("6");
    Button(d, "btnAbbr")->click();
  });
  EXPECT_FALSE(RunPortDialog(nullptr, instance, 0, nullptr));
  EXPECT_EQ(port1, expected);
}

TEST_F(PortDialogTest, TimeOutIsProposedOnChangesOfRateLengthAndFunction) {
  port1.function = PortFunction::Primary;
  const int rate9600 = BaudIndex("9600");
  ASSERT_GE(rate9600, 0);
  TfmCom d(instance, 0);
  QLineEdit* timeout = Edit(d, "edTimeOut");
  EXPECT_EQ(timeout->text(), "400");  // opening proposes nothing
  Box(d, "cbBaud")->setCurrentIndex(rate9600 == 0 ? 1 : 0);
  Edit(d, "edTeLg")->setText("200");
  Box(d, "cbBaud")->setCurrentIndex(rate9600);
  EXPECT_EQ(timeout->text(), "337");  // (200 * 11 + 77) * 1000 / 9600 + 100
  Edit(d, "edTeLg")->setText("94");
  EXPECT_EQ(timeout->text(), "216");
  timeout->setText("250");  // the operator's value stands until the next change
  Box(d, "cbFktn")->setCurrentIndex(3);
  EXPECT_EQ(timeout->text(), "3");  // the character gap of a gap monitor
  EXPECT_EQ(Edit(d, "edTeLg")->text(), "94");
}

TEST_F(PortDialogTest, AddressListIsReadAsNumbersAndRefusedWith255OrMore) {
  struct Case {
    const char* field;
    std::vector<std::uint8_t> addresses;  // then the end mark 255
  };
  for (const Case& c : {Case{"1, 2;3", {1, 2, 3}}, Case{"", {}}, Case{" 0 254 ", {0, 254}}}) {
    TfmCom d(instance, 0);
    d.show();
    Edit(d, "sfLinkAdr")->setText(c.field);
    Button(d, "btnOK")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted) << c.field;
    const PortParams& p = d.Params();
    const int count = c.addresses.empty() ? 1 : static_cast<int>(c.addresses.size());
    EXPECT_EQ(p.EffectiveAddressCount(), count) << c.field;
    for (std::size_t i = 0; i < c.addresses.size(); ++i)
      EXPECT_EQ(p.Address(int(i)), c.addresses[i]);
    if (c.addresses.empty()) {
      EXPECT_EQ(p.Address(0), 255);  // an empty list: one address 255
    }
  }

  // Out of range: the field shows its error colour and OK does nothing.
  const std::vector<std::pair<const char*, const char*>> refused = {
      {"sfLinkAdr", "1 300"}, {"sfLinkAdr", "255"}, {"edZyZtLink", "101"}, {"edZyZtLink", "0"},
      {"edWiedH", "65536"},   {"edSVerz", "5001"},  {"edTimeOut", ""},     {"edZyZtV", "10001"}};
  for (const auto& [name, text] : refused) {
    TfmCom d(instance, 0);
    d.show();
    QLineEdit* field = Edit(d, name);
    const QColor normal = field->palette().color(QPalette::Base);
    field->setText(text);
    EXPECT_FALSE(d.FieldsValid()) << name << " " << text;
    EXPECT_NE(field->palette().color(QPalette::Base), normal) << name;
    Button(d, "btnOK")->click();
    EXPECT_TRUE(d.isVisible()) << name << " " << text;
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.focusWidget(), field);  // the field to correct has the focus
    field->setText(std::string_view(name) == "sfLinkAdr" ? "1" : "100");
    EXPECT_EQ(field->palette().color(QPalette::Base), normal) << name;
    Button(d, "btnOK")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted) << name;
  }
  // Letters do not get into a number field.
  TfmCom d(instance, 0);
  Edit(d, "edWiedH")->clear();
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(Edit(d, "edWiedH"), &letter);
  EXPECT_EQ(Edit(d, "edWiedH")->text(), "");
}

TEST_F(PortDialogTest, LinkFunctionsForce8E1AtOnceUnlessSwitchTOrGapMonitor) {
  for (const bool switchT : {false, true}) {
    instance.app.switchT = switchT;
    port1.function = PortFunction::GapMonitor;
    port1.dataBits = 7;
    port1.parity = 1;
    port1.stopBits = 2;
    port1.telegramLength = 10;
    TfmCom d(instance, 0);
    const std::vector<const char*> format = {"cbData", "cbPari", "cbStop"};
    for (const char* name : format) EXPECT_TRUE(Box(d, name)->isEnabled()) << name;
    EXPECT_EQ(Box(d, "cbData")->currentText(), "7");
    Box(d, "cbFktn")->setCurrentIndex(1);  // primary
    EXPECT_EQ(Box(d, "cbData")->currentText(), switchT ? "7" : "8");
    EXPECT_EQ(Box(d, "cbPari")->currentText(), T(switchT ? 894 : 895));  // odd : even
    EXPECT_EQ(Box(d, "cbStop")->currentText(), switchT ? "2" : "1");
    EXPECT_EQ(Edit(d, "edTeLg")->text(), switchT ? "10" : "24");
    for (const char* name : format) EXPECT_EQ(Box(d, name)->isEnabled(), switchT) << name;
    // The forced format is in the record at once: Cancel keeps it.
    d.reject();
    EXPECT_EQ(port1.dataBits, switchT ? 7 : 8);
    EXPECT_EQ(port1.parity, switchT ? 1 : 2);
    EXPECT_EQ(port1.stopBits, switchT ? 2 : 1);
    EXPECT_EQ(port1.telegramLength, switchT ? 10u : 24u);
    EXPECT_EQ(port1.function, PortFunction::GapMonitor);
  }
  // The labels of a gap monitor speak of frame length and character gap.
  instance.app.switchT = false;
  port1.function = PortFunction::Primary;
  TfmCom d(instance, 0);
  auto labelOf = [&d](const char* name) {
    return qobject_cast<QLabel*>(qobject_cast<QFormLayout*>(Edit(d, name)->parentWidget()->layout())
                                     ->labelForField(Edit(d, name)));
  };
  EXPECT_EQ(labelOf("edTeLg")->text(), T(613));
  EXPECT_EQ(labelOf("edTimeOut")->text(), T(617));
  Edit(d, "edTeLg")->setText("20");  // below 24 on a link port
  EXPECT_FALSE(d.FieldsValid());
  Box(d, "cbFktn")->setCurrentIndex(3);
  EXPECT_EQ(labelOf("edTeLg")->text(), T(911));
  EXPECT_EQ(labelOf("edTimeOut")->text(), T(914));
  EXPECT_TRUE(d.FieldsValid());
}

TEST_F(PortDialogTest, PortListOffersAvailablePortsExceptTheOtherPortsNumber) {
  port2.portNumber = 3;
  port1.portNumber = 4;
  TfmCom d(instance, 0);
  QComboBox* ports = Box(d, "cbCom");
  const QStringList entries = Entries(ports);
  ASSERT_EQ(entries.size(), 3);
  EXPECT_EQ(entries[0], T(1206));
  EXPECT_EQ(entries[1], "Port 1   /dev/null");
  EXPECT_EQ(entries[2], "Port 4   /dev/full");
  EXPECT_EQ(ports->currentIndex(), 2);
  EXPECT_EQ(TfmCom::PortNumberOfEntry(entries[1]), 1u);
  EXPECT_EQ(TfmCom::PortNumberOfEntry("Port 12  /dev/ttyUSB3"), 12u);
  EXPECT_EQ(TfmCom::PortNumberOfEntry(T(1206)), 0u);
  // Port 2's dialog offers 3 (its own) and not 4.
  TfmCom second(instance, 1);
  QStringList numbers;
  for (const QString& entry : Entries(Box(second, "cbCom"))) {
    numbers << QString::number(TfmCom::PortNumberOfEntry(entry));
  }
  EXPECT_EQ(numbers, (QStringList{"0", "1", "3"}));
  // The no-port entry gives port number 0.
  ports->setCurrentIndex(0);
  Button(d, "btnOK")->click();
  EXPECT_EQ(d.Params().portNumber, 0u);
}

TEST_F(PortDialogTest, ADevicePathIsBoundToAFreeNumberAndBadPathsAreRefused) {
  port2.portNumber = 3;
  TfmCom d(instance, 0);
  QLineEdit* device = Edit(d, "edDevice");
  QComboBox* ports = Box(d, "cbCom");
  const QStringList before = Entries(ports);
  const std::string regular = fake.scratch.path() + "plain.txt";
  testing::WriteFile(regular, "not a port");
  for (const std::string& bad :
       {std::string("/dev/no-such-tty"), regular, std::string("/dev/zero"), std::string()}) {
    fake.prompter.messages.clear();
    device->setText(QString::fromStdString(bad));
    Button(d, "btnBind")->click();
    ASSERT_EQ(fake.prompter.messages.size(), 1u) << bad;
    if (!bad.empty()) {
      EXPECT_NE(fake.prompter.messages[0].find(bad), std::string::npos);
    }
    EXPECT_EQ(Entries(ports), before) << bad;
  }
  EXPECT_TRUE(LoadPortMap(fake.registry).empty());

  fake.prompter.messages.clear();
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  device->setText(QString::fromStdString(pty.slavePath()));
  Button(d, "btnBind")->click();
  EXPECT_TRUE(fake.prompter.messages.empty());
  // Number 2 was the lowest free one: stored where both programs read the
  // port map, offered in the list and selected.
  const std::map<int, std::string> stored = LoadPortMap(fake.registry);
  EXPECT_EQ(stored, (std::map<int, std::string>{{2, pty.slavePath()}}));
  EXPECT_EQ(TfmCom::PortNumberOfEntry(ports->currentText()), 2u);
  EXPECT_TRUE(ports->currentText().endsWith(QString::fromStdString(pty.slavePath())));
  EXPECT_EQ(Entries(ports).size(), before.size() + 1);
  // A path that is mapped already keeps its number.
  ports->setCurrentIndex(0);
  device->setText("/dev/full");
  Button(d, "btnBind")->click();
  EXPECT_EQ(TfmCom::PortNumberOfEntry(ports->currentText()), 4u);
  EXPECT_EQ(LoadPortMap(fake.registry).size(), 1u);
}

TEST_F(PortDialogTest, EnterMovesOnFocusShowsHintsAndThePageIsRemembered) {
  port1.dialogPage = 0;
  TfmCom d(instance, 0);
  d.show();
  d.activateWindow();
  QApplication::processEvents();
  auto* tabs = Control<QTabWidget>(d, "pgctrlCom");
  auto* status = Control<QStatusBar>(d, "stbarEmSe");
  EXPECT_EQ(d.focusWidget(), Box(d, "cbCom"));
  PressEnter(Box(d, "cbCom"));
  EXPECT_EQ(d.focusWidget(), Edit(d, "edDevice"));
  PressEnter(Edit(d, "edSVerz"));
  EXPECT_EQ(d.focusWidget(), Box(d, "cbSpikes"));
  PressEnter(Box(d, "cbSpikes"));
  EXPECT_EQ(d.focusWidget(), Control<QListWidget>(d, "chlbAend"));
  PressEnter(Control<QListWidget>(d, "chlbAend"));  // on to the next page
  EXPECT_EQ(tabs->currentIndex(), TfmCom::kPageLink);
  EXPECT_EQ(d.focusWidget(), Edit(d, "sfLinkAdr"));
  PressEnter(Box(d, "cbVwE5"));  // the last field: on to OK
  EXPECT_EQ(d.focusWidget(), Button(d, "btnOK"));
  EXPECT_NE(d.result(), QDialog::Accepted);

  // A focused field's hint is in the status bar; entering the modem lines
  // selects the first one, leaving them clears the selection.
  QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
  QApplication::sendEvent(Edit(d, "edTVor"), &in);
  EXPECT_EQ(status->currentMessage(), T(630));
  QApplication::sendEvent(Edit(d, "sfLinkAdr"), &in);
  EXPECT_EQ(status->currentMessage(), T(601));
  auto* lines = Control<QListWidget>(d, "chlbAend");
  QApplication::sendEvent(lines, &in);
  EXPECT_EQ(lines->currentRow(), 0);
  QApplication::sendEvent(lines, &out);
  EXPECT_TRUE(lines->selectedItems().isEmpty());
  // Function 3 switches the hints of the length and time-out fields.
  Box(d, "cbFktn")->setCurrentIndex(3);
  QApplication::sendEvent(Edit(d, "edTimeOut"), &in);
  EXPECT_EQ(status->currentMessage(), T(915));
}

// Titles, labels and lists come from the text table, and in both languages
// every control of both pages fits: nothing is squeezed below its size hint.
TEST_F(PortDialogTest, TitlesLabelsAndListsComeFromTheTextTableAndFit) {
  for (const int language : {0, 1}) {
    ASSERT_TRUE(ReloadTexts(instance, language));
    instance.settings.language = language;
    for (const int port : {0, 1}) {
      TfmCom d(instance, port);
      EXPECT_EQ(d.windowTitle(), T(652 + port));
      auto* tabs = Control<QTabWidget>(d, "pgctrlCom");
      EXPECT_EQ(tabs->tabText(0), T(559));
      EXPECT_EQ(tabs->tabText(1), T(560));
      EXPECT_EQ(Button(d, "btnOK")->text(), T(676));
      EXPECT_EQ(Button(d, "btnAbbr")->text(), T(677));
      EXPECT_EQ(Button(d, "btnHelp")->text(), T(678));
      const std::vector<std::pair<const char*, int>> lists = {
          {"cbFktn", 884}, {"cbLRes", 568}, {"cbVwE5", 562}, {"cbAbfr", 603}, {"cbSpikes", 609},
          {"cbBaud", 655}, {"cbPari", 891}, {"cbData", 899}, {"cbStop", 906}, {"cbFRts", 1110}};
      for (const auto& [name, n] : lists) {
        QStringList items;
        for (long i = 0; i < instance.texts.NumberText(n + 1); ++i) items << T(n + 2 + int(i));
        EXPECT_FALSE(items.isEmpty()) << name;
        EXPECT_EQ(Entries(Box(d, name)), items) << name;
      }
      auto* lines = Control<QListWidget>(d, "chlbAend");
      ASSERT_EQ(lines->count(), 3);
      EXPECT_EQ(
          lines->item(0)->text() + "," + lines->item(1)->text() + "," + lines->item(2)->text(),
          T(922));
      d.show();
      for (const int page : {TfmCom::kPageSerial, TfmCom::kPageLink}) {
        d.SelectPage(page);
        QApplication::processEvents();
        for (QWidget* control : d.findChildren<QWidget*>()) {
          if (!control->isVisible()) continue;
          EXPECT_GE(control->width(),
                    std::min(control->minimumSizeHint().width(), control->sizeHint().width()))
              << control->objectName().toStdString();
        }
      }
    }
  }
}

TEST_F(PortDialogTest, DialogStandsBesideTheMainWindowOnTheScreen) {
  QWidget main;
  main.setGeometry(20, 30, 300, 200);
  main.show();
  TfmCom d(instance, 0, &main);
  d.PlaceBeside(&main);
  const QRect screen = main.screen()->availableGeometry();
  EXPECT_EQ(d.pos().y(), std::min(main.frameGeometry().top() + 48,
                                  screen.bottom() + 1 - d.frameGeometry().height()));
  EXPECT_EQ(d.pos().x(), std::min(main.mapToGlobal(QPoint(main.width(), 0)).x(),
                                  screen.right() + 1 - d.frameGeometry().width()));
  main.setGeometry(screen.right() - 100, 30, 300, 200);  // near the right edge
  d.PlaceBeside(&main);
  EXPECT_EQ(d.pos().x() + d.frameGeometry().width(), screen.right() + 1);
}

// A block from a foreign log file: values beyond the lists are shown as the
// nearest item, numbers beyond their ranges keep OK refused until corrected.
TEST_F(PortDialogTest, AForeignBlockOpensWithinTheListsAndItsBadNumbersAreRefused) {
  port1.function = static_cast<PortFunction>(9);
  port1.baudIndex = 200;
  port1.parity = 7;
  port1.dataBits = 0;
  port1.stopBits = 9;
  port1.rtsFunction = 99;
  port1.repetitions = 70000;
  port1.addressCount = 40;
  port1.dialogFocus = 1000;
  port1.dialogPage = 7;
  TfmCom d(instance, 0);
  d.show();
  EXPECT_EQ(Box(d, "cbFktn")->currentIndex(), 3);
  EXPECT_EQ(Box(d, "cbBaud")->currentIndex(), Box(d, "cbBaud")->count() - 1);
  EXPECT_EQ(Box(d, "cbFRts")->currentIndex(), Box(d, "cbFRts")->count() - 1);
  EXPECT_EQ(Control<QTabWidget>(d, "pgctrlCom")->currentIndex(), TfmCom::kPageSerial);
  EXPECT_FALSE(d.FieldsValid());
  Button(d, "btnOK")->click();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(d.focusWidget(), Edit(d, "edWiedH"));
  Edit(d, "edWiedH")->setText("3");
  Button(d, "btnOK")->click();
  ASSERT_EQ(d.result(), QDialog::Accepted);
  const PortParams& p = d.Params();
  EXPECT_EQ(p.function, PortFunction::GapMonitor);
  EXPECT_EQ(p.baud, 115200u);
  EXPECT_LE(p.parity, 4);
  EXPECT_TRUE(p.dataBits >= 5 && p.dataBits <= 8);
  EXPECT_TRUE(p.stopBits == 1 || p.stopBits == 2);
  EXPECT_LE(p.EffectiveAddressCount(), 31);
}

// The mode menu's items open the dialog of their port.
TEST_F(PortDialogTest, ModeMenuItemsOpenTheDialogOfTheirPort) {
  TfmMain window(instance, {});
  window.timer()->stop();
  for (const int port : {0, 1}) {
    QAction* item = window.action(port == 0 ? "miEmSe1" : "miEmSe2");
    ASSERT_TRUE(item->isEnabled());
    QString title;
    WhenModal([&title](TfmCom& d) {
      title = d.windowTitle();
      Edit(d, "edWiedH")->setText("7");
      Button(d, "btnOK")->click();
    });
    item->trigger();
    EXPECT_EQ(title, T(652 + port));
    EXPECT_EQ(instance.ports[static_cast<std::size_t>(port)].params.repetitions, 7u);
  }
}

// OK on an open port: closed under its old number, a wait that keeps events
// flowing, then opened again with the new parameters.
TEST(PortDialogOnline, OkReopensThePortUnderItsNewNumberAfterTheLineDrained) {
  PseudoTerminal first, second;
  ASSERT_TRUE(first.ok() && second.ok());
  testing::FakePlatform fake;
  PosixClock clock;
  QtEventLoop loop;
  TermiosPortEnumerator devices({{1, first.slavePath()}, {2, second.slavePath()}},
                                fake.scratch.Sub("dev"), fake.scratch.Sub("sys"));
  Instance instance{
      Platform{clock, fake.lock, fake.registry, fake.folders, fake.prompter, &devices, &loop}};
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  instance.ports[0].params.portNumber = 1;
  PortService service(instance, loop);
  std::vector<TLogEntry> events;
  instance.logStore.hooks.stored = [&events](const TLogEntry& e) {
    if (e.frameKind == kFrameEvent) events.push_back(e);
  };
  GoOnline(instance);
  service.Reconcile();
  ASSERT_TRUE(instance.ports[0].open);
  events.clear();

  bool eventDuringWait = false;
  WhenModal([&eventDuringWait](TfmCom& d) {
    QComboBox* ports = Box(d, "cbCom");
    for (int i = 0; i < ports->count(); ++i) {
      if (TfmCom::PortNumberOfEntry(ports->itemText(i)) == 2) ports->setCurrentIndex(i);
    }
    Button(d, "btnOK")->click();
    QTimer::singleShot(100, [&eventDuringWait] { eventDuringWait = true; });
  });
  QElapsedTimer elapsed;
  elapsed.start();
  ASSERT_TRUE(RunPortDialog(nullptr, instance, 0, &service));
  EXPECT_GE(elapsed.elapsed(), 176000 / 9600 + 500);
  EXPECT_TRUE(eventDuringWait);
  const PortRecord& port = instance.ports[0];
  EXPECT_EQ(port.params.portNumber, 2u);
  ASSERT_TRUE(port.open);
  EXPECT_EQ(service.Watched(0), port.serial->Descriptor());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].status, event::kPortClosed);
  EXPECT_EQ(events[0].linkAddress, 1);
  EXPECT_EQ(events[1].status, event::kPortOpened);
  EXPECT_EQ(events[1].linkAddress, 2);
  GoOffline(instance);
  service.Reconcile();
  instance.logStore.hooks.stored = nullptr;
}

}  // namespace
}  // namespace kivo
