// A primary polling addresses 1, 2 and 3 against a secondary port that
// serves them, both complete Instances on one simulated line in virtual
// time, with noise on the line for a given number of poll cycles and a quiet
// line afterwards. The run keeps its own account of every octet on the way
// (what each port wrote and read, tapped below the link engine) and compares
// it with the logs as they are written, so that its memory stays flat however
// long it runs. Shared by the soak test and the long soak in bench/; no test
// framework in here.
#pragma once

#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/demo.h"
#include "app/instance.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/port_record.h"
#include "platform/headless.h"
#include "platform/sim/simulated_line.h"
#include "platform/sim/virtual_clock.h"
#include "record/frame_status.h"

namespace kivo::soak {

struct Options {
  std::uint64_t pollCycles = 100'000;  // polls the primary sends (not repetitions) under noise
  std::uint32_t noisePpm = 10'000;     // octets hit by a fault, in millionths
  std::uint32_t breakPpm = 20;         // octets before which a break begins
  std::uint32_t breakMaxMs = 3'000;
  std::uint64_t seed = 0x5EED;
  std::uint32_t baud = 9'600;
  std::uint32_t logSize = 16;       // units of 1,024,000 octets per station; the ring must not wrap
  std::uint32_t quietSeconds = 30;  // the quiet line after the links are back
  // The millisecond counter at the start: an hour before it wraps, as on a
  // machine that has been up for 49.7 days, so that a night crosses the wrap.
  std::uint32_t counterStart = 0u - 3'600'000u;
  // The noise ends with a break of the secondary's line this long, so that
  // every link is down when it stops.
  std::uint32_t finalBreakMs = 6'000;
  // A folder that gets copies of both logs (primary.lg3, secondary.lg3) for
  // a look with kivo-cli; empty: none.
  std::string keepLogsIn;
  // The traffic of the built-in demo on top of the polls: operator telegrams
  // and commands of the primary, measurands, messages, an answer list and the
  // command-response simulation of the devices.
  bool demoTraffic = true;
};

// One direction of the line, as the writer and the reader saw it.
struct Direction {
  std::uint64_t framesWritten = 0;       // blocks the writer's port wrote
  std::uint64_t framesLoggedSent = 0;    // sent entries in the writer's log
  std::uint64_t sentMismatches = 0;      // sent entries that were not the block written
  std::uint64_t octetsRead = 0;          // octets the reader's port delivered
  std::uint64_t octetsLogged = 0;        // octets in received entries of the reader's log
  std::uint64_t receivedMismatches = 0;  // received octets that differ from those read
  std::uint64_t framesReceived = 0;      // received entries in the reader's log
  std::uint64_t damagedReceived = 0;     // of those with a status below 40
  std::size_t maxUnlogged = 0;           // most octets read and not yet in an entry
};

// The log of one station against what was appended to it.
struct LogAccount {
  std::uint64_t stored = 0;      // entries appended while online
  std::uint32_t firstSeqNo = 0;  // of the first of them
  std::uint64_t storedHash = 0;
  std::uint64_t readBack = 0;  // entries read back from the log from firstSeqNo on
  std::uint64_t readBackHash = 0;
  std::uint64_t seqGaps = 0;
  // The largest step between the time stamps of two entries in a row: the
  // line is never quiet for long, so a large one is a jump of the clock.
  double longestStampStepMs = 0;
  double lastStamp = 0;  // read-back entries whose number is not one more
  // Received and sent channel of the station's port.
  std::array<ChannelCounters, 2> counted{};   // as the entries say
  std::array<ChannelCounters, 2> counters{};  // as the store counted
};

struct Report {
  std::uint64_t polls = 0;  // sent under noise and after it
  std::uint64_t pollsUnderNoise = 0;
  std::uint64_t ticksUnderNoise = 0;
  std::array<SimulatedLine::Counts, 2> line{};  // by writing end: 0 primary, 1 secondary
  std::array<Direction, 2> direction{};         // 0 primary to secondary, 1 back
  std::array<LogAccount, 2> log{};              // 0 primary, 1 secondary
  std::uint64_t linksLost = 0;                  // events 32 under noise
  std::uint32_t longestLossTicks = 0;           // under noise, from event 32 to event 45
  int downAtNoiseEnd = 0;  // addresses whose link was lost when the noise stopped
  std::uint32_t recoveryBoundTicks = 0;
  std::uint32_t recoveryTicks = 0;  // from the end of the noise until every link was up
  bool recovered = false;
  // On the quiet line after the recovery: these stay 0, and the polls go on.
  std::uint64_t quietLosses = 0;
  std::uint64_t quietRepetitions = 0;
  std::uint64_t quietDamaged = 0;
  std::uint64_t quietPolls = 0;
  std::size_t heapAtFirstTenth = 0;
  std::size_t heapAtLastTenth = 0;
  std::size_t pendingTimers = 0;  // of the virtual clock at the end: none left behind
};

inline std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
  return hash * 0x100000001B3ull;
}

