// What the operator reads about the ports: the baud rates of the rate list
// and the port columns of the statistics table.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kivo {

class TextTable;

// The baud rate of a baud-rate index: the number in text 657 + index.
std::uint32_t BaudRateOfIndex(const TextTable& texts, std::uint32_t baudIndex);

}  // namespace kivo
