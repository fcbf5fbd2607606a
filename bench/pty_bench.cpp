// The link engine over kernel pseudo-terminals, in real time, each Instance
// in a thread of its own driven by the poll loop of the command-line program
// (port descriptor -> OnDataAvailable + RunPostedLinkSteps, main-timer tick
// every kTimerIntervalMs), as kivo-cli drives it.
//
// BM_SecondaryTurnaroundOverPty: a secondary (address 1) on the master side
// of a pseudo-terminal; the benchmark thread plays the primary on the slave
// side with plain write() and read(). After a reset of the remote link, 1,000
// class 2 polls with alternating FCB. The turnaround of one poll runs from the
// return of the write() that put its last octet on the line to the return of
// the read() that delivers the first octet of the answer; the waiting is done
// in poll() (no busy loop), as the poll loop waits. The rest of the answer is
// read before the next poll, and the next poll goes out only once the
// secondary's transmit sequence has ended (the character time of the answer,
// as a master on a real line hears the whole answer only then). With
// back_to_back:1 the polls come as from a fast master: each measured poll is
// written as soon as the answer to the poll before it has arrived, while the
// secondary still counts that answer as on the line; the secondary reads it
// at once and answers it at once (p99_vs_floor within 1.5).
// Figures, in microseconds: p50_us, p99_us, max_us. Beside them the floor of
// the kernel path, measured in the same run, poll for poll, over a second
// pseudo-terminal of the same kind: a thread that waits in poll() for the 5
// octets of a poll and writes one octet back at once (floor_p50_us, ...).
// p50_vs_floor and p99_vs_floor are the engine's figures over the floor's:
// what assembling, validating, logging and answering add to the bare
// wake-up-read-write path. added_p50_us is the median of the differences of
// each poll and the floor's round just before it: on a machine that others
// keep busy the two distributions move with the load, their pairs less so.
// write_p99_us is the p99 of the poll's write() itself: the writer may be
// preempted on its way back from write() (the kernel worker that moves the
// octets to the other side runs on its CPU) and find the answer already
// there, and that turnaround then reads short, even below the floor. So
// from_write_call:1 runs the same with the time taken from the call of
// write() instead, which holds the write's own cost of a few microseconds
// for both sides alike. poll_faults counts polls the secondary did not log
// as correct (0).
//
// BM_PrimaryPollingCpuTime: a primary polling address 1 every 600 ms against
// a secondary, the two on the two sides of a pseudo-terminal, in real time for
// kPollingSeconds (KIVO_BENCH_SECONDS=n for a shorter or longer run). Figures:
// the primary thread's CPU time (CLOCK_THREAD_CPUTIME_ID) in ms and in percent
// of the wall time; the frames it received (polls_answered, the answer to the
// reset included; answers_faulty: those not logged as correct) and sent;
// cpu_us_per_poll, its CPU time (ticks included) over the frames received;
// the secondary's CPU time; and as baseline a poll loop in a third thread
// that only ticks every kTimerIntervalMs and watches an idle pseudo-terminal.
// vs_idle_loop is the primary's CPU time over that loop's: what an idle link
// costs beyond being awake for the main timer.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/frame_codec.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/headless.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/termios_port.h"
#include "record/frame_status.h"
#include "text/number_reader.h"

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

constexpr int kTurnaroundPolls = 1000;
// The character time of the secondary's answer, during which its transmit
// sequence waits: 3 ms at this rate, 8 ms at 9600.
constexpr std::uint32_t kTurnaroundBaud = 115200;
constexpr int kAnswerTimeoutMs = 2000;
constexpr int kPollingSeconds = 60;
constexpr int kLongestPollingSeconds = 3600;
constexpr std::uint32_t kPollCycleMs = 600;
constexpr std::uint8_t kAddress = 1;

const Octets kResetRemoteLink{0x10, 0x40, 0x01, 0x41, 0x16};
// Class 2 polls with FCB 1 and 0 in turn; the first after a reset has FCB 1.
const std::array<Octets, 2> kClass2Polls{Octets{0x10, 0x7B, 0x01, 0x7C, 0x16},
                                         Octets{0x10, 0x5B, 0x01, 0x5C, 0x16}};

