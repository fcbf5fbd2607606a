#include "send/send_execution.h"

#include <cmath>

#include "link/link_context.h"
#include "link/port_record.h"
#include "link/secondary.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "send/send_list.h"
#include "send/send_records.h"
#include "send/send_telegram.h"
#include "text/text_table.h"

namespace kivo {

namespace {

constexpr std::uint8_t kCauseCyclic = 2;
constexpr std::uint8_t kTypeIdentification = 5;
constexpr std::uint8_t kTypeInterrogation = 7;
constexpr std::uint8_t kTypeGeneralCommand = 20;
constexpr std::size_t kScnAt = ft12::at::kElements;      // of a general interrogation
constexpr std::size_t kRiiAt = ft12::at::kElements + 1;  // after the DCO of a general command
constexpr int kTextTriggerBase = 864;
constexpr std::uint8_t kBroadcast = ft12::kBroadcast;

std::uint32_t PortCode(const PortRecord& port) {
  return 2 * static_cast<std::uint32_t>(port.index + 1);
}

bool HasRole(const PortRecord& port) {
  return port.params.function == PortFunction::Primary ||
         port.params.function == PortFunction::Secondary;
}

bool IsSecondary(const PortRecord& port) {
  return port.params.function == PortFunction::Secondary;
}

bool IsTimed(const SendHeader& h) {
  return h.trigger == kTriggerHourly || h.trigger == kTriggerEveryMinutes;
}

// The list entry of the header's address index, entry 0 beyond the list.
int AddressListIndex(const PortRecord& port, std::uint32_t addressIndex) {
  return addressIndex < static_cast<std::uint32_t>(port.params.EffectiveAddressCount())
             ? static_cast<int>(addressIndex)
             : 0;
}

PortRecord* SendingPort(SendContext& send, const SendHeader& h) {
  const int index = h.PortIndex();
  return index < 0 ? nullptr : &send.ports()[static_cast<std::size_t>(index)];
}

// A pause of p milliseconds in ticks of the main timer.
std::uint32_t PauseTicks(std::uint32_t pauseMs, std::uint32_t msPerTick) {
  const double tick = msPerTick == 0 ? 1.0 : msPerTick;
  return static_cast<std::uint32_t>(std::floor(0.997 * pauseMs / tick)) + 1;
}

// Step 1 to 7 of the selection: may the header send on the port now?
bool Eligible(SendContext& send, const PortRecord& port, SendHeader& h) {
  if (h.sendState == kSendIdle) return false;
  if (h.portCode != PortCode(port)) return false;
  if (HasRole(port) && h.linkAddress != kBroadcast && h.linkAddress != port.CurrentAddress()) {
    return false;
  }
  const std::uint32_t now = send.time().tickCounter;
  if (h.sendState == kSendJustSent) {
    if (h.pauseMs != 0) {
      h.dueTick = now + PauseTicks(h.pauseMs, send.time().msPerTick);
      h.sendState = kSendPausing;
      return false;
    }
    h.sendState = kSendDue;
  }
  if (h.sendState == kSendPausing) {
    if (!TickReached(now, h.dueTick)) return false;
    h.sendState = kSendDue;
  }
  if (port.linkTest.ltNoUserData) {
    h.sendState = kSendIdle;
    return false;
  }
  return true;
}

void PutNextOrFollow(SendSlots& slots, std::uint8_t item) {
  if (slots.nextSend == 0) {
    slots.nextSend = item;
  } else if (slots.followSend == 0) {
    slots.followSend = item;
  }
}

void PutCyclic(const PortRecord& port, SendSlots& slots, std::uint8_t item) {
  if (IsSecondary(port)) {
    if (slots.class2Send == 0) slots.class2Send = item;
  } else {
    slots.nextSend = item;
  }
}

void SelectTelegrams(SendContext& send, PortRecord& port) {
  SendSlots& slots = port.send;
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    SendTelegram& t = send.data.Telegram(n);
    if (!Eligible(send, port, t)) continue;
    const auto item = static_cast<std::uint8_t>(n);
    if (t.cot == kCauseCyclic) {
      PutCyclic(port, slots, item);
      continue;
    }
    PutNextOrFollow(slots, item);
    if (slots.followSend == 0 && t.pauseMs == 0 &&
        (t.repeatCount == 0 || t.repeatCount > t.sentCount + 1)) {
      slots.followSend = item;
    }
  }
}

// Whether the row after the one just selected follows at once.
bool NextRowFollows(const SendList& list) {
  const std::uint32_t passLength = list.rowsPerStart != 0 ? list.rowsPerStart : list.activeRows;
  const bool endsPass = passLength <= list.rowsThisPass + 1;
  if (!endsPass) return true;
  const bool lastPass = list.repeatCount != 0 && list.repeatCount <= list.sentCount + 1;
  return list.pauseMs == 0 && !lastPass;
}

void SelectLists(SendContext& send, PortRecord& port, bool answeringClass1) {
  SendSlots& slots = port.send;
  for (int n = 1; n <= kSendListCount; ++n) {
    SendList& list = send.data.List(n);
    if (list.activeRows == 0 || list.lastActiveRow == 0) continue;
    if (!Eligible(send, port, list)) continue;
    SendList copy = list;
    if (FindCurrentRow(copy) == 0) continue;
    const auto item = static_cast<std::uint8_t>(kFirstListSlot - 1 + n);
    bool decideFollow = true;
    if (copy.cot == kCauseCyclic) {
      PutCyclic(port, slots, item);
      decideFollow = !answeringClass1;
    } else {
      PutNextOrFollow(slots, item);
    }
    if (!decideFollow || slots.followSend != 0) continue;
    AdvanceRow(copy);
    if (FindCurrentRow(copy) == 0 || copy.cot == kCauseCyclic) continue;
    if (NextRowFollows(copy)) slots.followSend = item;
  }
}

void FinishStart(SendHeader& h) {
  if (h.repeatCount != 0 && h.sentCount >= h.repeatCount) {
    h.sendState = kSendIdle;
    h.sentCount = 0;
  }
}

bool SendCurrentRow(SendContext& send, PortRecord& port, int n, bool secondaryUserData,
                    OutgoingFrame& out) {
  SendList& list = send.data.List(n);
  if (FindCurrentRow(list) == 0) return false;
  const SendTelegram telegram = BuildListRowTelegram(send, list);
  if (!BuildTelegramFrame(send, port, telegram, secondaryUserData, out)) return false;
  AdvanceRow(list);
  ++list.rowsThisPass;
  bool passEnded;
  if (list.rowsPerStart != 0) {
    passEnded = list.rowsThisPass >= list.rowsPerStart;
  } else {
    passEnded = list.rowsThisPass >= list.activeRows;
    if (passEnded) list.currentRow = 1;
  }
  if (!passEnded) return true;
  list.sendState = kSendJustSent;
  list.rowsThisPass = 0;
  ++list.sentCount;
  if (list.notifyWindow != 0) send.events.ListPassEnded(n);
  port.secondary.handshake.listRunning = false;
  FinishStart(list);
  return true;
}

// False when the header keeps running: another address, or a start without
// end for its own address.
bool StopHeader(SendContext& send, SendHeader& h, std::uint8_t address) {
  if (address < kBroadcast && address != h.linkAddress) return false;
  if (address == h.linkAddress && h.repeatCount == 0) return false;
  h.sendState = kSendIdle;
  h.vsq = 0x81;
  h.sentCount = 0;
  if (const PortRecord* port = SendingPort(send, h)) {
    h.linkAddress = port->params.Address(AddressListIndex(*port, h.addressIndex));
  }
  if (IsTimed(h)) send.timedSendArmed = true;
  return true;
}

void StopOneList(SendContext& send, SendList& list, std::uint8_t address) {
  if (!StopHeader(send, list, address)) return;
  list.rowsThisPass = 0;
  list.currentRow = 1;
}

// Starts every telegram, then every list, that the predicate picks.
template <typename Pick>
void StartWhere(SendContext& send, Pick pick) {
  for (int n = 1; n <= kSendTelegramCount; ++n)
    pick(static_cast<SendHeader&>(send.data.Telegram(n)));
  for (int n = 1; n <= kSendListCount; ++n) pick(static_cast<SendHeader&>(send.data.List(n)));
}

}  // namespace

