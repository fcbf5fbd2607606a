// Which colours a log entry is drawn in, and what the canvas has to change.
#include "asdu/colours.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

constexpr std::uint8_t kGood = 40;
constexpr std::uint8_t kBadFrame = 12;

TEST(ColourTableTest, SystemRolesFollowTheDesktopAndBadIndexesFallBack) {
  SystemColours system;
  system.windowBackground = 0x111111;
  system.windowText = 0x222222;
  system.inactiveCaption = 0xABCDEF;
  EXPECT_EQ(BackgroundColourOf(ColourPair(2, 15), system), 0x111111u);
  EXPECT_EQ(TextColourOf(ColourPair(16, 0), system), 0x222222u);
  EXPECT_EQ(TextColourOf(ColourPair(19, 0), system), 0xABCDEFu);
  EXPECT_EQ(TextColourOf(ColourPair(2, 12), system), 0xFF0000u);
  EXPECT_EQ(BackgroundColourOf(ColourPair(2, 12), system), 0xD3D3FFu);
  // A damaged settings file may hold any octet.
  EXPECT_EQ(TextColourOf(ColourPair(20, 200), system), 0x222222u);
  EXPECT_EQ(BackgroundColourOf(ColourPair(20, 200), system), 0x111111u);
}

TEST(EntryPairTest, ValidEntriesTakeTheirChannelPair) {
  TTelFont font;
  EXPECT_EQ(EntryPair(font, 1, kGood, false), ColourPair(2, 15));
  EXPECT_EQ(EntryPair(font, 2, kGood, false), ColourPair(1, 15));
  EXPECT_EQ(EntryPair(font, 3, kGood, false), ColourPair(4, 15));
  EXPECT_EQ(EntryPair(font, 4, kGood, false), ColourPair(7, 15));
  EXPECT_EQ(EntryPair(font, 3, 50, true), ColourPair(4, 15));
}

TEST(EntryPairTest, FaultyFramesEarlyEventsAndUnknownChannelsTakeTheFaultyPair) {
  TTelFont font;
  const std::uint16_t faulty = ColourPair(3, 15);
  EXPECT_EQ(EntryPair(font, 1, 39, false), faulty);
  EXPECT_EQ(EntryPair(font, 1, 49, true), faulty);
  EXPECT_EQ(EntryPair(font, 1, 19, false), faulty);
  EXPECT_EQ(EntryPair(font, 0, kGood, false), faulty);
  EXPECT_EQ(EntryPair(font, 5, kGood, false), faulty);
}

class OverrideTest : public ::testing::Test {
 protected:
  std::uint16_t Data(std::uint16_t pair, std::uint8_t status, std::uint16_t objectColour = 0) {
    return ApplicationDataPair(pair, EntryValid(status, false), objectColour, types, causes, 1, 20);
  }
  TValueColours types;
  TValueColours causes;
  const std::uint16_t channel = ColourPair(2, 15);
};

TEST_F(OverrideTest, TypePairWithTextZeroKeepsTheChannelText) {
  types.pairs[1] = ColourPair(0, 12);
  EXPECT_EQ(Data(channel, kGood), ColourPair(2, 12));
}

TEST_F(OverrideTest, ZeroTypePairLetsTheCausePairApply) {
  causes.pairs[20] = ColourPair(5, 0);
  EXPECT_EQ(Data(channel, kGood), ColourPair(5, 15));
}

TEST_F(OverrideTest, NonZeroTypePairHidesTheCausePairCompletely) {
  types.pairs[1] = ColourPair(0, 12);
  causes.pairs[20] = ColourPair(5, 9);
  EXPECT_EQ(Data(channel, kGood), ColourPair(2, 12));
}

TEST_F(OverrideTest, ObjectColourComesFirst) {
  types.pairs[1] = ColourPair(6, 12);
  causes.pairs[20] = ColourPair(5, 9);
  EXPECT_EQ(Data(channel, kGood, ColourPair(8, 0)), ColourPair(8, 15));
  EXPECT_EQ(Data(channel, kGood, 0), ColourPair(6, 12));
}

TEST_F(OverrideTest, FaultyEntriesNeverTakeTypeOrCauseColours) {
  types.pairs[1] = ColourPair(6, 12);
  causes.pairs[20] = ColourPair(5, 9);
  const std::uint16_t faulty = ColourPair(3, 15);
  EXPECT_EQ(Data(faulty, kBadFrame), faulty);
  EXPECT_EQ(Data(faulty, kBadFrame, ColourPair(8, 8)), faulty);
}

TEST(CanvasPairTest, OnlyTheChangedPartIsSet) {
  CanvasPair canvas;
  auto first = canvas.Set(ColourPair(2, 15));
  EXPECT_TRUE(first.text);
  EXPECT_TRUE(first.background);
  auto same = canvas.Set(ColourPair(2, 15));
  EXPECT_FALSE(same.text);
  EXPECT_FALSE(same.background);
  auto background = canvas.Set(ColourPair(2, 12));
  EXPECT_FALSE(background.text);
  EXPECT_TRUE(background.background);
  auto text = canvas.Set(ColourPair(3, 12));
  EXPECT_TRUE(text.text);
  EXPECT_FALSE(text.background);
  EXPECT_EQ(canvas.current(), ColourPair(3, 12));
  canvas.Reset();
  auto again = canvas.Set(ColourPair(3, 12));
  EXPECT_TRUE(again.text && again.background);
}

}  // namespace
}  // namespace kivo
