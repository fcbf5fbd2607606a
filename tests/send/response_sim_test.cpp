// The command-response simulation on the line: the test plays the primary
// toward station 1 of a secondary Instance (and, for the whole cycle, a
// primary Instance does), and the answers are compared octet for octet.
#include <gtest/gtest.h>

#include "link/frame_codec.h"
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
    Poll();
    loggedS.clear();
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
  std::string Poll() { return Request("10 5A 01 00 16"); }
  static std::string CommandHex(int inf, int dco, int rii) {
    char text[64];
    std::snprintf(text, sizeof text, "68 0A 0A 68 53 01 14 81 14 01 80 %02X %02X %02X 00 16", inf,
                  dco, rii);
    return text;
  }
  std::string Command(int inf, int dco, int rii) { return Request(CommandHex(inf, dco, rii)); }
  int LastCommandStatus() const {
    for (auto e = loggedS.rbegin(); e != loggedS.rend(); ++e) {
      if (e->channel == 1 && e->byteCount == 16) return e->status;
    }
    return -1;
  }
  // The expected message with "TT" for the four time octets, which must be
  // the secondary's time of now; "CS" is the checksum.
  void ExpectMessage(const std::string& sent, const std::string& pattern) {
    SCOPED_TRACE(pattern);
    const Octets actual = Hex(sent);
    ASSERT_EQ(actual.size(), 20u) << sent;
    std::string expected = pattern;
    for (std::size_t i = 13; i <= 16; ++i) {
      char octet[3];
      std::snprintf(octet, sizeof octet, "%02X", actual[i]);
      expected.replace(expected.find("TT"), 2, octet);
    }
    expected.replace(expected.find("CS"), 2, "00");
    EXPECT_EQ(sent, RepairChecksum(expected));
    const std::uint32_t now = secondary.timeBase.TimeOfDayMs();
    EXPECT_LT(actual[13] | actual[14] << 8, 60000);
    EXPECT_EQ(actual[15], (now / 60000) % 60);
    EXPECT_EQ(actual[16] & 0x7F, (now / 3600000) % 24);
    EXPECT_EQ((actual[16] & 0x80) != 0, secondary.general.summerTime != 0);
  }
};

// Command ON (DCO 2, RII 5) on INF 16; the messages that the class 1 polls
// after it fetch.
struct AnswerCase {
  const char* name;
  ResponseSimRow row;
  std::vector<std::string> messages;
};

TEST_F(ResponseSim, RowAnswersCommandWithAcknowledgementThenResponseMessage) {
  const AnswerCase cases[] = {
      {"state 4: DPI = DCO",
       MakeRow(16, 1, 0, 16, 4),
       {"68 0E 0E 68 28 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16",
        "68 0E 0E 68 08 01 01 81 0C 01 80 10 02 TT TT TT TT 05 CS 16"}},
      {"state 5: DPI = DCO xor 3",
       MakeRow(16, 1, 0, 16, 5),
       {"68 0E 0E 68 28 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16",
        "68 0E 0E 68 08 01 01 81 0C 01 80 10 01 TT TT TT TT 05 CS 16"}},
      {"negative wins, response on INF 40 with DPI 3",
       MakeRow(16, 1, 1, 40, 3),
       {"68 0E 0E 68 28 01 01 81 15 01 80 10 02 TT TT TT TT 05 CS 16",
        "68 0E 0E 68 08 01 01 81 0C 01 80 28 03 TT TT TT TT 05 CS 16"}},
      {"response message only",
       MakeRow(16, 0, 0, 16, 0),
       {"68 0E 0E 68 08 01 01 81 0C 01 80 10 00 TT TT TT TT 05 CS 16"}},
      {"acknowledgement only",
       MakeRow(16, 1, 0, -1, 4),
       {"68 0E 0E 68 08 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16"}},
  };
  Station();
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    Table().rows[0] = c.row;
    Table().rows[1] = MakeRow(17, 1, 0, 17, 4);  // another number stays quiet
    EXPECT_EQ(Command(16, 2, 5), kAckWithAcd);   // the first answer is announced at once
    EXPECT_EQ(LastCommandStatus(), status::kCorrect);
    for (const std::string& message : c.messages) ExpectMessage(Poll(), message);
    EXPECT_EQ(Poll(), kNoData);
    EXPECT_EQ(Table().rows[1].ackPending, 0);
  }
}

