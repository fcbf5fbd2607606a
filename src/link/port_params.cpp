#include "link/port_params.h"

#include <cctype>
#include <cmath>

#include "text/text_table.h"

namespace kivo {

void PortParams::Encode(Bytes out) const {
  using O = Offsets;
  PutU32(out, O::BlockSize, blockSize);
  PutU32(out, O::DialogFocus, dialogFocus);
  PutU32(out, O::DialogPage, dialogPage);
  PutU32(out, O::PortNumber, portNumber);
  PutU32(out, O::Baud, baud);
  PutU32(out, O::BaudIndex, baudIndex);
  PutArray(out, O::Addresses, addresses);
  PutU32(out, O::AddressCount, addressCount);
  PutU32(out, O::TelegramLength, telegramLength);
  PutU32(out, O::Repetitions, repetitions);
  PutU32(out, O::ResponseTimeout, responseTimeout);
  PutU32(out, O::LinkWait, linkWait);
  PutU32(out, O::Reserved76, reserved76);
  PutU32(out, O::Reserved80, reserved80);
  PutU32(out, O::RtsLead, rtsLead);
  PutU32(out, O::RtsLag, rtsLag);
  PutU32(out, O::SendDelay, sendDelay);
  PutU32(out, O::Reserved96, reserved96);
  PutU32(out, O::ResetKind, resetKind);
  PutU32(out, O::Function, static_cast<std::uint32_t>(function));
  PutU32(out, O::Reserved108, reserved108);
  PutU32(out, O::Class1Polling, class1Polling);
  PutU32(out, O::Class1PollLimit, class1PollLimit);
  PutU32(out, O::SingleCharacter, singleCharacter);
  PutU8(out, O::Parity, parity);
  PutU8(out, O::DataBits, dataBits);
  PutU8(out, O::StopBits, stopBits);
  PutU8(out, O::SpikeFilter, spikeFilter);
  PutU32(out, O::PollCycle, pollCycle);
  PutU32(out, O::Reserved132, reserved132);
  PutU32(out, O::Reserved136, reserved136);
  PutU8(out, O::RtsFunction, rtsFunction);
  PutU8(out, O::WatchedLines, watchedLines);
  PutArray(out, O::Padding, padding);
}

PortParams PortParams::Decode(ConstBytes in) {
  using O = Offsets;
  PortParams p;
  p.blockSize = GetU32(in, O::BlockSize);
  p.dialogFocus = GetU32(in, O::DialogFocus);
  p.dialogPage = GetU32(in, O::DialogPage);
  p.portNumber = GetU32(in, O::PortNumber);
  p.baud = GetU32(in, O::Baud);
  p.baudIndex = GetU32(in, O::BaudIndex);
  GetArray(in, O::Addresses, p.addresses);
  p.addressCount = GetU32(in, O::AddressCount);
  p.telegramLength = GetU32(in, O::TelegramLength);
  p.repetitions = GetU32(in, O::Repetitions);
  p.responseTimeout = GetU32(in, O::ResponseTimeout);
  p.linkWait = GetU32(in, O::LinkWait);
  p.reserved76 = GetU32(in, O::Reserved76);
  p.reserved80 = GetU32(in, O::Reserved80);
  p.rtsLead = GetU32(in, O::RtsLead);
  p.rtsLag = GetU32(in, O::RtsLag);
  p.sendDelay = GetU32(in, O::SendDelay);
  p.reserved96 = GetU32(in, O::Reserved96);
  p.resetKind = GetU32(in, O::ResetKind);
  p.function = static_cast<PortFunction>(GetU32(in, O::Function));
  p.reserved108 = GetU32(in, O::Reserved108);
  p.class1Polling = GetU32(in, O::Class1Polling);
  p.class1PollLimit = GetU32(in, O::Class1PollLimit);
  p.singleCharacter = GetU32(in, O::SingleCharacter);
  p.parity = GetU8(in, O::Parity);
  p.dataBits = GetU8(in, O::DataBits);
  p.stopBits = GetU8(in, O::StopBits);
  p.spikeFilter = GetU8(in, O::SpikeFilter);
  p.pollCycle = GetU32(in, O::PollCycle);
  p.reserved132 = GetU32(in, O::Reserved132);
  p.reserved136 = GetU32(in, O::Reserved136);
  p.rtsFunction = GetU8(in, O::RtsFunction);
  p.watchedLines = GetU8(in, O::WatchedLines);
  GetArray(in, O::Padding, p.padding);
  return p;
}

int PortParams::EffectiveAddressCount() const {
  if (addressCount == 0) return 1;
  return static_cast<int>(addressCount > kMaxAddresses ? kMaxAddresses : addressCount);
}

std::uint8_t PortParams::Address(int i) const {
  if (addressCount == 0) return kAddressEnd;
  if (i < 0 || i >= EffectiveAddressCount()) return kAddressEnd;
  return addresses[static_cast<std::size_t>(i)];
}

std::optional<AddressList> ParseAddressList(std::string_view field) {
  AddressList list;
  std::size_t i = 0;
  while (i < field.size()) {
    if (!std::isdigit(static_cast<unsigned char>(field[i]))) {
      ++i;
      continue;
    }
    unsigned value = 0;
    while (i < field.size() && std::isdigit(static_cast<unsigned char>(field[i]))) {
      if (value < 1000) value = value * 10 + static_cast<unsigned>(field[i] - '0');
      ++i;
    }
    if (value >= PortParams::kAddressEnd) return std::nullopt;
    if (list.count < PortParams::kMaxAddresses) {
      list.addresses[list.count++] = static_cast<std::uint8_t>(value);
    }
  }
  if (list.count == 0) {
    list.addresses[0] = PortParams::kAddressEnd;
    list.addresses[1] = PortParams::kAddressEnd;
    list.count = 1;
    return list;
  }
  list.addresses[list.count] = PortParams::kAddressEnd;
  return list;
}

void ApplyAddressList(PortParams& params, const AddressList& list) {
  params.addresses = list.addresses;
  params.addressCount = list.count;
}

std::uint32_t BaudRateOfIndex(const TextTable& texts, std::uint32_t baudIndex) {
  if (baudIndex > 64) return 0;
  long baud = texts.NumberText(text::kBaudRates + static_cast<int>(baudIndex));
  return baud > 0 ? static_cast<std::uint32_t>(baud) : 0;
}

std::uint32_t GetTimeOut(std::uint32_t baud, std::uint32_t telegramLength, PortFunction function) {
  if (baud == 0) return 0;
  if (function == PortFunction::GapMonitor) {
    return static_cast<std::uint32_t>(std::nearbyint(11000.0 / baud)) + 2;
  }
  double ms = (static_cast<double>(telegramLength) * 11.0 + 77.0) * 1000.0 / baud + 100.0;
  return static_cast<std::uint32_t>(std::nearbyint(ms));
}

void ForceLinkCharacterFormat(PortParams& params) {
  params.dataBits = 8;
  params.parity = 2;
  params.stopBits = 1;
  if (params.telegramLength < 24) params.telegramLength = 24;
}

}  // namespace kivo
