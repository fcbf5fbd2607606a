// The disturbance data transfer at the level of the link procedures' calls:
// ASDUs in, the telegram built into the transmit entry out, files on disk.
#include "send/disturbance.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "send/send_fixture.h"
#include "util/record_testing.h"

namespace kivo::testing {
namespace {

constexpr std::uint8_t kDevice = 5;

// What a device sends for FAN 12 (common address 5, FUN 0x80): ready for
// data, for tags, the tags, and per channel ready for the channel and values.
const std::string kReadyForData = "1A 81 1F 05 80 00 00 01 0C 00 03 00 02 04 00 E8 03 10 27 2D 0E";
const std::string kReadyForTags = "1C 81 1F 05 80 00 00 00 0C 00";
const std::string kTags = "1D 81 1F 05 80 00 0C 00 01 02 00 80 40 02";
std::string Format(const char* pattern, int a, int b, int c = 0, int d = 12) {
  char text[80];
  std::snprintf(text, sizeof text, pattern, a, b, c, d);
  return text;
}
std::string ReadyForChannel(int acc) {
  return Format("1B 81 1F 05 80 00 00 01 0C 00 %02X 00 00 80 3F 00 00 80 3F 00 00 C8 42", acc, 0);
}
std::string Values(int acc) {
  return Format("1E 81 1F 05 80 00 00 01 0C 00 %02X 02 00 00 10 00 F0 FF", acc, 0);
}
// Orders, acknowledgements and ends: TYP VSQ COT CA FUN INF TOO TOV FAN ACC.
std::string Order(int type, int too, int acc = 0, int fan = 12) {
  return Format("%02X 81 1F 05 80 00 %02X 01 %02X 00 %02X", type, too, fan, acc);
}

// A received frame with the given ASDU.
TLogEntry Received(std::uint8_t control, const std::string& asdu) {
  TLogEntry entry;
  entry.SetFrame(Hex(RepairChecksum(Format("68 %02X %02X 68 %02X 05 ", int(Hex(asdu).size() + 2),
                                           int(Hex(asdu).size() + 2), control) +
                                    asdu + " 00 16")));
  entry.status = 40;
  ClassifyFrame(entry);
  return entry;
}

// A disturbance file as a recording primary leaves it: header, 26, 28, 29,
// end of tags, per channel 27, 30 and end of channel, end of data.
struct RecordedFile {
  Octets bytes = Octets(DisturbanceHeader::kSize, 0);
  DisturbanceHeader header;

  explicit RecordedFile(int channels = 2) {
    for (const std::string& asdu : {kReadyForData, kReadyForTags, kTags, Order(31, 38)}) Add(asdu);
    for (int c = 1; c <= channels; ++c) {
      header.channelStart[static_cast<std::size_t>(c - 1)] =
          static_cast<std::uint32_t>(bytes.size());
      for (const std::string& asdu : {ReadyForChannel(c), Values(c), Order(31, 35, c)}) Add(asdu);
    }
    Add(Order(31, 32));
    header.fileEnd = static_cast<std::uint32_t>(bytes.size());
    header.linkAddress = header.commonAddress = kDevice;
    header.listEntry = {12, 0, 0x01, 0x10, 0x27, 0x2D, 0x0E, 6, 12, 26};
    const Octets ready = Hex(kReadyForData);
    std::copy(ready.begin() + 7, ready.begin() + 17, header.readyForData.begin());
    Seal();
  }
  void Add(const std::string& hex) {
    const Octets asdu = Hex(hex);
    bytes.push_back(static_cast<std::uint8_t>(asdu.size()));
    bytes.insert(bytes.end(), asdu.begin(), asdu.end());
  }
  void Seal() { header.Encode(std::span<std::uint8_t>(bytes.data(), DisturbanceHeader::kSize)); }
};

// The types of the records in a disturbance file, in order.
std::vector<int> RecordTypes(const std::string& bytes) {
  std::vector<int> types;
  for (std::size_t at = DisturbanceHeader::kSize; at + 1 < bytes.size();
       at += 1 + static_cast<std::uint8_t>(bytes[at]))
    types.push_back(bytes[at + 1]);
  return types;
}

// One program whose port 1 serves address 5 with its data directory in a
// scratch folder.
struct Side : SendWorld {
  PortRecord& port = ports[0];
  OutgoingFrame sent;  // the frame last built

