// One record per serial port: its parameter block first, then the run-time
// state of the serial path and the link procedures.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "link/link_state.h"
#include "link/receive_assembler.h"
#include "platform/serial_port.h"
#include "record/log_entry.h"
#include "record/port_params.h"

namespace kivo {

// A tool-button lamp: lit for two ticks after the last activity.
struct Lamp {
  std::uint8_t countdown = 0;
  bool lit = false;

  // Lighting is ignored while the countdown still runs.
  void Light() {
    if (countdown != 0) return;
    lit = true;
    countdown = 3;
  }
  void Step() {
    if (countdown == 0) return;
    if (--countdown == 1) lit = false;
  }
  // Image index of the tool button: the even index dark, the next one lit.
  int ImageIndex(int darkIndex) const { return darkIndex + (lit ? 1 : 0); }
};

// The steps of the transmit sequence; each names the wait it is in.
enum class TransmitStep : std::uint8_t {
  Idle = 0,
  RtsLead = 1,    // RTS active, waiting the lead time
  Writing = 2,    // octets written, waiting the character time
  RtsLag = 3,     // waiting the lag time before RTS goes idle
  SendDelay = 4,  // waiting the send delay
};

struct ReceiveState {
  ReceiveAssembler assembler;
  std::uint8_t lineErrors = 0;    // flagged while the octets being gathered arrived
  std::uint32_t gapDeadline = 0;  // NowMs value
  std::uint32_t characterGap = 373;
  std::uint16_t pending = 0;  // octets after the current one in this batch
  std::uint8_t spikeCounter = 0;
};

struct TransmitState {
  TransmitStep step = TransmitStep::Idle;
  std::uint32_t deadline = 0;         // tick
  std::uint32_t timerId = 0;          // one-shot timer of a long wait, 0 = none
  std::uint32_t timerGeneration = 0;  // tells a late timer from the current one
  bool transmitting = false;
  std::uint32_t fourCharacterTime = 5;  // ms
  bool rts = false;                     // RTS as last set
  // RTS belongs to the driver (RS-485) until the port closes, whatever the
  // RTS function says by then: the close must give it back.
  bool rtsByDriver = false;
  // The last request sent (primary, unassigned) or the last answer (secondary).
  TLogEntry repetitionCopy;
  bool haveRepetitionCopy = false;
};

// The manipulations of the link-test window, one per check-box item (the
// index is the item number). All off when the record is created and whenever
// the window closes.
struct LinkTestFlags {
  static constexpr int kCount = 12;

  bool ltBusy = false;  // a secondary answers NACK where it would ack, report status or no data
  bool ltInvertRes = false;        // bit 7 of every completed control octet inverted
  bool ltInvertPrm = false;        // bit 6 (PRM) of every completed control octet inverted
  bool ltFcbFrozen = false;        // requests with FCV repeat the previous FCB
  bool ltInvertFcv = false;        // bit 4 (FCV) of every completed primary control octet inverted
  bool ltForceAcd = false;         // ACD in every completed secondary control octet
  bool ltForceDfc = false;         // DFC in every completed secondary control octet
  bool ltNoUserData = false;       // operator telegrams dropped, received user data not processed
  bool ltDistFault1 = false;       // disturbance-data orders become abortions
  bool ltDistFault2 = false;       // positive disturbance-data acknowledgements become negative
  std::array<bool, 2> reserved{};  // items 10 and 11: no effect

  bool Get(int index) const;
  void Set(int index, bool on);
  void Clear() { *this = LinkTestFlags{}; }
  bool operator==(const LinkTestFlags&) const = default;
};

// ListBits (link_state.h) also serves the slots of the monitoring table.
inline constexpr ListBits kAllListBits = 0x7FFFFFFFu;  // the 31 list indexes
constexpr bool TestListBit(ListBits bits, int index) {
  return index >= 0 && index < 31 && ((bits >> index) & 1u) != 0;
}
constexpr void SetListBit(ListBits& bits, int index, bool on) {
  if (index < 0 || index >= 31) return;
  const ListBits mask = ListBits{1} << index;
  bits = on ? (bits | mask) : (bits & ~mask);
}

struct PortRecord {
  static constexpr int kMonitorSlots = 31;
  static constexpr std::uint8_t kFreeSlot = 255;

