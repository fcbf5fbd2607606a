// Frames validated per second, fixed and variable frames of several types.
// Each figure comes with "vs_checksum": the time per frame against a plain
// checksum pass over the same octets, measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "app/frame_rules.h"
#include "link/frame_codec.h"
#include "link/frame_rules.h"
#include "link/port_record.h"
#include "record/colour_records.h"
#include "record/ft12.h"
#include "record/log_entry.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace {

using namespace kivo;
using Octets = std::vector<std::uint8_t>;

Octets WithChecksum(Octets frame) {
  frame[frame.size() - 2] = ft12::FrameChecksum(frame);
  return frame;
}

Octets LongestFrame() {
  // A TYP 29 with 80 items: 259 octets, the longest a known type can fill.
  constexpr std::uint8_t kItems = 80;
  constexpr std::size_t kLength = 17 + 3 * kItems + 2;
  Octets frame{0x68, kLength - 6, kLength - 6, 0x68, 0x08, 0x01,   0x1D, 0x81, 0x1F,
               0x01, 0xFF,        0x00,        0x01, 0x00, kItems, 0x00, 0x00};
  frame.resize(kLength - 2, 0x11);
  frame.push_back(0);
  frame.push_back(ft12::kEndCharacter);
  return WithChecksum(frame);
}

const std::vector<Octets>& Frames() {
  static const std::vector<Octets> frames{
      {0x10, 0x49, 0x01, 0x4A, 0x16},  // request status of link
      {0xE5},
      WithChecksum({0x68, 0x09, 0x09, 0x68, 0x44, 0x01, 0x07, 0x81, 0x09, 0x01, 0xFF, 0x00, 0x05,
                    0x00, 0x16}),  // general interrogation
      WithChecksum(
          {0x68, 0x0F, 0x0F, 0x68, 0x08, 0x01, 0x06, 0x81, 0x08, 0x01, 0xFF,
           0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00, 0x16}),  // time synchronisation
      WithChecksum({0x68, 0x0E, 0x0E, 0x68, 0x08, 0x01, 0x01, 0x81, 0x01, 0x01, 0x80,
                    0x10, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16}),  // time-tagged message
      LongestFrame()};
  return frames;
}

const char* const kNames[] = {"fixed", "E5", "TYP7", "TYP6", "TYP1", "TYP29_259"};

struct Rules {
  TextTable texts;
  KnownTypeList knownTypes;
  TValueColours causeColours;
  Rules() { LoadTexts(texts, KIVO_LANG_DIR, 1); }
};

double ChecksumNanosPerFrame(const Octets& frame, std::int64_t passes) {
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t i = 0; i < passes; ++i) {
    benchmark::DoNotOptimize(frame.data());
    benchmark::DoNotOptimize(ft12::FrameChecksum(frame));
  }
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / static_cast<double>(passes);
}

void BM_ValidateFrame(benchmark::State& state) {
  static const Rules rules;
  const FrameRules frameRules =
      FrameRulesFromTexts(rules.texts, rules.knownTypes, rules.causeColours);
  const Octets& octets = Frames()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(kNames[state.range(0)]);
  PortRecord port;  // unassigned: follows the FCB, every frame is accepted
  TLogEntry entry;
  entry.SetFrame(octets);
  if (ValidateFrame(frameRules, port, entry) != 40) {
    state.SkipWithError("benchmark frame is not a correct frame");
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ValidateFrame(frameRules, port, entry));
  }
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  const auto frames = static_cast<std::int64_t>(state.iterations());
  state.SetItemsProcessed(frames);
  state.counters["vs_checksum"] =
      (elapsed.count() / static_cast<double>(frames)) / ChecksumNanosPerFrame(octets, frames);
}
BENCHMARK(BM_ValidateFrame)->DenseRange(0, 5);

void BM_ChecksumBaseline(benchmark::State& state) {
  const Octets& octets = Frames()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(kNames[state.range(0)]);
  for (auto _ : state) {
    benchmark::DoNotOptimize(octets.data());
    benchmark::DoNotOptimize(ft12::FrameChecksum(octets));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ChecksumBaseline)->DenseRange(0, 5);

}  // namespace
