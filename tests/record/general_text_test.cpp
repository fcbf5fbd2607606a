// The general parameters as text: every setting against the field it writes
// and its limits, and text printed from a setup reading back into it.
#include "record/general_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace kivo {
namespace {

TEST(GeneralText, EverySettingWritesItsFieldWithinItsLimits) {
  using Field = std::function<std::uint32_t(const GeneralSetup&)>;
  const Field common = [](auto& s) { return s.general.separateCommonAddress; };
  const Field summer = [](auto& s) { return std::uint32_t{s.general.summerTime}; };
  const Field measurand = [](auto& s) { return s.general.measurand100; };
  const Field timeout = [](auto& s) { return s.general.disturbanceTimeout; };
  const Field order = [](auto& s) { return s.general.autoOrderDisturbance; };
  const Field logSize = [](auto& s) { return s.general.logSize; };
  const Field daily = [](auto& s) { return s.dailyLog ? 1u : 0u; };
  const struct {
    const char* setting;
    Field field;
    std::uint32_t expected;
  } cases[] = {
      {"common-address=separate", common, 1},
      {"common-address=link", common, 0},
      {"summer-time=on", summer, 1},
      {"measurand100=100", measurand, 100},
      {"measurand100=32767", measurand, 32767},
      {"disturbance-timeout=3", timeout, 3},
      {"disturbance-timeout=255", timeout, 255},
      {"auto-order=on", order, 1},
      {"log-size=1", logSize, 1},
      {"log-size=2000", logSize, 2000},
      {"daily-log=on", daily, 1},
  };
  for (const auto& c : cases) {
    GeneralSetup setup;
    setup.general.separateCommonAddress = 1;
    std::string problem;
    ASSERT_TRUE(ApplyGeneralText(setup, c.setting, true, problem)) << c.setting << ": " << problem;
    EXPECT_EQ(c.field(setup), c.expected) << c.setting;
  }
  // Outside the limits, no value of the setting, not NAME=VALUE, or the
  // option flag where the send-telegram file has no place for it: refused,
  // nothing changed, and the message says what the setting takes.
  const std::pair<const char*, bool> refused[] = {
      {"measurand100=99", true},
      {"measurand100=32768", true},
      {"disturbance-timeout=2", true},
      {"disturbance-timeout=256", true},
      {"log-size=0", true},
      {"log-size=2001", true},
      {"summer-time=1", true},
      {"common-address=own", true},
      {"log-size=+5", true},
      {"log-size=", true},
      {"colour=red", true},
      {"summer-time", true},
      {"daily-log=on", false},
  };
  for (const auto& [bad, withOptions] : refused) {
    GeneralSetup setup;
    std::string problem;
    EXPECT_FALSE(
        ApplyGeneralText(setup, std::string("summer-time=on,") + bad, withOptions, problem))
        << bad;
    EXPECT_EQ(setup, GeneralSetup{}) << bad;
    EXPECT_FALSE(problem.empty());
  }
  GeneralSetup setup;
  std::string problem;
  ApplyGeneralText(setup, "disturbance-timeout=300", true, problem);
  EXPECT_EQ(problem, "disturbance-timeout takes 3..255 s, not '300'");
  ApplyGeneralText(setup, "daily-log=on", false, problem);
  EXPECT_EQ(problem,
            "has no setting 'daily-log' (settings: common-address, summer-time, measurand100, "
            "disturbance-timeout, auto-order, log-size)");
}

TEST(GeneralText, PrintedTextReadsBackIntoTheSameSetup) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    GeneralSetup setup;
    setup.general.separateCommonAddress = random() % 2;
    setup.general.summerTime = static_cast<std::uint8_t>(random() % 2);
    setup.general.measurand100 = 100 + random() % 32668;
    setup.general.disturbanceTimeout = 3 + random() % 253;
    setup.general.autoOrderDisturbance = random() % 2;
    setup.general.logSize = 1 + random() % 2000;
    setup.dailyLog = random() % 2 == 1;
    // What the text does not name stays as it was.
    setup.general.focusIndex = 5;
    GeneralSetup read;
    read.general.focusIndex = 5;
    std::string problem;
    const std::string text = GeneralText(setup, true);
    ASSERT_TRUE(ApplyGeneralText(read, text, true, problem)) << text << ": " << problem;
    EXPECT_EQ(read, setup) << text;
    // Without the option flags the text leaves the flag alone.
    GeneralSetup withoutOptions;
    withoutOptions.general.focusIndex = 5;
    ASSERT_TRUE(ApplyGeneralText(withoutOptions, GeneralText(setup, false), false, problem));
    EXPECT_EQ(withoutOptions.general, setup.general);
    EXPECT_FALSE(withoutOptions.dailyLog);
  }
  EXPECT_EQ(GeneralText(GeneralSetup{}, true),
            "common-address=link,summer-time=off,measurand100=3413,disturbance-timeout=8,"
            "auto-order=off,log-size=10,daily-log=off");
  EXPECT_EQ(GeneralSettingNames().size(), 7u);
}

}  // namespace
}  // namespace kivo
