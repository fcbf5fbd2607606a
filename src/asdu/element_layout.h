// The information elements of every decoded type, written down once: the
// fields after FUN and INF with their coding, label and look, where the text
// forms break the line, and the item a type repeats. The renderer builds the
// element lines of the text forms and the parts of the CSV form from it, and
// the octets a line or part needs before it reads any follow from the codings.
//
// A new type is one more field list and one more row in kTypeLayouts.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "asdu/element_codings.h"
#include "record/type_catalogue.h"

namespace kivo::layout {

enum class Coding : std::uint8_t {
  kOctet,         // unsigned
  kWord,          // unsigned, low octet first
  kBits,          // flags, in hex
  kHexOctet,      // in hex after the hex prefix
  kDpi,           // double point; its name in the text forms
  kToo,           // type of order; its name in the text forms
  kMeasurand,     // value and flags; a share of the reference value in the text forms
  kMilliseconds,  // a word of relative time
  kFloat,         // IEEE 754 single precision
  kTime4,         // binary time of four octets
  kTime7,         // binary time of seven octets
  kText,          // identification characters
  kLong,          // as raw octets in the text forms, as a signed long in CSV
  kLineBreak,     // no octets: the text forms go on in their next line
};

constexpr std::size_t SizeOf(Coding coding) {
  switch (coding) {
    case Coding::kOctet:
    case Coding::kBits:
    case Coding::kHexOctet:
    case Coding::kDpi:
    case Coding::kToo:
      return 1;
    case Coding::kWord:
    case Coding::kMeasurand:
    case Coding::kMilliseconds:
      return 2;
    case Coding::kFloat:
    case Coding::kLong:
      return 4;
    case Coding::kTime4:
      return kTime4Length;
    case Coding::kTime7:
      return kTime7Length;
    case Coding::kText:
      return 8;
    case Coding::kLineBreak:
      return 0;
  }
  return 0;
}

// How the text forms set a field: its label, if it has one, then the value.
enum class Look : std::uint8_t {
  kPadded,     // to the field width of the format
  kSpaced,     // two spaces after
  kBare,       // nothing added: the last field of a line, or a value with a width of its own
  kFanColumn,  // padded, and no narrower than the FAN column of a disturbance list
  kHidden,     // not shown; CSV has it all the same
};

// Label texts.
namespace label {
inline constexpr int kNone = -1;
inline constexpr int kScn = 281;
inline constexpr int kFan = 290;
inline constexpr int kSof = 291;
inline constexpr int kTov = 293;
inline constexpr int kAcc = 294;
inline constexpr int kNof = 295;
inline constexpr int kNoc = 296;
inline constexpr int kNoe = 297;
inline constexpr int kInt = 298;
inline constexpr int kRpv = 299;
inline constexpr int kRsv = 300;
inline constexpr int kRfa = 301;
inline constexpr int kNot = 302;
inline constexpr int kTap = 303;
inline constexpr int kNdv = 304;
inline constexpr int kNfe = 305;
inline constexpr int kSin = 306;
inline constexpr int kRii = 307;
}  // namespace label

struct Field {
  Coding coding = Coding::kOctet;
  int label = label::kNone;
  Look look = Look::kPadded;
};

constexpr Field Padded(Coding coding, int label = label::kNone) {
  return {coding, label, Look::kPadded};
}
constexpr Field Spaced(Coding coding, int label = label::kNone) {
  return {coding, label, Look::kSpaced};
}
constexpr Field Bare(Coding coding, int label = label::kNone) {
  return {coding, label, Look::kBare};
}
constexpr Field Hidden(Coding coding) {
  return {coding, label::kNone, Look::kHidden};
}
inline constexpr Field kNextLine = Hidden(Coding::kLineBreak);

constexpr std::size_t SizeOf(std::span<const Field> fields) {
  std::size_t size = 0;
  for (const Field& f : fields) size += SizeOf(f.coding);
  return size;
}

inline constexpr int kUnbounded = std::numeric_limits<int>::max();

struct TypeLayout {
  // The fields that come once, kNextLine between the lines of the text forms.
  std::span<const Field> fixed{};
  // The fields that repeat after them for the rest of the ASDU.
  std::span<const Field> item{};
  // Items in a line of the text forms; 0: the text forms show them as octet rows.
  int itemsPerLine = 0;
  // CSV: true puts all the items of the VSQ count in the first part;
  // false gives one item a part, the first joined to the fixed fields.
  bool csvItemsCounted = false;

