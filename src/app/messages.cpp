#include "app/messages.h"

#include <cstdio>

#include "app/instance.h"

namespace kivo {

std::string FormatText(const Instance& instance, int textNumber, const std::string& insert) {
  std::string text = instance.texts.Text(textNumber);
  for (const char* placeholder : {"%s", "%d"}) {
    if (std::size_t at = text.find(placeholder); at != std::string::npos) {
      return text.replace(at, 2, insert);
    }
  }
  return insert.empty() ? text : text + " " + insert;
}

MessageResult ShowMessage(Instance& instance, int textNumber, MessageType type,
                          MessageButtons buttons, const std::string& insert) {
  return instance.platform.prompter.Show(FormatText(instance, textNumber, insert), type, buttons);
}

bool Confirm(Instance& instance, int textNumber, const std::string& insert) {
  return ShowMessage(instance, textNumber, MessageType::Confirmation, MessageButtons::YesNo,
                     insert) == MessageResult::Yes;
}

std::string InstanceSuffix(int instanceNumber) {
  return instanceNumber == 1 ? std::string() : std::to_string(instanceNumber);
}

std::string DataFileName(const Instance& instance, const std::string& directory, int baseText) {
  return directory + instance.texts.Text(baseText) + InstanceSuffix(instance.app.instanceNumber) +
         instance.texts.Text(baseText + 1);
}

std::string DataFileName(const Instance& instance, int baseText) {
  return DataFileName(instance, instance.dataDirectory, baseText);
}

std::string LogFileName(const Instance& instance, const std::string& directory) {
  std::string name = directory + instance.texts.Text(filetext::kLogBase) +
                     InstanceSuffix(instance.app.instanceNumber);
  if (instance.settings.Option(kOptionDailyLog)) {
    char day[8];
    std::snprintf(day, sizeof day, "%.2d", instance.app.localTime.day % 100);
    name += day;
  }
  return name + instance.texts.Text(filetext::kLogExtension);
}

}  // namespace kivo
