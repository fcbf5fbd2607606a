#include "app/instance.h"

#include "app/messages.h"
#include "log/log_filter.h"

namespace kivo {

void InstanceObserver::PortStatusChanged(int portIndex) {
  instance_.Events().PortStatusChanged(portIndex);
}

void InstanceObserver::PortFailed(int, const std::string& reason) {
  instance_.app.portFailed = true;
  instance_.platform.prompter.Show(reason, MessageType::Error, MessageButtons::Ok);
}

void InstanceObserver::SendCaptionChanged(int slot) {
  instance_.Events().SendCaptionChanged(slot);
}

void InstanceObserver::ListPassEnded(int list) {
  instance_.Events().ListPassEnded(list);
}

Instance::Instance(Platform p)
    : platform(p),
      timeBase(p.clock),
      logStore(LogStoreContext{p.clock, timeBase, general, ports[0].params, ports[1].params,
                               app.logWriteFailed}),
      linkContext{ports,   timeBase, p.timers,  p.ports,    frameRules,
                  general, logStore, observer_, sendEngine_},
      sendContext{send,          disturbance,     linkContext,        texts,
                  dataDirectory, settings.online, app.timedSendArmed, app.sendDataModified,
                  observer_} {
  logStore.hooks.showError = [this](int textNumber) {
    ShowMessage(*this, textNumber, MessageType::Error);
  };
  auto firstSeqNo = [this] { return logStore.Index().firstSeqNo; };
  logStore.hooks.logFilter = LogFilterPredicate(general.logFilter, firstSeqNo);
  logStore.hooks.displayFilter = DisplayFilterPredicate(
      general.displayFilter, [this] { return settings.showLink != 0; }, firstSeqNo);
}

}  // namespace kivo
