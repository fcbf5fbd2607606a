// Kernel pseudo-terminals made by the program itself: the master side has no
// path of its own (opening /dev/ptmx makes a new pair), so a port on it works
// through the descriptor; the slave side is an ordinary device path that a
// TermiosPort, or another process, opens.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace kivo {

class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0 && holder_ >= 0 && !slavePath_.empty(); }
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Why the pair could not be made.
  const std::string& error() const { return error_; }
  // Closes the master side: the slave side sees a hang-up, as when a device
  // goes away.
  void CloseMaster();

 private:
  int master_ = -1;
  // The slave side held open for the pair's life, so that the master never
  // sees a hang-up while the other end opens and closes it.
  int holder_ = -1;
  std::string slavePath_;
  std::string error_;
};

// The master side as a serial port: raw mode, no modem lines, no line errors.
// The descriptor belongs to the PseudoTerminal.
class PtyMasterPort : public SerialPort {
 public:
  explicit PtyMasterPort(int fd) : fd_(fd) {}
  bool Open(const CharacterFormat& format) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Flush() override;
  std::size_t Read(std::span<std::uint8_t> out) override;
  std::uint8_t TakeLineErrors() override { return 0; }
  bool Write(std::span<const std::uint8_t> octets) override;
  void SetRts(bool) override {}
  void SetDtr(bool) override {}
  // Asks the master side too, which no kernel lets switch RTS: the refusal
  // then names the pseudo-terminal and the kernel's reason.
  bool SetRs485(const Rs485Setting& setting) override;
  std::uint8_t ModemStatus() override { return 0; }
  int Descriptor() const override { return open_ ? fd_ : -1; }
  std::string LastError() const override { return lastError_; }

 private:
  int fd_;
  bool open_ = false;
  std::string lastError_;
};

// Port numbers bound to the master side of a pseudo-terminal of this process;
// every other number is the device enumerator's.
class MasterBindingEnumerator : public PortEnumerator {
 public:
  explicit MasterBindingEnumerator(PortEnumerator& devices) : devices_(devices) {}
  void BindMaster(int portNumber, int fd) { masters_[portNumber] = fd; }
  bool Exists(int portNumber) override;
  std::unique_ptr<SerialPort> Create(int portNumber) override;

 private:
  PortEnumerator& devices_;
  std::map<int, int> masters_;
};

}  // namespace kivo
