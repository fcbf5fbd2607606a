#include "text/text_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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

TEST(TextTableLoad, LinesGiveTheTextsByNumber) {
  const struct {
    std::string content;
    std::vector<std::pair<int, std::string>> texts;
  } cases[] = {
      {Numbered(0, 11) + "0012  Text;comment\n" + Numbered(13, 999), {{12, "Text"}, {13, "T13"}}},
      // A blank number field takes the next number; the text starts in column 7.
      {Numbered(0, 40) + "      next one\n        indented\n" + Numbered(43, 999),
       {{41, "next one"}, {42, "  indented"}}},
      // 18 may follow any number; numbers skipped give the first text stored.
      {Numbered(0, 5) + Numbered(18, 999), {{18, "T18"}, {9, "T0"}}},
      {Numbered(0, 19) + "0020  a;b;comment\n0021  ;\n" + Numbered(22, 999),
       {{20, "a;b"}, {21, ""}}},
      {"; a comment line\r\n0000  ;\r\n12\r\n\r\n0001  one\r\n" + Numbered(2, 999),
       {{0, ""}, {1, "one"}, {2, "T2"}}},
      {"0000  " + std::string(400, 'y') + "\n" + Numbered(1, 999),
       {{0, std::string(TextTable::kMaxTextLength, 'y')}}}};
  for (const auto& c : cases) {
    TextTable t;
    ASSERT_TRUE(Load(t, c.content).ok()) << c.content.substr(0, 80);
    for (const auto& [n, text] : c.texts) EXPECT_EQ(t.Text(n), text) << n;
  }
}

TEST(TextTableLoad, FaultsGiveTheLineAndTheMessage) {
  std::string blankNumbered;  // 1800 one-octet texts, then number 1800
  for (int n = 0; n < 1800; ++n) blankNumbered += "      x\n";
  std::string fullPool;  // 99 texts of 201 octets fill the pool; the hundredth does not fit
  for (int n = 0; n < 120; ++n)
    fullPool += Numbered(n, n).substr(0, 6) + std::string(200, 'x') + "\n";
  const struct {
    std::string content;
    TextFault fault;
    int line;
    std::string message;
  } cases[] = {{Numbered(0, 5) + "0007  seven\n" + Numbered(8, 999), TextFault::NumberJumps, 7,
                "Line number jumps, line:    7\n0007  seven"},
               {Numbered(0, 998), TextFault::Missing, 999,
                "Program text missing/wrong  999\n/prog/KivoText.usa"},
               {Numbered(0, 0) + "00x1  text\n", TextFault::NumberWrong, 2,
                "Text number wrong, line:    2\n00x1  text"},
               {Numbered(0, 0) + "1801  text\n", TextFault::NumberWrong, 2,
                "Text number wrong, line:    2\n1801  text"},
               {blankNumbered + "1800  beyond\n", TextFault::TooManyLines, 1801,
                "Too many lines, line: 1801\n1800  beyond"},
               {fullPool, TextFault::TooManyText, 100,
                "Too many text, line:  100\n0099  " + std::string(200, 'x')}};
  for (const auto& c : cases) {
    TextTable t;
    const TextLoadResult r = Load(t, c.content);
    EXPECT_EQ(r.fault, c.fault) << c.message;
    EXPECT_EQ(r.line, c.line) << c.message;
    EXPECT_EQ(r.message, c.message);
  }
  TextTable t;
  ASSERT_FALSE(Load(t, blankNumbered + "1800  beyond\n").ok());
  EXPECT_EQ(t.Text(1799), "x") << "texts before the fault stay";
  EXPECT_EQ(t.LoadFile("/nonexistent/KivoText.ger").message,
            "Program text missing/wrong    0\n/nonexistent/KivoText.ger");
}

TEST(TextTableData, CauseSetsTooListAndSpecialCharactersAreConverted) {
  TextTable t;
  ASSERT_TRUE(
      Load(t, Numbered(0, 24) + "0025  #x\n0026  q\n0027  NY\n" + Numbered(28, 656) +
                  "0657  9600\n0658   19200 baud\n" + Numbered(659, 699) + "0700  a,b,,c\n" +
                  Numbered(701, 1008) + "1009  0102030405\n1010  010920\n1011  0708\n1012  ;\n" +
                  Numbered(1013, 1171) + "1172  |\n" + Numbered(1173, 1369) + "1370  0102\n")
          .ok());
  t.ApplyPostLoad();
  EXPECT_EQ(t.causeSetCount(), 3);
  EXPECT_EQ(t.CauseSet(1), std::string("\x01\x09\x14"));
  EXPECT_TRUE(t.CausePermitted(1, 20));
  EXPECT_FALSE(t.CausePermitted(1, 2));
  EXPECT_FALSE(t.CausePermitted(1, 0));
  EXPECT_FALSE(t.CausePermitted(3, 1));  // beyond the first empty set
  EXPECT_EQ(t.Text(1013), "T1013") << "the text after the empty set is no cause set";
  EXPECT_EQ(t.TooCodes(), std::string("\x01\x02"));
  EXPECT_EQ(std::string({t.hexPrefix(), t.bitDigit(0), t.bitDigit(1), t.fieldSeparator()}), "#NY|");
  EXPECT_EQ(std::tuple(t.NumberText(657), t.NumberText(658), t.NumberText(659)),
            std::tuple(9600, 19200, 0));
  EXPECT_EQ(t.List(700), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_TRUE(t.SetText(100, "ab"));
  EXPECT_FALSE(t.SetText(100, "abcdef")) << "a text never grows";
  EXPECT_EQ(t.Text(100), "ab");
  EXPECT_EQ(t.Text(101), "T101");
  EXPECT_EQ(t.Text(-1) + t.Text(1800), "") << "numbers outside the table";
}

}  // namespace
}  // namespace kivo
