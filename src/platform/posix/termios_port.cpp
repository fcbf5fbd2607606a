#include "platform/posix/termios_port.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/posix/custom_baud.h"

namespace kivo {

namespace {

struct BaudConstant {
  std::uint32_t baud;
  speed_t constant;
};

constexpr std::array<BaudConstant, 30> kBaudConstants{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::optional<speed_t> BaudConstantOf(std::uint32_t baud) {
  for (const BaudConstant& entry : kBaudConstants) {
    if (entry.baud == baud) return entry.constant;
  }
  return std::nullopt;
}

tcflag_t DataBitsFlag(std::uint8_t bits) {
  switch (bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t ParityFlags(Parity parity) {
  switch (parity) {
    case Parity::None:
      return 0;
    case Parity::Odd:
      return PARENB | PARODD;
    case Parity::Even:
      return PARENB;
    case Parity::Mark:
      return PARENB | CMSPAR | PARODD;
    case Parity::Space:
      return PARENB | CMSPAR;
  }
  return 0;
}

// Errors of a read or an ioctl that mean the device itself has gone.
bool MeansDeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

// The C library refuses a setting when the driver changed its data bits or
// parity. A pseudo-terminal always does (it forces 8 bits, no parity): that is
// fine as long as it took the rest.
bool TakenByPseudoTerminal(int fd, const termios& wanted) {
  constexpr unsigned kFirstPtyMajor = 136;  // UNIX98 slaves: majors 136..143
  constexpr unsigned kLastPtyMajor = 143;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || major(info.st_rdev) < kFirstPtyMajor ||
      major(info.st_rdev) > kLastPtyMajor) {
    return false;
  }
  termios now{};
  if (tcgetattr(fd, &now) != 0) return false;
  const tcflag_t kept = ~static_cast<tcflag_t>(CSIZE | PARENB);
  return now.c_iflag == wanted.c_iflag && now.c_lflag == wanted.c_lflag &&
         (now.c_cflag & kept) == (wanted.c_cflag & kept) &&
         cfgetospeed(&now) == cfgetospeed(&wanted);
}

constexpr std::size_t kRawChunk = 4096;
constexpr int kWriteWaitMs = 100;
constexpr int kWriteWaitRounds = 20;

}  // namespace

std::string DescribeOpenFailure(const std::string& path, int error) {
  if (error == EACCES || error == EPERM) {
    return path +
           ": permission denied; the user needs to be a member of the group 'dialout' "
           "(sudo usermod -aG dialout $USER, then log in again)";
  }
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    return path + ": no such device (unplugged?)";
  }
  if (error == EBUSY) return path + ": the device is in use by another program";
  return path + ": cannot open: " + std::strerror(error);
}

bool ApplyCharacterFormat(termios& settings, const CharacterFormat& format) {
  if (format.dataBits < 5 || format.dataBits > 8 ||
      (format.stopBits != 1 && format.stopBits != 2) ||
      static_cast<std::uint8_t>(format.parity) > static_cast<std::uint8_t>(Parity::Space) ||
      format.baud == 0) {
    return false;
  }
  // INPCK + PARMRK also makes the driver double a real 0xFF.
  settings.c_iflag = INPCK | PARMRK;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cflag = CLOCAL | CREAD | DataBitsFlag(format.dataBits) | ParityFlags(format.parity) |
                     (format.stopBits == 2 ? CSTOPB : 0);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  // Other rates are set afterwards through SetCustomBaud; until then 9600.
  const speed_t speed = BaudConstantOf(format.baud).value_or(B9600);
  cfsetispeed(&settings, speed);
  cfsetospeed(&settings, speed);
  return true;
}

void TermiosPort::Fail(const std::string& what, int error) {
  lastError_ = path_ + ": " + what + ": " + std::strerror(error);
}

void TermiosPort::MarkGone(const std::string& reason) {
  if (gone_) return;
  gone_ = true;
  lastError_ = path_ + ": the device is no longer there (" + reason + ")";
}

bool TermiosPort::Open(const CharacterFormat& format) {
  if (IsOpen()) Close();
  gone_ = false;
  lastError_.clear();
  termios check{};
  if (!ApplyCharacterFormat(check, format)) {
    lastError_ = path_ + ": unsupported character format";
    return false;
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = DescribeOpenFailure(path_, errno);
    return false;
  }
  // One program per port, as with the serial ports of other systems: a
  // second open fails with EBUSY (except for root).
  (void)ioctl(fd, TIOCEXCL);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == ENOTTY) {
      lastError_ = path_ + ": not a serial port";
    } else {
      Fail("cannot read the line settings", error);
    }
    return false;
  }
  ApplyCharacterFormat(settings, format);
  const bool standardRate = BaudConstantOf(format.baud).has_value();
  if (tcsetattr(fd, TCSANOW, &settings) != 0 && !TakenByPseudoTerminal(fd, settings)) {
    const int error = errno;
    ::close(fd);
    Fail("cannot set the character format", error);
    return false;
  }
  if (!standardRate) {
    if (int error = SetCustomBaud(fd, format.baud); error != 0) {
      ::close(fd);
      lastError_ = path_ + ": the baud rate " + std::to_string(format.baud) +
                   " is not supported (" + std::strerror(error) + ")";
      return false;
    }
  }
  fd_ = fd;
  received_.Clear();
  lineErrors_ = 0;
  noCounters_ = false;
  counters_ = ReadCounters();
  if (rts_) ApplyModemLine(kRtsBit, *rts_);
  if (dtr_) ApplyModemLine(kDtrBit, *dtr_);
  return true;
}

