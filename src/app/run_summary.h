// What an unattended run saw, for its verdict: the frames of each port by
// status, and per link address the links established and lost, requests
// answered and unanswered, repetitions and the answer times. It is fed the
// entries as they are stored and written as JSON at the end.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "record/log_entry.h"

namespace kivo {

class RunSummary {
 public:
  // What `--fail-on` can name.
  enum class Failure { Faulty, LostLink, NoLink, Unanswered };

  // The primary's addresses of each port (index 0, 1), for no-link: an
  // address of a primary that never established its link.
  void SetPrimaryAddresses(int portIndex, std::vector<int> addresses);
  void Take(const TLogEntry& entry);

  // True when the failure happened; `what` says where.
  bool Happened(Failure failure, std::string& what) const;
  std::string Json() const;

  struct Address {
    int linksEstablished = 0;
    int linksLost = 0;
    int requests = 0;
    int answered = 0;
    int unanswered = 0;
    int repetitions = 0;
    std::vector<double> answerMs;
  };
  struct Channel {
    std::uint64_t frames = 0;
    std::map<int, std::uint64_t> byStatus;
  };
  const Address* AddressOf(int portIndex, int address) const;
  const Channel& ChannelOf(int channel) const {
    return channels_[static_cast<std::size_t>(channel - 1)];
  }

 private:
  struct Pending {
    double time = 0;
    std::vector<std::uint8_t> frame;
    bool open = false;
  };
  std::array<Channel, 4> channels_{};
  std::array<std::map<int, Address>, 2> addresses_;
  std::array<Pending, 2> pending_;  // the request each port waits on
  std::array<std::vector<int>, 2> primaryAddresses_;
  std::array<int, 2> lastRequestAddress_{-1, -1};

  Address& At(int portIndex, int address) {
    return addresses_[static_cast<std::size_t>(portIndex)][address];
  }
};

}  // namespace kivo
