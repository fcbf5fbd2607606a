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
// The directory part with a trailing '/', or "" when there is none.
std::string DirectoryOf(const std::string& path);
// The name without its directory.
std::string FileNameOf(const std::string& path);
// The extension with its dot, or "".
std::string ExtensionOf(const std::string& path);
// `directory` with a trailing '/'.
std::string WithTrailingSlash(std::string directory);

}  // namespace kivo
