#include "app/instance.h"

#include "app/messages.h"
#include "link/link_procedures.h"
#include "log/log_filter.h"

namespace kivo {

Instance::Instance(Platform p)
    : platform(p),
      timeBase(p.clock),
      logStore(LogStoreContext{p.clock, timeBase, general, ports[0].params, ports[1].params,
                               app.logWriteFailed}) {
  for (PortRecord& port : ports) InstallLinkProcedures(port);
  logStore.hooks.showError = [this](int textNumber) {
    ShowMessage(*this, textNumber, MessageType::Error);
  };
  auto firstSeqNo = [this] { return logStore.Index().firstSeqNo; };
  logStore.hooks.logFilter = LogFilterPredicate(general.logFilter, firstSeqNo);
  logStore.hooks.displayFilter = DisplayFilterPredicate(
      general.displayFilter, [this] { return settings.showLink != 0; }, firstSeqNo);
}

}  // namespace kivo
