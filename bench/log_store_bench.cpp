// The log store: entries appended per second (also at 5,000 frames per
// second with the page written behind within a second), and moves and page
// seeks to any position of a full log of the largest size (2,000 units,
// 62,501 pages, about 2 GB). KIVO_BENCH_LOG_UNITS sets a smaller size where the disk or the
// time is short. Figures come as ratios against baselines of the same run:
// appending against encoding an entry and copying it into a page buffer,
// appending with the page written behind against appending without,
// moving and seeking against one plain 32,768-octet pread of a page.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "log/log_store.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "record/port_params.h"

namespace {

using namespace kivo;

TLogEntry Telegram(std::uint32_t i) {
  TLogEntry entry;
  entry.status = 40;
  entry.frameKind = kFrameVariable;
  entry.channel = static_cast<std::uint8_t>(1 + i % 4);
  std::uint8_t frame[64];
  const std::size_t count = 12 + i % 48;  // 44 to 92 stored octets
  for (std::size_t k = 0; k < count; ++k) frame[k] = static_cast<std::uint8_t>(i + k);
  frame[0] = 0x68;
  entry.SetFrame({frame, count});
  return entry;
}

struct Rig {
  VirtualClock clock;
  TimeBase timeBase{clock};
  GeneralParams general;
  PortParams port1, port2;
  bool writeFailed = false;
  LogStore store{LogStoreContext{clock, timeBase, general, port1, port2, writeFailed}};
  std::string path;

  Rig(const std::string& name, std::uint32_t units) {
    path = "/tmp/kivo-bench-" + std::to_string(::getpid()) + "-" + name + ".kvl";
    general.logSize = units;
    store.CreateLog(path);
  }
  ~Rig() {
    store.CloseLog();
    std::remove(path.c_str());
  }
};

std::uint32_t LargeLogUnits() {
  const char* text = std::getenv("KIVO_BENCH_LOG_UNITS");
  const long units = text ? std::strtol(text, nullptr, 10) : GeneralParams::kMaxLogSize;
  return static_cast<std::uint32_t>(units < 1 ? 1 : units > 2000 ? 2000 : units);
}

// A full log of the largest size, filled until the ring has wrapped once.
Rig& FullLog() {
  static std::unique_ptr<Rig> rig = [] {
    auto r = std::make_unique<Rig>("full", LargeLogUnits());
    const auto start = std::chrono::steady_clock::now();
    const std::uint32_t pages = r->store.Index().pageCount;
    for (std::uint32_t i = 0;
         r->store.Index().currentPage != 0 || i < 1000 || r->store.Index().oldestPage == 0; ++i) {
      r->store.Append(Telegram(i));
    }
    r->store.FlushLog();
    r->store.OpenReader();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "full log: %u pages, %u entries, filled in %.1f s\n", pages,
                 r->store.Index().lastSeqNo - r->store.Index().firstSeqNo + 1, took.count());
    return r;
  }();
  return *rig;
}

double PagePreadNanos(const std::string& path, std::uint32_t pages) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<std::uint8_t> page(kLogPageSize);
  std::mt19937 random(7);
  constexpr int kReads = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kReads; ++i) {
    benchmark::DoNotOptimize(
        ::pread(fd, page.data(), page.size(), static_cast<off_t>(PageOffset(random() % pages))));
  }
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  ::close(fd);
  return took.count() / kReads;
}

double Nanos(std::chrono::steady_clock::time_point start, benchmark::State& state) {
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / static_cast<double>(state.iterations());
}

// --- Append ---

double EncodeCopyNanos() {
  std::vector<std::uint8_t> page(kLogPageSize);
  std::array<std::uint8_t, TLogEntry::kBufferSize> encoded;
  constexpr std::uint32_t kEntries = 1'000'000;
  std::uint32_t at = 64;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    const TLogEntry entry = Telegram(i);
    entry.Encode(encoded);
    const std::uint16_t length = entry.StoredLength();
    if (at + length > kLogPageLimit) at = 64;
    std::copy_n(encoded.begin(), length, page.begin() + at);
    at += length;
    benchmark::DoNotOptimize(page.data());
  }
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / kEntries;
}

