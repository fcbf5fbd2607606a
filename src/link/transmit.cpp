#include "link/transmit.h"

#include <algorithm>
#include <cmath>

#include "link/port_record.h"
#include "link/serial_path.h"
#include "platform/time_base.h"
#include "platform/timer.h"
#include "record/frame_sink.h"

namespace kivo {

namespace {

constexpr std::uint32_t kTimerResolution = 10;
// A short wait whose timer does not come (no timer at all) ends at this tick.
constexpr std::uint32_t kShortWaitTicks = 3;

std::uint32_t RoundHalfEven(double value) {
  const double rounded = std::nearbyint(value);
  return rounded <= 0 ? 0u : static_cast<std::uint32_t>(rounded);
}

std::uint32_t SafeBaud(std::uint32_t baud) {
  return baud == 0 ? 9600 : baud;
}

bool IsSendNoReply(std::uint8_t control) {
  return (control & 0x4F) == 0x44;
}

// The copy a repetition sends again. A request that expects an answer arms
// the response wait of the procedures.
void KeepRepetitionCopy(PortRecord& port, const TLogEntry& entry) {
  TransmitState& tx = port.transmit;
  const PortFunction function = port.params.function;
  if (function == PortFunction::Secondary) {
    tx.repetitionCopy = entry;
    tx.haveRepetitionCopy = true;
    return;
  }
  if (function != PortFunction::Primary && function != PortFunction::Unassigned) return;
  const bool singleCharacter = entry.byteCount == 1 && entry.control == ft12::kSingleCharacter;
  if (singleCharacter || entry.status == status::kFreeOctets) return;
  if ((entry.control & ft12::kPrm) == 0) return;
  if (ft12::ExpectsAnswer(entry.control & ft12::kFunctionMask)) {
    tx.repetitionCopy = entry;
    tx.haveRepetitionCopy = true;
    port.responseExpected = true;
    port.responseTimeoutRequested = true;
    port.pendingAnswer = 255;
  } else {
    port.responseExpected = false;
  }
}

void TransmitFrame(LinkContext& link, PortRecord& port) {
  TLogEntry& entry = port.transmitEntry;
  port.transmitReady = false;
  entry.channel = port.transmitChannel;
  entry.byteCount = std::min<std::uint16_t>(entry.byteCount, TLogEntry::kMaxByteCount);
  ClassifyFrame(entry);
  if (entry.status == status::kFreeOctets) entry.frameKind = kFrameVariable;
  if (port.serial) port.serial->Write(entry.Frame());
  KeepRepetitionCopy(port, entry);
  port.transmitLamp.Light();
  link.sink.Append(entry);
}

std::uint32_t SendNoReplyAllowance(const PortRecord& port) {
  return IsSendNoReply(port.transmitEntry.control) ? port.transmit.fourCharacterTime : 0;
}

}  // namespace

bool RtsSwitched(const PortRecord& port) {
  return port.params.rtsFunction == 2 || port.params.rtsFunction == 3;
}

bool RtsByDriver(const PortRecord& port) {
  return port.params.rtsFunction == PortParams::kRtsByDriver;
}

bool RtsIdleState(const PortRecord& port) {
  return port.params.rtsFunction == 0 || port.params.rtsFunction == 3;
}

void SetRts(LinkContext& link, PortRecord& port, bool on, bool logChange) {
  if (port.serial) port.serial->SetRts(on);
  const bool changed = port.transmit.rts != on;
  port.transmit.rts = on;
  if (logChange && changed) LogEvent(link, port, event::kRtsChanged, on ? 1 : 0);
}

void ContinueTransmit(LinkContext& link, PortRecord& port) {
  TransmitState& tx = port.transmit;
  while (tx.step != TransmitStep::Idle && Expired(link, port)) {
    switch (tx.step) {
      case TransmitStep::SendDelay:
        tx.step = TransmitStep::RtsLead;
        if (RtsSwitched(port)) {
          SetRts(link, port, !RtsIdleState(port), true);
          Wait(link, port, port.params.rtsLead);
        }
        break;
      case TransmitStep::RtsLead: {
        const std::uint32_t octets = port.transmitEntry.byteCount;
        TransmitFrame(link, port);
        tx.transmitting = true;
        tx.step = TransmitStep::Writing;
        Wait(link, port, CharacterTime(octets, port.params.baud) + SendNoReplyAllowance(port));
        break;
      }
      case TransmitStep::Writing:
        tx.transmitting = false;
        if (port.responseTimeoutRequested) {
          port.responseTimeoutRequested = false;
          port.responseTimeoutArmed = true;
          port.responseDeadline =
              link.time.tickCounter + link.time.TicksFor(port.params.responseTimeout / 1000.0);
        }
        tx.step = TransmitStep::RtsLag;
        if (RtsSwitched(port)) {
          const std::uint32_t allowance = SendNoReplyAllowance(port);
          const std::uint32_t lag = port.params.rtsLag;
          Wait(link, port, lag > allowance ? lag - allowance : 0);
        }
        break;
      case TransmitStep::RtsLag:
        if (RtsSwitched(port)) SetRts(link, port, RtsIdleState(port), true);
        tx.step = TransmitStep::Idle;
        break;
      case TransmitStep::Idle:
        break;
    }
  }
}

bool StartTransmit(LinkContext& link, PortRecord& port) {
  if (!port.open || !port.transmitReady || port.transmit.step != TransmitStep::Idle) return false;
  port.transmit.step = TransmitStep::SendDelay;
  Wait(link, port, port.params.sendDelay);
  ContinueTransmit(link, port);
  return true;
}

bool SendFrame(LinkContext& link, PortRecord& port, const OutgoingFrame& frame) {
  TakeFrame(port, frame);
  return StartTransmit(link, port);
}

bool SendFixed(LinkContext& link, PortRecord& port, FixedRequest request) {
  OutgoingFrame frame;
  frame.length = EncodeFixed(port, request, frame.Buffer());
  return SendFrame(link, port, frame);
}

bool RepeatLastFrame(LinkContext& link, PortRecord& port) {
  if (!port.transmit.haveRepetitionCopy || port.transmit.step != TransmitStep::Idle) return false;
  port.transmitEntry = port.transmit.repetitionCopy;
  port.transmitEntry.status = status::kFcbNotToggled;
  port.transmitReady = true;
  return StartTransmit(link, port);
}

bool TransmitIdle(const PortRecord& port) {
  return port.transmit.step == TransmitStep::Idle;
}

bool Expired(const LinkContext& link, const PortRecord& port) {
  return link.time.Reached(port.transmit.deadline);
}

void CancelTransmitTimer(LinkContext& link, PortRecord& port) {
  if (port.transmit.timerId != 0 && link.timers) link.timers->Cancel(port.transmit.timerId);
  port.transmit.timerId = 0;
}

void Wait(LinkContext& link, PortRecord& port, std::uint32_t ms) {
  TransmitState& tx = port.transmit;
  const std::uint32_t tick = link.time.tickCounter;
  CancelTransmitTimer(link, port);
  if (ms < 1) {
    tx.deadline = tick;
    return;
  }
  // The port keeps being read while the sequence waits: a short wait runs on
  // a timer of its exact length, a long one on the 10 ms grid of the timer
  // with the tick deadline behind it.
  const bool shortWait = ms <= kLongestShortWait;
  tx.deadline = shortWait ? tick + kShortWaitTicks : tick + link.time.TicksFor(ms * 0.0011) + 1;
  if (!link.timers) return;
  const std::uint32_t length = shortWait ? ms : ((ms + 5) / kTimerResolution) * kTimerResolution;
  const std::uint32_t generation = ++tx.timerGeneration;
  tx.timerId = link.timers->Start(length, [&link, &port, generation] {
    TransmitState& state = port.transmit;
    if (state.timerId == 0 || state.timerGeneration != generation) return;
    state.deadline = link.time.tickCounter;
    state.timerId = 0;
    PostLinkStep(port);
    RunPostedLinkSteps(link);
  });
}

void EndCharacterTime(LinkContext& link, PortRecord& port) {
  if (port.transmit.step != TransmitStep::Writing) return;
  CancelTransmitTimer(link, port);
  port.transmit.deadline = link.time.tickCounter;
}

std::uint32_t CharacterTime(std::uint32_t octets, std::uint32_t baud) {
  const double ms = (static_cast<double>(octets) * 11000.0 + 6000.0) / SafeBaud(baud);
  return RoundHalfEven(ms) + 2;
}

std::uint32_t FourCharacterTime(std::uint32_t baud) {
  return 44000 / SafeBaud(baud) + 1;
}

std::uint32_t CharacterGap(std::uint32_t baud) {
  return RoundHalfEven(704000.0 / SafeBaud(baud)) + 300;
}

}  // namespace kivo
