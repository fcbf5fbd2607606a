// The language-file loader and the post-load conversions over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/text_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::TextTable table;
  std::string_view content(reinterpret_cast<const char*>(data), size);
  if (table.LoadLines(content, "fuzz").ok()) table.ApplyPostLoad();
  for (int n = -1; n <= kivo::TextTable::kTextCount; n += 7) {
    (void)table.Text(n);
    (void)table.NumberText(n);
  }
  // A list is built afresh at each call: a few of them, where the input put
  // its first text.
  const int first = size >= 4 ? (data[0] - '0') * 1000 + (data[1] - '0') * 100 +
                                    (data[2] - '0') * 10 + (data[3] - '0')
                              : 0;
  for (int n : {-1, 0, first - 1, first, first + 1, kivo::TextTable::kTextCount})
    (void)table.List(n);
  for (int k = 0; k < 40; ++k) (void)table.CausePermitted(k, k * 3);
  return 0;
}
