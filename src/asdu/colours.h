// The log colours: the fixed table of 20 colours behind every colour index,
// the choice of the pair for one log entry and the pair currently set on a
// canvas.
#pragma once

#include <array>
#include <cstdint>

#include "record/colour_records.h"

namespace kivo {

inline constexpr int kColourCount = 20;

// Desktop colours the table refers to by role. The defaults suit a light
// Linux desktop theme; the window program fills them from its palette.
enum class SystemColour : std::uint8_t {
  None,  // a fixed colour
  WindowBackground,
  WindowText,
  Menu,
  ActiveCaption,
  InactiveCaption,
};

struct SystemColours {
  std::uint32_t windowBackground = 0xFFFFFF;
  std::uint32_t windowText = 0x000000;
  std::uint32_t menu = 0xF0F0F0;
  std::uint32_t activeCaption = 0xD1B499;
  std::uint32_t inactiveCaption = 0xDBCDBF;

  std::uint32_t Of(SystemColour role) const;
};

struct ColourTableEntry {
  SystemColour role;
  std::uint32_t value;  // 0xBBGGRR when role is None
};

inline constexpr std::array<ColourTableEntry, kColourCount> kColourTable{{
    {SystemColour::WindowBackground, 0}, {SystemColour::None, 0x000000},
    {SystemColour::None, 0xFF0000},      {SystemColour::None, 0x0000FF},
    {SystemColour::None, 0x00C000},      {SystemColour::None, 0x00FFFF},
    {SystemColour::None, 0xFFFF00},      {SystemColour::None, 0xC000C0},
    {SystemColour::None, 0xFFFFFF},      {SystemColour::None, 0x808080},
    {SystemColour::None, 0xD6D6D6},      {SystemColour::None, 0xFFDCD0},
    {SystemColour::None, 0xD3D3FF},      {SystemColour::None, 0xC6FAD6},
    {SystemColour::None, 0xB7FFFF},      {SystemColour::WindowBackground, 0},
    {SystemColour::WindowText, 0},       {SystemColour::Menu, 0},
    {SystemColour::ActiveCaption, 0},    {SystemColour::InactiveCaption, 0},
}};

// The 0xBBGGRR colour of an index; an index outside the table (a damaged
// settings or parameter file) gives `fallback`.
std::uint32_t ColourOf(int index, const SystemColours& system, std::uint32_t fallback);
// The text and the background colour of a pair.
std::uint32_t TextColourOf(std::uint16_t pair, const SystemColours& system);
std::uint32_t BackgroundColourOf(std::uint16_t pair, const SystemColours& system);

constexpr std::uint8_t TextIndex(std::uint16_t pair) {
  return static_cast<std::uint8_t>(pair);
}
constexpr std::uint8_t BackgroundIndex(std::uint16_t pair) {
  return static_cast<std::uint8_t>(pair >> 8);
}

// Event entries below this status are drawn as faulty.
inline constexpr std::uint8_t kFirstGoodEventStatus = 50;
inline constexpr std::uint8_t kFirstValidStatus = 40;

// Whether an entry is drawn in its channel's colours (and may take the
// colours of its information object, type or cause).
bool EntryValid(std::uint8_t status, bool isEvent);

// The pair an entry starts with: its channel's pair when it is valid, else
// the faulty pair. An unknown channel is drawn as faulty too.
std::uint16_t EntryPair(const TTelFont& font, int channel, std::uint8_t status, bool isEvent);

// The override of the application data: the information object's colour
// word when not zero, else the type's pair, else the cause's pair.
std::uint16_t OverridePair(std::uint16_t objectColour, std::uint16_t typePair,
                           std::uint16_t causePair);
// Every non-zero byte of `override` replaces the matching byte of `pair`.
std::uint16_t ApplyOverride(std::uint16_t pair, std::uint16_t override);

// The pair of a valid entry's application data; a faulty entry keeps `pair`.
std::uint16_t ApplicationDataPair(std::uint16_t pair, bool entryValid, std::uint16_t objectColour,
                                  const TValueColours& typeColours,
                                  const TValueColours& causeColours, int typ, int cause);

// The pair set on a canvas. Only the colours that differ from the ones set
// before are changed; the first pair after Reset sets both.
class CanvasPair {
 public:
  struct Change {
    bool text = false;
    bool background = false;
  };
  Change Set(std::uint16_t pair);
  void Reset() { known_ = false; }
  std::uint16_t current() const { return current_; }

 private:
  std::uint16_t current_ = 0;
  bool known_ = false;
};

}  // namespace kivo
