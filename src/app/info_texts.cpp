#include "app/info_texts.h"

#include "app/instance.h"
#include "app/messages.h"

namespace kivo {

bool LoadInfoTexts(Instance& instance, const std::string& path) {
  Prompter& prompter = instance.platform.prompter;
  prompter.SetBusy(true);
  const InfoTextLoadResult result =
      LoadInfoTextFile(path, instance.texts, instance.infoTexts, instance.groupNames,
                       instance.settings.causeColours.pairs);
  prompter.SetBusy(false);
  if (!result.message.empty())
    prompter.Show(result.message, MessageType::Error, MessageButtons::Ok);
  if (result.ok) {
    instance.settings.infoTextFile.Set(path);
    instance.app.infoTextFileName = path;
  }
  return result.ok;
}

bool LoadStartupInfoTexts(Instance& instance) {
  std::string path = instance.settings.infoTextFile.Get();
  if (path.empty()) path = instance.dataDirectory + instance.texts.Text(filetext::kInfoTextDefault);
  const bool loaded = LoadInfoTexts(instance, path);
  if (!loaded) {
    instance.settings.infoTextFile.Set("");
    instance.app.infoTextFileName.clear();
  }
  // Without a file the function-type picker still offers the standard groups.
  if (instance.groupNames.Count() == 0) instance.groupNames.SetDefaults(instance.texts);
  return loaded;
}

std::string InfoTextStatus(const Instance& instance) {
  const std::string& path = instance.app.infoTextFileName;
  const std::size_t slash = path.rfind('/');
  return instance.texts.Text(infotextapp::kStatusPrefix) +
         (slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace kivo
