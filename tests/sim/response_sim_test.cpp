// The command-response simulation on the line: the test plays the primary
// toward station 1 of a secondary Instance (and, for the whole cycle, a
// primary Instance does), and the answers are compared octet for octet.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/frame_codec.h"
#include "link/transmit.h"
#include "send/response_sim_text.h"
#include "send/send_execution.h"
#include "sim/sim_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::Octets;
using testing::RepairChecksum;
using testing::Side;
using testing::ToHex;

constexpr char kSep = ';';
const std::string kAckWithAcd = "10 20 01 21 16";
const std::string kNoData = "10 09 01 0A 16";

ResponseSimRow MakeRow(int inf, int positive, int negative, int responseInf, int state) {
  ResponseSimRow row;
  row.commandInf = static_cast<std::uint8_t>(inf);
  row.positiveAck = static_cast<std::uint8_t>(positive);
  row.negativeAck = static_cast<std::uint8_t>(negative);
  row.responseInf = static_cast<std::int16_t>(responseInf);
  row.responseState = static_cast<std::uint8_t>(state);
  return row;
}

std::string Format(const char* pattern, int a, int b, int c, int d = 0, int e = 0) {
  char text[80];
  std::snprintf(text, sizeof text, pattern, a, b, c, d, e);
  return text;
}
// General command of station 1 (send/confirm; the FCB is set when sent).
std::string CommandHex(int inf, int dco, int rii) {
  return Format("68 0A 0A 68 53 01 14 81 14 01 80 %02X %02X %02X 00 16", inf, dco, rii);
}
// The time-tagged message of station 1; TT are the time octets.
std::string Message(int control, int cause, int inf, int dpi, int sin) {
  return Format("68 0E 0E 68 %02X 01 01 81 %02X 01 80 %02X %02X TT TT TT TT %02X CS 16", control,
                cause, inf, dpi, sin);
}

class ResponseSim : public testing::SimTest {
 protected:
  bool fcb = false;

  void SetUp() override {
    SimTest::SetUp();
    Configure(pport.params, PortFunction::Primary, {1});
    Configure(sport.params, PortFunction::Secondary, {1});
    Table().simulationOn = 1;
  }
  ResponseSimBlock& Table() { return secondary.send.simulation; }

