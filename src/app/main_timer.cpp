#include "app/main_timer.h"

#include <algorithm>

#include "app/instance.h"
#include "app/messages.h"
#include "link/port_control.h"
#include "link/serial_path.h"
#include "send/send_execution.h"

namespace kivo {

namespace {

constexpr int kTextLogWriteFailed = 1202;
constexpr std::uint32_t kMeasureEvery = 256;
constexpr std::uint32_t kWriteCheckPeriod = 32;
constexpr std::uint32_t kWriteCheckPhase = 5;

// The log its name calls for now (the daily log carries the day of the
// month), unless the command line fixed the name.
bool OpenLogOfItsName(Instance& instance) {
  AppState& app = instance.app;
  if (app.fixedLogName) return false;
  app.localTime = instance.platform.clock.Now();
  const std::string name = LogFileName(instance, instance.dataDirectory);
  if (name == instance.logStore.FileName()) return false;
  instance.logStore.CloseLog();
  app.logFileName = name;
  instance.logStore.OpenLog(name, instance.settings.Option(kOptionDailyLog),
                            LogOpenMode::ReplaceUnusable);
  return true;
}

void MinuteWork(Instance& instance) {
  AppState& app = instance.app;
  const bool dailyLog = instance.settings.Option(kOptionDailyLog);
  if (!app.timedSendArmed && !dailyLog) return;
  app.localTime = instance.platform.clock.Now();
  const int minute = app.localTime.hour * 60 + app.localTime.minute;
  if (minute == app.lastMinute) return;
  app.lastMinute = minute;
  if (app.timedSendArmed) OnMinute(instance.sendContext, app.localTime.minute);
  if (dailyLog && minute == 0) {
    // A new day, a new log; the online display shows it from its start.
    OpenLogOfItsName(instance);
    instance.settings.onlineDisplay = 1;
    instance.Events().ShowOnlineDisplay();
  }
  instance.Events().MinutePassed(app.localTime);
}

void MeasureTick(Instance& instance) {
  AppState& app = instance.app;
  if (instance.Online()) instance.timeBase.Discipline();
  const std::uint32_t now = instance.platform.clock.Now().MillisecondsOfDay();
  if (instance.timeBase.tickCounter != 0 && now > app.lastMeasureTimeMs) {
    instance.timeBase.msPerTick = MeasuredMsPerTick(now - app.lastMeasureTimeMs);
  }
  app.lastMeasureTimeMs = now;
}

bool PortOpenOrAwaited(const Instance& instance) {
  for (const PortRecord& port : instance.ports) {
    if (port.open || port.awaitingReopen) return true;
  }
  return false;
}

}  // namespace

std::uint32_t MeasuredMsPerTick(std::uint32_t elapsedMs) {
  const std::uint64_t perTick = (static_cast<std::uint64_t>(elapsedMs) + 128) / kMeasureEvery;
  return static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(perTick, kMinMsPerTick, kMaxMsPerTick));
}

void OnTimerTick(Instance& instance) {
  AppState& app = instance.app;
  std::uint32_t& tickCounter = instance.timeBase.tickCounter;
  if (instance.Online() && tickCounter % 2 == 0) MinuteWork(instance);
  if ((tickCounter & 0xFF) == 0) MeasureTick(instance);
  if (instance.Online()) {
    RetryReopen(instance.linkContext, 0);
    RetryReopen(instance.linkContext, 1);
  }
  PortStep(instance.linkContext, 0);
  PortStep(instance.linkContext, 1);
  instance.Events().RefreshLogView();
  if (tickCounter == app.onlineApplyTick) {
    --app.onlineApplyTick;
    ApplyOnlineState(instance);
  }
  ++tickCounter;
  // Online means a port is open or awaited: when the last one went away the
  // program goes offline (the reason has been shown).
  if (app.portFailed) {
    app.portFailed = false;
    if (instance.Online() && !PortOpenOrAwaited(instance)) {
      GoOffline(instance);
    } else {
      instance.Events().PortStatusChanged(0);
      instance.Events().PortStatusChanged(1);
    }
  }
  // Steps posted during this tick (frames received, timers fired) run now at
  // the latest; the event loops also run them after each serial event.
  RunPostedLinkSteps(instance.linkContext);
  instance.logStore.WriteBehind();
  if (tickCounter % kWriteCheckPeriod == kWriteCheckPhase && instance.Online() &&
      app.logWriteFailed) {
    GoOffline(instance);
    ShowMessage(instance, kTextLogWriteFailed, MessageType::Error);
    // Cleared after going offline: the flush on the way may have failed too.
    app.logWriteFailed = false;
  }
}

void ApplyOnlineState(Instance& instance) {
  if (instance.Online()) {
    if (instance.ports[0].params.portNumber == 0 && instance.ports[1].params.portNumber == 0) {
      instance.settings.online = 0;
      ShowMessage(instance, text::kNoSerialPort, MessageType::Warning);
    } else {
      bool anyOpen = false;
      for (int i = 0; i < 2; ++i) {
        PortRecord& port = instance.ports[static_cast<std::size_t>(i)];
        if (port.params.portNumber == 0) continue;
        anyOpen = OpenPort(instance.linkContext, i) || anyOpen;
        // An open failure has been shown with its reason; a number that
        // names no device has not.
        if (!port.open && port.noDevice) {
          ShowMessage(instance, kTextNoSuchPort, MessageType::Error, MessageButtons::Ok,
                      std::to_string(port.params.portNumber));
        }
      }
      // Online means a port is open or awaited (reopen option): with none
      // the program stays offline.
      if (!anyOpen && !PortOpenOrAwaited(instance)) {
        instance.settings.online = 0;
        ShowMessage(instance, kTextNoPortOpened, MessageType::Warning);
      }
    }
  }
  if (!instance.Online()) {
    ClosePort(instance.linkContext, 0);
    ClosePort(instance.linkContext, 1);
  }
  instance.Events().OnlineStateApplied();
}

void GoOnline(Instance& instance) {
  instance.logStore.ClearCounters();
  // Each online period writes to the log its name calls for; a new log is
  // shown from its start in the online display.
  if (OpenLogOfItsName(instance)) instance.settings.onlineDisplay = 1;
  instance.timeBase.Synchronise();
  instance.settings.online = 1;
  ApplyOnlineState(instance);
}

void GoOffline(Instance& instance) {
  instance.settings.online = 0;
  ApplyOnlineState(instance);
  if (instance.logStore.IsOpen()) instance.logStore.FlushLog();
}

void ToggleOnline(Instance& instance) {
  if (instance.Online()) {
    GoOffline(instance);
  } else {
    GoOnline(instance);
  }
}

}  // namespace kivo
