// The filter-file reader over arbitrary files, and the filter tests over
// whatever entries the rest of the input makes.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "log/log_filter.h"
#include "record/log_entry.h"
#include "scratch.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void EvaluateAll(const kivo::TLogFilter& filter, const kivo::TLogEntry& entry,
                 std::uint32_t firstSeqNo) {
  for (bool display : {false, true}) {
    for (bool link : {false, true}) {
      (void)kivo::EvaluateFilter(filter, entry, {firstSeqNo, display, link});
    }
  }
  (void)kivo::PassesDisplayFilter(filter, entry, false, firstSeqNo);
  (void)kivo::PassesLogFilter(filter, entry, firstSeqNo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      kivo_fuzz::ScratchFolder() + "kivo-filter-fuzz-" + std::to_string(::getpid());
  const std::size_t recordSize = kivo::TLogFilter::kSize;
  // The first 240 octets (or fewer) are the file; an odd first octet makes
  // the file one record with the right size word, so that the reader's
  // accepting path is reached as often as its refusals.
  std::vector<std::uint8_t> file(data, data + std::min(size, recordSize));
  if (size >= 4 && (data[0] & 1)) {
    file.resize(recordSize);
    file[2] = static_cast<std::uint8_t>(recordSize);
    file[3] = 0;
  }
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  const kivo::TLogFilter before = kivo::NormalisedFilter();
  kivo::TLogFilter filter = before;
  if (kivo::ReadFilterFile(path, filter)) {
    std::array<std::uint8_t, kivo::TLogFilter::kSize> again{};
    filter.Encode(again);
    Check(std::equal(again.begin(), again.end(), file.begin(), file.end()));
  } else {
    Check(filter == before);
  }

  // The rest of the input, 302 octets at a time, are entries.
  std::vector<kivo::TLogEntry> entries;
  for (std::size_t at = file.size() < size ? recordSize : 0; at < size;
       at += kivo::TLogEntry::kBufferSize) {
    std::array<std::uint8_t, kivo::TLogEntry::kBufferSize> buffer{};
    std::copy_n(data + at, std::min(buffer.size(), size - at), buffer.begin());
    entries.push_back(kivo::TLogEntry::Decode(buffer));
  }
  const std::uint32_t firstSeqNo = size >= 8 ? data[4] | (data[5] << 8) : 1;

  kivo::TLogFilter normal = filter;
  kivo::Normalise(normal);
  Check(normal.criterionCount == 9 && normal.channels != 0 &&
        (normal.showValid != 0 || normal.showFaulty != 0));
  for (const kivo::TLogEntry& entry : entries) {
    EvaluateAll(filter, entry, firstSeqNo);
    EvaluateAll(normal, entry, firstSeqNo);
    // A filter that restricts nothing keeps every entry of the four channels.
    if (normal.restricting == 0 && entry.channel >= 1 && entry.channel <= 4) {
      Check(kivo::EvaluateFilter(normal, entry, {firstSeqNo, false, true}));
    }
  }
  return 0;
}
