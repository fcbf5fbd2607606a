// Platform parts for runs without a window and without a user's setup: the
// export of kivo-cli, benchmarks and fuzz targets.
#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "platform/prompter.h"
#include "platform/registry.h"

namespace kivo {

// A run that claims no instance slot: every claim succeeds.
class UnclaimedInstanceLock : public InstanceLock {
 public:
  bool TryClaim(int) override { return true; }
};

// A registry that holds nothing and keeps nothing.
class EmptyRegistry : public Registry {
 public:
  std::optional<std::string> ReadString(std::string_view, std::string_view) override {
    return std::nullopt;
  }
  bool WriteString(std::string_view, std::string_view, std::string_view) override { return true; }
};

// Every folder is the one given.
class FixedFolders : public Folders {
 public:
  explicit FixedFolders(std::string directory) : directory_(std::move(directory)) {}
  std::string ProgramDirectory() override { return directory_; }
  std::string AppDataFolder() override { return directory_; }
  std::vector<std::string> ProgramFilesFolders() override { return {}; }

 private:
  std::string directory_;
};

// Answers every message with OK or No; when `stream` is given the message
// is written there first.
class QuietPrompter : public Prompter {
 public:
  explicit QuietPrompter(std::ostream* stream = nullptr) : stream_(stream) {}
  MessageResult Show(const std::string& message, MessageType, MessageButtons buttons) override {
    if (stream_) *stream_ << message << "\n";
    return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::No;
  }

 private:
  std::ostream* stream_;
};

}  // namespace kivo
