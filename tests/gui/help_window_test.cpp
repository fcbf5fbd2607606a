// The help, offscreen: a page for every help context in both languages with
// links that all lead somewhere, the one help window in the program's
// language, F1 in a window opening the page of its context (also from a modal
// dialog, whose help stays usable), the contents for a missing page and no
// help at all when the pages are missing.
#include "ui/help_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <filesystem>
#include <set>

#include "app/fake_platform.h"
#include "app/startup.h"
#include "ui/editor_support.h"

// Page paths read as paths in the failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << text.toStdString();
}

namespace kivo {
namespace {

// Every window's help context: the main window's contents, the editors, the
// dialogs and the link-test window.
constexpr int kContexts[] = {kHelpContents, 1100, 5100, 5200, 5300, 5400, 5450,
                             5500,          5550, 5700, 5800, 5850, 6100, 6300};

QString Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// The local link targets of a page (no anchors within it, no web links).
QStringList LocalLinks(const QString& html) {
  QStringList links;
  static const QRegularExpression href(QStringLiteral("href=\"([^\"#]+)[^\"]*\""));
  for (auto it = href.globalMatch(html); it.hasNext();) {
    const QString target = it.next().captured(1);
    if (!target.contains(QLatin1Char(':'))) links << target;
  }
  return links;
}

class HelpTest : public ::testing::Test {
 protected:
  testing::FakePlatform fake;
  Instance instance{fake.Get()};
  QWidget main;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    std::filesystem::copy(std::string(KIVO_LANG_DIR) + "../help",
                          instance.programDirectory + "help",
                          std::filesystem::copy_options::recursive);
    Language(1);
    main.setProperty(kHelpContextProperty, kHelpContents);
    InstallHelpKey(&main, instance);
    main.setGeometry(30, 40, 600, 400);
    main.show();
  }
  void Language(int language) {
    instance.settings.language = language;
    ASSERT_TRUE(ReloadTexts(instance, language));
  }
  QString T(int n) const { return QString::fromStdString(instance.texts.Text(n)); }
  TfmHelp* Help() const {
    const auto windows = main.findChildren<TfmHelp*>();
    EXPECT_LE(windows.size(), 1);
    return windows.isEmpty() ? nullptr : windows.front();
  }
  // The page the help window shows, or empty when it is closed.
  QString Shown() const {
    TfmHelp* help = Help();
    return help && help->isVisible() ? help->browser()->source().toLocalFile() : QString();
  }
  QString Page(int context) const { return HelpPagePath(instance, context); }
};

TEST_F(HelpTest, EveryContextHasAPageInBothLanguagesAndEveryLinkLeadsToAPage) {
  std::set<QString> folders;
  for (int language : {0, 1}) {
    Language(language);
    const QString code = language == 0 ? "de" : "en";
    const QString contents = Read(Page(kHelpContents));
    folders.insert(QFileInfo(Page(kHelpContents)).absolutePath());
    for (int context : kContexts) {
      SCOPED_TRACE((code + " page " + QString::number(context)).toStdString());
      const QString name =
          context == kHelpContents ? "index.html" : QString("%1.html").arg(context);
      EXPECT_EQ(QFileInfo(Page(context)).fileName(), name);
      const QString html = Read(Page(context));
      EXPECT_TRUE(html.contains(QString("<html lang=\"%1\">").arg(code)));
      EXPECT_TRUE(QRegularExpression("<title>[^<]+</title>").match(html).hasMatch());
      if (context == kHelpContents) continue;
      EXPECT_TRUE(LocalLinks(html).contains("index.html"));
      EXPECT_TRUE(LocalLinks(contents).contains(name));
    }
    const QDir folder(QFileInfo(Page(kHelpContents)).absolutePath());
    for (const QString& page : folder.entryList({"*.html"}, QDir::Files)) {
      for (const QString& link : LocalLinks(Read(folder.filePath(page)))) {
        EXPECT_TRUE(QFileInfo(folder.filePath(link)).isFile())
            << code.toStdString() << "/" << page.toStdString() << " -> " << link.toStdString();
      }
    }
  }
  EXPECT_EQ(folders.size(), 2u);  // one folder per language
}

TEST_F(HelpTest, OneHelpWindowShowsThePagesInTheLanguageOfTheProgramAndFollowsLinks) {
  ShowHelp(&main, instance, 5100);
  TfmHelp* help = Help();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(Shown(), Page(5100));
  EXPECT_TRUE(Shown().contains("/en/"));
  EXPECT_TRUE(help->windowTitle().startsWith(T(499) + T(511) + " - "));
  EXPECT_TRUE(help->windowTitle().endsWith(help->browser()->documentTitle()));
  EXPECT_FALSE(help->browser()->toPlainText().isEmpty());

  Language(0);
  ShowHelp(&main, instance, 5100);
  EXPECT_EQ(Help(), help);
  EXPECT_EQ(Shown(), Page(5100));
  EXPECT_TRUE(Shown().contains("/de/"));
  auto* contents = help->findChild<QPushButton*>("btnContents");
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(contents->text(), T(689));
  contents->click();
  EXPECT_EQ(Shown(), Page(kHelpContents));
  // The first link of the contents, taken with the keyboard.
  help->browser()->setFocus();
  QTest::keyClick(help->browser(), Qt::Key_Tab);
  QTest::keyClick(help->browser(), Qt::Key_Return);
  const QString followed = Shown();
  EXPECT_NE(followed, Page(kHelpContents));
  EXPECT_TRUE(QFileInfo(followed).isFile()) << followed.toStdString();
  EXPECT_TRUE(followed.contains("/de/"));
  help->browser()->backward();
  EXPECT_EQ(Shown(), Page(kHelpContents));
}

TEST_F(HelpTest, F1OpensThePageOfTheWindowItIsPressedIn) {
  auto* mainField = new QLineEdit(&main);
  QDialog dialog(&main);
  dialog.setProperty(kHelpContextProperty, 5400);
  auto* layout = new QVBoxLayout(&dialog);
  auto* nested = new QWidget(&dialog);
  auto* field = new QLineEdit(nested);
  layout->addWidget(nested);
  auto* helpButton = new QPushButton(&dialog);
  layout->addWidget(helpButton);
  QObject::connect(helpButton, &QPushButton::clicked, &dialog,
                   [this] { OpenHelpPage(instance, 5500); });
  QWidget linkTest(&main, Qt::Window);
  linkTest.setProperty(kHelpContextProperty, 5450);
  auto* item = new QLineEdit(&linkTest);
  QWidget plain(&main, Qt::Window);  // a window without a context of its own
  auto* plainField = new QLineEdit(&plain);
  dialog.show();
  linkTest.show();
  plain.show();

  const struct {
    QWidget* focus;
    Qt::KeyboardModifiers modifiers;
    int context;  // -1: no help opens
  } presses[] = {
      {mainField, Qt::NoModifier, kHelpContents},
      {field, Qt::NoModifier, 5400},
      {item, Qt::NoModifier, 5450},
      {plainField, Qt::NoModifier, kHelpContents},
      {field, Qt::ShiftModifier, -1},
      {field, Qt::AltModifier, -1},
  };
  for (const auto& press : presses) {
    if (Help()) Help()->close();
    press.focus->window()->activateWindow();
    press.focus->setFocus();
    QTest::keyClick(press.focus, Qt::Key_F1, press.modifiers);
    EXPECT_EQ(Shown(), press.context < 0 ? QString() : Page(press.context))
        << press.focus->window()->property(kHelpContextProperty).toInt();
  }

  // A Help button shows the page with the window of the dialog's owner.
  Help()->close();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  helpButton->click();
  EXPECT_EQ(Shown(), Page(5500));
  EXPECT_EQ(main.findChildren<TfmHelp*>().size(), 1);
}

TEST_F(HelpTest, HelpFromAModalDialogCanBeUsedWhileTheDialogRuns) {
  QDialog modal(&main);
  modal.setProperty(kHelpContextProperty, 5300);
  auto* field = new QLineEdit(&modal);
  QString fromF1, afterClick;
  QTimer::singleShot(0, &modal, [&] {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F1);
    fromF1 = Shown();
    if (TfmHelp* help = Help()) {
      // A click through the window system, which the modal dialog would
      // swallow if it blocked the help.
      auto* contents = help->findChild<QPushButton*>("btnContents");
      QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {},
                        contents->mapTo(help, contents->rect().center()));
      afterClick = Shown();
    }
    modal.accept();
  });
  modal.exec();
  EXPECT_EQ(fromF1, Page(5300));
  EXPECT_EQ(afterClick, Page(kHelpContents));
}

TEST_F(HelpTest, AMissingPageShowsTheContentsAndMissingHelpNothing) {
  ShowHelp(&main, instance, 4242);
  EXPECT_EQ(Shown(), Page(kHelpContents));
  EXPECT_TRUE(HelpAvailable(instance));
  Help()->close();

  std::filesystem::remove_all(instance.programDirectory + "help");
  EXPECT_TRUE(Page(kHelpContents).isEmpty());
  EXPECT_FALSE(HelpAvailable(instance));
  EXPECT_FALSE(OpenHelpPage(instance, 5100));
  ShowHelp(&main, instance, kHelpContents);
  main.activateWindow();
  QTest::keyClick(&main, Qt::Key_F1);
  EXPECT_EQ(Shown(), QString());
}

}  // namespace
}  // namespace kivo
