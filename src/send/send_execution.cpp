#include "send/send_execution.h"

#include <cmath>

#include "app/instance.h"
#include "app/messages.h"
#include "link/frame_codec.h"
#include "link/secondary.h"
#include "send/send_list.h"
#include "send/send_records.h"
#include "send/send_telegram.h"

namespace kivo {

namespace {

constexpr std::uint8_t kCauseCyclic = 2;
constexpr std::uint8_t kTypeIdentification = 5;
constexpr std::uint8_t kTypeInterrogation = 7;
constexpr std::uint8_t kTypeGeneralCommand = 20;
constexpr std::size_t kScnAt = 12;  // after FUN and INF of a general interrogation
constexpr std::size_t kRiiAt = 13;  // after FUN, INF and DCO of a general command
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

PortRecord* SendingPort(Instance& instance, const SendHeader& h) {
  const int index = h.PortIndex();
  return index < 0 ? nullptr : &instance.ports[static_cast<std::size_t>(index)];
}

// A pause of p milliseconds in ticks of the main timer.
std::uint32_t PauseTicks(std::uint32_t pauseMs, std::uint32_t msPerTick) {
  const double tick = msPerTick == 0 ? 1.0 : msPerTick;
  return static_cast<std::uint32_t>(std::floor(0.997 * pauseMs / tick)) + 1;
}

// Step 1 to 7 of the selection: may the header send on the port now?
bool Eligible(Instance& instance, const PortRecord& port, SendHeader& h) {
  if (h.sendState == kSendIdle) return false;
  if (h.portCode != PortCode(port)) return false;
  if (HasRole(port) && h.linkAddress != kBroadcast && h.linkAddress != port.CurrentAddress()) {
    return false;
  }
  const std::uint32_t now = instance.timeBase.tickCounter;
  if (h.sendState == kSendJustSent) {
    if (h.pauseMs != 0) {
      h.dueTick = now + PauseTicks(h.pauseMs, instance.timeBase.msPerTick);
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

void SelectTelegrams(Instance& instance, PortRecord& port) {
  SendSlots& slots = port.send;
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    SendTelegram& t = instance.send.Telegram(n);
    if (!Eligible(instance, port, t)) continue;
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

void SelectLists(Instance& instance, PortRecord& port, bool answeringClass1) {
  SendSlots& slots = port.send;
  for (int n = 1; n <= kSendListCount; ++n) {
    SendList& list = instance.send.List(n);
    if (list.activeRows == 0 || list.lastActiveRow == 0) continue;
    if (!Eligible(instance, port, list)) continue;
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

bool SendCurrentRow(Instance& instance, PortRecord& port, int n, bool secondaryUserData) {
  SendList& list = instance.send.List(n);
  if (FindCurrentRow(list) == 0) return false;
  const SendTelegram telegram = BuildListRowTelegram(instance, list);
  if (!BuildTelegramFrame(instance, port, telegram, secondaryUserData)) return false;
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
  if (list.notifyWindow != 0) instance.Events().ListPassEnded(n);
  port.secondary.handshake.listRunning = false;
  FinishStart(list);
  return true;
}

// False when the header keeps running: another address, or a start without
// end for its own address.
bool StopHeader(Instance& instance, SendHeader& h, std::uint8_t address) {
  if (address < kBroadcast && address != h.linkAddress) return false;
  if (address == h.linkAddress && h.repeatCount == 0) return false;
  h.sendState = kSendIdle;
  h.vsq = 0x81;
  h.sentCount = 0;
  if (const PortRecord* port = SendingPort(instance, h)) {
    h.linkAddress = port->params.Address(AddressListIndex(*port, h.addressIndex));
  }
  if (IsTimed(h)) instance.app.timedSendArmed = true;
  return true;
}

void StopOneList(Instance& instance, SendList& list, std::uint8_t address) {
  if (!StopHeader(instance, list, address)) return;
  list.rowsThisPass = 0;
  list.currentRow = 1;
}

// Starts every telegram, then every list, that the predicate picks.
template <typename Pick>
void StartWhere(Instance& instance, Pick pick) {
  for (int n = 1; n <= kSendTelegramCount; ++n)
    pick(static_cast<SendHeader&>(instance.send.Telegram(n)));
  for (int n = 1; n <= kSendListCount; ++n) pick(static_cast<SendHeader&>(instance.send.List(n)));
}

}  // namespace

bool SendNow(Instance& instance, SendHeader& header) {
  PortRecord* port = SendingPort(instance, header);
  int message = 0;
  if (port != nullptr) {
    if (port->linkTest.ltNoUserData) message = kMsgNoUserData;
    const int index = AddressListIndex(*port, header.addressIndex);
    if (HasRole(*port) && TestListBit(port->notReset, index)) message = kMsgLinkDown;
  }
  if (port == nullptr || port->params.portNumber == 0) message = text::kNoSerialPort;
  if (!instance.Online()) message = kMsgOffline;

  if (message == kMsgLinkDown) {
    if (!Confirm(instance, kMsgLinkDown)) return false;
    if (IsSecondary(*port)) {
      port->currentIndex = AddressListIndex(*port, header.addressIndex);
      port->answeredAddress = header.linkAddress;
    }
    port->send.operatorRequest = true;
  } else if (message != 0) {
    ShowMessage(instance, message);
    return false;
  }
  header.replyKind = kReplyNormal;
  header.sendState = kSendDue;
  return true;
}

bool StartList(Instance& instance, int n) {
  if (n < 1 || n > kSendListCount) return false;
  SendList& list = instance.send.List(n);
  if (list.activeRows == 0 || list.lastActiveRow == 0) {
    ShowMessage(instance, kMsgNoActiveRows);
    return false;
  }
  if (!SendNow(instance, list)) return false;
  PortRecord* port = SendingPort(instance, list);
  if (port != nullptr && IsSecondary(*port) && list.secondaryService == 1 &&
      list.sendState == kSendDue) {
    if (!StartHandshake(instance, *port, list.rowPause) && !port->secondary.handshake.listRunning) {
      list.sendState = kSendIdle;
      return false;
    }
  }
  return true;
}

void SelectDue(Instance& instance, PortRecord& port) {
  port.send.Clear();
  SelectDueIntoFreeSlots(instance, port, false);
}

void SelectDueIntoFreeSlots(Instance& instance, PortRecord& port, bool answeringClass1) {
  SelectTelegrams(instance, port);
  SelectLists(instance, port, answeringClass1);
}

bool SendSelected(Instance& instance, PortRecord& port) {
  const int s = port.send.nextSend;
  // A secondary answers a poll with user data; an operator's forced start
  // goes out with the telegram's own service.
  const bool secondaryUserData = IsSecondary(port) && !port.send.operatorRequest;
  if (s >= 1 && s <= kSendTelegramCount) {
    SendTelegram& t = instance.send.Telegram(s);
    if (!BuildTelegramFrame(instance, port, t, secondaryUserData)) return false;
    t.sendState = kSendJustSent;
    ++t.sentCount;
    FinishStart(t);
    return true;
  }
  if (s >= kFirstListSlot && s < kFirstListSlot + kSendListCount) {
    return SendCurrentRow(instance, port, s - kFirstListSlot + 1, secondaryUserData);
  }
  // Empty, or an item of the engine itself (built by the procedures).
  return false;
}

void OnAsduReceived(Instance& instance, PortRecord& port, const TLogEntry& entry) {
  const auto frame = entry.Frame();
  if (frame.size() <= ft12::at::kTyp) return;
  const std::uint8_t typ = frame[ft12::at::kTyp];
  const auto address = static_cast<std::uint8_t>(entry.linkAddress);
  const int commonAddress =
      frame.size() > ft12::at::kCommonAddress ? frame[ft12::at::kCommonAddress] : -1;
  const bool compareCommon = instance.general.separateCommonAddress != 0;
  StartWhere(instance, [&](SendHeader& h) {
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

void OnLinkEvent(Instance& instance, PortRecord& port, int trigger) {
  StartWhere(instance, [&](SendHeader& h) {
    if (h.portCode != PortCode(port)) return;
    if (HasRole(port) && h.linkAddress != port.CurrentAddress()) return;
    if (h.trigger == static_cast<std::uint32_t>(trigger)) h.sendState = kSendDue;
  });
}

void OnMinute(Instance& instance, int minute) {
  instance.app.timedSendArmed = false;
  StartWhere(instance, [&](SendHeader& h) {
    if (!IsTimed(h)) return;
    instance.app.timedSendArmed = true;
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

void StopSending(Instance& instance, std::uint8_t address) {
  StopHandshakes(instance);
  instance.app.timedSendArmed = false;
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    StopHeader(instance, instance.send.Telegram(n), address);
  }
  for (int n = 1; n <= kSendListCount; ++n) StopOneList(instance, instance.send.List(n), address);
}

void CommitSendTelegram(Instance& instance, int n, const SendTelegram& workCopy) {
  if (n < 1 || n > kSendTelegramCount) return;
  SendTelegram& t = instance.send.Telegram(n);
  if (!t.SameContent(workCopy)) instance.app.sendDataModified = true;
  t = workCopy;
  instance.Events().SendCaptionChanged(n);
  if (IsTimed(t)) instance.app.timedSendArmed = true;
}

void StopList(Instance& instance, int n) {
  if (n < 1 || n > kSendListCount) return;
  StopOneList(instance, instance.send.List(n), kBroadcast);
}

bool AnySending(const Instance& instance) {
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    if (instance.send.Telegram(n).sendState != kSendIdle) return true;
  }
  for (int n = 1; n <= kSendListCount; ++n) {
    if (instance.send.List(n).sendState != kSendIdle) return true;
  }
  return false;
}

std::string SendCaption(const Instance& instance, int slot) {
  const bool list = slot >= kFirstListSlot;
  const int n = list ? slot - kFirstListSlot + 1 : slot;
  if (n < 1 || n > kSendTelegramCount) return {};
  const SendHeader& h = list ? static_cast<const SendHeader&>(instance.send.List(n))
                             : static_cast<const SendHeader&>(instance.send.Telegram(n));
  static constexpr char kHex[] = "0123456789ABC";
  std::string caption(1, kHex[n]);
  if (h.trigger <= kTriggerEveryMinutes) {
    caption += instance.texts.Text(kTextTriggerBase + static_cast<int>(h.trigger));
  }
  if (h.trigger == kTriggerReceivedType) caption += std::to_string(h.triggerType) + " ";
  caption += h.name.Get();
  return caption;
}

bool BuildOperatorIdentification(Instance& instance, PortRecord& port) {
  const std::uint8_t address = port.CurrentAddress();
  for (int n = 1; n <= kSendTelegramCount; ++n) {
    const SendTelegram& t = instance.send.Telegram(n);
    if (t.typeId != kTypeIdentification || t.portCode != PortCode(port)) continue;
    if (t.linkAddress != address && t.linkAddress != kBroadcast) continue;
    return BuildTelegramFrame(instance, port, t, true);
  }
  return false;
}

}  // namespace kivo
