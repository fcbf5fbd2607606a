// The validator and the encoders, on a port of the link layer alone.
#include <gtest/gtest.h>

#include "link/link_fixture.h"
#include "record/colour_records.h"

namespace kivo {
namespace {

using testing::RepairChecksum;
using testing::ToHex;
namespace st = status;
using R = FixedRequest;

struct Case {
  const char* frame;  // written with a placeholder checksum when repaired
  int status;
};

class CodecTest : public testing::LinkTest {
 protected:
  FrameRules rules = testing::StandardFrameRules();
  TValueColours causeColours;

  CodecTest() { rules.causeColours = &causeColours; }

  // Validated as received; the port takes what the frame tells about its
  // stations, as its procedure does.
  TLogEntry Received(const std::string& hex, const ReceiveConditions& conditions = {}) {
    TLogEntry entry;
    entry.SetFrame(testing::Hex(hex));
    StationUpdate update;
    ValidateFrame(rules, port, entry, conditions, &update);
    TakeStationUpdate(port, update);
    return entry;
  }
  int Status(const std::string& hex, const ReceiveConditions& conditions = {}) {
    return Received(hex, conditions).status;
  }
  void ExpectAll(std::initializer_list<Case> cases, bool repair = false) {
    for (const Case& c : cases) {
      EXPECT_EQ(Status(repair ? RepairChecksum(c.frame) : c.frame), c.status) << c.frame;
    }
  }
  std::string Fixed(R request) {
    OutgoingFrame frame;
    frame.length = EncodeFixed(port, request, frame.Buffer());
    return ToHex(frame.View());
  }
  // The frames of the requests one after another, joined by " | ".
  std::string Fixed(std::initializer_list<R> requests) {
    std::string frames;
    for (R request : requests) frames += (frames.empty() ? "" : " | ") + Fixed(request);
    return frames;
  }
};

TEST_F(CodecTest, ClassificationTakesOnlyOctetsPresent) {
  EXPECT_EQ(Status("10 49 01 4A 16"), st::kCorrect);
  const struct {
    const char* frame;
    int kind, address, control;
  } cases[] = {{"10 49 01 4A 16", kFrameFixed, 1, 0x49},
               {"10 49", kFrameFixed, 0, 0x49},
               {"68 09", kFrameVariable, 0, 0},
               {"33 49 01", kFrameOther, 0, 0},
               {"E5", kFrameFixed, 0, 0xE5}};
  for (const auto& c : cases) {
    const TLogEntry e = Received(c.frame);
    EXPECT_EQ(std::tuple(int{e.frameKind}, int{e.linkAddress}, int{e.control}),
              std::tuple(c.kind, c.address, c.control))
        << c.frame;
  }
}

TEST_F(CodecTest, ShapeFaults) {
  ExpectAll({{"", st::kNoStartCharacter},
             {"01 02 03", st::kNoStartCharacter},
             {"10 49 01 4A", st::kWrongLength},
             {"10 49 01 4A 16 16", st::kWrongLength},
             {"E5 E5", st::kWrongLength},
             {"68", st::kWrongLength},
             {"68 03 03 68", st::kWrongLength},
             {"68 05 05 68 08 01 09 16", st::kWrongLength},
             {"68 03 04 68 09 01 0A 14 16", st::kLengthOctetsDiffer},
             {"68 03 03 69 09 01 0A 14 16", st::kNoSecondStart},
             {"10 49 01 4B 16", st::kChecksumError},
             {"68 03 03 68 09 01 0A 15 16", st::kChecksumError},
             {"10 49 01 4A 17", st::kNoEndCharacter},
             {"68 03 03 68 09 01 0A 15 17", st::kNoEndCharacter}});  // checksum wrong too
  EXPECT_EQ(Status("E5"), st::kCorrect);                             // cbVwE5 2
  port.params.singleCharacter = 1;
  EXPECT_EQ(Status("E5"), st::kSingleCharacterRefused);
}

TEST_F(CodecTest, FunctionCodeAgainstDirectionShapeFcvAndBroadcast) {
  ExpectAll({{"10 45 01 46 16", st::kFunctionNotAdmissible},  // primary code 5
             {"10 02 01 03 16", st::kFunctionNotAdmissible},  // secondary code 2
             {"10 73 01 74 16", st::kShapeMismatch},          // send/confirm in a fixed frame
             {"68 03 03 68 49 01 0A 54 16", st::kShapeMismatch},
             {"10 08 01 09 16", st::kShapeMismatch},  // user data in a fixed frame
             {"68 03 03 68 00 01 0A 0B 16", st::kShapeMismatch},
             {"10 4A 01 4B 16", st::kFcvMismatch},    // class 1 request without FCV
             {"10 50 01 51 16", st::kFcvMismatch},    // reset with FCV
             {"10 40 FF 3F 16", st::kFcvMismatch}});  // broadcast reset
  ExpectAll({{"68 09 09 68 73 FF 07 81 09 FF FF 00 05 00 16", st::kFcvMismatch},
             {"68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16", st::kCorrect}},
            true);
}

TEST_F(CodecTest, PrimaryPortRefusesRequestsAndForeignAnswers) {
  Listen(PortFunction::Primary, {1, 2});
  ExpectAll({{"10 49 01 4A 16", st::kPrimaryOnPrimary},
             {"10 0B 01 0C 16", st::kCorrect},
             {"10 0B 02 0D 16", st::kOtherAddress},
             {"10 0B 07 12 16", st::kOtherAddress},
             {"10 39 01 3A 16", st::kDataFlowControl}});  // ACD and DFC from the polled address
  port.currentIndex = 1;
  EXPECT_EQ(Status("10 0B 02 0D 16"), st::kCorrect);
}

TEST_F(CodecTest, SecondaryPortChecksResetAndFcbPerAddress) {
  Listen(PortFunction::Secondary, {3, 4});
  ExpectAll({{"10 7B 05 80 16", st::kAddressNotListed},
             {"10 7B 03 7E 16", st::kLinkNotReset},
             {"10 40 04 44 16", st::kCorrect}});  // resets always pass
  EXPECT_EQ(port.currentIndex, 1);
  EXPECT_EQ(port.previousIndex, 0);
  port.notReset = 0;  // both links reset, FCBs cleared
  ExpectAll({{"10 7B 03 7E 16", st::kCorrect},
             {"10 7B 03 7E 16", st::kFcbNotToggled},
             {"10 5B 03 5E 16", st::kCorrect},
             {"10 7B 04 7F 16", st::kCorrect},  // own FCB per address
             {"10 49 04 4D 16", st::kCorrect},  // no FCV: FCB not looked at
             {"10 5B 04 5F 16", st::kCorrect},
             {"10 0B 04 0F 16", st::kUnexpectedSecondary},
             {"10 0B 03 0E 16", st::kOtherAddress}});  // overrides 21
  // The validator alone changes nothing: the procedure takes the update.
  const int currentIndex = port.currentIndex;
  const ListBits fcbBits = port.fcbBits;
  TLogEntry entry;
  entry.SetFrame(testing::Hex("10 7B 03 7E 16"));
  StationUpdate update;
  EXPECT_EQ(ValidateFrame(rules, port, entry, {}, &update), st::kCorrect);
  EXPECT_EQ(port.currentIndex, currentIndex);
  EXPECT_EQ(port.fcbBits, fcbBits);
  EXPECT_EQ(update.index, 0);
  EXPECT_TRUE(update.storeFcb);
}

TEST_F(CodecTest, BroadcastToSecondaryNeedsOneResetAddress) {
  Listen(PortFunction::Secondary, {3, 4});
  const std::string broadcast = RepairChecksum("68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16");
  EXPECT_EQ(Status(broadcast), st::kLinkNotReset);
  SetListBit(port.notReset, 1, false);
  port.currentIndex = 1;
  EXPECT_EQ(Status(broadcast), st::kCorrect);
  EXPECT_EQ(port.currentIndex, 0);
}

TEST_F(CodecTest, UnassignedPortFollowsFcbOfEachAddressSeen) {
  ExpectAll({{"10 7B 05 80 16", st::kCorrect},  // new address: FCB stored
             {"10 7B 05 80 16", st::kFcbNotToggled},
             {"10 7B 06 81 16", st::kCorrect},
             {"10 5B 05 60 16", st::kCorrect},
             {"10 7B 05 80 16", st::kCorrect},
             {"10 40 05 45 16", st::kCorrect},  // reset clears the FCB
             {"10 5B 05 60 16", st::kFcbNotToggled},
             {"10 7B 05 80 16", st::kCorrect},
             {"10 0B 05 10 16", st::kCorrect}});
  EXPECT_EQ(Status(RepairChecksum("68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16")), st::kCorrect);
  EXPECT_EQ(std::count(port.monitorAddresses.begin(), port.monitorAddresses.end(), 255), 29);
  for (std::uint8_t address = 0x10; address < 0x10 + 29; ++address) {
    EXPECT_EQ(Status(RepairChecksum(ToHex(testing::Octets{0x10, 0x7B, address, 0x00, 0x16}))),
              st::kCorrect);
  }
  // Table full: a new address is accepted, repeated or not.
  ExpectAll({{"10 7B 50 CB 16", st::kCorrect}, {"10 7B 50 CB 16", st::kCorrect}});
}

TEST_F(CodecTest, LineErrorAndBusyPort) {
  const ReceiveConditions lineError{.lineError = true};
  EXPECT_EQ(Status("10 49 01 4A 16", lineError), st::kLineError);
  EXPECT_EQ(Status("10 45 01 46 16", lineError), st::kLineError);
  EXPECT_EQ(Status("10 49 01 4B 16", lineError), st::kChecksumError);
  EXPECT_EQ(Status("10 49 01 4A 16", {.lineError = true, .octetsPending = true}), st::kCorrect);
  EXPECT_EQ(Status("10 49 03 4C 16", {.transmitting = true}), st::kCorrect);  // unassigned
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Status("10 49 03 4C 16", {.transmitting = true}), st::kPortBusy);
  EXPECT_EQ(Status("10 49 03 4C 16", {.requestPending = true}), st::kPortBusy);
  EXPECT_EQ(Status("E5", {.requestPending = true}), st::kCorrect);  // the procedure logs 21
  EXPECT_EQ(Status("10 49 07 50 16", {.transmitting = true}), st::kAddressNotListed);
  Listen(PortFunction::GapMonitor);
  EXPECT_EQ(Received("10 49 01 4B 17 33").status, st::kCorrect);
  EXPECT_EQ(Received("10 49 01 4B 17 33").control, 0x49);
  EXPECT_EQ(Status("01 02", lineError), st::kGapLineError);
}

// Frames from a secondary (control 08) seen by an unassigned port.
TEST_F(CodecTest, AsduTypeVsqLengthAndCause) {
  ExpectAll(
      {{"68 09 09 68 08 01 07 81 09 01 FF 00 05 00 16", st::kCorrect},  // TYP 7: 15 octets
       {"68 08 08 68 08 01 07 81 09 01 FF 00 00 16", st::kAsduLength},  // TYP 7: 14 octets
       {"68 07 07 68 08 01 07 81 09 01 FF 00 16", st::kAsduLength},     // under 14 octets
       {"68 08 08 68 08 01 0C 81 09 01 FF 00 00 16", st::kUndefinedType},
       {"68 08 08 68 08 01 80 81 09 01 FF 00 00 16", st::kUndefinedType},  // 128: free frame
       {"68 08 08 68 08 01 03 82 09 01 FF 00 00 16", st::kVsqNotAdmissible},
       {"68 08 08 68 08 01 17 00 01 01 FF 00 00 16", st::kCorrect},        // TYP 23 without element
       {"68 09 09 68 08 01 0A 81 FF 01 FE F1 00 00 16", st::kAsduLength},  // TYP 10 under 16
       {"68 0A 0A 68 08 01 0A 81 FF 01 FE F1 00 01 00 16", st::kCorrect},  // cause not checked
       // TYP 29, 17 + 3 x items; TYP 30, 20 + 2 x values.
       {"68 13 13 68 08 01 1D 81 1F 01 FF 00 01 00 02 00 00 01 02 03 04 05 06 00 16", st::kCorrect},
       {"68 12 12 68 08 01 1D 81 1F 01 FF 00 01 00 02 00 00 01 02 03 04 05 00 16", st::kAsduLength},
       {"68 12 12 68 08 01 1D 81 1F 01 FF 00 01 00 FF 00 00 01 02 03 04 05 00 16", st::kAsduLength},
       {"68 16 16 68 08 01 1E 81 1F 01 FF 00 01 00 02 00 00 03 00 00 01 02 03 04 05 06 00 16",
        st::kCorrect},
       {"68 16 16 68 08 01 1E 81 1F 01 FF 00 01 00 02 00 00 04 00 00 01 02 03 04 05 06 00 16",
        st::kAsduLength},
       // A DFC fault ends the check before the undefined type is seen.
       {"68 08 08 68 18 01 0C 81 09 01 FF 00 00 16", st::kDataFlowControl}},
      true);
  // A cause outside the type's set is 27, or 47 when it carries a colour
  // and is outside the common set too.
  auto timeSync = [](const char* cot) {
    return std::string("68 0F 0F 68 08 01 06 81 ") + cot + " 01 FF 00 00 00 00 00 00 00 00 00 16";
  };
  ExpectAll(
      {{timeSync("08").c_str(), st::kCorrect}, {timeSync("32").c_str(), st::kCauseNotAdmissible}},
      true);
  causeColours.pairs[0x32] = ColourPair(3, 15);
  causeColours.pairs[0x01] = ColourPair(3, 15);
  ExpectAll({{timeSync("32").c_str(), st::kCauseNotCommon},
             {timeSync("01").c_str(), st::kCauseNotAdmissible},  // in the common set
             {timeSync("00").c_str(), st::kCauseNotAdmissible}},
            true);
}

TEST_F(CodecTest, SecondaryAnswersTheSingleCharacterRuleAndLinkTestFlags) {
  Listen(PortFunction::Secondary, {3});
  // cbVwE5 2: the single character for acknowledgements only
  EXPECT_EQ(Fixed({R::NegativeAck, R::StatusOfLink, R::NotImplemented, R::PositiveAck, R::NoData}),
            "10 01 03 04 16 | 10 0B 03 0E 16 | 10 0F 03 12 16 | E5 | 10 09 03 0C 16");
  port.params.singleCharacter = 0;
  EXPECT_EQ(Fixed({R::NoData, R::AckWithoutE5}), "E5 | 10 00 03 03 16");
  port.acd = true;  // e.g. the identification waits after a reset
  EXPECT_EQ(Fixed({R::PositiveAck, R::NoData}), "10 20 03 23 16 | 10 29 03 2C 16");
  port.acd = false;
  const struct {
    int item;  // link-test window item
    R request;
    const char* octets;
  } flags[] = {{0, R::PositiveAck, "10 01 03 04 16"},
               {0, R::StatusOfLink, "10 01 03 04 16"},
               {0, R::NoData, "10 01 03 04 16"},
               {1, R::NoData, "10 89 03 8C 16"},
               {1, R::PositiveAck, "E5"},  // the single character is never completed
               {2, R::NoData, "10 49 03 4C 16"},
               {4, R::StatusOfLink, "10 0B 03 0E 16"},  // FCV only in primary octets
               {5, R::StatusOfLink, "10 2B 03 2E 16"},
               {6, R::PositiveAck, "10 10 03 13 16"},
               {11, R::StatusOfLink, "10 0B 03 0E 16"}};
  for (const auto& c : flags) {
    port.linkTest.Clear();
    port.linkTest.Set(c.item, true);
    EXPECT_EQ(Fixed(c.request), c.octets) << "item " << c.item;
  }
  EXPECT_EQ(port.lastControl, 0x0B);
  port.linkTest.Clear();
  port.params.singleCharacter = 1;
  EXPECT_EQ(Fixed(R::PositiveAck), "10 00 03 03 16");
}

// The FCB, the reset kind, a frozen FCB and an inverted FCV show in the
// simulation tests; the rest of the link-test flags here.
TEST_F(CodecTest, PrimaryRequestsUnderTheLinkTestFlags) {
  Listen(PortFunction::Primary, {1, 2});
  EXPECT_EQ(Fixed(R::TestLink), "10 72 01 73 16");  // the first FCB of a link is 1
  port.linkTest.ltInvertRes = true;
  EXPECT_EQ(Fixed(R::RequestStatus), "10 C9 01 CA 16");
  // Without PRM the octet counts as secondary: ACD and DFC forcing apply.
  port.linkTest.ltInvertRes = false;
  port.linkTest.ltInvertPrm = port.linkTest.ltForceAcd = port.linkTest.ltForceDfc = true;
  EXPECT_EQ(Fixed(R::RequestStatus), "10 39 01 3A 16");
}

TEST_F(CodecTest, UnassignedPortKeepsOneFcbClearedByReset) {
  Listen(PortFunction::Unassigned, {7, 8});
  port.currentIndex = 1;
  // The first list entry; the reset clears the FCB.
  EXPECT_EQ(Fixed({R::PollClass2, R::PollClass2, R::Reset, R::PollClass2}),
            "10 7B 07 82 16 | 10 5B 07 62 16 | 10 47 07 4E 16 | 10 7B 07 82 16");
  // Taken as the transmit entry, the frame is classified.
  OutgoingFrame frame;
  frame.length = EncodeFixed(port, R::PollClass2, frame.Buffer());
  TakeFrame(port, frame);
  EXPECT_TRUE(port.transmitReady);
  EXPECT_EQ(port.transmitEntry.status, st::kCorrect);
  EXPECT_EQ(port.transmitEntry.frameKind, kFrameFixed);
  EXPECT_EQ(port.transmitEntry.control, 0x5B);
  EXPECT_EQ(port.transmitEntry.linkAddress, 7);
}

// The controls, addresses and common addresses of variable frames show in
// the send and simulation tests; the preview of a fresh link here: the
// first FCB, no ACD.
TEST_F(CodecTest, VariableFramePreviewOfAFreshLink) {
  EXPECT_EQ(PreviewControl(PortFunction::Primary, 0x53), 0x73);
  EXPECT_EQ(PreviewControl(PortFunction::Primary, 0x08), 0x73);
  EXPECT_EQ(PreviewControl(PortFunction::Secondary, 0x08), 0x08);
  EXPECT_EQ(PreviewControl(PortFunction::Unassigned, 0x44), 0x44);
}

TEST_F(CodecTest, VariableFrameRefusesWhatDoesNotFit) {
  OutgoingFrame frame;
  std::vector<std::uint8_t> longest(ft12::kMaxAsduTail + 1, 0x00);
  VariableTelegram telegram{.kind = 3, .tail = {}};
  EXPECT_EQ(EncodeVariable(port, general, telegram, frame.Buffer()), 0u);
  telegram = {.kind = 1, .tail = longest};
  EXPECT_EQ(EncodeVariable(port, general, telegram, frame.Buffer()), 0u);
  telegram.tail = std::span(longest).first(ft12::kMaxAsduTail);
  frame.length = EncodeVariable(port, general, telegram, frame.Buffer());
  ASSERT_EQ(frame.length, ft12::kMaxFrameLength);
  EXPECT_EQ(frame.octets[1], 0xFF);
  const std::vector<std::uint8_t> asdu(ft12::kMaxAsdu + 1, 0x00);
  EXPECT_EQ(
      ft12::BuildVariableFrame(0x08, 1, std::span(asdu).first(ft12::kMaxAsdu), frame.Buffer()),
      ft12::kMaxFrameLength);
  EXPECT_EQ(ft12::BuildVariableFrame(0x08, 1, asdu, frame.Buffer()), 0u);
}

}  // namespace
}  // namespace kivo