// What is stored of an entry and read back the same: the head without the
// page links, and the frame.
inline std::uint64_t EntryHash(std::uint64_t hash, const TLogEntry& e) {
  hash = Mix(hash, e.status | e.frameKind << 8 | std::uint64_t{e.byteCount} << 16 |
                       std::uint64_t{e.seqNo} << 32);
  hash = Mix(hash, std::bit_cast<std::uint64_t>(e.timeStamp));
  hash = Mix(hash, e.linkAddress | e.channel << 16 | e.control << 24);
  for (std::uint8_t octet : e.Frame()) hash = Mix(hash, octet);
  return hash;
}

inline bool IsFrame(const TLogEntry& e) {
  return e.frameKind != kFrameEvent && e.byteCount > 0;
}

inline std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// What a port wrote and read, for the account; everything else passes.
struct Tap {
  std::deque<std::vector<std::uint8_t>> written;  // blocks not yet in the writer's log
  std::deque<std::uint8_t> read;                  // octets not yet in the reader's log
  Direction* out = nullptr;
  Direction* in = nullptr;
};

class TapPort : public SerialPort {
 public:
  TapPort(std::unique_ptr<SerialPort> port, Tap& tap) : port_(std::move(port)), tap_(tap) {}
  bool Open(const CharacterFormat& format) override { return port_->Open(format); }
  void Close() override { port_->Close(); }
  bool IsOpen() const override { return port_->IsOpen(); }
  void Flush() override { port_->Flush(); }
  std::size_t Read(std::span<std::uint8_t> out) override {
    const std::size_t count = port_->Read(out);
    tap_.read.insert(tap_.read.end(), out.begin(), out.begin() + static_cast<long>(count));
    tap_.in->octetsRead += count;
    tap_.in->maxUnlogged = std::max(tap_.in->maxUnlogged, tap_.read.size());
    return count;
  }
  std::uint8_t TakeLineErrors() override { return port_->TakeLineErrors(); }
  bool Write(std::span<const std::uint8_t> octets) override {
    tap_.written.emplace_back(octets.begin(), octets.end());
    ++tap_.out->framesWritten;
    return port_->Write(octets);
  }
  void SetRts(bool on) override { port_->SetRts(on); }
  void SetDtr(bool on) override { port_->SetDtr(on); }
  std::uint8_t ModemStatus() override { return port_->ModemStatus(); }
  int Descriptor() const override { return port_->Descriptor(); }
  void SetActivityHandler(std::function<void()> handler) override {
    port_->SetActivityHandler(std::move(handler));
  }
  bool Gone() const override { return port_->Gone(); }
  std::string LastError() const override { return port_->LastError(); }

 private:
  std::unique_ptr<SerialPort> port_;
  Tap& tap_;
};

class TapPorts : public PortEnumerator {
 public:
  TapPorts(SimulatedLine& line, int end, Tap& tap) : line_(line), end_(end), tap_(tap) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override {
    return std::make_unique<TapPort>(line_.MakePort(end_), tap_);
  }

 private:
  SimulatedLine& line_;
  int end_;
  Tap& tap_;
};

