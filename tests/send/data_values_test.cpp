// Data values read, shown and stepped as the types' data descriptions say.
#include "send/data_values.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {
namespace {

std::uint32_t Bits(float f) {
  return std::bit_cast<std::uint32_t>(f);
}

class DataValuesTest : public ::testing::Test {
 protected:
  TextTable texts = Texts(1);
  KnownTypeList known;
  static TextTable Texts(int language) {
    TextTable t;
    EXPECT_TRUE(LoadTexts(t, KIVO_LANG_DIR, language).ok());
    return t;
  }
  int Index(int typ) const { return known.IndexOf(typ); }
};

// Types 1 (DPI, decimal 0..3), 5 (COL, hexadecimal 0..255), 6 (no value:
// any 32 bits); -1 for a text that does not read.
struct ReadCase {
  int typ;
  std::string text;
  std::int64_t value;
};

TEST_F(DataValuesTest, TextsReadByTheirFirstCharacter) {
  const std::string ones(32, '1');
  const ReadCase cases[] = {{1, "2", 2},     {1, " 3\t", 3},  {1, "", 0},      {1, "4", -1},
                            {1, "#2", 2},    {1, "+3", 3},    {1, "$3", 3},    {1, "-1", -1},
                            {1, "%11", 3},   {1, "%1i", 3},   {1, "%o1", 1},   {1, "%2", -1},
                            {1, "x", -1},    {1, "1.0", -1},  {1, "#", -1},    {1, "2 1", -1},
                            {5, "$ff", 255}, {5, "$100", -1}, {5, "255", 255}, {5, "#10", 10},
                            {5, "ff", -1},   {5, "%1111", 15}};
  const ReadCase wide[] = {{6, "$1FFFFFFFF", -1},        {6, "4294967296", -1},
                           {6, "-5", 0xFFFFFFFB},        {6, "4294967295", 0xFFFFFFFF},
                           {6, "$FFFFFFFF", 0xFFFFFFFF}, {6, "%" + ones, 0xFFFFFFFF},
                           {6, "%1" + ones, -1}};
  std::vector<ReadCase> all(std::begin(cases), std::end(cases));
  all.insert(all.end(), std::begin(wide), std::end(wide));
  for (const ReadCase& c : all) {
    const auto value = ParseDataValue(texts, Index(c.typ), c.text);
    EXPECT_EQ(value ? std::int64_t{*value} : -1, c.value) << c.typ << " \"" << c.text;
  }
  // SCL, a float; a comma is the decimal point.
  const std::pair<const char*, float> floats[] = {{"1,5", 1.5f},    {"-2.25", -2.25f},
                                                  {"1e3", 1000.0f}, {"+7", 7.0f},
                                                  {"", 0.0f},       {" 0,125 ", 0.125f}};
  for (const auto& [text, f] : floats) EXPECT_EQ(ParseDataValue(texts, Index(4), text), Bits(f));
  for (const char* text : {"abc", "1,5,3", "1e60", "+-1"})
    EXPECT_EQ(ParseDataValue(texts, Index(4), text), std::nullopt) << text;

  ASSERT_TRUE(texts.SetText(29, "$#+-%"));  // "$" now means decimal
  EXPECT_EQ(ParseDataValue(texts, Index(6), "$10"), 10u);
  EXPECT_EQ(ParseDataValue(texts, Index(6), "-3"), 0xFFFFFFFDu);
  ASSERT_TRUE(texts.SetText(28, "AB%CD"));  // A, B, % stand for 0; C, D for 1
  EXPECT_EQ(ParseDataValue(texts, Index(6), "%CAD"), 5u);
  EXPECT_EQ(ParseDataValue(texts, Index(6), "%1"), std::nullopt);
}

TEST_F(DataValuesTest, ValuesAreShownInTheirKind) {
  const std::tuple<int, std::uint32_t, const char*> cases[] = {
      {1, 2, "2"},  {7, 0xFFFFFFFF, "-1"},     {5, 0xAB, "$AB"},
      {5, 0, "$0"}, {4, Bits(1.5f), "1.5"},    {4, Bits(0.1f), "0.1"},
      {6, 7, ""},   {4, Bits(-250.0f), "-250"}};
  for (const auto& [typ, value, text] : cases)
    EXPECT_EQ(FormatDataValue(texts, Index(typ), value), text);
  for (float f : {123456.79f, -3.4e38f, 1e-45f}) {  // floats read back as shown
    const std::string text = FormatDataValue(texts, Index(4), Bits(f));
    EXPECT_EQ(ParseDataValue(texts, Index(4), text), Bits(f)) << text;
  }

  // No type of the language files is shown in base 2.
  const DataDescription bits{DataValueKind::Binary, true, 0, 15, "3 0-15"};
  EXPECT_EQ(FormatDataValue(bits, texts, 5), "101");
  EXPECT_EQ(FormatDataValue(bits, texts, 0), "0");
  const std::pair<const char*, std::optional<std::uint32_t>> reads[] = {
      {"101", 5}, {"%1111", 15}, {"#15", 15}, {"10000", std::nullopt}, {"12", std::nullopt}};
  for (const auto& [text, value] : reads) EXPECT_EQ(ParseDataValue(bits, texts, text), value);
}

TEST_F(DataValuesTest, SteppingWrapsWithinTheRange) {
  const std::tuple<int, std::uint32_t, int, std::uint32_t> cases[] = {
      {1, 3, 1, 0},    {1, 0, -1, 3},    {1, 1, 1, 2},           {7, 255, 1, 0},
      {7, 0, -1, 255}, {7, 1000, -1, 0}, {6, 0, -1, 0xFFFFFFFF}, {6, 0xFFFFFFFF, 1, 0}};
  for (const auto& [typ, value, step, expected] : cases)
    EXPECT_EQ(StepDataValue(texts, Index(typ), value, step), expected) << typ << " " << value;
  EXPECT_EQ(StepDataValue(texts, Index(4), Bits(1.5f), 1), Bits(2.5f));
  EXPECT_EQ(StepDataValue(texts, Index(4), Bits(0.5f), -1), Bits(-0.5f));
  const std::uint32_t nan = Bits(std::nanf(""));
  EXPECT_TRUE(std::isnan(std::bit_cast<float>(StepDataValue(texts, Index(4), nan, 1))));
}

}  // namespace
}  // namespace kivo