void BM_Append(benchmark::State& state) {
  Rig rig("append", 10);
  std::uint32_t i = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) rig.store.Append(Telegram(i++));
  const double perEntry = Nanos(start, state);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.counters["vs_encode_copy"] = perEntry / EncodeCopyNanos();
  if (rig.writeFailed) state.SkipWithError("log write failed");
}
BENCHMARK(BM_Append);

// Appending at 5,000 frames per second of the virtual clock, the main timer
// ticking every 54 ms; with `writeBehind` each tick lets the store write its
// page when due. Nanoseconds per entry.
double AppendAt5000PerSecond(Rig& rig, bool writeBehind, std::uint32_t entries) {
  constexpr std::uint32_t kPerTick = 5000 * 54 / 1000;
  std::uint32_t i = 0;
  const auto start = std::chrono::steady_clock::now();
  while (i < entries) {
    for (std::uint32_t k = 0; k < kPerTick; ++k) rig.store.Append(Telegram(i++));
    rig.clock.Advance(54);
    if (writeBehind) rig.store.WriteBehind();
  }
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / i;
}

// The cost of writing the page being filled within a second: the same
// appends with and without it, alternating, in the same run.
void BM_AppendWithWriteBehind(benchmark::State& state) {
  Rig with("with", 10), without("without", 10);
  constexpr std::uint32_t kEntries = 100'000;
  double withNanos = 0, withoutNanos = 0;
  for (auto _ : state) {
    withoutNanos += AppendAt5000PerSecond(without, false, kEntries);
    withNanos += AppendAt5000PerSecond(with, true, kEntries);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kEntries);
  state.counters["vs_without"] = withNanos / withoutNanos;
  if (with.writeFailed || without.writeFailed) state.SkipWithError("log write failed");
}
BENCHMARK(BM_AppendWithWriteBehind)->Unit(benchmark::kMillisecond);

// --- Reading a full log of the largest size ---

void BM_MoveToAnyPosition(benchmark::State& state) {
  Rig& rig = FullLog();
  LogStore& store = rig.store;
  const auto entries = static_cast<int>(store.Index().lastSeqNo - store.Index().firstSeqNo + 1);
  std::mt19937 random(11);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    // From the end of the log to a random position and back.
    const int back = LogStore::kUnfilteredMove + static_cast<int>(random() % entries);
    benchmark::DoNotOptimize(store.Move(-back));
    benchmark::DoNotOptimize(store.Move(entries));
  }
  const double perMove = Nanos(start, state) / 2;
  state.counters["vs_page_pread"] = perMove / PagePreadNanos(rig.path, store.Index().pageCount);
  state.counters["pages"] = store.Index().pageCount;
}
BENCHMARK(BM_MoveToAnyPosition)->Unit(benchmark::kMicrosecond);

void BM_FilteredMove(benchmark::State& state) {
  Rig& rig = FullLog();
  LogStore& store = rig.store;
  store.hooks.displayFilter = [](const TLogEntry& e) { return e.channel == 3; };
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Move(-1000));
    benchmark::DoNotOptimize(store.Move(1000));
  }
  const double perMove = Nanos(start, state) / 2;
  store.hooks.displayFilter = nullptr;
  state.counters["vs_page_pread"] = perMove / PagePreadNanos(rig.path, store.Index().pageCount);
}
BENCHMARK(BM_FilteredMove)->Unit(benchmark::kMicrosecond);

void BM_SeekPage(benchmark::State& state) {
  Rig& rig = FullLog();
  LogStore& store = rig.store;
  const std::uint32_t pages = store.Index().pageCount;
  std::mt19937 random(13);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.SeekPage(random() % pages, random() % 2 == 0));
  }
  const double perSeek = Nanos(start, state);
  state.counters["vs_page_pread"] = perSeek / PagePreadNanos(rig.path, pages);
}
BENCHMARK(BM_SeekPage)->Unit(benchmark::kMicrosecond);

}  // namespace
