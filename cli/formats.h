// The text formats of the log by the names the command line uses.
#pragma once

#include <map>
#include <string>

#include "asdu/renderer.h"

namespace kivo::cli {

inline const std::map<std::string, DisplayFormat>& TextFormats() {
  static const std::map<std::string, DisplayFormat> formats = {
      {"log", DisplayFormat::Log},         {"compact", DisplayFormat::Compact},
      {"oneline", DisplayFormat::OneLine}, {"bytes", DisplayFormat::Octets},
      {"csv", DisplayFormat::Csv},
  };
  return formats;
}

// The capture form for Wireshark, written by its own writer rather than as lines.
inline constexpr const char* kPcapngFormat = "pcapng";

}  // namespace kivo::cli
