#include "text/text_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kivo {
namespace {

// Lines "NNNN  T<n>" for first..last.
std::string Numbered(int first, int last) {
  std::string out;
  char line[32];
  for (int n = first; n <= last; ++n) {
    std::snprintf(line, sizeof line, "%04d  T%d\n", n, n);
    out += line;
  }
  return out;
}

TextLoadResult Load(TextTable& t, const std::string& content) {
  return t.LoadLines(content, "/prog/KivoText.usa");
}

TEST(TextTableLoad, NumberedLineWithCommentDefinesText) {
  TextTable t;
  ASSERT_TRUE(Load(t, Numbered(0, 11) + "0012  Text;comment\n" + Numbered(13, 999)).ok());
  EXPECT_EQ(t.Text(12), "Text");
  EXPECT_EQ(t.Text(13), "T13");
}

TEST(TextTableLoad, BlankNumberFieldTakesTheNextNumber) {
  TextTable t;
  ASSERT_TRUE(Load(t, Numbered(0, 40) + "      next one\n" + "        indented\n" +
                          Numbered(43, 999))
                  .ok());
  EXPECT_EQ(t.Text(41), "next one");
  EXPECT_EQ(t.Text(42), "  indented");
}

TEST(TextTableLoad, NumberEighteenMayFollowAnyNumber) {
  TextTable t;
  ASSERT_TRUE(Load(t, Numbered(0, 5) + Numbered(18, 999)).ok());
  EXPECT_EQ(t.Text(18), "T18");
  // Numbers the file skipped give the first text the load stored.
  EXPECT_EQ(t.Text(9), "T0");
}

TEST(TextTableLoad, JumpIsFaultFourWithTheLine) {
  TextTable t;
  TextLoadResult r = Load(t, Numbered(0, 5) + "0007  seven\n" + Numbered(8, 999));
  EXPECT_EQ(r.fault, TextFault::NumberJumps);
  EXPECT_EQ(r.line, 7);
  EXPECT_EQ(r.message, "Line number jumps, line:    7\n0007  seven");
}

TEST(TextTableLoad, TwoSemicolonsKeepTheFirst) {
  TextTable t;
  ASSERT_TRUE(Load(t, Numbered(0, 19) + "0020  a;b;comment\n" + "0021  ;\n" + Numbered(22, 999))
                  .ok());
  EXPECT_EQ(t.Text(20), "a;b");
  EXPECT_EQ(t.Text(21), "");
}

TEST(TextTableLoad, FileEndingAt998IsMissingTexts) {
  TextTable t;
  TextLoadResult r = Load(t, Numbered(0, 998));
  EXPECT_EQ(r.fault, TextFault::Missing);
  EXPECT_EQ(r.message, "Program text missing/wrong  999\n/prog/KivoText.usa");
  EXPECT_TRUE(Load(t, Numbered(0, 999)).ok());
}

TEST(TextTableLoad, SkipsShortAndCommentLinesAndCarriageReturns) {
  TextTable t;
  std::string content = "; a comment line\r\n0000  ;\r\n12\r\n\r\n" + Numbered(1, 999);
  ASSERT_TRUE(Load(t, content).ok());
  EXPECT_EQ(t.Text(0), "");
  EXPECT_EQ(t.Text(1), "T1");
}

TEST(TextTableLoad, BadNumberFieldsAreFaultThree) {
  for (const char* bad : {"00x1  text", "-001  text", "1801  text", "9999  text"}) {
    TextTable t;
    TextLoadResult r = Load(t, Numbered(0, 0) + bad + "\n");
    EXPECT_EQ(r.fault, TextFault::NumberWrong) << bad;
    EXPECT_EQ(r.line, 2) << bad;
    EXPECT_EQ(r.message, std::string("Text number wrong, line:    2\n") + bad);
  }
}

TEST(TextTableLoad, Number1800IsFaultSix) {
  TextTable t;
  std::string content;
  for (int n = 0; n < 1800; ++n) content += "      x\n";  // blank-numbered one-octet texts
  content += "1800  beyond\n";
  TextLoadResult r = Load(t, content);
  EXPECT_EQ(r.fault, TextFault::TooManyLines);
  EXPECT_EQ(t.Text(1799), "x");
}

TEST(TextTableLoad, FullPoolIsFaultFive) {
  TextTable t;
  std::string longText(200, 'x');
  std::string content;
  char number[8];
  for (int n = 0; n < 120; ++n) {
    std::snprintf(number, sizeof number, "%04d", n);
    content += std::string(number) + "  " + longText + "\n";
  }
  TextLoadResult r = Load(t, content);
  EXPECT_EQ(r.fault, TextFault::TooManyText);
  // 20000 octets hold 99 texts of 201 octets; the hundredth does not fit.
  EXPECT_EQ(r.line, 100);
}

TEST(TextTableLoad, LongTextsAreCut) {
  TextTable t;
  ASSERT_TRUE(Load(t, "0000  " + std::string(400, 'y') + "\n" + Numbered(1, 999)).ok());
  EXPECT_EQ(t.Length(0), TextTable::kMaxTextLength);
}

TEST(TextTableLoad, MissingFileIsFaultTwoWithTheName) {
  TextTable t;
  TextLoadResult r = t.LoadFile("/nonexistent/KivoText.ger");
  EXPECT_EQ(r.fault, TextFault::Missing);
  EXPECT_EQ(r.message, "Program text missing/wrong    0\n/nonexistent/KivoText.ger");
}

TEST(TextTableLoad, JunkNeverCrashes) {
  std::string junk;
  for (int i = 0; i < 100000; ++i) junk.push_back(static_cast<char>((i * 7919) & 0xFF));
  TextTable t;
  EXPECT_FALSE(Load(t, junk).ok());
  EXPECT_FALSE(Load(t, std::string(70000, 'a')).ok());  // one long line, no line end
  EXPECT_EQ(t.Text(-1), "");
  EXPECT_EQ(t.Text(1800), "");
}

TEST(TextTableData, CauseSetsAndTooListBecomeOctets) {
  TextTable t;
  std::string content = Numbered(0, 1008);
  content += "1009  0102030405\n1010  010920\n1011  0708\n1012  ;\n" + Numbered(1013, 1369) +
             "1370  0102\n";
  ASSERT_TRUE(Load(t, content).ok());
  t.ApplyPostLoad();
  EXPECT_EQ(t.causeSetCount(), 3);
  EXPECT_EQ(t.CauseSet(1), std::string("\x01\x09\x14"));
  EXPECT_TRUE(t.CausePermitted(1, 20));
  EXPECT_FALSE(t.CausePermitted(1, 2));
  EXPECT_FALSE(t.CausePermitted(1, 0));
  EXPECT_FALSE(t.CausePermitted(3, 1));  // beyond the first empty set
  // Text 1013 was not converted: it follows the empty text.
  EXPECT_EQ(t.Text(1013), "T1013");
  EXPECT_EQ(t.TooCodes(), std::string("\x01\x02"));
}

TEST(TextTableData, SpecialCharactersAndLists) {
  TextTable t;
  std::string content = Numbered(0, 24) + "0025  #x\n0026  q\n0027  NY\n" + Numbered(28, 656) +
                        "0657  9600\n0658   19200 baud\n" + Numbered(659, 699) +
                        "0700  a,b,,c\n" + Numbered(701, 1171) + "1172  |\n";
  ASSERT_TRUE(Load(t, content).ok());
  t.ApplyPostLoad();
  EXPECT_EQ(t.hexPrefix(), '#');
  EXPECT_EQ(t.bitDigit(0), 'N');
  EXPECT_EQ(t.bitDigit(1), 'Y');
  EXPECT_EQ(t.fieldSeparator(), '|');
  EXPECT_EQ(t.NumberText(657), 9600);
  EXPECT_EQ(t.NumberText(658), 19200);
  EXPECT_EQ(t.NumberText(659), 0);
  EXPECT_EQ(t.List(700), (std::vector<std::string>{"a", "b", "", "c"}));
}

TEST(TextTableData, SetTextNeverGrowsAText) {
  TextTable t;
  ASSERT_TRUE(Load(t, Numbered(0, 999)).ok());
  EXPECT_TRUE(t.SetText(100, "ab"));
  EXPECT_EQ(t.Text(100), "ab");
  EXPECT_FALSE(t.SetText(100, "abcdef"));
  EXPECT_EQ(t.Text(101), "T101");
}

}  // namespace
}  // namespace kivo