int SendNow(SendContext& send, SendHeader& header, bool linkDownConfirmed) {
  PortRecord* port = SendingPort(send, header);
  int message = 0;
  if (port != nullptr) {
    if (port->linkTest.ltNoUserData) message = kMsgNoUserData;
    const int index = AddressListIndex(*port, header.addressIndex);
    if (HasRole(*port) && TestListBit(port->notReset, index)) message = kMsgLinkDown;
  }
  if (port == nullptr || port->params.portNumber == 0) message = text::kNoSerialPort;
  if (!send.Online()) message = kMsgOffline;

  if (message == kMsgLinkDown) {
    if (!linkDownConfirmed) return kMsgLinkDown;
    if (IsSecondary(*port)) {
      port->currentIndex = AddressListIndex(*port, header.addressIndex);
      port->answeredAddress = header.linkAddress;
    }
    port->send.operatorRequest = true;
  } else if (message != 0) {
    return message;
  }
  header.replyKind = kReplyNormal;
  header.sendState = kSendDue;
  return 0;
}

int StartList(SendContext& send, int n, bool linkDownConfirmed) {
  if (n < 1 || n > kSendListCount) return kMsgNoActiveRows;
  SendList& list = send.data.List(n);
  if (list.activeRows == 0 || list.lastActiveRow == 0) return kMsgNoActiveRows;
  if (const int refused = SendNow(send, list, linkDownConfirmed); refused != 0) return refused;
  PortRecord* port = SendingPort(send, list);
  if (port != nullptr && IsSecondary(*port) && list.secondaryService == 1 &&
      list.sendState == kSendDue) {
    if (!StartHandshake(send.link, *port, list.rowPause) &&
        !port->secondary.handshake.listRunning) {
      list.sendState = kSendIdle;
      return kListNotStarted;
    }
  }
  return 0;
}

