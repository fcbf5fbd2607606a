// A disturbance transfer over the simulated line in virtual time: a
// secondary Instance replays a file of its data directory, a primary Instance
// orders it by itself from the list and records it. The file the primary
// writes must equal the replayed one octet for octet.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/frame_codec.h"
#include "link/transmit.h"
#include "send/disturbance.h"
#include "send/disturbance_fixture.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Octets;
using testing::ReadFile;
using testing::ScratchDir;
using testing::ToHex;
using testing::WriteFile;

using testing::kDevice;
constexpr std::uint8_t kCommon = 5;
constexpr std::uint8_t kFun = 0x80;
constexpr std::uint16_t kFan = 12;

// The types of the records in a disturbance file, in order.
std::vector<int> RecordTypes(const std::string& bytes) {
  std::vector<int> types;
  for (std::size_t at = DisturbanceHeader::kSize; at + 1 < bytes.size();
       at += 1 + static_cast<std::uint8_t>(bytes[at])) {
    types.push_back(static_cast<std::uint8_t>(bytes[at + 1]));
  }
  return types;
}

class DisturbanceTransferSimTest : public testing::LineTest {
 protected:
  ScratchDir dataP, dataS;

  void SetUp() override {
    testing::LineTest::SetUp();
    Addresses({kDevice});
    primary.general.separateCommonAddress = secondary.general.separateCommonAddress = 1;
    primary.dataDirectory = dataP.path();
    secondary.dataDirectory = dataS.path();
    primary.general.autoOrderDisturbance = 1;
    // Written before going online: preparing the port lists it.
    WriteFile(SecondaryFile(), testing::RecordedFile().Text());
    Online();
    ASSERT_EQ(secondary.disturbance[0].list.count, 1);
  }

  std::string PrimaryFile() const { return dataP.path() + DisturbanceFileName(kFan); }
  std::string SecondaryFile() const { return dataS.path() + DisturbanceFileName(kFan); }

  // The transfer events (39, 41, 46) of a log as "code:address ".
  static std::string TransferEvents(const std::vector<TLogEntry>& log) {
    std::string events;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent && (e.status == 39 || e.status == 41 || e.status == 46))
        events += std::to_string(e.status) + ":" + std::to_string(e.linkAddress) + " ";
    }
    return events;
  }
  // Frames received on channel 1 whose ASDU has the given type.
  static int Received(const std::vector<TLogEntry>& log, int type) {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const TLogEntry& e) {
      const auto frame = e.Frame();
      return e.frameKind != kFrameEvent && e.channel == 1 && frame.size() > ft12::at::kTyp &&
             frame[0] == ft12::kStartVariable && frame[ft12::at::kTyp] == type;
    }));
  }

  // The primary asks for the list (type 24, TOO 24, FAN 0) at its next free
  // moment as send/confirm, built with its encoder and started the way its
  // cycle starts a transfer telegram; the transfer then runs to its end on
  // both sides, `started` run once the primary has begun it. The device is
  // the first address of the list. Every frame received is correct unless
  // the secondary is to hear addresses it does not list.
  void Transfer(const std::function<void()>& started, bool secondaryHearsUnlisted = false) {
    ASSERT_TRUE(RunUntil(
        [&] {
          return pport.primary.cycle == PrimaryCycle::CycleStart && TransmitIdle(pport) &&
                 !pport.transmitReady && pport.currentIndex == 0 && !TestListBit(pport.notReset, 0);
        },
        10));
    const Octets tail{kFun, 0, 24, 0, 0, 0, 0};
    const VariableTelegram order{.kind = 0,
                                 .address = kDevice,
                                 .typ = 24,
                                 .vsq = 0x81,
                                 .cot = 31,
                                 .commonAddress = kCommon,
                                 .tail = tail};
    OutgoingFrame frame;
    frame.length = EncodeVariable(pport, primary.general, order, frame.Buffer());
    ASSERT_NE(frame.length, 0u);
    pport.primary.lastRequestKind = 0;
    ASSERT_TRUE(SendFrame(primary.linkContext, pport, frame));
    pport.primary.cycle = PrimaryCycle::AwaitAnswer;
    ASSERT_TRUE(RunUntil([&] { return !Events(loggedP, 41).empty(); }, 30));
    started();
    ASSERT_TRUE(RunUntil([&] { return !Events(loggedP, 46).empty(); }, 60))
        << "primary events: " << TransferEvents(loggedP);
    // The secondary ends its side and sends its new list: the list before
    // the transfer and the new one after it.
    ASSERT_TRUE(
        RunUntil([&] { return !Events(loggedS, 46).empty() && Received(loggedP, 23) == 2; }, 5));
    EXPECT_EQ(TransferEvents(loggedP), "41:5 46:5 ");
    EXPECT_EQ(TransferEvents(loggedS), "41:5 46:5 ");
    ExpectReceivedCorrect(loggedP, "primary");
    if (!secondaryHearsUnlisted) ExpectReceivedCorrect(loggedS, "secondary");
  }
};

