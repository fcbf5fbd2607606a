// The built-in demo: port 1 a primary polling devices 1, 2 and 3, port 2 the
// three simulated devices, joined by a line inside the program. Both programs
// set it up with the same code.
#pragma once

#include <optional>
#include <string>

#include "platform/registry.h"

namespace kivo {

class Instance;

// Reads the operator's configuration and never writes it; the data
// directory may be given instead of the stored one. Runs that must leave the
// operator's settings alone (the demo, kivo-cli run) use it.
class ReadOnlyRegistry : public Registry {
 public:
  ReadOnlyRegistry(Registry& base, std::string dataDirectory)
      : base_(base), dataDirectory_(std::move(dataDirectory)) {}
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override;
  bool WriteString(std::string_view, std::string_view, std::string_view) override { return true; }

 private:
  Registry& base_;
  std::string dataDirectory_;
};

// Port functions, addresses, send telegrams, the answer list and the
// command-response simulation of the demo.
void SetUpDemo(Instance& instance);

// The demo on two port numbers: the first for the primary, the second for
// the devices; the online state is applied by the caller, not by the stored
// setting.
void PrepareDemo(Instance& instance, int primaryPort, int secondaryPort);

}  // namespace kivo
