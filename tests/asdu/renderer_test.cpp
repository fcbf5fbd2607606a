// Lines of rendered telegrams and events, as the log view shows them, with
// the English texts as shipped and the C.UTF-8 locale.
#include <vector>

#include "record/colour_records.h"
#include "render_fixture.h"

namespace kivo::testing {
namespace {

using LineList = std::vector<std::string>;

const std::string kTyp1 = "01 81 01 05 A0 40 02 E8 03 15 8A 07";

// ---- the line machine and its toggles

TEST_F(RenderTest, Typ1InFullFormatGivesFiveLines) {
  EXPECT_EQ(Lines(Telegram(kTyp1), DisplayFormat::Log),
            (LineList{" 2          10:20:30,456  correct",
                      "  Link      Addr 5    User data  $08  RES=0 PRM=0 ACD=0 DFC=0",
                      "Rx port 1:  ADR 5     TYP 1=Time-tagged message   COT 1=spontaneous",
                      "  Object    FUN 160   INF 64    ",
                      "  Data      ON        SU 10:21:01,000  SIN 7     "}));
}

TEST_F(RenderTest, TogglesOffVariableFrameStartsWithAsduHeader) {
  const LineList lines = Lines(Telegram(kTyp1), DisplayFormat::Log, false, false);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Rx port 1:  ADR 5     TYP 1=Time-tagged message   COT 1=spontaneous");
}

TEST_F(RenderTest, TimeLineOffKeepsLinkLineOfVariableFrame) {
  const LineList lines = Lines(Telegram(kTyp1), DisplayFormat::Log, false, true);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "  Link      Addr 5    User data  $08  RES=0 PRM=0 ACD=0 DFC=0");
}

TEST_F(RenderTest, GoodFixedFrameWithoutLinkLineHasNoLines) {
  const TLogEntry poll = Entry(40, kFrameFixed, Hex("10 5B 05 60 16"), 2);
  EXPECT_TRUE(Lines(poll, DisplayFormat::Log, false, false).empty());
  EXPECT_TRUE(Lines(poll, DisplayFormat::Log, true, false).empty());
  EXPECT_TRUE(Lines(poll, DisplayFormat::OneLine, true, false).empty());
  EXPECT_TRUE(Lines(poll, DisplayFormat::Octets, false, false).empty());
  EXPECT_EQ(
      Lines(poll, DisplayFormat::Log),
      (LineList{" 2          10:20:30,456  correct",
                "Tx port 1:  Addr 5    Request user data class 2  $5B  RES=0 PRM=1 FCB=0 FCV=1"}));
  EXPECT_EQ(Lines(poll, DisplayFormat::OneLine),
            (LineList{"Tx port 1   2  10:20:30,456  5  $5B  correct"}));
}

TEST_F(RenderTest, FaultyEntryKeepsHeaderAndLinkLineWithTogglesOff) {
  const LineList lines = Lines(Telegram(kTyp1, 26), DisplayFormat::Log, false, false);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], " 2          10:20:30,456  ASDU length wrong");
  EXPECT_EQ(lines[1], "  Link      Addr 5    User data  $08  RES=0 PRM=0 ACD=0 DFC=0");
}

TEST_F(RenderTest, SingleCharacterShowsItsTextAndControlPart) {
  const TLogEntry ack = Entry(40, kFrameFixed, {0xE5}, 3);
  EXPECT_EQ(Lines(ack, DisplayFormat::Log), (LineList{" 2          10:20:30,456  correct",
                                                      "Rx port 2:  Single character ACK  $E5"}));
  EXPECT_EQ(Lines(ack, DisplayFormat::OneLine),
            (LineList{"Rx port 2   2  10:20:30,456     $E5  correct"}));
  EXPECT_EQ(Lines(ack, DisplayFormat::Csv),
            (LineList{"2;0;Rx port 2;12/06/26;10:20:30;456;correct;229;"}));
}