  // Secondary online, station 1 reset and its identification fetched.
  void Station() {
    GoOnline(secondary);
    Request("10 40 01 00 16");
    Request("10 5A 01 00 16");
  }
  // A request as a primary sends it (FCB toggled with FCV); returns the
  // secondary's answer, "" for none.
  std::string Request(const std::string& hex) {
    Octets frame = Hex(hex);
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
  // Compares a sent message with Message(): the time octets must be the
  // secondary's time of now, everything else (checksum too) exactly as given.
  void ExpectMessage(const std::string& sent, std::string expected) {
    SCOPED_TRACE(expected);
    const Octets actual = Hex(sent);
    ASSERT_EQ(actual.size(), 20u) << sent;
    for (std::size_t i = 13; i <= 16; ++i) {
      expected.replace(expected.find("TT"), 2, Format("%02X", actual[i], 0, 0));
    }
    expected.replace(expected.find("CS"), 2, "00");
    EXPECT_EQ(sent, RepairChecksum(expected));
    const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
    EXPECT_LT(actual[13] | actual[14] << 8, 60000);
    EXPECT_EQ(actual[15], (now / 60000) % 60);
    EXPECT_EQ(actual[16], (now / 3600000) % 24 | (secondary.general.summerTime ? 0x80 : 0));
  }
};

// One step of a script: a request and the answer expected on the line, a
// switch of the simulation, or the status the last command was logged with.
struct Step {
  enum Kind { Command, Poll, Raw, Switch, Status } kind;
  std::string frame;
  std::string answer;
  int value = 0;
};
Step Cmd(int inf, int dco, int rii, std::string answer) {
  return {Step::Command, CommandHex(inf, dco, rii), std::move(answer)};
}
Step Poll(std::string answer) {
  return {Step::Poll, "10 5A 01 00 16", std::move(answer)};
}
Step Switch(int on) {
  return {Step::Switch, "", "", on};
}
Step Status(int code) {
  return {Step::Status, "", "", code};
}

struct Script {
  const char* name;
  std::vector<ResponseSimRow> rows;
  std::vector<Step> steps;
};

TEST_F(ResponseSim, CommandsAreAnsweredAsTheTableSays) {
  const auto row16 = MakeRow(16, 1, 0, 16, 4);
  const Script scripts[] = {
      {"ON on INF 16, state 4: DPI from the DCO",
       {row16, MakeRow(17, 1, 0, 17, 4)},
       {Cmd(16, 2, 5, kAckWithAcd), Status(status::kCorrect), Poll(Message(0x28, 20, 16, 2, 5)),
        Poll(Message(0x08, 12, 16, 2, 5)), Poll(kNoData)}},
      {"state 5: DCO xor 3",
       {MakeRow(16, 1, 0, 16, 5)},
       {Cmd(16, 2, 5, kAckWithAcd), Poll(Message(0x28, 20, 16, 2, 5)),
        Poll(Message(0x08, 12, 16, 1, 5)), Poll(kNoData)}},
      {"negative wins; response on INF 40 with state 3",
       {MakeRow(16, 1, 1, 40, 3)},
       {Cmd(16, 2, 5, kAckWithAcd), Poll(Message(0x28, 21, 16, 2, 5)),
        Poll(Message(0x08, 12, 40, 3, 5))}},
      {"negative acknowledgement only",
       {MakeRow(16, 0, 1, -1, 4)},
       {Cmd(16, 2, 5, kAckWithAcd), Poll(Message(0x08, 21, 16, 2, 5)), Poll(kNoData)}},
      {"response message only",
       {MakeRow(16, 0, 0, 16, 0)},
       {Cmd(16, 1, 7, kAckWithAcd), Poll(Message(0x08, 12, 16, 0, 7)), Poll(kNoData)}},
      {"second command while answers wait: refused, first answers follow",
       {row16},
       {Cmd(16, 2, 5, kAckWithAcd), Poll(Message(0x28, 20, 16, 2, 5)), Cmd(16, 1, 6, kAckWithAcd),
        Status(status::kCommandRefused), Poll(Message(0x28, 21, 16, 1, 6)),
        Poll(Message(0x08, 12, 16, 2, 5)), Poll(kNoData)}},
      {"no row: refused carrying INF, DCO and RII",
       {row16},
       {Cmd(17, 2, 9, kAckWithAcd), Status(status::kCommandRefused),
        Poll(Message(0x08, 21, 17, 2, 9)), Poll(kNoData)}},
      {"switched off: no match, no refusal, pending answers wait",
       {row16},
       {Cmd(16, 2, 5, kAckWithAcd), Switch(0), Poll(kNoData), Cmd(17, 2, 7, "E5"),
        Cmd(16, 1, 8, "E5"), Status(status::kCorrect), Switch(1), Poll(Message(0x28, 20, 16, 2, 5)),
        Poll(Message(0x08, 12, 16, 2, 5))}},
      {"truncated command (no DCO, RII) left alone",
       {row16},
       {{Step::Raw, "68 08 08 68 53 01 14 81 14 01 80 10 00 16", "E5"},
        Status(status::kAsduLength),
        Poll(kNoData)}},
  };
  Station();
  bool summerTime = false;
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    secondary.general.summerTime = summerTime = !summerTime;
    Table().rows = ResponseSimBlock{}.rows;
    std::copy(script.rows.begin(), script.rows.end(), Table().rows.begin());
    for (const Step& step : script.steps) {
      if (step.kind == Step::Switch) {
        Table().simulationOn = static_cast<std::uint32_t>(step.value);
      } else if (step.kind == Step::Status) {
        EXPECT_EQ(LastCommandStatus(), step.value);
      } else if (step.answer.find("TT") != std::string::npos) {
        ExpectMessage(Request(step.frame), step.answer);
      } else {
        EXPECT_EQ(Request(step.frame), step.answer) << step.frame;
      }
    }
  }
}

