#include "cli/send_options.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <span>

#include "app/instance.h"
#include "record/general_text.h"
#include "record/port_text.h"
#include "send/response_sim_text.h"
#include "send/send_list.h"
#include "send/send_text_files.h"
#include "text/number_reader.h"
#include "util/file_io.h"

namespace kivo::cli {

namespace {

// A send-list file of 401 full lines is some 16 kB, a single-telegram file
// about 1 kB; a file far beyond that is no file of these kinds.
constexpr std::int64_t kMaxTextFileSize = 1 << 20;

std::optional<std::string> ReadTextFile(const std::string& path) {
  const std::int64_t size = FileSize(path);
  if (size < 0 || size > kMaxTextFileSize) return std::nullopt;
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!ReadExactly(path, 0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))) {
    return std::nullopt;
  }
  return text;
}

std::string Numbered(int n) {
  return " " + std::to_string(n) + "=";
}

// A file's text once it has read whole; the problem names the file, the
// line and the option ("rows.txt:4: data2 takes 0..65535, not '-1' (--list 2)").
template <typename Check>
std::optional<std::string> LoadChecked(const std::string& option, const std::string& file, char sep,
                                       Check check, std::string& problem) {
  auto text = ReadTextFile(file);
  if (!text) {
    problem = option + file + ": cannot read " + file;
    return std::nullopt;
  }
  if (const auto fault = check(*text, sep)) {
    problem = file + ":" + std::to_string(fault->line) + ": " + fault->what + " (" +
              option.substr(0, option.find_last_of(" =")) + ")";
    return std::nullopt;
  }
  return text;
}

// "1-3,5,9": row numbers joined into runs.
std::string Runs(const std::vector<int>& rows) {
  std::string text;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    text += (text.empty() ? "" : ",") + std::to_string(rows[i]);
    if (j > i) text += "-" + std::to_string(rows[j]);
    i = j + 1;
  }
  return text.empty() ? "none" : text;
}

// The file forms end their lines with CR LF; the print uses the terminal's.
std::string WithLineFeeds(std::string text) {
  std::erase(text, '\r');
  return text;
}

}  // namespace

OptionTaken TakeSendTextOption(const std::vector<std::string>& args, std::size_t& i,
                               bool withOptions, SendTextOptions& options, std::string& problem) {
  const std::string& a = args[i];
  const bool numbered = a == "--telegram" || a == "--list";
  if (!numbered && a != "--sim" && a != "--general") return OptionTaken::No;
  // "--list N" alone starts list N.
  if (a == "--list" && (i + 1 >= args.size() || args[i + 1].find('=') == std::string::npos)) {
    return OptionTaken::No;
  }
  if (i + 1 >= args.size()) {
    problem = a + " needs a value";
    return OptionTaken::Bad;
  }
  const std::string& value = args[++i];
  if (numbered) {
    const std::size_t equals = value.find('=');
    const std::string number = value.substr(0, std::min(equals, value.size()));
    const auto n = ReadIntegerIn(number, 1, kSendTelegramCount);
    if (equals == std::string::npos || !n || number.empty() ||
        !std::isdigit(static_cast<unsigned char>(number[0])) || equals + 1 == value.size()) {
      problem = a + " takes N=FILE with N from 1 to " + std::to_string(kSendTelegramCount) +
                ", not '" + value + "'";
      return OptionTaken::Bad;
    }
    (a == "--telegram" ? options.telegrams : options.lists)
        .emplace_back(*n, value.substr(equals + 1));
  } else if (a == "--sim") {
    if (value.empty()) {
      problem = "--sim takes the name of a response-simulation file";
      return OptionTaken::Bad;
    }
    options.sim = value;
  } else {
    GeneralSetup check;
    std::string why;
    if (!ApplyGeneralText(check, value, withOptions, why)) {
      problem = "--general " + why;
      return OptionTaken::Bad;
    }
    options.general += (options.general.empty() ? "" : ",") + value;
  }
  return OptionTaken::Yes;
}

