#include "app/log_stats.h"

#include <gtest/gtest.h>

#include "log/log_store_fixture.h"
#include "record/frame_status.h"

namespace kivo {
namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr double kStart = 46'000.0;  // a day number; times below are ms after it

class LogStatsTest : public ::testing::Test {
 protected:
  testing::StoreRig rig;

  void SetUp() override {
    // 8E1 is 11 bits an octet: at 11000 Bd one octet takes 1 ms.
    rig.port1.baud = 11000;
    ASSERT_TRUE(rig.store.CreateLog(rig.Path()));
  }
  void Add(TLogEntry e, double ms) {
    e.timeStamp = kStart + ms / kMsPerDay;
    ASSERT_TRUE(rig.store.AppendCopy(e));
  }
  void Event(std::uint8_t what, double ms) {
    TLogEntry e;
    e.frameKind = kFrameEvent;
    e.status = what;
    e.channel = 2;
    e.linkAddress = 5;
    Add(e, ms);
  }
};

// A primary on port 1 polls address 5 every 100 ms: one class 1 poll, then
// class 2 polls with the frame count bit toggling. The i-th answer starts
// i+1 ms after the 5-octet poll has gone out (5 ms at this line setting)
// and is stamped when its last octet is in; the first answer is a frame of
// type 5 (15 octets), the others are 5 octets long. The eleventh poll goes unanswered
// and is repeated, then the link is lost.
TEST_F(LogStatsTest, CountsAndAnswerTimesOfALogInEveryForm) {
  Event(event::kLinkEstablished, 0);
  for (int i = 0; i < 12; ++i) {
    const std::string control = i == 0 ? "5A" : i >= 10 || i % 2 ? "7B" : "5B";
    Add(testing::Frame("10 " + control + " 05 00 16", 40, 2), i * 100.0);
    if (i >= 10) continue;
    const TLogEntry answer =
        i == 0 ? testing::Frame("68 09 09 68 08 05 05 81 04 05 03 00 00 00 16", 40, 1)
               : testing::Frame("10 08 05 0D 16", 40, 1);
    Add(answer, i * 100.0 + 5 + (i + 1) + answer.byteCount);
  }
  Event(event::kLinkLost, 1200);
  ASSERT_TRUE(rig.store.FlushLog());

  const LogStats stats = ReadLogStats(rig.store);
  EXPECT_EQ(stats.entries, 24u);
  EXPECT_EQ(stats.damagedPages, 0u);
  const std::string json = stats.Json();
  EXPECT_NE(json.find("{\"port\": 1, \"address\": 5, \"requests\": 12, \"answered\": 10, "
                      "\"unanswered\": 1, \"repetitions\": 1, \"linksEstablished\": 1, "
                      "\"linksLost\": 1, \"class1Polls\": 1, \"class2Polls\": 11, "
                      "\"pollCycleMs\": 100.0, \"answerMs\": {\"p50\": 5.0, \"p90\": 9.0, "
                      "\"p99\": 10.0, \"max\": 10.0}, \"byType\": {\"5\": 1}, "
                      "\"byStatus\": {\"40\": 22}}"),
            std::string::npos)
      << json;
  EXPECT_EQ(stats.Csv().substr(stats.Csv().find('\n') + 1),
            "1;5;12;10;1;1;1;1;1;11;100.0;5.0;9.0;10.0;10.0;5:1;40:22\n");
  const std::string text = stats.Text();
  for (const char* line :
       {"port 1 address 5\n", "requests 12, answered 10, unanswered 1, repetitions 1\n",
        "links established 1, lost 1\n", "polls class 1 1, class 2 11, cycle 100.0 ms\n",
        "answer time ms: p50 5.0, p90 9.0, p99 10.0, max 10.0\n", "type identification: 5 x1\n",
        "frame status: 40 x22\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  // One chart for the one address, its ten answers in bars.
  const std::string svg = stats.Svg();
  EXPECT_NE(svg.find("Port 1, address 5: 10 answers"), std::string::npos);
  EXPECT_EQ(svg.find("Port 2"), std::string::npos);
}

}  // namespace
}  // namespace kivo
