#include "platform/posix/stop_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace kivo {

StopSignals::StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, &previous_);
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
  if (fd_ >= 0) ::close(fd_);
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::Drain() const {
  signalfd_siginfo info;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
  }
}

}  // namespace kivo
