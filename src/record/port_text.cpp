#include "record/port_text.h"

#include <array>
#include <cctype>
#include <functional>
#include <optional>

#include "text/number_reader.h"

namespace kivo {

namespace {

constexpr std::uint32_t kLowestBaud = 50;
constexpr std::uint32_t kHighestBaud = 4'000'000;
constexpr char kParityLetters[] = {'N', 'O', 'E', 'M', 'S'};

// Choices of a field by name, index = stored value.
using Names = std::vector<const char*>;

struct Setting {
  const char* name;
  std::string takes;
  std::function<std::string(const PortParams&)> get;
  // Writes the value; false when it is not one the field takes.
  std::function<bool(PortParams&, std::string_view)> set;
};

template <typename Field>
Setting Number(const char* name, Field PortParams::*field, std::uint32_t low, std::uint32_t high,
               const char* unit) {
  std::string takes = std::to_string(low) + ".." + std::to_string(high);
  if (*unit != '\0') takes += std::string(" ") + unit;
  return {name, takes, [field](const PortParams& p) { return std::to_string(p.*field); },
          [field, low, high](PortParams& p, std::string_view value) {
            const auto n = ReadIntegerIn(value, low, high);
            if (!n || value.empty() || !std::isdigit(static_cast<unsigned char>(value[0]))) {
              return false;
            }
            p.*field = static_cast<Field>(*n);
            return true;
          }};
}

template <typename Field>
Setting Choice(const char* name, Field PortParams::*field, Names names) {
  std::string takes;
  for (const char* n : names) takes += (takes.empty() ? "" : "|") + std::string(n);
  return {name, takes,
          [field, names](const PortParams& p) {
            const auto v = static_cast<std::size_t>(p.*field);
            return std::string(v < names.size() ? names[v] : "?");
          },
          [field, names](PortParams& p, std::string_view value) {
            for (std::size_t i = 0; i < names.size(); ++i) {
              if (value == names[i]) {
                p.*field = static_cast<Field>(i);
                return true;
              }
            }
            return false;
          }};
}

const std::vector<Setting>& Settings() {
  static const std::vector<Setting> settings = [] {
    std::vector<Setting> s;
    s.push_back(Choice("function", &PortParams::function,
                       Names{"listener", "primary", "secondary", "gap"}));
    s.push_back({"addresses", "link addresses 0..254, at most 31 (none: 255)",
                 [](const PortParams& p) {
                   std::string text;
                   // Address 255 stands for none: an empty list.
                   for (int i = 0; i < p.EffectiveAddressCount(); ++i) {
                     if (p.Address(i) == PortParams::kAddressEnd) continue;
                     text += (text.empty() ? "" : ",") + std::to_string(p.Address(i));
                   }
                   return text;
                 },
                 [](PortParams& p, std::string_view value) {
                   const auto list = ParseAddressList(value);
                   if (!list) return false;
                   ApplyAddressList(p, *list);
                   return true;
                 }});
    s.push_back(Number("telegram-length", &PortParams::telegramLength, 1, 261, "octets"));
    s.push_back(Number("timeout", &PortParams::responseTimeout, 1, 65535, "ms"));
    s.push_back(Number("repetitions", &PortParams::repetitions, 0, 65535, ""));
    s.push_back(Number("link-wait", &PortParams::linkWait, 1, 100, "s"));
    s.push_back(Number("poll-cycle", &PortParams::pollCycle, 0, 10000, "ms"));
    s.push_back(Choice("reset", &PortParams::resetKind, Names{"link", "fcb"}));
    s.push_back(Choice("class1", &PortParams::class1Polling, Names{"after-acd", "always"}));
    s.push_back(Number("class1-limit", &PortParams::class1PollLimit, 0, 65535, ""));
    s.push_back(
        Choice("e5", &PortParams::singleCharacter, Names{"ack-and-no-data", "never", "ack"}));
    s.push_back(Choice("spikes", &PortParams::spikeFilter, Names{"off", "on"}));
    s.push_back(
        Choice("rts", &PortParams::rtsFunction, Names{"on", "off", "tx-on", "tx-off", "rs485"}));
    s.push_back(Number("rts-lead", &PortParams::rtsLead, 0, 65535, "ms"));
    s.push_back(Number("rts-lag", &PortParams::rtsLag, 0, 65535, "ms"));
    s.push_back(Number("send-delay", &PortParams::sendDelay, 0, 5000, "ms"));
    s.push_back(
        {"watch", "none or dcd,dsr,cts",
         [](const PortParams& p) {
           std::string text;
           for (const auto& [bit, name] : {std::pair{0x80, "dcd"}, {0x40, "dsr"}, {0x20, "cts"}}) {
             if (p.watchedLines & bit) text += (text.empty() ? "" : ",") + std::string(name);
           }
           return text.empty() ? std::string("none") : text;
         },
         [](PortParams& p, std::string_view value) {
           std::uint8_t lines = 0;
           if (value != "none") {
             std::size_t start = 0;
             while (start <= value.size()) {
               const std::size_t end = std::min(value.find(',', start), value.size());
               const std::string_view name = value.substr(start, end - start);
               if (name == "dcd") {
                 lines |= 0x80;
               } else if (name == "dsr") {
                 lines |= 0x40;
               } else if (name == "cts") {
                 lines |= 0x20;
               } else {
                 return false;
               }
               start = end + 1;
             }
           }
           p.watchedLines = lines;
           return true;
         }});
    s.push_back(Choice("reopen", &PortParams::reopen, Names{"off", "on"}));
    return s;
  }();
  return settings;
}

}  // namespace

std::string LineText(const PortParams& p) {
  const char parity = p.parity < std::size(kParityLetters) ? kParityLetters[p.parity] : '?';
  return std::to_string(p.baud) + "/" + std::to_string(p.dataBits) + parity +
         std::to_string(p.stopBits);
}

bool ApplyLineText(PortParams& params, std::string_view text, std::string& problem) {
  problem =
      "takes RATE/DBPS: a rate from 50 to 4000000, 5..8 data bits, parity N, O, E, M or "
      "S, 1 or 2 stop bits (e.g. 9600/8E1), not '" +
      std::string(text) + "'";
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos || text.size() != slash + 4) return false;
  const auto rate = ReadIntegerIn(text.substr(0, slash), kLowestBaud, kHighestBaud);
  if (!rate || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  const char data = text[slash + 1];
  const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(text[slash + 2])));
  const char stop = text[slash + 3];
  if (data < '5' || data > '8' || (stop != '1' && stop != '2')) return false;
  std::size_t parityIndex = 0;
  while (parityIndex < std::size(kParityLetters) && kParityLetters[parityIndex] != parity) {
    ++parityIndex;
  }
  if (parityIndex == std::size(kParityLetters)) return false;
  params.baud = static_cast<std::uint32_t>(*rate);
  params.dataBits = static_cast<std::uint8_t>(data - '0');
  params.parity = static_cast<std::uint8_t>(parityIndex);
  params.stopBits = static_cast<std::uint8_t>(stop - '0');
  problem.clear();
  return true;
}

