#include <gtest/gtest.h>

#include "link/frame_fixture.h"

namespace kivo {
namespace {

using testing::FrameCodecTest;
using testing::RepairChecksum;
using R = FixedRequest;

struct FlagCase {
  int item;  // link-test window item
  R request;
  const char* octets;
};

class EncoderTest : public FrameCodecTest {
 protected:
  std::string Fixed(R request) {
    EncodeFixed(port, request);
    return Sent();
  }
  void ExpectWithEachFlag(std::initializer_list<FlagCase> cases) {
    for (const FlagCase& c : cases) {
      port.linkTest.Clear();
      port.linkTest.Set(c.item, true);
      EXPECT_EQ(Fixed(c.request), c.octets) << "item " << c.item;
    }
    port.linkTest.Clear();
  }
};

TEST_F(EncoderTest, SecondaryAnswersAndTheSingleCharacterRule) {
  Listen(PortFunction::Secondary, {3});
  EXPECT_EQ(Fixed(R::NegativeAck), "10 01 03 04 16");
  EXPECT_EQ(Fixed(R::StatusOfLink), "10 0B 03 0E 16");
  EXPECT_EQ(Fixed(R::NotImplemented), "10 0F 03 12 16");
  EXPECT_EQ(Fixed(R::PositiveAck), "E5");  // cbVwE5 2: for acknowledgements only
  EXPECT_EQ(Fixed(R::NoData), "10 09 03 0C 16");
  port.params.singleCharacter = 0;
  EXPECT_EQ(Fixed(R::PositiveAck), "E5");
  EXPECT_EQ(Fixed(R::NoData), "E5");
  EXPECT_EQ(Fixed(R::AckWithoutE5), "10 00 03 03 16");
  port.acd = true;  // e.g. the identification waits after a reset
  EXPECT_EQ(Fixed(R::PositiveAck), "10 20 03 23 16");
  EXPECT_EQ(Fixed(R::NoData), "10 29 03 2C 16");
  port.acd = false;
  port.params.singleCharacter = 1;
  EXPECT_EQ(Fixed(R::PositiveAck), "10 00 03 03 16");
}

TEST_F(EncoderTest, SecondaryLinkTestFlags) {
  Listen(PortFunction::Secondary, {3});
  port.params.singleCharacter = 0;
  ExpectWithEachFlag({{0, R::PositiveAck, "10 01 03 04 16"},
                      {0, R::StatusOfLink, "10 01 03 04 16"},
                      {0, R::NoData, "10 01 03 04 16"},
                      {1, R::NoData, "10 89 03 8C 16"},
                      {1, R::PositiveAck, "E5"},  // the single character is never completed
                      {2, R::NoData, "10 49 03 4C 16"},
                      {4, R::StatusOfLink, "10 0B 03 0E 16"},  // FCV only in primary octets
                      {5, R::StatusOfLink, "10 2B 03 2E 16"},
                      {5, R::PositiveAck, "10 20 03 23 16"},
                      {6, R::PositiveAck, "10 10 03 13 16"},
                      {11, R::StatusOfLink, "10 0B 03 0E 16"}});
  EXPECT_EQ(port.lastControl, 0x0B);
}

TEST_F(EncoderTest, PrimaryRequestsToggleTheFcbOfEachAddress) {
  Listen(PortFunction::Primary, {1, 2});
  EXPECT_EQ(Fixed(R::Reset), "10 47 01 48 16");
  port.params.resetKind = 0;
  EXPECT_EQ(Fixed(R::Reset), "10 40 01 41 16");
  EXPECT_EQ(Fixed(R::RequestStatus), "10 49 01 4A 16");
  EXPECT_EQ(Fixed(R::PollClass1), "10 7A 01 7B 16");
  EXPECT_EQ(Fixed(R::PollClass1), "10 5A 01 5B 16");
  port.currentIndex = 1;
  EXPECT_EQ(Fixed(R::PollClass2), "10 7B 02 7D 16");
  EXPECT_EQ(Fixed(R::TestLink), "10 52 02 54 16");
  EXPECT_EQ(port.lastControl, 0x52);
  port.linkTest.ltFcbFrozen = true;
  EXPECT_EQ(Fixed(R::PollClass2), "10 5B 02 5D 16");
  EXPECT_EQ(Fixed(R::PollClass2), "10 5B 02 5D 16");
}

TEST_F(EncoderTest, PrimaryLinkTestFlags) {
  Listen(PortFunction::Primary, {1});
  ExpectWithEachFlag({{1, R::RequestStatus, "10 C9 01 CA 16"},
                      {2, R::RequestStatus, "10 09 01 0A 16"},
                      {4, R::RequestStatus, "10 59 01 5A 16"},
                      {4, R::PollClass2, "10 6B 01 6C 16"},
                      {5, R::RequestStatus, "10 49 01 4A 16"}});
  // Without PRM the octet counts as secondary: ACD and DFC forcing apply.
  port.linkTest.ltInvertPrm = port.linkTest.ltForceAcd = port.linkTest.ltForceDfc = true;
  EXPECT_EQ(Fixed(R::RequestStatus), "10 39 01 3A 16");
}

TEST_F(EncoderTest, UnassignedPortKeepsOneFcbClearedByReset) {
  Listen(PortFunction::Unassigned, {7, 8});
  port.currentIndex = 1;
  EXPECT_EQ(Fixed(R::PollClass2), "10 7B 07 82 16");  // first list entry
  EXPECT_EQ(Fixed(R::PollClass2), "10 5B 07 62 16");
  EXPECT_EQ(Fixed(R::Reset), "10 47 07 4E 16");
  EXPECT_EQ(Fixed(R::PollClass2), "10 7B 07 82 16");
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
  VariableTelegram gi{
      .kind = 0, .address = 5, .typ = 7, .cot = 9, .commonAddress = 9, .tail = tail};
  std::string Variable() {
    EXPECT_TRUE(EncodeVariable(port, instance.general, gi));
    return Sent();
  }
  static std::string Gi(const char* control, const char* address, const char* common) {
    return RepairChecksum(std::string("68 09 09 68 ") + control + " " + address + " 07 81 09 " +
                          common + " FF 00 05 00 16");
  }
};

TEST_F(VariableEncoderTest, ControlByKindPortAndCommonAddress) {
  EXPECT_EQ(Variable(), Gi("73", "05", "05"));
  gi.kind = 1;
  EXPECT_EQ(Variable(), Gi("44", "05", "05"));
  gi.kind = 2;
  EXPECT_EQ(Variable(), Gi("08", "05", "05"));
  Listen(PortFunction::Primary, {5});
  EXPECT_EQ(Variable(), Gi("73", "05", "05"));
  instance.general.separateCommonAddress = 1;
  EXPECT_EQ(Variable(), Gi("53", "05", "09"));
  Listen(PortFunction::Secondary, {3, 4});
  port.answeredAddress = 4;
  gi.address = 255;
  gi.secondaryUserData = true;
  port.acd = true;
  instance.general.separateCommonAddress = 0;
  EXPECT_EQ(Variable(), Gi("28", "04", "04"));
}

TEST_F(VariableEncoderTest, RefusesWhatDoesNotFitAFrame) {
  gi.kind = 3;
  EXPECT_FALSE(EncodeVariable(port, instance.general, gi));
  EXPECT_FALSE(port.transmitReady);
  std::vector<std::uint8_t> longest(ft12::kMaxAsduTail + 1, 0x00);
  gi = {.kind = 1, .tail = longest};
  EXPECT_FALSE(EncodeVariable(port, instance.general, gi));
  gi.tail = std::span(longest).first(ft12::kMaxAsduTail);
  ASSERT_TRUE(EncodeVariable(port, instance.general, gi));
  EXPECT_EQ(port.transmitEntry.byteCount, ft12::kMaxFrameLength);
  EXPECT_EQ(port.transmitEntry.Frame()[1], 0xFF);
}

TEST_F(VariableEncoderTest, BuiltFrameValidatesOnAListeningPort) {
  Listen(PortFunction::Primary, {5});
  ASSERT_TRUE(EncodeVariable(port, instance.general, gi));
  TLogEntry received = port.transmitEntry;
  EXPECT_EQ(ValidateFrame(instance.frameRules, instance.ports[1], received), status::kCorrect);
}

}  // namespace
}  // namespace kivo
