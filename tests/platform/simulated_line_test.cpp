#include "platform/sim/simulated_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;

constexpr CharacterFormat k9600{9600, 8, Parity::Even, 1};

Octets ReadAll(SerialPort& port) {
  Octets result;
  std::uint8_t buffer[7];
  while (std::size_t n = port.Read(buffer)) result.insert(result.end(), buffer, buffer + n);
  return result;
}

struct Line {
  VirtualClock clock;
  SimulatedLine line{clock};
  std::unique_ptr<SerialPort> a = line.MakePort(0);
  std::unique_ptr<SerialPort> b = line.MakePort(1);

  explicit Line(CharacterFormat format = k9600) : Line(format, format) {}
  Line(CharacterFormat format, CharacterFormat formatOfB) {
    EXPECT_TRUE(a->Open(format));
    EXPECT_TRUE(b->Open(formatOfB));
  }
  // What has arrived at `port` after each of `steps` milliseconds more.
  std::vector<Octets> After(std::vector<int> steps, SerialPort& port) {
    std::vector<Octets> arrived;
    for (int ms : steps) {
      clock.Advance(static_cast<std::uint32_t>(ms));
      arrived.push_back(ReadAll(port));
    }
    return arrived;
  }
  Octets After(int ms, SerialPort& port) { return After(std::vector{ms}, port)[0]; }
};

TEST(SimulatedLine, EachOctetTakesElevenBitTimesAtTheWritersBaudInEachDirection) {
  Line t;
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_TRUE(t.a->Write(Octets{10}));  // queued behind the octets on the wire
  // 1.1458 ms per octet at 9600 baud: the 9th is in at 10.3 ms, the 10th at 11.46 ms.
  EXPECT_EQ(t.After({1, 1, 9, 1}, *t.b),
            (std::vector<Octets>{{}, {1}, {2, 3, 4, 5, 6, 7, 8, 9}, {10}}));
  EXPECT_EQ(ReadAll(*t.a), Octets{});

  Line slow(CharacterFormat{1200, 8, Parity::Even, 1});  // 9.17 ms an octet
  slow.line.LoseOctet(1, 0);                             // still takes its time
  ASSERT_TRUE(slow.b->Write(Octets{0x10, 0x49, 0x16}));
  EXPECT_EQ(slow.After({18, 1, 8, 1}, *slow.a), (std::vector<Octets>{{}, {0x49}, {}, {0x16}}));

  Line fast(CharacterFormat{115200, 8, Parity::None, 1});  // 95.5 us an octet
  ASSERT_TRUE(fast.a->Write(Octets(20, 0x55)));
  EXPECT_EQ(fast.After({1, 1}, *fast.b), (std::vector<Octets>(2, Octets(10, 0x55))));

  Line both;  // both directions at once; reads take no more than asked
  ASSERT_TRUE(both.a->Write(Octets{0x10, 0x5B, 0x01, 0x5C, 0x16}));
  ASSERT_TRUE(both.b->Write(Octets{0xE5}));
  both.clock.Advance(10);
  std::uint8_t two[2];
  EXPECT_EQ(both.b->Read(two), 2u);
  EXPECT_EQ(two[1], 0x5B);
  EXPECT_EQ(ReadAll(*both.b), (Octets{0x01, 0x5C, 0x16}));
  EXPECT_EQ(ReadAll(*both.a), Octets{0xE5});
}

TEST(SimulatedLine, HandlerCalledOnceInEachMillisecondWithArrivals) {
  Line t;
  Octets received;
  std::vector<std::uint32_t> calls;
  t.b->SetActivityHandler([&] {
    calls.push_back(t.clock.NowMs());
    const Octets batch = ReadAll(*t.b);
    received.insert(received.end(), batch.begin(), batch.end());
  });
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3}));
  const std::uint32_t start = t.clock.NowMs();
  while (t.clock.AdvanceToNextTimer()) {
  }
  EXPECT_EQ(received, (Octets{1, 2, 3}));
  // Arrivals at 1.15, 2.29 and 3.44 ms.
  EXPECT_EQ(calls, (std::vector<std::uint32_t>{start + 2, start + 3, start + 4}));
}

