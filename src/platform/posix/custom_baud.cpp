#include "platform/posix/custom_baud.h"

#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

namespace kivo {

int SetCustomBaud(int fd, std::uint32_t baud) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

std::uint32_t CurrentBaud(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace kivo