TEST_F(RenderTest, DeltaFollowsTheFirstHeaderOnly) {
  RenderContext context = Context(DisplayFormat::Log);
  TLogEntry later = Telegram(kTyp1);
  later.timeStamp = kMorning + 1.5 / 86400.0;
  EXPECT_EQ(Lines(Telegram(kTyp1), context)[0], " 2          10:20:30,456  correct");
  EXPECT_EQ(Lines(later, context)[0], " 2          10:20:31,956  d=1.500s  correct");
  context.previousTime = 0.0;  // the view starts drawing again
  EXPECT_EQ(Lines(later, context)[0], " 2          10:20:31,956  correct");
}

TEST_F(RenderTest, TelegramNumberCountsFromFirstEntryWithThousands) {
  RenderContext context = Context(DisplayFormat::Log);
  context.locale.thousandsSeparator = ".";
  context.locale.grouping = "\3";
  TLogEntry e = Telegram(kTyp1);
  e.seqNo = 100 + 12344;
  EXPECT_EQ(Lines(e, context)[0], "12.345      10:20:30,456  correct");
}

// ---- ASDU content

TEST_F(RenderTest, SevenMeasurandsFillThreeLines) {
  const LineList lines = Lines(
      Telegram("03 87 02 05 A0 90 F9 FF FB 7F 50 1A 00 00 08 00 F0 FF 10 00"), DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4],
            "  Data          -1=-0.029% OV       4095= 120.0% OV ER     842= 24.67%        ");
  EXPECT_EQ(lines[5],
            "  Data           0= 0.000%             1= 0.029%            -2=-0.059%        ");
  EXPECT_EQ(lines[6], "  Data           2= 0.059%        ");
}

TEST_F(RenderTest, GenericDataRowsAllCarryTheDataColumnUnknownTypeOnlyTheFirst) {
  std::string octets;
  for (int i = 1; i <= 40; ++i) octets += " " + Hex2(static_cast<std::uint8_t>(i + 0x40));
  const LineList known = Lines(Telegram("15 81 2A 05 FE F1" + octets), DisplayFormat::Log);
  ASSERT_EQ(known.size(), 7u);
  EXPECT_EQ(known[4].substr(0, 24), "  Data           1-16:  ");
  EXPECT_EQ(known[5].substr(0, 24), "  Data          17-32:  ");
  EXPECT_EQ(known[6],
            "  Data          33-40:  61 62 63 64  65 66 67 68                            abcdefgh"
            "          ");
  const LineList unknown = Lines(Telegram("0F 81 2A 05 FE F1" + octets, 42), DisplayFormat::Log);
  ASSERT_EQ(unknown.size(), 7u);
  EXPECT_EQ(unknown[2], "Rx port 1:  ADR 5     TYP 15=reserved   COT 42=generic read, valid data");
  EXPECT_EQ(unknown[4].substr(0, 24), "  Data           1-16:  ");
  EXPECT_EQ(unknown[5].substr(0, 12), "    17-32:  ");
  EXPECT_EQ(unknown[6].substr(0, 12), "    33-40:  ");
}

TEST_F(RenderTest, DisturbanceListUsesTheMultiLineFormInOneLineFormat) {
  const LineList lines = Lines(
      Telegram("17 82 1F 05 FF 00 01 00 00 E8 03 15 8A 06 0C 19 02 00 01 E8 03 15 8A 06 0C 19"),
      DisplayFormat::OneLine);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], "  Object    FUN 255  INF0  ");
  EXPECT_EQ(lines[4], "  Data      FAN 1      SOF 00  12/06/25  SU 10:21:01,000");
  EXPECT_EQ(lines[5], "  Data      FAN 2      SOF 01  12/06/25  SU 10:21:01,000");
}

TEST_F(RenderTest, CauseNamesOfGeneralCommandAndHighCauses) {
  EXPECT_EQ(Lines(Telegram("14 81 14 05 A0 13 02 07"), DisplayFormat::Log)[2],
            "Rx port 1:  ADR 5     TYP 20=General command   COT 20=general command");
  EXPECT_EQ(Lines(Telegram("14 81 C8 05 A0 13 02 07", 27), DisplayFormat::Log)[2],
            "Rx port 1:  ADR 5     TYP 20=General command   COT 200=undefined/private");
  EXPECT_EQ(Lines(Telegram("80 81 01 05 A0 13 02 07", 42), DisplayFormat::Log)[2],
            "Rx port 1:  ADR 5     TYP 128=private   COT 1=spontaneous");
}

