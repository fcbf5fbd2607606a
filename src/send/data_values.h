// Data values of send telegrams and list rows, read and shown as the type's
// data description in the text table says: its first character is the value
// kind, followed (for the integer kinds) by a range "low-high" from the third
// character on and the words of the hint.
//
// The type index is the position of the type in the known-type list
// (KnownTypeList::IndexOf), counted from 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivo {

class TextTable;

// Text numbers of the descriptions: text base + type index.
inline constexpr int kDataDescriptionBase = 936;   // value of a telegram, data 1 of a row
inline constexpr int kDataDescription2Base = 970;  // data 2 of a list row

enum class DataValueKind : char {
  None = '0',  // no data value (any other first character too)
  Decimal = '1',
  Hexadecimal = '2',  // shown with the hexadecimal prefix character
  Binary = '3',       // shown with the two digit characters
  Float = '5',        // a 32-bit float, its bit pattern held in the value
};

struct DataDescription {
  DataValueKind kind = DataValueKind::None;
  // Integer kinds only; equal bounds mean no range. Bounds written high to
  // low are taken the right way round.
  bool hasRange = false;
  std::int64_t low = 0;
  std::int64_t high = 0;
  std::string text;  // the whole description

  bool IntegerKind() const {
    return kind == DataValueKind::Decimal || kind == DataValueKind::Hexadecimal ||
           kind == DataValueKind::Binary;
  }
  // What the status bar shows: the description from its second character on.
  std::string Hint() const { return text.size() > 1 ? text.substr(1) : std::string(); }
};

DataDescription DescribeDataValue(const TextTable& texts, int typeIndex,
                                  int descriptionBase = kDataDescriptionBase);

// Reads an operator's text: trimmed and upper-cased, empty counting as 0.
// A float takes a comma as decimal point. An integer's first character picks
// the way it is read by its position in text 29: not there, decimal (base 2
// for the binary kind, so that what FormatDataValue shows reads back);
// 1 or 2, decimal after that character; 3 or 4, the integer reader over the
// whole text; 5 and later, base 2 with every character looked up in text 28
// (its first three characters stand for 0, the rest for 1). Nothing when the
// text does not read or lies outside the range.
std::optional<std::uint32_t> ParseDataValue(const DataDescription& description,
                                            const TextTable& texts, std::string_view text);
std::optional<std::uint32_t> ParseDataValue(const TextTable& texts, int typeIndex,
                                            std::string_view text,
                                            int descriptionBase = kDataDescriptionBase);

// Decimal (as a signed 32-bit number, so that a stepped-down 0 shows -1),
// hexadecimal with the prefix character and upper-case digits, base 2 with
// the digit characters of text 27, the float in its shortest form that reads
// back to the same float ("250", "0.1", "1e+10", "nan"); the empty text for
// a type without data value. No leading zeros.
std::string FormatDataValue(const DataDescription& description, const TextTable& texts,
                            std::uint32_t value);
std::string FormatDataValue(const TextTable& texts, int typeIndex, std::uint32_t value,
                            int descriptionBase = kDataDescriptionBase);

// The arrows of the data field: adds `step` (1.0 or -1.0 to a float). An
// integer kind with a range wraps: above the high bound to the low bound,
// below the low bound to the high bound.
std::uint32_t StepDataValue(const DataDescription& description, std::uint32_t value, int step);
std::uint32_t StepDataValue(const TextTable& texts, int typeIndex, std::uint32_t value, int step,
                            int descriptionBase = kDataDescriptionBase);

}  // namespace kivo
