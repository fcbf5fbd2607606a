// Frames as hex strings and a started Instance with the English texts, for
// the codec tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "app/startup.h"
#include "link/frame_codec.h"
#include "record/frame_status.h"

namespace kivo::testing {

using Octets = std::vector<std::uint8_t>;

inline Octets Hex(const std::string& text) {
  Octets octets;
  std::istringstream in(text);
  std::string word;
  while (in >> word) octets.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return octets;
}

inline std::string ToHex(const Octets& octets) {
  std::string text;
  char buffer[4];
  for (std::uint8_t octet : octets) {
    std::snprintf(buffer, sizeof buffer, "%02X ", octet);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

// Writes the right checksum into a frame written with a placeholder, so that
// a test frame carries exactly the one defect it is about.
inline std::string RepairChecksum(const std::string& text) {
  Octets frame = Hex(text);
  const std::size_t first = frame[0] == 0x10 ? 1 : 4;
  unsigned sum = 0;
  for (std::size_t i = first; i + 2 < frame.size(); ++i) sum += frame[i];
  frame[frame.size() - 2] = static_cast<std::uint8_t>(sum);
  return ToHex(frame);
}

class FrameCodecTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
  PortRecord& port = instance.ports[0];

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    ASSERT_TRUE(ReloadTexts(instance, 1));  // English
  }

  void Listen(PortFunction function, std::vector<std::uint8_t> addresses = {1}) {
    port.params.function = function;
    port.params.addressCount = static_cast<std::uint32_t>(addresses.size());
    addresses.push_back(255);
    std::copy(addresses.begin(), addresses.end(), port.params.addresses.begin());
    port.ResetLinkState();
  }

  TLogEntry Received(const std::string& hex, const ReceiveConditions& conditions = {}) {
    TLogEntry entry;
    entry.SetFrame(Hex(hex));
    ValidateFrame(instance.frameRules, port, entry, conditions);
    return entry;
  }
  int Status(const std::string& hex, const ReceiveConditions& conditions = {}) {
    return Received(hex, conditions).status;
  }

  std::string Sent() const {
    const auto frame = port.transmitEntry.Frame();
    return ToHex(Octets(frame.begin(), frame.end()));
  }
};

}  // namespace kivo::testing
