#include "record/general_text.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <optional>

#include "text/number_reader.h"

namespace kivo {

namespace {

// A setting reads and writes one field as a number; choices are the numbers
// 0, 1 by name.
struct Setting {
  const char* name;
  std::uint32_t low, high;
  const char* unit;
  std::array<const char*, 2> choices;  // empty: a number
  bool option;
  std::uint32_t (*get)(const GeneralSetup&);
  void (*set)(GeneralSetup&, std::uint32_t);
};

constexpr std::array<const char*, 2> kNumber{nullptr, nullptr};
constexpr std::array<const char*, 2> kOffOn{"off", "on"};

constexpr Setting kSettings[] = {
    {"common-address",
     0,
     1,
     "",
     {"link", "separate"},
     false,
     [](const GeneralSetup& s) { return s.general.separateCommonAddress; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.separateCommonAddress = v; }},
    {"summer-time", 0, 1, "", kOffOn, false,
     [](const GeneralSetup& s) { return std::uint32_t{s.general.summerTime}; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.summerTime = static_cast<std::uint8_t>(v); }},
    {"measurand100", 100, 32767, "", kNumber, false,
     [](const GeneralSetup& s) { return s.general.measurand100; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.measurand100 = v; }},
    {"disturbance-timeout", 3, 255, "s", kNumber, false,
     [](const GeneralSetup& s) { return s.general.disturbanceTimeout; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.disturbanceTimeout = v; }},
    // Any value but 0 orders at once; it prints as "on" and reads back as 1.
    {"auto-order", 0, 1, "", kOffOn, false,
     [](const GeneralSetup& s) { return s.general.autoOrderDisturbance != 0 ? 1u : 0u; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.autoOrderDisturbance = v; }},
    {"log-size", 1, GeneralParams::kMaxLogSize, "x 1024000 octets", kNumber, false,
     [](const GeneralSetup& s) { return s.general.logSize; },
     [](GeneralSetup& s, std::uint32_t v) { s.general.logSize = v; }},
    {"daily-log", 0, 1, "", kOffOn, true,
     [](const GeneralSetup& s) { return s.dailyLog ? 1u : 0u; },
     [](GeneralSetup& s, std::uint32_t v) { s.dailyLog = v != 0; }},
};

std::string Takes(const Setting& s) {
  if (s.choices[0] != nullptr) return std::string(s.choices[0]) + "|" + s.choices[1];
  std::string takes = std::to_string(s.low) + ".." + std::to_string(s.high);
  if (*s.unit != '\0') takes += std::string(" ") + s.unit;
  return takes;
}

std::string ValueText(const Setting& s, std::uint32_t v) {
  if (s.choices[0] != nullptr) return s.choices[v != 0 ? 1 : 0];
  return std::to_string(v);
}

std::optional<std::uint32_t> ReadValue(const Setting& s, std::string_view text) {
  if (s.choices[0] != nullptr) {
    for (std::uint32_t i = 0; i < s.choices.size(); ++i) {
      if (text == s.choices[i]) return i;
    }
    return std::nullopt;
  }
  // Digits only: no sign, no blanks, no "$" form on the command line.
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
  const auto n = ReadIntegerIn(text, s.low, s.high);
  if (!n) return std::nullopt;
  return static_cast<std::uint32_t>(*n);
}

}  // namespace

std::string GeneralText(const GeneralSetup& setup, bool withOptions) {
  std::string text;
  for (const Setting& s : kSettings) {
    if (s.option && !withOptions) continue;
    text += (text.empty() ? "" : ",") + std::string(s.name) + "=" + ValueText(s, s.get(setup));
  }
  return text;
}

bool ApplyGeneralText(GeneralSetup& setup, std::string_view text, bool withOptions,
                      std::string& problem) {
  GeneralSetup changed = setup;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = part.find('=');
    if (equals == std::string_view::npos) {
      problem = "takes NAME=VALUE settings, not '" + std::string(part) + "'";
      return false;
    }
    const std::string_view name = part.substr(0, equals), value = part.substr(equals + 1);
    const Setting* found = nullptr;
    for (const Setting& s : kSettings) {
      if (name == s.name && (withOptions || !s.option)) found = &s;
    }
    if (!found) {
      std::string names;
      for (const Setting& s : kSettings) {
        if (withOptions || !s.option) names += (names.empty() ? "" : ", ") + std::string(s.name);
      }
      problem = "has no setting '" + std::string(name) + "' (settings: " + names + ")";
      return false;
    }
    const auto v = ReadValue(*found, value);
    if (!v) {
      problem =
          std::string(name) + " takes " + Takes(*found) + ", not '" + std::string(value) + "'";
      return false;
    }
    found->set(changed, *v);
  }
  setup = changed;
  return true;
}

std::vector<GeneralSettingName> GeneralSettingNames() {
  std::vector<GeneralSettingName> names;
  for (const Setting& s : kSettings) names.push_back({s.name, Takes(s), s.option});
  return names;
}

}  // namespace kivo
