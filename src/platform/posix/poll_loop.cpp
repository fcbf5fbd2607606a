#include "platform/posix/poll_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace kivo {

std::uint64_t PollLoop::Now() {
  std::uint32_t raw = clock_.NowMs();
  if (!started_) {
    started_ = true;
    lastRaw_ = raw;
    unwrapped_ = 0;
  }
  unwrapped_ += static_cast<std::uint32_t>(raw - lastRaw_);
  lastRaw_ = raw;
  return unwrapped_;
}

OneShotTimer::Id PollLoop::Start(std::uint32_t ms, std::function<void()> onExpiry) {
  Id id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  timers_.emplace(Now() + ms, Timer{id, std::move(onExpiry)});
  return id;
}

void PollLoop::Cancel(Id id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.id == id) {
      timers_.erase(it);
      return;
    }
  }
}

void PollLoop::SetPeriodic(std::uint32_t intervalMs, std::function<void()> onTick) {
  periodMs_ = intervalMs;
  onTick_ = std::move(onTick);
  nextTick_ = Now() + intervalMs;
}

void PollLoop::Watch(int fd, std::function<void()> onReadable) {
  watches_[fd] = std::move(onReadable);
}

void PollLoop::Unwatch(int fd) { watches_.erase(fd); }

void PollLoop::Run(const std::function<bool()>& keepRunning) {
  stopped_ = false;
  while (!stopped_ && (!keepRunning || keepRunning())) {
    std::uint64_t now = Now();
    std::uint64_t wakeAt = now + 1000;
    if (onTick_) wakeAt = std::min(wakeAt, nextTick_);
    if (!timers_.empty()) wakeAt = std::min(wakeAt, timers_.begin()->first);
    int timeout = wakeAt > now ? static_cast<int>(wakeAt - now) : 0;

    std::vector<pollfd> fds;
    for (const auto& [fd, callback] : watches_) fds.push_back({fd, POLLIN, 0});
    int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) break;
    for (const pollfd& p : fds) {
      if (p.revents == 0) continue;
      auto it = watches_.find(p.fd);
      if (it != watches_.end()) {
        auto callback = it->second;
        callback();
      }
    }
    now = Now();
    while (!timers_.empty() && timers_.begin()->first <= now) {
      auto it = timers_.begin();
      std::function<void()> fire = std::move(it->second.onExpiry);
      timers_.erase(it);
      if (fire) fire();
    }
    if (onTick_ && now >= nextTick_) {
      nextTick_ = std::max(nextTick_ + periodMs_, now);
      onTick_();
    }
  }
}

}  // namespace kivo
