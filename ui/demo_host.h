// kivo --demo: the window program on a line of its own. A private data
// directory in the temporary folder (removed at the end) with its own
// instance locks, so that it runs beside the operator's program; the
// operator's configuration is read for the port map and never written; a
// pseudo-terminal pair joins port 1, a primary polling devices 1 to 3, to
// port 2, the simulated devices.
#pragma once

#include <memory>
#include <string>

#include "app/demo.h"
#include "app/instance.h"
#include "platform/posix/port_bindings.h"
#include "platform/posix/posix_platform.h"

namespace kivo {

class PortService;
class TfmMain;

inline constexpr const char* kDemoSwitch = "--demo";

class DemoHost {
 public:
  // `config`: the operator's configuration.
  explicit DemoHost(Registry& config);
  bool ok() const { return directory_.ok() && line_.ok(); }
  std::string error() const { return directory_.ok() ? line_.error() : directory_.error(); }
  const std::string& directory() const { return directory_.path(); }

  // The platform of the demo's Instance.
  Platform MakePlatform(Clock& clock, Folders& folders, Prompter& prompter, OneShotTimer* timers);

  // Once the window is made: the demo's ports, telegrams, lists and
  // simulation, and online at once.
  void GoOnline(Instance& instance, TfmMain& window, PortService& ports);

 private:
  TemporaryDirectory directory_{"kivo-demo"};
  FlockInstanceLock lock_{directory_.path()};
  ReadOnlyRegistry registry_;
  PortBindings bindings_;
  DemoLine line_{bindings_};
};

}  // namespace kivo
