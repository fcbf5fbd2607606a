// Test helper: claims an instance slot as the programs do, says which, and
// holds it until standard input closes. Exit code 3 when no slot was free.
#include <unistd.h>

#include <cstdio>

#include "platform/posix/posix_platform.h"

int main() {
  kivo::FlockInstanceLock lock;
  int slot = 0;
  for (int s = 1; s <= 2 && slot == 0; ++s) {
    if (lock.TryClaim(s)) slot = s;
  }
  if (slot == 0) return 3;
  std::printf("slot %d\n", slot);
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  return 0;
}
