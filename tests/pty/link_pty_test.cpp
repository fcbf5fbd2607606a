// A primary and a secondary Instance in one process, in real time, over a
// kernel pseudo-terminal (the primary on the slave device, the secondary on the
// master side), driven by the poll loop of the command-line program.
#include <gtest/gtest.h>

#include <set>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "link/serial_path.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"

namespace kivo::testing {
namespace {

class LinkPtyTest : public ::testing::Test {
 protected:
  PseudoTerminal pty;
  PosixClock clock;
  PollLoop loop{clock};
  FakePlatform fakeP;
  FakePlatform fakeS;
  TermiosPortEnumerator portsP{{{1, pty.slavePath()}}};
  TermiosPortEnumerator noDevices{{}, "/nonexistent", "/nonexistent"};
  MasterBindingEnumerator portsS{noDevices};
  Instance primary{
      Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter, &portsP, &loop}};
  Instance secondary{
      Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter, &portsS, &loop}};
  std::vector<TLogEntry> loggedP, loggedS;

  void SetUp() override {
    ASSERT_TRUE(pty.ok()) << pty.error();
    portsS.BindMaster(1, pty.master());
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      CreateMainState(*instance, {});
      PortParams& p = instance->ports[0].params;
      p.portNumber = 1;
      p.function = instance == &primary ? PortFunction::Primary : PortFunction::Secondary;
      p.addressCount = 3;
      p.addresses = {1, 2, 3, PortParams::kAddressEnd};
      auto* logged = instance == &primary ? &loggedP : &loggedS;
      instance->logStore.hooks.logFilter = [logged](const TLogEntry& e) {
        logged->push_back(e);
        return true;
      };
    }
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(secondary.ports[0].open);
    ASSERT_TRUE(primary.ports[0].open) << primary.ports[0].serial->LastError();
  }

  void TearDown() override {
    GoOffline(primary);
    GoOffline(secondary);
  }

  std::set<int> Established() const {
    std::set<int> addresses;
    for (const TLogEntry& e : loggedP)
      if (e.frameKind == kFrameEvent && e.status == event::kLinkEstablished)
        addresses.insert(e.linkAddress);
    return addresses;
  }

  // Each port's descriptor wakes its Instance; the main timer ticks both.
  void Run(std::uint32_t limitMs, const std::function<bool()>& done) {
    for (Instance* instance : {&primary, &secondary}) {
      const int fd = instance->ports[0].serial->Descriptor();
      ASSERT_GE(fd, 0);
      loop.Watch(fd, [instance] {
        OnDataAvailable(instance->linkContext, 0);
        RunPostedLinkSteps(instance->linkContext);
      });
    }
    loop.SetPeriodic(kTimerIntervalMs, [this] {
      OnTimerTick(secondary);
      OnTimerTick(primary);
    });
    const std::uint32_t start = clock.NowMs();
    loop.Run([&] {
      // Steps posted by a fired one-shot timer run here at the latest.
      RunPostedLinkSteps(secondary.linkContext);
      RunPostedLinkSteps(primary.linkContext);
      return !done() && clock.NowMs() - start < limitMs;
    });
    for (Instance* instance : {&primary, &secondary})
      loop.Unwatch(instance->ports[0].serial->Descriptor());
  }

  // The frames received on `channel`; each one must have come intact.
  static int Received(const std::vector<TLogEntry>& log, int channel) {
    int frames = 0;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent || e.channel != channel) continue;
      EXPECT_EQ(e.status, 40) << "entry " << e.seqNo << " on channel " << channel;
      ++frames;
    }
    return frames;
  }
};

TEST_F(LinkPtyTest, ThreeLinksComeUpOverAPseudoTerminal) {
  // Generous: on a loaded machine the first reset may go unanswered.
  Run(6000, [this] { return Established().size() == 3; });
  ASSERT_EQ(Established(), (std::set<int>{1, 2, 3}));
  // Then the polls of the running links (one per poll cycle) are answered.
  const int channelP = primary.ports[0].receiveChannel;
  const int before = Received(loggedP, channelP);
  Run(4000, [&] { return Received(loggedP, channelP) >= before + 2; });
  EXPECT_GE(Received(loggedP, channelP), before + 2);
  Received(loggedS, secondary.ports[0].receiveChannel);  // checks its frames too
}

}  // namespace
}  // namespace kivo::testing
