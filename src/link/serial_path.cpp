#include "link/serial_path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/instance.h"
#include "app/messages.h"
#include "link/frame_codec.h"
#include "platform/time_base.h"
#include "record/frame_status.h"

namespace kivo {

namespace {

constexpr std::uint8_t kLinkResetOnLinkEvent = 3;
constexpr std::uint8_t kBreakFlag = 64;  // a break is kept apart from the other line errors
constexpr int kLineErrorReads = 16;      // a port that keeps reporting errors cannot hold us
constexpr std::uint32_t kBusyWaitSleepAbove = 17;
constexpr std::uint32_t kTimerResolution = 10;
constexpr int kPostedStepPasses = 8;  // rounds of posted steps run in one call
constexpr int kTextLinkStateNone = 1184;
constexpr int kTextLinkStateAllReset = 1185;
constexpr int kTextLinkStateNotReset = 1186;
constexpr std::size_t kStatusCellLength = 15;

PortFunction FunctionOf(const PortRecord& port) {
  return port.params.function;
}
bool IsGapMonitor(const PortRecord& port) {
  return FunctionOf(port) == PortFunction::GapMonitor;
}
bool HasLinkProcedure(const PortRecord& port) {
  return FunctionOf(port) == PortFunction::Primary || FunctionOf(port) == PortFunction::Secondary;
}
bool IsStartCharacter(std::uint8_t octet) {
  return octet == ft12::kStartFixed || octet == ft12::kStartVariable ||
         octet == ft12::kSingleCharacter;
}

// RTS functions: 0 always on, 1 always off, 2 on while transmitting, 3 off
// while transmitting.
bool RtsSwitched(const PortRecord& port) {
  return port.params.rtsFunction == 2 || port.params.rtsFunction == 3;
}
bool RtsIdleState(const PortRecord& port) {
  return port.params.rtsFunction == 0 || port.params.rtsFunction == 3;
}

void SetRts(Instance& instance, PortRecord& port, bool on, bool logChange) {
  if (port.serial) port.serial->SetRts(on);
  const bool changed = port.transmit.rts != on;
  port.transmit.rts = on;
  if (logChange && changed) LogEvent(instance, port, event::kRtsChanged, on ? 1 : 0);
}

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

// Function codes of primary frames that ask for an answer.
bool ExpectsAnswer(std::uint8_t functionCode) {
  return functionCode <= 3 || (functionCode >= 7 && functionCode <= 11);
}

void Append(Instance& instance, const TLogEntry& entry) {
  instance.logStore.Append(entry);
}

// --- Reception ---

void AppendOctet(PortRecord& port, std::uint8_t octet) {
  ReceiveAssembly& rx = port.receive;
  if (rx.count < rx.entry.frame.size()) rx.entry.frame[rx.count] = octet;
  ++rx.count;
}

void StartFrame(Instance& instance, PortRecord& port, std::uint8_t octet) {
  ReceiveAssembly& rx = port.receive;
  if (rx.count > 0) FinishFrame(instance, port);  // what was gathered outside a frame
  AppendOctet(port, octet);
  switch (octet) {
    case ft12::kSingleCharacter:
      rx.entry.frameKind = kFrameFixed;
      rx.state = AssemblyState::Body;
      FinishFrame(instance, port);
      break;
    case ft12::kStartFixed:
      rx.entry.frameKind = kFrameFixed;
      rx.expected = ft12::kFixedLength;
      rx.state = AssemblyState::Body;
      break;
    default:
      rx.entry.frameKind = kFrameVariable;
      rx.expected = 4;
      rx.state = AssemblyState::Header;
      break;
  }
}

// The four header octets decide whether a 0x68 frame goes on.
void CheckHeader(Instance& instance, PortRecord& port) {
  ReceiveAssembly& rx = port.receive;
  const auto& f = rx.entry.frame;
  const std::uint8_t length = f[ft12::at::kLength];
  if (f[ft12::at::kLengthRepeat] == length && f[ft12::at::kSecondStart] == ft12::kStartVariable &&
      length >= 5) {
    rx.expected = static_cast<std::uint16_t>(length + ft12::kVariableOverhead);
    rx.state = AssemblyState::Body;
  } else {
    FinishFrame(instance, port);
  }
}

void FeedOctet(Instance& instance, PortRecord& port, std::uint8_t octet) {
  ReceiveAssembly& rx = port.receive;
  switch (rx.state) {
    case AssemblyState::GapFrame:
      AppendOctet(port, octet);
      if (rx.count >= rx.expected) FinishFrame(instance, port);
      break;
    case AssemblyState::Idle:
    case AssemblyState::Gathering:
      if (IsGapMonitor(port)) {
        rx.state = AssemblyState::GapFrame;
        FeedOctet(instance, port, octet);
      } else if (IsStartCharacter(octet)) {
        StartFrame(instance, port, octet);
      } else {
        rx.state = AssemblyState::Gathering;
        AppendOctet(port, octet);
        if (rx.count >= rx.expected) FinishFrame(instance, port);
      }
      break;
    case AssemblyState::Header:
      AppendOctet(port, octet);
      if (rx.count >= rx.expected) CheckHeader(instance, port);
      break;
    case AssemblyState::Body:
      AppendOctet(port, octet);
      if (rx.count >= rx.expected) FinishFrame(instance, port);
      break;
  }
}

bool GapPassed(const Instance& instance, const PortRecord& port) {
  const std::uint32_t now = instance.platform.clock.NowMs();
  return static_cast<std::int32_t>(now - port.receive.gapDeadline) > 0;
}

// Drops short faulty frames while they come singly: a spike on an idle line
// is not worth an entry, a run of them is.
bool SpikeDropped(PortRecord& port, const TLogEntry& entry) {
  if (port.params.spikeFilter != 1) return false;
  ReceiveAssembly& rx = port.receive;
  if (entry.status > 10) {
    rx.spikeCounter = 0;
    return false;
  }
  if (entry.byteCount < 5 && entry.status < 11 && rx.spikeCounter < 2) {
    ++rx.spikeCounter;
    return true;
  }
  return false;
}

void ResetAssembly(PortRecord& port) {
  ReceiveAssembly& rx = port.receive;
  rx.count = 0;
  rx.lineErrors = 0;
  rx.state = AssemblyState::Idle;
  rx.entry = TLogEntry{};
  if (!IsGapMonitor(port)) rx.expected = kOutsideFrameCount;
}

// --- Transmission ---

void KeepRepetitionCopy(PortRecord& port, const TLogEntry& entry) {
  TransmitState& tx = port.transmit;
  if (FunctionOf(port) == PortFunction::Secondary) {
    tx.repetitionCopy = entry;
    tx.haveRepetitionCopy = true;
    return;
  }
  if (FunctionOf(port) != PortFunction::Primary && FunctionOf(port) != PortFunction::Unassigned) {
    return;
  }
  const bool singleCharacter = entry.byteCount == 1 && entry.control == ft12::kSingleCharacter;
  if (singleCharacter || entry.status == status::kFreeOctets) return;
  if ((entry.control & ft12::kPrm) == 0) return;
  if (ExpectsAnswer(entry.control & ft12::kFunctionMask)) {
    tx.repetitionCopy = entry;
    tx.haveRepetitionCopy = true;
    port.responseExpected = true;
    port.responseTimeoutRequested = true;
    port.pendingAnswer = 255;
  } else {
    port.responseExpected = false;
  }
}

void TransmitFrame(Instance& instance, PortRecord& port) {
  TLogEntry& entry = port.transmitEntry;
  port.transmitReady = false;
  entry.channel = port.transmitChannel;
  entry.byteCount = std::min<std::uint16_t>(entry.byteCount, TLogEntry::kMaxByteCount);
  ClassifyFrame(entry);
  if (entry.status == status::kFreeOctets) entry.frameKind = kFrameVariable;
  if (port.serial) port.serial->Write(entry.Frame());
  KeepRepetitionCopy(port, entry);
  port.transmitLamp.Light();
  Append(instance, entry);
}

std::uint32_t SendNoReplyAllowance(const PortRecord& port) {
  return IsSendNoReply(port.transmitEntry.control) ? port.transmit.fourCharacterTime : 0;
}

// Moves the sequence on while its waits have expired.
void ContinueTransmit(Instance& instance, PortRecord& port) {
  TransmitState& tx = port.transmit;
  while (tx.step != TransmitStep::Idle && Expired(instance, port)) {
    switch (tx.step) {
      case TransmitStep::SendDelay:
        tx.step = TransmitStep::RtsLead;
        if (RtsSwitched(port)) {
          SetRts(instance, port, !RtsIdleState(port), true);
          Wait(instance, port, port.params.rtsLead);
        }
        break;
      case TransmitStep::RtsLead: {
        const std::uint32_t octets = port.transmitEntry.byteCount;
        TransmitFrame(instance, port);
        tx.transmitting = true;
        tx.step = TransmitStep::Writing;
        Wait(instance, port, CharacterTime(octets, port.params.baud) + SendNoReplyAllowance(port));
        break;
      }
      case TransmitStep::Writing:
        tx.transmitting = false;
        if (port.responseTimeoutRequested) {
          port.responseTimeoutRequested = false;
          port.responseTimeoutArmed = true;
          port.responseDeadline =
              instance.timeBase.tickCounter +
              SecondsToTicks(port.params.responseTimeout / 1000.0, instance.timeBase.msPerTick);
        }
        tx.step = TransmitStep::RtsLag;
        if (RtsSwitched(port)) {
          const std::uint32_t allowance = SendNoReplyAllowance(port);
          const std::uint32_t lag = port.params.rtsLag;
          Wait(instance, port, lag > allowance ? lag - allowance : 0);
        }
        break;
      case TransmitStep::RtsLag:
        if (RtsSwitched(port)) SetRts(instance, port, RtsIdleState(port), true);
        tx.step = TransmitStep::Idle;
        break;
      case TransmitStep::Idle:
        break;
    }
  }
}

void BusyWait(Instance& instance, std::uint32_t ms) {
  Clock& clock = instance.platform.clock;
  const std::uint32_t start = clock.NowMs();
  // Bounded: a clock that stands still must not hang the program.
  for (std::uint32_t round = 0; round <= ms; ++round) {
    const std::uint32_t elapsed = clock.NowMs() - start;
    if (elapsed >= ms) break;
    const std::uint32_t remaining = ms - elapsed;
    clock.SleepMs(remaining > kBusyWaitSleepAbove ? kTimerResolution : 1);
  }
}

void CancelTimer(Instance& instance, PortRecord& port) {
  if (port.transmit.timerId != 0 && instance.platform.timers) {
    instance.platform.timers->Cancel(port.transmit.timerId);
  }
  port.transmit.timerId = 0;
}

std::string FitCell(std::string text) {
  if (text.size() > kStatusCellLength) text.resize(kStatusCellLength);
  return text;
}

int LinkStateText(const Instance& instance, const PortRecord& port, PortFunction role) {
  if (!instance.Online() || FunctionOf(port) != role) return kTextLinkStateNone;
  const int count = port.params.EffectiveAddressCount();
  for (int i = 0; i < count; ++i) {
    if (TestListBit(port.notReset, i)) return kTextLinkStateNotReset;
  }
  return kTextLinkStateAllReset;
}

void PutU32(std::array<std::uint8_t, 24>& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Events 48 and 49 carry the counters of the port's two channels.
std::array<std::uint8_t, 24> PortCounters(const Instance& instance, const PortRecord& port) {
  const auto& counters = instance.logStore.Counters();
  const auto& received = counters[static_cast<std::size_t>((port.receiveChannel - 1) & 3)];
  const auto& sent = counters[static_cast<std::size_t>((port.transmitChannel - 1) & 3)];
  std::array<std::uint8_t, 24> data{};
  PutU32(data, 0, received.telegrams);
  PutU32(data, 4, received.errors);
  PutU32(data, 8, sent.telegrams);
  PutU32(data, 12, sent.errors);
  PutU32(data, 16, static_cast<std::uint32_t>(port.params.function));
  PutU32(data, 20, port.params.baud);
  return data;
}

}  // namespace

void LogEvent(Instance& instance, PortRecord& port, std::uint8_t code, std::uint16_t value,
              std::span<const std::uint8_t> data) {
  TLogEntry entry;
  entry.status = code;
  const bool lineEvent = code == event::kModemLines || code == event::kRtsChanged;
  entry.frameKind = lineEvent ? kFrameFixed : kFrameEvent;
  const bool onReceiveChannel = code == event::kModemLines || code == event::kLinkResetReceived ||
                                code == event::kPortOpened || code == event::kPortClosed;
  entry.channel = onReceiveChannel ? port.receiveChannel : port.transmitChannel;
  entry.linkAddress = value;
  entry.control = 0;
  entry.SetFrame(data);
  Append(instance, entry);
}

// --- Reception ---

void OnDataAvailable(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  if (!port.open || !port.serial) return;
  std::array<std::uint8_t, kReceiveBatch> batch{};
  for (;;) {
    const std::size_t taken = std::min(port.serial->Read(batch), batch.size());
    if (taken == 0) break;
    std::uint8_t errors = 0;
    for (int i = 0; i < kLineErrorReads; ++i) {
      const std::uint8_t reported = port.serial->TakeLineErrors();
      if (reported == 0) break;
      errors |= reported;
      if (reported & kLineBreak) errors |= kBreakFlag;
    }
    ReceiveBatch(instance, port, std::span(batch.data(), taken), errors);
  }
  port.receiveLamp.Light();
  // A device that went away (an adapter unplugged): what it delivered is in
  // the log; the port is closed with its event and the operator told why.
  if (port.serial && port.serial->Gone()) {
    const std::string why = port.serial->LastError();
    ClosePort(instance, portIndex & 1);
    instance.platform.prompter.Show(why, MessageType::Error, MessageButtons::Ok);
  }
}

void ReceiveBatch(Instance& instance, PortRecord& port, std::span<const std::uint8_t> octets,
                  std::uint8_t lineErrors) {
  ReceiveAssembly& rx = port.receive;
  if (IsGapMonitor(port) && rx.count > 0 && GapPassed(instance, port)) {
    FinishFrame(instance, port);
  }
  rx.lineErrors |= lineErrors;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    rx.pending = static_cast<std::uint16_t>(std::min<std::size_t>(octets.size() - i - 1, 0xFFFF));
    FeedOctet(instance, port, octets[i]);
  }
  rx.pending = 0;
  if (lineErrors != 0 && rx.count > 0) {
    rx.lineErrors |= lineErrors;
    FinishFrame(instance, port);
  }
  rx.gapDeadline = instance.platform.clock.NowMs() + rx.characterGap;
}

void FinishFrame(Instance& instance, PortRecord& port) {
  ReceiveAssembly& rx = port.receive;
  if (rx.count == 0) return;
  TLogEntry entry = rx.entry;
  entry.byteCount = std::min<std::uint16_t>(rx.count, TLogEntry::kMaxByteCount);
  entry.channel = port.receiveChannel;
  const ReceiveConditions conditions{
      .lineError = rx.lineErrors != 0,
      .octetsPending = rx.pending > 0,
      // Before the first octet goes out: the
      // send delay and the RTS lead time.
      .transmitting = port.transmit.step == TransmitStep::SendDelay ||
                      port.transmit.step == TransmitStep::RtsLead,
      .requestPending = port.requestUnanswered};
  ValidateFrame(instance.frameRules, port, entry, conditions);

  port.linkResetAddress = -1;
  if (HasLinkProcedure(port) && status::ReachesLinkProcedure(entry.status) && port.link.onFrame) {
    port.link.onFrame(instance, port, entry);
  }
  ResetAssembly(port);
  if (!SpikeDropped(port, entry)) Append(instance, entry);

  if (port.linkResetAddress >= 0) {
    const auto address = static_cast<std::uint16_t>(port.linkResetAddress);
    port.linkResetAddress = -1;
    LogEvent(instance, port, event::kLinkResetReceived, address);
    if (port.link.onLinkEvent) port.link.onLinkEvent(instance, port, kLinkResetOnLinkEvent);
    instance.Events().PortStatusChanged(port.index);
  }
  if (HasLinkProcedure(port)) PostLinkStep(port);
}

// --- Tick and step ---

void PortStep(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  port.receiveLamp.Step();
  port.transmitLamp.Step();
  if (port.transmit.transmitting) port.transmitLamp.Light();
  if (!port.open) return;
  if (port.modemMask != 0) OnModemStatus(instance, portIndex);
  if (port.receive.count > 0 && GapPassed(instance, port)) FinishFrame(instance, port);
  LinkEngineStep(instance, port);
}

void LinkEngineStep(Instance& instance, PortRecord& port) {
  if (port.inStep || !port.open) return;
  port.inStep = true;
  ContinueTransmit(instance, port);
  if (port.link.step) port.link.step(instance, port);
  port.inStep = false;
}

void PostLinkStep(PortRecord& port) {
  port.stepPosted = true;
}

void RunPostedLinkSteps(Instance& instance) {
  // A step may wait on the clock, and octets that arrive meanwhile post the
  // next step of a port whose step is still running (or of the other port
  // after its turn in this pass). Those run as soon as the running steps
  // end, as a posted message would, not at the next tick. Bounded: a step
  // that posts itself again must not hold the thread.
  for (int pass = 0; pass < kPostedStepPasses; ++pass) {
    bool ran = false;
    for (PortRecord& port : instance.ports) {
      if (!port.stepPosted || port.inStep) continue;
      port.stepPosted = false;
      LinkEngineStep(instance, port);
      ran = true;
    }
    if (!ran) return;
  }
}

// --- Transmit sequence ---

bool StartTransmit(Instance& instance, PortRecord& port) {
  if (!port.open || !port.transmitReady || port.transmit.step != TransmitStep::Idle) return false;
  port.transmit.step = TransmitStep::SendDelay;
  Wait(instance, port, port.params.sendDelay);
  ContinueTransmit(instance, port);
  return true;
}

bool RepeatLastFrame(Instance& instance, PortRecord& port) {
  if (!port.transmit.haveRepetitionCopy || port.transmit.step != TransmitStep::Idle) return false;
  port.transmitEntry = port.transmit.repetitionCopy;
  port.transmitEntry.status = status::kFcbNotToggled;
  port.transmitReady = true;
  return StartTransmit(instance, port);
}

bool TransmitIdle(const PortRecord& port) {
  return port.transmit.step == TransmitStep::Idle;
}

bool Expired(const Instance& instance, const PortRecord& port) {
  return TickReached(instance.timeBase.tickCounter, port.transmit.deadline);
}

void Wait(Instance& instance, PortRecord& port, std::uint32_t ms) {
  TransmitState& tx = port.transmit;
  const std::uint32_t tick = instance.timeBase.tickCounter;
  if (ms < 1) {
    tx.deadline = tick;
    return;
  }
  if (ms <= kLongestBusyWait) {
    tx.deadline = tick + 3;
    BusyWait(instance, ms);
    tx.deadline = instance.timeBase.tickCounter;
    return;
  }
  tx.deadline = tick + SecondsToTicks(ms * 0.0011, instance.timeBase.msPerTick) + 1;
  CancelTimer(instance, port);
  OneShotTimer* timers = instance.platform.timers;
  if (!timers) return;
  const std::uint32_t rounded = ((ms + 5) / kTimerResolution) * kTimerResolution;
  const std::uint32_t generation = ++tx.timerGeneration;
  tx.timerId = timers->Start(rounded, [&instance, &port, generation] {
    TransmitState& state = port.transmit;
    if (state.timerId == 0 || state.timerGeneration != generation) return;
    state.deadline = instance.timeBase.tickCounter;
    state.timerId = 0;
    PostLinkStep(port);
  });
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

// --- Ports ---

void PreparePort(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  ReceiveAssembly& rx = port.receive;
  const PortParams& params = port.params;
  port.ResetLinkState();
  if (IsGapMonitor(port)) {
    rx.expected = static_cast<std::uint16_t>(
        std::clamp<std::uint32_t>(params.telegramLength, 1, TLogEntry::kMaxByteCount));
    rx.characterGap = params.responseTimeout;
  } else {
    rx.expected = kOutsideFrameCount;
    rx.characterGap = CharacterGap(params.baud);
  }
  rx.count = 0;
  rx.lineErrors = 0;
  rx.state = AssemblyState::Idle;
  rx.spikeCounter = 0;
  rx.entry = TLogEntry{};
  port.transmit.fourCharacterTime = FourCharacterTime(params.baud);
  // chlbAend holds DCD, DSR, CTS in bits 7, 6, 5.
  port.modemMask =
      static_cast<std::uint8_t>((params.watchedLines & 0x80) | ((params.watchedLines & 0x60) >> 1));
  port.transmit.step = TransmitStep::Idle;
  port.transmit.haveRepetitionCopy = false;
  port.responseExpected = false;
  port.responseTimeoutRequested = false;
  port.responseTimeoutArmed = false;
  port.pendingAnswer = 255;
  port.requestUnanswered = false;
  port.linkResetAddress = -1;
  port.stepPosted = false;
  if (port.link.prepare) port.link.prepare(instance, port);
}

bool OpenPort(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  if (port.open || port.params.portNumber == 0) return port.open;
  PortEnumerator* enumerator = instance.platform.ports;
  if (!enumerator) return false;
  port.serial = enumerator->Create(static_cast<int>(port.params.portNumber));
  if (!port.serial) return false;
  const CharacterFormat format{port.params.baud, port.params.dataBits,
                               static_cast<Parity>(std::min<std::uint8_t>(port.params.parity, 4)),
                               port.params.stopBits};
  PreparePort(instance, portIndex);
  if (!port.serial->Open(format)) {
    instance.platform.prompter.Show(port.serial->LastError(), MessageType::Error,
                                    MessageButtons::Ok);
    port.serial.reset();
    return false;
  }
  // The output lines take their idle state once the device is ours.
  port.serial->SetDtr(false);
  SetRts(instance, port, RtsIdleState(port), RtsSwitched(port));
  port.serial->Flush();
  port.open = true;
  port.modemStatus = port.serial->ModemStatus();
  // Ports without a descriptor (the simulated line) announce arriving octets
  // themselves; a descriptor is watched by the program's event loop.
  const int index = portIndex & 1;
  port.serial->SetActivityHandler([&instance, index] {
    OnDataAvailable(instance, index);
    RunPostedLinkSteps(instance);
  });
  LogEvent(instance, port, event::kPortOpened, static_cast<std::uint16_t>(port.params.portNumber),
           PortCounters(instance, port));
  return true;
}

void ClosePort(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  if (!port.open) return;
  if (port.serial) {
    port.serial->Flush();
    port.serial->Close();
  }
  port.serial.reset();
  port.open = false;
  port.transmit.transmitting = false;
  port.transmit.rts = false;
  CancelTimer(instance, port);
  LogEvent(instance, port, event::kPortClosed, static_cast<std::uint16_t>(port.params.portNumber),
           PortCounters(instance, port));
}

void OnModemStatus(Instance& instance, int portIndex) {
  PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  if (!port.open || !port.serial) return;
  const std::uint8_t lines = port.serial->ModemStatus() & 0xF0;
  const std::uint8_t changed = (lines ^ port.modemStatus) & port.modemMask;
  port.modemStatus = lines;
  if (changed == 0) return;
  LogEvent(instance, port, event::kModemLines, static_cast<std::uint16_t>(lines | (changed >> 4)));
}

std::array<std::string, 5> PortStatusCells(const Instance& instance, int portIndex) {
  const PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  std::array<std::string, 5> cells;
  cells[0] = FitCell(instance.texts.Text(LinkStateText(instance, port, PortFunction::Secondary)));
  cells[1] = FitCell(instance.texts.Text(LinkStateText(instance, port, PortFunction::Primary)));
  char buffer[32];
  if (port.params.portNumber == 0) {
    cells[2] = "- -";
  } else {
    std::snprintf(buffer, sizeof buffer, "%3u", port.params.portNumber);
    cells[2] = FitCell(buffer);
  }
  std::snprintf(buffer, sizeof buffer, "%6u", port.params.baud);
  cells[3] = FitCell(buffer);
  const auto function =
      std::min<std::uint32_t>(static_cast<std::uint32_t>(port.params.function), 3);
  cells[4] = FitCell(instance.texts.Text(text::kPortFunctionNames + static_cast<int>(function)));
  return cells;
}

}  // namespace kivo
