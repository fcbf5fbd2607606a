#include "asdu/type_items.h"

#include <algorithm>
#include <cstdio>

#include "asdu/info_text_table.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr int kFirstDisturbanceType = 25;
constexpr int kLastDisturbanceType = 31;
constexpr int kLastStandardType = 127;
constexpr int kGeneralCommandType = 20;
constexpr int kGeneralCommandCauseValue = 20;
constexpr int kLastNamedCause = 63;

std::string InfoNumberItem(int inf, std::string_view name) {
  char number[8];
  std::snprintf(number, sizeof number, "%4d=", inf);
  return number + std::string(name);
}

int ItemWithValue(const std::vector<std::string>& items, int value) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (PickerItemValue(items[i]) == value) return static_cast<int>(i);
  }
  return 0;
}

// The function-type picker marks the first group whose line contains the
// number anywhere, as the group names are free text.
int ItemContaining(const std::vector<std::string>& items, int value) {
  const std::string digits = std::to_string(value);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].find(digits) != std::string::npos) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace

std::string TypeListName(const TextTable& texts, int typ, TypeNaming naming) {
  if (naming == TypeNaming::Common && typ >= kFirstDisturbanceType && typ <= kLastDisturbanceType) {
    return texts.Text(nametext::kDisturbanceTypes);
  }
  if (typ >= 0 && typ <= kLastStandardType) return texts.Text(text::kTypeNames + typ);
  if (typ == kLastStandardType + 1 || typ == kLastStandardType + 2) {
    return texts.Text(nametext::kPseudoTypeNames + typ);
  }
  return texts.Text(text::kPrivateType);
}

std::string CauseName(const TextTable& texts, int typ, int cause) {
  if (typ == kGeneralCommandType && cause == kGeneralCommandCauseValue) {
    return texts.Text(text::kGeneralCommandCause);
  }
  if (cause < 0 || cause > kLastNamedCause) return {};
  return texts.Text(text::kCauseNames + cause);
}

std::string NumberItem(int number, std::string_view name) {
  return " " + std::to_string(number) + "=" + std::string(name);
}

std::vector<std::string> TypeItems(const TextTable& texts, const KnownTypeList& known, int leaveOut,
                                   TypeNaming naming) {
  std::vector<std::string> items;
  const int count = known.Count() - std::max(leaveOut, 0);
  for (int index = 1; index <= count; ++index) {
    const int typ = known.TypeOf(index);
    items.push_back(NumberItem(typ, TypeListName(texts, typ, naming)));
  }
  return items;
}

std::vector<std::string> CauseItems(const TextTable& texts, const KnownTypeList& known, int typ) {
  std::vector<std::string> items;
  for (char octet : texts.CauseSet(known.IndexOf(typ))) {
    const int cause = static_cast<std::uint8_t>(octet);
    items.push_back(NumberItem(cause, CauseName(texts, typ, cause)));
  }
  return items;
}

std::vector<std::string> FunctionTypeItems(const GroupNameTable& groups) {
  std::vector<std::string> items;
  for (int i = 0; i < groups.Count(); ++i) items.push_back(groups.Name(i));
  return items;
}

std::vector<std::string> InfoNumberItems(InfoTextTable& table, int typ, int fun) {
  std::vector<std::string> items;
  for (auto item = table.EnumerateFirst(InfoKey(typ, fun, 0)); !item.name.empty();
       item = table.EnumerateNext()) {
    items.push_back(InfoNumberItem(item.inf, item.name));
  }
  if (items.empty()) items.push_back(InfoNumberItem(0, " "));
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<std::string> TooItems(const TextTable& texts) {
  std::vector<std::string> items;
  int q = 1;
  for (char octet : texts.TooCodes()) {
    items.push_back(NumberItem(static_cast<std::uint8_t>(octet), texts.View(text::kTooNames + q)));
    ++q;
  }
  return items;
}

int PickerItemValue(std::string_view item) {
  const std::size_t equals = item.find('=');
  if (equals == std::string_view::npos) return 0;
  std::string_view number = item.substr(0, equals);
  while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
  while (!number.empty() && number.back() == ' ') number.remove_suffix(1);
  bool negative = false;
  if (!number.empty() && (number.front() == '-' || number.front() == '+')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  if (number.empty() || number.size() > 9) return 0;
  int value = 0;
  for (char c : number) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

PickerList BuildPickerList(const PickerSources& sources, PickerKind kind, int value,
                           std::uint32_t parameter, int leaveOut) {
  const int typ = static_cast<int>(parameter & 0xFF);
  const int fun = static_cast<int>((parameter >> 16) & 0xFF);
  PickerList list;
  list.caption = sources.texts.Text(nametext::kPickerCaption + static_cast<int>(kind));
  switch (kind) {
    case PickerKind::Types:
      list.items = TypeItems(sources.texts, sources.known, leaveOut, TypeNaming::Own);
      list.selected = ItemWithValue(list.items, value);
      break;
    case PickerKind::Causes:
      list.items = CauseItems(sources.texts, sources.known, typ);
      list.selected = ItemWithValue(list.items, value);
      break;
    case PickerKind::FunctionTypes:
      list.items = FunctionTypeItems(sources.groups);
      list.selected = ItemContaining(list.items, value);
      break;
    case PickerKind::InfoNumbers:
      list.caption = typ == 0 ? sources.texts.Text(nametext::kInfoNumbersCaption)
                              : TypeListName(sources.texts, typ);
      list.items = InfoNumberItems(sources.infoTexts, typ, fun);
      list.selected = ItemWithValue(list.items, value);
      break;
    case PickerKind::TooCodes:
      list.caption = sources.texts.Text(nametext::kTooCaption);
      list.items = TooItems(sources.texts);
      list.selected = 0;
      break;
  }
  return list;
}

}  // namespace kivo
