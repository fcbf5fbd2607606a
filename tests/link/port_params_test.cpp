#include "record/port_params.h"

#include <gtest/gtest.h>

#include "app/port_texts.h"
#include "text/text_table.h"

namespace kivo {
namespace {

std::vector<std::uint8_t> Addresses(const AddressList& list) {
  return {list.addresses.begin(), list.addresses.begin() + list.count};
}

TEST(AddressList, DigitRunsSeparatedByAnything) {
  auto list = ParseAddressList("1, 2;3");
  ASSERT_TRUE(list);
  EXPECT_EQ(Addresses(*list), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(list->addresses[3], 255);
  EXPECT_EQ(Addresses(*ParseAddressList("  007x8--254 ")), (std::vector<std::uint8_t>{7, 8, 254}));
}

TEST(AddressList, NumberOf255OrMoreIsInvalid) {
  EXPECT_FALSE(ParseAddressList("1 2 300"));
  EXPECT_FALSE(ParseAddressList("255"));
  EXPECT_FALSE(ParseAddressList("99999999999999999999"));
  EXPECT_TRUE(ParseAddressList("254"));
}

TEST(AddressList, EmptyFieldGivesOneAddress255) {
  for (const char* empty : {"", "   ", ",;x"}) {
    auto list = ParseAddressList(empty);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 1u);
    EXPECT_EQ(list->addresses[0], 255);
  }
}

TEST(AddressList, AtMost31NumbersAreTaken) {
  std::string field;
  for (int i = 1; i <= 40; ++i) field += std::to_string(i) + " ";
  auto list = ParseAddressList(field);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count, 31u);
  EXPECT_EQ(list->addresses[30], 31);
  EXPECT_EQ(list->addresses[31], 255);
}

TEST(AddressList, ZeroCountActsAsOneAddress255) {
  PortParams p;
  p.addressCount = 0;
  EXPECT_EQ(p.EffectiveAddressCount(), 1);
  EXPECT_EQ(p.Address(0), 255);
  p.addressCount = 200;  // damaged block: never read past the list
  EXPECT_EQ(p.EffectiveAddressCount(), 31);
  EXPECT_EQ(p.Address(40), 255);
}

TEST(TimeOutProposal, FollowsBaudAndTelegramLength) {
  // (94 * 11 + 77) * 1000 / 9600 + 100 = 215.7
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::Primary), 216u);
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::Unassigned), 216u);
  // Gap monitor: 11000 / 9600 = 1.15, rounded 1, + 2.
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::GapMonitor), 3u);
  EXPECT_EQ(GetTimeOut(1200, 24, PortFunction::Secondary), 384u);  // 384.17
  EXPECT_EQ(GetTimeOut(300, 1, PortFunction::GapMonitor), 39u);    // 36.67 -> 37, + 2
  EXPECT_EQ(GetTimeOut(0, 94, PortFunction::Primary), 0u);
}

TEST(CharacterFormat, LinkPortsAreForcedTo8E1) {
  PortParams p;
  p.dataBits = 7;
  p.parity = 1;
  p.stopBits = 2;
  p.telegramLength = 10;
  ForceLinkCharacterFormat(p);
  EXPECT_EQ(p.dataBits, 8);
  EXPECT_EQ(p.parity, 2);
  EXPECT_EQ(p.stopBits, 1);
  EXPECT_EQ(p.telegramLength, 24u);
  p.telegramLength = 200;
  ForceLinkCharacterFormat(p);
  EXPECT_EQ(p.telegramLength, 200u);
}

TEST(BaudRates, ComeFromTheTextTable) {
  TextTable t;
  ASSERT_TRUE(t.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
  EXPECT_EQ(BaudRateOfIndex(t, PortParams::kDefaultBaudIndex), 9600u);
  EXPECT_EQ(BaudRateOfIndex(t, 100000), 0u);
}

}  // namespace
}  // namespace kivo
