#include "link/link_test_names.h"

#include <algorithm>

namespace kivo {

const std::vector<std::string>& LinkTestFlagNames() {
  static const std::vector<std::string> names = {
      "busy",      "invert-res", "invert-prm",   "freeze-fcb", "invert-fcv",
      "force-acd", "force-dfc",  "no-user-data", "dist-abort", "dist-nack"};
  return names;
}

std::optional<LinkTestFlags> ParseLinkTestFlags(std::string_view text, std::string& problem) {
  LinkTestFlags flags;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string_view name = text.substr(start, end - start);
    start = end + 1;
    const auto& names = LinkTestFlagNames();
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) {
      std::string all;
      for (const std::string& n : names) all += (all.empty() ? "" : ", ") + n;
      problem = "takes link-test flags (" + all + "), not '" + std::string(name) + "'";
      return std::nullopt;
    }
    flags.Set(static_cast<int>(it - names.begin()), true);
  }
  return flags;
}

}  // namespace kivo
