#include "platform/sim/simulated_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;

constexpr CharacterFormat k9600{9600, 8, Parity::Even, 1};

struct Line {
  VirtualClock clock;
  SimulatedLine line{clock};
  std::unique_ptr<SerialPort> a = line.MakePort(0);
  std::unique_ptr<SerialPort> b = line.MakePort(1);

  explicit Line(CharacterFormat format = k9600) {
    EXPECT_TRUE(a->Open(format));
    EXPECT_TRUE(b->Open(format));
  }
};

Octets ReadAll(SerialPort& port) {
  Octets result;
  std::uint8_t buffer[7];
  while (std::size_t n = port.Read(buffer)) result.insert(result.end(), buffer, buffer + n);
  return result;
}

TEST(SimulatedLine, OctetsArriveAfterElevenBitTimesEach) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  // 1.1458 ms per octet at 9600 baud: the 9th is in at 10.3 ms, the 10th at 11.46 ms.
  t.clock.Advance(1);
  EXPECT_EQ(ReadAll(*t.b), Octets{});
  t.clock.Advance(1);
  EXPECT_EQ(ReadAll(*t.b), Octets{1});
  t.clock.Advance(9);
  EXPECT_EQ(ReadAll(*t.b), (Octets{2, 3, 4, 5, 6, 7, 8, 9}));
  t.clock.Advance(1);
  EXPECT_EQ(ReadAll(*t.b), Octets{10});
  EXPECT_EQ(ReadAll(*t.a), Octets{});
}

TEST(SimulatedLine, TimingFollowsTheBaudRate) {
  Line slow(CharacterFormat{1200, 8, Parity::Even, 1});  // 9.17 ms an octet
  ASSERT_TRUE(slow.b->Write(Octets{0x10, 0x49}));
  slow.clock.Advance(9);
  EXPECT_EQ(ReadAll(*slow.a), Octets{});
  slow.clock.Advance(1);
  EXPECT_EQ(ReadAll(*slow.a), Octets{0x10});
  slow.clock.Advance(8);  // the second is in at 18.33 ms
  EXPECT_EQ(ReadAll(*slow.a), Octets{});
  slow.clock.Advance(1);
  EXPECT_EQ(ReadAll(*slow.a), Octets{0x49});

  Line fast(CharacterFormat{115200, 8, Parity::None, 1});  // 95.5 us an octet
  ASSERT_TRUE(fast.a->Write(Octets(20, 0x55)));
  fast.clock.Advance(1);
  EXPECT_EQ(ReadAll(*fast.b).size(), 10u);
  fast.clock.Advance(1);
  EXPECT_EQ(ReadAll(*fast.b).size(), 10u);
}

TEST(SimulatedLine, WritesQueueBehindOctetsStillOnTheWire) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{0xE5}));
  ASSERT_TRUE(t.a->Write(Octets{0xA2}));
  t.clock.Advance(2);  // the first in at 1.15 ms, the second not before 2.29 ms
  EXPECT_EQ(ReadAll(*t.b), Octets{0xE5});
  t.clock.Advance(1);
  EXPECT_EQ(ReadAll(*t.b), Octets{0xA2});
}

TEST(SimulatedLine, BothDirectionsAtOnce) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{0x10, 0x5B, 0x01, 0x5C, 0x16}));
  ASSERT_TRUE(t.b->Write(Octets{0xE5}));
  t.clock.Advance(10);
  EXPECT_EQ(ReadAll(*t.b), (Octets{0x10, 0x5B, 0x01, 0x5C, 0x16}));
  EXPECT_EQ(ReadAll(*t.a), Octets{0xE5});
}

TEST(SimulatedLine, ReadTakesNoMoreThanAsked) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3}));
  t.clock.Advance(5);
  std::uint8_t two[2];
  EXPECT_EQ(t.b->Read(two), 2u);
  EXPECT_EQ(two[1], 2);
  EXPECT_EQ(ReadAll(*t.b), Octets{3});
}

