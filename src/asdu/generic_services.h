// The generic services (generic data, generic identification, generic
// command) decoded into lines of a fixed technical English form, in place of
// the octet rows that the element lines show for them otherwise:
//
//   RII 5  NGD 1
//   GIN 3.12  KOD 1 actual value  GDD 3 UI 2x1  = 1234
//
// Every count and size comes from the telegram and is checked against the
// octets it carries: what a telegram lacks ends its last line with
// "…truncated", octets no description accounts for are shown in hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kivo {

inline constexpr int kGenericDataType = 10;
inline constexpr int kGenericIdentificationType = 11;
inline constexpr int kGenericCommandType = 21;

constexpr bool IsGenericServiceType(int typ) {
  return typ == kGenericDataType || typ == kGenericIdentificationType || typ == kGenericCommandType;
}

// The lines of the information elements after INF of a telegram of type
// `typ` (one of the generic service types; any other gives no lines). A line
// holds at most kGenericLineWidth octets, and the truncation mark after them;
// all is ASCII but that mark.
inline constexpr std::size_t kGenericLineWidth = 200;
std::vector<std::string> GenericServiceLines(int typ, std::span<const std::uint8_t> elements);

}  // namespace kivo
