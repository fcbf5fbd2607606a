// The text forms of telegrams, lists, list rows, the octet memo and the
// command-response table: lines written and read back, and the strict checks
// that name the first bad line of an operator's file.
#include "send/send_text_files.h"

#include <gtest/gtest.h>

#include <numeric>

#include "send/response_sim_text.h"
#include "send/send_fixture.h"

namespace kivo {
namespace {

using testing::SimRow;
using Bytes8 = std::vector<std::uint8_t>;

std::string Repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A telegram whose fields outside the file all differ from the defaults.
SendTelegram Base() {
  SendTelegram t;
  t.name.Set("Old");
  t.triggerMinute = 17, t.date = 46000.0, t.time = 0.25, t.withWeekday = 1, t.addressIndex = 3;
  t.focusIndex = 9, t.sendState = kSendPausing, t.rawLength = 5;
  t.raw.fill(0xAA);
  return t;
}

SendListRow Row(std::uint32_t data1, std::uint8_t typeId = 1) {
  SendListRow r;
  r.data1 = data1, r.typeId = typeId, r.active = 1;
  return r;
}

// The fields that no file holds.
auto NotInTheFile(const SendTelegram& t) {
  return std::tuple(t.triggerMinute, t.date, t.time, t.withWeekday, t.addressIndex, t.focusIndex,
                    t.sendState, t.raw[263]);
}

const std::string kLine1 = "Trip;1;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;300;";
const std::string kLine2 = "999;-1;2;3;1;0;";

TEST(SingleTelegramFile, WritesThreeLinesThatReadBack) {
  TextTable texts;
  ASSERT_TRUE(texts.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
  SendTelegram t;
  t.name.Set("Ab;c");  // a separator in the name would split the line
  t.typeId = 10, t.value = 0xFFFFFFFEu, t.data2 = 300, t.milliseconds = 12, t.su = 1;
  t.rawLength = 2, t.raw[0] = 0x68, t.raw[262] = 7;
  t.raw[263] = 8;  // the last octet is not part of the file
  EXPECT_EQ(WriteTelegramText(t, SendSeparator(texts)),
            "Ab c;0;0;1;2;0;0;0;1;0;10;0;0;0;-2;0;0;\r\n12;300;0;0;0;1;\r\n2;104;" +
                Repeat("0;", 261) + "7;\r\n");

  SendTelegram from = Base();
  ASSERT_TRUE(ReadTelegramText(kLine1 + "\n" + kLine2 + "\n5;1;2;3;4;5;", ';', from));
  for (std::size_t i = 0; i < from.raw.size(); ++i) from.raw[i] = static_cast<std::uint8_t>(i);
  from.rawLength = 263, from.data3 = 0x80000000u;
  SendTelegram to = Base();
  to.raw[263] = 1;
  ASSERT_TRUE(ReadTelegramText(WriteTelegramText(from, ','), ',', to));
  SendTelegram expected = from;
  expected.raw[263] = 1;
  EXPECT_EQ(to, expected);
}

// What each text leaves in Base(): line 1, line 2 and the start of line 3
// as the file then shows them ("" for Base()'s own).
TEST(SingleTelegramFile, ReadingTakesWhatPassesItsChecks) {
  const std::string n27 = Repeat("n", 27) + kLine1.substr(4);
  const std::tuple<std::string, bool, std::string, std::string, std::string> cases[] = {
      {kLine1, false, "", "", ""},
      {kLine1 + "\r\n" + kLine2, true, kLine1, kLine2, ""},
      {kLine1 + "\r" + kLine2 + "\r", true, kLine1, kLine2, ""},
      // One value out of range drops the whole of line 1; line 2 still counts.
      {"Trip;6;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;300;\n" + kLine2, true, "", kLine2, ""},
      {"Trip;1;5;3;4;0;500;1;7;9;128;20;160;64;-2;1;65536;\n" + kLine2, true, "", kLine2, ""},
      {"Trip;1;5;3;4;0;500;1;7;9;128;20;\n" + kLine2, true, "", kLine2, ""},
      // The name is cut to 27 characters; the last value needs no separator.
      {Repeat("n", 30) + kLine1.substr(4, kLine1.size() - 5) + "\n\n", true, n27, "", ""},
      // Line 2 stops at its first bad value; fewer than 5 separators: nothing.
      {"\n70000;1;2;3;1;1;\n", true, "", "", ""},
      {"\n12;7;x;9;1;1;\n", true, "", "12;7;0;0;0;0;", ""},
      {"\n12;7;8;9;1\n", true, "", "", ""},
      // Line 3: rawLength is cut to the octets the line delivers.
      {"\n\n3;1;2;3;4;", true, "", "", "3;1;2;3;4;"},
      {"\n\n9;1;256;3;", true, "", "", "1;1;170;170;170;"},
      {"\n\n265;1;2;", true, "", "", ""},
  };
  for (const auto& [text, read, line1, line2, line3] : cases) {
    const std::string shown = (line1.empty() ? "Old;0;0;1;2;0;0;0;1;0;0;0;0;0;0;0;0;" : line1) +
                              "\r\n" + (line2.empty() ? "0;0;0;0;0;0;" : line2) + "\r\n" +
                              (line3.empty() ? "5;170;170;170;170;" : line3);
    SendTelegram t = Base();
    EXPECT_EQ(ReadTelegramText(text, ';', t), read) << text;
    EXPECT_EQ(WriteTelegramText(t, ';').substr(0, shown.size()), shown) << text;
    EXPECT_EQ(NotInTheFile(t), NotInTheFile(Base())) << text;
  }
}

// Rows are shown as FormatListRow writes them, "" for a line that does not read.
TEST(ListRows, ReadBothLineForms) {
  SendListRow typ3 = Row(0xFFFFFFFBu, 3);
  typ3.active = 0, typ3.cot = 2, typ3.fun = 128, typ3.inf = 144, typ3.data2 = 65535;
  EXPECT_EQ(FormatListRow(typ3, ';'), "0;3;2;128;144;-5;65535;");
  const std::string head = "2;0;Rx port 1;12/06/26;10:20:30;456;correct;8;5;";
  const std::pair<std::string, std::string> cases[] = {
      {"0;3;2;128;144;-5;65535;", "0;3;2;128;144;-5;65535;"},
      {" 0;3;2;128;144;-5;65535", "0;3;2;128;144;-5;65535;"},
      {"2;3;2;128;144;-5;1;", ""},
      {"0;3;2;128;144;-5;65536;", ""},
      {"0;3;2;128;144;-5;", ""},
      {"", ""},
      // Telegram lines copied from the log.
      {head + "Type_1;1;129;1;5;160;64;Trip L1;2;1000;21;138;7;", "1;1;1;160;64;2;7;"},
      {head + "Type_2;2;129;1;5;160;64;;1;30;4;1000;21;138;9;", "1;2;1;160;64;1;9;"},
      {head + "Type_3;3;132;2;5;128;144;;0;100;1;-5;0;7;", "1;3;2;128;144;4;100;"},
      {head + "Type_9;9;9;2;5;128;148;;2;-5;0;7;0;0;", "1;9;2;128;148;9;65531;"},
      {head + "Type_6;6;129;8;5;255;0;;0;0;0;0;0;0;", "1;6;8;255;0;0;0;"},
      {head + "Type_20;20;129;20;5;128;16;;2;33;", "1;20;20;128;16;2;33;"},
      {head + "Type_23;23;129;31;5;128;0;;1;0;0;0;0;0;0;0;", "1;23;31;128;0;1;0;"},
      {"2;1;Rx port 1;12/06/26;10:20:30;456;correct;8;5;Type_23;23;129;31;5;128;0;;2;0;", ""},
      {head + "Type_x;x;129;1;5;160;64;;2;", ""},
  };
  for (const auto& [line, expected] : cases) {
    const auto row = ReadListRow(line, ';');
    EXPECT_EQ(row ? FormatListRow(*row, ';') : "", expected) << line;
  }
}

TEST(ListClipboard, CopyCutAndPasteMoveWholeRows) {
  SendList list;
  for (std::uint32_t n = 1; n <= kSendListRows; ++n) list.Row(n) = Row(n);
  EXPECT_EQ(CopyListRows(list, 2, 3, ';'), "1;1;1;128;0;2;0;\r\n1;1;1;128;0;3;0;\r\n");
  EXPECT_EQ(CopyListRows(list, 400, 401, ';'), "1;1;1;128;0;400;0;\r\n");

  SendList cut = list;
  CutListRows(cut, 2, 3);
  EXPECT_EQ(std::vector(cut.rows.begin() + 1, cut.rows.end() - 2),
            std::vector(list.rows.begin() + 3, list.rows.end()));
  EXPECT_EQ(std::vector(cut.rows.end() - 2, cut.rows.end()), std::vector(2, SendListRow{}));

  SendList end = list;
  EXPECT_EQ(PasteListRows(end, 399, CopyListRows(list, 10, 12, ';'), ';'), 2);
  EXPECT_EQ(std::vector(end.rows.end() - 3, end.rows.end()),
            std::vector({Row(398), Row(10), Row(11)}));
  SendList middle = list;
  EXPECT_EQ(PasteListRows(middle, 2, "1;1;1;128;0;77;0;\njunk\r1;1;1;128;0;78;0;", ';'), 2);
  EXPECT_EQ(std::vector(middle.rows.begin(), middle.rows.begin() + 4),
            std::vector({Row(1), Row(77), Row(78), Row(2)}));
  EXPECT_EQ(middle.Row(400), Row(398));

  EXPECT_TRUE(ClipboardHoldsListRow("junk\r\n1;1;1;128;0;77;0;", ';'));
  EXPECT_FALSE(ClipboardHoldsListRow("junk\r\n", ';'));
  EXPECT_FALSE(ClipboardHoldsListRow("1;1;1;128;0;77;0;", ','));
}

TEST(SendListFile, WritesHeaderAndFourHundredRowsThatReadBack) {
  SendList list;
  list.name.Set("List 1");
  list.rowsPerStart = 250'000;
  list.Row(400) = Row(9, 3);
  const std::string text = WriteListText(list, ';');
  EXPECT_EQ(text, "List 1;0;0;1;2;250000;0;0;1;0;0;0;0;0;0;0;0;\r\n" +
                      Repeat("0;1;1;128;0;1;0;\r\n", 399) + "1;3;1;128;0;9;0;\r\n");
  SendList back;
  back.name.Set("x");
  ASSERT_TRUE(ReadListText(text, ';', back));
  EXPECT_EQ(back, list);
  // Unreadable lines are skipped and later rows kept; only 400 lines follow
  // the header.
  for (std::uint32_t n = 1; n <= kSendListRows; ++n) list.Row(n) = Row(1000 + n);
  const SendList before = list;
  ASSERT_TRUE(
      ReadListText("bad header\n1;1;1;128;0;1;0;\n1;1;1;128;0;2;0;\r\n1;1;1;128;0;3;0;\r"
                   "junk\n1;1;1;128;0;6;0;\n",
                   ';', list));
  EXPECT_EQ(static_cast<const SendHeader&>(list), static_cast<const SendHeader&>(before));
  EXPECT_EQ(std::vector(list.rows.begin(), list.rows.begin() + 5),
            std::vector({Row(1), Row(2), Row(3), Row(6), Row(1005)}));
  ReadListText("h\n" + Repeat("1;1;1;128;0;5;0;\n", 400) + "1;1;1;128;0;6;0;\n", ';', list);
  EXPECT_EQ(list.Row(400), Row(5));
  EXPECT_FALSE(ReadListText("", ';', list));
}

TEST(OctetMemo, FormatsReadsAndIsTakenBackByType) {
  Bytes8 octets(17);
  for (std::size_t i = 0; i < octets.size(); ++i) octets[i] = static_cast<std::uint8_t>(i * 15);
  EXPECT_EQ(FormatOctetMemo(octets), " 00 0F 1E 2D 3C 4B 5A 69 78 87 96 A5 B4 C3 D2 E1\r\n F0");
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"68 \"AB\" 1", 12, "68 41 42 01"}, {"1234abc", 12, "12 34 AB 0C"},
      {"a,b\"c", 12, "0A 0B 63"},         {"01 02 03", 2, "01 02"},
      {"\"ABCDEF\"", 3, "41 42 43"},      {"zz", 12, ""}};
  for (const auto& [text, capacity, expected] : cases) {
    Bytes8 out(capacity, 0xEE);
    out.resize(ReadOctetMemo(text, out));
    EXPECT_EQ(testing::ToHex(out), expected) << text;
  }
  Bytes8 back(264);
  back.resize(ReadOctetMemo(FormatOctetMemo(octets), back));
  EXPECT_EQ(back, octets);

