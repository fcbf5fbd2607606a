// The disturbance data transfer. A recording primary appends every ASDU the
// device sends as one record (length octet + ASDU) and writes the header when
// the transfer ends; a replaying secondary sends the records of a file back
// as the primary orders them. Nothing read from a file is trusted: the header
// positions and every record length are checked against the file.
#include "send/disturbance.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "link/link_context.h"
#include "link/port_record.h"
#include "link/serial_path.h"
#include "platform/clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "send/send_records.h"
#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void DisturbanceHeader::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Magic, r.magic);
  io.U32(O::HeaderLength, r.headerLength);
  io.Raw(O::Reserved8, r.reserved8);
  io.U32(O::FileEnd, r.fileEnd);
  io.U32(O::FirstRecord, r.firstRecord);
  for (std::size_t i = 0; i < kChannels; ++i) io.U32(O::ChannelStart + 4 * i, r.channelStart[i]);
  io.U16(O::LinkAddress, r.linkAddress);
  io.Raw(O::ListEntry, r.listEntry);
  io.Raw(O::ReadyForData, r.readyForData);
  io.U8(O::CommonAddress, r.commonAddress);
  io.U8(O::ActualChannel, r.actualChannel);
  io.Raw(O::Reserved108, r.reserved108);
}

void DisturbanceHeader::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
DisturbanceHeader DisturbanceHeader::Decode(ConstBytes in) {
  return DecodeFields<DisturbanceHeader>(in);
}

