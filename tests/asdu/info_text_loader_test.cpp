// The information text file as the operator writes it: bytes in a file,
// names, colours and group names out.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "asdu/info_text_table.h"
#include "text/text_table.h"

namespace kivo {
namespace {

using namespace std::string_literals;
using testing::FakePrompter;
using testing::ScratchDir;
using testing::WriteFile;

class InfoTextLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok()); }

  InfoTextLoadResult Load(const std::string& content) {
    WriteFile(path, content);
    InfoTextLoadResult result = LoadInfoTextFile(path, texts, table, groups, causeColours);
    if (!result.message.empty()) prompter.messages.push_back(result.message);
    return result;
  }
  std::vector<std::string> Walk(int typ, int fun, int inf = 0) {
    std::vector<std::string> names;
    for (auto item = table.EnumerateFirst(InfoKey(typ, fun, inf)); !item.name.empty();
         item = table.EnumerateNext()) {
      names.emplace_back(item.name);
    }
    return names;
  }

  ScratchDir scratch;
  std::string path = scratch.path() + "names.kvi";
  TextTable texts;
  InfoTextTable table;
  GroupNameTable groups;
  std::array<std::uint16_t, 256> causeColours{};
  FakePrompter prompter;
};

TEST_F(InfoTextLoaderTest, UrsLineSetsCauseColoursAndKeepsTheOthers) {
  causeColours[9] = 0x0102;
  auto result = Load("URS;20;3-5;\n URS ;7;4\nURS;1;;\nURS;256;3;\nURS;2;3-;\n");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(causeColours[20], 0x0503);
  EXPECT_EQ(causeColours[7], 0x0004);
  EXPECT_EQ(causeColours[1], 0);
  EXPECT_EQ(causeColours[9], 0x0102);  // not cleared by a load
  EXPECT_EQ(causeColours[2], 0);
  EXPECT_EQ(result.faultyLines, 2);
  EXPECT_EQ(table.Count(), 0);
}

TEST_F(InfoTextLoaderTest, EntryLineAddsKeyColourAndName) {
  ASSERT_TRUE(Load("1;160;64;0;Trip L1;\n2;128;1;3-12;Start\n").ok);
  const int index = table.Lookup(0x00A00140u);
  ASSERT_GE(index, 0);
  EXPECT_EQ(table.Name(index), "Trip L1");
  EXPECT_EQ(table.ColourWord(index), 0);
  EXPECT_EQ(table.NameByKey(InfoKey(2, 128, 1)), "Start");
  EXPECT_EQ(table.CurrentColourWord(), 0x0C03);
  EXPECT_EQ(table.NameByKey(InfoKey(2, 128, 2)), "");
  EXPECT_EQ(table.Name(-1), "");
}

TEST_F(InfoTextLoaderTest, FieldsOutOfRangeOrMalformedMakeTheLineFaulty) {
  auto result = Load(
      "1;160;64;20;colour twenty;\n"     // 1
      "1;160;64;3-20;background;\n"      // 2
      "256;160;64;0;typ;\n"              // 3
      "1;160 ;64;0;trailing blank;\n"    // 4
      "1;16x;64;0;letter;\n"             // 5
      "1;160;;0;empty inf;\n"            // 6
      "1;160;\n"                         // 7
      "1;160;64;-5;no text colour;\n"    // 8
      "  1  ; 160;  64; 2 ;blanks;\n");  // 9 is good
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.faultyLines, 8);
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.NameByKey(0x00A00140u), "blanks");
  EXPECT_EQ(table.CurrentColourWord(), 2);
}

TEST_F(InfoTextLoaderTest, NameEndsAtTheNextSeparatorAndIsCut) {
  const std::string longName(100, 'x');
  ASSERT_TRUE(Load("1;160;64;0;Trip;extra;\n1;160;65;0;" + longName + ";\n1;160;66;0;\n").ok);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 64)), "Trip");
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 65)), longName.substr(0, 79));
  EXPECT_GE(table.Lookup(InfoKey(1, 160, 66)), 0);
}

