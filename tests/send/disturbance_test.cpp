// The disturbance data transfer at the level of the link procedures' calls:
// ASDUs in, the telegram built into the transmit entry out, files on disk.
#include "send/disturbance.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "send/send_fixture.h"
#include "util/block_file.h"

namespace kivo::testing {
namespace {

constexpr std::uint8_t kDevice = 5;
constexpr std::uint8_t kCommon = 5;
constexpr std::uint8_t kFun = 0x80;

// One program whose port 1 serves address 5, with its data directory in a
// scratch folder and every logged entry kept.
struct Side : SendWorld {
  PortRecord& port = ports[0];
  std::vector<TLogEntry>& logged = sink.entries;
  // The frame last built.
  OutgoingFrame sent;

  explicit Side(PortFunction function) {
    general.separateCommonAddress = 1;
    port.params.function = function;
    port.params.addressCount = 1;
    port.params.addresses[0] = kDevice;
    port.params.addresses[1] = PortParams::kAddressEnd;
    port.ResetLinkState();
  }
  DisturbanceTransfer& transfer() { return send.Transfer(port); }
  bool Next() { return NextDisturbanceTelegram(send, port, sent); }

  std::vector<int> Events() const {
    std::vector<int> codes;
    for (const TLogEntry& entry : logged) {
      if (entry.frameKind == kFrameEvent) codes.push_back(entry.status);
    }
    return codes;
  }
  std::string File(std::uint16_t fan) const { return scratch.path() + DisturbanceFileName(fan); }
  // The ASDU octets of the frame last built (type identification onwards).
  Octets SentAsdu() const {
    const auto frame = sent.View();
    return Octets(frame.begin() + 6, frame.end() - 2);
  }
  bool Replaying() { return transfer().run.role == DisturbanceRun::Role::Replaying; }
  bool Recording() { return transfer().run.role == DisturbanceRun::Role::Recording; }
};

// A received 0x68 frame with the given ASDU; a device's frames carry 0x08, a
// primary's 0x73.
TLogEntry Frame(std::uint8_t control, const Octets& asdu) {
  Octets frame{0x68,
               static_cast<std::uint8_t>(asdu.size() + 2),
               static_cast<std::uint8_t>(asdu.size() + 2),
               0x68,
               control,
               kDevice};
  frame.insert(frame.end(), asdu.begin(), asdu.end());
  std::uint8_t sum = 0;
  for (std::size_t i = 4; i < frame.size(); ++i) sum = static_cast<std::uint8_t>(sum + frame[i]);
  frame.push_back(sum);
  frame.push_back(0x16);
  TLogEntry entry;
  entry.SetFrame(frame);
  entry.status = 40;
  ClassifyFrame(entry);
  return entry;
}

// Orders and acknowledgements: TYP VSQ COT CA FUN INF TOO TOV FAN ACC.
Octets OrderAsdu(std::uint8_t type, std::uint8_t too, std::uint16_t fan = 12, std::uint8_t acc = 0,
                 std::uint8_t tov = 1) {
  return {type,
          0x81,
          31,
          kCommon,
          kFun,
          0,
          too,
          tov,
          static_cast<std::uint8_t>(fan),
          static_cast<std::uint8_t>(fan >> 8),
          acc};
}

// What a device sends for FAN 12: ready for data, tags, two channels.
Octets ReadyForData(std::uint16_t fan = 12) {
  return {26,
          0x81,
          31,
          kCommon,
          kFun,
          0,
          0,
          1,
          static_cast<std::uint8_t>(fan),
          static_cast<std::uint8_t>(fan >> 8),
          3,
          0,
          2,
          4,
          0,
          0xE8,
          0x03,
          0x10,
          0x27,
          0x2D,
          0x0E};
}
Octets ReadyForTags() {
  return {28, 0x81, 31, kCommon, kFun, 0, 0, 0, 12, 0};
}
Octets Tags() {
  return {29, 0x81, 31, kCommon, kFun, 0, 12, 0, 1, 2, 0, kFun, 0x40, 2};
}
Octets ReadyForChannel(std::uint8_t acc) {
  return {27, 0x81, 31,   kCommon, kFun, 0,    0,    1, 12, 0,    acc, 0,
          0,  0x80, 0x3F, 0,       0,    0x80, 0x3F, 0, 0,  0xC8, 0x42};
}
Octets Values(std::uint8_t acc) {
  return {30, 0x81, 31, kCommon, kFun, 0, 0, 1, 12, 0, acc, 2, 0, 0, 0x10, 0x00, 0xF0, 0xFF};
}

struct RecordedFile {
  Octets bytes;
  DisturbanceHeader header;
};

// A disturbance file as a recording primary leaves it: header, 26, 28, 29,
// end of tags, per channel 27, 30 and end of channel, end of data.
RecordedFile MakeFile(std::uint16_t fan = 12, int channels = 2) {
  RecordedFile file;
  file.bytes.assign(DisturbanceHeader::kSize, 0);
  const auto add = [&](const Octets& asdu) {
    file.bytes.push_back(static_cast<std::uint8_t>(asdu.size()));
    file.bytes.insert(file.bytes.end(), asdu.begin(), asdu.end());
  };
  add(ReadyForData(fan));
  add(ReadyForTags());
  add(Tags());
  add(OrderAsdu(31, 38, fan));
  for (int c = 1; c <= channels; ++c) {
    file.header.channelStart[static_cast<std::size_t>(c - 1)] =
        static_cast<std::uint32_t>(file.bytes.size());
    add(ReadyForChannel(static_cast<std::uint8_t>(c)));
    add(Values(static_cast<std::uint8_t>(c)));
    add(OrderAsdu(31, 35, fan, static_cast<std::uint8_t>(c)));
  }
  add(OrderAsdu(31, 32, fan));
  DisturbanceHeader& h = file.header;
  h.fileEnd = static_cast<std::uint32_t>(file.bytes.size());
  h.linkAddress = kDevice;
  h.listEntry = {static_cast<std::uint8_t>(fan),
                 static_cast<std::uint8_t>(fan >> 8),
                 0x01,
                 0x10,
                 0x27,
                 0x2D,
                 0x0E,
                 6,
                 12,
                 26};
  const Octets ready = ReadyForData(fan);
  std::copy(ready.begin() + 7, ready.begin() + 17, h.readyForData.begin());
  h.commonAddress = kCommon;
  h.actualChannel = 0;
  h.Encode(std::span<std::uint8_t>(file.bytes.data(), DisturbanceHeader::kSize));
  return file;
}

void WriteBytes(const std::string& path, const Octets& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}
Octets ReadBytes(const std::string& path) {
  const std::string text = ReadFile(path);
  return Octets(text.begin(), text.end());
}

// The types of the records in a disturbance file, in order.
std::vector<int> RecordTypes(const Octets& bytes) {
  std::vector<int> types;
  for (std::size_t at = DisturbanceHeader::kSize; at < bytes.size(); at += 1 + bytes[at]) {
    if (at + 1 < bytes.size()) types.push_back(bytes[at + 1]);
  }
  return types;
}

// Gives `to` the frame `from` has just built, as the link procedure would.
TLogEntry Deliver(Side& from, Side& to) {
  TLogEntry entry;
  entry.SetFrame(from.sent.View());
  ClassifyFrame(entry);
  entry.status = 40;
  from.port.transmitReady = false;
  OnDisturbanceAsdu(to.send, to.port, entry);
  return entry;
}

class DisturbanceTest : public ::testing::Test {
 protected:
  std::unique_ptr<Side> primary = std::make_unique<Side>(PortFunction::Primary);
  std::unique_ptr<Side> secondary = std::make_unique<Side>(PortFunction::Secondary);

