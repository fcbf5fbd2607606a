#include "ui/demo_host.h"

#include "app/port_service.h"
#include "platform/posix/termios_port.h"
#include "ui/main_window.h"

namespace kivo {

DemoHost::DemoHost(Registry& config)
    : registry_(config, directory_.path()), bindings_(LoadPortMap(config)) {}

Platform DemoHost::MakePlatform(Clock& clock, Folders& folders, Prompter& prompter,
                                OneShotTimer* timers) {
  return Platform{clock, lock_, registry_, folders, prompter, &bindings_.Enumerator(), timers};
}

void DemoHost::GoOnline(Instance& instance, TfmMain& window, PortService& ports) {
  PrepareDemo(instance, line_.primaryPort(), line_.secondaryPort());
  window.SendCaptionChanged(0);
  if (!instance.Online()) window.aGoOnlClick();
  ports.Reconcile();
}

}  // namespace kivo
