// The command-response simulation: general commands (type 20) received by a
// secondary are matched against the table of the send data, and the answers
// it prepares wait there until a class 1 opportunity sends them as
// time-tagged messages (type 1).
//
// Every answer is built as a well-formed 20-octet type-1 frame from octets 0
// to 13 of the command (start, lengths, control, address, TYP, VSQ, COT,
// common address, FUN, INF, DCO, RII). A received command shorter than the
// 16 octets of a general command has no DCO and RII that could be trusted
// (its status already says that its ASDU is too short), so the simulation
// leaves it alone: no row takes it and no refusal is sent. A row whose stored
// command is that short (only a foreign send-telegram file can hold one) can
// never be answered; its pending flags are dropped when it is next looked at
// so that it neither announces class 1 data nor blocks its information number.
#include <algorithm>
#include <array>
#include <span>

#include "link/link_context.h"
#include "link/port_record.h"
#include "platform/time_base.h"
#include "record/frame_status.h"
#include "record/general_params.h"
#include "send/send_execution.h"
#include "send/send_records.h"

namespace kivo {

namespace {

using namespace ft12;

constexpr std::uint8_t kTypeTimeTaggedMessage = 1;
constexpr std::uint8_t kCauseRemoteOperation = 12;
constexpr std::uint8_t kCausePositiveCommandAck = 20;
constexpr std::uint8_t kCauseNegativeCommandAck = 21;
constexpr std::uint8_t kSummerTimeBit = 0x80;
constexpr std::uint16_t kAnyStation = kBroadcast;

// The elements of a general command after FUN and INF.
namespace command {
constexpr std::size_t kDco = at::kElements, kRii = kDco + 1;
constexpr std::size_t kLength = kRii + 1 + kTrailer;  // 16
}  // namespace command

// The time-tagged message that answers it: its ASDU, with positions from
// the start of the frame.
namespace message {
constexpr std::size_t kDpi = at::kElements, kTime = kDpi + 1, kSin = kTime + 4;
constexpr std::size_t kAsduLength = kSin + 1 - at::kTyp;
}  // namespace message

struct Message {
  std::uint8_t address = 0;
  std::array<std::uint8_t, message::kAsduLength> asdu{};