void SelectDue(SendContext& send, PortRecord& port) {
  port.send.Clear();
  SelectDueIntoFreeSlots(send, port, false);
}

void SelectDueIntoFreeSlots(SendContext& send, PortRecord& port, bool answeringClass1) {
  SelectTelegrams(send, port);
  SelectLists(send, port, answeringClass1);
}

bool SendSelected(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  const int s = port.send.nextSend;
  // A secondary answers a poll with user data; an operator's forced start
  // goes out with the telegram's own service.
  const bool secondaryUserData = IsSecondary(port) && !port.send.operatorRequest;
  if (s >= 1 && s <= kSendTelegramCount) {
    SendTelegram& t = send.data.Telegram(s);
    if (!BuildTelegramFrame(send, port, t, secondaryUserData, out)) return false;
    t.sendState = kSendJustSent;
    ++t.sentCount;
    FinishStart(t);
    return true;
  }
  if (s >= kFirstListSlot && s < kFirstListSlot + kSendListCount) {
    return SendCurrentRow(send, port, s - kFirstListSlot + 1, secondaryUserData, out);
  }
  // Empty, or an item of the engine itself (built by the procedures).
  return false;
}

void OnAsduReceived(SendContext& send, PortRecord& port, const TLogEntry& entry) {
  const auto frame = entry.Frame();
  if (frame.size() <= ft12::at::kTyp) return;
  const std::uint8_t typ = frame[ft12::at::kTyp];
  const auto address = static_cast<std::uint8_t>(entry.linkAddress);
  const int commonAddress =
      frame.size() > ft12::at::kCommonAddress ? frame[ft12::at::kCommonAddress] : -1;
  const bool compareCommon = send.general().separateCommonAddress != 0;
  StartWhere(send, [&](SendHeader& h) {
    if (h.portCode != PortCode(port)) return;
    if (address != kBroadcast && address != h.linkAddress && h.linkAddress != kBroadcast) return;
    if (h.trigger != kTriggerReceivedType || typ != h.triggerType) return;
    if (compareCommon && commonAddress != kBroadcast && commonAddress != h.commonAddress) return;
    h.sendState = kSendDue;
    if (typ == kTypeGeneralCommand && frame.size() > kRiiAt) {
      h.replyKind = kReplyCommand;
      h.replyInfo = frame[kRiiAt];
    } else if (typ == kTypeInterrogation && frame.size() > kScnAt) {
      h.replyKind = kReplyInterrogation;
      h.replyInfo = frame[kScnAt];
    }
  });
}

