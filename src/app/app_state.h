// The application-wide state of one running program.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace kivo {

struct AppState {
  std::uint32_t onlineApplyTick = 0xFFFFFFFF;
  std::uint32_t lastMeasureTimeMs = 0;  // time of day at the last tick measurement
  int lastMinute = -1;
  LocalTime localTime;
  int instanceNumber = 1;
  bool slotObtained = false;
  bool switchT = false;   // frees the character format on link ports
  bool switchT2 = false;  // display timing trace
  int availablePortCount = 0;
  std::array<std::uint8_t, 32> availablePorts{};
  bool fixedLogName = false;
  std::string logFileName;
  std::string sendTelegramFileName;
  std::string infoTextFileName;
  bool logWriteFailed = false;
  // A port failed while online (it went away): the main timer looks whether
  // any port is left open.
  bool portFailed = false;
  bool timedSendArmed = false;
  bool sendDataModified = false;
};

}  // namespace kivo
