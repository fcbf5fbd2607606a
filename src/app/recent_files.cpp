#include "app/recent_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/info_texts.h"
#include "app/instance.h"
#include "app/log_commands.h"
#include "app/messages.h"
#include "app/send_file_commands.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr std::size_t kLongestName = 255;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The name as the list keeps it: absolute, without "." and ".." steps, so
// that a file chosen from another working directory is found again.
std::string ListName(const std::string& name) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(name, error);
  return error ? name : absolute.lexically_normal().string();
}

bool NameTheSameFile(const std::string& a, const std::string& b) {
  return a == b || ListName(a) == ListName(b) || SameFile(a, b);
}

void Store(Instance& instance, const std::vector<std::string>& names) {
  Settings& s = instance.settings;
  const std::size_t count = std::min(names.size(), s.recentFiles.size());
  for (std::size_t i = 0; i < s.recentFiles.size(); ++i) {
    s.recentFiles[i].Set(i < count ? names[i] : std::string());
  }
  s.recentCount = static_cast<std::int32_t>(count);
}

}  // namespace

std::vector<std::string> RecentFiles(const Instance& instance) {
  const Settings& s = instance.settings;
  const auto count = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(s.recentCount, 0)),
                                             0, s.recentFiles.size());
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = s.recentFiles[i].Get();
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> ShownRecentFiles(const Instance& instance) {
  std::vector<std::string> names = RecentFiles(instance);
  if (names.size() > static_cast<std::size_t>(kRecentFilesShown)) {
    names.resize(static_cast<std::size_t>(kRecentFilesShown));
  }
  return names;
}

void AddRecentFile(Instance& instance, const std::string& name) {
  const std::string kept = ListName(name);
  if (kept.empty() || kept.size() > kLongestName) return;
  std::vector<std::string> names = RecentFiles(instance);
  std::erase_if(names, [&](const std::string& n) { return NameTheSameFile(n, kept); });
  names.insert(names.begin(), kept);
  Store(instance, names);
}

void RemoveRecentFile(Instance& instance, const std::string& name) {
  std::vector<std::string> names = RecentFiles(instance);
  std::erase_if(names, [&](const std::string& n) { return NameTheSameFile(n, name); });
  Store(instance, names);
}

RecentFileKind RecentFileKindOf(const Instance& instance, const std::string& name) {
  const std::string extension = Lower(ExtensionOf(name));
  if (!extension.empty()) {
    if (extension == Lower(instance.texts.Text(filetext::kSendExtension))) {
      return RecentFileKind::SendTelegramFile;
    }
    if (extension == Lower(instance.texts.Text(filetext::kInfoTextExtension))) {
      return RecentFileKind::InfoTextFile;
    }
  }
  return RecentFileKind::Log;
}

bool OpenRecentFile(Instance& instance, const std::string& name) {
  if (!FileExists(name)) {
    ShowMessage(instance, kTextRecentFileGone, MessageType::Warning, MessageButtons::Ok, name);
    RemoveRecentFile(instance, name);
    return false;
  }
  bool opened = false;
  switch (RecentFileKindOf(instance, name)) {
    case RecentFileKind::Log:
      opened = OpenChosenLog(instance, name);
      break;
    case RecentFileKind::SendTelegramFile:
      opened = OpenSendTelegramFile(instance, name);
      break;
    case RecentFileKind::InfoTextFile:
      opened = LoadInfoTexts(instance, name);
      break;
  }
  if (opened) AddRecentFile(instance, name);
  return opened;
}

}  // namespace kivo
