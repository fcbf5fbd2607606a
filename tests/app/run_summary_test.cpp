// The summary of a run: requests and answers paired per address, time-outs
// and repetitions, links, faulty frames, and the verdicts of --fail-on.
#include "app/run_summary.h"

#include <gtest/gtest.h>

#include "record/frame_status.h"

namespace kivo {
namespace {

constexpr double kMs = 1.0 / 86'400'000.0;

TLogEntry Frame(std::uint8_t channel, std::vector<std::uint8_t> octets, double ms,
                std::uint8_t status = 40) {
  TLogEntry e;
  e.channel = channel;
  e.status = status;
  e.timeStamp = 46'000.0 + ms * kMs;
  e.SetFrame(octets);
  e.frameKind = octets[0] == 0x68 ? kFrameVariable : kFrameFixed;
  e.control = octets[0] == 0xE5 ? 0xE5 : octets[1];
  e.linkAddress = octets[0] == 0xE5 ? 0 : octets[2];
  return e;
}

TLogEntry Event(std::uint8_t channel, std::uint8_t code, std::uint16_t address) {
  TLogEntry e;
  e.channel = channel;
  e.frameKind = kFrameEvent;
  e.status = code;
  e.linkAddress = address;
  return e;
}

TEST(RunSummary, RequestsAnswersTimeOutsAndVerdicts) {
  RunSummary s;
  s.SetPrimaryAddresses(0, {1, 2, 3});
  const std::vector<std::uint8_t> poll1{0x10, 0x5B, 0x01, 0x5C, 0x16};
  const std::vector<std::uint8_t> poll2{0x10, 0x5B, 0x02, 0x5D, 0x16};
  s.Take(Event(1, event::kLinkEstablished, 1));
  s.Take(Event(1, event::kLinkEstablished, 2));
  s.Take(Frame(2, poll1, 0));
  s.Take(Frame(1, {0x10, 0x09, 0x01, 0x0A, 0x16}, 6));  // answered after 6 ms
  s.Take(Frame(2, poll2, 10));
  s.Take(Frame(2, poll2, 110));   // no answer: the same request again
  s.Take(Frame(1, {0xE5}, 112));  // answered by the single character
  s.Take(Frame(2, poll1, 120));
  s.Take(Frame(1, {0x10, 0x09, 0x01, 0x0B, 0x16}, 124, status::kChecksumError));
  s.Take(Event(1, event::kLinkLost, 1));

  const RunSummary::Address* one = s.AddressOf(0, 1);
  const RunSummary::Address* two = s.AddressOf(0, 2);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(std::tuple(one->requests, one->answered, one->unanswered, one->linksLost),
            std::tuple(2, 2, 0, 1));
  EXPECT_EQ(std::tuple(two->requests, two->answered, two->unanswered, two->repetitions),
            std::tuple(2, 1, 1, 1));
  ASSERT_EQ(two->answerMs.size(), 1u);
  EXPECT_NEAR(two->answerMs[0], 2.0, 0.01);
  EXPECT_NEAR(one->answerMs[0], 6.0, 0.01);
  EXPECT_EQ(s.ChannelOf(1).byStatus.at(status::kChecksumError), 1u);
  EXPECT_EQ(s.ChannelOf(2).frames, 4u);

  std::string what;
  EXPECT_TRUE(s.Happened(RunSummary::Failure::Faulty, what));
  EXPECT_EQ(what, "port 1 received 1 faulty frames of status 9");
  EXPECT_TRUE(s.Happened(RunSummary::Failure::NoLink, what));
  EXPECT_EQ(what, "port 1 never established the link of address 3");
  EXPECT_TRUE(s.Happened(RunSummary::Failure::Unanswered, what));
  EXPECT_EQ(what, "port 1 address 2: requests unanswered 1 times");
  EXPECT_TRUE(s.Happened(RunSummary::Failure::LostLink, what));
  EXPECT_NE(
      s.Json().find("{\"address\": 2, \"linksEstablished\": 1, \"linksLost\": 0, "
                    "\"requests\": 2, \"answered\": 1, \"unanswered\": 1, \"repetitions\": 1"),
      std::string::npos)
      << s.Json();

  // A quiet, correct run has none of them.
  RunSummary quiet;
  for (auto failure : {RunSummary::Failure::Faulty, RunSummary::Failure::NoLink,
                       RunSummary::Failure::Unanswered, RunSummary::Failure::LostLink}) {
    EXPECT_FALSE(quiet.Happened(failure, what));
  }
}

}  // namespace
}  // namespace kivo
