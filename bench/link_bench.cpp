// The link engine end to end, in process.
//
// BM_LinkFramesPerSecond: a primary and a secondary Instance on the simulated
// line at 1 Mbaud with poll cycle 0, so that the primary polls again as soon
// as an answer is in. Every frame goes through assembler, validator, link
// procedure and log store on both sides; the figure is logged frames per
// second of CPU time, with "vs_validate": the time per logged frame against
// ValidateFrame alone on the same poll, measured in the same run.
//
// BM_SecondaryAnswerLatency: a secondary whose port hands it one class 2 poll
// at a time; the time from OnDataAvailable to the answer octets being written,
// with "vs_copy": that time against a plain copy of the poll's octets.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/frame_codec.h"
#include "link/serial_path.h"
#include "platform/headless.h"
#include "platform/sim/simulated_line.h"
#include "platform/sim/virtual_clock.h"

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;
using Nanos = std::chrono::duration<double, std::nano>;

// A program directory with the language files and an application-data
// folder, both in a scratch folder that goes with the object.
class ScratchFolders : public Folders {
 public:
  explicit ScratchFolders(const std::string& name) {
    root_ = (std::filesystem::temp_directory_path() / name).string() + "/";
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ + "program");
    std::filesystem::create_directories(root_ + "appdata");
    for (const char* file : {"KivoText.usa", "KivoText.ger"}) {
      std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + file, root_ + "program/" + file);
    }
  }
  ~ScratchFolders() override { std::filesystem::remove_all(root_); }
  std::string ProgramDirectory() override { return root_ + "program/"; }
  std::string AppDataFolder() override { return root_ + "appdata/"; }
  std::vector<std::string> ProgramFilesFolders() override { return {"/usr/", "/opt/"}; }

 private:
  std::string root_;
};

// The platform of one Instance; the clock and the ports come from outside.
struct Station {
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  ScratchFolders folders;
  QuietPrompter prompter;
  Instance instance;
  std::uint64_t framesLogged = 0;

  Station(const std::string& name, Clock& clock, PortEnumerator& ports, OneShotTimer* timers)
      : folders(name),
        instance(Platform{clock, lock, registry, folders, prompter, &ports, timers}) {}

  bool Start(PortFunction function, std::uint32_t baud, std::uint32_t pollCycle) {
    if (StartInstance(instance) != StartOutcome::Run) return false;
    CreateMainState(instance, {});
    PortParams& p = instance.ports[0].params;
    p.portNumber = 1;
    p.function = function;
    p.baud = baud;
    p.pollCycle = pollCycle;
    p.addressCount = 3;
    const std::uint8_t list[] = {1, 2, 3, PortParams::kAddressEnd};
    std::copy(std::begin(list), std::end(list), p.addresses.begin());
    instance.logStore.hooks.logFilter = [this](const TLogEntry& entry) {
      if (entry.frameKind != kFrameEvent) ++framesLogged;
      return true;
    };
    return true;
  }
};

// The per-frame time of ValidateFrame alone on a primary's class 2 poll, as a
// secondary port receives it.
double ValidateNanosPerFrame(Instance& instance, std::int64_t passes) {
  const FrameRules& rules = instance.frameRules;
  PortRecord port;  // unassigned: follows the FCB, every frame is accepted
  const std::uint8_t poll[] = {0x10, 0x7B, 0x01, 0x7C, 0x16};
  TLogEntry entry;
  entry.SetFrame(poll);
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t i = 0; i < passes; ++i) {
    benchmark::DoNotOptimize(ValidateFrame(rules, port, entry));
  }
  return Nanos(std::chrono::steady_clock::now() - start).count() / static_cast<double>(passes);
}

void BM_LinkFramesPerSecond(benchmark::State& state) {
  std::setlocale(LC_ALL, "C");
  VirtualClock clock;
  SimulatedLine line{clock};
  SimulatedPortEnumerator portsP, portsS;
  portsP.Bind(1, line, 0);
  portsS.Bind(1, line, 1);
  Station primary("kivo-link-bench-p", clock, portsP, &clock);
  Station secondary("kivo-link-bench-s", clock, portsS, &clock);
  constexpr std::uint32_t kBaud = 1'000'000;
  if (!primary.Start(PortFunction::Primary, kBaud, 0) ||
      !secondary.Start(PortFunction::Secondary, kBaud, 0)) {
    state.SkipWithError("an Instance did not start");
    return;
  }
  GoOnline(secondary.instance);
  GoOnline(primary.instance);
  if (!primary.instance.ports[0].open || !secondary.instance.ports[0].open) {
    state.SkipWithError("a port did not open");
    return;
  }
  const auto tick = [&] {
    OnTimerTick(secondary.instance);
    OnTimerTick(primary.instance);
    clock.Advance(kTimerIntervalMs);
  };
  // The links come up first; then only polls and answers remain.
  for (int i = 0; i < 40; ++i) tick();
  const std::uint64_t before = primary.framesLogged + secondary.framesLogged;

  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) tick();
  const double elapsed = Nanos(std::chrono::steady_clock::now() - start).count();

  const std::uint64_t frames = primary.framesLogged + secondary.framesLogged - before;
  if (frames == 0) {
    state.SkipWithError("no frame was logged");
    return;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(frames));
  state.counters["frames_per_tick"] =
      static_cast<double>(frames) / static_cast<double>(state.iterations());
  state.counters["vs_validate"] =
      (elapsed / static_cast<double>(frames)) /
      ValidateNanosPerFrame(secondary.instance, static_cast<std::int64_t>(frames));
  GoOffline(primary.instance);
  GoOffline(secondary.instance);
}
BENCHMARK(BM_LinkFramesPerSecond)->Unit(benchmark::kMillisecond);

