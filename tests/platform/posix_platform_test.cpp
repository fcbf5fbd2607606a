#include "platform/posix/posix_platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/posix/poll_loop.h"
#include "platform/sim/virtual_clock.h"
#include "util/scratch.h"

namespace kivo {
namespace {

using testing::ScratchDir;

TEST(ConfigFileRegistry, WritesAndReadsValuesKeepingOtherLinesAndReadsJunkAsNoValue) {
  ScratchDir dir;
  const std::string path = dir.path() + "Brakel/DemoKivo.conf";
  const std::string key = "Software\\Brakel\\DemoKivo";
  ConfigFileRegistry registry(path);
  EXPECT_EQ(registry.ReadString(key, "DataDirectory"), std::nullopt);
  ASSERT_TRUE(registry.WriteString(key, "DataDirectory", "/data/a/"));
  ASSERT_TRUE(registry.WriteString("Ports", "1", "/dev/ttyUSB0"));
  ASSERT_TRUE(registry.WriteString(key, "DataDirectory", "/data/b/"));
  ASSERT_TRUE(registry.WriteString(key, "Other", "x=y"));
  EXPECT_EQ(std::tuple(registry.ReadString(key, "DataDirectory"), registry.ReadString(key, "Other"),
                       registry.ReadString("Ports", "1")),
            std::tuple("/data/b/", "x=y", "/dev/ttyUSB0"));
  EXPECT_EQ(testing::ReadFile(path), "[" + key +
                                         "]\nDataDirectory=/data/b/\nOther=x=y\n[Ports]\n1=/dev/"
                                         "ttyUSB0\n");
  EXPECT_FALSE(registry.WriteString("Ports", "2", "two\nlines"));

  testing::WriteFile(path, std::string("\0\xff[[[\n=\n[Software]x\n", 20));
  ConfigFileRegistry junk(path);
  EXPECT_EQ(junk.ReadString("Software", "DataDirectory"), std::nullopt);
  EXPECT_TRUE(junk.WriteString("Software", "DataDirectory", "/d/"));
  EXPECT_EQ(junk.ReadString("Software", "DataDirectory"), "/d/");
}

TEST(FlockInstanceLock, OneHolderPerSlotUntilTheHolderGoes) {
  ScratchDir dir;
  FlockInstanceLock second(dir.path());
  {
    FlockInstanceLock first(dir.path());
    EXPECT_TRUE(first.TryClaim(1));
    EXPECT_EQ(std::tuple(second.TryClaim(1), second.TryClaim(2), second.TryClaim(3)),
              std::tuple(false, true, false));
    EXPECT_EQ(first.LockPath(1), dir.path() + "KivoLorn1.lock");
  }
  FlockInstanceLock next(dir.path());
  EXPECT_TRUE(next.TryClaim(1));
}

TEST(XdgFolders, FollowTheEnvironment) {
  ::setenv("XDG_DATA_HOME", "/xdg/data", 1);
  EXPECT_EQ(XdgFolders().AppDataFolder(), "/xdg/data/");
  ::setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
  ::setenv("HOME", "/home/op", 1);
  EXPECT_EQ(XdgFolders().AppDataFolder(), "/home/op/.local/share/");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(XdgFolders().ProgramDirectory().back(), '/');
}

TEST(PollLoop, RunsPeriodicTriggerAndOneShotTimers) {
  PosixClock clock;
  PollLoop loop(clock);
  int ticks = 0;
  bool fired = false, cancelled = false;
  loop.SetPeriodic(5, [&] { ++ticks; });
  loop.Start(12, [&] { fired = true; });
  loop.Cancel(loop.Start(5, [&] { cancelled = true; }));
  loop.Start(60, [&] { loop.Stop(); });
  loop.Run();
  EXPECT_TRUE(fired);
  EXPECT_FALSE(cancelled);
  EXPECT_GE(ticks, 5);
}

TEST(VirtualClock, FiresTimersInDeadlineOrderAndCrossesMidnight) {
  VirtualClock clock(LocalTime{2026, 12, 31, 23, 59, 59, 0, false});
  std::vector<int> order;
  for (int deadline : {30, 10, 20})
    clock.Start(deadline, [&, deadline] { order.push_back(deadline); });
  EXPECT_EQ(clock.PendingTimers(), 3u);
  ASSERT_TRUE(clock.AdvanceToNextTimer());
  EXPECT_EQ(order, (std::vector<int>{10}));
  clock.Advance(100);
  EXPECT_EQ(order, (std::vector<int>{10, 20, 30}));
  EXPECT_FALSE(clock.AdvanceToNextTimer());
  clock.Advance(1900);
  const LocalTime t = clock.Now();
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.second), std::tuple(2027, 1, 1, 1));
}

}  // namespace
}  // namespace kivo