  explicit Side(PortFunction function) {
    general.separateCommonAddress = 1;
    Serve(function, {kDevice});
    port.ResetLinkState();
  }
  DisturbanceTransfer& transfer() { return send.Transfer(port); }
  DisturbanceRun::Role role() { return transfer().run.role; }
  std::string File(std::uint16_t fan) const { return scratch.path() + DisturbanceFileName(fan); }
  void Store(std::uint16_t fan, const RecordedFile& file = RecordedFile()) {
    WriteFile(File(fan), std::string(file.bytes.begin(), file.bytes.end()));
  }
  bool Next() { return NextDisturbanceTelegram(send, port, sent); }
  // The ASDU octets of the frame last built (type identification onwards).
  Octets SentAsdu() const {
    const auto frame = sent.View();
    return Octets(frame.begin() + 6, frame.end() - 2);
  }
  // A device's frames carry control 0x08, a primary's 0x73; the status the
  // frame got.
  int Take(const std::string& asdu) {
    TLogEntry entry = Received(port.params.function == PortFunction::Primary ? 0x08 : 0x73, asdu);
    OnDisturbanceAsdu(send, port, entry);
    return entry.status;
  }
  // The status the order got, then the types of what this side sends now
  // (27 with its ACC, 31 with its TOO, a status other than 40 after "!").
  std::string Answer(int type, int too, int fan = 12) {
    std::string out = std::to_string(Take(Order(type, too, 0, fan))) + ":";
    while (Next()) {
      const Octets asdu = SentAsdu();
      out += " " + std::to_string(asdu[0]);
      if (asdu[0] == 27 || asdu[0] == 31) out += "/" + std::to_string(asdu[asdu[0] == 27 ? 10 : 6]);
      if (sent.status != 40) out += "!" + std::to_string(sent.status);
    }
    return out;
  }
  std::vector<int> Events() const {
    std::vector<int> codes;
    for (const TLogEntry& entry : sink.entries)
      if (entry.frameKind == kFrameEvent) codes.push_back(entry.status);
    return codes;
  }
};

// Gives `to` the frame `from` has just built, as the link procedure would.
int Deliver(Side& from, Side& to) {
  TLogEntry entry;
  entry.SetFrame(from.sent.View());
  ClassifyFrame(entry);
  entry.status = 40;
  OnDisturbanceAsdu(to.send, to.port, entry);
  return entry.status;
}

// The secondary holds `file` for FAN 12 and is asked for its list; the
// primary orders the first disturbance by itself. Each telegram one side
// builds goes to the other until neither has anything to send, then both run
// out their transfers. Returns the statuses the received telegrams got.
std::vector<int> Transfer(Side& p, Side& s, const RecordedFile& file = RecordedFile()) {
  s.Store(12, file);
  BuildDisturbanceList(s.send, s.port);
  p.general.autoOrderDisturbance = 1;
  EXPECT_EQ(s.Take(Order(24, 24)), 40);
  std::vector<int> statuses;
  for (bool any = true; any && statuses.size() < 200;) {
    any = false;
    for (auto [from, to] : {std::pair(&p, &s), std::pair(&s, &p)}) {
      if (from->Next()) statuses.push_back(Deliver(*from, *to)), any = true;
    }
  }
  for (Side* side : {&p, &s}) {
    for (int i = 0; i < 1000 && side->role() != DisturbanceRun::Role::None; ++i)
      DisturbanceStep(side->send, side->port);
  }
  return statuses;
}

class DisturbanceTest : public ::testing::Test {
 protected:
  Side p{PortFunction::Primary};
  Side s{PortFunction::Secondary};
};

TEST(DisturbanceHeaderTest, EveryFieldLiesAtItsOffset) {
  DisturbanceHeader header;
  header.fileEnd = 0x01020304;
  for (std::size_t i = 0; i < 15; ++i)
    header.channelStart[i] = 0x100 + static_cast<std::uint32_t>(i);
  header.linkAddress = 0xA1B2;
  for (std::size_t i = 0; i < 10; ++i) header.listEntry[i] = static_cast<std::uint8_t>(0x50 + i);
  for (std::size_t i = 0; i < 10; ++i) header.readyForData[i] = static_cast<std::uint8_t>(0x60 + i);
  header.commonAddress = 0x77;
  header.actualChannel = 0x0E;

  Octets expected(128, 0);
  PutLe(expected, 0, 0x731030), PutLe(expected, 4, 128), PutLe(expected, 16, 0x01020304);
  PutLe(expected, 20, 128), PutLe(expected, 84, 0xA1B2, 2);
  for (std::size_t i = 0; i < 15; ++i) PutLe(expected, 24 + 4 * i, 0x100 + i);
  for (std::size_t i = 0; i < 10; ++i) expected[86 + i] = static_cast<std::uint8_t>(0x50 + i);
  for (std::size_t i = 0; i < 10; ++i) expected[96 + i] = static_cast<std::uint8_t>(0x60 + i);
  expected[106] = 0x77, expected[107] = 0x0E;
  EXPECT_EQ(ToHex(EncodeRecord(header)), ToHex(expected));
  ExpectRoundTripOfRandomBytes<DisturbanceHeader>();
  EXPECT_EQ(DisturbanceFileName(12), "10300012.DSD");
  EXPECT_EQ(DisturbanceFileName(65535), "10365535.DSD");
}

// --- Recording primary ---

TEST_F(DisturbanceTest, PrimaryRecordsWhatFollowsReadyForDataAndOrdersTheData) {
  EXPECT_EQ(p.Take(kReadyForTags), 38);  // nothing before ready for data
  EXPECT_FALSE(p.Next());
  EXPECT_EQ(p.Take(kReadyForData), 40);
  EXPECT_EQ(p.Events(), std::vector<int>{41});
  p.port.params.addresses[0] = 6;  // only to the transfer's address
  EXPECT_FALSE(p.Next());
  p.port.params.addresses[0] = kDevice;
  ASSERT_TRUE(p.Next());
  EXPECT_EQ(ToHex(p.SentAsdu()), "18 81 1F 05 80 00 02 01 0C 00 00");
  EXPECT_EQ(p.sent.View()[4] & 0x4F, 0x43);  // send/confirm
  // Tags before they were ordered, and a foreign FAN: marked, but recorded.
  EXPECT_EQ(p.Take(kTags), 38);
  EXPECT_EQ(p.Take(kReadyForTags.substr(0, 24) + "0D 00"), 37);
  EndDisturbanceTransfer(p.send, p.port);
  EXPECT_EQ(RecordTypes(ReadFile(p.scratch.path() + "10300012.DSD")),
            (std::vector<int>{26, 29, 28}));

  // With the first fault of the link test, the data order is an abortion.
  Side faulty(PortFunction::Primary);
  faulty.port.linkTest.ltDistFault1 = true;
  faulty.Take(kReadyForData);
  ASSERT_TRUE(faulty.Next());
  EXPECT_EQ(faulty.SentAsdu()[6], 3);
}

TEST_F(DisturbanceTest, PrimaryThatCannotCreateTheFileGivesStatus36) {
  p.dataDirectory = p.scratch.path() + "missing/";
  EXPECT_EQ(p.Take(kReadyForData), 36);
  EXPECT_EQ(p.role(), DisturbanceRun::Role::None);
  EXPECT_TRUE(p.Events().empty());
  EXPECT_FALSE(p.Next());
}

TEST_F(DisturbanceTest, InactivityEndsTheRecordingWithEvent39AndWritesTheHeader) {
  p.Take(kReadyForData);
  const std::uint32_t reload = SecondsToTicks(8, p.time.msPerTick) + 2;
  for (std::uint32_t i = 0; i + 1 < reload; ++i) DisturbanceStep(p.send, p.port);
  EXPECT_EQ(p.role(), DisturbanceRun::Role::Recording);
  DisturbanceStep(p.send, p.port);
  EXPECT_EQ(p.role(), DisturbanceRun::Role::None);
  ASSERT_EQ(p.Events(), (std::vector<int>{41, 39}));
  EXPECT_EQ(p.sink.entries.back().linkAddress, kDevice);

  const std::string bytes = ReadFile(p.File(12));
  ASSERT_EQ(bytes.size(), 128u + 22u);
  // Not in a received list: FAN, SOF 0, the frame's time and today's date.
  const LocalTime today = p.clock.Now();
  DisturbanceHeader header;
  header.fileEnd = 150;
  header.linkAddress = header.commonAddress = kDevice;
  header.listEntry = {12,
                      0,
                      0,
                      0x10,
                      0x27,
                      0x2D,
                      0x0E,
                      static_cast<std::uint8_t>(today.day),
                      static_cast<std::uint8_t>(today.month),
                      static_cast<std::uint8_t>(today.year % 100)};
  header.readyForData = {1, 12, 0, 3, 0, 2, 4, 0, 0xE8, 3};
  EXPECT_EQ(ToHex(Octets(bytes.begin(), bytes.begin() + 128)), ToHex(EncodeRecord(header)));
}

// --- Replaying secondary ---

TEST_F(DisturbanceTest, SecondaryListsAtMostEightFilesInNameOrder) {
  s.Store(12);
  s.Store(7);
  WriteFile(s.scratch.path() + "10300009.DSD", "not a disturbance file");
  WriteFile(s.scratch.path() + "1030001.DSD", "");
  BuildDisturbanceList(s.send, s.port);
  s.Take(Order(24, 24));
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 1);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(s.sent.View()[4], 0x08);
  EXPECT_EQ(ToHex(s.SentAsdu()),
            "17 02 1F 05 80 00 "
            "07 00 01 10 27 2D 0E 06 0C 1A "
            "0C 00 01 10 27 2D 0E 06 0C 1A");
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 0);