TEST_F(InfoTextLoaderTest, IgnoredLinesAreNeitherUsedNorFaulty) {
  auto result = Load("\nno separator here\n;1;160;64;0;comment;\n;\n");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.faultyLines, 0);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(InfoTextLoaderTest, GroupLinesInFileOrderUpTo32) {
  std::string content = "160=Overcurrent;\n" + std::string(90, 'g') + ";\n";
  for (int i = 2; i < 34; ++i) content += std::to_string(i) + "=Group;\n";
  auto result = Load(content);
  ASSERT_EQ(groups.Count(), 32);
  EXPECT_EQ(groups.Name(0), "160=Overcurrent");
  EXPECT_EQ(groups.Name(1), std::string(83, 'g'));
  EXPECT_EQ(groups.Name(31), "31=Group");
  EXPECT_EQ(result.faultyLines, 2);  // the 33rd and 34th group line
  EXPECT_EQ(result.errorList, "\nLines 33,  34");
}

TEST_F(InfoTextLoaderTest, NoGroupLinesLeaveTheDefaultGroups) {
  ASSERT_TRUE(Load("1;160;64;0;Trip;\n").ok);
  ASSERT_EQ(groups.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(groups.Name(i), texts.Text(1090 + i));
}

TEST_F(InfoTextLoaderTest, FaultyLinesAreReportedOnceWithTheirNumbers) {
  auto result = Load("1;1;1;0;a;\n2;1;1;0;b;\nbad;1;1;0;c;\n1;1;2;0;d;\nx;;\n\n\n\n1;1;300;0;e;\n");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.faultyLines, 3);
  EXPECT_EQ(result.errorList, "\n" + texts.Text(1268) + "3,  5,  9");
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0], path + ": 3 faulty lines" + result.errorList);
  EXPECT_EQ(table.Count(), 3);
}

TEST_F(InfoTextLoaderTest, ErrorListHasRowsOfTenAndStopsAfter201Lines) {
  std::string content;
  for (int i = 0; i < 250; ++i) content += "x;y;\n";
  auto result = Load(content);
  EXPECT_EQ(result.faultyLines, 250);
  const std::string row = "\n" + texts.Text(1268);
  EXPECT_EQ(result.errorList.rfind(row + "1,  2,  3,  4,  5,  6,  7,  8,  9,  10" + row + "11,", 0),
            0u);
  const std::string tail =
      row + "191,  192,  193,  194,  195,  196,  197,  198,  199,  200" + row + "201";
  ASSERT_GT(result.errorList.size(), tail.size());
  EXPECT_EQ(result.errorList.substr(result.errorList.size() - tail.size()), tail);
  EXPECT_NE(prompter.messages.at(0).find(": 250 faulty lines"), std::string::npos);
}

TEST_F(InfoTextLoaderTest, EntriesStopAtTheLimitAndTheRestIsNotRead) {
  std::string content;
  for (int i = 0; i < 30000; ++i) {
    content += std::to_string(i / 65536 + 1) + ";" + std::to_string((i / 256) % 256) + ";" +
               std::to_string(i % 256) + ";0;n" + std::to_string(i) + ";\n";
  }
  content += "160=Group;\nURS;5;3;\nbad;line;\n";
  auto result = Load(content);
  EXPECT_TRUE(result.ok);
  EXPECT_TRUE(result.limitReached);
  EXPECT_EQ(table.Count(), 28397);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 28396 / 256, 28396 % 256)), "n28396");
  EXPECT_EQ(table.Lookup(InfoKey(1, 28397 / 256, 28397 % 256)), -1);
  EXPECT_EQ(causeColours[5], 0);
  EXPECT_EQ(groups.Name(0), texts.Text(1090));
  EXPECT_EQ(result.faultyLines, 0);
  EXPECT_TRUE(prompter.messages.empty());

  // A reload starts again from an empty table with the same limit.
  ASSERT_TRUE(Load("1;1;1;0;one;\n").ok);
  EXPECT_EQ(table.Count(), 1);
}

TEST_F(InfoTextLoaderTest, FileThatCannotBeOpenedChangesNothing) {
  ASSERT_TRUE(Load("1;160;64;0;Trip;\n128=Distance;\n").ok);
  EXPECT_FALSE(
      LoadInfoTextFile(scratch.path() + "missing.kvi", texts, table, groups, causeColours).ok);
  EXPECT_FALSE(LoadInfoTextFile(scratch.path(), texts, table, groups, causeColours).ok);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 160, 64)), "Trip");
  EXPECT_EQ(groups.Count(), 1);
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(InfoTextLoaderTest, LineEndsOfEveryKindAndNoFinalLineEnd) {
  auto result = Load("1;1;1;0;lf;\n1;1;2;0;crlf;\r\n1;1;3;0;cr;\r1;1;4;0;last");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 2)), "crlf");
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 3)), "cr");
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 4)), "last");
}

