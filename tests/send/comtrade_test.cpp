// A disturbance a primary recorded from a replaying secondary, converted to
// COMTRADE: the configuration line by line, the values as the device sent
// them, and recordings that are damaged or incomplete.
#include "send/comtrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "link/frame_codec.h"
#include "send/disturbance.h"
#include "send/disturbance_fixture.h"
#include "send/send_fixture.h"

namespace kivo::testing {
namespace {

using Outcome = ComtradeRecord::Outcome;

std::string FloatHex(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return Format("%02X %02X %02X %02X", bits & 0xFF, bits >> 8 & 0xFF, bits >> 16 & 0xFF,
                bits >> 24 & 0xFF);
}
// Values of one type 30 record of channel `acc` from position `first`.
std::string Values(int acc, int first, std::initializer_list<int> values) {
  std::string hex = Format("1E 81 1F 05 80 00 00 01 0C 00 %02X %02X %02X %02X", acc,
                           static_cast<int>(values.size()), first & 0xFF, first >> 8);
  for (int v : values) hex += Format(" %02X %02X", v & 0xFF, (v >> 8) & 0xFF);
  return hex;
}
std::string Channel(int acc, float rpv, float rsv, float rfa) {
  return Format("1B 81 1F 05 80 00 00 01 0C 00 %02X ", acc) + FloatHex(rpv) + " " + FloatHex(rsv) +
         " " + FloatHex(rfa);
}

// The device's recording: three channels of six values 1 ms apart, the first
// at 14:45:10.000, the fault at 14:45:10.250 on 6 December 2026; two tags
// that change at the fourth value.
RecordedFile Source() {
  RecordedFile file(0);
  file.bytes.resize(DisturbanceHeader::kSize);
  file.Add("1A 81 1F 05 80 00 00 01 0C 00 01 00 03 06 00 E8 03 10 27 2D 0E");
  file.Add(kReadyForTags);
  file.Add("1D 81 1F 05 80 00 0C 00 02 00 00 80 40 01 80 41 02");
  file.Add("1D 81 1F 05 80 00 0C 00 02 03 00 80 40 02 80 41 01");
  file.Add(Order(31, 38));
  const auto channel = [&](int index, const std::string& ready, const std::string& first,
                           const std::string& rest) {
    file.header.channelStart[index] = static_cast<std::uint32_t>(file.bytes.size());
    for (const std::string& asdu : {ready, first, rest, Order(31, 35, 1)}) file.Add(asdu);
  };
  channel(0, Channel(1, 1000, 1, 0.5f), Values(1, 0, {100, -200, 300, -400}),
          Values(1, 4, {32767, -32768}));
  channel(1, Channel(5, 20000, 100, 0.25f), Values(5, 0, {1, 2, 3, 4}), Values(5, 4, {5, 6}));
  channel(2, Channel(70, 2, 4, 3), Values(70, 0, {-1, 0, 1, 0}), Values(70, 4, {-1, 0}));
  file.Add(Order(31, 32));
  file.header.fileEnd = static_cast<std::uint32_t>(file.bytes.size());
  file.header.listEntry = {12, 0, 0x01, 0x0A, 0x28, 0x2D, 0x0E, 6, 12, 26};
  file.Seal();
  return file;
}

// One program with port 1 serving address 5 as primary or secondary.
struct Station : SendWorld {
  PortRecord& port = ports[0];
  explicit Station(PortFunction function) {
    general.separateCommonAddress = 1;
    general.autoOrderDisturbance = 1;
    Serve(function, {kDevice});
  }
  void Receive(ConstBytes frame) {
    TLogEntry entry;
    entry.SetFrame(frame);
    entry.status = 40;
    ClassifyFrame(entry);
    OnDisturbanceAsdu(send, port, entry);
  }
};

// The secondary replays Source() as the primary orders it (after the
// primary's request for the list); the primary's recording, closed.
std::string RecordTransfer(const ScratchDir& out) {
  Station secondary(PortFunction::Secondary), primary(PortFunction::Primary);
  primary.dataDirectory = out.path();
  WriteFile(secondary.dataDirectory + DisturbanceFileName(12), Source().Text());
  BuildDisturbanceList(secondary.send, secondary.port);
  secondary.Receive(Hex(RepairChecksum("68 0D 0D 68 73 05 " + Order(24, 24) + " 00 16")));
  OutgoingFrame frame;
  for (bool moved = true; moved;) {
    moved = false;
    if (NextDisturbanceTelegram(secondary.send, secondary.port, frame)) {
      primary.Receive(frame.View());
      moved = true;
    }
    if (NextDisturbanceTelegram(primary.send, primary.port, frame)) {
      secondary.Receive(frame.View());
      moved = true;
    }
  }
  for (int step = 0; step < 3; ++step) DisturbanceStep(primary.send, primary.port);
  EXPECT_EQ(primary.send.Transfer(primary.port).run.role, DisturbanceRun::Role::None);
  return out.path() + DisturbanceFileName(12);
}

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    std::vector<std::string> fields;
    std::stringstream line(text.substr(at, end - at));
    for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
    rows.push_back(fields);
  }
  EXPECT_EQ(at, text.size()) << "every line ends with CR LF";
  return rows;
}

