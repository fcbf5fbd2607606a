// Little-endian field access over fixed-layout records. Every record of the
// program's files and frames is encoded and decoded through these helpers with
// named offsets; the callers guarantee that offset + width lies inside the span.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace kivo {

using Bytes = std::span<std::uint8_t>;
using ConstBytes = std::span<const std::uint8_t>;

// An unsigned integer of sizeof(U) octets, least significant first.
template <typename U>
inline U LoadLittle(ConstBytes b, std::size_t at) {
  U v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, b.data() + at, sizeof v);
  } else {
    for (std::size_t i = sizeof v; i-- > 0;) v = static_cast<U>((v << 8) | b[at + i]);
  }
  return v;
}
template <typename U>
inline void StoreLittle(Bytes b, std::size_t at, U v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(b.data() + at, &v, sizeof v);
  } else {
    for (std::size_t i = 0; i < sizeof v; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

inline std::uint8_t GetU8(ConstBytes b, std::size_t at) {
  return b[at];
}
inline std::uint16_t GetU16(ConstBytes b, std::size_t at) {
  return LoadLittle<std::uint16_t>(b, at);
}
inline std::uint32_t GetU32(ConstBytes b, std::size_t at) {
  return LoadLittle<std::uint32_t>(b, at);
}
inline std::int32_t GetI32(ConstBytes b, std::size_t at) {
  return static_cast<std::int32_t>(GetU32(b, at));
}
inline double GetF64(ConstBytes b, std::size_t at) {
  const std::uint64_t bits = LoadLittle<std::uint64_t>(b, at);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutU8(Bytes b, std::size_t at, std::uint8_t v) {
  b[at] = v;
}
inline void PutU16(Bytes b, std::size_t at, std::uint16_t v) {
  StoreLittle(b, at, v);
}
inline void PutU32(Bytes b, std::size_t at, std::uint32_t v) {
  StoreLittle(b, at, v);
}
inline void PutI32(Bytes b, std::size_t at, std::int32_t v) {
  PutU32(b, at, static_cast<std::uint32_t>(v));
}
inline void PutF64(Bytes b, std::size_t at, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  StoreLittle(b, at, bits);
}

template <std::size_t N>
void GetArray(ConstBytes b, std::size_t at, std::array<std::uint8_t, N>& out) {
  std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(at), N, out.begin());
}
template <std::size_t N>
void PutArray(Bytes b, std::size_t at, const std::array<std::uint8_t, N>& in) {
  std::copy(in.begin(), in.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// A length-prefixed string field of `fieldSize` octets: one length octet and up
// to fieldSize - 1 characters. A stored length beyond the field is cut to it.
inline std::string GetPString(ConstBytes b, std::size_t at, std::size_t fieldSize) {
  std::size_t len = std::min<std::size_t>(b[at], fieldSize - 1);
  return std::string(reinterpret_cast<const char*>(b.data() + at + 1), len);
}
// Writes the string cut to the field; the octets after it are zeroed.
inline void PutPString(Bytes b, std::size_t at, std::size_t fieldSize, std::string_view s) {
  std::size_t len = std::min<std::size_t>({s.size(), fieldSize - 1, 255});
  b[at] = static_cast<std::uint8_t>(len);
  std::memcpy(b.data() + at + 1, s.data(), len);
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(at + 1 + len),
            b.begin() + static_cast<std::ptrdiff_t>(at + fieldSize), std::uint8_t{0});
}

}  // namespace kivo

namespace kivo {

// A length-prefixed string field kept as its raw octets, so that whatever a file
// held after the string survives a read and a write unchanged.
template <std::size_t N>
struct PStringField {
  std::array<std::uint8_t, N> raw{};

  std::string Get() const { return GetPString(ConstBytes(raw), 0, N); }
  void Set(std::string_view s) { PutPString(Bytes(raw), 0, N, s); }
  bool operator==(const PStringField&) const = default;
};

// Copies n octets, from sizeof(Word) to twice as many, as two words that
// may overlap.
template <typename Word>
inline void CopyTwoWords(void* to, const void* from, std::size_t n) {
  const auto* in = static_cast<const char*>(from);
  auto* out = static_cast<char*>(to);
  Word head, tail;
  std::memcpy(&head, in, sizeof head);
  std::memcpy(&tail, in + n - sizeof tail, sizeof tail);
  std::memcpy(out, &head, sizeof head);
  std::memcpy(out + n - sizeof tail, &tail, sizeof tail);
}

// Copies a few octets (a changing text, a frame) by words that may overlap:
// a call of memcpy, or the string instruction a compiler puts in for a copy
// of unknown length, costs more to start than such a copy takes.
inline void CopyShort(void* to, const void* from, std::size_t n) {
  struct Octets16 {
    std::uint64_t low, high;
  };
  if (n >= 8 && n <= 16) {
    CopyTwoWords<std::uint64_t>(to, from, n);
  } else if (n >= 4 && n < 8) {
    CopyTwoWords<std::uint32_t>(to, from, n);
  } else if (n >= 2 && n < 4) {
    CopyTwoWords<std::uint16_t>(to, from, n);
  } else if (n == 1) {
    *static_cast<char*>(to) = *static_cast<const char*>(from);
  } else if (n > 16 && n <= 32) {
    CopyTwoWords<Octets16>(to, from, n);
  } else if (n != 0) {
    std::memcpy(to, from, n);
  }
}

}  // namespace kivo
