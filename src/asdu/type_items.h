// The " %d=%s" items of the type, cause, function-type, information-number
// and TOO lists: the send editors' combo boxes and the type picker `TfmTyp`
// take their lines from here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class TextTable;
class KnownTypeList;
class InfoTextTable;
class GroupNameTable;

namespace nametext {
inline constexpr int kPseudoTypeNames = 1203;   // + TYP, TYP 128 and 129
inline constexpr int kDisturbanceTypes = 1330;  // common name of types 25..31
inline constexpr int kPickerCaption = 1165;     // + kind
inline constexpr int kInfoNumbersCaption = 1169;
inline constexpr int kTooCaption = 1369;
}  // namespace nametext

// How a type list names the disturbance-data types 25..31.
enum class TypeNaming { Common = 0, Own = 1 };

// The name of a type in a list: text 70 + TYP, the pseudo-types 128 and 129
// their own texts; with common naming types 25..31 share text 1330.
std::string TypeListName(const TextTable& texts, int typ, TypeNaming naming = TypeNaming::Own);
// Text 200 + cause; cause 20 of TYP 20 is named by text 264. Empty above 63.
std::string CauseName(const TextTable& texts, int typ, int cause);
// " %d=%s".
std::string NumberItem(int number, std::string_view name);

// The known-type list without its last `leaveOut` entries.
std::vector<std::string> TypeItems(const TextTable& texts, const KnownTypeList& known, int leaveOut,
                                   TypeNaming naming);
// The causes permitted for a type, in the order of its cause set.
std::vector<std::string> CauseItems(const TextTable& texts, const KnownTypeList& known, int typ);
// The group names as they stand.
std::vector<std::string> FunctionTypeItems(const GroupNameTable& groups);
// The information objects of (TYP, FUN): INF right-justified in 4, "=", name;
// sorted. Without any entry one item "   0= ".
std::vector<std::string> InfoNumberItems(InfoTextTable& table, int typ, int fun);
// The TOO codes, each with text 1370 + q.
std::vector<std::string> TooItems(const TextTable& texts);

// The number before "=" of a chosen item; 0 without "=" or without a number.
int PickerItemValue(std::string_view item);

enum class PickerKind { Types = 1, Causes = 2, FunctionTypes = 3, InfoNumbers = 4, TooCodes = 5 };

// The parameter word of the picker: TYP bits 0-7, cause 8-15, FUN 16-23,
// current INF 24-31.
constexpr std::uint32_t PickerParameter(int typ, int cause, int fun, int inf) {
  return static_cast<std::uint32_t>((typ & 0xFF) | ((cause & 0xFF) << 8) | ((fun & 0xFF) << 16)) |
         (static_cast<std::uint32_t>(inf & 0xFF) << 24);
}

struct PickerSources {
  const TextTable& texts;
  const KnownTypeList& known;
  InfoTextTable& infoTexts;
  const GroupNameTable& groups;
};

struct PickerList {
  std::string caption;
  std::vector<std::string> items;
  int selected = 0;  // item preselected (0 when nothing matches)
};

// What the picker shows for a kind: caption, items and the preselected item
// for the in/out `value` (a type, cause, function type or INF).
PickerList BuildPickerList(const PickerSources& sources, PickerKind kind, int value,
                           std::uint32_t parameter, int leaveOut);

}  // namespace kivo
