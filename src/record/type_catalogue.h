// The type identifications the program knows: element lengths, the
// several-elements flag, the known-type list and the ASDU rules built on them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kivo {

inline constexpr int kCatalogueSize = 130;
inline constexpr std::uint16_t kTypeKnown = 0x8000;
inline constexpr std::uint16_t kTypeSeveral = 0x2000;
inline constexpr std::uint16_t kTypeLengthMask = 0x00FF;

// Entry per TYP 0..129: bit 15 known, bit 13 several elements, bits 0-7 the
// element length (TYP 29 and 30: the fixed part before the repeated items).
namespace catalogue {
constexpr std::array<std::uint16_t, kCatalogueSize> MakeCatalogue() {
  std::array<std::uint16_t, kCatalogueSize> c{};
  c[1] = 0x8006;
  c[2] = 0x800A;
  c[3] = 0xA002;
  c[4] = 0x800C;
  c[5] = 0x800D;
  c[6] = 0x8007;
  c[7] = 0x8001;
  c[8] = 0x8001;
  c[9] = 0xA002;
  c[10] = 0x8002;
  c[11] = 0x8004;
  c[20] = 0x8002;
  c[21] = 0x8002;
  c[23] = 0xA00A;
  c[24] = 0x8005;
  c[25] = 0x8005;
  c[26] = 0x800F;
  c[27] = 0x8011;
  c[28] = 0x8004;
  c[29] = 0x8005;
  c[30] = 0x8008;
  c[31] = 0x8005;
  c[128] = 0x8000;
  c[129] = 0x8000;
  return c;
}
}  // namespace catalogue
inline constexpr std::array<std::uint16_t, kCatalogueSize> kTypeCatalogue =
    catalogue::MakeCatalogue();

constexpr std::uint16_t CatalogueEntry(int typ) {
  return typ >= 0 && typ < kCatalogueSize ? kTypeCatalogue[static_cast<std::size_t>(typ)] : 0;
}
// Known for decoding: bit 15 set and TYP <= 127.
bool KnownForDecoding(int typ);
int ElementLength(int typ);
bool SeveralElements(int typ);

// The ASDU rules of a received variable frame (`frame` from its start
// character, F = frame.size()).
bool VsqAdmissible(int typ, std::uint8_t vsq);
// TYP 10, 11 and 21 need F >= 16; TYP 29 and 30 count their repeated items;
// the others need F - 2 = 12 + n x element length.
bool LengthFits(int typ, std::span<const std::uint8_t> frame);

// The known types in ascending TYP order, numbered from 1 (the type index).
class KnownTypeList {
 public:
  KnownTypeList() { Build(); }
  void Build();
  int Count() const { return count_; }
  // 0 when the index is outside 1..Count().
  int TypeOf(int typeIndex) const;
  // 0 when the type is not known.
  int IndexOf(int typ) const;

 private:
  std::array<std::uint8_t, kCatalogueSize> types_{};
  std::array<std::uint8_t, 256> indexOf_{};
  int count_ = 0;
};

}  // namespace kivo