// A program directory with the language files and an application-data
// folder, both in a scratch folder that goes with the object.
class ScratchFolders : public Folders {
 public:
  explicit ScratchFolders(const std::string& name) {
    root_ = (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
                .string() +
            "/";
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ + "program");
    std::filesystem::create_directories(root_ + "appdata");
    for (const char* file : {"KivoText.usa", "KivoText.ger"}) {
      std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + file, root_ + "program/" + file);
    }
  }
  ~ScratchFolders() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string ProgramDirectory() override { return root_ + "program/"; }
  std::string AppDataFolder() override { return root_ + "appdata/"; }
  std::vector<std::string> ProgramFilesFolders() override { return {"/usr/", "/opt/"}; }

 private:
  std::string root_;
};

// One Instance with its platform and its poll loop. Made, run and destroyed
// in the one thread that owns it.
struct Station {
  PosixClock clock;
  PollLoop loop{clock};
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  ScratchFolders folders;
  QuietPrompter prompter;
  Instance instance;
  // From the log; port 1 has no watched modem lines and a fixed RTS, so no
  // line event is logged as a frame.
  std::uint64_t framesReceived = 0;
  std::uint64_t framesFaulty = 0;  // received, not logged as correct
  std::uint64_t framesSent = 0;

  Station(const std::string& name, PortEnumerator& ports)
      : folders(name),
        instance(Platform{clock, lock, registry, folders, prompter, &ports, &loop}) {}

  PortRecord& port() { return instance.ports[0]; }

  // Starts the Instance with port 1 in `function` for address 1 and goes
  // online; false when it did not start or the port did not open.
  bool Start(PortFunction function, std::uint32_t baud = PortParams{}.baud) {
    if (StartInstance(instance) != StartOutcome::Run) return false;
    CreateMainState(instance, {});
    PortParams& p = port().params;
    p.portNumber = 1;
    p.function = function;
    p.baud = baud;
    p.pollCycle = kPollCycleMs;
    p.addressCount = 1;
    p.addresses[0] = kAddress;
    p.addresses[1] = PortParams::kAddressEnd;
    instance.logStore.hooks.logFilter = [this](const TLogEntry& entry) {
      if (entry.frameKind == kFrameEvent) return true;
      if (entry.channel == port().receiveChannel) {
        ++framesReceived;
        if (entry.status != status::kCorrect) ++framesFaulty;
      } else if (entry.channel == port().transmitChannel) {
        ++framesSent;
      }
      return true;
    };
    GoOnline(instance);
    return port().open && port().serial && port().serial->Descriptor() >= 0;
  }

  // The poll loop of the command-line program until `keepRunning` says no.
  void Run(const std::function<bool()>& keepRunning) {
    const int fd = port().serial->Descriptor();
    loop.Watch(fd, [this] {
      OnDataAvailable(instance.linkContext, 0);
      RunPostedLinkSteps(instance.linkContext);
    });
    loop.SetPeriodic(kTimerIntervalMs, [this] { OnTimerTick(instance); });
    loop.Run([&] {
      // Steps posted by a fired one-shot timer run here at the latest.
      RunPostedLinkSteps(instance.linkContext);
      return keepRunning();
    });
    loop.Unwatch(fd);
  }
};

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

bool MakeRaw(int fd) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return false;
  ::cfmakeraw(&settings);
  return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

// The slave side of a pseudo-terminal as the benchmark's own line end:
// raw, non-blocking.
class LineEnd {
 public:
  explicit LineEnd(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd_ >= 0 && !MakeRaw(fd_)) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~LineEnd() {
    if (fd_ >= 0) ::close(fd_);
  }
  LineEnd(const LineEnd&) = delete;
  LineEnd& operator=(const LineEnd&) = delete;
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::span<const std::uint8_t> octets) {
  std::size_t done = 0;
  while (done < octets.size()) {
    const ssize_t n = ::write(fd, octets.data() + done, octets.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, kAnswerTimeoutMs);
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

// Waits in poll() until the descriptor has octets, then reads what is there.
// 0 when nothing came before the deadline or the descriptor failed.
std::size_t ReadSome(int fd, std::span<std::uint8_t> out, SteadyClock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() < 0) return 0;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return 0;
    const ssize_t n = ::read(fd, out.data(), out.size());
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;
    if (left.count() == 0) return 0;
  }
}