TEST_F(RenderTest, CompactFormatHasNoFunInfLine) {
  EXPECT_EQ(Lines(Telegram(kTyp1), DisplayFormat::Compact),
            (LineList{" 2          10:20:30,456  correct",
                      "  Link      Addr 5    User data  $08  RES=0 PRM=0 ACD=0 DFC=0",
                      "Rx port 1:  ADR 5     TYP 1     COT 1     FUN 160   INF 64    ",
                      "  Data      ON        SU 10:21:01,000  SIN 7     "}));
}

TEST_F(RenderTest, InformationObjectNameInFunInfLineAndCsv) {
  infoTexts_.Add(InfoKey(1, 160, 64), 0, "Trip L1");
  infoTexts_.Sort();
  EXPECT_EQ(Lines(Telegram(kTyp1), DisplayFormat::Log)[3],
            "  Object    FUN 160   INF 64=Trip L1   ");
  EXPECT_EQ(lastCursor_.nameKey, 0x00A00140u);
  EXPECT_EQ(
      Lines(Telegram(kTyp1), DisplayFormat::Csv)[0],
      "2;0;Rx port 1;12/06/26;10:20:30;456;correct;8;5;Type_1;1;129;1;5;160;64;Trip L1;2;1000;"
      "21;138;7;");
}

// ---- name and colour selection

TEST_F(RenderTest, ColourOverrideByObjectThenTypeThenCause) {
  std::array<std::uint16_t, 256> types{};
  std::array<std::uint16_t, 256> causes{};
  RenderContext context = Context(DisplayFormat::Log);
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
  Lines(Telegram(kTyp1), context);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0F03);
  Lines(Telegram(kTyp1, 27), context);
  EXPECT_EQ(lastCursor_.ColourPair(), 0x0F02);  // faulty entries keep their pair
}

TEST_F(RenderTest, EntryPairByChannelOrFaulty) {
  TTelFont font;
  EXPECT_EQ(EntryColourPair(Telegram(kTyp1), font), font.pairs[0]);
  EXPECT_EQ(EntryColourPair(Telegram(kTyp1, 26), font), font.pairs[5]);
  EXPECT_EQ(EntryColourPair(Event(45, 5, 2), font), font.pairs[5]);
  EXPECT_EQ(EntryColourPair(Event(50, 1, 2, kFrameFixed), font), font.pairs[1]);
}

// ---- events

TEST_F(RenderTest, PortOpenedShowsFunctionBaudAndCounters) {
  TLogEntry e =
      Entry(48, kFrameEvent,
            Hex("0A 00 00 00 01 00 00 00 14 00 00 00 02 00 00 00 01 00 00 00 80 25 00 00"));
  e.linkAddress = 1;
  EXPECT_EQ(
      Lines(e, DisplayFormat::Log),
      (LineList{" 2          10:20:30,456  Port 1 opened  Primary  9600 baud  Rx port 1: 10 tel., "
                "1 err.  Tx port 1: 20 tel., 2 err."}));
  e.status = 49;
  e.SetFrame(Hex("0A 00 00 00 01 00 00 00 14 00 00 00 02 00 00 00"));
  EXPECT_EQ(
      Lines(e, DisplayFormat::Log)[0],
      " 2          10:20:30,456  Port 1 closed      Rx port 1: 10 tel., 1 err.  Tx port 1: 20 "
      "tel., 2 err.");
  e.SetFrame({});
  EXPECT_EQ(Lines(e, DisplayFormat::Log)[0], " 2          10:20:30,456  Port 1 closed    ");
}

