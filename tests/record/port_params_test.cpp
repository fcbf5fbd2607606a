#include "record/port_params.h"

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

namespace kivo {
namespace {

TEST(AddressList, DigitRunsSeparatedByAnythingUpTo31NumbersBelow255) {
  std::string forty;
  for (int i = 1; i <= 40; ++i) forty += std::to_string(i) + " ";
  std::vector<std::uint8_t> first31(31);
  std::iota(first31.begin(), first31.end(), 1);
  const struct {
    std::string field;
    std::vector<std::uint8_t> addresses;  // empty: the field is invalid
  } cases[] = {{"1, 2;3", {1, 2, 3}}, {"  007x8--254 ", {7, 8, 254}},
               {"", {255}},  // an empty field is one address 255
               {",;x", {255}},        {"1 2 300", {}},
               {"255", {}},           {"99999999999999999999", {}},
               {forty, first31}};
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
  PortParams damaged;  // counts from a damaged file never read past the list
  damaged.addressCount = 0;
  EXPECT_EQ(damaged.EffectiveAddressCount(), 1);
  EXPECT_EQ(damaged.Address(0), 255);
  damaged.addressCount = 200;
  EXPECT_EQ(damaged.EffectiveAddressCount(), 31);
  EXPECT_EQ(damaged.Address(40), 255);
}

TEST(PortParams, TimeOutProposalFollowsBaudAndTelegramLengthAndLinkPortsAre8E1) {
  // (94 * 11 + 77) * 1000 / 9600 + 100 = 215.7
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::Primary), 216u);
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::Unassigned), 216u);
  // Gap monitor: 11000 / 9600 = 1.15, rounded 1, + 2.
  EXPECT_EQ(GetTimeOut(9600, 94, PortFunction::GapMonitor), 3u);
  EXPECT_EQ(GetTimeOut(1200, 24, PortFunction::Secondary), 384u);  // 384.17
  EXPECT_EQ(GetTimeOut(300, 1, PortFunction::GapMonitor), 39u);    // 36.67 -> 37, + 2
  EXPECT_EQ(GetTimeOut(0, 94, PortFunction::Primary), 0u);

  PortParams p;
  std::tie(p.dataBits, p.parity, p.stopBits, p.telegramLength) = std::tuple(7, 1, 2, 10);
  ForceLinkCharacterFormat(p);
  EXPECT_EQ(std::tuple(p.dataBits, p.parity, p.stopBits, p.telegramLength),
            std::tuple(8, 2, 1, 24u));
  p.telegramLength = 200;
  ForceLinkCharacterFormat(p);
  EXPECT_EQ(p.telegramLength, 200u);
}

}  // namespace
}  // namespace kivo