  PortParams params;
  int index = 0;                     // 0 for port 1, 1 for port 2
  std::uint8_t receiveChannel = 1;   // 1 or 3
  std::uint8_t transmitChannel = 2;  // 2 or 4
  std::unique_ptr<SerialPort> serial;
  bool open = false;
  // With the reopen option: the port should be open but its device went away
  // or was not there; it is tried again at `reopenAtMs` (clock milliseconds).
  bool awaitingReopen = false;
  std::uint32_t reopenAtMs = 0;
  // The last open found no device behind the port number (an open that
  // failed with a reason has reported it).
  bool noDevice = false;

  // Link state per address of the list. On a primary a set notReset bit
  // means the address still has to be reset; on a secondary that requests
  // to it (other than resets and status requests) are refused. fcbBits holds
  // the FCB last sent to each address (primary) or last accepted from the
  // primary (secondary).
  ListBits notReset = kAllListBits;
  ListBits fcbBits = 0;
  // The list index being served (primary: polled; secondary: addressed by
  // the last request) and the one before it.
  int currentIndex = 0;
  int previousIndex = 0;
  // Secondary: the address of the request being answered; a telegram
  // addressed to 255 goes out under it.
  std::uint8_t answeredAddress = PortParams::kAddressEnd;
  // Secondary: class 1 data wait after the current answer (sent as ACD).
  bool acd = false;

  // Unassigned port: the FCB it sends with its own requests, and the FCB it
  // follows for up to 31 addresses seen on the line (slot value 255 = free).
  bool portFcb = false;
  std::array<std::uint8_t, kMonitorSlots> monitorAddresses = FreeMonitorTable();
  ListBits monitorFcb = 0;

  LinkTestFlags linkTest;

  // The frame to send next (TakeFrame). transmitReady tells the transmit
  // sequence that it is complete and waiting to be written; the sequence
  // clears it when it takes the frame.
  TLogEntry transmitEntry;
  bool transmitReady = false;
  // The control octet of the last frame sent (after completion).
  std::uint8_t lastControl = 0;

  // --- Serial path ---
  ReceiveState receive;
  TransmitState transmit;
  Lamp receiveLamp;
  Lamp transmitLamp;
  std::uint8_t modemMask = 0;    // watched lines: DCD 0x80, DSR 0x20, CTS 0x10
  std::uint8_t modemStatus = 0;  // line states at the last look
  // A link-engine step waits to run (user message 3); see RunPostedLinkSteps.
  bool stepPosted = false;
  bool inStep = false;  // a step that calls back into the engine must not start another

  // Set by the transmit sequence for the procedures: a request that expects
  // an answer went out, and its response time-out (tick deadline).
  bool responseExpected = false;
  bool responseTimeoutRequested = false;
  bool responseTimeoutArmed = false;
  std::uint32_t responseDeadline = 0;
  std::uint8_t pendingAnswer = 255;  // none
  // Secondary: the previous request has not been answered yet (status 23).
  bool requestUnanswered = false;
  // Set by OnRequest when it took a link reset; the serial path logs event 44.
  int linkResetAddress = -1;

  // --- Link procedures ---
  PrimaryState primary;
  SecondaryState secondary;
  SendSlots send;

  int Number() const { return index + 1; }
  // The address being served: the list entry at the current index.
  std::uint8_t CurrentAddress() const { return params.Address(currentIndex); }
  // The link state of a freshly prepared port: every address not reset, FCB
  // bits cleared, first list index, monitoring table empty, nothing to send.
  void ResetLinkState();

  static constexpr std::array<std::uint8_t, kMonitorSlots> FreeMonitorTable() {
    std::array<std::uint8_t, kMonitorSlots> table{};
    table.fill(kFreeSlot);
    return table;
  }
};

// Port 1 with the defaults; port 2 a copy with its own channels and first
// link address 2.
void InitialisePortRecords(PortRecord& port1, PortRecord& port2, std::uint32_t baud);

}  // namespace kivo
