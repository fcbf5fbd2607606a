// Where the link engine's entries go: the log store, or a recorder in the
// tests of the link layer.
#pragma once

#include <cstdint>

#include "record/log_entry.h"

namespace kivo {

struct ChannelCounters {
  std::uint32_t telegrams = 0;
  std::uint32_t errors = 0;
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Takes a frame or event of the link engine; the sink gives it its time
  // stamp and number. False when it was not stored.
  virtual bool Append(const TLogEntry& entry) = 0;
  // Telegrams and errors counted on channel 1..4 since the counters were
  // last cleared.
  virtual ChannelCounters ChannelCount(int channel) const = 0;
};

}  // namespace kivo
