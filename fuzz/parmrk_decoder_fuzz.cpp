// The decoder of marked line errors over arbitrary streams cut into batches.
// The first two octets of the input choose where the stream is cut; the rest
// is what the driver delivered. Whatever the cuts, the result must be that of
// decoding the whole stream at once, every octet must have its mark, and
// marking the decoded octets again and decoding that must give them back. The
// same stream fed into a MarkedStream and read in reads of random sizes gives
// the same octets, each read with the errors of its own octets.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/posix/parmrk_decoder.h"

namespace {

using kivo::ParmrkDecoder;
using Octets = std::vector<std::uint8_t>;

struct Decoded {
  Octets data;
  Octets marks;
  bool pendingBreak = false;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

Decoded DecodeInCuts(std::span<const std::uint8_t> stream, std::uint32_t seed) {
  ParmrkDecoder decoder;
  Decoded out;
  std::size_t at = 0;
  while (at < stream.size()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t size = std::min<std::size_t>((seed >> 16) % 6, stream.size() - at);
    const std::size_t before = out.data.size();
    decoder.Decode(stream.subspan(at, size), out.data, out.marks);
    Check(out.data.size() - before <= size + 1);
    Check(out.data.size() == out.marks.size());
    at += size;
  }
  out.pendingBreak = decoder.PendingBreak();
  return out;
}

// The stream a driver would deliver for these octets and marks.
Octets Mark(const Decoded& decoded) {
  Octets stream;
  for (std::size_t i = 0; i < decoded.data.size(); ++i) {
    const std::uint8_t octet = decoded.data[i];
    const std::uint8_t mark = decoded.marks[i];
    if (mark & ParmrkDecoder::kBreakBefore) stream.insert(stream.end(), {0xFF, 0x00, 0x00});
    if (mark & ParmrkDecoder::kBadOctet) {
      stream.insert(stream.end(), {0xFF, 0x00, octet});
    } else if (octet == 0xFF) {
      stream.insert(stream.end(), {0xFF, 0xFF});
    } else {
      stream.push_back(octet);
    }
  }
  if (decoded.pendingBreak) stream.insert(stream.end(), {0xFF, 0x00, 0x00});
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t seed = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
  const std::span<const std::uint8_t> stream(data + 2, size - 2);

  ParmrkDecoder single;
  Decoded once;
  single.Decode(stream, once.data, once.marks);
  once.pendingBreak = single.PendingBreak();

  const Decoded cut = DecodeInCuts(stream, seed);
  Check(cut.data == once.data);
  Check(cut.marks == once.marks);
  Check(cut.pendingBreak == once.pendingBreak);
  Check(once.data.size() <= stream.size());

  for (std::uint8_t mark : once.marks) {
    Check((mark & ~(ParmrkDecoder::kBadOctet | ParmrkDecoder::kBreakBefore)) == 0);
  }

  // Fed in cuts and read in reads of other sizes: the same octets, and each
  // read reports a bad octet exactly when it took one.
  kivo::MarkedStream buffered;
  Octets taken;
  std::uint32_t feedSeed = seed;
  std::uint32_t takeSeed = seed ^ 0x5A5Au;
  std::size_t at = 0;
  Octets out(8);
  while (at < stream.size() || buffered.Pending() > 0) {
    feedSeed = feedSeed * 1103515245u + 12345u;
    const std::size_t size = std::min<std::size_t>((feedSeed >> 16) % 9, stream.size() - at);
    buffered.Feed(stream.subspan(at, size));
    at += size;
    takeSeed = takeSeed * 1103515245u + 12345u;
    const std::size_t want = (takeSeed >> 16) % out.size();
    const kivo::MarkedStream::Batch batch = buffered.Take(std::span(out.data(), want));
    Check(batch.count <= want);
    bool bad = false;
    for (std::size_t i = 0; i < batch.count; ++i) {
      Check(taken.size() < once.data.size());
      bad = bad || (once.marks[taken.size()] & ParmrkDecoder::kBadOctet) != 0;
      taken.push_back(out[i]);
    }
    Check(batch.badOctet == bad);
  }
  Check(taken == once.data);

  ParmrkDecoder again;
  Decoded back;
  const Octets marked = Mark(once);
  again.Decode(marked, back.data, back.marks);
  back.pendingBreak = again.PendingBreak();
  Check(back.data == once.data);
  Check(back.marks == once.marks);
  Check(back.pendingBreak == once.pendingBreak);
  return 0;
}
