// The renderer over any log entry a log file could deliver: random head
// fields (status, frame kind, octet count up to and beyond the buffer, time
// stamp bits) and random frame octets, in any format and with any
// combination of the time and link lines and the generic services decoded or
// not, until the telegram ends.
//
// Input: octet 0 chooses the reference value and the colour tables, octet 1
// the format and the line options (one of the 40 combinations; from 160 on
// the editors' element texts are rendered as well, from 200 on the export's
// line cache is checked against the renderer), the next 302 octets are
// the entry as stored (missing octets are zero). One combination an input
// keeps a run fast and lets the coverage tell the combinations apart.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asdu/info_text_table.h"
#include "asdu/renderer.h"
#include "record/log_entry.h"
#include "text/text_table.h"

namespace {

// Texts with directives in unexpected places, for when the language file
// beside the program cannot be found.
constexpr const char* kFallbackTexts =
    "0000  ;\n0025  $\n0065  %s%d%n;\n0070  Type %s;\n0480  Port %d %s %s %f %x;\n"
    "0520  %*d %s;\n0521  %s %.0f %.0f %s %d;\n1172  ;;\n";

struct Setup {
  kivo::TextTable texts;
  kivo::InfoTextTable infoTexts;
  std::array<std::uint16_t, 256> typeColours{};
  std::array<std::uint16_t, 256> causeColours{};

  Setup() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    bool loaded = false;
    if (!error) loaded = texts.LoadFile((exe.parent_path() / "KivoText.usa").string()).ok();
    if (!loaded) (void)texts.LoadLines(kFallbackTexts, "fuzz");
    texts.ApplyPostLoad();
    infoTexts.Add(kivo::InfoKey(1, 160, 64), 0x0C03, "Trip");
    infoTexts.Add(kivo::InfoKey(3, 160, 144), 0, "Measurands with a long name to fill the line");
    infoTexts.Sort();
    for (std::size_t i = 0; i < typeColours.size(); i += 3)
      typeColours[i] = static_cast<std::uint16_t>(i * 0x0101);
    for (std::size_t i = 0; i < causeColours.size(); i += 2)
      causeColours[i] = static_cast<std::uint16_t>(i);
  }
};

void RenderAll(kivo::RenderContext& context, const kivo::TLogEntry& entry) {
  constexpr int kMostLines = 400;  // a 272-octet frame has far fewer rows
  kivo::RenderCursor cursor;
  kivo::StartTelegram(cursor, entry, context, 0x0F02);
  int lines = 0;
  for (;;) {
    const std::string line = kivo::NextLine(cursor, context);
    if (line.empty()) break;
    if (line.size() > 255 || ++lines > kMostLines) std::abort();
  }
}

std::vector<std::string> Lines(kivo::RenderContext& context, const kivo::TLogEntry& entry) {
  kivo::RenderCursor cursor;
  kivo::StartTelegram(cursor, entry, context, 0);
  std::vector<std::string> lines;
  for (std::string line = kivo::NextLine(cursor, context); !line.empty();
       line = kivo::NextLine(cursor, context)) {
    lines.push_back(std::move(line));
  }
  return lines;
}

// The telegram comes again and again, with other numbers and times, and from
// the third time on with other octets after the INF (the same head with other
// elements): the export's line cache must give the lines and the delta the
// renderer gives.
void CompareWithTheLineCache(const kivo::RenderContext& context, const kivo::TLogEntry& entry) {
  kivo::RenderContext direct = context;
  kivo::RenderContext cached = context;
  kivo::RenderContext textual = context;
  kivo::TelegramLineCache cache;
  kivo::TelegramLineCache textCache;
  kivo::TLogEntry again = entry;
  std::string text = "before";
  for (int k = 0; k < 4; ++k) {
    const std::vector<std::string> want = Lines(direct, again);
    const auto got = cache.Lines(again, cached);
    if (!std::equal(want.begin(), want.end(), got.begin(), got.end())) std::abort();
    // The same as the text of a file, after the text before it.
    std::string wantText = text;
    for (const std::string& line : want) wantText += line + "\r\n";
    if (!want.empty()) wantText += "\r\n";
    textCache.AppendText(again, textual, true, text);
    if (text != wantText) std::abort();
    auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    if (!same(direct.previousTime, cached.previousTime) ||
        !same(direct.previousTime, textual.previousTime)) {
      std::abort();
    }
    again.seqNo += 997u * static_cast<unsigned>(k + 1);
    again.timeStamp += (k == 1 ? 1.5 : 0.37 / 86400.0);
    if (k == 1) {
      const std::size_t size = again.Frame().size();
      for (std::size_t i = 12; i + 2 < size; ++i) again.frame[i] ^= 0x5A;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  const int choice = size > 1 ? data[1] : 0;
  std::array<std::uint8_t, kivo::TLogEntry::kBufferSize> buffer{};
  for (std::size_t i = 2; i < size && i - 2 < buffer.size(); ++i) buffer[i - 2] = data[i];
  const kivo::TLogEntry entry = kivo::TLogEntry::Decode(buffer);

  kivo::RenderContext context(setup.texts);
  context.infoTexts = (options & 1) ? &setup.infoTexts : nullptr;
  context.typeColours = (options & 2) ? &setup.typeColours : nullptr;
  context.causeColours = (options & 4) ? &setup.causeColours : nullptr;
  context.measurand100 = (options & 8) ? 0 : 3413u * (options >> 4);
  context.firstSeqNo = static_cast<std::uint32_t>(options) << 24;
  const int toggles = choice / 5 % 8;
  context.format = static_cast<kivo::DisplayFormat>(3 + choice % 5);
  context.showTime = (toggles & 1) != 0;
  context.showLink = (toggles & 2) != 0;
  context.genericServices = (toggles & 4) != 0;
  context.previousTime = (toggles & 1) ? entry.timeStamp - 0.5 : 0.0;
  RenderAll(context, entry);
  if (choice < 160) return 0;
  if (choice >= 200) CompareWithTheLineCache(context, entry);
  // The editors' element text from every parse position.
  kivo::RenderCursor cursor;
  kivo::StartTelegram(cursor, entry, context, 0);
  for (std::size_t at = 0; at < kivo::TLogEntry::kFrameCapacity + 4; at += 5) {
    cursor.parsePosition = at;
    cursor.elementStep = static_cast<std::int32_t>(at % 3);
    if (kivo::ElementText(cursor, context).size() > 4096) std::abort();
  }
  return 0;
}
