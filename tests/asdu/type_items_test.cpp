// The lines of the type, cause, function-type, INF and TOO lists, and what
// the picker reads back from a chosen line.
#include "asdu/type_items.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/fake_platform.h"
#include "asdu/info_text_table.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {
namespace {

class TypeItemsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok()); }
  PickerList Picker(PickerKind kind, int value, std::uint32_t parameter, int leaveOut = 0) {
    return BuildPickerList({texts, known, infoTexts, groups}, kind, value, parameter, leaveOut);
  }

  TextTable texts;
  KnownTypeList known;
  InfoTextTable infoTexts;
  GroupNameTable groups;
};

TEST_F(TypeItemsTest, TypeListLeavesOutTheLastEntries) {
  auto items = TypeItems(texts, known, 7, TypeNaming::Own);
  ASSERT_EQ(static_cast<int>(items.size()), known.Count() - 7);
  EXPECT_EQ(items.front(), " 1=" + texts.Text(71));
  EXPECT_EQ(items.back(), " 26=" + texts.Text(96));
}

TEST_F(TypeItemsTest, PseudoTypesAndCommonDisturbanceNames) {
  auto own = TypeItems(texts, known, 0, TypeNaming::Own);
  auto common = TypeItems(texts, known, 0, TypeNaming::Common);
  ASSERT_EQ(own.size(), common.size());
  EXPECT_EQ(own.back(), " 129=" + texts.Text(1332));
  EXPECT_EQ(own[own.size() - 2], " 128=" + texts.Text(1331));
  EXPECT_NE(std::find(own.begin(), own.end(), " 25=" + texts.Text(95)), own.end());
  EXPECT_NE(std::find(common.begin(), common.end(), " 25=" + texts.Text(1330)), common.end());
  EXPECT_NE(std::find(common.begin(), common.end(), " 31=" + texts.Text(1330)), common.end());
  EXPECT_NE(std::find(common.begin(), common.end(), " 24=" + texts.Text(94)), common.end());
  EXPECT_EQ(TypeListName(texts, 200), texts.Text(198));
}

TEST_F(TypeItemsTest, CausesFollowTheTypeSetAndCause20OfType20IsACommand) {
  auto general = CauseItems(texts, known, 20);
  EXPECT_NE(std::find(general.begin(), general.end(), " 20=" + texts.Text(264)), general.end());
  auto timeTagged = CauseItems(texts, known, 1);
  EXPECT_NE(std::find(timeTagged.begin(), timeTagged.end(), " 20=" + texts.Text(220)),
            timeTagged.end());
  EXPECT_EQ(timeTagged.front(), " 1=" + texts.Text(201));
  EXPECT_EQ(CauseName(texts, 1, 64), "");
}

TEST_F(TypeItemsTest, InfoNumbersRightJustifiedAndSorted) {
  infoTexts.Add(InfoKey(1, 160, 200), 0, "high");
  infoTexts.Add(InfoKey(1, 160, 64), 0, "trip");
  infoTexts.Add(InfoKey(1, 160, 9), 0, "nine");
  infoTexts.Add(InfoKey(2, 160, 1), 0, "other type");
  infoTexts.Sort();
  EXPECT_EQ(InfoNumberItems(infoTexts, 1, 160),
            (std::vector<std::string>{"   9=nine", "  64=trip", " 200=high"}));
  EXPECT_EQ(InfoNumberItems(infoTexts, 3, 160), (std::vector<std::string>{"   0= "}));
}

TEST_F(TypeItemsTest, TooCodesAreNamedInOrder) {
  auto items = TooItems(texts);
  ASSERT_EQ(items.size(), texts.TooCodes().size());
  EXPECT_EQ(items.front(), " 1=" + texts.Text(1371));
  EXPECT_EQ(items[1], " 2=" + texts.Text(1372));
}

TEST_F(TypeItemsTest, ChosenItemGivesTheNumberBeforeTheEqualsSign) {
  EXPECT_EQ(PickerItemValue(" 128=Free data unit"), 128);
  EXPECT_EQ(PickerItemValue("  64=a=b"), 64);
  EXPECT_EQ(PickerItemValue("   0= "), 0);
  EXPECT_EQ(PickerItemValue("160=Overcurrent protection"), 160);
  EXPECT_EQ(PickerItemValue("no equals sign"), 0);
  EXPECT_EQ(PickerItemValue("x1=junk"), 0);
  EXPECT_EQ(PickerItemValue("99999999999999=long"), 0);
}

TEST_F(TypeItemsTest, PickerCaptionsAndPreselection) {
  auto types = Picker(PickerKind::Types, 20, PickerParameter(20, 0, 0, 0), 7);
  EXPECT_EQ(types.caption, texts.Text(1166));
  EXPECT_EQ(PickerItemValue(types.items.at(static_cast<std::size_t>(types.selected))), 20);

  auto causes = Picker(PickerKind::Causes, 20, PickerParameter(20, 20, 0, 0));
  EXPECT_EQ(causes.caption, texts.Text(1167));
  EXPECT_EQ(causes.items.at(static_cast<std::size_t>(causes.selected)), " 20=" + texts.Text(264));

  groups.SetDefaults(texts);
  auto functions = Picker(PickerKind::FunctionTypes, 160, PickerParameter(1, 1, 160, 0));
  EXPECT_EQ(functions.caption, texts.Text(1168));
  EXPECT_EQ(functions.items.at(static_cast<std::size_t>(functions.selected)), texts.Text(1092));

  infoTexts.Add(InfoKey(1, 160, 64), 0, "trip");
  infoTexts.Add(InfoKey(1, 160, 65), 0, "close");
  infoTexts.Sort();
  auto infs = Picker(PickerKind::InfoNumbers, 65, PickerParameter(1, 1, 160, 65));
  EXPECT_EQ(infs.caption, texts.Text(71));
  EXPECT_EQ(infs.selected, 1);
  EXPECT_EQ(Picker(PickerKind::InfoNumbers, 0, PickerParameter(0, 0, 160, 0)).caption,
            texts.Text(1169));

  auto too = Picker(PickerKind::TooCodes, 9, 0);
  EXPECT_EQ(too.caption, texts.Text(1369));
  EXPECT_EQ(too.selected, 0);
}

}  // namespace
}  // namespace kivo
