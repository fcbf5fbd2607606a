// Frame status codes and event codes: one octet per log entry, stored in log
// files and used to pick the status texts, so the numbers are part of the
// file format.
#pragma once

#include <cstdint>

namespace kivo::status {

inline constexpr std::uint8_t kGapLineError = 1;        // line error on a gap-monitor port
inline constexpr std::uint8_t kNoStartCharacter = 5;    // no start character or unknown shape
inline constexpr std::uint8_t kNoSecondStart = 6;       // fourth octet of a 0x68 frame not 0x68
inline constexpr std::uint8_t kLengthOctetsDiffer = 7;  // the two L octets differ
inline constexpr std::uint8_t kWrongLength = 8;         // octet count does not fit the shape
inline constexpr std::uint8_t kChecksumError = 9;
inline constexpr std::uint8_t kNoEndCharacter = 10;          // last octet not 0x16
inline constexpr std::uint8_t kSingleCharacterRefused = 12;  // 0xE5 where cbVwE5 forbids it
inline constexpr std::uint8_t kFcbNotToggled = 14;           // repetition of the previous request
inline constexpr std::uint8_t kLinkNotReset = 15;
inline constexpr std::uint8_t kFcvMismatch = 16;  // FCV against function code, or broadcast
inline constexpr std::uint8_t kFunctionNotAdmissible = 17;
inline constexpr std::uint8_t kDataFlowControl = 19;  // secondary frame with DFC: not an error
inline constexpr std::uint8_t kPrimaryOnPrimary = 20;
inline constexpr std::uint8_t kUnexpectedSecondary = 21;
inline constexpr std::uint8_t kShapeMismatch = 22;  // fixed/variable against function code
inline constexpr std::uint8_t kPortBusy = 23;       // while transmitting or a request pends
inline constexpr std::uint8_t kLineError = 24;      // formally correct, line error flagged
inline constexpr std::uint8_t kVsqNotAdmissible = 25;
inline constexpr std::uint8_t kAsduLength = 26;
inline constexpr std::uint8_t kCauseNotAdmissible = 27;
inline constexpr std::uint8_t kOtherAddress = 29;  // answer from an address not polled
// The same code marks a general command that the command-response simulation
// refused at once (no row for it, or its row still has an answer waiting).
inline constexpr std::uint8_t kCommandRefused = kOtherAddress;
inline constexpr std::uint8_t kCorrect = 40;
inline constexpr std::uint8_t kUndefinedType = 42;
inline constexpr std::uint8_t kCauseNotCommon = 47;  // coloured cause outside the common set
inline constexpr std::uint8_t kFreeOctets = 51;      // sent raw, never validated
inline constexpr std::uint8_t kAddressNotListed = 57;

// The highest status that still carries no usable link-layer frame; a line
// error only turns statuses above it into kLineError.
inline constexpr std::uint8_t kLastShapeError = 12;

// Whether a received frame with this status goes on to the link procedure of
// a primary or secondary port.
constexpr bool ReachesLinkProcedure(std::uint8_t code) {
  return code >= kFcbNotToggled && code != kShapeMismatch && code != kOtherAddress &&
         code != kAddressNotListed;
}

}  // namespace kivo::status

// Event codes the link engine logs (the status of an event entry).
namespace kivo::event {
inline constexpr std::uint8_t kLinkLost = 32;
inline constexpr std::uint8_t kDisturbanceFileFault = 36;   // on a transfer telegram
inline constexpr std::uint8_t kDisturbanceForeignFan = 37;  // on a transfer telegram
inline constexpr std::uint8_t kDisturbanceOutOfSequence = 38;
inline constexpr std::uint8_t kTransferAborted = 39;
inline constexpr std::uint8_t kTransferStarted = 41;
inline constexpr std::uint8_t kModemLines = 43;
inline constexpr std::uint8_t kLinkResetReceived = 44;
inline constexpr std::uint8_t kLinkEstablished = 45;
inline constexpr std::uint8_t kTransferCompleted = 46;
inline constexpr std::uint8_t kPortOpened = 48;
inline constexpr std::uint8_t kPortClosed = 49;
inline constexpr std::uint8_t kRtsChanged = 50;
inline constexpr std::uint8_t kDsrOff = 52;
inline constexpr std::uint8_t kDsrOn = 53;
inline constexpr std::uint8_t kHandshakeRefused = 54;
inline constexpr std::uint8_t kDtrOff = 55;
inline constexpr std::uint8_t kDtrOn = 56;
}  // namespace kivo::event
