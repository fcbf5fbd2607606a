// kivo: the window program.
#include <QApplication>
#include <QStringList>
#include <iostream>

#include "app/instance.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/termios_port.h"
#include "ui/main_window.h"
#include "ui/qt_event_loop.h"
#include "ui/qt_prompter.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Kivo");

  kivo::PosixClock clock;
  kivo::FlockInstanceLock instanceLock;
  kivo::ConfigFileRegistry registry;
  kivo::XdgFolders folders;
  kivo::QtPrompter prompter;
  kivo::QtEventLoop loop;
  kivo::TermiosPortEnumerator devices(kivo::LoadPortMap(registry));
  kivo::Instance instance(
      kivo::Platform{clock, instanceLock, registry, folders, prompter, &devices, &loop});

  switch (kivo::StartInstance(instance)) {
    case kivo::StartOutcome::NoTexts:
      return kivo::kExitNoTexts;
    case kivo::StartOutcome::NoSlot:
      return 0;
    case kivo::StartOutcome::Run:
      break;
  }

  std::vector<std::string> arguments;
  const QStringList qtArguments = QApplication::arguments();
  for (qsizetype i = 1; i < qtArguments.size(); ++i) {
    arguments.push_back(qtArguments[i].toStdString());
  }
  kivo::PortService ports(instance, loop);
  kivo::TfmMain window(instance, arguments, &ports);
  prompter.SetAnchor(&window, window.menuToolBar());
  window.ShowWithPlacement();
  return QApplication::exec();
}