namespace {

using Role = DisturbanceRun::Role;

namespace code {
inline constexpr std::uint8_t kFileFault = 36;
inline constexpr std::uint8_t kForeignFan = 37;
inline constexpr std::uint8_t kOutOfSequence = 38;
}  // namespace code

// Type identifications.
namespace typ {
inline constexpr std::uint8_t kList = 23, kOrder = 24, kAcknowledge = 25, kReadyForData = 26,
                              kReadyForChannel = 27, kReadyForTags = 28, kTags = 29, kValues = 30,
                              kEnd = 31;
}  // namespace typ

// Types of orders and acknowledgements (TOO).
namespace too {
inline constexpr std::uint8_t kSelectFault = 1, kRequestData = 2, kAbortData = 3,
                              kRequestChannel = 8, kAbortChannel = 9, kRequestTags = 16,
                              kAbortTags = 17, kRequestList = 24;
inline constexpr std::uint8_t kEndData = 32, kEndDataAbortedByMaster = 33,
                              kEndDataAbortedByDevice = 34, kEndChannel = 35,
                              kEndChannelAbortedByMaster = 36, kEndChannelAbortedByDevice = 37,
                              kEndTags = 38, kEndTagsAbortedByMaster = 39,
                              kEndTagsAbortedByDevice = 40;
inline constexpr std::uint8_t kDataPositive = 64, kDataNegative = 65, kChannelPositive = 66,
                              kChannelNegative = 67, kTagsPositive = 68, kTagsNegative = 69;
}  // namespace too

inline constexpr std::uint8_t kDisturbanceCause = 31;
inline constexpr std::uint8_t kSingleVsq = 0x81;

// Octet positions from the start character.
namespace pos {
using ft12::at::kElements;
inline constexpr std::size_t kFunctionType = ft12::at::kFun, kToo = kElements, kTov = kElements + 1,
                             kFan = kElements + 2, kTagsFan = kElements, kAcc = kElements + 4,
                             kListFirst = kElements, kReadyForData = kElements + 1,
                             kTime = kElements + 11;
}  // namespace pos
inline constexpr std::size_t kTimeOctets = 4;  // milliseconds (2), minutes, hours

// ASDU octets of the telegrams this side builds itself: TYP VSQ COT CA FUN
// INF TOO TOV FAN(2) ACC.
inline constexpr std::size_t kOrderAsduSize = 11;
// The type 26 record is the first one: its length octet and 21 ASDU octets.
inline constexpr std::uint32_t kReadyForDataRecordSize = 22;
// The final end-of-transmission record: its length octet and its ASDU.
inline constexpr std::uint32_t kEndRecordSize = 1 + kOrderAsduSize;
// Shortest ASDU a record may hold: up to the information number.
inline constexpr std::size_t kMinRecordAsdu = 6;
inline constexpr std::size_t kAsduStart = ft12::at::kTyp;

std::uint8_t At(const TLogEntry& entry, std::size_t index) {
  const auto frame = entry.Frame();
  return index < frame.size() ? frame[index] : 0;
}
std::uint16_t U16At(const TLogEntry& entry, std::size_t index) {
  return static_cast<std::uint16_t>(At(entry, index) | (At(entry, index + 1) << 8));
}
std::uint16_t FanOf(const TLogEntry& entry) {
  return U16At(entry, At(entry, ft12::at::kTyp) == typ::kTags ? pos::kTagsFan : pos::kFan);
}

void Mark(TLogEntry& entry, std::uint8_t status) {
  entry.status = status;
}

std::uint32_t ReloadTicks(const SendContext& send) {
  return SecondsToTicks(static_cast<double>(send.general().disturbanceTimeout),
                        send.link.time.msPerTick) +
         2;
}

std::string FilePath(const SendContext& send, std::uint16_t fan) {
  return send.dataDirectory + DisturbanceFileName(fan);
}

// Closes the file, the recording side after writing the header, and clears
// the run. `logEvent`: the end is logged (46 when completed, else 39).
void CloseTransfer(SendContext& send, PortRecord& port, bool logEvent) {
  DisturbanceRun& run = send.Transfer(port).run;
  if (run.role == Role::None) return;
  if (logEvent) {
    LogEvent(send.link, port, run.completed ? event::kTransferCompleted : event::kTransferAborted,
             run.address);
  }
  if (run.role == Role::Recording && run.file.IsOpen()) {
    run.header.fileEnd = run.endPosition;
    run.header.linkAddress = run.address;
    run.header.commonAddress = run.commonAddress;
    run.header.actualChannel = run.acc;
    std::array<std::uint8_t, DisturbanceHeader::kSize> block{};
    run.header.Encode(block);
    (void)run.file.WriteAt(0, block);
  }
  run.file.Close();
  run = DisturbanceRun{};
}

// --- Recording (primary) ---

bool AppendRecord(DisturbanceRun& run, const TLogEntry& entry) {
  const auto frame = entry.Frame();
  const std::size_t asduSize =
      At(entry, ft12::at::kLength) >= 2 ? At(entry, ft12::at::kLength) - 2u : 0u;
  if (asduSize == 0 || kAsduStart + asduSize > frame.size()) return false;
  std::vector<std::uint8_t> record(1 + asduSize);
  record[0] = static_cast<std::uint8_t>(asduSize);
  std::copy_n(frame.begin() + kAsduStart, asduSize, record.begin() + 1);
  if (!run.file.WriteAt(run.endPosition, record)) return false;
  run.endPosition += static_cast<std::uint32_t>(record.size());
  return true;
}

void Record(DisturbanceRun& run, TLogEntry& entry) {
  if (!AppendRecord(run, entry)) Mark(entry, code::kFileFault);
}

void NextOrder(DisturbanceRun& run, std::uint8_t order) {
  run.next = typ::kOrder;
  run.too = order;
}

// The common step of a type 26, at the start and while running.
void TakeReadyForData(DisturbanceRun& run, const TLogEntry& entry) {
  for (std::size_t i = 0; i < DisturbanceHeader::kReadyForDataSize; ++i) {
    run.header.readyForData[i] = At(entry, pos::kReadyForData + i);
  }
  run.tov = At(entry, pos::kTov);
  run.commonAddress = At(entry, ft12::at::kCommonAddress);
  run.functionType = At(entry, pos::kFunctionType);
  run.acc = 0;
  NextOrder(run, too::kRequestData);
}

void StoreReceivedList(SendContext& send, PortRecord& port, const TLogEntry& entry) {
  DisturbanceList& list = send.Transfer(port).list;
  const std::size_t frameSize = entry.Frame().size();
  // Entries end two octets before the frame (checksum, end character).
  const std::size_t room = frameSize >= pos::kListFirst + 2 ? frameSize - pos::kListFirst - 2 : 0;
  const int fits = static_cast<int>(room / DisturbanceHeader::kListEntrySize);
  const int announced = At(entry, ft12::at::kVsq) & 0x7F;
  list.count = std::min({announced, fits, DisturbanceList::kCapacity});
  for (int i = 0; i < list.count; ++i) {
    for (std::size_t k = 0; k < DisturbanceHeader::kListEntrySize; ++k) {
      list.entries[static_cast<std::size_t>(i)][k] =
          At(entry,
             pos::kListFirst + DisturbanceHeader::kListEntrySize * static_cast<std::size_t>(i) + k);
    }
  }
  if (list.count > 0 && send.general().autoOrderDisturbance != 0) {
    DisturbancePending& order = send.Transfer(port).pendingOrder;
    order.due = true;
    order.address = At(entry, ft12::at::kVariableAddress);
    order.cause = At(entry, ft12::at::kCot);
    order.commonAddress = At(entry, ft12::at::kCommonAddress);
    order.functionType = At(entry, pos::kFunctionType);
    order.fan = static_cast<std::uint16_t>(list.entries[0][0] | (list.entries[0][1] << 8));
  }
}

void StartRecording(SendContext& send, PortRecord& port, TLogEntry& entry) {
  DisturbanceRun& run = send.Transfer(port).run;
  const std::uint16_t fan = FanOf(entry);
  BlockFile file;
  if (!file.Open(FilePath(send, fan), BlockFile::Access::CreateTruncate)) {
    Mark(entry, code::kFileFault);
    return;
  }
  // The last order sent (the first order TOO 1) stays known to the checks.
  const std::uint8_t lastType = run.lastType, lastToo = run.lastToo;
  run = DisturbanceRun{};
  run.file = std::move(file);
  run.role = Role::Recording;
  run.lastType = lastType;
  run.lastToo = lastToo;
  run.fan = fan;
  run.address = At(entry, ft12::at::kVariableAddress);
  run.endPosition = DisturbanceHeader::kSize;
  run.reload = ReloadTicks(send);
  run.countdown = run.reload;
  LogEvent(send.link, port, event::kTransferStarted, run.address);

  DisturbanceHeader& header = run.header;
  const DisturbanceList& list = send.Transfer(port).list;
  bool listed = false;
  for (int i = 0; i < list.count && !listed; ++i) {
    const auto& listEntry = list.entries[static_cast<std::size_t>(i)];
    if ((listEntry[0] | (listEntry[1] << 8)) == fan) {
      header.listEntry = listEntry;
      listed = true;
    }
  }
  if (!listed) {
    const LocalTime today = send.link.clock().Now();
    header.listEntry = {static_cast<std::uint8_t>(fan), static_cast<std::uint8_t>(fan >> 8), 0};
    for (std::size_t i = 0; i < kTimeOctets; ++i)
      header.listEntry[3 + i] = At(entry, pos::kTime + i);
    header.listEntry[7] = static_cast<std::uint8_t>(today.day);
    header.listEntry[8] = static_cast<std::uint8_t>(today.month);
    header.listEntry[9] = static_cast<std::uint8_t>(today.year % 100);
  }
  TakeReadyForData(run, entry);
  Record(run, entry);
}

std::uint8_t AcknowledgementFor(std::uint8_t endToo) {
  switch (endToo) {
    case too::kEndData:
      return too::kDataPositive;
    case too::kEndDataAbortedByMaster:
    case too::kEndDataAbortedByDevice:
      return too::kDataNegative;
    case too::kEndChannel:
    case too::kEndChannelAbortedByMaster:
      return too::kChannelPositive;
    case too::kEndChannelAbortedByDevice:
      return too::kChannelNegative;
    case too::kEndTags:
    case too::kEndTagsAbortedByMaster:
      return too::kTagsPositive;
    case too::kEndTagsAbortedByDevice:
      return too::kTagsNegative;
    default:
      return 0;
  }
}

void OnRecordingAsdu(SendContext& send, PortRecord& port, TLogEntry& entry) {
  DisturbanceRun& run = send.Transfer(port).run;
  const std::uint8_t type = At(entry, ft12::at::kTyp);
  if (type == typ::kList) {
    StoreReceivedList(send, port, entry);
    return;
  }
  if (run.role == Role::None) {
    if (type == typ::kReadyForData) {
      StartRecording(send, port, entry);
    } else {
      Mark(entry, code::kOutOfSequence);
    }
    return;
  }
  if (run.role != Role::Recording) return;
  run.countdown = run.reload;
  if (FanOf(entry) != run.fan) Mark(entry, code::kForeignFan);
  const auto expectLast = [&](std::uint8_t a, std::uint8_t b) {
    if (run.lastToo != a && run.lastToo != b) Mark(entry, code::kOutOfSequence);
  };
  switch (type) {
    case typ::kReadyForData:
      expectLast(too::kSelectFault, too::kSelectFault);
      TakeReadyForData(run, entry);
      Record(run, entry);
      break;
    case typ::kReadyForTags:
      expectLast(too::kRequestData, too::kTagsNegative);
      Record(run, entry);
      NextOrder(run, too::kRequestTags);
      break;
    case typ::kTags:
      expectLast(too::kRequestTags, too::kRequestTags);
      Record(run, entry);
      break;
    case typ::kReadyForChannel:
      run.tov = At(entry, pos::kTov);
      run.acc = At(entry, pos::kAcc);
      ++run.channelCounter;
      if (run.channelCounter >= 1 && run.channelCounter <= DisturbanceHeader::kChannels) {
        run.header.channelStart[static_cast<std::size_t>(run.channelCounter - 1)] = run.endPosition;
      }
      Record(run, entry);
      NextOrder(run, too::kRequestChannel);
      break;
    case typ::kValues:
      expectLast(too::kRequestChannel, too::kRequestChannel);
      Record(run, entry);
      break;
    case typ::kEnd: {
      Record(run, entry);
      const std::uint8_t endToo = At(entry, pos::kToo);
      const std::uint8_t acknowledgement = AcknowledgementFor(endToo);
      if (acknowledgement == 0) {
        Mark(entry, code::kOutOfSequence);
        break;
      }
      run.next = typ::kAcknowledge;
      run.too = acknowledgement;
      if (endToo >= too::kEndData && endToo <= too::kEndDataAbortedByDevice) {
        run.acc = 0;
        run.completed = true;
      }
      break;
    }
    default:
      Mark(entry, code::kOutOfSequence);
      break;
  }
}

// --- Replaying (secondary) ---

void PrepareList(DisturbanceTransfer& transfer, std::uint8_t address, std::uint8_t commonAddress,
                 std::uint8_t functionType) {
  transfer.pendingList = {true, address, kDisturbanceCause, commonAddress, functionType, 0};
}

void RemoveFromList(DisturbanceList& list, std::uint16_t fan) {
  int kept = 0;
  for (int i = 0; i < list.count; ++i) {
    const auto& entry = list.entries[static_cast<std::size_t>(i)];
    if ((entry[0] | (entry[1] << 8)) != fan) list.entries[static_cast<std::size_t>(kept++)] = entry;
  }
  list.count = kept;
}

void StartReplay(SendContext& send, PortRecord& port, TLogEntry& entry) {
  const std::uint16_t fan = U16At(entry, pos::kFan);
  BlockFile file;
  DisturbanceHeader header;
  if (!file.Open(FilePath(send, fan), BlockFile::Access::ReadOnly) ||
      !ReadDisturbanceHeader(file, header)) {
    Mark(entry, code::kFileFault);
    return;
  }
  DisturbanceRun& run = send.Transfer(port).run;
  run = DisturbanceRun{};
  run.file = std::move(file);
  run.role = Role::Replaying;
  run.header = header;
  run.fan = fan;
  run.tov = header.readyForData[0];
  run.replayPosition = header.firstRecord;
  run.endPosition = header.fileEnd;
  run.next = DisturbanceRun::kNextRecord;
  run.address = At(entry, ft12::at::kVariableAddress);
  run.commonAddress = At(entry, ft12::at::kCommonAddress);
  run.functionType = At(entry, pos::kFunctionType);
  run.reload = ReloadTicks(send);
  run.countdown = run.reload;
  LogEvent(send.link, port, event::kTransferStarted, run.address);
}

void NextChannel(DisturbanceRun& run) {
  run.retry = false;
  run.next = DisturbanceRun::kNextRecord;
  if (run.channelIndex < DisturbanceHeader::kChannels &&
      run.header.channelStart[static_cast<std::size_t>(run.channelIndex)] != 0) {
    run.replayPosition = run.header.channelStart[static_cast<std::size_t>(run.channelIndex)];
    ++run.channelIndex;
  } else if (!run.finalReached) {
    run.finalReached = true;
    run.replayPosition = run.endPosition - kEndRecordSize;
  } else {
    // A damaged file whose last record is no end of disturbance data would
    // send it again and again: the device gives up instead.
    run.next = typ::kEnd;
    run.too = too::kEndDataAbortedByDevice;
  }
}

void RepeatBlock(DisturbanceRun& run) {
  if (run.retry) {
    NextChannel(run);
    return;
  }
  run.retry = true;
  run.next = DisturbanceRun::kNextRecord;
  run.replayPosition =
      run.channelIndex == 0
          ? run.header.firstRecord + kReadyForDataRecordSize
          : run.header.channelStart[static_cast<std::size_t>(run.channelIndex - 1)];
}

void SendEnd(DisturbanceRun& run, std::uint8_t endToo) {
  run.next = typ::kEnd;
  run.too = endToo;
}

void OnOrder(SendContext& send, PortRecord& port, TLogEntry& entry) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  DisturbanceRun& run = transfer.run;
  const std::uint8_t order = At(entry, pos::kToo);
  if (order == too::kRequestList) {
    PrepareList(transfer, At(entry, ft12::at::kVariableAddress),
                At(entry, ft12::at::kCommonAddress), At(entry, pos::kFunctionType));
    return;
  }
  if (run.role == Role::None) {
    if (order == too::kSelectFault) {
      StartReplay(send, port, entry);
    } else {
      Mark(entry, code::kOutOfSequence);
    }
    return;
  }
  run.countdown = run.reload;
  if (U16At(entry, pos::kFan) != run.fan) Mark(entry, code::kForeignFan);
  const auto continueAfter = [&](std::uint8_t type) {
    if (run.lastType == type) {
      run.next = DisturbanceRun::kNextRecord;
    } else {
      Mark(entry, code::kOutOfSequence);
    }
  };
  const auto endAfter = [&](std::uint8_t a, std::uint8_t b, std::uint8_t endToo) {
    if (run.lastType == a || run.lastType == b) {
      SendEnd(run, endToo);
    } else {
      Mark(entry, code::kOutOfSequence);
    }
  };
  switch (order) {
    case too::kRequestData:
      continueAfter(typ::kReadyForData);
      break;
    case too::kAbortData:
      SendEnd(run, too::kEndDataAbortedByMaster);
      break;
    case too::kRequestChannel:
      continueAfter(typ::kReadyForChannel);
      break;
    case too::kAbortChannel:
      endAfter(typ::kReadyForChannel, typ::kValues, too::kEndChannelAbortedByMaster);
      break;
    case too::kRequestTags:
      continueAfter(typ::kReadyForTags);
      break;
    case too::kAbortTags:
      endAfter(typ::kReadyForTags, typ::kTags, too::kEndTagsAbortedByMaster);
      break;
    default:
      Mark(entry, code::kOutOfSequence);
      break;
  }
}

