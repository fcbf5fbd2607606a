#include "util/block_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kivo {

BlockFile& BlockFile::operator=(BlockFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool BlockFile::Open(const std::string& path, Access access) {
  Close();
  int flags = O_CLOEXEC;
  switch (access) {
    case Access::ReadOnly:
      flags |= O_RDONLY;
      break;
    case Access::ReadWrite:
      flags |= O_RDWR;
      break;
    case Access::CreateTruncate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  fd_ = ::open(path.c_str(), flags, 0666);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    return false;
  }
  return true;
}

bool BlockFile::Close() {
  if (fd_ < 0) return true;
  int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

bool BlockFile::TryLockExclusive() {
  if (fd_ < 0) return false;
  int result;
  do {
    result = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool BlockFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> block) const {
  if (fd_ < 0) return false;
  ssize_t n;
  do {
    n = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n >= 0 && static_cast<std::size_t>(n) == block.size();
}

bool BlockFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> block) {
  if (fd_ < 0) return false;
  ssize_t n;
  do {
    n = ::pwrite(fd_, block.data(), block.size(), static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n >= 0 && static_cast<std::size_t>(n) == block.size();
}

std::int64_t BlockFile::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace kivo
