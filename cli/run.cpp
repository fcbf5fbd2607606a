#include "cli/run.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/data_directory.h"
#include "app/demo.h"
#include "app/instance.h"
#include "app/main_timer.h"
#include "app/messages.h"
#include "app/output_run.h"
#include "app/port_service.h"
#include "app/port_texts.h"
#include "app/run_summary.h"
#include "app/send_commands.h"
#include "app/send_file_commands.h"
#include "app/startup.h"
#include "asdu/render_cursor.h"
#include "asdu/renderer.h"
#include "cli/formats.h"
#include "cli/live_print.h"
#include "cli/send_options.h"
#include "link/link_test_names.h"
#include "link/serial_path.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/port_bindings.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/pty.h"
#include "platform/posix/stop_signals.h"
#include "platform/posix/termios_port.h"
#include "record/general_text.h"
#include "record/port_text.h"
#include "send/send_execution.h"
#include "send/send_list.h"
#include "text/number_reader.h"
#include "util/file_io.h"

namespace kivo::cli {

namespace {

constexpr const char* kPtyDevice = "pty";
// How long the end of a run waits for a reader to take the rest of the print.
constexpr int kFinalPrintMs = 2000;

constexpr const char* kRunUsage =
    "Usage: kivo-cli run [--data-dir DIR] [--send-file FILE] [--log FILE]\n"
    "         [--port1 DEVICE] [--port2 DEVICE] [--function1 F] [--function2 F]\n"
    "         [--addresses1 LIST] [--addresses2 LIST] [--baud1 RATE] [--baud2 RATE]\n"
    "         [--timeout1 MS] [--timeout2 MS] [--line1 LINE] [--line2 LINE]\n"
    "         [--set1 SETTINGS] [--set2 SETTINGS] [--link-test1 FLAGS] [--link-test2 FLAGS]\n"
    "         [--telegram N=FILE]... [--list N=FILE]... [--sim FILE]\n"
    "         [--general NAME=VALUE,...] [--send N]... [--start-list N]...\n"
    "         [--duration SECONDS] [--reopen]\n"
    "         [--summary FILE] [--fail-on faulty,lost-link,no-link,unanswered]\n"
    "         [--print log|compact|oneline|bytes|csv] [--generic]\n"
    "  DEVICE   a serial device (/dev/ttyUSB0, /dev/serial/by-id/...), a port number\n"
    "           of the port map, or 'pty' for a pseudo-terminal whose other end is\n"
    "           named on standard error\n"
    "  F        listener, primary, secondary or gap\n"
    "  LIST     link addresses, e.g. 1,2,3\n"
    "  MS       response time-out, on a gap monitor the character gap; without it a\n"
    "           port whose function or baud rate is given takes the proposed one\n"
    "  LINE     rate/data bits, parity, stop bits: 9600/8E1, 19200/7O2 (parity N O E M S)\n"
    "  SETTINGS NAME=VALUE,... for the other port parameters, e.g.\n"
    "           timeout=250,reset=link,e5=never,addresses=1,2,3; 'kivo-cli ports --show'\n"
    "           prints them all, 'kivo-cli ports --settings' lists the names and values\n"
    "  FLAGS    link-test flags to disturb the link: busy, invert-res, invert-prm,\n"
    "           freeze-fcb, invert-fcv, force-acd, force-dfc, no-user-data, dist-abort,\n"
    "           dist-nack (comma-separated)\n"
    "  --telegram N=FILE  send telegram N (1..12) from a single-telegram file\n"
    "  --list N=FILE      send list N from a send-list file (its header and rows)\n"
    "  --sim FILE         the command-response table from a response-simulation\n"
    "           file; switches the simulation on. A file with a line that does not\n"
    "           read ends the run before it starts (exit code 2, file and line named)\n"
    "  --general NAME=VALUE,...  general parameters: common-address=link|separate,\n"
    "           summer-time=off|on, measurand100=100..32767,\n"
    "           disturbance-timeout=3..255, auto-order=off|on, log-size=1..2000\n"
    "           (a continued log of another size starts anew), daily-log=off|on\n"
    "  --send N / --start-list N start send telegram N / send list N (1..12) once\n"
    "           online ('--list N' without a file starts list N too)\n"
    "  --summary FILE  writes what the run saw as JSON at its end: frames per port and\n"
    "           status, links established and lost, requests answered and unanswered,\n"
    "           repetitions and answer times per address\n"
    "  --fail-on LIST  ends with exit code 4 when one of them happened, naming it\n"
    "  --reopen  a port that goes away, or is not there at the start, is tried again\n"
    "           once a second (the same path, a by-id link too); when it is back, event 48\n"
    "           is logged again and its link procedures start over. The run goes on\n"
    "           meanwhile (the same as reopen=on in --set1/--set2)\n"
    "  --generic  the print decodes generic data, identification and command\n"
    "           (types 10, 11, 21) into lines in the log and compact formats\n"
    "  Runs until the duration ends or SIGINT/SIGTERM; the log is then flushed.\n"
    "  The settings and the send-telegram file are only read.\n";

constexpr const char* kDemoUsage =
    "Usage: kivo-cli demo [--duration SECONDS] [--print log|compact|oneline|bytes|csv]\n"
    "         [--generic] [--data-dir DIR]\n"
    "  Port 1 polls three simulated devices on port 2 over a pseudo-terminal pair.\n"
    "  Without --data-dir the files live in a temporary directory removed at the end.\n";

const std::map<std::string, PortFunction>& Functions() {
  static const std::map<std::string, PortFunction> functions = {
      {"listener", PortFunction::Unassigned},
      {"primary", PortFunction::Primary},
      {"secondary", PortFunction::Secondary},
      {"gap", PortFunction::GapMonitor},
  };
  return functions;
}

struct PortOptions {
  std::string device;
  std::string line;      // the line form, checked when parsed
  std::string settings;  // NAME=VALUE settings, checked when parsed
  std::optional<LinkTestFlags> linkTest;
  std::optional<PortFunction> function;
  std::optional<AddressList> addresses;
  std::optional<std::uint32_t> baud;
  std::optional<std::uint32_t> timeout;
};

struct RunOptions {
  SendTextOptions texts;
  std::string summary;
  std::vector<RunSummary::Failure> failOn;
  std::string dataDir;
  std::string sendFile;
  std::string logFile;
  std::array<PortOptions, 2> ports;
  std::vector<int> sends;
  std::vector<int> lists;
  std::optional<double> duration;
  std::optional<DisplayFormat> print;
  bool reopen = false;
  bool generic = false;
};

int Usage(const char* command, const std::string& problem, const char* usage) {
  std::cerr << "kivo-cli " << command << ": " << problem << "\n" << usage;
  return kExitRunUsage;
}

enum class Command { Run, Demo, SendFile };

// Options of a run that a send-telegram file has no place for.
bool RunOnly(const std::string& option) {
  static const char* const names[] = {"--duration",   "--print",      "--summary",    "--fail-on",
                                      "--log",        "--send",       "--start-list", "--list",
                                      "--link-test1", "--link-test2", "--generic"};
  return std::find(std::begin(names), std::end(names), option) != std::end(names);
}

// Parses the options that `run` and `demo` share and those of `run`; for
// `sendfile` those that say what the file holds.
std::optional<RunOptions> Parse(const std::vector<std::string>& args, Command command,
                                std::string& problem) {
  const bool demo = command == Command::Demo;
  RunOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!demo) {
      const OptionTaken taken =
          TakeSendTextOption(args, i, command == Command::Run, o.texts, problem);
      if (taken == OptionTaken::Bad) return std::nullopt;
      if (taken == OptionTaken::Yes) continue;
    }
    if (command == Command::SendFile && RunOnly(a)) {
      problem =
          a == "--list" ? "--list takes N=FILE here" : a + " is an option of run, not of sendfile";
      return std::nullopt;
    }
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        problem = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](std::int64_t low, std::int64_t high, std::int64_t& out) {
      std::string text;
      if (!value(text)) return false;
      const auto v = ReadIntegerIn(text, low, high);
      if (!v) {
        problem = a + " takes a number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", not '" + text + "'";
        return false;
      }
      out = *v;
      return true;
    };
    std::string text;
    std::int64_t n = 0;
    const int port = a.size() > 1 && (a.back() == '1' || a.back() == '2') ? a.back() - '1' : -1;
    const std::string stem = port >= 0 ? a.substr(0, a.size() - 1) : a;
    if (a == "--data-dir") {
      if (!value(o.dataDir)) return std::nullopt;
    } else if (a == "--reopen" && !demo) {
      o.reopen = true;
    } else if (a == "--duration") {
      if (!value(text)) return std::nullopt;
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 1e9) {
        problem = "--duration takes a number of seconds above 0, not '" + text + "'";
        return std::nullopt;
      }
      o.duration = seconds;
    } else if (a == "--print") {
      if (!value(text)) return std::nullopt;
      const auto it = TextFormats().find(text);
      if (it == TextFormats().end()) {
        problem = "unknown print format '" + text + "'";
        return std::nullopt;
      }
      o.print = it->second;
    } else if (a == "--generic") {
      o.generic = true;
    } else if (demo) {
      problem = "unknown option '" + a + "'";
      return std::nullopt;
    } else if (a == "--summary") {
      if (!value(o.summary)) return std::nullopt;
    } else if (a == "--fail-on") {
      if (!value(text)) return std::nullopt;
      static const std::map<std::string, RunSummary::Failure> failures = {
          {"faulty", RunSummary::Failure::Faulty},
          {"lost-link", RunSummary::Failure::LostLink},
          {"no-link", RunSummary::Failure::NoLink},
          {"unanswered", RunSummary::Failure::Unanswered}};
      std::size_t start = 0;
      while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const auto it = failures.find(text.substr(start, end - start));
        if (it == failures.end()) {
          problem = a + " takes faulty, lost-link, no-link and unanswered, not '" + text + "'";
          return std::nullopt;
        }
        o.failOn.push_back(it->second);
        start = end + 1;
      }
    } else if (a == "--send-file") {
      if (!value(o.sendFile)) return std::nullopt;
    } else if (a == "--log") {
      if (!value(o.logFile)) return std::nullopt;
    } else if (a == "--send" || a == "--list" || a == "--start-list") {
      if (!number(1, kSendTelegramCount, n)) return std::nullopt;
      (a == "--send" ? o.sends : o.lists).push_back(static_cast<int>(n));
    } else if (port >= 0 && stem == "--port") {
      if (!value(o.ports[static_cast<std::size_t>(port)].device)) return std::nullopt;
    } else if (port >= 0 && stem == "--function") {
      if (!value(text)) return std::nullopt;
      const auto it = Functions().find(text);
      if (it == Functions().end()) {
        problem = a + " takes listener, primary, secondary or gap, not '" + text + "'";
        return std::nullopt;
      }
      o.ports[static_cast<std::size_t>(port)].function = it->second;
    } else if (port >= 0 && stem == "--addresses") {
      if (!value(text)) return std::nullopt;
      const auto list = ParseAddressList(text);
      if (!list || text.empty()) {
        problem = a + " takes link addresses from 0 to 254, e.g. 1,2,3, not '" + text + "'";
        return std::nullopt;
      }
      o.ports[static_cast<std::size_t>(port)].addresses = *list;
    } else if (port >= 0 && stem == "--baud") {
      if (!number(50, 4'000'000, n)) return std::nullopt;
      o.ports[static_cast<std::size_t>(port)].baud = static_cast<std::uint32_t>(n);
    } else if (port >= 0 && stem == "--timeout") {
      if (!number(1, 65535, n)) return std::nullopt;
      o.ports[static_cast<std::size_t>(port)].timeout = static_cast<std::uint32_t>(n);
    } else if (port >= 0 && (stem == "--line" || stem == "--set")) {
      if (!value(text)) return std::nullopt;
      PortParams check;
      std::string why;
      if (stem == "--line" ? !ApplyLineText(check, text, why)
                           : !ApplySettingsText(check, text, why)) {
        problem = a + " " + why;
        return std::nullopt;
      }
      PortOptions& options = o.ports[static_cast<std::size_t>(port)];
      (stem == "--line" ? options.line : options.settings) = text;
    } else if (port >= 0 && stem == "--link-test") {
      if (!value(text)) return std::nullopt;
      std::string why;
      const auto flags = ParseLinkTestFlags(text, why);
      if (!flags) {
        problem = a + " " + why;
        return std::nullopt;
      }
      o.ports[static_cast<std::size_t>(port)].linkTest = *flags;
    } else {
      problem = "unknown option '" + a + "'";
      return std::nullopt;
    }
  }
  return o;
}

