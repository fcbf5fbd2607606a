#include "platform/sim/simulated_line.h"

#include <algorithm>
#include <functional>

namespace kivo {

namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;
constexpr std::uint64_t kBitsPerOctet = 11;

int Other(int end) {
  return end == 0 ? 1 : 0;
}
int Checked(int end) {
  return end == 1 ? 1 : 0;
}

bool SameFormat(const CharacterFormat& a, const CharacterFormat& b) {
  return a.baud == b.baud && a.dataBits == b.dataBits && a.parity == b.parity &&
         a.stopBits == b.stopBits;
}

struct Fault {
  std::uint8_t lineErrors = 0;
  std::uint8_t xorMask = 0;
  bool lost = false;
  bool duplicate = false;
};

// splitmix64: small, fast, and the same sequence on every platform.
std::uint64_t NextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct InFlight {
  std::uint64_t startNs;
  std::uint64_t arrivalNs;
  std::uint8_t octet;
  std::uint8_t lineErrors;
};

}  // namespace

struct SimulatedLine::State {
  struct End {
    bool open = false;
    bool gone = false;
    bool silent = false;
    bool rts = false;
    bool dtr = false;
    CharacterFormat format;
    std::deque<InFlight> incoming;  // in arrival order
    std::uint8_t lineErrors = 0;
    std::function<void()> handler;
    OneShotTimer::Id notifyTimer = 0;
    std::uint64_t notifyAtMs = 0;
    std::uint64_t notifiedNs = 0;  // arrivals up to here have been announced
    std::uint64_t written = 0;
    std::uint64_t lineFreeNs = 0;  // when this end's transmitter is free again
    std::map<std::uint64_t, Fault> faults;
    std::string lastError;
    bool noisy = false;
    SimulatedLine::Noise noise;
    std::uint64_t random = 0;
    std::uint64_t breakUntilNs = 0;
    bool breakPending = false;  // the next octet sent reports the break
    SimulatedLine::Counts counts;
  };

  explicit State(VirtualClock& c) : clock(c), lastRawMs(c.NowMs()) {}

  VirtualClock& clock;
  std::array<End, 2> ends;
  std::uint32_t lastRawMs;
  std::uint64_t elapsedMs = 0;
  std::weak_ptr<State> self;

  std::uint64_t NowMs() {
    const std::uint32_t raw = clock.NowMs();
    elapsedMs += static_cast<std::uint32_t>(raw - lastRawMs);
    lastRawMs = raw;
    return elapsedMs;
  }
  std::uint64_t NowNs() { return NowMs() * kNsPerMs; }

  void CallHandler(int end) {
    // A copy: the handler may replace itself or close the port.
    std::function<void()> handler = ends[static_cast<std::size_t>(end)].handler;
    if (handler) handler();
  }

  // Arms the end's timer for the first arrival not yet announced.
  void ScheduleArrival(int end) {
    End& e = ends[static_cast<std::size_t>(end)];
    auto next = std::find_if(e.incoming.begin(), e.incoming.end(),
                             [&](const InFlight& f) { return f.arrivalNs > e.notifiedNs; });
    if (next == e.incoming.end()) return;
    const std::uint64_t atMs = (next->arrivalNs + kNsPerMs - 1) / kNsPerMs;
    if (e.notifyTimer != 0 && e.notifyAtMs <= atMs) return;
    if (e.notifyTimer != 0) clock.Cancel(e.notifyTimer);
    e.notifyAtMs = atMs;
    const std::uint64_t now = NowMs();
    const std::uint32_t in = static_cast<std::uint32_t>(atMs > now ? atMs - now : 0);
    std::weak_ptr<State> weak = self;
    e.notifyTimer = clock.Start(in, [weak, end] {
      auto state = weak.lock();
      if (!state) return;
      End& fired = state->ends[static_cast<std::size_t>(end)];
      fired.notifyTimer = 0;
      fired.notifiedNs = state->NowNs();
      if (fired.open && !fired.gone) state->CallHandler(end);
      state->ScheduleArrival(end);
    });
  }

