// Serial ports on Linux: termios on a device node (a real UART, a USB adapter
// or a pseudo-terminal), and the numbering of ports 1..64.
#pragma once

#include <linux/serial.h>
#include <termios.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/parmrk_decoder.h"
#include "platform/registry.h"
#include "platform/serial_port.h"

namespace kivo {

// Raw mode, non-blocking. Parity and framing errors and breaks come marked in
// the stream (PARMRK) and are taken out of the data; the bad octet itself is
// still delivered. Overruns come from the driver's counters (TIOCGICOUNT),
// which also tell parity from framing errors where the driver keeps them.
// Pseudo-terminals have no modem lines: they read as off. RTS and DTR set
// while the port is closed take effect when it opens.
class TermiosPort : public SerialPort {
 public:
  explicit TermiosPort(std::string path) : path_(std::move(path)) {}
  ~TermiosPort() override { Close(); }
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  bool Open(const CharacterFormat& format) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  void Flush() override;
  std::size_t Read(std::span<std::uint8_t> out) override;
  std::uint8_t TakeLineErrors() override;
  bool Write(std::span<const std::uint8_t> octets) override;
  void SetRts(bool on) override { SetModemLine(kRtsBit, on); }
  void SetDtr(bool on) override { SetModemLine(kDtrBit, on); }
  // TIOCSRS485: RTS on while sending, off after, with the lead and lag as
  // the driver's delays (drivers may cap them). Close() gives RTS back too.
  bool SetRs485(const Rs485Setting& setting) override;
  std::uint8_t ModemStatus() override;
  int Descriptor() const override { return fd_; }
  bool Gone() const override { return gone_; }
  std::string LastError() const override { return lastError_; }

  const std::string& path() const { return path_; }

 private:
  static constexpr int kRtsBit = 0;
  static constexpr int kDtrBit = 1;

  struct Counters {
    std::uint32_t parity = 0;
    std::uint32_t framing = 0;
    std::uint32_t overrun = 0;
  };

  std::string path_;
  int fd_ = -1;
  bool gone_ = false;
  std::string lastError_;
  MarkedStream received_;  // decoded, not yet read
  std::uint8_t lineErrors_ = 0;
  std::optional<Counters> counters_;  // last driver counters; none on a pseudo-terminal
  // The driver keeps no counters (a pseudo-terminal): it is not asked again
  // until the port is opened anew.
  bool noCounters_ = false;
  // RTS and DTR as last asked for; set before opening, they apply at Open().
  std::optional<bool> rts_;
  std::optional<bool> dtr_;
  // The driver's RS-485 state before we took RTS over; what a release
  // restores, so that a mode the system set up for the port survives us.
  std::optional<serial_rs485> rs485Before_;

  void Fail(const std::string& what, int error);
  void MarkGone(const std::string& reason);
  void FillPending();
  std::uint8_t ClassifyBadOctets();
  std::optional<Counters> ReadCounters();
  void SetModemLine(int line, bool on);
  void ApplyModemLine(int line, bool on);
};

// Raw mode in the character format, no flow control, every received error
// marked in the stream (INPCK + PARMRK, a break is not a signal), reads that
// return at once (VMIN = VTIME = 0). The speed is set only for rates with a
// Bxxx constant; false for a format the line cannot take. Pseudo-terminals
// keep only some of this (they force 8 data bits and no parity).
bool ApplyCharacterFormat(termios& settings, const CharacterFormat& format);

// The operator's message for a device that cannot be opened (errno `error`).
std::string DescribeOpenFailure(const std::string& path, int error);

// Port numbers 1..64 to device paths. Explicit bindings (the port map of the
// configuration, the dialog, the command line) keep their numbers. The other
// numbers go, lowest first, to the devices found, in this order: /dev/ttyUSB*,
// then /dev/ttyACM*, then /dev/ttyS*, each by its number; a device with a link
// in /dev/serial/by-id is given by that link so that it keeps its name when
// it is plugged in again. A ttyS node counts only when the kernel knows a
// UART behind it (the "type" of /sys/class/tty/ttySn is not 0); a device that
// a binding already names is not numbered again.
class TermiosPortEnumerator : public PortEnumerator {
 public:
  static constexpr int kMaxPort = 64;

  explicit TermiosPortEnumerator(std::map<int, std::string> bindings = {},
                                 std::string devRoot = "/dev",
                                 std::string sysTtyRoot = "/sys/class/tty");

  bool Exists(int portNumber) override;
  std::unique_ptr<SerialPort> Create(int portNumber) override;

  void Bind(int portNumber, std::string path);
  // The current map, scanned afresh.
  std::map<int, std::string> PortMap() const;

 private:
  std::map<int, std::string> bindings_;
  std::string devRoot_;
  std::string sysTtyRoot_;

  std::vector<std::string> FoundDevices() const;
};

// Device paths bound to port numbers, as "n=path" lines under their own key
// of the configuration; both programs number their ports by it.
inline constexpr const char* kPortMapKey = "Software\\Brakel\\DemoKivo\\PortMap";
std::map<int, std::string> LoadPortMap(Registry& registry);

}  // namespace kivo
