#include "link/port_control.h"

#include <algorithm>
#include <string>

#include "link/link_procedures.h"
#include "link/port_record.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/time_base.h"
#include "record/frame_sink.h"

namespace kivo {

namespace {

void PutU32(std::array<std::uint8_t, 24>& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Events 48 and 49 carry the counters of the port's two channels.
std::array<std::uint8_t, 24> PortCounters(const LinkContext& link, const PortRecord& port) {
  const ChannelCounters received = link.sink.ChannelCount(port.receiveChannel);
  const ChannelCounters sent = link.sink.ChannelCount(port.transmitChannel);
  std::array<std::uint8_t, 24> data{};
  PutU32(data, 0, received.telegrams);
  PutU32(data, 4, received.errors);
  PutU32(data, 8, sent.telegrams);
  PutU32(data, 12, sent.errors);
  PutU32(data, 16, static_cast<std::uint32_t>(port.params.function));
  PutU32(data, 20, port.params.baud);
  return data;
}

constexpr std::uint32_t kReopenIntervalMs = 1000;

bool ReopenWanted(const PortRecord& port) {
  return (port.params.reopen & 1) != 0;
}

void AwaitReopen(LinkContext& link, PortRecord& port) {
  if (!ReopenWanted(port)) return;
  port.awaitingReopen = true;
  port.reopenAtMs = link.clock().NowMs() + kReopenIntervalMs;
}

}  // namespace

void PreparePort(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
  ReceiveState& rx = port.receive;
  const PortParams& params = port.params;
  port.ResetLinkState();
  const bool gapMonitor = params.function == PortFunction::GapMonitor;
  rx.assembler.Configure(gapMonitor, params.telegramLength);
  rx.characterGap = gapMonitor ? params.responseTimeout : CharacterGap(params.baud);
  rx.lineErrors = 0;
  rx.spikeCounter = 0;
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
  PrepareProcedures(link, port);
}

bool OpenPort(LinkContext& link, int portIndex, bool report) {
  PortRecord& port = link.Port(portIndex);
  if (port.open || port.params.portNumber == 0) return port.open;
  port.noDevice = true;
  if (!link.enumerator) return false;
  port.serial = link.enumerator->Create(static_cast<int>(port.params.portNumber));
  if (!port.serial) {
    AwaitReopen(link, port);
    return false;
  }
  const CharacterFormat format{port.params.baud, port.params.dataBits,
                               static_cast<Parity>(std::min<std::uint8_t>(port.params.parity, 4)),
                               port.params.stopBits};
  port.noDevice = false;
  PreparePort(link, portIndex);
  if (!port.serial->Open(format)) {
    const std::string why = port.serial->LastError();
    port.serial.reset();
    AwaitReopen(link, port);
    if (report) link.observer.PortFailed(portIndex & 1, why);
    return false;
  }
  port.awaitingReopen = false;
  // A port that cannot hand RTS to its driver is a setting that does not fit
  // the device: said even on a quiet retry, and not tried again.
  if (RtsByDriver(port) &&
      !port.serial->SetRs485(Rs485Setting{true, port.params.rtsLead, port.params.rtsLag})) {
    std::string why = port.serial->LastError();
    if (why.empty()) {
      why =
          "RS-485 by the driver is not supported by port " + std::to_string(port.params.portNumber);
    }
    port.serial->Close();
    port.serial.reset();
    link.observer.PortFailed(portIndex & 1, why);
    return false;
  }
  port.transmit.rtsByDriver = RtsByDriver(port);
  // The output lines take their idle state once the device is ours; RTS
  // only where the driver does not switch it.
  port.serial->SetDtr(false);
  if (!port.transmit.rtsByDriver) SetRts(link, port, RtsIdleState(port), RtsSwitched(port));
  port.serial->Flush();
  port.open = true;
  port.modemStatus = port.serial->ModemStatus();
  // Ports without a descriptor (the simulated line) announce arriving octets
  // themselves; a descriptor is watched by the program's event loop.
  const int index = portIndex & 1;
  port.serial->SetActivityHandler([&link, index] {
    OnDataAvailable(link, index);
    RunPostedLinkSteps(link);
  });
  LogEvent(link, port, event::kPortOpened, static_cast<std::uint16_t>(port.params.portNumber),
           PortCounters(link, port));
  return true;
}

void ClosePort(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
  port.awaitingReopen = false;
  if (!port.open) return;
  if (port.serial) {
    port.serial->Flush();
    if (port.transmit.rtsByDriver) (void)port.serial->SetRs485(Rs485Setting{});
    port.serial->Close();
  }
  port.serial.reset();
  port.open = false;
  port.transmit.transmitting = false;
  port.transmit.rts = false;
  port.transmit.rtsByDriver = false;
  CancelTransmitTimer(link, port);
  LogEvent(link, port, event::kPortClosed, static_cast<std::uint16_t>(port.params.portNumber),
           PortCounters(link, port));
}

void PortGone(LinkContext& link, int portIndex, const std::string& why) {
  ClosePort(link, portIndex);
  AwaitReopen(link, link.Port(portIndex));
  link.observer.PortFailed(portIndex & 1, why);
}

bool RetryReopen(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
  if (!port.awaitingReopen || port.open) return false;
  if (!ReopenWanted(port)) {
    port.awaitingReopen = false;
    return false;
  }
  // Wrap-safe: the clock's milliseconds may pass 2^32 during a long run.
  if (static_cast<std::int32_t>(link.clock().NowMs() - port.reopenAtMs) < 0) return false;
  // A failed attempt has armed the next one.
  if (!OpenPort(link, portIndex, false)) return false;
  link.observer.PortStatusChanged(portIndex & 1);
  return true;
}

void OnModemStatus(LinkContext& link, int portIndex) {
  PortRecord& port = link.Port(portIndex);
  if (!port.open || !port.serial) return;
  const std::uint8_t lines = port.serial->ModemStatus() & 0xF0;
  const std::uint8_t changed = (lines ^ port.modemStatus) & port.modemMask;
  port.modemStatus = lines;
  if (changed == 0) return;
  LogEvent(link, port, event::kModemLines, static_cast<std::uint16_t>(lines | (changed >> 4)));
}

}  // namespace kivo
