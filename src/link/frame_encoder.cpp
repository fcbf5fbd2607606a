// The encoder: fixed frames, the single character and variable frames,
// built into a span with a completed control field.
#include <algorithm>

#include "link/frame_codec.h"
#include "link/port_record.h"
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

bool FollowsFcb(PortFunction function) {
  return function == PortFunction::Primary || function == PortFunction::Unassigned;
}

// User data on a secondary answering a poll; a primary sends user data as
// send/confirm.
std::uint8_t RoleControl(PortFunction function, std::uint8_t control, bool secondaryUserData) {
  if (function == PortFunction::Secondary) return secondaryUserData ? kUserDataControl : control;
  if (function == PortFunction::Primary && control == kUserDataControl) return kSendConfirmControl;
  return control;
}

bool CarriesFcb(PortFunction function, std::uint8_t control) {
  return FollowsFcb(function) && (control & kPrm) != 0 && (control & kFcv) != 0;
}

std::uint8_t WithFcb(std::uint8_t control, bool fcb) {
  return static_cast<std::uint8_t>(fcb ? (control | kFcb) : (control & ~kFcb));
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
  control = RoleControl(function, control, secondaryUserData);
  if (CarriesFcb(function, control)) {
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
    control = WithFcb(control, fcb);
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

std::uint8_t PreviewControl(PortFunction function, std::uint8_t control) {
  control = RoleControl(function, control, false);
  // The first FCB a fresh link sends is 1.
  return CarriesFcb(function, control) ? WithFcb(control, true) : control;
}

std::uint8_t TelegramAddress(const PortRecord& port, std::uint8_t address) {
  if (port.params.function == PortFunction::Secondary && address == kBroadcast) {
    return port.answeredAddress;
  }
  return address;
}

std::size_t EncodeFixed(PortRecord& port, FixedRequest request, std::span<std::uint8_t> out) {
  if (request == FixedRequest::Reset && port.params.function == PortFunction::Unassigned) {
    port.portFcb = false;
  }
  const std::uint8_t control = FixedRequestControl(port, request);
  if (control == kSingleCharacter) {
    // Stands alone: no completion, no link-test inversion.
    if (out.empty()) return 0;
    out[0] = kSingleCharacter;
    return 1;
  }
  const std::uint8_t address = HasRole(port) ? port.CurrentAddress() : port.params.Address(0);
  return BuildFixedFrame(CompleteControl(port, control, false), address, out);
}

std::size_t EncodeVariableWith(std::uint8_t control, std::uint8_t address,
                               std::uint8_t commonAddress, const VariableTelegram& telegram,
                               std::span<std::uint8_t> out) {
  if (telegram.tail.size() > kMaxAsduTail) return 0;
  std::array<std::uint8_t, kMaxAsdu> asdu{};
  asdu[at::kTyp - at::kTyp] = telegram.typ;
  asdu[at::kVsq - at::kTyp] = telegram.vsq;
  asdu[at::kCot - at::kTyp] = telegram.cot;
  asdu[at::kCommonAddress - at::kTyp] = commonAddress;
  constexpr std::size_t kTailAt = at::kCommonAddress + 1 - at::kTyp;
  std::copy(telegram.tail.begin(), telegram.tail.end(), asdu.begin() + kTailAt);
  return BuildVariableFrame(control, address, std::span(asdu).first(kTailAt + telegram.tail.size()),
                            out);
}

std::size_t EncodeVariable(PortRecord& port, const GeneralParams& general,
                           const VariableTelegram& telegram, std::span<std::uint8_t> out) {
  if (telegram.kind >= kKindControl.size() || telegram.tail.size() > kMaxAsduTail) return 0;
  const std::uint8_t address = TelegramAddress(port, telegram.address);
  const std::uint8_t commonAddress =
      general.separateCommonAddress != 0 ? telegram.commonAddress : address;
  const std::uint8_t control =
      CompleteControl(port, kKindControl[telegram.kind], telegram.secondaryUserData);
  return EncodeVariableWith(control, address, commonAddress, telegram, out);
}

void TakeFrame(PortRecord& port, std::span<const std::uint8_t> octets, std::uint8_t status) {
  port.transmitEntry = TLogEntry{};
  port.transmitEntry.SetFrame(octets);
  port.transmitEntry.status = status;
  ClassifyFrame(port.transmitEntry);
  port.transmitReady = true;
}

}  // namespace kivo
