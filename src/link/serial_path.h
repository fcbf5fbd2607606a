// The serial path of a port: octets from the line assembled into frames,
// frames validated, handed to the port's procedure and logged; the link
// events; and the link-engine step that the timer and the events drive.
//
// How a driver runs a port (window event loop, command-line poll loop, the
// virtual clock of the tests):
//   fd readable           -> OnDataAvailable(link, portIndex)
//   every main-timer tick -> PortStep for port 1, then port 2
//   after each of these, and after a one-shot timer fired
//                         -> RunPostedLinkSteps(link)
#pragma once

#include <cstdint>
#include <span>

#include "link/link_context.h"
#include "record/frame_status.h"

namespace kivo {

// Octets taken from the port in one read.
inline constexpr std::size_t kReceiveBatch = 269;

// Logs an event of the port: frame kind 4 (2 for events 43 and 50), the value
// in LinkAddress, the transmit channel (the receive channel for 43, 44, 48
// and 49) and the optional data as frame octets.
void LogEvent(LinkContext& link, PortRecord& port, std::uint8_t code, std::uint16_t value,
              std::span<const std::uint8_t> data = {});

// --- Reception ---
// Data available: reads the port in batches of up to 269 octets until it has
// nothing more, takes the line errors of each batch and assembles. A device
// that went away is closed and reported to the observer.
void OnDataAvailable(LinkContext& link, int portIndex);
// One batch as it came from the port with the line errors read for it.
void ReceiveBatch(LinkContext& link, PortRecord& port, std::span<const std::uint8_t> octets,
                  std::uint8_t lineErrors);
// Ends what the assembler gathered, as when the character gap has passed.
void EndGatheredFrame(LinkContext& link, PortRecord& port);

// --- Timer tick and link-engine step ---
// Lamps, modem lines, character-gap check and link-engine step of one port.
void PortStep(LinkContext& link, int portIndex);
// One link-engine step: the transmit sequence moves on, then the procedure's
// step. Does nothing while a step of the port is already running.
void LinkEngineStep(LinkContext& link, PortRecord& port);
// User message 3: asks for a link-engine step of the port.
void PostLinkStep(PortRecord& port);
// Runs the posted steps of both ports, and the steps they post in turn.
void RunPostedLinkSteps(LinkContext& link);

}  // namespace kivo
