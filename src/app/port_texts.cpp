#include "app/port_texts.h"

#include <algorithm>
#include <cstdio>

#include "app/instance.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr int kTextLinkStateNone = 1184;
constexpr int kTextLinkStateAllReset = 1185;
constexpr int kTextLinkStateNotReset = 1186;
constexpr std::size_t kStatusCellLength = 15;

std::string FitCell(std::string text) {
  if (text.size() > kStatusCellLength) text.resize(kStatusCellLength);
  return text;
}

int LinkStateText(const Instance& instance, const PortRecord& port, PortFunction role) {
  if (!instance.Online() || port.params.function != role) return kTextLinkStateNone;
  const int count = port.params.EffectiveAddressCount();
  for (int i = 0; i < count; ++i) {
    if (TestListBit(port.notReset, i)) return kTextLinkStateNotReset;
  }
  return kTextLinkStateAllReset;
}

}  // namespace

std::uint32_t BaudRateOfIndex(const TextTable& texts, std::uint32_t baudIndex) {
  if (baudIndex > 64) return 0;
  long baud = texts.NumberText(text::kBaudRates + static_cast<int>(baudIndex));
  return baud > 0 ? static_cast<std::uint32_t>(baud) : 0;
}

std::array<std::string, 5> PortStatusCells(const Instance& instance, int portIndex) {
  const PortRecord& port = instance.ports[static_cast<std::size_t>(portIndex & 1)];
  const TextTable& texts = instance.texts;
  std::array<std::string, 5> cells;
  cells[0] = FitCell(texts.Text(LinkStateText(instance, port, PortFunction::Secondary)));
  cells[1] = FitCell(texts.Text(LinkStateText(instance, port, PortFunction::Primary)));
  char buffer[32];
  if (port.params.portNumber == 0) {
    cells[2] = "- -";
  } else {
    std::snprintf(buffer, sizeof buffer, "%3u", port.params.portNumber);
    cells[2] = FitCell(buffer);
  }
  std::snprintf(buffer, sizeof buffer, "%6u", port.params.baud);
  cells[3] = FitCell(buffer);
  const auto function =
      std::min<std::uint32_t>(static_cast<std::uint32_t>(port.params.function), 3);
  cells[4] = FitCell(texts.Text(text::kPortFunctionNames + static_cast<int>(function)));
  return cells;
}

}  // namespace kivo
