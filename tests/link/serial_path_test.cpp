#include "link/serial_path.h"

#include <gtest/gtest.h>

#include "link/serial_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::Octets;
using testing::RepairChecksum;
using Path = testing::SerialPathTest;
namespace st = status;

const std::string kUserData = RepairChecksum("68 09 09 68 08 01 07 81 09 01 FF 00 05 00 16");

TEST(SerialTiming, At9600BaudTheGapIs373AndFourCharactersTake5Ms) {
  EXPECT_EQ(CharacterGap(9600), 373u);
  EXPECT_EQ(FourCharacterTime(9600), 5u);
  EXPECT_EQ(CharacterTime(5, 9600), 8u);           // 6.35 ms rounded + 2
  EXPECT_EQ(CharacterTime(15, 19200), 11u);        // 8.9 ms rounded + 2
  EXPECT_EQ(CharacterGap(0), CharacterGap(9600));  // a damaged block does not divide by 0
}

TEST_F(Path, FixedFrameIsLoggedOnTheReceiveChannel) {
  Online();
  Deliver("10 49 01 4A 16");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(FrameOf(logged[0]), "10 49 01 4A 16");
  EXPECT_EQ(logged[0].status, st::kCorrect);
  EXPECT_EQ(logged[0].frameKind, kFrameFixed);
  EXPECT_EQ(logged[0].channel, 1);
  EXPECT_EQ(logged[0].linkAddress, 1);
  EXPECT_EQ(logged[0].control, 0x49);
}

TEST_F(Path, VariableFrameSplitOverBatchesIsOneFrame) {
  Online();
  const Octets frame = Hex(kUserData);
  Deliver(testing::ToHex(Octets(frame.begin(), frame.begin() + 3)));
  Deliver(testing::ToHex(Octets(frame.begin() + 3, frame.end())));
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(FrameOf(logged[0]), kUserData);
  EXPECT_EQ(logged[0].status, st::kCorrect);
  EXPECT_EQ(logged[0].frameKind, kFrameVariable);
}

struct AssemblyCase {
  const char* what;
  std::string octets;
  std::vector<std::string> frames;
  std::vector<int> codes;
};

// Octets in one batch on an unassigned port; the character gap then runs out.
TEST_F(Path, UnassignedPortCutsTheStreamIntoFrames) {
  const std::string noise40 = [] {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "33 ";
    return text;
  }();
  const std::vector<AssemblyCase> cases{
      {"0xE5 ends at once", "E5 10 49 01 4A 16 E5", {"E5", "10 49 01 4A 16", "E5"}, {40, 40, 40}},
      {"noise before a frame", "01 02 03 10 49 01 4A 16", {"01 02 03", "10 49 01 4A 16"}, {5, 40}},
      {"truncated, ended by the gap", "10 49 01", {"10 49 01"}, {8}},
      {"header with L below 5", "68 03 03 68 09 01", {"68 03 03 68", "09 01"}, {8, 5}},
      {"wrong second 0x68", "68 09 09 67 08 01", {"68 09 09 67", "08 01"}, {8, 5}},
      {"noise in runs of 32", noise40, {}, {5, 5}},
  };
  Online();
  for (const AssemblyCase& c : cases) {
    logged.clear();
    Deliver(c.octets);
    Ticks(8);
    if (!c.frames.empty()) {
      EXPECT_EQ(LoggedFrames(), c.frames) << c.what;
    }
    EXPECT_EQ(LoggedStatus(), c.codes) << c.what;
  }
  EXPECT_EQ(logged[0].byteCount, 32);
  EXPECT_EQ(logged[1].byteCount, 8);
}

TEST_F(Path, TruncatedFrameWaitsForTheWholeGap) {
  Online();
  Deliver("10 49 01");
  Ticks(6);  // 324 ms: within the gap of 373 ms
  EXPECT_TRUE(logged.empty());
  Ticks(2);
  EXPECT_EQ(logged.size(), 1u);
}

