// The response-simulation file reader and the clipboard paste over arbitrary
// text: whatever they take in must be a row the table can hold, and what the
// writer makes of it must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "send/response_sim_text.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckRows(const kivo::ResponseSimBlock& block) {
  for (const kivo::ResponseSimRow& row : block.rows) {
    Check(row.positiveAck <= 1 && row.negativeAck <= 1);
    Check(row.responseInf >= -1 && row.responseInf <= 255);
    Check(row.responseState <= 5);
    Check(row.ackPending == 0 && row.responsePending == 0 && row.commandLength == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first octet picks the separator, the paste cursor and whether the
  // table is written and read back.
  const char separator = (data[0] & 1) != 0 ? ',' : ';';
  const int cursor = data[0] % 104 - 2;  // a few outside the table, too
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  kivo::ResponseSimBlock block;
  const kivo::SimTextResult result = kivo::ReadSimText(text, separator, block);
  Check(result.rowsStored >= 0 && result.rowsStored <= kivo::kResponseSimRows);
  Check(block.simulationOn <= 1);
  CheckRows(block);

  const kivo::ResponseSimBlock before = block;
  const int pasted = kivo::PasteSimRows(block, cursor, text, separator);
  Check(pasted >= 0 && pasted <= kivo::kResponseSimRows);
  Check(pasted > 0 || block == before);
  CheckRows(block);

  // The write of every row and its second read cost several times the read
  // of a typical input: bit 7 of the first octet chooses the inputs that
  // check it.
  if ((data[0] & 0x80) == 0) return 0;
  kivo::ResponseSimBlock again;
  const auto written = kivo::WriteSimText(block, separator);
  const kivo::SimTextResult reread = kivo::ReadSimText(written, separator, again);
  Check(reread.read && reread.switchSet && reread.rowsStored == kivo::kResponseSimRows);
  Check(again == block);
  return 0;
}
