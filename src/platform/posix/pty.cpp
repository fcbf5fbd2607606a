#include "platform/posix/pty.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace kivo {

PseudoTerminal::PseudoTerminal() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error_ = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return;
  }
  const char* name = ::ptsname(master_);
  if (name == nullptr) {
    error_ = std::string("no pseudo-terminal name: ") + std::strerror(errno);
    return;
  }
  slavePath_ = name;
  holder_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (holder_ < 0) error_ = slavePath_ + ": " + std::strerror(errno);
}

PseudoTerminal::~PseudoTerminal() {
  if (holder_ >= 0) ::close(holder_);
  if (master_ >= 0) ::close(master_);
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PtyMasterPort::Open(const CharacterFormat&) {
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) {
    lastError_ = std::string("pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  ::cfmakeraw(&settings);
  if (::tcsetattr(fd_, TCSANOW, &settings) != 0) {
    lastError_ = std::string("pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  return open_ = true;
}

bool PtyMasterPort::SetRs485(const Rs485Setting& setting) {
  if (!setting.enabled) return true;
  // A pair of pseudo-terminals has no RTS line, whatever the ioctl says.
  serial_rs485 current{};
  const int error = ::ioctl(fd_, TIOCGRS485, &current) != 0 ? errno : ENOTTY;
  lastError_ = std::string("RS-485 by the driver is not supported by the pseudo-terminal: ") +
               std::strerror(error);
  return false;
}

void PtyMasterPort::Flush() {
  if (open_) ::tcflush(fd_, TCIOFLUSH);
}

std::size_t PtyMasterPort::Read(std::span<std::uint8_t> out) {
  if (!open_) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, out.data(), out.size());
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
}

bool PtyMasterPort::Write(std::span<const std::uint8_t> octets) {
  constexpr int kMaxWaits = 200;  // 1 ms each
  std::size_t done = 0;
  int waits = 0;
  while (open_ && done < octets.size()) {
    const ssize_t n = ::write(fd_, octets.data() + done, octets.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && ++waits <= kMaxWaits) {
      // The other side is slow to read: wait a little for room.
      ::usleep(1000);
      continue;
    }
    if (n <= 0) {
      lastError_ = std::string("pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return open_;
}

bool MasterBindingEnumerator::Exists(int portNumber) {
  return masters_.count(portNumber) != 0 || devices_.Exists(portNumber);
}

std::unique_ptr<SerialPort> MasterBindingEnumerator::Create(int portNumber) {
  const auto it = masters_.find(portNumber);
  if (it != masters_.end()) return std::make_unique<PtyMasterPort>(it->second);
  return devices_.Create(portNumber);
}

}  // namespace kivo