  // Feeds each telegram one side builds to the other until neither has
  // anything to send; returns the statuses the received telegrams got.
  std::vector<int> Converse(int limit = 200) {
    std::vector<int> statuses;
    for (int i = 0; i < limit; ++i) {
      bool any = false;
      if (primary->Next()) {
        statuses.push_back(Deliver(*primary, *secondary).status);
        any = true;
      }
      if (secondary->Next()) {
        statuses.push_back(Deliver(*secondary, *primary).status);
        any = true;
      }
      if (!any) break;
    }
    return statuses;
  }
  void StepUntilEnd(Side& side, int limit = 1000) {
    for (int i = 0; i < limit && side.transfer().run.role != DisturbanceRun::Role::None; ++i) {
      DisturbanceStep(side.send, side.port);
    }
  }
  // The secondary holds the file for FAN 12 and is asked for its list; the
  // primary orders the first disturbance by itself.
  void StartTransfer() {
    WriteBytes(secondary->File(12), MakeFile().bytes);
    BuildDisturbanceList(secondary->send, secondary->port);
    primary->general.autoOrderDisturbance = 1;
    TLogEntry request = Frame(0x73, OrderAsdu(24, 24, 0));
    OnDisturbanceAsdu(secondary->send, secondary->port, request);
    ASSERT_EQ(request.status, 40);
  }
};

// --- The file header ---

TEST(DisturbanceHeaderTest, EncodesEveryFieldAtItsOffset) {
  DisturbanceHeader header;
  header.fileEnd = 0x01020304;
  for (std::size_t i = 0; i < 15; ++i)
    header.channelStart[i] = 0x100 + static_cast<std::uint32_t>(i);
  header.linkAddress = 0xA1B2;
  for (std::size_t i = 0; i < 10; ++i) header.listEntry[i] = static_cast<std::uint8_t>(0x50 + i);
  for (std::size_t i = 0; i < 10; ++i) header.readyForData[i] = static_cast<std::uint8_t>(0x60 + i);
  header.commonAddress = 0x77;
  header.actualChannel = 0x0E;
  Octets bytes(DisturbanceHeader::kSize, 0xEE);
  header.Encode(bytes);

  Octets expected(128, 0);
  const auto u32 = [&](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) expected[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  u32(0, 0x731030);
  u32(4, 128);
  u32(16, 0x01020304);
  u32(20, 128);
  for (std::size_t i = 0; i < 15; ++i) u32(24 + 4 * i, 0x100 + static_cast<std::uint32_t>(i));
  expected[84] = 0xB2;
  expected[85] = 0xA1;
  for (std::size_t i = 0; i < 10; ++i) expected[86 + i] = static_cast<std::uint8_t>(0x50 + i);
  for (std::size_t i = 0; i < 10; ++i) expected[96 + i] = static_cast<std::uint8_t>(0x60 + i);
  expected[106] = 0x77;
  expected[107] = 0x0E;
  EXPECT_EQ(ToHex(bytes), ToHex(expected));
  EXPECT_EQ(ToHex(Octets(bytes.begin(), bytes.begin() + 4)), "30 10 73 00");
}

TEST(DisturbanceHeaderTest, RandomBytesSurviveDecodeAndEncode) {
  std::mt19937 random(103);
  Octets bytes(DisturbanceHeader::kSize);
  for (auto& octet : bytes) octet = static_cast<std::uint8_t>(random());
  Octets again(DisturbanceHeader::kSize, 0);
  DisturbanceHeader::Decode(bytes).Encode(again);
  EXPECT_EQ(again, bytes);
}

TEST(DisturbanceHeaderTest, FileNameCarriesFiveDigits) {
  EXPECT_EQ(DisturbanceFileName(12), "10300012.DSD");
  EXPECT_EQ(DisturbanceFileName(65535), "10365535.DSD");
}

// --- Recording primary ---

TEST_F(DisturbanceTest, PrimaryReceivingReadyForDataCreatesFileAndOrdersData) {
  TLogEntry entry = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  EXPECT_EQ(entry.status, 40);
  EXPECT_TRUE(std::filesystem::exists(primary->scratch.path() + "10300012.DSD"));
  EXPECT_EQ(primary->Events(), std::vector<int>{41});
  ASSERT_TRUE(primary->Next());
  EXPECT_EQ(ToHex(primary->SentAsdu()), "18 81 1F 05 80 00 02 01 0C 00 00");
  EXPECT_EQ(primary->sent.View()[4] & 0x4F, 0x43);  // send/confirm
}

TEST_F(DisturbanceTest, DistFault1TurnsTheDataOrderIntoAnAbortion) {
  primary->port.linkTest.ltDistFault1 = true;
  TLogEntry entry = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  ASSERT_TRUE(primary->Next());
  EXPECT_EQ(primary->SentAsdu()[6], 3);
}

TEST_F(DisturbanceTest, PrimaryRefusesOtherTypesBeforeReadyForData) {
  TLogEntry entry = Frame(0x08, ReadyForTags());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  EXPECT_EQ(entry.status, 38);
  EXPECT_FALSE(primary->Recording());
  EXPECT_FALSE(primary->Next());
}

TEST_F(DisturbanceTest, PrimaryMarksForeignFanAndOutOfSequenceButRecords) {
  TLogEntry ready = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, ready);
  ASSERT_TRUE(primary->Next());          // TOO 2
  TLogEntry tags = Frame(0x08, Tags());  // tags before the tags were ordered
  OnDisturbanceAsdu(primary->send, primary->port, tags);
  EXPECT_EQ(tags.status, 38);
  Octets foreign = ReadyForTags();
  foreign[8] = 13;
  TLogEntry other = Frame(0x08, foreign);
  OnDisturbanceAsdu(primary->send, primary->port, other);
  EXPECT_EQ(other.status, 37);
  EndDisturbanceTransfer(primary->send, primary->port);
  EXPECT_EQ(RecordTypes(ReadBytes(primary->File(12))), (std::vector<int>{26, 29, 28}));
}

TEST_F(DisturbanceTest, PrimaryThatCannotCreateTheFileGivesStatus36) {
  primary->dataDirectory = primary->scratch.path() + "missing/";
  TLogEntry entry = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  EXPECT_EQ(entry.status, 36);
  EXPECT_FALSE(primary->Recording());
  EXPECT_TRUE(primary->Events().empty());
  EXPECT_FALSE(primary->Next());
}

TEST_F(DisturbanceTest, PrimarySendsTransferTelegramsOnlyToTheTransfersAddress) {
  TLogEntry entry = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  primary->port.params.addresses[0] = 6;  // now serving another address
  EXPECT_FALSE(primary->Next());
}

TEST_F(DisturbanceTest, InactivityEndsTheRecordingWithEvent39AndWritesTheHeader) {
  TLogEntry entry = Frame(0x08, ReadyForData());
  OnDisturbanceAsdu(primary->send, primary->port, entry);
  const std::uint32_t reload = SecondsToTicks(8, primary->time.msPerTick) + 2;
  for (std::uint32_t i = 0; i + 1 < reload; ++i) DisturbanceStep(primary->send, primary->port);
  EXPECT_TRUE(primary->Recording());
  DisturbanceStep(primary->send, primary->port);
  EXPECT_FALSE(primary->Recording());
  ASSERT_EQ(primary->Events(), (std::vector<int>{41, 39}));
  EXPECT_EQ(primary->logged.back().linkAddress, kDevice);

  const Octets bytes = ReadBytes(primary->File(12));
  ASSERT_EQ(bytes.size(), 128u + 22u);
  const DisturbanceHeader header = DisturbanceHeader::Decode(bytes);
  EXPECT_EQ(header.magic, DisturbanceHeader::kMagic);
  EXPECT_EQ(header.fileEnd, 150u);
  EXPECT_EQ(header.linkAddress, kDevice);
  // Not in a received list: FAN, SOF 0, the frame's time and today's date.
  const LocalTime today = primary->clock.Now();
  EXPECT_EQ(ToHex(Octets(header.listEntry.begin(), header.listEntry.begin() + 7)),
            "0C 00 00 10 27 2D 0E");
  EXPECT_EQ(header.listEntry[7], today.day);
  EXPECT_EQ(header.listEntry[8], today.month);
  EXPECT_EQ(header.listEntry[9], today.year % 100);
  EXPECT_EQ(ToHex(Octets(header.readyForData.begin(), header.readyForData.end())),
            "01 0C 00 03 00 02 04 00 E8 03");
}

// --- Replaying secondary ---

TEST_F(DisturbanceTest, SecondaryListsItsFilesInNameOrder) {
  WriteBytes(secondary->File(12), MakeFile(12).bytes);
  WriteBytes(secondary->File(7), MakeFile(7).bytes);
  WriteFile(secondary->scratch.path() + "10300009.DSD", "not a disturbance file");
  WriteFile(secondary->scratch.path() + "1030001.DSD", "");
  BuildDisturbanceList(secondary->send, secondary->port);
  TLogEntry request = Frame(0x73, OrderAsdu(24, 24, 0));
  OnDisturbanceAsdu(secondary->send, secondary->port, request);
  EXPECT_EQ(DisturbanceClass1Items(secondary->send, secondary->port), 1);
  ASSERT_TRUE(secondary->Next());
  const auto frame = secondary->sent.View();
  ASSERT_EQ(frame.size(), 12u + 20u + 2u);
  EXPECT_EQ(frame[4], 0x08);
  EXPECT_EQ(ToHex(secondary->SentAsdu()),
            "17 02 1F 05 80 00 "
            "07 00 01 10 27 2D 0E 06 0C 1A "
            "0C 00 01 10 27 2D 0E 06 0C 1A");
  EXPECT_EQ(DisturbanceClass1Items(secondary->send, secondary->port), 0);
}

TEST_F(DisturbanceTest, ListTakesAtMostEightFiles) {
  for (std::uint16_t fan = 1; fan <= 10; ++fan)
    WriteBytes(secondary->File(fan), MakeFile(fan).bytes);
  BuildDisturbanceList(secondary->send, secondary->port);
  EXPECT_EQ(secondary->transfer().list.count, 8);
}

TEST_F(DisturbanceTest, CompleteTransferRecordsTheReplayedFileOctetForOctet) {
  StartTransfer();
  const std::vector<int> statuses = Converse();
  EXPECT_EQ(statuses, std::vector<int>(statuses.size(), 40));
  // List, order, 26, order, 28, order, 29, end, ack, two channels of
  // (27, order, 30, end, ack), end, ack, and the new list.
  EXPECT_EQ(statuses.size(), 22u);
  EXPECT_TRUE(primary->transfer().run.completed);
  EXPECT_TRUE(secondary->transfer().run.completed);
  StepUntilEnd(*primary);
  StepUntilEnd(*secondary);
  EXPECT_EQ(primary->Events(), (std::vector<int>{41, 46}));
  EXPECT_EQ(secondary->Events(), (std::vector<int>{41, 46}));

  // No field differs: the recorded header takes its list entry from the list
  // the replaying side sent, and the end leaves ACC 0 as the file had it.
  EXPECT_EQ(ToHex(ReadBytes(primary->File(12))), ToHex(ReadBytes(secondary->File(12))));
  // After the positive acknowledgement the FAN is gone from the new list.
  EXPECT_EQ(secondary->transfer().list.count, 0);
  EXPECT_EQ(primary->transfer().list.count, 0);
}

TEST_F(DisturbanceTest, NegativeChannelAcknowledgementsRepeatEachChannelOnce) {
  primary->port.linkTest.ltDistFault2 = true;
  StartTransfer();
  const std::vector<int> statuses = Converse();
  EXPECT_EQ(statuses, std::vector<int>(statuses.size(), 40));
  StepUntilEnd(*primary);
  StepUntilEnd(*secondary);
  EXPECT_EQ(RecordTypes(ReadBytes(primary->File(12))),
            (std::vector<int>{26, 28, 29, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 31}));
  // A negative acknowledgement of the data keeps the FAN in the list.
  EXPECT_EQ(secondary->transfer().list.count, 1);
  EXPECT_EQ(secondary->Events(), (std::vector<int>{41, 46}));
}

TEST_F(DisturbanceTest, TagsAcknowledgedNegativelyTwiceAreNotSentAThirdTime) {
  WriteBytes(secondary->File(12), MakeFile().bytes);
  BuildDisturbanceList(secondary->send, secondary->port);
  Side& s = *secondary;
  const auto order = [&](std::uint8_t type, std::uint8_t too) {
    TLogEntry entry = Frame(0x73, OrderAsdu(type, too));
    OnDisturbanceAsdu(s.send, s.port, entry);
    return static_cast<int>(entry.status);
  };
  const auto sentTypes = [&] {
    std::vector<int> types;
    while (s.Next()) types.push_back(s.SentAsdu()[0]);
    return types;
  };
  EXPECT_EQ(order(24, 1), 40);
  EXPECT_EQ(sentTypes(), std::vector<int>{26});
  EXPECT_EQ(order(24, 2), 40);
  EXPECT_EQ(sentTypes(), std::vector<int>{28});
  EXPECT_EQ(order(24, 16), 40);
  EXPECT_EQ(sentTypes(), (std::vector<int>{29, 31}));
  EXPECT_EQ(order(25, 69), 40);
  EXPECT_EQ(sentTypes(), std::vector<int>{28});
  EXPECT_EQ(order(24, 16), 40);
  EXPECT_EQ(sentTypes(), (std::vector<int>{29, 31}));
  EXPECT_EQ(order(25, 69), 40);
  EXPECT_EQ(sentTypes(), std::vector<int>{27});
  EXPECT_EQ(s.SentAsdu()[10], 1);  // channel 1
}

TEST_F(DisturbanceTest, SecondaryAnswersAbortionsWithEndOfTransmission) {
  WriteBytes(secondary->File(12), MakeFile().bytes);
  Side& s = *secondary;
  TLogEntry select = Frame(0x73, OrderAsdu(24, 1));
  OnDisturbanceAsdu(s.send, s.port, select);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 2);
  TLogEntry abort = Frame(0x73, OrderAsdu(24, 3));
  OnDisturbanceAsdu(s.send, s.port, abort);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(ToHex(s.SentAsdu()), "1F 81 1F 05 80 00 21 01 0C 00 00");
  TLogEntry late = Frame(0x73, OrderAsdu(24, 16));  // 28 was never sent
  OnDisturbanceAsdu(s.send, s.port, late);
  EXPECT_EQ(late.status, 38);
  TLogEntry wrongFan = Frame(0x73, OrderAsdu(25, 65, 13));
  OnDisturbanceAsdu(s.send, s.port, wrongFan);
  EXPECT_EQ(wrongFan.status, 37);
  TLogEntry ack = Frame(0x73, OrderAsdu(25, 65));
  OnDisturbanceAsdu(s.send, s.port, ack);
  EXPECT_EQ(ack.status, 40);
  EXPECT_TRUE(s.transfer().run.completed);
}

TEST_F(DisturbanceTest, AcknowledgementWithoutEndOfTransmissionIsOutOfSequence) {
  TLogEntry ack = Frame(0x73, OrderAsdu(25, 64));
  OnDisturbanceAsdu(secondary->send, secondary->port, ack);
  EXPECT_EQ(ack.status, 38);
  TLogEntry order = Frame(0x73, OrderAsdu(24, 2));
  OnDisturbanceAsdu(secondary->send, secondary->port, order);
  EXPECT_EQ(order.status, 38);
}

TEST_F(DisturbanceTest, ResetEndsTheReplayAtOnceWithEvent39) {
  WriteBytes(secondary->File(12), MakeFile().bytes);
  TLogEntry select = Frame(0x73, OrderAsdu(24, 1));
  OnDisturbanceAsdu(secondary->send, secondary->port, select);
  ASSERT_TRUE(secondary->Replaying());
  EndDisturbanceTransfer(secondary->send, secondary->port);
  EXPECT_FALSE(secondary->Replaying());
  EXPECT_EQ(secondary->Events(), (std::vector<int>{41, 39}));
  EXPECT_FALSE(secondary->Next());
}

// --- Damaged and foreign files ---

TEST_F(DisturbanceTest, ForeignOrMissingFileGivesStatus36) {
  WriteFile(secondary->File(12), std::string(300, 'x'));
  for (std::uint16_t fan : {12, 13}) {
    TLogEntry select = Frame(0x73, OrderAsdu(24, 1, fan));
    OnDisturbanceAsdu(secondary->send, secondary->port, select);
    EXPECT_EQ(select.status, 36);
    EXPECT_FALSE(secondary->Replaying());
  }
  EXPECT_TRUE(secondary->Events().empty());
}

TEST_F(DisturbanceTest, HeaderPointingBeyondTheFileGivesStatus36) {
  const auto damaged = [&](auto spoil) {
    RecordedFile file = MakeFile();
    spoil(file.header);
    file.header.Encode(std::span<std::uint8_t>(file.bytes.data(), DisturbanceHeader::kSize));
    WriteBytes(secondary->File(12), file.bytes);
    TLogEntry select = Frame(0x73, OrderAsdu(24, 1));
    OnDisturbanceAsdu(secondary->send, secondary->port, select);
    return static_cast<int>(select.status);
  };
  EXPECT_EQ(damaged([](DisturbanceHeader& h) { h.fileEnd += 1; }), 36);
  EXPECT_EQ(damaged([](DisturbanceHeader& h) { h.firstRecord = 0xFFFFFFF0u; }), 36);
  EXPECT_EQ(damaged([](DisturbanceHeader& h) { h.firstRecord = 12; }), 36);
  EXPECT_EQ(damaged([](DisturbanceHeader& h) { h.channelStart[3] = h.fileEnd; }), 36);
  EXPECT_EQ(damaged([](DisturbanceHeader& h) { h.headerLength = 127; }), 36);
  EXPECT_EQ(damaged([](DisturbanceHeader&) {}), 40);
}

TEST_F(DisturbanceTest, DamagedRecordEndsTheReplayWithStatus36) {
  RecordedFile file = MakeFile();
  file.bytes[128 + 22] = 0xF0;  // the 28 record claims to run past the end
  WriteBytes(secondary->File(12), file.bytes);
  Side& s = *secondary;
  TLogEntry select = Frame(0x73, OrderAsdu(24, 1));
  OnDisturbanceAsdu(s.send, s.port, select);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(s.sent.status, 40);
  TLogEntry order = Frame(0x73, OrderAsdu(24, 2));
  OnDisturbanceAsdu(s.send, s.port, order);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(s.sent.status, 36);
  EXPECT_EQ(ToHex(s.SentAsdu()), "1F 81 1F 05 80 00 22 01 0C 00 00");
  EXPECT_FALSE(s.Next());
}

TEST_F(DisturbanceTest, ReplayOfAFileWithoutChannelsStillEnds) {
  WriteBytes(secondary->File(12), MakeFile(12, 0).bytes);
  StartTransfer();
  WriteBytes(secondary->File(12), MakeFile(12, 0).bytes);
  const std::vector<int> statuses = Converse();
  EXPECT_EQ(statuses, std::vector<int>(statuses.size(), 40));
  EXPECT_TRUE(primary->transfer().run.completed);
}

TEST_F(DisturbanceTest, FinalRecordThatIsNoEndOfDataDoesNotRepeatForever) {
  RecordedFile file = MakeFile(12, 0);
  file.bytes[file.bytes.size() - 12 + 7] = 35;  // the final end claims to end a channel
  WriteBytes(secondary->File(12), file.bytes);
  Side& s = *secondary;
  const auto order = [&](std::uint8_t type, std::uint8_t too) {
    TLogEntry entry = Frame(0x73, OrderAsdu(type, too));
    OnDisturbanceAsdu(s.send, s.port, entry);
    return static_cast<int>(entry.status);
  };
  std::vector<int> endToos;
  const auto sendAll = [&] {
    while (s.Next()) {
      if (s.SentAsdu()[0] == 31) endToos.push_back(s.SentAsdu()[6]);
    }
  };
  order(24, 1);
  sendAll();
  order(24, 2);
  sendAll();
  order(24, 16);
  sendAll();
  EXPECT_EQ(order(25, 68), 40);
  sendAll();
  EXPECT_EQ(order(25, 66), 40);
  sendAll();
  EXPECT_EQ(endToos, (std::vector<int>{38, 35, 34}));
  EXPECT_EQ(order(25, 65), 40);
  EXPECT_TRUE(s.transfer().run.completed);
}

}  // namespace
}  // namespace kivo::testing
