#include "log/log_filter.h"

#include <algorithm>
#include <utility>

#include "record/frame_status.h"
#include "record/ft12.h"
#include "util/file_io.h"
#include "util/record_io.h"

namespace kivo {

namespace {

struct KindRow {
  std::int32_t maximum;
  std::size_t frameOffset;  // for the application fields; 0 for the others
};

// Kinds 5 .. 13 in order.
constexpr std::array<KindRow, 9> kKindTable = {{
    {2147483647, 0},
    {TLogEntry::kMaxByteCount, 0},
    {15, 0},
    {255, 0},
    {255, ft12::at::kTyp},
    {255, ft12::at::kCot},
    {255, ft12::at::kCommonAddress},
    {255, ft12::at::kFun},
    {255, ft12::at::kInf},
}};

bool KnownKind(std::uint32_t kind) {
  return kind >= kFirstCriterionKind && kind <= kLastCriterionKind;
}

const KindRow& RowOf(std::uint32_t kind) {
  return kKindTable[kind - kFirstCriterionKind];
}

// An application field of the entry. Octets past ByteCount were never
// received, so they count as 0 rather than whatever the buffer held before;
// so do fields past the end of a short ASDU, where the checksum and the end
// octet stand.
std::int64_t FrameOctet(const TLogEntry& entry, std::size_t at) {
  const auto frame = entry.Frame();
  std::size_t end = frame.size();
  if (end > ft12::at::kLength && frame[0] == ft12::kStartVariable) {
    end = std::min(end, ft12::at::kVariableControl + std::size_t{frame[ft12::at::kLength]});
  }
  return at < end ? frame[at] : 0;
}

// The value a criterion of a known kind takes from the entry.
std::int64_t ValueOf(std::uint32_t kind, const TLogEntry& entry, std::uint32_t firstSeqNo) {
  switch (kind) {
    case kKindTelegramNumber:
      return TelegramNumber(entry, firstSeqNo);
    case kKindByteCount:
      return entry.byteCount;
    case kKindFunctionCode:
      return entry.control == ft12::kSingleCharacter ? 0 : entry.control & ft12::kFunctionMask;
    case kKindLinkAddress:
      return entry.linkAddress;
    default:
      return FrameOctet(entry, RowOf(kind).frameOffset);
  }
}

bool IsSet(std::uint8_t flag) {
  return flag != 0;
}

bool Valid(const TLogEntry& entry) {
  return entry.status >= status::kCorrect;
}

bool ChannelSelected(std::uint32_t channels, std::uint8_t channel) {
  if (channel == 0 || channel > 32) return false;
  return ((channels >> (channel - 1)) & 1u) != 0;
}

// Criteria 2 .. CriterionCount for an entry with a usable frame shape.
bool CriteriaPass(const TLogFilter& filter, const TLogEntry& entry, std::uint32_t firstSeqNo) {
  const std::size_t last = static_cast<std::size_t>(
      std::clamp<std::int32_t>(filter.criterionCount, 0, TLogFilter::kCriterionCount));
  bool passes = true;
  for (std::size_t i = 1; i < last && passes; ++i) {
    const TFilterCriterion& criterion = filter.criteria[i];
    if (criterion.mode == kModeOff || !KnownKind(criterion.kind)) continue;
    if (entry.byteCount == 0 && criterion.kind >= kKindFunctionCode) continue;
    // A single character has no address or ASDU, a fixed frame no ASDU: a
    // criterion on those lets them through instead of hiding them.
    if (criterion.kind > kKindFunctionCode && entry.control == ft12::kSingleCharacter) return true;
    if (criterion.kind > kKindLinkAddress && entry.frameKind == kFrameFixed) return true;
    passes = criterion.Accepts(ValueOf(criterion.kind, entry, firstSeqNo));
  }
  return passes;
}

}  // namespace

std::int32_t CriterionMaximum(std::uint32_t kind) {
  return KnownKind(kind) ? RowOf(kind).maximum : 0;
}

void Normalise(TLogFilter& filter) {
  filter.criterionCount = TLogFilter::kCriterionCount;
  for (std::size_t i = 0; i < TLogFilter::kCriterionCount; ++i) {
    filter.criteria[i].kind = static_cast<std::uint32_t>(kFirstCriterionKind + i);
  }
  if (!IsSet(filter.showValid) && !IsSet(filter.showFaulty)) {
    filter.showValid = 1;
    filter.showFaulty = 1;
  }
  if (filter.channels == 0) filter.channels = TLogFilter::kAllChannels;
  const bool anyCriterion =
      std::any_of(filter.criteria.begin(), filter.criteria.end(),
                  [](const TFilterCriterion& c) { return c.mode != kModeOff; });
  const bool restricting = IsSet(filter.timeFromActive) || IsSet(filter.timeToActive) ||
                           IsSet(filter.showValid) != IsSet(filter.showFaulty) ||
                           filter.channels != TLogFilter::kAllChannels || anyCriterion;
  filter.restricting = restricting ? 1 : 0;
}

TLogFilter NormalisedFilter() {
  TLogFilter filter;
  Normalise(filter);
  return filter;
}

void EnableWhenRestricting(TLogFilter& filter) {
  filter.enabled = filter.restricting != 0 ? 1 : 0;
}

bool ToggleEnabled(TLogFilter& filter) {
  if (filter.restricting == 0) return false;
  filter.enabled = IsSet(filter.enabled) ? 0 : 1;
  return true;
}

std::int64_t TelegramNumber(const TLogEntry& entry, std::uint32_t firstSeqNo) {
  // Modulo 2^32, as the numbers run on across the wrap.
  return std::int64_t{static_cast<std::uint32_t>(entry.seqNo - firstSeqNo)} + 1;
}

bool EvaluateFilter(const TLogFilter& filter, const TLogEntry& entry,
                    const FilterContext& context) {
  const TFilterCriterion& number = filter.criteria[0];
  if (number.mode != kModeOff && !number.Accepts(TelegramNumber(entry, context.firstSeqNo))) {
    return false;
  }
  if (IsSet(filter.timeFromActive) && entry.timeStamp < filter.timeFrom) return false;
  if (IsSet(filter.timeToActive) && entry.timeStamp > filter.timeTo) return false;
  if (!ChannelSelected(filter.channels, entry.channel)) return false;
  if (entry.frameKind == kFrameEvent) return true;
  const bool showValid = IsSet(filter.showValid), showFaulty = IsSet(filter.showFaulty);
  if (showValid && !showFaulty && !Valid(entry)) return false;
  if (showFaulty && !showValid && Valid(entry)) return false;
  // Without a recognisable shape there is nothing the criteria could test.
  if (entry.status <= status::kLastShapeError) return true;
  if (context.isDisplayFilter && !context.linkLayerShown && entry.frameKind == kFrameFixed) {
    return false;
  }
  return CriteriaPass(filter, entry, context.firstSeqNo);
}

bool PassesDisplayFilter(const TLogFilter& displayFilter, const TLogEntry& entry,
                         bool linkLayerShown, std::uint32_t firstSeqNo) {
  if (entry.length == 0) return false;
  if (IsSet(displayFilter.enabled)) {
    return EvaluateFilter(displayFilter, entry, {firstSeqNo, true, linkLayerShown});
  }
  return linkLayerShown || !Valid(entry) || entry.frameKind != kFrameFixed;
}

bool PassesLogFilter(const TLogFilter& logFilter, const TLogEntry& entry,
                     std::uint32_t firstSeqNo) {
  if (!IsSet(logFilter.enabled)) return true;
  return EvaluateFilter(logFilter, entry, {firstSeqNo, false, true});
}

EntryPredicate LogFilterPredicate(const TLogFilter& logFilter,
                                  std::function<std::uint32_t()> firstSeqNo) {
  return [&logFilter, firstSeqNo = std::move(firstSeqNo)](const TLogEntry& entry) {
    return PassesLogFilter(logFilter, entry, firstSeqNo());
  };
}

EntryPredicate DisplayFilterPredicate(const TLogFilter& displayFilter,
                                      std::function<bool()> linkLayerShown,
                                      std::function<std::uint32_t()> firstSeqNo) {
  return [&displayFilter, linkLayerShown = std::move(linkLayerShown),
          firstSeqNo = std::move(firstSeqNo)](const TLogEntry& entry) {
    return PassesDisplayFilter(displayFilter, entry, linkLayerShown(), firstSeqNo());
  };
}

EntryPredicate DisplayFilterPredicate(const TLogFilter& displayFilter, bool linkLayerShown,
                                      std::uint32_t firstSeqNo) {
  if (!IsSet(displayFilter.enabled) && linkLayerShown) return nullptr;
  return [&displayFilter, linkLayerShown, firstSeqNo](const TLogEntry& entry) {
    return PassesDisplayFilter(displayFilter, entry, linkLayerShown, firstSeqNo);
  };
}

std::optional<TLogFilter> ParseFilterFile(ConstBytes content) {
  if (content.size() != TLogFilter::kSize) return std::nullopt;
  if (GetU16(content, TLogFilter::Offsets::RecordSize) != TLogFilter::kSize) return std::nullopt;
  return TLogFilter::Decode(content);
}

bool ReadFilterFile(const std::string& path, TLogFilter& filter) {
  if (FileSize(path) != static_cast<std::int64_t>(TLogFilter::kSize)) return false;
  std::array<std::uint8_t, TLogFilter::kSize> buffer{};
  if (!ReadExactly(path, 0, buffer)) return false;
  const std::optional<TLogFilter> read = ParseFilterFile(buffer);
  if (!read) return false;
  filter = *read;
  return true;
}

bool WriteFilterFile(const std::string& path, const TLogFilter& filter) {
  TLogFilter copy = filter;
  copy.recordSize = TLogFilter::kSize;
  std::array<std::uint8_t, TLogFilter::kSize> buffer{};
  copy.Encode(buffer);
  return ReplaceFile(path, buffer);
}

}  // namespace kivo
