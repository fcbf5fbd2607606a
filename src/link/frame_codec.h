// The FT 1.2 frame codec: the octets of the three frame shapes, the control
// field, the validator that gives every received frame its status and the
// encoder that builds the frames the link engine sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/port_record.h"
#include "log/log_entry.h"

namespace kivo {

class Instance;
class KnownTypeList;
class TextTable;
struct GeneralParams;
struct TValueColours;

namespace ft12 {

inline constexpr std::uint8_t kStartFixed = 0x10;
inline constexpr std::uint8_t kStartVariable = 0x68;
inline constexpr std::uint8_t kSingleCharacter = 0xE5;
inline constexpr std::uint8_t kEndCharacter = 0x16;
inline constexpr std::uint8_t kBroadcast = 255;

inline constexpr std::size_t kFixedLength = 5;
inline constexpr std::size_t kVariableOverhead = 6;  // 68 L L 68 ... CS 16 around L octets
inline constexpr std::size_t kMaxUserOctets = 255;   // L is one octet
inline constexpr std::size_t kMaxFrameLength = kMaxUserOctets + kVariableOverhead;  // 261

// Octet positions from the start character.
namespace at {
inline constexpr std::size_t kFixedControl = 1, kFixedAddress = 2, kFixedChecksum = 3,
                             kFixedEnd = 4;
inline constexpr std::size_t kLength = 1, kLengthRepeat = 2, kSecondStart = 3, kVariableControl = 4,
                             kVariableAddress = 5, kTyp = 6, kVsq = 7, kCot = 8, kCommonAddress = 9;
}  // namespace at

// Control field bits.
inline constexpr std::uint8_t kRes = 0x80;
inline constexpr std::uint8_t kPrm = 0x40;
inline constexpr std::uint8_t kFcb = 0x20;  // primary frames
inline constexpr std::uint8_t kFcv = 0x10;  // primary frames
inline constexpr std::uint8_t kAcd = 0x20;  // secondary frames
inline constexpr std::uint8_t kDfc = 0x10;  // secondary frames
inline constexpr std::uint8_t kFunctionMask = 0x0F;

// Function codes the engine reads or writes.
namespace fc {
inline constexpr std::uint8_t kResetRemoteLink = 0, kTestLink = 2, kSendConfirm = 3,
                              kSendNoReply = 4, kResetFcb = 7, kRequestStatus = 9,
                              kRequestClass1 = 10, kRequestClass2 = 11;
inline constexpr std::uint8_t kAck = 0, kNack = 1, kUserData = 8, kNoData = 9, kStatusOfLink = 11,
                              kNotImplemented = 15;
}  // namespace fc

// The control octets of the three kinds of operator telegram: send/confirm,
// send/no reply and user data response.
inline constexpr std::array<std::uint8_t, 3> kKindControl{0x53, 0x44, 0x08};
// A secondary's user data; a primary port sends it as send/confirm.
inline constexpr std::uint8_t kUserDataControl = 0x08;
inline constexpr std::uint8_t kSendConfirmControl = 0x53;

// Texts holding one admissibility digit per function code (0 = not
// admissible, odd = admissible with FCV 1, even = with FCV 0).
inline constexpr int kPrimaryFunctionsText = 67;
inline constexpr int kSecondaryFunctionsText = 69;

// Sum of the octets the checksum covers: from the control field (octet 1 of
// a 0x10 frame, octet 4 of any other) up to three octets before the end.
// 0 when the frame is too short to have such a range.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame);

}  // namespace ft12

// What the validator reads besides the port: the admissibility texts and
// cause sets, the known types and the per-cause colour words.
struct FrameRules {
  const TextTable& texts;
  const KnownTypeList& knownTypes;
  const TValueColours& causeColours;

  static FrameRules Of(const Instance& instance);
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

// Longest ASDU tail: L counts control, address, TYP, VSQ, COT, common
// address and the tail.
inline constexpr std::size_t kMaxAsduTail = ft12::kMaxUserOctets - 6;

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
