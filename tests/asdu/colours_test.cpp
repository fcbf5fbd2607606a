// Which colours a log entry is drawn in, and what the canvas has to change.
#include "asdu/colours.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

constexpr std::uint8_t kGood = 40;
constexpr std::uint16_t kFaulty = ColourPair(3, 15);

TEST(Colours, SystemRolesFollowTheDesktopAndBadIndexesFallBack) {
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

TEST(Colours, EntriesTakeTheirChannelPairUnlessFaultyEarlyOrOfNoChannel) {
  const struct {
    int channel;
    std::uint8_t status;
    bool event;
    std::uint16_t pair;
  } cases[] = {{1, kGood, false, ColourPair(2, 15)},
               {2, kGood, false, ColourPair(1, 15)},
               {3, kGood, false, ColourPair(4, 15)},
               {4, kGood, false, ColourPair(7, 15)},
               {3, 50, true, ColourPair(4, 15)},
               {1, 39, false, kFaulty},
               {1, 49, true, kFaulty},
               {1, 19, false, kFaulty},
               {0, kGood, false, kFaulty},
               {5, kGood, false, kFaulty}};
  const TTelFont font;
  for (const auto& c : cases) {
    EXPECT_EQ(EntryPair(font, c.channel, c.status, c.event), c.pair)
        << c.channel << " " << int(c.status);
  }
}

// Object colour first, then a non-zero type pair (which hides the cause pair
// completely), then the cause pair; a zero part keeps the channel's part.
TEST(Colours, ObjectThenTypeThenCauseColourValidEntriesOnly) {
  constexpr std::uint16_t channel = ColourPair(2, 15);
  const struct {
    std::uint16_t typePair, causePair, objectPair;
    std::uint8_t status;
    std::uint16_t start, result;
  } cases[] = {
      {ColourPair(0, 12), 0, 0, kGood, channel, ColourPair(2, 12)},
      {0, ColourPair(5, 0), 0, kGood, channel, ColourPair(5, 15)},
      {ColourPair(0, 12), ColourPair(5, 9), 0, kGood, channel, ColourPair(2, 12)},
      {ColourPair(6, 12), ColourPair(5, 9), ColourPair(8, 0), kGood, channel, ColourPair(8, 15)},
      {ColourPair(6, 12), ColourPair(5, 9), 0, kGood, channel, ColourPair(6, 12)},
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
    EXPECT_EQ(changed.text, s.text) << s.pair;
    EXPECT_EQ(changed.background, s.background) << s.pair;
  }
  EXPECT_EQ(canvas.current(), ColourPair(3, 12));
  canvas.Reset();
  const auto again = canvas.Set(ColourPair(3, 12));
  EXPECT_TRUE(again.text && again.background);
}

}  // namespace
}  // namespace kivo