  // Modem-line changes and vanishing are announced at once, from the clock.
  void Announce(int end) {
    std::weak_ptr<State> weak = self;
    clock.Start(0, [weak, end] {
      auto state = weak.lock();
      if (state && state->ends[static_cast<std::size_t>(end)].open) state->CallHandler(end);
    });
  }

  // The fault of the octet `index` of `e` that begins at `startNs`: the
  // injected one and the noise's. A break that begins here is armed.
  Fault TakeFault(End& e, std::uint64_t index, std::uint64_t startNs) {
    Fault fault;
    if (auto it = e.faults.find(index); it != e.faults.end()) {
      fault = it->second;
      e.faults.erase(it);
    }
    if (!e.noisy) return fault;
    const std::uint64_t random = NextRandom(e.random);
    const auto second = static_cast<std::uint32_t>(random >> 32);
    std::uint64_t draw = random % 1'000'000;
    const SimulatedLine::Noise& n = e.noise;
    if (draw < n.corrupt) {
      fault.xorMask ^= static_cast<std::uint8_t>(1 + second % 255);
    } else if ((draw -= n.corrupt) < n.lose) {
      fault.lost = true;
    } else if ((draw -= n.lose) < n.duplicate) {
      fault.duplicate = true;
    } else if ((draw -= n.duplicate) < n.lineError) {
      fault.lineErrors |= kLineParity;
    } else if ((draw -= n.lineError) < n.lineBreak) {
      StartBreak(e, startNs, 1 + second % std::max<std::uint32_t>(n.breakMaxMs, 1));
    }
    return fault;
  }

  static void StartBreak(End& e, std::uint64_t startNs, std::uint32_t ms) {
    e.breakUntilNs = std::max(e.breakUntilNs, startNs + ms * kNsPerMs);
    e.breakPending = true;
    ++e.counts.breaks;
  }

  bool LinesVisible(int end) const {
    const End& e = ends[static_cast<std::size_t>(end)];
    return e.open && !e.gone;
  }
};

namespace {

class SimulatedPort : public SerialPort {
 public:
  SimulatedPort(std::shared_ptr<SimulatedLine::State> state, int end)
      : state_(std::move(state)), end_(end) {}
  ~SimulatedPort() override {
    if (IsOpen()) Close();
  }

  bool Open(const CharacterFormat& format) override {
    auto& e = Me();
    if (e.gone) {
      e.lastError = Name() + ": no such device";
      return false;
    }
    if (format.baud == 0 || format.dataBits < 5 || format.dataBits > 8 ||
        (format.stopBits != 1 && format.stopBits != 2)) {
      e.lastError = Name() + ": unsupported character format";
      return false;
    }
    const bool wasVisible = state_->LinesVisible(end_);
    e.open = true;
    e.format = format;
    e.incoming.clear();
    e.lineErrors = 0;
    e.notifiedNs = state_->NowNs();
    if (!wasVisible && (e.rts || e.dtr)) state_->Announce(Other(end_));
    return true;
  }

  void Close() override {
    auto& e = Me();
    if (!e.open) return;
    const bool wasVisible = state_->LinesVisible(end_);
    e.open = false;
    e.incoming.clear();
    e.lineErrors = 0;
    if (wasVisible && (e.rts || e.dtr)) state_->Announce(Other(end_));
  }

  bool IsOpen() const override { return Me().open; }

  void Flush() override {
    auto& e = Me();
    if (!e.open) return;
    const std::uint64_t now = state_->NowNs();
    // Received and unread: gone. Still on the wire: arrives later.
    while (!e.incoming.empty() && e.incoming.front().arrivalNs <= now) e.incoming.pop_front();
    e.lineErrors = 0;
    // Written but not begun: never sent.
    auto& out = Peer().incoming;
    std::erase_if(out, [now](const InFlight& f) { return f.startNs >= now; });
    e.lineFreeNs = out.empty() ? now : std::max(now, out.back().arrivalNs);
  }

