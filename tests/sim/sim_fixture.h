// A primary and a secondary Instance, port 1 of each on one end of a line, in
// one virtual time. The line is either a Wire (every written frame reaches
// the other end at once; the test moves it with Settle) or a SimulatedLine
// with the character timing of the baud rate.
#pragma once

#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/link_fixture.h"
#include "link/port_control.h"
#include "link/serial_path.h"
#include "platform/sim/simulated_line.h"
#include "util/hex.h"

namespace kivo::testing {

enum class Side { Primary = 0, Secondary = 1 };

// Two fake lines joined: what one side writes the other reads at once.
struct Wire {
  struct Sent {
    Side from;
    std::uint32_t ms;
    std::string hex;
  };
  std::array<FakeLine, 2> end;  // what each side reads, its modem lines and DTR
  std::vector<Sent> sent;
  int dropFromSecondary = 0;  // frames of the secondary lost on the way
};

class WirePort : public FakeSerialPort {
 public:
  WirePort(Wire& wire, Side side) : FakeSerialPort(wire.end[int(side)]), wire_(wire), side_(side) {}
  bool Write(std::span<const std::uint8_t> octets) override {
    Octets frame(octets.begin(), octets.end());
    wire_.sent.push_back({side_, wire_.end[0].clock->NowMs(), ToHex(frame)});
    if (side_ == Side::Secondary && wire_.dropFromSecondary > 0) {
      --wire_.dropFromSecondary;
    } else if (IsOpen()) {
      wire_.end[1 - int(side_)].incoming.push_back({frame});
    }
    return true;
  }

 private:
  Wire& wire_;
  Side side_;
};

struct WireEnd : PortEnumerator {
  Wire& wire;
  Side side;
  WireEnd(Wire& w, Side s) : wire(w), side(s) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override {
    return std::make_unique<WirePort>(wire, side);
  }
};

struct WireEnds {
  Wire wire;
  WireEnd endP{wire, Side::Primary}, endS{wire, Side::Secondary};
  explicit WireEnds(VirtualClock& clock) { wire.end[0].clock = wire.end[1].clock = &clock; }
};

struct LineEnds {
  SimulatedLine line;
  SimulatedPortEnumerator endP, endS;
  explicit LineEnds(VirtualClock& clock) : line(clock) {
    endP.Bind(1, line, 0);
    endS.Bind(1, line, 1);
  }
};

struct TwoPlatforms {
  FakePlatform fakeP, fakeS;
};

// Port 1 of `primary` is a primary station, port 1 of `secondary` a
// secondary station, both with the address list 1, 2, 3 unless a test
// changes it before Online().
template <typename Ends>
class Stations : public ::testing::Test, protected TwoPlatforms, protected Ends {
 protected:
  VirtualClock& clock = fakeP.clock;
  Instance primary{Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter,
                            &this->endP, &clock}};
  Instance secondary{Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter,
                              &this->endS, &clock}};
  PortRecord& pport = primary.ports[0];
  PortRecord& sport = secondary.ports[0];
  std::vector<TLogEntry> loggedP, loggedS;

  Stations() : Ends(fakeP.clock) {}

  void SetUp() override {
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      ASSERT_TRUE(ReloadTexts(*instance, 1));
      CreateMainState(*instance, {});
      // The built-in identification, not the example telegram of type 5.
      instance->send.Telegram(5).portCode = 4;
      auto* log = instance == &primary ? &loggedP : &loggedS;
      instance->logStore.hooks.logFilter = [log](const TLogEntry& e) {
        log->push_back(e);
        return true;
      };
    }
    Addresses({1, 2, 3});
  }

  static void Configure(PortParams& params, PortFunction function,
                        std::vector<std::uint8_t> addresses) {
    params.portNumber = 1;
    SetStations(params, function, std::move(addresses));
  }
  void Addresses(const std::vector<std::uint8_t>& addresses) {
    Configure(pport.params, PortFunction::Primary, addresses);
    Configure(sport.params, PortFunction::Secondary, addresses);
  }

  // Both ends online, the secondary first so that it hears the first reset;
  // the opening entries are forgotten.
  void Online() {
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(pport.open);
    ASSERT_TRUE(sport.open);
    loggedP.clear();
    loggedS.clear();
  }
  void Tick() {
    OnTimerTick(secondary);
    OnTimerTick(primary);
    clock.Advance(kTimerIntervalMs);
  }
  // Ticks until `done` holds or `seconds` of virtual time have passed.
  template <typename Done>
  bool RunUntil(Done done, int seconds) {
    for (std::uint32_t ms = 0; ms < static_cast<std::uint32_t>(seconds) * 1000;
         ms += kTimerIntervalMs) {
      if (done()) return true;
      Tick();
    }
    return done();
  }
  void RunSeconds(int seconds) {
    RunUntil([] { return false; }, seconds);
  }

  // The link addresses of the events `code` in a log.
  static std::vector<int> Events(const std::vector<TLogEntry>& log, int code) {
    std::vector<int> values;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent && e.status == code) values.push_back(e.linkAddress);
    }
    return values;
  }
  // Statuses logged on `channel` for frames with exactly these octets.
  static std::vector<int> StatusOf(const std::vector<TLogEntry>& log, const std::string& hex,
                                   int channel) {
    std::vector<int> codes;
    for (const TLogEntry& e : log) {
      if (e.channel == channel && e.frameKind != kFrameEvent && ToHex(e.Frame()) == hex) {
        codes.push_back(e.status);
      }
    }
    return codes;
  }
  // Every frame received on channel 1 of a log is correct, and there are some.
  static void ExpectReceivedCorrect(const std::vector<TLogEntry>& log, const char* side) {
    int frames = 0;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent || e.channel != 1) continue;
      ++frames;
      EXPECT_EQ(e.status, 40) << side << " entry " << e.seqNo;
    }
    EXPECT_GT(frames, 0) << side;
  }
};

