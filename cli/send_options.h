// The options that bring send data onto the command line: telegrams, lists
// and the command-response table from the operator's text files, and the
// general parameters as NAME=VALUE text. `run` and `sendfile` share them.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kivo {
class Instance;
}

namespace kivo::cli {

struct SendTextOptions {
  std::vector<std::pair<int, std::string>> telegrams;  // --telegram N=FILE
  std::vector<std::pair<int, std::string>> lists;      // --list N=FILE
  std::string sim;                                     // --sim FILE
  std::string general;                                 // --general NAME=VALUE,...
};

enum class OptionTaken { No, Yes, Bad };

// Takes args[i] and its value when it is one of the options above (`--list`
// only in its N=FILE form); a malformed value gives Bad with the problem
// naming the option and what it takes. `withOptions`: the general settings
// may name the option flags of the settings (not for a send-telegram file).
OptionTaken TakeSendTextOption(const std::vector<std::string>& args, std::size_t& i,
                               bool withOptions, SendTextOptions& options, std::string& problem);

// Reads every file named and checks it strictly, then puts the telegrams,
// lists and table into the instance: a list from a file is its header and
// rows on top of empty rows, the table likewise on top of default rows with
// the simulation switched on. False, with nothing changed, when a file cannot
// be read or a line of it does not read: the problem names the option, the
// file and the line.
bool ApplySendTexts(Instance& instance, const SendTextOptions& options, std::string& problem);

// Puts the --general settings into the record and the settings (checked when
// they were taken). Returns whether the log size changed.
bool ApplyGeneralOption(Instance& instance, const SendTextOptions& options);

// Both ports' parameters and the general parameters as options, one line
// each: "--port1 3 --line1 9600/8E1 --set1 ...", "--line2 ...", "--general ...".
std::string PortAndGeneralLines(const Instance& instance, bool withOptions);

// The send data of the instance in the text forms the options read, each
// part headed by a comment line ("# ...") that says which option takes the
// lines below it; lists and the table up to their last row in use.
std::string SendDataText(const Instance& instance);

}  // namespace kivo::cli
