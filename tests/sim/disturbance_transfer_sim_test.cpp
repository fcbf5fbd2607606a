// A disturbance transfer over the simulated line in virtual time: a
// secondary Instance replays a file of its data directory, a primary Instance
// orders it by itself from the list and records it. The file the primary
// writes must equal the replayed one octet for octet.
#include <gtest/gtest.h>

#include <vector>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/frame_codec.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/sim/simulated_line.h"
#include "send/disturbance.h"
#include "util/hex.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using testing::Octets;
using testing::ReadFile;
using testing::ScratchDir;
using testing::ToHex;
using testing::WriteFile;

constexpr std::uint8_t kDevice = 5;
constexpr std::uint8_t kCommon = 5;
constexpr std::uint8_t kFun = 0x80;
constexpr std::uint16_t kFan = 12;

// Orders, acknowledgements and ends: TYP VSQ COT CA FUN INF TOO TOV FAN ACC.
Octets OrderAsdu(std::uint8_t type, std::uint8_t too, std::uint8_t acc = 0) {
  return {type, 0x81, 31, kCommon, kFun, 0, too, 1, kFan, 0, acc};
}

// A recorded disturbance with two channels, as a recording primary leaves
// it: header, 26, 28, 29, end of tags, per channel 27, 30 and end of
// channel, end of data.
Octets DisturbanceFile() {
  Octets bytes(DisturbanceHeader::kSize, 0);
  DisturbanceHeader header;
  const auto add = [&](const Octets& asdu) {
    bytes.push_back(static_cast<std::uint8_t>(asdu.size()));
    bytes.insert(bytes.end(), asdu.begin(), asdu.end());
  };
  const Octets ready{26, 0x81, 31, kCommon, kFun, 0, 0,    1,    kFan, 0,   3,
                     0,  2,    4,  0,       0xE8, 3, 0x10, 0x27, 0x2D, 0x0E};
  add(ready);
  add({28, 0x81, 31, kCommon, kFun, 0, 0, 0, kFan, 0});
  add({29, 0x81, 31, kCommon, kFun, 0, kFan, 0, 1, 2, 0, kFun, 0x40, 2});
  add(OrderAsdu(31, 38));
  for (std::uint8_t channel = 1; channel <= 2; ++channel) {
    header.channelStart[channel - 1u] = static_cast<std::uint32_t>(bytes.size());
    add({27, 0x81, 31,   kCommon, kFun, 0,    0,    1, kFan, 0,    channel, 0,
         0,  0x80, 0x3F, 0,       0,    0x80, 0x3F, 0, 0,    0xC8, 0x42});
    add({30, 0x81, 31, kCommon, kFun, 0, 0, 1, kFan, 0, channel, 2, 0, 0, 0x10, 0x00, 0xF0, 0xFF});
    add(OrderAsdu(31, 35, channel));
  }
  add(OrderAsdu(31, 32));
  header.fileEnd = static_cast<std::uint32_t>(bytes.size());
  header.linkAddress = kDevice;
  header.listEntry = {kFan, 0, 0x01, 0x10, 0x27, 0x2D, 0x0E, 6, 12, 26};
  std::copy(ready.begin() + 7, ready.begin() + 17, header.readyForData.begin());
  header.commonAddress = kCommon;
  header.Encode(std::span<std::uint8_t>(bytes.data(), DisturbanceHeader::kSize));
  return bytes;
}