TEST_F(Path, LongestFrameIsTakenWhole) {
  Online();
  std::string frame = "68 FF FF 68";
  for (int i = 0; i < 257; ++i) frame += " 10";
  Deliver(frame + " E5");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].byteCount, 261);  // 0x10 inside the frame is data
  EXPECT_EQ(logged[0].frameKind, kFrameVariable);
  EXPECT_EQ(FrameOf(logged[1]), "E5");
}

TEST_F(Path, RunsOfStartCharactersStayInsideTheBuffer) {
  Online();
  std::string run;
  for (int i = 0; i < 600; ++i) run += "68 ";
  Deliver(run);
  Ticks(8);
  std::size_t octets = 0;
  for (const TLogEntry& entry : logged) {
    EXPECT_LE(entry.byteCount, TLogEntry::kMaxByteCount);
    octets += entry.byteCount;
  }
  EXPECT_EQ(octets, 600u);
}

TEST_F(Path, GapMonitorCutsByTelegramLengthAndGap) {
  Online([](PortParams& params) {
    params.function = PortFunction::GapMonitor;
    params.telegramLength = 4;
    params.responseTimeout = 20;  // the character gap
  });
  Deliver("10 49 01 4A 16 E5");
  EXPECT_EQ(LoggedFrames(), (std::vector<std::string>{"10 49 01 4A"}));
  fake.clock.Advance(21);
  Deliver("68 01");
  EXPECT_EQ(LoggedFrames(), (std::vector<std::string>{"10 49 01 4A", "16 E5"}));
  Ticks(2);
  EXPECT_EQ(LoggedFrames().back(), "68 01");
  for (const TLogEntry& entry : logged) EXPECT_EQ(entry.status, st::kCorrect);
}

TEST_F(Path, GapMonitorFlagsLineErrorsWithStatus1) {
  Online([](PortParams& params) {
    params.function = PortFunction::GapMonitor;
    params.telegramLength = 10;
  });
  Deliver("10 49 01", kLineFraming);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].status, st::kGapLineError);
}

TEST_F(Path, LineErrorEndsTheFrameAtTheEndOfTheBatch) {
  Online();
  Deliver("10 49", kLineParity);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(FrameOf(logged[0]), "10 49");
  Deliver("10 49 01 4A 16", kLineOverrun);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[1].status, st::kLineError);
  // With octets still pending behind it the frame keeps its own verdict.
  Deliver("10 49 01 4A 16 E5", kLineBreak);
  EXPECT_EQ(logged[2].status, st::kCorrect);
}

TEST_F(Path, SpikeFilterDropsTwoShortBurstsAndLogsTheThird) {
  Online([](PortParams& params) { params.spikeFilter = 1; });
  for (int burst = 0; burst < 3; ++burst) {
    Deliver("10 49");
    Ticks(8);
  }
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(FrameOf(logged[0]), "10 49");
  // A good frame resets the count.
  Deliver("10 49 01 4A 16");
  Deliver("10 49");
  Ticks(8);
  EXPECT_EQ(logged.size(), 2u);
}

TEST_F(Path, OpeningAndClosingLogTheCounters) {
  Online();
  Deliver("10 49 01 4B 16");  // checksum error
  Deliver("E5");
  ClosePort(instance, 0);
  ASSERT_EQ(logged.size(), 3u);
  const TLogEntry& closed = logged[2];
  EXPECT_EQ(closed.status, event::kPortClosed);
  EXPECT_EQ(closed.frameKind, kFrameEvent);
  EXPECT_EQ(closed.channel, 1);
  EXPECT_EQ(closed.linkAddress, 1);
  EXPECT_EQ(closed.control, 0);
  EXPECT_EQ(FrameOf(closed),
            "02 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 "
            "00 00 00 00 80 25 00 00");
  EXPECT_FALSE(port.open);
  EXPECT_EQ(line.closed, 1);

  port.params.function = PortFunction::Secondary;
  ASSERT_TRUE(OpenPort(instance, 0));
  ASSERT_EQ(logged.size(), 4u);
  EXPECT_EQ(logged[3].status, event::kPortOpened);
  EXPECT_EQ(logged[3].byteCount, 24);
  EXPECT_EQ(logged[3].Frame()[16], 2);  // the port function
  EXPECT_EQ(line.dtr, (std::vector<bool>{false, false}));
}

