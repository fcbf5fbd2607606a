// A recorded disturbance ("103" + FAN + ".DSD") as an IEEE C37.111 COMTRADE
// record, the form protection-analysis software reads: a .cfg and a .dat of
// the 1999 revision (ASCII), or of the 2013 revision with a binary .dat.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/bytes.h"

namespace kivo {

struct ComtradeOptions {
  bool binary = false;   // 2013 revision, binary .dat
  bool partial = false;  // an incomplete recording gives the channels that are complete
};

struct ComtradeRecord {
  enum class Outcome {
    Whole,       // every channel of the recording
    Partial,     // incomplete, only the complete channels (with ComtradeOptions::partial)
    Incomplete,  // the transfer did not deliver everything; nothing converted
    Damaged,     // no disturbance file, or one whose records contradict each other
  };
  Outcome outcome = Outcome::Damaged;
  // What is wrong with the recording; empty when it converted whole.
  std::string problem;
  // Incomplete, but --partial would convert some channels.
  bool partialPossible = false;
  std::string cfg;
  std::vector<std::uint8_t> dat;
};

// Converts the octets of a disturbance file. Never trusts them: every
// position, length and count is checked before use.
ComtradeRecord ConvertDisturbance(ConstBytes file, const ComtradeOptions& options);

struct ComtradeFiles {
  enum class Status { Written, Unreadable, NotWritten };
  Status status = Status::Unreadable;
  ComtradeRecord::Outcome outcome = ComtradeRecord::Outcome::Damaged;
  std::string message;           // what went wrong, or what a partial record lacks
  bool partialPossible = false;  // see ComtradeRecord
  std::string cfgPath, datPath;  // written (Status::Written)
};

// Reads `input` and writes `directory` + the input's name without its
// extension + ".cfg" and ".dat", each whole or not at all. Nothing is written
// for a recording that does not convert, and a failed write leaves no new
// .cfg.
ComtradeFiles WriteComtrade(const std::string& input, const std::string& directory,
                            const ComtradeOptions& options);

}  // namespace kivo
