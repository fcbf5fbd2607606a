// A log store over a scratch folder, the virtual clock and its own settings.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_store.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "record/port_params.h"
#include "util/hex.h"
#include "util/scratch.h"

namespace kivo::testing {

// A frame entry as the link engine hands it over: 0x68 and then octets 2, 3,
// ... up to `byteCount` octets.
inline TLogEntry Telegram(std::uint16_t byteCount, std::uint8_t channel = 1,
                          std::uint8_t status = 40, std::uint8_t kind = kFrameVariable) {
  TLogEntry e;
  e.status = status;
  e.frameKind = kind;
  e.channel = channel;
  e.control = 0x08;
  e.linkAddress = 3;
  std::vector<std::uint8_t> octets(byteCount);
  for (std::size_t i = 0; i < octets.size(); ++i) octets[i] = i == 0 ? 0x68 : i + 1;
  e.SetFrame(octets);
  return e;
}

// An entry of the frame written in hex, its kind, control and address taken
// from the frame's shape.
inline TLogEntry Frame(const std::string& hex, std::uint8_t status = 40, std::uint8_t channel = 1) {
  const Octets o = Hex(hex);
  TLogEntry e;
  e.SetFrame(o);
  if (o.size() >= 6 && o[0] == 0x68) {
    e.frameKind = kFrameVariable;
    e.control = o[4];
    e.linkAddress = o[5];
  } else if (!o.empty() && (o[0] == 0x10 || o[0] == 0xE5)) {
    e.frameKind = kFrameFixed;
    e.control = o[0] == 0xE5 ? 0xE5 : o[1];
    e.linkAddress = o[0] == 0xE5 ? 0 : o[2];
  }
  e.status = status;
  e.channel = channel;
  return e;
}

struct StoreRig {
  ScratchDir scratch;
  VirtualClock clock;
  TimeBase timeBase{clock};
  GeneralParams general;
  PortParams port1, port2;
  bool writeFailed = false;
  LogStore store{LogStoreContext{clock, timeBase, general, port1, port2, writeFailed}};

  StoreRig() { timeBase.Synchronise(); }
  std::string Path(const std::string& name = "KivoLog.kvl") const { return scratch.path() + name; }
  std::string Bytes(const std::string& name = "KivoLog.kvl") const { return ReadFile(Path(name)); }
  std::uint32_t U32At(const std::string& bytes, std::size_t at) const {
    return GetU32(ConstBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  at);
  }
  // Appends `count` entries of `byteCount` frame octets.
  void Fill(int count, std::uint16_t byteCount = 30) {
    for (int i = 0; i < count; ++i) store.Append(Telegram(byteCount));
  }
};

}  // namespace kivo::testing
