// The validator: shape, control field and ASDU of a received frame.
#include <algorithm>

#include "link/frame_codec.h"
#include "link/frame_rules.h"
#include "link/port_record.h"
#include "record/colour_records.h"
#include "record/frame_status.h"
#include "record/type_catalogue.h"

namespace kivo {

namespace {

using namespace ft12;

std::uint8_t OctetOr0(std::span<const std::uint8_t> frame, std::size_t position) {
  return position < frame.size() ? frame[position] : 0;
}

bool IsStartCharacter(std::uint8_t octet) {
  return octet == kStartFixed || octet == kStartVariable || octet == kSingleCharacter;
}

// Shape, length, start and end characters and checksum (statuses 5 to 12).
std::uint8_t CheckShape(const PortRecord& port, std::span<const std::uint8_t> frame) {
  const std::size_t n = frame.size();
  if (n == 0 || !IsStartCharacter(frame[0])) return status::kNoStartCharacter;
  switch (frame[0]) {
    case kSingleCharacter:
      if (n != 1) return status::kWrongLength;
      return port.params.singleCharacter == 1 ? status::kSingleCharacterRefused : status::kCorrect;
    case kStartFixed:
      if (n != kFixedLength) return status::kWrongLength;
      if (frame[at::kFixedEnd] != kEndCharacter) return status::kNoEndCharacter;
      if (FrameChecksum(frame) != frame[at::kFixedChecksum]) return status::kChecksumError;
      return status::kCorrect;
    default: {
      if (n <= at::kLength || n != frame[at::kLength] + kVariableOverhead) {
        return status::kWrongLength;
      }
      // n >= 6 from here on.
      if (frame[at::kLength] != frame[at::kLengthRepeat]) return status::kLengthOctetsDiffer;
      if (frame[at::kSecondStart] != kStartVariable) return status::kNoSecondStart;
      if (frame[n - 1] != kEndCharacter) return status::kNoEndCharacter;
      if (FrameChecksum(frame) != frame[n - 2]) return status::kChecksumError;
      return status::kCorrect;
    }
  }
}

int AdmissibilityDigit(const FrameRules& rules, bool primaryFrame, int functionCode) {
  const auto& digits = primaryFrame ? rules.primaryFunctions : rules.secondaryFunctions;
  return digits[static_cast<std::size_t>(functionCode & kFunctionMask)];
}

// The list index of an address: the first match; the broadcast address
// stands for index 0; -1 when the address is not listed.
int FindAddress(const PortParams& params, std::uint8_t address) {
  if (address == kBroadcast) return 0;
  const int count = params.EffectiveAddressCount();
  for (int i = 0; i < count; ++i) {
    if (params.Address(i) == address) return i;
  }
  return -1;
}

struct ControlField {
  std::uint8_t control;
  std::uint8_t address;
  bool variable;
  int functionCode() const { return control & kFunctionMask; }
  bool fcbOrAcd() const { return (control & kFcb) != 0; }
  bool fcvOrDfc() const { return (control & kFcv) != 0; }
  bool broadcast() const { return address == kBroadcast; }
};

bool AnyAddressReset(const PortRecord& port) {
  const int count = port.params.EffectiveAddressCount();
  for (int i = 0; i < count; ++i) {
    if (!TestListBit(port.notReset, i)) return true;
  }
  return false;
}

// A request to a secondary port: the addressed station becomes current, its
// reset state and FCB decide.
std::uint8_t AcceptRequestOnSecondary(const PortRecord& port, const ControlField& field,
                                      int listIndex, StationUpdate& update) {
  if (listIndex < 0) return status::kAddressNotListed;
  update.kind = StationUpdate::Kind::Addressed;
  update.index = listIndex;
  switch (field.functionCode()) {
    case fc::kResetRemoteLink:
    case fc::kResetFcb:
    case fc::kRequestStatus:
      return status::kCorrect;
    default:
      break;
  }
  if (field.broadcast()) return AnyAddressReset(port) ? status::kCorrect : status::kLinkNotReset;
  if (TestListBit(port.notReset, listIndex)) return status::kLinkNotReset;
  if (!field.fcvOrDfc()) return status::kCorrect;
  if (TestListBit(port.fcbBits, listIndex) == field.fcbOrAcd()) return status::kFcbNotToggled;
  update.storeFcb = true;
  update.fcb = field.fcbOrAcd();
  return status::kCorrect;
}

// A request seen by an unassigned port: it follows the FCB of up to 31
// addresses. The broadcast address stays out of the table, where 255 marks
// a free slot.
std::uint8_t FollowRequestOnUnassigned(const PortRecord& port, const ControlField& field,
                                       StationUpdate& update) {
  if (field.broadcast()) return status::kCorrect;
  const auto& table = port.monitorAddresses;
  auto slot = std::find(table.begin(), table.end(), field.address);
  bool slotFcb;
  if (slot == table.end()) {
    slot = std::find(table.begin(), table.end(), PortRecord::kFreeSlot);
    if (slot == table.end()) return status::kCorrect;  // table full: not followed
    update.kind = StationUpdate::Kind::Monitored;
    update.index = static_cast<int>(slot - table.begin());
    update.takeSlot = true;
    update.address = field.address;
    update.storeFcb = true;
    update.fcb = field.fcbOrAcd();
    if (field.fcvOrDfc()) return status::kCorrect;
    slotFcb = field.fcbOrAcd();
  } else {
    update.kind = StationUpdate::Kind::Monitored;
    update.index = static_cast<int>(slot - table.begin());
    slotFcb = TestListBit(port.monitorFcb, update.index);
  }
  if (!field.fcvOrDfc()) {
    const int code = field.functionCode();
    if (code == fc::kResetRemoteLink || code == fc::kResetFcb) {
      update.storeFcb = true;
      update.fcb = false;
    }
    return status::kCorrect;
  }
  if (slotFcb == field.fcbOrAcd()) return status::kFcbNotToggled;
  update.storeFcb = true;
  update.fcb = field.fcbOrAcd();
  return status::kCorrect;
}

bool CarriesUserData(int functionCode) {
  return functionCode == fc::kSendConfirm || functionCode == fc::kSendNoReply;
}

std::uint8_t CheckPrimaryFrame(const PortRecord& port, const ControlField& field, int digit,
                               int listIndex, StationUpdate& update) {
  const int code = field.functionCode();
  if (CarriesUserData(code) != field.variable) return status::kShapeMismatch;
  if (port.params.function == PortFunction::Primary) return status::kPrimaryOnPrimary;
  const bool fcvExpected = (digit % 2) != 0;
  if (field.fcvOrDfc() != fcvExpected || (field.broadcast() && code != fc::kSendNoReply)) {
    return status::kFcvMismatch;
  }
  switch (port.params.function) {
    case PortFunction::Secondary:
      return AcceptRequestOnSecondary(port, field, listIndex, update);
    case PortFunction::Unassigned:
      return FollowRequestOnUnassigned(port, field, update);
    default:
      return status::kCorrect;
  }
}

// A secondary frame: the rules run in turn and the last that applies sets
// the status, so a set DFC bit outweighs every fault found before it.
std::uint8_t CheckSecondaryFrame(const PortRecord& port, const ControlField& field, int listIndex) {
  std::uint8_t result = status::kCorrect;
  const PortFunction function = port.params.function;
  if (function == PortFunction::Secondary) result = status::kUnexpectedSecondary;
  if ((field.functionCode() == fc::kUserData) != field.variable) result = status::kShapeMismatch;
  if (function == PortFunction::Primary || function == PortFunction::Secondary) {
    // An unlisted address has the end marker as its list value.
    const std::uint8_t listValue =
        listIndex >= 0 ? port.params.Address(listIndex) : PortParams::kAddressEnd;
    if (listValue != port.CurrentAddress()) result = status::kOtherAddress;
  }
  if (field.fcvOrDfc()) result = status::kDataFlowControl;
  return result;
}

std::uint8_t CheckControlField(const FrameRules& rules, const PortRecord& port,
                               const ControlField& field, StationUpdate& update) {
  const bool primaryFrame = (field.control & kPrm) != 0;
  const int digit = AdmissibilityDigit(rules, primaryFrame, field.functionCode());
  if (digit == 0) return status::kFunctionNotAdmissible;
  const int listIndex = FindAddress(port.params, field.address);
  return primaryFrame ? CheckPrimaryFrame(port, field, digit, listIndex, update)
                      : CheckSecondaryFrame(port, field, listIndex);
}

bool CheckedWithoutCause(int typ) {
  return typ == 10 || typ == 11 || typ == 21;
}

// Type, VSQ, length and cause of the ASDU of a variable frame.
std::uint8_t CheckAsdu(const FrameRules& rules, std::span<const std::uint8_t> frame) {
  constexpr std::size_t kShortestAsduFrame = 14;
  constexpr std::size_t kShortestUncheckedFrame = 16;
  if (frame.size() < kShortestAsduFrame) return status::kAsduLength;
  const int typ = frame[at::kTyp];
  if (!KnownForDecoding(typ)) return status::kUndefinedType;
  if (!VsqAdmissible(typ, frame[at::kVsq])) return status::kVsqNotAdmissible;
  if (CheckedWithoutCause(typ)) {
    return frame.size() < kShortestUncheckedFrame ? status::kAsduLength : status::kCorrect;
  }
  if (!LengthFits(typ, frame)) return status::kAsduLength;
  const int cot = frame[at::kCot];
  if (rules.typeCauses[static_cast<std::size_t>(typ)].test(static_cast<std::size_t>(cot))) {
    return status::kCorrect;
  }
  const bool coloured = rules.causeColours != nullptr &&
                        rules.causeColours->pairs[static_cast<std::size_t>(cot)] != 0;
  return coloured && !rules.commonCauses.test(static_cast<std::size_t>(cot))
             ? status::kCauseNotCommon
             : status::kCauseNotAdmissible;
}

bool RefusedAsBusy(const PortRecord& port, bool singleCharacter,
                   const ReceiveConditions& conditions) {
  const PortFunction function = port.params.function;
  if (function != PortFunction::Primary && function != PortFunction::Secondary) return false;
  if (conditions.transmitting) return true;
  return function == PortFunction::Secondary && conditions.requestPending && !singleCharacter;
}

}  // namespace

void ClassifyFrame(TLogEntry& entry) {
  const auto frame = entry.Frame();
  const std::uint8_t first = OctetOr0(frame, 0);
  switch (frame.empty() ? 0 : first) {
    case kSingleCharacter:
      entry.frameKind = kFrameFixed;
      entry.control = kSingleCharacter;
      entry.linkAddress = 0;
      break;
    case kStartFixed:
      entry.frameKind = kFrameFixed;
      entry.control = OctetOr0(frame, at::kFixedControl);
      entry.linkAddress = OctetOr0(frame, at::kFixedAddress);
      break;
    case kStartVariable:
      entry.frameKind = kFrameVariable;
      entry.control = OctetOr0(frame, at::kVariableControl);
      entry.linkAddress = OctetOr0(frame, at::kVariableAddress);
      break;
    default:
      entry.frameKind = kFrameOther;
      entry.control = 0;
      entry.linkAddress = 0;
      break;
  }
}

std::uint8_t ValidateFrame(const FrameRules& rules, const PortRecord& port, TLogEntry& entry,
                           const ReceiveConditions& conditions, StationUpdate* update) {
  ClassifyFrame(entry);
  StationUpdate found;
  const auto frame = entry.Frame();
  std::uint8_t result;
  if (port.params.function == PortFunction::GapMonitor) {
    result = conditions.lineError ? status::kGapLineError : status::kCorrect;
  } else {
    result = CheckShape(port, frame);
    const bool variable = entry.frameKind == kFrameVariable;
    const bool singleCharacter = !frame.empty() && frame[0] == kSingleCharacter;
    if (result == status::kCorrect && !singleCharacter) {
      const ControlField field{entry.control, static_cast<std::uint8_t>(entry.linkAddress),
                               variable};
      result = CheckControlField(rules, port, field, found);
    }
    if (result == status::kCorrect && variable) result = CheckAsdu(rules, frame);
    if (result > status::kLastShapeError && conditions.lineError && !conditions.octetsPending) {
      result = status::kLineError;
    }
    if (status::ReachesLinkProcedure(result) && RefusedAsBusy(port, singleCharacter, conditions)) {
      result = status::kPortBusy;
    }
  }
  entry.status = result;
  if (update != nullptr) *update = found;
  return result;
}

void TakeStationUpdate(PortRecord& port, const StationUpdate& update) {
  switch (update.kind) {
    case StationUpdate::Kind::None:
      return;
    case StationUpdate::Kind::Addressed:
      port.previousIndex = port.currentIndex;
      port.currentIndex = update.index;
      if (update.storeFcb) SetListBit(port.fcbBits, update.index, update.fcb);
      return;
    case StationUpdate::Kind::Monitored:
      if (update.index < 0 || update.index >= PortRecord::kMonitorSlots) return;
      if (update.takeSlot)
        port.monitorAddresses[static_cast<std::size_t>(update.index)] = update.address;
      if (update.storeFcb) SetListBit(port.monitorFcb, update.index, update.fcb);
      return;
  }
}

}  // namespace kivo
