#include "record/log_entry.h"

#include <algorithm>
#include <cstring>

#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void TLogEntry::HeadFields(Io& io, Self& r) {
  using O = Offsets;
  io.U16(O::PrevLength, r.prevLength);
  io.U16(O::Length, r.length);
  io.U8(O::Status, r.status);
  io.U8(O::FrameKind, r.frameKind);
  io.U16(O::ByteCount, r.byteCount);
  io.F64(O::TimeStamp, r.timeStamp);
  io.U32(O::SeqNo, r.seqNo);
  io.U16(O::LinkAddress, r.linkAddress);
  io.Raw(O::Reserved22, r.reserved22);
  io.U8(O::Channel, r.channel);
  io.U8(O::Control, r.control);
  io.Raw(O::Reserved26, r.reserved26);
}

template <typename Io, typename Self>
void TLogEntry::Fields(Io& io, Self& r) {
  HeadFields(io, r);
  io.Raw(Offsets::Frame, r.frame);
}

void TLogEntry::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
TLogEntry TLogEntry::Decode(ConstBytes in) {
  return DecodeFields<TLogEntry>(in);
}
void TLogEntry::DecodeInto(ConstBytes in, TLogEntry& entry) {
  RecordReader reader{in};
  Fields(reader, entry);
}
void TLogEntry::DecodeHeadInto(ConstBytes in, TLogEntry& entry) {
  if constexpr (kLogEntryAsStored) {
    if (in.size() >= kHeadSize) {
      std::memcpy(static_cast<void*>(&entry), in.data(), kHeadSize);
      return;
    }
  }
  RecordReader reader{in};
  HeadFields(reader, entry);
}

void TLogEntry::SetFrame(std::span<const std::uint8_t> octets) {
  std::size_t n = std::min(octets.size(), kFrameCapacity);
  std::copy_n(octets.begin(), n, frame.begin());
  byteCount = static_cast<std::uint16_t>(n);
}

std::uint16_t TLogEntry::StoredLength() const {
  return static_cast<std::uint16_t>((byteCount + 32 + 1) & ~1u);
}

}  // namespace kivo
