#include "link/serial_path.h"

#include <gtest/gtest.h>

#include "link/link_fixture.h"

namespace kivo {
namespace {

using testing::Hex;
using testing::Octets;
using testing::RepairChecksum;
using Path = testing::LinkTest;
using Strings = std::vector<std::string>;
namespace st = status;

TEST(SerialTiming, At9600BaudTheGapIs373AndFourCharactersTake5Ms) {
  EXPECT_EQ(CharacterGap(9600), 373u);
  EXPECT_EQ(FourCharacterTime(9600), 5u);
  EXPECT_EQ(CharacterTime(5, 9600), 8u);           // 6.35 ms rounded + 2
  EXPECT_EQ(CharacterTime(15, 19200), 11u);        // 8.9 ms rounded + 2
  EXPECT_EQ(CharacterGap(0), CharacterGap(9600));  // a damaged block does not divide by 0
}

TEST(ReceiveAssembler, ReportsFramesAndInvalidRunsWithTheirReason) {
  using Result = ReceiveAssembler::Result;
  ReceiveAssembler assembler;
  std::vector<std::string> units;
  auto take = [&](Result result) {
    if (result == Result::NeedMore) return;
    const char* kind = result == Result::Frame ? "frame " : "run ";
    const char* why[] = {"", " (no start)", " (header)", " (cut)"};
    units.push_back(kind + testing::ToHex(assembler.Octets()) +
                    why[static_cast<int>(assembler.reason())]);
    assembler.Clear();
  };
  auto feed = [&](const std::string& hex) {
    for (std::uint8_t octet : Hex(hex)) {
      for (;;) {
        const ReceiveAssembler::Step step = assembler.Feed(octet);
        take(step.result);
        if (step.consumed) break;
      }
    }
  };
  feed("01 02 10 49 01 4A 16 E5 68 09 08 68 10 49");
  take(assembler.Flush());
  take(assembler.Flush());  // nothing gathered
  assembler.Configure(true, 3);
  feed("01 02 03 04");
  take(assembler.Flush());
  EXPECT_EQ(units,
            (Strings{"run 01 02 (no start)", "frame 10 49 01 4A 16", "frame E5",
                     "run 68 09 08 68 (header)", "run 10 49 (cut)", "frame 01 02 03", "frame 04"}));
}

// Batches of octets on an unassigned port; the character gap then runs out.
TEST_F(Path, UnassignedPortCutsTheStreamIntoFrames) {
  auto repeated = [](const char* octet, int count, const char* tail = "") {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::string(octet) + " ";
    return text + tail;
  };
  const std::string userData = RepairChecksum("68 09 09 68 08 01 07 81 09 01 FF 00 05 00 16");
  const struct {
    const char* what;
    Strings batches;
    Strings frames;  // not looked at when empty, nor the codes
    std::vector<int> codes;
  } cases[] = {
      {"0xE5 ends at once", {"E5 10 49 01 4A 16 E5"}, {"E5", "10 49 01 4A 16", "E5"}, {40, 40, 40}},
      {"a frame over two batches", {userData.substr(0, 8), userData.substr(9)}, {userData}, {40}},
      {"noise before a frame",
       {"01 02 03 10 49 01 4A 16"},
       {"01 02 03", "10 49 01 4A 16"},
       {5, 40}},
      {"truncated, ended by the gap", {"10 49 01"}, {"10 49 01"}, {8}},
      {"header with L below 5", {"68 03 03 68 09 01"}, {"68 03 03 68", "09 01"}, {8, 5}},
      {"wrong second 0x68", {"68 09 09 67 08 01"}, {"68 09 09 67", "08 01"}, {8, 5}},
      {"0x10 inside the longest frame is data",
       {repeated("10", 257, "E5").insert(0, "68 FF FF 68 ")},
       {},
       {st::kNoEndCharacter, 40}},
      {"runs of 0x68 stay inside the buffer", {repeated("68", 600)}, {}, {}},
      {"noise in runs of 32", {repeated("33", 40)}, {}, {5, 5}},
  };
  Online();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    logged.clear();
    std::size_t octets = 0, loggedOctets = 0;
    for (const std::string& batch : c.batches) {
      Deliver(batch);
      octets += Hex(batch).size();
    }
    Ticks(8);
    if (!c.frames.empty()) {
      EXPECT_EQ(LoggedFrames(), c.frames);
    }
    if (!c.codes.empty()) {
      EXPECT_EQ(LoggedStatus(), c.codes);
    }
    for (const TLogEntry& entry : logged) {
      EXPECT_EQ(entry.channel, 1);
      EXPECT_LE(entry.byteCount, TLogEntry::kMaxByteCount);
      loggedOctets += entry.byteCount;
    }
    EXPECT_EQ(loggedOctets, octets);  // every octet once
  }
  EXPECT_EQ(logged[0].byteCount, 32);
  EXPECT_EQ(logged[1].byteCount, 8);
  // A frame cut short waits for the whole gap of 373 ms.
  Deliver("10 49 01");
  Ticks(6);
  EXPECT_EQ(logged.size(), 2u);
  Ticks(2);
  EXPECT_EQ(logged.size(), 3u);
}

TEST_F(Path, GapMonitorCutsByTelegramLengthAndGapAndFlagsLineErrors) {
  Online([](PortParams& params) {
    params.function = PortFunction::GapMonitor;
    params.telegramLength = 4;
    params.responseTimeout = 20;  // the character gap
  });
  Deliver("10 49 01 4A 16 E5");
  EXPECT_EQ(LoggedFrames(), (Strings{"10 49 01 4A"}));
  clock.Advance(21);
  Deliver("68 01");
  EXPECT_EQ(LoggedFrames(), (Strings{"10 49 01 4A", "16 E5"}));
  Ticks(2);
  EXPECT_EQ(LoggedFrames().back(), "68 01");
  EXPECT_EQ(LoggedStatus(), (std::vector<int>{40, 40, 40}));
  Deliver("10 49 01", kLineFraming);
  EXPECT_EQ(logged.back().status, st::kGapLineError);
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
  ClosePort(link, 0);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(Head(logged[2]), Head(event::kPortClosed, kFrameEvent, 1, 1));
  EXPECT_EQ(FrameOf(logged[2]),
            "02 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80 25 00 00");
  EXPECT_FALSE(port.open);
  EXPECT_EQ(line.closed, 1);
  port.params.function = PortFunction::Secondary;
  ASSERT_TRUE(OpenPort(link, 0));
  ASSERT_EQ(logged.size(), 4u);
  EXPECT_EQ(logged[3].status, event::kPortOpened);
  EXPECT_EQ(logged[3].byteCount, 24);
  EXPECT_EQ(logged[3].Frame()[16], 2);  // the port function
  EXPECT_EQ(line.dtr, (std::vector<bool>{false, false}));
}

TEST_F(Path, PortThatCannotBeOpenedOrGoesAwayIsClosedAndSaysWhy) {
  line.refuseOpen = true;
  EXPECT_FALSE(OpenPort(link, 0));
  EXPECT_FALSE(port.open);
  EXPECT_TRUE(logged.empty());
  line.refuseOpen = false;
  Online();
  line.incoming.push_back({Hex("10 5B 01 5C 16"), 0});
  line.gone = true;
  OnDataAvailable(link, 0);
  EXPECT_FALSE(port.open);
  EXPECT_EQ(observer.failures, (Strings{"fake port refused", "fake port gone"}));
  EXPECT_EQ(LoggedFrames()[0], "10 5B 01 5C 16");  // what it delivered, then the close
  EXPECT_EQ(LoggedStatus(), (std::vector<int>{st::kCorrect, event::kPortClosed}));
}

// With the reopen option a vanished or missing device is tried again once a
// second, quietly; when it is back, event 48 is logged and the primary resets
// its addresses again. Without it, nothing is tried.
TEST_F(Path, ReopenOptionTriesAVanishedPortOnceASecondUntilItIsBack) {
  for (const std::uint8_t reopen : {0, 1}) {
    SCOPED_TRACE(reopen);
    ClosePort(link, 0);
    observer.failures.clear();
    Listen(PortFunction::Primary, {1});
    Online([reopen](PortParams& p) { p.reopen = reopen; });
    SetListBit(port.notReset, 0, false);  // the link of address 1 was up
    line.gone = true;
    line.refuseOpen = true;
    OnDataAvailable(link, 0);
    EXPECT_FALSE(port.open);
    EXPECT_EQ(port.awaitingReopen, reopen == 1);
    clock.Advance(999);
    EXPECT_FALSE(RetryReopen(link, 0));  // not yet a second
    clock.Advance(1);
    EXPECT_FALSE(RetryReopen(link, 0));  // tried: still refused
    line.gone = false;
    line.refuseOpen = false;
    clock.Advance(500);
    EXPECT_FALSE(RetryReopen(link, 0));  // the next try is a second after the last
    clock.Advance(500);
    EXPECT_EQ(RetryReopen(link, 0), reopen == 1);
    EXPECT_EQ(port.open, reopen == 1);
    EXPECT_EQ(observer.failures, Strings{"fake port gone"});  // the retries are quiet
    if (reopen == 1) {
      EXPECT_EQ(LoggedStatus(), (std::vector<int>{event::kPortClosed, event::kPortOpened}));
      EXPECT_TRUE(TestListBit(port.notReset, 0));  // the link procedure starts over
      EXPECT_FALSE(port.awaitingReopen);
    }
    logged.clear();
  }
  // Not there when going online: awaited as well, until the operator closes.
  ClosePort(link, 0);
  line.refuseOpen = true;
  EXPECT_FALSE(OpenPort(link, 0));
  EXPECT_TRUE(port.awaitingReopen);
  ClosePort(link, 0);
  EXPECT_FALSE(port.awaitingReopen);
  line.refuseOpen = false;
  clock.Advance(2000);
  EXPECT_FALSE(RetryReopen(link, 0));
}

// Lead and lag of RTS around the write by the RTS function (0 and 1 leave it
// alone), on at the lead when the idle state is off.
TEST_F(Path, SentFrameIsWrittenAndLoggedOnTheTransmitChannelWithRtsAroundIt) {
  const struct {
    std::uint8_t function;
    bool idle;
  } cases[] = {{0, true}, {1, false}, {2, false}, {3, true}};
  Online();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    ClosePort(link, 0);
    port.params.rtsFunction = c.function;
    port.params.rtsLead = 20;
    port.params.rtsLag = 30;
    ASSERT_TRUE(OpenPort(link, 0));
    logged.clear();
    line.written.clear();
    line.rts.clear();
    const std::uint32_t start = clock.NowMs();
    ASSERT_TRUE(Send(FixedRequest::RequestStatus));
    RunTimers();
    ASSERT_EQ(line.written.size(), 1u);
    EXPECT_EQ(testing::ToHex(line.written[0].octets), "10 49 01 4A 16");
    const std::string sent = Head(st::kCorrect, kFrameFixed, 2, 1, 0x49);
    if (c.function < 2) {
      EXPECT_EQ(line.written[0].ms, start);  // at once
      EXPECT_TRUE(line.rts.empty());
      EXPECT_EQ(LoggedHeads(), (Strings{sent}));
    } else {
      EXPECT_EQ(line.written[0].ms, start + 20);
      ASSERT_EQ(line.rts.size(), 2u);
      // lead, character time, lag
      EXPECT_EQ(std::tuple(line.rts[0].ms - start, line.rts[0].on, line.rts[1].ms - start,
                           line.rts[1].on),
                std::tuple(0u, !c.idle, 20u + 8u + 30u, c.idle));
      EXPECT_EQ(LoggedHeads(),
                (Strings{Head(event::kRtsChanged, kFrameFixed, 2, c.idle ? 0 : 1), sent,
                         Head(event::kRtsChanged, kFrameFixed, 2, c.idle ? 1 : 0)}));
    }
    EXPECT_TRUE(TransmitIdle(port));
    EXPECT_TRUE(port.responseTimeoutArmed);
    EXPECT_FALSE(StartTransmit(link, port));  // nothing new is ready
  }
}

