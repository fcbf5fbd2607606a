// kivo: the window program.
#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <iostream>
#include <memory>

#include "app/instance.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/stop_signals.h"
#include "platform/posix/termios_port.h"
#include "ui/demo_host.h"
#include "ui/main_window.h"
#include "ui/qt_event_loop.h"
#include "ui/qt_prompter.h"

int main(int argc, char** argv) {
  // Ctrl-C and a termination end the program as closing its window does
  // (the demo's temporary folder goes with it).
  kivo::StopSignals stopSignals;
  QApplication application(argc, argv);
  QApplication::setApplicationName("Kivo");

  std::vector<std::string> arguments;
  bool demo = false;
  const QStringList qtArguments = QApplication::arguments();
  for (qsizetype i = 1; i < qtArguments.size(); ++i) {
    if (qtArguments[i] == kivo::kDemoSwitch) {
      demo = true;
    } else {
      arguments.push_back(qtArguments[i].toStdString());
    }
  }

  kivo::PosixClock clock;
  kivo::FlockInstanceLock instanceLock;
  kivo::ConfigFileRegistry registry;
  kivo::XdgFolders folders;
  kivo::QtPrompter prompter;
  kivo::QtEventLoop loop;
  kivo::TermiosPortEnumerator devices(kivo::LoadPortMap(registry));
  // The demo brings its own data directory, instance locks and line.
  std::unique_ptr<kivo::DemoHost> demoHost;
  if (demo) {
    demoHost = std::make_unique<kivo::DemoHost>(registry);
    if (!demoHost->ok()) {
      std::cerr << "kivo --demo: " << demoHost->error() << std::endl;
      return 1;
    }
  }
  kivo::Instance instance(
      demoHost ? demoHost->MakePlatform(clock, folders, prompter, &loop)
               : kivo::Platform{clock, instanceLock, registry, folders, prompter, &devices, &loop});

  switch (kivo::StartInstance(instance)) {
    case kivo::StartOutcome::NoTexts:
      return kivo::kExitNoTexts;
    case kivo::StartOutcome::NoSlot:
      return 0;
    case kivo::StartOutcome::Run:
      break;
  }

  kivo::PortService ports(instance, loop);
  kivo::TfmMain window(instance, arguments, &ports);
  prompter.SetAnchor(&window, window.menuToolBar());
  window.ShowWithPlacement();
  QSocketNotifier stop(stopSignals.fd(), QSocketNotifier::Read);
  stop.setEnabled(stopSignals.fd() >= 0);
  QObject::connect(&stop, &QSocketNotifier::activated, &window, [&] {
    stopSignals.Drain();
    if (window.close()) QApplication::quit();
  });
  if (demoHost) demoHost->GoOnline(instance, window, ports);
  return QApplication::exec();
}