void TermiosPort::Close() {
  if (fd_ < 0) return;
  (void)SetRs485(Rs485Setting{});
  // The flag stays on the device while any side holds it (the master of a
  // pseudo-terminal), and would keep us out the next time.
  (void)ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  received_.Clear();
}

bool TermiosPort::SetRs485(const Rs485Setting& setting) {
  if (fd_ < 0) {
    lastError_ = path_ + ": the port is not open";
    return false;
  }
  if (!setting.enabled) {
    if (!rs485Before_) return true;
    serial_rs485 before = *rs485Before_;
    rs485Before_.reset();
    if (ioctl(fd_, TIOCSRS485, &before) != 0) {
      Fail("cannot take RTS back from the driver", errno);
      return false;
    }
    return true;
  }
  serial_rs485 current{};
  const bool known = ioctl(fd_, TIOCGRS485, &current) == 0;
  serial_rs485 wanted = current;
  wanted.flags = (current.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) &
                 ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
  wanted.delay_rts_before_send = setting.leadMs;
  wanted.delay_rts_after_send = setting.lagMs;
  if (!known || ioctl(fd_, TIOCSRS485, &wanted) != 0) {
    lastError_ = "RS-485 by the driver is not supported by " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (!rs485Before_) rs485Before_ = current;
  return true;
}

void TermiosPort::Flush() {
  if (fd_ < 0) return;
  tcflush(fd_, TCIOFLUSH);
  received_.Clear();
  lineErrors_ = 0;
  counters_ = ReadCounters();
}

std::optional<TermiosPort::Counters> TermiosPort::ReadCounters() {
  serial_icounter_struct counts{};
  if (fd_ < 0 || noCounters_) return std::nullopt;
  if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) {
    noCounters_ = errno == ENOTTY || errno == EINVAL;
    return std::nullopt;
  }
  Counters result;
  result.parity = static_cast<std::uint32_t>(counts.parity);
  result.framing = static_cast<std::uint32_t>(counts.frame);
  result.overrun =
      static_cast<std::uint32_t>(counts.overrun) + static_cast<std::uint32_t>(counts.buf_overrun);
  return result;
}