// RTS function 4: the driver gets RTS with the lead and lag at the open and
// gives it back at the close; meanwhile a frame goes out at once, with no
// RTS of ours and no RTS event. A port that cannot do it stays closed.
TEST_F(Path, RtsByTheDriverIsHandedOverAtOpenAndTakenBackAtClose) {
  Online([](PortParams& params) {
    params.rtsFunction = PortParams::kRtsByDriver;
    params.rtsLead = 20;
    params.rtsLag = 30;
  });
  const std::uint32_t start = clock.NowMs();
  ASSERT_TRUE(Send(FixedRequest::RequestStatus));
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(line.written[0].ms, start);
  RunTimers();
  EXPECT_TRUE(TransmitIdle(port));
  EXPECT_EQ(clock.NowMs(), start + 8);  // the character time only
  EXPECT_EQ(LoggedHeads(), (Strings{Head(st::kCorrect, kFrameFixed, 2, 1, 0x49)}));
  // Even a DTR handshake that has set the function to 0 meanwhile.
  port.params.rtsFunction = 0;
  ClosePort(link, 0);
  EXPECT_TRUE(line.rts.empty());
  EXPECT_EQ(line.rs485, (std::vector<Rs485Setting>{{true, 20, 30}, {}}));

  port.params.rtsFunction = PortParams::kRtsByDriver;
  line.refuseRs485 = true;
  const int closedBefore = line.closed;
  EXPECT_FALSE(OpenPort(link, 0));
  EXPECT_FALSE(port.open);
  EXPECT_EQ(line.closed, closedBefore + 1);
  EXPECT_EQ(observer.failures, (Strings{"fake port refused"}));
  EXPECT_EQ(LoggedStatus(), (std::vector<int>{st::kCorrect, event::kPortClosed}));
}

