// The main timer (about every 54 ms) and switching online and offline.
#pragma once

#include <cstdint>

namespace kivo {

class Instance;

inline constexpr std::uint32_t kTimerIntervalMs = 54;
// A port number without a device; no port could be opened.
inline constexpr int kTextNoSuchPort = 1490;
inline constexpr int kTextNoPortOpened = 1491;
inline constexpr std::uint32_t kMinMsPerTick = 45;
inline constexpr std::uint32_t kMaxMsPerTick = 70;

// One main-timer call.
void OnTimerTick(Instance& instance);

// The milliseconds per tick measured over 256 ticks, clamped to 45..70.
std::uint32_t MeasuredMsPerTick(std::uint32_t elapsedMs);

// Opens both ports when the online setting is on (clearing it with a message
// when neither port has a number), closes them when it is off.
void ApplyOnlineState(Instance& instance);

// The online button: toggles between online and offline.
void ToggleOnline(Instance& instance);
void GoOnline(Instance& instance);
void GoOffline(Instance& instance);

}  // namespace kivo
