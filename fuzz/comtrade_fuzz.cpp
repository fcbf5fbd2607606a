// Arbitrary files as disturbance files for the COMTRADE converter, as a
// plain and a partial, binary conversion. A refused file gives a reason and
// nothing else; a converted one a configuration of whole CR LF lines whose
// channel counts agree with the data: one line, or one fixed-size row, per
// announced value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "send/comtrade.h"

namespace {

using kivo::ComtradeRecord;

void Check(const ComtradeRecord& record, bool binary) {
  const bool converted = record.outcome == ComtradeRecord::Outcome::Whole ||
                         record.outcome == ComtradeRecord::Outcome::Partial;
  if (!converted) {
    if (record.problem.empty() || !record.cfg.empty() || !record.dat.empty()) std::abort();
    return;
  }
  const std::string& cfg = record.cfg;
  if (cfg.size() < 2 || cfg.compare(cfg.size() - 2, 2, "\r\n") != 0) std::abort();
  for (std::size_t i = 0; i < cfg.size(); ++i) {
    if (cfg[i] == '\n' && (i == 0 || cfg[i - 1] != '\r')) std::abort();
  }
  // Line 2: "TT,nA,nD"; the samples are the second field of the rate line.
  const std::size_t second = cfg.find("\r\n") + 2;
  const int analog = std::atoi(cfg.c_str() + cfg.find(',', second) + 1);
  const int digital = std::atoi(cfg.c_str() + cfg.find("A,", second) + 2);
  const std::size_t rateLine = cfg.find(binary ? "\r\nBINARY\r\n" : "\r\nASCII\r\n");
  if (rateLine == std::string::npos) std::abort();
  std::size_t line = rateLine;
  for (int back = 0; back < 3; ++back) line = cfg.rfind("\r\n", line - 1);
  const long samples = std::atol(cfg.c_str() + cfg.find(',', line) + 1);
  if (binary) {
    const std::size_t row = 8 + 2 * static_cast<std::size_t>(analog) +
                            2 * ((static_cast<std::size_t>(digital) + 15) / 16);
    if (record.dat.size() != row * static_cast<std::size_t>(samples)) std::abort();
  } else {
    long lines = 0;
    for (std::uint8_t c : record.dat) lines += c == '\n';
    if (lines != samples) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kivo::ConstBytes file(data, size);
  Check(kivo::ConvertDisturbance(file, {}), false);
  Check(kivo::ConvertDisturbance(file, {.binary = true, .partial = true}), true);
  return 0;
}
