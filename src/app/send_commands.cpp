#include "app/send_commands.h"

#include "app/instance.h"
#include "app/messages.h"
#include "send/send_execution.h"

namespace kivo {

namespace {

// Runs a start; the question of a link that is down, answered Yes, runs it
// again confirmed. Any other refusal is shown.
template <typename Start>
bool Asked(Instance& instance, Start start) {
  int refused = start(false);
  if (refused == kMsgLinkDown) {
    if (!Confirm(instance, kMsgLinkDown)) return false;
    refused = start(true);
  }
  if (refused > 0) ShowMessage(instance, refused);
  return refused == 0;
}

}  // namespace

bool OperatorSendNow(Instance& instance, SendHeader& header) {
  return Asked(instance,
               [&](bool confirmed) { return SendNow(instance.sendContext, header, confirmed); });
}

bool OperatorStartList(Instance& instance, int n) {
  return Asked(instance,
               [&](bool confirmed) { return StartList(instance.sendContext, n, confirmed); });
}

}  // namespace kivo