  constexpr bool Empty() const { return fixed.empty() && item.empty(); }
  constexpr int FixedLines() const {
    if (fixed.empty()) return 0;
    return 1 + static_cast<int>(std::ranges::count(fixed, Coding::kLineBreak, &Field::coding));
  }
  // Line `index` of the fixed fields; past the last line, the last line.
  constexpr std::span<const Field> FixedLine(std::size_t index) const {
    std::span<const Field> rest = fixed;
    auto lineEnd = [&] { return std::ranges::find(rest, Coding::kLineBreak, &Field::coding); };
    for (auto end = lineEnd(); index > 0 && end != rest.end(); --index, end = lineEnd()) {
      rest = {end + 1, rest.end()};
    }
    return {rest.begin(), lineEnd()};
  }
  // Element lines of the text forms; the octets after them show as rows.
  constexpr int TextSteps() const {
    return itemsPerLine > 0 && !item.empty() ? kUnbounded : FixedLines();
  }
  // Parts of the CSV form with decoded elements; the octets after them show as rows.
  constexpr int CsvSteps() const {
    if (!item.empty() && !csvItemsCounted) return kUnbounded;
    return Empty() ? 0 : 1;
  }
};

namespace fields {
using enum Coding;
using namespace label;

inline constexpr Field kTimeTagged[] = {Bare(kDpi), Spaced(kTime4), Padded(kOctet, kSin)};
inline constexpr Field kRelativeTime[] = {Bare(kDpi), Spaced(kMilliseconds), Spaced(kWord, kFan),
                                          Spaced(kTime4), Padded(kOctet, kSin)};
inline constexpr Field kMeasurands[] = {Bare(kMeasurand)};
inline constexpr Field kMeasurandRelativeTime[] = {Spaced(kFloat), Spaced(kMilliseconds),
                                                   Spaced(kWord, kFan), Bare(kTime4)};
inline constexpr Field kIdentification[] = {Spaced(kHexOctet), Spaced(kText), Bare(kLong)};
inline constexpr Field kTimeSynchronisation[] = {Bare(kTime7)};
inline constexpr Field kScanNumber[] = {Bare(kOctet, kScn)};
inline constexpr Field kGeneralCommand[] = {Bare(kDpi), Bare(kOctet, kRii)};
inline constexpr Field kDisturbance[] = {
    {kWord, kFan, Look::kFanColumn}, Padded(kBits, kSof), Bare(kTime7)};
inline constexpr Field kOrder[] = {Bare(kToo), Padded(kOctet, kTov), Padded(kWord, kFan),
                                   Padded(kOctet, kAcc)};
inline constexpr Field kReadyForData[] = {
    Hidden(kOctet),       Padded(kOctet, kTov), Padded(kWord, kFan), Padded(kWord, kNof), kNextLine,
    Padded(kOctet, kNoc), Padded(kWord, kNoe),  Padded(kWord, kInt), Bare(kTime4)};
inline constexpr Field kReadyForChannel[] = {
    Hidden(kOctet), Padded(kOctet, kTov), Padded(kWord, kFan),  Padded(kOctet, kAcc),
    kNextLine,      Spaced(kFloat, kRpv), Spaced(kFloat, kRsv), Spaced(kFloat, kRfa)};
inline constexpr Field kReadyForTags[] = {Hidden(kOctet), Hidden(kOctet), Padded(kWord, kFan)};
inline constexpr Field kTagsHead[] = {Padded(kWord, kFan), Padded(kOctet, kNot),
                                      Padded(kWord, kTap)};
inline constexpr Field kTag[] = {Bare(kOctet), Bare(kOctet), Bare(kDpi)};  // FUN, INF, DPI
inline constexpr Field kValuesHead[] = {Hidden(kOctet),       Padded(kOctet, kTov),
                                        Padded(kWord, kFan),  Padded(kOctet, kAcc),
                                        Padded(kOctet, kNdv), Padded(kWord, kNfe)};
inline constexpr Field kValue[] = {Bare(kWord)};
}  // namespace fields

inline constexpr int kLastLaidOutType = 31;

inline constexpr std::array<TypeLayout, kLastLaidOutType + 1> kTypeLayouts = [] {
  using namespace fields;
  constexpr int kMeasurandsPerLine = 3;
  std::array<TypeLayout, kLastLaidOutType + 1> t{};
  t[1] = {kTimeTagged};
  t[2] = {kRelativeTime};
  t[3] = t[9] = {.item = kMeasurands, .itemsPerLine = kMeasurandsPerLine, .csvItemsCounted = true};
  t[4] = {kMeasurandRelativeTime};
  t[5] = {kIdentification};
  t[6] = {kTimeSynchronisation};
  t[7] = t[8] = {kScanNumber};
  t[20] = {kGeneralCommand};
  t[23] = {.item = kDisturbance, .itemsPerLine = 1};
  t[24] = t[25] = t[31] = {kOrder};
  t[26] = {kReadyForData};
  t[27] = {kReadyForChannel};
  t[28] = {kReadyForTags};
  t[29] = {.fixed = kTagsHead, .item = kTag};
  t[30] = {.fixed = kValuesHead, .item = kValue};
  return t;
}();

inline constexpr TypeLayout kNoLayout{};

// A type without fields shows its elements as octet rows.
constexpr const TypeLayout& LayoutOf(int typ) {
  return typ >= 0 && typ <= kLastLaidOutType ? kTypeLayouts[static_cast<std::size_t>(typ)]
                                             : kNoLayout;
}

// The layouts take as many octets as the type catalogue gives the elements
// (the fixed part of a type with repeated items, else one item).
constexpr bool AgreesWithCatalogue() {
  for (int typ = 0; typ <= kLastLaidOutType; ++typ) {
    const TypeLayout& layout = LayoutOf(typ);
    if (layout.Empty()) continue;
    const std::size_t octets = layout.fixed.empty() ? SizeOf(layout.item) : SizeOf(layout.fixed);
    if (octets != (CatalogueEntry(typ) & kTypeLengthMask)) return false;
  }
  return true;
}
static_assert(AgreesWithCatalogue(), "element layouts and type catalogue disagree");

}  // namespace kivo::layout
