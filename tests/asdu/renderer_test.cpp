// Lines of rendered telegrams and events, as the log view shows them, with
// the English texts as shipped and the C.UTF-8 locale. The golden test shows
// one telegram of each type; these are the toggles, the edges and the faults.
#include <cmath>
#include <functional>

#include "record/colour_records.h"
#include "render_fixture.h"

namespace kivo::testing {
namespace {

using LineList = std::vector<std::string>;

const std::string kTyp1 = "01 81 01 05 A0 40 02 E8 03 15 8A 07";
const std::string kTyp1Link = "  Link      Addr 5    User data  $08  RES=0 PRM=0 ACD=0 DFC=0";
constexpr auto kLog = DisplayFormat::Log;
constexpr auto kOneLine = DisplayFormat::OneLine;
constexpr auto kCsv = DisplayFormat::Csv;

// An expected line is compared whole; "*" stands for any line, and a leading or
// trailing '*' leaves that end of the line open.
bool Matches(std::string_view line, std::string_view want) {
  if (want == "*") return true;
  const bool openStart = want.starts_with('*');
  const bool openEnd = want.ends_with('*');
  want = want.substr(openStart, want.size() - openStart - openEnd);
  if (openStart && openEnd) return line.find(want) != std::string_view::npos;
  if (openStart || openEnd) return openStart ? line.ends_with(want) : line.starts_with(want);
  return line == want;
}

class RenderedLines : public RenderTest {
 protected:
  void Expect(const char* what, const TLogEntry& entry, DisplayFormat format, const LineList& want,
              bool showTime = true, bool showLink = true,
              const std::function<void(RenderContext&)>& setUp = {}) {
    RenderContext context = Context(format, showTime, showLink);
    if (setUp) setUp(context);
    const LineList lines = Lines(entry, context);
    bool same = lines.size() == want.size();
    for (std::size_t i = 0; same && i < lines.size(); ++i) same = Matches(lines[i], want[i]);
    std::string got;
    for (const std::string& line : lines) got += "\n" + line + "|";
    EXPECT_TRUE(same) << what << ", rendered:" << got;
  }
};

TEST_F(RenderedLines, TimeAndLinkToggles) {
  const TLogEntry poll = Entry(40, kFrameFixed, Hex("10 5B 05 60 16"), 2);
  Expect("both off", Telegram(kTyp1), kLog,
         {"Rx port 1:  ADR 5     TYP 1=Time-tagged message   COT 1=spontaneous", "*", "*"}, false,
         false);
  Expect("time line off", Telegram(kTyp1), kLog, {kTyp1Link, "*", "*", "*"}, false, true);
  Expect("fixed frame, link off", poll, kLog, {}, false, false);
  Expect("fixed frame, time on, link off", poll, kLog, {}, true, false);
  Expect("fixed frame, one line, link off", poll, kOneLine, {}, true, false);
  Expect("fixed frame, octets, both off", poll, DisplayFormat::Octets, {}, false, false);
  Expect("a faulty entry keeps header and link line", Telegram(kTyp1, 26), kLog,
         {" 2          10:20:30,456  ASDU length wrong", kTyp1Link, "*", "*", "*"}, false, false);
  TLogEntry numbered = Telegram(kTyp1);
  numbered.seqNo = 100 + 12344;
  Expect("number with thousands", numbered, kLog,
         {"12.345      10:20:30,456  correct*", "*", "*", "*", "*"}, true, true,
         [](RenderContext& c) {
           c.locale.thousandsSeparator = ".";
           c.locale.grouping = "\3";
         });
}

TEST_F(RenderedLines, UnknownTypesHighCausesImpossibleDatesAndEvents) {
  std::string octets;
  for (int i = 1; i <= 40; ++i) octets += " " + ToHex(Octets{static_cast<std::uint8_t>(i + 0x40)});
  Expect("an unknown type, the data column on the first row only",
         Telegram("0F 81 2A 05 FE F1" + octets, 42), kLog,
         {"*", "*", "Rx port 1:  ADR 5     TYP 15=reserved   COT 42=generic read, valid data", "*",
          "  Data           1-16:  *", "    17-32:  *", "    33-40:  *"});
  Expect("a high cause", Telegram("14 81 C8 05 A0 13 02 07", 27), kLog,
         {"*", "*", "Rx port 1:  ADR 5     TYP 20=General command   COT 200=undefined/private", "*",
          "*"});
  Expect("a private type", Telegram("80 81 01 05 A0 13 02 07", 42), kLog,
         {"*", "*", "Rx port 1:  ADR 5     TYP 128=private   COT 1=spontaneous", "*", "*"});
  Expect("an impossible date as the octets say", Telegram("06 81 08 FF FF 00 E8 03 15 0A 1F 02 50"),
         kLog, {"*", "*", "*", "*", "  Data      02/31/80  10:21:01,000"});
  Expect("a measurand scaled by the reference value", Telegram("09 81 02 05 A0 94 F8 7F"), kLog,
         {"*", "*", "*", "*", "  Data        4095= 100.0%        "}, true, true,
         [](RenderContext& c) { c.measurand100 = 4095; });
  TLogEntry port = Entry(49, kFrameEvent, Hex("0A 00 00 00 01 00 00 00 14 00 00 00 02 00 00 00"));
  port.linkAddress = 1;
  Expect("port closed", port, kLog,
         {" 2          10:20:30,456  Port 1 closed      Rx port 1: 10 tel., 1 err.  Tx port 1: 20 "
          "tel., 2 err."});
  port.SetFrame({});
  Expect("port closed without counters", port, kLog,
         {" 2          10:20:30,456  Port 1 closed    "});
  Expect("link lost without time", Event(32, 7, 2), kOneLine, {"Tx port 1    Link lost"}, false);
}

TEST_F(RenderedLines, KeptMeasurandTextsFollowTheReferenceAndKeepTheirFlags) {
  MeasurandTexts kept;
  RenderContext context = Context(kLog, true, true);
  context.measurandTexts = &kept;
  // As the line cache does: each telegram starts afresh at its reference.
  auto last = [&](const TLogEntry& entry) {
    kept.Expire();
    return Lines(entry, context).back();
  };
  context.measurand100 = 4095;
  const TLogEntry plain = Telegram("09 81 02 05 A0 94 F8 7F");
  EXPECT_EQ(last(plain), "  Data        4095= 100.0%        ");
  EXPECT_EQ(last(plain), "  Data        4095= 100.0%        ");
  context.measurand100 = 2048;
  EXPECT_EQ(last(plain), "  Data        4095= 200.0%        ");
  // The same value with its overflow and error bits: the kept text, then theirs.
  const TLogEntry flagged = Telegram("09 81 02 05 A0 94 FB 7F");
  RenderContext fresh = Context(kLog, true, true);
  fresh.measurand100 = 2048;
  const std::string alone = Lines(flagged, fresh).back();
  EXPECT_NE(alone, "  Data        4095= 200.0%        ");
  EXPECT_EQ(last(flagged), alone);
  // Other texts of the flags (another language) make the fields anew.
  TextTable renamed;
  ASSERT_TRUE(renamed.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
  renamed.ApplyPostLoad();
  ASSERT_TRUE(renamed.SetText(elementtext::kOverflow, " UE"));
  RenderContext other(renamed);
  other.format = kLog;
  other.locale = context.locale;
  other.measurand100 = 2048;
  other.measurandTexts = &kept;
  kept.Expire();
  EXPECT_EQ(Lines(flagged, other).back(), "  Data        4095= 200.0% UE ER  ");
}

// Every measurand word in CSV: its flags (overflow, error and the reserve
// bit), then its 13-bit value with its sign.
TEST_F(RenderedLines, CsvMeasurandsAreTheirFlagsAndSignedValues) {
  RenderContext context = Context(kCsv);
  constexpr int kPerTelegram = 12;
  for (int first = 0; first < 0x10000; first += kPerTelegram) {
    char octet[8];
    std::string asdu = "09 8C 02 05 A0 94";
    std::string want;
    for (int k = 0; k < kPerTelegram; ++k) {
      const int word = (first + k) & 0xFFFF;
      std::snprintf(octet, sizeof octet, " %02X %02X", word & 0xFF, word >> 8);
      asdu += octet;
      const int value = static_cast<int>(std::floor((word & 0x8000 ? word - 0x10000 : word) / 8.0));
      want += std::to_string(word & 7) + ";" + std::to_string(value) + ";";
    }
    const LineList lines = Lines(Telegram(asdu), context);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_TRUE(lines[0].ends_with(";;" + want)) << lines[0] << "\n" << want;
  }
}

TEST_F(RenderedLines, FaultyAndShortFramesShowTheirOctetsAndWhereTheAsduEnds) {
  const LineList checksumError = {
      " 2          10:20:30,456  Checksum error",
      "Rx port 1   1-16:  68 0E 0E 68  08 05 01 81  01 05 A0 40  02 E8 03 15  "
      "h..h.......@....  ",
      "    17-20:  8A 07 08 16                                         ....     "
      "         "};
  for (DisplayFormat f : {kLog, DisplayFormat::Compact, kOneLine, DisplayFormat::Octets}) {
    Expect("checksum error", Telegram(kTyp1, 9), f, checksumError);
  }
  Expect("checksum error", Telegram(kTyp1, 9), kCsv,
         {"2;0;Rx port 1;12/06/26;10:20:30;456;Checksum error;8;5;68 0E 0E 68*",
          "2;1;Rx port 1;12/06/26;10:20:30;456;Checksum error;8;5;8A 07 08 16*"});
  const TLogEntry shortElement = Telegram("01 81 01 05 A0 40 02 E8 03", 26);
  Expect("short element", shortElement, kLog,
         {"*", "*", "*", "*",
          "  Data      ASDU length wrong  02 E8 03                                 "
          "           ...               "});
  Expect("short element", shortElement, kCsv, {"*;;ASDU length wrong;02 E8 03 *"});
  Expect("octets beyond the elements", Telegram("07 81 09 FF FF 00 12 AA BB CC", 26), kLog,
         {"*", "*", "*", "*", "  Data      SCN 18", "  Data            1-3:  AA BB CC    *"});
  Expect("octets beyond the elements", Telegram("03 80 02 05 A0 90 08 00 10 00", 25), kCsv,
         {"*;160;144;;", "*;;08 00 10 00 " + std::string(40, ' ') + "....              "});
  const TLogEntry pastEnd = Telegram("03 85 02 05 A0 90 08 00 10 00 08", 26);
  Expect("element count past the ASDU", pastEnd, kLog,
         {"*", "*", "*", "*",
          "  Data           1= 0.029%             2= 0.059%        ASDU length wrong  08    "
          "                                              .                 "});
  Expect("element count past the ASDU", pastEnd, kCsv, {"*;;0;1;0;2;ASDU length wrong;08 *"});
  const TLogEntry tags = Telegram("1D 81 1F 05 A0 00 02 00 09 05 00 A0 10 02 A0", 26);
  Expect("repeat count past the ASDU", tags, kLog,
         {"*", "*", "*", "*", "  Data      FAN 2     NOT 9     TAP 5     ",
          "  Data            1-4:  A0 10 02 A0 *"});
  Expect("repeat count past the ASDU", tags, kCsv,
         {"*2;9;5;160;16;2;", "*;;ASDU length wrong;A0 *"});
  Expect("values past the ASDU", Telegram("1E 81 1F 05 A0 00 00 01 02 00 01 09 07 00 01 00 02", 26),
         kCsv, {"*;;0;1;2;1;9;7;1;", "*;;ASDU length wrong;02 *"});
  Expect("frame too short for an ASDU",
         Entry(26, kFrameVariable, Hex("68 03 03 68 08 05 01 0E 16")), kLog, {"*", "*"});
}

TEST_F(RenderedLines, DeltaFollowsTheFirstHeaderAndEventsOnlySetTheTime) {
  RenderContext context = Context(kLog);
  TLogEntry later = Telegram(kTyp1);
  later.timeStamp = kMorning + 1.5 / 86400.0;
  EXPECT_EQ(Lines(Telegram(kTyp1), context)[0], " 2          10:20:30,456  correct");
  EXPECT_EQ(Lines(later, context)[0], " 2          10:20:31,956  d=1.500s  correct");
  context.previousTime = 0.0;  // the view starts drawing again
  EXPECT_EQ(Lines(later, context)[0], " 2          10:20:31,956  correct");
  context.previousTime = kMorning - 1.0 / 86400.0;
  EXPECT_EQ(Lines(Event(45, 7, 2), context)[0],
            " 2          10:20:30,456  Tx port 1 Addr 7  Link established");
  EXPECT_EQ(Lines(Telegram(kTyp1), context)[0], " 2          10:20:30,456  d=0.000s  correct");
}

TEST_F(RenderedLines, InformationObjectNameAndColourOverrides) {
  std::array<std::uint16_t, 256> types{};
  std::array<std::uint16_t, 256> causes{};
  RenderContext context = Context(kLog);
  context.typeColours = &types;
  context.causeColours = &causes;
  causes[1] = 0x0C07;
  Lines(Telegram(kTyp1), context);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0C07);
  types[1] = 0x0C00;  // a type pair hides the cause pair, even with one octet set
  Lines(Telegram(kTyp1), context);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0C02);
  infoTexts_.Add(InfoKey(1, 160, 64), 0x0003, "Trip L1");
  infoTexts_.Sort();
  EXPECT_EQ(Lines(Telegram(kTyp1), context)[3], "  Object    FUN 160   INF 64=Trip L1   ");
  EXPECT_EQ(lastCursor_.nameKey, 0x00A00140u);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0F03);
  Lines(Telegram(kTyp1, 27), context);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0F02);  // faulty entries keep their pair
  EXPECT_EQ(
      Lines(Telegram(kTyp1), kCsv)[0],
      "2;0;Rx port 1;12/06/26;10:20:30;456;correct;8;5;Type_1;1;129;1;5;160;64;Trip L1;2;1000;"
      "21;138;7;");
}

TEST_F(RenderedLines, EntryPairByChannelOrFaultyAndTheElementTextForTheEditors) {
  TTelFont font;
  EXPECT_EQ(EntryColourPair(Event(45, 5, 2), font), font.pairs[5]);
  EXPECT_EQ(EntryColourPair(Event(50, 1, 2, kFrameFixed), font), font.pairs[1]);
  RenderContext context = Context(kLog);
  RenderCursor cursor;
  StartTelegram(cursor, Telegram("14 81 14 05 A0 13 01 2A"), context, 0);
  cursor.parsePosition = ft12::at::kElements;
  EXPECT_EQ(ElementText(cursor, context), "OFF       RII 42");
  EXPECT_EQ(ElementText(cursor, context), "");
}

}  // namespace
}  // namespace kivo::testing
