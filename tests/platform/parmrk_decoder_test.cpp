#include "platform/posix/parmrk_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;

struct Decoded {
  Octets data;
  Octets marks;
};

Decoded DecodeBatches(ParmrkDecoder& decoder, const std::vector<Octets>& batches) {
  Decoded out;
  for (const Octets& batch : batches) decoder.Decode(batch, out.data, out.marks);
  return out;
}

constexpr std::uint8_t kBad = ParmrkDecoder::kBadOctet;
constexpr std::uint8_t kBreak = ParmrkDecoder::kBreakBefore;

TEST(ParmrkDecoder, DoubledFfIsOneRealFf) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0x68, 0xFF, 0xFF, 0xFF, 0xFF, 0x16}});
  EXPECT_EQ(out.data, (Octets{0x68, 0xFF, 0xFF, 0x16}));
  EXPECT_EQ(out.marks, (Octets{0, 0, 0, 0}));
}

TEST(ParmrkDecoder, BadOctetIsDeliveredAndMarked) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0x68, 0xFF, 0x00, 0x0C, 0x68}});
  EXPECT_EQ(out.data, (Octets{0x68, 0x0C, 0x68}));
  EXPECT_EQ(out.marks, (Octets{0, kBad, 0}));
}

TEST(ParmrkDecoder, BreakMarksTheNextOctet) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0x16, 0xFF, 0x00, 0x00, 0xE5}});
  EXPECT_EQ(out.data, (Octets{0x16, 0xE5}));
  EXPECT_EQ(out.marks, (Octets{0, kBreak}));
  EXPECT_FALSE(decoder.PendingBreak());
}

TEST(ParmrkDecoder, BreakAtTheEndIsHeldUntilTaken) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0x16, 0xFF, 0x00, 0x00}});
  EXPECT_EQ(out.data, Octets{0x16});
  EXPECT_TRUE(decoder.PendingBreak());
  EXPECT_TRUE(decoder.TakePendingBreak());
  EXPECT_FALSE(decoder.TakePendingBreak());
  out = DecodeBatches(decoder, {{0x10}});
  EXPECT_EQ(out.marks, Octets{0});
}

TEST(ParmrkDecoder, SequencesSplitAtEveryPointDecodeAsWhole) {
  const Octets stream{0x01, 0xFF, 0xFF, 0x02, 0xFF, 0x00, 0x03, 0xFF, 0x00, 0x00, 0x04, 0xFF, 0xFF};
  const Octets data{0x01, 0xFF, 0x02, 0x03, 0x04, 0xFF};
  const Octets marks{0, 0, 0, kBad, kBreak, 0};
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    for (std::size_t cut2 = cut; cut2 <= stream.size(); ++cut2) {
      ParmrkDecoder decoder;
      Decoded out =
          DecodeBatches(decoder, {Octets(stream.begin(), stream.begin() + static_cast<long>(cut)),
                                  Octets(stream.begin() + static_cast<long>(cut),
                                         stream.begin() + static_cast<long>(cut2)),
                                  Octets(stream.begin() + static_cast<long>(cut2), stream.end())});
      EXPECT_EQ(out.data, data) << "cut at " << cut << " and " << cut2;
      EXPECT_EQ(out.marks, marks) << "cut at " << cut << " and " << cut2;
    }
  }
}

TEST(ParmrkDecoder, EveryOctetInItsOwnBatch) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0xFF}, {0x00}, {0xFF}, {0x7E}, {0xFF}, {0xFF}});
  // A bad 0xFF comes as "\377 \0 \377".
  EXPECT_EQ(out.data, (Octets{0xFF, 0x7E, 0xFF}));
  EXPECT_EQ(out.marks, (Octets{kBad, 0, 0}));
}

TEST(ParmrkDecoder, LoneFfIsPassedOnWithWhatFollows) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0xFF, 0x41, 0x42}});
  EXPECT_EQ(out.data, (Octets{0xFF, 0x41, 0x42}));
  EXPECT_EQ(out.marks, (Octets{0, 0, 0}));
}

