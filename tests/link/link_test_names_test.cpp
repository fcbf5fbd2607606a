// The link-test flags by name: each name sets its own flag, and only it.
#include "link/link_test_names.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(LinkTestNames, EachNameSetsItsFlag) {
  const std::pair<const char*, bool LinkTestFlags::*> cases[] = {
      {"busy", &LinkTestFlags::ltBusy},
      {"invert-res", &LinkTestFlags::ltInvertRes},
      {"invert-prm", &LinkTestFlags::ltInvertPrm},
      {"freeze-fcb", &LinkTestFlags::ltFcbFrozen},
      {"invert-fcv", &LinkTestFlags::ltInvertFcv},
      {"force-acd", &LinkTestFlags::ltForceAcd},
      {"force-dfc", &LinkTestFlags::ltForceDfc},
      {"no-user-data", &LinkTestFlags::ltNoUserData},
      {"dist-abort", &LinkTestFlags::ltDistFault1},
      {"dist-nack", &LinkTestFlags::ltDistFault2},
  };
  std::string problem;
  for (const auto& [name, field] : cases) {
    const auto flags = ParseLinkTestFlags(name, problem);
    ASSERT_TRUE(flags) << name;
    LinkTestFlags expected;
    expected.*field = true;
    EXPECT_EQ(*flags, expected) << name;
  }
  const auto two = ParseLinkTestFlags("force-acd,busy", problem);
  ASSERT_TRUE(two);
  EXPECT_TRUE(two->ltBusy && two->ltForceAcd);
  for (const char* bad : {"", "busy,", "BUSY", "busy,slow"}) {
    EXPECT_FALSE(ParseLinkTestFlags(bad, problem)) << bad;
    EXPECT_NE(problem.find("dist-nack"), std::string::npos);
  }
}

}  // namespace
}  // namespace kivo