// One Instance in a scratch folder of its own (settings, log).
struct Station {
  std::string folder;
  UnclaimedInstanceLock lock;
  EmptyRegistry registry;
  FixedFolders folders;
  QuietPrompter prompter;
  Tap tap;
  TapPorts ports;
  Instance instance;
  LogAccount* account = nullptr;
  int portIndex = 0;  // the port on the line: port 1 the primary, port 2 the devices as in the demo

  PortRecord& Port() { return instance.ports[static_cast<std::size_t>(portIndex)]; }

  static std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-soak-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    for (const char* name : {"KivoText.usa", "KivoText.ger"}) {
      std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + name, pattern + "/" + name);
    }
    return pattern + "/";
  }
  Station(VirtualClock& clock, SimulatedLine& line, int end)
      : folder(MakeFolder()),
        folders(folder),
        ports(line, end, tap),
        instance(Platform{clock, lock, registry, folders, prompter, &ports, &clock}) {}
  ~Station() {
    if (instance.logStore.IsOpen()) instance.logStore.CloseLog();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;
};

class Run {
 public:
  explicit Run(const Options& options)
      : options_(options),
        clock_(LocalTime{2026, 1, 5, 20, 0, 0, 0, false}, options.counterStart),
        primary_(clock_, line_, 0),
        secondary_(clock_, line_, 1) {
    primary_.tap.out = secondary_.tap.in = &report_.direction[0];
    secondary_.tap.out = primary_.tap.in = &report_.direction[1];
    primary_.account = &report_.log[0];
    secondary_.account = &report_.log[1];
    secondary_.portIndex = 1;
  }

  // Start-up of both stations; false when one did not come up.
  bool Start() {
    for (Station* station : {&primary_, &secondary_}) {
      Instance& instance = station->instance;
      if (station->folder.empty() || StartInstance(instance) != StartOutcome::Run) return false;
      CreateMainState(instance, {});
      if (options_.demoTraffic) SetUpDemo(instance);
      for (PortRecord& port : instance.ports) port.params.portNumber = 0;
      PortParams& p = station->Port().params;
      p.portNumber = 1;
      p.function = station == &primary_ ? PortFunction::Primary : PortFunction::Secondary;
      p.baud = options_.baud;
      p.pollCycle = 0;  // the next poll as soon as an answer is in: the heaviest load
      p.addressCount = 3;
      const std::uint8_t list[] = {1, 2, 3, PortParams::kAddressEnd};
      std::copy(std::begin(list), std::end(list), p.addresses.begin());
      instance.general.logSize = options_.logSize;

      if (!instance.logStore.ClearLog()) return false;
      instance.logStore.CloseReader();
      instance.logStore.hooks.stored = [this, station](const TLogEntry& e) { Stored(*station, e); };
    }
    GoOnline(secondary_.instance);
    GoOnline(primary_.instance);
    return primary_.Port().open && secondary_.Port().open;
  }