// The length of the FT 1.2 frame that `octets` begin: 0 while the header
// is not complete, nullopt when the first octet starts no frame.
std::optional<std::size_t> FrameLength(std::span<const std::uint8_t> octets) {
  if (octets.empty()) return 0;
  switch (octets[0]) {
    case ft12::kSingleCharacter:
      return 1;
    case ft12::kStartFixed:
      return ft12::kFixedLength;
    case ft12::kStartVariable:
      if (octets.size() <= ft12::at::kLength) return 0;
      return octets[ft12::at::kLength] + ft12::kVariableOverhead;
    default:
      return std::nullopt;
  }
}

// Reads one answer frame; `firstAt` is when its first octet was read.
bool ReadAnswer(int fd, Octets& frame, SteadyClock::time_point& firstAt) {
  frame.clear();
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  std::array<std::uint8_t, ft12::kMaxFrameLength> buffer{};
  std::size_t wanted = 1;
  while (frame.size() < wanted) {
    const std::size_t n = ReadSome(fd, std::span(buffer.data(), wanted - frame.size()), deadline);
    if (n == 0) return false;
    if (frame.empty()) firstAt = SteadyClock::now();
    frame.insert(frame.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
    const std::optional<std::size_t> length = FrameLength(frame);
    if (!length) return false;
    wanted = std::max(*length, frame.size() + (*length == 0 ? 1 : 0));
  }
  return true;
}

bool IsAnswerOfAddress(const Octets& frame) {
  if (frame.size() == 1) return frame[0] == ft12::kSingleCharacter;
  if (frame.back() != ft12::kEndCharacter) return false;
  const std::size_t at =
      frame[0] == ft12::kStartFixed ? ft12::at::kFixedAddress : ft12::at::kVariableAddress;
  return frame.size() > at && frame[at] == kAddress;
}

std::string ToHex(const Octets& octets) {
  std::string text;
  char buffer[4];
  for (std::uint8_t octet : octets) {
    std::snprintf(buffer, sizeof buffer, "%02X ", octet);
    text += buffer;
  }
  return text;
}

struct Percentiles {
  double p50 = 0;
  double p99 = 0;
  double max = 0;
};

// Nearest rank.
Percentiles Summarise(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  const auto rank = [&](double fraction) {
    const auto index =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(index, 1, samples.size()) - 1];
  };
  return {rank(0.50), rank(0.99), samples.back()};
}

// --- BM_SecondaryTurnaroundOverPty ---

struct SecondarySide {
  std::promise<bool> ready;
  std::atomic<bool> stop{false};
  // Frames sent by the secondary whose transmit sequence has ended.
  std::atomic<std::uint64_t> settledAnswers{0};
  // Written by the secondary's thread before it ends.
  std::uint64_t pollFaults = 0;
};

void RunSecondary(int masterFd, SecondarySide& side) {
  TermiosPortEnumerator noDevices{{}, "/nonexistent", "/nonexistent"};
  MasterBindingEnumerator ports{noDevices};
  ports.BindMaster(1, masterFd);
  Station station("kivo-pty-bench-secondary", ports);
  if (!station.Start(PortFunction::Secondary, kTurnaroundBaud)) {
    side.ready.set_value(false);
    return;
  }
  side.ready.set_value(true);
  PortRecord& port = station.port();
  station.Run([&] {
    if (TransmitIdle(port) && !port.stepPosted) {
      side.settledAnswers.store(station.framesSent, std::memory_order_release);
    }
    return !side.stop.load(std::memory_order_acquire);
  });
  side.pollFaults = station.framesFaulty;
  GoOffline(station.instance);
}

// The floor: a poll of 5 octets in, one octet out at once.
void RunEcho(int fd, const std::atomic<bool>& stop) {
  constexpr std::size_t kPollLength = ft12::kFixedLength;
  const std::uint8_t answer = ft12::kSingleCharacter;
  std::array<std::uint8_t, 64> buffer{};
  std::size_t held = 0;
  while (!stop.load(std::memory_order_acquire)) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(fd, buffer.data() + held, buffer.size() - held);
    if (n <= 0) continue;
    held += static_cast<std::size_t>(n);
    while (held >= kPollLength) {
      if (::write(fd, &answer, 1) != 1) return;
      held -= kPollLength;
      std::memmove(buffer.data(), buffer.data() + kPollLength, held);
    }
  }
}

