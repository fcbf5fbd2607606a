#include "cli/comtrade.h"

#include <iostream>

#include "cli/file_exit_codes.h"
#include "send/comtrade.h"
#include "util/file_io.h"

namespace kivo::cli {

namespace {

int Usage(const std::string& problem) {
  std::cerr << "kivo-cli comtrade: " << problem << "\n"
            << "Usage: kivo-cli comtrade FILE.DSD [-o DIR] [--binary] [--partial]\n";
  return kExitUsage;
}

}  // namespace

int RunComtrade(const std::vector<std::string>& args) {
  std::string input, directory = ".";
  ComtradeOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o") {
      if (i + 1 >= args.size()) return Usage("-o needs a directory");
      directory = args[++i];
      if (!DirectoryExists(directory)) return Usage("-o: no directory '" + directory + "'");
    } else if (a == "--binary") {
      options.binary = true;
    } else if (a == "--partial") {
      options.partial = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option '" + a + "'");
    } else if (input.empty()) {
      input = a;
    } else {
      return Usage("more than one disturbance file");
    }
  }
  if (input.empty()) return Usage("no disturbance file named");

  const ComtradeFiles result = WriteComtrade(input, directory, options);
  switch (result.status) {
    case ComtradeFiles::Status::Unreadable:
      std::cerr << "kivo-cli comtrade: " << input << ": " << result.message
                << (result.partialPossible ? " (--partial converts the complete channels)" : "")
                << "\n";
      return kExitUnreadable;
    case ComtradeFiles::Status::NotWritten:
      std::cerr << "kivo-cli comtrade: " << result.message << "\n";
      return kExitWriteFailed;
    case ComtradeFiles::Status::Written:
      break;
  }
  if (result.outcome == ComtradeRecord::Outcome::Partial) {
    std::cerr << "kivo-cli comtrade: " << input << ": partial record: " << result.message << "\n";
  }
  std::cout << result.cfgPath << "\n" << result.datPath << "\n";
  return kExitOk;
}

}  // namespace kivo::cli
