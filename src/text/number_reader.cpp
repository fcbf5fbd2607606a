#include "text/number_reader.h"

namespace kivo {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<std::int32_t> ReadInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  std::size_t i = 0;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i < text.size() && text[i] == '$') {
    ++i;
    if (i >= text.size() || text.size() - i > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return std::nullopt;
      v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    if (negative) v = 0u - v;
    return static_cast<std::int32_t>(v);
  }
  if (i >= text.size()) return std::nullopt;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

std::optional<std::int32_t> ReadTrimmedInteger(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return ReadInteger(text);
}

std::optional<std::int32_t> ReadIntegerIn(std::string_view text, std::int64_t low,
                                          std::int64_t high) {
  const auto v = ReadTrimmedInteger(text);
  if (!v || *v < low || *v > high) return std::nullopt;
  return v;
}

}  // namespace kivo
