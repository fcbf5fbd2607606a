// Data values read, shown and stepped as the types' data descriptions say.
#include "send/data_values.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {
namespace {

TextTable Texts(int language) {
  TextTable texts;
  EXPECT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, language).ok());
  return texts;
}

std::uint32_t Bits(float f) {
  return std::bit_cast<std::uint32_t>(f);
}

class DataValuesTest : public ::testing::Test {
 protected:
  TextTable texts = Texts(1);
  KnownTypeList known;
  int Index(int typ) const { return known.IndexOf(typ); }
  std::optional<std::uint32_t> Parse(int typ, std::string_view text) {
    return ParseDataValue(texts, Index(typ), text);
  }
};

TEST_F(DataValuesTest, EveryKnownTypeHasADescriptionThatReadsBackWhatItShows) {
  for (int language : {0, 1}) {
    const TextTable t = Texts(language);
    for (int base : {kDataDescriptionBase, kDataDescription2Base}) {
      for (int index = 1; index <= known.Count(); ++index) {
        SCOPED_TRACE(testing::Message() << "language " << language << " text " << base + index);
        const DataDescription d = DescribeDataValue(t, index, base);
        ASSERT_FALSE(d.text.empty());
        ASSERT_NE(std::string("01235").find(d.text[0]), std::string::npos);
        if (d.kind == DataValueKind::None) {
          EXPECT_EQ(FormatDataValue(d, t, 5), "");
          continue;
        }
        if (d.kind == DataValueKind::Float) {
          for (float f : {0.0f, -1.5f, 0.1f, 123456.79f, 3.4e38f, 1e-45f}) {
            EXPECT_EQ(ParseDataValue(d, t, FormatDataValue(d, t, Bits(f))), Bits(f)) << f;
          }
          continue;
        }
        ASSERT_TRUE(d.hasRange);
        EXPECT_LT(d.low, d.high);
        for (std::int64_t v : {d.low, (d.low + d.high) / 2, d.high}) {
          const auto value = static_cast<std::uint32_t>(v);
          EXPECT_EQ(ParseDataValue(d, t, FormatDataValue(d, t, value)), value);
        }
        EXPECT_FALSE(ParseDataValue(d, t, FormatDataValue(d, t, std::uint32_t(d.high + 1))));
      }
    }
  }
}

TEST_F(DataValuesTest, TextsReadByTheirFirstCharacter) {
  const std::optional<std::uint32_t> fail;
  struct Case {
    int typ;
    const char* text;
    std::optional<std::uint32_t> value;
  };
  const Case cases[] = {// DPI, decimal 0..3.
                        {1, "2", 2},
                        {1, " 3\t", 3},
                        {1, "", 0},
                        {1, "4", fail},
                        {1, "#2", 2},
                        {1, "+3", 3},
                        {1, "$3", 3},
                        {1, "-1", fail},
                        {1, "%11", 3},
                        {1, "%1i", 3},
                        {1, "%o1", 1},
                        {1, "%2", fail},
                        {1, "x", fail},
                        {1, "1.0", fail},
                        {1, "#", fail},
                        {1, "2 1", fail},
                        // COL, hexadecimal 0..255.
                        {5, "$ff", 255},
                        {5, "$100", fail},
                        {5, "255", 255},
                        {5, "#10", 10},
                        {5, "%1111", 15},
                        {5, "ff", fail},
                        // No data value: any 32-bit value.
                        {6, "-5", 0xFFFFFFFB},
                        {6, "4294967295", 0xFFFFFFFF},
                        {6, "4294967296", fail},
                        {6, "$FFFFFFFF", 0xFFFFFFFF},
                        {6, "$1FFFFFFFF", fail},
                        {6, "%11111111111111111111111111111111", 0xFFFFFFFF},
                        {6, "%111111111111111111111111111111111", fail},
                        // SCL, a float; a comma is the decimal point.
                        {4, "1,5", Bits(1.5f)},
                        {4, "-2.25", Bits(-2.25f)},
                        {4, "1e3", Bits(1000.0f)},
                        {4, "+7", Bits(7.0f)},
                        {4, "", Bits(0.0f)},
                        {4, "abc", fail},
                        {4, "1,5,3", fail},
                        {4, "1e60", fail},
                        {4, "+-1", fail},
                        {4, " 0,125 ", Bits(0.125f)}};
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.typ, c.text), c.value) << c.typ << " \"" << c.text << "\"";
  }
}