bool ApplySendTexts(Instance& instance, const SendTextOptions& options, std::string& problem) {
  const char sep = SendSeparator(instance.texts);
  // Everything is read and checked before anything is taken.
  std::vector<std::pair<int, std::string>> telegrams, lists;
  for (const auto& [n, file] : options.telegrams) {
    auto text = LoadChecked("--telegram" + Numbered(n), file, sep, CheckTelegramText, problem);
    if (!text) return false;
    telegrams.emplace_back(n, std::move(*text));
  }
  for (const auto& [n, file] : options.lists) {
    auto text = LoadChecked("--list" + Numbered(n), file, sep, CheckListText, problem);
    if (!text) return false;
    lists.emplace_back(n, std::move(*text));
  }
  std::optional<std::string> sim;
  if (!options.sim.empty()) {
    sim = LoadChecked("--sim ", options.sim, sep, CheckSimText, problem);
    if (!sim) return false;
  }

  for (const auto& [n, text] : telegrams) {
    SendTelegram& telegram = instance.send.Telegram(n);
    ReadTelegramText(text, sep, telegram);
    telegram.sendState = kSendIdle;
  }
  for (const auto& [n, text] : lists) {
    SendList& list = instance.send.List(n);
    // The file is the whole list: the rows it does not hold are empty.
    list.rows.fill(SendListRow{});
    ReadListText(text, sep, list);
    RecountRows(instance.sendContext, n);
  }
  if (sim) {
    ResponseSimBlock& block = instance.send.simulation;
    block.rows.fill(ResponseSimRow{});
    ReadSimText(*sim, sep, block);
    block.simulationOn = 1;
  }
  return true;
}

bool ApplyGeneralOption(Instance& instance, const SendTextOptions& options) {
  if (options.general.empty()) return false;
  GeneralSetup setup{instance.general, instance.settings.Option(kOptionDailyLog)};
  std::string ignored;  // checked when the option was taken
  ApplyGeneralText(setup, options.general, true, ignored);
  const bool logSizeChanged = setup.general.logSize != instance.general.logSize;
  instance.general = setup.general;
  instance.settings.options[kOptionDailyLog] = setup.dailyLog ? 1 : 0;
  return logSizeChanged;
}

std::string PortAndGeneralLines(const Instance& instance, bool withOptions) {
  std::string text;
  for (int i = 0; i < 2; ++i) {
    const PortParams& p = instance.ports[static_cast<std::size_t>(i)].params;
    const std::string n = std::to_string(i + 1);
    if (p.portNumber != 0) text += "--port" + n + " " + std::to_string(p.portNumber) + " ";
    text += "--line" + n + " " + LineText(p) + " --set" + n + " " + SettingsText(p) + "\n";
  }
  const GeneralSetup setup{instance.general, instance.settings.Option(kOptionDailyLog)};
  return text + "--general " + GeneralText(setup, withOptions) + "\n";
}

std::string SendDataText(const Instance& instance) {
  const char sep = SendSeparator(instance.texts);
  std::string text;

  const ResponseSimBlock& sim = instance.send.simulation;
  const std::string defaultSimRow = FormatSimRow(ResponseSimRow{}, sep);
  int lastSimRow = 1;  // the file form holds at least one row
  for (int r = 0; r < kResponseSimRows; ++r) {
    if (FormatSimRow(sim.rows[static_cast<std::size_t>(r)], sep) != defaultSimRow) {
      lastSimRow = r + 1;
    }
  }
  text += "# simulation " + std::string(sim.simulationOn ? "on" : "off") + ", rows 1-" +
          std::to_string(lastSimRow) + " of " + std::to_string(kResponseSimRows) +
          " (the others default); --sim FILE takes:\n";
  text += std::to_string(sim.simulationOn) + sep + "\n";
  for (int r = 0; r < lastSimRow; ++r) {
    text += FormatSimRow(sim.rows[static_cast<std::size_t>(r)], sep) + "\n";
  }

  for (int n = 1; n <= kSendTelegramCount; ++n) {
    const SendTelegram& t = instance.send.Telegram(n);
    text += "# telegram " + std::to_string(n) + " '" + t.name.Get() + "'; --telegram " +
            std::to_string(n) + "=FILE takes:\n";
    text += WithLineFeeds(WriteTelegramText(t, sep));
  }

  const std::string emptyRow = FormatListRow(SendListRow{}, sep);
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    const SendList& list = instance.send.List(n);
    std::vector<int> active, used;
    for (int r = 1; r <= kSendListRows; ++r) {
      const SendListRow& row = list.rows[static_cast<std::size_t>(r - 1)];
      if (row.active) active.push_back(r);
      if (row.active || FormatListRow(row, sep) != emptyRow) used.push_back(r);
    }
    const int last = used.empty() ? 0 : used.back();
    text += "# list " + std::to_string(n) + " '" + list.name.Get() + "', active rows " +
            Runs(active) + ", rows in use " + Runs(used) +
            (last ? ", up to row " + std::to_string(last) + " shown" : "") + "; --list " +
            std::to_string(n) + "=FILE takes:\n";
    // The header line of the list file, then its rows up to the last in use
    // (empty rows between them keep the positions).
    const std::string whole = WithLineFeeds(WriteListText(list, sep));
    std::size_t end = 0;
    for (int line = 0; line <= last; ++line) end = whole.find('\n', end) + 1;
    text += whole.substr(0, end);
  }
  return text;
}

}  // namespace kivo::cli
