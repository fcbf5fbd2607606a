// The run-time state of the link procedures in a port record: the primary
// cycle, the secondary's pending request, identification, echo slots and DTR
// handshake, and the send slots the scheduler fills for the procedures.
#pragma once

#include <array>
#include <cstdint>

namespace kivo {

// Bit sets with one bit per index of a port's address list.
using ListBits = std::uint32_t;

enum class PrimaryCycle : std::uint8_t {
  NotPrimary = 0,
  CycleStart = 1,         // reset, operator telegram, disturbance order or poll
  AwaitAnswer = 2,        // a request that expects an answer went out
  AwaitResetAck = 4,      // a reset went out; it is not repeated
  WaitAfterNegative = 5,  // a negative or busy answer holds the cycle at the address
};

// The kind of the last request: a poll lets 0xE5 stand for "no data".
inline constexpr std::uint8_t kLastRequestPoll = 8;

struct PrimaryState {
  PrimaryCycle cycle = PrimaryCycle::CycleStart;
  ListBits acdMemory = 0;  // ACD of the last answer per list index
  std::array<std::uint16_t, 31> class1Polls{};
  std::uint32_t repetitions = 0;
  std::uint8_t lastRequestKind = 0;
  std::uint32_t pollDeadline = 0;  // tick; one for all addresses of the port
  std::uint32_t waitDeadline = 0;  // tick; end of the wait after a negative answer
};

enum class PendingRequest : std::uint8_t {
  None = 0,
  Acknowledge = 1,
  StatusOfLink = 3,
  NotImplemented = 4,
  RepeatLastAnswer = 11,
  Class1 = 12,
  Class2 = 13,
};

// A received time synchronisation kept until the station's next class 1 poll.
struct EchoSlot {
  static constexpr std::size_t kCapacity = 32;
  bool filled = false;
  std::uint8_t length = 0;
  std::uint8_t status = 0;
  std::array<std::uint8_t, kCapacity> octets{};
};

enum class HandshakeState : std::uint8_t {
  Idle = 0,
  DtrOn = 1,     // DTR raised, waiting 170 ms
  AwaitDsr = 2,  // DTR dropped, waiting for DSR or 0.2 s
  RowDelay = 3,  // the list's handshake delay
  Settle = 4,    // up to 3 s for the list to end and DSR to drop
};

struct DtrHandshake {
  HandshakeState state = HandshakeState::Idle;
  std::uint32_t deadline = 0;  // tick
  std::uint32_t delayMs = 0;
  bool listRunning = false;
  bool active = false;
  bool lastDsr = false;
  std::uint32_t timerId = 0;
  std::uint32_t timerGeneration = 0;
};

struct SecondaryState {
  PendingRequest pending = PendingRequest::None;
  ListBits resetFcbBits = 0;  // reset of the FCB seen, identification not yet sent
  ListBits resetCuBits = 0;   // reset of the communication unit seen, likewise
  std::array<EchoSlot, 31> echo{};
  DtrHandshake handshake;
};

// What the send scheduler chose for the port: 1..12 operator telegrams,
// 13..24 send lists, 255 an item of the link engine itself, 0 empty.
struct SendSlots {
  static constexpr std::uint8_t kEngineItem = 255;
  std::uint8_t nextSend = 0;
  std::uint8_t followSend = 0;
  std::uint8_t class2Send = 0;
  // The operator started a telegram for an address whose link is down.
  bool operatorRequest = false;
  // The command-response row CountPendingResponses found first (0-based),
  // answered by SendPendingResponse; -1 = none.
  int pendingResponseRow = -1;

  void Clear() { nextSend = followSend = class2Send = 0; }
};

}  // namespace kivo
