// The link layer on its own: two port records in virtual time, the frame
// rules as the language files state them, a sink that records every entry,
// an observer that records what the operator would be told, and a serial
// port of the test's own behind port number 1.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "link/frame_rules.h"
#include "link/link_context.h"
#include "link/port_control.h"
#include "link/port_record.h"
#include "link/serial_path.h"
#include "link/transmit.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "record/frame_sink.h"
#include "record/general_params.h"
#include "record/log_entry.h"
#include "util/hex.h"

namespace kivo::testing {

// Texts 67 and 69 and the cause sets of texts 1009 to 1033.
inline const FrameRules& StandardFrameRules() {
  static const FrameRules rules = [] {
    FrameRules r;
    for (std::size_t i = 0; i < 16; ++i) {
      r.primaryFunctions[i] = static_cast<std::uint8_t>("2211200222110000"[i] - '0');
      r.secondaryFunctions[i] = static_cast<std::uint8_t>("1100000011010011"[i] - '0');
    }
    const std::string common = "0102030405060708091011122021314041424344";
    auto causes = [](const std::string& pairs) {
      std::bitset<256> bits;
      for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        bits.set(std::stoul(pairs.substr(i, 2)));
      return bits;
    };
    r.commonCauses = causes(common);
    std::istringstream sets(
        "1 01070911122021 2 0107091112 3 0207 4 0107 5 03040506 6 08 7 09 8 10 9 0207 "
        "10 010207091011124041424344 11 4243 20 20 21 4042 23 0131 24 31 25 31 26 31 27 31 "
        "28 31 29 31 30 31 31 31 128 " +
        common + " 129 " + common);
    std::size_t typ;
    std::string set;
    while (sets >> typ >> set) r.typeCauses[typ] = causes(set);
    return r;
  }();
  return rules;
}

struct RecordingSink : FrameSink {
  std::vector<TLogEntry> entries;
  std::array<ChannelCounters, 4> counters{};
  bool Append(const TLogEntry& entry) override {
    entries.push_back(entry);
    if (entry.channel >= 1 && entry.channel <= 4 && entry.frameKind != kFrameEvent) {
      ChannelCounters& c = counters[entry.channel - 1u];
      ++c.telegrams;
      if (entry.status < 40 && entry.status != 19) ++c.errors;
    }
    return true;
  }
  ChannelCounters ChannelCount(int channel) const override {
    return channel >= 1 && channel <= 4 ? counters[static_cast<std::size_t>(channel - 1)]
                                        : ChannelCounters{};
  }
};

// Records what the link procedures tell the layer above; sends nothing.
struct RecordingSource : NoTelegrams {
  std::vector<int> linkEvents;
  std::vector<int> stops;  // the addresses sending stopped for
  std::function<void(PortRecord&)> onSelectDue;
  void OnLinkEvent(PortRecord&, int trigger) override { linkEvents.push_back(trigger); }
  void StopSending(std::uint8_t address) override { stops.push_back(address); }
  void SelectDue(PortRecord& port) override {
    NoTelegrams::SelectDue(port);
    if (onSelectDue) onSelectDue(port);
  }
};

struct RecordingObserver : LinkObserver {
  std::vector<int> statusChanges;
  std::vector<std::string> failures;
  void PortStatusChanged(int portIndex) override { statusChanges.push_back(portIndex); }
  void PortFailed(int, const std::string& reason) override { failures.push_back(reason); }
};

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
  std::vector<Rs485Setting> rs485;
  std::uint8_t modem = 0;
  bool refuseOpen = false;
  bool refuseRs485 = false;
  bool gone = false;
  int closed = 0;
};

