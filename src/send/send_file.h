// The send-telegram file: one file of fixed size that keeps the send
// telegrams, the send lists, the command-response table and the two value
// colour tables, behind a header like that of a log file with the general
// and port parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/bytes.h"

namespace kivo {

class Instance;

inline constexpr std::size_t kSendFileSize = 131'072;
// The older form ends before the colour tables.
inline constexpr std::size_t kSendFileOldSize = 107'132;

// Where the blocks lie in the file.
namespace sendfile {
inline constexpr std::size_t kHeaderAt = 0;
inline constexpr std::size_t kSimulationAt = 2000;
inline constexpr std::size_t kTelegramsAt = 12'000;
inline constexpr std::size_t kListsAt = 28'000;
inline constexpr std::size_t kTypeColoursAt = 107'132;
inline constexpr std::size_t kCauseColoursAt = 107'668;
}  // namespace sendfile

// Message texts; the file name follows the text.
inline constexpr int kTextSendFileUnreadable = 1216;
inline constexpr int kTextSendFileNotCreated = 1217;
inline constexpr int kTextSaveSendData = 1134;

// The 131,072-octet image of the send data in memory: the header as for a
// log file (with the file size as UsedBytes), the three blocks with their
// size words set right, and both colour tables; zeros elsewhere.
std::vector<std::uint8_t> BuildSendTelegramImage(const Instance& instance);

// Takes what a file image holds into the instance without any message and
// without stopping anything: false (and nothing taken) when the image has not
// the size of either form, or not the magic number and header size of the
// header. Otherwise the general parameters (all but the log size) and each
// port block when their size fields are right, each send block whose size
// word is right, and from a full-size image the colour tables whose block
// size is right, the cause table only after the type table.
bool TakeSendTelegramImage(Instance& instance, ConstBytes image);

// Reading a file whose octets are already in memory: TakeSendTelegramImage,
// message 1216 with the name when the image is refused; on success the name
// becomes the current send-telegram file, the send data count as saved, all
// sending stops, the lists are recounted, both ports are reset and both
// filters brought into their normal form.
bool ReadSendTelegramImage(Instance& instance, ConstBytes image, const std::string& name);

// Reads the file `name`. A missing default file (first start) is no fault:
// the data in memory stay and sending is reset as after a read. Any other
// file that cannot be read, or is larger than the full form, shows message
// 1216 with the name and leaves everything unchanged.
bool ReadSendTelegramFile(Instance& instance, const std::string& name);

// Writes the image over `name` (through a temporary file beside it, so a
// failed write never damages the file that was there). A file that cannot be
// created shows message 1217 with the name; a write that does not complete
// only fails. Success clears the send-data-modified flag. The size words of
// the three blocks in memory are set right first.
bool WriteSendTelegramFile(Instance& instance, const std::string& name);

// The guarded change to another send-telegram file: while online, asks
// message 1204 and goes offline; with modified send data and another name,
// asks message 1134 (Yes saves the current file first, a failed save or
// Cancel ends without change). Returns whether the file was read; the caller
// refreshes the send captions, the status table and the window title
// afterwards in any case, and adds the name to the recent files on success.
bool OpenSendTelegramFile(Instance& instance, const std::string& name);

}  // namespace kivo