void OnAcknowledgement(SendContext& send, PortRecord& port, TLogEntry& entry) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  DisturbanceRun& run = transfer.run;
  if (run.role != Role::Replaying || run.lastType != typ::kEnd) {
    Mark(entry, code::kOutOfSequence);
    return;
  }
  if (U16At(entry, pos::kFan) != run.fan) {
    Mark(entry, code::kForeignFan);
    return;
  }
  run.countdown = run.reload;
  const std::uint8_t acknowledgement = At(entry, pos::kToo);
  if (run.lastToo >= too::kEndTags && run.lastToo <= too::kEndTagsAbortedByDevice) {
    if (acknowledgement == too::kTagsPositive) {
      NextChannel(run);
    } else if (acknowledgement == too::kTagsNegative) {
      RepeatBlock(run);
    } else {
      Mark(entry, code::kOutOfSequence);
    }
  } else if (run.lastToo >= too::kEndChannel && run.lastToo <= too::kEndChannelAbortedByDevice) {
    if (acknowledgement == too::kChannelPositive) {
      NextChannel(run);
    } else if (acknowledgement == too::kChannelNegative) {
      RepeatBlock(run);
    } else {
      Mark(entry, code::kOutOfSequence);
    }
  } else if (run.lastToo >= too::kEndData && run.lastToo <= too::kEndDataAbortedByDevice &&
             (acknowledgement == too::kDataPositive || acknowledgement == too::kDataNegative)) {
    run.completed = true;
    run.next = 0;
    run.countdown = 2;
    if (acknowledgement == too::kDataPositive) RemoveFromList(transfer.list, run.fan);
    PrepareList(transfer, run.address, run.commonAddress, run.functionType);
  } else {
    Mark(entry, code::kOutOfSequence);
  }
}

