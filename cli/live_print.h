// The live print of kivo-cli run: every stored entry is copied into a queue
// at once, and rendered and written at the tick, as far as the output takes
// it without waiting. A stalled reader (a paused pager, a full pipe) never
// holds up the line: when the queue is full the oldest waiting entries are
// skipped, and the print says how many before it goes on. The log keeps
// every entry either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "asdu/render_cursor.h"
#include "asdu/renderer.h"

namespace kivo {

class Instance;
class LogStore;
struct TTelFont;

namespace cli {

class LivePrint {
 public:
  static constexpr std::size_t kQueueLimit = 4096;      // entries waiting
  static constexpr std::size_t kOutputLimit = 1 << 16;  // rendered octets waiting

  // Prints to `fd` (standard output); `generic` decodes the generic
  // services in the formats with element lines.
  LivePrint(Instance& instance, DisplayFormat format, int fd, bool generic = false);
  ~LivePrint();
  LivePrint(const LivePrint&) = delete;
  LivePrint& operator=(const LivePrint&) = delete;

  // Takes a copy of a stored entry; nothing is rendered or written here.
  void Take(const TLogEntry& entry);
  // Renders waiting entries and writes what the output takes now.
  void Tick();
  // At the end of the run: writes what is left, waiting at most `ms` for a
  // reader that does not read.
  void Finish(int ms);

  std::uint64_t Skipped() const { return skippedTotal_; }

 private:
  const LogStore& log_;
  const TTelFont& telFont_;
  RenderContext context_;
  RenderCursor cursor_;
  std::deque<TLogEntry> queue_;
  std::string output_;
  std::uint64_t skipped_ = 0;       // since the last note
  std::uint64_t skippedTotal_ = 0;  // in the whole run
  int fd_ = -1;                     // written without waiting
  bool ownFd_ = false;
  bool closed_ = false;  // the reader went away

  void Render();
  // Writes without waiting; false when the output takes nothing now.
  bool WriteSome();
};

}  // namespace cli
}  // namespace kivo
