// One or more secondary stations on a port: resets, status requests and
// polls of a primary are answered for every address of the list, with the
// identification after a reset, the echo of a time synchronisation and the
// DTR handshake of send lists that ask for it.
#pragma once

#include <cstdint>

#include "link/link_context.h"

namespace kivo {

// Manufacturer field of the built-in identification.
inline constexpr char kIdentificationText[] = "Orvanta8 V10";
inline constexpr std::uint8_t kCauseResetFcb = 3;
inline constexpr std::uint8_t kCauseResetCu = 4;

// A received request: becomes the port's pending request. May change the
// entry's status (21, 23) before it is logged.
void OnRequest(LinkContext& link, PortRecord& port, TLogEntry& entry);
// One step of a secondary port: answers the pending request.
void SecondaryStep(LinkContext& link, PortRecord& port);
// Preparing the port: no request pending, nothing to identify or echo, all
// handshakes stopped.
void PrepareSecondary(LinkContext& link, PortRecord& port);

// The 27-octet identification (type 5) for the current address.
void BuildIdentification(PortRecord& port, std::uint8_t cause, OutgoingFrame& out);

// Starts the DTR handshake of a send list with its delay in ms. False (and
// event 54) when DCD is off or a handshake already runs.
bool StartHandshake(LinkContext& link, PortRecord& port, std::uint32_t delayMs);
// The handshake's part of a step, before the secondary step.
void HandshakeStep(LinkContext& link, PortRecord& port);
// A reset received or a port prepared ends every handshake.
void StopHandshakes(LinkContext& link);

}  // namespace kivo
