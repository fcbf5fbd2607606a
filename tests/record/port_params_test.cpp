#include "record/port_params.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(AddressList, DigitRunsSeparatedByAnythingUpTo31NumbersBelow255) {
  std::string forty;
  for (int i = 1; i <= 40; ++i) forty += std::to_string(i) + " ";
  const struct {
    std::string field;
    std::vector<std::uint8_t> addresses;  // empty: the field is invalid
  } cases[] = {
      {"1, 2;3", {1, 2, 3}}, {"  007x8--254 ", {7, 8, 254}},
      {"", {255}},  // an empty field is one address 255
      {",;x", {255}},        {"1 2 300", {}},
      {"255", {}},           {"99999999999999999999", {}},
  };
  for (const auto& c : cases) {
    const auto list = ParseAddressList(c.field);
    ASSERT_EQ(list.has_value(), !c.addresses.empty()) << c.field;
    if (!list) continue;
    EXPECT_EQ(
        std::vector<std::uint8_t>(list->addresses.begin(), list->addresses.begin() + list->count),
        c.addresses)
        << c.field;
    EXPECT_EQ(list->addresses[list->count], 255) << c.field;
  }
  const auto longest = ParseAddressList(forty);
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->count, 31u);
  EXPECT_EQ(longest->addresses[30], 31);
  EXPECT_EQ(longest->addresses[31], 255);
}

TEST(AddressList, DamagedCountsNeverReadPastTheList) {
  PortParams p;
  p.addressCount = 0;
  EXPECT_EQ(p.EffectiveAddressCount(), 1);
  EXPECT_EQ(p.Address(0), 255);
  p.addressCount = 200;
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

}  // namespace
}  // namespace kivo