TEST_F(InfoTextLoaderTest, JunkNulBytesAndHugeLinesAreSafe) {
  std::string junk = "1;1;1;0;a\0b;\n"s;
  junk += "\0\0;\0;\xff\xfe;\n"s;
  junk += "1;1;2;0;" + std::string(200000, 'L') + ";\n";
  junk += std::string(300000, ';');  // a comment line without an end
  auto result = Load(junk);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 1)), std::string_view("a\0b", 3));
  EXPECT_EQ(table.NameByKey(InfoKey(1, 1, 2)).size(), 79u);
  EXPECT_EQ(result.faultyLines, 1);
  EXPECT_EQ(result.errorList, "\n" + texts.Text(1268) + "2");
}

TEST_F(InfoTextLoaderTest, KeysAreSortedAfterLoading) {
  ASSERT_TRUE(Load("2;0;1;0;c;\n1;160;64;0;b;\n1;0;200;0;a;\n").ok);
  ASSERT_EQ(table.Count(), 3);
  EXPECT_LT(table.KeyAt(0), table.KeyAt(1));
  EXPECT_LT(table.KeyAt(1), table.KeyAt(2));
}

class InfoTextEnumerationTest : public InfoTextLoaderTest {
 protected:
  void SetUp() override {
    InfoTextLoaderTest::SetUp();
    ASSERT_TRUE(Load("2;160;3;0;t2f160i3;\n"
                     "1;160;64;0;t1f160i64;\n"
                     "1;160;65;0;t1f160i65;\n"
                     "1;128;1;0;t1f128i1;\n"
                     "4;160;0;0;t4f160i0;\n"
                     "1;161;1;0;t1f161i1;\n"
                     "3;0;9;0;t3f0i9;\n")
                    .ok);
  }
};

TEST_F(InfoTextEnumerationTest, FunWithTypZeroWalksEveryTypeOfThatFun) {
  EXPECT_EQ(Walk(0, 160),
            (std::vector<std::string>{"t1f160i64", "t1f160i65", "t2f160i3", "t4f160i0"}));
}

TEST_F(InfoTextEnumerationTest, FunWithTypWalksThatPairOnlyAndIgnoresInf) {
  EXPECT_EQ(Walk(1, 160, 99), (std::vector<std::string>{"t1f160i64", "t1f160i65"}));
  EXPECT_EQ(Walk(4, 160), (std::vector<std::string>{"t4f160i0"}));  // masked key found exactly
  EXPECT_TRUE(Walk(5, 160).empty());
  EXPECT_TRUE(Walk(9, 200).empty());  // past the end of the table
}

TEST_F(InfoTextEnumerationTest, FunZeroWalksATypOverEveryFun) {
  EXPECT_EQ(Walk(1, 0),
            (std::vector<std::string>{"t1f128i1", "t1f160i64", "t1f160i65", "t1f161i1"}));
  EXPECT_EQ(Walk(0, 0).size(), 7u);
}

TEST_F(InfoTextEnumerationTest, WalkGivesInfAndSetsTheCurrentIndex) {
  auto item = table.EnumerateFirst(InfoKey(1, 160, 0));
  EXPECT_EQ(item.inf, 64);
  EXPECT_EQ(table.KeyAt(table.currentIndex()), InfoKey(1, 160, 64));
  EXPECT_EQ(table.EnumerateNext().inf, 65);
  EXPECT_TRUE(table.EnumerateNext().name.empty());
  EXPECT_TRUE(table.EnumerateNext().name.empty());  // stays at the end
}

TEST(InfoTextTableTest, LimitFollowsTheGrowthSteps) {
  InfoTextTable table;
  int added = 0;
  while (table.Add(static_cast<std::uint32_t>(added), 0, "n")) ++added;
  EXPECT_EQ(added, 28397);
  EXPECT_TRUE(table.AtLimit());
  table.Clear();
  EXPECT_FALSE(table.AtLimit());
  EXPECT_TRUE(table.EnumerateNext().name.empty());  // no walk begun
}

}  // namespace
}  // namespace kivo
