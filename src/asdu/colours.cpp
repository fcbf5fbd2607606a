#include "asdu/colours.h"

namespace kivo {

namespace {
constexpr int kChannelCount = 4;
constexpr std::size_t kFaultyPairSlot = 5;
}  // namespace

std::uint32_t SystemColours::Of(SystemColour role) const {
  switch (role) {
    case SystemColour::WindowBackground:
      return windowBackground;
    case SystemColour::WindowText:
      return windowText;
    case SystemColour::Menu:
      return menu;
    case SystemColour::ActiveCaption:
      return activeCaption;
    case SystemColour::InactiveCaption:
      return inactiveCaption;
    case SystemColour::None:
      break;
  }
  return 0;
}

std::uint32_t ColourOf(int index, const SystemColours& system, std::uint32_t fallback) {
  if (index < 0 || index >= kColourCount) return fallback;
  const ColourTableEntry& entry = kColourTable[static_cast<std::size_t>(index)];
  return entry.role == SystemColour::None ? entry.value : system.Of(entry.role);
}

std::uint32_t TextColourOf(std::uint16_t pair, const SystemColours& system) {
  return ColourOf(TextIndex(pair), system, system.windowText);
}

std::uint32_t BackgroundColourOf(std::uint16_t pair, const SystemColours& system) {
  return ColourOf(BackgroundIndex(pair), system, system.windowBackground);
}

bool EntryValid(std::uint8_t status, bool isEvent) {
  return status >= kFirstValidStatus && (!isEvent || status >= kFirstGoodEventStatus);
}

std::uint16_t EntryPair(const TTelFont& font, int channel, std::uint8_t status, bool isEvent) {
  if (EntryValid(status, isEvent) && channel >= 1 && channel <= kChannelCount) {
    return font.pairs[static_cast<std::size_t>(channel - 1)];
  }
  return font.pairs[kFaultyPairSlot];
}

std::uint16_t OverridePair(std::uint16_t objectColour, std::uint16_t typePair,
                           std::uint16_t causePair) {
  if (objectColour != 0) return objectColour;
  if (typePair != 0) return typePair;
  return causePair;
}

std::uint16_t ApplyOverride(std::uint16_t pair, std::uint16_t override) {
  std::uint16_t result = pair;
  if (TextIndex(override) != 0) result = ColourPair(TextIndex(override), BackgroundIndex(result));
  if (BackgroundIndex(override) != 0) {
    result = ColourPair(TextIndex(result), BackgroundIndex(override));
  }
  return result;
}

std::uint16_t ApplicationDataPair(std::uint16_t pair, bool entryValid, std::uint16_t objectColour,
                                  const TValueColours& typeColours,
                                  const TValueColours& causeColours, int typ, int cause) {
  if (!entryValid) return pair;
  const std::uint16_t typePair = typeColours.pairs[static_cast<std::uint8_t>(typ)];
  const std::uint16_t causePair = causeColours.pairs[static_cast<std::uint8_t>(cause)];
  return ApplyOverride(pair, OverridePair(objectColour, typePair, causePair));
}

CanvasPair::Change CanvasPair::Set(std::uint16_t pair) {
  Change change;
  change.text = !known_ || TextIndex(pair) != TextIndex(current_);
  change.background = !known_ || BackgroundIndex(pair) != BackgroundIndex(current_);
  current_ = pair;
  known_ = true;
  return change;
}

}  // namespace kivo