// Messages go to standard error. An unattended run answers questions with
// Yes: it starts what it was told to start.
class ConsolePrompter : public Prompter {
 public:
  MessageResult Show(const std::string& message, MessageType, MessageButtons buttons) override {
    std::cerr << "kivo-cli: " << message << "\n";
    return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Yes;
  }
};

// Everything a run needs besides its Instance: the platform parts, the port
// map and the pseudo-terminals it made.
struct Host {
  PosixClock clock;
  std::unique_ptr<FlockInstanceLock> lock;
  ConfigFileRegistry config;
  std::unique_ptr<ReadOnlyRegistry> registry;
  XdgFolders folders;
  ConsolePrompter prompter;
  PollLoop loop{clock};
  std::unique_ptr<PortBindings> bindings;
  std::array<std::unique_ptr<PseudoTerminal>, 2> ptys;

  Host(const std::string& dataDirectory, const std::string& lockDirectory) {
    lock = lockDirectory.empty() ? std::make_unique<FlockInstanceLock>()
                                 : std::make_unique<FlockInstanceLock>(lockDirectory);
    registry = std::make_unique<ReadOnlyRegistry>(config, dataDirectory);
    bindings = std::make_unique<PortBindings>(LoadPortMap(config));
  }
  Platform Get() {
    return Platform{clock, *lock, *registry, folders, prompter, &bindings->Enumerator(), &loop};
  }

