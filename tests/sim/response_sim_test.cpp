// The command-response simulation on the line: the test plays the primary
// toward station 1 of a secondary Instance (and, for the whole cycle, a
// primary Instance does), and the answers are compared octet for octet.
#include <gtest/gtest.h>

#include <sstream>

#include "link/frame_codec.h"
#include "link/transmit.h"
#include "send/send_fixture.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::RepairChecksum;
using testing::Side;
using testing::SimRow;

std::string Format(const char* pattern, std::array<int, 7> v) {
  char text[80];
  std::snprintf(text, sizeof text, pattern, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
  return text;
}
// General command of station 1 (send/confirm; the FCB is set when sent).
std::string Command(int inf, int dco, int rii) {
  return Format("68 0A 0A 68 53 01 14 81 14 01 80 %02X %02X %02X 00 16", {inf, dco, rii});
}

class ResponseSim : public testing::SimTest {
 protected:
  bool fcb = false;

  void SetUp() override {
    SimTest::SetUp();
    Addresses({1});
    secondary.send.simulation.simulationOn = 1;
  }
  // A request as a primary sends it (FCB toggled with FCV); returns the
  // secondary's answer, "" for none.
  std::string Request(const std::string& hex) {
    testing::Octets frame = Hex(hex);
    std::uint8_t& control = frame[0] == 0x10 ? frame[1] : frame[4];
    if ((control & 0x10) != 0) control = (fcb = !fcb) ? control | 0x20 : control & ~0x20;
    const std::size_t before = wire.sent.size();
    ToSecondary(RepairChecksum(testing::ToHex(frame)));
    const auto answers = SentBy(Side::Secondary, before);
    return answers.empty() ? "" : answers.back();
  }
  // The time-tagged message of station 1 with control, cause, INF, DPI and
  // SIN, and the minutes and hours of now; the milliseconds and the checksum
  // written as TT and CS.
  std::string Message(int control, int cause, int inf, int dpi, int sin) {
    const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
    const int hour = static_cast<int>(now / 3600000 % 24) | (secondary.general.summerTime << 7);
    return Format("68 0E 0E 68 %02X 01 01 81 %02X 01 80 %02X %02X TT TT %02X %02X %02X CS 16",
                  {control, cause, inf, dpi, static_cast<int>(now / 60000 % 60), hour, sin});
  }
  // A sent message whose checksum is right and whose milliseconds lie
  // within the minute, with both masked as Message() writes them.
  static std::string Masked(std::string sent) {
    const testing::Octets octets = Hex(sent);
    EXPECT_EQ(RepairChecksum(sent), sent);
    if (octets.size() != 20 || (octets[13] | octets[14] << 8) >= 60000) return sent;
    return sent.replace(39, 5, "TT TT").replace(54, 2, "CS");
  }
  // Runs the steps of a script: "C16.2.5" a command (INF, DCO, RII) that is
  // acknowledged with ACD, or with "=E5" by the single character; "P28.20.16.2.5"
  // a poll of class 1 answered by Message(); "N" one answered with no data;
  // "S40" the status the last command was logged with (29 refused, 26 too short); "O0", "O1" the
  // switch of the simulation; "T" a command cut short before DCO and RII.
  void Run(const std::string& script) {
    std::istringstream in(script);
    for (std::string step; in >> step;) {
      SCOPED_TRACE(step);
      unsigned v[5] = {};
      const char* format = step[0] == 'P' ? "%x.%u.%u.%u.%u" : "%u.%u.%u.%u.%u";
      std::sscanf(step.c_str() + 1, format, &v[0], &v[1], &v[2], &v[3], &v[4]);
      const bool e5 = step.ends_with("=E5");
      if (step[0] == 'C') {
        EXPECT_EQ(Request(Command(v[0], v[1], v[2])), e5 ? "E5" : "10 20 01 21 16");
      } else if (step[0] == 'P') {
        EXPECT_EQ(Masked(Request("10 5A 01 00 16")), Message(v[0], v[1], v[2], v[3], v[4]));
      } else if (step[0] == 'N') {
        EXPECT_EQ(Request("10 5A 01 00 16"), "10 09 01 0A 16");
      } else if (step[0] == 'S') {
        const auto command = std::find_if(loggedS.rbegin(), loggedS.rend(), [](auto& e) {
          return e.channel == 1 && e.frameKind == kFrameVariable;
        });
        ASSERT_NE(command, loggedS.rend());
        EXPECT_EQ(command->status, v[0]);
      } else if (step[0] == 'O') {
        secondary.send.simulation.simulationOn = static_cast<std::uint32_t>(v[0]);
      } else if (step[0] == 'T') {
        EXPECT_EQ(Request("68 08 08 68 53 01 14 81 14 01 80 10 00 16"), "E5");
      }
    }
  }
};

TEST_F(ResponseSim, CommandsAreAnsweredAsTheTableSays) {
  const auto row16 = SimRow(16, 1, 0, 16, 4);
  const struct {
    const char* name;
    std::vector<ResponseSimRow> rows;
    const char* script;
  } scripts[] = {
      {"ON on INF 16, state 4: DPI from the DCO",
       {row16, SimRow(17, 1, 0, 17, 4)},
       "C16.2.5 S40 P28.20.16.2.5 P08.12.16.2.5"},
      {"state 5: DCO xor 3", {SimRow(16, 1, 0, 16, 5)}, "C16.2.5 P28.20.16.2.5 P08.12.16.1.5"},
      {"negative wins; response on INF 40 with state 3",
       {SimRow(16, 1, 1, 40, 3)},
       "C16.2.5 P28.21.16.2.5 P08.12.40.3.5"},
      {"negative acknowledgement only", {SimRow(16, 0, 1, -1, 4)}, "C16.2.5 P08.21.16.2.5"},
      {"response message only", {SimRow(16, 0, 0, 16, 0)}, "C16.1.7 P08.12.16.0.7"},
      {"second command while answers wait: refused, first answers follow",
       {row16},
       "C16.2.5 P28.20.16.2.5 C16.1.6 S29 P28.21.16.1.6 P08.12.16.2.5"},
      {"no row: refused carrying INF, DCO and RII", {row16}, "C17.2.9 S29 P08.21.17.2.9"},
      {"switched off: no match, no refusal, pending answers wait",
       {row16},
       "C16.2.5 O0 N C17.2.7=E5 C16.1.8=E5 S40 O1 P28.20.16.2.5 P08.12.16.2.5"},
      {"a command cut short before DCO and RII is left alone", {row16}, "T S26"},
  };
  // Station 1 reset and its identification fetched.
  GoOnline(secondary);
  Request("10 40 01 00 16");
  Request("10 5A 01 00 16");
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.name);
    secondary.general.summerTime = !secondary.general.summerTime;
    auto& rows = secondary.send.simulation.rows;
    rows = ResponseSimBlock{}.rows;
    std::copy(script.rows.begin(), script.rows.end(), rows.begin());
    Run(script.script + std::string(" N"));  // nothing is left to send
  }
}

