#include "app/instance.h"

#include "app/messages.h"

namespace kivo {

Instance::Instance(Platform p)
    : platform(p),
      timeBase(p.clock),
      logStore(LogStoreContext{p.clock, timeBase, general, ports[0].params, ports[1].params,
                               app.logWriteFailed}) {
  logStore.hooks.showError = [this](int textNumber) {
    ShowMessage(*this, textNumber, MessageType::Error);
  };
}

}  // namespace kivo
