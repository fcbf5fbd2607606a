#include "link/secondary.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/port_record.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/time_base.h"
#include "platform/timer.h"
#include "record/frame_status.h"
#include "record/general_params.h"

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
constexpr std::size_t kTimeTagAt = at::kElements;  // the time of a type 6 frame
constexpr std::uint8_t kSummerTimeBit = 0x80;
constexpr std::uint32_t kHandshakeTimerMs = 170;

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

void ProcessUserData(LinkContext& link, PortRecord& port, TLogEntry& entry) {
  if (port.linkTest.ltNoUserData || entry.byteCount <= at::kTyp) return;
  const std::uint8_t typ = entry.frame[at::kTyp];
  if (typ == kTypeGeneralCommand) link.source.OnGeneralCommand(port, entry);
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
  link.source.OnAsduReceived(port, entry);
}

void TakeReset(LinkContext& link, PortRecord& port, const TLogEntry& entry, int code) {
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
  StopHandshakes(link);
  link.source.StopSending(address);
  link.source.EndDisturbanceTransfer(port, address);
}

// Turns a request into the pending request (None: no answer).
PendingRequest RequestOf(LinkContext& link, PortRecord& port, TLogEntry& entry) {
  const int code = entry.control & kFunctionMask;
  const bool broadcast = entry.linkAddress == kBroadcast;
  const bool repetition = entry.status == status::kFcbNotToggled;
  switch (code) {
    case fc::kResetRemoteLink:
    case fc::kResetFcb:
      TakeReset(link, port, entry, code);
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
        ProcessUserData(link, port, entry);
        const std::uint8_t typ = entry.byteCount > at::kTyp ? entry.frame[at::kTyp] : 0;
        if (typ >= kFirstDisturbanceType && typ <= kLastDisturbanceType) {
          link.source.OnDisturbanceAsdu(port, entry);
        }
      }
      return code == fc::kSendConfirm ? PendingRequest::Acknowledge : PendingRequest::None;
    case fc::kRequestAccessDemand:
      return PendingRequest::StatusOfLink;
    default:
      return PendingRequest::NotImplemented;
  }
}

// Class 1 availability before an answer: the engine's own items first, then
// the operator's telegrams into the slots still free.
void ComputeClass1(LinkContext& link, PortRecord& port, bool answeringClass1) {
  SendSlots& slots = port.send;
  slots.Clear();
  // The link test can keep the command-response simulation out of it.
  int internal = port.linkTest.ltNoUserData ? 0 : link.source.CountPendingResponses(port);
  if (IdentificationPending(port)) ++internal;
  if (CurrentEcho(port) != nullptr) ++internal;
  if (internal >= 1) slots.nextSend = SendSlots::kEngineItem;
  if (internal >= 2) slots.followSend = SendSlots::kEngineItem;
  link.source.SelectDueIntoFreeSlots(port, answeringClass1);
  const int transfer = link.source.DisturbanceClass1Items(port);
  for (int i = 0; i < transfer; ++i) {
    if (slots.nextSend == 0) {
      slots.nextSend = SendSlots::kEngineItem;
    } else if (slots.followSend == 0) {
      slots.followSend = SendSlots::kEngineItem;
    }
  }
}

void SendIdentification(LinkContext& link, PortRecord& port, OutgoingFrame& out) {
  SecondaryState& s = port.secondary;
  std::uint8_t cause = kCauseResetFcb;
  if (TestListBit(s.resetCuBits, port.currentIndex)) {
    SetListBit(s.resetCuBits, port.currentIndex, false);
    cause = kCauseResetCu;
  } else {
    SetListBit(s.resetFcbBits, port.currentIndex, false);
  }
  if (!link.source.BuildOperatorIdentification(port, out)) BuildIdentification(port, cause, out);
}