TEST_F(Path, PortThatCannotBeOpenedStaysClosedAndSaysWhy) {
  line.refuseOpen = true;
  GoOnline(instance);
  EXPECT_FALSE(port.open);
  ASSERT_FALSE(fake.prompter.messages.empty());
  EXPECT_EQ(fake.prompter.messages.back(), "fake port refused");
}

TEST_F(Path, SentFrameIsWrittenAndLoggedOnTheTransmitChannel) {
  Online();
  EncodeFixed(port, FixedRequest::RequestStatus);
  const std::uint32_t start = fake.clock.NowMs();
  ASSERT_TRUE(StartTransmit(instance, port));
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(testing::ToHex(line.written[0].octets), "10 49 01 4A 16");
  EXPECT_EQ(line.written[0].ms, start);  // no delay, RTS always on: at once
  EXPECT_TRUE(line.rts.empty());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].channel, 2);
  EXPECT_EQ(logged[0].status, st::kCorrect);
  EXPECT_EQ(FrameOf(logged[0]), "10 49 01 4A 16");
  EXPECT_TRUE(TransmitIdle(port));
  EXPECT_TRUE(port.responseTimeoutArmed);
  EXPECT_FALSE(StartTransmit(instance, port));  // nothing new is ready
}

struct RtsCase {
  std::uint8_t function;
  bool idle;
};

class RtsFunctions : public Path, public ::testing::WithParamInterface<RtsCase> {};

TEST_P(RtsFunctions, LeadAndLagAroundTheWrite) {
  const RtsCase c = GetParam();
  Online([&](PortParams& params) {
    params.rtsFunction = c.function;
    params.rtsLead = 20;
    params.rtsLag = 30;
  });
  const std::uint32_t start = fake.clock.NowMs();
  EncodeFixed(port, FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, port));
  ASSERT_EQ(line.written.size(), 1u);
  const bool switched = c.function >= 2;
  if (!switched) {
    EXPECT_EQ(line.written[0].ms, start);
    EXPECT_TRUE(line.rts.empty());
    EXPECT_EQ(logged.size(), 1u);
    return;
  }
  EXPECT_EQ(line.written[0].ms, start + 20);
  ASSERT_EQ(line.rts.size(), 2u);
  EXPECT_EQ(line.rts[0].ms, start);
  EXPECT_EQ(line.rts[0].on, !c.idle);
  EXPECT_EQ(line.rts[1].ms, start + 20 + 8 + 30);  // lead, character time, lag
  EXPECT_EQ(line.rts[1].on, c.idle);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].status, event::kRtsChanged);
  EXPECT_EQ(logged[0].frameKind, kFrameFixed);
  EXPECT_EQ(logged[0].channel, 2);
  EXPECT_EQ(logged[0].linkAddress, c.idle ? 0 : 1);
  EXPECT_EQ(logged[1].channel, 2);  // the frame
  EXPECT_EQ(logged[2].linkAddress, c.idle ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(SerialPath, RtsFunctions,
                         ::testing::Values(RtsCase{0, true}, RtsCase{1, false}, RtsCase{2, false},
                                           RtsCase{3, true}));

TEST_F(Path, SendNoReplyShortensTheLagByFourCharacters) {
  Online([](PortParams& params) {
    params.rtsFunction = 2;
    params.rtsLag = 30;
  });
  const std::uint32_t start = fake.clock.NowMs();
  port.transmitEntry.SetFrame(Hex(RepairChecksum("68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16")));
  port.transmitEntry.status = st::kCorrect;
  port.transmitReady = true;
  ASSERT_TRUE(StartTransmit(instance, port));
  ASSERT_EQ(line.rts.size(), 2u);
  // 15 octets: 17.8 ms rounded + 2 + 5; lag 30 - 5.
  EXPECT_EQ(line.rts[1].ms - start, 20u + 5u + 25u);
  EXPECT_FALSE(port.responseExpected);
}

TEST_F(Path, DelayOf54MsIsABusyWait) {
  Online([](PortParams& params) { params.sendDelay = 54; });
  const std::uint32_t start = fake.clock.NowMs();
  EncodeFixed(port, FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, port));
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(line.written[0].ms, start + 54);
  EXPECT_EQ(fake.clock.PendingTimers(), 0u);
}

