#include "record/type_catalogue.h"

#include "record/ft12.h"

namespace kivo {

namespace {

// Octets of the frame head before the elements: 68h, L, L, 68h, control,
// address, TYP, VSQ, COT, ADR, FUN, INF.
constexpr std::size_t kHeadOctets = ft12::at::kElements;
constexpr std::size_t kShortestUndecodedFrame = 16;
constexpr std::size_t kTyp29NotOctet = ft12::at::kElements + 2;  // after FAN
constexpr std::size_t kTyp30NdvOctet = ft12::at::kElements + 5;  // after TOV, FAN and ACC

}  // namespace

bool KnownForDecoding(int typ) {
  return typ <= 127 && (CatalogueEntry(typ) & kTypeKnown) != 0;
}

int ElementLength(int typ) {
  return CatalogueEntry(typ) & kTypeLengthMask;
}

bool SeveralElements(int typ) {
  return (CatalogueEntry(typ) & kTypeSeveral) != 0;
}

bool VsqAdmissible(int typ, std::uint8_t vsq) {
  const int n = vsq & 0x7F;
  const bool sq = (vsq & 0x80) != 0;
  if (n == 0 && typ != 23) return false;
  if (sq && n != 1) return false;
  if (!SeveralElements(typ) && (n > 1 || !sq)) return false;
  return true;
}

bool LengthFits(int typ, std::span<const std::uint8_t> frame) {
  const std::size_t f = frame.size();
  if (typ == 10 || typ == 11 || typ == 21) return f >= kShortestUndecodedFrame;
  if (f < kHeadOctets + ft12::kTrailer) return false;
  const std::size_t body = f - ft12::kTrailer;
  const int length = ElementLength(typ);
  if (typ == 29) {
    if (f <= kTyp29NotOctet) return false;
    return body == kHeadOctets + static_cast<std::size_t>(length) + 3u * frame[kTyp29NotOctet];
  }
  if (typ == 30) {
    if (f <= kTyp30NdvOctet) return false;
    return body == kHeadOctets + static_cast<std::size_t>(length) + 2u * frame[kTyp30NdvOctet];
  }
  const std::size_t n = f > 7 ? (frame[7] & 0x7F) : 0;
  return body == kHeadOctets + n * static_cast<std::size_t>(length);
}

void KnownTypeList::Build() {
  count_ = 0;
  indexOf_.fill(0);
  for (int typ = 0; typ < kCatalogueSize; ++typ) {
    if (CatalogueEntry(typ) & kTypeKnown) {
      types_[static_cast<std::size_t>(count_)] = static_cast<std::uint8_t>(typ);
      indexOf_[static_cast<std::size_t>(typ)] = static_cast<std::uint8_t>(++count_);
    }
  }
}

int KnownTypeList::TypeOf(int typeIndex) const {
  if (typeIndex < 1 || typeIndex > count_) return 0;
  return types_[static_cast<std::size_t>(typeIndex - 1)];
}

int KnownTypeList::IndexOf(int typ) const {
  return typ >= 0 && typ < 256 ? indexOf_[static_cast<std::size_t>(typ)] : 0;
}

}  // namespace kivo
