// A serial port of our own for the serial-path tests: octet batches with
// their line errors go in, written octets and RTS changes come out with the
// virtual time at which they happened.
#pragma once

#include <deque>
#include <vector>

#include "app/main_timer.h"
#include "link/frame_fixture.h"
#include "link/serial_path.h"

namespace kivo::testing {

// What happens on the line; it outlives the port objects that ClosePort drops.
struct FakeLine {
  struct Batch {
    Octets octets;
    std::uint8_t lineErrors = 0;
  };
  struct Timed {
    std::uint32_t ms;
    Octets octets;
  };
  struct RtsChange {
    std::uint32_t ms;
    bool on;
  };
  Clock* clock = nullptr;
  std::deque<Batch> incoming;
  std::uint8_t errorsOfLastRead = 0;
  std::vector<Timed> written;
  std::vector<RtsChange> rts;
  std::vector<bool> dtr;
  std::uint8_t modem = 0;
  bool refuseOpen = false;
  int opened = 0;
  int closed = 0;
  int flushed = 0;
};

class FakeSerialPort : public SerialPort {
 public:
  explicit FakeSerialPort(FakeLine& line) : line_(line) {}
  bool Open(const CharacterFormat&) override {
    if (line_.refuseOpen) return false;
    ++line_.opened;
    open_ = true;
    return true;
  }
  void Close() override {
    ++line_.closed;
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  void Flush() override { ++line_.flushed; }
  std::size_t Read(std::span<std::uint8_t> out) override {
    if (line_.incoming.empty()) return 0;
    FakeLine::Batch& batch = line_.incoming.front();
    const std::size_t n = std::min(out.size(), batch.octets.size());
    std::copy_n(batch.octets.begin(), n, out.begin());
    line_.errorsOfLastRead = batch.lineErrors;
    batch.octets.erase(batch.octets.begin(), batch.octets.begin() + static_cast<long>(n));
    if (batch.octets.empty()) line_.incoming.pop_front();
    return n;
  }
  std::uint8_t TakeLineErrors() override {
    const std::uint8_t errors = line_.errorsOfLastRead;
    line_.errorsOfLastRead = 0;
    return errors;
  }
  bool Write(std::span<const std::uint8_t> octets) override {
    line_.written.push_back({line_.clock->NowMs(), Octets(octets.begin(), octets.end())});
    return true;
  }
  void SetRts(bool on) override { line_.rts.push_back({line_.clock->NowMs(), on}); }
  void SetDtr(bool on) override { line_.dtr.push_back(on); }
  std::uint8_t ModemStatus() override { return line_.modem; }
  int Descriptor() const override { return -1; }
  std::string LastError() const override { return "fake port refused"; }

 private:
  FakeLine& line_;
  bool open_ = false;
};

class FakePorts : public PortEnumerator {
 public:
  explicit FakePorts(FakeLine& line) : line_(line) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override {
    return std::make_unique<FakeSerialPort>(line_);
  }

 private:
  FakeLine& line_;
};

// A started Instance with port 1 on the fake line, online, every logged
// entry recorded.
class SerialPathTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  FakeLine line;
  FakePorts enumerator{line};
  Instance instance{Platform{fake.clock, fake.lock, fake.registry, fake.folders, fake.prompter,
                             &enumerator, &fake.clock}};
  PortRecord& port = instance.ports[0];
  std::vector<TLogEntry> logged;

  void SetUp() override {
    line.clock = &fake.clock;
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
    instance.logStore.hooks.logFilter = [this](const TLogEntry& entry) {
      logged.push_back(entry);
      return true;
    };
    port.params.portNumber = 1;
  }

  // Goes online with port 1 set up by `setUp` and forgets the opening entries.
  template <typename F>
  void Online(F setUp) {
    setUp(port.params);
    GoOnline(instance);
    ASSERT_TRUE(port.open);
    logged.clear();
    line.rts.clear();
  }
  void Online() {
    Online([](PortParams&) {});
  }

  void Deliver(const std::string& hex, std::uint8_t lineErrors = 0) {
    line.incoming.push_back({Hex(hex), lineErrors});
    OnDataAvailable(instance, 0);
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      OnTimerTick(instance);
      fake.clock.Advance(kTimerIntervalMs);
    }
  }
  static std::string FrameOf(const TLogEntry& entry) {
    const auto frame = entry.Frame();
    return ToHex(Octets(frame.begin(), frame.end()));
  }
  std::vector<std::string> LoggedFrames() const {
    std::vector<std::string> frames;
    for (const TLogEntry& entry : logged) frames.push_back(FrameOf(entry));
    return frames;
  }
  std::vector<int> LoggedStatus() const {
    std::vector<int> codes;
    for (const TLogEntry& entry : logged) codes.push_back(entry.status);
    return codes;
  }
};

}  // namespace kivo::testing