// The marks in the stream do not say parity or framing; the driver's counters
// do, where it keeps them. Overruns are known from the counters alone.
std::uint8_t TermiosPort::ClassifyBadOctets() {
  const std::optional<Counters> now = ReadCounters();
  std::uint8_t kinds = 0;
  if (now && counters_) {
    if (now->parity != counters_->parity) kinds |= kLineParity;
    if (now->framing != counters_->framing) kinds |= kLineFraming;
    if (now->overrun != counters_->overrun) kinds |= kLineOverrun;
  }
  counters_ = now;
  return kinds;
}

void TermiosPort::FillPending() {
  std::array<std::uint8_t, kRawChunk> raw{};
  const ssize_t count = ::read(fd_, raw.data(), raw.size());
  if (count > 0) {
    received_.Feed(std::span<const std::uint8_t>(raw.data(), static_cast<std::size_t>(count)));
    return;
  }
  if (count < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return;
    MarkGone(std::strerror(error));
    return;
  }
  // With VMIN = 0 a read of nothing returns 0 both when the line is quiet and
  // when it has been hung up; poll tells the two apart.
  pollfd probe{fd_, POLLIN, 0};
  if (::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    MarkGone("hang-up");
  }
}

std::size_t TermiosPort::Read(std::span<std::uint8_t> out) {
  if (fd_ < 0) return 0;
  // What was decoded before the device went is still delivered.
  if (!gone_ && received_.Pending() < out.size()) FillPending();
  const MarkedStream::Batch batch = received_.Take(out);
  if (batch.brk) lineErrors_ |= kLineBreak;
  const std::uint8_t kinds = ClassifyBadOctets();
  lineErrors_ |= kinds & kLineOverrun;
  if (batch.badOctet) {
    const std::uint8_t parityOrFraming = kinds & (kLineParity | kLineFraming);
    lineErrors_ |= parityOrFraming != 0 ? parityOrFraming : std::uint8_t{kLineParity};
  }
  return batch.count;
}

std::uint8_t TermiosPort::TakeLineErrors() {
  const std::uint8_t errors = lineErrors_;
  lineErrors_ = 0;
  return errors;
}

bool TermiosPort::Write(std::span<const std::uint8_t> octets) {
  if (fd_ < 0) {
    lastError_ = path_ + ": the port is not open";
    return false;
  }
  if (gone_) return false;
  std::size_t done = 0;
  int waits = 0;
  while (done < octets.size()) {
    const ssize_t written = ::write(fd_, octets.data() + done, octets.size() - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    const int error = written < 0 ? errno : EAGAIN;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      // The driver's buffer is full: the line drains it at the baud rate.
      pollfd wait{fd_, POLLOUT, 0};
      if (++waits > kWriteWaitRounds || ::poll(&wait, 1, kWriteWaitMs) < 0) {
        lastError_ = path_ + ": the line does not take the octets (flow stopped?)";
        return false;
      }
      continue;
    }
    if (MeansDeviceGone(error)) {
      MarkGone(std::strerror(error));
    } else {
      Fail("write failed", error);
    }
    return false;
  }
  return true;
}

void TermiosPort::SetModemLine(int line, bool on) {
  (line == kRtsBit ? rts_ : dtr_) = on;
  ApplyModemLine(line, on);
}

void TermiosPort::ApplyModemLine(int line, bool on) {
  if (fd_ < 0) return;
  int bits = line == kRtsBit ? TIOCM_RTS : TIOCM_DTR;
  // Pseudo-terminals refuse this; they simply have no such line.
  (void)ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
}

