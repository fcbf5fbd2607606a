#include "link/primary.h"

#include <cmath>

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

constexpr std::uint8_t kNoAnswer = 255;
constexpr std::uint8_t kFirstDisturbanceType = 23;
constexpr std::uint8_t kLastDisturbanceType = 31;
// cbVwE5: 0 = 0xE5 for acknowledgements and no data, 2 = for acknowledgements only.
constexpr std::uint32_t kE5ForNoData = 0;
constexpr std::uint32_t kE5ForAckOnly = 2;

bool ExpectsAnswer(const TLogEntry& entry) {
  if (entry.status == status::kFreeOctets || entry.control == kSingleCharacter) return false;
  if ((entry.control & kPrm) == 0) return false;
  const int code = entry.control & kFunctionMask;
  return code <= 3 || (code >= 7 && code <= 11);
}

bool IsSingleCharacter(const TLogEntry& entry) {
  return entry.byteCount == 1 && entry.frame[0] == kSingleCharacter;
}

// The response time-out ran out, or nothing was left to wait for.
bool TimedOut(const Instance& instance, const PortRecord& port) {
  if (port.responseTimeoutRequested) return false;
  if (!port.responseTimeoutArmed) return true;
  return TickReached(instance.timeBase.tickCounter, port.responseDeadline);
}

void ClearResponseWait(PortRecord& port) {
  port.responseExpected = false;
  port.responseTimeoutRequested = false;
  port.responseTimeoutArmed = false;
}

void LinkLost(Instance& instance, PortRecord& port) {
  if (TestListBit(port.notReset, port.currentIndex)) return;
  SetListBit(port.notReset, port.currentIndex, true);
  LogEvent(instance, port, event::kLinkLost, port.CurrentAddress());
  instance.Events().PortStatusChanged(port.index);
}

void LinkEstablished(Instance& instance, PortRecord& port) {
  if (!TestListBit(port.notReset, port.currentIndex)) return;
  SetListBit(port.notReset, port.currentIndex, false);
  LogEvent(instance, port, event::kLinkEstablished, port.CurrentAddress());
  instance.Events().PortStatusChanged(port.index);
  OnLinkEvent(instance, port, kTriggerLinkEstablished);
}

void NextAddress(PortRecord& port) {
  PrimaryState& p = port.primary;
  p.cycle = PrimaryCycle::CycleStart;
  p.repetitions = 0;
  const int count = port.params.EffectiveAddressCount();
  port.currentIndex = port.currentIndex + 1 >= count ? 0 : port.currentIndex + 1;
}

// Sends what the encoder built; the cycle waits for an answer when the frame
// asks for one.
void SendBuilt(Instance& instance, PortRecord& port, PrimaryCycle otherwise) {
  const bool expects = ExpectsAnswer(port.transmitEntry);
  StartTransmit(instance, port);
  port.primary.cycle = expects ? PrimaryCycle::AwaitAnswer : otherwise;
}

void SendFixed(Instance& instance, PortRecord& port, FixedRequest request) {
  EncodeFixed(port, request);
  StartTransmit(instance, port);
}

bool SendDueOperatorTelegram(Instance& instance, PortRecord& port, PrimaryCycle otherwise) {
  SelectDue(instance, port);
  if (port.send.nextSend == 0 || !SendSelected(instance, port)) return false;
  SendBuilt(instance, port, otherwise);
  return true;
}

void SendPoll(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  const std::uint32_t msPerTick =
      instance.timeBase.msPerTick == 0 ? 1 : instance.timeBase.msPerTick;
  p.pollDeadline = instance.timeBase.tickCounter +
                   static_cast<std::uint32_t>(
                       std::lround(port.params.pollCycle / static_cast<double>(msPerTick)));
  SendFixed(instance, port,
            NextPollIsClass1(port) ? FixedRequest::PollClass1 : FixedRequest::PollClass2);
  p.cycle = PrimaryCycle::AwaitAnswer;
  p.lastRequestKind = kLastRequestPoll;
}

