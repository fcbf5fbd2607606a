// The filter dialog, offscreen, from the main window's filter commands: a
// display filter built in it shows what `kivo-cli export --filter` shows with
// the file saved from it; a log filter refuses entries when they are stored;
// values out of range block OK and Save; the picker fills the type and cause
// fields; a file that is not a filter changes nothing.
#include "ui/filter_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "app/fake_platform.h"
#include "app/messages.h"
#include "log/log_filter.h"
#include "ui/editor_support.h"
#include "ui/main_window.h"
#include "ui/type_picker.h"

namespace kivo {
namespace {

template <typename T>
T* Control(const QWidget& dialog, const QString& name) {
  T* control = dialog.findChild<T*>(name);
  EXPECT_NE(control, nullptr) << name.toStdString();
  return control;
}
// The controls of the row of criterion kind 5 (telegram number) to 13.
void SetRow(const QWidget& d, int kind, int mode, const char* value1, int operatorIndex = 0,
            const char* value2 = "0") {
  const auto name = [kind](const char* part, const char* first) {
    return kind == 5 ? QString(first) : QString("%1%2").arg(part).arg(kind);
  };
  Control<QComboBox>(d, name("cbMode", "cbTNr1"))->setCurrentIndex(mode);
  Control<QLineEdit>(d, name("sfdValue1_", "sfdTNr1"))->setText(value1);
  Control<QComboBox>(d, name("cbOperator", "cbTNr2"))->setCurrentIndex(operatorIndex);
  Control<QLineEdit>(d, name("sfdValue2_", "sfdTNr2"))->setText(value2);
}
void Press(QWidget* control, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(control, &press);
}

// Runs `work` on the modal widget of type T as soon as its event loop runs.
template <typename T>
void WhenModal(std::function<void(T&)> work) {
  QTimer::singleShot(0, [work] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(modal, nullptr);
    work(*modal);
  });
}

// A frame entry: a variable frame with the ASDU head, or a poll when typ is 0.
TLogEntry Entry(std::uint8_t channel, std::uint8_t typ, std::uint8_t cot,
                std::uint8_t status = 40) {
  std::vector<std::uint8_t> o = {0x10, 0x5B, 0x01, 0x5C, 0x16};
  if (typ != 0) o = {0x68, 9, 9, 0x68, 0x08, 0x01, typ, 0x81, cot, 0x01, 160, 16, 0x00, 0, 0x16};
  for (std::size_t i = 4; typ != 0 && i < o.size() - 2; ++i) o[o.size() - 2] += o[i];
  TLogEntry e;
  e.SetFrame(o);
  e.frameKind = typ == 0 ? kFrameFixed : kFrameVariable;
  e.control = o[typ == 0 ? 1 : 4];
  e.linkAddress = 1;
  e.status = status;
  e.channel = channel;
  return e;
}

class FilterDialogTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  Instance instance{fake.Get()};
  std::unique_ptr<TfmMain> window;
  std::vector<TLogEntry> stored;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    window = std::make_unique<TfmMain>(instance, std::vector<std::string>{});
    window->timer()->stop();
    instance.settings.showLink = 1;
    instance.logStore.hooks.stored = [this](const TLogEntry& e) { stored.push_back(e); };
  }
  QString T(int n) const { return QString::fromStdString(instance.texts.Text(n)); }
  std::string Path(const std::string& name) const { return fake.scratch.path() + name; }
  // The telegram numbers of the stored entries that pass the display filter.
  std::set<std::uint32_t> Shown() const {
    std::set<std::uint32_t> numbers;
    for (const TLogEntry& e : stored) {
      if (instance.logStore.hooks.displayFilter(e)) numbers.insert(e.seqNo);
    }
    return numbers;
  }
  // The telegram numbers of the CSV lines `kivo-cli export` prints.
  std::set<std::uint32_t> Exported(const std::string& filterFile) const {
    const std::string command =
        "HOME=" + fake.scratch.path() + " XDG_CONFIG_HOME=" + fake.scratch.path() +
        " " KIVO_BIN_DIR "kivo-cli export '" + instance.logStore.FileName() + "' --filter '" +
        filterFile + "' --format csv --language usa";
    std::FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string text;
    for (char buffer[512]; pipe && std::fgets(buffer, sizeof buffer, pipe);) text += buffer;
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << text;
    std::set<std::uint32_t> numbers;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      unsigned long number = 0;
      if (std::sscanf(line.c_str(), "%lu;", &number) == 1) numbers.insert(number);
    }
    return numbers;
  }
};

