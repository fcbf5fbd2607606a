// Telegrams rendered per second in each display format, against a plain hex
// dump of the same entries in the same run (the baseline the ratios refer to).
#include <benchmark/benchmark.h>

#include <clocale>
#include <string>
#include <vector>

#include "asdu/info_text_table.h"
#include "asdu/renderer.h"
#include "record/log_entry.h"
#include "text/text_table.h"

namespace {

std::vector<std::uint8_t> Variable(std::uint8_t control, std::vector<std::uint8_t> asdu) {
  const auto length = static_cast<std::uint8_t>(asdu.size() + 2);
  std::vector<std::uint8_t> frame = {0x68, length, length, 0x68, control, 5};
  std::uint8_t sum = static_cast<std::uint8_t>(control + 5);
  for (std::uint8_t o : asdu) {
    frame.push_back(o);
    sum = static_cast<std::uint8_t>(sum + o);
  }
  frame.push_back(sum);
  frame.push_back(0x16);
  return frame;
}

kivo::TLogEntry Entry(std::uint8_t status, std::uint8_t kind,
                      const std::vector<std::uint8_t>& frame, std::uint32_t seqNo) {
  kivo::TLogEntry e;
  e.status = status;
  e.frameKind = kind;
  e.SetFrame(frame);
  e.timeStamp = 46362.4 + seqNo / 86400.0;
  e.seqNo = seqNo;
  e.channel = static_cast<std::uint8_t>(1 + seqNo % 4);
  e.control = frame.size() > 4 ? frame[4] : frame[0];
  e.linkAddress = 5;
  return e;
}

// A mix as a log of a primary polling a device holds it: polls and
// acknowledgements, spontaneous messages, measurands, a disturbance list.
std::vector<kivo::TLogEntry> TypicalLog() {
  std::vector<kivo::TLogEntry> log;
  std::uint32_t seq = 1;
  for (int round = 0; round < 50; ++round) {
    log.push_back(Entry(40, kivo::kFrameFixed, {0x10, 0x7B, 0x05, 0x80, 0x16}, seq++));
    log.push_back(Entry(40, kivo::kFrameFixed, {0xE5}, seq++));
    log.push_back(Entry(40, kivo::kFrameVariable,
                        Variable(0x08, {1, 0x81, 1, 5, 160, 64, 2, 0xE8, 3, 0x15, 0x8A, 7}),
                        seq++));
    log.push_back(Entry(40, kivo::kFrameVariable,
                        Variable(0x08, {9,    0x89, 2,    5, 160,  148, 8,    0, 0x10, 0, 0x18, 0,
                                        0x20, 0,    0x28, 0, 0x30, 0,   0x38, 0, 0x40, 0, 0x48, 0}),
                        seq++));
    log.push_back(Entry(40, kivo::kFrameVariable,
                        Variable(0x08, {23, 0x82, 31, 5, 255, 0, 1,    0, 0,    0xE8, 3, 0x15, 0x8A,
                                        6,  12,   25, 2, 0,   1, 0xE8, 3, 0x15, 0x8A, 6, 12,   25}),
                        seq++));
  }
  return log;
}

struct Fixture {
  kivo::TextTable texts;
  kivo::InfoTextTable infoTexts;
  std::vector<kivo::TLogEntry> log = TypicalLog();
  Fixture() {
    std::setlocale(LC_ALL, "C.UTF-8");
    (void)texts.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa");
    texts.ApplyPostLoad();
    infoTexts.Add(kivo::InfoKey(1, 160, 64), 0x0003, "Trip L1");
    infoTexts.Sort();
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

// The baseline: every octet of every entry as two hex digits and a blank.
void BM_HexDumpBaseline(benchmark::State& state) {
  const Fixture& f = Shared();
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (auto _ : state) {
    for (const kivo::TLogEntry& e : f.log) {
      std::string line;
      for (std::uint8_t o : e.Frame()) {
        line.push_back(kDigits[o >> 4]);
        line.push_back(kDigits[o & 15]);
        line.push_back(' ');
      }
      benchmark::DoNotOptimize(line);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.log.size()));
}
BENCHMARK(BM_HexDumpBaseline);

void BM_Render(benchmark::State& state) {
  Fixture& f = Shared();
  kivo::RenderContext context(f.texts);
  context.infoTexts = &f.infoTexts;
  context.format = static_cast<kivo::DisplayFormat>(state.range(0));
  context.locale = kivo::LocaleFormats::FromSystem();
  std::int64_t lines = 0;
  for (auto _ : state) {
    context.previousTime = 0.0;
    for (const kivo::TLogEntry& e : f.log) {
      kivo::RenderCursor cursor;
      kivo::StartTelegram(cursor, e, context, 0x0F02);
      for (std::string line = kivo::NextLine(cursor, context); !line.empty();
           line = kivo::NextLine(cursor, context)) {
        benchmark::DoNotOptimize(line);
        ++lines;
      }
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.log.size()));
  state.counters["lines/entry"] =
      static_cast<double>(lines) / static_cast<double>(state.iterations() * f.log.size());
}
// 3 full, 4 compact, 5 one line, 6 octets, 7 CSV.
BENCHMARK(BM_Render)->DenseRange(3, 7)->ArgName("format");

}  // namespace
