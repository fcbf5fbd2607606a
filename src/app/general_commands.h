// The operator's change of the general parameters and of the data
// directory: the check of a directory field, and what new parameters set in
// motion (going offline, a log of another size, fresh ports, the files moved
// to another directory).
#pragma once

#include <string>

#include "record/general_params.h"

namespace kivo {

class Instance;

inline constexpr int kTextCreateDirectory = 552;
inline constexpr int kTextLogSizeChanged = 1328;

// The ranges of the fields of the dialog.
inline constexpr std::uint32_t kLeastMeasurand100 = 100;
inline constexpr std::uint32_t kMostMeasurand100 = 32767;
inline constexpr std::uint32_t kLeastDisturbanceTimeout = 3;
inline constexpr std::uint32_t kMostDisturbanceTimeout = 255;
inline constexpr std::uint32_t kLeastLogSize = 1;
inline constexpr std::size_t kMostDataDirectoryLength = 150;

// A data directory field: an existing directory is taken; a missing one is
// created with all missing parents when the operator agrees (message 552).
// On success `path` ends in '/'. False for an empty path, a path that is
// too long, a refusal, a directory that cannot be created or a file in its
// place.
bool CheckDataDirectory(Instance& instance, std::string& path);

enum class GeneralOutcome {
  Unchanged,  // nothing but the focus changed
  Stored,     // the record changed where no restart is needed
  Refused,    // the operator did not want to go offline: nothing stored
  Applied,    // stored, ports and sending started afresh
};

// Takes the parameters the dialog returned: the focus index at once; a
// change of the summer-time bit alone is stored as it is; any other change
// (or another data directory) goes offline first, asking while online
// (message 1204), asks whether a changed log size starts the log anew
// (message 1328; No keeps the old size), resets both ports and all sending,
// normalises the filters and, for another data directory, moves the log and
// the send-telegram file there and saves the settings. A changed record
// counts as modified send data, since the send-telegram file keeps it.
GeneralOutcome ApplyGeneralParams(Instance& instance, const GeneralParams& edited,
                                  std::string dataDirectory);

}  // namespace kivo
