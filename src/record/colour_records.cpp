#include "record/colour_records.h"

#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void TTelFont::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.I32(O::FontSize, r.fontSize);
  io.U32(O::Valid, r.valid);
  io.U32(O::LastControl, r.lastControl);
  io.I32(O::Spacing, r.spacing);
  io.U16s(O::Pairs, r.pairs);
  io.Raw(O::Reserved, r.reserved);
}

void TTelFont::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TTelFont TTelFont::Decode(ConstBytes in) {
  return DecodeFields<TTelFont>(in);
}

template <typename Io, typename Self>
void TValueColours::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::LastControl, r.lastControl);
  io.U32(O::SelectedValue, r.selectedValue);
  io.U16s(O::Pairs, r.pairs);
  io.U32(O::BlockSize, r.blockSize);
  io.Raw(O::Reserved, r.reserved);
}

void TValueColours::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TValueColours TValueColours::Decode(ConstBytes in) {
  return DecodeFields<TValueColours>(in);
}

}  // namespace kivo
