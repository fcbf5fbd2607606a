// Export speed: a log of 1,000,000 entries written out as text in each format,
// next to a plain sequential read of the same file in the same run (the ratio
// is the figure to watch), and the copy into a new log.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/instance.h"
#include "app/output_run.h"
#include "log/log_store.h"
#include "platform/headless.h"
#include "platform/posix/posix_platform.h"
#include "platform/sim/virtual_clock.h"
#include "record/ft12.h"
#include "text/text_table.h"

namespace kivo {
namespace {

constexpr int kEntries = 1'000'000;

class NullSink : public LineSink {
 public:
  std::uint64_t octets = 0;
  bool Line(std::string_view line) override {
    octets += line.size() + 2;
    return true;
  }
};

// One shared log of a million entries: polls, answers and measurands.
struct Fixture {
  VirtualClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  XdgFolders folders;
  QuietPrompter prompter;
  Instance instance{Platform{clock, lock, registry, folders, prompter}};
  std::string directory;
  std::string path;

  Fixture() {
    std::setlocale(LC_ALL, "C");
    directory = (std::filesystem::temp_directory_path() / "kivo-export-bench").string() + "/";
    std::filesystem::create_directories(directory);
    path = directory + "million.kvl";
    instance.texts.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa");
    instance.texts.ApplyPostLoad();
    instance.general.logSize = 80;
    instance.timeBase.Synchronise();
    LogStore& log = instance.logStore;
    log.CreateLog(path);
    std::vector<std::uint8_t> measurands = {0x68, 0x0F, 0x0F, 0x68, 0x08, 0x01, 0x03, 0x84,
                                            0x02, 0x01, 0xA0, 0x90, 0x19, 0x02, 0x31, 0x04,
                                            0x00, 0x00, 0x49, 0x1A, 0x00, 0x16};
    measurands[20] = ft12::FrameChecksum(measurands);
    const std::uint8_t poll[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
    TLogEntry entry;
    entry.status = 40;
    for (int i = 0; i < kEntries; ++i) {
      if (i % 2 == 0) {
        entry.frameKind = kFrameFixed;
        entry.channel = 2;
        entry.control = 0x5B;
        entry.SetFrame(poll);
      } else {
        entry.frameKind = kFrameVariable;
        entry.channel = 1;
        entry.control = 0x08;
        entry.SetFrame(measurands);
      }
      entry.linkAddress = 1;
      log.Append(entry);
      clock.Advance(5);
    }
    log.CloseLog();
    log.OpenLog(path, false, LogOpenMode::ReadOnly);
  }
  ~Fixture() { std::filesystem::remove_all(directory); }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_PlainSequentialRead(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<char> buffer(1 << 16);
  std::uint64_t octets = 0;
  for (auto _ : state) {
    int fd = ::open(f.path.c_str(), O_RDONLY);
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
      octets += static_cast<std::uint64_t>(n);
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(octets));
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_PlainSequentialRead)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportText(benchmark::State& state) {
  Fixture& f = Shared();
  const auto format = static_cast<DisplayFormat>(state.range(0));
  std::uint64_t entries = 0, octets = 0;
  for (auto _ : state) {
    RenderContext context = MakeRenderContext(f.instance, f.instance.logStore.Index().firstSeqNo);
    context.format = format;
    NullSink sink;
    OutputResult result = RunTextOutput(f.instance.logStore, context, {}, sink);
    entries += result.entries;
    octets += sink.octets;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries));
  state.SetBytesProcessed(static_cast<std::int64_t>(octets));
}
BENCHMARK(BM_ExportText)
    ->Arg(static_cast<int>(DisplayFormat::Log))
    ->Arg(static_cast<int>(DisplayFormat::Compact))
    ->Arg(static_cast<int>(DisplayFormat::OneLine))
    ->Arg(static_cast<int>(DisplayFormat::Octets))
    ->Arg(static_cast<int>(DisplayFormat::Csv))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_ExportToLog(benchmark::State& state) {
  Fixture& f = Shared();
  std::uint64_t entries = 0;
  for (auto _ : state) {
    OutputResult result =
        RunLogOutput(f.instance, f.instance.logStore, f.directory + "copy.kvl", {});
    entries += result.entries;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries));
}
BENCHMARK(BM_ExportToLog)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace kivo
