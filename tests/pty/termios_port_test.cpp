// TermiosPort against real kernel pseudo-terminals: the test holds the
// master side, the port opens the slave device.
#include "platform/posix/termios_port.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <tuple>

#include "platform/posix/custom_baud.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_platform.h"
#include "util/scratch.h"

// How often the driver's error counters were asked for: this program's
// ioctl() stands in front of the C library's and passes every call on.
std::atomic<int> counterRequests{0};

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (request == TIOCGICOUNT) ++counterRequests;
  return static_cast<int>(::syscall(SYS_ioctl, fd, request, argument));
}

namespace kivo::testing {
namespace {

using Octets = std::vector<std::uint8_t>;

// The master side of a new pseudo-terminal, raw so that it does not translate
// what the test writes.
struct Pty {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::string slavePath;

  Pty() {
    EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const char* name = ptsname(master);
    EXPECT_NE(name, nullptr);
    slavePath = name ? name : "";
    termios settings{};
    tcgetattr(master, &settings);
    cfmakeraw(&settings);
    tcsetattr(master, TCSANOW, &settings);
  }
  ~Pty() { CloseMaster(); }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void Write(const Octets& octets) {
    ASSERT_EQ(::write(master, octets.data(), octets.size()), static_cast<ssize_t>(octets.size()));
  }
  // What the port has written, waiting up to a second for `count` octets.
  Octets Take(std::size_t count) {
    Octets result;
    for (int round = 0; round < 100 && result.size() < count; ++round) {
      pollfd wait{master, POLLIN, 0};
      std::uint8_t buffer[256];
      const ssize_t n = ::poll(&wait, 1, 10) > 0 ? ::read(master, buffer, sizeof buffer) : 0;
      if (n > 0) result.insert(result.end(), buffer, buffer + n);
    }
    return result;
  }
};

termios SettingsOf(const SerialPort& port) {
  termios settings{};
  EXPECT_EQ(tcgetattr(port.Descriptor(), &settings), 0);
  return settings;
}

class TermiosPortTest : public ::testing::Test {
 protected:
  Pty pty;
  TermiosPort port{pty.slavePath};

