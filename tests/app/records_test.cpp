// Golden bytes of the fixed-layout records against their documented offsets.
// Encoding and decoding walk one field list, so the golden bytes (written over
// a buffer of 0xEE) catch a field that is missing or misplaced in either.
#include <gtest/gtest.h>

#include <sstream>

#include "app/settings.h"
#include "log/log_file.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

using testing::EncodeRecord;

// A record's bytes from its offset table, zero elsewhere: "offset:value" fills
// four octets, "offset:value/width" that many, "offset=number" a double.
std::vector<std::uint8_t> Golden(std::size_t size, const std::string& fields) {
  std::vector<std::uint8_t> bytes(size, 0);
  std::istringstream in(fields);
  for (std::string f; in >> f;) {
    const std::size_t at = std::stoul(f), value = f.find_first_of(":=") + 1, slash = f.find('/');
    if (f[value - 1] == '=') {
      testing::PutDouble(bytes, at, std::stod(f.substr(value)));
    } else {
      testing::PutLe(bytes, at, std::stoull(f.substr(value), nullptr, 0),
                     slash == std::string::npos ? 4 : std::stoi(f.substr(slash + 1)));
    }
  }
  return bytes;
}

// The colour pairs of the telegram font as it starts.
const std::string kTelFontPairs = "0x0F02/2 0x0F01/2 0x0F04/2 0x0F07/2 0x0F10/2 0x0F03/2";
std::string Pairs(std::size_t at) {
  std::istringstream in(kTelFontPairs);
  std::string fields;
  for (std::string pair; in >> pair; at += 2) fields += " " + std::to_string(at) + ":" + pair;
  return fields;
}

TEST(RecordGoldenBytes, ParametersAndFilters) {
  PortParams port;
  port.portNumber = 5;
  port.rtsLead = 7;
  port.reopen = 1;
  EXPECT_EQ(EncodeRecord(port), Golden(144,
                                       "0:144 12:5 16:9600 20:8 24:1/1 25:255/1 56:1 60:94 "
                                       "64:2 68:400 72:1 80:34 84:7 100:1 120:2 124:2/1 "
                                       "125:8/1 126:1/1 128:600 142:1/1"));
  GeneralParams general;
  general.focusIndex = 0x11;
  general.separateCommonAddress = 1;
  general.autoOrderDisturbance = 7;
  general.summerTime = 1;
  general.displayFilter.restricting = 0xD0;
  general.logFilter.reserved225[14] = 0x1F;
  EXPECT_EQ(EncodeRecord(general), Golden(580,
                                          "0:580 4:0x11 8:1 76:8 80:7 88:10 92:3413 "
                                          "96:0xD0/2 575:0x1F/1 576:1/1"));
  TLogFilter f;
  f.restricting = 1;
  f.recordSize = 240;
  f.lastControl = 0x0A0B0C0D;
  f.channels = 5;
  f.timeFrom = 1.5;
  f.timeTo = -2.25;
  f.criterionCount = 9;
  f.criteria[0] = {5, 1, 100, 2, -7};
  f.criteria[8] = {13, 2, 0x12345678, 1, 255};
  f.enabled = 1;
  f.timeFromActive = 2;
  f.timeToActive = 3;
  f.showValid = 4;
  f.showFaulty = 5;
  f.reserved225[14] = 0x99;
  const std::vector<std::uint8_t> filter =
      Golden(240,
             "0:1/2 2:240/2 4:0x0A0B0C0D 8:5 12=1.5 20=-2.25 32:9 36:5 40:1 44:100 48:2 "
             "52:0xFFFFFFF9 196:13 200:2 204:0x12345678 208:1 212:255 220:1/1 221:2/1 "
             "222:3/1 223:4/1 224:5/1 239:0x99/1");
  EXPECT_EQ(EncodeRecord(f), filter);
  EXPECT_EQ(TLogFilter::Decode(filter), f);
}

