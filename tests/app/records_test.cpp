// Golden bytes of the fixed-layout records against their documented offsets,
// and round trips that keep every octet a file held.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "app/settings.h"
#include "record/colour_records.h"
#include "record/general_params.h"
#include "record/port_params.h"
#include "util/bytes.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

using testing::EncodeRecord;
using testing::ExpectRoundTripOfRandomBytes;
using testing::PutLe;

TEST(RecordGoldenBytes, PortParamsDefaults) {
  std::vector<std::uint8_t> expected(144, 0);
  PutLe(expected, 0, 144);
  PutLe(expected, 16, 9600);
  PutLe(expected, 20, 8);
  expected[24] = 1;
  expected[25] = 255;
  PutLe(expected, 56, 1);
  PutLe(expected, 60, 94);
  PutLe(expected, 64, 2);
  PutLe(expected, 68, 400);
  PutLe(expected, 72, 1);
  PutLe(expected, 80, 34);
  PutLe(expected, 100, 1);
  PutLe(expected, 120, 2);
  expected[124] = 2;
  expected[125] = 8;
  expected[126] = 1;
  PutLe(expected, 128, 600);
  EXPECT_EQ(EncodeRecord(PortParams{}), expected);
}

TEST(RecordGoldenBytes, GeneralParamsDefaults) {
  std::vector<std::uint8_t> expected(580, 0);
  PutLe(expected, 0, 580);
  PutLe(expected, 76, 8);
  PutLe(expected, 88, 10);
  PutLe(expected, 92, 3413);
  EXPECT_EQ(EncodeRecord(GeneralParams{}), expected);
}

TEST(RecordGoldenBytes, GeneralParamsFieldsAtTheirOffsets) {
  GeneralParams g;
  g.focusIndex = 0x11;
  g.separateCommonAddress = 1;
  g.autoOrderDisturbance = 7;
  g.summerTime = 1;
  g.displayFilter.restricting = 0xD0;
  g.logFilter.reserved225[14] = 0x1F;
  std::vector<std::uint8_t> bytes = EncodeRecord(g);
  EXPECT_EQ(bytes[4], 0x11);
  EXPECT_EQ(bytes[8], 1);
  EXPECT_EQ(bytes[80], 7);
  EXPECT_EQ(bytes[96], 0xD0);
  EXPECT_EQ(bytes[336 + 239], 0x1F);
  EXPECT_EQ(bytes[576], 1);
}

TEST(RecordGoldenBytes, TelFontDefaults) {
  std::vector<std::uint8_t> expected(36, 0);
  PutLe(expected, 0, 9);
  PutLe(expected, 4, 1);
  PutLe(expected, 12, 50);
  const std::uint16_t pairs[] = {0x0F02, 0x0F01, 0x0F04, 0x0F07, 0x0F10, 0x0F03};
  for (int i = 0; i < 6; ++i) PutLe(expected, 16 + 2 * static_cast<std::size_t>(i), pairs[i], 2);
  EXPECT_EQ(EncodeRecord(TTelFont{}), expected);
}

TEST(RecordGoldenBytes, ValueColoursDefaults) {
  std::vector<std::uint8_t> expected(536, 0);
  PutLe(expected, 520, 536);
  EXPECT_EQ(EncodeRecord(TValueColours{}), expected);
}

TEST(RecordGoldenBytes, SettingsDefaults) {
  std::vector<std::uint8_t> expected(4360, 0);
  PutLe(expected, 0, 0x4B000103);
  EXPECT_EQ(expected[0], 0x03);
  EXPECT_EQ(expected[3], 0x4B);
  PutLe(expected, 4, 4360);
  PutLe(expected, 8, 16);
  PutLe(expected, 16, 3);
  expected[38] = 1;
  // Telegram font block at 80.
  PutLe(expected, 80, 9);
  PutLe(expected, 84, 1);
  PutLe(expected, 92, 50);
  const std::uint16_t pairs[] = {0x0F02, 0x0F01, 0x0F04, 0x0F07, 0x0F10, 0x0F03};
  for (int i = 0; i < 6; ++i) PutLe(expected, 96 + 2 * static_cast<std::size_t>(i), pairs[i], 2);
  expected[205] = 1;
  expected[206] = 1;
  expected[207] = 1;
  PutLe(expected, 3280 + 520, 536);
  PutLe(expected, 3816 + 520, 536);
  EXPECT_EQ(EncodeRecord(Settings{}), expected);
}

TEST(RecordGoldenBytes, SettingsStringsAndPlacementAtTheirOffsets) {
  Settings s;
  s.sendTelegramFile.Set("/data/KivoSend.kvs");
  s.recentFiles[7].Set("last");
  s.infoTextFile.Set("i");
  s.editorFile.Set("e");
  s.placement = {10, 20, 300, 400, 3};
  s.language = 1;
  s.online = 1;
  std::vector<std::uint8_t> bytes = EncodeRecord(s);
  EXPECT_EQ(bytes[464], 18);
  EXPECT_EQ(bytes[465], '/');
  EXPECT_EQ(bytes[720 + 7 * 256], 4);
  EXPECT_EQ(bytes[720 + 7 * 256 + 1], 'l');
  EXPECT_EQ(bytes[2768 + 1], 'i');
  EXPECT_EQ(bytes[3024 + 1], 'e');
  EXPECT_EQ(bytes[60], 10);
  EXPECT_EQ(bytes[64], 20);
  EXPECT_EQ(GetU32(ConstBytes(bytes), 68), 300u);
  EXPECT_EQ(GetU32(ConstBytes(bytes), 72), 400u);
  EXPECT_EQ(bytes[76], 3);
  EXPECT_EQ(bytes[24], 1);
  EXPECT_EQ(bytes[204], 1);
}

TEST(RecordRoundTrip, RandomBytesSurviveDecodeAndEncode) {
  ExpectRoundTripOfRandomBytes<PortParams>();
  ExpectRoundTripOfRandomBytes<GeneralParams>();
  ExpectRoundTripOfRandomBytes<TTelFont>();
  ExpectRoundTripOfRandomBytes<TValueColours>();
  ExpectRoundTripOfRandomBytes<Settings>();
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