bool WaitSettled(const std::atomic<std::uint64_t>& settled, std::uint64_t answers) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  while (settled.load(std::memory_order_acquire) < answers) {
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

struct Round {
  double turnaroundUs = 0;  // from the return of write()
  double writeUs = 0;       // the write() itself

  double From(bool writeCall) const { return writeCall ? writeUs + turnaroundUs : turnaroundUs; }
};

// One request and its answer; nullopt without a whole answer frame of
// address 1.
std::optional<Round> Turnaround(int fd, const Octets& request, Octets& answer) {
  const auto start = SteadyClock::now();
  if (!WriteAll(fd, request)) return std::nullopt;
  const auto written = SteadyClock::now();
  SteadyClock::time_point firstAt;
  if (!ReadAnswer(fd, answer, firstAt) || !IsAnswerOfAddress(answer)) return std::nullopt;
  return Round{Micros(firstAt - written).count(), Micros(written - start).count()};
}

struct TurnaroundFigures {
  std::vector<double> engine;
  std::vector<double> engineWrites;
  std::vector<double> floor;
  std::string error;
};

// The polls of the run, each after one round of the floor so that both see
// the same load of the machine. Both go out while the secondary is idle in
// its poll loop.
TurnaroundFigures MeasureTurnarounds(int secondaryLine, int echoLine, SecondarySide& side,
                                     bool fromWriteCall, bool backToBack) {
  TurnaroundFigures figures;
  Octets answer;
  if (!Turnaround(secondaryLine, kResetRemoteLink, answer)) {
    figures.error = "the reset of the remote link was not answered";
    return figures;
  }
  std::uint64_t answers = 1;
  for (int i = 0; i < kTurnaroundPolls; ++i) {
    if (!WaitSettled(side.settledAnswers, answers)) {
      figures.error = "the secondary's transmit sequence did not end";
      return figures;
    }
    // Octets beyond the answers would be read as the next answer.
    if (std::uint8_t stray = 0; ::read(secondaryLine, &stray, 1) > 0) {
      figures.error = "the secondary sent more than its answer to poll " + std::to_string(i);
      return figures;
    }
    const std::optional<Round> floor = Turnaround(echoLine, kClass2Polls[0], answer);
    if (!floor) {
      figures.error = "the echo did not answer";
      return figures;
    }
    figures.floor.push_back(floor->From(fromWriteCall));
    // Back to back: a poll whose answer is still counted as on the line,
    // then at once the measured poll.
    if (backToBack) {
      if (!Turnaround(secondaryLine, kClass2Polls[static_cast<std::size_t>((answers - 1) & 1)],
                      answer)) {
        figures.error = "the poll before poll " + std::to_string(i + 1) + " got no answer";
        return figures;
      }
      ++answers;
    }
    const std::optional<Round> engine = Turnaround(
        secondaryLine, kClass2Polls[static_cast<std::size_t>((answers - 1) & 1)], answer);
    if (!engine) {
      figures.error =
          "poll " + std::to_string(i + 1) + " got no answer of address 1: " + ToHex(answer);
      return figures;
    }
    ++answers;
    figures.engine.push_back(engine->From(fromWriteCall));
    figures.engineWrites.push_back(engine->writeUs);
  }
  return figures;
}

void BM_SecondaryTurnaroundOverPty(benchmark::State& state) {
  std::setlocale(LC_ALL, "C");
  for (auto _ : state) {
    PseudoTerminal pty;
    PseudoTerminal floorPty;
    if (!pty.ok() || !floorPty.ok() || !MakeRaw(floorPty.master())) {
      state.SkipWithError(pty.ok() ? floorPty.error().c_str() : pty.error().c_str());
      return;
    }
    LineEnd line(pty.slavePath());
    LineEnd echoLine(floorPty.slavePath());
    if (!line.ok() || !echoLine.ok()) {
      state.SkipWithError("the slave side of a pseudo-terminal did not open");
      return;
    }
    SecondarySide side;
    std::future<bool> ready = side.ready.get_future();
    std::atomic<bool> echoStop{false};
    std::thread secondary(RunSecondary, pty.master(), std::ref(side));
    std::thread echo(RunEcho, floorPty.master(), std::cref(echoStop));

    TurnaroundFigures figures;
    if (ready.get()) {
      figures = MeasureTurnarounds(line.fd(), echoLine.fd(), side, state.range(0) != 0,
                                   state.range(1) != 0);
    } else {
      figures.error = "the secondary did not start or its port did not open";
    }
    side.stop.store(true, std::memory_order_release);
    echoStop.store(true, std::memory_order_release);
    secondary.join();
    echo.join();
    if (!figures.error.empty()) {
      state.SkipWithError(figures.error.c_str());
      return;
    }

    const Percentiles engine = Summarise(figures.engine);
    const Percentiles floor = Summarise(figures.floor);
    state.counters["polls"] = static_cast<double>(figures.engine.size());
    state.counters["poll_faults"] = static_cast<double>(side.pollFaults);
    state.counters["p50_us"] = engine.p50;
    state.counters["p99_us"] = engine.p99;
    state.counters["max_us"] = engine.max;
    state.counters["write_p99_us"] = Summarise(figures.engineWrites).p99;
    state.counters["floor_p50_us"] = floor.p50;
    state.counters["floor_p99_us"] = floor.p99;
    state.counters["floor_max_us"] = floor.max;
    std::vector<double> added(figures.engine.size());
    std::transform(figures.engine.begin(), figures.engine.end(), figures.floor.begin(),
                   added.begin(), std::minus<>());
    state.counters["added_p50_us"] = Summarise(added).p50;
    state.counters["p50_vs_floor"] = floor.p50 > 0 ? engine.p50 / floor.p50 : 0;
    state.counters["p99_vs_floor"] = floor.p99 > 0 ? engine.p99 / floor.p99 : 0;
  }
}
BENCHMARK(BM_SecondaryTurnaroundOverPty)
    ->ArgNames({"from_write_call", "back_to_back"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// --- BM_PrimaryPollingCpuTime ---

// What one thread of the polling run measured between the start and the
// stop signal.
struct ThreadFigures {
  double cpuMs = 0;
  double wallMs = 0;
  std::uint64_t framesReceived = 0;
  std::uint64_t framesFaulty = 0;
  std::uint64_t framesSent = 0;
  bool started = false;
};

struct PollingRun {
  std::promise<bool> primaryReady;
  std::promise<bool> secondaryReady;
  std::promise<bool> idleReady;
  std::shared_future<void> go;
  std::atomic<bool> stop{false};
};

// Runs `loop` from the go signal to the stop signal and measures the thread.
void RunMeasured(PollingRun& run, ThreadFigures& figures,
                 const std::function<void(const std::function<bool()>&)>& loop) {
  run.go.wait();
  const double cpuStart = ThreadCpuMs();
  const auto wallStart = SteadyClock::now();
  loop([&run] { return !run.stop.load(std::memory_order_acquire); });
  figures.cpuMs = ThreadCpuMs() - cpuStart;
  figures.wallMs =
      std::chrono::duration<double, std::milli>(SteadyClock::now() - wallStart).count();
}

void RunPollingStation(PortFunction function, PseudoTerminal& pty, PollingRun& run,
                       ThreadFigures& figures) {
  std::promise<bool>& ready =
      function == PortFunction::Primary ? run.primaryReady : run.secondaryReady;
  // The primary on the slave device as on any serial device, the
  // secondary on the master side as on a pseudo-terminal of the program.
  TermiosPortEnumerator devices{{{1, pty.slavePath()}}, "/nonexistent", "/nonexistent"};
  TermiosPortEnumerator noDevices{{}, "/nonexistent", "/nonexistent"};
  MasterBindingEnumerator masters{noDevices};
  masters.BindMaster(1, pty.master());
  PortEnumerator& ports = function == PortFunction::Primary ? static_cast<PortEnumerator&>(devices)
                                                            : static_cast<PortEnumerator&>(masters);
  Station station(
      function == PortFunction::Primary ? "kivo-pty-bench-primary" : "kivo-pty-bench-polled",
      ports);
  figures.started = station.Start(function);
  ready.set_value(figures.started);
  if (!figures.started) return;
  RunMeasured(run, figures,
              [&station](const std::function<bool()>& keepRunning) { station.Run(keepRunning); });
  figures.framesReceived = station.framesReceived;
  figures.framesFaulty = station.framesFaulty;
  figures.framesSent = station.framesSent;
  GoOffline(station.instance);
}

// The baseline: a poll loop that ticks and watches a quiet descriptor.
void RunIdleLoop(int fd, PollingRun& run, ThreadFigures& figures) {
  PosixClock clock;
  PollLoop loop{clock};
  std::uint64_t ticks = 0;
  loop.Watch(fd, [fd] {
    std::array<std::uint8_t, 64> drain{};
    while (::read(fd, drain.data(), drain.size()) > 0) {
    }
  });
  loop.SetPeriodic(kTimerIntervalMs, [&ticks] { ++ticks; });
  figures.started = true;
  run.idleReady.set_value(true);
  RunMeasured(run, figures,
              [&loop](const std::function<bool()>& keepRunning) { loop.Run(keepRunning); });
  benchmark::DoNotOptimize(ticks);
}

// KIVO_BENCH_SECONDS, else kPollingSeconds; nullopt for a value out of range.
std::optional<int> PollingSeconds() {
  const char* text = std::getenv("KIVO_BENCH_SECONDS");
  if (text == nullptr || *text == '\0') return kPollingSeconds;
  const std::optional<std::int32_t> seconds = ReadIntegerIn(text, 1, kLongestPollingSeconds);
  if (!seconds) return std::nullopt;
  return *seconds;
}

void BM_PrimaryPollingCpuTime(benchmark::State& state) {
  std::setlocale(LC_ALL, "C");
  const std::optional<int> seconds = PollingSeconds();
  if (!seconds) {
    state.SkipWithError("KIVO_BENCH_SECONDS must be a whole number of seconds, 1 to 3600");
    return;
  }
  for (auto _ : state) {
    PseudoTerminal pty;
    PseudoTerminal idlePty;
    if (!pty.ok() || !idlePty.ok() || !MakeRaw(idlePty.master())) {
      state.SkipWithError(pty.ok() ? idlePty.error().c_str() : pty.error().c_str());
      return;
    }
    PollingRun run;
    std::promise<void> go;
    run.go = go.get_future().share();
    ThreadFigures primary, secondary, idle;
    // The secondary is up before the primary sends its first reset.
    std::thread secondaryThread(RunPollingStation, PortFunction::Secondary, std::ref(pty),
                                std::ref(run), std::ref(secondary));
    const bool secondaryUp = run.secondaryReady.get_future().get();
    std::thread primaryThread(RunPollingStation, PortFunction::Primary, std::ref(pty),
                              std::ref(run), std::ref(primary));
    std::thread idleThread(RunIdleLoop, idlePty.master(), std::ref(run), std::ref(idle));
    const bool primaryUp = run.primaryReady.get_future().get();
    run.idleReady.get_future().get();
    go.set_value();
    if (secondaryUp && primaryUp) std::this_thread::sleep_for(std::chrono::seconds(*seconds));
    run.stop.store(true, std::memory_order_release);
    primaryThread.join();
    secondaryThread.join();
    idleThread.join();
    if (!secondaryUp || !primaryUp) {
      state.SkipWithError("an Instance did not start or its port did not open");
      return;
    }
    if (primary.framesReceived == 0) {
      state.SkipWithError("the primary received no frame");
      return;
    }

    state.counters["seconds"] = primary.wallMs / 1e3;
    state.counters["primary_cpu_ms"] = primary.cpuMs;
    state.counters["primary_cpu_pct"] = 100.0 * primary.cpuMs / primary.wallMs;
    state.counters["polls_answered"] = static_cast<double>(primary.framesReceived);
    state.counters["answers_faulty"] = static_cast<double>(primary.framesFaulty);
    state.counters["polls_sent"] = static_cast<double>(primary.framesSent);
    state.counters["cpu_us_per_poll"] =
        1e3 * primary.cpuMs / static_cast<double>(primary.framesReceived);
    state.counters["secondary_cpu_ms"] = secondary.cpuMs;
    state.counters["idle_loop_cpu_ms"] = idle.cpuMs;
    state.counters["vs_idle_loop"] = idle.cpuMs > 0 ? primary.cpuMs / idle.cpuMs : 0;
  }
}
BENCHMARK(BM_PrimaryPollingCpuTime)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kivo
