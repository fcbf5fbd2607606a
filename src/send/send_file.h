// The send-telegram file: one file of fixed size that keeps the send
// telegrams, the send lists, the command-response table and the two value
// colour tables, behind a header like that of a log file with the general
// and port parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record/colour_records.h"
#include "record/general_params.h"
#include "record/port_params.h"
#include "send/send_records.h"
#include "util/bytes.h"

namespace kivo {

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

// The records the file keeps besides the send data: the general parameters
// and both port blocks in its header, and the two value colour tables.
struct SendFileRecords {
  GeneralParams& general;
  PortParams& port1;
  PortParams& port2;
  SendData& send;
  TValueColours& typeColours;
  TValueColours& causeColours;
};

// The 131,072-octet image of the send data in memory: the header as for a
// log file (with the file size as UsedBytes), the three blocks with their
// size words set right, and both colour tables; zeros elsewhere.
std::vector<std::uint8_t> BuildSendTelegramImage(const SendFileRecords& records);

// The same image written into `image`, which holds kSendFileSize octets: for
// callers that build it again and again into one buffer.
void EncodeSendTelegramImage(const SendFileRecords& records, Bytes image);

// Takes what a file image holds into the records without any message and
// without stopping anything: false (and nothing taken) when the image has not
// the size of either form, or not the magic number and header size of the
// header. Otherwise the general parameters (all but the log size) and each
// port block when their size fields are right, each send block whose size
// word is right, and from a full-size image the colour tables whose block
// size is right, the cause table only after the type table.
bool TakeSendTelegramImage(const SendFileRecords& records, ConstBytes image);

}  // namespace kivo
