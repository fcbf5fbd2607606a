// A recorded disturbance of FAN 12 from address 5 (common address 5, FUN
// 0x80) and the ASDUs of its transfer, written in hex.
#pragma once

#include <cstdio>
#include <string>

#include "send/disturbance.h"
#include "util/hex.h"

namespace kivo::testing {

constexpr std::uint8_t kDevice = 5;

inline std::string Format(const char* pattern, int a, int b = 0, int c = 0, int d = 0) {
  char text[80];
  std::snprintf(text, sizeof text, pattern, a, b, c, d);
  return text;
}
// Orders, acknowledgements and ends: TYP VSQ COT CA FUN INF TOO TOV FAN ACC.
inline std::string Order(int type, int too, int acc = 0, int fan = 12) {
  return Format("%02X 81 1F 05 80 00 %02X 01 %02X 00 %02X", type, too, fan, acc);
}
// What the device sends: ready for data, for tags, the tags.
inline const std::string kReadyForData =
    "1A 81 1F 05 80 00 00 01 0C 00 03 00 02 04 00 E8 03 10 27 2D 0E";
inline const std::string kReadyForTags = "1C 81 1F 05 80 00 00 00 0C 00";
inline const std::string kTags = "1D 81 1F 05 80 00 0C 00 01 02 00 80 40 02";

// A disturbance file as a recording primary leaves it: header, 26, 28, 29,
// end of tags, per channel 27, 30 and end of channel, end of data.
struct RecordedFile {
  Octets bytes = Octets(DisturbanceHeader::kSize, 0);
  DisturbanceHeader header;

  explicit RecordedFile(int channels = 2) {
    for (const std::string& asdu : {kReadyForData, kReadyForTags, kTags, Order(31, 38)}) Add(asdu);
    for (int c = 1; c <= channels; ++c) {
      header.channelStart[c - 1u] = static_cast<std::uint32_t>(bytes.size());
      Add(Format("1B 81 1F 05 80 00 00 01 0C 00 %02X 00 00 80 3F 00 00 80 3F 00 00 C8 42", c));
      Add(Format("1E 81 1F 05 80 00 00 01 0C 00 %02X 02 00 00 10 00 F0 FF", c));
      Add(Order(31, 35, c));
    }
    Add(Order(31, 32));
    header.fileEnd = static_cast<std::uint32_t>(bytes.size());
    header.linkAddress = header.commonAddress = kDevice;
    header.listEntry = {12, 0, 0x01, 0x10, 0x27, 0x2D, 0x0E, 6, 12, 26};
    header.readyForData = {1, 12, 0, 3, 0, 2, 4, 0, 0xE8, 3};
    Seal();
  }
  void Add(const std::string& hex) {
    const Octets asdu = Hex(hex);
    bytes.push_back(static_cast<std::uint8_t>(asdu.size()));
    bytes.insert(bytes.end(), asdu.begin(), asdu.end());
  }
  void Seal() { header.Encode(std::span<std::uint8_t>(bytes.data(), DisturbanceHeader::kSize)); }
  std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

}  // namespace kivo::testing
