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
  // The time one octet takes on the port's line. A sent request is stamped
  // when it is handed to the line and a received answer when it is complete,
  // so both frames' octet times lie between the two stamps and are taken off
  // to leave the time from the end of the request to the start of the
  // answer. Live runs leave it at 0.
  void SetOctetMs(int portIndex, double ms) {
    octetMs_[static_cast<std::size_t>(portIndex & 1)] = ms;
  }
  void Take(const TLogEntry& entry);
  // A frame of a primary station (a request), not the single character.
  static bool IsRequest(const TLogEntry& entry);

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
  std::array<double, 2> octetMs_{};

  Address& At(int portIndex, int address) {
    return addresses_[static_cast<std::size_t>(portIndex)][address];
  }
};

// The value below which `share` (0..1] of the values lie; 0 for none.
double Percentile(std::vector<double> values, double share);

}  // namespace kivo
