// The serial ports as the link engine needs them. The termios implementation
// and the simulated line implement this interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kivo {

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct CharacterFormat {
  std::uint32_t baud = 9600;
  std::uint8_t dataBits = 8;
  Parity parity = Parity::Even;
  std::uint8_t stopBits = 1;
};

// RTS handed to the driver for RS-485 converters: on from leadMs before the
// first octet of a write until lagMs after its last one. Disabled, the driver
// gives RTS back as it had it before.
struct Rs485Setting {
  bool enabled = false;
  std::uint32_t leadMs = 0;
  std::uint32_t lagMs = 0;
  bool operator==(const Rs485Setting&) const = default;
};

// Line errors seen since the last read, one bit each.
enum LineError : std::uint8_t {
  kLineParity = 0x01,
  kLineFraming = 0x02,
  kLineOverrun = 0x04,
  kLineBreak = 0x08,
};

// Modem status octet: line states and change bits.
enum ModemLine : std::uint8_t {
  kModemDcd = 0x80,
  kModemRi = 0x40,
  kModemDsr = 0x20,
  kModemCts = 0x10,
};

// How a caller drives a port: when Descriptor() is readable (or hung up), or
// when the activity handler is called, it calls Read() until it returns 0 and
// after each Read() takes the line errors of that batch. Gone() then tells
// whether the device has disappeared; the caller closes the port and shows
// LastError(). Modem lines are compared with the previous ModemStatus() at
// each tick (and at each activity call).
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual bool Open(const CharacterFormat& format) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Discards what was received and not yet read, and what was not yet sent.
  virtual void Flush() = 0;
  // Reads what has arrived, at most out.size() octets; returns the count.
  // A break with no octet after it may come as a batch of 0 octets with
  // kLineBreak set.
  virtual std::size_t Read(std::span<std::uint8_t> out) = 0;
  // Line errors of the octets delivered since the last call (so, called after
  // each Read(), exactly the errors of that batch); reading clears them.
  virtual std::uint8_t TakeLineErrors() = 0;
  virtual bool Write(std::span<const std::uint8_t> octets) = 0;
  virtual void SetRts(bool on) = 0;
  virtual void SetDtr(bool on) = 0;
  // On an open port. False where the port cannot switch RTS itself; a port
  // that knows why says so in LastError().
  virtual bool SetRs485(const Rs485Setting& setting) {
    (void)setting;
    return false;
  }
  // Line states only (kModemDcd, kModemRi, kModemDsr, kModemCts); a port
  // without modem lines reads all off.
  virtual std::uint8_t ModemStatus() = 0;
  // Readable descriptor for the event loop, -1 when there is none.
  virtual int Descriptor() const = 0;
  // Ports without a descriptor call the handler, in the main thread, when
  // octets arrive, a modem line changes or the device goes away. Ports with a
  // descriptor leave that to the event loop and never call it.
  virtual void SetActivityHandler(std::function<void()> handler) { (void)handler; }
  // The device has disappeared (unplugged, hung up, read error); the port
  // delivers nothing more and the caller should close it.
  virtual bool Gone() const { return false; }
  // The last failure in words (device name and reason).
  virtual std::string LastError() const = 0;
};

// Port numbers 1..64 mapped to devices.
class PortEnumerator {
 public:
  virtual ~PortEnumerator() = default;
  virtual bool Exists(int portNumber) = 0;
  virtual std::unique_ptr<SerialPort> Create(int portNumber) = 0;
};

}  // namespace kivo
