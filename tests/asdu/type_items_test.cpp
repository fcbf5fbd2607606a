// The lines of the type, cause, function-type, INF and TOO lists, and what
// the picker reads back from a chosen line.
#include "asdu/type_items.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "asdu/info_text_table.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {
namespace {

class TypeItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadTexts(texts, KIVO_LANG_DIR, 1).ok());
    infoTexts.Add(InfoKey(1, 160, 200), 0, "high");
    infoTexts.Add(InfoKey(1, 160, 64), 0, "trip");
    infoTexts.Add(InfoKey(1, 160, 9), 0, "nine");
    infoTexts.Add(InfoKey(2, 160, 1), 0, "other type");
    infoTexts.Sort();
  }
  PickerList Picker(PickerKind kind, int value, std::uint32_t parameter, int leaveOut = 0) {
    return BuildPickerList({texts, known, infoTexts, groups}, kind, value, parameter, leaveOut);
  }
  // Item `number` of a list, as "number=text n".
  std::string Item(int number, int n) { return " " + std::to_string(number) + "=" + texts.Text(n); }
  static bool Has(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
  }

  TextTable texts;
  KnownTypeList known;
  InfoTextTable infoTexts;
  GroupNameTable groups;
};

TEST_F(TypeItemsTest, TypeCauseInfAndTooLists) {
  const auto shortened = TypeItems(texts, known, 7, TypeNaming::Own);
  ASSERT_EQ(static_cast<int>(shortened.size()), known.Count() - 7) << "the last entries left out";
  EXPECT_EQ(shortened.front(), Item(1, 71));
  EXPECT_EQ(shortened.back(), Item(26, 96));
  const auto own = TypeItems(texts, known, 0, TypeNaming::Own);
  const auto common = TypeItems(texts, known, 0, TypeNaming::Common);
  ASSERT_EQ(own.size(), common.size());
  EXPECT_EQ(own.back(), Item(129, 1332));
  EXPECT_EQ(own[own.size() - 2], Item(128, 1331));
  EXPECT_TRUE(Has(own, Item(25, 95)));
  EXPECT_TRUE(Has(common, Item(25, 1330)) && Has(common, Item(31, 1330)));
  EXPECT_TRUE(Has(common, Item(24, 94)));
  EXPECT_EQ(TypeListName(texts, 200), texts.Text(198));

  // Cause 20 of type 20 is a command.
  EXPECT_TRUE(Has(CauseItems(texts, known, 20), Item(20, 264)));
  const auto timeTagged = CauseItems(texts, known, 1);
  EXPECT_TRUE(Has(timeTagged, Item(20, 220)));
  EXPECT_EQ(timeTagged.front(), Item(1, 201));
  EXPECT_EQ(CauseName(texts, 1, 64), "");

  EXPECT_EQ(InfoNumberItems(infoTexts, 1, 160),
            (std::vector<std::string>{"   9=nine", "  64=trip", " 200=high"}));
  EXPECT_EQ(InfoNumberItems(infoTexts, 3, 160), (std::vector<std::string>{"   0= "}));

  const auto too = TooItems(texts);
  ASSERT_EQ(too.size(), texts.TooCodes().size());
  EXPECT_EQ(too[0], Item(1, 1371));
  EXPECT_EQ(too[1], Item(2, 1372));
}

TEST_F(TypeItemsTest, ChosenItemGivesTheNumberBeforeTheEqualsSign) {
  const std::pair<const char*, int> cases[] = {
      {" 128=Free data unit", 128},        {"  64=a=b", 64},      {"   0= ", 0},
      {"160=Overcurrent protection", 160}, {"no equals sign", 0}, {"x1=junk", 0},
      {"99999999999999=long", 0}};
  for (auto [item, value] : cases) EXPECT_EQ(PickerItemValue(item), value) << item;
}

TEST_F(TypeItemsTest, PickerCaptionsAndPreselection) {
  groups.SetDefaults(texts);
  // kind, value, parameter, caption text, the item preselected
  const std::tuple<PickerKind, int, std::uint32_t, int, std::string> cases[] = {
      {PickerKind::Types, 20, PickerParameter(20, 0, 0, 0), 1166, Item(20, 90)},
      {PickerKind::Causes, 20, PickerParameter(20, 20, 0, 0), 1167, Item(20, 264)},
      {PickerKind::FunctionTypes, 160, PickerParameter(1, 1, 160, 0), 1168, texts.Text(1092)},
      {PickerKind::InfoNumbers, 64, PickerParameter(1, 1, 160, 64), 71, "  64=trip"},
      {PickerKind::InfoNumbers, 0, PickerParameter(0, 0, 160, 0), 1169, "   1=other type"},
      {PickerKind::TooCodes, 9, 0, 1369, Item(1, 1371)}};
  for (const auto& [kind, value, parameter, caption, selected] : cases) {
    const PickerList list = Picker(kind, value, parameter, kind == PickerKind::Types ? 7 : 0);
    EXPECT_EQ(list.caption, texts.Text(caption));
    EXPECT_EQ(list.items.at(static_cast<std::size_t>(list.selected)), selected) << caption;
  }
}

}  // namespace
}  // namespace kivo