TEST(ParmrkDecoder, ResetDropsAHalfSequence) {
  ParmrkDecoder decoder;
  Decoded out = DecodeBatches(decoder, {{0xFF, 0x00}});
  decoder.Reset();
  out = DecodeBatches(decoder, {{0x00, 0x05}});
  EXPECT_EQ(out.data, (Octets{0x00, 0x05}));
  EXPECT_EQ(out.marks, (Octets{0, 0}));
}

}  // namespace
}  // namespace kivo

namespace kivo {
namespace {

TEST(MarkedStream, EachReadReportsTheErrorsOfItsOwnOctets) {
  MarkedStream stream;
  stream.Feed(std::vector<std::uint8_t>{0x10, 0xFF, 0x00, 0x49, 0x01});
  stream.Feed(std::vector<std::uint8_t>{0xFF, 0x00, 0x00, 0x4A, 0x16});
  std::uint8_t two[2];
  MarkedStream::Batch batch = stream.Take(two);
  EXPECT_EQ(batch.count, 2u);
  EXPECT_EQ(two[1], 0x49);
  EXPECT_TRUE(batch.badOctet);
  EXPECT_FALSE(batch.brk);
  batch = stream.Take(two);
  EXPECT_EQ(batch.count, 2u);
  EXPECT_EQ(two[0], 0x01);
  EXPECT_EQ(two[1], 0x4A);
  EXPECT_FALSE(batch.badOctet);
  EXPECT_TRUE(batch.brk);
  batch = stream.Take(two);
  EXPECT_EQ(batch.count, 1u);
  EXPECT_FALSE(batch.badOctet || batch.brk);
  EXPECT_EQ(stream.Pending(), 0u);
}

TEST(MarkedStream, BreakAfterTheLastOctetGoesWithTheReadThatEmptiesTheStream) {
  MarkedStream stream;
  stream.Feed(std::vector<std::uint8_t>{0x41, 0x42, 0xFF, 0x00, 0x00});
  std::uint8_t one[1];
  MarkedStream::Batch batch = stream.Take(one);
  EXPECT_FALSE(batch.brk);
  batch = stream.Take(one);
  EXPECT_EQ(batch.count, 1u);
  EXPECT_TRUE(batch.brk);
  stream.Feed(std::vector<std::uint8_t>{0xFF, 0x00});
  stream.Feed(std::vector<std::uint8_t>{0x00});
  batch = stream.Take(one);  // a break on its own: a batch of no octets
  EXPECT_EQ(batch.count, 0u);
  EXPECT_TRUE(batch.brk);
  EXPECT_FALSE(stream.Take(one).brk);
}

TEST(MarkedStream, ReaderThatNeverCatchesUpLosesNothing) {
  MarkedStream stream;
  std::vector<std::uint8_t> fed;
  std::vector<std::uint8_t> all;
  std::uint8_t buffer[2];
  for (int round = 0; round < 1000; ++round) {
    const auto x = static_cast<std::uint8_t>(round % 200);
    stream.Feed(std::vector<std::uint8_t>{x, 0x42, 0xFF, 0xFF});
    fed.insert(fed.end(), {x, 0x42, 0xFF});
    const MarkedStream::Batch batch = stream.Take(buffer);
    all.insert(all.end(), buffer, buffer + batch.count);
  }
  EXPECT_EQ(stream.Pending(), 1000u);
  while (std::size_t n = stream.Take(buffer).count) all.insert(all.end(), buffer, buffer + n);
  EXPECT_EQ(all, fed);
}

TEST(MarkedStream, ClearDropsOctetsAndHalfSequences) {
  MarkedStream stream;
  stream.Feed(std::vector<std::uint8_t>{0x41, 0xFF, 0x00});
  stream.Clear();
  stream.Feed(std::vector<std::uint8_t>{0x00});
  std::uint8_t buffer[4];
  const MarkedStream::Batch batch = stream.Take(buffer);
  EXPECT_EQ(batch.count, 1u);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_FALSE(batch.badOctet || batch.brk);
}

}  // namespace
}  // namespace kivo
