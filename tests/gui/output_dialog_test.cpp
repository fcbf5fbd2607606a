// The output dialog, offscreen: a PDF printout and a text file hold the lines
// of the output run, output onto the current log is refused, a failed or
// cancelled output leaves nothing under the chosen name, and the menu item
// opens the dialog over the main window and keeps the choices.
#include "ui/output_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "app/fake_platform.h"
#include "app/startup.h"
#include "log/log_store_fixture.h"
#include "ui/main_window.h"
#include "util/file_io.h"

namespace kivo {
namespace {

class MemorySink : public LineSink {
 public:
  std::vector<std::string> lines;
  bool Line(std::string_view line) override {
    lines.emplace_back(line);
    return true;
  }
};

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Blanks collapsed, as a PDF gives its columns back.
QString Squeezed(const QString& line) {
  return line.simplified();
}

class OutputDialogTest : public testing::AppTest {
 protected:
  LogStore& log = instance.logStore;
  std::unique_ptr<TfmMain> window;

  void SetUp() override {
    Start(false);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    window = std::make_unique<TfmMain>(instance, std::vector<std::string>{});
    window->timer()->stop();
    // Two days of traffic, enough for a second printed page.
    for (int i = 0; i < 30; ++i) {
      log.Append(testing::Frame("10 5B 01 5C 16", 40, 2));
      log.Append(testing::Frame("68 09 09 68 53 01 07 81 09 01 FF 00 12 F7 16", 40, 1));
    }
    fake.clock.Advance(24ull * 3600 * 1000);
    instance.timeBase.Synchronise();
    log.Append(testing::Frame("10 5B 01 5C 16", 40, 2));
  }
  std::string Dir() const { return instance.dataDirectory; }
  // The lines the output run gives for the settings in force.
  std::vector<std::string> Expected() {
    RenderContext context = MakeRenderContext(instance, log.Index().firstSeqNo);
    OutputOptions options;
    options.displayFilter = log.hooks.displayFilter;
    options.onlineDisplay = instance.settings.onlineDisplay != 0;
    MemorySink sink;
    EXPECT_TRUE(RunTextOutput(log, context, options, sink).ok);
    return sink.lines;
  }
  static void Choose(TfmDruk& dialog, int target, const QString& name, bool pdf = false) {
    dialog.findChild<QRadioButton*>(QStringLiteral("rgrAusg%1").arg(target))->click();
    auto* printers = dialog.findChild<QComboBox*>("pcbDruk");
    if (pdf) printers->setCurrentIndex(printers->count() - 1);
    dialog.findChild<QComboBox*>("fcbFile")->setEditText(name);
  }
  static void Ok(TfmDruk& dialog) { dialog.findChild<QPushButton*>("btnOK")->click(); }
  // Files beside the output other than the data directory's own.
  QStringList Leftovers() const {
    return QDir(QString::fromStdString(Dir()))
        .entryList({"*.tmp", "*.txt", "*.pdf"}, QDir::Files | QDir::Hidden);
  }
};

TEST_F(OutputDialogTest, PdfAndTextFileHoldTheLinesOfTheOutputRun) {
  instance.settings.displayFormat = static_cast<int>(DisplayFormat::OneLine);
  // Only the sent polls pass the display filter.
  log.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 2; };
  const std::vector<std::string> expected = Expected();
  ASSERT_GT(expected.size(), 30u);
  {
    TfmDruk dialog(instance);
    EXPECT_EQ(dialog.windowTitle().toStdString(), T(1312));
    EXPECT_EQ(dialog.property("kivoHelpContext").toInt(), 1100);
    Choose(dialog, 0, "export");
    Ok(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.OutputDone());
  }
  std::string lines;
  for (const std::string& line : expected) lines += line + "\r\n";
  EXPECT_EQ(Content(Dir() + "export.txt"), lines);
  EXPECT_EQ(instance.settings.outputTarget, 0);

