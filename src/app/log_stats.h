// Timing statistics of a stored log, per port and link address: the counts
// of an unattended run's summary (requests, answers, repetitions, link
// events) together with the polls of each class, the answer times as
// percentiles, the poll cycle achieved and the frames by type
// identification and by status.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/run_summary.h"
#include "record/log_entry.h"

namespace kivo {

class LogStore;
struct PortParams;

class LogStats {
 public:
  struct Address {
    int class1Polls = 0;
    int class2Polls = 0;
    std::vector<double> pollMs;  // when each poll went out
    std::map<int, std::uint64_t> byType;
    std::map<int, std::uint64_t> byStatus;
  };

  // The line setting of a port (index 0, 1) as the log header carries it.
  void SetLine(int portIndex, const PortParams& params);
  void Take(const TLogEntry& entry);

  std::uint64_t entries = 0;
  std::uint32_t damagedPages = 0;

  const RunSummary& Summary() const { return summary_; }
  const std::map<int, Address>& Addresses(int portIndex) const {
    return addresses_[static_cast<std::size_t>(portIndex & 1)];
  }
  // The mean time between two polls of an address; 0 below two polls.
  static double PollCycleMs(const Address& a);

  std::string Text() const;
  std::string Csv() const;
  std::string Json() const;
  // One answer-time histogram per address, stacked in one picture.
  std::string Svg() const;

 private:
  RunSummary summary_;
  std::array<std::map<int, Address>, 2> addresses_;
  std::array<int, 2> lastRequestAddress_{-1, -1};
};

// Reads every entry of an opened log from the oldest to the newest, damaged
// pages passed over and counted. The line settings come from its header.
LogStats ReadLogStats(LogStore& log);

}  // namespace kivo
