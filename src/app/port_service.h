// How a driver serves an Instance's ports: the descriptor of every open port
// is watched and read when readable, and the link steps posted by a read or
// a fired timer run at once. kivo-cli's poll loop and the window's event loop
// both serve their ports through it, so the two programs never differ in
// which ports they read.
#pragma once

#include <array>

#include "platform/descriptor_watch.h"

namespace kivo {

class Instance;

class PortService {
 public:
  PortService(Instance& instance, DescriptorWatch& watch);
  ~PortService();
  PortService(const PortService&) = delete;
  PortService& operator=(const PortService&) = delete;

  // Watches the descriptor of every open port and drops those of ports that
  // closed or went away; call after anything that may open or close a port.
  void Reconcile();
  // The driver's periodic tick: the main timer, then the posted link steps
  // and the watch list.
  void Tick();
  // Link steps posted by fired one-shot timers.
  void RunPosted();
  // The descriptor watched for port 0 or 1, or -1.
  int Watched(int port) const { return watched_[static_cast<std::size_t>(port)]; }

 private:
  Instance& instance_;
  DescriptorWatch& watch_;
  std::array<int, 2> watched_{-1, -1};
};

}  // namespace kivo