TEST_F(DataValuesTest, MarksAndBitCharactersComeFromTheTextTable) {
  ASSERT_TRUE(texts.SetText(29, "$#+-%"));  // "$" now means decimal
  EXPECT_EQ(Parse(6, "$10"), 10u);
  EXPECT_EQ(Parse(6, "-3"), 0xFFFFFFFDu);
  ASSERT_TRUE(texts.SetText(28, "AB%CD"));  // A, B, % stand for 0; C, D for 1
  EXPECT_EQ(Parse(6, "%CAD"), 5u);
  EXPECT_EQ(Parse(6, "%1"), std::nullopt);
}

TEST_F(DataValuesTest, ValuesAreShownInTheirKind) {
  EXPECT_EQ(FormatDataValue(texts, Index(1), 2), "2");
  EXPECT_EQ(FormatDataValue(texts, Index(7), 0xFFFFFFFF), "-1");
  EXPECT_EQ(FormatDataValue(texts, Index(5), 0xAB), "$AB");
  EXPECT_EQ(FormatDataValue(texts, Index(5), 0), "$0");
  EXPECT_EQ(FormatDataValue(texts, Index(4), Bits(1.5f)), "1.5");
  EXPECT_EQ(FormatDataValue(texts, Index(4), Bits(0.1f)), "0.1");
  EXPECT_EQ(FormatDataValue(texts, Index(4), Bits(-250.0f)), "-250");
  EXPECT_EQ(FormatDataValue(texts, Index(6), 7), "");

  // No type of the language files is shown in base 2.
  DataDescription bits{DataValueKind::Binary, true, 0, 15, "3 0-15"};
  EXPECT_EQ(FormatDataValue(bits, texts, 5), "101");
  EXPECT_EQ(FormatDataValue(bits, texts, 0), "0");
  EXPECT_EQ(ParseDataValue(bits, texts, "101"), 5u);
  EXPECT_EQ(ParseDataValue(bits, texts, "%1111"), 15u);
  EXPECT_EQ(ParseDataValue(bits, texts, "#15"), 15u);
  EXPECT_EQ(ParseDataValue(bits, texts, "10000"), std::nullopt);
  EXPECT_EQ(ParseDataValue(bits, texts, "12"), std::nullopt);
}

TEST_F(DataValuesTest, SteppingWrapsWithinTheRange) {
  struct Case {
    int typ;
    std::uint32_t value;
    int step;
    std::uint32_t expected;
  };
  const Case cases[] = {{1, 3, 1, 0},
                        {1, 0, -1, 3},
                        {1, 1, 1, 2},
                        {7, 255, 1, 0},
                        {7, 0, -1, 255},
                        {7, 1000, -1, 0},
                        {6, 0, -1, 0xFFFFFFFF},
                        {6, 0xFFFFFFFF, 1, 0},
                        {4, Bits(1.5f), 1, Bits(2.5f)},
                        {4, Bits(0.5f), -1, Bits(-0.5f)}};
  for (const Case& c : cases) {
    EXPECT_EQ(StepDataValue(texts, Index(c.typ), c.value, c.step), c.expected)
        << c.typ << " " << c.value << " " << c.step;
  }
  const std::uint32_t nan = Bits(std::nanf(""));
  EXPECT_TRUE(std::isnan(std::bit_cast<float>(StepDataValue(texts, Index(4), nan, 1))));
}

}  // namespace
}  // namespace kivo