  for (std::uint16_t fan = 1; fan <= 10; ++fan) s.Store(fan);
  BuildDisturbanceList(s.send, s.port);
  EXPECT_EQ(s.transfer().list.count, 8);
}

TEST_F(DisturbanceTest, CompleteTransferRecordsTheReplayedFileOctetForOctet) {
  const std::vector<int> statuses = Transfer(p, s);
  // List, order, 26, order, 28, order, 29, end, ack, two channels of
  // (27, order, 30, end, ack), end, ack, and the new list.
  EXPECT_EQ(statuses, std::vector<int>(22, 40));
  EXPECT_EQ(p.Events(), (std::vector<int>{41, 46}));
  EXPECT_EQ(s.Events(), (std::vector<int>{41, 46}));
  // No field differs: the recorded header takes its list entry from the list
  // the replaying side sent, and the end leaves ACC 0 as the file had it.
  const std::string recorded = ReadFile(p.File(12)), replayed = ReadFile(s.File(12));
  EXPECT_EQ(ToHex(Octets(recorded.begin(), recorded.end())),
            ToHex(Octets(replayed.begin(), replayed.end())));
  // After the positive acknowledgement the FAN is gone from the new list.
  EXPECT_EQ(s.transfer().list.count, 0);
  EXPECT_EQ(p.transfer().list.count, 0);
}

