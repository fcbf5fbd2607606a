// Send execution: starting, scheduling, repeating, pausing and stopping the
// twelve send telegrams and twelve send lists, and the calls the link
// procedures make to ask what goes next on a port.
#pragma once

#include <cstdint>
#include <string>

#include "link/frame_codec.h"
#include "send/send_context.h"
#include "send/send_records.h"

namespace kivo {

// Messages of a refused start.
inline constexpr int kMsgOffline = 870;
inline constexpr int kMsgLinkDown = 871;  // a question: Yes starts anyway
inline constexpr int kMsgNoUserData = 873;
inline constexpr int kMsgNoActiveRows = 874;
// A list whose DTR handshake could not start: event 54 says why.
inline constexpr int kListNotStarted = -1;

// Operator start of a telegram or list header: 0 when it was started
// (sendState 1), else the message that refuses it, in their precedence:
// offline (870), no port number (1137), the link of the address down (871,
// which asks: with `linkDownConfirmed` the start goes ahead), user data
// switched off by the link test (873).
int SendNow(SendContext& send, SendHeader& header, bool linkDownConfirmed = false);
// Operator start of list n (1 to 12): as SendNow, or 874 without active
// rows; the DTR handshake on a secondary port when the list asks for it
// (kListNotStarted when it is refused).
int StartList(SendContext& send, int n, bool linkDownConfirmed = false);

// Empties the port's three send slots, then fills them with the due
// telegrams and list rows for the address the port serves.
void SelectDue(SendContext& send, PortRecord& port);
// The same selection without emptying the slots first: the secondary places
// its own class 1 items before it. `answeringClass1` skips the follow
// decision of cyclic list rows.
void SelectDueIntoFreeSlots(SendContext& send, PortRecord& port, bool answeringClass1);
// Builds the telegram or list row in nextSend and counts it as sent. False
// when nothing was built.
bool SendSelected(SendContext& send, PortRecord& port, OutgoingFrame& out);
// A received ASDU may start telegrams that wait for its type.
void OnAsduReceived(SendContext& send, PortRecord& port, const TLogEntry& entry);
// A link event (2 established, 3 reset received) may start telegrams.
void OnLinkEvent(SendContext& send, PortRecord& port, int trigger);
// A new minute of the local time while online: the clock triggers.
void OnMinute(SendContext& send, int minute);
// Stops telegrams and lists for one link address, or all with 255; ends the
// DTR handshake of both ports first.
void StopSending(SendContext& send, std::uint8_t address);
// The editor's work copy becomes telegram n (1 to 12): marks the send data
// modified when it differs (focus and scheduling state aside), refreshes the
// captions and arms the clock check for a clock trigger.
void CommitSendTelegram(SendContext& send, int n, const SendTelegram& workCopy);

// The stop rule for address 255 applied to list n (1 to 12) alone.
void StopList(SendContext& send, int n);
// Some telegram or list is not idle (enables the stop item).
bool AnySending(const SendContext& send);

// The caption of the send action of telegram n (1 to 12) or list n (13 to
// 24 name lists 1 to 12); the edit action adds "...".
std::string SendCaption(const SendContext& send, int slot);

// The operator's type 5 telegram for the port and its current address, sent
// in place of the built-in identification. False when none is defined.
bool BuildOperatorIdentification(SendContext& send, PortRecord& port, OutgoingFrame& out);

// The command-response simulation (response_sim.cpp).
// Ready parts of the simulation for the port's current address (class 1
// items of a secondary); remembers the first such row for the answer.
int CountPendingResponses(SendContext& send, PortRecord& port);
// Builds the answer of the remembered row.
bool SendPendingResponse(SendContext& send, PortRecord& port, OutgoingFrame& out);
// A general command received while the command-response simulation runs.
void OnGeneralCommand(SendContext& send, PortRecord& port, TLogEntry& entry);

}  // namespace kivo
