#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "util/file_io.h"

namespace kivo {

std::uint32_t PosixClock::NowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                     static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u;
  return static_cast<std::uint32_t>(ms);
}

LocalTime PosixClock::Now() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  time_t seconds = ts.tv_sec;
  ::localtime_r(&seconds, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1'000'000);
  t.summerTime = tm.tm_isdst > 0;
  return t;
}

void PosixClock::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string XdgDirectory(const char* variable, const char* homeFallback) {
  if (const char* value = std::getenv(variable); value && *value == '/') {
    return WithTrailingSlash(value);
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return WithTrailingSlash(std::string(home) + "/" + homeFallback);
  }
  return {};
}

FlockInstanceLock::FlockInstanceLock() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    directory_ = WithTrailingSlash(runtime);
  } else {
    directory_ = "/tmp/";
  }
}

FlockInstanceLock::~FlockInstanceLock() {
  for (int fd : descriptors_) {
    if (fd >= 0) ::close(fd);
  }
}

std::string FlockInstanceLock::LockPath(int slot) const {
  std::string name = "KivoLorn" + std::to_string(slot);
  if (directory_ == "/tmp/") name += "-" + std::to_string(::getuid());
  return directory_ + name + ".lock";
}

bool FlockInstanceLock::TryClaim(int slot) {
  if (slot < 1 || slot > 2) return false;
  if (descriptors_[static_cast<std::size_t>(slot)] >= 0) return true;
  int fd = ::open(LockPath(slot).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  descriptors_[static_cast<std::size_t>(slot)] = fd;
  return true;
}

ConfigFileRegistry::ConfigFileRegistry() {
  std::string config = XdgDirectory("XDG_CONFIG_HOME", ".config");
  path_ = config.empty() ? std::string() : config + "Brakel/DemoKivo.conf";
}

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSection(const std::string& line, std::string_view key) {
  return line.size() == key.size() + 2 && line.front() == '[' && line.back() == ']' &&
         std::string_view(line).substr(1, key.size()) == key;
}

bool IsValueLine(const std::string& line, std::string_view name) {
  return line.size() > name.size() && std::string_view(line).substr(0, name.size()) == name &&
         line[name.size()] == '=';
}

}  // namespace

std::optional<std::string> ConfigFileRegistry::ReadString(std::string_view key,
                                                          std::string_view name) {
  if (path_.empty()) return std::nullopt;
  bool inSection = false;
  for (const std::string& line : ReadLines(path_)) {
    if (!line.empty() && line.front() == '[') {
      inSection = IsSection(line, key);
    } else if (inSection && IsValueLine(line, name)) {
      return line.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

bool ConfigFileRegistry::WriteString(std::string_view key, std::string_view name,
                                     std::string_view value) {
  if (path_.empty() || value.find('\n') != std::string_view::npos) return false;
  if (!CreateDirectories(DirectoryOf(path_))) return false;
  std::vector<std::string> lines = ReadLines(path_);
  const std::string entry = std::string(name) + "=" + std::string(value);
  bool inSection = false, written = false;
  std::size_t sectionEnd = lines.size();
  bool sectionFound = false;
  for (std::size_t i = 0; i < lines.size() && !written; ++i) {
    if (!lines[i].empty() && lines[i].front() == '[') {
      if (inSection) {
        sectionEnd = i;
        break;
      }
      inSection = IsSection(lines[i], key);
      sectionFound = sectionFound || inSection;
    } else if (inSection && IsValueLine(lines[i], name)) {
      lines[i] = entry;
      written = true;
    }
  }
  if (!written) {
    if (sectionFound) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    } else {
      lines.push_back("[" + std::string(key) + "]");
      lines.push_back(entry);
    }
  }
  std::ostringstream out;
  for (const std::string& line : lines) out << line << '\n';
  const std::string content = out.str();
  return ReplaceFile(path_, std::span(reinterpret_cast<const std::uint8_t*>(content.data()),
                                      content.size()));
}

std::string XdgFolders::ProgramDirectory() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  return DirectoryOf(std::string(buffer.data(), static_cast<std::size_t>(n)));
}

std::string XdgFolders::AppDataFolder() { return XdgDirectory("XDG_DATA_HOME", ".local/share"); }

std::vector<std::string> XdgFolders::ProgramFilesFolders() { return {"/usr/", "/opt/"}; }

}  // namespace kivo
