#include "send/send_text_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "text/text_table.h"

namespace kivo {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

std::string Repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

// A telegram whose fields outside the file all differ from the defaults.
SendTelegram Base() {
  SendTelegram t;
  t.name.Set("Old");
  t.triggerMinute = 17;
  t.date = 46000.0;
  t.time = 0.25;
  t.withWeekday = 1;
  t.addressIndex = 3;
  t.focusIndex = 9;
  t.sendState = kSendPausing;
  t.raw.fill(0xAA);
  t.rawLength = 5;
  return t;
}

SendListRow Row(std::uint32_t data1, std::uint8_t typeId = 1, std::uint8_t active = 1) {
  SendListRow r;
  r.data1 = data1;
  r.typeId = typeId;
  r.active = active;
  return r;
}

const std::string kLine1 = "Trip;1;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;300;";
const std::string kLine2 = "999;-1;2;3;1;0;";

TEST(SingleTelegramFile, WritesThreeLinesOfSeparatedValues) {
  SendTelegram t;
  t.name.Set("Ab;c");  // a separator in the name would split the line
  t.typeId = 10;
  t.value = 0xFFFFFFFEu;
  t.data2 = 300;
  t.milliseconds = 12;
  t.su = 1;
  t.rawLength = 2;
  t.raw[0] = 0x68;
  t.raw[262] = 7;
  t.raw[263] = 8;  // the last octet is not part of the file
  EXPECT_EQ(WriteTelegramText(t, ';'),
            "Ab c;0;0;1;2;0;0;0;1;0;10;0;0;0;-2;0;0;\r\n12;300;0;0;0;1;\r\n2;104;" +
                Repeat("0;", 261) + "7;\r\n");
}

TEST(SingleTelegramFile, WriteThenReadRestoresTheFileFields) {
  SendTelegram from = Base();
  ASSERT_TRUE(ReadTelegramText(kLine1 + "\n" + kLine2 + "\n5;1;2;3;4;5;", ';', from));
  for (std::size_t i = 0; i < from.raw.size(); ++i) from.raw[i] = static_cast<std::uint8_t>(i);
  from.rawLength = 263;
  from.data3 = 0x80000000u;
  SendTelegram to;
  const SendTelegram untouched = to;
  ASSERT_TRUE(ReadTelegramText(WriteTelegramText(from, ','), ',', to));
  // Everything but the fields that the file does not hold.
  SendTelegram expected = from;
  expected.triggerMinute = untouched.triggerMinute;
  expected.date = untouched.date;
  expected.time = untouched.time;
  expected.withWeekday = untouched.withWeekday;
  expected.addressIndex = untouched.addressIndex;
  expected.focusIndex = untouched.focusIndex;
  expected.sendState = untouched.sendState;
  expected.raw[263] = untouched.raw[263];
  EXPECT_EQ(to, expected);
}

TEST(SingleTelegramFile, ReadingTakesWhatPassesItsChecks) {
  using Change = std::function<void(SendTelegram&)>;
  auto line1 = [](SendTelegram& t) {
    t.name.Set("Trip");
    t.trigger = 1, t.triggerType = 5, t.repeatCount = 3, t.portCode = 4, t.rowsPerStart = 0;
    t.pauseMs = 500, t.service = 1, t.linkAddress = 7, t.commonAddress = 9, t.typeId = 128;
    t.cot = 20, t.fun = 160, t.inf = 64, t.value = 0xFFFFFFFEu, t.secondaryService = 1;
    t.rowPause = 300;
  };
  auto line2 = [](SendTelegram& t) {
    t.milliseconds = 999, t.data2 = 0xFFFFFFFFu, t.data3 = 2, t.data4 = 3, t.iv = 1, t.su = 0;
  };
  struct Case {
    std::string text;
    bool read;
    Change change;
  } cases[] = {
      {kLine1, false, [](SendTelegram&) {}},
      {kLine1 + "\r\n" + kLine2, true, [&](SendTelegram& t) { line1(t), line2(t); }},
      {kLine1 + "\r" + kLine2 + "\r", true, [&](SendTelegram& t) { line1(t), line2(t); }},
      // One value out of range drops the whole of line 1; line 2 still counts.
      {"Trip;6;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;300;\n" + kLine2, true, line2},
      {"Trip;1;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;65536;\n" + kLine2, true, line2},
      {"Trip;1;5;3;4;0;500;1;7;9;128;20;\n" + kLine2, true, line2},
      // The name is cut to 27 characters; the last value needs no separator.
      {Repeat("n", 30) + kLine1.substr(4, kLine1.size() - 5) + "\n\n", true,
       [&](SendTelegram& t) { line1(t), t.name.Set(Repeat("n", 27)); }},
      // Line 2 stops at its first bad value; fewer than 5 separators: nothing.
      {"\n70000;1;2;3;1;1;\n", true, [](SendTelegram&) {}},
      {"\n12;7;x;9;1;1;\n", true, [](SendTelegram& t) { t.milliseconds = 12, t.data2 = 7; }},
      {"\n12;7;8;9;1\n", true, [](SendTelegram&) {}},
      // Line 3: rawLength is cut to the octets the line delivers.
      {"\n\n3;1;2;3;4;", true,
       [](SendTelegram& t) {
         t.rawLength = 3, t.raw[0] = 1, t.raw[1] = 2, t.raw[2] = 3, t.raw[3] = 4;
       }},
      {"\n\n9;1;256;3;", true, [](SendTelegram& t) { t.rawLength = 1, t.raw[0] = 1; }},
      {"\n\n265;1;2;", true, [](SendTelegram&) {}},
  };
  for (const Case& c : cases) {
    SendTelegram t = Base();
    SendTelegram expected = Base();
    c.change(expected);
    EXPECT_EQ(ReadTelegramText(c.text, ';', t), c.read) << c.text;
    EXPECT_EQ(t, expected) << c.text;
  }
}

TEST(ListRows, ReadBothLineForms) {
  SendListRow typ3 = Row(0xFFFFFFFBu, 3, 0);
  typ3.cot = 2, typ3.fun = 128, typ3.inf = 144, typ3.data2 = 65535;
  EXPECT_EQ(FormatListRow(typ3, ';'), "0;3;2;128;144;-5;65535;");
  auto row = [](std::uint8_t typeId, std::uint8_t cot, std::uint8_t fun, std::uint8_t inf,
                std::uint32_t d1, std::uint32_t d2) {
    SendListRow r = Row(d1, typeId);
    r.cot = cot, r.fun = fun, r.inf = inf, r.data2 = d2;
    return r;
  };
  const std::string head = "2;0;Rx port 1;12/06/26;10:20:30;456;correct;8;5;";
  const struct {
    std::string line;
    std::optional<SendListRow> row;
  } cases[] = {
      {"0;3;2;128;144;-5;65535;", typ3},
      {" 0;3;2;128;144;-5;65535", typ3},
      {"2;3;2;128;144;-5;1;", std::nullopt},
      {"0;3;2;128;144;-5;65536;", std::nullopt},
      {"0;3;2;128;144;-5;", std::nullopt},
      {"", std::nullopt},
      // Telegram lines copied from the log.
      {head + "Type_1;1;129;1;5;160;64;Trip L1;2;1000;21;138;7;", row(1, 1, 160, 64, 2, 7)},
      {head + "Type_2;2;129;1;5;160;64;;1;30;4;1000;21;138;9;", row(2, 1, 160, 64, 1, 9)},
      {head + "Type_3;3;132;2;5;128;144;;0;100;1;-5;0;7;", row(3, 2, 128, 144, 4, 100)},
      {head + "Type_9;9;9;2;5;128;148;;2;-5;0;7;0;0;", row(9, 2, 128, 148, 9, 0xFFFB)},
      {head + "Type_6;6;129;8;5;255;0;;0;0;0;0;0;0;", row(6, 8, 255, 0, 0, 0)},
      {head + "Type_20;20;129;20;5;128;16;;2;33;", row(20, 20, 128, 16, 2, 33)},
      {head + "Type_23;23;129;31;5;128;0;;1;0;0;0;0;0;0;0;", row(23, 31, 128, 0, 1, 0)},
      {"2;1;Rx port 1;12/06/26;10:20:30;456;correct;8;5;Type_23;23;129;31;5;128;0;;2;0;",
       std::nullopt},
      {head + "Type_x;x;129;1;5;160;64;;2;", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadListRow(c.line, ';'), c.row) << c.line;
}

TEST(ListClipboard, CopyCutAndPasteMoveWholeRows) {
  SendList list;
  for (std::uint32_t n = 1; n <= kSendListRows; ++n) list.Row(n) = Row(n);
  EXPECT_EQ(CopyListRows(list, 2, 3, ';'), "1;1;1;128;0;2;0;\r\n1;1;1;128;0;3;0;\r\n");
  EXPECT_EQ(CopyListRows(list, 400, 401, ';'), "1;1;1;128;0;400;0;\r\n");

  SendList cut = list;
  CutListRows(cut, 2, 3);
  EXPECT_EQ(cut.Row(2), Row(4));
  EXPECT_EQ(cut.Row(398), Row(400));
  EXPECT_EQ(cut.Row(399), SendListRow{});
  EXPECT_EQ(cut.Row(400), SendListRow{});

  const std::string three = CopyListRows(list, 10, 12, ';');
  SendList end = list;
  EXPECT_EQ(PasteListRows(end, 399, three, ';'), 2);
  EXPECT_EQ(end.Row(398), Row(398));
  EXPECT_EQ(end.Row(399), Row(10));
  EXPECT_EQ(end.Row(400), Row(11));

  SendList middle = list;
  EXPECT_EQ(PasteListRows(middle, 2, "1;1;1;128;0;77;0;\njunk\r1;1;1;128;0;78;0;", ';'), 2);
  EXPECT_EQ(middle.Row(1), Row(1));
  EXPECT_EQ(middle.Row(2), Row(77));
  EXPECT_EQ(middle.Row(3), Row(78));
  EXPECT_EQ(middle.Row(4), Row(2));
  EXPECT_EQ(middle.Row(400), Row(398));

  EXPECT_TRUE(ClipboardHoldsListRow("junk\r\n" + three, ';'));
  EXPECT_FALSE(ClipboardHoldsListRow("junk\r\n", ';'));
  EXPECT_FALSE(ClipboardHoldsListRow(three, ','));
}

TEST(SendListFile, WritesHeaderAndFourHundredRows) {
  SendList list;
  list.name.Set("List 1");
  list.rowsPerStart = 250'000;
  list.Row(400) = Row(9, 3);
  const std::vector<std::string> lines = SplitCrLf(WriteListText(list, ';'));
  ASSERT_EQ(lines.size(), 401u);
  EXPECT_EQ(lines[0], "List 1;0;0;1;2;250000;0;0;1;0;0;0;0;0;0;0;0;");
  EXPECT_EQ(lines[1], "0;1;1;128;0;1;0;");
  EXPECT_EQ(lines[400], "1;3;1;128;0;9;0;");

  SendList back;
  back.name.Set("x");
  ASSERT_TRUE(ReadListText(WriteListText(list, ';'), ';', back));
  EXPECT_EQ(back, list);
}

TEST(SendListFile, UnreadableLinesAreSkippedAndLaterRowsKept) {
  SendList list;
  for (std::uint32_t n = 1; n <= kSendListRows; ++n) list.Row(n) = Row(1000 + n);
  const SendList before = list;
  const std::string text = "bad header\n1;1;1;128;0;1;0;\n1;1;1;128;0;2;0;\r\n1;1;1;128;0;3;0;\r" +
                           std::string("junk\n1;1;1;128;0;6;0;\n");
  ASSERT_TRUE(ReadListText(text, ';', list));
  EXPECT_EQ(static_cast<const SendHeader&>(list), static_cast<const SendHeader&>(before));
  for (std::uint32_t n = 1; n <= 3; ++n) EXPECT_EQ(list.Row(n), Row(n));
  EXPECT_EQ(list.Row(4), Row(6));  // line 6 becomes row 4
  EXPECT_EQ(list.Row(5), Row(1005));

  // Only 400 lines follow the header.
  SendList many;
  ReadListText("h\n" + Repeat("1;1;1;128;0;5;0;\n", 400) + "1;1;1;128;0;6;0;\n", ';', many);
  EXPECT_EQ(many.Row(400), Row(5));
  EXPECT_FALSE(ReadListText("", ';', many));
}

TEST(OctetMemo, FormatsAndReadsBack) {
  Bytes8 octets(17);
  for (std::size_t i = 0; i < octets.size(); ++i) octets[i] = static_cast<std::uint8_t>(i * 15);
  EXPECT_EQ(FormatOctetMemo(octets), " 00 0F 1E 2D 3C 4B 5A 69 78 87 96 A5 B4 C3 D2 E1\r\n F0");
  const struct {
    std::string text;
    std::size_t capacity;
    Bytes8 octets;
  } cases[] = {
      {"68 \"AB\" 1", 12, {0x68, 0x41, 0x42, 0x01}},
      {"1234abc", 12, {0x12, 0x34, 0xAB, 0x0C}},
      {"a,b\"c", 12, {0x0A, 0x0B, 'c'}},
      {"01 02 03", 2, {0x01, 0x02}},
      {"\"ABCDEF\"", 3, {'A', 'B', 'C'}},
      {FormatOctetMemo(octets), 264, octets},
      {"zz", 12, {}},
  };
  for (const auto& c : cases) {
    Bytes8 out(c.capacity, 0xEE);
    out.resize(ReadOctetMemo(c.text, out));
    EXPECT_EQ(out, c.octets) << c.text;
  }
}

TEST(OctetMemo, IsTakenBackByType) {
  SendTelegram t = Base();
  t.typeId = 5;
  ApplyOctetMemo(t, "\"Orvanta8\" 20 20 20 20 FF");
  EXPECT_EQ(t.rawLength, 12u);
  EXPECT_EQ(std::string(t.raw.begin() + 128, t.raw.begin() + 141), "Orvanta8    \xAA");
  EXPECT_EQ(t.raw[0], 0xAA);

  t.typeId = 128;
  ApplyOctetMemo(t, Repeat("01 02 09 ", 100));
  EXPECT_EQ(t.rawLength, 264u);
  EXPECT_EQ(t.cot, 9);
  ApplyOctetMemo(t, "07 08");  // too short to hold a cause
  EXPECT_EQ(t.rawLength, 2u);
  EXPECT_EQ(t.cot, 9);

  t.typeId = 1;
  const SendTelegram before = t;
  ApplyOctetMemo(t, "55 66 77");
  EXPECT_EQ(t, before);
}

TEST(SendSeparatorTest, IsTheFirstCharacterOfText1172) {
  TextTable texts;
  ASSERT_TRUE(texts.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
  EXPECT_EQ(SendSeparator(texts), ';');
}

}  // namespace
}  // namespace kivo
