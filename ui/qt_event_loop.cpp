#include "ui/qt_event_loop.h"

#include <utility>

namespace kivo {

QtEventLoop::~QtEventLoop() {
  for (auto& [id, timer] : timers_) delete timer;
  for (auto& [fd, notifier] : notifiers_) delete notifier;
}

OneShotTimer::Id QtEventLoop::Start(std::uint32_t ms, std::function<void()> onExpiry) {
  const Id id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  auto* timer = new QTimer(this);
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  connect(timer, &QTimer::timeout, this, [this, id, fire = std::move(onExpiry)] {
    // The timer is gone before its callback runs, which may start another.
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->deleteLater();
    timers_.erase(it);
    if (fire) fire();
  });
  timers_[id] = timer;
  timer->start(static_cast<int>(ms));
  return id;
}

void QtEventLoop::Cancel(Id id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

void QtEventLoop::Watch(int fd, std::function<void()> onReadable) {
  Unwatch(fd);
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this,
          [callback = std::move(onReadable)] { callback(); });
  notifiers_[fd] = notifier;
}

void QtEventLoop::Unwatch(int fd) {
  auto it = notifiers_.find(fd);
  if (it == notifiers_.end()) return;
  // The notifier may be the one whose signal is being delivered.
  it->second->setEnabled(false);
  it->second->deleteLater();
  notifiers_.erase(it);
}

}  // namespace kivo