  // Noise until the poll cycles are done, then a quiet line until every link
  // is up again and for the quiet seconds after that; then the account.
  Report Soak() {
    SimulatedLine::Noise noise;
    noise.corrupt = options_.noisePpm / 3;
    noise.lose = options_.noisePpm / 3;
    noise.duplicate = options_.noisePpm - 2 * (options_.noisePpm / 3);
    noise.lineBreak = options_.breakPpm;
    noise.breakMaxMs = options_.breakMaxMs;
    for (int end : {0, 1}) {
      noise.seed = options_.seed * 2 + static_cast<std::uint64_t>(end);
      line_.SetNoise(end, noise);
    }
    const std::uint64_t firstTenth = options_.pollCycles / 10;
    const std::uint64_t lastTenth = options_.pollCycles - firstTenth;
    while (report_.polls < options_.pollCycles) {
      Tick();
      ++report_.ticksUnderNoise;
      if (report_.heapAtFirstTenth == 0 && report_.polls >= firstTenth) {
        report_.heapAtFirstTenth = HeapInUse();
      }
      if (report_.heapAtLastTenth == 0 && report_.polls >= lastTenth) {
        report_.heapAtLastTenth = HeapInUse();
      }
    }
    report_.pollsUnderNoise = report_.polls;
    line_.Break(1, options_.finalBreakMs);
    for (std::uint32_t ms = 0; ms < options_.finalBreakMs; ms += kTimerIntervalMs) Tick();
    line_.SetNoise(0, {});
    line_.SetNoise(1, {});
    noisy_ = false;
    for (int i = 0; i < 3; ++i) {
      if (TestListBit(primary_.Port().notReset, i)) ++report_.downAtNoiseEnd;
    }

    report_.recoveryBoundTicks = RecoveryBound();
    // What the noise left behind has run its course within the bound too;
    // from then on the line is as if there had never been noise.
    for (std::uint32_t tick = 0; tick <= report_.recoveryBoundTicks; ++tick) {
      if (!report_.recovered && AllLinksUp()) {
        report_.recovered = true;
        report_.recoveryTicks = tick;
      }
      Tick();
    }
    const std::uint64_t quietFrom = report_.polls;
    quiet_ = true;
    for (std::uint32_t ms = 0; ms < options_.quietSeconds * 1000; ms += kTimerIntervalMs) Tick();
    report_.quietPolls = report_.polls - quietFrom;
    quiet_ = false;
    // Silent ends: what is on the way arrives and is read, the frames in the
    // assemblers end with their character gap, and nothing new goes out.
    line_.SetSilent(0, true);
    line_.SetSilent(1, true);
    for (int tick = 0; tick < 20; ++tick) Tick();
    Account();
    return report_;
  }

 private:
  Options options_;
  VirtualClock clock_;
  SimulatedLine line_{clock_};
  Station primary_;
  Station secondary_;
  Report report_;
  bool noisy_ = true;
  bool quiet_ = false;
  std::array<std::uint32_t, 256> lostAt_{};  // tick of event 32 per address, 0 while up

  void Tick() {
    OnTimerTick(secondary_.instance);
    OnTimerTick(primary_.instance);
    clock_.Advance(kTimerIntervalMs);
  }

  std::uint32_t TickCounter() const { return primary_.instance.timeBase.tickCounter; }

  bool AllLinksUp() const {
    const PortRecord& port = primary_.instance.ports[0];
    for (int i = 0; i < 3; ++i) {
      if (TestListBit(port.notReset, i)) return false;
    }
    return true;
  }

  // Ticks in which every address must be up again once the noise has ended.
  // An address turn ends after at most the repetitions + 1 requests, each
  // its transmission (less than a tick) and its time-out, rounded up by a
  // tick; a negative answer holds one turn for the link wait. The first round
  // may still meet what the noise left (a partial frame in an assembler
  // swallows requests until its character gap passes); in the second round a
  // lost address is reset at its turn and acknowledges.
  std::uint32_t RecoveryBound() const {
    const Instance& instance = primary_.instance;
    const PortRecord& port = instance.ports[0];
    const TimeBase& time = instance.timeBase;
    const std::uint32_t request = time.TicksFor(port.params.responseTimeout / 1000.0) + 2;
    const std::uint32_t turn = (port.params.repetitions + 1) * request;
    const std::uint32_t gap = time.TicksFor(port.receive.characterGap / 1000.0);
    const std::uint32_t linkWait = time.TicksFor(port.params.linkWait);
    return gap + linkWait + 2 * 3 * turn;
  }

  void Stored(Station& station, const TLogEntry& e) {
    LogAccount& account = *station.account;
    if (account.stored++ == 0) {
      account.firstSeqNo = e.seqNo;
    } else {
      const double stepMs = std::abs(e.timeStamp - account.lastStamp) * kMsPerDay;
      account.longestStampStepMs = std::max(account.longestStampStepMs, stepMs);
    }
    account.lastStamp = e.timeStamp;
    account.storedHash = EntryHash(account.storedHash, e);
    const bool isPrimary = &station == &primary_;
    if (!IsFrame(e)) {
      if (isPrimary) LinkEvent(e);
      return;
    }
    const PortRecord& port = station.Port();
    if (e.channel != port.receiveChannel && e.channel != port.transmitChannel) return;
    ChannelCounters& counted = account.counted[e.channel == port.receiveChannel ? 0 : 1];
    ++counted.telegrams;
    if (e.status < status::kCorrect && e.status != status::kDataFlowControl) ++counted.errors;
    if (e.channel == port.transmitChannel) {
      Sent(station, e, isPrimary);
    } else {
      Received(station, e);
    }
  }