// --- Telegram building ---

bool Encode(SendContext& send, PortRecord& port, std::uint8_t address, std::uint8_t type,
            std::uint8_t vsq, std::uint8_t cause, std::uint8_t commonAddress,
            std::span<const std::uint8_t> tail, OutgoingFrame& out) {
  VariableTelegram telegram;
  telegram.kind = 0;  // 0x53, completed for the port's role
  telegram.address = address;
  telegram.typ = type;
  telegram.vsq = vsq;
  telegram.cot = cause;
  telegram.commonAddress = commonAddress;
  telegram.tail = tail;
  telegram.secondaryUserData = port.params.function == PortFunction::Secondary;
  out = OutgoingFrame{};
  out.length = EncodeVariable(port, send.general(), telegram, out.Buffer());
  return out.length != 0;
}

std::uint8_t OutgoingToo(const PortRecord& port, std::uint8_t type, std::uint8_t order) {
  const LinkTestFlags& flags = port.linkTest;
  if (type == typ::kOrder && flags.ltDistFault1 &&
      (order == too::kRequestData || order == too::kRequestChannel || order == too::kRequestTags)) {
    return static_cast<std::uint8_t>(order + 1);
  }
  if (type == typ::kAcknowledge && flags.ltDistFault2 &&
      (order == too::kDataPositive || order == too::kChannelPositive)) {
    return static_cast<std::uint8_t>(order + 1);
  }
  return order;
}