  // The port number of a device option: a number of the map, a path (bound
  // to a free number unless the map has it), or a pseudo-terminal.
  int Bind(int portIndex, const std::string& device, std::string& problem) {
    if (device == kPtyDevice) {
      auto pty = std::make_unique<PseudoTerminal>();
      if (!pty->ok()) {
        problem = pty->error();
        return 0;
      }
      const int n = bindings->BindMaster(pty->master());
      if (n == 0) {
        problem = "no free port number for a pseudo-terminal";
        return 0;
      }
      std::cerr << "kivo-cli: port " << portIndex + 1 << " is a pseudo-terminal; its other end is "
                << pty->slavePath() << std::endl;
      ptys[static_cast<std::size_t>(portIndex)] = std::move(pty);
      return n;
    }
    if (const auto number = ReadIntegerIn(device, 1, TermiosPortEnumerator::kMaxPort)) {
      return *number;
    }
    const int n = bindings->BindPath(device);
    if (n == 0) problem = "no free port number for " + device;
    return n;
  }
};

struct Session {
  std::optional<double> duration;
  std::optional<DisplayFormat> print;
  std::vector<int> sends;
  std::vector<int> lists;
  std::string summary;
  std::vector<RunSummary::Failure> failOn;
  bool generic = false;
};

// The link of the header's address is up, or its port has no link
// procedure; a header whose port does not exist counts as ready (SendNow
// reports it).
bool LinkReady(const Instance& instance, const SendHeader& h) {
  const int index = h.PortIndex();
  if (index < 0) return true;
  const PortRecord& port = instance.ports[static_cast<std::size_t>(index)];
  const PortFunction f = port.params.function;
  if (f != PortFunction::Primary && f != PortFunction::Secondary) return true;
  const std::uint32_t count = static_cast<std::uint32_t>(port.params.EffectiveAddressCount());
  const int listIndex = h.addressIndex < count ? static_cast<int>(h.addressIndex) : 0;
  return !TestListBit(port.notReset, listIndex);
}

