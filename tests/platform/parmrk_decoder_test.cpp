#include "platform/posix/parmrk_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;

constexpr std::uint8_t kBad = ParmrkDecoder::kBadOctet;
constexpr std::uint8_t kBreak = ParmrkDecoder::kBreakBefore;

// The kernel's marks: "\377 \377" is one 0xFF, "\377 \0 x" a bad octet x, "\377 \0 \0" a break
// (held for the next octet); a lone 0xFF passes. Split anywhere, they decode as whole.
TEST(ParmrkDecoder, MarkedSequencesSplitAtEveryPointDecodeAsWhole) {
  const Octets stream{0x01, 0xFF, 0xFF, 0x02, 0xFF, 0x00, 0x03, 0xFF,
                      0x00, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0x41};
  const auto at = [&](std::size_t i) { return stream.begin() + static_cast<long>(i); };
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    for (std::size_t cut2 = cut; cut2 <= stream.size(); ++cut2) {
      ParmrkDecoder decoder;
      Octets data, marks;
      for (const Octets& batch :
           {Octets(at(0), at(cut)), Octets(at(cut), at(cut2)), Octets(at(cut2), stream.end())})
        decoder.Decode(batch, data, marks);
      EXPECT_EQ(data, (Octets{0x01, 0xFF, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0x41}))
          << cut << " " << cut2;
      EXPECT_EQ(marks, (Octets{0, 0, 0, kBad, kBreak, 0, 0, 0})) << cut << " " << cut2;
    }
  }
}

// Each read reports the errors of its own octets; a break after the last
// octet goes with the read that empties the stream, or alone in a batch of
// no octets.
TEST(MarkedStream, EachReadReportsTheErrorsOfItsOwnOctets) {
  const struct {
    Octets feed;
    std::size_t room;  // 0: no read
    Octets read;
    bool bad, brk;
  } steps[] = {{{0x10, 0xFF, 0x00, 0x49, 0x01}, 0, {}, false, false},
               {{0xFF, 0x00, 0x00, 0x4A, 0x16}, 2, {0x10, 0x49}, true, false},
               {{}, 2, {0x01, 0x4A}, false, true},
               {{}, 2, {0x16}, false, false},
               {{0x41, 0x42, 0xFF, 0x00, 0x00}, 1, {0x41}, false, false},
               {{}, 1, {0x42}, false, true},
               {{0xFF, 0x00}, 0, {}, false, false},
               {{0x00}, 1, {}, false, true},
               {{}, 1, {}, false, false}};
  MarkedStream stream;
  for (const auto& s : steps) {
    stream.Feed(s.feed);
    if (s.room == 0) continue;
    std::uint8_t buffer[2];
    const MarkedStream::Batch batch = stream.Take(std::span(buffer, s.room));
    EXPECT_EQ(Octets(buffer, buffer + batch.count), s.read);
    EXPECT_EQ(std::pair(batch.badOctet, batch.brk), std::pair(s.bad, s.brk)) << s.read.size();
  }
  stream.Feed(Octets{0x41, 0xFF, 0x00});
  stream.Clear();  // drops octets and half sequences
  stream.Feed(Octets{0x00});
  std::uint8_t buffer[4];
  const MarkedStream::Batch batch = stream.Take(buffer);
  EXPECT_TRUE(batch.count == 1u && buffer[0] == 0x00 && !batch.badOctet && !batch.brk);
}

}  // namespace
}  // namespace kivo