TEST_F(Path, DelayAbove54MsUsesAOneShotTimer) {
  Online([](PortParams& params) { params.sendDelay = 55; });
  const std::uint32_t start = fake.clock.NowMs();
  EncodeFixed(port, FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, port));
  EXPECT_TRUE(line.written.empty());
  ASSERT_EQ(fake.clock.PendingTimers(), 1u);
  ASSERT_TRUE(fake.clock.AdvanceToNextTimer());
  EXPECT_EQ(fake.clock.NowMs() - start, 60u);  // (55 + 5) / 10 * 10
  EXPECT_TRUE(port.stepPosted);
  RunPostedLinkSteps(instance);
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(line.written[0].ms, start + 60);
}

TEST_F(Path, LongDelayWithoutTimerEndsByTheTickDeadline) {
  Online([](PortParams& params) { params.sendDelay = 500; });
  EncodeFixed(port, FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, port));
  fake.clock.Cancel(port.transmit.timerId);
  port.transmit.timerId = 0;
  int ticks = 0;
  while (line.written.empty() && ticks < 30) {
    Ticks(1);
    ++ticks;
  }
  // SecondsToTicks(0.55) at 60 ms per tick = 10, plus one; the tick counter
  // moves after the port step, so the step of the twelfth tick sends.
  EXPECT_EQ(ticks, 12);
}

TEST_F(Path, ClosingCancelsThePendingTimer) {
  Online([](PortParams& params) { params.sendDelay = 200; });
  EncodeFixed(port, FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, port));
  ClosePort(instance, 0);
  EXPECT_EQ(fake.clock.PendingTimers(), 0u);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(Path, RequestIsRepeatedWithStatus14) {
  Online();
  EncodeFixed(port, FixedRequest::PollClass2);
  ASSERT_TRUE(StartTransmit(instance, port));
  EXPECT_TRUE(port.responseExpected);
  EXPECT_EQ(port.pendingAnswer, 255);
  ASSERT_TRUE(RepeatLastFrame(instance, port));
  ASSERT_EQ(line.written.size(), 2u);
  EXPECT_EQ(line.written[1].octets, line.written[0].octets);
  EXPECT_EQ(logged.back().status, st::kFcbNotToggled);
}

TEST_F(Path, AcknowledgementIsNoRequestToRepeat) {
  Online();
  port.transmitEntry.SetFrame(Hex("E5"));
  port.transmitEntry.status = st::kCorrect;
  port.transmitReady = true;
  ASSERT_TRUE(StartTransmit(instance, port));
  EXPECT_FALSE(RepeatLastFrame(instance, port));
}

TEST_F(Path, FrameForTheProcedureIsHandedOverBeforeItIsLogged) {
  std::vector<std::string> handed;
  int steps = 0;
  port.link.onFrame = [&](Instance&, PortRecord& p, TLogEntry& entry) {
    handed.push_back(Path::FrameOf(entry));
    EXPECT_EQ(logged.size(), handed.size() - 1);
    p.linkResetAddress = entry.linkAddress;
  };
  port.link.step = [&](Instance&, PortRecord&) { ++steps; };
  std::vector<int> linkEvents;
  port.link.onLinkEvent = [&](Instance&, PortRecord&, int code) { linkEvents.push_back(code); };
  Online([](PortParams& params) { params.function = PortFunction::Secondary; });
  Deliver("10 40 01 41 16 10 49 01 4B 16");  // a reset, then a checksum error
  EXPECT_EQ(handed, (std::vector<std::string>{"10 40 01 41 16"}));
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[1].status, event::kLinkResetReceived);
  EXPECT_EQ(logged[1].channel, 1);
  EXPECT_EQ(logged[1].linkAddress, 1);
  EXPECT_EQ(linkEvents, (std::vector<int>{3}));
  EXPECT_TRUE(port.stepPosted);
  RunPostedLinkSteps(instance);
  EXPECT_EQ(steps, 1);
  EXPECT_FALSE(port.stepPosted);
}

