// A primary and a secondary Instance, each with port 1 on one end of a wire,
// in one virtual time. The wire hands every written frame to the other end
// at once; the transmit sequence has already waited its character time.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/port_control.h"
#include "link/serial_path.h"
#include "util/hex.h"

namespace kivo::testing {

enum class Side { Primary = 0, Secondary = 1 };

struct Wire {
  struct Sent {
    Side from;
    std::uint32_t ms;
    std::string hex;
  };
  Clock* clock = nullptr;
  std::array<std::deque<Octets>, 2> toward;  // octets on their way to each side
  std::array<std::uint8_t, 2> modem{};       // modem lines each side reads
  std::array<std::vector<bool>, 2> dtr;
  std::vector<Sent> sent;
  int dropFromSecondary = 0;  // frames of the secondary lost on the way
};

class WirePort : public SerialPort {
 public:
  WirePort(Wire& wire, Side side) : wire_(wire), side_(side) {}
  bool Open(const CharacterFormat&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Flush() override {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    auto& queue = wire_.toward[static_cast<std::size_t>(side_)];
    if (queue.empty()) return 0;
    Octets& batch = queue.front();
    const std::size_t n = std::min(out.size(), batch.size());
    std::copy_n(batch.begin(), n, out.begin());
    batch.erase(batch.begin(), batch.begin() + static_cast<long>(n));
    if (batch.empty()) queue.pop_front();
    return n;
  }
  std::uint8_t TakeLineErrors() override { return 0; }
  bool Write(std::span<const std::uint8_t> octets) override {
    Octets frame(octets.begin(), octets.end());
    wire_.sent.push_back({side_, wire_.clock->NowMs(), ToHex(frame)});
    if (side_ == Side::Secondary && wire_.dropFromSecondary > 0) {
      --wire_.dropFromSecondary;
      return true;
    }
    if (open_) wire_.toward[1 - static_cast<std::size_t>(side_)].push_back(std::move(frame));
    return true;
  }
  void SetRts(bool) override {}
  void SetDtr(bool on) override { wire_.dtr[static_cast<std::size_t>(side_)].push_back(on); }
  std::uint8_t ModemStatus() override { return wire_.modem[static_cast<std::size_t>(side_)]; }
  int Descriptor() const override { return -1; }
  std::string LastError() const override { return {}; }

 private:
  Wire& wire_;
  Side side_;
  bool open_ = false;
};

class WireEnd : public PortEnumerator {
 public:
  WireEnd(Wire& wire, Side side) : wire_(wire), side_(side) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override {
    return std::make_unique<WirePort>(wire_, side_);
  }

 private:
  Wire& wire_;
  Side side_;
};

// Port 1 of `primary` is a primary station, port 1 of `secondary` a
// secondary station, both with the address list 1, 2, 3 unless a test
// changes it before Online().
class SimTest : public ::testing::Test {
 protected:
  FakePlatform fakeP;
  FakePlatform fakeS;
  VirtualClock& clock = fakeP.clock;
  Wire wire;
  WireEnd endP{wire, Side::Primary};
  WireEnd endS{wire, Side::Secondary};
  Instance primary{
      Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter, &endP, &clock}};
  Instance secondary{
      Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter, &endS, &clock}};
  PortRecord& pport = primary.ports[0];
  PortRecord& sport = secondary.ports[0];
  std::vector<TLogEntry> loggedP;
  std::vector<TLogEntry> loggedS;

  void SetUp() override {
    wire.clock = &clock;
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      ASSERT_TRUE(ReloadTexts(*instance, 1));
      CreateMainState(*instance, {});
      // The example identification telegram (type 5 on port 1) would stand
      // in for the built-in identification; the link tests expect the latter.
      instance->send.Telegram(5).portCode = 4;
    }
    primary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedP.push_back(e);
      return true;
    };
    secondary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedS.push_back(e);
      return true;
    };
    Configure(pport.params, PortFunction::Primary, {1, 2, 3});
    Configure(sport.params, PortFunction::Secondary, {1, 2, 3});
  }

  static void Configure(PortParams& params, PortFunction function,
                        std::vector<std::uint8_t> addresses) {
    params.portNumber = 1;
    params.function = function;
    params.addressCount = static_cast<std::uint32_t>(addresses.size());
    addresses.push_back(255);
    std::copy(addresses.begin(), addresses.end(), params.addresses.begin());
  }

  // Both ends online; the opening entries are forgotten. The secondary opens
  // first so that it hears the first reset.
  void Online() {
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(pport.open);
    ASSERT_TRUE(sport.open);
    loggedP.clear();
    loggedS.clear();
  }

  // Frames move until the wire is quiet.
  void Settle() {
    for (int round = 0; round < 64; ++round) {
      bool moved = false;
      if (!wire.toward[1].empty()) {
        OnDataAvailable(secondary.linkContext, 0);
        moved = true;
      }
      RunPostedLinkSteps(secondary.linkContext);
      if (!wire.toward[0].empty()) {
        OnDataAvailable(primary.linkContext, 0);
        moved = true;
      }
      RunPostedLinkSteps(primary.linkContext);
      if (!moved && wire.toward[0].empty() && wire.toward[1].empty()) break;
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
    wire.toward[1].push_back(Hex(hex));
    Settle();
  }

  std::vector<std::string> SentBy(Side side, std::size_t from = 0) const {
    std::vector<std::string> frames;
    for (std::size_t i = from; i < wire.sent.size(); ++i) {
      if (wire.sent[i].from == side) frames.push_back(wire.sent[i].hex);
    }
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
  static std::vector<int> Events(const std::vector<TLogEntry>& log, int code) {
    std::vector<int> values;
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent && e.status == code) values.push_back(e.linkAddress);
    }
    return values;
  }
  static std::string Hexed(const TLogEntry& e) {
    const auto f = e.Frame();
    return ToHex(Octets(f.begin(), f.end()));
  }
  // Statuses logged for frames with exactly these octets.
  static std::vector<int> StatusOf(const std::vector<TLogEntry>& log, const std::string& hex,
                                   int channel) {
    std::vector<int> codes;
    for (const TLogEntry& e : log) {
      if (e.channel == channel && e.frameKind != kFrameEvent && Hexed(e) == hex) {
        codes.push_back(e.status);
      }
    }
    return codes;
  }
};

// Only address 1 on both sides.
class SimOneAddress : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    Configure(pport.params, PortFunction::Primary, {1});
    Configure(sport.params, PortFunction::Secondary, {1});
  }
  // Past the reset and the identification of address 1.
  void Started() {
    Online();
    Ticks(6);
    ASSERT_EQ(SentBy(Side::Secondary).size(), 2u);
  }
};

}  // namespace kivo::testing
