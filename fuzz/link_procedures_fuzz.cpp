// The primary and secondary procedures over whatever the line delivers. The
// first octet chooses the port function, the address list, the single-
// character use and the poll limit; the second the link-test flags, the
// command-response simulation and the seed that cuts the rest into batches between timer ticks. The
// procedures must stay in their named states and serve only listed addresses.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <span>
#include <string>

#include "app/instance.h"
#include "app/startup.h"
#include "link/port_control.h"
#include "link/secondary.h"
#include "link/serial_path.h"
#include "platform/headless.h"
#include "platform/sim/virtual_clock.h"
#include "scratch.h"
#include "text/text_table.h"

namespace {

using namespace kivo;

struct World {
  VirtualClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  FixedFolders folders{kivo_fuzz::ScratchFolder()};
  QuietPrompter prompter;
  Instance instance{Platform{clock, lock, registry, folders, prompter, nullptr, &clock}};
  std::string logPath =
      kivo_fuzz::ScratchFolder() + "kivo-link-fuzz-" + std::to_string(::getpid()) + ".kvl";

  World() {
    const std::string langDir =
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "lang").string() + "/";
    instance.programDirectory = langDir;
    if (!LoadInstanceTexts(instance, 1, false)) std::abort();
    if (!instance.logStore.CreateLog(logPath)) std::abort();
    instance.logStore.hooks.logFilter = [](const TLogEntry& entry) {
      if (entry.frameKind != kFrameEvent && entry.byteCount > TLogEntry::kMaxByteCount) {
        std::abort();
      }
      return false;
    };
    // Rows for general commands on INF 16 and 17, answered when the
    // simulation is on.
    auto& rows = instance.send.simulation.rows;
    rows[0].commandInf = 16, rows[0].positiveAck = 1, rows[0].responseInf = 16;
    rows[1].commandInf = 16, rows[1].negativeAck = 1, rows[1].responseState = 5;
    rows[2].commandInf = 17, rows[2].responseInf = 200, rows[2].responseState = 2;
  }
  ~World() {
    instance.logStore.CloseLog();
    std::remove(logPath.c_str());
  }
};

void CheckStates(const PortRecord& port) {
  if (port.currentIndex < 0 || port.currentIndex >= port.params.EffectiveAddressCount()) {
    std::abort();
  }
  switch (port.primary.cycle) {
    case PrimaryCycle::NotPrimary:
    case PrimaryCycle::CycleStart:
    case PrimaryCycle::AwaitAnswer:
    case PrimaryCycle::AwaitResetAck:
    case PrimaryCycle::WaitAfterNegative:
      break;
    default:
      std::abort();
  }
  if (port.params.function == PortFunction::Primary &&
      port.primary.cycle == PrimaryCycle::NotPrimary) {
    std::abort();
  }
  if (static_cast<int>(port.secondary.handshake.state) > 4) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size < 2) return 0;
  Instance& instance = world.instance;
  PortRecord& port = instance.ports[0];
  const std::uint8_t mode = data[0];
  std::minstd_rand random(data[1] + 1u);
  const std::span<const std::uint8_t> stream(data + 2, size - 2);

  port.params = PortParams{};
  port.params.function = (mode & 1) ? PortFunction::Secondary : PortFunction::Primary;
  const std::uint32_t count = 1 + ((mode >> 1) & 3);
  for (std::uint32_t i = 0; i < count; ++i)
    port.params.addresses[i] = static_cast<std::uint8_t>(i + 1);
  port.params.addresses[count] = 255;
  port.params.addressCount = count;
  port.params.singleCharacter = (mode >> 3) & 3;
  port.params.class1PollLimit = (mode >> 5) & 3;
  port.params.class1Polling = mode >> 7;
  port.params.responseTimeout = 100;
  PreparePort(instance.linkContext, 0);
  port.linkTest.Clear();
  for (int i = 0; i < 8; ++i) port.linkTest.Set(i, ((data[1] >> i) & 1) != 0 && i != 7 && i > 2);
  port.open = true;
  instance.send.simulation.simulationOn = (data[1] >> 2) & 1;
  if (port.params.function == PortFunction::Secondary && (data[1] & 1)) {
    StartHandshake(instance.linkContext, port, 100);
  }

  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t length = std::min<std::size_t>(1 + random() % 40, stream.size() - at);
    ReceiveBatch(instance.linkContext, port, stream.subspan(at, length), 0);
    at += length;
    RunPostedLinkSteps(instance.linkContext);
    CheckStates(port);
    for (unsigned ticks = random() % 6; ticks > 0; --ticks) {
      world.clock.Advance(54);
      PortStep(instance.linkContext, 0);
      ++instance.timeBase.tickCounter;
      RunPostedLinkSteps(instance.linkContext);
      CheckStates(port);
    }
  }
  port.open = false;
  return 0;
}
