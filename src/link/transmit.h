// The transmit sequence of a port: send delay, RTS lead time, writing the
// octets, character time and RTS lag time, each wait a deadline (a busy
// wait on the clock up to 54 ms, above that a tick deadline and a one-shot
// timer); the sent frame is logged like a received one.
#pragma once

#include <cstdint>

#include "link/frame_codec.h"
#include "link/link_context.h"

namespace kivo {

// Waits up to this long are busy waits; longer ones use a one-shot timer.
inline constexpr std::uint32_t kLongestBusyWait = 54;

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
// Arms the transmit deadline: no wait below 1 ms, a busy wait on the clock up
// to 54 ms, above that a tick deadline and a one-shot timer.
void Wait(LinkContext& link, PortRecord& port, std::uint32_t ms);
bool Expired(const LinkContext& link, const PortRecord& port);
// Cancels the one-shot timer of a long wait.
void CancelTransmitTimer(LinkContext& link, PortRecord& port);

// Character time of a frame in ms: 11 bits per octet plus margins.
std::uint32_t CharacterTime(std::uint32_t octets, std::uint32_t baud);
std::uint32_t FourCharacterTime(std::uint32_t baud);
std::uint32_t CharacterGap(std::uint32_t baud);

// RTS functions: 0 always on, 1 always off, 2 on while transmitting, 3 off
// while transmitting.
bool RtsSwitched(const PortRecord& port);
bool RtsIdleState(const PortRecord& port);
// Sets RTS; logs event 50 when asked and the line changed.
void SetRts(LinkContext& link, PortRecord& port, bool on, bool logChange);

}  // namespace kivo