// The time synchronisation sent back as it was received, under the address
// served, with the time of now.
void SendEcho(LinkContext& link, PortRecord& port, EchoSlot& slot, OutgoingFrame& out) {
  slot.filled = false;
  if (slot.length < at::kCommonAddress + 3) {
    out.length = EncodeFixed(port, FixedRequest::NoData, out.Buffer());
    return;
  }
  const std::uint8_t address = port.CurrentAddress();
  std::array<std::uint8_t, EchoSlot::kCapacity> asdu{};
  const std::size_t asduLength = slot.length - at::kTyp - kTrailer;
  std::copy_n(slot.octets.begin() + at::kTyp, asduLength, asdu.begin());
  if (link.general.separateCommonAddress == 0) asdu[at::kCommonAddress - at::kTyp] = address;
  if (asdu[0] == kTypeTimeSync && slot.length >= kTimeTagAt + 4 + kTrailer) {
    const std::uint32_t ms = link.time.TimeOfDayMs();
    const std::uint32_t inMinute = ms % 60000;
    std::uint8_t* tag = asdu.data() + kTimeTagAt - at::kTyp;
    tag[0] = static_cast<std::uint8_t>(inMinute);
    tag[1] = static_cast<std::uint8_t>(inMinute >> 8);
    tag[2] = static_cast<std::uint8_t>((ms / 60000) % 60);
    tag[3] = static_cast<std::uint8_t>(((ms / 3600000) % 24) |
                                       (link.general.summerTime != 0 ? kSummerTimeBit : 0));
  }
  const std::uint8_t control = CompleteControl(port, kUserDataControl, true);
  out.length =
      BuildVariableFrame(control, address, std::span(asdu).first(asduLength), out.Buffer());
}

// The class 1 answer: identification, echo, simulated response, operator
// telegram, disturbance data or no data, the first that applies.
void AnswerClass1(LinkContext& link, PortRecord& port, OutgoingFrame& out) {
  SendSlots& slots = port.send;
  port.acd = slots.followSend != 0;
  if (IdentificationPending(port)) {
    SendIdentification(link, port, out);
    return;
  }
  if (EchoSlot* slot = CurrentEcho(port)) {
    SendEcho(link, port, *slot, out);
    return;
  }
  if (!port.linkTest.ltNoUserData && link.source.CountPendingResponses(port) > 0 &&
      link.source.SendPendingResponse(port, out)) {
    return;
  }
  if (slots.nextSend != 0 && slots.nextSend != SendSlots::kEngineItem &&
      link.source.SendSelected(port, out)) {
    return;
  }
  if (link.source.NextDisturbanceTelegram(port, out)) return;
  out = OutgoingFrame{};
  out.length = EncodeFixed(port, FixedRequest::NoData, out.Buffer());
}

void Answer(LinkContext& link, PortRecord& port, PendingRequest request) {
  ComputeClass1(link, port, request == PendingRequest::Class1);
  port.acd = port.send.nextSend != 0;
  OutgoingFrame frame;
  switch (request) {
    case PendingRequest::None:
      return;
    case PendingRequest::RepeatLastAnswer:
      if (RepeatLastFrame(link, port)) return;
      frame.length = EncodeFixed(port, FixedRequest::NoData, frame.Buffer());
      break;
    case PendingRequest::Class2:
      port.send.nextSend = port.send.class2Send;
      if (port.send.class2Send == 0 || !link.source.SendSelected(port, frame)) {
        frame = OutgoingFrame{};
        frame.length = EncodeFixed(port, FixedRequest::NoData, frame.Buffer());
      }
      break;
    case PendingRequest::Class1:
      AnswerClass1(link, port, frame);
      break;
    case PendingRequest::Acknowledge:
      frame.length = EncodeFixed(port, FixedRequest::PositiveAck, frame.Buffer());
      break;
    case PendingRequest::StatusOfLink:
      frame.length = EncodeFixed(port, FixedRequest::StatusOfLink, frame.Buffer());
      break;
    case PendingRequest::NotImplemented:
      frame.length = EncodeFixed(port, FixedRequest::NotImplemented, frame.Buffer());
      break;
  }
  SendFrame(link, port, frame);
}

bool DsrOn(PortRecord& port) {
  return port.serial && (port.serial->ModemStatus() & kModemDsr) != 0;
}

void SetDtr(LinkContext& link, PortRecord& port, bool on) {
  if (port.serial) port.serial->SetDtr(on);
  LogEvent(link, port, on ? event::kDtrOn : event::kDtrOff, 0);
}

}  // namespace

