// Test helper: appends entries to a log without end, as a link engine under
// heavy traffic would, and says on standard output each time a page went to
// the file ("page CURRENT LASTSEQNO"). Arguments: log file, log size, and
// "continue" to go on with an existing log instead of starting a new one.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "log/log_store.h"
#include "platform/sim/virtual_clock.h"
#include "platform/time_base.h"
#include "record/general_params.h"
#include "record/port_params.h"

using namespace kivo;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  VirtualClock clock;
  TimeBase timeBase(clock);
  GeneralParams general;
  general.logSize = static_cast<std::uint32_t>(std::atoi(argv[2]));
  PortParams port1, port2;
  bool writeFailed = false;
  LogStore store({clock, timeBase, general, port1, port2, writeFailed});
  const bool continueLog = argc > 3 && std::string(argv[3]) == "continue";
  if (!(continueLog ? store.OpenLog(argv[1], false, LogOpenMode::KeepUnusable)
                    : store.CreateLog(argv[1])))
    return 1;
  std::uint32_t page = store.Index().currentPage;
  std::vector<std::uint8_t> frame(261);
  // Bounded, so that a writer whose test died does not run on for ever.
  for (std::uint32_t i = 0; i < 50'000'000 && !writeFailed; ++i) {
    TLogEntry entry;
    entry.status = 40;
    entry.frameKind = kFrameVariable;
    entry.channel = static_cast<std::uint8_t>(1 + i % 4);
    const std::size_t count = 6 + i % 250;
    for (std::size_t k = 0; k < count; ++k) frame[k] = static_cast<std::uint8_t>(i + k);
    entry.SetFrame({frame.data(), count});
    store.Append(entry);
    clock.Advance(3);
    // As the main timer would: the page being filled also goes to the file
    // now and then, so a kill can land in such a write too.
    store.WriteBehind();
    if (store.Index().currentPage != page) {
      page = store.Index().currentPage;
      std::printf("page %u %u\n", page, store.Index().lastSeqNo);
      std::fflush(stdout);
    }
  }
  return writeFailed ? 1 : 0;
}