TEST_F(ResponseSim, SecondCommandBeforeTheAnswersIsRefusedAndTheFirstAnswersFollow) {
  Table().rows[0] = MakeRow(16, 1, 0, 16, 4);
  Station();
  EXPECT_EQ(Command(16, 2, 5), kAckWithAcd);
  ExpectMessage(Poll(), "68 0E 0E 68 28 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16");
  EXPECT_EQ(Command(16, 1, 6), kAckWithAcd);
  EXPECT_EQ(LastCommandStatus(), status::kCommandRefused);
  ExpectMessage(Poll(), "68 0E 0E 68 28 01 01 81 15 01 80 10 01 TT TT TT TT 06 CS 16");
  ExpectMessage(Poll(), "68 0E 0E 68 08 01 01 81 0C 01 80 10 02 TT TT TT TT 05 CS 16");
  EXPECT_EQ(Poll(), kNoData);
}

TEST_F(ResponseSim, CommandWithoutRowIsRefusedCarryingItsInfDcoAndRii) {
  secondary.general.summerTime = 1;
  Table().rows[0] = MakeRow(16, 1, 0, 16, 4);
  Station();
  EXPECT_EQ(Command(17, 2, 9), kAckWithAcd);
  EXPECT_EQ(LastCommandStatus(), status::kCommandRefused);
  ExpectMessage(Poll(), "68 0E 0E 68 08 01 01 81 15 01 80 11 02 TT TT TT TT 09 CS 16");
  EXPECT_EQ(Poll(), kNoData);
  EXPECT_EQ(Table().rows[0].ackPending, 0);
}

TEST_F(ResponseSim, TruncatedCommandIsLeftAlone) {
  Station();
  // INF present, DCO and RII missing: logged with its ASDU status, not answered.
  EXPECT_EQ(Request("68 08 08 68 53 01 14 81 14 01 80 10 00 16"), "E5");
  EXPECT_EQ(loggedS.front().status, status::kAsduLength);
  EXPECT_EQ(Poll(), kNoData);
}

TEST_F(ResponseSim, SwitchedOffNothingMatchesAndPendingAnswersWait) {
  Table().rows[0] = MakeRow(16, 1, 0, 16, 4);
  Station();
  EXPECT_EQ(Command(16, 2, 5), kAckWithAcd);
  Table().simulationOn = 0;
  EXPECT_EQ(Poll(), kNoData);
  EXPECT_EQ(Command(17, 2, 7), "E5");  // no row, yet no refusal
  EXPECT_EQ(Command(16, 1, 8), "E5");  // not taken: the stored command stays
  EXPECT_EQ(LastCommandStatus(), status::kCorrect);
  EXPECT_EQ(Poll(), kNoData);
  Table().simulationOn = 1;
  ExpectMessage(Poll(), "68 0E 0E 68 28 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16");
  ExpectMessage(Poll(), "68 0E 0E 68 08 01 01 81 0C 01 80 10 02 TT TT TT TT 05 CS 16");
}

TEST_F(ResponseSim, PrimaryCycleFetchesBothAnswersByAcd) {
  Table().rows[0] = MakeRow(16, 1, 0, 16, 5);
  Online();
  Ticks(10);
  ASSERT_EQ(pport.primary.cycle, PrimaryCycle::CycleStart);
  ASSERT_TRUE(TransmitIdle(pport));
  // The general command goes out through the primary's transmit path.
  Octets command = Hex(CommandHex(16, 2, 5));
  command[4] = CompleteControl(pport, 0x53, false);
  command = Hex(RepairChecksum(ToHex(command)));
  pport.transmitEntry = TLogEntry{};
  pport.transmitEntry.SetFrame(command);
  pport.transmitEntry.status = status::kCorrect;
  ClassifyFrame(pport.transmitEntry);
  pport.transmitReady = true;
  const std::size_t from = wire.sent.size();
  ASSERT_TRUE(StartTransmit(primary, pport));
  pport.primary.cycle = PrimaryCycle::AwaitAnswer;
  Settle();
  Ticks(3);
  std::vector<std::string> messages;
  for (const auto& frame : SentBy(Side::Secondary, from)) {
    if (frame.rfind("68 0E 0E 68", 0) == 0) messages.push_back(frame);
  }
  ASSERT_EQ(messages.size(), 2u);
  ExpectMessage(messages[0], "68 0E 0E 68 28 01 01 81 14 01 80 10 02 TT TT TT TT 05 CS 16");
  ExpectMessage(messages[1], "68 0E 0E 68 08 01 01 81 0C 01 80 10 01 TT TT TT TT 05 CS 16");
  EXPECT_EQ(SentBy(Side::Secondary, from).front(), kAckWithAcd);
}

