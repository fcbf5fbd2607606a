// Exit codes of the commands that read a file and write what it holds
// (export, stats, comtrade).
#pragma once

namespace kivo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitWriteFailed = 1;  // the output could not be written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreadable = 3;  // the input is not what the command reads

}  // namespace kivo::cli
