// Test helper: claims an instance slot as the programs do, says which, and
// holds it until standard input closes. Exit code 3 when no slot was free.
#include <unistd.h>

#include <cstdio>

#include "platform/posix/posix_platform.h"

int main() {
  kivo::FlockInstanceLock lock;
  int slot = 1;
  while (slot <= 2 && !lock.TryClaim(slot)) ++slot;
  if (slot > 2) return 3;
  std::printf("slot %d\n", slot);
  std::fflush(stdout);
  for (char c; ::read(0, &c, 1) > 0;) {
  }
  return 0;
}
