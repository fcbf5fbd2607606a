// TermiosPort against real kernel pseudo-terminals: the test holds the
// master side, the port opens the slave device.
#include "platform/posix/termios_port.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/fake_platform.h"
#include "platform/posix/custom_baud.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_platform.h"

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;
using testing::ScratchDir;

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(grantpt(master_), 0);
    EXPECT_EQ(unlockpt(master_), 0);
    const char* name = ptsname(master_);
    EXPECT_NE(name, nullptr);
    slavePath_ = name ? name : "";
    // The master side must not translate what the test writes.
    termios settings{};
    tcgetattr(master_, &settings);
    cfmakeraw(&settings);
    tcsetattr(master_, TCSANOW, &settings);
  }
  ~Pty() { CloseMaster(); }

  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void Write(const Octets& octets) {
    ASSERT_EQ(::write(master_, octets.data(), octets.size()), static_cast<ssize_t>(octets.size()));
  }
  // What the port has written, waiting up to a second for `count` octets.
  Octets Take(std::size_t count) {
    Octets result;
    for (int round = 0; round < 100 && result.size() < count; ++round) {
      pollfd wait{master_, POLLIN, 0};
      if (::poll(&wait, 1, 10) <= 0) continue;
      std::uint8_t buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) result.insert(result.end(), buffer, buffer + n);
    }
    return result;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Waits until the port's descriptor is readable (at most a second).
bool WaitReadable(const SerialPort& port) {
  pollfd wait{port.Descriptor(), POLLIN, 0};
  return ::poll(&wait, 1, 1000) > 0;
}

// Reads everything there is in batches of `batch` octets, as the serial path
// does, with the line errors of each batch.
Octets ReadBatches(SerialPort& port, std::size_t batch, std::uint8_t* errors = nullptr) {
  Octets result;
  std::vector<std::uint8_t> buffer(batch);
  while (std::size_t n = port.Read(buffer)) {
    result.insert(result.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
    const std::uint8_t e = port.TakeLineErrors();
    if (errors) *errors |= e;
  }
  return result;
}

termios SettingsOf(const SerialPort& port) {
  termios settings{};
  EXPECT_EQ(tcgetattr(port.Descriptor(), &settings), 0);
  return settings;
}

TEST(TermiosPort, OpensInRawModeWithEightEvenOne) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{9600, 8, Parity::Even, 1})) << port.LastError();
  EXPECT_TRUE(port.IsOpen());
  // A pseudo-terminal forces 8 data bits and no parity on its own.
  const termios settings = SettingsOf(port);
  EXPECT_EQ(settings.c_cflag & (PARODD | CMSPAR | CSTOPB), 0u);
  EXPECT_EQ(settings.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(settings.c_cflag & CREAD, 0u);
  EXPECT_NE(settings.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_iflag, static_cast<tcflag_t>(INPCK | PARMRK));
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(settings.c_cc[VMIN], 0);
  EXPECT_EQ(settings.c_cc[VTIME], 0);
}

TEST(ApplyCharacterFormat, EveryCharacterFormatGivesItsFlags) {
  struct Case {
    CharacterFormat format;
    tcflag_t cflag;
    speed_t speed;
  };
  const Case cases[] = {
      {{1200, 5, Parity::None, 2}, CS5 | CSTOPB, B1200},
      {{2400, 6, Parity::Odd, 1}, CS6 | PARENB | PARODD, B2400},
      {{9600, 8, Parity::Even, 1}, CS8 | PARENB, B9600},
      {{19200, 7, Parity::Mark, 2}, CS7 | PARENB | PARODD | CMSPAR | CSTOPB, B19200},
      {{115200, 8, Parity::Space, 1}, CS8 | PARENB | CMSPAR, B115200},
      {{31250, 8, Parity::None, 1}, CS8, B9600},  // the real rate follows through termios2
  };
  for (const Case& c : cases) {
    termios settings{};
    settings.c_iflag = IXON | ICRNL | IGNPAR | ISTRIP | BRKINT;
    settings.c_lflag = ICANON | ECHO | ISIG;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_cflag = CRTSCTS | HUPCL;
    ASSERT_TRUE(ApplyCharacterFormat(settings, c.format));
    EXPECT_EQ(settings.c_cflag & ~static_cast<tcflag_t>(CBAUD | CBAUDEX), c.cflag | CLOCAL | CREAD)
        << c.format.baud;
    EXPECT_EQ(settings.c_iflag, static_cast<tcflag_t>(INPCK | PARMRK));
    EXPECT_EQ(settings.c_lflag, 0u);
    EXPECT_EQ(settings.c_oflag, 0u);
    EXPECT_EQ(cfgetospeed(&settings), c.speed);
    EXPECT_EQ(cfgetispeed(&settings), c.speed);
  }
  termios settings{};
  EXPECT_FALSE(ApplyCharacterFormat(settings, CharacterFormat{9600, 4, Parity::None, 1}));
  EXPECT_FALSE(ApplyCharacterFormat(settings, CharacterFormat{9600, 8, static_cast<Parity>(5), 1}));
}

