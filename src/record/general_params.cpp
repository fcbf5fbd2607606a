#include "record/general_params.h"

#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void GeneralParams::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Size, r.size);
  io.U32(O::FocusIndex, r.focusIndex);
  io.U32(O::SeparateCommonAddress, r.separateCommonAddress);
  io.Raw(O::Other12, r.other12);
  io.U32(O::DisturbanceTimeout, r.disturbanceTimeout);
  io.U32(O::AutoOrderDisturbance, r.autoOrderDisturbance);
  io.Raw(O::Other84, r.other84);
  io.U32(O::LogSize, r.logSize);
  io.U32(O::Measurand100, r.measurand100);
  io.Record(O::DisplayFilter, r.displayFilter);
  io.Record(O::LogFilter, r.logFilter);
  io.U8(O::SummerTime, r.summerTime);
  io.Raw(O::Other577, r.other577);
}

void GeneralParams::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
GeneralParams GeneralParams::Decode(ConstBytes in) {
  return DecodeFields<GeneralParams>(in);
}

}  // namespace kivo