TEST_F(Path, SendNoReplyShortensTheLagByFourCharacters) {
  Online([](PortParams& params) {
    params.rtsFunction = 2;
    params.rtsLag = 30;
  });
  const std::uint32_t start = clock.NowMs();
  TakeFrame(port, Hex(RepairChecksum("68 09 09 68 44 FF 07 81 09 FF FF 00 05 00 16")),
            st::kCorrect);
  ASSERT_TRUE(StartTransmit(link, port));
  RunTimers();
  ASSERT_EQ(line.rts.size(), 2u);
  // 15 octets: 17.8 ms rounded + 2 + 5; lag 30 - 5.
  EXPECT_EQ(line.rts[1].ms - start, 20u + 5u + 25u);
  EXPECT_FALSE(port.responseExpected);
}

// Waits up to 54 ms run on a timer of their exact length, longer ones on a
// timer rounded to 10 ms, or without one the tick deadline; meanwhile the
// step returns and the port is served.
TEST_F(Path, SendDelayOnExactTimerRoundedTimerOrTick) {
  Online([](PortParams& params) { params.sendDelay = 54; });
  std::uint32_t start = clock.NowMs();
  ASSERT_TRUE(Send(FixedRequest::RequestStatus));
  EXPECT_EQ(clock.NowMs(), start);
  EXPECT_TRUE(line.written.empty());
  RunTimers();
  ASSERT_EQ(line.written.size(), 1u);
  EXPECT_EQ(line.written[0].ms, start + 54);
  EXPECT_EQ(clock.PendingTimers(), 0u);

  port.params.sendDelay = 55;
  start = clock.NowMs();
  ASSERT_TRUE(Send(FixedRequest::RequestStatus));
  EXPECT_EQ(line.written.size(), 1u);
  ASSERT_EQ(clock.PendingTimers(), 1u);
  ASSERT_TRUE(clock.AdvanceToNextTimer());
  ASSERT_EQ(line.written.size(), 2u);
  EXPECT_EQ(line.written[1].ms, start + 60);  // (55 + 5) / 10 * 10
  RunTimers();

  port.params.sendDelay = 500;
  ASSERT_TRUE(Send(FixedRequest::RequestStatus));
  clock.Cancel(port.transmit.timerId);
  port.transmit.timerId = 0;
  int ticks = 0;
  while (line.written.size() == 2 && ticks < 30) {
    Ticks(1);
    ++ticks;
  }
  // SecondsToTicks(0.55) at 60 ms per tick = 10, plus one; the tick counter
  // moves after the port step, so the step of the twelfth tick sends.
  EXPECT_EQ(ticks, 12);
  // Closing cancels a pending timer.
  port.params.sendDelay = 200;
  ASSERT_TRUE(Send(FixedRequest::RequestStatus));
  ClosePort(link, 0);
  EXPECT_EQ(clock.PendingTimers(), 0u);
  EXPECT_EQ(line.written.size(), 3u);
}

