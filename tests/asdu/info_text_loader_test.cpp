// The information text file as the operator writes it: bytes in a file,
// names, colours and group names out.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "asdu/info_text_table.h"
#include "text/text_table.h"
#include "util/scratch.h"

namespace kivo {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

class InfoTextLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok()); }

  InfoTextLoadResult Load(const std::string& content) {
    testing::WriteFile(path, content);
    InfoTextLoadResult result = LoadInfoTextFile(path, texts, table, groups, causeColours);
    EXPECT_TRUE(result.ok);
    return result;
  }
  Names Walk(int typ, int fun, int inf = 0) {
    Names names;
    for (auto item = table.EnumerateFirst(InfoKey(typ, fun, inf)); !item.name.empty();
         item = table.EnumerateNext()) {
      names.emplace_back(item.name);
    }
    return names;
  }
  std::string Rows(const std::string& numbers) { return "\n" + texts.Text(1268) + numbers; }

  testing::ScratchDir scratch;
  std::string path = scratch.path() + "names.kvi";
  TextTable texts;
  InfoTextTable table;
  GroupNameTable groups;
  std::array<std::uint16_t, 256> causeColours{};
};

TEST_F(InfoTextLoaderTest, EntryAndUrsLinesGiveNamesAndColours) {
  causeColours[9] = 0x0102;  // not cleared by a load
  const auto result = Load(
      "URS;20;3-5;\n URS ;7;4\nURS;1;;\nURS;256;3;\nURS;2;3-;\n"  // lines 4 and 5 faulty
      "2;0;1;0;c;\n1;160;64;0;Trip L1;\n2;128;1;3-12;Start\n"
      "1;160;65;0;" +
      std::string(100, 'x') +
      ";\n1;160;66;0;\n1;160;67;0;Trip;extra;\n"
      "1;1;2;0;crlf;\r\n1;1;3;0;cr;\r1;1;4;0;last");
  EXPECT_EQ(result.faultyLines, 2);
  std::array<std::uint16_t, 256> colours{};
  colours[7] = 0x0004, colours[9] = 0x0102, colours[20] = 0x0503;
  EXPECT_EQ(causeColours, colours);
  // In key order (FUN, TYP, INF), up to the empty name of 1/160/66.
  EXPECT_EQ(Walk(0, 0),
            (Names{"c", "crlf", "cr", "last", "Start", "Trip L1", std::string(79, 'x')}));
  EXPECT_EQ(table.Count(), 9);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 67)), "Trip");
  EXPECT_EQ(table.ColourWord(table.Lookup(InfoKey(1, 160, 64))), 0);
  EXPECT_EQ(table.NameByKey(InfoKey(2, 128, 1)), "Start");
  EXPECT_EQ(table.CurrentColourWord(), 0x0C03);
  EXPECT_EQ(table.NameByKey(InfoKey(2, 128, 2)), "");
  EXPECT_EQ(table.Name(-1), "");
}

TEST_F(InfoTextLoaderTest, FaultyLinesAreCountedListedAndReportedOnce) {
  const struct {
    std::string content;
    int faulty;
    int entries;
    std::string rows;
  } cases[] = {{"1;160;64;20;colour twenty;\n"
                "1;160;64;3-20;background;\n"
                "256;160;64;0;typ;\n"
                "1;160 ;64;0;trailing blank;\n"
                "1;16x;64;0;letter;\n"
                "1;160;;0;empty inf;\n"
                "1;160;\n"
                "1;160;64;-5;no text colour;\n"
                "  1  ; 160;  64; 2 ;blanks;\n",
                8, 1, Rows("1,  2,  3,  4,  5,  6,  7,  8")},
               {"1;1;1;0;a;\r\n2;1;1;0;b;\nbad;1;1;0;c;\n1;1;2;0;d;\nx;;\n\n\n\n1;1;300;0;e;\n", 3,
                3, Rows("3,  5,  9")},
               {"\nno separator here\n;1;160;64;0;comment;\n;\n", 0, 0, ""},  // ignored, not faulty
               {"1;1;1;0;a\0b;\n\0\0;\0;\xff\xfe;\n1;1;2;0;"s + std::string(200000, 'L') + ";\n" +
                    std::string(300000, ';'),  // a comment line without an end
                1, 2, Rows("2")}};
  for (const auto& c : cases) {
    const auto result = Load(c.content);
    EXPECT_EQ(result.faultyLines, c.faulty) << c.content.substr(0, 40);
    EXPECT_EQ(table.Count(), c.entries) << c.content.substr(0, 40);
    EXPECT_EQ(result.errorList, c.rows);
    EXPECT_EQ(result.message,
              c.faulty ? path + ": " + std::to_string(c.faulty) + " faulty lines" + c.rows : "");
  }
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 1)), std::string_view("a\0b", 3));
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 2)).size(), 79u);
  EXPECT_EQ(Load("  1  ; 160;  64; 2 ;blanks;\n").faultyLines, 0);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 64)), "blanks");
  EXPECT_EQ(table.CurrentColourWord(), 2);

  // Rows of ten numbers; the list stops after line 201.
  std::string many;
  for (int i = 0; i < 250; ++i) many += "x;y;\n";
  const auto result = Load(many);
  EXPECT_EQ(result.faultyLines, 250);
  EXPECT_TRUE(
      result.errorList.starts_with(Rows("1,  2,  3,  4,  5,  6,  7,  8,  9,  10") + Rows("11,")));
  EXPECT_TRUE(result.errorList.ends_with(
      Rows("191,  192,  193,  194,  195,  196,  197,  198,  199,  200") + Rows("201")));
}

