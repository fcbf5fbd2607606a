// Block file access: absolute offsets, one block per access, a short read or
// write is a failure.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kivo {

// Size of a regular file in octets; -1 when it does not exist or is no file.
std::int64_t FileSize(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the directory with all missing parents.
bool CreateDirectories(const std::string& path);
// Reads exactly out.size() octets at `offset`.
bool ReadExactly(const std::string& path, std::uint64_t offset, std::span<std::uint8_t> out);
// Writes the whole content to a temporary file beside `path` and renames it
// over `path`.
bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> content);
// The same, telling a file that could not be created (or not be put in the
// place of the old one) from one that could not be written whole. The old
// file stays as it was in both cases.
enum class ReplaceOutcome { Replaced, NotCreated, NotWritten };
ReplaceOutcome ReplaceFileContent(const std::string& path, std::span<const std::uint8_t> content);
// Copies the whole file when the names differ and the source exists.
bool CopyWholeFile(const std::string& source, const std::string& destination);
// True when both names lead, through any links, to one existing file (the
// same device and inode), however they are spelt.
bool SameFile(const std::string& a, const std::string& b);

// Output that appears under its name only when it is complete: it is written
// to a temporary file in the target's directory, which Commit renames over
// the target; a run that fails or dies before leaves the target as it was.
// A target that is a link has the file it leads to replaced; a target that
// exists and is no regular file (a device, a pipe) is written directly.
class StagedFile {
 public:
  explicit StagedFile(std::string target);
  // Removes the temporary file unless it was committed.
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Creates the (empty) temporary file, with the mode of the file it will
  // replace; false when it cannot be created.
  bool Create();
  // The name to write to after Create.
  const std::string& WritePath() const { return direct_ ? target_ : temporary_; }
  // Puts the written file in the target's place; false when that failed (the
  // target then stays as it was).
  bool Commit();

 private:
  std::string target_;
  std::string temporary_;
  bool direct_ = false;
  bool committed_ = false;
};

// The directory part with a trailing '/', or "" when there is none.
std::string DirectoryOf(const std::string& path);
// The name without its directory.
std::string FileNameOf(const std::string& path);
// The extension with its dot, or "".
std::string ExtensionOf(const std::string& path);
// `directory` with a trailing '/'.
std::string WithTrailingSlash(std::string directory);

}  // namespace kivo