  SendTelegram t = Base();
  t.typeId = 5;
  ApplyOctetMemo(t, "\"Orvanta8\" 20 20 20 20 FF");
  EXPECT_EQ(t.rawLength, 12u);
  EXPECT_EQ(std::string(t.raw.begin() + 127, t.raw.begin() + 141), "\xAAOrvanta8    \xAA");
  t.typeId = 128;
  ApplyOctetMemo(t, Repeat("01 02 09 ", 100));
  EXPECT_TRUE(t.rawLength == 264 && t.cot == 9);
  t.cot = 5;
  ApplyOctetMemo(t, "07 08");  // too short to hold a cause
  EXPECT_TRUE(t.rawLength == 2 && t.cot == 5);
  t.typeId = 1;
  const SendTelegram before = t;
  ApplyOctetMemo(t, "55 66 77");
  EXPECT_EQ(t, before);
}

// --- The command-response table ---

// Row i answers INF i: the rows' order shows in their commandInf.
ResponseSimBlock NumberedTable() {
  ResponseSimBlock block;
  for (int i = 0; i < kResponseSimRows; ++i) block.rows[i] = SimRow(i, i % 2, 0, i, i % 6);
  block.simulationOn = 1;
  return block;
}
std::vector<int> Infs(const ResponseSimBlock& block) {
  std::vector<int> infs;
  for (const auto& row : block.rows) infs.push_back(row.commandInf);
  return infs;
}
// The numbered rows with `inserted` put in at row `at`; the rows behind move down.
std::vector<int> InfsWith(std::vector<int> inserted, int at = 0) {
  std::vector<int> infs(kResponseSimRows);
  std::iota(infs.begin(), infs.end(), 0);
  infs.insert(infs.begin() + at, inserted.begin(), inserted.end());
  infs.resize(kResponseSimRows);
  return infs;
}

// Rows are shown as FormatSimRow writes them, "" for a line that does not read.
TEST(ResponseSimText, RowsReadWithTheirRanges) {
  const std::pair<const char*, const char*> cases[] = {
      {"16;1;0;16;4;", "16;1;0;16;4;"},
      {" 7 ; 1 ;1;255;5", "7;1;1;255;5;"},
      {"255;0;0;-1;6;", "255;0;0;-1;2;"},  // other states give 2
      {"1;0;0;3;x;", "1;0;0;3;2;"},
      {"256;0;0;0;0;", ""},
      {"1;2;0;0;0;", ""},
      {"1;0;0;-2;0;", ""},
      {"1;0;0;;0;", ""},
      {"1,0,0,0,0,", ""},
      {"", ""}};
  for (const auto& [line, expected] : cases) {
    const auto row = ReadSimRow(line, ';');
    EXPECT_EQ(row ? FormatSimRow(*row, ';') : "", expected) << line;
  }
  ResponseSimRow pending = SimRow(16, 1, 0, 16, 4);
  pending.ackPending = pending.responsePending = 1;
  pending.commandLength = 16;
  EXPECT_EQ(FormatSimRow(pending, ','), "16,1,0,16,4,");
  EXPECT_EQ(ReadSimRow(FormatSimRow(pending, ','), ','), SimRow(16, 1, 0, 16, 4));
  EXPECT_EQ(ReadSimRow("0;0;0;-1;4;", ';'), ResponseSimRow{});
}

TEST(ResponseSimText, CopyCutAndPasteMoveWholeRows) {
  ResponseSimBlock block = NumberedTable();
  EXPECT_EQ(CutSimRows(block, 1, 2, ';'), "1;1;0;1;1;\r\n2;0;0;2;2;\r\n");
  std::vector<int> moved = InfsWith({});
  moved.erase(moved.begin() + 1, moved.begin() + 3);
  moved.insert(moved.end(), {0, 0});
  EXPECT_EQ(Infs(block), moved);
  // Freed rows hold nothing at all, not even the defaults.
  EXPECT_EQ(block.rows[99], SimRow(0, 0, 0, 0, 0));
  EXPECT_EQ(CutSimRows(block, 99, 5, ';'), "0;0;0;0;0;\r\n");  // cut to the table
  EXPECT_EQ(CopySimRows(block, -1, 2, ';'), "0;0;0;0;0;\r\n");
  // A default row copied and pasted keeps its state.
  block.rows[2] = ResponseSimRow{};
  EXPECT_EQ(CopySimRows(block, 2, 1, ';'), "0;0;0;-1;4;\r\n");
  EXPECT_EQ(PasteSimRows(block, 10, "0;0;0;-1;4;\r\n", ';'), 1);
  EXPECT_EQ(block.rows[10], ResponseSimRow{});

  // Paste inserts until a line does not read or the table is full.
  const std::string lines = "200;0;0;-1;0;\r\n201;0;0;-1;0;\n";
  const std::tuple<int, std::string, int, std::vector<int>> cases[] = {
      {2, lines + "bad\r\n202;0;0;-1;0;\r\n", 2, InfsWith({200, 201}, 2)},
      {99, lines, 1, InfsWith({200}, 99)},
      {0, "x;\r\n" + lines, 0, InfsWith({})},
      {5, "", 0, InfsWith({})}};
  for (const auto& [cursor, text, pasted, infs] : cases) {
    block = NumberedTable();
    EXPECT_EQ(PasteSimRows(block, cursor, text, ';'), pasted) << text;
    EXPECT_EQ(Infs(block), infs) << text;
  }
}

TEST(ResponseSimText, FileHoldsTheSwitchAndAllRows) {
  ResponseSimBlock block = NumberedTable();
  block.rows[0].ackPending = 1;  // run time: not written
  const std::string text = WriteSimText(block, ';');
  std::string rows;
  for (int i = 0; i < kResponseSimRows; ++i) rows += FormatSimRow(block.rows[i], ';') + "\r\n";
  EXPECT_EQ(text, "1;\r\n" + rows);
  ResponseSimBlock read;
  const SimTextResult result = ReadSimText(text, ';', read);
  EXPECT_TRUE(result.read && result.switchSet && result.rowsStored == 100);
  block.rows[0].ackPending = 0;
  EXPECT_EQ(read, block);

  // simulationOn afterwards (it was 1), the rows stored from row 0 on.
  const std::tuple<std::string, bool, std::uint32_t, std::vector<int>> cases[] = {
      {"0;\r\n", false, 1, {}},
      {"0;\r\n200;0;0;-1;0;", true, 0, {200}},  // last line without its end
      {"7;\njunk\r\n200;0;0;-1;0;\r201;1;0;5;1;\n", true, 1, {200, 201}},
      {"<xml>\r\n<a/>\r\n", true, 1, {}},
      {"0;\n" + Repeat("200;0;0;-1;0;\n", 150), true, 0, std::vector<int>(100, 200)}};
  for (const auto& [text, read, on, stored] : cases) {
    block = NumberedTable();
    const SimTextResult r = ReadSimText(text, ';', block);
    EXPECT_TRUE(r.read == read && block.simulationOn == on) << text;
    EXPECT_EQ(r.rowsStored, static_cast<int>(stored.size())) << text;
    std::vector<int> infs = InfsWith({});  // the rows after the stored ones as they were
    std::copy(stored.begin(), stored.end(), infs.begin());
    EXPECT_EQ(Infs(block), infs) << text;
  }
}

// --- The strict checks: the first line a reader would skip or take only in part ---

const std::string kHeader = "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n";
const std::string kData = "0;5;0;0;0;0;\r\n";
const std::string kRow = "1;1;1;128;16;2;0;\r\n";
const std::string kSimRow = "16;1;0;17;5;\r\n";

// Line 0: the text passes.
TEST(SendTextCheck, TheFirstBadLineIsNamedWithWhatIsWrong) {
  using Checker = std::optional<TextLineFault> (*)(std::string_view, char);
  const Checker telegram = CheckTelegramText, list = CheckListText, sim = CheckSimText;
  SendTelegram written;
  written.typeId = 129, written.rawLength = 264, written.value = 0xC0000000u;
  written.data3 = 0xFFFFFFFFu, written.milliseconds = 59'999;
  written.raw.fill(0xFF);
  SendList writtenList;
  writtenList.rowsPerStart = 1'000'000;
  writtenList.rows[399].active = 1, writtenList.rows[399].data2 = 65'535;
  ResponseSimBlock writtenSim;
  writtenSim.rows[99].responseState = 5;
  const struct {
    Checker check;
    std::string text;
    int line;
    const char* what;
  } cases[] = {
      // What the writers write passes.
      {telegram, WriteTelegramText(written, ';'), 0, ""},
      {list, WriteListText(writtenList, ';'), 0, ""},
      {sim, WriteSimText(writtenSim, ';'), 0, ""},
      // So do files by hand: LF or CR line ends, blanks around values, a last
      // value without its separator, blank lines at the end, few rows.
      {telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0\n 0 ; 5;0;0;0;0;\n2;1;255\n\n", 0, ""},
      {telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r0;5;0;0;0;0;\r0;\r", 0, ""},
      {list, kHeader + kRow + "0;3;2;128;144;4;100", 0, ""},
      {list, kHeader, 0, ""},
      {sim, "0;\r\n" + kSimRow + "\r\n", 0, ""},
      {telegram, kHeader, 2, "missing"},
      {telegram, kHeader + kData, 3, "missing"},
      {telegram, "GC;0;0;1;2;0;1000001;1;1;7;20;20;128;16;2;0;0;\r\n" + kData + "0;", 1,
       "pauseMs takes 0..1000000, not '1000001'"},
      {telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;\r\n" + kData + "0;", 1,
       "rowPause is missing"},
      {telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;9;\r\n" + kData + "0;", 1,
       "text after the 16 values after the name: '9;'"},
      {telegram, "GC;0;0;1;5;0;0;1;1;7;20;20;128;16;2;0;0;\r\n" + kData + "0;", 1,
       "portCode takes 1..4"},
      {telegram, std::string(28, 'N') + ";0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n" + kData, 1,
       "more than 27 characters"},
      {telegram, kHeader + "0;5;0;0;2;0;\r\n0;", 2, "iv takes 0..1, not '2'"},
      {telegram, kHeader + "0;x;0;0;0;0;\r\n0;", 2, "data2 takes"},
      {telegram, kHeader + kData + "3;1;2;\r\n", 3, "rawLength is 3 but the line holds 2 octets"},
      {telegram, kHeader + kData + "2;1;256;\r\n", 3, "octet 2 takes 0..255, not '256'"},
      {telegram, kHeader + kData + "265;", 3, "rawLength takes 0..264"},
      {telegram, kHeader + kData + "0;\r\nmore\r\n", 4, "a line too many"},
      {list, "", 1, "missing"},
      {list, "GC;0;0;1;2;0;0;3;1;7;20;20;128;16;2;0;0;\r\n" + kRow, 1, "service takes 0..2"},
      {list, kHeader + kRow + "1;1;1;128;0;1;70000;\r\n", 3, "data2 takes 0..65535, not '70000'"},
      {list, kHeader + kRow + "\r\n" + kRow, 3, "an empty row"},
      {list, kHeader + kRow + "1;1;1;128;0;1;\r\n", 3, "data2 is missing"},
      {list, kHeader + kRow + "2;1;1;128;0;1;0;\r\n", 3, "active takes 0..1"},
      {list, kHeader + kRow + "1;1;1;128;0;1;0;5;\r\n", 3, "text after the 7 values"},
      {list, kHeader + Repeat("x;", 10) + "300;" + Repeat("1;", 10) + "\r\n", 2,
       "a telegram line from the log"},
      {list, kHeader + Repeat(kRow, 399) + kRow + kRow, 402, "at most 400 rows"},
      {sim, "", 1, "missing"},
      {sim, "1;\r\n", 2, "at least one row"},
      {sim, "2;\r\n" + kSimRow, 1, "simulationOn takes 0..1, not '2'"},
      {sim, "1;0;\r\n" + kSimRow, 1, "text after the last value: '0;'"},
      {sim, "1;\r\n" + kSimRow + "16;1;0;-2;4;\r\n", 3, "responseInf takes -1..255"},
      {sim, "1;\r\n" + kSimRow + "16;1;0;17;6;\r\n", 3, "responseState takes 0..5"},
      {sim, "1;\r\n16;1;0;17;\r\n", 2, "responseState is missing"},
      {sim, "1;\r\n" + Repeat(kSimRow, 101), 102, "at most 100 rows"},
  };
  for (const auto& c : cases) {
    const auto fault = c.check(c.text, ';');
    EXPECT_EQ(fault ? fault->line : 0, c.line)
        << c.text.substr(0, 120) << ": " << (fault ? fault->what : "");
    if (fault) {
      EXPECT_NE(fault->what.find(c.what), std::string::npos) << fault->what;
    }
  }
}

}  // namespace
}  // namespace kivo
