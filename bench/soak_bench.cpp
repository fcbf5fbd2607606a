// The long soak: the scenario of the soak test (a primary polling addresses
// 1, 2 and 3 against a secondary, with the demo's traffic, 1 % of the octets
// corrupted, lost or duplicated, breaks of up to 3 s, then a quiet line) for
// 1,000,000 poll cycles, a night of a 9600 baud line polled back to back
// (about 18 hours), in virtual time.
//
// BM_Soak runs it once and reports the poll cycles per second of wall time,
// the frames, what the logs lost against what the ports wrote and read (0
// expected), the longest step between the time stamps of two entries in a
// row, how long the links took to come back, and the heap in use at
// the first and the last tenth of the run; "vs_quiet" is the time per poll
// cycle against the same scenario without noise over a tenth of the cycles,
// measured in the same run. KIVO_SOAK_CYCLES sets the number of poll cycles,
// KIVO_SOAK_SEED the noise; KIVO_SOAK_KEEP names a folder for copies of the
// two logs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "../tests/sim/soak_run.h"

namespace kivo {
namespace {

using Seconds = std::chrono::duration<double>;

std::uint64_t FromEnvironment(const char* name, std::uint64_t otherwise) {
  const char* text = std::getenv(name);
  const std::uint64_t value = text ? std::strtoull(text, nullptr, 10) : 0;
  return value > 0 ? value : otherwise;
}

// Octets and frames that the logs do not account for, over both directions
// and both stations.
std::uint64_t Unaccounted(const soak::Report& r) {
  std::uint64_t missing = 0;
  const auto apart = [](std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; };
  for (std::size_t d = 0; d < 2; ++d) {
    const soak::Direction& dir = r.direction[d];
    missing += apart(dir.framesWritten, r.line[d].writes) +
               apart(dir.framesLoggedSent, dir.framesWritten) + dir.sentMismatches +
               apart(dir.octetsRead, r.line[d].sent) + apart(dir.octetsLogged, dir.octetsRead) +
               dir.receivedMismatches;
    const soak::LogAccount& log = r.log[d];
    missing += apart(log.readBack, log.stored) + log.seqGaps +
               (log.readBackHash == log.storedHash ? 0 : 1);
    for (std::size_t c = 0; c < 2; ++c) {
      missing += apart(log.counters[c].telegrams, log.counted[c].telegrams) +
                 apart(log.counters[c].errors, log.counted[c].errors);
    }
  }
  return missing;
}

// Seconds of wall time for the run; nothing when a station did not start.
std::optional<double> Timed(const soak::Options& options, soak::Report& report) {
  soak::Run run(options);
  if (!run.Start()) return std::nullopt;
  const auto start = std::chrono::steady_clock::now();
  report = run.Soak();
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

void BM_Soak(benchmark::State& state) {
  std::setlocale(LC_ALL, "C");
  soak::Options options;
  options.pollCycles = FromEnvironment("KIVO_SOAK_CYCLES", 1'000'000);
  options.seed = FromEnvironment("KIVO_SOAK_SEED", options.seed);
  if (const char* keep = std::getenv("KIVO_SOAK_KEEP")) options.keepLogsIn = keep;
  // Two entries a poll cycle on each side and the noise's extra: room for
  // all of it, so that the read-back covers the whole run.
  options.logSize = static_cast<std::uint32_t>(16 + options.pollCycles * 100 / 1'000'000);
  soak::Options quiet = options;
  quiet.pollCycles = std::max<std::uint64_t>(options.pollCycles / 10, 1);
  quiet.noisePpm = 0;
  quiet.breakPpm = 0;
  quiet.keepLogsIn.clear();

  soak::Report r;
  soak::Report q;
  double seconds = 0;
  double quietSeconds = 0;
  for (auto _ : state) {
    const std::optional<double> noisy = Timed(options, r);
    const std::optional<double> clean = Timed(quiet, q);
    if (!noisy || !clean) {
      state.SkipWithError("a station did not start");
      return;
    }
    seconds = *noisy;
    quietSeconds = *clean;
    state.SetIterationTime(seconds);
  }

  const double cycles = static_cast<double>(r.polls);
  const std::uint64_t frames = r.direction[0].framesWritten + r.direction[1].framesWritten;
  const std::uint64_t damaged = r.direction[0].damagedReceived + r.direction[1].damagedReceived;
  const std::uint64_t unaccounted = Unaccounted(r);
  const double stampStepMs = std::max(r.log[0].longestStampStepMs, r.log[1].longestStampStepMs);
  state.counters["cycles_per_s"] = cycles / seconds;
  state.counters["vs_quiet"] = (seconds / cycles) / (quietSeconds / static_cast<double>(q.polls));
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["damaged"] = static_cast<double>(damaged);
  state.counters["unaccounted"] = static_cast<double>(unaccounted);
  state.counters["links_lost"] = static_cast<double>(r.linksLost);
  state.counters["heap_kb_10"] = static_cast<double>(r.heapAtFirstTenth) / 1024.0;
  state.counters["heap_kb_90"] = static_cast<double>(r.heapAtLastTenth) / 1024.0;

  const double hours = static_cast<double>(r.ticksUnderNoise) * kTimerIntervalMs / 3.6e6;
  std::printf(
      "soak: %llu poll cycles under noise (%.1f hours of line time), %llu in all, in %.2f s "
      "wall, %.0f cycles/s (%.2f x the time per cycle of a quiet line)\n"
      "  frames written %llu (primary %llu, secondary %llu), received damaged %llu\n"
      "  line faults, primary/secondary: corrupted %llu/%llu, lost %llu/%llu, duplicated "
      "%llu/%llu, breaks %llu/%llu\n"
      "  links lost %llu, longest loss %u ticks; after the noise all up in %u ticks (bound %u), "
      "then %llu quiet polls with %llu losses, %llu repetitions, %llu damaged\n"
      "  log entries primary %llu, secondary %llu; unaccounted frames, octets and entries: %llu; "
      "longest step between time stamps %.0f ms\n"
      "  heap in use at the first tenth %zu bytes, at the last tenth %zu bytes (%+lld); "
      "%zu timers pending at the end\n",
      static_cast<unsigned long long>(r.pollsUnderNoise), hours,
      static_cast<unsigned long long>(r.polls), seconds, cycles / seconds,
      (seconds / cycles) / (quietSeconds / static_cast<double>(q.polls)),
      static_cast<unsigned long long>(frames),
      static_cast<unsigned long long>(r.direction[0].framesWritten),
      static_cast<unsigned long long>(r.direction[1].framesWritten),
      static_cast<unsigned long long>(damaged),
      static_cast<unsigned long long>(r.line[0].corrupted),
      static_cast<unsigned long long>(r.line[1].corrupted),
      static_cast<unsigned long long>(r.line[0].lost),
      static_cast<unsigned long long>(r.line[1].lost),
      static_cast<unsigned long long>(r.line[0].duplicated),
      static_cast<unsigned long long>(r.line[1].duplicated),
      static_cast<unsigned long long>(r.line[0].breaks),
      static_cast<unsigned long long>(r.line[1].breaks),
      static_cast<unsigned long long>(r.linksLost), r.longestLossTicks, r.recoveryTicks,
      r.recoveryBoundTicks, static_cast<unsigned long long>(r.quietPolls),
      static_cast<unsigned long long>(r.quietLosses),
      static_cast<unsigned long long>(r.quietRepetitions),
      static_cast<unsigned long long>(r.quietDamaged),
      static_cast<unsigned long long>(r.log[0].stored),
      static_cast<unsigned long long>(r.log[1].stored),
      static_cast<unsigned long long>(unaccounted), stampStepMs, r.heapAtFirstTenth,
      r.heapAtLastTenth,
      static_cast<long long>(r.heapAtLastTenth) - static_cast<long long>(r.heapAtFirstTenth),
      r.pendingTimers);
  if (!r.recovered || unaccounted != 0 || stampStepMs >= 10'000 ||
      r.quietLosses + r.quietRepetitions + r.quietDamaged != 0) {
    state.SkipWithError("the soak found a fault (see above)");
  }
}
BENCHMARK(BM_Soak)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kivo
