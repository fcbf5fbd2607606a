// The command-response simulation on the line: the test plays the primary
// toward station 1 of a secondary Instance (and, for the whole cycle, a
// primary Instance does), and the answers are compared octet for octet.
#include <gtest/gtest.h>

#include "link/frame_codec.h"
#include "link/transmit.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::RepairChecksum;
using testing::Side;
using testing::ToHex;

const std::string kAckWithAcd = "10 20 01 21 16";
const std::string kNoData = "10 09 01 0A 16";
const std::string kPoll = "10 5A 01 00 16";

ResponseSimRow Row(int inf, int positive, int negative, int responseInf, int state) {
  ResponseSimRow row;
  row.commandInf = static_cast<std::uint8_t>(inf);
  row.positiveAck = static_cast<std::uint8_t>(positive);
  row.negativeAck = static_cast<std::uint8_t>(negative);
  row.responseInf = static_cast<std::int16_t>(responseInf);
  row.responseState = static_cast<std::uint8_t>(state);
  return row;
}

std::string Format(const char* pattern, std::initializer_list<int> values) {
  char text[80];
  const int* v = values.begin();
  std::snprintf(text, sizeof text, pattern, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
  return text;
}
// General command of station 1 (send/confirm; the FCB is set when sent).
std::string Command(int inf, int dco, int rii) {
  return Format("68 0A 0A 68 53 01 14 81 14 01 80 %02X %02X %02X 00 16",
                {inf, dco, rii, 0, 0, 0, 0});
}

// One step of a script: a request and the answer expected on the line (a
// time-tagged message given by control, cause, INF, DPI and SIN), a switch
// of the simulation, or the status the last command was logged with.
struct Step {
  enum Kind { Request, Switch, Status } kind;
  std::string frame;
  std::string answer;
  std::array<int, 5> message{};
  int value = 0;
};
Step Cmd(int inf, int dco, int rii, std::string answer = kAckWithAcd) {
  return {Step::Request, Command(inf, dco, rii), std::move(answer)};
}
Step Poll(int control, int cause, int inf, int dpi, int sin) {
  return {Step::Request, kPoll, "", {control, cause, inf, dpi, sin}};
}
Step Switch(int on) {
  return {Step::Switch, "", "", {}, on};
}
Step Status(int code) {
  return {Step::Status, "", "", {}, code};
}

class ResponseSim : public testing::SimTest {
 protected:
  bool fcb = false;

  void SetUp() override {
    SimTest::SetUp();
    Configure(pport.params, PortFunction::Primary, {1});
    Configure(sport.params, PortFunction::Secondary, {1});
    secondary.send.simulation.simulationOn = 1;
  }
  // A request as a primary sends it (FCB toggled with FCV); returns the
  // secondary's answer, "" for none.
  std::string Request(const std::string& hex) {
    testing::Octets frame = Hex(hex);
    std::uint8_t& control = frame[0] == 0x10 ? frame[1] : frame[4];
    if ((control & 0x10) != 0) {
      fcb = !fcb;
      control = static_cast<std::uint8_t>(fcb ? control | 0x20 : control & ~0x20);
    }
    const std::size_t before = wire.sent.size();
    ToSecondary(RepairChecksum(ToHex(frame)));
    const auto answers = SentBy(Side::Secondary, before);
    return answers.empty() ? "" : answers.back();
  }
  // The status the last received variable frame was logged with.
  int LastCommandStatus() const {
    for (auto e = loggedS.rbegin(); e != loggedS.rend(); ++e) {
      if (e->channel == 1 && e->frameKind == kFrameVariable) return e->status;
    }
    return -1;
  }
  // The time-tagged message of station 1 with the secondary's minutes and
  // hours of now; the milliseconds and the checksum written as TT and CS.
  std::string Message(std::array<int, 5> m) {
    const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
    const int hour =
        static_cast<int>(now / 3600000 % 24) | (secondary.general.summerTime ? 0x80 : 0);
    return Format("68 0E 0E 68 %02X 01 01 81 %02X 01 80 %02X %02X TT TT %02X %02X %02X CS 16",
                  {m[0], m[1], m[2], m[3], static_cast<int>(now / 60000 % 60), hour, m[4]});
  }
  // A sent message whose checksum is right and whose milliseconds lie
  // within the minute, with both masked as Message() writes them.
  static std::string Masked(std::string sent) {
    const testing::Octets octets = Hex(sent);
    EXPECT_EQ(RepairChecksum(sent), sent);
    if (octets.size() != 20 || (octets[13] | octets[14] << 8) >= 60000) return sent;
    return sent.replace(39, 5, "TT TT").replace(54, 2, "CS");
  }
};

TEST_F(ResponseSim, CommandsAreAnsweredAsTheTableSays) {
  const auto row16 = Row(16, 1, 0, 16, 4);
  const struct {
    const char* name;
    std::vector<ResponseSimRow> rows;
    std::vector<Step> steps;
  } scripts[] = {
      {"ON on INF 16, state 4: DPI from the DCO",
       {row16, Row(17, 1, 0, 17, 4)},
       {Cmd(16, 2, 5), Status(status::kCorrect), Poll(0x28, 20, 16, 2, 5),
        Poll(0x08, 12, 16, 2, 5)}},
      {"state 5: DCO xor 3",
       {Row(16, 1, 0, 16, 5)},
       {Cmd(16, 2, 5), Poll(0x28, 20, 16, 2, 5), Poll(0x08, 12, 16, 1, 5)}},
      {"negative wins; response on INF 40 with state 3",
       {Row(16, 1, 1, 40, 3)},
       {Cmd(16, 2, 5), Poll(0x28, 21, 16, 2, 5), Poll(0x08, 12, 40, 3, 5)}},
      {"negative acknowledgement only",
       {Row(16, 0, 1, -1, 4)},
       {Cmd(16, 2, 5), Poll(0x08, 21, 16, 2, 5)}},
      {"response message only", {Row(16, 0, 0, 16, 0)}, {Cmd(16, 1, 7), Poll(0x08, 12, 16, 0, 7)}},
      {"second command while answers wait: refused, first answers follow",
       {row16},
       {Cmd(16, 2, 5), Poll(0x28, 20, 16, 2, 5), Cmd(16, 1, 6), Status(status::kCommandRefused),
        Poll(0x28, 21, 16, 1, 6), Poll(0x08, 12, 16, 2, 5)}},
      {"no row: refused carrying INF, DCO and RII",
       {row16},
       {Cmd(17, 2, 9), Status(status::kCommandRefused), Poll(0x08, 21, 17, 2, 9)}},
      {"switched off: no match, no refusal, pending answers wait",
       {row16},
       {Cmd(16, 2, 5),
        Switch(0),
        {Step::Request, kPoll, kNoData},
        Cmd(17, 2, 7, "E5"),
        Cmd(16, 1, 8, "E5"),
        Status(status::kCorrect),
        Switch(1),
        Poll(0x28, 20, 16, 2, 5),
        Poll(0x08, 12, 16, 2, 5)}},
      {"truncated command (no DCO, RII) left alone",
       {row16},
       {{Step::Request, "68 08 08 68 53 01 14 81 14 01 80 10 00 16", "E5"},
        Status(status::kAsduLength)}},
  };
  // Station 1 reset and its identification fetched.
  GoOnline(secondary);
  Request("10 40 01 00 16");
  Request(kPoll);
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.name);
    secondary.general.summerTime = !secondary.general.summerTime;
    auto& rows = secondary.send.simulation.rows;
    rows = ResponseSimBlock{}.rows;
    std::copy(script.rows.begin(), script.rows.end(), rows.begin());
    for (const Step& step : script.steps) {
      if (step.kind == Step::Switch) {
        secondary.send.simulation.simulationOn = static_cast<std::uint32_t>(step.value);
      } else if (step.kind == Step::Status) {
        EXPECT_EQ(LastCommandStatus(), step.value);
      } else if (step.message[0] != 0) {
        EXPECT_EQ(Masked(Request(step.frame)), Message(step.message));
      } else {
        EXPECT_EQ(Request(step.frame), step.answer) << step.frame;
      }
    }
    // Every script ends with nothing left to send.
    EXPECT_EQ(Request(kPoll), kNoData);
  }
}

