#include "link/primary.h"

#include <cmath>

#include "link/port_record.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/time_base.h"
#include "record/frame_status.h"

namespace kivo {

namespace {

using namespace ft12;

constexpr std::uint8_t kNoAnswer = 255;
constexpr std::uint8_t kFirstDisturbanceType = 23;
constexpr std::uint8_t kLastDisturbanceType = 31;
// cbVwE5: 0 = 0xE5 for acknowledgements and no data, 2 = for acknowledgements only.
constexpr std::uint32_t kE5ForNoData = 0;
constexpr std::uint32_t kE5ForAckOnly = 2;

bool ExpectsAnswer(const TLogEntry& entry) {
  if (entry.status == status::kFreeOctets || entry.control == kSingleCharacter) return false;
  if ((entry.control & kPrm) == 0) return false;
  return ft12::ExpectsAnswer(entry.control & kFunctionMask);
}

bool IsSingleCharacter(const TLogEntry& entry) {
  return entry.byteCount == 1 && entry.frame[0] == kSingleCharacter;
}

// The response time-out ran out, or nothing was left to wait for.
bool TimedOut(const LinkContext& link, const PortRecord& port) {
  if (port.responseTimeoutRequested) return false;
  if (!port.responseTimeoutArmed) return true;
  return link.time.Reached(port.responseDeadline);
}

void ClearResponseWait(PortRecord& port) {
  port.responseExpected = false;
  port.responseTimeoutRequested = false;
  port.responseTimeoutArmed = false;
}

void LinkLost(LinkContext& link, PortRecord& port) {
  if (TestListBit(port.notReset, port.currentIndex)) return;
  SetListBit(port.notReset, port.currentIndex, true);
  LogEvent(link, port, event::kLinkLost, port.CurrentAddress());
  link.observer.PortStatusChanged(port.index);
}

void LinkEstablished(LinkContext& link, PortRecord& port) {
  if (!TestListBit(port.notReset, port.currentIndex)) return;
  SetListBit(port.notReset, port.currentIndex, false);
  LogEvent(link, port, event::kLinkEstablished, port.CurrentAddress());
  link.observer.PortStatusChanged(port.index);
  link.source.OnLinkEvent(port, kTriggerLinkEstablished);
}

void NextAddress(PortRecord& port) {
  PrimaryState& p = port.primary;
  p.cycle = PrimaryCycle::CycleStart;
  p.repetitions = 0;
  const int count = port.params.EffectiveAddressCount();
  port.currentIndex = port.currentIndex + 1 >= count ? 0 : port.currentIndex + 1;
}

// Sends a built frame; the cycle waits for an answer when the frame asks
// for one.
void SendBuilt(LinkContext& link, PortRecord& port, const OutgoingFrame& frame,
               PrimaryCycle otherwise) {
  TakeFrame(port, frame);
  const bool expects = ExpectsAnswer(port.transmitEntry);
  StartTransmit(link, port);
  port.primary.cycle = expects ? PrimaryCycle::AwaitAnswer : otherwise;
}

bool SendDueOperatorTelegram(LinkContext& link, PortRecord& port, PrimaryCycle otherwise) {
  link.source.SelectDue(port);
  OutgoingFrame frame;
  if (port.send.nextSend == 0 || !link.source.SendSelected(port, frame)) return false;
  SendBuilt(link, port, frame, otherwise);
  return true;
}

void SendPoll(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  const std::uint32_t msPerTick = link.time.msPerTick == 0 ? 1 : link.time.msPerTick;
  p.pollDeadline = link.time.tickCounter +
                   static_cast<std::uint32_t>(
                       std::lround(port.params.pollCycle / static_cast<double>(msPerTick)));
  SendFixed(link, port,
            NextPollIsClass1(port) ? FixedRequest::PollClass1 : FixedRequest::PollClass2);
  p.cycle = PrimaryCycle::AwaitAnswer;
  p.lastRequestKind = kLastRequestPoll;
}

// State 1: reset, operator telegram, simulated response, disturbance order
// or poll for the current address.
void CycleStart(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  p.lastRequestKind = 0;
  if (TestListBit(port.notReset, port.currentIndex)) {
    SendFixed(link, port, FixedRequest::Reset);
    p.repetitions = port.params.repetitions;
    p.cycle = PrimaryCycle::AwaitResetAck;
    return;
  }
  if (SendDueOperatorTelegram(link, port, PrimaryCycle::CycleStart)) return;
  OutgoingFrame frame;
  if (!port.linkTest.ltNoUserData && link.source.SendPendingResponse(port, frame)) {
    SendBuilt(link, port, frame, PrimaryCycle::CycleStart);
    return;
  }
  if (link.source.NextDisturbanceTelegram(port, frame)) {
    SendFrame(link, port, frame);
    p.cycle = PrimaryCycle::AwaitAnswer;
    return;
  }
  const bool acd = TestListBit(p.acdMemory, port.currentIndex);
  if (!acd && !link.time.Reached(p.pollDeadline)) return;
  SendPoll(link, port);
}

// Takes the pending answer; returns its control field.
std::uint8_t TakeAnswer(PortRecord& port) {
  const std::uint8_t answer = port.pendingAnswer;
  port.pendingAnswer = kNoAnswer;
  ClearResponseWait(port);
  return answer;
}

void StoreAcd(PortRecord& port, std::uint8_t answer) {
  SetListBit(port.primary.acdMemory, port.currentIndex, (answer & kAcd) != 0);
}

// Returns true when the cycle moved on to the next address and state 1
// should run for it at once.
bool AwaitAnswer(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  if (port.pendingAnswer == kNoAnswer) {
    if (!TimedOut(link, port)) return false;
    ClearResponseWait(port);
    if (p.repetitions >= port.params.repetitions) {
      LinkLost(link, port);
      link.source.EndDisturbanceTransfer(port, port.CurrentAddress());
      NextAddress(port);
      return false;
    }
    ++p.repetitions;
    if (!RepeatLastFrame(link, port)) NextAddress(port);
    return false;
  }
  const std::uint8_t answer = TakeAnswer(port);
  p.repetitions = 0;
  StoreAcd(port, answer);
  if ((answer & kFunctionMask) != fc::kNack && (answer & kDfc) == 0) {
    NextAddress(port);
    return true;
  }
  p.waitDeadline = link.time.tickCounter + link.time.TicksFor(port.params.linkWait);
  p.cycle = PrimaryCycle::WaitAfterNegative;
  return false;
}

void AwaitResetAck(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  if (port.pendingAnswer == kNoAnswer) {
    if (!TimedOut(link, port)) return;
    ClearResponseWait(port);
    NextAddress(port);
    return;
  }
  const std::uint8_t answer = TakeAnswer(port);
  if ((answer & kFunctionMask) == fc::kAck) {
    StoreAcd(port, answer);
    LinkEstablished(link, port);
    SetListBit(port.fcbBits, port.currentIndex, false);
    p.repetitions = 0;
  }
  p.cycle = PrimaryCycle::CycleStart;
}

void WaitAfterNegative(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  const std::uint32_t tick = link.time.tickCounter;
  if (SendDueOperatorTelegram(link, port, PrimaryCycle::WaitAfterNegative)) {
    p.waitDeadline = tick + link.time.TicksFor(port.params.linkWait);
    return;
  }
  if (!TickReached(tick, p.waitDeadline)) return;
  p.lastRequestKind = 0;
  SendFixed(link, port, FixedRequest::RequestStatus);
  p.cycle = PrimaryCycle::AwaitAnswer;
}

}  // namespace

bool NextPollIsClass1(PortRecord& port) {
  PrimaryState& p = port.primary;
  const auto i = static_cast<std::size_t>(
      port.currentIndex < 0 || port.currentIndex >= 31 ? 0 : port.currentIndex);
  bool class1 = port.params.class1Polling == 1 || TestListBit(p.acdMemory, static_cast<int>(i));
  const std::uint32_t limit = port.params.class1PollLimit;
  if (class1 && limit != 0 && p.class1Polls[i] >= limit) class1 = false;
  if (class1) {
    ++p.class1Polls[i];
  } else {
    p.class1Polls[i] = 0;
  }
  return class1;
}

void OnAnswer(LinkContext& link, PortRecord& port, TLogEntry& entry) {
  if (entry.status == status::kPortBusy) return;
  const bool single = IsSingleCharacter(entry);
  if (!single && (entry.control & kPrm) != 0) return;
  if (!port.responseExpected && port.transmitEntry.status != status::kFreeOctets) {
    entry.status = status::kUnexpectedSecondary;
    return;
  }
  port.responseExpected = false;
  if (single) {
    if (port.primary.lastRequestKind != kLastRequestPoll) {
      port.pendingAnswer = fc::kAck;
    } else if (port.params.singleCharacter == kE5ForNoData) {
      port.pendingAnswer = fc::kNoData;
    } else {
      // cbVwE5 = 2 (or 1): the single character does not answer a poll; the
      // request runs into its time-out and is repeated.
      static_assert(kE5ForAckOnly == 2);
      entry.status = status::kSingleCharacterRefused;
    }
    return;
  }
  port.pendingAnswer = entry.control;
  if ((entry.control & kFunctionMask) != fc::kUserData || entry.status < 12) return;
  if (entry.byteCount <= at::kTyp) return;
  const std::uint8_t typ = entry.frame[at::kTyp];
  if (typ >= kFirstDisturbanceType && typ <= kLastDisturbanceType) {
    link.source.OnDisturbanceAsdu(port, entry);
  } else if (!port.linkTest.ltNoUserData) {
    link.source.OnAsduReceived(port, entry);
  }
}

void PrimaryStep(LinkContext& link, PortRecord& port) {
  PrimaryState& p = port.primary;
  const bool mayInterject =
      p.cycle == PrimaryCycle::CycleStart || p.cycle == PrimaryCycle::WaitAfterNegative;
  if (port.send.operatorRequest && mayInterject) {
    link.source.SelectDue(port);
    OutgoingFrame frame;
    if (port.send.nextSend != 0 && link.source.SendSelected(port, frame)) {
      SendFrame(link, port, frame);
      port.send.operatorRequest = false;
      return;
    }
  }
  // A good answer moves on and serves the next address in the same step;
  // the bound keeps a list of silent addresses from looping here.
  for (int round = 0; round < 2; ++round) {
    switch (p.cycle) {
      case PrimaryCycle::NotPrimary:
        p.cycle = PrimaryCycle::CycleStart;
        [[fallthrough]];
      case PrimaryCycle::CycleStart:
        CycleStart(link, port);
        return;
      case PrimaryCycle::AwaitAnswer:
        if (!AwaitAnswer(link, port)) return;
        break;
      case PrimaryCycle::AwaitResetAck:
        AwaitResetAck(link, port);
        return;
      case PrimaryCycle::WaitAfterNegative:
        WaitAfterNegative(link, port);
        return;
    }
  }
}

void PreparePrimary(LinkContext& link, PortRecord& port) {
  port.primary = PrimaryState{};
  port.primary.pollDeadline = link.time.tickCounter;
  port.send = SendSlots{};
  if (port.params.function != PortFunction::Primary) port.primary.cycle = PrimaryCycle::NotPrimary;
}

}  // namespace kivo