bool SendOrderLike(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceRun& run = send.Transfer(port).run;
  const std::uint8_t order = OutgoingToo(port, run.next, run.too);
  const std::array<std::uint8_t, 7> tail{run.functionType,
                                         0,
                                         order,
                                         run.tov,
                                         static_cast<std::uint8_t>(run.fan),
                                         static_cast<std::uint8_t>(run.fan >> 8),
                                         run.acc};
  if (!Encode(send, port, run.address, run.next, kSingleVsq, kDisturbanceCause, run.commonAddress,
              tail, out)) {
    return false;
  }
  run.lastType = run.next;
  run.lastToo = order;
  run.next = 0;
  return true;
}

// A record that cannot be read ends the replay: the primary gets an end of
// disturbance data aborted by the device, and the sent frame carries 36.
bool SendUnreadableRecord(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceRun& run = send.Transfer(port).run;
  run.next = typ::kEnd;
  run.too = too::kEndDataAbortedByDevice;
  run.replayPosition = run.endPosition;
  if (!SendOrderLike(send, port, out)) return false;
  out.status = code::kFileFault;
  return true;
}

bool SendNextRecord(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceRun& run = send.Transfer(port).run;
  std::array<std::uint8_t, 1> length{};
  if (run.replayPosition >= run.endPosition || !run.file.ReadAt(run.replayPosition, length)) {
    return SendUnreadableRecord(send, port, out);
  }
  const std::size_t size = length[0];
  std::array<std::uint8_t, 255> record{};
  const std::span<std::uint8_t> asdu(record.data(), size);
  if (size < kMinRecordAsdu || size - 4 > ft12::kMaxAsduTail ||
      std::uint64_t{run.replayPosition} + 1 + size > run.endPosition ||
      !run.file.ReadAt(run.replayPosition + 1, asdu)) {
    return SendUnreadableRecord(send, port, out);
  }
  const std::uint8_t type = asdu[0];
  if (type < typ::kReadyForData || type > typ::kEnd) return SendUnreadableRecord(send, port, out);
  if (!Encode(send, port, run.address, type, asdu[1], asdu[2], run.commonAddress, asdu.subspan(4),
              out)) {
    return SendUnreadableRecord(send, port, out);
  }
  run.replayPosition += static_cast<std::uint32_t>(1 + size);
  run.lastType = type;
  const std::size_t tooAt = pos::kToo - kAsduStart, accAt = pos::kAcc - kAsduStart;
  if (type == typ::kEnd) run.lastToo = tooAt < size ? asdu[tooAt] : 0;
  if (type == typ::kReadyForChannel && accAt < size) run.acc = asdu[accAt];
  if (type == typ::kReadyForTags) run.acc = 0;
  run.next = (type == typ::kTags || type == typ::kValues) ? DisturbanceRun::kNextRecord : 0;
  return true;
}