TEST_F(DisturbanceTransferSimTest, PrimaryRecordsTheReplayedFileOctetForOctet) {
  Transfer([] {});
  // Orders on the line: the list (TOO 24), then TOO 1, 2, 16 and one TOO 8
  // per channel.
  EXPECT_EQ(Received(loggedS, 24), 1 + 3 + 2);
  const std::string recorded = ReadFile(PrimaryFile()), replayed = ReadFile(SecondaryFile());
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(ToHex(Octets(recorded.begin(), recorded.end())),
            ToHex(Octets(replayed.begin(), replayed.end())));
  // Acknowledged positively: the new list the secondary sent is empty.
  EXPECT_EQ(secondary.disturbance[0].list.count, 0);
  EXPECT_EQ(primary.disturbance[0].list.count, 0);
}

TEST_F(DisturbanceTransferSimTest, NegativeAcknowledgementsRepeatEachChannelOnceOverTheLine) {
  pport.linkTest.ltDistFault2 = true;
  // One transfer only: the FAN stays in the list after the negative
  // acknowledgement of the data, and the primary is not to order it again.
  Transfer([&] { primary.general.autoOrderDisturbance = 0; });
  EXPECT_EQ(RecordTypes(ReadFile(PrimaryFile())),
            (std::vector<int>{26, 28, 29, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 31}));
  // Each channel went over the line twice, the tags once; the secondary
  // received the tags' positive acknowledgement, four channel ones made
  // negative and the data's negative one.
  EXPECT_EQ(Received(loggedP, 27), 4);
  EXPECT_EQ(Received(loggedP, 30), 4);
  EXPECT_EQ(Received(loggedP, 29), 1);
  EXPECT_EQ(Received(loggedS, 25), 1 + 4 + 1);
  EXPECT_EQ(secondary.disturbance[0].list.count, 1);
}

// Devices 6 and 7 share the line with device 5 and fall silent while it
// sends its disturbance: the primary loses both links, and device 6, back
// again, is reset. Neither ends the transfer with device 5.
TEST_F(DisturbanceTransferSimTest, TransferOutlivesTheLossAndResetOfOtherAddresses) {
  GoOffline(primary);
  GoOffline(secondary);
  Addresses({kDevice, 6, 7});
  Online();
  Transfer(
      [&] {
        Configure(sport.params, PortFunction::Secondary, {kDevice, 8, 9});
        ASSERT_TRUE(RunUntil([&] { return Events(loggedP, event::kLinkLost).size() == 2; }, 20));
        EXPECT_EQ(Events(loggedP, event::kLinkLost), (std::vector<int>{6, 7}));
        EXPECT_EQ(TransferEvents(loggedP), "41:5 ");
        Configure(sport.params, PortFunction::Secondary, {kDevice, 6, 9});
        const auto resets = [&] { return Events(loggedS, event::kLinkResetReceived); };
        ASSERT_EQ(resets(), (std::vector<int>{kDevice, 6, 7}));
        ASSERT_TRUE(RunUntil([&] { return resets().size() == 4; }, 20));
        EXPECT_EQ(resets().back(), 6);
        EXPECT_EQ(TransferEvents(loggedS), "41:5 ");
      },
      true);
}

}  // namespace
}  // namespace kivo
