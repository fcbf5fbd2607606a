#include "app/port_texts.h"

#include "text/text_table.h"

namespace kivo {

std::uint32_t BaudRateOfIndex(const TextTable& texts, std::uint32_t baudIndex) {
  if (baudIndex > 64) return 0;
  long baud = texts.NumberText(text::kBaudRates + static_cast<int>(baudIndex));
  return baud > 0 ? static_cast<std::uint32_t>(baud) : 0;
}

}  // namespace kivo