TEST(SimulatedLine, HandlerCalledAsOctetsArrive) {
  Line t;
  Octets received;
  std::vector<std::uint32_t> calls;
  t.b->SetActivityHandler([&] {
    calls.push_back(t.clock.NowMs());
    Octets batch = ReadAll(*t.b);
    received.insert(received.end(), batch.begin(), batch.end());
  });
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3}));
  const std::uint32_t start = t.clock.NowMs();
  while (t.clock.AdvanceToNextTimer()) {
  }
  EXPECT_EQ(received, (Octets{1, 2, 3}));
  // Arrivals at 1.15, 2.29 and 3.44 ms: one call in each of ms 2, 3 and 4.
  EXPECT_EQ(calls, (std::vector<std::uint32_t>{start + 2, start + 3, start + 4}));
}

TEST(SimulatedLine, NothingArrivesAtAClosedEnd) {
  Line t;
  t.b->Close();
  ASSERT_TRUE(t.a->Write(Octets{1, 2}));
  ASSERT_TRUE(t.b->Open(k9600));
  t.clock.Advance(10);
  EXPECT_EQ(ReadAll(*t.b), Octets{});
  EXPECT_FALSE(t.b->Gone());
}

TEST(SimulatedLine, WritingOnAClosedPortFails) {
  VirtualClock clock;
  SimulatedLine line(clock);
  auto port = line.MakePort(0);
  EXPECT_FALSE(port->Write(Octets{1}));
  EXPECT_FALSE(port->LastError().empty());
}

TEST(SimulatedLine, FlushDropsWhatWasReceivedAndWhatWasNotYetSent) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3, 4}));
  t.clock.Advance(3);  // 1 and 2 are in, 3 is on the wire, 4 waits
  t.b->Flush();
  t.a->Flush();
  t.clock.Advance(10);
  EXPECT_EQ(ReadAll(*t.b), Octets{3});
}

TEST(SimulatedLine, RtsIsCtsAndDtrIsDsrAndDcdOfTheOtherEnd) {
  Line t;
  EXPECT_EQ(t.b->ModemStatus(), 0);
  t.a->SetRts(true);
  EXPECT_EQ(t.b->ModemStatus(), kModemCts);
  t.a->SetDtr(true);
  EXPECT_EQ(t.b->ModemStatus(), kModemCts | kModemDsr | kModemDcd);
  t.a->SetRts(false);
  EXPECT_EQ(t.b->ModemStatus(), kModemDsr | kModemDcd);
  EXPECT_EQ(t.a->ModemStatus(), 0);
  t.b->SetRts(true);
  EXPECT_EQ(t.a->ModemStatus(), kModemCts);
}

TEST(SimulatedLine, LinesSetBeforeOpeningShowOnceOpen) {
  VirtualClock clock;
  SimulatedLine line(clock);
  auto a = line.MakePort(0);
  auto b = line.MakePort(1);
  ASSERT_TRUE(b->Open(k9600));
  a->SetDtr(true);
  EXPECT_EQ(b->ModemStatus(), 0);
  ASSERT_TRUE(a->Open(k9600));
  EXPECT_EQ(b->ModemStatus(), kModemDsr | kModemDcd);
  a->Close();
  EXPECT_EQ(b->ModemStatus(), 0);
}

TEST(SimulatedLine, ModemChangeCallsTheOtherEndsHandler) {
  Line t;
  int calls = 0;
  t.b->SetActivityHandler([&] { ++calls; });
  t.a->SetRts(true);
  t.a->SetRts(true);  // no change
  t.clock.Advance(0);
  EXPECT_EQ(calls, 1);
  t.a->SetDtr(true);
  t.clock.Advance(0);
  EXPECT_EQ(calls, 2);
}

TEST(SimulatedLine, InjectedLineErrorBelongsToTheBatchOfItsOctet) {
  Line t;
  t.line.InjectLineError(0, 2, kLineParity);
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3, 4}));
  t.clock.Advance(3);
  EXPECT_EQ(ReadAll(*t.b), (Octets{1, 2}));
  EXPECT_EQ(t.b->TakeLineErrors(), 0);
  t.clock.Advance(2);
  EXPECT_EQ(ReadAll(*t.b), (Octets{3, 4}));
  EXPECT_EQ(t.b->TakeLineErrors(), kLineParity);
  EXPECT_EQ(t.b->TakeLineErrors(), 0);
}

