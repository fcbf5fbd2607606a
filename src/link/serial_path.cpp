#include "link/serial_path.h"

#include <algorithm>

#include "link/link_procedures.h"
#include "link/port_control.h"
#include "link/port_record.h"
#include "link/transmit.h"
#include "platform/time_base.h"
#include "record/frame_sink.h"

namespace kivo {

namespace {

constexpr std::uint8_t kBreakFlag = 64;  // a break is kept apart from the other line errors
constexpr int kLineErrorReads = 16;      // a port that keeps reporting errors cannot hold us
constexpr int kPostedStepPasses = 8;     // rounds of posted steps run in one call

bool HasLinkProcedure(const PortRecord& port) {
  return port.params.function == PortFunction::Primary ||
         port.params.function == PortFunction::Secondary;
}

bool GapPassed(const LinkContext& link, const PortRecord& port) {
  const std::uint32_t now = link.clock().NowMs();
  return static_cast<std::int32_t>(now - port.receive.gapDeadline) > 0;
}

// Drops short faulty frames while they come singly: a spike on an idle line
// is not worth an entry, a run of them is.
bool SpikeDropped(PortRecord& port, const TLogEntry& entry) {
  if (port.params.spikeFilter != 1) return false;
  ReceiveState& rx = port.receive;
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

// The unit the assembler completed: validated, handed to the procedure,
// logged.
void FinishFrame(LinkContext& link, PortRecord& port) {
  ReceiveState& rx = port.receive;
  TLogEntry entry;
  entry.SetFrame(rx.assembler.Octets());
  entry.channel = port.receiveChannel;
  const ReceiveConditions conditions{
      .lineError = rx.lineErrors != 0,
      .octetsPending = rx.pending > 0,
      // Before the first octet goes out: the send delay and the RTS lead time.
      .transmitting = port.transmit.step == TransmitStep::SendDelay ||
                      port.transmit.step == TransmitStep::RtsLead,
      .requestPending = port.requestUnanswered};
  StationUpdate update;
  ValidateFrame(link.rules, port, entry, conditions, &update);
  rx.assembler.Clear();
  rx.lineErrors = 0;

  port.linkResetAddress = -1;
  OnFrame(link, port, entry, update);
  if (!SpikeDropped(port, entry)) link.sink.Append(entry);

  if (port.linkResetAddress >= 0) {
    const auto address = static_cast<std::uint16_t>(port.linkResetAddress);
    port.linkResetAddress = -1;
    LogEvent(link, port, event::kLinkResetReceived, address);
    link.source.OnLinkEvent(port, kTriggerLinkResetReceived);
    link.observer.PortStatusChanged(port.index);
  }
  if (HasLinkProcedure(port)) PostLinkStep(port);
}

void Feed(LinkContext& link, PortRecord& port, std::uint8_t octet) {
  for (;;) {
    const ReceiveAssembler::Step step = port.receive.assembler.Feed(octet);
    if (step.result != ReceiveAssembler::Result::NeedMore) FinishFrame(link, port);
    if (step.consumed) return;
  }
}

}  // namespace

void LogEvent(LinkContext& link, PortRecord& port, std::uint8_t code, std::uint16_t value,
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
  link.sink.Append(entry);
}

// --- Reception ---

void OnDataAvailable(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
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
    ReceiveBatch(link, port, std::span(batch.data(), taken), errors);
  }
  port.receiveLamp.Light();
  // A device that went away (an adapter unplugged): what it delivered is in
  // the log; the port is closed with its event and the operator told why.
  if (port.serial && port.serial->Gone()) {
    PortGone(link, portIndex & 1, port.serial->LastError());
  }
}

void ReceiveBatch(LinkContext& link, PortRecord& port, std::span<const std::uint8_t> octets,
                  std::uint8_t lineErrors) {
  ReceiveState& rx = port.receive;
  if (port.params.function == PortFunction::GapMonitor && !rx.assembler.Empty() &&
      GapPassed(link, port)) {
    EndGatheredFrame(link, port);
  }
  rx.lineErrors |= lineErrors;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    rx.pending = static_cast<std::uint16_t>(std::min<std::size_t>(octets.size() - i - 1, 0xFFFF));
    Feed(link, port, octets[i]);
  }
  rx.pending = 0;
  if (lineErrors != 0 && !rx.assembler.Empty()) {
    rx.lineErrors |= lineErrors;
    EndGatheredFrame(link, port);
  }
  rx.gapDeadline = link.clock().NowMs() + rx.characterGap;
}

void EndGatheredFrame(LinkContext& link, PortRecord& port) {
  if (port.receive.assembler.Flush() != ReceiveAssembler::Result::NeedMore) {
    FinishFrame(link, port);
  }
}

// --- Tick and step ---

void PortStep(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
  port.receiveLamp.Step();
  port.transmitLamp.Step();
  if (port.transmit.transmitting) port.transmitLamp.Light();
  if (!port.open) return;
  if (port.modemMask != 0) OnModemStatus(link, portIndex);
  if (!port.receive.assembler.Empty() && GapPassed(link, port)) EndGatheredFrame(link, port);
  LinkEngineStep(link, port);
}

void LinkEngineStep(LinkContext& link, PortRecord& port) {
  if (port.inStep || !port.open) return;
  port.inStep = true;
  ContinueTransmit(link, port);
  ProcedureStep(link, port);
  port.inStep = false;
}

void PostLinkStep(PortRecord& port) {
  port.stepPosted = true;
}

void RunPostedLinkSteps(LinkContext& link) {
  // A step may wait on the clock, and octets that arrive meanwhile post the
  // next step of a port whose step is still running (or of the other port
  // after its turn in this pass). Those run as soon as the running steps
  // end, as a posted message would, not at the next tick. Bounded: a step
  // that posts itself again must not hold the thread.
  for (int pass = 0; pass < kPostedStepPasses; ++pass) {
    bool ran = false;
    for (PortRecord& port : link.ports) {
      if (!port.stepPosted || port.inStep) continue;
      port.stepPosted = false;
      LinkEngineStep(link, port);
      ran = true;
    }
    if (!ran) return;
  }
}

}  // namespace kivo
