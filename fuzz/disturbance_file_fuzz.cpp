// Arbitrary files as disturbance files: the list of recorded disturbances is
// built from them, and a replaying secondary port sends one to its end with a
// primary's orders and acknowledgements (positive or negative as a seed from
// the input says). Every frame built must be a whole FT 1.2 frame, and the
// replay must end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/instance.h"
#include "link/frame_codec.h"
#include "platform/headless.h"
#include "platform/sim/virtual_clock.h"
#include "scratch.h"
#include "send/disturbance.h"

namespace {

using namespace kivo;

constexpr std::uint8_t kDevice = 5;
constexpr std::uint16_t kFan = 12;

struct World {
  VirtualClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  FixedFolders folders{kivo_fuzz::ScratchFolder()};
  QuietPrompter prompter;
  Instance instance{Platform{clock, lock, registry, folders, prompter, nullptr, &clock}};
  std::string directory =
      kivo_fuzz::ScratchFolder() + "kivo-disturbance-fuzz-" + std::to_string(::getpid()) + "/";

  World() {
    std::filesystem::create_directories(directory);
    instance.dataDirectory = directory;
    PortRecord& port = instance.ports[0];
    port.params.function = PortFunction::Secondary;
    port.params.addressCount = 1;
    port.params.addresses[0] = kDevice;
    port.params.addresses[1] = PortParams::kAddressEnd;
  }
  ~World() { std::filesystem::remove_all(directory); }
};

// A primary's order or acknowledgement for FAN 12.
TLogEntry Order(std::uint8_t type, std::uint8_t too) {
  std::uint8_t frame[] = {0x68, 13, 13,  0x68, 0x73, kDevice, type, 0x81, 31,  kDevice,
                          0x80, 0,  too, 1,    kFan, 0,       0,    0,    0x16};
  frame[17] = ft12::FrameChecksum(frame);
  TLogEntry entry;
  entry.SetFrame(frame);
  entry.status = 40;
  ClassifyFrame(entry);
  return entry;
}

void CheckBuilt(const OutgoingFrame& built) {
  const auto frame = built.View();
  if (frame.size() < 12 || frame.size() > ft12::kMaxFrameLength) std::abort();
  if (frame[1] + ft12::kVariableOverhead != frame.size()) std::abort();
  if (frame.back() != ft12::kEndCharacter) std::abort();
}

// What the primary answers to the telegram of this type just sent; 0: nothing.
std::optional<TLogEntry> Answer(const OutgoingFrame& built, std::minstd_rand& random) {
  const auto frame = built.View();
  const bool negative = random() % 4 == 0;
  switch (frame[ft12::at::kTyp]) {
    case 26:
      return Order(24, random() % 8 == 0 ? 3 : 2);
    case 28:
      return Order(24, random() % 8 == 0 ? 17 : 16);
    case 27:
      return Order(24, random() % 8 == 0 ? 9 : 8);
    case 31: {
      const std::uint8_t endToo = frame.size() > 12 ? frame[12] : 0;
      if (endToo >= 38) return Order(25, negative ? 69 : 68);
      if (endToo >= 35) return Order(25, negative ? 67 : 66);
      return Order(25, negative ? 65 : 64);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  Instance& instance = world.instance;
  PortRecord& port = instance.ports[0];
  const std::string path = world.directory + DisturbanceFileName(kFan);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::uint32_t seed = 2166136261u;
  for (std::size_t i = 0; i < size; i += 5) seed = (seed ^ data[i]) * 16777619u;
  std::minstd_rand random(seed | 1);

  BuildDisturbanceList(instance.sendContext, port);
  if (instance.disturbance[0].list.count > 1) std::abort();

  TLogEntry select = Order(24, 1);
  OnDisturbanceAsdu(instance.sendContext, port, select);
  // Each telegram needs an answer or ends a block; a file of at most 64 KiB
  // of records of at least 7 octets cannot take longer than this, repeats
  // included.
  const int limit = 2 * 2 * 65536 / 7 + 64;
  int steps = 0;
  OutgoingFrame built;
  while (NextDisturbanceTelegram(instance.sendContext, port, built)) {
    CheckBuilt(built);
    if (++steps > limit) std::abort();
    if (std::optional<TLogEntry> answer = Answer(built, random)) {
      OnDisturbanceAsdu(instance.sendContext, port, *answer);
    }
  }
  for (int i = 0; i < 1000 && instance.disturbance[0].run.role != DisturbanceRun::Role::None; ++i) {
    DisturbanceStep(instance.sendContext, port);
  }
  if (instance.disturbance[0].run.role != DisturbanceRun::Role::None) std::abort();
  return 0;
}
