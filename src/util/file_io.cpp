#include "util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

namespace kivo {

namespace {

// As far as the kernel follows links.
constexpr int kMaxLinkDepth = 40;

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

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

StagedFile::StagedFile(std::string target) : target_(std::move(target)) {}

StagedFile::~StagedFile() {
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
}

bool StagedFile::Create() {
  // Links are followed, as opening the name for writing would, also to a
  // file that does not exist yet.
  struct stat st {};
  for (int depth = 0;
       depth < kMaxLinkDepth && ::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
       ++depth) {
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = ::readlink(target_.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) break;
    link.resize(static_cast<std::size_t>(n));
    target_ = link.front() == '/' ? link : DirectoryOf(target_) + link;
  }
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    direct_ = true;
    return true;
  }
  // A name of our own beside the target: the process number keeps two
  // programs apart, the attempt number a name left over from an earlier run.
  const std::string stem =
      DirectoryOf(target_) + "." + FileNameOf(target_) + "." + std::to_string(::getpid()) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = stem + std::to_string(attempt) + ".tmp";
    Descriptor fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    temporary_ = name;
    // The replacement keeps the permissions of the file it replaces.
    return !exists || ::fchmod(fd.get(), st.st_mode & 07777) == 0;
  }
  return false;
}

bool StagedFile::Commit() {
  if (direct_) return true;
  if (temporary_.empty() || committed_) return committed_;
  // On the disk before the name moves, so that a crash leaves the old file
  // or the whole new one.
  Descriptor fd(::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || ::fsync(fd.get()) != 0) return false;
  committed_ = ::rename(temporary_.c_str(), target_.c_str()) == 0;
  return committed_;
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