// Hands the secondary what the benchmark queues and notes when the answer is
// written.
struct Probe {
  std::deque<Octets> incoming;
  Octets written;
  std::chrono::steady_clock::time_point writtenAt;
  std::uint64_t writes = 0;
};

class ProbePort : public SerialPort {
 public:
  explicit ProbePort(Probe& probe) : probe_(probe) {}
  bool Open(const CharacterFormat&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Flush() override {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    if (probe_.incoming.empty()) return 0;
    Octets& batch = probe_.incoming.front();
    const std::size_t n = std::min(out.size(), batch.size());
    std::copy_n(batch.begin(), n, out.begin());
    batch.erase(batch.begin(), batch.begin() + static_cast<long>(n));
    if (batch.empty()) probe_.incoming.pop_front();
    return n;
  }
  std::uint8_t TakeLineErrors() override { return 0; }
  bool Write(std::span<const std::uint8_t> octets) override {
    probe_.writtenAt = std::chrono::steady_clock::now();
    probe_.written.assign(octets.begin(), octets.end());
    ++probe_.writes;
    return true;
  }
  void SetRts(bool) override {}
  void SetDtr(bool) override {}
  std::uint8_t ModemStatus() override { return 0; }
  int Descriptor() const override { return -1; }
  std::string LastError() const override { return {}; }

 private:
  Probe& probe_;
  bool open_ = false;
};

class ProbePorts : public PortEnumerator {
 public:
  explicit ProbePorts(Probe& probe) : probe_(probe) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override { return std::make_unique<ProbePort>(probe_); }

 private:
  Probe& probe_;
};

// Gives the secondary one request and lets the engine run until it has
// written its answer (the virtual clock stands still meanwhile unless the
// engine waits on it). Returns the time from handing over to the write.
std::optional<double> AnswerNanos(Instance& secondary, VirtualClock& clock, Probe& probe,
                                  const Octets& request) {
  const std::uint64_t writes = probe.writes;
  probe.incoming.push_back(request);
  const auto start = std::chrono::steady_clock::now();
  OnDataAvailable(secondary.linkContext, 0);
  RunPostedLinkSteps(secondary.linkContext);
  for (int ms = 0; probe.writes == writes && ms < 200; ++ms) {
    clock.Advance(1);
    RunPostedLinkSteps(secondary.linkContext);
  }
  if (probe.writes == writes) return std::nullopt;
  const double nanos = Nanos(probe.writtenAt - start).count();
  // The transmit sequence ends (character time, RTS lag) before the next poll.
  for (int i = 0; i < 3; ++i) {
    OnTimerTick(secondary);
    clock.Advance(kTimerIntervalMs);
  }
  return nanos;
}

void BM_SecondaryAnswerLatency(benchmark::State& state) {
  std::setlocale(LC_ALL, "C");
  VirtualClock clock;
  Probe probe;
  ProbePorts ports(probe);
  Station secondary("kivo-link-bench-latency", clock, ports, &clock);
  if (!secondary.Start(PortFunction::Secondary, 115200, 600)) {
    state.SkipWithError("the Instance did not start");
    return;
  }
  GoOnline(secondary.instance);
  if (!secondary.instance.ports[0].open) {
    state.SkipWithError("the port did not open");
    return;
  }
  const Octets reset{0x10, 0x40, 0x01, 0x41, 0x16};
  // Class 2 polls of address 1 with FCB 1 and 0 in turn, as after a reset.
  const std::array<Octets, 2> polls{Octets{0x10, 0x7B, 0x01, 0x7C, 0x16},
                                    Octets{0x10, 0x5B, 0x01, 0x5C, 0x16}};
  if (!AnswerNanos(secondary.instance, clock, probe, reset)) {
    state.SkipWithError("the reset was not answered");
    return;
  }
  std::size_t next = 0;
  double total = 0;
  for (auto _ : state) {
    const std::optional<double> nanos = AnswerNanos(secondary.instance, clock, probe, polls[next]);
    if (!nanos) {
      state.SkipWithError("a poll was not answered");
      return;
    }
    state.SetIterationTime(*nanos / 1e9);
    total += *nanos;
    next ^= 1;
  }

  // Baseline: the poll's octets copied as a port's write would take them.
  const std::int64_t passes =
      std::max<std::int64_t>(static_cast<std::int64_t>(state.iterations()), 1000);
  Octets copy(polls[0].size());
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t i = 0; i < passes; ++i) {
    benchmark::DoNotOptimize(polls[static_cast<std::size_t>(i & 1)].data());
    std::memcpy(copy.data(), polls[static_cast<std::size_t>(i & 1)].data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  const double copyNanos =
      Nanos(std::chrono::steady_clock::now() - start).count() / static_cast<double>(passes);
  state.counters["vs_copy"] = (total / static_cast<double>(state.iterations())) / copyNanos;
  state.counters["answer_ns"] = total / static_cast<double>(state.iterations());
  GoOffline(secondary.instance);
}
BENCHMARK(BM_SecondaryAnswerLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kivo