TEST(TermiosPort, MarkParityAndTwoStopBitsReachTheDevice) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{19200, 7, Parity::Mark, 2})) << port.LastError();
  // What a pseudo-terminal keeps: speed, stop bits, odd and stick parity.
  const termios settings = SettingsOf(port);
  EXPECT_EQ(settings.c_cflag & (PARODD | CMSPAR | CSTOPB), PARODD | CMSPAR | CSTOPB);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B19200));
  port.Close();
  ASSERT_TRUE(port.Open(CharacterFormat{2400, 8, Parity::Space, 1})) << port.LastError();
  EXPECT_EQ(SettingsOf(port).c_cflag & (PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(CMSPAR));
}

TEST(TermiosPort, RateWithoutConstantIsSetThroughTheKernelsOwnSpeed) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{31250, 8, Parity::Even, 1})) << port.LastError();
  EXPECT_EQ(CurrentBaud(port.Descriptor()), 31250u);
  EXPECT_EQ(SettingsOf(port).c_iflag, static_cast<tcflag_t>(INPCK | PARMRK));
}

TEST(TermiosPort, UnsupportedFormatIsRefused) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  EXPECT_FALSE(port.Open(CharacterFormat{9600, 9, Parity::Even, 1}));
  EXPECT_FALSE(port.Open(CharacterFormat{9600, 8, Parity::Even, 3}));
  EXPECT_FALSE(port.Open(CharacterFormat{0, 8, Parity::Even, 1}));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_NE(port.LastError().find(pty.slavePath()), std::string::npos);
}

TEST(TermiosPort, ReadsInBatchesWhatTheOtherSideWrote) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  // 0xFF arrives doubled under PARMRK and must come out single.
  const Octets frame{0x68, 0x09, 0x09, 0x68, 0xFF, 0x00, 0xFF, 0xFF, 0x16, 0x00, 0x10, 0x16};
  pty.Write(frame);
  ASSERT_TRUE(WaitReadable(port));
  std::uint8_t errors = 0;
  EXPECT_EQ(ReadBatches(port, 3, &errors), frame);
  EXPECT_EQ(errors, 0);
  EXPECT_FALSE(port.Gone());
}

TEST(TermiosPort, WritesReachTheOtherSide) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  const Octets frame{0x10, 0x49, 0x01, 0x4A, 0x16, 0x0A, 0xFF, 0x0D};
  ASSERT_TRUE(port.Write(frame));
  EXPECT_EQ(pty.Take(frame.size()), frame);
}

TEST(TermiosPort, FlushDropsUnreadOctets) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  pty.Write(Octets{1, 2, 3});
  ASSERT_TRUE(WaitReadable(port));
  port.Flush();
  EXPECT_EQ(ReadBatches(port, 16), Octets{});
  pty.Write(Octets{4});
  ASSERT_TRUE(WaitReadable(port));
  EXPECT_EQ(ReadBatches(port, 16), Octets{4});
}

