#include <gtest/gtest.h>

#include "link/frame_fixture.h"

namespace kivo {
namespace {

using testing::FrameCodecTest;
using testing::RepairChecksum;

class EncoderTest : public FrameCodecTest {
 protected:
  std::string Fixed(FixedRequest request) {
    EncodeFixed(port, request);
    return Sent();
  }
};

TEST_F(EncoderTest, SecondaryAcknowledgesWithSingleCharacterUnlessAccessDemand) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "E5");  // cbVwE5 2
  port.params.singleCharacter = 0;
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "E5");
  EXPECT_EQ(Fixed(FixedRequest::AckWithoutE5), "10 00 03 03 16");
  port.params.singleCharacter = 1;
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "10 00 03 03 16");
  port.params.singleCharacter = 2;
  port.acd = true;  // identification waiting after a reset
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "10 20 03 23 16");
  port.acd = false;
  port.linkTest.ltForceDfc = true;
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "10 10 03 13 16");
}

TEST_F(EncoderTest, SecondaryNoDataAnswer) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Fixed(FixedRequest::NoData), "10 09 03 0C 16");  // cbVwE5 2: acks only
  port.params.singleCharacter = 0;
  EXPECT_EQ(Fixed(FixedRequest::NoData), "E5");
  port.linkTest.ltInvertRes = true;
  EXPECT_EQ(Fixed(FixedRequest::NoData), "10 89 03 8C 16");
  port.linkTest = {};
  port.linkTest.ltInvertPrm = true;
  EXPECT_EQ(Fixed(FixedRequest::NoData), "10 49 03 4C 16");
  port.linkTest = {};
  port.acd = true;
  EXPECT_EQ(Fixed(FixedRequest::NoData), "10 29 03 2C 16");
}

TEST_F(EncoderTest, SecondaryFixedAnswersAndBusyTest) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Fixed(FixedRequest::NegativeAck), "10 01 03 04 16");
  EXPECT_EQ(Fixed(FixedRequest::StatusOfLink), "10 0B 03 0E 16");
  EXPECT_EQ(Fixed(FixedRequest::NotImplemented), "10 0F 03 12 16");
  port.linkTest.ltForceAcd = true;
  EXPECT_EQ(Fixed(FixedRequest::StatusOfLink), "10 2B 03 2E 16");
  port.linkTest = {};
  port.linkTest.ltBusy = true;
  port.params.singleCharacter = 0;
  for (FixedRequest request : {FixedRequest::PositiveAck, FixedRequest::StatusOfLink,
                               FixedRequest::NoData}) {
    EXPECT_EQ(Fixed(request), "10 01 03 04 16");
  }
}

TEST_F(EncoderTest, SingleCharacterIsNeverCompleted) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Fixed(FixedRequest::StatusOfLink), "10 0B 03 0E 16");
  port.linkTest.ltInvertRes = true;
  port.linkTest.ltInvertPrm = true;
  EXPECT_EQ(Fixed(FixedRequest::PositiveAck), "E5");
  EXPECT_EQ(port.lastControl, 0x0B);
}

TEST_F(EncoderTest, PrimaryRequestsToggleTheFcbOfEachAddress) {
  Listen(PortFunction::Primary, {1, 2});
  EXPECT_EQ(Fixed(FixedRequest::Reset), "10 47 01 48 16");
  port.params.resetKind = 0;
  EXPECT_EQ(Fixed(FixedRequest::Reset), "10 40 01 41 16");
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 49 01 4A 16");
  EXPECT_EQ(Fixed(FixedRequest::PollClass1), "10 7A 01 7B 16");
  EXPECT_EQ(Fixed(FixedRequest::PollClass1), "10 5A 01 5B 16");
  port.currentIndex = 1;
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 7B 02 7D 16");
  EXPECT_EQ(Fixed(FixedRequest::TestLink), "10 52 02 54 16");
  EXPECT_EQ(port.lastControl, 0x52);
  port.linkTest.ltFcbFrozen = true;
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 5B 02 5D 16");
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 5B 02 5D 16");
}

TEST_F(EncoderTest, PrimaryLinkTestInversions) {
  Listen(PortFunction::Primary, {1});
  port.linkTest.ltInvertFcv = true;
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 59 01 5A 16");
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 6B 01 6C 16");
  port.linkTest = {};
  port.linkTest.ltInvertRes = true;
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 C9 01 CA 16");
  port.linkTest = {};
  // Without PRM the octet counts as secondary: ACD and DFC forcing apply.
  port.linkTest.ltInvertPrm = port.linkTest.ltForceAcd = port.linkTest.ltForceDfc = true;
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 39 01 3A 16");
}