std::string Text(const Octets& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// The types of the records in a disturbance file, in order.
std::vector<int> RecordTypes(const std::string& bytes) {
  std::vector<int> types;
  for (std::size_t at = DisturbanceHeader::kSize; at + 1 < bytes.size();
       at += 1 + static_cast<std::uint8_t>(bytes[at])) {
    types.push_back(static_cast<std::uint8_t>(bytes[at + 1]));
  }
  return types;
}

class DisturbanceTransferSimTest : public ::testing::Test {
 protected:
  FakePlatform fakeP;
  FakePlatform fakeS;
  VirtualClock& clock = fakeP.clock;
  SimulatedLine line{clock};
  SimulatedPortEnumerator portsP;
  SimulatedPortEnumerator portsS;
  Instance primary{
      Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter, &portsP, &clock}};
  Instance secondary{
      Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter, &portsS, &clock}};
  PortRecord& pport = primary.ports[0];
  PortRecord& sport = secondary.ports[0];
  ScratchDir dataP;
  ScratchDir dataS;
  std::vector<TLogEntry> loggedP, loggedS;

  void SetUp() override {
    portsP.Bind(1, line, 0);
    portsS.Bind(1, line, 1);
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      CreateMainState(*instance, {});
      instance->general.separateCommonAddress = 1;
      PortParams& p = instance->ports[0].params;
      p.portNumber = 1;
      p.function = instance == &primary ? PortFunction::Primary : PortFunction::Secondary;
      p.addressCount = 1;
      p.addresses[0] = kDevice;
      p.addresses[1] = PortParams::kAddressEnd;
    }
    primary.dataDirectory = dataP.path();
    secondary.dataDirectory = dataS.path();
    primary.general.autoOrderDisturbance = 1;
    // Written before going online: preparing the port lists it.
    WriteFile(SecondaryFile(), Text(DisturbanceFile()));
    primary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedP.push_back(e);
      return true;
    };
    secondary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedS.push_back(e);
      return true;
    };
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(pport.open);
    ASSERT_TRUE(sport.open);
    ASSERT_EQ(secondary.disturbance[0].list.count, 1);
  }

  std::string PrimaryFile() const { return dataP.path() + DisturbanceFileName(kFan); }
  std::string SecondaryFile() const { return dataS.path() + DisturbanceFileName(kFan); }

  void Tick() {
    OnTimerTick(secondary);
    OnTimerTick(primary);
    clock.Advance(kTimerIntervalMs);
  }
  // Ticks until `done` holds or `seconds` of virtual time have passed.
  template <typename Done>
  bool RunUntil(Done done, int seconds) {
    for (std::uint32_t ms = 0; ms < static_cast<std::uint32_t>(seconds) * 1000;
         ms += kTimerIntervalMs) {
      if (done()) return true;
      Tick();
    }
    return done();
  }

  static std::vector<int> Events(const std::vector<TLogEntry>& log, int code) {
    std::vector<int> values;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent && e.status == code) values.push_back(e.linkAddress);
    }
    return values;
  }
  static std::vector<int> TransferEvents(const std::vector<TLogEntry>& log) {
    std::vector<int> codes;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent && (e.status == 39 || e.status == 41 || e.status == 46)) {
        codes.push_back(e.status);
      }
    }
    return codes;
  }
  // Received frames (receive channel) whose ASDU has the given type.
  static int ReceivedOfType(const std::vector<TLogEntry>& log, int receiveChannel, int type) {
    int count = 0;
    for (const TLogEntry& e : log) {
      const auto frame = e.Frame();
      if (e.frameKind != kFrameEvent && e.channel == receiveChannel &&
          frame.size() > ft12::at::kTyp && frame[0] == ft12::kStartVariable &&
          frame[ft12::at::kTyp] == type) {
        ++count;
      }
    }
    return count;
  }
  static void ExpectEveryReceivedFrameCorrect(const std::vector<TLogEntry>& log, int receiveChannel,
                                              const char* side) {
    int frames = 0;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent || e.channel != receiveChannel) continue;
      ++frames;
      EXPECT_EQ(e.status, 40) << side << " entry " << e.seqNo;
    }
    EXPECT_GT(frames, 0) << side;
  }

  // Asks the device for its list as a master's operator would: a type 24
  // order TOO 24 for FAN 0 goes out as send/confirm at the primary's next
  // free moment, and the primary waits for its acknowledgement. The operator
  // telegrams that will carry such an order are not held yet, so the frame
  // is built here with the primary's encoder and started the way the
  // primary's cycle starts a transfer telegram.
  void PrimaryAsksForTheList() {
    ASSERT_TRUE(RunUntil(
        [&] {
          return pport.primary.cycle == PrimaryCycle::CycleStart && TransmitIdle(pport) &&
                 !pport.transmitReady && !TestListBit(pport.notReset, 0);
        },
        10));
    const Octets tail{kFun, 0, 24, 0, 0, 0, 0};
    VariableTelegram order;
    order.kind = 0;
    order.address = kDevice;
    order.typ = 24;
    order.vsq = 0x81;
    order.cot = 31;
    order.commonAddress = kCommon;
    order.tail = tail;
    OutgoingFrame frame;
    frame.length = EncodeVariable(pport, primary.general, order, frame.Buffer());
    ASSERT_NE(frame.length, 0u);
    pport.primary.lastRequestKind = 0;
    ASSERT_TRUE(SendFrame(primary.linkContext, pport, frame));
    pport.primary.cycle = PrimaryCycle::AwaitAnswer;
  }
};

