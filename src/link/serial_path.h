// The serial path of a port: octets from the line assembled into frames,
// frames finished, validated and logged, the transmit sequence with its line
// control and waits, port opening and closing, lamps and modem lines.
//
// How a driver runs a port (window event loop, command-line poll loop, the
// virtual clock of the tests):
//   fd readable           -> OnDataAvailable(instance, portIndex)
//   every main-timer tick -> OnTimerTick, which runs PortStep for port 1, 2
//   after each of these, and after a one-shot timer fired
//                         -> RunPostedLinkSteps(instance)
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "link/port_record.h"
#include "platform/time_base.h"
#include "record/frame_status.h"

namespace kivo {

class Instance;

// Octets taken from the port in one read.
inline constexpr std::size_t kReceiveBatch = 269;
// Octets gathered outside a frame before they are finished as one.
inline constexpr std::uint16_t kOutsideFrameCount = 32;
// Waits up to this long are busy waits; longer ones use a one-shot timer.
inline constexpr std::uint32_t kLongestBusyWait = 54;

// Logs an event of the port: frame kind 4 (2 for events 43 and 50), the value
// in LinkAddress, the transmit channel (the receive channel for 43, 44, 48
// and 49) and the optional data as frame octets.
void LogEvent(Instance& instance, PortRecord& port, std::uint8_t code, std::uint16_t value,
              std::span<const std::uint8_t> data = {});

// --- Reception ---
// Data available: reads the port in batches of up to 269 octets until it has
// nothing more, takes the line errors of each batch and assembles.
void OnDataAvailable(Instance& instance, int portIndex);
// One batch as it came from the port with the line errors read for it.
void ReceiveBatch(Instance& instance, PortRecord& port, std::span<const std::uint8_t> octets,
                  std::uint8_t lineErrors);
// Ends the frame being assembled (validate, hand over, log).
void FinishFrame(Instance& instance, PortRecord& port);

// --- Timer tick and link-engine step ---
// Lamps, modem lines, character-gap check and link-engine step of one port.
void PortStep(Instance& instance, int portIndex);
// One link-engine step: the transmit sequence moves on, then the procedure's
// step. Does nothing while a step of the port is already running.
void LinkEngineStep(Instance& instance, PortRecord& port);
// User message 3: asks for a link-engine step of the port.
void PostLinkStep(PortRecord& port);
// Runs the posted steps of both ports, and the steps they post in turn.
void RunPostedLinkSteps(Instance& instance);

// --- Transmit sequence ---
// Starts sending the frame in port.transmitEntry (port.transmitReady set).
// False when nothing is ready, the port is closed or a sequence still runs.
bool StartTransmit(Instance& instance, PortRecord& port);
// Sends the repetition copy again with status 14.
bool RepeatLastFrame(Instance& instance, PortRecord& port);
bool TransmitIdle(const PortRecord& port);
// Arms the transmit deadline: no wait below 1 ms, a busy wait on the clock up
// to 54 ms, above that a tick deadline and a one-shot timer.
void Wait(Instance& instance, PortRecord& port, std::uint32_t ms);
bool Expired(const Instance& instance, const PortRecord& port);

// Character time of a frame in ms: 11 bits per octet plus margins.
std::uint32_t CharacterTime(std::uint32_t octets, std::uint32_t baud);
std::uint32_t FourCharacterTime(std::uint32_t baud);
std::uint32_t CharacterGap(std::uint32_t baud);

// --- Ports ---
void PreparePort(Instance& instance, int portIndex);
bool OpenPort(Instance& instance, int portIndex);
void ClosePort(Instance& instance, int portIndex);
// The modem-status trigger: logs event 43 when a watched line changed.
void OnModemStatus(Instance& instance, int portIndex);

// Columns 5 to 9 of the port's row of the statistics table: secondary link
// state, primary link state, port number, baud rate, function.
std::array<std::string, 5> PortStatusCells(const Instance& instance, int portIndex);

}  // namespace kivo
