#include <gtest/gtest.h>

#include "link/frame_fixture.h"

namespace kivo {
namespace {

using testing::FrameCodecTest;
using testing::RepairChecksum;
namespace st = status;

struct Case {
  const char* frame;  // written with a placeholder checksum when repaired
  int status;
};

class ValidatorTest : public FrameCodecTest {
 protected:
  void ExpectAll(std::initializer_list<Case> cases, bool repair = false) {
    for (const Case& c : cases) {
      EXPECT_EQ(Status(repair ? RepairChecksum(c.frame) : c.frame), c.status) << c.frame;
    }
  }
};

TEST_F(ValidatorTest, ClassificationTakesOnlyOctetsPresent) {
  const TLogEntry fixed = Received("10 49 01 4A 16");
  EXPECT_EQ(fixed.status, st::kCorrect);
  EXPECT_EQ(fixed.frameKind, kFrameFixed);
  EXPECT_EQ(fixed.control, 0x49);
  EXPECT_EQ(fixed.linkAddress, 1);
  EXPECT_EQ(Received("10 49").linkAddress, 0);
  EXPECT_EQ(Received("68 09").frameKind, kFrameVariable);
  EXPECT_EQ(Received("68 09").control, 0);
  EXPECT_EQ(Received("33 49 01").frameKind, kFrameOther);
  const TLogEntry single = Received("E5");
  EXPECT_EQ(single.control, 0xE5);
  EXPECT_EQ(single.linkAddress, 0);
}

TEST_F(ValidatorTest, ShapeFaults) {
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
}

TEST_F(ValidatorTest, SingleCharacterFollowsCbVwE5) {
  EXPECT_EQ(Status("E5"), st::kCorrect);  // cbVwE5 2
  port.params.singleCharacter = 0;
  EXPECT_EQ(Status("E5"), st::kCorrect);
  port.params.singleCharacter = 1;
  EXPECT_EQ(Status("E5"), st::kSingleCharacterRefused);
}

TEST_F(ValidatorTest, FunctionCodeAgainstDirectionShapeFcvAndBroadcast) {
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

TEST_F(ValidatorTest, PrimaryPortRefusesRequestsAndForeignAnswers) {
  Listen(PortFunction::Primary, {1, 2});
  ExpectAll({{"10 49 01 4A 16", st::kPrimaryOnPrimary},
             {"10 0B 01 0C 16", st::kCorrect},
             {"10 0B 02 0D 16", st::kOtherAddress},
             {"10 0B 07 12 16", st::kOtherAddress},
             {"10 39 01 3A 16", st::kDataFlowControl}});  // ACD and DFC from the polled address
  port.currentIndex = 1;
  EXPECT_EQ(Status("10 0B 02 0D 16"), st::kCorrect);
}

TEST_F(ValidatorTest, SecondaryPortChecksResetAndFcbPerAddress) {
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
}

TEST_F(ValidatorTest, BroadcastToSecondaryNeedsOneResetAddress) {
  Listen(PortFunction::Secondary, {3, 4});
  const std::string broadcast = RepairChecksum("68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16");
  EXPECT_EQ(Status(broadcast), st::kLinkNotReset);
  SetListBit(port.notReset, 1, false);
  port.currentIndex = 1;
  EXPECT_EQ(Status(broadcast), st::kCorrect);
  EXPECT_EQ(port.currentIndex, 0);
}

TEST_F(ValidatorTest, UnassignedPortFollowsFcbOfEachAddressSeen) {
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
    EXPECT_EQ(Status(RepairChecksum(testing::ToHex({0x10, 0x7B, address, 0x00, 0x16}))),
              st::kCorrect);
  }
  // Table full: a new address is accepted, repeated or not.
  ExpectAll({{"10 7B 50 CB 16", st::kCorrect}, {"10 7B 50 CB 16", st::kCorrect}});
}

TEST_F(ValidatorTest, LineErrorMarksOnlyFramesThatLookCorrect) {
  const ReceiveConditions lineError{.lineError = true};
  EXPECT_EQ(Status("10 49 01 4A 16", lineError), st::kLineError);
  EXPECT_EQ(Status("10 45 01 46 16", lineError), st::kLineError);
  EXPECT_EQ(Status("10 49 01 4B 16", lineError), st::kChecksumError);
  port.params.singleCharacter = 1;
  EXPECT_EQ(Status("E5", lineError), st::kSingleCharacterRefused);
  EXPECT_EQ(Status("10 49 01 4A 16", {.lineError = true, .octetsPending = true}), st::kCorrect);
}

TEST_F(ValidatorTest, BusyPortRefusesFramesForTheProcedure) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Status("10 49 03 4C 16", {.transmitting = true}), st::kPortBusy);
  EXPECT_EQ(Status("10 49 03 4C 16", {.requestPending = true}), st::kPortBusy);
  EXPECT_EQ(Status("E5", {.requestPending = true}), st::kCorrect);  // the procedure logs 21
  EXPECT_EQ(Status("10 49 07 50 16", {.transmitting = true}), st::kAddressNotListed);
  Listen(PortFunction::Unassigned);
  EXPECT_EQ(Status("10 49 03 4C 16", {.transmitting = true}), st::kCorrect);
}

TEST_F(ValidatorTest, GapMonitorOnlyClassifies) {
  Listen(PortFunction::GapMonitor);
  EXPECT_EQ(Received("10 49 01 4B 17 33").status, st::kCorrect);
  EXPECT_EQ(Received("10 49 01 4B 17 33").control, 0x49);
  EXPECT_EQ(Status("01 02", {.lineError = true}), st::kGapLineError);
}

// Frames from a secondary (control 08) seen by an unassigned port.
TEST_F(ValidatorTest, AsduTypeVsqAndLength) {
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
}

TEST_F(ValidatorTest, CauseNotAdmissibleIs47OnlyForColouredCausesOutsideTheCommonSet) {
  auto timeSync = [](const char* cot) {
    return std::string("68 0F 0F 68 08 01 06 81 ") + cot + " 01 FF 00 00 00 00 00 00 00 00 00 16";
  };
  ExpectAll(
      {{timeSync("08").c_str(), st::kCorrect}, {timeSync("32").c_str(), st::kCauseNotAdmissible}},
      true);
  instance.settings.causeColours.pairs[0x32] = ColourPair(3, 15);
  instance.settings.causeColours.pairs[0x01] = ColourPair(3, 15);
  ExpectAll({{timeSync("32").c_str(), st::kCauseNotCommon},
             {timeSync("01").c_str(), st::kCauseNotAdmissible},  // in the common set
             {timeSync("00").c_str(), st::kCauseNotAdmissible}},
            true);
}

}  // namespace
}  // namespace kivo
