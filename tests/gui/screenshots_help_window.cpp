#include <QApplication>
#include <QTextBrowser>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/instance.h"
#include "gui/screenshots.h"
#include "ui/help_window.h"
#include "ui/main_window.h"

namespace kivo {

// The help window on the contents and on the telegram editor's page, with the
// pages of the source tree beside the program as the build puts them.
int ShootHelpWindow(ShotScene& scene) {
  std::error_code error;
  std::filesystem::copy(
      std::string(KIVO_LANG_DIR) + "../help", scene.instance.programDirectory + "help",
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
      error);
  if (error) {
    std::printf("FAILED help pages: %s\n", error.message().c_str());
    return 1;
  }
  int failures = 0;
  const std::pair<int, const char*> shots[] = {{kHelpContents, "help-contents"},
                                               {5100, "help-telegram-editor"}};
  for (const auto& [context, name] : shots) {
    ShowHelp(&scene.window, scene.instance, context);
    auto* help = scene.window.findChild<TfmHelp*>();
    if (!help || help->browser()->source().isEmpty()) {
      std::printf("FAILED no help window for %s\n", name);
      ++failures;
      continue;
    }
    RunEvents(150);
    if (!scene.Save(*help, name)) ++failures;
  }
  if (auto* help = scene.window.findChild<TfmHelp*>()) help->close();
  return failures;
}

}  // namespace kivo