TEST(TermiosPort, PseudoTerminalModemLinesReadOffWithoutError) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  port.SetRts(true);  // before opening: applied at Open
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  port.SetDtr(true);
  port.SetRts(false);
  EXPECT_EQ(port.ModemStatus(), 0);
  EXPECT_TRUE(port.LastError().empty()) << port.LastError();
  EXPECT_FALSE(port.Gone());
  EXPECT_TRUE(port.Write(Octets{0xE5}));
}

TEST(TermiosPort, CloseReleasesTheDevice) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  const int fd = port.Descriptor();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Descriptor(), -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  std::uint8_t buffer[4];
  EXPECT_EQ(port.Read(buffer), 0u);
  EXPECT_FALSE(port.Write(Octets{1}));
  EXPECT_EQ(port.ModemStatus(), 0);
  ASSERT_TRUE(port.Open(CharacterFormat{})) << port.LastError();  // and it opens again
}

TEST(TermiosPort, VanishedDeviceIsReported) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  pty.CloseMaster();
  // The event loop sees the hang-up as readable.
  ASSERT_TRUE(WaitReadable(port));
  std::uint8_t buffer[16];
  EXPECT_EQ(port.Read(buffer), 0u);
  EXPECT_TRUE(port.Gone());
  EXPECT_NE(port.LastError().find(pty.slavePath()), std::string::npos);
  EXPECT_NE(port.LastError().find("no longer there"), std::string::npos);
  EXPECT_FALSE(port.Write(Octets{1}));
  EXPECT_EQ(port.Read(buffer), 0u);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

// The event loop of the command-line program drives the port by its
// descriptor: read until nothing is left, then look whether the device went.
TEST(TermiosPort, EventLoopReadsUntilTheDeviceGoes) {
  Pty pty;
  TermiosPort port(pty.slavePath());
  ASSERT_TRUE(port.Open(CharacterFormat{}));
  PosixClock clock;
  PollLoop loop(clock);
  Octets received;
  bool sawGone = false;
  loop.Watch(port.Descriptor(), [&] {
    std::uint8_t buffer[269];
    while (std::size_t n = port.Read(buffer)) received.insert(received.end(), buffer, buffer + n);
    if (received.size() == 3 && pty.master() >= 0) pty.CloseMaster();
    if (port.Gone()) {
      sawGone = true;
      loop.Unwatch(port.Descriptor());
      loop.Stop();
    }
  });
  loop.Start(5000, [&] { loop.Stop(); });  // a guard only
  pty.Write(Octets{0x10, 0xFF, 0x16});
  loop.Run();
  EXPECT_EQ(received, (Octets{0x10, 0xFF, 0x16}));
  EXPECT_TRUE(sawGone);
}

TEST(TermiosPort, OpenFailuresNameTheDevice) {
  ScratchDir dir;
  TermiosPort missing(dir.path() + "ttyUSB9");
  EXPECT_FALSE(missing.Open(CharacterFormat{}));
  EXPECT_EQ(missing.LastError(), dir.path() + "ttyUSB9: no such device (unplugged?)");

  std::ofstream(dir.path() + "plain") << "x";
  TermiosPort plain(dir.path() + "plain");
  EXPECT_FALSE(plain.Open(CharacterFormat{}));
  EXPECT_EQ(plain.LastError(), dir.path() + "plain: not a serial port");
  EXPECT_EQ(plain.Descriptor(), -1);
}

TEST(TermiosPort, PermissionErrorNamesTheDialoutGroup) {
  const std::string text = DescribeOpenFailure("/dev/ttyUSB0", EACCES);
  EXPECT_EQ(text.rfind("/dev/ttyUSB0: permission denied", 0), 0u) << text;
  EXPECT_NE(text.find("'dialout'"), std::string::npos);
  EXPECT_EQ(DescribeOpenFailure("/dev/ttyS3", EPERM), DescribeOpenFailure("/dev/ttyS3", EACCES));
  if (geteuid() != 0) {
    ScratchDir dir;
    std::ofstream(dir.path() + "ttyS0") << "";
    ::chmod((dir.path() + "ttyS0").c_str(), 0);
    TermiosPort port(dir.path() + "ttyS0");
    EXPECT_FALSE(port.Open(CharacterFormat{}));
    EXPECT_NE(port.LastError().find("dialout"), std::string::npos);
  }
}

