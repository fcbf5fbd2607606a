// The integer reader used by every text form of the program: an optional
// sign and decimal digits, or "$" and hexadecimal digits, within 32 bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kivo {

// The whole text must be the number (no blanks). Decimal numbers lie within
// -2^31 .. 2^31-1; hexadecimal ones take up to eight digits and give the bit
// pattern as a signed value ("$FFFFFFFF" is -1).
std::optional<std::int32_t> ReadInteger(std::string_view text);

// ReadInteger after cutting blanks and tabs at both ends.
std::optional<std::int32_t> ReadTrimmedInteger(std::string_view text);

// ReadTrimmedInteger that also lies within low..high.
std::optional<std::int32_t> ReadIntegerIn(std::string_view text, std::int64_t low,
                                          std::int64_t high);

}  // namespace kivo
