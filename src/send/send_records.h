// The stored records of sending and simulation: the twelve send telegrams,
// the twelve send lists and the command-response table. Each block is kept
// byte for byte in the send-telegram file, run-time fields included.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "util/bytes.h"

namespace kivo {

class TextTable;

inline constexpr int kSendTelegramCount = 12;
inline constexpr int kSendListCount = 12;
inline constexpr int kSendListRows = 400;
inline constexpr int kResponseSimRows = 100;

// Send slot numbers: telegrams 1..12, lists 13..24.
inline constexpr int kFirstListSlot = 13;

// What starts sending besides the operator.
enum SendTrigger : std::uint32_t {
  kTriggerNone = 0,
  kTriggerReceivedType = 1,
  kTriggerLinkUp = 2,       // link event 45 of the sending port
  kTriggerLinkReset = 3,    // link event 44 of the sending port
  kTriggerHourly = 4,       // every hour at triggerMinute
  kTriggerEveryMinutes = 5  // every triggerMinute minutes
};

enum SendState : std::uint32_t {
  kSendIdle = 0,
  kSendDue = 1,
  kSendJustSent = 2,
  kSendPausing = 3,
};

// How the telegram was started: replyInfo then holds the SCN or RII.
inline constexpr std::uint8_t kReplyNormal = 0;
inline constexpr std::uint8_t kReplyInterrogation = 3;
inline constexpr std::uint8_t kReplyCommand = 4;

// Offsets 0 to 161: the send parameters that telegrams and lists share.
struct SendHeader {
  static constexpr std::size_t kSize = 162;
  static constexpr std::size_t kNameSize = 28;
  struct Offsets {
    static constexpr std::size_t Reserved0 = 0, FocusIndex = 4, Trigger = 8, TriggerType = 12,
                                 TriggerMinute = 14, RepeatCount = 16, PortCode = 20,
                                 RowsPerStart = 24, SentCount = 28, PauseMs = 32, DueTick = 36,
                                 SendState = 40, Service = 44, Date = 48, Time = 56, Value = 64,
                                 Value2 = 68, RowActive = 72, Unused73 = 73, TypeId = 76, Cot = 77,
                                 Fun = 78, Inf = 79, Data2 = 80, Data3 = 84, Data4 = 88,
                                 Milliseconds = 92, NotifyWindow = 96, Reserved100 = 100,
                                 AddressIndex = 104, LinkAddress = 108, Vsq = 109,
                                 CommonAddress = 110, ReplyInfo = 111, ReplyKind = 112,
                                 Unused113 = 113, SecondaryService = 116, RowPause = 118,
                                 Unused120 = 120, WithWeekday = 131, Iv = 132, Su = 133, Name = 134;
  };

  std::uint32_t reserved0 = 0;
  std::uint32_t focusIndex = 0;
  std::uint32_t trigger = kTriggerNone;
  std::uint16_t triggerType = 0;
  std::uint16_t triggerMinute = 0;
  std::uint32_t repeatCount = 1;  // 0 = until stopped
  std::uint32_t portCode = 2;     // 2 port 1, 4 port 2
  std::uint32_t rowsPerStart = 0;
  std::uint32_t sentCount = 0;
  std::uint32_t pauseMs = 0;
  std::uint32_t dueTick = 0;
  std::uint32_t sendState = kSendIdle;
  std::uint32_t service = 0;  // 0 send/confirm, 1 send/no reply, 2 user data response
  double date = 0.0;
  double time = 0.0;
  std::uint32_t value = 0;   // list: data1 of the current row
  std::uint32_t value2 = 0;  // list: data2 of the current row
  std::uint8_t rowActive = 0;
  std::array<std::uint8_t, 3> unused73{};
  std::uint8_t typeId = 0;
  std::uint8_t cot = 0;
  std::uint8_t fun = 0;
  std::uint8_t inf = 0;
  std::uint32_t data2 = 0;
  std::uint32_t data3 = 0;
  std::uint32_t data4 = 0;
  std::uint32_t milliseconds = 0;
  std::uint32_t notifyWindow = 0;  // list: the editor wants the end of each pass
  std::uint32_t reserved100 = 0;
  std::uint32_t addressIndex = 0;
  std::uint8_t linkAddress = 1;
  std::uint8_t vsq = 0x81;
  std::uint8_t commonAddress = 0;
  std::uint8_t replyInfo = 0;
  std::uint8_t replyKind = kReplyNormal;
  std::array<std::uint8_t, 3> unused113{};
  std::int16_t secondaryService = 0;
  std::uint16_t rowPause = 0;
  std::array<std::uint8_t, 11> unused120{};
  std::uint8_t withWeekday = 0;
  std::uint8_t iv = 0;
  std::uint8_t su = 0;
  PStringField<kNameSize> name;

