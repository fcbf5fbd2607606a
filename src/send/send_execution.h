// Send execution: starting, scheduling, repeating, pausing and stopping the
// twelve send telegrams and twelve send lists, and the calls the link
// procedures make to ask what goes next on a port.
#pragma once

#include <cstdint>
#include <string>

namespace kivo {

class Instance;
struct PortRecord;
struct SendHeader;
struct SendTelegram;
struct TLogEntry;

// Link events that start operator telegrams.
inline constexpr int kTriggerLinkEstablished = 2;
inline constexpr int kTriggerLinkResetReceived = 3;

// Messages of a refused start.
inline constexpr int kMsgOffline = 870;
inline constexpr int kMsgLinkDown = 871;  // a question: Yes starts anyway
inline constexpr int kMsgNoUserData = 873;
inline constexpr int kMsgNoActiveRows = 874;

// Operator start of a telegram or list header. Returns true when it was
// started (sendState 1).
bool SendNow(Instance& instance, SendHeader& header);
// Operator start of list n (1 to 12); the DTR handshake on a secondary port
// when the list asks for it.
bool StartList(Instance& instance, int n);

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
// A new minute of the local time while online: the clock triggers.
void OnMinute(Instance& instance, int minute);
// Stops telegrams and lists for one link address, or all with 255; ends the
// DTR handshake of both ports first.
void StopSending(Instance& instance, std::uint8_t address);
// The editor's work copy becomes telegram n (1 to 12): marks the send data
// modified when it differs (focus and scheduling state aside), refreshes the
// captions and arms the clock check for a clock trigger.
void CommitSendTelegram(Instance& instance, int n, const SendTelegram& workCopy);

// The stop rule for address 255 applied to list n (1 to 12) alone.
void StopList(Instance& instance, int n);
// Some telegram or list is not idle (enables the stop item).
bool AnySending(const Instance& instance);

// The caption of the send action of telegram n (1 to 12) or list n (13 to
// 24 name lists 1 to 12); the edit action adds "...".
std::string SendCaption(const Instance& instance, int slot);

// The command-response simulation (response_sim.cpp).
// Ready parts of the simulation for the port's current address (class 1
// items of a secondary); remembers the first such row for the answer.
int CountPendingResponses(Instance& instance, PortRecord& port);
// Builds the answer of the remembered row into the transmit entry.
bool SendPendingResponse(Instance& instance, PortRecord& port);
// A general command received while the command-response simulation runs.
void OnGeneralCommand(Instance& instance, PortRecord& port, TLogEntry& entry);

// The operator's type 5 telegram for the port and its current address, sent
// in place of the built-in identification. False when none is defined.
bool BuildOperatorIdentification(Instance& instance, PortRecord& port);

}  // namespace kivo