bool SendDisturbanceList(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  DisturbancePending& pending = transfer.pendingList;
  const int count = std::min(transfer.list.count, DisturbanceList::kCapacity);
  std::vector<std::uint8_t> tail{pending.functionType, 0};
  for (int i = 0; i < count; ++i) {
    const auto& entry = transfer.list.entries[static_cast<std::size_t>(i)];
    tail.insert(tail.end(), entry.begin(), entry.end());
  }
  if (!Encode(send, port, pending.address, typ::kList, static_cast<std::uint8_t>(count),
              pending.cause, pending.commonAddress, tail, out)) {
    return false;
  }
  pending.due = false;
  return true;
}

bool SendFirstOrder(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  DisturbancePending& pending = transfer.pendingOrder;
  const std::array<std::uint8_t, 7> tail{pending.functionType,
                                         0,
                                         too::kSelectFault,
                                         1,  // TOV: instantaneous values
                                         static_cast<std::uint8_t>(pending.fan),
                                         static_cast<std::uint8_t>(pending.fan >> 8),
                                         0};
  if (!Encode(send, port, pending.address, typ::kOrder, kSingleVsq, pending.cause,
              pending.commonAddress, tail, out)) {
    return false;
  }
  pending.due = false;
  transfer.run.lastType = typ::kOrder;
  transfer.run.lastToo = too::kSelectFault;
  return true;
}

