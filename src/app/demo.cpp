#include "app/demo.h"

#include "app/data_directory.h"
#include "app/instance.h"
#include "link/link_procedures.h"
#include "send/send_execution.h"
#include "send/send_list.h"

namespace kivo {

std::optional<std::string> ReadOnlyRegistry::ReadString(std::string_view key,
                                                        std::string_view name) {
  if (!dataDirectory_.empty() && key == kRegistryKey && name == kRegistryDataDirectory) {
    return dataDirectory_;
  }
  return base_.ReadString(key, name);
}

namespace {

constexpr std::uint32_t kPortCode1 = 2, kPortCode2 = 4;

SendTelegram& Demo(Instance& instance, int n, std::uint8_t type, std::uint8_t cot, std::uint8_t fun,
                   std::uint8_t inf, std::uint32_t portCode, std::uint8_t address) {
  SendTelegram& t = instance.send.Telegram(n);
  t = SendTelegram{};
  t.typeId = type;
  t.cot = cot;
  t.fun = fun;
  t.inf = inf;
  t.portCode = portCode;
  t.linkAddress = address;
  t.addressIndex = address >= 1 && address <= 3 ? address - 1u : 0u;
  t.name.Set(instance.texts.Text(70 + type));
  return t;
}

}  // namespace

// Port 1 polls addresses 1, 2 and 3; port 2 plays the three devices.
void SetUpDemo(Instance& instance) {
  AddressList three;
  three.addresses = {1, 2, 3, 255};
  three.count = 3;
  for (int i = 0; i < 2; ++i) {
    PortParams& p = instance.ports[static_cast<std::size_t>(i)].params;
    p.function = i == 0 ? PortFunction::Primary : PortFunction::Secondary;
    ApplyAddressList(p, three);
  }
  SendData& send = instance.send;
  InitialiseSendData(send, instance.texts);

  // The primary, once the link of a device is up: a general interrogation of
  // device 1, general commands to devices 2 (answered) and 3 (refused).
  SendTelegram& gi = Demo(instance, 1, 7, 9, 255, 0, kPortCode1, 1);
  gi.trigger = kTriggerLinkUp;
  gi.value = 1;  // SCN
  SendTelegram& on = Demo(instance, 2, 20, 20, 128, 16, kPortCode1, 2);
  on.trigger = kTriggerLinkUp;
  on.value = 2;  // DCO ON
  on.data2 = 7;  // RII
  on.repeatCount = 0;
  on.pauseMs = 7000;
  SendTelegram& refused = Demo(instance, 3, 20, 20, 128, 17, kPortCode1, 3);
  refused.trigger = kTriggerLinkUp;
  refused.value = 1;
  refused.data2 = 9;
  refused.repeatCount = 0;
  refused.pauseMs = 11000;

  // The devices, once reset: measurands of device 2 as cyclic (class 2)
  // data, a spontaneous message of device 3 every five seconds.
  SendTelegram& measurands = Demo(instance, 4, 9, 2, 128, 148, kPortCode2, 2);
  measurands.trigger = kTriggerLinkReset;
  measurands.value = 4;
  const std::array<int, 4> values{2731, -120, 3413, 512};
  for (int i = 0; i < 4; ++i) {
    measurands.SetMeasuredValue(
        i + 1, static_cast<std::uint16_t>(values[static_cast<std::size_t>(i)] * 8));
  }
  measurands.repeatCount = 0;
  measurands.pauseMs = 2000;
  SendTelegram& message = Demo(instance, 5, 1, 1, 128, 64, kPortCode2, 3);
  message.trigger = kTriggerLinkReset;
  message.value = 2;
  message.repeatCount = 0;
  message.pauseMs = 5000;
  for (int n = 6; n <= kSendTelegramCount; ++n) send.Telegram(n).portCode = 0;

  // Device 1 answers the interrogation with its states and the end of it.
  SendList& answer = send.List(1);
  answer.portCode = kPortCode2;
  answer.linkAddress = 1;
  answer.addressIndex = 0;
  answer.trigger = kTriggerReceivedType;
  answer.triggerType = 7;
  answer.repeatCount = 1;
  answer.rowsPerStart = 0;
  answer.name.Set(instance.texts.Text(70 + 8));
  answer.Row(1) = SendListRow{2, 0, 1, {}, 1, 9, 128, 16};
  answer.Row(2) = SendListRow{1, 0, 1, {}, 1, 9, 128, 17};
  answer.Row(3) = SendListRow{2, 0, 1, {}, 1, 9, 128, 64};
  answer.Row(4) = SendListRow{0, 0, 1, {}, 8, 10, 255, 0};
  RecountRows(instance.sendContext, 1);

  // The simulated devices acknowledge a command on INF 16 and report the new
  // state; a command on INF 17 is refused.
  ResponseSimBlock& sim = send.simulation;
  sim.simulationOn = 1;
  sim.rows[0].commandInf = 16;
  sim.rows[0].positiveAck = 1;
  sim.rows[0].responseInf = 16;
  sim.rows[0].responseState = kResponseStateFromCommand;
  sim.rows[1].commandInf = 17;
  sim.rows[1].negativeAck = 1;
  sim.rows[1].responseInf = -1;
  StopSending(instance.sendContext, 255);
}

void PrepareDemo(Instance& instance, int primaryPort, int secondaryPort) {
  instance.app.onlineApplyTick = 0xFFFFFFFF;
  instance.ports[0].params.portNumber = static_cast<std::uint32_t>(primaryPort);
  instance.ports[1].params.portNumber = static_cast<std::uint32_t>(secondaryPort);
  SetUpDemo(instance);
}

}  // namespace kivo