TEST(RecordGoldenBytes, SettingsAndColours) {
  TTelFont font;
  font.lastControl = 3;
  EXPECT_EQ(EncodeRecord(font), Golden(36, "0:9 4:1 8:3 12:50" + Pairs(16)));
  TValueColours colours;
  colours.lastControl = 1;
  colours.selectedValue = 2;
  colours.pairs[255] = 0x0F0F;
  EXPECT_EQ(EncodeRecord(colours), Golden(536, "0:1 4:2 518:0x0F0F/2 520:536"));

  Settings s;
  s.displayFormat = 6;
  s.language = 1;
  s.placement = {10, 20, 300, 400, 3};
  s.online = 1;
  s.onlineDisplay = 0;
  s.sendTelegramFile.Set("ab");
  s.recentFiles[7].Set("c");
  s.infoTextFile.Set("i");
  s.editorFile.Set("e");
  s.typeColours.pairs[1] = 0x0102;
  EXPECT_EQ(EncodeRecord(s),
            Golden(4360,
                   "0:0x4B000103 4:4360 8:16 16:6 24:1 38:1/1 60:10 64:20 68:300 72:400 "
                   "76:3 80:9 84:1 92:50" +
                       Pairs(96) +
                       " 204:1/1 206:1/1 207:1/1 464:2/1 465:0x61/1 466:0x62/1 2512:1/1 "
                       "2513:0x63/1 2768:1/1 2769:0x69/1 3024:1/1 3025:0x65/1 3290:0x0102/2 "
                       "3800:536 4336:536"));
}

TEST(RecordGoldenBytes, LogFileRecords) {
  TLogFileHeader header;
  header.usedBytes = 2128 + 3 * 32768;
  header.headerSize = 2000;
  header.generalSettings.logSize = 7;
  header.port1Settings.baud = 19200;
  header.port2Settings.portNumber = 5;
  std::vector<std::uint8_t> expected = Golden(2000, "0:0x4B000103 4:100432 8:2000");
  const auto place = [&](std::ptrdiff_t at, const auto& record) {
    const std::vector<std::uint8_t> block = EncodeRecord(record);
    std::copy(block.begin(), block.end(), expected.begin() + at);
  };
  place(16, header.generalSettings);
  place(1016, header.port1Settings);
  place(1160, header.port2Settings);
  EXPECT_EQ(EncodeRecord(header), expected);

  const TLogIndex index{.pageCount = 313,
                        .oldestPage = 4,
                        .currentPage = 3,
                        .usedPages = 312,
                        .firstSeqNo = 0x01020304,
                        .lastSeqNo = 0x0A0B0C0D,
                        .firstTime = 46000.25,
                        .lastTime = 46001.5,
                        .overruns = 9};
  EXPECT_EQ(EncodeRecord(index), Golden(128,
                                        "0:128 4:313 8:4 12:3 16:312 20:0x01020304 "
                                        "24:0x0A0B0C0D 28=46000.25 36=46001.5 48:9"));
  const TLogPageHeader page{.lastOffset = 0x1234,
                            .firstSeqNo = 11,
                            .lastSeqNo = 20,
                            .firstTime = 1.25,
                            .lastTime = 2.5,
                            .entryCount = 10};
  EXPECT_EQ(EncodeRecord(page), Golden(64, "4:0x1234 8:11 12:20 16=1.25 24=2.5 32:10"));
}

TEST(LengthPrefixedStrings, AreCutAtTheirFieldAndReadSafely) {
  PStringField<256> field;
  field.Set(std::string(300, 'z'));
  EXPECT_EQ(field.raw[0], 255);
  EXPECT_EQ(field.Get().size(), 255u);
  PStringField<8> small;
  small.raw[0] = 200;  // a stored length beyond the field
  EXPECT_EQ(small.Get().size(), 7u);
}

}  // namespace
}  // namespace kivo