bool IsPrimary(const PortRecord& port) {
  return port.params.function == PortFunction::Primary;
}

}  // namespace

std::string DisturbanceFileName(std::uint16_t fan) {
  char name[16];
  std::snprintf(name, sizeof name, "103%05u.DSD", static_cast<unsigned>(fan));
  return name;
}

bool ReadDisturbanceHeader(const BlockFile& file, DisturbanceHeader& header) {
  std::array<std::uint8_t, DisturbanceHeader::kSize> block{};
  if (!file.ReadAt(0, block)) return false;
  const DisturbanceHeader read = DisturbanceHeader::Decode(block);
  const std::int64_t size = file.Size();
  if (read.magic != DisturbanceHeader::kMagic || read.headerLength != DisturbanceHeader::kSize) {
    return false;
  }
  if (size < 0 || read.firstRecord < DisturbanceHeader::kSize || read.fileEnd > size ||
      std::uint64_t{read.firstRecord} + kReadyForDataRecordSize + kEndRecordSize > read.fileEnd) {
    return false;
  }
  for (std::uint32_t start : read.channelStart) {
    if (start != 0 && (start < read.firstRecord || start >= read.fileEnd)) return false;
  }
  header = read;
  return true;
}

void OnDisturbanceAsdu(SendContext& send, PortRecord& port, TLogEntry& entry) {
  const std::uint8_t type = At(entry, ft12::at::kTyp);
  if (type < typ::kList || type > typ::kEnd) return;
  if (IsPrimary(port)) {
    OnRecordingAsdu(send, port, entry);
    return;
  }
  switch (type) {
    case typ::kOrder:
      OnOrder(send, port, entry);
      break;
    case typ::kAcknowledge:
      OnAcknowledgement(send, port, entry);
      break;
    default:
      Mark(entry, code::kOutOfSequence);
      break;
  }
}

