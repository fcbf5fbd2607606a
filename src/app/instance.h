// The context of one running program: every record that lives for the whole
// run, and the platform services it uses. Tests create two of them and join
// their ports.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/settings.h"
#include "asdu/info_text_table.h"
#include "link/frame_rules.h"
#include "link/link_context.h"
#include "link/port_record.h"
#include "log/log_store.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "platform/serial_port.h"
#include "platform/time_base.h"
#include "platform/timer.h"
#include "record/general_params.h"
#include "record/type_catalogue.h"
#include "send/disturbance_state.h"
#include "send/send_context.h"
#include "send/send_engine.h"
#include "send/send_records.h"
#include "text/text_table.h"

namespace kivo {

struct Platform {
  Clock& clock;
  InstanceLock& instanceLock;
  Registry& registry;
  Folders& folders;
  Prompter& prompter;
  PortEnumerator* ports = nullptr;  // none: no serial port is present
  OneShotTimer* timers = nullptr;
};

// What the core tells the window (or the command-line driver) about.
class AppEvents {
 public:
  virtual ~AppEvents() = default;
  virtual void OnlineStateApplied() {}
  virtual void RefreshLogView() {}
  // The log view switches to the log display at the end of the log (a log
  // was opened or saved) or to the online display (a new log was started).
  virtual void ShowLogDisplay() {}
  virtual void ShowOnlineDisplay() {}
  virtual void MinutePassed(const LocalTime& /*now*/) {}
  // The status-table row of a port should be filled again (PortStatusCells).
  virtual void PortStatusChanged(int /*portIndex*/) {}
  // The captions of a send and edit action changed (slot 1..12 telegrams,
  // 13..24 lists; 0 all of them).
  virtual void SendCaptionChanged(int /*slot*/) {}
  // A pass of list n (1..12) ended while its editor asked to hear of it.
  virtual void ListPassEnded(int /*list*/) {}
};

class Instance;

// Tells the window (or the command-line driver) what the link layer and
// sending report, and shows the failures of the ports.
class InstanceObserver : public LinkObserver, public SendEvents {
 public:
  explicit InstanceObserver(Instance& instance) : instance_(instance) {}
  void PortStatusChanged(int portIndex) override;
  void PortFailed(int portIndex, const std::string& reason) override;
  void SendCaptionChanged(int slot) override;
  void ListPassEnded(int list) override;

 private:
  Instance& instance_;
};

class Instance {
 public:
  explicit Instance(Platform platform);
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  Platform platform;
  TextTable texts;
  KnownTypeList knownTypes;
  FrameRules frameRules;  // taken from the texts whenever they are loaded
  InfoTextTable infoTexts;
  GroupNameTable groupNames;
  Settings settings;
  GeneralParams general;
  std::array<PortRecord, 2> ports;
  std::array<DisturbanceTransfer, 2> disturbance;  // the transfer of each port
  AppState app;
  SendData send;  // telegrams, lists and the command-response table
  TimeBase timeBase;
  std::string programDirectory;  // with a trailing '/'
  std::string dataDirectory;     // with a trailing '/'
  AppEvents* events = nullptr;
  // The current log file; declared after the records it copies into its header.
  LogStore logStore;

 private:
  InstanceObserver observer_{*this};
  AppEvents noEvents_;

 public:
  // What each layer sees of the records above.
  LinkContext linkContext;
  SendContext sendContext;

  AppEvents& Events() { return events ? *events : noEvents_; }
  bool Online() const { return settings.online != 0; }

 private:
  SendEngine sendEngine_{sendContext};
};

}  // namespace kivo