TEST_F(Path, UnassignedPortHasNoProcedure) {
  int handed = 0;
  port.link.onFrame = [&](Instance&, PortRecord&, TLogEntry&) { ++handed; };
  Online();
  Deliver("10 49 01 4A 16");
  EXPECT_EQ(handed, 0);
  EXPECT_FALSE(port.stepPosted);
}

TEST_F(Path, StepDoesNotEnterItself) {
  int depth = 0, calls = 0;
  port.link.step = [&](Instance& inst, PortRecord& p) {
    ++calls;
    ++depth;
    LinkEngineStep(inst, p);
    --depth;
  };
  Online([](PortParams& params) { params.function = PortFunction::Primary; });
  LinkEngineStep(instance, port);
  EXPECT_EQ(calls, 1);
}

TEST_F(Path, WatchedModemLineChangeIsLogged) {
  line.modem = kModemCts;
  Online([](PortParams& params) { params.watchedLines = 0x80; });  // DCD only
  line.modem = kModemDcd;                                          // DCD on, CTS off
  Ticks(1);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].status, event::kModemLines);
  EXPECT_EQ(logged[0].frameKind, kFrameFixed);
  EXPECT_EQ(logged[0].channel, 1);
  EXPECT_EQ(logged[0].linkAddress, 0x88);
  line.modem = kModemDcd | kModemCts;  // not watched
  Ticks(1);
  EXPECT_EQ(logged.size(), 1u);
}

TEST_F(Path, LampsLightForTwoTicks) {
  Online();
  Deliver("E5");
  EXPECT_TRUE(port.receiveLamp.lit);
  EXPECT_EQ(port.receiveLamp.ImageIndex(4), 5);
  Ticks(1);
  EXPECT_TRUE(port.receiveLamp.lit);
  Ticks(1);
  EXPECT_FALSE(port.receiveLamp.lit);
}

TEST_F(Path, SecondPortUsesChannels3And4) {
  instance.ports[1].params.portNumber = 2;
  Online();
  ASSERT_TRUE(instance.ports[1].open);
  ClosePort(instance, 0);  // both ports share the fake line
  logged.clear();
  line.incoming.push_back({Hex("E5"), 0});
  OnDataAvailable(instance, 1);
  EncodeFixed(instance.ports[1], FixedRequest::RequestStatus);
  ASSERT_TRUE(StartTransmit(instance, instance.ports[1]));
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].channel, 3);
  EXPECT_EQ(logged[1].channel, 4);
  EXPECT_EQ(FrameOf(logged[1]), "10 49 02 4B 16");  // port 2 speaks as address 2
}

TEST_F(Path, StatusCellsOfThePortRow) {
  port.params.function = PortFunction::Primary;
  auto cells = PortStatusCells(instance, 0);
  EXPECT_EQ(cells[1], instance.texts.Text(1184));  // offline
  EXPECT_EQ(cells[2], "  1");
  EXPECT_EQ(cells[3], "  9600");
  EXPECT_EQ(cells[4], instance.texts.Text(887).substr(0, 15));
  GoOnline(instance);
  cells = PortStatusCells(instance, 0);
  EXPECT_EQ(cells[0], instance.texts.Text(1184));
  EXPECT_EQ(cells[1], instance.texts.Text(1186));
  port.notReset = 0;
  EXPECT_EQ(PortStatusCells(instance, 0)[1], instance.texts.Text(1185));
  EXPECT_EQ(PortStatusCells(instance, 1)[2], "- -");
}

}  // namespace
}  // namespace kivo