// Online, the loop until the end, offline. Returns the exit code.
int RunOnline(Instance& instance, PollLoop& loop, const Session& session) {
  std::unique_ptr<LivePrint> printer;
  if (session.print) {
    std::fflush(stdout);
    printer = std::make_unique<LivePrint>(instance, *session.print, STDOUT_FILENO, session.generic);
  }
  RunSummary summary;
  for (int i = 0; i < 2; ++i) {
    const PortParams& p = instance.ports[static_cast<std::size_t>(i)].params;
    if (p.function != PortFunction::Primary || p.portNumber == 0) continue;
    std::vector<int> addresses;
    for (int k = 0; k < p.EffectiveAddressCount(); ++k) {
      if (p.Address(k) != PortParams::kAddressEnd) addresses.push_back(p.Address(k));
    }
    summary.SetPrimaryAddresses(i, addresses);
  }
  instance.logStore.hooks.stored = [&printer, &summary](const TLogEntry& e) {
    summary.Take(e);
    if (printer) printer->Take(e);
  };
  StopSignals signals;
  // Output into a closed pipe must not end the program before its log is
  // closed.
  ::signal(SIGPIPE, SIG_IGN);
  bool stop = false;
  loop.Watch(signals.fd(), [&] {
    signals.Drain();
    stop = true;
  });

  GoOnline(instance);
  std::array<bool, 2> opened{};
  int code = kExitRunOk;
  for (int i = 0; i < 2; ++i) {
    const PortRecord& port = instance.ports[static_cast<std::size_t>(i)];
    opened[static_cast<std::size_t>(i)] = port.open || port.awaitingReopen;
    if (port.params.portNumber != 0 && !port.open) {
      // An open failure has been reported with its reason; a number without
      // a device has not.
      if (port.noDevice) {
        std::cerr << "kivo-cli: port " << i + 1 << ": port number " << port.params.portNumber
                  << " names no device\n";
      }
      if (port.awaitingReopen) {
        std::cerr << "kivo-cli: port " << i + 1 << " is tried again once a second\n";
      } else {
        code = kExitPortFailed;
      }
    }
  }
  if (!instance.Online() || (!opened[0] && !opened[1])) code = kExitPortFailed;

  if (code == kExitRunOk) {
    // Telegrams and lists to start, each as soon as the link of its address
    // is up (at once on a port without a link procedure).
    struct Start {
      bool list;
      int n;
    };
    std::vector<Start> starts;
    for (int n : session.sends) starts.push_back({false, n});
    for (int n : session.lists) starts.push_back({true, n});
    auto startWhenLinked = [&] {
      std::erase_if(starts, [&](const Start& s) {
        SendHeader& h = s.list ? static_cast<SendHeader&>(instance.send.List(s.n))
                               : static_cast<SendHeader&>(instance.send.Telegram(s.n));
        if (!LinkReady(instance, h)) return false;
        if (s.list) {
          OperatorStartList(instance, s.n);
        } else {
          OperatorSendNow(instance, h);
        }
        return true;
      });
    };

    PortService service(instance, loop);
    // A port that went away ends the run, unless it is tried again; its
    // reason has been reported.
    auto portLost = [&] {
      for (int i = 0; i < 2; ++i) {
        const PortRecord& port = instance.ports[static_cast<std::size_t>(i)];
        if (opened[static_cast<std::size_t>(i)] && !port.open && !port.awaitingReopen) {
          code = kExitPortFailed;
        }
      }
    };
    service.Reconcile();
    startWhenLinked();
    std::array<bool, 2> wasOpen{instance.ports[0].open, instance.ports[1].open};
    loop.SetPeriodic(kTimerIntervalMs, [&] {
      service.Tick();
      for (std::size_t i = 0; i < 2; ++i) {
        if (instance.ports[i].open && !wasOpen[i]) {
          std::cerr << "kivo-cli: port " << i + 1 << " is open" << std::endl;
        }
        wasOpen[i] = instance.ports[i].open;
      }
      startWhenLinked();
      // Printed at the tick, never from the receive path.
      if (printer) printer->Tick();
    });
    const std::uint32_t start = instance.platform.clock.NowMs();
    const double limitMs = session.duration ? *session.duration * 1000.0 : 0.0;
    loop.Run([&] {
      service.RunPosted();
      portLost();
      if (stop || code != kExitRunOk) return false;
      return !session.duration || instance.platform.clock.NowMs() - start < limitMs;
    });
    for (const Start& s : starts) {
      std::cerr << "kivo-cli: " << (s.list ? "send list " : "send telegram ") << s.n
                << " was not started: the link of its address never came up\n";
    }
  }
  loop.Unwatch(signals.fd());
  GoOffline(instance);
  instance.logStore.CloseLog();
  instance.logStore.hooks.stored = nullptr;
  if (!session.summary.empty()) {
    const std::string json = summary.Json();
    if (!ReplaceFile(session.summary,
                     std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()))) {
      std::cerr << "kivo-cli: the summary could not be written to " << session.summary << "\n";
      if (code == kExitRunOk) code = kExitRunFailed;
    }
  }
  if (code == kExitRunOk) {
    for (RunSummary::Failure failure : session.failOn) {
      std::string what;
      if (summary.Happened(failure, what)) {
        std::cerr << "kivo-cli: failed: " << what << "\n";
        code = kExitRunVerdict;
        break;
      }
    }
  }
  if (printer) {
    // What is left is printed, as long as someone reads it.
    printer->Finish(kFinalPrintMs);
    if (printer->Skipped() != 0) {
      std::cerr << "kivo-cli: " << printer->Skipped()
                << " entries were not printed because the output did not keep up; the log has "
                   "them\n";
    }
  }
  return code;
}

