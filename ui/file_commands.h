// The file side of the main window: the open and save dialogs of logs, the
// recent-files section of the File menu, and starting the demo in a window of
// its own.
#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace kivo {

class Instance;
class TextTable;

// What a file dialog is asked for.
struct FileRequest {
  QString caption;
  QString path;  // the directory to start in, with the proposed name
  QString filter;
  QString defaultSuffix;  // without the dot
  bool save = false;
};

// Shows the dialog and returns the chosen name, empty when cancelled. The
// window's tests put a chooser of their own in its place.
using FileChooser = std::function<QString(QWidget* parent, const FileRequest& request)>;
QString ChooseWithDialog(QWidget* parent, const FileRequest& request);

// The filter of a text written "description|patterns|description|patterns"
// as the dialog wants it ("description;;description").
QString DialogFilter(const std::string& text);

// The dialogs of the open-log and save-log commands: their captions, filter
// and default extension from the text table, starting at the current log.
FileRequest LogOpenRequest(const Instance& instance);
FileRequest LogSaveRequest(const Instance& instance);

// A chosen save name without an extension gets the default one.
std::string WithDefaultSuffix(const QString& chosen, const QString& suffix);

// The recent-files entries of a menu: numbered actions standing before
// `before`, set off by a separator, hidden while the list is empty.
class RecentFilesSection {
 public:
  using Open = std::function<void(const std::string& name)>;
  RecentFilesSection(QMenu* menu, QAction* before, Open open);

  // Replaces the entries by `names`, newest first.
  void Refill(const std::vector<std::string>& names);
  const std::vector<QAction*>& Entries() const { return entries_; }

 private:
  QMenu* menu_;
  QAction* before_;
  QAction* separator_;
  Open open_;
  std::vector<QAction*> entries_;
};

// Starts `kivo --demo` as a process of its own, which runs beside this one.
bool StartDemoWindow();

}  // namespace kivo