TEST(SimulatedLine, ClosedEndsFlushAndInjectedFaultsDropOrChangeOctets) {
  Line t;
  t.b->Close();
  ASSERT_TRUE(t.a->Write(Octets{1, 2}));
  ASSERT_TRUE(t.b->Open(k9600));
  EXPECT_EQ(t.After(10, *t.b), Octets{}) << "nothing arrives at a closed end";
  EXPECT_FALSE(t.b->Gone());

  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3, 4}));
  t.clock.Advance(3);  // 1 and 2 are in, 3 is on the wire, 4 waits
  t.b->Flush();
  t.a->Flush();
  EXPECT_EQ(t.After(10, *t.b), Octets{3});

  t.a->Close();
  EXPECT_FALSE(t.a->Write(Octets{1}));
  EXPECT_FALSE(t.a->LastError().empty());

  Line f;  // injected faults meet the octets they were attached to
  ASSERT_TRUE(f.a->Write(Octets{1, 2}));
  EXPECT_EQ(f.line.OctetsWritten(0), 2u);
  f.line.InjectLineError(0, 4, kLineParity);
  f.line.LoseOctet(0, 5);
  f.line.CorruptOctet(0, 6, 0x80);
  f.line.InjectLineError(0, 7, kLineBreak | kLineFraming);
  ASSERT_TRUE(f.a->Write(Octets{3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(f.After(5, *f.b), (Octets{1, 2, 3, 4}));
  EXPECT_EQ(f.b->TakeLineErrors(), 0) << "the error belongs to the batch of its octet";
  EXPECT_EQ(f.After(4, *f.b), (Octets{5, 0x87}));  // 6 is lost, 7 corrupted
  EXPECT_EQ(f.b->TakeLineErrors(), kLineParity);
  EXPECT_EQ(f.b->TakeLineErrors(), 0);
  EXPECT_EQ(f.After(10, *f.b), Octets{8});
  EXPECT_EQ(f.b->TakeLineErrors(), kLineBreak | kLineFraming);

  for (bool silent : {true, false}) {
    f.line.SetSilent(1, silent);
    EXPECT_TRUE(f.b->Write(Octets{0xE5}));
    EXPECT_EQ(f.After(10, *f.a), silent ? Octets{} : Octets{0xE5});
  }

  Line mixed(k9600, CharacterFormat{9600, 8, Parity::None, 1});
  ASSERT_TRUE(mixed.a->Write(Octets{0x68}));
  EXPECT_EQ(mixed.After(2, *mixed.b), Octets{0x68});
  EXPECT_EQ(mixed.b->TakeLineErrors(), kLineFraming) << "different character formats";
}

TEST(SimulatedLine, DuplicatesBreaksAndSeededNoiseAreCountedAndRepeatable) {
  Line t;
  t.line.DuplicateOctet(0, 1);
  ASSERT_TRUE(t.a->Write(Octets{1, 2, 3}));
  EXPECT_EQ(t.After(10, *t.b), (Octets{1, 2, 2, 3}));
  t.line.Break(0, 20);
  ASSERT_TRUE(t.a->Write(Octets{4, 5}));  // into the break
  t.clock.Advance(30);
  ASSERT_TRUE(t.a->Write(Octets{6}));
  EXPECT_EQ(t.After(5, *t.b), Octets{6});
  EXPECT_EQ(t.b->TakeLineErrors(), kLineBreak) << "reported with the octet after the break";
  const SimulatedLine::Counts counts = t.line.Counted(0);
  EXPECT_EQ((std::vector<std::uint64_t>{counts.writes, counts.octets, counts.sent, counts.lost,
                                        counts.duplicated, counts.breaks, counts.lineErrors}),
            (std::vector<std::uint64_t>{3, 6, 5, 2, 1, 1, 1}));

  // 10 % of each fault on 2,000 octets; the seed decides everything.
  const auto noisy = [](std::uint64_t seed) {
    Line n;
    n.line.SetNoise(0, {.seed = seed,
                        .corrupt = 100'000,
                        .lose = 100'000,
                        .duplicate = 100'000,
                        .lineError = 100'000});
    Octets data(2000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    EXPECT_TRUE(n.a->Write(data));
    return std::pair(n.After(3000, *n.b), n.line.Counted(0));
  };
  const auto [arrived, c] = noisy(7);
  EXPECT_EQ(arrived, noisy(7).first);
  EXPECT_NE(arrived, noisy(8).first);
  EXPECT_EQ(arrived.size(), c.sent);
  EXPECT_EQ(c.sent, c.octets - c.lost + c.duplicated);
  for (std::uint64_t faults : {c.corrupted, c.lost, c.duplicated, c.lineErrors}) {
    EXPECT_GT(faults, 140u);
    EXPECT_LT(faults, 260u);
  }
}

TEST(SimulatedLine, ModemLinesAsOnANullModemCable) {
  Line t;
  t.a->Close();
  int calls = 0;
  t.b->SetActivityHandler([&] { ++calls; });
  t.a->SetDtr(true);
  EXPECT_EQ(t.b->ModemStatus(), 0) << "lines of a closed end are off";
  ASSERT_TRUE(t.a->Open(k9600));
  EXPECT_EQ(t.b->ModemStatus(), kModemDsr | kModemDcd);
  t.a->SetRts(true);
  EXPECT_EQ(t.b->ModemStatus(), kModemCts | kModemDsr | kModemDcd);
  t.a->SetDtr(false);
  EXPECT_EQ(t.b->ModemStatus(), kModemCts);
  t.clock.Advance(0);
  calls = 0;
  t.a->SetRts(false);
  t.a->SetRts(false);  // no change
  t.clock.Advance(0);
  EXPECT_EQ(calls, 1);
  t.a->SetDtr(true);
  t.clock.Advance(0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(std::pair(t.b->ModemStatus(), t.a->ModemStatus()),
            (std::pair<std::uint8_t, std::uint8_t>(kModemDsr | kModemDcd, 0)));
  t.b->SetRts(true);
  EXPECT_EQ(t.a->ModemStatus(), kModemCts);
  t.a->Close();
  EXPECT_EQ(t.b->ModemStatus(), 0);
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

TEST(SimulatedLine, BoundPortNumbersGivePortsThatOutliveTheLine) {
  VirtualClock clock;
  std::unique_ptr<SerialPort> one;
  {
    SimulatedLine line(clock);
    SimulatedPortEnumerator ports;
    ports.Bind(1, line, 0);
    ports.Bind(2, line, 1);
    EXPECT_TRUE(ports.Exists(2));
    EXPECT_FALSE(ports.Exists(3));
    EXPECT_EQ(ports.Create(3), nullptr);
    one = ports.Create(1);
    auto two = ports.Create(2);
    ASSERT_TRUE(one->Open(k9600) && two->Open(k9600));
    ASSERT_TRUE(two->Write(Octets{0xE5}));
  }
  clock.Advance(10);
  EXPECT_EQ(ReadAll(*one), Octets{0xE5});
}

}  // namespace
}  // namespace kivo
