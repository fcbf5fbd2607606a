#include "app/startup.h"

#include <algorithm>
#include <cctype>

#include "app/data_directory.h"
#include "app/frame_rules.h"
#include "app/info_texts.h"
#include "app/instance.h"
#include "app/messages.h"
#include "app/port_texts.h"
#include "app/send_file_commands.h"
#include "util/file_io.h"

namespace kivo {

namespace {

constexpr int kSlotCount = 2;
constexpr std::uint32_t kLowestFontSize = 8, kHighestFontSize = 16, kFallbackFontSize = 10;
constexpr std::uint32_t kOnlineApplyDelayTicks = 6;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsSwitch(const std::string& argument, const char* name) {
  if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return false;
  std::string word = argument.substr(argument[1] == '-' ? 2 : 1);
  return Lower(word) == name;
}

}  // namespace

bool LoadInstanceTexts(Instance& instance, int languageIndex, bool tellFault) {
  const TextLoadResult result = LoadTexts(instance.texts, instance.programDirectory, languageIndex);
  if (!result.ok()) {
    if (tellFault) {
      instance.platform.prompter.Show(result.message, MessageType::Error, MessageButtons::Ok);
    }
    return false;
  }
  instance.frameRules =
      FrameRulesFromTexts(instance.texts, instance.knownTypes, instance.settings.causeColours);
  return true;
}

bool ReloadTexts(Instance& instance, int languageIndex) {
  if (LoadInstanceTexts(instance, languageIndex, true)) return true;
  int other = languageIndex == 0 ? 1 : 0;
  return LoadInstanceTexts(instance, other, false);
}

StartOutcome StartInstance(Instance& instance) {
  instance.programDirectory = WithTrailingSlash(instance.platform.folders.ProgramDirectory());
  instance.timeBase.msPerTick = 60;
  if (!LoadInstanceTexts(instance, 0, true)) {
    return StartOutcome::NoTexts;
  }

  for (int slot = 1; slot <= kSlotCount && !instance.app.slotObtained; ++slot) {
    if (instance.platform.instanceLock.TryClaim(slot)) {
      instance.app.instanceNumber = slot;
      instance.app.slotObtained = true;
    }
  }
  if (!instance.app.slotObtained) return StartOutcome::NoSlot;

  ResolveDataDirectory(instance);
  if (instance.settings.language != 0) ReloadTexts(instance, instance.settings.language);
  InitialiseSendData(instance.send, instance.texts);

  InitialisePortRecords(instance.ports[0], instance.ports[1],
                        BaudRateOfIndex(instance.texts, instance.ports[0].params.baudIndex));
  return StartOutcome::Run;
}

bool PortAvailable(const Instance& instance, std::uint32_t portNumber) {
  for (int i = 0; i < instance.app.availablePortCount; ++i) {
    if (instance.app.availablePorts[static_cast<std::size_t>(i)] == portNumber) return true;
  }
  return false;
}

void EnumeratePorts(Instance& instance) {
  instance.platform.prompter.SetBusy(true);
  AppState& app = instance.app;
  app.availablePortCount = 0;
  for (std::uint32_t number = 1; number <= 64 && app.availablePortCount < 32; ++number) {
    bool used = false;
    for (const PortRecord& port : instance.ports) {
      used = used || (port.params.portNumber == number && port.open);
    }
    if (used ||
        (instance.platform.ports && instance.platform.ports->Exists(static_cast<int>(number)))) {
      app.availablePorts[static_cast<std::size_t>(app.availablePortCount++)] =
          static_cast<std::uint8_t>(number);
    }
  }
  instance.platform.prompter.SetBusy(false);
}

void CreateMainState(Instance& instance, const std::vector<std::string>& arguments) {
  AppState& app = instance.app;
  Settings& settings = instance.settings;
  instance.timeBase.Synchronise();
  app.localTime = instance.platform.clock.Now();
  app.lastMinute = app.localTime.hour * 60 + app.localTime.minute;

  for (const std::string& argument : arguments) {
    if (IsSwitch(argument, "t")) app.switchT = true;
    if (IsSwitch(argument, "t2")) app.switchT2 = true;
  }

  if (settings.telFont.fontSize < static_cast<std::int32_t>(kLowestFontSize) ||
      settings.telFont.fontSize > static_cast<std::int32_t>(kHighestFontSize)) {
    settings.telFont.fontSize = kFallbackFontSize;
  }

  std::string infoFile = settings.infoTextFile.Get();
  const std::string logExtension = Lower(instance.texts.Text(filetext::kLogExtension));
  const std::string sendExtension = Lower(instance.texts.Text(filetext::kSendExtension));
  const std::string infoExtension = Lower(instance.texts.Text(filetext::kInfoTextExtension));
  for (const std::string& argument : arguments) {
    const std::string extension = Lower(ExtensionOf(argument));
    const std::string word = Lower(argument);
    if (!extension.empty() &&
        (extension == logExtension || extension == filetext::kEarlierLogExtension)) {
      app.logFileName = argument;
      app.fixedLogName = true;
    } else if (!extension.empty() && extension == sendExtension) {
      app.sendTelegramFileName = argument;
    } else if (!extension.empty() && extension == infoExtension) {
      infoFile = argument;
    } else if (word == Lower(instance.texts.Text(text::kOffline))) {
      settings.online = 0;
    } else if (word == Lower(instance.texts.Text(text::kOnline))) {
      settings.online = 1;
    }
  }
  // The send-telegram file named on the command line, else the default one.
  ReadSendTelegramFile(instance, app.sendTelegramFileName);

  if (infoFile.empty()) {
    infoFile = instance.dataDirectory + instance.texts.Text(filetext::kInfoTextDefault);
  }
  settings.infoTextFile.Set(FileExists(infoFile) ? infoFile : std::string());
  LoadStartupInfoTexts(instance);

  EnumeratePorts(instance);
  for (const PortRecord& port : instance.ports) {
    if (port.params.portNumber > 0 && !PortAvailable(instance, port.params.portNumber)) {
      settings.online = 0;
      break;
    }
  }
  app.onlineApplyTick = instance.timeBase.tickCounter + kOnlineApplyDelayTicks;

  // A continued log brings the general and port parameters it was written with.
  instance.logStore.OpenLog(app.logFileName, settings.Option(kOptionDailyLog),
                            LogOpenMode::ReplaceUnusable);
}

}  // namespace kivo
