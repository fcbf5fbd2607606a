// The window program's driver: one-shot timers on QTimer and the port
// descriptors on QSocketNotifier, both delivered by the Qt event loop in the
// main thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>

#include "platform/descriptor_watch.h"
#include "platform/timer.h"

namespace kivo {

class QtEventLoop : public QObject, public OneShotTimer, public DescriptorWatch {
  Q_OBJECT

 public:
  explicit QtEventLoop(QObject* parent = nullptr) : QObject(parent) {}
  ~QtEventLoop() override;

  Id Start(std::uint32_t ms, std::function<void()> onExpiry) override;
  void Cancel(Id id) override;

  void Watch(int fd, std::function<void()> onReadable) override;
  void Unwatch(int fd) override;

  std::size_t PendingTimers() const { return timers_.size(); }
  bool Watching(int fd) const { return notifiers_.count(fd) != 0; }

 private:
  Id nextId_ = 1;
  std::map<Id, QTimer*> timers_;
  std::map<int, QSocketNotifier*> notifiers_;
};

}  // namespace kivo
