#include "platform/posix/posix_platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/fake_platform.h"
#include "platform/posix/poll_loop.h"
#include "platform/sim/virtual_clock.h"

namespace kivo {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

TEST(ConfigFileRegistry, WritesAndReadsValuesKeepingOtherLines) {
  ScratchDir dir;
  std::string path = dir.path() + "Brakel/DemoKivo.conf";
  ConfigFileRegistry registry(path);
  EXPECT_EQ(registry.ReadString("Software\\Brakel\\DemoKivo", "DataDirectory"), std::nullopt);
  ASSERT_TRUE(registry.WriteString("Software\\Brakel\\DemoKivo", "DataDirectory", "/data/a/"));
  ASSERT_TRUE(registry.WriteString("Ports", "1", "/dev/ttyUSB0"));
  ASSERT_TRUE(registry.WriteString("Software\\Brakel\\DemoKivo", "DataDirectory", "/data/b/"));
  ASSERT_TRUE(registry.WriteString("Software\\Brakel\\DemoKivo", "Other", "x=y"));
  EXPECT_EQ(registry.ReadString("Software\\Brakel\\DemoKivo", "DataDirectory"), "/data/b/");
  EXPECT_EQ(registry.ReadString("Software\\Brakel\\DemoKivo", "Other"), "x=y");
  EXPECT_EQ(registry.ReadString("Ports", "1"), "/dev/ttyUSB0");
  EXPECT_EQ(ReadFile(path),
            "[Software\\Brakel\\DemoKivo]\nDataDirectory=/data/b/\nOther=x=y\n[Ports]\n1=/dev/ttyUSB0\n");
  EXPECT_FALSE(registry.WriteString("Ports", "2", "two\nlines"));
}

TEST(ConfigFileRegistry, JunkFileReadsAsNoValue) {
  ScratchDir dir;
  std::string path = dir.path() + "DemoKivo.conf";
  WriteFile(path, std::string("\0\xff[[[\n=\n[Software]x\n", 20));
  ConfigFileRegistry registry(path);
  EXPECT_EQ(registry.ReadString("Software", "DataDirectory"), std::nullopt);
  EXPECT_TRUE(registry.WriteString("Software", "DataDirectory", "/d/"));
  EXPECT_EQ(registry.ReadString("Software", "DataDirectory"), "/d/");
}

TEST(FlockInstanceLock, OneHolderPerSlot) {
  ScratchDir dir;
  FlockInstanceLock first(dir.path());
  FlockInstanceLock second(dir.path());
  EXPECT_TRUE(first.TryClaim(1));
  EXPECT_FALSE(second.TryClaim(1));
  EXPECT_TRUE(second.TryClaim(2));
  EXPECT_FALSE(second.TryClaim(3));
  EXPECT_EQ(first.LockPath(1), dir.path() + "KivoLorn1.lock");
}

TEST(FlockInstanceLock, ReleasedWhenTheHolderGoes) {
  ScratchDir dir;
  {
    FlockInstanceLock holder(dir.path());
    ASSERT_TRUE(holder.TryClaim(1));
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
  std::string program = XdgFolders().ProgramDirectory();
  EXPECT_EQ(program.back(), '/');
  EXPECT_NE(program.find('/'), std::string::npos);
}

TEST(PollLoop, RunsPeriodicTriggerAndOneShotTimers) {
  PosixClock clock;
  PollLoop loop(clock);
  int ticks = 0;
  bool fired = false, cancelled = false;
  loop.SetPeriodic(5, [&] { ++ticks; });
  loop.Start(12, [&] { fired = true; });
  auto id = loop.Start(5, [&] { cancelled = true; });
  loop.Cancel(id);
  loop.Start(60, [&] { loop.Stop(); });
  loop.Run();
  EXPECT_TRUE(fired);
  EXPECT_FALSE(cancelled);
  EXPECT_GE(ticks, 5);
}

TEST(VirtualClock, FiresTimersInDeadlineOrder) {
  VirtualClock clock;
  std::vector<int> order;
  clock.Start(30, [&] { order.push_back(30); });
  clock.Start(10, [&] { order.push_back(10); });
  clock.Start(20, [&] { order.push_back(20); });
  EXPECT_EQ(clock.PendingTimers(), 3u);
  ASSERT_TRUE(clock.AdvanceToNextTimer());
  EXPECT_EQ(order, (std::vector<int>{10}));
  clock.Advance(100);
  EXPECT_EQ(order, (std::vector<int>{10, 20, 30}));
  EXPECT_FALSE(clock.AdvanceToNextTimer());
}

TEST(VirtualClock, CrossesMidnightIntoTheNextDate) {
  VirtualClock clock(LocalTime{2026, 12, 31, 23, 59, 59, 0, false});
  clock.Advance(2000);
  LocalTime t = clock.Now();
  EXPECT_EQ(t.year, 2027);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.second, 1);
}

}  // namespace
}  // namespace kivo
