#include "record/filter_record.h"

#include "util/record_io.h"

namespace kivo {

bool TFilterCriterion::Matches(std::int64_t v) const {
  switch (operatorCode) {
    case kOperatorEqual:
      return v == value1;
    case kOperatorEither:
      return v == value1 || v == value2;
    default:
      if (value1 <= value2) return value1 <= v && v <= value2;
      return v >= value1 || v <= value2;  // the range wraps
  }
}

bool TFilterCriterion::Accepts(std::int64_t v) const {
  return mode == kModeMustMatch ? Matches(v) : !Matches(v);
}

template <typename Io, typename Self>
void TFilterCriterion::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Kind, r.kind);
  io.U32(O::Mode, r.mode);
  io.I32(O::Value1, r.value1);
  io.U32(O::Operator, r.operatorCode);
  io.I32(O::Value2, r.value2);
}

void TFilterCriterion::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TFilterCriterion TFilterCriterion::Decode(ConstBytes in) {
  return DecodeFields<TFilterCriterion>(in);
}

template <typename Io, typename Self>
void TLogFilter::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U16(O::Restricting, r.restricting);
  io.U16(O::RecordSize, r.recordSize);
  io.U32(O::LastControl, r.lastControl);
  io.U32(O::Channels, r.channels);
  io.F64(O::TimeFrom, r.timeFrom);
  io.F64(O::TimeTo, r.timeTo);
  io.Raw(O::Reserved28, r.reserved28);
  io.I32(O::CriterionCount, r.criterionCount);
  for (std::size_t i = 0; i < kCriterionCount; ++i) {
    io.Record(O::Criteria + TFilterCriterion::kSize * i, r.criteria[i]);
  }
  io.Raw(O::Reserved216, r.reserved216);
  io.U8(O::Enabled, r.enabled);
  io.U8(O::TimeFromActive, r.timeFromActive);
  io.U8(O::TimeToActive, r.timeToActive);
  io.U8(O::ShowValid, r.showValid);
  io.U8(O::ShowFaulty, r.showFaulty);
  io.Raw(O::Reserved225, r.reserved225);
}

void TLogFilter::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TLogFilter TLogFilter::Decode(ConstBytes in) {
  return DecodeFields<TLogFilter>(in);
}

}  // namespace kivo
