// An open file accessed in blocks at absolute offsets: one pread or pwrite per
// block, and a block that is not transferred whole counts as a failure.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kivo {

class BlockFile {
 public:
  enum class Access { ReadOnly, ReadWrite, CreateTruncate };

  BlockFile() = default;
  ~BlockFile() { Close(); }
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;
  BlockFile(BlockFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  BlockFile& operator=(BlockFile&& other) noexcept;

  bool Open(const std::string& path, Access access);
  // False when closing reported an error (data may not have reached the file).
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // Takes the exclusive advisory lock of the file without waiting; false
  // while another handle holds it. The kernel drops it when the handle is
  // closed or the process dies.
  bool TryLockExclusive();

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> block) const;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> block);
  // Size in octets, -1 when not open.
  std::int64_t Size() const;

 private:
  int fd_ = -1;
};

}  // namespace kivo