TEST_F(DisturbanceTransferSimTest, PrimaryRecordsTheReplayedFileOctetForOctet) {
  PrimaryAsksForTheList();
  ASSERT_TRUE(RunUntil([&] { return !Events(loggedP, 46).empty(); }, 60))
      << "primary events: " << ::testing::PrintToString(TransferEvents(loggedP));
  // The secondary ends its side and sends its new list.
  ASSERT_TRUE(RunUntil(
      [&] {
        return !Events(loggedS, 46).empty() &&
               ReceivedOfType(loggedP, pport.receiveChannel, 23) == 2;
      },
      5));

  // Orders on the line: the list (TOO 24), then TOO 1, 2, 16 and one TOO 8
  // per channel.
  EXPECT_EQ(ReceivedOfType(loggedS, sport.receiveChannel, 24), 1 + 3 + 2);
  // The list before the transfer and the new one after it.
  EXPECT_EQ(ReceivedOfType(loggedP, pport.receiveChannel, 23), 2);
  EXPECT_EQ(Events(loggedP, 41), std::vector<int>{kDevice});
  EXPECT_EQ(Events(loggedP, 46), std::vector<int>{kDevice});
  EXPECT_EQ(Events(loggedS, 41), std::vector<int>{kDevice});
  EXPECT_EQ(Events(loggedS, 46), std::vector<int>{kDevice});
  EXPECT_EQ(TransferEvents(loggedP), (std::vector<int>{41, 46}));
  EXPECT_EQ(TransferEvents(loggedS), (std::vector<int>{41, 46}));
  ExpectEveryReceivedFrameCorrect(loggedP, pport.receiveChannel, "primary");
  ExpectEveryReceivedFrameCorrect(loggedS, sport.receiveChannel, "secondary");

  const std::string recorded = ReadFile(PrimaryFile());
  const std::string replayed = ReadFile(SecondaryFile());
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(ToHex(Octets(recorded.begin(), recorded.end())),
            ToHex(Octets(replayed.begin(), replayed.end())));
  // Acknowledged positively: the new list the secondary sent is empty.
  EXPECT_EQ(secondary.disturbance[0].list.count, 0);
  EXPECT_EQ(primary.disturbance[0].list.count, 0);
}

TEST_F(DisturbanceTransferSimTest, NegativeAcknowledgementsRepeatEachChannelOnceOverTheLine) {
  pport.linkTest.ltDistFault2 = true;
  PrimaryAsksForTheList();
  // One transfer only: the FAN stays in the list after the negative
  // acknowledgement of the data, and the primary is not to order it again.
  ASSERT_TRUE(RunUntil([&] { return !Events(loggedP, 41).empty(); }, 30));
  primary.general.autoOrderDisturbance = 0;
  ASSERT_TRUE(RunUntil([&] { return !Events(loggedP, 46).empty(); }, 60))
      << "primary events: " << ::testing::PrintToString(TransferEvents(loggedP));
  ASSERT_TRUE(RunUntil([&] { return !Events(loggedS, 46).empty(); }, 5));

  EXPECT_EQ(RecordTypes(ReadFile(PrimaryFile())),
            (std::vector<int>{26, 28, 29, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 31}));
  // Each channel went over the line twice; the tags once.
  EXPECT_EQ(ReceivedOfType(loggedP, pport.receiveChannel, 27), 4);
  EXPECT_EQ(ReceivedOfType(loggedP, pport.receiveChannel, 30), 4);
  EXPECT_EQ(ReceivedOfType(loggedP, pport.receiveChannel, 29), 1);
  // The acknowledgements the secondary received: tags positive, four
  // channel acknowledgements made negative, the data negative.
  EXPECT_EQ(ReceivedOfType(loggedS, sport.receiveChannel, 25), 1 + 4 + 1);
  EXPECT_EQ(TransferEvents(loggedP), (std::vector<int>{41, 46}));
  EXPECT_EQ(TransferEvents(loggedS), (std::vector<int>{41, 46}));
  ExpectEveryReceivedFrameCorrect(loggedP, pport.receiveChannel, "primary");
  ExpectEveryReceivedFrameCorrect(loggedS, sport.receiveChannel, "secondary");
  // A negative acknowledgement of the data keeps the FAN in the list.
  EXPECT_EQ(secondary.disturbance[0].list.count, 1);
}

}  // namespace
}  // namespace kivo