std::uint8_t TermiosPort::ModemStatus() {
  int lines = 0;
  if (fd_ < 0 || ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
  std::uint8_t status = 0;
  if (lines & TIOCM_CAR) status |= kModemDcd;
  if (lines & TIOCM_RNG) status |= kModemRi;
  if (lines & TIOCM_DSR) status |= kModemDsr;
  if (lines & TIOCM_CTS) status |= kModemCts;
  return status;
}

// --- port numbering ---------------------------------------------------------

namespace {

namespace fs = std::filesystem;

// "ttyUSB12" -> 12; -1 when the name is not prefix + digits.
long DeviceNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
  long number = 0;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || number > 100000) return -1;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

bool UartPresent(const std::string& sysTtyRoot, const std::string& name) {
  std::ifstream in(sysTtyRoot + "/" + name + "/type");
  int type = 0;
  return static_cast<bool>(in >> type) && type != 0;
}

std::string Canonical(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace

TermiosPortEnumerator::TermiosPortEnumerator(std::map<int, std::string> bindings,
                                             std::string devRoot, std::string sysTtyRoot)
    : devRoot_(std::move(devRoot)), sysTtyRoot_(std::move(sysTtyRoot)) {
  for (auto& [number, path] : bindings) Bind(number, std::move(path));
}

void TermiosPortEnumerator::Bind(int portNumber, std::string path) {
  if (portNumber < 1 || portNumber > kMaxPort) return;
  if (path.empty()) {
    bindings_.erase(portNumber);
  } else {
    bindings_[portNumber] = std::move(path);
  }
}

std::vector<std::string> TermiosPortEnumerator::FoundDevices() const {
  std::error_code error;
  // Kernel device (canonical path) -> its by-id link.
  std::map<std::string, std::string> byId;
  for (const auto& entry : fs::directory_iterator(fs::path(devRoot_) / "serial/by-id", error)) {
    const std::string link = entry.path().string();
    const std::string target = Canonical(link);
    auto [it, added] = byId.emplace(target, link);
    if (!added && link < it->second) it->second = link;  // the same name every time
  }
  static constexpr std::array<const char*, 3> kPrefixes{"ttyUSB", "ttyACM", "ttyS"};
  std::vector<std::string> found;
  for (const char* prefix : kPrefixes) {
    std::vector<std::pair<long, std::string>> group;
    for (const auto& entry : fs::directory_iterator(devRoot_, error)) {
      const std::string name = entry.path().filename().string();
      const long number = DeviceNumber(name, prefix);
      if (number < 0) continue;
      if (std::string(prefix) == "ttyS" && !UartPresent(sysTtyRoot_, name)) continue;
      group.emplace_back(number, entry.path().string());
    }
    std::sort(group.begin(), group.end());
    for (auto& [number, path] : group) {
      auto link = byId.find(Canonical(path));
      found.push_back(link != byId.end() ? link->second : path);
    }
  }
  return found;
}

std::map<int, std::string> TermiosPortEnumerator::PortMap() const {
  std::map<int, std::string> map = bindings_;
  std::vector<std::string> bound;
  for (const auto& [number, path] : bindings_) bound.push_back(Canonical(path));
  int next = 1;
  for (const std::string& device : FoundDevices()) {
    if (std::find(bound.begin(), bound.end(), Canonical(device)) != bound.end()) continue;
    while (next <= kMaxPort && map.count(next) != 0) ++next;
    if (next > kMaxPort) break;
    map[next] = device;
  }
  return map;
}

bool TermiosPortEnumerator::Exists(int portNumber) {
  const std::map<int, std::string> map = PortMap();
  auto it = map.find(portNumber);
  if (it == map.end()) return false;
  struct stat info {};
  return ::stat(it->second.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::unique_ptr<SerialPort> TermiosPortEnumerator::Create(int portNumber) {
  const std::map<int, std::string> map = PortMap();
  auto it = map.find(portNumber);
  if (it == map.end()) return nullptr;
  return std::make_unique<TermiosPort>(it->second);
}

std::map<int, std::string> LoadPortMap(Registry& registry) {
  std::map<int, std::string> map;
  for (int n = 1; n <= TermiosPortEnumerator::kMaxPort; ++n) {
    const auto path = registry.ReadString(kPortMapKey, std::to_string(n));
    if (path && !path->empty()) map[n] = *path;
  }
  return map;
}

}  // namespace kivo