TEST_F(DisturbanceTest, NegativeChannelAcknowledgementsRepeatEachChannelOnce) {
  p.port.linkTest.ltDistFault2 = true;
  const std::vector<int> statuses = Transfer(p, s);
  EXPECT_EQ(statuses, std::vector<int>(statuses.size(), 40));
  EXPECT_EQ(RecordTypes(ReadFile(p.File(12))),
            (std::vector<int>{26, 28, 29, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 27, 30, 31, 31}));
  // A negative acknowledgement of the data keeps the FAN in the list.
  EXPECT_EQ(s.transfer().list.count, 1);
  EXPECT_EQ(s.Events(), (std::vector<int>{41, 46}));

  // A file without channels still ends.
  Side p2(PortFunction::Primary), s2(PortFunction::Secondary);
  const std::vector<int> withoutChannels = Transfer(p2, s2, RecordedFile(0));
  EXPECT_EQ(withoutChannels, std::vector<int>(withoutChannels.size(), 40));
  EXPECT_EQ(p2.Events(), (std::vector<int>{41, 46}));
}

// Orders in turn and what the secondary answers: the status the order got,
// then what it sends (see Side::Answer).
TEST_F(DisturbanceTest, SecondaryReplaysAsTheOrdersSay) {
  RecordedFile damaged;
  damaged.bytes[128 + 22] = 0xF0;  // the 28 record claims to run past the end
  RecordedFile finalNoEnd(0);
  finalNoEnd.bytes[finalNoEnd.bytes.size() - 12 + 7] = 35;  // the final end claims to end a channel
  const RecordedFile normal;
  const struct {
    const char* name;
    const RecordedFile& file;
    std::vector<std::tuple<int, int, const char*>> steps;  // type, TOO, answer
  } scripts[] = {
      {"tags acknowledged negatively twice are not sent a third time",
       normal,
       {{24, 1, "40: 26"},
        {24, 2, "40: 28"},
        {24, 16, "40: 29 31/38"},
        {25, 69, "40: 28"},
        {24, 16, "40: 29 31/38"},
        {25, 69, "40: 27/1"}}},
      {"abortions are answered with end of transmission",
       normal,
       {{24, 1, "40: 26"}, {24, 3, "40: 31/33"}, {24, 16, "38:"}, {25, 65, "40: 23"}}},
      {"an acknowledgement without end of transmission is out of sequence",
       normal,
       {{25, 64, "38:"}, {24, 2, "38:"}}},
      {"a damaged record ends the replay with 36",
       damaged,
       {{24, 1, "40: 26"}, {24, 2, "40: 31/34!36"}}},
      {"a final record that is no end of data does not repeat forever",
       finalNoEnd,
       {{24, 1, "40: 26"},
        {24, 2, "40: 28"},
        {24, 16, "40: 29 31/38"},
        {25, 68, "40: 31/35"},
        {25, 66, "40: 31/34"},
        {25, 65, "40: 23"}}},
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.name);
    Side side(PortFunction::Secondary);
    side.Store(12, script.file);
    for (const auto& [type, too, answer] : script.steps) EXPECT_EQ(side.Answer(type, too), answer);
  }
  // While replaying: two class 1 items; an abortion's end of transmission;
  // an acknowledgement for a foreign FAN.
  s.Store(12);
  EXPECT_EQ(s.Answer(24, 1), "40: 26");
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 2);
  s.Take(Order(24, 3));
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(ToHex(s.SentAsdu()), "1F 81 1F 05 80 00 21 01 0C 00 00");
  EXPECT_EQ(s.Answer(25, 65, 13), "37:");
}

