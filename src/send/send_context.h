// What sending, the command-response simulation and the disturbance transfer
// work with besides their own records: the link layer (its ports, time base,
// general parameters and log), the texts of the captions, the data directory
// of the disturbance files, the online setting and the flags they raise.
// The Instance builds one; the tests of this layer may build their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kivo {

class TextTable;
class TimeBase;
struct DisturbanceTransfer;
struct GeneralParams;
struct LinkContext;
struct PortRecord;
struct SendData;

// What the operator's windows hear of.
class SendEvents {
 public:
  virtual ~SendEvents() = default;
  // The captions of a send and edit action changed (slot 1..12 telegrams,
  // 13..24 lists; 0 all of them).
  virtual void SendCaptionChanged(int /*slot*/) {}
  // A pass of list n (1..12) ended while its editor asked to hear of it.
  virtual void ListPassEnded(int /*list*/) {}
};

struct SendContext {
  SendData& data;
  std::array<DisturbanceTransfer, 2>& transfers;  // one per port
  LinkContext& link;
  const TextTable& texts;
  const std::string& dataDirectory;  // with a trailing '/'
  const std::uint8_t& online;        // the online setting
  bool& timedSendArmed;              // a telegram or list waits for the clock
  bool& sendDataModified;
  SendEvents& events;

  std::array<PortRecord, 2>& ports();
  const GeneralParams& general() const;
  TimeBase& time();
  DisturbanceTransfer& Transfer(const PortRecord& port);
  bool Online() const { return online != 0; }
};

}  // namespace kivo
