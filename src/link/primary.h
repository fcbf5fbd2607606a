// The primary station of an unbalanced link: resets the addresses of its
// list, polls them for class 1 and class 2 data, repeats unanswered requests
// and declares a link lost after the configured repetitions.
#pragma once

#include "link/link_context.h"

namespace kivo {

// A received frame that reaches the procedure of a primary port; may change
// the entry's status (12, 21) before it is logged.
void OnAnswer(LinkContext& link, PortRecord& port, TLogEntry& entry);
// One cycle step of a primary port; the transmit sequence is idle.
void PrimaryStep(LinkContext& link, PortRecord& port);
// Preparing the port: every address will be reset before it is polled.
void PreparePrimary(LinkContext& link, PortRecord& port);

// Whether the next poll of the current address asks for class 1 data: by
// cbAbfr or the address's ACD, unless the class 1 poll limit forces a class 2
// poll. Counts class 1 polls and clears the count on a class 2 poll.
bool NextPollIsClass1(PortRecord& port);

}  // namespace kivo