std::string SettingsText(const PortParams& params) {
  std::string text;
  for (const Setting& s : Settings()) {
    text += (text.empty() ? "" : ",") + std::string(s.name) + "=" + s.get(params);
  }
  return text;
}

bool ApplySettingsText(PortParams& params, std::string_view text, std::string& problem) {
  // NAME=VALUE parts; a part without '=' continues the value before it.
  std::vector<std::pair<std::string, std::string>> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = part.find('=');
    if (equals == std::string_view::npos) {
      if (parts.empty()) {
        problem = "takes NAME=VALUE settings, not '" + std::string(part) + "'";
        return false;
      }
      parts.back().second += "," + std::string(part);
      continue;
    }
    parts.emplace_back(std::string(part.substr(0, equals)), std::string(part.substr(equals + 1)));
  }
  PortParams changed = params;
  for (const auto& [name, value] : parts) {
    const Setting* found = nullptr;
    for (const Setting& s : Settings()) {
      if (name == s.name) found = &s;
    }
    if (!found) {
      std::string names;
      for (const Setting& s : Settings())
        names += (names.empty() ? "" : ", ") + std::string(s.name);
      problem = "has no setting '" + name + "' (settings: " + names + ")";
      return false;
    }
    if (!found->set(changed, value)) {
      problem = name + " takes " + found->takes + ", not '" + value + "'";
      return false;
    }
  }
  params = changed;
  return true;
}

std::vector<PortSettingName> PortSettingNames() {
  std::vector<PortSettingName> names;
  for (const Setting& s : Settings()) names.push_back({s.name, s.takes});
  return names;
}

}  // namespace kivo
