// A device that goes away while its port is open (an adapter unplugged).
#include <gtest/gtest.h>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/serial_path.h"
#include "platform/sim/simulated_line.h"

namespace kivo {
namespace {

using testing::FakePlatform;

TEST(VanishedDevice, ClosesThePortWithItsEventAndSaysWhy) {
  FakePlatform fake;
  SimulatedLine line(fake.clock);
  SimulatedPortEnumerator ports;
  ports.Bind(1, line, 0);
  Instance instance(Platform{fake.clock, fake.lock, fake.registry, fake.folders, fake.prompter,
                             &ports, &fake.clock});
  ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
  CreateMainState(instance, {});
  std::vector<TLogEntry> logged;
  instance.logStore.hooks.logFilter = [&](const TLogEntry& e) {
    logged.push_back(e);
    return true;
  };
  instance.ports[0].params.portNumber = 1;
  GoOnline(instance);
  ASSERT_TRUE(instance.ports[0].open);

  // Octets from the far end arrive, then the device is gone.
  std::unique_ptr<SerialPort> far = line.MakePort(1);
  ASSERT_TRUE(far->Open(CharacterFormat{}));
  const std::uint8_t poll[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
  far->Write(poll);
  fake.clock.Advance(20);
  line.Vanish(0);
  fake.clock.Advance(5);
  OnTimerTick(instance);
  fake.clock.Advance(5);

  EXPECT_FALSE(instance.ports[0].open);
  ASSERT_FALSE(fake.prompter.messages.empty());
  EXPECT_NE(fake.prompter.messages.back().find("no longer there"), std::string::npos);
  bool frameLogged = false, closedLogged = false;
  for (const TLogEntry& e : logged) {
    frameLogged |= e.frameKind == kFrameFixed && e.control == 0x5B;
    closedLogged |= e.frameKind == kFrameEvent && e.status == 49;
  }
  EXPECT_TRUE(frameLogged);
  EXPECT_TRUE(closedLogged);
}

}  // namespace
}  // namespace kivo
