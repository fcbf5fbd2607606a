#include "record/port_params.h"

#include <cctype>
#include <cmath>

#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void PortParams::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::BlockSize, r.blockSize);
  io.U32(O::DialogFocus, r.dialogFocus);
  io.U32(O::DialogPage, r.dialogPage);
  io.U32(O::PortNumber, r.portNumber);
  io.U32(O::Baud, r.baud);
  io.U32(O::BaudIndex, r.baudIndex);
  io.Raw(O::Addresses, r.addresses);
  io.U32(O::AddressCount, r.addressCount);
  io.U32(O::TelegramLength, r.telegramLength);
  io.U32(O::Repetitions, r.repetitions);
  io.U32(O::ResponseTimeout, r.responseTimeout);
  io.U32(O::LinkWait, r.linkWait);
  io.U32(O::Reserved76, r.reserved76);
  io.U32(O::Reserved80, r.reserved80);
  io.U32(O::RtsLead, r.rtsLead);
  io.U32(O::RtsLag, r.rtsLag);
  io.U32(O::SendDelay, r.sendDelay);
  io.U32(O::Reserved96, r.reserved96);
  io.U32(O::ResetKind, r.resetKind);
  io.Enum32(O::Function, r.function);
  io.U32(O::Reserved108, r.reserved108);
  io.U32(O::Class1Polling, r.class1Polling);
  io.U32(O::Class1PollLimit, r.class1PollLimit);
  io.U32(O::SingleCharacter, r.singleCharacter);
  io.U8(O::Parity, r.parity);
  io.U8(O::DataBits, r.dataBits);
  io.U8(O::StopBits, r.stopBits);
  io.U8(O::SpikeFilter, r.spikeFilter);
  io.U32(O::PollCycle, r.pollCycle);
  io.U32(O::Reserved132, r.reserved132);
  io.U32(O::Reserved136, r.reserved136);
  io.U8(O::RtsFunction, r.rtsFunction);
  io.U8(O::WatchedLines, r.watchedLines);
  io.U8(O::Reopen, r.reopen);
  io.U8(O::Padding, r.padding);
}

void PortParams::Encode(Bytes out) const {
  EncodeFields(*this, out);
}
PortParams PortParams::Decode(ConstBytes in) {
  return DecodeFields<PortParams>(in);
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
