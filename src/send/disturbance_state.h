// The disturbance transfer's part of a port record: the running transfer,
// the telegram waiting to start one, and the list of recorded disturbances.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "util/block_file.h"
#include "util/bytes.h"

namespace kivo {

// The 128-octet header at the start of a disturbance file.
struct DisturbanceHeader {
  static constexpr std::size_t kSize = 128;
  static constexpr std::uint32_t kMagic = 0x731030;
  static constexpr int kChannels = 15;
  static constexpr std::size_t kListEntrySize = 10;
  static constexpr std::size_t kReadyForDataSize = 10;

  struct Offsets {
    static constexpr std::size_t Magic = 0, HeaderLength = 4, Reserved8 = 8, FileEnd = 16,
                                 FirstRecord = 20, ChannelStart = 24, LinkAddress = 84,
                                 ListEntry = 86, ReadyForData = 96, CommonAddress = 106,
                                 ActualChannel = 107, Reserved108 = 108;
  };

  std::uint32_t magic = kMagic;
  std::uint32_t headerLength = kSize;
  std::array<std::uint8_t, 8> reserved8{};
  std::uint32_t fileEnd = kSize;
  std::uint32_t firstRecord = kSize;
  std::array<std::uint32_t, kChannels> channelStart{};  // 0: channel absent
  std::uint16_t linkAddress = 0;
  // FAN (u16), SOF, time tag of 7 octets: as one entry of a type 23 list.
  std::array<std::uint8_t, kListEntrySize> listEntry{};
  // TOV, FAN, NOF, NOC, NOE, INT as the type 26 telegram carried them.
  std::array<std::uint8_t, kReadyForDataSize> readyForData{};
  std::uint8_t commonAddress = 0;
  std::uint8_t actualChannel = 0;
  std::array<std::uint8_t, 20> reserved108{};

  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  void Encode(Bytes out) const;
  static DisturbanceHeader Decode(ConstBytes in);
};

// The state of one port's transfer. `run` is cleared whenever a transfer
// ends; the pending telegrams and the list outlive it.
struct DisturbanceRun {
  enum class Role : std::uint8_t { None = 0, Recording = 1, Replaying = 2 };
  // The next telegram: 0 none, 24 order, 25 acknowledgement, 31 end of
  // transmission, or kNextRecord for the next record of the file.
  static constexpr std::uint8_t kNextRecord = 1;

  BlockFile file;
  Role role = Role::None;
  std::uint8_t next = 0;
  std::uint8_t address = 0;  // link address of the device
  std::uint8_t functionType = 0;
  std::uint8_t too = 0;
  std::uint8_t tov = 0;
  std::uint16_t fan = 0;
  std::uint8_t acc = 0;
  std::uint8_t commonAddress = 0;
  std::uint8_t lastType = 0;
  std::uint8_t lastToo = 0;
  std::uint32_t replayPosition = 0;
  std::uint32_t endPosition = 0;
  int channelIndex = 0;       // replaying: 0 before the first channel
  bool retry = false;         // replaying: the current block is being repeated
  bool finalReached = false;  // replaying: went on to the final end-of-transmission record
  int channelCounter = 0;     // recording
  bool completed = false;
  std::uint32_t countdown = 0;  // ticks
  std::uint32_t reload = 0;
  DisturbanceHeader header;  // recording: written when the transfer ends
};

// A telegram that waits for the device's address: a type 23 list to send
// (replaying side) or the first order TOO 1 (recording side).
struct DisturbancePending {
  bool due = false;
  std::uint8_t address = 0;
  std::uint8_t cause = 0;
  std::uint8_t commonAddress = 0;
  std::uint8_t functionType = 0;
  std::uint16_t fan = 0;  // first order only
};

struct DisturbanceList {
  static constexpr int kCapacity = 24;  // as one type 23 telegram can carry them
  static constexpr int kFromFiles = 8;  // built from the files found
  int count = 0;
  std::array<std::array<std::uint8_t, DisturbanceHeader::kListEntrySize>, kCapacity> entries{};
};

struct DisturbanceTransfer {
  DisturbanceRun run;
  DisturbancePending pendingList;   // replaying side
  DisturbancePending pendingOrder;  // recording side
  DisturbanceList list;
};

}  // namespace kivo