TEST_F(FilterDialogTest, DisplayFilterShowsWhatExportShowsWithTheSavedFile) {
  // 1 .. 10, a second apart: 5 a poll, 7 faulty.
  for (const TLogEntry& e :
       {Entry(1, 1, 1), Entry(2, 20, 20), Entry(3, 1, 20), Entry(1, 1, 1), Entry(2, 0, 0),
        Entry(4, 1, 1), Entry(1, 9, 1, 5), Entry(3, 1, 3), Entry(1, 5, 4), Entry(1, 20, 20)}) {
    ASSERT_TRUE(instance.logStore.Append(e));
    fake.clock.Advance(1237);
  }
  ASSERT_TRUE(instance.logStore.FlushLog());
  std::vector<FileRequest> requests;
  WhenModal<TfmFlt>([&](TfmFlt& d) {
    EXPECT_EQ(d.windowTitle(), T(692));
    EXPECT_EQ(d.property(kHelpContextProperty).toInt(), 6100);
    // Not tested, the telegram number offers the whole log.
    EXPECT_EQ(Control<QLineEdit>(d, "sfdTNr2")->text(), "10");
    SetRow(d, 5, 2, "4");           // telegram number is not 4
    SetRow(d, 9, 1, "1", 1, "20");  // type is 1 or 20
    SetRow(d, 10, 2, "2", 2, "3");  // cause is not within 2 .. 3
    Control<QListWidget>(d, "chlbTKen")->item(3)->setCheckState(Qt::Unchecked);
    // From just after the first entry to the last entry, as the fields show.
    Control<QCheckBox>(d, "chbVon")->setChecked(true);
    Control<QCheckBox>(d, "chbBis")->setChecked(true);
    auto* from = Control<QTimeEdit>(d, "tmVon");
    from->setTime(from->time().addMSecs(1));
    d.chooseFile = [&](QWidget*, const FileRequest& request) {
      requests.push_back(request);
      return QString::fromStdString(Path("chosen"));
    };
    d.popupMenu()->actions().at(1)->trigger();  // miSave
    Control<QPushButton>(d, "btnOK")->click();
  });
  window->action("miAFilter")->trigger();

  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].caption, T(790));
  EXPECT_TRUE(requests[0].path.endsWith("/Filter.kvf"));
  const TLogFilter& filter = instance.general.displayFilter;
  EXPECT_EQ(filter.enabled, 1);
  EXPECT_EQ(window->statusPanel(3)->text(), T(1145) + T(1140));
  const std::set<std::uint32_t> expected = {2, 3, 5, 7, 10};
  EXPECT_EQ(Shown(), expected);
  EXPECT_EQ(Exported(Path("chosen.kvf")), expected);

  // Reset leaves nothing that restricts, so OK switches the filter off; the
  // saved file brings every row back.
  WhenModal<TfmFlt>([](TfmFlt& d) {
    Control<QPushButton>(d, "btnReset")->click();
    Control<QPushButton>(d, "btnOK")->click();
  });
  window->action("miAFilter")->trigger();
  EXPECT_EQ(filter.enabled, 0);
  EXPECT_EQ(filter.restricting, 0);
  EXPECT_EQ(Shown().size(), stored.size());
  WhenModal<TfmFlt>([&](TfmFlt& d) {
    d.chooseFile = [&](QWidget*, const FileRequest&) {
      return QString::fromStdString(Path("chosen.kvf"));
    };
    d.popupMenu()->actions().at(0)->trigger();  // miLoad
    EXPECT_EQ(Control<QLineEdit>(d, "sfdValue2_9")->text(), "20");
    Control<QPushButton>(d, "btnOK")->click();
  });
  window->action("miAFilter")->trigger();
  EXPECT_EQ(Shown(), expected);
  EXPECT_TRUE(fake.prompter.messages.empty());
}

TEST_F(FilterDialogTest, LogFilterRefusesEntriesWhenTheyAreStored) {
  WhenModal<TfmFlt>([&](TfmFlt& d) {
    EXPECT_EQ(d.windowTitle(), T(693));
    EXPECT_EQ(d.property(kHelpContextProperty).toInt(), 6300);
    // Port 1 only, valid telegrams only.
    Control<QListWidget>(d, "chlbTKen")->item(2)->setCheckState(Qt::Unchecked);
    Control<QListWidget>(d, "chlbTKen")->item(3)->setCheckState(Qt::Unchecked);
    Control<QListWidget>(d, "chlbStat")->item(1)->setCheckState(Qt::Unchecked);
    Control<QPushButton>(d, "btnOK")->click();
  });
  window->action("miLFilter")->trigger();
  EXPECT_EQ(instance.general.logFilter.enabled, 1);
  EXPECT_EQ(instance.general.displayFilter.enabled, 0);
  EXPECT_EQ(window->statusPanel(2)->text(), T(1146) + T(1140));

  const struct {
    TLogEntry entry;
    bool kept;
  } appended[] = {{Entry(1, 1, 1), true},
                  {Entry(3, 1, 1), false},
                  {Entry(1, 1, 1, 5), false},
                  {Entry(4, 0, 0), false},
                  {Entry(2, 20, 20), true}};
  for (const auto& a : appended) EXPECT_EQ(instance.logStore.Append(a.entry), a.kept);
  ASSERT_EQ(stored.size(), 2u);
  // What was refused leaves no gap in the numbers.
  EXPECT_EQ(stored[0].channel, 1);
  EXPECT_EQ(stored[1].channel, 2);
  EXPECT_EQ(stored[1].seqNo, stored[0].seqNo + 1);
  EXPECT_EQ(instance.logStore.Index().lastSeqNo, stored[1].seqNo);
}

