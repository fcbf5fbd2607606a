#include "app/general_params.h"

namespace kivo {

void GeneralParams::Encode(Bytes out) const {
  using O = Offsets;
  PutU32(out, O::Size, size);
  PutU32(out, O::FocusIndex, focusIndex);
  PutU32(out, O::SeparateCommonAddress, separateCommonAddress);
  PutArray(out, O::Other12, other12);
  PutU32(out, O::DisturbanceTimeout, disturbanceTimeout);
  PutU32(out, O::AutoOrderDisturbance, autoOrderDisturbance);
  PutArray(out, O::Other84, other84);
  PutU32(out, O::LogSize, logSize);
  PutU32(out, O::Measurand100, measurand100);
  PutArray(out, O::DisplayFilter, displayFilter);
  PutArray(out, O::LogFilter, logFilter);
  PutU8(out, O::SummerTime, summerTime);
  PutArray(out, O::Other577, other577);
}

GeneralParams GeneralParams::Decode(ConstBytes in) {
  using O = Offsets;
  GeneralParams g;
  g.size = GetU32(in, O::Size);
  g.focusIndex = GetU32(in, O::FocusIndex);
  g.separateCommonAddress = GetU32(in, O::SeparateCommonAddress);
  GetArray(in, O::Other12, g.other12);
  g.disturbanceTimeout = GetU32(in, O::DisturbanceTimeout);
  g.autoOrderDisturbance = GetU32(in, O::AutoOrderDisturbance);
  GetArray(in, O::Other84, g.other84);
  g.logSize = GetU32(in, O::LogSize);
  g.measurand100 = GetU32(in, O::Measurand100);
  GetArray(in, O::DisplayFilter, g.displayFilter);
  GetArray(in, O::LogFilter, g.logFilter);
  g.summerTime = GetU8(in, O::SummerTime);
  GetArray(in, O::Other577, g.other577);
  return g;
}

}  // namespace kivo
