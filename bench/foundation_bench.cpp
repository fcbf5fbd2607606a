// Loading the language file (done at start and on every language switch) and
// encoding/decoding the settings record.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/settings.h"
#include "text/text_table.h"

namespace {

std::string LanguageFile() {
  std::ifstream in(std::string(KIVO_LANG_DIR) + "KivoText.usa", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_LoadLanguageFile(benchmark::State& state) {
  const std::string content = LanguageFile();
  kivo::TextTable table;
  for (auto _ : state) {
    benchmark::DoNotOptimize(table.LoadLines(content, "usa"));
    table.ApplyPostLoad();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
}
BENCHMARK(BM_LoadLanguageFile);

void BM_SettingsRoundTrip(benchmark::State& state) {
  std::array<std::uint8_t, kivo::Settings::kSize> buffer{};
  kivo::Settings settings;
  for (auto _ : state) {
    settings.Encode(buffer);
    benchmark::DoNotOptimize(kivo::Settings::Decode(buffer));
  }
}
BENCHMARK(BM_SettingsRoundTrip);

}  // namespace
