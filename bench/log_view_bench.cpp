// The log view: a redraw of the log display at any position of a log of the
// largest size (2,000 units, about 62,500 pages or 2 GB, built here), and
// dragging the thumb from the end to the start and back, against a redraw at
// the end of a log of one page. KIVO_BENCH_LOG_UNITS sets a smaller size
// where the disk or the time is short. The resident memory with the large
// log open is reported as rss_mb.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/log_view.h"
#include "app/startup.h"
#include "log/log_store.h"
#include "platform/headless.h"
#include "platform/sim/virtual_clock.h"

namespace {

using namespace kivo;

// Draws nothing; the view's own work is what is measured.
class NullCanvas : public ViewCanvas {
 public:
  std::size_t characters = 0;
  void Fill(int, int, int, int, std::uint32_t) override {}
  void Text(int, int, std::string_view text, std::uint32_t, std::uint32_t, bool) override {
    characters += text.size();
  }
  void ScrollUp(int, int, int) override {}
};

TLogEntry Telegram(std::uint32_t i) {
  TLogEntry entry;
  entry.status = 40;
  entry.channel = static_cast<std::uint8_t>(1 + i % 4);
  if (i % 3 == 0) {
    const std::uint8_t poll[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
    entry.frameKind = kFrameFixed;
    entry.SetFrame(poll);
    return entry;
  }
  // A measurand telegram of type 9 with nine values.
  std::uint8_t frame[32] = {0x68, 0x1A, 0x1A, 0x68, 0x08, 0x01, 0x09, 0x09, 0x02, 0x01, 0xF4, 0x90};
  for (int k = 12; k < 30; ++k) frame[k] = static_cast<std::uint8_t>(i + k);
  std::uint8_t sum = 0;
  for (int k = 4; k < 30; ++k) sum = static_cast<std::uint8_t>(sum + frame[k]);
  frame[30] = sum;
  frame[31] = 0x16;
  entry.frameKind = kFrameVariable;
  entry.SetFrame(frame);
  return entry;
}

// An instance of its own in a scratch folder with the language files.
struct Station {
  std::string directory;
  VirtualClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  std::unique_ptr<FixedFolders> folders;
  QuietPrompter prompter;
  std::unique_ptr<Instance> instance;
  NullCanvas canvas;
  std::unique_ptr<LogView> view;

  Station(const std::string& name, std::uint32_t units, bool fill) {
    directory = "/tmp/kivo-bench-" + std::to_string(::getpid()) + "-" + name + "/";
    std::filesystem::create_directories(directory);
    for (const char* file : {"KivoText.ger", "KivoText.usa"}) {
      std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + file, directory + file,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    folders = std::make_unique<FixedFolders>(directory);
    instance = std::make_unique<Instance>(
        Platform{clock, lock, registry, *folders, prompter, nullptr, &clock});
    StartInstance(*instance);
    CreateMainState(*instance, {});
    instance->general.logSize = units;
    LogStore& log = instance->logStore;
    log.ClearLog();
    if (fill) {
      // Until the ring has wrapped once.
      for (std::uint32_t i = 0;
           log.Index().currentPage != 0 || i < 1000 || log.Index().oldestPage == 0; ++i) {
        log.Append(Telegram(i));
      }
    } else {
      for (std::uint32_t i = 0; i < 200; ++i) log.Append(Telegram(i));
    }
    log.FlushLog();
    log.CloseReader();
    log.OpenReader();
    instance->settings.onlineDisplay = 0;
    view = std::make_unique<LogView>(*instance, canvas);
    ViewGeometry g;
    g.lineHeight = 16;
    g.headingHeight = 18;
    g.bottom = 900;
    view->SetGeometry(g);
    view->Redraw(0, -1);
  }
  ~Station() {
    view.reset();
    instance->logStore.CloseLog();
    instance.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
};

std::uint32_t LargeLogUnits() {
  const char* text = std::getenv("KIVO_BENCH_LOG_UNITS");
  const long units = text ? std::strtol(text, nullptr, 10) : GeneralParams::kMaxLogSize;
  return static_cast<std::uint32_t>(std::clamp(units, 1L, 2000L));
}

Station& Large() {
  static std::unique_ptr<Station> station = [] {
    const auto start = std::chrono::steady_clock::now();
    auto s = std::make_unique<Station>("large", LargeLogUnits(), true);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const TLogIndex& index = s->instance->logStore.Index();
    std::fprintf(stderr, "large log: %u pages, %u entries, built in %.1f s\n", index.pageCount,
                 index.lastSeqNo - index.firstSeqNo + 1, took.count());
    return s;
  }();
  return *station;
}

Station& Small() {
  static Station station("small", 1, false);
  return station;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Microseconds of one redraw at the end of the one-page log.
double SmallEndMicros() {
  Station& s = Small();
  constexpr int kRounds = 300;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRounds; ++i) benchmark::DoNotOptimize(s.view->Redraw(viewcode::kEnd, -1));
  return Seconds(start) * 1e6 / kRounds;
}

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

void BM_RedrawAtTheEndOfAOnePageLog(benchmark::State& state) {
  Station& s = Small();
  for (auto _ : state) benchmark::DoNotOptimize(s.view->Redraw(viewcode::kEnd, -1));
}
BENCHMARK(BM_RedrawAtTheEndOfAOnePageLog)->Unit(benchmark::kMicrosecond);

void BM_RedrawAtAnyPositionOfTheLargeLog(benchmark::State& state) {
  Station& s = Large();
  std::mt19937 random(5);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.view->Redraw(0, 1 + static_cast<int>(random() % 999)));
  }
  const double micros = Seconds(start) * 1e6 / static_cast<double>(state.iterations());
  state.counters["vs_small_end"] = micros / SmallEndMicros();
  state.counters["pages"] = s.instance->logStore.Index().pageCount;
  state.counters["rss_mb"] = ResidentMegabytes();
}
BENCHMARK(BM_RedrawAtAnyPositionOfTheLargeLog)->Unit(benchmark::kMicrosecond);

// The thumb dragged from the end to the start and back, a redraw for each
// position it passes. Each position's cost is its fastest of the drags (a
// single time can be stretched by whatever else the machine does); the
// dearest position counts.
void BM_DragTheThumbOverTheLargeLog(benchmark::State& state) {
  Station& s = Large();
  constexpr int kSteps = 101;
  std::vector<double> fastest(2 * kSteps, 1e300);
  for (auto _ : state) {
    for (int pass = 0; pass < 2; ++pass) {
      for (int step = 0; step < kSteps; ++step) {
        const int position = pass == 0 ? 1000 - step * 10 : step * 10;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(s.view->Redraw(0, position));
        double& f = fastest[static_cast<std::size_t>(pass * kSteps + step)];
        f = std::min(f, Seconds(start) * 1e6);
      }
    }
  }
  const double small = SmallEndMicros();
  double worst = 0, sum = 0;
  for (double f : fastest) {
    worst = std::max(worst, f);
    sum += f;
  }
  state.counters["worst_vs_small_end"] = worst / small;
  state.counters["mean_vs_small_end"] = sum / static_cast<double>(fastest.size()) / small;
  state.counters["rss_mb"] = ResidentMegabytes();
}
BENCHMARK(BM_DragTheThumbOverTheLargeLog)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