// Start-up as the window program does it, with the texts in the chosen
// language. Returns an exit code when the run cannot go on.
std::optional<int> Start(Instance& instance, int languageIndex) {
  switch (StartInstance(instance)) {
    case StartOutcome::NoTexts:
      return kExitNoTexts;
    case StartOutcome::NoSlot:
      std::cerr << "kivo-cli: both instance slots are taken (two programs run on this account)\n";
      return kExitRunFailed;
    case StartOutcome::Run:
      break;
  }
  if (!ReloadTexts(instance, languageIndex)) return kExitNoTexts;
  return std::nullopt;
}

void ApplyPortOptions(PortRecord& port, const PortOptions& options, const TextTable& texts) {
  PortParams& p = port.params;
  if (options.function) p.function = *options.function;
  if (options.addresses) ApplyAddressList(p, *options.addresses);
  if (options.baud) {
    p.baud = *options.baud;
    for (std::uint32_t index = 0; index < 32; ++index) {
      if (BaudRateOfIndex(texts, index) == p.baud) p.baudIndex = index;
    }
  }
  std::string ignored;  // both were checked when parsed
  if (!options.line.empty()) {
    ApplyLineText(p, options.line, ignored);
    for (std::uint32_t index = 0; index < 32; ++index) {
      if (BaudRateOfIndex(texts, index) == p.baud) p.baudIndex = index;
    }
  }
  if (!options.settings.empty()) ApplySettingsText(p, options.settings, ignored);
  auto names = [&](const char* setting) {
    return ("," + options.settings).find(std::string(",") + setting + "=") != std::string::npos;
  };
  // As in the port dialog: a new function, baud rate or telegram length
  // brings the proposed time-out (the character gap of a gap monitor)
  // unless one is given.
  if (options.timeout) {
    p.responseTimeout = *options.timeout;
  } else if (!names("timeout") && (options.function || options.baud || !options.line.empty() ||
                                   names("function") || names("telegram-length"))) {
    p.responseTimeout = GetTimeOut(p.baud, p.telegramLength, p.function);
  }
  if (options.linkTest) port.linkTest = *options.linkTest;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace

int RunRun(const std::vector<std::string>& args, int languageIndex) {
  if (AsksForHelp(args)) {
    std::cout << kRunUsage;
    return kExitRunOk;
  }
  std::string problem;
  const std::optional<RunOptions> options = Parse(args, Command::Run, problem);
  if (!options) return Usage("run", problem, kRunUsage);
  if (options->generic && !options->print) {
    return Usage("run", "--generic needs --print", kRunUsage);
  }
  if (!options->dataDir.empty() && !CreateDirectories(options->dataDir)) {
    return Usage("run", "cannot create the data directory " + options->dataDir, kRunUsage);
  }
  if (!options->sendFile.empty() && !FileExists(options->sendFile)) {
    return Usage("run", "no send-telegram file " + options->sendFile, kRunUsage);
  }

  Host host(options->dataDir, "");
  Instance instance(host.Get());
  if (const auto code = Start(instance, languageIndex)) return *code;
  if (!options->sendFile.empty()) instance.app.sendTelegramFileName = options->sendFile;
  if (!options->logFile.empty()) {
    instance.app.logFileName = options->logFile;
    instance.app.fixedLogName = true;
  }
  // Before the log opens, so that a new log takes the size given and a
  // daily log its name of the day.
  ApplyGeneralOption(instance, options->texts);
  if (!instance.app.fixedLogName) {
    instance.app.localTime = instance.platform.clock.Now();
    instance.app.logFileName = LogFileName(instance, instance.dataDirectory);
  }
  CreateMainState(instance, {});
  instance.app.onlineApplyTick = 0xFFFFFFFF;  // online below, not by the stored state
  if (!ApplySendTexts(instance, options->texts, problem)) {
    instance.logStore.CloseLog();
    std::cerr << "kivo-cli run: " << problem << "\n";
    return kExitRunUsage;
  }
  // Over what the send-telegram file and a continued log brought.
  if (ApplyGeneralOption(instance, options->texts)) {
    std::cerr << "kivo-cli: the log " << instance.logStore.FileName()
              << " is started anew with the log size given\n";
    instance.logStore.ClearLog();
  }

  for (int i = 0; i < 2; ++i) {
    const PortOptions& port = options->ports[static_cast<std::size_t>(i)];
    if (!port.device.empty()) {
      const int number = host.Bind(i, port.device, problem);
      if (number == 0) {
        std::cerr << "kivo-cli run: port " << i + 1 << ": " << problem << "\n";
        return kExitPortFailed;
      }
      instance.ports[static_cast<std::size_t>(i)].params.portNumber =
          static_cast<std::uint32_t>(number);
    }
    ApplyPortOptions(instance.ports[static_cast<std::size_t>(i)], port, instance.texts);
    if (options->reopen) instance.ports[static_cast<std::size_t>(i)].params.reopen = 1;
  }
  if (instance.ports[0].params.portNumber == 0 && instance.ports[1].params.portNumber == 0) {
    return Usage("run", "no port: give --port1 or --port2", kRunUsage);
  }
  Session session{options->duration, options->print,  options->sends,  options->lists,
                  options->summary,  options->failOn, options->generic};
  return RunOnline(instance, host.loop, session);
}

int RunPorts(const std::vector<std::string>& args, int languageIndex) {
  constexpr const char* kPortsUsage =
      "Usage: kivo-cli ports [--show [--send-file FILE] [--data-dir DIR]] [--settings]\n"
      "  without options: the port numbers and their devices (the port map first)\n"
      "  --show      both ports' parameters and the general parameters as run takes\n"
      "              them (from the send-telegram file and the settings), one line\n"
      "              per port and one --general line to copy into a run command\n"
      "  --settings  the names of the settings of --set1/--set2 and --general and\n"
      "              what they take\n";
  if (AsksForHelp(args)) {
    std::cout << kPortsUsage;
    return kExitRunOk;
  }
  bool show = false;
  bool settings = false;
  std::string sendFile, dataDir;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--show") {
      show = true;
    } else if (a == "--settings") {
      settings = true;
    } else if ((a == "--send-file" || a == "--data-dir") && i + 1 < args.size()) {
      (a == "--send-file" ? sendFile : dataDir) = args[++i];
    } else {
      return Usage("ports", "unknown option '" + a + "'", kPortsUsage);
    }
  }
  if (settings) {
    for (const PortSettingName& setting : PortSettingNames()) {
      std::cout << setting.name << "\t" << setting.takes << "\n";
    }
    std::cout << "link-test flags:";
    for (const std::string& name : LinkTestFlagNames()) std::cout << " " << name;
    std::cout << "\n";
    for (const GeneralSettingName& setting : GeneralSettingNames()) {
      std::cout << "--general " << setting.name << "\t" << setting.takes
                << (setting.option ? "\t(a setting of the program, not of the send-telegram file)"
                                   : "")
                << "\n";
    }
  }
  if (show) {
    if (!sendFile.empty() && !FileExists(sendFile)) {
      return Usage("ports", "no send-telegram file " + sendFile, kPortsUsage);
    }
    Host host(dataDir, "");
    Instance instance(host.Get());
    if (const auto code = Start(instance, languageIndex)) return *code;
    // The parameters come from the send-telegram file; no log is opened.
    const std::string file = sendFile.empty() ? instance.app.sendTelegramFileName : sendFile;
    if (FileExists(file) && !ReadSendTelegramFile(instance, file)) return kExitRunFailed;
    std::cout << PortAndGeneralLines(instance, true);
  }
  if (show || settings) return kExitRunOk;

  ConfigFileRegistry config;
  const std::map<int, std::string> bound = LoadPortMap(config);
  TermiosPortEnumerator devices(bound);
  const std::map<int, std::string> map = devices.PortMap();
  if (map.empty()) std::cout << "no serial devices found\n";
  for (const auto& [number, path] : map) {
    std::cout << number << "\t" << path << (bound.count(number) ? "\t(bound in " : "")
              << (bound.count(number) ? config.path() + ")" : "") << "\n";
  }
  return kExitRunOk;
}

