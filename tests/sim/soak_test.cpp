// A night on a noisy line, in virtual time: 100,000 poll cycles of a primary
// and a secondary with three addresses, 1 % of the octets corrupted, lost or
// duplicated and now and then a break of up to 3 s, then a quiet line.
#include <gtest/gtest.h>

#include <cstdint>

#include "sim/soak_run.h"

namespace kivo {
namespace {

constexpr std::int64_t kHeapGrowthLimit = 256 * 1024;

// The sanitizers bring their own allocator, which malloc's statistics do not see.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapVisible = false;
#elif defined(__has_feature)
constexpr bool kHeapVisible = !__has_feature(address_sanitizer);
#else
constexpr bool kHeapVisible = true;
#endif

TEST(Soak, NoisyLineLosesNothingInTheLogsAndEveryLinkComesBackWhenTheNoiseStops) {
  soak::Run run(soak::Options{});
  ASSERT_TRUE(run.Start());
  const soak::Report r = run.Soak();

  // The noise was there and hurt: every kind of fault, damaged frames at both
  // ends, links lost.
  for (const SimulatedLine::Counts& line : r.line) {
    EXPECT_GT(line.corrupted, 0u);
    EXPECT_GT(line.lost, 0u);
    EXPECT_GT(line.duplicated, 0u);
    EXPECT_GT(line.breaks, 0u);
  }
  EXPECT_GT(r.direction[0].damagedReceived, 0u);
  EXPECT_GT(r.direction[1].damagedReceived, 0u);
  EXPECT_GT(r.linksLost, 0u);

  EXPECT_EQ(r.downAtNoiseEnd, 3);
  EXPECT_TRUE(r.recovered) << "not every link was up " << r.recoveryBoundTicks
                           << " ticks after the noise";
  EXPECT_EQ(r.quietLosses, 0u);
  EXPECT_EQ(r.quietRepetitions, 0u);
  EXPECT_EQ(r.quietDamaged, 0u);
  EXPECT_GT(r.quietPolls, 1000u) << "the polls go on";

  // Every block a port wrote is a sent entry of its station, and every octet
  // the other port read stands, in order, in a received entry there.
  for (std::size_t d = 0; d < 2; ++d) {
    const soak::Direction& dir = r.direction[d];
    SCOPED_TRACE(d == 0 ? "primary to secondary" : "secondary to primary");
    EXPECT_EQ(dir.framesWritten, r.line[d].writes);
    EXPECT_EQ(dir.framesLoggedSent, dir.framesWritten);
    EXPECT_EQ(dir.sentMismatches, 0u);
    EXPECT_EQ(dir.octetsRead, r.line[d].sent);
    EXPECT_EQ(dir.octetsLogged, dir.octetsRead);
    EXPECT_EQ(dir.receivedMismatches, 0u);
    EXPECT_LE(dir.maxUnlogged, 2u * TLogEntry::kMaxByteCount);
  }

  // Each log read back from its file holds every entry appended, and its
  // counters agree with the entries.
  for (const soak::LogAccount& log : r.log) {
    EXPECT_EQ(log.readBack, log.stored);
    EXPECT_EQ(log.readBackHash, log.storedHash);
    EXPECT_EQ(log.seqGaps, 0u);
    EXPECT_LT(log.longestStampStepMs, 10'000) << "the time stamps jumped";
    for (std::size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(log.counters[c].telegrams, log.counted[c].telegrams) << "channel " << c + 1;
      EXPECT_EQ(log.counters[c].errors, log.counted[c].errors) << "channel " << c + 1;
    }
  }

  EXPECT_EQ(r.pendingTimers, 0u) << "offline, no timer of the engine or the line is left";
  if (!kHeapVisible) return;
  EXPECT_NE(r.heapAtFirstTenth, 0u);
  EXPECT_LT(
      static_cast<std::int64_t>(r.heapAtLastTenth) - static_cast<std::int64_t>(r.heapAtFirstTenth),
      kHeapGrowthLimit);
}

}  // namespace
}  // namespace kivo