// The primary's cycle sends a command as it sends an operator telegram and
// fetches both answers by ACD; a primary port sends its own due answers as
// send/confirm.
TEST_F(ResponseSim, PrimaryCycleFetchesBothAnswersByAcd) {
  secondary.send.simulation.rows[0] = Row(16, 1, 0, 16, 5);
  ResponseSimRow& own = primary.send.simulation.rows[3];
  primary.send.simulation.simulationOn = 1;
  own = Row(16, 1, 0, -1, 4);
  own.ackPending = own.commandAddress = 1;
  own.commandLength = 16;
  const testing::Octets stored = Hex(Command(16, 2, 5));
  std::copy(stored.begin(), stored.end(), own.commandFrame.begin());
  Online();
  Ticks(10);
  std::vector<std::string> sent;
  for (const auto& frame : SentBy(Side::Primary))
    if (frame.starts_with("68 0E 0E 68")) sent.push_back(frame);
  ASSERT_EQ(sent.size(), 1u);
  const int control = Hex(sent[0])[4];
  EXPECT_EQ(control & ~0x20, 0x53);  // send/confirm with the station's FCB
  EXPECT_EQ(Masked(sent[0]), Message({control, 20, 16, 2, 5}));
  EXPECT_EQ(own.ackPending, 0);

  ASSERT_EQ(pport.primary.cycle, PrimaryCycle::CycleStart);
  testing::Octets command = stored;
  command[4] = CompleteControl(pport, 0x53, false);
  TakeFrame(pport, Hex(RepairChecksum(ToHex(command))), status::kCorrect);
  const std::size_t from = wire.sent.size();
  ASSERT_TRUE(StartTransmit(primary.linkContext, pport));
  pport.primary.cycle = PrimaryCycle::AwaitAnswer;
  Ticks(3);
  const auto answers = SentBy(Side::Secondary, from);
  ASSERT_GE(answers.size(), 3u);
  EXPECT_EQ(answers[0], kAckWithAcd);
  EXPECT_EQ(Masked(answers[1]), Message({0x28, 20, 16, 2, 5}));
  EXPECT_EQ(Masked(answers[2]), Message({0x08, 12, 16, 1, 5}));
}

}  // namespace
}  // namespace kivo
