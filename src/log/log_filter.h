// The display filter and the log filter: one 240-octet record form for both.
// The log filter decides at storage time which entries are kept at all; the
// display filter decides which stored entries the views, printing and export
// show. Both live in the general parameters and can be saved to and loaded
// from a filter file, which holds exactly one record.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "record/filter_record.h"
#include "record/log_entry.h"
#include "util/bytes.h"

namespace kivo {

// The largest value an operator may enter for a kind; 0 for kinds that do
// not exist.
std::int32_t CriterionMaximum(std::uint32_t kind);

// Fixes the criterion kinds and count, fills in the channel and validity
// defaults a zeroed record lacks, and recomputes Restricting.
void Normalise(TLogFilter& filter);
// The zeroed record after Normalise: all channels, valid and faulty entries,
// no criterion, not restricting, switched off.
TLogFilter NormalisedFilter();

// After the operator confirmed an edit: the filter is on exactly when it
// restricts something.
void EnableWhenRestricting(TLogFilter& filter);
// The operator's on/off switch of the display filter. A filter that
// restricts nothing cannot be switched: false, and nothing changes.
bool ToggleEnabled(TLogFilter& filter);

// What an evaluation needs besides the filter and the entry.
struct FilterContext {
  // SeqNo of the oldest entry of the current log: telegram number 1.
  std::uint32_t firstSeqNo = 1;
  // The display filter hides fixed-length frames while the link-layer
  // display is off; the log filter never does.
  bool isDisplayFilter = false;
  bool linkLayerShown = true;
};

// The telegram number of an entry: its position in the current log.
std::int64_t TelegramNumber(const TLogEntry& entry, std::uint32_t firstSeqNo);

// The criteria test: telegram number, time window, channels, events,
// validity, then for frames with a usable shape the link-layer rule of the
// display filter and criteria 2 .. CriterionCount. Enabled is not looked at.
bool EvaluateFilter(const TLogFilter& filter, const TLogEntry& entry, const FilterContext& context);

// The test of the views, printing, export and cursor moves: no entry never
// passes; a switched-on display filter decides; otherwise only valid
// fixed-length frames are hidden while the link-layer display is off.
bool PassesDisplayFilter(const TLogFilter& displayFilter, const TLogEntry& entry,
                         bool linkLayerShown, std::uint32_t firstSeqNo);

// The test at storage time: everything passes a switched-off log filter.
bool PassesLogFilter(const TLogFilter& logFilter, const TLogEntry& entry, std::uint32_t firstSeqNo);

// Predicates for the log store and the views. They hold the filter by
// reference and ask for the changing context at each call, so that an edited
// filter or a moved start of the log takes effect without building them anew;
// the filter must outlive the predicate.
using EntryPredicate = std::function<bool(const TLogEntry&)>;
EntryPredicate LogFilterPredicate(const TLogFilter& logFilter,
                                  std::function<std::uint32_t()> firstSeqNo);
EntryPredicate DisplayFilterPredicate(const TLogFilter& displayFilter,
                                      std::function<bool()> linkLayerShown,
                                      std::function<std::uint32_t()> firstSeqNo);
// For a run in which the filter and the rest stay as they are (an export):
// the link-line setting and the log's first number as they stand. None when
// a switched-off filter with the link lines shown lets every entry pass that
// holds anything: the run then asks nothing of each entry.
EntryPredicate DisplayFilterPredicate(const TLogFilter& displayFilter, bool linkLayerShown,
                                      std::uint32_t firstSeqNo);

// A filter file's content: taken only when it is exactly one record whose
// RecordSize is 240.
std::optional<TLogFilter> ParseFilterFile(ConstBytes content);
// Replaces `filter` by the file's record; any other file leaves it as it is
// and gives false.
bool ReadFilterFile(const std::string& path, TLogFilter& filter);
// Writes the record with RecordSize 240.
bool WriteFilterFile(const std::string& path, const TLogFilter& filter);

}  // namespace kivo
