#include "util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kivo {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::span<const std::uint8_t> content) {
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n =
        ::pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool FileExists(const std::string& path) {
  return FileSize(path) >= 0;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string partial;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    if (!partial.empty() && !DirectoryExists(partial)) {
      if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    pos = slash + 1;
  }
  return DirectoryExists(path);
}

bool ReadExactly(const std::string& path, std::uint64_t offset, std::span<std::uint8_t> out) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n =
        ::pread(fd.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

ReplaceOutcome ReplaceFileContent(const std::string& path, std::span<const std::uint8_t> content) {
  std::string temporary = path + ".tmp";
  Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return ReplaceOutcome::NotCreated;
  bool ok = WriteAll(fd.get(), content) && ::fsync(fd.get()) == 0;
  ok = ::close(fd.release()) == 0 && ok;
  if (!ok) {
    ::unlink(temporary.c_str());
    return ReplaceOutcome::NotWritten;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return ReplaceOutcome::NotCreated;
  }
  return ReplaceOutcome::Replaced;
}

bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> content) {
  return ReplaceFileContent(path, content) == ReplaceOutcome::Replaced;
}

bool CopyWholeFile(const std::string& source, const std::string& destination) {
  if (source == destination) return false;
  std::int64_t size = FileSize(source);
  if (size < 0) return false;
  std::vector<std::uint8_t> content(static_cast<std::size_t>(size));
  if (size > 0 && !ReadExactly(source, 0, content)) return false;
  return ReplaceFile(destination, content);
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& path) {
  std::string name = FileNameOf(path);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string WithTrailingSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory.push_back('/');
  return directory;
}

}  // namespace kivo
