#include "platform/posix/port_bindings.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kivo {

PortBindings::PortBindings(std::map<int, std::string> portMap) : devices_(std::move(portMap)) {}

int PortBindings::FreeNumber() const {
  const auto map = devices_.PortMap();
  for (int n = 1; n <= TermiosPortEnumerator::kMaxPort; ++n) {
    if (map.count(n) == 0 && masterNumbers_.count(n) == 0) return n;
  }
  return 0;
}

int PortBindings::BindMaster(int fd) {
  const int n = FreeNumber();
  if (n == 0) return 0;
  ports_.BindMaster(n, fd);
  masterNumbers_.insert(n);
  return n;
}

int PortBindings::BindPath(const std::string& path) {
  for (const auto& [n, bound] : devices_.PortMap()) {
    if (bound == path) return n;
  }
  const int n = FreeNumber();
  if (n != 0) devices_.Bind(n, path);
  return n;
}

DemoLine::DemoLine(PortBindings& bindings) {
  if (!pty_.ok()) {
    error_ = pty_.error();
    return;
  }
  primaryPort_ = bindings.BindMaster(pty_.master());
  secondaryPort_ = primaryPort_ == 0 ? 0 : bindings.BindPath(pty_.slavePath());
  if (!ok()) error_ = "no free port number for the pseudo-terminal pair";
}

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
  std::error_code noTemp;
  std::filesystem::path base = std::filesystem::temp_directory_path(noTemp);
  if (noTemp) base = "/tmp";
  std::string pattern = (base / (prefix + "-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    error_ = "no temporary directory: " + std::string(std::strerror(errno));
    return;
  }
  path_ = std::string(buffer.data()) + "/";
}

TemporaryDirectory::~TemporaryDirectory() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace kivo
