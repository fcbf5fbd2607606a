// The receive side of the serial path over arbitrary octet streams. The first
// two octets choose the port function (with its link procedure), the spike
// filter and the telegram length, and the seed that cuts the rest into batches
// with random line errors and pauses. Every octet must end in exactly one
// logged frame once the character gap has run out (spike filter off).
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
      kivo_fuzz::ScratchFolder() + "kivo-serial-fuzz-" + std::to_string(::getpid()) + ".kvl";
  std::size_t loggedOctets = 0;

  World() {
    const std::string langDir =
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "lang").string() + "/";
    instance.programDirectory = langDir;
    if (!LoadInstanceTexts(instance, 1, false)) std::abort();
    if (!instance.logStore.CreateLog(logPath)) std::abort();
    // Entries are counted here and not stored: the file stays small.
    instance.logStore.hooks.logFilter = [this](const TLogEntry& entry) {
      if (entry.frameKind != kFrameEvent && entry.byteCount > TLogEntry::kMaxByteCount) {
        std::abort();
      }
      if (entry.channel == 1 && entry.status != event::kLinkResetReceived) {
        loggedOctets += entry.byteCount;
      }
      return false;
    };
  }
  ~World() {
    instance.logStore.CloseLog();
    std::remove(logPath.c_str());
  }
};

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
  port.params.function = static_cast<PortFunction>(mode & 0x03);
  port.params.spikeFilter = (mode >> 2) & 1;
  port.params.telegramLength = (mode & 0x80) ? 300 : 1 + (mode >> 3);  // also out of range
  port.params.responseTimeout = 1 + (mode >> 4);
  PreparePort(instance.linkContext, 0);
  port.open = true;
  world.loggedOctets = 0;

  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t length = std::min<std::size_t>(1 + random() % 300, stream.size() - at);
    const std::uint8_t errors = random() % 8 == 0 ? static_cast<std::uint8_t>(random() & 0x0F) : 0;
    ReceiveBatch(instance.linkContext, port, stream.subspan(at, length), errors);
    at += length;
    world.clock.Advance(random() % 3 == 0 ? random() % 500 : 0);
    if (random() % 4 == 0) PortStep(instance.linkContext, 0);
    RunPostedLinkSteps(instance.linkContext);
  }
  world.clock.Advance(port.receive.characterGap + 1);
  PortStep(instance.linkContext, 0);
  port.open = false;

  if (!port.receive.assembler.Empty()) std::abort();
  if (port.params.spikeFilter == 0 && world.loggedOctets != stream.size()) std::abort();
  return 0;
}
