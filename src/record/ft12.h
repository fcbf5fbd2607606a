// The FT 1.2 wire vocabulary: start and end characters, the octet positions
// of the three frame shapes and of the ASDU inside a variable frame, the
// control field, the frame checksum and the one builder of fixed and variable
// frames that every sender uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kivo::ft12 {

inline constexpr std::uint8_t kStartFixed = 0x10;
inline constexpr std::uint8_t kStartVariable = 0x68;
inline constexpr std::uint8_t kSingleCharacter = 0xE5;
inline constexpr std::uint8_t kEndCharacter = 0x16;
inline constexpr std::uint8_t kBroadcast = 255;

inline constexpr std::size_t kFixedLength = 5;
inline constexpr std::size_t kVariableOverhead = 6;  // 68 L L 68 ... CS 16 around L octets
inline constexpr std::size_t kTrailer = 2;           // checksum and end character
inline constexpr std::size_t kMaxUserOctets = 255;   // L is one octet
inline constexpr std::size_t kMaxFrameLength = kMaxUserOctets + kVariableOverhead;  // 261
// The ASDU of a variable frame: L counts control and address besides it.
inline constexpr std::size_t kMaxAsdu = kMaxUserOctets - 2;
// Longest ASDU tail after the common address.
inline constexpr std::size_t kMaxAsduTail = kMaxUserOctets - 6;

// Octet positions from the start character. The ASDU of a variable frame
// starts at kTyp; the data unit identifier is TYP, VSQ, COT and the common
// address, followed by FUN, INF and the information elements.
namespace at {
inline constexpr std::size_t kFixedControl = 1, kFixedAddress = 2, kFixedChecksum = 3,
                             kFixedEnd = 4;
inline constexpr std::size_t kLength = 1, kLengthRepeat = 2, kSecondStart = 3, kVariableControl = 4,
                             kVariableAddress = 5, kTyp = 6, kVsq = 7, kCot = 8, kCommonAddress = 9,
                             kFun = 10, kInf = 11, kElements = 12;
}  // namespace at

inline constexpr std::uint8_t kVsqCountMask = 0x7F;

// Control field bits.
inline constexpr std::uint8_t kRes = 0x80;
inline constexpr std::uint8_t kPrm = 0x40;
inline constexpr std::uint8_t kFcb = 0x20;  // primary frames
inline constexpr std::uint8_t kFcv = 0x10;  // primary frames
inline constexpr std::uint8_t kAcd = 0x20;  // secondary frames
inline constexpr std::uint8_t kDfc = 0x10;  // secondary frames
inline constexpr std::uint8_t kFunctionMask = 0x0F;

// Function codes the engine reads or writes.
namespace fc {
inline constexpr std::uint8_t kResetRemoteLink = 0, kTestLink = 2, kSendConfirm = 3,
                              kSendNoReply = 4, kRequestAccessDemand = 8, kResetFcb = 7,
                              kRequestStatus = 9, kRequestClass1 = 10, kRequestClass2 = 11;
inline constexpr std::uint8_t kAck = 0, kNack = 1, kUserData = 8, kNoData = 9, kStatusOfLink = 11,
                              kNotImplemented = 15;
}  // namespace fc

// The control octets of the three kinds of operator telegram: send/confirm,
// send/no reply and user data response.
inline constexpr std::array<std::uint8_t, 3> kKindControl{0x53, 0x44, 0x08};
// A secondary's user data; a primary port sends it as send/confirm.
inline constexpr std::uint8_t kUserDataControl = 0x08;
inline constexpr std::uint8_t kSendConfirmControl = 0x53;

// Primary function codes that ask for an answer.
constexpr bool ExpectsAnswer(int functionCode) {
  return functionCode <= fc::kSendConfirm ||
         (functionCode >= fc::kResetFcb && functionCode <= fc::kRequestClass2);
}

// The sum, modulo 256, of the octets a frame's checksum covers: from the
// control field (octet 1 of a 0x10 frame, octet 4 of any other) up to the
// checksum octet. 0 when the frame is too short to have such a range.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame);

// A fixed frame: 10 C A CS 16 into `out` (at least 5 octets). Returns 5.
std::size_t BuildFixedFrame(std::uint8_t control, std::uint8_t address,
                            std::span<std::uint8_t> out);

// A variable frame around `asdu` (from TYP on): 68 L L 68 C A ASDU CS 16 into
// `out`. Returns its length, 0 (and nothing written) when the ASDU is longer
// than kMaxAsdu or `out` cannot take the frame.
std::size_t BuildVariableFrame(std::uint8_t control, std::uint8_t address,
                               std::span<const std::uint8_t> asdu, std::span<std::uint8_t> out);

// A built frame that a caller keeps by value.
struct FrameOctets {
  std::array<std::uint8_t, kMaxFrameLength> octets{};
  std::size_t length = 0;

  std::span<const std::uint8_t> View() const { return {octets.data(), length}; }
  std::span<std::uint8_t> Buffer() { return octets; }
};

}  // namespace kivo::ft12
