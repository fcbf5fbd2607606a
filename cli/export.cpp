#include "cli/export.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "app/info_texts.h"
#include "app/instance.h"
#include "app/output_run.h"
#include "app/pcapng_writer.h"
#include "app/startup.h"
#include "asdu/renderer.h"
#include "cli/file_exit_codes.h"
#include "cli/formats.h"
#include "log/log_filter.h"
#include "platform/headless.h"
#include "platform/posix/posix_platform.h"
#include "text/text_numbers.h"
#include "util/file_io.h"

namespace kivo::cli {

namespace {

struct ExportOptions {
  std::string logFile;
  DisplayFormat format = DisplayFormat::Log;
  bool pcapng = false;
  bool showTime = true;
  bool showLink = true;
  bool generic = false;
  std::string filterFile;
  std::string infoFile;
  std::string outFile;
  std::string toLog;
};

int Usage(const std::string& problem) {
  std::cerr
      << "kivo-cli export: " << problem << "\n"
      << "Usage: kivo-cli export LOGFILE [--format log|compact|oneline|bytes|csv|pcapng]\n"
         "         [--no-time] [--no-link] [--generic] [--filter FILTERFILE]\n"
         "         [--info INFOTEXTFILE] [--language usa|ger] [-o OUTFILE | --to-log OUTFILE]\n"
         "  --generic  generic data, identification and command (types 10, 11, 21)\n"
         "             decoded into lines in the log and compact formats\n";
  return kExitUsage;
}

std::optional<ExportOptions> Parse(const std::vector<std::string>& args, std::string& problem) {
  ExportOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        problem = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    std::string format;
    if (a == "--format") {
      if (!value(format)) return std::nullopt;
      o.pcapng = format == kPcapngFormat;
      if (o.pcapng) continue;
      auto it = TextFormats().find(format);
      if (it == TextFormats().end()) {
        problem = "unknown format '" + format + "'";
        return std::nullopt;
      }
      o.format = it->second;
    } else if (a == "--no-time") {
      o.showTime = false;
    } else if (a == "--no-link") {
      o.showLink = false;
    } else if (a == "--generic") {
      o.generic = true;
    } else if (a == "--filter") {
      if (!value(o.filterFile)) return std::nullopt;
    } else if (a == "--info") {
      if (!value(o.infoFile)) return std::nullopt;
    } else if (a == "-o" || a == "--output") {
      if (!value(o.outFile)) return std::nullopt;
    } else if (a == "--to-log") {
      if (!value(o.toLog)) return std::nullopt;
    } else if (!a.empty() && a[0] == '-') {
      problem = "unknown option '" + a + "'";
      return std::nullopt;
    } else if (o.logFile.empty()) {
      o.logFile = a;
    } else {
      problem = "more than one log file";
      return std::nullopt;
    }
  }
  if (o.logFile.empty()) {
    problem = "no log file named";
    return std::nullopt;
  }
  if (!o.outFile.empty() && !o.toLog.empty()) {
    problem = "-o and --to-log exclude each other";
    return std::nullopt;
  }
  if (o.generic && (o.pcapng || !o.toLog.empty())) {
    problem = "--generic takes a text format, not --format pcapng or --to-log";
    return std::nullopt;
  }
  if (o.pcapng && !o.toLog.empty()) {
    problem = "--format pcapng and --to-log exclude each other";
    return std::nullopt;
  }
  return o;
}

}  // namespace