class FakeSerialPort : public SerialPort {
 public:
  explicit FakeSerialPort(FakeLine& line) : line_(line) {}
  bool Open(const CharacterFormat&) override { return open_ = !line_.refuseOpen; }
  void Close() override {
    ++line_.closed;
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  void Flush() override {}
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
  std::uint8_t TakeLineErrors() override { return std::exchange(line_.errorsOfLastRead, 0); }
  bool Write(std::span<const std::uint8_t> octets) override {
    line_.written.push_back({line_.clock->NowMs(), Octets(octets.begin(), octets.end())});
    return true;
  }
  void SetRts(bool on) override { line_.rts.push_back({line_.clock->NowMs(), on}); }
  void SetDtr(bool on) override { line_.dtr.push_back(on); }
  bool SetRs485(const Rs485Setting& setting) override {
    if (line_.refuseRs485) return false;
    line_.rs485.push_back(setting);
    return true;
  }
  std::uint8_t ModemStatus() override { return line_.modem; }
  int Descriptor() const override { return -1; }
  bool Gone() const override { return line_.gone; }
  std::string LastError() const override {
    return line_.gone ? "fake port gone" : "fake port refused";
  }

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

// A port's function and address list (ended by 255 as the block holds it).
inline void SetStations(PortParams& params, PortFunction function,
                        std::vector<std::uint8_t> addresses) {
  params.function = function;
  params.addressCount = static_cast<std::uint32_t>(addresses.size());
  addresses.push_back(255);
  std::copy(addresses.begin(), addresses.end(), params.addresses.begin());
}

// The records of a link layer without an Instance: port 1 (channels 1 and
// 2, address 1) and port 2 (3 and 4, address 2) in virtual time.
struct LinkRecords {
  VirtualClock clock;
  TimeBase time{clock};
  std::array<PortRecord, 2> ports;
  GeneralParams general;
  RecordingSink sink;
  RecordingObserver observer;

  LinkRecords() {
    for (int i = 0; i < 2; ++i) {
      PortRecord& p = ports[static_cast<std::size_t>(i)];
      p.index = i;
      p.receiveChannel = static_cast<std::uint8_t>(2 * i + 1);
      p.transmitChannel = static_cast<std::uint8_t>(2 * i + 2);
      p.params.addresses[0] = static_cast<std::uint8_t>(i + 1);
    }
  }
};

// The link layer with port 1 on the fake line; nothing above it sends.
class LinkTest : public ::testing::Test, public LinkRecords {
 protected:
  RecordingSource source;
  FakeLine line;
  FakePorts enumerator{line};
  LinkContext link{ports,   time, &clock,   &enumerator, StandardFrameRules(),
                   general, sink, observer, source};
  PortRecord& port = ports[0];
  std::vector<TLogEntry>& logged = sink.entries;

  LinkTest() {
    line.clock = &clock;
    port.params.portNumber = 1;
  }

  // The port's function and address list; the port is prepared.
  void Listen(PortFunction function, std::vector<std::uint8_t> addresses = {1}) {
    SetStations(port.params, function, std::move(addresses));
    PreparePort(link, 0);
  }

  // Opens port 1 set up by `setUp` and forgets the opening entries.
  template <typename F>
  void Online(F setUp) {
    setUp(port.params);
    ASSERT_TRUE(OpenPort(link, 0));
    if (ports[1].params.portNumber != 0) OpenPort(link, 1);
    logged.clear();
    line.rts.clear();
  }
  void Online() {
    Online([](PortParams&) {});
  }

  void Deliver(const std::string& hex, std::uint8_t lineErrors = 0) {
    line.incoming.push_back({Hex(hex), lineErrors});
    OnDataAvailable(link, 0);
  }
  // Main-timer ticks of 54 ms: both ports step, then the posted steps run.
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      PortStep(link, 0);
      PortStep(link, 1);
      ++time.tickCounter;
      RunPostedLinkSteps(link);
      clock.Advance(54);
    }
  }
  bool Send(FixedRequest request) { return SendFixed(link, port, request); }
  // Virtual time runs through the pending timers: the waits of the transmit
  // sequence end and it goes on.
  void RunTimers() {
    for (int i = 0; i < 64 && clock.AdvanceToNextTimer(); ++i) {
    }
  }

  static std::string FrameOf(const TLogEntry& entry) { return ToHex(entry.Frame()); }
  std::vector<std::string> LoggedFrames() const {
    std::vector<std::string> frames;
    for (const TLogEntry& entry : logged) frames.push_back(FrameOf(entry));
    return frames;
  }
  // Status, frame kind, channel, link address and control of an entry.
  static std::string Head(int status, int kind, int channel, int address, int control = 0) {
    return std::to_string(status) + " " + std::to_string(kind) + " " + std::to_string(channel) +
           " " + std::to_string(address) + " " + std::to_string(control);
  }
  static std::string Head(const TLogEntry& e) {
    return Head(e.status, e.frameKind, e.channel, e.linkAddress, e.control);
  }
  std::vector<std::string> LoggedHeads() const {
    std::vector<std::string> heads;
    for (const TLogEntry& entry : logged) heads.push_back(Head(entry));
    return heads;
  }
  std::vector<int> LoggedStatus() const {
    std::vector<int> codes;
    for (const TLogEntry& entry : logged) codes.push_back(entry.status);
    return codes;
  }
};

}  // namespace kivo::testing
