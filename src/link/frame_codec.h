// The FT 1.2 frame codec: the octets of the three frame shapes, the control
// field, the validator that gives every received frame its status and the
// encoder that builds the frames the link engine sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "record/ft12.h"

namespace kivo {

enum class PortFunction : std::uint32_t;
struct FrameRules;
struct GeneralParams;
struct PortRecord;
struct TLogEntry;

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

// What a request tells the port about the link state of its station. The
// validator finds it and changes nothing; the procedure that acts on the
// frame takes it over (TakeStationUpdate), whatever status the frame ends
// with.
struct StationUpdate {
  enum class Kind : std::uint8_t {
    None,
    Addressed,  // secondary: the request's station becomes the current one
    Monitored,  // unassigned: the FCB followed for an address seen on the line
  };
  Kind kind = Kind::None;
  int index = 0;          // list index (Addressed) or monitoring slot (Monitored)
  bool takeSlot = false;  // Monitored: the slot is new for `address`
  std::uint8_t address = 0;
  bool storeFcb = false;  // the FCB to remember for the station
  bool fcb = false;
};

// Gives the delimited frame in `entry` its status (also written to
// entry.status) and classifies it, against the port's function, address
// list and FCB state as they stand. A gap-monitor port is only classified
// (status 40, or 1 after a line error). What the frame changes in the port's
// link state goes to `update` when given.
std::uint8_t ValidateFrame(const FrameRules& rules, const PortRecord& port, TLogEntry& entry,
                           const ReceiveConditions& conditions = {},
                           StationUpdate* update = nullptr);

// The secondary moves its current index to the addressed station and keeps
// an accepted FCB; the unassigned port keeps its monitoring table.
void TakeStationUpdate(PortRecord& port, const StationUpdate& update);

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

// The control octet a port of this function sends first for `control` on a
// fresh link, without link-test manipulation and without moving any FCB: the
// preview of a telegram's octets.
std::uint8_t PreviewControl(PortFunction function, std::uint8_t control);

// The address a port sends an operator telegram to: a secondary answers a
// telegram addressed to 255 under the address of the request it answers.
std::uint8_t TelegramAddress(const PortRecord& port, std::uint8_t address);

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

// A frame built for sending: its octets and the status it is logged with.
struct OutgoingFrame {
  std::array<std::uint8_t, ft12::kMaxFrameLength> octets{};
  std::size_t length = 0;
  std::uint8_t status = 40;

  std::span<const std::uint8_t> View() const { return {octets.data(), length}; }
  std::span<std::uint8_t> Buffer() { return octets; }
};

// The encoders write the frame into `out` and return its length. They do not
// touch the line: the link layer takes the frame as its transmit entry
// (TakeFrame), and the transmit sequence writes and logs it.
std::size_t EncodeFixed(PortRecord& port, FixedRequest request, std::span<std::uint8_t> out);
// 0, and no FCB moved, for a kind outside 0..2 or a tail longer than
// ft12::kMaxAsduTail.
std::size_t EncodeVariable(PortRecord& port, const GeneralParams& general,
                           const VariableTelegram& telegram, std::span<std::uint8_t> out);
// The same frame with a control octet already completed, and the common
// address as it goes out.
std::size_t EncodeVariableWith(std::uint8_t control, std::uint8_t address,
                               std::uint8_t commonAddress, const VariableTelegram& telegram,
                               std::span<std::uint8_t> out);

// The frame becomes the port's transmit entry (classified, with its status;
// channel and time stamp are left to the transmit sequence), ready to go.
void TakeFrame(PortRecord& port, std::span<const std::uint8_t> octets, std::uint8_t status);
inline void TakeFrame(PortRecord& port, const OutgoingFrame& frame) {
  TakeFrame(port, frame.View(), frame.status);
}

}  // namespace kivo