int RunExport(const std::vector<std::string>& args, int languageIndex) {
  std::string problem;
  std::optional<ExportOptions> options = Parse(args, problem);
  if (!options) return Usage(problem);

  PosixClock clock;
  UnclaimedInstanceLock lock;
  ConfigFileRegistry registry;
  XdgFolders folders;
  QuietPrompter prompter(&std::cerr);
  Instance instance(Platform{clock, lock, registry, folders, prompter});
  instance.programDirectory = WithTrailingSlash(folders.ProgramDirectory());
  if (!LoadInstanceTexts(instance, languageIndex, true)) {
    return 99;
  }

  if (!options->filterFile.empty()) {
    if (!ReadFilterFile(options->filterFile, instance.general.displayFilter)) {
      std::cerr << "kivo-cli export: " << options->filterFile << " is not a filter file\n";
      return kExitUsage;
    }
    // A filter read from a file applies when it restricts anything.
    Normalise(instance.general.displayFilter);
    EnableWhenRestricting(instance.general.displayFilter);
  }
  if (!options->infoFile.empty() && !LoadInfoTexts(instance, options->infoFile)) {
    std::cerr << "kivo-cli export: cannot read " << options->infoFile << "\n";
    return kExitUsage;
  }

  LogStore& log = instance.logStore;
  if (!FileExists(options->logFile) ||
      !log.OpenLog(options->logFile, false, LogOpenMode::ReadOnly)) {
    std::cerr << "kivo-cli export: " << options->logFile << " is not a readable log file\n";
    return kExitUnreadable;
  }
  // The CSV form always has its time and link lines, and the display filter
  // must see the link line that is shown, or it drops the fixed frames.
  const bool csv = options->format == DisplayFormat::Csv;
  const bool showLink = options->showLink || csv;
  for (const std::string& target : {options->outFile, options->toLog}) {
    if (!target.empty() && IsOutputToLog(target, log)) {
      std::cerr << "kivo-cli export: " << target << ": "
                << instance.texts.Text(text::kOutputIsCurrentLog) << "\n";
      return kExitUsage;
    }
  }
  instance.settings.showLink = showLink ? 1 : 0;
  const std::uint32_t firstSeqNo = log.Index().firstSeqNo;
  OutputOptions output;
  output.displayFilter =
      DisplayFilterPredicate(instance.general.displayFilter, showLink, firstSeqNo);
  output.filterOn = instance.general.displayFilter.enabled != 0;

  OutputResult result;
  if (!options->toLog.empty()) {
    // The copy gets the log size of the log it comes from, so that it holds
    // every entry.
    if (log.OpenedHeader().generalSettings.size == GeneralParams::kSize) {
      instance.general.logSize = log.OpenedHeader().generalSettings.logSize;
    }
    output.target = OutputTarget::LogFile;
    result = RunLogOutput(instance, log, options->toLog, output);
  } else {
    RenderContext context = MakeRenderContext(instance, firstSeqNo);
    context.format = options->format;
    context.showTime = options->showTime || csv;
    context.showLink = showLink;
    context.genericServices = options->generic;
    // A file named with -o is written beside its name and takes its place
    // when complete.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, &std::fclose);
    std::optional<StagedFile> staged;
    std::FILE* out = stdout;
    if (!options->outFile.empty()) {
      staged.emplace(options->outFile);
      if (staged->Create()) file.reset(std::fopen(staged->WritePath().c_str(), "wb"));
      if (!file) {
        std::cerr << "kivo-cli export: cannot create " << options->outFile << "\n";
        return kExitUsage;
      }
      out = file.get();
    }
    if (options->pcapng) {
      result = RunPcapngOutput(log, context, output, out);
    } else {
      TextFileSink sink(out);
      result = RunTextOutput(log, context, output, sink);
    }
    if (std::fflush(out) != 0) result.ok = false;
    if (file && std::fclose(file.release()) != 0) result.ok = false;
    if (result.ok && staged && !staged->Commit()) result.ok = false;
  }
  if (result.damagedPages > 0) {
    std::cerr << "kivo-cli export: passed over " << result.damagedPages << " damaged page"
              << (result.damagedPages == 1 ? "" : "s") << "\n";
  }
  if (!result.ok) {
    std::cerr << "kivo-cli export: writing the output failed\n";
    return kExitWriteFailed;
  }
  return kExitOk;
}

}  // namespace kivo::cli