// The primary's cycle sends a command as it sends an operator telegram and
// fetches both answers by ACD; a primary port sends its own due answers as
// send/confirm.
TEST_F(ResponseSim, PrimaryCycleFetchesBothAnswersByAcd) {
  secondary.send.simulation.rows[0] = SimRow(16, 1, 0, 16, 5);
  ResponseSimRow& own = primary.send.simulation.rows[3];
  primary.send.simulation.simulationOn = 1;
  own = SimRow(16, 1, 0, -1, 4);
  own.ackPending = own.commandAddress = 1;
  own.commandLength = 16;
  const testing::Octets stored = Hex(Command(16, 2, 5));
  std::copy(stored.begin(), stored.end(), own.commandFrame.begin());
  Online();
  Ticks(10);
  auto sent = SentBy(Side::Primary);
  std::erase_if(sent, [](const std::string& f) { return !f.starts_with("68 0E 0E 68"); });
  ASSERT_EQ(sent.size(), 1u);
  const int control = Hex(sent[0])[4];
  EXPECT_EQ(control & ~0x20, 0x53);  // send/confirm with the station's FCB
  EXPECT_EQ(Masked(sent[0]), Message(control, 20, 16, 2, 5));
  EXPECT_EQ(own.ackPending, 0);

  ASSERT_EQ(pport.primary.cycle, PrimaryCycle::CycleStart);
  testing::Octets command = stored;
  command[4] = CompleteControl(pport, 0x53, false);
  TakeFrame(pport, Hex(RepairChecksum(testing::ToHex(command))), status::kCorrect);
  const std::size_t from = wire.sent.size();
  ASSERT_TRUE(StartTransmit(primary.linkContext, pport));
  pport.primary.cycle = PrimaryCycle::AwaitAnswer;
  Ticks(3);
  auto answers = First(SentBy(Side::Secondary, from), 3);
  for (std::size_t i = 1; i < answers.size(); ++i) answers[i] = Masked(answers[i]);
  EXPECT_EQ(answers, (std::vector<std::string>{"10 20 01 21 16", Message(0x28, 20, 16, 2, 5),
                                               Message(0x08, 12, 16, 1, 5)}));
}

}  // namespace
}  // namespace kivo