TEST_F(InfoTextLoaderTest, GroupLinesInFileOrderUpTo32ElseTheDefaultGroups) {
  std::string content = "160=Overcurrent;\n" + std::string(90, 'g') + ";\n";
  for (int i = 2; i < 34; ++i) content += std::to_string(i) + "=Group;\n";
  const auto result = Load(content);
  ASSERT_EQ(groups.Count(), 32);
  EXPECT_EQ(groups.Name(0) + groups.Name(1) + groups.Name(31),
            "160=Overcurrent" + std::string(83, 'g') + "31=Group");
  EXPECT_EQ(result.faultyLines, 2) << "the 33rd and 34th group line";
  EXPECT_EQ(result.errorList, "\nLines 33,  34");

  Load("1;160;64;0;Trip;\n");
  ASSERT_EQ(groups.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(groups.Name(i), texts.Text(1090 + i));
}

TEST_F(InfoTextLoaderTest, EntriesStopAtTheLimitAndTheRestIsNotRead) {
  std::string content;
  for (int i = 0; i < 30000; ++i) {
    content += "1;" + std::to_string(i / 256) + ";" + std::to_string(i % 256) + ";0;n" +
               std::to_string(i) + ";\n";
  }
  const auto result = Load(content + "160=Group;\nURS;5;3;\nbad;line;\n");
  EXPECT_TRUE(result.limitReached);
  EXPECT_EQ(table.Count(), 28397);
  EXPECT_FALSE(table.Add(InfoKey(9, 9, 9), 0, "n")) << "nor one by one";
  EXPECT_EQ(table.NameByKey(InfoKey(1, 28396 / 256, 28396 % 256)), "n28396");
  EXPECT_EQ(causeColours[5], 0);
  EXPECT_EQ(groups.Name(0), texts.Text(1090));
  EXPECT_TRUE(result.faultyLines == 0 && result.message.empty());
  Load("1;1;1;0;one;\n");
  EXPECT_EQ(table.Count(), 1) << "a reload starts from an empty table";
  EXPECT_TRUE(table.EnumerateNext().name.empty()) << "no walk begun";
}

TEST_F(InfoTextLoaderTest, FileThatCannotBeOpenedChangesNothing) {
  Load("1;160;64;0;Trip;\n128=Distance;\n");
  const auto missing = LoadInfoTextFile(path + "x", texts, table, groups, causeColours);
  EXPECT_FALSE(missing.ok ||
               LoadInfoTextFile(scratch.path(), texts, table, groups, causeColours).ok);
  EXPECT_TRUE(missing.message.empty());
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 64)), "Trip");
  EXPECT_EQ(groups.Count(), 1);
}

// A walk by FUN alone (TYP 0) covers every type of that FUN, a walk by TYP
// and FUN that pair only whatever the INF, and one by TYP alone (FUN 0) every
// FUN of that type.
TEST_F(InfoTextLoaderTest, WalksByTypAndFun) {
  Load(
      "2;160;3;0;t2f160i3;\n1;160;64;0;t1f160i64;\n1;160;65;0;t1f160i65;\n1;128;1;0;t1f128i1;\n"
      "4;160;0;0;t4f160i0;\n1;161;1;0;t1f161i1;\n3;0;9;0;t3f0i9;\n");
  EXPECT_EQ(Walk(0, 160), (Names{"t1f160i64", "t1f160i65", "t2f160i3", "t4f160i0"}));
  EXPECT_EQ(Walk(1, 160, 99), (Names{"t1f160i64", "t1f160i65"}));
  EXPECT_EQ(Walk(4, 160), Names{"t4f160i0"});  // the masked key found exactly
  EXPECT_TRUE(Walk(5, 160).empty());
  EXPECT_TRUE(Walk(9, 200).empty());  // past the end of the table
  EXPECT_EQ(Walk(1, 0), (Names{"t1f128i1", "t1f160i64", "t1f160i65", "t1f161i1"}));

  auto item = table.EnumerateFirst(InfoKey(1, 160, 0));
  EXPECT_EQ(item.inf, 64);
  EXPECT_EQ(table.KeyAt(table.currentIndex()), InfoKey(1, 160, 64));
  EXPECT_EQ(table.EnumerateNext().inf, 65);
  EXPECT_TRUE(table.EnumerateNext().name.empty());
  EXPECT_TRUE(table.EnumerateNext().name.empty());  // stays at the end
}

}  // namespace
}  // namespace kivo
