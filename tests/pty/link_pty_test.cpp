// A primary and a secondary Instance in one process, in real time, over a
// kernel pseudo-terminal: the primary's port 1 is a TermiosPort on the slave
// device, the secondary's port 1 the master side. Both are driven by the
// poll loop of the command-line program, as it will drive them.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "app/fake_platform.h"
#include "app/main_timer.h"
#include "app/startup.h"
#include "link/serial_path.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/termios_port.h"

namespace kivo {
namespace {

using testing::FakePlatform;

// The master side of a pseudo-terminal as a serial port. The master cannot
// be opened by a path (opening /dev/ptmx makes a new pair), so the test
// creates it and the port only uses the descriptor. No modem lines, no line
// errors.
class PtyMasterPort : public SerialPort {
 public:
  explicit PtyMasterPort(int fd) : fd_(fd) {}
  bool Open(const CharacterFormat&) override {
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    return open_ = ::tcsetattr(fd_, TCSANOW, &settings) == 0;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Flush() override { ::tcflush(fd_, TCIOFLUSH); }
  std::size_t Read(std::span<std::uint8_t> out) override {
    if (!open_) return 0;
    const ssize_t n = ::read(fd_, out.data(), out.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  std::uint8_t TakeLineErrors() override { return 0; }
  bool Write(std::span<const std::uint8_t> octets) override {
    std::size_t done = 0;
    while (open_ && done < octets.size()) {
      const ssize_t n = ::write(fd_, octets.data() + done, octets.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return open_;
  }
  void SetRts(bool) override {}
  void SetDtr(bool) override {}
  std::uint8_t ModemStatus() override { return 0; }
  int Descriptor() const override { return open_ ? fd_ : -1; }
  std::string LastError() const override { return {}; }

 private:
  int fd_;
  bool open_ = false;
};

class PtyMasterEnumerator : public PortEnumerator {
 public:
  explicit PtyMasterEnumerator(int fd) : fd_(fd) {}
  bool Exists(int portNumber) override { return portNumber == 1; }
  std::unique_ptr<SerialPort> Create(int) override { return std::make_unique<PtyMasterPort>(fd_); }

 private:
  int fd_;
};

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return;
    slavePath_ = name;
    // Held open for the whole test, so that the master never sees the slave
    // hung up while the primary's port opens and closes it.
    holder_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  }
  ~PtyPair() {
    if (holder_ >= 0) ::close(holder_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0 && holder_ >= 0 && !slavePath_.empty(); }
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int holder_ = -1;
  std::string slavePath_;
};

class LinkPtyTest : public ::testing::Test {
 protected:
  PtyPair pty;
  PosixClock clock;
  PollLoop loop{clock};
  FakePlatform fakeP;
  FakePlatform fakeS;
  TermiosPortEnumerator portsP{{{1, pty.slavePath()}}};
  PtyMasterEnumerator portsS{pty.master()};
  Instance primary{
      Platform{clock, fakeP.lock, fakeP.registry, fakeP.folders, fakeP.prompter, &portsP, &loop}};
  Instance secondary{
      Platform{clock, fakeS.lock, fakeS.registry, fakeS.folders, fakeS.prompter, &portsS, &loop}};
  std::vector<TLogEntry> loggedP, loggedS;

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    for (Instance* instance : {&primary, &secondary}) {
      ASSERT_EQ(StartInstance(*instance), StartOutcome::Run);
      CreateMainState(*instance, {});
      PortParams& p = instance->ports[0].params;
      p.portNumber = 1;
      p.function = instance == &primary ? PortFunction::Primary : PortFunction::Secondary;
      p.addressCount = 3;
      const std::uint8_t list[] = {1, 2, 3, PortParams::kAddressEnd};
      std::copy(std::begin(list), std::end(list), p.addresses.begin());
    }
    primary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedP.push_back(e);
      return true;
    };
    secondary.logStore.hooks.logFilter = [this](const TLogEntry& e) {
      loggedS.push_back(e);
      return true;
    };
    GoOnline(secondary);
    GoOnline(primary);
    ASSERT_TRUE(secondary.ports[0].open);
    ASSERT_TRUE(primary.ports[0].open) << primary.ports[0].serial->LastError();
  }

  void TearDown() override {
    GoOffline(primary);
    GoOffline(secondary);
  }

  std::set<int> Established() const {
    std::set<int> addresses;
    for (const TLogEntry& e : loggedP) {
      if (e.frameKind == kFrameEvent && e.status == event::kLinkEstablished) {
        addresses.insert(e.linkAddress);
      }
    }
    return addresses;
  }

  // Each port's descriptor wakes its Instance; the main timer ticks both.
  void Run(std::uint32_t limitMs, const std::function<bool()>& done) {
    for (Instance* instance : {&primary, &secondary}) {
      const int fd = instance->ports[0].serial->Descriptor();
      ASSERT_GE(fd, 0);
      loop.Watch(fd, [instance] {
        OnDataAvailable(*instance, 0);
        RunPostedLinkSteps(*instance);
      });
    }
    loop.SetPeriodic(kTimerIntervalMs, [this] {
      OnTimerTick(secondary);
      OnTimerTick(primary);
    });
    const std::uint32_t start = clock.NowMs();
    loop.Run([&] {
      // Steps posted by a fired one-shot timer run here at the latest.
      RunPostedLinkSteps(secondary);
      RunPostedLinkSteps(primary);
      return !done() && clock.NowMs() - start < limitMs;
    });
    for (Instance* instance : {&primary, &secondary}) {
      loop.Unwatch(instance->ports[0].serial->Descriptor());
    }
  }

  static int Received(const std::vector<TLogEntry>& log, int receiveChannel) {
    int frames = 0;
    for (const TLogEntry& e : log) {
      if (e.frameKind != kFrameEvent && e.channel == receiveChannel) ++frames;
    }
    return frames;
  }
  static void ExpectReceivedFramesCorrect(const std::vector<TLogEntry>& log, int receiveChannel,
                                          const char* side) {
    for (const TLogEntry& e : log) {
      if (e.frameKind == kFrameEvent || e.channel != receiveChannel) continue;
      EXPECT_EQ(e.status, 40) << side << " entry " << e.seqNo;
    }
  }
};

TEST_F(LinkPtyTest, ThreeLinksComeUpOverAPseudoTerminal) {
  // Generous: on a loaded machine the first reset may go unanswered.
  Run(6000, [this] { return Established().size() == 3; });
  ASSERT_EQ(Established(), (std::set<int>{1, 2, 3}));
  // Then the polls of the running links (one per poll cycle) are answered.
  const int before = Received(loggedP, primary.ports[0].receiveChannel);
  Run(4000, [&] { return Received(loggedP, primary.ports[0].receiveChannel) >= before + 2; });
  EXPECT_GE(Received(loggedP, primary.ports[0].receiveChannel), before + 2);
  ExpectReceivedFramesCorrect(loggedP, primary.ports[0].receiveChannel, "primary");
  ExpectReceivedFramesCorrect(loggedS, secondary.ports[0].receiveChannel, "secondary");
}

}  // namespace
}  // namespace kivo
