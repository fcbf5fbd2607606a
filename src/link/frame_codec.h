// The FT 1.2 frame codec: the octets of the three frame shapes, the control
// field, the validator that gives every received frame its status and the
// encoder that builds the frames the link engine sends.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/port_record.h"
#include "record/ft12.h"
#include "record/log_entry.h"
#include "record/type_catalogue.h"

namespace kivo {

struct GeneralParams;
struct TValueColours;

// What the validator checks a frame against besides the port, as the
// language file states it: the admissibility digit of each function code of
// primary and secondary frames (0 not admissible, odd admissible with FCV 1,
// even with FCV 0), the causes each type permits and the causes common to
// all types; and the per-cause colour words (a coloured cause outside the
// common set gets a status of its own).
struct FrameRules {
  std::array<std::uint8_t, 16> primaryFunctions{};
  std::array<std::uint8_t, 16> secondaryFunctions{};
  std::array<std::bitset<256>, kCatalogueSize> typeCauses{};
  std::bitset<256> commonCauses;
  const TValueColours* causeColours = nullptr;
};

// What the receive path knows about how the frame arrived.
struct ReceiveConditions {
  bool lineError = false;      // a line error was flagged while its octets arrived
  bool octetsPending = false;  // more received octets wait in the current batch
  // A frame that would go on to the link procedure is refused with status 23
  // when the port was in the send-delay or RTS-lead steps of its transmit
  // sequence, or (secondary port, not 0xE5) when the previous request is
  // still unanswered. The procedures decide both; they may pass them here.
  bool transmitting = false;
  bool requestPending = false;
};

// Sets FrameKind, Control and LinkAddress of the entry from its frame octets
// (kind 2 for 0x10 and 0xE5, 3 for 0x68, 0 otherwise; 0xE5 gets control 0xE5
// and address 0; octets the frame lacks count as 0).
void ClassifyFrame(TLogEntry& entry);

// Gives the delimited frame in `entry` its status (also written to
// entry.status) and classifies it. Follows the port's FCB state: a secondary
// port stores accepted FCBs and moves its current index to the addressed
// station, an unassigned port keeps its monitoring table. A gap-monitor port
// is only classified (status 40, or 1 after a line error).
std::uint8_t ValidateFrame(const FrameRules& rules, PortRecord& port, TLogEntry& entry,
                           const ReceiveConditions& conditions = {});

// Fixed-frame requests of the link procedures.
enum class FixedRequest {
  PositiveAck,     // 0xE5 or 0x00
  NegativeAck,     // 0x01
  StatusOfLink,    // 0x0B
  NotImplemented,  // 0x0F
  Reset,           // 0x40 or 0x47 by the reset kind
  TestLink,        // 0x52
  RequestStatus,   // 0x49
  PollClass1,      // 0x5A
  PollClass2,      // 0x5B
  AckWithoutE5,    // 0x00
  NoData,          // 0x09 or 0xE5
};

// The control octet of a request before completion; 0xE5 when the request
// goes out as the single character.
std::uint8_t FixedRequestControl(const PortRecord& port, FixedRequest request);

// Completes a control octet for sending: user data on a secondary, the FCB of
// requests with FCV, the link-test manipulations; remembers the result as the
// port's last sent control field. Never applied to 0xE5.
std::uint8_t CompleteControl(PortRecord& port, std::uint8_t control, bool secondaryUserData);

// The parts of an operator telegram that make its frame.
struct VariableTelegram {
  std::uint8_t kind = 0;  // 0 send/confirm, 1 send/no reply, 2 user data response
  std::uint8_t address = 0;
  std::uint8_t typ = 0;
  std::uint8_t vsq = 0x81;
  std::uint8_t cot = 0;
  std::uint8_t commonAddress = 0;
  std::span<const std::uint8_t> tail;  // the ASDU octets after the common address
  // The secondary procedure sets this when the frame answers a poll: the
  // control becomes user data whatever the telegram's kind.
  bool secondaryUserData = false;
};

// The encoders build the frame into port.transmitEntry (status 40,
// classified, channel and time stamp left to the transmit sequence) and set
// port.transmitReady. They do not touch the line: the transmit sequence
// (StartTransmit) takes the ready entry, writes it and logs it.
// EncodeVariable returns false and builds nothing for a kind outside 0..2 or
// a tail longer than kMaxAsduTail.
void EncodeFixed(PortRecord& port, FixedRequest request);
bool EncodeVariable(PortRecord& port, const GeneralParams& general,
                    const VariableTelegram& telegram);

}  // namespace kivo
