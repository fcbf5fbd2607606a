// Where the targets that go through real files keep them: in memory
// (/dev/shm) where the machine has it, so that a run measures the readers and
// not the disk, else in /tmp.
#pragma once

#include <unistd.h>

#include <string>

namespace kivo_fuzz {

inline const std::string& ScratchFolder() {
  static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
  return folder;
}

}  // namespace kivo_fuzz
