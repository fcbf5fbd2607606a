// The information text file reader over arbitrary files, then lookups and
// wildcard walks over whatever it took in.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "asdu/info_text_table.h"
#include "asdu/type_items.h"
#include "scratch.h"
#include "text/text_table.h"

namespace {

// A complete small language file: every text names its number, plus the
// texts the loader uses, with `separator` as the field separator.
kivo::TextTable MakeTexts(char separator) {
  std::string content;
  char line[64];
  for (int n = 0; n < 1400; ++n) {
    const char* text = "t";
    std::string own;
    if (n == 0) text = "";
    if (n == 1172) own = std::string(1, separator) + ";", text = own.c_str();
    if (n == 1267) text = "%s: %d faulty lines";
    if (n == 1268) text = "Lines ;";
    if (n >= 1090 && n <= 1097) text = "0=group";
    std::snprintf(line, sizeof line, "%04d  %s", n, text);
    content += line;
    content += '\n';
  }
  kivo::TextTable texts;
  if (texts.LoadLines(content, "fuzz").ok()) texts.ApplyPostLoad();
  return texts;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      kivo_fuzz::ScratchFolder() + "kivo-info-text-fuzz-" + std::to_string(::getpid());
  static const kivo::TextTable semicolon = MakeTexts(';');
  static const kivo::TextTable comma = MakeTexts(',');
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const kivo::TextTable& texts = size > 0 && (data[0] & 0x80) ? comma : semicolon;
  kivo::InfoTextTable table;
  kivo::GroupNameTable groups;
  std::array<std::uint16_t, 256> causeColours{};
  const auto result = kivo::LoadInfoTextFile(path, texts, table, groups, causeColours);
  ::unlink(path.c_str());
  Check(result.ok);
  Check(table.Count() <= 28397);
  Check(groups.Count() >= 1 && groups.Count() <= 32);

  for (int i = 0; i < table.Count(); ++i) {
    const std::uint32_t key = table.KeyAt(i);
    Check(i == 0 || table.KeyAt(i - 1) <= key);
    Check(table.Name(i).size() <= kivo::InfoTextTable::kMaxNameLength);
    Check(table.Lookup(key) >= 0);
    Check((table.ColourWord(i) & 0xFF) <= 19 && (table.ColourWord(i) >> 8) <= 19);
  }
  for (std::uint16_t word : causeColours) Check((word & 0xFF) <= 19 && (word >> 8) <= 19);

  // Walks for keys taken from the input and from the table itself.
  for (std::size_t i = 0; i + 3 <= size && i < 48; i += 3) {
    const std::uint32_t key = kivo::InfoKey(data[i], data[i + 1], data[i + 2]);
    int steps = 0;
    for (auto item = table.EnumerateFirst(key); !item.name.empty(); item = table.EnumerateNext()) {
      Check(++steps <= table.Count());
    }
    (void)table.NameByKey(key);
    (void)kivo::InfoNumberItems(table, data[i], data[i + 1]);
  }
  if (table.Count() > 0) {
    const std::uint32_t last = table.KeyAt(table.Count() - 1);
    (void)kivo::InfoNumberItems(table, static_cast<int>((last >> 8) & 0xFF),
                                static_cast<int>((last >> 16) & 0xFF));
  }
  for (int i = 0; i < groups.Count(); ++i) (void)kivo::PickerItemValue(groups.Name(i));
  return 0;
}