// The header changed as `change` says.
std::string WithHeader(std::string bytes, const std::function<void(DisturbanceHeader&)>& change) {
  Octets block(bytes.begin(), bytes.begin() + DisturbanceHeader::kSize);
  DisturbanceHeader header = DisturbanceHeader::Decode(block);
  change(header);
  header.Encode(block);
  std::copy(block.begin(), block.end(), bytes.begin());
  return bytes;
}

// The position of the `nth` record (from 1) of this type.
std::size_t RecordAt(const std::string& bytes, int type, int nth) {
  std::size_t at = DisturbanceHeader::kSize;
  for (; at + 1 < bytes.size(); at += 1 + static_cast<std::uint8_t>(bytes[at])) {
    if (static_cast<std::uint8_t>(bytes[at + 1]) == type && --nth == 0) break;
  }
  return at;
}

std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ComtradeTest, RecordedTransferConvertsToTheValuesTheDeviceSent) {
  ScratchDir recorded, out;
  const std::string file = RecordTransfer(recorded);
  const ComtradeFiles written = WriteComtrade(file, out.path(), {});
  ASSERT_EQ(written.status, ComtradeFiles::Status::Written) << written.message;
  EXPECT_EQ(Entries(out.path()), (std::vector<std::string>{"10300012.cfg", "10300012.dat"}));
  const std::string cfg = ReadFile(out.path() + "10300012.cfg");
  EXPECT_EQ(cfg,
            "Link address 5,Common address 5 FAN 12,1999\r\n"
            "5,3A,2D\r\n"
            "1,IL1,L1,,A,500,0,0,-32768,32767,1000,1,P\r\n"
            "2,UL1E,L1,,V,50,0,0,-32768,32767,20000,100,P\r\n"
            "3,ACC 70,,,,1.5,0,0,-32768,32767,2,4,P\r\n"
            "4,FUN 128 INF 64,,,0\r\n"
            "5,FUN 128 INF 65,,,0\r\n"
            "50\r\n1\r\n1000,6\r\n"
            "06/12/2026,14:45:10.000000\r\n"
            "06/12/2026,14:45:10.250000\r\n"
            "ASCII\r\n1\r\n");
  const std::string dat = ReadFile(out.path() + "10300012.dat");
  EXPECT_EQ(dat,
            "1,0,100,1,-1,0,1\r\n"
            "2,1000,-200,2,0,0,1\r\n"
            "3,2000,300,3,1,0,1\r\n"
            "4,3000,-400,4,0,1,0\r\n"
            "5,4000,32767,5,-1,1,0\r\n"
            "6,5000,-32768,6,0,1,0\r\n");
  // Primary quantities as a reader computes them (value × a): RFA × RPV / RSV.
  const auto config = Rows(cfg), data = Rows(dat);
  const auto primary = [&](int sample, int channel) {
    return std::stod(data[sample - 1][channel + 1]) * std::stod(config[channel + 1][5]);
  };
  EXPECT_DOUBLE_EQ(primary(2, 1), -200 * 0.5 * 1000 / 1);
  EXPECT_DOUBLE_EQ(primary(6, 1), -32768 * 0.5 * 1000 / 1);
  EXPECT_DOUBLE_EQ(primary(5, 2), 5 * 0.25 * 20000 / 100);
  EXPECT_DOUBLE_EQ(primary(1, 3), -1 * 3.0 * 2 / 4);

  // The 2013 binary form: sample number, time stamp, values, one word of
  // digital bits; -32768 is its missing value.
  ComtradeOptions binary;
  binary.binary = true;
  const std::string bytes = ReadFile(file);
  const ComtradeRecord record = ConvertDisturbance(Octets(bytes.begin(), bytes.end()), binary);
  ASSERT_EQ(record.outcome, Outcome::Whole);
  EXPECT_EQ(record.cfg.substr(0, record.cfg.find("\r\n")),
            "Link address 5,Common address 5 FAN 12,2013");
  EXPECT_NE(record.cfg.find("1,IL1,L1,,A,500,0,0,-32767,32767,"), std::string::npos);
  EXPECT_EQ(record.cfg.substr(record.cfg.find("BINARY")), "BINARY\r\n1\r\n0,0\r\n0,0\r\n");
  ASSERT_EQ(record.dat.size(), 6u * 16);
  EXPECT_EQ(ToHex(Octets(record.dat.end() - 32, record.dat.end())),
            "05 00 00 00 A0 0F 00 00 FF 7F 05 00 FF FF 01 00 "
            "06 00 00 00 88 13 00 00 01 80 06 00 00 00 01 00");
}

