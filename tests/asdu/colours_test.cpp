// Which colours a log entry is drawn in, and what the canvas has to change.
#include "asdu/colours.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

constexpr std::uint8_t kGood = 40;
constexpr std::uint16_t kChannel = ColourPair(2, 15);
constexpr std::uint16_t kFaulty = ColourPair(3, 15);

TEST(Colours, TextLowBackgroundHighSystemRolesFromTheDesktopAndBadIndexesFallBack) {
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

// Pairs 1 to 4 by channel, pair 6 for faulty frames, early events and entries
// of no channel.
TEST(Colours, EntriesTakeTheirChannelPairUnlessFaultyEarlyOrOfNoChannel) {
  TTelFont font;
  for (std::uint16_t i = 0; i < font.pairs.size(); ++i) font.pairs[i] = i + 1;
  const struct {
    int channel;
    std::uint8_t status;
    bool event;
    std::uint16_t pair;
  } cases[] = {{1, kGood, false, 1}, {2, kGood, false, 2}, {3, kGood, false, 3},
               {4, kGood, false, 4}, {3, 50, true, 3},     {1, 39, false, 6},
               {1, 49, true, 6},     {1, 19, false, 6},    {0, kGood, false, 6},
               {5, kGood, false, 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(EntryPair(font, c.channel, c.status, c.event), c.pair) << c.channel << c.event;
  }
}

// Object colour first, then a non-zero type pair (which hides the cause pair
// completely), then the cause pair; a zero part keeps the channel's part.
TEST(Colours, ObjectThenTypeThenCauseColourValidEntriesOnly) {
  const struct {
    std::uint16_t typePair, causePair, objectPair;
    std::uint8_t status;
    std::uint16_t start, result;
  } cases[] = {
      {ColourPair(0, 12), 0, 0, kGood, kChannel, ColourPair(2, 12)},
      {0, ColourPair(5, 0), 0, kGood, kChannel, ColourPair(5, 15)},
      {ColourPair(0, 12), ColourPair(5, 9), 0, kGood, kChannel, ColourPair(2, 12)},
      {ColourPair(6, 12), ColourPair(5, 9), ColourPair(8, 0), kGood, kChannel, ColourPair(8, 15)},
      {ColourPair(6, 12), ColourPair(5, 9), 0, kGood, kChannel, ColourPair(6, 12)},
      {ColourPair(6, 12), ColourPair(5, 9), 0, 12, kFaulty, kFaulty},
      {ColourPair(6, 12), ColourPair(5, 9), ColourPair(8, 8), 12, kFaulty, kFaulty}};
  for (const auto& c : cases) {
    TValueColours types;
    TValueColours causes;
    types.pairs[1] = c.typePair;
    causes.pairs[20] = c.causePair;
    EXPECT_EQ(ApplicationDataPair(c.start, EntryValid(c.status, false), c.objectPair, types, causes,
                                  1, 20),
              c.result)
        << c.typePair << " " << c.causePair << " " << c.objectPair;
  }
}

TEST(Colours, CanvasSetsOnlyTheChangedPart) {
  CanvasPair canvas;
  const struct {
    std::uint16_t pair;
    bool text, background;
  } steps[] = {{ColourPair(2, 15), true, true},
               {ColourPair(2, 15), false, false},
               {ColourPair(2, 12), false, true},
               {ColourPair(3, 12), true, false}};
  for (const auto& s : steps) {
    const auto changed = canvas.Set(s.pair);
    EXPECT_EQ(std::pair(changed.text, changed.background), std::pair(s.text, s.background));
  }
  EXPECT_EQ(canvas.current(), ColourPair(3, 12));
  canvas.Reset();
  const auto again = canvas.Set(ColourPair(3, 12));
  EXPECT_TRUE(again.text && again.background);
}

}  // namespace
}  // namespace kivo
