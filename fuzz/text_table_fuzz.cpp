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
    (void)table.List(n);
  }
  for (int k = 0; k < 40; ++k) (void)table.CausePermitted(k, k * 3);
  return 0;
}