using LineTest = Stations<LineEnds>;

class SimTest : public Stations<WireEnds> {
 protected:
  // Frames move until the wire is quiet.
  void Settle() {
    for (int round = 0; round < 64; ++round) {
      bool moved = false;
      if (!wire.end[1].incoming.empty()) {
        OnDataAvailable(secondary.linkContext, 0);
        moved = true;
      }
      RunPostedLinkSteps(secondary.linkContext);
      if (!wire.end[0].incoming.empty()) {
        OnDataAvailable(primary.linkContext, 0);
        moved = true;
      }
      RunPostedLinkSteps(primary.linkContext);
      if (!moved && wire.end[0].incoming.empty() && wire.end[1].incoming.empty()) break;
    }
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      Settle();
      OnTimerTick(secondary);
      OnTimerTick(primary);
      Settle();
      clock.Advance(kTimerIntervalMs);
    }
  }
  // Octets the test puts on the line toward the secondary.
  void ToSecondary(const std::string& hex) {
    wire.end[1].incoming.push_back({Hex(hex)});
    Settle();
  }
  std::vector<std::string> SentBy(Side side, std::size_t from = 0) const {
    std::vector<std::string> frames;
    for (std::size_t i = from; i < wire.sent.size(); ++i) {
      if (wire.sent[i].from == side) frames.push_back(wire.sent[i].hex);
    }
    return frames;
  }
  // The line during the next `count` ticks.
  std::vector<std::string> LineOver(int count) {
    const std::size_t from = wire.sent.size();
    Ticks(count);
    return Line(from);
  }
  // The first `n` of `frames`, or all when there are fewer.
  static std::vector<std::string> First(std::vector<std::string> frames, std::size_t n) {
    frames.resize(std::min(n, frames.size()));
    return frames;
  }
  // The line as "P: .." and "S: .." in order.
  std::vector<std::string> Line(std::size_t from = 0) const {
    std::vector<std::string> lines;
    for (std::size_t i = from; i < wire.sent.size(); ++i) {
      lines.push_back((wire.sent[i].from == Side::Primary ? "P: " : "S: ") + wire.sent[i].hex);
    }
    return lines;
  }
};

// Only address 1 on both sides.
class SimOneAddress : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    Addresses({1});
  }
  // Past the reset and the identification of address 1.
  void Started() {
    Online();
    Ticks(6);
    ASSERT_EQ(SentBy(Side::Secondary).size(), 2u);
  }
  // Started, 20 ticks of polling, then `change`: where the wire stood.
  template <typename F>
  std::size_t PollingThen(F change) {
    Started();
    Ticks(20);
    change();
    return wire.sent.size();
  }
};

}  // namespace kivo::testing
