// kivo-cli run and kivo-cli demo: the link engine without a window, on real
// serial devices, pseudo-terminals or a built-in pair of simulated devices.
#pragma once

#include <string>
#include <vector>

namespace kivo::cli {

inline constexpr int kExitRunOk = 0;
inline constexpr int kExitRunFailed = 1;  // no instance slot, the data directory unusable
inline constexpr int kExitRunUsage = 2;
inline constexpr int kExitPortFailed = 3;  // a port could not be opened or went away
inline constexpr int kExitRunVerdict = 4;  // a failure named by --fail-on happened

// `kivo-cli run ARGS...` (without the word "run").
int RunRun(const std::vector<std::string>& args, int languageIndex);
// `kivo-cli ports`: the port numbers and their devices; with --show both
// ports' parameters in the form run takes them, with --settings the names.
int RunPorts(const std::vector<std::string>& args, int languageIndex);
// `kivo-cli sendfile OUT ...`: a send-telegram file from a base file and the
// options; `kivo-cli sendfile --show FILE` prints one in the options' forms.
int RunSendFile(const std::vector<std::string>& args, int languageIndex);
// `kivo-cli demo ARGS...`.
int RunDemo(const std::vector<std::string>& args, int languageIndex);

}  // namespace kivo::cli
