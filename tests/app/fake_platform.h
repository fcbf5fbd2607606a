// Test doubles of the platform and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/instance.h"
#include "platform/sim/virtual_clock.h"
#include "util/scratch.h"

namespace kivo::testing {

// Copies the project's language files into `directory`.
inline void InstallLanguageFiles(const std::string& directory) {
  for (const char* name : {"KivoText.ger", "KivoText.usa"}) {
    std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + name, directory + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

class FakeRegistry : public Registry {
 public:
  std::map<std::string, std::string> values;
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override {
    auto it = values.find(std::string(key) + "|" + std::string(name));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool WriteString(std::string_view key, std::string_view name, std::string_view value) override {
    values[std::string(key) + "|" + std::string(name)] = std::string(value);
    return true;
  }
};

class FakeFolders : public Folders {
 public:
  std::string programDirectory;
  std::string appData;
  std::vector<std::string> programFiles{"/usr/", "/opt/"};
  std::string ProgramDirectory() override { return programDirectory; }
  std::string AppDataFolder() override { return appData; }
  std::vector<std::string> ProgramFilesFolders() override { return programFiles; }
};

class FakeInstanceLock : public InstanceLock {
 public:
  std::set<int> takenByOthers;
  std::set<int> claimed;
  bool TryClaim(int slot) override {
    if (takenByOthers.count(slot)) return false;
    claimed.insert(slot);
    return true;
  }
};

class FakePrompter : public Prompter {
 public:
  std::vector<std::string> messages;
  std::deque<MessageResult> answers;  // taken in order; Ok/No when empty
  MessageResult Show(const std::string& message, MessageType, MessageButtons buttons) override {
    messages.push_back(message);
    if (!answers.empty()) {
      MessageResult answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::No;
  }
};

// A complete platform of fakes over a scratch program directory that holds
// the language files.
struct FakePlatform {
  ScratchDir scratch;
  VirtualClock clock;
  FakeInstanceLock lock;
  FakeRegistry registry;
  FakeFolders folders;
  FakePrompter prompter;

  FakePlatform() {
    folders.programDirectory = scratch.Sub("program");
    folders.appData = scratch.Sub("appdata");
    InstallLanguageFiles(folders.programDirectory);
  }
  Platform Get() { return Platform{clock, lock, registry, folders, prompter, nullptr, &clock}; }
};

}  // namespace kivo::testing
