// The operator's commands on the send-telegram file: reading it (with the
// messages and the fresh start of sending that follow), writing it, and the
// guarded change to another file.
#pragma once

#include <string>

#include "send/send_file.h"
#include "util/bytes.h"

namespace kivo {

class Instance;

// Message texts; the file name follows the text.
inline constexpr int kTextSendFileUnreadable = 1216;
inline constexpr int kTextSendFileNotCreated = 1217;
inline constexpr int kTextSaveSendData = 1134;

// The records of the instance that the file keeps.
SendFileRecords SendFileRecordsOf(Instance& instance);

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
