// The disturbance data transfer at the level of the link procedures' calls:
// ASDUs in, the telegram built into the transmit entry out, files on disk.
// The whole transfer between two stations is tested over the simulated line.
#include "send/disturbance.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "send/disturbance_fixture.h"
#include "send/send_fixture.h"
#include "util/record_testing.h"

namespace kivo::testing {
namespace {

RecordedFile Spoilt(const std::function<void(DisturbanceHeader&)>& spoil) {
  RecordedFile file;
  spoil(file.header);
  file.Seal();
  return file;
}

// One program whose port 1 serves address 5, with its data directory in a
// scratch folder.
struct Side : SendWorld {
  PortRecord& port = ports[0];
  OutgoingFrame sent;  // the frame last built

  explicit Side(PortFunction function) {
    general.separateCommonAddress = 1;
    Serve(function, {kDevice});
  }
  DisturbanceRun& run() { return send.Transfer(port).run; }
  std::string File(std::uint16_t fan) const { return scratch.path() + DisturbanceFileName(fan); }
  void Store(std::uint16_t fan, const RecordedFile& file = RecordedFile()) {
    WriteFile(File(fan), file.Text());
  }
  bool Next() { return NextDisturbanceTelegram(send, port, sent); }
  // The ASDU octets of the frame last built (type identification onwards).
  Octets SentAsdu() const { return Octets(sent.View().begin() + 6, sent.View().end() - 2); }
  // A frame with this ASDU as the other side sends it (a device with control
  // 0x08, a primary with 0x73); the status it got.
  int Take(const std::string& asdu) {
    const int length = static_cast<int>(Hex(asdu).size()) + 2;
    const int control = port.params.function == PortFunction::Primary ? 0x08 : 0x73;
    TLogEntry entry;
    entry.SetFrame(Hex(RepairChecksum(Format("68 %02X %02X 68 %02X 05 ", length, length, control) +
                                      asdu + " 00 16")));
    entry.status = 40;
    ClassifyFrame(entry);
    OnDisturbanceAsdu(send, port, entry);
    return entry.status;
  }
  // The status the order got and the types of what this side sends then (27
  // with its ACC, 31 with its TOO, a status other than 40 after "!").
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
  // Answer() to each order "type.TOO" of a list separated by blanks, joined by " | ".
  std::string Replay(const std::string& orders) {
    std::istringstream in(orders);
    std::string out;
    int type, too;
    for (char dot; in >> type >> dot >> too;) out += (out.empty() ? "" : " | ") + Answer(type, too);
    return out;
  }
  std::vector<int> Events() const {
    std::vector<int> codes;
    for (const TLogEntry& entry : sink.entries)
      if (entry.frameKind == kFrameEvent) codes.push_back(entry.status);
    return codes;
  }
};

class DisturbanceTest : public ::testing::Test {
 protected:
  Side p{PortFunction::Primary};
  Side s{PortFunction::Secondary};
};

TEST(DisturbanceHeaderTest, EveryFieldLiesAtItsOffset) {
  DisturbanceHeader header;
  Octets expected(128, 0);
  PutLe(expected, 0, 0x731030), PutLe(expected, 4, 128), PutLe(expected, 20, 128);
  header.fileEnd = 0x01020304, PutLe(expected, 16, 0x01020304);
  header.linkAddress = 0xA1B2, PutLe(expected, 84, 0xA1B2, 2);
  header.commonAddress = expected[106] = 0x77;
  header.actualChannel = expected[107] = 0x0E;
  for (std::uint8_t i = 0; i < 15; ++i) {
    header.channelStart[i] = 0x100u + i, PutLe(expected, 24 + 4 * i, 0x100 + i);
    if (i < 10) header.listEntry[i] = expected[86 + i] = 0x50 + i;
    if (i < 10) header.readyForData[i] = expected[96 + i] = 0x60 + i;
  }
  EXPECT_EQ(ToHex(EncodeRecord(header)), ToHex(expected));
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
  EndDisturbanceTransfer(p.send, p.port, kDevice);
  const std::string file = ReadFile(p.scratch.path() + "10300012.DSD");
  EXPECT_EQ(ToHex(Octets(file.begin() + 128, file.end())),
            "15 " + kReadyForData + " 0E " + kTags + " 0A 1C 81 1F 05 80 00 00 00 0D 00");

  // With the first fault of the link test, the data order is an abortion.
  Side faulty(PortFunction::Primary);
  faulty.port.linkTest.ltDistFault1 = true;
  faulty.Take(kReadyForData);
  ASSERT_TRUE(faulty.Next());
  EXPECT_EQ(faulty.SentAsdu()[6], 3);
  // A file that cannot be created: status 36 and no transfer.
  p.dataDirectory = p.scratch.path() + "missing/";
  EXPECT_EQ(p.Take(kReadyForData), 36);
  EXPECT_EQ(p.run().role, DisturbanceRun::Role::None);
  EXPECT_EQ(p.Events(), (std::vector<int>{41, 39}));
  EXPECT_FALSE(p.Next());
}

TEST_F(DisturbanceTest, InactivityEndsTheRecordingWithEvent39AndWritesTheHeader) {
  p.Take(kReadyForData);
  const std::uint32_t reload = SecondsToTicks(8, p.time.msPerTick) + 2;
  for (std::uint32_t i = 0; i + 1 < reload; ++i) DisturbanceStep(p.send, p.port);
  EXPECT_EQ(p.run().role, DisturbanceRun::Role::Recording);
  DisturbanceStep(p.send, p.port);
  EXPECT_EQ(p.run().role, DisturbanceRun::Role::None);
  ASSERT_EQ(p.Events(), (std::vector<int>{41, 39}));
  EXPECT_EQ(p.sink.entries.back().linkAddress, kDevice);
  // Not in a received list: FAN, SOF 0, the frame's time and today's date.
  RecordedFile expected(0);
  const LocalTime today = p.clock.Now();
  expected.header.fileEnd = 150;
  std::copy_n(Hex("0C 00 00 10 27 2D 0E").begin(), 7, expected.header.listEntry.begin());
  expected.header.listEntry[7] = static_cast<std::uint8_t>(today.day);
  expected.header.listEntry[8] = static_cast<std::uint8_t>(today.month);
  expected.header.listEntry[9] = static_cast<std::uint8_t>(today.year % 100);
  expected.Seal();
  const std::string bytes = ReadFile(p.File(12));
  EXPECT_EQ(ToHex(Octets(bytes.begin(), bytes.end())),
            ToHex(Octets(expected.bytes.begin(), expected.bytes.begin() + 150)));
}

// --- Replaying secondary ---

TEST_F(DisturbanceTest, SecondaryListsAtMostEightFilesInNameOrder) {
  s.Store(12);
  s.Store(7);
  WriteFile(s.scratch.path() + "10300009.DSD", std::string(200, 'x'));  // not a disturbance file
  WriteFile(s.scratch.path() + "1030001.DSD", "");
  BuildDisturbanceList(s.send, s.port);
  s.Take(Order(24, 24));
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 1);
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(ToHex(s.sent.View()),
            RepairChecksum("68 1C 1C 68 08 05 17 02 1F 05 80 00 07 00 01 10 27 2D 0E 06 0C 1A "
                           "0C 00 01 10 27 2D 0E 06 0C 1A 00 16"));
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 0);
  for (std::uint16_t fan = 1; fan <= 10; ++fan) s.Store(fan);
  BuildDisturbanceList(s.send, s.port);
  EXPECT_EQ(s.send.Transfer(s.port).list.count, 8);
}

