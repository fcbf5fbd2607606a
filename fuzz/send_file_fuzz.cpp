// The send-telegram reader over arbitrary files. The first octet chooses the
// form of the input: when it is odd, the rest is a list of patches (three
// octets offset, one octet count, the octets) over the image of the start-up
// data, of the full form or, with bit 1 set, the older one, so that small
// inputs reach the accepting paths; when it is even, the rest is the file
// itself, read from memory or, with bit 7 set, from a file. Bit 6 chooses
// what is checked: the taking of the blocks alone, or the whole read.
//
// A refused file changes nothing and is reported once; a taken one changes
// exactly the blocks whose size words are right and never the log size, and
// what was taken is written and read back unchanged.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/port_texts.h"
#include "app/send_file_commands.h"
#include "app/startup.h"
#include "platform/headless.h"
#include "platform/sim/virtual_clock.h"
#include "record/port_params.h"
#include "scratch.h"
#include "text/text_table.h"

namespace {

using namespace kivo;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct World {
  VirtualClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  FixedFolders folders{kivo_fuzz::ScratchFolder()};
  std::ostringstream shown;
  QuietPrompter prompter{&shown};
  Instance instance{Platform{clock, lock, registry, folders, prompter, nullptr, &clock}};
  std::string path =
      kivo_fuzz::ScratchFolder() + "kivo-send-fuzz-" + std::to_string(::getpid()) + ".kvs";
  std::vector<std::uint8_t> defaults;
  // Buffers kept from one input to the next: images of 128 KiB made anew for
  // every input cost more in page faults than the reading itself.
  std::vector<std::uint8_t> file;
  std::vector<std::uint8_t> after = std::vector<std::uint8_t>(kSendFileSize);

  // The image the records make now.
  const std::vector<std::uint8_t>& Image() {
    EncodeSendTelegramImage(SendFileRecordsOf(instance), after);
    return after;
  }

  World() {
    const std::string langDir =
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "lang").string() + "/";
    instance.programDirectory = langDir;
    if (!LoadInstanceTexts(instance, 1, false)) std::abort();
    Reset();
    defaults = BuildSendTelegramImage(SendFileRecordsOf(instance));
  }
  ~World() { std::remove(path.c_str()); }

  void Reset() {
    instance.general = GeneralParams{};
    instance.settings = Settings{};
    InitialiseSendData(instance.send, instance.texts);
    instance.ports[0].params = PortParams{};
    instance.ports[1].params = PortParams{};
    InitialisePortRecords(instance.ports[0], instance.ports[1],
                          BaudRateOfIndex(instance.texts, instance.ports[0].params.baudIndex));
    instance.app.sendTelegramFileName = "current.kvs";
    instance.app.sendDataModified = true;
    shown.str("");
  }
  std::size_t MessagesShown() const {
    const std::string s = shown.str();
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
  }
};

// `file` becomes the first `baseSize` octets of `base` with the patches.
void Patch(std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& base,
           std::size_t baseSize, const std::uint8_t* data, std::size_t size) {
  file.assign(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(baseSize));
  std::size_t at = 0;
  while (at + 4 <= size) {
    std::size_t offset = (data[at] | (data[at + 1] << 8) | (data[at + 2] << 16)) % file.size();
    std::size_t count = data[at + 3];
    at += 4;
    for (; count > 0 && at < size && offset < file.size(); --count) file[offset++] = data[at++];
  }
}

bool Same(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t at,
          std::size_t size) {
  return std::equal(a.begin() + at, a.begin() + at + size, b.begin() + at);
}

// What TakeSendTelegramImage did, block by block.
void CheckTaken(World& world, const std::vector<std::uint8_t>& file,
                const std::vector<std::uint8_t>& before) {
  const std::vector<std::uint8_t>& after = world.Image();
  const ConstBytes f(file);
  struct Block {
    std::size_t at, size;
  };
  for (const Block& b : {Block{sendfile::kSimulationAt, ResponseSimBlock::kSize},
                         Block{sendfile::kTelegramsAt, SendTelegramBlock::kSize},
                         Block{sendfile::kListsAt, SendListBlock::kSize}}) {
    Check(Same(after, GetU32(f, b.at) == b.size ? file : before, b.at + 4, b.size - 4));
  }
  const auto coloursRight = [&](std::size_t at) {
    return file.size() == kSendFileSize && GetU32(f, at + 520) == TValueColours::kBlockSize;
  };
  const bool typeTaken = coloursRight(sendfile::kTypeColoursAt);
  const bool causeTaken = typeTaken && coloursRight(sendfile::kCauseColoursAt);
  Check(Same(after, typeTaken ? file : before, sendfile::kTypeColoursAt, TValueColours::kSize));
  Check(Same(after, causeTaken ? file : before, sendfile::kCauseColoursAt, TValueColours::kSize));
  Check(Same(after, GetU32(f, 1016) == PortParams::kSize ? file : before, 1016, 144));
  Check(Same(after, GetU32(f, 1160) == PortParams::kSize ? file : before, 1160, 144));
  constexpr std::size_t kLogSizeAt = 16 + GeneralParams::Offsets::LogSize;
  const bool generalTaken = GetU32(f, 16) == GeneralParams::kSize;
  Check(Same(after, generalTaken ? file : before, 16, kLogSizeAt - 16));
  Check(Same(after, generalTaken ? file : before, kLogSizeAt + 4, 596 - kLogSizeAt - 4));
  Check(GetU32(ConstBytes(after), 16 + GeneralParams::Offsets::LogSize) ==
        GetU32(ConstBytes(before), 16 + GeneralParams::Offsets::LogSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size == 0) return 0;
  Instance& instance = world.instance;

  std::vector<std::uint8_t>& file = world.file;
  bool fromFile = false;
  if (data[0] & 1) {
    Patch(file, world.defaults, (data[0] & 2) ? kSendFileOldSize : kSendFileSize, data + 1,
          size - 1);
  } else {
    file.assign(data + 1, data + size);
    fromFile = (data[0] & 0x80) != 0;
  }

  // Taking alone: block by block as the size words say, or nothing at all.
  world.Reset();
  const std::vector<std::uint8_t>& before = world.defaults;  // what Reset() leaves
  if ((data[0] & 0x40) == 0) {
    if (TakeSendTelegramImage(SendFileRecordsOf(instance), file)) {
      // Each block written again is the file's where it was taken and the
      // old one elsewhere: what was taken reads back unchanged.
      CheckTaken(world, file, before);
    } else {
      Check(world.Image() == before);
    }
    return 0;
  }

  // The whole read, with its message and the reset of sending.
  bool read = false;
  if (fromFile) {
    if (FILE* f = std::fopen(world.path.c_str(), "wb")) {
      std::fwrite(file.data(), 1, file.size(), f);
      std::fclose(f);
    }
    read = ReadSendTelegramFile(instance, world.path);
  } else {
    read = ReadSendTelegramImage(instance, file, "fuzz.kvs");
  }
  if (read) {
    Check(world.MessagesShown() == 0);
    Check(!instance.app.sendDataModified);
    Check(instance.general.logSize == GeneralParams{}.logSize);
  } else {
    Check(world.MessagesShown() == 1);
    Check(instance.app.sendDataModified);
    Check(instance.app.sendTelegramFileName == "current.kvs");
    Check(world.Image() == before);
  }
  return 0;
}
