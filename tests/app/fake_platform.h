// Test doubles of the platform, a scratch folder per test, and an Instance on
// them.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/startup.h"
#include "platform/sim/simulated_line.h"
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
    return it == values.end() ? std::nullopt : std::optional(it->second);
  }
  bool WriteString(std::string_view key, std::string_view name, std::string_view value) override {
    values[std::string(key) + "|" + std::string(name)] = std::string(value);
    return true;
  }
};

class FakeFolders : public Folders {
 public:
  std::string programDirectory, appData;
  std::vector<std::string> programFiles{"/usr/", "/opt/"};
  std::string ProgramDirectory() override { return programDirectory; }
  std::string AppDataFolder() override { return appData; }
  std::vector<std::string> ProgramFilesFolders() override { return programFiles; }
};

class FakeInstanceLock : public InstanceLock {
 public:
  std::set<int> takenByOthers, claimed;
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
    if (answers.empty())
      return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::No;
    const MessageResult answer = answers.front();
    answers.pop_front();
    return answer;
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
  // Port numbers 1 and 2 are the two ends of one simulated line; other
  // numbers name no port.
  SimulatedLine line{clock};
  SimulatedPortEnumerator ports;

  FakePlatform() {
    folders.programDirectory = scratch.Sub("program");
    folders.appData = scratch.Sub("appdata");
    InstallLanguageFiles(folders.programDirectory);
    ports.Bind(1, line, 0);
    ports.Bind(2, line, 1);
  }
  Platform Get() { return Platform{clock, lock, registry, folders, prompter, &ports, &clock}; }
};

// An Instance on the fakes; Start() runs the start-up and, unless told
// otherwise, creates the main state as the programs do.
class AppTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};

  void Start(bool mainState = true) {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    if (mainState) CreateMainState(instance, {});
  }
  std::string T(int textNumber) const { return instance.texts.Text(textNumber); }
  const std::vector<std::string>& Messages() const { return fake.prompter.messages; }
};

}  // namespace kivo::testing
