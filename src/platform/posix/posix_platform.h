// The platform on Linux: system clock, flock instance slots, the per-user
// configuration file as registry, XDG folders.
#pragma once

#include <array>
#include <map>
#include <string>

#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "platform/registry.h"

namespace kivo {

class PosixClock : public Clock {
 public:
  std::uint32_t NowMs() override;
  LocalTime Now() override;
  void SleepMs(std::uint32_t ms) override;
};

// Slot n is an flock on "KivoLorn<n>.lock" in $XDG_RUNTIME_DIR (else /tmp with
// the user id in the name); the kernel releases it when the process ends.
class FlockInstanceLock : public InstanceLock {
 public:
  FlockInstanceLock();
  explicit FlockInstanceLock(std::string directory) : directory_(std::move(directory)) {}
  ~FlockInstanceLock() override;
  bool TryClaim(int slot) override;
  std::string LockPath(int slot) const;

 private:
  std::string directory_;
  std::array<int, 3> descriptors_{-1, -1, -1};
};

// INI form: "[key]" sections with "name=value" lines. Every write rewrites the
// whole file; unknown sections and lines are kept.
class ConfigFileRegistry : public Registry {
 public:
  ConfigFileRegistry();  // $XDG_CONFIG_HOME/Brakel/DemoKivo.conf
  explicit ConfigFileRegistry(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override;
  bool WriteString(std::string_view key, std::string_view name, std::string_view value) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class XdgFolders : public Folders {
 public:
  std::string ProgramDirectory() override;
  std::string AppDataFolder() override;
  std::vector<std::string> ProgramFilesFolders() override;
};

// $XDG_x_HOME, else $HOME + fallback, with a trailing '/'; "" when neither is set.
std::string XdgDirectory(const char* variable, const char* homeFallback);

}  // namespace kivo
