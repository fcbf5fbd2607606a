// Starting, stopping, committing and naming telegrams and lists, and the
// command-response rows a port may answer, on the send layer alone.
#include "send/send_execution.h"

#include <gtest/gtest.h>

#include "send/send_fixture.h"
#include "send/send_list.h"

namespace kivo {
namespace {

class SendExecutionTest : public ::testing::Test {
 protected:
  testing::SendWorld world;
  SendContext& send = world.send;
  SendData& data = world.data;
};

TEST_F(SendExecutionTest, StopsLeaveOnlyStartsWithoutEndForTheirAddress) {
  world.Serve(PortFunction::Secondary, {1, 3});
  SendTelegram& forOne = data.Telegram(1);
  SendTelegram& forThree = data.Telegram(2);
  SendTelegram& endlessForThree = data.Telegram(4);
  forOne.linkAddress = 1;
  forThree.linkAddress = endlessForThree.linkAddress = 3;
  for (SendTelegram* t : {&forOne, &forThree, &endlessForThree}) {
    t->repeatCount = t == &endlessForThree ? 0 : 5;
    t->sendState = kSendDue;
  }
  StopSending(send, 3);
  EXPECT_EQ(forOne.sendState, kSendDue);
  EXPECT_EQ(forThree.sendState, kSendIdle);
  EXPECT_EQ(endlessForThree.sendState, kSendDue);
  // Everything except a start without end for the broadcast address.
  endlessForThree.linkAddress = 255;
  EXPECT_TRUE(AnySending(send));
  StopSending(send, 255);
  EXPECT_EQ(forOne.sendState, kSendIdle);
  EXPECT_EQ(endlessForThree.sendState, kSendDue);
}

// A pause of 1080 ms at 54 ms a tick holds the next transmission for 20
// ticks (0.997 of the pause, cut, plus one) from the opportunity after the first.
TEST_F(SendExecutionTest, APauseSpacesTheTransmissions) {
  world.Serve(PortFunction::Primary, {1});
  world.time.msPerTick = 54;
  SendTelegram& t = data.Telegram(10);
  t.typeId = 20, t.repeatCount = 2, t.pauseMs = 1080, t.sendState = kSendDue;
  std::string sent;
  for (int tick = 0; tick < 30; ++tick, ++world.time.tickCounter) {
    OutgoingFrame frame;
    SelectDue(send, world.ports[0]);
    if (SendSelected(send, world.ports[0], frame)) sent += std::to_string(tick) + " ";
  }
  EXPECT_EQ(sent, "0 21 ");
  EXPECT_EQ(t.sendState, kSendIdle);
}

TEST_F(SendExecutionTest, CommittingMarksTheSendDataModifiedOnlyForARealChange) {
  SendTelegram work = data.Telegram(3);
  work.focusIndex = 7;
  work.sendState = kSendDue;
  CommitSendTelegram(send, 3, work);
  EXPECT_FALSE(world.sendDataModified);
  work.inf = 99;
  CommitSendTelegram(send, 3, work);
  EXPECT_TRUE(world.sendDataModified);

  world.sendDataModified = false;
  SendList list = data.List(2);
  list.Row(7).active = 1;
  list.sendState = kSendDue;
  data.List(2).sendState = kSendDue;
  CommitSendList(send, 2, list);
  EXPECT_TRUE(world.sendDataModified);
  EXPECT_EQ(list.activeRows, 1u);
  EXPECT_EQ(list.lastActiveRow, 7u);
  EXPECT_EQ(data.List(2).sendState, kSendIdle);  // committing stops the list
  EXPECT_EQ(world.events.captions, (std::vector<int>{3, 3, 14}));
}

TEST_F(SendExecutionTest, TheCaptionsNameTriggerAndTelegram) {
  ASSERT_TRUE(LoadTexts(world.texts, KIVO_LANG_DIR, 1).ok());
  SendTelegram& t = data.Telegram(11);
  t.trigger = kTriggerReceivedType;
  t.triggerType = 7;
  t.name.Set("Answer");
  data.List(12).name.Set("List");
  EXPECT_EQ(SendCaption(send, 11), "B" + world.texts.Text(865) + "7 Answer");
  EXPECT_EQ(SendCaption(send, 24), "C" + world.texts.Text(864) + "List");
}

// A general command of station 1 taken by port 2 of a program whose port 1
// is a primary.
TEST_F(SendExecutionTest, ResponsesLeaveOnlyThroughThePortThatTookTheCommand) {
  PortRecord& masterPort = world.ports[0];
  PortRecord& devicePort = world.ports[1];
  masterPort.params.function = PortFunction::Primary;
  devicePort.params.function = PortFunction::Secondary;
  devicePort.params.addresses[0] = 1;
  data.simulation.simulationOn = 1;
  ResponseSimRow& row = data.simulation.rows[0];
  row.commandInf = 16, row.positiveAck = 1;
  TLogEntry command;
  command.SetFrame(testing::Hex("68 0A 0A 68 53 01 14 81 14 01 80 10 02 05 00 16"));
  command.linkAddress = 1;
  OnGeneralCommand(send, devicePort, command);
  EXPECT_EQ(row.commandPort, 2);
  OutgoingFrame frame;
  EXPECT_EQ(CountPendingResponses(send, masterPort), 0);
  EXPECT_FALSE(SendPendingResponse(send, masterPort, frame));
  EXPECT_EQ(CountPendingResponses(send, devicePort), 1);
  EXPECT_TRUE(SendPendingResponse(send, devicePort, frame));
  EXPECT_EQ(row.ackPending, 0);
}

TEST_F(SendExecutionTest, PendingResponsesCountForTheServedStationOnly) {
  world.Serve(PortFunction::Secondary, {1, 2});
  PortRecord& port = world.ports[0];
  data.simulation.simulationOn = 1;
  const testing::Octets command = testing::Hex("68 0A 0A 68 53 01 14 81 14 01 80 10 02 05 00 16");
  // address, ack pending, response pending, stored octets
  const int stored[][4] = {{2, 1, 1, 16}, {255, 1, 0, 16}, {1, 0, 1, 16}, {1, 1, 1, 10}};
  for (std::size_t i = 0; i < std::size(stored); ++i) {
    ResponseSimRow& row = data.simulation.rows[i];
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
    port.params.function = function;
    port.currentIndex = index;
    port.linkTest.ltNoUserData = noUserData;
    EXPECT_EQ(CountPendingResponses(send, port), count) << index;
    EXPECT_EQ(port.send.pendingResponseRow, first) << index;
  }
  // A stored command too short to answer lost its flags.
  EXPECT_EQ(data.simulation.rows[3].ackPending + data.simulation.rows[3].responsePending, 0);
  data.simulation.simulationOn = 0;
  port.linkTest.ltNoUserData = false;
  OutgoingFrame frame;
  EXPECT_EQ(CountPendingResponses(send, port), 0);
  EXPECT_FALSE(SendPendingResponse(send, port, frame));
}

}  // namespace
}  // namespace kivo