TEST_F(ResponseSim, PrimaryPortSendsADueResponseAsSendConfirm) {
  // A primary's own table with a command stored for station 1.
  ResponseSimBlock& own = primary.send.simulation;
  own.simulationOn = 1;
  own.rows[3] = MakeRow(16, 1, 0, -1, 4);
  own.rows[3].ackPending = 1;
  own.rows[3].commandAddress = 1;
  own.rows[3].commandLength = 16;
  const Octets stored = Hex(RepairChecksum(CommandHex(16, 2, 5)));
  std::copy(stored.begin(), stored.end(), own.rows[3].commandFrame.begin());
  Online();
  Ticks(10);
  std::vector<Octets> sent;
  for (const auto& frame : SentBy(Side::Primary)) {
    if (frame.rfind("68 0E 0E 68", 0) == 0) sent.push_back(Hex(frame));
  }
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0][4] & 0xDF, 0x53);  // send/confirm with the station's FCB
  EXPECT_EQ(sent[0][8], 20);
  EXPECT_EQ(ToHex(sent[0]), RepairChecksum(ToHex(sent[0])));
  EXPECT_EQ(own.rows[3].ackPending, 0);
}

TEST_F(ResponseSim, CountsRowsForTheServedStationOnly) {
  Configure(sport.params, PortFunction::Secondary, {1, 2});
  const Octets command = Hex(RepairChecksum(CommandHex(16, 2, 5)));
  struct Stored {
    std::uint16_t address;
    std::uint8_t ack, response;
    std::uint16_t length;
  };
  const Stored stored[] = {{2, 1, 1, 16}, {255, 1, 0, 16}, {1, 0, 1, 16}, {1, 1, 1, 10}};
  for (std::size_t i = 0; i < std::size(stored); ++i) {
    ResponseSimRow& row = Table().rows[i];
    row.commandAddress = stored[i].address;
    row.ackPending = stored[i].ack;
    row.responsePending = stored[i].response;
    row.commandLength = stored[i].length;
    std::copy(command.begin(), command.end(), row.commandFrame.begin());
  }
  struct Case {
    PortFunction function;
    int index;
    bool noUserData;
    int count;
    int first;
  };
  const Case cases[] = {
      {PortFunction::Secondary, 0, false, 2, 1},   // 255 and 1
      {PortFunction::Secondary, 1, false, 3, 0},   // 2 and 255
      {PortFunction::Unassigned, 0, false, 4, 0},  // any address
      {PortFunction::Secondary, 0, true, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    sport.params.function = c.function;
    sport.currentIndex = c.index;
    sport.linkTest.ltNoUserData = c.noUserData;
    EXPECT_EQ(CountPendingResponses(secondary, sport), c.count);
    EXPECT_EQ(sport.send.pendingResponseRow, c.first);
  }
  // The row whose stored command is too short to answer has lost its flags.
  EXPECT_EQ(Table().rows[3].ackPending + Table().rows[3].responsePending, 0);
  Table().simulationOn = 0;
  sport.linkTest.ltNoUserData = false;
  EXPECT_EQ(CountPendingResponses(secondary, sport), 0);
  EXPECT_FALSE(SendPendingResponse(secondary, sport));
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
      {"1;0;0;3", MakeRow(1, 0, 0, 3, 2)},
      {"256;0;0;0;0;", std::nullopt},
      {"1;2;0;0;0;", std::nullopt},
      {"1;0;-1;0;0;", std::nullopt},
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
  std::size_t lines = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos;
       at = text.find("\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 101u);
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
