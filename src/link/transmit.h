// The transmit sequence of a port: send delay, RTS lead time, writing the
// octets, character time and RTS lag time, each wait a deadline that the
// driver loop serves (a one-shot timer, a tick deadline behind it), so that
// the ports are read while a frame goes out; the sent frame is logged like a
// received one.
#pragma once

#include <cstdint>

#include "link/frame_codec.h"
#include "link/link_context.h"

namespace kivo {

// Waits up to this long run on a timer of their exact length; longer ones on
// a timer rounded to 10 ms.
inline constexpr std::uint32_t kLongestShortWait = 54;

// Starts sending the frame in port.transmitEntry (port.transmitReady set).
// False when nothing is ready, the port is closed or a sequence still runs.
bool StartTransmit(LinkContext& link, PortRecord& port);
// TakeFrame and StartTransmit.
bool SendFrame(LinkContext& link, PortRecord& port, const OutgoingFrame& frame);
// Encodes a fixed request and starts sending it.
bool SendFixed(LinkContext& link, PortRecord& port, FixedRequest request);
// Sends the repetition copy again with status 14.
bool RepeatLastFrame(LinkContext& link, PortRecord& port);
bool TransmitIdle(const PortRecord& port);
// Moves the sequence on while its waits have expired.
void ContinueTransmit(LinkContext& link, PortRecord& port);
// Arms the transmit deadline: no wait below 1 ms, else a one-shot timer that
// moves the sequence on when it fires, and a tick deadline should none come.
void Wait(LinkContext& link, PortRecord& port, std::uint32_t ms);
// A frame from the other station while ours is still counted as on the line:
// it has gone out, so the character time ends now.
void EndCharacterTime(LinkContext& link, PortRecord& port);
bool Expired(const LinkContext& link, const PortRecord& port);
// Cancels the one-shot timer of a long wait.
void CancelTransmitTimer(LinkContext& link, PortRecord& port);

// Character time of a frame in ms: 11 bits per octet plus margins.
std::uint32_t CharacterTime(std::uint32_t octets, std::uint32_t baud);
std::uint32_t FourCharacterTime(std::uint32_t baud);
std::uint32_t CharacterGap(std::uint32_t baud);

// RTS functions: 0 always on, 1 always off, 2 on while transmitting, 3 off
// while transmitting. With function 4 the driver switches RTS and keeps the
// lead and lag times itself, so the sequence neither sets RTS nor waits for it.
bool RtsSwitched(const PortRecord& port);
bool RtsByDriver(const PortRecord& port);
bool RtsIdleState(const PortRecord& port);
// Sets RTS; logs event 50 when asked and the line changed.
void SetRts(LinkContext& link, PortRecord& port, bool on, bool logChange);

}  // namespace kivo
