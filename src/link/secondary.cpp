#include "link/secondary.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/instance.h"
#include "link/disturbance.h"
#include "link/frame_codec.h"
#include "link/serial_path.h"
#include "platform/time_base.h"
#include "record/frame_status.h"
#include "send/send_execution.h"

namespace kivo {

namespace {

using namespace ft12;

constexpr std::uint8_t kTypeTimeSync = 6;
constexpr std::uint8_t kTypeIdentification = 5;
constexpr std::uint8_t kTypeGeneralCommand = 20;
constexpr std::uint8_t kFirstDisturbanceType = 23;
constexpr std::uint8_t kLastDisturbanceType = 31;
constexpr std::uint8_t kIdentificationVsq = 0x81;
constexpr std::uint8_t kFunctionTypeGeneral = 128;
constexpr std::uint8_t kInfoResetFcb = 2;
constexpr std::uint8_t kInfoResetCu = 3;
constexpr std::uint8_t kCompatibilityLevel = 2;
constexpr std::size_t kTimeTagAt = 12;  // after FUN and INF of a type 6 frame
constexpr std::uint8_t kSummerTimeBit = 0x80;
constexpr std::uint32_t kHandshakeTimerMs = 170;

void PutFrame(PortRecord& port, std::span<const std::uint8_t> octets) {
  port.transmitEntry = TLogEntry{};
  port.transmitEntry.SetFrame(octets);
  port.transmitEntry.status = status::kCorrect;
  ClassifyFrame(port.transmitEntry);
  port.transmitReady = true;
}

std::uint8_t Sum(std::span<const std::uint8_t> octets) {
  unsigned sum = 0;
  for (std::uint8_t octet : octets) sum += octet;
  return static_cast<std::uint8_t>(sum);
}

bool IsSingleCharacter(const TLogEntry& entry) {
  return entry.byteCount == 1 && entry.frame[0] == kSingleCharacter;
}

bool IdentificationPending(const PortRecord& port) {
  const SecondaryState& s = port.secondary;
  return TestListBit(s.resetCuBits, port.currentIndex) ||
         TestListBit(s.resetFcbBits, port.currentIndex);
}

EchoSlot* CurrentEcho(PortRecord& port) {
  if (port.currentIndex < 0 || port.currentIndex >= 31) return nullptr;
  EchoSlot& slot = port.secondary.echo[static_cast<std::size_t>(port.currentIndex)];
  return slot.filled ? &slot : nullptr;
}

void KeepEcho(EchoSlot& slot, const TLogEntry& entry) {
  const auto frame = entry.Frame();
  slot.length = static_cast<std::uint8_t>(std::min(frame.size(), EchoSlot::kCapacity));
  std::copy_n(frame.begin(), slot.length, slot.octets.begin());
  slot.status = entry.status;
  slot.filled = true;
}

void ProcessUserData(Instance& instance, PortRecord& port, TLogEntry& entry) {
  if (port.linkTest.ltNoUserData || entry.byteCount <= at::kTyp) return;
  const std::uint8_t typ = entry.frame[at::kTyp];
  if (typ == kTypeGeneralCommand) OnGeneralCommand(instance, port, entry);
  if (typ == kTypeTimeSync) {
    if (entry.linkAddress == kBroadcast) {
      const int count = port.params.EffectiveAddressCount();
      for (int i = 0; i < count && i < 31; ++i) {
        KeepEcho(port.secondary.echo[static_cast<std::size_t>(i)], entry);
      }
    } else if (port.currentIndex >= 0 && port.currentIndex < 31) {
      KeepEcho(port.secondary.echo[static_cast<std::size_t>(port.currentIndex)], entry);
    }
    return;
  }
  OnAsduReceived(instance, port, entry);
}

void TakeReset(Instance& instance, PortRecord& port, const TLogEntry& entry, int code) {
  SecondaryState& s = port.secondary;
  const auto address = static_cast<std::uint8_t>(entry.linkAddress);
  const int count = port.params.EffectiveAddressCount();
  // A broadcast reset opens every station of the list.
  const int first = address == kBroadcast ? 0 : port.currentIndex;
  const int last = address == kBroadcast ? count - 1 : port.currentIndex;
  for (int i = first; i <= last; ++i) {
    SetListBit(port.notReset, i, false);
    SetListBit(port.fcbBits, i, false);
    SetListBit(code == fc::kResetRemoteLink ? s.resetCuBits : s.resetFcbBits, i, true);
  }
  port.linkResetAddress = address;
  StopHandshakes(instance);
  StopSending(instance, address);
  EndDisturbanceTransfer(instance, port);
}

// Turns a request into the pending request (None: no answer).
PendingRequest RequestOf(Instance& instance, PortRecord& port, TLogEntry& entry) {
  const int code = entry.control & kFunctionMask;
  const bool broadcast = entry.linkAddress == kBroadcast;
  const bool repetition = entry.status == status::kFcbNotToggled;
  switch (code) {
    case fc::kResetRemoteLink:
    case fc::kResetFcb:
      TakeReset(instance, port, entry, code);
      return PendingRequest::Acknowledge;
    case fc::kRequestStatus:
      return PendingRequest::StatusOfLink;
    default:
      break;
  }
  if (!broadcast && TestListBit(port.notReset, port.currentIndex)) return PendingRequest::None;
  switch (code) {
    case fc::kRequestClass1:
    case fc::kRequestClass2:
      port.answeredAddress = static_cast<std::uint8_t>(entry.linkAddress);
      if (repetition && port.currentIndex == port.previousIndex) {
        return PendingRequest::RepeatLastAnswer;
      }
      return code == fc::kRequestClass1 ? PendingRequest::Class1 : PendingRequest::Class2;
    case fc::kSendConfirm:
    case fc::kSendNoReply:
      if (repetition) return PendingRequest::Acknowledge;
      if (entry.status >= status::kSingleCharacterRefused) {
        ProcessUserData(instance, port, entry);
        const std::uint8_t typ = entry.byteCount > at::kTyp ? entry.frame[at::kTyp] : 0;
        if (typ >= kFirstDisturbanceType && typ <= kLastDisturbanceType) {
          OnDisturbanceAsdu(instance, port, entry);
        }
      }
      return code == fc::kSendConfirm ? PendingRequest::Acknowledge : PendingRequest::None;
    case 8:  // request for access demand
      return PendingRequest::StatusOfLink;
    default:
      return PendingRequest::NotImplemented;
  }
}

// Class 1 availability before an answer: the engine's own items first, then
// the operator's telegrams into the slots still free.
void ComputeClass1(Instance& instance, PortRecord& port, bool answeringClass1) {
  SendSlots& slots = port.send;
  slots.Clear();
  // The link test can keep the command-response simulation out of it.
  int internal = port.linkTest.ltNoUserData ? 0 : CountPendingResponses(instance, port);
  if (IdentificationPending(port)) ++internal;
  if (CurrentEcho(port) != nullptr) ++internal;
  if (internal >= 1) slots.nextSend = SendSlots::kEngineItem;
  if (internal >= 2) slots.followSend = SendSlots::kEngineItem;
  SelectDueIntoFreeSlots(instance, port, answeringClass1);
  const int transfer = DisturbanceClass1Items(instance, port);
  for (int i = 0; i < transfer; ++i) {
    if (slots.nextSend == 0) {
      slots.nextSend = SendSlots::kEngineItem;
    } else if (slots.followSend == 0) {
      slots.followSend = SendSlots::kEngineItem;
    }
  }
}

void SendIdentification(Instance& instance, PortRecord& port) {
  SecondaryState& s = port.secondary;
  std::uint8_t cause = kCauseResetFcb;
  if (TestListBit(s.resetCuBits, port.currentIndex)) {
    SetListBit(s.resetCuBits, port.currentIndex, false);
    cause = kCauseResetCu;
  } else {
    SetListBit(s.resetFcbBits, port.currentIndex, false);
  }
  if (!BuildOperatorIdentification(instance, port)) BuildIdentification(port, cause);
}

void SendEcho(Instance& instance, PortRecord& port, EchoSlot& slot) {
  slot.filled = false;
  if (slot.length < at::kCommonAddress + 3) {
    EncodeFixed(port, FixedRequest::NoData);
    return;
  }
  std::array<std::uint8_t, EchoSlot::kCapacity> frame = slot.octets;
  const std::size_t length = slot.length;
  const std::uint8_t address = port.CurrentAddress();
  const auto userOctets = static_cast<std::uint8_t>(length - kVariableOverhead);
  frame[0] = kStartVariable;
  frame[at::kLength] = userOctets;
  frame[at::kLengthRepeat] = userOctets;
  frame[at::kSecondStart] = kStartVariable;
  frame[at::kVariableAddress] = address;
  if (instance.general.separateCommonAddress == 0) frame[at::kCommonAddress] = address;
  if (frame[at::kTyp] == kTypeTimeSync && length >= kTimeTagAt + 4 + 2) {
    const std::uint32_t ms = instance.timeBase.TimeOfDayMs();
    const std::uint32_t inMinute = ms % 60000;
    frame[kTimeTagAt] = static_cast<std::uint8_t>(inMinute);
    frame[kTimeTagAt + 1] = static_cast<std::uint8_t>(inMinute >> 8);
    frame[kTimeTagAt + 2] = static_cast<std::uint8_t>((ms / 60000) % 60);
    frame[kTimeTagAt + 3] = static_cast<std::uint8_t>(
        ((ms / 3600000) % 24) | (instance.general.summerTime != 0 ? kSummerTimeBit : 0));
  }
  frame[at::kVariableControl] = CompleteControl(port, kUserDataControl, true);
  const std::span<std::uint8_t> built(frame.data(), length);
  built[length - 2] = Sum(built.subspan(at::kVariableControl, length - 2 - at::kVariableControl));
  built[length - 1] = kEndCharacter;
  PutFrame(port, built);
}

// The class 1 answer: identification, echo, simulated response, operator
// telegram, disturbance data or no data, the first that applies.
void AnswerClass1(Instance& instance, PortRecord& port) {
  SendSlots& slots = port.send;
  port.acd = slots.followSend != 0;
  if (IdentificationPending(port)) {
    SendIdentification(instance, port);
    return;
  }
  if (EchoSlot* slot = CurrentEcho(port)) {
    SendEcho(instance, port, *slot);
    return;
  }
  if (!port.linkTest.ltNoUserData && CountPendingResponses(instance, port) > 0 &&
      SendPendingResponse(instance, port)) {
    return;
  }
  if (slots.nextSend != 0 && slots.nextSend != SendSlots::kEngineItem &&
      SendSelected(instance, port)) {
    return;
  }
  if (NextDisturbanceTelegram(instance, port)) return;
  EncodeFixed(port, FixedRequest::NoData);
}

void Answer(Instance& instance, PortRecord& port, PendingRequest request) {
  ComputeClass1(instance, port, request == PendingRequest::Class1);
  port.acd = port.send.nextSend != 0;
  switch (request) {
    case PendingRequest::None:
      return;
    case PendingRequest::RepeatLastAnswer:
      if (RepeatLastFrame(instance, port)) return;
      EncodeFixed(port, FixedRequest::NoData);
      break;
    case PendingRequest::Class2:
      port.send.nextSend = port.send.class2Send;
      if (port.send.class2Send == 0 || !SendSelected(instance, port)) {
        EncodeFixed(port, FixedRequest::NoData);
      }
      break;
    case PendingRequest::Class1:
      AnswerClass1(instance, port);
      break;
    case PendingRequest::Acknowledge:
      EncodeFixed(port, FixedRequest::PositiveAck);
      break;
    case PendingRequest::StatusOfLink:
      EncodeFixed(port, FixedRequest::StatusOfLink);
      break;
    case PendingRequest::NotImplemented:
      EncodeFixed(port, FixedRequest::NotImplemented);
      break;
  }
  StartTransmit(instance, port);
}

bool DsrOn(PortRecord& port) {
  return port.serial && (port.serial->ModemStatus() & kModemDsr) != 0;
}

void SetDtr(Instance& instance, PortRecord& port, bool on) {
  if (port.serial) port.serial->SetDtr(on);
  LogEvent(instance, port, on ? event::kDtrOn : event::kDtrOff, 0);
}

}  // namespace

void BuildIdentification(PortRecord& port, std::uint8_t cause) {
  const std::uint8_t address = port.CurrentAddress();
  constexpr std::size_t kTextLength = sizeof kIdentificationText - 1;
  constexpr std::size_t kUserOctets = 9 + kTextLength;
  std::array<std::uint8_t, kUserOctets + kVariableOverhead> frame{};
  frame[0] = kStartVariable;
  frame[at::kLength] = kUserOctets;
  frame[at::kLengthRepeat] = kUserOctets;
  frame[at::kSecondStart] = kStartVariable;
  // Sent as it stands: no ACD and no link-test manipulation.
  frame[at::kVariableControl] = kUserDataControl;
  frame[at::kVariableAddress] = address;
  frame[at::kTyp] = kTypeIdentification;
  frame[at::kVsq] = kIdentificationVsq;
  frame[at::kCot] = cause;
  frame[at::kCommonAddress] = address;
  frame[at::kCommonAddress + 1] = kFunctionTypeGeneral;
  frame[at::kCommonAddress + 2] = cause == kCauseResetCu ? kInfoResetCu : kInfoResetFcb;
  frame[at::kCommonAddress + 3] = kCompatibilityLevel;
  std::memcpy(&frame[at::kCommonAddress + 4], kIdentificationText, kTextLength);
  frame[frame.size() - 2] = Sum(std::span(frame).subspan(at::kVariableControl, kUserOctets));
  frame[frame.size() - 1] = kEndCharacter;
  port.lastControl = kUserDataControl;
  PutFrame(port, frame);
}

void OnRequest(Instance& instance, PortRecord& port, TLogEntry& entry) {
  if (entry.status == status::kPortBusy) return;
  if (IsSingleCharacter(entry)) {
    if (entry.status == status::kCorrect) entry.status = status::kUnexpectedSecondary;
    return;
  }
  if ((entry.control & kPrm) == 0) return;
  SecondaryState& s = port.secondary;
  if (s.pending != PendingRequest::None) {
    entry.status = status::kPortBusy;
    return;
  }
  PendingRequest request = RequestOf(instance, port, entry);
  // A broadcast is never answered.
  if (entry.linkAddress == kBroadcast) request = PendingRequest::None;
  s.pending = request;
  port.requestUnanswered = request != PendingRequest::None;
}

void SecondaryStep(Instance& instance, PortRecord& port) {
  SecondaryState& s = port.secondary;
  if (port.send.operatorRequest) {
    SelectDue(instance, port);
    if (port.send.nextSend != 0 && SendSelected(instance, port)) {
      StartTransmit(instance, port);
      port.send.operatorRequest = false;
      return;
    }
  }
  if (s.pending == PendingRequest::None) return;
  const PendingRequest request = s.pending;
  s.pending = PendingRequest::None;
  port.requestUnanswered = false;
  const bool poll = request == PendingRequest::Class1 || request == PendingRequest::Class2 ||
                    request == PendingRequest::RepeatLastAnswer;
  if (s.handshake.active && poll) {
    // No data is offered until the handshake has run.
    port.acd = false;
    EncodeFixed(port, FixedRequest::NoData);
    StartTransmit(instance, port);
    return;
  }
  Answer(instance, port, request);
}

void PrepareSecondary(Instance& instance, PortRecord& port) {
  DtrHandshake& handshake = port.secondary.handshake;
  if (handshake.timerId != 0 && instance.platform.timers) {
    instance.platform.timers->Cancel(handshake.timerId);
  }
  port.secondary = SecondaryState{};
  port.send = SendSlots{};
  StopHandshakes(instance);
}

bool StartHandshake(Instance& instance, PortRecord& port, std::uint32_t delayMs) {
  DtrHandshake& h = port.secondary.handshake;
  port.params.rtsFunction = 0;
  if (port.serial) {
    port.serial->SetRts(true);
    port.serial->SetDtr(false);
  }
  port.transmit.rts = true;
  const bool dcd = port.serial && (port.serial->ModemStatus() & kModemDcd) != 0;
  if (!dcd || h.state != HandshakeState::Idle) {
    LogEvent(instance, port, event::kHandshakeRefused, 0);
    return false;
  }
  h.state = HandshakeState::DtrOn;
  h.listRunning = true;
  h.active = true;
  h.delayMs = delayMs;
  SetDtr(instance, port, true);
  h.deadline =
      instance.timeBase.tickCounter + 1 + SecondsToTicks(0.17, instance.timeBase.msPerTick);
  if (OneShotTimer* timers = instance.platform.timers) {
    const std::uint32_t generation = ++h.timerGeneration;
    h.timerId = timers->Start(kHandshakeTimerMs, [&instance, &port, generation] {
      DtrHandshake& state = port.secondary.handshake;
      if (state.timerGeneration != generation || state.state != HandshakeState::DtrOn) return;
      state.deadline = instance.timeBase.tickCounter;
      state.timerId = 0;
      PostLinkStep(port);
    });
  }
  return true;
}

void HandshakeStep(Instance& instance, PortRecord& port) {
  DtrHandshake& h = port.secondary.handshake;
  if (h.state == HandshakeState::Idle) return;
  const std::uint32_t tick = instance.timeBase.tickCounter;
  const std::uint32_t msPerTick = instance.timeBase.msPerTick;
  h.active = true;
  const bool dsr = DsrOn(port);
  if (dsr != h.lastDsr) {
    h.lastDsr = dsr;
    LogEvent(instance, port, dsr ? event::kDsrOn : event::kDsrOff, 0);
  }
  switch (h.state) {
    case HandshakeState::Idle:
      break;
    case HandshakeState::DtrOn:
      if (!TickReached(tick, h.deadline)) break;
      SetDtr(instance, port, false);
      h.deadline = tick + SecondsToTicks(0.2, msPerTick);
      h.state = HandshakeState::AwaitDsr;
      break;
    case HandshakeState::AwaitDsr:
      if (!dsr && !TickReached(tick, h.deadline)) break;
      h.deadline = tick + (h.delayMs < 1 ? 0 : SecondsToTicks(h.delayMs / 1000.0, msPerTick));
      h.state = HandshakeState::RowDelay;
      break;
    case HandshakeState::RowDelay:
      if (!TickReached(tick, h.deadline)) break;
      h.deadline = tick + SecondsToTicks(3.0, msPerTick);
      h.state = HandshakeState::Settle;
      break;
    case HandshakeState::Settle:
      h.active = false;
      if ((!h.listRunning && !dsr) || TickReached(tick, h.deadline)) {
        h.listRunning = false;
        h.state = HandshakeState::Idle;
      }
      break;
  }
}

void StopHandshakes(Instance& instance) {
  for (PortRecord& port : instance.ports) {
    DtrHandshake& h = port.secondary.handshake;
    h.state = HandshakeState::Idle;
    h.listRunning = false;
    h.active = false;
  }
}

}  // namespace kivo