  // Port index (0, 1) the header sends through; -1 for a code that names none.
  int PortIndex() const;
  bool operator==(const SendHeader&) const = default;
  // Equal apart from the focus and the scheduling state, which the editors
  // do not count as a change.
  bool SameContent(const SendHeader& other) const;

  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
};

struct SendTelegram : SendHeader {
  static constexpr std::size_t kSize = 562;
  static constexpr std::size_t kRawCapacity = 264;
  static constexpr std::size_t kIdentificationLength = 12;
  static constexpr std::size_t kMaxMeasuredValues = 15;
  struct TailOffsets {
    static constexpr std::size_t Unused162 = 162, RawLength = 294, Raw = 298;
  };
  // Overlays inside raw (record offsets 426 and 442).
  static constexpr std::size_t kIdentificationAt = 426 - TailOffsets::Raw;
  static constexpr std::size_t kMeasuredValuesAt = 442 - TailOffsets::Raw;

  std::array<std::uint8_t, 132> unused162{};
  std::uint32_t rawLength = 0;
  std::array<std::uint8_t, kRawCapacity> raw{};

  // Measured value i (1 to 15): a 13-bit value in bits 3..15, quality in 0..2.
  std::uint16_t MeasuredValue(int i) const;
  void SetMeasuredValue(int i, std::uint16_t v);
  // The raw octets in use (rawLength cut to the capacity).
  ConstBytes RawOctets() const;
  bool SameContent(const SendTelegram& other) const;

  void Encode(Bytes out) const;
  static SendTelegram Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const SendTelegram&) const = default;
};

struct SendTelegramBlock {
  static constexpr std::size_t kSize = 4 + kSendTelegramCount * SendTelegram::kSize;  // 6,748
  std::uint32_t blockSize = kSize;
  std::array<SendTelegram, kSendTelegramCount> telegrams{};

  void Encode(Bytes out) const;
  static SendTelegramBlock Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const SendTelegramBlock&) const = default;
};

struct SendListRow {
  static constexpr std::size_t kSize = 16;
  std::uint32_t data1 = 1;
  std::uint32_t data2 = 0;
  std::uint8_t active = 0;
  std::array<std::uint8_t, 3> unused9{};
  std::uint8_t typeId = 1;
  std::uint8_t cot = 1;
  std::uint8_t fun = 128;
  std::uint8_t inf = 0;

  void Encode(Bytes out) const;
  static SendListRow Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const SendListRow&) const = default;
};

struct SendList : SendHeader {
  static constexpr std::size_t kSize = 6594;
  struct ListOffsets {
    static constexpr std::size_t EditorRow = 162, EditorCol = 166, ActiveRows = 170,
                                 LastActiveRow = 174, CurrentRow = 178, RowsThisPass = 182,
                                 Reserved186 = 186, Reserved190 = 190, Rows = 194;
  };

  std::uint32_t editorRow = 0;
  std::uint32_t editorCol = 0;
  std::uint32_t activeRows = 0;
  std::uint32_t lastActiveRow = 0;
  std::uint32_t currentRow = 1;
  std::uint32_t rowsThisPass = 0;
  std::uint32_t reserved186 = 1;
  std::uint32_t reserved190 = 0;
  std::array<SendListRow, kSendListRows> rows{};

