#include "cli/live_print.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/instance.h"
#include "app/output_run.h"
#include "log/log_store.h"
#include "text/text_table.h"

namespace kivo::cli {

namespace {

constexpr std::size_t kWriteChunk = 4096;

}  // namespace

LivePrint::LivePrint(Instance& instance, DisplayFormat format, int fd, bool generic)
    : log_(instance.logStore),
      telFont_(instance.settings.telFont),
      context_(MakeRenderContext(instance, instance.logStore.Index().firstSeqNo)) {
  context_.format = format;
  context_.showTime = true;
  context_.showLink = true;
  context_.genericServices = generic;
  // A file never makes a writer wait; a pipe or a terminal is written
  // through a description of its own that does not wait, so that the
  // descriptor shared with the shell keeps its mode.
  struct stat info {};
  fd_ = fd;
  if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (own >= 0) {
      fd_ = own;
      ownFd_ = true;
    }
  }
  if (format == DisplayFormat::Csv) output_ = instance.texts.Text(text::kCsvTitles) + "\n";
}

LivePrint::~LivePrint() {
  if (ownFd_) ::close(fd_);
}

void LivePrint::Take(const TLogEntry& entry) {
  if (closed_) return;
  if (queue_.size() >= kQueueLimit) {
    queue_.pop_front();
    ++skipped_;
    ++skippedTotal_;
  }
  queue_.push_back(entry);
}

void LivePrint::Render() {
  while (!queue_.empty() && output_.size() < kOutputLimit) {
    if (skipped_ != 0) {
      output_ += "--- " + std::to_string(skipped_) +
                 " entries not printed: the output did not keep up (they are in the log) ---\n";
      skipped_ = 0;
    }
    // Numbered from the oldest entry of the log as it is now: going online
    // may have changed the log, and a full ring drops its oldest pages.
    context_.firstSeqNo = log_.Index().firstSeqNo;
    const TLogEntry& entry = queue_.front();
    StartTelegram(cursor_, entry, context_, EntryColourPair(entry, telFont_));
    for (std::string line = NextLine(cursor_, context_); !line.empty();
         line = NextLine(cursor_, context_)) {
      output_ += line;
      output_ += '\n';
    }
    queue_.pop_front();
  }
}

bool LivePrint::WriteSome() {
  if (output_.empty() || closed_) return false;
  if (!ownFd_) {
    // No description of its own: written only when the output has room.
    pollfd pfd{fd_, POLLOUT, 0};
    if (::poll(&pfd, 1, 0) <= 0 || !(pfd.revents & POLLOUT)) return false;
  }
  const std::size_t size = ownFd_ ? output_.size() : std::min(output_.size(), kWriteChunk);
  const ssize_t n = ::write(fd_, output_.data(), size);
  if (n > 0) {
    output_.erase(0, static_cast<std::size_t>(n));
    return true;
  }
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    // A reader that went away (the output piped into `head`) ends the
    // printing, not the run.
    closed_ = true;
    queue_.clear();
    output_.clear();
  }
  return false;
}

void LivePrint::Tick() {
  if (closed_) return;
  for (;;) {
    Render();
    if (!WriteSome() || (output_.empty() && queue_.empty())) break;
  }
}

void LivePrint::Finish(int ms) {
  for (int waited = 0; !closed_ && (!output_.empty() || !queue_.empty()); waited += 10) {
    Tick();
    if (output_.empty() && queue_.empty()) break;
    if (waited >= ms) break;
    pollfd pfd{fd_, POLLOUT, 0};
    ::poll(&pfd, 1, 10);
  }
}

}  // namespace kivo::cli
