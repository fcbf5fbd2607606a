// One field list per fixed-layout record serves both directions: a record's
// Fields(io, record) names each field once with its offset, and the writer or
// the reader walks it. Encoding and decoding can therefore never disagree.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "util/bytes.h"

namespace kivo {

struct RecordWriter {
  Bytes out;
  void U8(std::size_t at, std::uint8_t v) { PutU8(out, at, v); }
  void U16(std::size_t at, std::uint16_t v) { PutU16(out, at, v); }
  void I16(std::size_t at, std::int16_t v) { PutU16(out, at, static_cast<std::uint16_t>(v)); }
  void U32(std::size_t at, std::uint32_t v) { PutU32(out, at, v); }
  void I32(std::size_t at, std::int32_t v) { PutI32(out, at, v); }
  void F64(std::size_t at, double v) { PutF64(out, at, v); }
  template <typename E>
  void Enum32(std::size_t at, E v) {
    PutU32(out, at, static_cast<std::uint32_t>(v));
  }
  template <std::size_t N>
  void Raw(std::size_t at, const std::array<std::uint8_t, N>& v) {
    PutArray(out, at, v);
  }
  template <std::size_t N>
  void U16s(std::size_t at, const std::array<std::uint16_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) PutU16(out, at + 2 * i, v[i]);
  }
  template <typename R>
  void Record(std::size_t at, const R& r) {
    r.Encode(out.subspan(at, R::kSize));
  }
  template <typename R, std::size_t N>
  void Records(std::size_t at, const std::array<R, N>& v) {
    for (std::size_t i = 0; i < N; ++i) Record(at + i * R::kSize, v[i]);
  }
};

struct RecordReader {
  ConstBytes in;
  void U8(std::size_t at, std::uint8_t& v) { v = GetU8(in, at); }
  void U16(std::size_t at, std::uint16_t& v) { v = GetU16(in, at); }
  void I16(std::size_t at, std::int16_t& v) { v = static_cast<std::int16_t>(GetU16(in, at)); }
  void U32(std::size_t at, std::uint32_t& v) { v = GetU32(in, at); }
  void I32(std::size_t at, std::int32_t& v) { v = GetI32(in, at); }
  void F64(std::size_t at, double& v) { v = GetF64(in, at); }
  template <typename E>
  void Enum32(std::size_t at, E& v) {
    v = static_cast<E>(GetU32(in, at));
  }
  template <std::size_t N>
  void Raw(std::size_t at, std::array<std::uint8_t, N>& v) {
    GetArray(in, at, v);
  }
  template <std::size_t N>
  void U16s(std::size_t at, std::array<std::uint16_t, N>& v) {
    for (std::size_t i = 0; i < N; ++i) v[i] = GetU16(in, at + 2 * i);
  }
  template <typename R>
  void Record(std::size_t at, R& r) {
    r = R::Decode(in.subspan(at, R::kSize));
  }
  template <typename R, std::size_t N>
  void Records(std::size_t at, std::array<R, N>& v) {
    for (std::size_t i = 0; i < N; ++i) Record(at + i * R::kSize, v[i]);
  }
};

// Encode and Decode of a record type R that has a static Fields(io, record).
template <typename R>
void EncodeFields(const R& record, Bytes out) {
  RecordWriter writer{out};
  R::Fields(writer, record);
}
template <typename R>
R DecodeFields(ConstBytes in) {
  R record;
  RecordReader reader{in};
  R::Fields(reader, record);
  return record;
}

}  // namespace kivo