  std::size_t Read(std::span<std::uint8_t> out) override {
    auto& e = Me();
    if (!e.open || e.gone) return 0;
    const std::uint64_t now = state_->NowNs();
    std::size_t count = 0;
    while (count < out.size() && !e.incoming.empty() && e.incoming.front().arrivalNs <= now) {
      out[count++] = e.incoming.front().octet;
      e.lineErrors |= e.incoming.front().lineErrors;
      e.incoming.pop_front();
    }
    return count;
  }

  std::uint8_t TakeLineErrors() override {
    auto& e = Me();
    const std::uint8_t errors = e.lineErrors;
    e.lineErrors = 0;
    return errors;
  }

  bool Write(std::span<const std::uint8_t> octets) override {
    auto& e = Me();
    if (!e.open) {
      e.lastError = Name() + ": the port is not open";
      return false;
    }
    if (e.gone) return false;
    auto& peer = Peer();
    auto& counts = e.counts;
    ++counts.writes;
    const std::uint64_t octetNs = SimulatedLine::OctetNs(e.format.baud);
    const bool mismatch = !SameFormat(e.format, peer.format);
    for (std::uint8_t octet : octets) {
      const std::uint64_t index = e.written++;
      ++counts.octets;
      if (e.silent) {
        ++counts.dropped;
        continue;
      }
      const std::uint64_t start = std::max(state_->NowNs(), e.lineFreeNs);
      e.lineFreeNs = start + octetNs;
      const Fault fault = state_->TakeFault(e, index, start);
      if (fault.lost || start < e.breakUntilNs) {
        ++counts.lost;
        continue;
      }
      if (!peer.open || peer.gone) {
        ++counts.dropped;
        continue;
      }
      std::uint8_t errors = fault.lineErrors;
      if (e.breakPending) errors |= kLineBreak;
      e.breakPending = false;
      if (mismatch) errors |= kLineFraming;
      const auto received = static_cast<std::uint8_t>(octet ^ fault.xorMask);
      peer.incoming.push_back(InFlight{start, e.lineFreeNs, received, errors});
      counts.sent += 1;
      if (fault.xorMask != 0) ++counts.corrupted;
      if (errors != 0) ++counts.lineErrors;
      if (fault.duplicate) {
        const std::uint64_t copyStart = e.lineFreeNs;
        e.lineFreeNs += octetNs;
        peer.incoming.push_back(InFlight{copyStart, e.lineFreeNs, received, errors});
        ++counts.sent;
        ++counts.duplicated;
      }
    }
    state_->ScheduleArrival(Other(end_));
    return true;
  }

  void SetRts(bool on) override { SetLine(Me().rts, on); }
  void SetDtr(bool on) override { SetLine(Me().dtr, on); }

  std::uint8_t ModemStatus() override {
    if (!Me().open || Me().gone || !state_->LinesVisible(Other(end_))) return 0;
    const auto& peer = Peer();
    std::uint8_t status = 0;
    if (peer.rts) status |= kModemCts;
    if (peer.dtr) status |= kModemDsr | kModemDcd;
    return status;
  }

  int Descriptor() const override { return -1; }
  void SetActivityHandler(std::function<void()> handler) override {
    Me().handler = std::move(handler);
  }
  bool Gone() const override { return Me().gone; }
  std::string LastError() const override { return Me().lastError; }

 private:
  std::shared_ptr<SimulatedLine::State> state_;
  int end_;

  SimulatedLine::State::End& Me() const { return state_->ends[static_cast<std::size_t>(end_)]; }
  SimulatedLine::State::End& Peer() const {
    return state_->ends[static_cast<std::size_t>(Other(end_))];
  }
  std::string Name() const { return "simulated line end " + std::to_string(end_); }

  void SetLine(bool& line, bool on) {
    if (line == on) return;
    line = on;
    if (state_->LinesVisible(end_)) state_->Announce(Other(end_));
  }
};

}  // namespace

