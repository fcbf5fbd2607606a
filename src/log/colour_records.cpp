#include "log/colour_records.h"

namespace kivo {

void TTelFont::Encode(Bytes out) const {
  using O = Offsets;
  PutI32(out, O::FontSize, fontSize);
  PutU32(out, O::Valid, valid);
  PutU32(out, O::LastControl, lastControl);
  PutI32(out, O::Spacing, spacing);
  for (std::size_t i = 0; i < pairs.size(); ++i) PutU16(out, O::Pairs + 2 * i, pairs[i]);
  PutArray(out, O::Reserved, reserved);
}

TTelFont TTelFont::Decode(ConstBytes in) {
  using O = Offsets;
  TTelFont f;
  f.fontSize = GetI32(in, O::FontSize);
  f.valid = GetU32(in, O::Valid);
  f.lastControl = GetU32(in, O::LastControl);
  f.spacing = GetI32(in, O::Spacing);
  for (std::size_t i = 0; i < f.pairs.size(); ++i) f.pairs[i] = GetU16(in, O::Pairs + 2 * i);
  GetArray(in, O::Reserved, f.reserved);
  return f;
}

void TValueColours::Encode(Bytes out) const {
  using O = Offsets;
  PutU32(out, O::LastControl, lastControl);
  PutU32(out, O::SelectedValue, selectedValue);
  for (std::size_t i = 0; i < pairs.size(); ++i) PutU16(out, O::Pairs + 2 * i, pairs[i]);
  PutU32(out, O::BlockSize, blockSize);
  PutArray(out, O::Reserved, reserved);
}

TValueColours TValueColours::Decode(ConstBytes in) {
  using O = Offsets;
  TValueColours c;
  c.lastControl = GetU32(in, O::LastControl);
  c.selectedValue = GetU32(in, O::SelectedValue);
  for (std::size_t i = 0; i < c.pairs.size(); ++i) c.pairs[i] = GetU16(in, O::Pairs + 2 * i);
  c.blockSize = GetU32(in, O::BlockSize);
  GetArray(in, O::Reserved, c.reserved);
  return c;
}

}  // namespace kivo
