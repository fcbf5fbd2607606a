// The port parameter block (144 octets) at the head of each port record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "util/bytes.h"

namespace kivo {

enum class PortFunction : std::uint32_t {
  Unassigned = 0,
  Primary = 1,
  Secondary = 2,
  GapMonitor = 3
};

struct PortParams {
  static constexpr std::size_t kSize = 144;
  static constexpr std::size_t kMaxAddresses = 31;
  static constexpr std::uint8_t kAddressEnd = 255;
  static constexpr std::uint32_t kDefaultBaudIndex = 8;
  // RTS functions: 0 always on, 1 always off, 2 on while transmitting, 3 off
  // while transmitting, 4 on while transmitting, switched by the driver.
  static constexpr std::uint8_t kRtsByDriver = 4;
  struct Offsets {
    static constexpr std::size_t BlockSize = 0, DialogFocus = 4, DialogPage = 8, PortNumber = 12,
                                 Baud = 16, BaudIndex = 20, Addresses = 24, AddressCount = 56,
                                 TelegramLength = 60, Repetitions = 64, ResponseTimeout = 68,
                                 LinkWait = 72, Reserved76 = 76, Reserved80 = 80, RtsLead = 84,
                                 RtsLag = 88, SendDelay = 92, Reserved96 = 96, ResetKind = 100,
                                 Function = 104, Reserved108 = 108, Class1Polling = 112,
                                 Class1PollLimit = 116, SingleCharacter = 120, Parity = 124,
                                 DataBits = 125, StopBits = 126, SpikeFilter = 127, PollCycle = 128,
                                 Reserved132 = 132, Reserved136 = 136, RtsFunction = 140,
                                 WatchedLines = 141, Reopen = 142, Padding = 143;
  };

  std::uint32_t blockSize = kSize;
  std::uint32_t dialogFocus = 0;
  std::uint32_t dialogPage = 0;
  std::uint32_t portNumber = 0;  // 1..64, 0 = no port
  std::uint32_t baud = 9600;
  std::uint32_t baudIndex = kDefaultBaudIndex;
  std::array<std::uint8_t, 32> addresses{1, 255};
  std::uint32_t addressCount = 1;
  std::uint32_t telegramLength = 94;
  std::uint32_t repetitions = 2;
  std::uint32_t responseTimeout = 400;
  std::uint32_t linkWait = 1;
  std::uint32_t reserved76 = 0;
  std::uint32_t reserved80 = 34;
  std::uint32_t rtsLead = 0;
  std::uint32_t rtsLag = 0;
  std::uint32_t sendDelay = 0;
  std::uint32_t reserved96 = 0;
  std::uint32_t resetKind = 1;
  PortFunction function = PortFunction::Unassigned;
  std::uint32_t reserved108 = 0;
  std::uint32_t class1Polling = 0;
  std::uint32_t class1PollLimit = 0;
  std::uint32_t singleCharacter = 2;
  std::uint8_t parity = 2;
  std::uint8_t dataBits = 8;
  std::uint8_t stopBits = 1;
  std::uint8_t spikeFilter = 0;
  std::uint32_t pollCycle = 600;
  std::uint32_t reserved132 = 0;
  std::uint32_t reserved136 = 0;
  std::uint8_t rtsFunction = 0;
  std::uint8_t watchedLines = 0;
  // 1: a port that went away, or was not there when going online, is tried
  // again every second. In what was padding: older files hold 0 there.
  std::uint8_t reopen = 0;
  std::uint8_t padding = 0;

  void Encode(Bytes out) const;
  static PortParams Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const PortParams&) const = default;

  // The addresses in use: an address count of 0 counts as one address 255.
  int EffectiveAddressCount() const;
  std::uint8_t Address(int i) const;
};

// The link addresses of an address-list field: runs of digits separated by
// anything else, at most 31 numbers. A number of 255 or more makes the field
// invalid. An empty field gives one address 255.
struct AddressList {
  std::array<std::uint8_t, 32> addresses{};
  std::uint32_t count = 0;
};
std::optional<AddressList> ParseAddressList(std::string_view field);
void ApplyAddressList(PortParams& params, const AddressList& list);

// The proposed response time-out (or character gap on a gap-monitor port) in ms.
std::uint32_t GetTimeOut(std::uint32_t baud, std::uint32_t telegramLength, PortFunction function);

// Forces the character format of ports with a link procedure: 8 data bits,
// even parity, 1 stop bit and a telegram length of at least 24. Not applied to
// gap monitors, nor when the character format is freed on the command line.
void ForceLinkCharacterFormat(PortParams& params);

}  // namespace kivo