  std::uint8_t& At(std::size_t framePosition) { return asdu[framePosition - at::kTyp]; }
};

bool SimulationOn(const SendContext& send) {
  return send.data.simulation.simulationOn == 1;
}

bool Pending(const ResponseSimRow& row) {
  return row.ackPending != 0 || row.responsePending != 0;
}

bool HasRole(const PortRecord& port) {
  return port.params.function == PortFunction::Primary ||
         port.params.function == PortFunction::Secondary;
}

// A role port answers for the address it serves and for commands sent to
// all stations; an unassigned port for any address.
bool AnswersFor(const PortRecord& port, const ResponseSimRow& row) {
  // Answers leave through the port that took the command.
  if (row.commandPort != 0 && row.commandPort != port.Number()) return false;
  if (!HasRole(port)) return true;
  return row.commandAddress == port.CurrentAddress() || row.commandAddress == kAnyStation;
}

// Pending and answerable; an unanswerable pending row loses its flags.
bool Ready(ResponseSimRow& row) {
  if (!Pending(row)) return false;
  if (row.commandLength < command::kLength) {
    row.ackPending = 0;
    row.responsePending = 0;
    return false;
  }
  return true;
}

// Milliseconds of the minute, minutes, hours with the summer-time bit.
void PutTimeOfNow(SendContext& send, std::span<std::uint8_t, 4> out) {
  const std::uint32_t ms = send.time().TimeOfDayMs();
  const std::uint32_t inMinute = ms % 60000;
  out[0] = static_cast<std::uint8_t>(inMinute);
  out[1] = static_cast<std::uint8_t>(inMinute >> 8);
  out[2] = static_cast<std::uint8_t>((ms / 60000) % 60);
  out[3] = static_cast<std::uint8_t>(((ms / 3600000) % 24) |
                                     (send.general().summerTime != 0 ? kSummerTimeBit : 0));
}

// The type-1 message that answers `cmd` (at least command::kLength octets):
// address, VSQ, common address, FUN and INF of the command, DPI from the
// DCO, SIN from the RII, the time of now. The cause is left to the caller.
Message MessageFrom(SendContext& send, std::span<const std::uint8_t> cmd) {
  Message m;
  m.address = cmd[at::kVariableAddress];
  std::copy(cmd.begin() + at::kTyp, cmd.begin() + command::kRii + 1, m.asdu.begin());
  m.At(at::kTyp) = kTypeTimeTaggedMessage;
  m.At(message::kDpi) = cmd[command::kDco];
  PutTimeOfNow(send, std::span<std::uint8_t, 4>(&m.At(message::kTime), 4));
  m.At(message::kSin) = cmd[command::kRii];
  return m;
}

std::size_t FrameOf(std::uint8_t control, const Message& m, std::span<std::uint8_t> out) {
  return BuildVariableFrame(control, m.address, m.asdu, out);
}

// The immediate refusal goes back through the echo slot of the addressed
// station, which completes address, common address and control when the
// next class 1 poll fetches it.
void RefuseAtOnce(SendContext& send, PortRecord& port, TLogEntry& entry) {
  entry.status = status::kCommandRefused;
  if (port.currentIndex < 0 || port.currentIndex >= 31) return;
  Message m = MessageFrom(send, entry.Frame());
  m.At(at::kCot) = kCauseNegativeCommandAck;
  EchoSlot& slot = port.secondary.echo[static_cast<std::size_t>(port.currentIndex)];
  slot.octets.fill(0);
  // The control octet is the command's; the echo completes it when it goes.
  const std::size_t length = FrameOf(entry.Frame()[at::kVariableControl], m, slot.octets);
  slot.length = static_cast<std::uint8_t>(length);
  slot.status = status::kCorrect;
  slot.filled = true;
}

void TakeCommand(ResponseSimRow& row, const PortRecord& port, const TLogEntry& entry) {
  const auto frame = entry.Frame();
  row.commandPort = static_cast<std::uint8_t>(port.Number());
  row.commandAddress = entry.linkAddress;
  row.commandLength =
      static_cast<std::uint16_t>(std::min(frame.size(), ResponseSimRow::kCommandCapacity));
  row.commandStatus = entry.status;
  row.commandFrame.fill(0);
  std::copy_n(frame.begin(), row.commandLength, row.commandFrame.begin());
  row.ackPending = row.positiveAck == 1 || row.negativeAck == 1 ? 1 : 0;
  row.responsePending = row.responseInf >= 0 ? 1 : 0;
}

std::uint8_t ResponseDpi(const ResponseSimRow& row) {
  const std::uint8_t dco = row.commandFrame[command::kDco];
  switch (row.responseState) {
    case 0:
    case 1:
    case 2:
    case 3:
      return row.responseState;
    case kResponseStateFromCommand:
      return dco;
    case kResponseStateInverted:
      return static_cast<std::uint8_t>(dco ^ 3);
    default:
      // Only a foreign file holds another state; the text forms read it as 2.
      return 2;
  }
}

// The first ready row the port answers for, or -1.
int FindReadyRow(SendContext& send, PortRecord& port) {
  auto& rows = send.data.simulation.rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (AnswersFor(port, rows[i]) && Ready(rows[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void OnGeneralCommand(SendContext& send, PortRecord& port, TLogEntry& entry) {
  if (!SimulationOn(send) || port.linkTest.ltNoUserData) return;
  const auto frame = entry.Frame();
  if (frame.size() < command::kLength) return;
  const std::uint8_t inf = frame[at::kInf];
  bool matched = false;
  for (ResponseSimRow& row : send.data.simulation.rows) {
    if (row.commandInf != inf) continue;
    if (Pending(row)) {
      // The answer to an earlier command on this number still waits: this
      // one is refused, the rows prepared so far stay prepared.
      RefuseAtOnce(send, port, entry);
      return;
    }
    TakeCommand(row, port, entry);
    matched = true;
  }
  if (!matched) RefuseAtOnce(send, port, entry);
}

int CountPendingResponses(SendContext& send, PortRecord& port) {
  port.send.pendingResponseRow = -1;
  if (!SimulationOn(send) || port.linkTest.ltNoUserData) return 0;
  int count = 0;
  auto& rows = send.data.simulation.rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ResponseSimRow& row = rows[i];
    if (!AnswersFor(port, row) || !Ready(row)) continue;
    if (port.send.pendingResponseRow < 0) port.send.pendingResponseRow = static_cast<int>(i);
    count += (row.ackPending != 0 ? 1 : 0) + (row.responsePending != 0 ? 1 : 0);
  }
  return count;
}

bool SendPendingResponse(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  if (!SimulationOn(send) || port.linkTest.ltNoUserData) return false;
  auto& rows = send.data.simulation.rows;
  int index = port.send.pendingResponseRow;
  // The primary cycle asks without counting first, and the table may have
  // changed since the count.
  if (index < 0 || index >= static_cast<int>(rows.size()) ||
      !AnswersFor(port, rows[static_cast<std::size_t>(index)]) ||
      !Ready(rows[static_cast<std::size_t>(index)])) {
    index = FindReadyRow(send, port);
  }
  port.send.pendingResponseRow = -1;
  if (index < 0) return false;
  ResponseSimRow& row = rows[static_cast<std::size_t>(index)];

  Message m = MessageFrom(send, row.commandFrame);
  if (row.ackPending != 0) {
    row.ackPending = 0;
    m.At(at::kCot) = row.negativeAck == 1 ? kCauseNegativeCommandAck : kCausePositiveCommandAck;
  } else {
    row.responsePending = 0;
    m.At(at::kCot) = kCauseRemoteOperation;
    m.At(at::kInf) = static_cast<std::uint8_t>(row.responseInf & 0xFF);
    m.At(message::kDpi) = ResponseDpi(row);
  }
  // A command to all stations is answered under the address the port serves.
  if (HasRole(port)) m.address = port.CurrentAddress();
  out = OutgoingFrame{};
  out.length = FrameOf(CompleteControl(port, kUserDataControl, true), m, out.Buffer());
  return true;
}

}  // namespace kivo
