// The telegram source of the link layer: sending, the command-response
// simulation and the disturbance transfer, over one SendContext.
#pragma once

#include "link/link_context.h"
#include "send/disturbance.h"
#include "send/send_context.h"
#include "send/send_execution.h"

namespace kivo {

class SendEngine : public TelegramSource {
 public:
  explicit SendEngine(SendContext& send) : send_(send) {}

  void SelectDue(PortRecord& port) override { kivo::SelectDue(send_, port); }
  void SelectDueIntoFreeSlots(PortRecord& port, bool answeringClass1) override {
    kivo::SelectDueIntoFreeSlots(send_, port, answeringClass1);
  }
  bool SendSelected(PortRecord& port, OutgoingFrame& out) override {
    return kivo::SendSelected(send_, port, out);
  }
  void OnAsduReceived(PortRecord& port, const TLogEntry& entry) override {
    kivo::OnAsduReceived(send_, port, entry);
  }
  void OnLinkEvent(PortRecord& port, int trigger) override {
    kivo::OnLinkEvent(send_, port, trigger);
  }
  void StopSending(std::uint8_t address) override { kivo::StopSending(send_, address); }
  bool BuildOperatorIdentification(PortRecord& port, OutgoingFrame& out) override {
    return kivo::BuildOperatorIdentification(send_, port, out);
  }
  int CountPendingResponses(PortRecord& port) override {
    return kivo::CountPendingResponses(send_, port);
  }
  bool SendPendingResponse(PortRecord& port, OutgoingFrame& out) override {
    return kivo::SendPendingResponse(send_, port, out);
  }
  void OnGeneralCommand(PortRecord& port, TLogEntry& entry) override {
    kivo::OnGeneralCommand(send_, port, entry);
  }
  void OnDisturbanceAsdu(PortRecord& port, TLogEntry& entry) override {
    kivo::OnDisturbanceAsdu(send_, port, entry);
  }
  bool NextDisturbanceTelegram(PortRecord& port, OutgoingFrame& out) override {
    return kivo::NextDisturbanceTelegram(send_, port, out);
  }
  int DisturbanceClass1Items(const PortRecord& port) override {
    return kivo::DisturbanceClass1Items(send_, port);
  }
  void DisturbanceStep(PortRecord& port) override { kivo::DisturbanceStep(send_, port); }
  void EndDisturbanceTransfer(PortRecord& port, std::uint8_t address) override {
    kivo::EndDisturbanceTransfer(send_, port, address);
  }
  // Nothing of the old sending goes on, and the list of recorded
  // disturbances is built again from the files.
  void PreparePort(PortRecord& port) override {
    kivo::StopSending(send_, kAllAddresses);
    BuildDisturbanceList(send_, port);
  }

 private:
  static constexpr std::uint8_t kAllAddresses = 255;
  SendContext& send_;
};

}  // namespace kivo