bool NextDisturbanceTelegram(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  DisturbanceRun& run = transfer.run;
  const std::uint8_t address = port.CurrentAddress();
  if (run.role != Role::None && run.next != 0 && run.address == address) {
    const bool sent = run.next == DisturbanceRun::kNextRecord ? SendNextRecord(send, port, out)
                                                              : SendOrderLike(send, port, out);
    if (sent) run.countdown = run.completed ? 2 : run.reload;
    return sent;
  }
  if (IsPrimary(port)) {
    if (transfer.pendingOrder.due && transfer.pendingOrder.address == address &&
        run.role == Role::None) {
      return SendFirstOrder(send, port, out);
    }
    return false;
  }
  if (transfer.pendingList.due && transfer.pendingList.address == address) {
    const bool sent = SendDisturbanceList(send, port, out);
    if (sent && run.role != Role::None) run.countdown = run.completed ? 2 : run.reload;
    return sent;
  }
  return false;
}

int DisturbanceClass1Items(SendContext& send, const PortRecord& port) {
  const DisturbanceTransfer& transfer = send.Transfer(port);
  const std::uint8_t address = port.CurrentAddress();
  int items = 0;
  if (transfer.run.role == Role::Replaying && transfer.run.address == address) items += 2;
  if (transfer.pendingList.due && transfer.pendingList.address == address) items += 1;
  return items;
}

void DisturbanceStep(SendContext& send, PortRecord& port) {
  DisturbanceRun& run = send.Transfer(port).run;
  if (run.role == Role::None) return;
  if (run.countdown > 0) --run.countdown;
  if (run.countdown == 0) CloseTransfer(send, port, true);
}

void EndDisturbanceTransfer(SendContext& send, PortRecord& port, std::uint8_t address) {
  const DisturbanceRun& run = send.Transfer(port).run;
  if (run.role == Role::None || (address != ft12::kBroadcast && address != run.address)) return;
  CloseTransfer(send, port, true);
}

void BuildDisturbanceList(SendContext& send, PortRecord& port) {
  DisturbanceTransfer& transfer = send.Transfer(port);
  // Preparing the port is no end the operator needs to see; the recorded
  // file still gets its header.
  CloseTransfer(send, port, false);
  transfer.pendingList = {};
  transfer.pendingOrder = {};
  if (IsPrimary(port)) return;
  transfer.list.count = 0;

  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(send.dataDirectory, error)) {
    const std::string name = item.path().filename().string();
    if (name.size() != 12 || name.compare(0, 3, "103") != 0 || name.compare(8, 4, ".DSD") != 0) {
      continue;
    }
    if (!std::all_of(name.begin() + 3, name.begin() + 8,
                     [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    names.push_back(name);
  }
  // The directory gives its entries in no useful order; the list follows the
  // names, that is the fault numbers.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (transfer.list.count >= DisturbanceList::kFromFiles) break;
    BlockFile file;
    std::array<std::uint8_t, DisturbanceHeader::kSize> block{};
    if (!file.Open(send.dataDirectory + name, BlockFile::Access::ReadOnly) ||
        !file.ReadAt(0, block)) {
      continue;
    }
    const DisturbanceHeader header = DisturbanceHeader::Decode(block);
    if (header.magic != DisturbanceHeader::kMagic) continue;
    const unsigned fan = static_cast<unsigned>(std::stoul(name.substr(3, 5)));
    if (fan > 0xFFFF) continue;
    auto& entry = transfer.list.entries[static_cast<std::size_t>(transfer.list.count++)];
    entry = header.listEntry;
    entry[0] = static_cast<std::uint8_t>(fan);
    entry[1] = static_cast<std::uint8_t>(fan >> 8);
  }
}

}  // namespace kivo
