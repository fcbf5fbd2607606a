// The log store over arbitrary files: opened for reading, walked to both ends
// and moved about with and without the display filter; then continued,
// appended to and closed, and read once more. The page count in the index is
// folded into 1 to 16: a walk passes every page, missing ones included, and
// more pages would only make a run slower, not reach other code.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "log/log_store.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "record/port_params.h"
#include "scratch.h"
#include "util/bytes.h"

namespace {

void Walk(kivo::LogStore& store, std::minstd_rand& random) {
  store.OpenReader();
  while (store.StepForward()) {
  }
  while (store.StepBack()) {
  }
  for (int i = 0; i < 16; ++i) {
    const int choice = static_cast<int>(random() % 4);
    if (choice == 0) {
      store.SeekPage(static_cast<std::uint32_t>(random() % (store.Index().pageCount + 2)),
                     random() % 2 == 0);
    } else {
      const int magnitude = choice == 1 ? 1 + static_cast<int>(random() % 40)
                                        : 4990 + static_cast<int>(random() % 3000);
      store.Move(random() % 2 == 0 ? magnitude : -magnitude);
    }
    (void)store.CurrentEntry().Frame();
  }
  store.CloseReader();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      kivo_fuzz::ScratchFolder() + "kivo-log-fuzz-" + std::to_string(::getpid()) + ".kvl";
  std::vector<std::uint8_t> file(data, data + size);
  constexpr std::size_t kPageCountAt = kivo::kLogHeaderSize + kivo::TLogIndex::Offsets::PageCount;
  if (file.size() >= kPageCountAt + 4) {
    const std::uint32_t pages = kivo::GetU32(kivo::ConstBytes(file), kPageCountAt);
    kivo::PutU32(kivo::Bytes(file), kPageCountAt, pages == 0 ? 0 : 1 + (pages - 1) % 16);
  }
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  std::uint32_t seed = 2166136261u;
  for (std::size_t i = 0; i < size && i < 2200; i += 7) seed = (seed ^ data[i]) * 16777619u;
  std::minstd_rand random(seed | 1);

  kivo::VirtualClock clock;
  kivo::TimeBase timeBase(clock);
  kivo::GeneralParams general;
  general.logSize = 0;
  kivo::PortParams port1, port2;
  bool writeFailed = false;
  kivo::LogStore store({clock, timeBase, general, port1, port2, writeFailed});
  store.hooks.displayFilter = [](const kivo::TLogEntry& e) { return e.channel % 2 == 1; };

  if (!store.OpenLog(path, false, kivo::LogOpenMode::ReadOnly)) return 0;
  Walk(store, random);
  store.CloseLog();

  if (store.OpenLog(path, false, kivo::LogOpenMode::KeepUnusable)) {
    kivo::TLogEntry entry;
    entry.status = 40;
    entry.frameKind = kivo::kFrameVariable;
    entry.channel = 1;
    const std::uint8_t frame[] = {0x68, 9, 9, 0x68, 0x08, 3, 5, 0x81, 9, 3, 0xFF, 0xF3, 0x16};
    entry.SetFrame(frame);
    for (int i = 0; i < 3; ++i) store.Append(entry);
    store.CloseLog();
    if (store.OpenLog(path, false, kivo::LogOpenMode::ReadOnly)) Walk(store, random);
    store.CloseLog();
  }
  return 0;
}