TEST(SimulatedLine, FaultsCountOctetsOverSeveralWrites) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{1, 2}));
  EXPECT_EQ(t.line.OctetsWritten(0), 2u);
  t.line.LoseOctet(0, 3);
  t.line.CorruptOctet(0, 4, 0x80);
  t.line.InjectLineError(0, 5, kLineBreak | kLineFraming);
  ASSERT_TRUE(t.a->Write(Octets{3, 4, 5, 6}));
  t.clock.Advance(20);
  EXPECT_EQ(ReadAll(*t.b), (Octets{1, 2, 3, 0x85, 6}));
  EXPECT_EQ(t.b->TakeLineErrors(), kLineBreak | kLineFraming);
}

TEST(SimulatedLine, LostOctetStillTakesItsTimeOnTheLine) {
  Line t;
  t.line.LoseOctet(0, 0);
  ASSERT_TRUE(t.a->Write(Octets{1, 2}));
  t.clock.Advance(2);
  EXPECT_EQ(ReadAll(*t.b), Octets{});
  t.clock.Advance(1);
  EXPECT_EQ(ReadAll(*t.b), Octets{2});
}

TEST(SimulatedLine, DifferentCharacterFormatsGiveFramingErrors) {
  VirtualClock clock;
  SimulatedLine line(clock);
  auto a = line.MakePort(0);
  auto b = line.MakePort(1);
  ASSERT_TRUE(a->Open(k9600));
  ASSERT_TRUE(b->Open(CharacterFormat{9600, 8, Parity::None, 1}));
  ASSERT_TRUE(a->Write(Octets{0x68}));
  clock.Advance(2);
  EXPECT_EQ(ReadAll(*b), Octets{0x68});
  EXPECT_EQ(b->TakeLineErrors(), kLineFraming);
}

TEST(SimulatedLine, SilentEndSendsNothing) {
  Line t;
  t.line.SetSilent(1, true);
  EXPECT_TRUE(t.b->Write(Octets{0xE5}));
  t.clock.Advance(10);
  EXPECT_EQ(ReadAll(*t.a), Octets{});
  t.line.SetSilent(1, false);
  EXPECT_TRUE(t.b->Write(Octets{0xE5}));
  t.clock.Advance(10);
  EXPECT_EQ(ReadAll(*t.a), Octets{0xE5});
}

TEST(SimulatedLine, VanishedDeviceIsReportedAndCannotBeOpened) {
  Line t;
  int calls = 0;
  t.b->SetActivityHandler([&] { ++calls; });
  t.b->SetDtr(true);
  ASSERT_TRUE(t.a->Write(Octets{1, 2}));
  t.clock.Advance(5);
  calls = 0;
  t.line.Vanish(1);
  t.clock.Advance(0);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(t.b->Gone());
  EXPECT_NE(t.b->LastError().find("no longer there"), std::string::npos);
  EXPECT_EQ(ReadAll(*t.b), Octets{});
  EXPECT_FALSE(t.b->Write(Octets{0xE5}));
  EXPECT_EQ(t.a->ModemStatus(), 0);
  t.b->Close();
  EXPECT_FALSE(t.b->Open(k9600));
  t.line.Reappear(1);
  EXPECT_TRUE(t.b->Open(k9600));
  EXPECT_FALSE(t.b->Gone());
}

TEST(SimulatedLine, PortsOutliveTheLine) {
  VirtualClock clock;
  std::unique_ptr<SerialPort> a;
  {
    SimulatedLine line(clock);
    a = line.MakePort(0);
    ASSERT_TRUE(a->Open(k9600));
    auto b = line.MakePort(1);
    ASSERT_TRUE(b->Open(k9600));
    ASSERT_TRUE(b->Write(Octets{1}));
  }
  clock.Advance(10);
  EXPECT_EQ(ReadAll(*a), Octets{1});
}

TEST(SimulatedPortEnumerator, BoundNumbersGivePortsOnTheirEnds) {
  VirtualClock clock;
  SimulatedLine line(clock);
  SimulatedPortEnumerator ports;
  ports.Bind(1, line, 0);
  ports.Bind(2, line, 1);
  EXPECT_TRUE(ports.Exists(2));
  EXPECT_FALSE(ports.Exists(3));
  EXPECT_EQ(ports.Create(3), nullptr);
  auto one = ports.Create(1);
  auto two = ports.Create(2);
  ASSERT_TRUE(one->Open(k9600));
  ASSERT_TRUE(two->Open(k9600));
  ASSERT_TRUE(one->Write(Octets{0xE5}));
  clock.Advance(2);
  EXPECT_EQ(ReadAll(*two), Octets{0xE5});
}

}  // namespace
}  // namespace kivo