int RunDemo(const std::vector<std::string>& args, int languageIndex) {
  if (AsksForHelp(args)) {
    std::cout << kDemoUsage;
    return kExitRunOk;
  }
  std::string problem;
  const std::optional<RunOptions> options = Parse(args, Command::Demo, problem);
  if (!options) return Usage("demo", problem, kDemoUsage);

  // Without a directory of its own the demo keeps its files in a temporary
  // one, removed at the end.
  std::unique_ptr<TemporaryDirectory> temporary;
  std::string directory = options->dataDir;
  if (directory.empty()) {
    temporary = std::make_unique<TemporaryDirectory>("kivo-demo");
    if (!temporary->ok()) {
      std::cerr << "kivo-cli demo: " << temporary->error() << "\n";
      return kExitRunFailed;
    }
    directory = temporary->path();
  } else if (!CreateDirectories(directory)) {
    return Usage("demo", "cannot create the data directory " + directory, kDemoUsage);
  }
  // The demo's instance slots are its own: it runs beside any other program.
  Host host(directory, WithTrailingSlash(directory));
  Instance instance(host.Get());
  if (const auto failed = Start(instance, languageIndex)) return *failed;
  CreateMainState(instance, {});
  DemoLine line(*host.bindings);
  if (!line.ok()) {
    std::cerr << "kivo-cli demo: " << line.error() << "\n";
    return kExitPortFailed;
  }
  PrepareDemo(instance, line.primaryPort(), line.secondaryPort());
  Session session{
      options->duration, options->print.value_or(DisplayFormat::OneLine), {}, {}, {}, {},
      options->generic};
  std::cerr << "kivo-cli demo: port 1 polls devices 1, 2, 3 on port 2"
            << (session.duration ? "" : "; Ctrl-C ends") << std::endl;
  return RunOnline(instance, host.loop, session);
}