// State 1: reset, operator telegram, simulated response, disturbance order
// or poll for the current address.
void CycleStart(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  p.lastRequestKind = 0;
  if (TestListBit(port.notReset, port.currentIndex)) {
    SendFixed(instance, port, FixedRequest::Reset);
    p.repetitions = port.params.repetitions;
    p.cycle = PrimaryCycle::AwaitResetAck;
    return;
  }
  if (SendDueOperatorTelegram(instance, port, PrimaryCycle::CycleStart)) return;
  if (!port.linkTest.ltNoUserData && SendPendingResponse(instance, port)) {
    SendBuilt(instance, port, PrimaryCycle::CycleStart);
    return;
  }
  if (NextDisturbanceTelegram(instance, port)) {
    StartTransmit(instance, port);
    p.cycle = PrimaryCycle::AwaitAnswer;
    return;
  }
  const bool acd = TestListBit(p.acdMemory, port.currentIndex);
  if (!acd && !TickReached(instance.timeBase.tickCounter, p.pollDeadline)) return;
  SendPoll(instance, port);
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
bool AwaitAnswer(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  if (port.pendingAnswer == kNoAnswer) {
    if (!TimedOut(instance, port)) return false;
    ClearResponseWait(port);
    if (p.repetitions >= port.params.repetitions) {
      LinkLost(instance, port);
      EndDisturbanceTransfer(instance, port);
      NextAddress(port);
      return false;
    }
    ++p.repetitions;
    if (!RepeatLastFrame(instance, port)) NextAddress(port);
    return false;
  }
  const std::uint8_t answer = TakeAnswer(port);
  p.repetitions = 0;
  StoreAcd(port, answer);
  if ((answer & kFunctionMask) != fc::kNack && (answer & kDfc) == 0) {
    NextAddress(port);
    return true;
  }
  p.waitDeadline = instance.timeBase.tickCounter +
                   SecondsToTicks(port.params.linkWait, instance.timeBase.msPerTick);
  p.cycle = PrimaryCycle::WaitAfterNegative;
  return false;
}

void AwaitResetAck(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  if (port.pendingAnswer == kNoAnswer) {
    if (!TimedOut(instance, port)) return;
    ClearResponseWait(port);
    NextAddress(port);
    return;
  }
  const std::uint8_t answer = TakeAnswer(port);
  if ((answer & kFunctionMask) == fc::kAck) {
    StoreAcd(port, answer);
    LinkEstablished(instance, port);
    SetListBit(port.fcbBits, port.currentIndex, false);
    p.repetitions = 0;
  }
  p.cycle = PrimaryCycle::CycleStart;
}

void WaitAfterNegative(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  const std::uint32_t tick = instance.timeBase.tickCounter;
  if (SendDueOperatorTelegram(instance, port, PrimaryCycle::WaitAfterNegative)) {
    p.waitDeadline = tick + SecondsToTicks(port.params.linkWait, instance.timeBase.msPerTick);
    return;
  }
  if (!TickReached(tick, p.waitDeadline)) return;
  p.lastRequestKind = 0;
  SendFixed(instance, port, FixedRequest::RequestStatus);
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

void OnAnswer(Instance& instance, PortRecord& port, TLogEntry& entry) {
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
    OnDisturbanceAsdu(instance, port, entry);
  } else if (!port.linkTest.ltNoUserData) {
    OnAsduReceived(instance, port, entry);
  }
}

void PrimaryStep(Instance& instance, PortRecord& port) {
  PrimaryState& p = port.primary;
  const bool mayInterject =
      p.cycle == PrimaryCycle::CycleStart || p.cycle == PrimaryCycle::WaitAfterNegative;
  if (port.send.operatorRequest && mayInterject) {
    SelectDue(instance, port);
    if (port.send.nextSend != 0 && SendSelected(instance, port)) {
      StartTransmit(instance, port);
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
        CycleStart(instance, port);
        return;
      case PrimaryCycle::AwaitAnswer:
        if (!AwaitAnswer(instance, port)) return;
        break;
      case PrimaryCycle::AwaitResetAck:
        AwaitResetAck(instance, port);
        return;
      case PrimaryCycle::WaitAfterNegative:
        WaitAfterNegative(instance, port);
        return;
    }
  }
}

void PreparePrimary(Instance& instance, PortRecord& port) {
  port.primary = PrimaryState{};
  port.primary.pollDeadline = instance.timeBase.tickCounter;
  port.send = SendSlots{};
  if (port.params.function != PortFunction::Primary) port.primary.cycle = PrimaryCycle::NotPrimary;
}

}  // namespace kivo