TEST_F(DisturbanceTest, ResetEndsTheReplayAtOnceWithEvent39) {
  s.Store(12);
  s.Take(Order(24, 1));
  ASSERT_EQ(s.role(), DisturbanceRun::Role::Replaying);
  EndDisturbanceTransfer(s.send, s.port);
  EXPECT_EQ(s.role(), DisturbanceRun::Role::None);
  EXPECT_EQ(s.Events(), (std::vector<int>{41, 39}));
  EXPECT_FALSE(s.Next());
}

TEST_F(DisturbanceTest, ForeignMissingOrDamagedFileGivesStatus36) {
  WriteFile(s.File(12), std::string(300, 'x'));
  EXPECT_EQ(s.Take(Order(24, 1, 0, 12)), 36);
  EXPECT_EQ(s.Take(Order(24, 1, 0, 13)), 36);
  EXPECT_TRUE(s.Events().empty());
  // A header pointing beyond the file.
  const std::function<void(DisturbanceHeader&)> spoils[] = {
      [](DisturbanceHeader& h) { h.fileEnd += 1; },
      [](DisturbanceHeader& h) { h.firstRecord = 0xFFFFFFF0u; },
      [](DisturbanceHeader& h) { h.firstRecord = 12; },
      [](DisturbanceHeader& h) { h.channelStart[3] = h.fileEnd; },
      [](DisturbanceHeader& h) { h.headerLength = 127; }};
  for (const auto& spoil : spoils) {
    RecordedFile file;
    spoil(file.header);
    file.Seal();
    s.Store(12, file);
    EXPECT_EQ(s.Take(Order(24, 1)), 36);
    EXPECT_EQ(s.role(), DisturbanceRun::Role::None);
  }
  s.Store(12);
  EXPECT_EQ(s.Take(Order(24, 1)), 40);
}

}  // namespace
}  // namespace kivo::testing