void OnLinkEvent(SendContext& send, PortRecord& port, int trigger) {
  StartWhere(send, [&](SendHeader& h) {
    if (h.portCode != PortCode(port)) return;
    if (HasRole(port) && h.linkAddress != port.CurrentAddress()) return;
    if (h.trigger == static_cast<std::uint32_t>(trigger)) h.sendState = kSendDue;
  });
}

void OnMinute(SendContext& send, int minute) {
  send.timedSendArmed = false;
  StartWhere(send, [&](SendHeader& h) {
    if (!IsTimed(h)) return;
    send.timedSendArmed = true;
    if (h.trigger == kTriggerEveryMinutes && h.triggerMinute != 0) {
      if (minute % h.triggerMinute == 0) {
        h.sendState = kSendDue;
        h.replyKind = kReplyNormal;
      }
    } else if (h.triggerMinute == minute) {
      h.sendState = kSendDue;
    }
  });
}

void StopSending(SendContext& send, std::uint8_t address) {
  StopHandshakes(send.link);
  send.timedSendArmed = false;
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    StopHeader(send, send.data.Telegram(n), address);
  }
  for (int n = 1; n <= kSendListCount; ++n) StopOneList(send, send.data.List(n), address);
}

void CommitSendTelegram(SendContext& send, int n, const SendTelegram& workCopy) {
  if (n < 1 || n > kSendTelegramCount) return;
  SendTelegram& t = send.data.Telegram(n);
  if (!t.SameContent(workCopy)) send.sendDataModified = true;
  t = workCopy;
  send.events.SendCaptionChanged(n);
  if (IsTimed(t)) send.timedSendArmed = true;
}

void StopList(SendContext& send, int n) {
  if (n < 1 || n > kSendListCount) return;
  StopOneList(send, send.data.List(n), kBroadcast);
}

bool AnySending(const SendContext& send) {
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    if (send.data.Telegram(n).sendState != kSendIdle) return true;
  }
  for (int n = 1; n <= kSendListCount; ++n) {
    if (send.data.List(n).sendState != kSendIdle) return true;
  }
  return false;
}

std::string SendCaption(const SendContext& send, int slot) {
  const bool list = slot >= kFirstListSlot;
  const int n = list ? slot - kFirstListSlot + 1 : slot;
  if (n < 1 || n > kSendTelegramCount) return {};
  const SendHeader& h = list ? static_cast<const SendHeader&>(send.data.List(n))
                             : static_cast<const SendHeader&>(send.data.Telegram(n));
  static constexpr char kHex[] = "0123456789ABC";
  std::string caption(1, kHex[n]);
  if (h.trigger <= kTriggerEveryMinutes) {
    caption += send.texts.Text(kTextTriggerBase + static_cast<int>(h.trigger));
  }
  if (h.trigger == kTriggerReceivedType) caption += std::to_string(h.triggerType) + " ";
  caption += h.name.Get();
  return caption;
}

bool BuildOperatorIdentification(SendContext& send, PortRecord& port, OutgoingFrame& out) {
  const std::uint8_t address = port.CurrentAddress();
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    const SendTelegram& t = send.data.Telegram(n);
    if (t.typeId != kTypeIdentification || t.portCode != PortCode(port)) continue;
    if (t.linkAddress != address && t.linkAddress != kBroadcast) continue;
    return BuildTelegramFrame(send, port, t, true, out);
  }
  return false;
}

}  // namespace kivo
