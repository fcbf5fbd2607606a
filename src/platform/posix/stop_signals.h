// SIGINT and SIGTERM delivered through a descriptor, so that a program's
// event loop ends its run in order (logs closed, temporary files removed)
// instead of dying at once. Made before any thread starts: the signals are
// blocked in the thread that makes it and in every thread started later.
#pragma once

#include <signal.h>

namespace kivo {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable when a signal came; -1 when none could be made.
  int fd() const { return fd_; }
  // Reads the signals that came.
  void Drain() const;

 private:
  int fd_ = -1;
  sigset_t previous_{};
};

}  // namespace kivo