  // Row n (1 to 400); out-of-range numbers give row 1.
  SendListRow& Row(std::uint32_t n);
  const SendListRow& Row(std::uint32_t n) const;
  // The current-row copy at header offsets 64 to 79.
  SendListRow CurrentRowCopy() const;
  void SetCurrentRowCopy(const SendListRow& row);
  bool SameContent(const SendList& other) const;

  void Encode(Bytes out) const;
  static SendList Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const SendList&) const = default;
};

struct SendListBlock {
  static constexpr std::size_t kSize = 4 + kSendListCount * SendList::kSize;  // 79,132
  std::uint32_t blockSize = kSize;
  std::array<SendList, kSendListCount> lists{};

  void Encode(Bytes out) const;
  static SendListBlock Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const SendListBlock&) const = default;
};

// What a row answers with: DPI 0..3 as stated, 4 the command's DCO, 5 its
// DCO XOR 3.
inline constexpr std::uint8_t kResponseStateFromCommand = 4;
inline constexpr std::uint8_t kResponseStateInverted = 5;

struct ResponseSimRow {
  static constexpr std::size_t kSize = 48;
  static constexpr std::size_t kCommandCapacity = 32;
  struct Offsets {
    static constexpr std::size_t CommandLength = 0, CommandStatus = 2, CommandPort = 3,
                                 CommandFrame = 4, CommandAddress = 36, CommandInf = 38,
                                 PositiveAck = 39, NegativeAck = 40, AckPending = 41,
                                 ResponsePending = 42, ResponseState = 43, ResponseInf = 44,
                                 Unused46 = 46;
  };

  std::uint16_t commandLength = 0;
  std::uint8_t commandStatus = 0;
  // Run time: the port (1, 2) that received the command, so that only that
  // port sends its answers; 0 (a file written without it) lets any port.
  std::uint8_t commandPort = 0;
  std::array<std::uint8_t, kCommandCapacity> commandFrame{};
  std::uint16_t commandAddress = 0;
  std::uint8_t commandInf = 0;
  std::uint8_t positiveAck = 0;
  std::uint8_t negativeAck = 0;
  std::uint8_t ackPending = 0;
  std::uint8_t responsePending = 0;
  std::uint8_t responseState = kResponseStateFromCommand;
  std::int16_t responseInf = -1;  // -1 = no response message
  std::uint16_t unused46 = 0;

  void Encode(Bytes out) const;
  static ResponseSimRow Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const ResponseSimRow&) const = default;
};

struct ResponseSimBlock {
  static constexpr std::size_t kSize = 20 + kResponseSimRows * ResponseSimRow::kSize;  // 4,820
  struct Offsets {
    static constexpr std::size_t Size = 0, SimulationOn = 4, FocusIndex = 8, EditorRow = 12,
                                 EditorCol = 16, Rows = 20;
  };
  std::uint32_t blockSize = kSize;
  std::uint32_t simulationOn = 0;
  std::uint32_t focusIndex = 0;
  std::uint32_t editorRow = 0;
  std::uint32_t editorCol = 0;
  std::array<ResponseSimRow, kResponseSimRows> rows{};

  void Encode(Bytes out) const;
  static ResponseSimBlock Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const ResponseSimBlock&) const = default;
};

// All send data of one program, as the send-telegram file stores it.
struct SendData {
  SendTelegramBlock telegrams;
  SendListBlock lists;
  ResponseSimBlock simulation;

  SendTelegram& Telegram(int n) { return telegrams.telegrams[static_cast<std::size_t>(n - 1)]; }
  const SendTelegram& Telegram(int n) const {
    return telegrams.telegrams[static_cast<std::size_t>(n - 1)];
  }
  SendList& List(int n) { return lists.lists[static_cast<std::size_t>(n - 1)]; }
  const SendList& List(int n) const { return lists.lists[static_cast<std::size_t>(n - 1)]; }
};

// The contents before any send-telegram file was read: twelve example
// telegrams named after their types, twelve empty lists named with text 1187
// and their number, the simulation off with default rows.
void InitialiseSendData(SendData& data, const TextTable& texts);

}  // namespace kivo