int RunSendFile(const std::vector<std::string>& args, int languageIndex) {
  constexpr int kExitNotASendFile = 3;
  constexpr const char* kSendFileUsage =
      "Usage: kivo-cli sendfile OUT [--send-file BASE] [--data-dir DIR]\n"
      "         [--telegram N=FILE]... [--list N=FILE]... [--sim FILE]\n"
      "         [--general NAME=VALUE,...] [--port1 NUMBER] [--function1 F]\n"
      "         [--addresses1 LIST] [--baud1 RATE] [--timeout1 MS] [--line1 LINE]\n"
      "         [--set1 SETTINGS] (the same for port 2)\n"
      "       kivo-cli sendfile --show FILE [--data-dir DIR]\n"
      "  writes the send-telegram file OUT: the contents of BASE (without it the\n"
      "  initial ones) with the telegrams, lists, command-response table, general\n"
      "  and port parameters given, as 'kivo-cli run' takes them; the options read\n"
      "  as in 'kivo-cli run --help'. 'kivo-cli run --send-file OUT' and the window\n"
      "  program read it. A text file with a line that does not read writes nothing\n"
      "  (exit code 2, file and line named); a BASE or FILE that is no send-telegram\n"
      "  file ends it with exit code 3.\n"
      "  --show prints the file's port and general parameters as options, its\n"
      "  command-response table, telegrams and lists (up to the last row in use) in\n"
      "  the text forms that --sim, --telegram and --list take.\n";
  if (AsksForHelp(args)) {
    std::cout << kSendFileUsage;
    return kExitRunOk;
  }
  std::vector<std::string> rest;
  std::string out, show;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--show") {
      if (i + 1 >= args.size()) return Usage("sendfile", "--show needs a file", kSendFileUsage);
      show = args[++i];
    } else if (out.empty() && show.empty() && !args[i].empty() && args[i][0] != '-' &&
               (i == 0 || args[i - 1].rfind("--", 0) != 0)) {
      out = args[i];
    } else {
      rest.push_back(args[i]);
    }
  }
  std::string problem;
  const std::optional<RunOptions> options = Parse(rest, Command::SendFile, problem);
  if (!options) return Usage("sendfile", problem, kSendFileUsage);
  if (out.empty() == show.empty()) {
    return Usage("sendfile", "give either OUT or --show FILE", kSendFileUsage);
  }
  const std::string base = show.empty() ? options->sendFile : show;
  if (!base.empty() && !FileExists(base)) {
    return Usage("sendfile", "no send-telegram file " + base, kSendFileUsage);
  }
  if (!show.empty() && rest.size() != (options->dataDir.empty() ? 0u : 2u)) {
    return Usage("sendfile", "--show takes only a file and --data-dir", kSendFileUsage);
  }
  std::array<int, 2> numbers{};
  for (int i = 0; i < 2; ++i) {
    const std::string& device = options->ports[static_cast<std::size_t>(i)].device;
    if (device.empty()) continue;
    const auto n = ReadIntegerIn(device, 1, TermiosPortEnumerator::kMaxPort);
    if (!n || !std::isdigit(static_cast<unsigned char>(device[0]))) {
      return Usage("sendfile",
                   "--port" + std::to_string(i + 1) + " takes a port number from 1 to " +
                       std::to_string(TermiosPortEnumerator::kMaxPort) + " here, not '" + device +
                       "'",
                   kSendFileUsage);
    }
    numbers[static_cast<std::size_t>(i)] = *n;
  }

  Host host(options->dataDir, "");
  Instance instance(host.Get());
  if (const auto code = Start(instance, languageIndex)) return *code;
  // A file that is no send-telegram file has been named with the reason.
  if (!base.empty() && !ReadSendTelegramFile(instance, base)) return kExitNotASendFile;
  if (!show.empty()) {
    std::cout << PortAndGeneralLines(instance, false) << SendDataText(instance);
    return kExitRunOk;
  }
  if (!ApplySendTexts(instance, options->texts, problem)) {
    std::cerr << "kivo-cli sendfile: " << problem << "\n";
    return kExitRunUsage;
  }
  ApplyGeneralOption(instance, options->texts);
  for (int i = 0; i < 2; ++i) {
    PortRecord& port = instance.ports[static_cast<std::size_t>(i)];
    if (numbers[static_cast<std::size_t>(i)] != 0) {
      port.params.portNumber = static_cast<std::uint32_t>(numbers[static_cast<std::size_t>(i)]);
    }
    ApplyPortOptions(port, options->ports[static_cast<std::size_t>(i)], instance.texts);
    if (options->reopen) port.params.reopen = 1;
  }
  if (!WriteSendTelegramFile(instance, out)) return kExitRunFailed;
  return kExitRunOk;
}

}  // namespace kivo::cli
