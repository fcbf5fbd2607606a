// What the link layer works with: its two port records, the time base and
// timers, the port enumerator, the frame rules and general parameters, and
// the three interfaces through which it hands on what it does: the frame
// sink (the log), the observer (the operator's view of the ports) and the
// telegram source (sending, simulation and disturbance transfer above it).
// The Instance builds one; the tests of the link layer build their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kivo {

class Clock;
class FrameSink;
class OneShotTimer;
class PortEnumerator;
class TimeBase;
struct FrameRules;
struct GeneralParams;
struct OutgoingFrame;
struct PortRecord;
struct TLogEntry;

// What the operator is told about the ports.
class LinkObserver {
 public:
  virtual ~LinkObserver() = default;
  // The link state of an address changed (reset received, link established
  // or lost): the port's row of the statistics table is out of date.
  virtual void PortStatusChanged(int /*portIndex*/) {}
  // The port could not be opened, or its device went away; it is closed.
  virtual void PortFailed(int /*portIndex*/, const std::string& /*reason*/) {}
};

// The link events that TelegramSource::OnLinkEvent reports.
inline constexpr int kTriggerLinkEstablished = 2;
inline constexpr int kTriggerLinkResetReceived = 3;

// What the link procedures ask of the layer above: the operator's telegrams
// and lists, the command-response simulation and the disturbance transfer.
// The builders return the frame of the port's current address in `out`;
// the link layer completes nothing after them and sends it as it stands.
class TelegramSource {
 public:
  virtual ~TelegramSource() = default;

  // --- Sending ---
  // Empties the port's three send slots, then fills them with the due
  // telegrams and list rows for the address the port serves.
  virtual void SelectDue(PortRecord& port) = 0;
  // The same without emptying the slots first (a secondary places its own
  // class 1 items before); `answeringClass1` skips the follow decision of
  // cyclic list rows.
  virtual void SelectDueIntoFreeSlots(PortRecord& port, bool answeringClass1) = 0;
  // The telegram or list row in port.send.nextSend, counted as sent.
  virtual bool SendSelected(PortRecord& port, OutgoingFrame& out) = 0;
  // A received ASDU may start telegrams that wait for its type.
  virtual void OnAsduReceived(PortRecord& port, const TLogEntry& entry) = 0;
  // A link event (2 established, 3 reset received) may start telegrams.
  virtual void OnLinkEvent(PortRecord& port, int trigger) = 0;
  // Stops telegrams and lists for one link address, or all with 255.
  virtual void StopSending(std::uint8_t address) = 0;
  // The operator's identification (type 5) in place of the built-in one.
  virtual bool BuildOperatorIdentification(PortRecord& port, OutgoingFrame& out) = 0;

  // --- Command-response simulation ---
  // Ready answers for the port's current address; remembers the first row.
  virtual int CountPendingResponses(PortRecord& port) = 0;
  virtual bool SendPendingResponse(PortRecord& port, OutgoingFrame& out) = 0;
  // A general command (type 20) received by a secondary; may set the status.
  virtual void OnGeneralCommand(PortRecord& port, TLogEntry& entry) = 0;

  // --- Disturbance transfer (types 23 to 31) ---
  // A transfer telegram received; may set the entry's status.
  virtual void OnDisturbanceAsdu(PortRecord& port, TLogEntry& entry) = 0;
  // The next transfer telegram for the port's current address.
  virtual bool NextDisturbanceTelegram(PortRecord& port, OutgoingFrame& out) = 0;
  // Class 1 items the transfer has for the port's current address.
  virtual int DisturbanceClass1Items(const PortRecord& port) = 0;
  // Each link-engine step: the inactivity countdown of a running transfer.
  virtual void DisturbanceStep(PortRecord& port) = 0;
  // The link of `address` was lost or reset: a transfer with that address
  // ends at once, one with another address goes on. A broadcast reset (255)
  // resets every address, so it ends any transfer.
  virtual void EndDisturbanceTransfer(PortRecord& port, std::uint8_t address) = 0;

  // The port is being prepared: all sending stops and the transfer starts
  // afresh.
  virtual void PreparePort(PortRecord& port) = 0;
};

// A source with nothing to send, for ports that serve no operator.
class NoTelegrams : public TelegramSource {
 public:
  void SelectDue(PortRecord& port) override;
  void SelectDueIntoFreeSlots(PortRecord&, bool) override {}
  bool SendSelected(PortRecord&, OutgoingFrame&) override { return false; }
  void OnAsduReceived(PortRecord&, const TLogEntry&) override {}
  void OnLinkEvent(PortRecord&, int) override {}
  void StopSending(std::uint8_t) override {}
  bool BuildOperatorIdentification(PortRecord&, OutgoingFrame&) override { return false; }
  int CountPendingResponses(PortRecord&) override { return 0; }
  bool SendPendingResponse(PortRecord&, OutgoingFrame&) override { return false; }
  void OnGeneralCommand(PortRecord&, TLogEntry&) override {}
  void OnDisturbanceAsdu(PortRecord&, TLogEntry&) override {}
  bool NextDisturbanceTelegram(PortRecord&, OutgoingFrame&) override { return false; }
  int DisturbanceClass1Items(const PortRecord&) override { return 0; }
  void DisturbanceStep(PortRecord&) override {}
  void EndDisturbanceTransfer(PortRecord&, std::uint8_t) override {}
  void PreparePort(PortRecord&) override {}
};

struct LinkContext {
  std::array<PortRecord, 2>& ports;
  TimeBase& time;
  OneShotTimer* timers;        // none: long waits end at the tick
  PortEnumerator* enumerator;  // none: no serial port is present
  const FrameRules& rules;
  const GeneralParams& general;  // separate common address, summer time
  FrameSink& sink;
  LinkObserver& observer;
  TelegramSource& source;

  PortRecord& Port(int index);
  Clock& clock() const;
};

}  // namespace kivo