TEST(ComtradeTest, DamagedOrIncompleteRecordingsWriteNothing) {
  ScratchDir recorded, out;
  const std::string good = ReadFile(RecordTransfer(recorded));
  const auto header = [&](const std::function<void(DisturbanceHeader&)>& change) {
    return WithHeader(good, change);
  };
  // The recording without its end of data, as an interrupted transfer leaves it.
  const std::string noEnd = header([&](auto& h) { h.fileEnd -= 12; }).substr(0, good.size() - 12);
  std::string moreChannels = good;
  moreChannels[RecordAt(good, 26, 1) + 1 + 12] = 4;  // NOC
  std::string moreValues = good;
  ++moreValues[RecordAt(good, 30, 3) + 1 + 11];  // NDV
  const struct {
    const char* name;
    std::string bytes;
    Outcome outcome;
    const char* problem;
  } cases[] = {
      {"foreign", std::string(300, 'x'), Outcome::Damaged, "no disturbance file"},
      {"header not yet written", std::string(128, '\0') + good.substr(128), Outcome::Incomplete,
       "header is not written yet"},
      {"truncated", good.substr(0, 200), Outcome::Incomplete, "cut off: the header gives 4"},
      {"header length", header([](auto& h) { h.headerLength = 127; }), Outcome::Damaged,
       "gives its length as 127"},
      {"end inside a record", header([](auto& h) { h.fileEnd -= 3; }), Outcome::Damaged,
       "runs past the end the header gives"},
      {"first record", header([](auto& h) { h.firstRecord += 22; }), Outcome::Damaged,
       "first record is no ready for disturbance data"},
      {"value count", moreValues, Outcome::Damaged, "which its counts do not allow"},
      {"channel count", moreChannels, Outcome::Incomplete, "3 of 4 announced channels"},
      {"missing end", noEnd, Outcome::Incomplete, "did not reach its end of data"},
  };
  for (const auto& c : cases) {
    const std::string path = recorded.path() + "case.DSD";
    WriteFile(path, c.bytes);
    const ComtradeFiles result = WriteComtrade(path, out.path(), {});
    EXPECT_EQ(result.status, ComtradeFiles::Status::Unreadable) << c.name;
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_NE(result.message.find(c.problem), std::string::npos)
        << c.name << ": " << result.message;
  }
  EXPECT_TRUE(Entries(out.path()).empty());
}

TEST(ComtradeTest, PartialKeepsTheChannelsThatAreComplete) {
  ScratchDir recorded, out;
  const std::string good = ReadFile(RecordTransfer(recorded));
  // Cut after the first values of the second channel (UL1E), the header
  // written as an inactivity end writes it.
  const std::size_t at = RecordAt(good, 30, 3);
  const std::size_t end = at + 1 + static_cast<std::uint8_t>(good[at]);
  const std::string cut = WithHeader(good.substr(0, end), [&](DisturbanceHeader& h) {
    h.fileEnd = static_cast<std::uint32_t>(end);
    h.channelStart[2] = 0;
  });
  const std::string path = recorded.path() + DisturbanceFileName(12);
  WriteFile(path, cut);

  EXPECT_EQ(WriteComtrade(path, out.path(), {}).status, ComtradeFiles::Status::Unreadable);
  ComtradeOptions partial;
  partial.partial = true;
  const ComtradeFiles result = WriteComtrade(path, out.path(), partial);
  ASSERT_EQ(result.status, ComtradeFiles::Status::Written) << result.message;
  EXPECT_EQ(result.outcome, Outcome::Partial);
  EXPECT_EQ(result.message,
            "the transfer did not reach its end of data; channel UL1E: it holds 4 of 6 values; "
            "2 of 3 announced channels recorded");
  const auto config = Rows(ReadFile(result.cfgPath));
  ASSERT_GE(config.size(), 5u);
  EXPECT_EQ(config[0], (std::vector<std::string>{"Link address 5",
                                                 "Common address 5 FAN 12 partial", "1999"}));
  EXPECT_EQ(config[1], (std::vector<std::string>{"3", "1A", "2D"}));
  EXPECT_EQ(config[2][1], "IL1");
  EXPECT_EQ(ReadFile(result.datPath).substr(0, 20), "1,0,100,0,1\r\n2,1000,");
}

}  // namespace
}  // namespace kivo::testing