TEST_F(RenderTest, ModemLinesAndRtsEvents) {
  const TLogEntry modem = Event(43, 0x80 | 0x08 | 0x20 | 0x01, 1, kFrameFixed);
  EXPECT_EQ(Lines(modem, DisplayFormat::Log),
            (LineList{" 2          10:20:30,456  Rx port 1 modem lines: DCD=1 CTS=0"}));
  EXPECT_EQ(Lines(modem, DisplayFormat::OneLine),
            (LineList{"Rx port 1   2  10:20:30,456  Rx port 1 modem lines: DCD=1 CTS=0"}));
  const TLogEntry rts = Event(50, 1, 2, kFrameFixed);
  EXPECT_EQ(Lines(rts, DisplayFormat::Log),
            (LineList{" 2          10:20:30,456  Tx port 1 RTS=1"}));
  EXPECT_EQ(Lines(rts, DisplayFormat::Octets),
            (LineList{" 2          10:20:30,456  Tx port 1 RTS=1"}));
  EXPECT_EQ(Lines(rts, DisplayFormat::Csv),
            (LineList{"2;0;Tx port 1;12/06/26;10:20:30;456;Tx port 1 RTS=1;"}));
}

TEST_F(RenderTest, LinkEventsCarryChannelAndAddress) {
  EXPECT_EQ(Lines(Event(32, 7, 2), DisplayFormat::Log),
            (LineList{" 2          10:20:30,456  Tx port 1 Addr 7  Link lost"}));
  EXPECT_EQ(Lines(Event(45, 7, 2), DisplayFormat::Log),
            (LineList{" 2          10:20:30,456  Tx port 1 Addr 7  Link established"}));
  EXPECT_EQ(Lines(Event(45, 7, 2), DisplayFormat::OneLine),
            (LineList{"Tx port 1   2  10:20:30,456  7  Link established"}));
  EXPECT_EQ(Lines(Event(32, 7, 2), DisplayFormat::OneLine, false),
            (LineList{"Tx port 1    Link lost"}));
}

TEST_F(RenderTest, EventsGiveNoDeltaButSetTheTime) {
  RenderContext context = Context(DisplayFormat::Log);
  context.previousTime = kMorning - 1.0 / 86400.0;
  EXPECT_EQ(Lines(Event(45, 7, 2), context)[0],
            " 2          10:20:30,456  Tx port 1 Addr 7  Link established");
  EXPECT_EQ(Lines(Telegram(kTyp1), context)[0], " 2          10:20:30,456  d=0.000s  correct");
}

// ---- faulty and short frames

TEST_F(RenderTest, FaultyFrameShowsOctetsOnly) {
  TLogEntry bad = Telegram(kTyp1, 9);
  const LineList expected = {
      " 2          10:20:30,456  Checksum error",
      "Rx port 1   1-16:  68 0E 0E 68  08 05 01 81  01 05 A0 40  02 E8 03 15  "
      "h..h.......@....  ",
      "    17-20:  8A 07 08 16                                         ....     "
      "         "};
  for (DisplayFormat f : {DisplayFormat::Log, DisplayFormat::Compact, DisplayFormat::OneLine,
                          DisplayFormat::Octets}) {
    EXPECT_EQ(Lines(bad, f), expected);
  }
  const LineList csv = Lines(bad, DisplayFormat::Csv);
  ASSERT_EQ(csv.size(), 2u);
  EXPECT_EQ(csv[0].substr(0, 66),
            "2;0;Rx port 1;12/06/26;10:20:30;456;Checksum error;8;5;68 0E 0E 68");
  EXPECT_EQ(csv[1].substr(0, 66),
            "2;1;Rx port 1;12/06/26;10:20:30;456;Checksum error;8;5;8A 07 08 16");
}

TEST_F(RenderTest, ShortElementIsAnnotatedAndDumped) {
  const LineList lines = Lines(Telegram("01 81 01 05 A0 40 02 E8 03", 26), DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4],
            "  Data      ASDU length wrong  02 E8 03                                 "
            "           ...               ");
  const LineList csv = Lines(Telegram("01 81 01 05 A0 40 02 E8 03", 26), DisplayFormat::Csv);
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_NE(csv[0].find(";;ASDU length wrong;02 E8 03 "), std::string::npos);
}

