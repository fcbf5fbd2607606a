#include "cli/stats.h"

#include <iostream>

#include "app/instance.h"
#include "app/log_stats.h"
#include "cli/file_exit_codes.h"
#include "platform/headless.h"
#include "platform/posix/posix_platform.h"
#include "util/file_io.h"

namespace kivo::cli {

namespace {

int Usage(const std::string& problem) {
  std::cerr << "kivo-cli stats: " << problem << "\n"
            << "Usage: kivo-cli stats LOGFILE [--format text|csv|json] [--svg FILE]\n";
  return kExitUsage;
}

}  // namespace

int RunStats(const std::vector<std::string>& args) {
  std::string logFile, format = "text", svgFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format" || a == "--svg") {
      if (i + 1 >= args.size()) return Usage(a + " needs a value");
      (a == "--format" ? format : svgFile) = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option '" + a + "'");
    } else if (logFile.empty()) {
      logFile = a;
    } else {
      return Usage("more than one log file");
    }
  }
  if (logFile.empty()) return Usage("no log file named");
  if (format != "text" && format != "csv" && format != "json") {
    return Usage("unknown format '" + format + "'");
  }

  PosixClock clock;
  UnclaimedInstanceLock lock;
  ConfigFileRegistry registry;
  XdgFolders folders;
  QuietPrompter prompter(&std::cerr);
  Instance instance(Platform{clock, lock, registry, folders, prompter});
  LogStore& log = instance.logStore;
  if (!FileExists(logFile) || !log.OpenLog(logFile, false, LogOpenMode::ReadOnly)) {
    std::cerr << "kivo-cli stats: " << logFile << " is not a readable log file\n";
    return kExitUnreadable;
  }
  const LogStats stats = ReadLogStats(log);
  if (stats.damagedPages > 0) {
    std::cerr << "kivo-cli stats: passed over " << stats.damagedPages << " damaged page"
              << (stats.damagedPages == 1 ? "" : "s") << "\n";
  }
  const std::string svg = svgFile.empty() ? std::string() : stats.Svg();
  if (!svgFile.empty() &&
      !ReplaceFile(svgFile, {reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size()})) {
    std::cerr << "kivo-cli stats: cannot write " << svgFile << "\n";
    return kExitWriteFailed;
  }
  std::cout << (format == "json" ? stats.Json() : format == "csv" ? stats.Csv() : stats.Text());
  std::cout.flush();
  return std::cout ? kExitOk : kExitWriteFailed;
}

}  // namespace kivo::cli
