// The disturbance data transfer (types 23 to 31): a primary records what a
// device sends into "103" + FAN + ".DSD" files in the data directory; a
// secondary offers such files as its list of recorded disturbances and
// replays them as the primary orders.
#pragma once

#include <cstdint>
#include <string>

#include "link/frame_codec.h"
#include "send/disturbance_state.h"
#include "send/send_context.h"

namespace kivo {

// Types 23 to 31 received by a primary (user data answers) or a secondary
// (send/confirm or send/no reply). May set the entry's status (36, 37, 38).
void OnDisturbanceAsdu(SendContext& send, PortRecord& port, TLogEntry& entry);

// When the next transfer telegram (or the pending list or order) is for the
// port's current address: builds it into `out` and returns true.
bool NextDisturbanceTelegram(SendContext& send, PortRecord& port, OutgoingFrame& out);

// Class 1 items the transfer contributes for the port's current address: a
// running transfer counts two, a pending type 23 list one.
int DisturbanceClass1Items(SendContext& send, const PortRecord& port);

// Each link-engine step while a transfer runs: the inactivity countdown.
void DisturbanceStep(SendContext& send, PortRecord& port);

// Ends a running transfer with `address` at once (its link lost, a reset
// for it received); 255 ends a transfer with any address.
void EndDisturbanceTransfer(SendContext& send, PortRecord& port, std::uint8_t address);

// Preparing the port: clears the transfer and, on a non-primary port,
// rebuilds the list of recorded disturbances from the files found.
void BuildDisturbanceList(SendContext& send, PortRecord& port);

// "103" + the FAN as five digits + ".DSD" (without the directory).
std::string DisturbanceFileName(std::uint16_t fan);

// Reads and checks the header of an open disturbance file: magic, header
// length, and every position inside the file. False for a damaged or foreign
// file.
bool ReadDisturbanceHeader(const BlockFile& file, DisturbanceHeader& header);

}  // namespace kivo
