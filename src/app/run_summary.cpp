#include "app/run_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "record/frame_status.h"

namespace kivo {

namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr std::uint8_t kPrmBit = 0x40;
constexpr std::uint8_t kSingleCharacter = 0xE5;

bool Faulty(std::uint8_t status) {
  return status < status::kCorrect && status != status::kDataFlowControl;
}

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

}  // namespace

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at =
      static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size()))) - 1;
  return values[std::min(at, values.size() - 1)];
}

bool RunSummary::IsRequest(const TLogEntry& e) {
  const auto frame = e.Frame();
  const bool single = !frame.empty() && frame[0] == kSingleCharacter;
  return !single && (e.control & kPrmBit) != 0;
}

void RunSummary::SetPrimaryAddresses(int portIndex, std::vector<int> addresses) {
  primaryAddresses_[static_cast<std::size_t>(portIndex & 1)] = std::move(addresses);
}

void RunSummary::Take(const TLogEntry& e) {
  if (e.channel < 1 || e.channel > 4) return;
  const int port = (e.channel - 1) / 2;
  const bool sent = e.channel % 2 == 0;
  if (e.frameKind == kFrameEvent) {
    if (e.status == event::kLinkEstablished) ++At(port, e.linkAddress).linksEstablished;
    if (e.status == event::kLinkLost) ++At(port, e.linkAddress).linksLost;
    return;
  }
  Channel& channel = channels_[static_cast<std::size_t>(e.channel - 1)];
  ++channel.frames;
  ++channel.byStatus[e.status];
  const auto frame = e.Frame();
  const bool single = !frame.empty() && frame[0] == kSingleCharacter;
  const bool request = IsRequest(e);
  Pending& pending = pending_[static_cast<std::size_t>(port)];
  if (sent && request) {
    const int address = e.linkAddress;
    // The next request goes out only after an answer or the time-out.
    if (pending.open) {
      const int owed = lastRequestAddress_[static_cast<std::size_t>(port)];
      ++At(port, owed).unanswered;
      if (owed == address &&
          std::equal(frame.begin(), frame.end(), pending.frame.begin(), pending.frame.end())) {
        ++At(port, address).repetitions;
      }
    }
    ++At(port, address).requests;
    pending = {e.timeStamp, std::vector<std::uint8_t>(frame.begin(), frame.end()), true};
    lastRequestAddress_[static_cast<std::size_t>(port)] = address;
  } else if (!sent && !request && pending.open) {
    const int owed = lastRequestAddress_[static_cast<std::size_t>(port)];
    if (single || e.linkAddress == owed) {
      Address& a = At(port, owed);
      ++a.answered;
      const double onLine = static_cast<double>(pending.frame.size() + frame.size()) *
                            octetMs_[static_cast<std::size_t>(port)];
      a.answerMs.push_back(std::max(0.0, (e.timeStamp - pending.time) * kMsPerDay - onLine));
      pending.open = false;
    }
  }
}

const RunSummary::Address* RunSummary::AddressOf(int portIndex, int address) const {
  const auto& map = addresses_[static_cast<std::size_t>(portIndex & 1)];
  const auto it = map.find(address);
  return it == map.end() ? nullptr : &it->second;
}

bool RunSummary::Happened(Failure failure, std::string& what) const {
  for (int port = 0; port < 2; ++port) {
    const std::string where = "port " + std::to_string(port + 1);
    switch (failure) {
      case Failure::Faulty: {
        const Channel& received = channels_[static_cast<std::size_t>(port * 2)];
        for (const auto& [status, count] : received.byStatus) {
          if (Faulty(static_cast<std::uint8_t>(status))) {
            what = where + " received " + std::to_string(count) + " faulty frames of status " +
                   std::to_string(status);
            return true;
          }
        }
        break;
      }
      case Failure::NoLink:
        for (int address : primaryAddresses_[static_cast<std::size_t>(port)]) {
          const Address* a = AddressOf(port, address);
          if (!a || a->linksEstablished == 0) {
            what = where + " never established the link of address " + std::to_string(address);
            return true;
          }
        }
        break;
      case Failure::LostLink:
      case Failure::Unanswered:
        for (const auto& [address, a] : addresses_[static_cast<std::size_t>(port)]) {
          const int count = failure == Failure::LostLink ? a.linksLost : a.unanswered;
          if (count > 0) {
            what = where + " address " + std::to_string(address) +
                   (failure == Failure::LostLink ? ": link lost " : ": requests unanswered ") +
                   std::to_string(count) + " times";
            return true;
          }
        }
        break;
    }
  }
  return false;
}

std::string RunSummary::Json() const {
  std::string j = "{\n  \"ports\": [";
  for (int port = 0; port < 2; ++port) {
    j += port ? ",\n" : "\n";
    j += "    {\"port\": " + std::to_string(port + 1);
    for (int sent = 0; sent < 2; ++sent) {
      const Channel& c = channels_[static_cast<std::size_t>(port * 2 + sent)];
      j += std::string(", \"") + (sent ? "sent" : "received") +
           "\": {\"frames\": " + std::to_string(c.frames) + ", \"byStatus\": {";
      bool first = true;
      for (const auto& [status, count] : c.byStatus) {
        j += (first ? "\"" : ", \"") + std::to_string(status) + "\": " + std::to_string(count);
        first = false;
      }
      j += "}}";
    }
    j += ", \"addresses\": [";
    bool first = true;
    for (const auto& [address, a] : addresses_[static_cast<std::size_t>(port)]) {
      j += first ? "\n" : ",\n";
      first = false;
      j += "      {\"address\": " + std::to_string(address) +
           ", \"linksEstablished\": " + std::to_string(a.linksEstablished) +
           ", \"linksLost\": " + std::to_string(a.linksLost) +
           ", \"requests\": " + std::to_string(a.requests) +
           ", \"answered\": " + std::to_string(a.answered) +
           ", \"unanswered\": " + std::to_string(a.unanswered) +
           ", \"repetitions\": " + std::to_string(a.repetitions) +
           ", \"answerMs\": {\"p50\": " + Number(Percentile(a.answerMs, 0.5)) +
           ", \"p90\": " + Number(Percentile(a.answerMs, 0.9)) +
           ", \"p99\": " + Number(Percentile(a.answerMs, 0.99)) +
           ", \"max\": " + Number(Percentile(a.answerMs, 1.0)) + "}}";
    }
    j += first ? "]}" : "\n    ]}";
  }
  j += "\n  ]\n}\n";
  return j;
}

}  // namespace kivo
