// Baud rates that have no Bxxx constant, through the kernel's termios2
// (BOTHER). Kept in its own file: the kernel's termios headers clash with
// the C library's.
#pragma once

#include <cstdint>

namespace kivo {

// Sets input and output speed of the open terminal `fd` to `baud`; the rest
// of its settings stay. Returns 0, or the errno of the failing call.
int SetCustomBaud(int fd, std::uint32_t baud);
// The output speed of the open terminal `fd` in bits per second, 0 when it
// cannot be read.
std::uint32_t CurrentBaud(int fd);

}  // namespace kivo