TEST_F(FilterDialogTest, ValuesOutOfRangeAreMarkedAndBlockOkAndSave) {
  const struct {
    const char* field;
    const char* text;
    bool valid;
  } cases[] = {
      {"sfdTNr2", "2147483647", true}, {"sfdTNr2", "2147483648", false},
      {"sfdTNr1", "-1", false},        {"sfdValue2_6", "261", true},
      {"sfdValue2_6", "262", false},   {"sfdValue1_7", "15", true},
      {"sfdValue1_7", "16", false},    {"sfdValue1_9", "256", false},
      {"sfdValue2_13", "", false},     {"sfdValue1_11", "1x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + "=" + c.text);
    TfmFlt d(instance, false, window.get());
    bool chosen = false;
    d.chooseFile = [&](QWidget*, const FileRequest&) {
      chosen = true;
      return QString();
    };
    d.show();
    QLineEdit* field = Control<QLineEdit>(d, c.field);
    field->setText(c.text);
    EXPECT_EQ(field->palette().color(QPalette::Base) == QColor(0xFF, 0x80, 0x80), !c.valid);
    d.popupMenu()->actions().at(1)->trigger();
    EXPECT_EQ(chosen, c.valid);
    Control<QPushButton>(d, "btnOK")->click();
    EXPECT_EQ(d.result() == QDialog::Accepted, c.valid);
    if (!c.valid) {
      EXPECT_EQ(d.focusWidget(), field);
    }
  }
}

TEST_F(FilterDialogTest, PickerFillsTheTypeAndTheCauseOfThatType) {
  TfmFlt d(instance, false, window.get());
  d.show();
  d.activateWindow();
  QLineEdit* type = Control<QLineEdit>(d, "sfdValue1_9");
  QLineEdit* cause = Control<QLineEdit>(d, "sfdValue2_10");
  type->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(d.statusBar()->currentMessage(), T(1209) + "255" + T(1227));
  int offered = 0;
  auto pick = [&offered](const QString& item) {
    WhenModal<TfmTyp>([item, &offered](TfmTyp& picker) {
      offered = picker.list()->count();
      const auto found = picker.list()->findItems(item, Qt::MatchStartsWith);
      ASSERT_FALSE(found.isEmpty()) << item.toStdString();
      picker.list()->setCurrentItem(found.first());
      Press(picker.list(), Qt::Key_Return);
    });
  };
  pick(" 20=");
  QTest::keyClick(type, Qt::Key_F12);
  EXPECT_EQ(type->text(), "20");
  Press(type, Qt::Key_Return);  // Enter moves on
  EXPECT_EQ(d.focusWidget(), Control<QComboBox>(d, "cbOperator9"));
  pick(" 20=");  // type 20 permits cause 20 only
  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(cause, &click);
  EXPECT_EQ(offered, 1);
  EXPECT_EQ(cause->text(), "20");
}

TEST_F(FilterDialogTest, AFileThatIsNoFilterIsReportedAndChangesNothing) {
  std::string good(TLogFilter::kSize, '\0');
  TLogFilter record = NormalisedFilter();
  record.recordSize = TLogFilter::kSize;
  record.Encode({reinterpret_cast<std::uint8_t*>(good.data()), good.size()});
  std::string wrongSize = good;
  wrongSize[TLogFilter::Offsets::RecordSize] = 0x10;
  const std::pair<const char*, std::string> files[] = {{"short.kvf", good.substr(0, 239)},
                                                       {"long.kvf", good + "x"},
                                                       {"size.kvf", wrongSize},
                                                       {"empty.kvf", ""}};
  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    std::ofstream(Path(name), std::ios::binary) << content;
    fake.prompter.messages.clear();
    TfmFlt d(instance, true, window.get());
    SetRow(d, 8, 1, "7");  // link address 7
    d.chooseFile = [&](QWidget*, const FileRequest&) { return QString::fromStdString(Path(name)); };
    d.popupMenu()->actions().at(0)->trigger();
    ASSERT_EQ(fake.prompter.messages.size(), 1u);
    EXPECT_EQ(fake.prompter.messages[0], FormatText(instance, 1505, Path(name)));
    d.btnOKClick();
    EXPECT_EQ(d.Filter().criteria[3].mode, 1u);
    EXPECT_EQ(d.Filter().criteria[3].value1, 7);
  }
}

}  // namespace
}  // namespace kivo