TEST_F(EncoderTest, LinkTestItemsSetTheirFlagsAndClosingRestoresNormalFrames) {
  Listen(PortFunction::Primary, {1});
  port.linkTest.Set(4, true);   // item 4: invert FCV
  port.linkTest.Set(11, true);  // reserved: no effect
  EXPECT_TRUE(port.linkTest.Get(4));
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 59 01 5A 16");
  port.linkTest.Clear();
  EXPECT_FALSE(port.linkTest.Get(11));
  EXPECT_EQ(Fixed(FixedRequest::RequestStatus), "10 49 01 4A 16");
}

TEST_F(EncoderTest, UnassignedPortKeepsOneFcbClearedByReset) {
  Listen(PortFunction::Unassigned, {7, 8});
  port.currentIndex = 1;
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 7B 07 82 16");  // first list entry
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 5B 07 62 16");
  EXPECT_EQ(Fixed(FixedRequest::Reset), "10 47 07 4E 16");
  EXPECT_EQ(Fixed(FixedRequest::PollClass2), "10 7B 07 82 16");
  const TLogEntry& sent = port.transmitEntry;
  EXPECT_TRUE(port.transmitReady);
  EXPECT_EQ(sent.status, status::kCorrect);
  EXPECT_EQ(sent.frameKind, kFrameFixed);
  EXPECT_EQ(sent.control, 0x7B);
  EXPECT_EQ(sent.linkAddress, 7);
}

class VariableEncoderTest : public EncoderTest {
 protected:
  const std::vector<std::uint8_t> tail{0xFF, 0x00, 0x05};
  VariableTelegram interrogation{.kind = 0, .address = 5, .typ = 7, .vsq = 0x81, .cot = 9,
                                 .commonAddress = 9, .tail = tail};
  std::string Variable(const VariableTelegram& telegram) {
    EXPECT_TRUE(EncodeVariable(port, instance.general, telegram));
    return Sent();
  }
};

TEST_F(VariableEncoderTest, ControlByKindAndPort) {
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 73 05 07 81 09 05 FF 00 05 00 16"));
  interrogation.kind = 1;
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 44 05 07 81 09 05 FF 00 05 00 16"));
  interrogation.kind = 2;
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 08 05 07 81 09 05 FF 00 05 00 16"));
  Listen(PortFunction::Primary, {5});
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 73 05 07 81 09 05 FF 00 05 00 16"));
  instance.general.separateCommonAddress = 1;
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 53 05 07 81 09 09 FF 00 05 00 16"));
}

TEST_F(VariableEncoderTest, SecondaryAnswersAsUserDataToTheRequestingAddress) {
  Listen(PortFunction::Secondary, {3, 4});
  port.answeredAddress = 4;
  interrogation.address = 255;
  interrogation.secondaryUserData = true;
  port.acd = true;
  EXPECT_EQ(Variable(interrogation), RepairChecksum("68 09 09 68 28 04 07 81 09 04 FF 00 05 00 16"));
}

TEST_F(VariableEncoderTest, RefusesWhatDoesNotFitAFrame) {
  interrogation.kind = 3;
  EXPECT_FALSE(EncodeVariable(port, instance.general, interrogation));
  EXPECT_FALSE(port.transmitReady);
  interrogation.kind = 1;
  std::vector<std::uint8_t> longest(kMaxAsduTail + 1, 0x00);
  interrogation.tail = longest;
  EXPECT_FALSE(EncodeVariable(port, instance.general, interrogation));
  longest.pop_back();
  interrogation.tail = longest;
  ASSERT_TRUE(EncodeVariable(port, instance.general, interrogation));
  EXPECT_EQ(port.transmitEntry.byteCount, ft12::kMaxFrameLength);
  EXPECT_EQ(port.transmitEntry.Frame()[1], 0xFF);
}

TEST_F(VariableEncoderTest, BuiltFrameValidatesOnAListeningPort) {
  Listen(PortFunction::Primary, {5});
  ASSERT_TRUE(EncodeVariable(port, instance.general, interrogation));
  TLogEntry received = port.transmitEntry;
  PortRecord& listener = instance.ports[1];
  EXPECT_EQ(ValidateFrame(FrameRules::Of(instance), listener, received), status::kCorrect);
}

}  // namespace
}  // namespace kivo
