#include "link/checksum.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

TEST(Checksum, IsTheOctetSumModulo256) {
  // Fixed frame 10 49 01 4A 16: the checksum covers control and address.
  EXPECT_EQ(Checksum(std::vector<std::uint8_t>{0x49, 0x01}), 0x4A);
  EXPECT_EQ(Checksum(std::vector<std::uint8_t>{0xFF, 0xFF, 0x03}), 0x01);
  EXPECT_EQ(Checksum(std::vector<std::uint8_t>{}), 0x00);
  std::vector<std::uint8_t> many(1000, 0xFF);
  EXPECT_EQ(Checksum(many), static_cast<std::uint8_t>(1000 * 0xFF));
}

}  // namespace
}  // namespace kivo
