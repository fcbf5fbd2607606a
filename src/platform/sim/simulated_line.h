// A serial line between two ports in virtual time, for tests and the demo.
//
// Each octet occupies the line for 11 bit times at the writer's baud rate
// (start bit, 8 data bits, parity, stop bit, whatever the format), octets of
// one writer follow one another, and a reader sees the octets whose last bit
// has arrived by the clock's present time. An octet that arrives at an end
// with a different character format arrives with a framing error.
//
// Modem lines, as on a null-modem cable: RTS of one end is CTS of the other;
// DTR of one end is both DSR and DCD of the other; RI is never on. The lines
// of an end that is closed (or gone) read as off at the other end.
//
// The ends call their activity handler from a timer of the virtual clock when
// octets arrive (once per millisecond in which some arrive), when a line of
// the other end changes and when the device goes away.
//
// Faults: octets are counted per writing end from 0 over the life of the line
// (OctetsWritten() gives the index of the next one); a line error, a loss, a
// duplication or a corruption can be attached to any future octet. Noise
// decides such faults at random for every octet an end writes, from a seeded
// generator, so that a run repeats exactly; it can also hold the line in the
// break state for a while: what the end writes meanwhile is lost and the next
// octet that arrives carries kLineBreak, as a UART reports a break before the
// character that follows it. A silent end drops what it writes (the write
// still succeeds). A vanished end reads nothing more, its writes fail, Gone()
// is true, and it cannot be opened again until Reappear(). The line counts
// what became of every octet, so that a test can tell the line's losses from
// the program's.
//
// The clock must outlive the line and every port made from it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/serial_port.h"
#include "platform/sim/virtual_clock.h"

namespace kivo {

class SimulatedLine {
 public:
  explicit SimulatedLine(VirtualClock& clock);
  ~SimulatedLine();
  SimulatedLine(const SimulatedLine&) = delete;
  SimulatedLine& operator=(const SimulatedLine&) = delete;

  // A port on end 0 or 1. Ports made for the same end share its state.
  std::unique_ptr<SerialPort> MakePort(int end);

  // Chances per octet in millionths; the kinds exclude one another.
  struct Noise {
    std::uint64_t seed = 1;
    std::uint32_t corrupt = 0;  // one to eight bits inverted
    std::uint32_t lose = 0;
    std::uint32_t duplicate = 0;   // arrives twice, the copy one octet time later
    std::uint32_t lineError = 0;   // arrives with a parity error
    std::uint32_t lineBreak = 0;   // a break begins before the octet
    std::uint32_t breakMaxMs = 0;  // a break lasts 1 to this many milliseconds
  };
  // What became of the octets one end wrote.
  struct Counts {
    std::uint64_t writes = 0;  // blocks written, one per frame the program sends
    std::uint64_t octets = 0;
    std::uint64_t sent = 0;     // on the way to the other end, copies included (a flush
                                // or close there may still discard them)
    std::uint64_t lost = 0;     // by a fault, noise or a break
    std::uint64_t dropped = 0;  // written while silent or while the other end was closed
    std::uint64_t corrupted = 0;
    std::uint64_t duplicated = 0;
    std::uint64_t lineErrors = 0;  // octets sent with a line error, breaks included
    std::uint64_t breaks = 0;
  };

  void InjectLineError(int fromEnd, std::uint64_t octetIndex, std::uint8_t lineErrors);
  void LoseOctet(int fromEnd, std::uint64_t octetIndex);
  void CorruptOctet(int fromEnd, std::uint64_t octetIndex, std::uint8_t xorMask);
  void DuplicateOctet(int fromEnd, std::uint64_t octetIndex);
  // Noise on what `fromEnd` writes from now on; Noise{} ends it, and a break
  // in progress with it.
  void SetNoise(int fromEnd, const Noise& noise);
  // Holds the line of `fromEnd` in the break state for `ms` from now.
  void Break(int fromEnd, std::uint32_t ms);
  Counts Counted(int fromEnd) const;
  void SetSilent(int end, bool silent);
  void Vanish(int end);
  void Reappear(int end);
  std::uint64_t OctetsWritten(int end) const;

  // Nanoseconds one octet occupies the line at `baud`.
  static std::uint64_t OctetNs(std::uint32_t baud);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// Port numbers bound to ends of simulated lines.
class SimulatedPortEnumerator : public PortEnumerator {
 public:
  void Bind(int portNumber, SimulatedLine& line, int end);
  bool Exists(int portNumber) override;
  std::unique_ptr<SerialPort> Create(int portNumber) override;

 private:
  struct Binding {
    SimulatedLine* line;
    int end;
  };
  std::map<int, Binding> bindings_;
};

}  // namespace kivo
