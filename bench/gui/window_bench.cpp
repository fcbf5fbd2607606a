// The window program's processor time, measured on its main thread over a
// few seconds of its event loop: online with two idle ports against an empty
// window with a 54 ms timer, and with 5,000 frames a second arriving on a
// pseudo-terminal (the log must lose none of them; the display may skip).
// Runs offscreen unless a display is named.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/instance.h"
#include "app/port_service.h"
#include "app/startup.h"
#include "log/log_store.h"
#include "platform/headless.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "ui/main_window.h"
#include "ui/qt_event_loop.h"

namespace {

using namespace kivo;

constexpr int kSeconds = 5;

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `seconds` and returns the main thread's processor
// time as a share of one core.
double LoopCpuShare(int seconds) {
  const double cpu = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return (ThreadCpuSeconds() - cpu) / wall;
}

double EmptyWindowShare() {
  static const double share = [] {
    QWidget window;
    window.resize(1000, 700);
    window.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(54);
    LoopCpuShare(1);  // the first paint is not the steady state
    return LoopCpuShare(kSeconds);
  }();
  return share;
}

// The window program on a pseudo-terminal pair: port 1 on the master, port 2
// on the slave, both without a link procedure (they only listen).
struct WindowRig {
  std::string directory;
  PosixClock clock;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  std::unique_ptr<FixedFolders> folders;
  QuietPrompter prompter;
  QtEventLoop events;
  PseudoTerminal pty;
  std::unique_ptr<TermiosPortEnumerator> devices;
  std::unique_ptr<MasterBindingEnumerator> ports;
  std::unique_ptr<Instance> instance;
  std::unique_ptr<PortService> service;
  std::unique_ptr<TfmMain> window;

  // `arguments`: the window's command line; `goOnline`: the ports too.
  explicit WindowRig(const std::vector<std::string>& arguments = {}, bool goOnline = true) {
    directory = "/tmp/kivo-window-bench-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(directory);
    for (const char* file : {"KivoText.ger", "KivoText.usa"}) {
      std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + file, directory + file,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    folders = std::make_unique<FixedFolders>(directory);
    devices =
        std::make_unique<TermiosPortEnumerator>(std::map<int, std::string>{{2, pty.slavePath()}});
    ports = std::make_unique<MasterBindingEnumerator>(*devices);
    ports->BindMaster(1, pty.master());
    instance = std::make_unique<Instance>(
        Platform{clock, lock, registry, *folders, prompter, ports.get(), &events});
    StartInstance(*instance);
    for (int i = 0; i < 2; ++i) {
      PortParams& p = instance->ports[static_cast<std::size_t>(i)].params;
      p.portNumber = static_cast<std::uint32_t>(i + 1);
      p.function = PortFunction::Unassigned;
    }
    service = std::make_unique<PortService>(*instance, events);
    window = std::make_unique<TfmMain>(*instance, arguments, service.get());
    window->resize(1180, 760);
    window->show();
    if (goOnline) window->aGoOnlClick();
  }
  ~WindowRig() {
    if (instance->Online()) window->aGoOfflClick();
    window.reset();
    service.reset();
    instance->logStore.CloseLog();
    instance.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
};

void BM_OnlineWithTwoIdlePorts(benchmark::State& state) {
  const double empty = EmptyWindowShare();
  double share = 0;
  for (auto _ : state) {
    WindowRig rig;
    if (!rig.instance->Online()) state.SkipWithError("the ports did not open");
    LoopCpuShare(1);  // the first paint is not the steady state
    share = LoopCpuShare(kSeconds);
  }
  state.counters["cpu_share"] = share;
  state.counters["empty_window_share"] = empty;
  state.counters["vs_empty_window"] = empty > 0 ? share / empty : 0;
}
BENCHMARK(BM_OnlineWithTwoIdlePorts)->Iterations(1)->Unit(benchmark::kSecond);

// 5,000 fixed frames a second written to the master in bursts of 50 every
// 10 ms, received by port 2.
void BM_FiveThousandFramesASecond(benchmark::State& state) {
  double share = 0;
  std::uint64_t written = 0, logged = 0;
  for (auto _ : state) {
    WindowRig rig;
    rig.window->ShowOnlineDisplay();
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> frames{0};
    const int master = rig.pty.master();
    std::thread writer([&] {
      std::vector<std::uint8_t> burst;
      for (int i = 0; i < 50; ++i) {
        const std::uint8_t address = static_cast<std::uint8_t>(1 + i % 3);
        const std::uint8_t frame[] = {0x10, 0x5B, address,
                                      static_cast<std::uint8_t>(0x5B + address), 0x16};
        burst.insert(burst.end(), frame, frame + 5);
      }
      auto next = std::chrono::steady_clock::now();
      while (!stop) {
        std::size_t done = 0;
        while (done < burst.size()) {
          const ssize_t n = ::write(master, burst.data() + done, burst.size() - done);
          if (n <= 0) break;
          done += static_cast<std::size_t>(n);
        }
        frames += 50;
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
      }
    });
    share = LoopCpuShare(kSeconds);
    stop = true;
    writer.join();
    // The last bursts are read before counting.
    LoopCpuShare(1);
    written = frames;
    logged = rig.instance->logStore.ChannelCount(3).telegrams;
  }
  state.counters["cpu_share"] = share;
  state.counters["frames_written"] = static_cast<double>(written);
  state.counters["frames_lost"] = static_cast<double>(written - std::min(written, logged));
}
BENCHMARK(BM_FiveThousandFramesASecond)->Iterations(1)->Unit(benchmark::kSecond);

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// The window with a log of the largest size (2,000 units, about 2 GB; fewer
// with KIVO_BENCH_LOG_UNITS) in its log display, the thumb dragged over it.
void BM_ResidentMemoryWithALargeLog(benchmark::State& state) {
  const char* text = std::getenv("KIVO_BENCH_LOG_UNITS");
  const long units = std::clamp(text ? std::strtol(text, nullptr, 10) : 2000L, 1L, 2000L);
  const std::string path = "/tmp/kivo-window-bench-" + std::to_string(::getpid()) + "-large.lg3";
  {
    VirtualClock clock;
    TimeBase timeBase(clock);
    GeneralParams general;
    general.logSize = static_cast<std::uint32_t>(units);
    PortParams port1, port2;
    bool failed = false;
    LogStore store(LogStoreContext{clock, timeBase, general, port1, port2, failed});
    store.CreateLog(path);
    TLogEntry entry;
    entry.status = 40;
    entry.channel = 1;
    entry.frameKind = kFrameFixed;
    const std::uint8_t poll[] = {0x10, 0x5B, 0x01, 0x5C, 0x16};
    entry.SetFrame(poll);
    for (std::uint32_t i = 0;
         store.Index().currentPage != 0 || i < 1000 || store.Index().oldestPage == 0; ++i) {
      store.Append(entry);
    }
    store.CloseLog();
  }
  double before = 0, after = 0, pages = 0;
  for (auto _ : state) {
    before = ResidentMegabytes();
    WindowRig rig({path}, false);
    rig.window->ShowLogDisplay();
    for (int position = 1000; position >= 0; position -= 50) {
      rig.window->scrollBar()->setSliderPosition(position);
      QApplication::processEvents();
    }
    after = ResidentMegabytes();
    pages = rig.instance->logStore.Index().pageCount;
  }
  std::remove(path.c_str());
  state.counters["rss_mb"] = after;
  state.counters["rss_mb_before_window"] = before;
  state.counters["pages"] = pages;
}
BENCHMARK(BM_ResidentMemoryWithALargeLog)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
