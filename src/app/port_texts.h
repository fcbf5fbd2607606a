// What the operator reads about the ports: the baud rates of the rate list
// and the port columns of the statistics table.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kivo {

class Instance;
class TextTable;

// The baud rate of a baud-rate index: the number in text 657 + index.
std::uint32_t BaudRateOfIndex(const TextTable& texts, std::uint32_t baudIndex);

// Columns 5 to 9 of the port's row of the statistics table: secondary link
// state, primary link state, port number, baud rate, function.
std::array<std::string, 5> PortStatusCells(const Instance& instance, int portIndex);

}  // namespace kivo