  void Open(const CharacterFormat& format = {}) {
    ASSERT_TRUE(port.Open(format)) << port.LastError();
  }
  // Waits until the port's descriptor is readable (at most a second).
  bool WaitReadable() {
    pollfd wait{port.Descriptor(), POLLIN, 0};
    return ::poll(&wait, 1, 1000) > 0;
  }
  std::uint8_t errors = 0;  // the line errors of every batch read
  // Reads everything there is in batches of `batch` octets, as the serial path does.
  Octets ReadBatches(std::size_t batch) {
    Octets result;
    std::vector<std::uint8_t> buffer(batch);
    while (std::size_t n = port.Read(buffer)) {
      result.insert(result.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
      errors |= port.TakeLineErrors();
    }
    return result;
  }
};

TEST_F(TermiosPortTest, OpensTheDeviceInRawModeInItsCharacterFormat) {
  Open(CharacterFormat{9600, 8, Parity::Even, 1});
  EXPECT_TRUE(port.IsOpen());
  // A pseudo-terminal forces 8 data bits and no parity on its own.
  termios s = SettingsOf(port);
  EXPECT_EQ(s.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS | CREAD | CLOCAL), CREAD | CLOCAL);
  EXPECT_EQ(s.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(std::tuple(cfgetospeed(&s), cfgetispeed(&s), s.c_iflag, s.c_oflag & OPOST),
            std::tuple(speed_t{B9600}, speed_t{B9600}, tcflag_t{INPCK | PARMRK}, 0u));
  EXPECT_EQ(std::pair(s.c_cc[VMIN], s.c_cc[VTIME]), std::pair(cc_t{0}, cc_t{0}));

  // What a pseudo-terminal keeps: speed, stop bits, odd and stick parity.
  Open(CharacterFormat{19200, 7, Parity::Mark, 2});
  s = SettingsOf(port);
  EXPECT_EQ(s.c_cflag & (PARODD | CMSPAR | CSTOPB), PARODD | CMSPAR | CSTOPB);
  EXPECT_EQ(cfgetospeed(&s), speed_t{B19200});
  port.Close();
  Open(CharacterFormat{2400, 8, Parity::Space, 1});
  EXPECT_EQ(SettingsOf(port).c_cflag & (PARODD | CMSPAR | CSTOPB), tcflag_t{CMSPAR});

  // A rate without a Bxxx constant goes through the kernel's own speed.
  Open(CharacterFormat{31250, 8, Parity::Even, 1});
  EXPECT_EQ(CurrentBaud(port.Descriptor()), 31250u);
  EXPECT_EQ(SettingsOf(port).c_iflag, tcflag_t{INPCK | PARMRK});

  port.Close();
  for (const CharacterFormat& format :
       {CharacterFormat{9600, 9, Parity::Even, 1}, CharacterFormat{9600, 8, Parity::Even, 3},
        CharacterFormat{0, 8, Parity::Even, 1}})
    EXPECT_FALSE(port.Open(format)) << format.baud << " " << int{format.dataBits};
  EXPECT_FALSE(port.IsOpen());
  EXPECT_NE(port.LastError().find(pty.slavePath), std::string::npos);
}

TEST(ApplyCharacterFormat, EveryCharacterFormatGivesItsFlags) {
  const std::tuple<CharacterFormat, tcflag_t, speed_t> cases[] = {
      {{1200, 5, Parity::None, 2}, CS5 | CSTOPB, B1200},
      {{2400, 6, Parity::Odd, 1}, CS6 | PARENB | PARODD, B2400},
      {{9600, 8, Parity::Even, 1}, CS8 | PARENB, B9600},
      {{19200, 7, Parity::Mark, 2}, CS7 | PARENB | PARODD | CMSPAR | CSTOPB, B19200},
      {{115200, 8, Parity::Space, 1}, CS8 | PARENB | CMSPAR, B115200},
      {{31250, 8, Parity::None, 1}, CS8, B9600},  // the real rate follows through termios2
  };
  for (const auto& [format, cflag, speed] : cases) {
    termios s{};  // as another program may have left the device
    s.c_iflag = IXON | ICRNL | IGNPAR | ISTRIP | BRKINT;
    s.c_oflag = OPOST | ONLCR;
    s.c_cflag = CRTSCTS | HUPCL;
    s.c_lflag = ICANON | ECHO | ISIG;
    ASSERT_TRUE(ApplyCharacterFormat(s, format));
    EXPECT_EQ(s.c_cflag & ~static_cast<tcflag_t>(CBAUD | CBAUDEX), cflag | CLOCAL | CREAD)
        << format.baud;
    EXPECT_EQ(std::tuple(cfgetospeed(&s), cfgetispeed(&s), s.c_iflag, s.c_lflag, s.c_oflag),
              std::tuple(speed, speed, tcflag_t{INPCK | PARMRK}, 0u, 0u))
        << format.baud;
  }
  termios settings{};
  EXPECT_FALSE(ApplyCharacterFormat(settings, CharacterFormat{9600, 4, Parity::None, 1}));
  EXPECT_FALSE(ApplyCharacterFormat(settings, CharacterFormat{9600, 8, static_cast<Parity>(5), 1}));
}

// A pseudo-terminal keeps no error counters (ENOTTY): it is asked once, at
// opening, not again at every read.
TEST_F(TermiosPortTest, ReadsInBatchesWritesAndFlushes) {
  counterRequests = 0;
  Open();
  // 0xFF arrives doubled under PARMRK and must come out single.
  const Octets frame{0x68, 0x09, 0x09, 0x68, 0xFF, 0x00, 0xFF, 0xFF, 0x16, 0x00, 0x10, 0x16};
  pty.Write(frame);
  ASSERT_TRUE(WaitReadable());
  EXPECT_EQ(ReadBatches(3), frame);
  EXPECT_EQ(errors, 0);
  EXPECT_FALSE(port.Gone());
  EXPECT_EQ(counterRequests, 1);

  const Octets written{0x10, 0x49, 0x01, 0x4A, 0x16, 0x0A, 0xFF, 0x0D};
  ASSERT_TRUE(port.Write(written));
  EXPECT_EQ(pty.Take(written.size()), written);

  pty.Write(Octets{1, 2, 3});
  ASSERT_TRUE(WaitReadable());
  port.Flush();
  EXPECT_EQ(ReadBatches(16), Octets{});
  pty.Write(Octets{4});
  ASSERT_TRUE(WaitReadable());
  EXPECT_EQ(ReadBatches(16), Octets{4});
}

TEST_F(TermiosPortTest, ModemLinesReadOffCloseReleasesAndTheEventLoopSeesTheDeviceGo) {
  port.SetRts(true);  // before opening: applied at Open
  Open();
  port.SetDtr(true);
  port.SetRts(false);
  EXPECT_EQ(port.ModemStatus(), 0) << "a pseudo-terminal has no modem lines";
  EXPECT_TRUE(port.LastError().empty()) << port.LastError();
  EXPECT_FALSE(port.Gone());
  EXPECT_TRUE(port.Write(Octets{0xE5}));

  const int fd = port.Descriptor();
  port.Close();
  EXPECT_EQ(std::pair(port.IsOpen(), port.Descriptor()), std::pair(false, -1));
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  std::uint8_t buffer[16];
  EXPECT_EQ(port.Read(buffer), 0u);
  EXPECT_FALSE(port.Write(Octets{1}));
  EXPECT_EQ(port.ModemStatus(), 0);
  Open();  // and it opens again

  // The event loop of the command-line program reads until nothing is left,
  // then looks whether the device went; the hang-up wakes it as readable.
  PosixClock clock;
  PollLoop loop(clock);
  Octets received;
  loop.Watch(port.Descriptor(), [&] {
    while (std::size_t n = port.Read(buffer)) received.insert(received.end(), buffer, buffer + n);
    if (received.size() == 3) pty.CloseMaster();
    if (port.Gone()) loop.Stop();
  });
  loop.Start(5000, [&] { loop.Stop(); });  // a guard only
  pty.Write(Octets{0x10, 0xFF, 0x16});
  loop.Run();
  EXPECT_EQ(received, (Octets{0x10, 0xFF, 0x16}));
  EXPECT_TRUE(port.Gone());
  EXPECT_NE(port.LastError().find(pty.slavePath), std::string::npos);
  EXPECT_NE(port.LastError().find("no longer there"), std::string::npos);
  EXPECT_FALSE(port.Write(Octets{1}));
  EXPECT_EQ(port.Read(buffer), 0u);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST(TermiosPort, OpenFailuresNameTheDevice) {
  ScratchDir dir;
  TermiosPort missing(dir.path() + "ttyUSB9");
  EXPECT_FALSE(missing.Open(CharacterFormat{}));
  EXPECT_EQ(missing.LastError(), dir.path() + "ttyUSB9: no such device (unplugged?)");

  WriteFile(dir.path() + "plain", "x");
  TermiosPort plain(dir.path() + "plain");
  EXPECT_FALSE(plain.Open(CharacterFormat{}));
  EXPECT_EQ(plain.LastError(), dir.path() + "plain: not a serial port");
  EXPECT_EQ(plain.Descriptor(), -1);

  const std::string text = DescribeOpenFailure("/dev/ttyUSB0", EACCES);
  EXPECT_EQ(text.rfind("/dev/ttyUSB0: permission denied", 0), 0u) << text;
  EXPECT_NE(text.find("'dialout'"), std::string::npos);
  EXPECT_EQ(DescribeOpenFailure("/dev/ttyS3", EPERM), DescribeOpenFailure("/dev/ttyS3", EACCES));
  if (geteuid() != 0) {
    WriteFile(dir.path() + "ttyS0", "");
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

  void Nodes(std::initializer_list<std::string> names) {
    for (const std::string& name : names) WriteFile(dev + name, "");
  }
  void Uart(const std::string& name, int type) {
    Nodes({name});
    std::filesystem::create_directories(sys + name);
    WriteFile(sys + name + "/type", std::to_string(type) + "\n");
  }
};

TEST(TermiosPortEnumerator, NumbersFoundDevicesInOrderAfterBindingsOnceEachUpToSixtyFour) {
  FakeDevices fake;
  fake.Nodes({"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyUSBx", "tty1"});
  fake.Uart("ttyS0", 0);  // no UART behind it
  fake.Uart("ttyS1", 4);
  fake.Nodes({"ttyS2"});  // nothing known of it
  std::filesystem::create_directories(fake.dev + "serial/by-id");
  std::filesystem::create_symlink("../../ttyUSB10",
                                  fake.dev + "serial/by-id/usb-FTDI_A1-if00-port0");

  TermiosPortEnumerator ports({{2, "/dev/pts/7"}}, fake.dev, fake.sys);
  EXPECT_EQ(ports.PortMap(),
            (std::map<int, std::string>{{1, fake.dev + "ttyUSB2"},
                                        {2, "/dev/pts/7"},
                                        {3, fake.dev + "serial/by-id/usb-FTDI_A1-if00-port0"},
                                        {4, fake.dev + "ttyACM0"},
                                        {5, fake.dev + "ttyS1"}}));

  FakeDevices two;
  two.Nodes({"ttyUSB0", "ttyUSB1"});
  TermiosPortEnumerator bound({}, two.dev, two.sys);
  bound.Bind(64, two.dev + "ttyUSB0");
  bound.Bind(0, "/dev/null");  // out of range: ignored
  bound.Bind(65, "/dev/null");
  EXPECT_EQ(bound.PortMap(),
            (std::map<int, std::string>{{1, two.dev + "ttyUSB1"}, {64, two.dev + "ttyUSB0"}}));
  bound.Bind(64, "");
  EXPECT_EQ(bound.PortMap().at(1), two.dev + "ttyUSB0");

  FakeDevices many;
  for (int i = 0; i < 70; ++i) many.Nodes({"ttyACM" + std::to_string(i)});
  const auto map = TermiosPortEnumerator({}, many.dev, many.sys).PortMap();
  EXPECT_EQ(map.size(), 64u);
  EXPECT_EQ(map.rbegin()->second, many.dev + "ttyACM63");
}

TEST(TermiosPortEnumerator, ExistsOnlyForCharacterDevicesAndCreatesTheirPorts) {
  FakeDevices fake;
  fake.Nodes({"ttyUSB0"});  // a plain file, no device
  Pty pty;
  TermiosPortEnumerator ports({{5, pty.slavePath}}, fake.dev, fake.sys);
  EXPECT_EQ(std::tuple(ports.Exists(1), ports.Exists(5), ports.Exists(6)),
            std::tuple(false, true, false));
  EXPECT_EQ(ports.Create(6), nullptr);
  auto port = ports.Create(5);
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Open(CharacterFormat{})) << port->LastError();
  ASSERT_TRUE(port->Write(Octets{0xE5}));
  EXPECT_EQ(pty.Take(1), Octets{0xE5});
}

}  // namespace
}  // namespace kivo::testing
