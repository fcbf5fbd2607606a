#include "app/port_service.h"

#include "app/instance.h"
#include "app/main_timer.h"
#include "link/serial_path.h"

namespace kivo {

PortService::PortService(Instance& instance, DescriptorWatch& watch)
    : instance_(instance), watch_(watch) {}

PortService::~PortService() {
  for (int& fd : watched_) {
    if (fd >= 0) watch_.Unwatch(fd);
    fd = -1;
  }
}

void PortService::Reconcile() {
  for (int i = 0; i < 2; ++i) {
    const PortRecord& port = instance_.ports[static_cast<std::size_t>(i)];
    const int fd = port.open && port.serial ? port.serial->Descriptor() : -1;
    int& current = watched_[static_cast<std::size_t>(i)];
    if (fd == current) continue;
    if (current >= 0) watch_.Unwatch(current);
    current = fd;
    if (fd < 0) continue;
    watch_.Watch(fd, [this, i] {
      OnDataAvailable(instance_.linkContext, i);
      RunPostedLinkSteps(instance_.linkContext);
      // A read may find the device gone and close the port.
      Reconcile();
    });
  }
}

void PortService::Tick() {
  OnTimerTick(instance_);
  RunPosted();
}

void PortService::RunPosted() {
  RunPostedLinkSteps(instance_.linkContext);
  Reconcile();
}

}  // namespace kivo
