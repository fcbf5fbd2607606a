// Writes pictures of the window program at work, in English and German: the
// main window online with traffic between its two ports (a primary polling
// three devices and the secondary that plays them) in each display format,
// the log display at its end and at its start, the port dialog's pages, the
// link-test window and the demo as `kivo --demo` shows it. Without a display it
// draws offscreen; under Xvfb it draws as on a desktop.
//
//   kivo_screenshots DIRECTORY
#include "gui/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/fake_platform.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "log/log_store.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"
#include "ui/demo_host.h"
#include "ui/general_dialog.h"
#include "ui/link_test_window.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/port_dialog.h"
#include "ui/qt_event_loop.h"
#include "ui/type_picker.h"

namespace kivo {

void RunEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

namespace {

void Run(int milliseconds) {
  RunEvents(milliseconds);
}

bool Save(QWidget& widget, const QString& path) {
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

}  // namespace

bool ShotScene::Save(QWidget& widget, const QString& name) const {
  return kivo::Save(widget, QString("%1/%2-%3.png").arg(directory, name, tag));
}

// The type picker of the information numbers of type 1 and of the causes of
// type 20, as the editors open it.
int ShootTypePicker(ShotScene& scene) {
  int failures = 0;
  const struct {
    PickerKind kind;
    int value;
    std::uint32_t parameter;
    const char* name;
  } shots[] = {
      {PickerKind::Types, 1, PickerParameter(1, 1, 128, 16), "picker-types"},
      {PickerKind::Causes, 20, PickerParameter(20, 20, 128, 16), "picker-causes"},
  };
  for (const auto& shot : shots) {
    TfmTyp picker(scene.instance, shot.kind, shot.value, shot.parameter, 7, &scene.window);
    picker.show();
    Run(100);
    if (!scene.Save(picker, shot.name)) ++failures;
  }
  return failures;
}

namespace {

// One language: returns the number of failures.
int Shoot(int language, const QString& directory) {
  const QString tag = language == 1 ? "en" : "de";
  testing::FakePlatform fake;
  PosixClock clock;
  QtEventLoop events;
  PseudoTerminal pty;
  if (!pty.ok()) {
    std::printf("FAILED no pseudo-terminal: %s\n", pty.error().c_str());
    return 1;
  }
  TermiosPortEnumerator devices({{2, pty.slavePath()}});
  MasterBindingEnumerator ports(devices);
  ports.BindMaster(1, pty.master());
  Instance instance{
      Platform{clock, fake.lock, fake.registry, fake.folders, fake.prompter, &ports, &events}};
  if (StartInstance(instance) != StartOutcome::Run) return 1;
  instance.settings.language = language;
  if (!ReloadTexts(instance, language)) return 1;
  for (int i = 0; i < 2; ++i) {
    PortParams& p = instance.ports[static_cast<std::size_t>(i)].params;
    p.portNumber = static_cast<std::uint32_t>(i + 1);
    p.function = i == 0 ? PortFunction::Primary : PortFunction::Secondary;
    p.pollCycle = 100;
    AddressList three;
    three.addresses = {1, 2, 3, 255};
    three.count = 3;
    ApplyAddressList(p, three);
  }
  PortService service(instance, events);
  TfmMain window(instance, {}, &service);
  window.resize(1180, 760);
  window.show();
  window.aGoOnlClick();
  int failures = instance.Online() ? 0 : 1;
  Run(2500);

  const char* formats[] = {"miLog", "miKomp", "miLogN", "miByte", "miExp"};
  for (int f = 0; f < 5; ++f) {
    window.action(formats[f])->trigger();
    Run(900);
    if (!Save(window, QString("%1/main-online-%2-%3.png").arg(directory).arg(f + 3).arg(tag))) {
      ++failures;
    }
  }
  window.action("miLog")->trigger();
  window.ShowLogDisplay();
  Run(100);
  if (!Save(window, QString("%1/main-log-end-%2.png").arg(directory, tag))) ++failures;
  window.scrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  Run(100);
  if (!Save(window, QString("%1/main-log-start-%2.png").arg(directory, tag))) ++failures;
  // The port dialog of port 1, each page, and the link test of port 2.
  window.ShowOnlineDisplay();
  {
    instance.ports[0].params.reopen = 1;       // the check box shown ticked
    instance.ports[0].params.rtsFunction = 4;  // RS-485 by the driver, as chosen
    TfmCom dialog(instance, 0, &window);
    dialog.show();
    for (int page = 0; page < 2; ++page) {
      dialog.SelectPage(page);
      Run(100);
      if (!Save(dialog,
                QString("%1/port-dialog-page%2-%3.png").arg(directory).arg(page + 1).arg(tag))) {
        ++failures;
      }
    }
  }
  OpenLinkTest(&window, instance, 1);
  Run(100);
  if (auto* linkTest = window.findChild<TfmLnk*>()) {
    if (!Save(*linkTest, QString("%1/link-test-%2.png").arg(directory, tag))) ++failures;
    linkTest->close();
  } else {
    std::printf("FAILED no link-test window\n");
    ++failures;
  }
  ShotScene scene{instance, window, directory, tag};
  failures += ShootTypePicker(scene);
  {
    TfmOpt options(instance, &window);
    TfmInfo info(instance, &window);
    TfmAlg general(instance, &window);
    const std::pair<QDialog*, const char*> dialogs[] = {
        {&options, "options"}, {&info, "info"}, {&general, "general-parameters"}};
    for (const auto& [dialog, name] : dialogs) {
      dialog->show();
      Run(100);
      if (!scene.Save(*dialog, name)) ++failures;
      dialog->close();
    }
  }
  failures += ShootTelegramEditor(scene);
  failures += ShootListEditor(scene);
  failures += ShootResponseSimDialog(scene);
  failures += ShootFilterDialog(scene);
  failures += ShootColourDialogs(scene);
  failures += ShootOutputDialog(scene);
  failures += ShootHelpWindow(scene);
  if (instance.logStore.Counters()[0].telegrams == 0) {
    std::printf("FAILED no traffic between the ports\n");
    ++failures;
  }
  window.aGoOfflClick();
  return failures;
}

// The window as `kivo --demo` shows it a few seconds after its start.
int ShootDemo(int language, const QString& directory) {
  const QString tag = language == 1 ? "en" : "de";
  testing::FakePlatform fake;
  PosixClock clock;
  QtEventLoop events;
  DemoHost demo(fake.registry);
  if (!demo.ok()) {
    std::printf("FAILED demo: %s\n", demo.error().c_str());
    return 1;
  }
  Instance instance(demo.MakePlatform(clock, fake.folders, fake.prompter, &events));
  if (StartInstance(instance) != StartOutcome::Run) return 1;
  instance.settings.language = language;
  if (!ReloadTexts(instance, language)) return 1;
  PortService service(instance, events);
  TfmMain window(instance, {}, &service);
  window.resize(1180, 760);
  window.show();
  demo.GoOnline(instance, window, service);
  Run(4000);
  int failures = Save(window, QString("%1/demo-%2.png").arg(directory, tag)) ? 0 : 1;
  if (instance.logStore.Counters()[1].telegrams == 0) {
    std::printf("FAILED the demo sent nothing\n");
    ++failures;
  }
  window.aGoOfflClick();
  return failures;
}

}  // namespace
}  // namespace kivo

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("screenshots");
  QDir().mkpath(directory);
  int failures = 0;
  for (int language : {1, 0}) {
    failures += kivo::Shoot(language, directory);
    failures += kivo::ShootDemo(language, directory);
  }
  return failures == 0 ? 0 : 1;
}