  void Sent(Station& station, const TLogEntry& e, bool isPrimary) {
    Direction& out = *station.tap.out;
    ++out.framesLoggedSent;
    auto& written = station.tap.written;
    const auto frame = e.Frame();
    if (written.empty() ||
        !std::equal(frame.begin(), frame.end(), written.front().begin(), written.front().end())) {
      ++out.sentMismatches;
    }
    if (!written.empty()) written.pop_front();
    if (!isPrimary) return;
    if (e.status == status::kFcbNotToggled) {
      if (quiet_) ++report_.quietRepetitions;
      return;
    }
    const std::uint8_t function = e.control & 0x4F;
    if (e.status == status::kCorrect && (function == 0x4A || function == 0x4B)) ++report_.polls;
  }

  // Every octet the port read appears in the received entries in order, each
  // once: a damaged frame is logged with its status, octets lost on the line
  // merge or split frames but never vanish in the program.
  void Received(Station& station, const TLogEntry& e) {
    Direction& in = *station.tap.in;
    ++in.framesReceived;
    if (e.status < status::kCorrect && e.status != status::kDataFlowControl) {
      ++in.damagedReceived;
      if (quiet_) ++report_.quietDamaged;
    }
    auto& read = station.tap.read;
    for (std::uint8_t octet : e.Frame()) {
      ++in.octetsLogged;
      if (read.empty() || read.front() != octet) ++in.receivedMismatches;
      if (!read.empty()) read.pop_front();
    }
  }

  void LinkEvent(const TLogEntry& e) {
    const std::uint8_t address = e.linkAddress & 0xFF;
    const std::uint32_t now = TickCounter() | 1;  // never 0, which means up
    if (e.status == event::kLinkLost) {
      if (quiet_) ++report_.quietLosses;
      if (noisy_) ++report_.linksLost;
      lostAt_[address] = now;
    } else if (e.status == event::kLinkEstablished) {
      if (noisy_ && lostAt_[address] != 0) {
        report_.longestLossTicks = std::max(report_.longestLossTicks, now - lostAt_[address]);
      }
      lostAt_[address] = 0;
    }
  }

  // The log of each station read back from its file, and its counters.
  void Account() {
    for (int end : {0, 1}) report_.line[static_cast<std::size_t>(end)] = line_.Counted(end);
    report_.pendingTimers = clock_.PendingTimers();
    for (Station* station : {&primary_, &secondary_}) {
      const LogStore& log = station->instance.logStore;
      const PortRecord& port = station->Port();
      station->account->counters = {log.ChannelCount(port.receiveChannel),
                                    log.ChannelCount(port.transmitChannel)};
    }
    // Offline, each log is complete in its file; the port-closed events join
    // both sides of the account.
    GoOffline(primary_.instance);
    GoOffline(secondary_.instance);
    for (Station* station : {&primary_, &secondary_}) {
      LogStore& log = station->instance.logStore;
      LogAccount& account = *station->account;
      if (!log.OpenReader() || !log.SeekPage(log.Index().oldestPage, false)) continue;
      std::uint32_t expected = account.firstSeqNo;
      do {
        const TLogEntry& e = log.CurrentEntry();
        if (e.length == 0 || e.seqNo < account.firstSeqNo) continue;
        if (e.seqNo != expected) ++account.seqGaps;
        expected = e.seqNo + 1;
        ++account.readBack;
        account.readBackHash = EntryHash(account.readBackHash, e);
      } while (log.StepForward());
      log.CloseReader();
      if (!options_.keepLogsIn.empty()) {
        log.SaveLogAs(options_.keepLogsIn + (station == &primary_ ? "/primary" : "/secondary") +
                      ".lg3");
      }
    }
  }
};

}  // namespace kivo::soak
