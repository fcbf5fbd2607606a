// The help: one page per help context in the language of the texts, shown
// in the program's own help window.
#pragma once

#include <QString>
#include <QWidget>

class QPushButton;
class QTextBrowser;
class QToolButton;

namespace kivo {

class Instance;

// The contents page of the help.
inline constexpr int kHelpContents = 0;

// The page file of a help context: "<context>.html" beside the contents page
// that text 1163 names, the contents page when the context has none, empty
// when there is no help at all.
QString HelpPagePath(const Instance& instance, int context);

// Shows the page of a help context (the contents when there is none).
void ShowHelp(QWidget* parent, Instance& instance, int context);
// The same for callers that only read the instance; false when there is no
// help to show. The help window belongs to the topmost window above
// `parent` and is reused for every page.
bool ShowHelpPage(QWidget* parent, const Instance& instance, int context);

// F1 in any window of the program shows the page of that window's help
// context (its kHelpContextProperty, else the contents); installed once by
// the main window.
void InstallHelpKey(QWidget* mainWindow, Instance& instance);

// The help window: the pages with their links, the way back and forward, and
// the contents of the language shown.
class TfmHelp : public QWidget {
  Q_OBJECT

 public:
  explicit TfmHelp(QWidget* owner);

  // Shows `page` and labels the window from the texts of its language.
  void ShowPage(const Instance& instance, const QString& page);
  QTextBrowser* browser() const { return tbHelp_; }
  // The size a new help window opens with.
  QSize sizeHint() const override;

 private:
  void ShowTitle();

  QTextBrowser* tbHelp_ = nullptr;
  QToolButton* btnBack_ = nullptr;
  QToolButton* btnForward_ = nullptr;
  QPushButton* btnContents_ = nullptr;
  QString contentsPage_;
  QString titlePrefix_;
};

}  // namespace kivo
