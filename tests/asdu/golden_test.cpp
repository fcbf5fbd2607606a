// One telegram of every decoded type, a generic one that is shown as octets,
// and the frames and events of the link, in all five formats, against the
// lines kept in golden/telegrams.txt. After a deliberate change of the lines,
// KIVO_WRITE_GOLDEN=1 rewrites the file; read its diff before committing it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "render_fixture.h"

namespace kivo::testing {
namespace {

struct Sample {
  const char* name;
  TLogEntry entry;
};

std::vector<Sample> Samples() {
  std::vector<Sample> s = {
      {"TYP 1 time-tagged message", Telegram("01 81 01 05 A0 40 02 E8 03 15 8A 07")},
      {"TYP 2 relative time", Telegram("02 81 01 05 A0 40 01 0A 00 2C 01 E8 03 D5 8A 07")},
      {"TYP 3 measurands I", Telegram("03 84 02 05 A0 90 F9 FF FB 7F 50 1A 00 00")},
      {"TYP 4 measurand with relative time",
       Telegram("04 81 01 05 A0 91 00 00 C8 C2 0A 00 2C 01 E8 03 15 0A")},
      {"TYP 5 identification",
       Telegram("05 81 03 05 A0 03 02 53 49 50 52 4F 54 45 43 01 02 03 04")},
      {"TYP 6 time synchronisation",
       Telegram("06 81 08 FF FF 00 E8 03 55 8A 26 02 1A", 40, 0x44, 255)},
      {"TYP 7 general interrogation", Telegram("07 81 09 FF FF 00 12", 40, 0x53)},
      {"TYP 8 end of general interrogation", Telegram("08 81 0A 05 FF 00 12")},
      {"TYP 9 measurands II", Telegram("09 82 02 05 A0 94 08 00 F2 FF")},
      {"TYP 10 generic data",
       Telegram("0A 81 2A 05 FE F1 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13")},
      {"TYP 20 general command", Telegram("14 81 14 05 A0 13 02 07", 40, 0x73)},
      {"TYP 23 list of disturbances",
       Telegram("17 82 1F 05 FF 00 01 00 00 E8 03 15 8A 06 0C 19 02 00 01 E8 03 15 8A E6 0C 19")},
      {"TYP 24 disturbance data order", Telegram("18 81 1F 05 FF 00 01 00 02 00 00", 40, 0x53)},
      {"TYP 25 acknowledgement", Telegram("19 81 1F 05 FF 00 40 01 02 00 00", 40, 0x73)},
      {"TYP 26 ready for disturbance data",
       Telegram("1A 81 1F 05 A0 00 00 01 02 00 10 00 03 40 00 01 00 E8 03 15 0A")},
      {"TYP 27 ready for channel",
       Telegram("1B 81 1F 05 A0 00 00 01 02 00 05 00 00 80 3F 00 20 F1 47 CD CC 4C 3D")},
      {"TYP 28 ready for tags", Telegram("1C 81 1F 05 A0 00 00 00 02 00")},
      {"TYP 29 transmission of tags",
       Telegram("1D 81 1F 05 A0 00 02 00 02 05 00 A0 10 02 A0 11 01")},
      {"TYP 30 transmission of values",
       Telegram("1E 81 1F 05 A0 00 00 01 02 00 01 03 07 00 01 00 02 00 03 00")},
      {"TYP 31 end of transmission", Telegram("1F 81 1F 05 A0 00 20 01 02 00 00")},
      {"TYP 10 with the field separator and high octets",
       Telegram("0A 81 2A 05 FE F1 3B 41 7F 80 FF 3B", 40, 0x08, 0x3B)},
      {"TYP 5 with the field separator",
       Telegram("05 81 03 05 A0 03 02 41 3B 42 43 44 45 46 47 01 02 03 04")},
      {"ASDU of three octets", Entry(26, kFrameVariable, Hex("68 05 05 68 08 01 01 81 01 8C 16"))},
      {"ASDU of five octets", Telegram("01 81 01 05 A0", 26)},
      {"no ASDU", Entry(26, kFrameVariable, Hex("68 02 02 68 08 01 09 16"))},
      {"reset of remote link", Entry(40, kFrameFixed, Hex("10 40 05 45 16"), 2)},
      {"status of link answer", Entry(40, kFrameFixed, Hex("10 2B 05 30 16"), 1)},
      {"single character", Entry(40, kFrameFixed, {0xE5}, 3)},
      {"repeated request", Entry(14, kFrameFixed, Hex("10 7A 05 7F 16"), 1)},
      {"octets without a start character", Entry(5, kFrameOther, Hex("01 02 03"), 3)},
      {"octets with the field separator", Entry(5, kFrameOther, Hex("3B 41 80 3B"), 3)},
      {"free octets sent", Entry(51, kFrameVariable, VariableFrame(0x53, 5, "01 02 03"), 2)},
      {"link established", Event(45, 5, 2)},
      {"RTS on", Event(50, 1, 2, kFrameFixed)},
      {"modem lines", Event(43, 0x80 | 0x08 | 0x02, 3, kFrameFixed)},
  };
  TLogEntry opened =
      Entry(48, kFrameEvent,
            Hex("0A 00 00 00 01 00 00 00 14 00 00 00 02 00 00 00 02 00 00 00 00 4B 00 00"), 3);
  opened.linkAddress = 2;
  s.push_back({"port opened", opened});
  return s;
}

std::string GoldenPath() {
  std::string here = __FILE__;
  return here.substr(0, here.find_last_of('/') + 1) + "golden/telegrams.txt";
}

class GoldenTest : public RenderTest {};

TEST_F(GoldenTest, EveryTypeAndEventInEveryFormat) {
  static constexpr std::pair<DisplayFormat, const char*> kFormats[] = {
      {DisplayFormat::Log, "full"},
      {DisplayFormat::Compact, "compact"},
      {DisplayFormat::OneLine, "one line"},
      {DisplayFormat::Octets, "octets"},
      {DisplayFormat::Csv, "csv"}};
  std::ostringstream out;
  for (const auto& [format, name] : kFormats) {
    for (const Sample& sample : Samples()) {
      out << "## " << name << ": " << sample.name << "\n";
      for (const std::string& line : Lines(sample.entry, format)) out << line << "|\n";
    }
  }
  const std::string rendered = out.str();
  if (std::getenv("KIVO_WRITE_GOLDEN") != nullptr) {
    std::ofstream(GoldenPath(), std::ios::binary) << rendered;
  }
  std::ifstream in(GoldenPath(), std::ios::binary);
  ASSERT_TRUE(in.good()) << GoldenPath();
  const std::string golden(std::istreambuf_iterator<char>(in), {});
  const auto differs = std::ranges::mismatch(golden, rendered).in1 - golden.begin();
  const std::size_t at = golden.rfind("\n## ", static_cast<std::size_t>(differs)) + 1;
  EXPECT_EQ(rendered, golden) << "first difference in "
                              << golden.substr(at, golden.find('\n', at) - at);
}

// The export renders each distinct telegram once and puts the number, time
// and delta of every later equal one into its lines. Whatever the format and
// toggles, the lines and the delta of the next header must be those the
// renderer gives each entry, whether all of it or only its lines before the
// elements are known: numbers that grow a digit or a thousands group,
// time gaps that change the delta's width, a new day, the first header
// without a delta, and a one-line form cut at its greatest length.
TEST_F(GoldenTest, TheLineCacheGivesEveryEntryTheRenderersOwnLines) {
  infoTexts_.Add(InfoKey(1, 160, 64), 0x0003, std::string(250, 'N'));
  infoTexts_.Sort();
  std::vector<TLogEntry> log;
  const std::vector<Sample> samples = Samples();
  std::uint32_t seqNo = 95;
  double time = kMorning;
  for (int round = 0; round < 40; ++round) {
    for (std::size_t i = 0; i < samples.size(); i += 1 + static_cast<std::size_t>(round % 3)) {
      TLogEntry entry = samples[i].entry;
      // Element values (and now and then the INF) that change from round to
      // round, and come again.
      if (entry.frameKind == kFrameVariable && entry.byteCount > 15) {
        entry.frame[entry.byteCount - 3] ^= static_cast<std::uint8_t>(round % 4);
        entry.frame[11] ^= static_cast<std::uint8_t>(round % 5 == 2);
      }
      entry.seqNo = seqNo;
      entry.timeStamp = time;
      log.push_back(entry);
      // One after the other, growing a digit or a thousands group on the way
      // (past 100, 1,000 and 10,000), with two jumps.
      seqNo = round == 10 && seqNo < 990 ? 990 : round == 20 && seqNo < 9'990 ? 9'990 : seqNo + 1;
      time += (round % 5 == 4 ? 40'000.0 : 0.25) / 86400.0;  // a new day now and then
    }
    if (round == 7) {
      // A time stamp beyond any date, between two entries of one second.
      const TLogEntry before = log.back();
      log.push_back(before);
      log.back().timeStamp = 1e300;
      log.push_back(before);
    }
    log.push_back(Telegram("01 81 01 05 A0 40 02 E8 03 15 8A 07"));  // named at length
    // Long frames shown as octet rows, whose later rows change.
    const std::string octets =
        "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 "
        "15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27 ";
    const std::string last = std::to_string(10 + round % 3);
    log.push_back(Entry(51, kFrameVariable, VariableFrame(0x53, 5, octets + last), 2));
    log.push_back(Entry(5, kFrameVariable, VariableFrame(0x08, 5, "01 81 " + octets + last)));
    for (std::size_t k = log.size() - 3; k < log.size(); ++k) {
      log[k].seqNo = seqNo;
      log[k].timeStamp = time;
    }
  }
  for (DisplayFormat format : {DisplayFormat::Log, DisplayFormat::Compact, DisplayFormat::OneLine,
                               DisplayFormat::Octets, DisplayFormat::Csv}) {
    for (int toggles = 0; toggles < 8; ++toggles) {
      RenderContext direct = Context(format, toggles & 1, toggles & 2);
      RenderContext cached = Context(format, toggles & 1, toggles & 2);
      RenderContext textual = Context(format, toggles & 1, toggles & 2);
      for (RenderContext* c : {&direct, &cached, &textual}) {
        // A separator of one octet, or of three (a narrow no-break space).
        c->locale.thousandsSeparator = toggles & 4 ? "\xE2\x80\xAF" : ",";
        c->locale.grouping = "\3";
      }
      // One cache gives lines, the other the text of a file, after the text
      // of the entries before.
      TelegramLineCache cache;
      TelegramLineCache textCache;
      std::string text;
      for (std::size_t n = 0; n < log.size(); ++n) {
        const std::vector<std::string> want = Lines(log[n], direct);
        const auto got = cache.Lines(log[n], cached);
        ASSERT_EQ(std::vector<std::string>(got.begin(), got.end()), want)
            << "format " << static_cast<int>(format) << ", toggles " << toggles << ", entry " << n;
        ASSERT_EQ(cached.previousTime, direct.previousTime) << "entry " << n;
        const bool blank = n % 3 != 0;
        std::string wantText;
        for (const std::string& line : want) wantText += line + "\r\n";
        if (blank && !want.empty()) wantText += "\r\n";
        if (text.size() > 100'000) text.clear();
        const std::size_t before = text.size();
        textCache.AppendText(log[n], textual, blank, text);
        ASSERT_EQ(text.substr(before), wantText) << "entry " << n;
        ASSERT_EQ(textual.previousTime, direct.previousTime) << "entry " << n;
      }
    }
  }
}

TEST_F(GoldenTest, TelegramsKeptBeforeTheCacheRanFullAreRenderedAgainAfterIt) {
  // Telegrams that come often, then more different ones than the cache
  // holds, then the first ones again: whatever the cache dropped on the way
  // must not be read again.
  auto fixed = [](int n) {
    TLogEntry e = Entry(40, kFrameFixed,
                        {0x10, static_cast<std::uint8_t>(0x40 | n % 16),
                         static_cast<std::uint8_t>(n / 16 % 256), 0x00, 0x16});
    e.linkAddress = static_cast<std::uint16_t>(n / 16);
    return e;
  };
  // Measurands under heads of their own (FUN and INF), with other values
  // each time: their heads are kept apart.
  auto measurands = [](int n, int value) {
    char asdu[64];
    std::snprintf(asdu, sizeof asdu, "03 84 02 05 %02X %02X 19 02 31 04 00 00 %02X 1A", n % 256,
                  n / 256, value);
    return Telegram(asdu);
  };
  std::vector<TLogEntry> log;
  for (int round = 0; round < 3; ++round) {
    for (int n = 0; n < 64; ++n) {
      log.push_back(fixed(n));
      log.push_back(measurands(n, round));
    }
  }
  for (int n = 64; n < 64 + 4200; ++n) {
    log.push_back(fixed(n));
    log.push_back(fixed(n));
  }
  // The heads run full at the last one.
  for (int n = 64; n <= 4096; ++n) {
    log.push_back(measurands(n, 1));
    log.push_back(measurands(n, 2));
  }
  for (int n = 0; n < 64; ++n) {
    log.push_back(fixed(n));
    log.push_back(measurands(n, 3));
  }
  for (DisplayFormat format : {DisplayFormat::Log, DisplayFormat::Csv}) {
    RenderContext direct = Context(format);
    RenderContext cached = Context(format);
    RenderContext textual = Context(format);
    TelegramLineCache cache;
    TelegramLineCache textCache;
    // Numbers from before the log's first (as a damaged log may hold) cross
    // the wrap of the 32-bit telegram number at a telegram kept already.
    std::uint32_t seqNo = direct.firstSeqNo - 161;
    for (std::size_t n = 0; n < log.size(); ++n) {
      log[n].seqNo = seqNo++;
      const std::vector<std::string> want = Lines(log[n], direct);
      const auto got = cache.Lines(log[n], cached);
      ASSERT_EQ(std::vector<std::string>(got.begin(), got.end()), want) << "entry " << n;
      std::string text;
      textCache.AppendText(log[n], textual, false, text);
      std::string wantText;
      for (const std::string& line : want) wantText += line + "\r\n";
      ASSERT_EQ(text, wantText) << "entry " << n;
    }
  }
}

// Measurands and octet rows under a head seen before go to the text
// straight; they must
// be the renderer's own lines too where a line outgrows its greatest length
// (long texts, cut before or within a character of two octets), where the
// ASDU ends in an odd octet and where its VSQ counts more or fewer
// measurands than it holds.
TEST_F(GoldenTest, MeasurandsAndOctetRowsInTheTextAreTheRenderersOwnLines) {
  std::ifstream in(std::string(KIVO_LANG_DIR) + "KivoText.usa", std::ios::binary);
  const std::string content(std::istreambuf_iterator<char>(in), {});
  // Texts that make a line cut before, or within, a character of two octets:
  // the overflow flag of the text forms, the type column of CSV and the
  // channel before the first octet row (Tx port 1).
  TextTable longTexts[2];
  for (int odd = 0; odd < 2; ++odd) {
    std::string longText(odd, 'O');
    for (int i = 0; i < 90; ++i) longText += "\xC3\xA9";
    std::string changed = content;
    for (const char* number : {"\n0274 ", "\n0070 ", "\n1177 "}) {
      const std::size_t at = changed.find(number) + 1;
      ASSERT_NE(at, 0u) << number;
      // (The channel a little longer: the rows of kept measurands below it
      // in the one-line form are cut too.)
      const std::string more = std::string_view(number) == "\n1177 " ? "1234567890" : "";
      changed.replace(at, changed.find('\n', at) - at,
                      std::string(number + 1) + " " + longText + more);
    }
    ASSERT_TRUE(longTexts[odd].LoadLines(changed, "/prog/KivoText.usa").ok());
    longTexts[odd].ApplyPostLoad();
  }
  std::vector<TLogEntry> log;
  for (int n = 0; n < 12; ++n) {
    // Four measurands, the first with new values each time, the third with
    // the overflow flag now and then; every fourth ASDU has an octet more.
    char asdu[80];
    std::snprintf(asdu, sizeof asdu, "03 84 02 05 A0 90 %02X %02X 31 04 %02X 00 49 1A%s",
                  (n * 8) & 0xFF, n, n % 2, n % 4 == 3 ? " 07" : "");
    log.push_back(Telegram(asdu));
    log.push_back(Telegram("09 85 02 05 A0 94 08 00 F2 FF 09 00 08 00 0C 00"));
    log.back().frame[7] = static_cast<std::uint8_t>(0x83 + n % 3 * 2);  // 3, 5 or 7
    log.back().frame[12] = static_cast<std::uint8_t>(n * 8 + 1);        // overflow
    log.back().channel = 2;
    // Twenty measurands: more than a CSV line puts together at once.
    std::string twenty = "03 94 02 05 A0 91";
    for (int k = 0; k < 20; ++k) {
      std::snprintf(asdu, sizeof asdu, " %02X %02X", (n * 8 + k * 16) & 0xF8, k);
      twenty += asdu;
    }
    log.push_back(Telegram(twenty));
  }
  std::uint32_t seqNo = 100;
  for (TLogEntry& entry : log) entry.seqNo = seqNo++;
  bool cut = false;
  const TextTable* const tables[] = {texts_, &longTexts[0], &longTexts[1]};
  for (const TextTable* texts : tables) {
    for (DisplayFormat format : {DisplayFormat::Log, DisplayFormat::Compact, DisplayFormat::OneLine,
                                 DisplayFormat::Octets, DisplayFormat::Csv}) {
      auto context = [&] {
        RenderContext c(*texts);
        c.format = format;
        c.showTime = c.showLink = true;
        c.locale = LocaleFormats::FromSystem();
        c.firstSeqNo = 100;
        return c;
      };
      RenderContext direct = context();
      RenderContext textual = context();
      TelegramLineCache cache;
      for (std::size_t n = 0; n < log.size(); ++n) {
        const std::vector<std::string> want = Lines(log[n], direct);
        std::string wantText;
        for (const std::string& line : want) {
          wantText += line + "\r\n";
          cut = cut || line.size() == 254;
        }
        const bool blank = format != DisplayFormat::Csv;
        std::string text;
        cache.AppendText(log[n], textual, blank, text);
        ASSERT_EQ(text, wantText + (blank ? "\r\n" : ""))
            << "format " << static_cast<int>(format) << ", entry " << n;
      }
    }
  }
  EXPECT_TRUE(cut);  // a row was cut before a character of two octets
}

}  // namespace
}  // namespace kivo::testing