void BuildIdentification(PortRecord& port, std::uint8_t cause, OutgoingFrame& out) {
  const std::uint8_t address = port.CurrentAddress();
  constexpr std::size_t kTextLength = sizeof kIdentificationText - 1;
  std::array<std::uint8_t, 7 + kTextLength> asdu{};
  asdu[at::kTyp - at::kTyp] = kTypeIdentification;
  asdu[at::kVsq - at::kTyp] = kIdentificationVsq;
  asdu[at::kCot - at::kTyp] = cause;
  asdu[at::kCommonAddress - at::kTyp] = address;
  asdu[at::kFun - at::kTyp] = kFunctionTypeGeneral;
  asdu[at::kInf - at::kTyp] = cause == kCauseResetCu ? kInfoResetCu : kInfoResetFcb;
  asdu[at::kElements - at::kTyp] = kCompatibilityLevel;
  std::memcpy(&asdu[at::kElements - at::kTyp + 1], kIdentificationText, kTextLength);
  // Sent as it stands: no ACD and no link-test manipulation.
  port.lastControl = kUserDataControl;
  out = OutgoingFrame{};
  out.length = BuildVariableFrame(kUserDataControl, address, asdu, out.Buffer());
}

void OnRequest(LinkContext& link, PortRecord& port, TLogEntry& entry) {
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
  PendingRequest request = RequestOf(link, port, entry);
  // A broadcast is never answered.
  if (entry.linkAddress == kBroadcast) request = PendingRequest::None;
  s.pending = request;
  port.requestUnanswered = request != PendingRequest::None;
}

void SecondaryStep(LinkContext& link, PortRecord& port) {
  SecondaryState& s = port.secondary;
  if (port.send.operatorRequest) {
    link.source.SelectDue(port);
    OutgoingFrame frame;
    if (port.send.nextSend != 0 && link.source.SendSelected(port, frame)) {
      SendFrame(link, port, frame);
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
    SendFixed(link, port, FixedRequest::NoData);
    return;
  }
  Answer(link, port, request);
}

void PrepareSecondary(LinkContext& link, PortRecord& port) {
  DtrHandshake& handshake = port.secondary.handshake;
  if (handshake.timerId != 0 && link.timers) link.timers->Cancel(handshake.timerId);
  port.secondary = SecondaryState{};
  port.send = SendSlots{};
  StopHandshakes(link);
}

bool StartHandshake(LinkContext& link, PortRecord& port, std::uint32_t delayMs) {
  DtrHandshake& h = port.secondary.handshake;
  port.params.rtsFunction = 0;
  if (port.serial) {
    port.serial->SetRts(true);
    port.serial->SetDtr(false);
  }
  port.transmit.rts = true;
  const bool dcd = port.serial && (port.serial->ModemStatus() & kModemDcd) != 0;
  if (!dcd || h.state != HandshakeState::Idle) {
    LogEvent(link, port, event::kHandshakeRefused, 0);
    return false;
  }
  h.state = HandshakeState::DtrOn;
  h.listRunning = true;
  h.active = true;
  h.delayMs = delayMs;
  SetDtr(link, port, true);
  h.deadline = link.time.tickCounter + 1 + link.time.TicksFor(0.17);
  if (OneShotTimer* timers = link.timers) {
    const std::uint32_t generation = ++h.timerGeneration;
    h.timerId = timers->Start(kHandshakeTimerMs, [&link, &port, generation] {
      DtrHandshake& state = port.secondary.handshake;
      if (state.timerGeneration != generation || state.state != HandshakeState::DtrOn) return;
      state.deadline = link.time.tickCounter;
      state.timerId = 0;
      PostLinkStep(port);
    });
  }
  return true;
}

void HandshakeStep(LinkContext& link, PortRecord& port) {
  DtrHandshake& h = port.secondary.handshake;
  if (h.state == HandshakeState::Idle) return;
  const std::uint32_t tick = link.time.tickCounter;
  const std::uint32_t msPerTick = link.time.msPerTick;
  h.active = true;
  const bool dsr = DsrOn(port);
  if (dsr != h.lastDsr) {
    h.lastDsr = dsr;
    LogEvent(link, port, dsr ? event::kDsrOn : event::kDsrOff, 0);
  }
  switch (h.state) {
    case HandshakeState::Idle:
      break;
    case HandshakeState::DtrOn:
      if (!TickReached(tick, h.deadline)) break;
      SetDtr(link, port, false);
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

void StopHandshakes(LinkContext& link) {
  for (PortRecord& port : link.ports) {
    DtrHandshake& h = port.secondary.handshake;
    h.state = HandshakeState::Idle;
    h.listRunning = false;
    h.active = false;
  }
}

}  // namespace kivo
