#include "ui/file_commands.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include "app/instance.h"
#include "app/messages.h"
#include "ui/editor_support.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kTextOpenLogCaption = 1195;
constexpr int kTextSaveLogCaption = 1196;
constexpr int kTextLogFilter = 1197;
constexpr int kTextLogDefaultExtension = 1198;

FileRequest LogRequest(const Instance& instance, int caption, bool save) {
  const TextTable& t = instance.texts;
  FileRequest request;
  request.caption = Q(t.Text(caption));
  request.path = Q(instance.logStore.FileName());
  request.filter = DialogFilter(t.Text(kTextLogFilter));
  request.defaultSuffix = Q(t.Text(kTextLogDefaultExtension));
  request.save = save;
  // Whatever the filter text says, the log extension is offered first.
  const QString extension = Q(t.Text(filetext::kLogExtension));
  if (!extension.isEmpty() && !request.filter.contains("*" + extension)) {
    request.filter = QStringLiteral("*%1;;%2").arg(extension, request.filter);
  }
  return request;
}

}  // namespace

QString ChooseWithDialog(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.caption, request.path, request.filter);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  const QFileInfo proposed(request.path);
  dialog.setDirectory(proposed.absolutePath());
  dialog.selectFile(proposed.fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString DialogFilter(const std::string& text) {
  const QStringList parts = Q(text).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns = parts[i + 1].trimmed();
    // The description carries its patterns as the dialog reads them.
    filters << (description.contains('(') ? description
                                          : QStringLiteral("%1 (%2)").arg(description, patterns));
  }
  return filters.isEmpty() ? QStringLiteral("*") : filters.join(";;");
}

FileRequest LogOpenRequest(const Instance& instance) {
  return LogRequest(instance, kTextOpenLogCaption, false);
}

FileRequest LogSaveRequest(const Instance& instance) {
  return LogRequest(instance, kTextSaveLogCaption, true);
}

std::string WithDefaultSuffix(const QString& chosen, const QString& suffix) {
  std::string name = chosen.toStdString();
  if (!suffix.isEmpty() && ExtensionOf(name).empty()) name += "." + suffix.toStdString();
  return name;
}

RecentFilesSection::RecentFilesSection(QMenu* menu, QAction* before, Open open)
    : menu_(menu), before_(before), open_(std::move(open)) {
  separator_ = new QAction(menu_);
  separator_->setSeparator(true);
  separator_->setVisible(false);
  menu_->insertAction(before_, separator_);
}

void RecentFilesSection::Refill(const std::vector<std::string>& names) {
  for (QAction* entry : entries_) {
    menu_->removeAction(entry);
    entry->deleteLater();
  }
  entries_.clear();
  int number = 1;
  for (const std::string& name : names) {
    // "&1 name": the digit is the entry's accelerator; a '&' in a name is
    // shown as itself.
    auto* entry =
        new QAction(QStringLiteral("&%1 %2").arg(number).arg(Q(name).replace("&", "&&")), menu_);
    entry->setObjectName(QStringLiteral("mruFile%1").arg(number));
    entry->setData(Q(name));
    QObject::connect(entry, &QAction::triggered, menu_, [open = open_, name] { open(name); });
    menu_->insertAction(separator_, entry);
    entries_.push_back(entry);
    ++number;
  }
  separator_->setVisible(!entries_.empty());
}

bool StartDemoWindow() {
  return QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                 QStringList{QStringLiteral("--demo")});
}

}  // namespace kivo
