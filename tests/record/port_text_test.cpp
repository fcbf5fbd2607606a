// The port block as text: every setting against the field it writes and its
// limits, the line form, and text printed from a block reading back into it.
#include "record/port_text.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

struct Case {
  const char* setting;  // NAME=VALUE
  std::function<std::uint32_t(const PortParams&)> field;
  std::uint32_t expected;
};

std::uint32_t Addresses(const PortParams& p) {
  std::uint32_t packed = static_cast<std::uint32_t>(p.addressCount) << 24;
  for (int i = 0; i < 3 && i < p.EffectiveAddressCount(); ++i) {
    packed |= static_cast<std::uint32_t>(p.Address(i)) << (8 * i);
  }
  return packed;
}

TEST(PortText, EverySettingWritesItsFieldWithinItsLimits) {
  const Case cases[] = {
      {"function=listener", [](auto& p) { return static_cast<std::uint32_t>(p.function); }, 0},
      {"function=gap", [](auto& p) { return static_cast<std::uint32_t>(p.function); }, 3},
      {"addresses=7,9,254", Addresses, 3u << 24 | 254u << 16 | 9u << 8 | 7u},
      {"addresses=", Addresses, 1u << 24 | 255u},  // no address: 255
      {"telegram-length=1", [](auto& p) { return p.telegramLength; }, 1},
      {"telegram-length=261", [](auto& p) { return p.telegramLength; }, 261},
      {"timeout=1", [](auto& p) { return p.responseTimeout; }, 1},
      {"timeout=65535", [](auto& p) { return p.responseTimeout; }, 65535},
      {"repetitions=0", [](auto& p) { return p.repetitions; }, 0},
      {"link-wait=100", [](auto& p) { return p.linkWait; }, 100},
      {"poll-cycle=10000", [](auto& p) { return p.pollCycle; }, 10000},
      {"reset=link", [](auto& p) { return p.resetKind; }, 0},
      {"class1=always", [](auto& p) { return p.class1Polling; }, 1},
      {"class1-limit=65535", [](auto& p) { return p.class1PollLimit; }, 65535},
      {"e5=ack-and-no-data", [](auto& p) { return p.singleCharacter; }, 0},
      {"e5=never", [](auto& p) { return p.singleCharacter; }, 1},
      {"spikes=on", [](auto& p) { return std::uint32_t{p.spikeFilter}; }, 1},
      {"rts=tx-off", [](auto& p) { return std::uint32_t{p.rtsFunction}; }, 3},
      {"rts=rs485", [](auto& p) { return std::uint32_t{p.rtsFunction}; }, 4},
      {"rts-lead=65535", [](auto& p) { return p.rtsLead; }, 65535},
      {"rts-lag=7", [](auto& p) { return p.rtsLag; }, 7},
      {"send-delay=5000", [](auto& p) { return p.sendDelay; }, 5000},
      {"watch=dcd,cts", [](auto& p) { return std::uint32_t{p.watchedLines}; }, 0xA0},
      {"watch=none", [](auto& p) { return std::uint32_t{p.watchedLines}; }, 0},
      {"reopen=on", [](auto& p) { return std::uint32_t{p.reopen}; }, 1},
  };
  for (const Case& c : cases) {
    PortParams p;
    p.watchedLines = 0x40;
    std::string problem;
    ASSERT_TRUE(ApplySettingsText(p, c.setting, problem)) << c.setting << ": " << problem;
    EXPECT_EQ(c.field(p), c.expected) << c.setting;
  }
  // Outside the limits, or no value of the field: refused, nothing changed,
  // and the message names the setting and what it takes.
  for (const char* bad : {"telegram-length=0", "telegram-length=262",
                          "timeout=0",         "timeout=65536",
                          "link-wait=0",       "link-wait=101",
                          "poll-cycle=10001",  "send-delay=5001",
                          "repetitions=-1",    "repetitions=x",
                          "reset=remote",      "e5=sometimes",
                          "addresses=1,300",   "watch=ri",
                          "function=master",   "spikes=1",
                          "reopen=yes",        "timeout=",
                          "colour=red",        "timeout=300,repetitions"}) {
    PortParams p;
    std::string problem;
    EXPECT_FALSE(ApplySettingsText(p, std::string("repetitions=9,") + bad, problem)) << bad;
    EXPECT_EQ(p, PortParams{}) << bad;
    EXPECT_FALSE(problem.empty());
  }
  std::string problem;
  PortParams p;
  ApplySettingsText(p, "timeout=70000", problem);
  EXPECT_EQ(problem, "timeout takes 1..65535 ms, not '70000'");
  ApplySettingsText(p, "e5=sometimes", problem);
  EXPECT_EQ(problem, "e5 takes ack-and-no-data|never|ack, not 'sometimes'");
  // Every name printed is one the reader takes.
  EXPECT_EQ(PortSettingNames().size(), 18u);
}

TEST(PortText, TheLineForm) {
  PortParams p;
  std::string problem;
  ASSERT_TRUE(ApplyLineText(p, "19200/7o2", problem)) << problem;
  EXPECT_EQ(p.baud, 19200u);
  EXPECT_EQ(p.dataBits, 7);
  EXPECT_EQ(p.parity, 1);
  EXPECT_EQ(p.stopBits, 2);
  EXPECT_EQ(LineText(p), "19200/7O2");
  for (const char* form : {"50/5N1", "4000000/8S2", "1200/6M1", "9600/8E1"}) {
    ASSERT_TRUE(ApplyLineText(p, form, problem)) << form;
    EXPECT_EQ(LineText(p), form);
  }
  for (const char* bad : {"9600", "9600/8E", "9600/9E1", "9600/4E1", "9600/8X1", "9600/8E3",
                          "49/8E1", "4000001/8E1", "/8E1", "-9600/8E1", "9600/8E1x"}) {
    const PortParams before = p;
    EXPECT_FALSE(ApplyLineText(p, bad, problem)) << bad;
    EXPECT_EQ(p, before) << bad;
    EXPECT_NE(problem.find("9600/8E1"), std::string::npos);
  }
}

// What a block prints reads back into the same block.
TEST(PortText, PrintedSettingsReadBackIntoTheSameBlock) {
  PortParams p;
  std::string problem;
  ASSERT_TRUE(ApplySettingsText(
      p,
      "function=secondary,addresses=3,4,5,timeout=250,reset=link,e5=never,watch=dsr,cts,"
      "rts=rs485,rts-lead=5,rts-lag=9,class1=always,class1-limit=3,spikes=on,poll-cycle=100,"
      "reopen=on",
      problem));
  ASSERT_TRUE(ApplyLineText(p, "38400/8N2", problem));
  PortParams none;
  ASSERT_TRUE(ApplySettingsText(none, "addresses=", problem));
  for (const PortParams& block : {PortParams{}, p, none}) {
    PortParams copy;
    copy.watchedLines = 0xE0;
    copy.function = PortFunction::GapMonitor;
    ASSERT_TRUE(ApplySettingsText(copy, SettingsText(block), problem)) << problem;
    ASSERT_TRUE(ApplyLineText(copy, LineText(block), problem)) << problem;
    EXPECT_EQ(copy, block) << SettingsText(block);
  }
  EXPECT_EQ(SettingsText(PortParams{}),
            "function=listener,addresses=1,telegram-length=94,timeout=400,repetitions=2,"
            "link-wait=1,poll-cycle=600,reset=fcb,class1=after-acd,class1-limit=0,e5=ack,"
            "spikes=off,rts=on,rts-lead=0,rts-lag=0,send-delay=0,watch=none,reopen=off");
}

}  // namespace
}  // namespace kivo
