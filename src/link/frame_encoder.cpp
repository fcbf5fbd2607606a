// The encoder: fixed frames, the single character and variable frames,
// built into the port's transmit entry with a completed control field.
#include <algorithm>

#include "link/frame_codec.h"
#include "record/frame_status.h"
#include "record/general_params.h"

namespace kivo {

namespace {

using namespace ft12;

// Control octets of the fixed requests that need no decision.
constexpr std::uint8_t kNackControl = 0x01;
constexpr std::uint8_t kAckControl = 0x00;
constexpr std::uint8_t kStatusOfLinkControl = 0x0B;
constexpr std::uint8_t kNotImplementedControl = 0x0F;
constexpr std::uint8_t kResetRemoteLinkControl = 0x40;
constexpr std::uint8_t kResetFcbControl = 0x47;
constexpr std::uint8_t kTestLinkControl = 0x52;
constexpr std::uint8_t kRequestStatusControl = 0x49;
constexpr std::uint8_t kPollClass1Control = 0x5A;
constexpr std::uint8_t kPollClass2Control = 0x5B;
constexpr std::uint8_t kNoDataControl = 0x09;

// Values of cbVwE5.
constexpr std::uint32_t kE5ForAckAndNoData = 0;
constexpr std::uint32_t kE5ForAckOnly = 2;

// ACD will be set on the answer: class 1 data wait or the link test forces
// ACD or DFC. The single character cannot carry either.
bool SignalsAccessDemand(const PortRecord& port) {
  return port.acd || port.linkTest.ltForceAcd || port.linkTest.ltForceDfc;
}

bool HasRole(const PortRecord& port) {
  return port.params.function == PortFunction::Primary ||
         port.params.function == PortFunction::Secondary;
}

void PutFrame(PortRecord& port, std::span<const std::uint8_t> octets) {
  port.transmitEntry = TLogEntry{};
  port.transmitEntry.SetFrame(octets);
  port.transmitEntry.status = status::kCorrect;
  ClassifyFrame(port.transmitEntry);
  port.transmitReady = true;
}

}  // namespace

std::uint8_t FixedRequestControl(const PortRecord& port, FixedRequest request) {
  const bool busy = port.linkTest.ltBusy;
  const std::uint32_t singleCharacter = port.params.singleCharacter;
  switch (request) {
    case FixedRequest::PositiveAck:
      if (busy) return kNackControl;
      if ((singleCharacter == kE5ForAckAndNoData || singleCharacter == kE5ForAckOnly) &&
          !SignalsAccessDemand(port)) {
        return kSingleCharacter;
      }
      return kAckControl;
    case FixedRequest::NegativeAck:
      return kNackControl;
    case FixedRequest::StatusOfLink:
      return busy ? kNackControl : kStatusOfLinkControl;
    case FixedRequest::NotImplemented:
      return kNotImplementedControl;
    case FixedRequest::Reset:
      return port.params.resetKind == 0 ? kResetRemoteLinkControl : kResetFcbControl;
    case FixedRequest::TestLink:
      return kTestLinkControl;
    case FixedRequest::RequestStatus:
      return kRequestStatusControl;
    case FixedRequest::PollClass1:
      return kPollClass1Control;
    case FixedRequest::PollClass2:
      return kPollClass2Control;
    case FixedRequest::AckWithoutE5:
      return kAckControl;
    case FixedRequest::NoData:
      if (busy) return kNackControl;
      // An inverted RES or PRM bit must be seen, so no single character then.
      if (singleCharacter == kE5ForAckAndNoData && !SignalsAccessDemand(port) &&
          !port.linkTest.ltInvertRes && !port.linkTest.ltInvertPrm) {
        return kSingleCharacter;
      }
      return kNoDataControl;
  }
  return kNackControl;
}

std::uint8_t CompleteControl(PortRecord& port, std::uint8_t control, bool secondaryUserData) {
  const PortFunction function = port.params.function;
  if (function == PortFunction::Secondary) {
    if (secondaryUserData) control = kUserDataControl;
  } else if (function == PortFunction::Primary && control == kUserDataControl) {
    control = kSendConfirmControl;
  }

  const bool followsFcb = function == PortFunction::Primary || function == PortFunction::Unassigned;
  if (followsFcb && (control & kPrm) != 0 && (control & kFcv) != 0) {
    bool fcb;
    if (function == PortFunction::Primary) {
      fcb = TestListBit(port.fcbBits, port.currentIndex);
      if (!port.linkTest.ltFcbFrozen) {
        fcb = !fcb;
        SetListBit(port.fcbBits, port.currentIndex, fcb);
      }
    } else {
      if (!port.linkTest.ltFcbFrozen) port.portFcb = !port.portFcb;
      fcb = port.portFcb;
    }
    control = static_cast<std::uint8_t>(fcb ? (control | kFcb) : (control & ~kFcb));
  }

  const LinkTestFlags& test = port.linkTest;
  if (test.ltInvertRes) control ^= kRes;
  if (test.ltInvertPrm) control ^= kPrm;
  if ((control & kPrm) == 0) {
    if (test.ltForceAcd || port.acd) control |= kAcd;
    if (test.ltForceDfc) control |= kDfc;
  } else if (test.ltInvertFcv) {
    control ^= kFcv;
  }

  port.lastControl = control;
  return control;
}

void EncodeFixed(PortRecord& port, FixedRequest request) {
  if (request == FixedRequest::Reset && port.params.function == PortFunction::Unassigned) {
    port.portFcb = false;
  }
  const std::uint8_t control = FixedRequestControl(port, request);
  if (control == kSingleCharacter) {
    // Stands alone: no completion, no link-test inversion.
    const std::array<std::uint8_t, 1> single{kSingleCharacter};
    PutFrame(port, single);
    return;
  }
  std::array<std::uint8_t, kFixedLength> frame{};
  frame[0] = kStartFixed;
  frame[at::kFixedControl] = CompleteControl(port, control, false);
  frame[at::kFixedAddress] = HasRole(port) ? port.CurrentAddress() : port.params.Address(0);
  frame[at::kFixedChecksum] = FrameChecksum(frame);
  frame[at::kFixedEnd] = kEndCharacter;
  PutFrame(port, frame);
}

bool EncodeVariable(PortRecord& port, const GeneralParams& general,
                    const VariableTelegram& telegram) {
  if (telegram.kind >= kKindControl.size() || telegram.tail.size() > kMaxAsduTail) return false;
  std::uint8_t address = telegram.address;
  if (port.params.function == PortFunction::Secondary && address == kBroadcast) {
    address = port.answeredAddress;
  }
  const std::uint8_t commonAddress =
      general.separateCommonAddress != 0 ? telegram.commonAddress : address;

  std::array<std::uint8_t, kMaxFrameLength> frame{};
  const std::size_t userOctets =
      at::kCommonAddress + 1 - at::kVariableControl + telegram.tail.size();
  const std::size_t length = userOctets + kVariableOverhead;
  frame[0] = kStartVariable;
  frame[at::kLength] = static_cast<std::uint8_t>(userOctets);
  frame[at::kLengthRepeat] = static_cast<std::uint8_t>(userOctets);
  frame[at::kSecondStart] = kStartVariable;
  frame[at::kVariableControl] =
      CompleteControl(port, kKindControl[telegram.kind], telegram.secondaryUserData);
  frame[at::kVariableAddress] = address;
  frame[at::kTyp] = telegram.typ;
  frame[at::kVsq] = telegram.vsq;
  frame[at::kCot] = telegram.cot;
  frame[at::kCommonAddress] = commonAddress;
  std::copy(telegram.tail.begin(), telegram.tail.end(), frame.begin() + at::kCommonAddress + 1);
  const std::span<std::uint8_t> built(frame.data(), length);
  built[length - 2] = FrameChecksum(built);
  built[length - 1] = kEndCharacter;
  PutFrame(port, built);
  return true;
}

}  // namespace kivo