// A fake /dev and /sys/class/tty.
struct FakeDevices {
  ScratchDir dir;
  std::string dev = dir.Sub("dev");
  std::string sys = dir.Sub("sys");

  void Node(const std::string& name) { std::ofstream(dev + name) << ""; }
  void Uart(const std::string& name, int type) {
    Node(name);
    std::filesystem::create_directories(sys + name);
    std::ofstream(sys + name + "/type") << type << "\n";
  }
};

TEST(TermiosPortEnumerator, NumbersFoundDevicesInOrderAfterBindings) {
  FakeDevices fake;
  fake.Node("ttyUSB10");
  fake.Node("ttyUSB2");
  fake.Node("ttyACM0");
  fake.Node("ttyUSBx");
  fake.Node("tty1");
  fake.Uart("ttyS0", 0);  // no UART behind it
  fake.Uart("ttyS1", 4);
  fake.Node("ttyS2");  // nothing known of it
  std::filesystem::create_directories(fake.dev + "serial/by-id");
  std::filesystem::create_symlink("../../ttyUSB10",
                                  fake.dev + "serial/by-id/usb-FTDI_A1-if00-port0");

  TermiosPortEnumerator ports({{2, "/dev/pts/7"}}, fake.dev, fake.sys);
  const std::map<int, std::string> expected{
      {1, fake.dev + "ttyUSB2"},
      {2, "/dev/pts/7"},
      {3, fake.dev + "serial/by-id/usb-FTDI_A1-if00-port0"},
      {4, fake.dev + "ttyACM0"},
      {5, fake.dev + "ttyS1"},
  };
  EXPECT_EQ(ports.PortMap(), expected);
}

TEST(TermiosPortEnumerator, BoundDeviceIsNotNumberedTwice) {
  FakeDevices fake;
  fake.Node("ttyUSB0");
  fake.Node("ttyUSB1");
  TermiosPortEnumerator ports({}, fake.dev, fake.sys);
  ports.Bind(64, fake.dev + "ttyUSB0");
  ports.Bind(0, "/dev/null");  // out of range: ignored
  ports.Bind(65, "/dev/null");
  const std::map<int, std::string> expected{{1, fake.dev + "ttyUSB1"}, {64, fake.dev + "ttyUSB0"}};
  EXPECT_EQ(ports.PortMap(), expected);
  ports.Bind(64, "");
  EXPECT_EQ(ports.PortMap().at(1), fake.dev + "ttyUSB0");
}

TEST(TermiosPortEnumerator, NoMoreThanSixtyFourPorts) {
  FakeDevices fake;
  for (int i = 0; i < 70; ++i) fake.Node("ttyACM" + std::to_string(i));
  TermiosPortEnumerator ports({}, fake.dev, fake.sys);
  const auto map = ports.PortMap();
  EXPECT_EQ(map.size(), 64u);
  EXPECT_EQ(map.rbegin()->second, fake.dev + "ttyACM63");
}

TEST(TermiosPortEnumerator, ExistsOnlyForCharacterDevicesAndCreatesTheirPorts) {
  FakeDevices fake;
  fake.Node("ttyUSB0");  // a plain file, no device
  Pty pty;
  TermiosPortEnumerator ports({{5, pty.slavePath()}}, fake.dev, fake.sys);
  EXPECT_FALSE(ports.Exists(1));
  EXPECT_TRUE(ports.Exists(5));
  EXPECT_FALSE(ports.Exists(6));
  EXPECT_EQ(ports.Create(6), nullptr);
  auto port = ports.Create(5);
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Open(CharacterFormat{})) << port->LastError();
  ASSERT_TRUE(port->Write(Octets{0xE5}));
  EXPECT_EQ(pty.Take(1), Octets{0xE5});
}

}  // namespace
}  // namespace kivo