SimulatedLine::SimulatedLine(VirtualClock& clock) : state_(std::make_shared<State>(clock)) {
  state_->self = state_;
}

SimulatedLine::~SimulatedLine() {
  for (auto& end : state_->ends) {
    if (end.notifyTimer != 0) state_->clock.Cancel(end.notifyTimer);
    end.notifyTimer = 0;
  }
}

std::uint64_t SimulatedLine::OctetNs(std::uint32_t baud) {
  if (baud == 0) return 0;
  return (kBitsPerOctet * 1'000'000'000ull + baud / 2) / baud;
}

std::unique_ptr<SerialPort> SimulatedLine::MakePort(int end) {
  return std::make_unique<SimulatedPort>(state_, Checked(end));
}

void SimulatedLine::InjectLineError(int fromEnd, std::uint64_t octetIndex,
                                    std::uint8_t lineErrors) {
  state_->ends[static_cast<std::size_t>(Checked(fromEnd))].faults[octetIndex].lineErrors |=
      lineErrors;
}

void SimulatedLine::LoseOctet(int fromEnd, std::uint64_t octetIndex) {
  state_->ends[static_cast<std::size_t>(Checked(fromEnd))].faults[octetIndex].lost = true;
}

void SimulatedLine::CorruptOctet(int fromEnd, std::uint64_t octetIndex, std::uint8_t xorMask) {
  state_->ends[static_cast<std::size_t>(Checked(fromEnd))].faults[octetIndex].xorMask ^= xorMask;
}

void SimulatedLine::DuplicateOctet(int fromEnd, std::uint64_t octetIndex) {
  state_->ends[static_cast<std::size_t>(Checked(fromEnd))].faults[octetIndex].duplicate = true;
}

void SimulatedLine::SetNoise(int fromEnd, const Noise& noise) {
  auto& e = state_->ends[static_cast<std::size_t>(Checked(fromEnd))];
  e.noise = noise;
  e.noisy = noise.corrupt != 0 || noise.lose != 0 || noise.duplicate != 0 || noise.lineError != 0 ||
            noise.lineBreak != 0;
  e.random = noise.seed;
  if (!e.noisy) e.breakUntilNs = 0;
}

void SimulatedLine::Break(int fromEnd, std::uint32_t ms) {
  State::StartBreak(state_->ends[static_cast<std::size_t>(Checked(fromEnd))], state_->NowNs(), ms);
}

SimulatedLine::Counts SimulatedLine::Counted(int fromEnd) const {
  return state_->ends[static_cast<std::size_t>(Checked(fromEnd))].counts;
}

void SimulatedLine::SetSilent(int end, bool silent) {
  state_->ends[static_cast<std::size_t>(Checked(end))].silent = silent;
}

void SimulatedLine::Vanish(int end) {
  end = Checked(end);
  auto& e = state_->ends[static_cast<std::size_t>(end)];
  if (e.gone) return;
  const bool wasVisible = state_->LinesVisible(end);
  e.gone = true;
  e.incoming.clear();
  e.lastError = "simulated line end " + std::to_string(end) + ": the device is no longer there";
  state_->Announce(end);
  if (wasVisible && (e.rts || e.dtr)) state_->Announce(Other(end));
}

void SimulatedLine::Reappear(int end) {
  state_->ends[static_cast<std::size_t>(Checked(end))].gone = false;
}

std::uint64_t SimulatedLine::OctetsWritten(int end) const {
  return state_->ends[static_cast<std::size_t>(Checked(end))].written;
}

void SimulatedPortEnumerator::Bind(int portNumber, SimulatedLine& line, int end) {
  bindings_[portNumber] = Binding{&line, end};
}

bool SimulatedPortEnumerator::Exists(int portNumber) {
  return bindings_.count(portNumber) != 0;
}

std::unique_ptr<SerialPort> SimulatedPortEnumerator::Create(int portNumber) {
  auto it = bindings_.find(portNumber);
  if (it == bindings_.end()) return nullptr;
  return it->second.line->MakePort(it->second.end);
}

}  // namespace kivo
