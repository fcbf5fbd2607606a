// Send execution as the link procedures see it: which operator telegram or
// list row goes next on a port, building it, and the triggers the link
// engine fires. The telegram and list records are not held yet, so nothing
// is ever due and no simulated response is ready; the procedures already
// call every function at the moment the sending work will need it.
#pragma once

#include <cstdint>

namespace kivo {

class Instance;
struct PortRecord;
struct TLogEntry;

// Link events that start operator telegrams.
inline constexpr int kTriggerLinkEstablished = 2;
inline constexpr int kTriggerLinkResetReceived = 3;

// Empties the port's three send slots, then fills them with the due
// telegrams and list rows for the address the port serves.
void SelectDue(Instance& instance, PortRecord& port);
// The same selection without emptying the slots first: the secondary places
// its own class 1 items before it. `answeringClass1` skips the follow
// decision of cyclic list rows.
void SelectDueIntoFreeSlots(Instance& instance, PortRecord& port, bool answeringClass1);
// Builds the telegram or list row in nextSend into the port's transmit entry
// and counts it as sent. False when nothing was built.
bool SendSelected(Instance& instance, PortRecord& port);
// A received ASDU may start telegrams that wait for its type.
void OnAsduReceived(Instance& instance, PortRecord& port, const TLogEntry& entry);
// A link event (2 established, 3 reset received) may start telegrams.
void OnLinkEvent(Instance& instance, PortRecord& port, int trigger);
// Stops telegrams and lists for one link address, or all with 255; ends the
// DTR handshake of both ports first.
void StopSending(Instance& instance, std::uint8_t address);
// Ready parts of the command-response simulation for the port's current
// address (class 1 items of a secondary).
int CountPendingResponses(const Instance& instance, const PortRecord& port);
// Builds the next ready simulated response into the transmit entry.
bool SendPendingResponse(Instance& instance, PortRecord& port);
// A general command received while the command-response simulation runs.
void OnGeneralCommand(Instance& instance, PortRecord& port, const TLogEntry& entry);
// The operator's type 5 telegram for the port and its current address, sent
// in place of the built-in identification. False when none is defined.
bool BuildOperatorIdentification(Instance& instance, PortRecord& port, std::uint8_t cause);

}  // namespace kivo