// Puts a send/confirm frame through the primary's transmit path, as its
// cycle sends an operator telegram.
TEST_F(ResponseSim, PrimaryCycleFetchesBothAnswersByAcd) {
  Table().rows[0] = MakeRow(16, 1, 0, 16, 5);
  Online();
  Ticks(10);
  ASSERT_EQ(pport.primary.cycle, PrimaryCycle::CycleStart);
  Octets command = Hex(CommandHex(16, 2, 5));
  command[4] = CompleteControl(pport, 0x53, false);
  TakeFrame(pport, Hex(RepairChecksum(ToHex(command))), status::kCorrect);
  const std::size_t from = wire.sent.size();
  ASSERT_TRUE(StartTransmit(primary.linkContext, pport));
  pport.primary.cycle = PrimaryCycle::AwaitAnswer;
  Ticks(3);
  const auto answers = SentBy(Side::Secondary, from);
  ASSERT_GE(answers.size(), 3u);
  EXPECT_EQ(answers[0], kAckWithAcd);
  ExpectMessage(answers[1], Message(0x28, 20, 16, 2, 5));
  ExpectMessage(answers[2], Message(0x08, 12, 16, 1, 5));
}

TEST_F(ResponseSim, PrimaryPortSendsADueResponseAsSendConfirm) {
  ResponseSimRow& own = primary.send.simulation.rows[3];
  primary.send.simulation.simulationOn = 1;
  own = MakeRow(16, 1, 0, -1, 4);
  own.ackPending = 1;
  own.commandAddress = 1;
  own.commandLength = 16;
  const Octets stored = Hex(CommandHex(16, 2, 5));
  std::copy(stored.begin(), stored.end(), own.commandFrame.begin());
  Online();
  Ticks(10);
  std::vector<std::string> sent;
  for (const auto& frame : SentBy(Side::Primary)) {
    if (frame.rfind("68 0E 0E 68", 0) == 0) sent.push_back(frame);
  }
  ASSERT_EQ(sent.size(), 1u);
  const int control = Hex(sent[0])[4];
  EXPECT_EQ(control & ~0x20, 0x53);  // send/confirm with the station's FCB
  ExpectMessage(sent[0], Message(control, 20, 16, 2, 5));
  EXPECT_EQ(own.ackPending, 0);
}

TEST_F(ResponseSim, AnswersLeaveOnlyThroughThePortThatTookTheCommand) {
  // One program, port 1 a primary and port 2 a secondary (as in the demo).
  PortRecord& masterPort = primary.ports[0];
  PortRecord& devicePort = primary.ports[1];
  Configure(masterPort.params, PortFunction::Primary, {1});
  Configure(devicePort.params, PortFunction::Secondary, {1});
  primary.send.simulation.simulationOn = 1;
  ResponseSimRow& row = primary.send.simulation.rows[0];
  row = MakeRow(16, 1, 0, -1, 4);
  TLogEntry command;
  command.SetFrame(Hex(CommandHex(16, 2, 5)));
  command.linkAddress = 1;
  OnGeneralCommand(primary.sendContext, devicePort, command);
  EXPECT_EQ(row.commandPort, 2);
  OutgoingFrame frame;
  EXPECT_EQ(CountPendingResponses(primary.sendContext, masterPort), 0);
  EXPECT_FALSE(SendPendingResponse(primary.sendContext, masterPort, frame));
  EXPECT_EQ(CountPendingResponses(primary.sendContext, devicePort), 1);
  EXPECT_TRUE(SendPendingResponse(primary.sendContext, devicePort, frame));
  EXPECT_EQ(row.ackPending, 0);
}

