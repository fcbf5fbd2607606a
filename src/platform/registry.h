// The per-user registry: string values under a key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

class Registry {
 public:
  virtual ~Registry() = default;
  virtual std::optional<std::string> ReadString(std::string_view key, std::string_view name) = 0;
  virtual bool WriteString(std::string_view key, std::string_view name, std::string_view value) = 0;
};

}  // namespace kivo
