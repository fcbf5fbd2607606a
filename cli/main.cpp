// kivo-cli: the program without a window.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "cli/comtrade.h"
#include "cli/export.h"
#include "cli/run.h"
#include "cli/stats.h"
#include "platform/posix/posix_platform.h"
#include "text/text_table.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: kivo-cli COMMAND [OPTIONS]\n"
    "\n"
    "Kivo tests IEC 60870-5-103 telegrams on serial lines (FT 1.2).\n"
    "\n"
    "Commands:\n"
    "  export LOGFILE [--format log|compact|oneline|bytes|csv] [--no-time] [--no-link]\n"
    "         [--generic] [--filter FILTERFILE] [--info INFOTEXTFILE]\n"
    "         [-o OUTFILE | --to-log OUTFILE]\n"
    "                writes a log as text (standard output unless -o) or copies it into\n"
    "                a new log; the log itself is only read; --generic decodes generic\n"
    "                data, identification and command (types 10, 11, 21) into lines\n"
    "  stats LOGFILE [--format text|csv|json] [--svg FILE]\n"
    "                answer times, polls and frame counts of a log per port and\n"
    "                link address; --svg draws the answer-time histograms\n"
    "  run [--port1 DEVICE] [--function1 primary|secondary|listener|gap]\n"
    "      [--addresses1 LIST] [--baud1 RATE] (the same for port 2) [--send N]...\n"
    "      [--list N]... [--duration SECONDS] [--print FORMAT [--generic]]\n"
    "      [--data-dir DIR] [--send-file FILE] [--log FILE] [--line1 9600/8E1]\n"
    "      [--set1 NAME=VALUE,...] [--link-test1 FLAG,...] (the same for port 2)\n"
    "      [--telegram N=FILE]... [--list N=FILE]... [--sim FILE]\n"
    "      [--general NAME=VALUE,...] [--start-list N]...\n"
    "                runs the ports online without a window ('kivo-cli run --help')\n"
    "  ports [--show] [--settings]\n"
    "                lists the port numbers and their devices (the port map of\n"
    "                the configuration first); --show prints both ports' parameters\n"
    "                and the general parameters as run takes them, --settings the\n"
    "                names of the settings\n"
    "  sendfile OUT [--send-file BASE] [--telegram N=FILE]... [--list N=FILE]...\n"
    "      [--sim FILE] [--general ...] [--line1 ... --set1 ...] (port 2 likewise)\n"
    "                writes a send-telegram file; 'sendfile --show FILE' prints one\n"
    "  comtrade FILE.DSD [-o DIR] [--binary] [--partial]\n"
    "                writes a recorded disturbance as a COMTRADE record (.cfg and\n"
    "                .dat, IEEE C37.111-1999; --binary: the 2013 binary form)\n"
    "  demo [--duration SECONDS] [--print FORMAT [--generic]]\n"
    "                a primary polling three simulated devices over a pseudo-terminal\n"
    "\n"
    "Options:\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "  --language usa|ger\n"
    "                the language of the texts (default: ger)\n";

int LanguageIndex(std::string_view name) {
  if (name == "ger") return 0;
  if (name == "usa") return 1;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  // Times, dates and the thousands separator follow the user's locale.
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  int language = 0;
  bool help = false, version = false;
  std::string command;
  std::vector<std::string> commandArgs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--language") {
      if (i + 1 >= args.size() || LanguageIndex(args[i + 1]) < 0) {
        std::cerr << "kivo-cli: --language takes usa or ger\n" << kUsage;
        return kExitUsage;
      }
      language = LanguageIndex(args[++i]);
    } else if (!command.empty()) {
      commandArgs.push_back(args[i]);
    } else if (args[i] == "--help" || args[i] == "-h") {
      help = true;
    } else if (args[i] == "--version") {
      version = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::cerr << "kivo-cli: unknown option '" << args[i] << "'\n" << kUsage;
      return kExitUsage;
    } else {
      command = args[i];
    }
  }

  kivo::XdgFolders folders;
  kivo::TextTable texts;
  kivo::TextLoadResult loaded = kivo::LoadTexts(texts, folders.ProgramDirectory(), language);
  if (!loaded.ok()) {
    std::cerr << loaded.message << "\n";
    return kivo::kExitNoTexts;
  }

  if (help) {
    std::cout << kUsage;
    return kExitOk;
  }
  if (version) {
    std::cout << "kivo-cli " << KIVO_VERSION << "\n";
    return kExitOk;
  }
  if (command == "export") return kivo::cli::RunExport(commandArgs, language);
  if (command == "stats") return kivo::cli::RunStats(commandArgs);
  if (command == "comtrade") return kivo::cli::RunComtrade(commandArgs);
  if (command == "run") return kivo::cli::RunRun(commandArgs, language);
  if (command == "demo") return kivo::cli::RunDemo(commandArgs, language);
  if (command == "ports") return kivo::cli::RunPorts(commandArgs, language);
  if (command == "sendfile") return kivo::cli::RunSendFile(commandArgs, language);
  if (command.empty()) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  std::cerr << "kivo-cli: unknown command '" << command << "'\n" << kUsage;
  return kExitUsage;
}