TEST_F(ResponseSim, CountsRowsOfTheServedStationOnly) {
  Configure(sport.params, PortFunction::Secondary, {1, 2});
  const Octets command = Hex(CommandHex(16, 2, 5));
  // address, ack pending, response pending, stored octets
  const int stored[][4] = {{2, 1, 1, 16}, {255, 1, 0, 16}, {1, 0, 1, 16}, {1, 1, 1, 10}};
  for (std::size_t i = 0; i < std::size(stored); ++i) {
    ResponseSimRow& row = Table().rows[i];
    row.commandAddress = static_cast<std::uint16_t>(stored[i][0]);
    row.ackPending = static_cast<std::uint8_t>(stored[i][1]);
    row.responsePending = static_cast<std::uint8_t>(stored[i][2]);
    row.commandLength = static_cast<std::uint16_t>(stored[i][3]);
    std::copy(command.begin(), command.end(), row.commandFrame.begin());
  }
  // function, station index, ltNoUserData, count, first row
  const std::tuple<PortFunction, int, bool, int, int> cases[] = {
      {PortFunction::Secondary, 0, false, 2, 1},
      {PortFunction::Secondary, 1, false, 3, 0},
      {PortFunction::Unassigned, 0, false, 4, 0},
      {PortFunction::Secondary, 0, true, 0, -1}};
  for (const auto& [function, index, noUserData, count, first] : cases) {
    sport.params.function = function;
    sport.currentIndex = index;
    sport.linkTest.ltNoUserData = noUserData;
    EXPECT_EQ(CountPendingResponses(secondary.sendContext, sport), count) << index;
    EXPECT_EQ(sport.send.pendingResponseRow, first) << index;
  }
  // A stored command too short to answer lost its flags.
  EXPECT_EQ(Table().rows[3].ackPending + Table().rows[3].responsePending, 0);
  Table().simulationOn = 0;
  sport.linkTest.ltNoUserData = false;
  OutgoingFrame frame;
  EXPECT_EQ(CountPendingResponses(secondary.sendContext, sport), 0);
  EXPECT_FALSE(SendPendingResponse(secondary.sendContext, sport, frame));
}

// --- Text forms ---

ResponseSimBlock NumberedTable() {
  ResponseSimBlock block;
  for (int i = 0; i < kResponseSimRows; ++i) {
    block.rows[static_cast<std::size_t>(i)] = MakeRow(i, i % 2, 0, i, i % 6);
  }
  return block;
}
std::vector<int> Infs(const ResponseSimBlock& block) {
  std::vector<int> infs;
  for (const auto& row : block.rows) infs.push_back(row.commandInf);
  return infs;
}

TEST(ResponseSimText, RowsReadWithTheirRanges) {
  struct Case {
    const char* line;
    std::optional<ResponseSimRow> row;
  };
  const Case cases[] = {
      {"16;1;0;16;4;", MakeRow(16, 1, 0, 16, 4)},
      {"0;0;0;-1;4;", ResponseSimRow{}},
      {" 7 ; 1 ;1;255;5", MakeRow(7, 1, 1, 255, 5)},
      {"255;0;0;-1;6;", MakeRow(255, 0, 0, -1, 2)},  // other states give 2
      {"1;0;0;3;x;", MakeRow(1, 0, 0, 3, 2)},
      {"256;0;0;0;0;", std::nullopt},
      {"1;2;0;0;0;", std::nullopt},
      {"1;0;0;-2;0;", std::nullopt},
      {"1;0;0;;0;", std::nullopt},
      {"1,0,0,0,0,", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ReadSimRow(c.line, kSep), c.row);
  }
  ResponseSimRow pending = MakeRow(16, 1, 0, 16, 4);
  pending.ackPending = pending.responsePending = 1;
  pending.commandLength = 16;
  EXPECT_EQ(FormatSimRow(pending, ','), "16,1,0,16,4,");
  EXPECT_EQ(ReadSimRow(FormatSimRow(pending, ','), ','), MakeRow(16, 1, 0, 16, 4));
}

TEST(ResponseSimText, DefaultRowCopiedAndPastedKeepsItsState) {
  ResponseSimBlock block = NumberedTable();
  block.rows[2] = ResponseSimRow{};
  const std::string copied = CopySimRows(block, 2, 1, kSep);
  EXPECT_EQ(copied, "0;0;0;-1;4;\r\n");
  EXPECT_EQ(PasteSimRows(block, 10, copied, kSep), 1);
  EXPECT_EQ(block.rows[10], ResponseSimRow{});
  EXPECT_EQ(block.rows[11].commandInf, 10);  // moved down behind it
}

TEST(ResponseSimText, CutMovesRowsUpAndFreesZeroRows) {
  ResponseSimBlock block = NumberedTable();
  EXPECT_EQ(CutSimRows(block, 1, 2, kSep), "1;1;0;1;1;\r\n2;0;0;2;2;\r\n");
  std::vector<int> expected{0};
  for (int i = 3; i < 100; ++i) expected.push_back(i);
  expected.insert(expected.end(), {0, 0});
  EXPECT_EQ(Infs(block), expected);
  std::array<std::uint8_t, ResponseSimRow::kSize> bytes{};
  block.rows[99].Encode(bytes);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, ResponseSimRow::kSize>{}));
  EXPECT_EQ(CutSimRows(block, 99, 5, kSep), "0;0;0;0;0;\r\n");  // cut to the table
  EXPECT_EQ(CopySimRows(block, -1, 2, kSep), "0;0;0;0;0;\r\n");
}