// Orders in turn and what the secondary answers (see Side::Answer).
TEST_F(DisturbanceTest, SecondaryReplaysAsTheOrdersSay) {
  RecordedFile damaged;
  damaged.bytes[128 + 22] = 0xF0;  // the 28 record claims to run past the end
  RecordedFile foreign;
  foreign.bytes.assign(300, 'x');
  RecordedFile finalNoEnd(0);
  finalNoEnd.bytes[finalNoEnd.bytes.size() - 12 + 7] = 35;  // the final end claims to end a channel
  const struct {
    const char* name;
    RecordedFile file;
    const char* orders;
    const char* answers;
  } scripts[] = {
      {"tags acknowledged negatively twice are not sent a third time", RecordedFile(),
       "24.1 24.2 24.16 25.69 24.16 25.69",
       "40: 26 | 40: 28 | 40: 29 31/38 | 40: 28 | 40: 29 31/38 | 40: 27/1"},
      {"abortions are answered with end of transmission, the end with a new list", RecordedFile(),
       "24.1 24.3 24.16 25.65", "40: 26 | 40: 31/33 | 38: | 40: 23"},
      {"an acknowledgement without end of transmission is out of sequence", RecordedFile(),
       "25.64 24.2", "38: | 38:"},
      {"a damaged record ends the replay with 36", damaged, "24.1 24.2", "40: 26 | 40: 31/34!36"},
      {"a file without channels still ends", RecordedFile(0), "24.1 24.2 24.16 25.68 25.64",
       "40: 26 | 40: 28 | 40: 29 31/38 | 40: 31/32 | 40: 23"},
      {"a final record that is no end of data does not repeat forever", finalNoEnd,
       "24.1 24.2 24.16 25.68 25.66 25.65",
       "40: 26 | 40: 28 | 40: 29 31/38 | 40: 31/35 | 40: 31/34 | 40: 23"},
      // Files that are no disturbance file, or whose header points beyond the file.
      {"foreign", foreign, "24.1", "36:"},
      {"end", Spoilt([](auto& h) { h.fileEnd += 1; }), "24.1", "36:"},
      {"first record", Spoilt([](auto& h) { h.firstRecord = 0xFFFFFFF0u; }), "24.1", "36:"},
      {"first record in the header", Spoilt([](auto& h) { h.firstRecord = 12; }), "24.1", "36:"},
      {"channel", Spoilt([](auto& h) { h.channelStart[3] = h.fileEnd; }), "24.1", "36:"},
      {"header length", Spoilt([](auto& h) { h.headerLength = 127; }), "24.1", "36:"},
  };
  for (const auto& script : scripts) {
    Side side(PortFunction::Secondary);
    side.Store(12, script.file);
    EXPECT_EQ(side.Replay(script.orders), script.answers) << script.name;
  }
  EXPECT_EQ(s.Answer(24, 1), "36:") << "no file";
  EXPECT_TRUE(s.Events().empty());
  // While replaying: two class 1 items; an abortion's end of transmission;
  // an acknowledgement for a foreign FAN.
  s.Store(12);
  EXPECT_EQ(s.Answer(24, 1), "40: 26");
  EXPECT_EQ(DisturbanceClass1Items(s.send, s.port), 2);
  s.Take(Order(24, 3));
  ASSERT_TRUE(s.Next());
  EXPECT_EQ(ToHex(s.SentAsdu()), "1F 81 1F 05 80 00 21 01 0C 00 00");
  EXPECT_EQ(s.Answer(25, 65, 13), "37:");
  // A reset for another address leaves the replay running; a broadcast
  // one, which resets the device too, ends it at once.
  EndDisturbanceTransfer(s.send, s.port, 6);
  EXPECT_EQ(s.Events(), (std::vector<int>{41}));
  EndDisturbanceTransfer(s.send, s.port, 255);
  EXPECT_EQ(s.Events(), (std::vector<int>{41, 39}));
  EXPECT_FALSE(s.Next());
}

}  // namespace
}  // namespace kivo::testing