TEST_F(RenderTest, OctetsBeyondTheDecodedElementsFollowAsRows) {
  const LineList lines = Lines(Telegram("07 81 09 FF FF 00 12 AA BB CC", 26), DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], "  Data      SCN 18");
  EXPECT_EQ(lines[5].substr(0, 36), "  Data            1-3:  AA BB CC    ");
  const LineList csv = Lines(Telegram("03 80 02 05 A0 90 08 00 10 00", 25), DisplayFormat::Csv);
  ASSERT_EQ(csv.size(), 2u);
  EXPECT_EQ(csv[0].substr(csv[0].size() - 10), ";160;144;;");
  EXPECT_EQ(csv[1].substr(csv[1].size() - 72, 14), ";;08 00 10 00 ");
}

TEST_F(RenderTest, ElementCountRunningPastTheAsduStopsAtItsEnd) {
  const TLogEntry e = Telegram("03 85 02 05 A0 90 08 00 10 00 08", 26);
  const LineList lines = Lines(e, DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4],
            "  Data           1= 0.029%             2= 0.059%        ASDU length wrong  08    "
            "                                              .                 ");
  const LineList csv = Lines(e, DisplayFormat::Csv);
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_NE(csv[0].find(";;0;1;0;2;ASDU length wrong;08 "), std::string::npos);
}

TEST_F(RenderTest, RepeatCountsOverrunningTheAsdu) {
  const TLogEntry tags = Telegram("1D 81 1F 05 A0 00 02 00 09 05 00 A0 10 02 A0", 26);
  const LineList lines = Lines(tags, DisplayFormat::Log);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], "  Data      FAN 2     NOT 9     TAP 5     ");
  EXPECT_EQ(lines[5].substr(0, 36), "  Data            1-4:  A0 10 02 A0 ");
  const LineList csv = Lines(tags, DisplayFormat::Csv);
  ASSERT_EQ(csv.size(), 2u);
  EXPECT_EQ(csv[0].substr(csv[0].size() - 15), "2;9;5;160;16;2;");
  EXPECT_NE(csv[1].find(";;ASDU length wrong;A0 "), std::string::npos);

  const TLogEntry values = Telegram("1E 81 1F 05 A0 00 00 01 02 00 01 09 07 00 01 00 02", 26);
  const LineList valueCsv = Lines(values, DisplayFormat::Csv);
  ASSERT_EQ(valueCsv.size(), 2u);
  EXPECT_EQ(valueCsv[0].substr(valueCsv[0].size() - 16), ";;0;1;2;1;9;7;1;");
  EXPECT_NE(valueCsv[1].find(";;ASDU length wrong;02 "), std::string::npos);
}

TEST_F(RenderTest, FrameTooShortForAsduEndsAfterLinkLine) {
  const TLogEntry e = Entry(26, kFrameVariable, Hex("68 03 03 68 08 05 01 0E 16"));
  EXPECT_EQ(Lines(e, DisplayFormat::Log).size(), 2u);
}

TEST_F(RenderTest, ImpossibleDateIsShownAsTheOctetsSayAndReferenceValueScales) {
  RenderContext context = Context(DisplayFormat::Log);
  context.measurand100 = 4095;
  EXPECT_EQ(Lines(Telegram("06 81 08 FF FF 00 E8 03 15 0A 1F 02 50"), context)[4],
            "  Data      02/31/80  10:21:01,000");
  EXPECT_EQ(Lines(Telegram("09 81 02 05 A0 94 F8 7F"), context)[4],
            "  Data        4095= 100.0%        ");
}

// ---- the element text alone

TEST_F(RenderTest, ElementTextForTheEditors) {
  RenderContext context = Context(DisplayFormat::Log);
  RenderCursor cursor;
  StartTelegram(cursor, Telegram("14 81 14 05 A0 13 01 2A"), context, 0);
  cursor.parsePosition = ft12::at::kElements;
  EXPECT_EQ(ElementText(cursor, context), "OFF       RII 42");
  EXPECT_EQ(ElementText(cursor, context), "");
}

}  // namespace
}  // namespace kivo::testing
