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

#include "app/instance.h"
#include "link/frame_codec.h"
#include "record/frame_status.h"
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

// Octets of a general command.
namespace command {
constexpr std::size_t kInf = 11, kDco = 12, kRii = 13;
constexpr std::size_t kLength = 16;  // up to RII, checksum and end character
}  // namespace command

// Octets of the time-tagged message that answers it.
namespace message {
constexpr std::size_t kInf = 11, kDpi = 12, kTime = 13, kSin = 17;
constexpr std::size_t kLength = 20;
constexpr std::uint8_t kUserOctets = kLength - kVariableOverhead;
}  // namespace message

using Message = std::array<std::uint8_t, message::kLength>;

bool SimulationOn(const Instance& instance) {
  return instance.send.simulation.simulationOn == 1;
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
void PutTimeOfNow(Instance& instance, std::span<std::uint8_t, 4> out) {
  const std::uint32_t ms = instance.timeBase.TimeOfDayMs();
  const std::uint32_t inMinute = ms % 60000;
  out[0] = static_cast<std::uint8_t>(inMinute);
  out[1] = static_cast<std::uint8_t>(inMinute >> 8);
  out[2] = static_cast<std::uint8_t>((ms / 60000) % 60);
  out[3] = static_cast<std::uint8_t>(((ms / 3600000) % 24) |
                                     (instance.general.summerTime != 0 ? kSummerTimeBit : 0));
}

// The type-1 frame that answers `cmd` (at least command::kLength octets):
// DPI from the DCO, SIN from the RII, the time of now. Control, checksum and
// the cause are left to the caller.
Message MessageFrom(Instance& instance, std::span<const std::uint8_t> cmd) {
  Message frame{};
  std::copy_n(cmd.begin(), command::kRii + 1, frame.begin());
  frame[0] = kStartVariable;
  frame[at::kLength] = message::kUserOctets;
  frame[at::kLengthRepeat] = message::kUserOctets;
  frame[at::kSecondStart] = kStartVariable;
  frame[at::kTyp] = kTypeTimeTaggedMessage;
  frame[message::kDpi] = cmd[command::kDco];
  PutTimeOfNow(instance, std::span<std::uint8_t, 4>(frame.data() + message::kTime, 4));
  frame[message::kSin] = cmd[command::kRii];
  frame[message::kLength - 1] = kEndCharacter;
  return frame;
}

void SetChecksum(Message& frame) {
  frame[message::kLength - 2] = FrameChecksum(frame);
}

// The immediate refusal goes back through the echo slot of the addressed
// station, which completes address, common address and control when the
// next class 1 poll fetches it.
void RefuseAtOnce(Instance& instance, PortRecord& port, TLogEntry& entry) {
  entry.status = status::kCommandRefused;
  if (port.currentIndex < 0 || port.currentIndex >= 31) return;
  Message frame = MessageFrom(instance, entry.Frame());
  frame[at::kCot] = kCauseNegativeCommandAck;
  SetChecksum(frame);
  EchoSlot& slot = port.secondary.echo[static_cast<std::size_t>(port.currentIndex)];
  slot.octets.fill(0);
  std::copy(frame.begin(), frame.end(), slot.octets.begin());
  slot.length = static_cast<std::uint8_t>(frame.size());
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
int FindReadyRow(Instance& instance, PortRecord& port) {
  auto& rows = instance.send.simulation.rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (AnswersFor(port, rows[i]) && Ready(rows[i])) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void OnGeneralCommand(Instance& instance, PortRecord& port, TLogEntry& entry) {
  if (!SimulationOn(instance) || port.linkTest.ltNoUserData) return;
  const auto frame = entry.Frame();
  if (frame.size() < command::kLength) return;
  const std::uint8_t inf = frame[command::kInf];
  bool matched = false;
  for (ResponseSimRow& row : instance.send.simulation.rows) {
    if (row.commandInf != inf) continue;
    if (Pending(row)) {
      // The answer to an earlier command on this number still waits: this
      // one is refused, the rows prepared so far stay prepared.
      RefuseAtOnce(instance, port, entry);
      return;
    }
    TakeCommand(row, port, entry);
    matched = true;
  }
  if (!matched) RefuseAtOnce(instance, port, entry);
}

int CountPendingResponses(Instance& instance, PortRecord& port) {
  port.send.pendingResponseRow = -1;
  if (!SimulationOn(instance) || port.linkTest.ltNoUserData) return 0;
  int count = 0;
  auto& rows = instance.send.simulation.rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ResponseSimRow& row = rows[i];
    if (!AnswersFor(port, row) || !Ready(row)) continue;
    if (port.send.pendingResponseRow < 0) port.send.pendingResponseRow = static_cast<int>(i);
    count += (row.ackPending != 0 ? 1 : 0) + (row.responsePending != 0 ? 1 : 0);
  }
  return count;
}

bool SendPendingResponse(Instance& instance, PortRecord& port) {
  if (!SimulationOn(instance) || port.linkTest.ltNoUserData) return false;
  auto& rows = instance.send.simulation.rows;
  int index = port.send.pendingResponseRow;
  // The primary cycle asks without counting first, and the table may have
  // changed since the count.
  if (index < 0 || index >= static_cast<int>(rows.size()) ||
      !AnswersFor(port, rows[static_cast<std::size_t>(index)]) ||
      !Ready(rows[static_cast<std::size_t>(index)])) {
    index = FindReadyRow(instance, port);
  }
  port.send.pendingResponseRow = -1;
  if (index < 0) return false;
  ResponseSimRow& row = rows[static_cast<std::size_t>(index)];

  Message frame = MessageFrom(instance, row.commandFrame);
  if (row.ackPending != 0) {
    row.ackPending = 0;
    frame[at::kCot] = row.negativeAck == 1 ? kCauseNegativeCommandAck : kCausePositiveCommandAck;
  } else {
    row.responsePending = 0;
    frame[at::kCot] = kCauseRemoteOperation;
    frame[message::kInf] = static_cast<std::uint8_t>(row.responseInf & 0xFF);
    frame[message::kDpi] = ResponseDpi(row);
  }
  // A command to all stations is answered under the address the port serves.
  if (HasRole(port)) frame[at::kVariableAddress] = port.CurrentAddress();
  frame[at::kVariableControl] = CompleteControl(port, kUserDataControl, true);
  SetChecksum(frame);

  port.transmitEntry = TLogEntry{};
  port.transmitEntry.SetFrame(frame);
  port.transmitEntry.status = status::kCorrect;
  ClassifyFrame(port.transmitEntry);
  port.transmitReady = true;
  return true;
}

}  // namespace kivo
