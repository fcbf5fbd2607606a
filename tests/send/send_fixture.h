// Sending on its own: a link layer of the tests' own (link_fixture.h) with
// the send engine above it, the send data, the transfers of both ports and
// a data directory in a scratch folder; no Instance, no language file.
#pragma once

#include <string>
#include <vector>

#include "link/link_fixture.h"
#include "send/disturbance_state.h"
#include "send/send_engine.h"
#include "send/send_records.h"
#include "text/text_table.h"
#include "util/scratch.h"

namespace kivo::testing {

// A command-response row: the command's INF, the acknowledgements, the
// response's INF and state.
inline ResponseSimRow SimRow(int inf, int positive, int negative, int responseInf, int state) {
  ResponseSimRow row;
  row.commandInf = inf, row.positiveAck = positive, row.negativeAck = negative;
  row.responseInf = responseInf, row.responseState = state;
  return row;
}

struct RecordingSendEvents : SendEvents {
  std::vector<int> captions;
  std::vector<int> passesEnded;
  void SendCaptionChanged(int slot) override { captions.push_back(slot); }
  void ListPassEnded(int list) override { passesEnded.push_back(list); }
};

struct SendWorld : LinkRecords {
  ScratchDir scratch;
  std::string dataDirectory = scratch.path();
  SendData data;
  std::array<DisturbanceTransfer, 2> transfers;
  TextTable texts;
  std::uint8_t online = 1;
  bool timedSendArmed = false;
  bool sendDataModified = false;
  RecordingSendEvents events;
  LinkContext link{ports,   time, &clock,   nullptr, StandardFrameRules(),
                   general, sink, observer, engine};
  SendContext send{data,           transfers,        link,  texts, dataDirectory, online,
                   timedSendArmed, sendDataModified, events};
  SendEngine engine{send};

  // Port 1 with its function and address list, prepared and open (without a
  // serial port: what it sends is only logged).
  void Serve(PortFunction function, std::vector<std::uint8_t> addresses) {
    ports[0].params.portNumber = 1;
    SetStations(ports[0].params, function, std::move(addresses));
    PreparePort(link, 0);
    ports[0].open = true;
  }
};

}  // namespace kivo::testing