  instance.settings.displayFormat = static_cast<int>(DisplayFormat::Log);
  log.hooks.displayFilter = nullptr;
  const std::vector<std::string> printed = Expected();
  {
    TfmDruk dialog(instance);
    Choose(dialog, 1, "printout", true);
    Ok(dialog);
    EXPECT_TRUE(dialog.OutputDone());
  }
  QProcess pdftotext;
  pdftotext.start("pdftotext", {"-layout", QString::fromStdString(Dir() + "printout.pdf"), "-"});
  ASSERT_TRUE(pdftotext.waitForFinished(30000)) << "pdftotext (poppler-utils) is needed";
  ASSERT_EQ(pdftotext.exitCode(), 0);
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
  QStringList pdfLines;
  for (const QString& line : text.split(QRegularExpression("[\n\f]"))) {
    if (!line.trimmed().isEmpty()) pdfLines << Squeezed(line);
  }
  // Every line of the run in its order, and each page starts with the header.
  qsizetype at = 0;
  for (const std::string& line : printed) {
    if (line.empty()) continue;
    const QString wanted = Squeezed(QString::fromStdString(line));
    while (at < pdfLines.size() && pdfLines[at] != wanted) ++at;
    ASSERT_LT(at, pdfLines.size()) << "missing from the PDF: " << line;
  }
  const qsizetype pages = text.count('\f');
  EXPECT_GT(pages, 1);
  EXPECT_EQ(pdfLines.filter(Squeezed(QString::fromStdString(printed[1]))).size(), pages);
  EXPECT_TRUE(pdfLines.back().endsWith(QString::fromStdString(T(1170)).simplified()));
  EXPECT_EQ(Leftovers(), QStringList({"export.txt", "printout.pdf"}));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(OutputDialogTest, RefusedOrFailedOutputKeepsTheDialogOpenAndTheFilesAsTheyWere) {
  const std::string logName = log.FileName();
  const std::string before = Content(logName);
  QFile::link(QString::fromStdString(logName), QString::fromStdString(Dir() + "alias.txt"));
  const struct {
    int target;
    std::string name;
    int message;
  } rows[] = {
      {2, logName, 1315},                         // the log itself, as log file
      {0, logName, 1315},                         // or as text file
      {2, FileNameOf(logName), 1315},             // in the data directory
      {0, "alias.txt", 1315},                     // through a link
      {0, Dir() + "missing/export", 1515},        // a directory that is not there
      {1, Dir() + "missing/printout.pdf", 1515},  // nor for a PDF
      {2, "/proc/copy", 1515},                    // nor for a log file
      {0, "   ", 0},                              // no name at all
  };
  for (const auto& row : rows) {
    fake.prompter.messages.clear();
    TfmDruk dialog(instance);
    Choose(dialog, row.target, QString::fromStdString(row.name), row.target == 1);
    Ok(dialog);
    EXPECT_EQ(dialog.result(), 0) << row.name;
    EXPECT_FALSE(dialog.OutputDone());
    if (row.message == 0) {
      EXPECT_TRUE(Messages().empty());
    } else {
      ASSERT_EQ(Messages().size(), 1u) << row.name;
      EXPECT_EQ(Messages()[0].substr(0, 12), T(row.message).substr(0, 12)) << row.name;
    }
    const auto* name = dialog.findChild<QComboBox*>("fcbFile");
    EXPECT_EQ(name->palette().color(QPalette::Base) != QPalette().color(QPalette::Base),
              row.message != 1515)
        << row.name;
  }
  EXPECT_EQ(Content(logName), before);
  EXPECT_EQ(Leftovers(), QStringList({"alias.txt"}));
}

TEST_F(OutputDialogTest, CancelledOutputLeavesNoFileAndTheMenuPlacesTheDialog) {
  for (int i = 0; i < 250; ++i) log.Append(testing::Frame("10 5B 01 5C 16", 40, 2));
  for (const bool pdf : {false, true}) {
    TfmDruk dialog(instance);
    Choose(dialog, pdf ? 1 : 0, "cancelled", pdf);
    // The output processes events between entries: there the operator cancels.
    QTimer::singleShot(0, &dialog, [&dialog] {
      EXPECT_TRUE(dialog.Running());
      EXPECT_TRUE(dialog.findChild<QPushButton*>("btnOK")->isHidden());
      dialog.findChild<QPushButton*>("btnAbbr")->click();
    });
    Ok(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << pdf;
    EXPECT_FALSE(dialog.OutputDone());
    EXPECT_FALSE(dialog.Running());
  }
  EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();

  window->setGeometry(40, 30, 720, 520);
  window->show();
  QRect placed;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfmDruk*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    placed = dialog->frameGeometry();
    Choose(*dialog, 2, "copy");
    Ok(*dialog);
  });
  window->action("miLogDrucken")->trigger();
  // Centred up to the width of the dialog's frame.
  EXPECT_EQ(placed.top() - window->frameGeometry().top(), 48);
  EXPECT_LE(std::abs(placed.center().x() - window->frameGeometry().center().x()), 8);
  EXPECT_EQ(instance.settings.outputTarget, 2);
  EXPECT_GT(FileSize(Dir() + "copy.lg3"), 0);
}

}  // namespace
}  // namespace kivo