// The port is read while its frame goes out: a master that polls as soon as
// it has the answer is answered at once, as the poll shows that the answer
// has left the line; without a poll the character time runs to its end.
TEST_F(Path, PollArrivingWhileTheAnswerGoesOutIsAnsweredAtOnce) {
  Online([](PortParams& params) { params.function = PortFunction::Secondary; });
  const std::uint32_t start = clock.NowMs();
  Deliver("10 40 01 41 16");  // reset of the remote link
  RunPostedLinkSteps(link);
  clock.Advance(1);  // 1 of the 8 ms of the acknowledgement
  Deliver("10 49 01 4A 16");
  RunPostedLinkSteps(link);
  ASSERT_EQ(line.written.size(), 2u);
  EXPECT_EQ(line.written[0].ms, start);
  EXPECT_EQ(std::tuple(line.written[1].ms, testing::ToHex(line.written[1].octets)),
            std::tuple(start + 1, std::string("10 2B 01 2C 16")));
  EXPECT_FALSE(TransmitIdle(port));
  clock.Advance(7);
  EXPECT_FALSE(TransmitIdle(port));
  clock.Advance(1);  // 8 ms after the status of link went out
  EXPECT_TRUE(TransmitIdle(port));
}

TEST_F(Path, RequestIsRepeatedWithStatus14AnAcknowledgementNot) {
  Online();
  TakeFrame(port, Hex("E5"), st::kCorrect);
  ASSERT_TRUE(StartTransmit(link, port));
  RunTimers();
  EXPECT_FALSE(RepeatLastFrame(link, port));
  line.written.clear();
  ASSERT_TRUE(Send(FixedRequest::PollClass2));
  EXPECT_TRUE(port.responseExpected);
  EXPECT_EQ(port.pendingAnswer, 255);
  EXPECT_FALSE(RepeatLastFrame(link, port));  // not while the poll goes out
  RunTimers();
  ASSERT_TRUE(RepeatLastFrame(link, port));
  ASSERT_EQ(line.written.size(), 2u);
  EXPECT_EQ(line.written[1].octets, line.written[0].octets);
  EXPECT_EQ(logged.back().status, st::kFcbNotToggled);
}

