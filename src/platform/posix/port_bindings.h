// The serial ports of a program that also makes pseudo-terminals of its own:
// device paths of the port map, further paths bound to free numbers, and the
// master sides of its pseudo-terminals. The demo line of both programs is
// built here: one pseudo-terminal pair whose master is one port and whose
// slave is the other.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"

namespace kivo {

class PortBindings {
 public:
  explicit PortBindings(std::map<int, std::string> portMap);

  // What the Instance opens its ports through.
  PortEnumerator& Enumerator() { return ports_; }
  TermiosPortEnumerator& Devices() { return devices_; }

  // The lowest number neither the map nor a master side uses; 0 when none.
  int FreeNumber() const;
  // Binds the master side of a pseudo-terminal to a free number; 0 when none.
  int BindMaster(int fd);
  // The number of a device path: the map's, else a free number bound to it.
  int BindPath(const std::string& path);

 private:
  TermiosPortEnumerator devices_;
  MasterBindingEnumerator ports_{devices_};
  std::set<int> masterNumbers_;
};

// A line inside this process: a pseudo-terminal pair, the master side bound
// as one port and the slave device as another.
class DemoLine {
 public:
  explicit DemoLine(PortBindings& bindings);
  bool ok() const { return primaryPort_ != 0 && secondaryPort_ != 0; }
  const std::string& error() const { return error_; }
  int primaryPort() const { return primaryPort_; }      // the master side
  int secondaryPort() const { return secondaryPort_; }  // the slave device
  const PseudoTerminal& pty() const { return pty_; }

 private:
  PseudoTerminal pty_;
  int primaryPort_ = 0;
  int secondaryPort_ = 0;
  std::string error_;
};

// A private directory in the temporary folder, removed with everything in it
// when the object ends. The demo keeps its data and its instance locks there,
// so that it runs beside the operator's own program and leaves nothing.
class TemporaryDirectory {
 public:
  explicit TemporaryDirectory(const std::string& prefix);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  bool ok() const { return !path_.empty(); }
  // With a trailing '/'.
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};

}  // namespace kivo