TEST(ResponseSimText, PasteInsertsUntilALineDoesNotReadOrTheTableIsFull) {
  struct Case {
    const char* name;
    int cursor;
    std::string text;
    int pasted;
    std::vector<std::pair<int, int>> rowInf;  // row, commandInf after the paste
  };
  const Case cases[] = {
      {"stops at the bad line",
       2,
       "200;0;0;-1;0;\r\n201;0;0;-1;0;\nbad\r\n202;0;0;-1;0;\r\n",
       2,
       {{1, 1}, {2, 200}, {3, 201}, {4, 2}, {99, 97}}},
      {"last row only", 99, "200;0;0;-1;0;\r\n201;0;0;-1;0;\r\n", 1, {{98, 98}, {99, 200}}},
      {"nothing readable", 0, "x;\r\n200;0;0;-1;0;\r\n", 0, {{0, 0}, {99, 99}}},
      {"empty", 5, "", 0, {{5, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResponseSimBlock block = NumberedTable();
    EXPECT_EQ(PasteSimRows(block, c.cursor, c.text, kSep), c.pasted);
    for (const auto& [row, inf] : c.rowInf) {
      EXPECT_EQ(block.rows[static_cast<std::size_t>(row)].commandInf, inf) << row;
    }
  }
}

TEST(ResponseSimText, FileHoldsTheSwitchAndAllRows) {
  ResponseSimBlock block = NumberedTable();
  block.simulationOn = 1;
  block.rows[0].ackPending = 1;  // run time: not written
  const std::string text = WriteSimText(block, kSep);
  EXPECT_TRUE(text.starts_with("1;\r\n0;0;0;0;0;\r\n1;1;0;1;1;\r\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 101);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 101);
  EXPECT_TRUE(text.ends_with("\r\n99;1;0;99;3;\r\n"));

  ResponseSimBlock read;
  const SimTextResult result = ReadSimText(text, kSep, read);
  EXPECT_TRUE(result.read && result.switchSet);
  EXPECT_EQ(result.rowsStored, 100);
  block.rows[0].ackPending = 0;
  EXPECT_EQ(read, block);
}

TEST(ResponseSimText, FileEdgeCases) {
  std::string many = "0;\n";
  for (int i = 0; i < 150; ++i) many += "200;0;0;-1;0;\n";
  struct Case {
    const char* name;
    std::string text;
    bool read;
    std::uint32_t on;         // simulationOn afterwards (it was 1)
    std::vector<int> stored;  // commandInf of the rows stored from row 1 on
  };
  const Case cases[] = {
      {"empty", "", false, 1, {}},
      {"one line", "0;\r\n", false, 1, {}},
      {"last line without end", "0;\r\n200;0;0;-1;0;", true, 0, {200}},
      {"bad switch, lines skipped, LF and CR ends",
       "7;\njunk\r\n200;0;0;-1;0;\r201;1;0;5;1;\n",
       true,
       1,
       {200, 201}},
      {"foreign text", "<xml>\r\n<a/>\r\n", true, 1, {}},
      {"at most 100 rows", many, true, 0, std::vector<int>(100, 200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResponseSimBlock block = NumberedTable();
    block.simulationOn = 1;
    const SimTextResult result = ReadSimText(c.text, kSep, block);
    EXPECT_EQ(result.read, c.read);
    EXPECT_EQ(block.simulationOn, c.on);
    std::vector<int> expected = c.stored;  // the rows after them as they were
    for (int i = static_cast<int>(expected.size()); i < kResponseSimRows; ++i) {
      expected.push_back(i);
    }
    EXPECT_EQ(result.rowsStored, static_cast<int>(c.stored.size()));
    EXPECT_EQ(Infs(block), expected);
  }
}

}  // namespace
}  // namespace kivo