TEST_F(Path, ResetIsTakenByTheProcedureAndAnsweredAtTheNextStep) {
  Online([](PortParams& params) { params.function = PortFunction::Secondary; });
  Deliver("10 40 01 41 16 10 49 01 4B 16");  // a reset, then a checksum error
  EXPECT_EQ(LoggedHeads(), (Strings{Head(st::kCorrect, kFrameFixed, 1, 1, 0x40),
                                    Head(event::kLinkResetReceived, kFrameEvent, 1, 1),
                                    Head(st::kChecksumError, kFrameFixed, 1, 1, 0x49)}));
  EXPECT_EQ(source.linkEvents, (std::vector<int>{kTriggerLinkResetReceived}));
  EXPECT_EQ(source.stops, (std::vector<int>{1}));
  EXPECT_EQ(observer.statusChanges, (std::vector<int>{0}));
  EXPECT_TRUE(line.written.empty());  // the answer waits for the step
  EXPECT_TRUE(port.stepPosted);
  RunPostedLinkSteps(link);
  EXPECT_FALSE(port.stepPosted);
  ASSERT_EQ(line.written.size(), 1u);
  // The acknowledgement announces the identification that now waits.
  EXPECT_EQ(testing::ToHex(line.written[0].octets), "10 20 01 21 16");
}

TEST_F(Path, UnassignedPortHasNoProcedureAndItsStepDoesNotEnterItself) {
  int calls = 0;
  source.onSelectDue = [&](PortRecord& p) {
    ++calls;
    LinkEngineStep(link, p);
  };
  Online();
  Deliver("10 49 01 4A 16");
  EXPECT_FALSE(port.stepPosted);
  EXPECT_TRUE(line.written.empty());
  LinkEngineStep(link, port);
  EXPECT_EQ(calls, 1);
}

TEST_F(Path, WatchedModemLineChangeIsLogged) {
  line.modem = kModemCts;
  Online([](PortParams& params) { params.watchedLines = 0x80; });  // DCD only
  line.modem = kModemDcd;                                          // DCD on, CTS off
  Ticks(1);
  line.modem = kModemDcd | kModemCts;  // not watched
  Ticks(1);
  EXPECT_EQ(LoggedHeads(), (Strings{Head(event::kModemLines, kFrameFixed, 1, 0x88)}));
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
  ports[1].params.portNumber = 2;
  Online();
  ASSERT_TRUE(ports[1].open);
  ClosePort(link, 0);  // both ports share the fake line
  logged.clear();
  line.incoming.push_back({Hex("E5"), 0});
  OnDataAvailable(link, 1);
  ASSERT_TRUE(SendFixed(link, ports[1], FixedRequest::RequestStatus));
  // port 2 speaks as address 2
  EXPECT_EQ(LoggedHeads(), (Strings{Head(st::kCorrect, kFrameFixed, 3, 0, 0xE5),
                                    Head(st::kCorrect, kFrameFixed, 4, 2, 0x49)}));
  EXPECT_EQ(LoggedFrames(), (Strings{"E5", "10 49 02 4B 16"}));
}

}  // namespace
}  // namespace kivo
