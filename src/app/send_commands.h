// The operator's start of a send telegram or list, with the messages that
// refuse it and the question when the link of its address is down.
#pragma once

namespace kivo {

class Instance;
struct SendHeader;

// True when the telegram or list header was started.
bool OperatorSendNow(Instance& instance, SendHeader& header);
// List n (1 to 12).
bool OperatorStartList(Instance& instance, int n);

}  // namespace kivo
