// The send-list file reader and the clipboard paste over arbitrary text:
// rows are only ever stored, shifted or dropped as the operations say, and
// whatever was read survives a write and a second read unchanged. Octet 0
// chooses: when even, the text is read as a file (and with bit 1 set written
// and read back); when odd, it is pasted at a cursor row that its other bits
// choose (0, 1, 400 and 401 included).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "send/send_records.h"
#include "send/send_text_files.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A list whose rows all differ, so that moved rows can be told apart.
kivo::SendList Numbered() {
  kivo::SendList list;
  for (std::uint32_t n = 1; n <= kivo::kSendListRows; ++n) {
    list.Row(n).data1 = 100'000 + n;
    list.Row(n).data2 = 70'000;  // no row that reads has data2 above 65535
  }
  return list;
}

// Paste at a cursor row chosen by `choice` (0 to 127).
int Paste(std::string_view text, int choice) {
  constexpr int kEdges[] = {0, 1, kivo::kSendListRows, kivo::kSendListRows + 1};
  const int cursor = choice < 4 ? kEdges[choice] : choice * 3;
  const kivo::SendList before = Numbered();
  kivo::SendList pasted = before;
  const int written = kivo::PasteListRows(pasted, cursor, text, ';');
  if (cursor < 1 || cursor > kivo::kSendListRows) {
    Check(written == 0 && pasted == before);
    return 0;
  }
  Check(written >= 0 && written <= kivo::kSendListRows - cursor + 1);
  Check(kivo::ClipboardHoldsListRow(text, ';') == (written > 0));
  for (int n = 1; n <= kivo::kSendListRows; ++n) {
    const auto& row = pasted.rows[static_cast<std::size_t>(n - 1)];
    if (n < cursor) {
      Check(row == before.rows[static_cast<std::size_t>(n - 1)]);
    } else if (n < cursor + written) {
      Check(row.data2 <= 65'535);
    } else {
      Check(row == before.rows[static_cast<std::size_t>(n - 1 - written)]);
    }
  }
  // Cutting the pasted rows again gives the list back, less the rows that
  // the paste pushed beyond row 400.
  kivo::CutListRows(pasted, cursor, cursor + written - 1);
  for (int n = 1; n <= kivo::kSendListRows; ++n) {
    const auto& row = pasted.rows[static_cast<std::size_t>(n - 1)];
    Check(n <= kivo::kSendListRows - written ? row == before.rows[static_cast<std::size_t>(n - 1)]
                                             : row == kivo::SendListRow{});
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1) != 0) return Paste(text, data[0] >> 1);

  kivo::SendList list;
  list.editorRow = 5;
  list.currentRow = 9;
  const kivo::SendList fresh = list;
  const bool read = kivo::ReadListText(text, ';', list);
  Check(read || list == fresh);
  Check(list.editorRow == 5 && list.currentRow == 9 && list.name.Get().size() <= 27);
  // A list that was not read is the fresh one, which writes and reads back.
  // The write of all 400 rows and their second read cost four times the
  // read of a typical input: octet 0 (bit 1) chooses the inputs that check it.
  if (read && size > 0 && (data[0] & 2) != 0) {
    kivo::SendList copy = fresh;
    Check(kivo::ReadListText(kivo::WriteListText(list, ';'), ';', copy));
    Check(copy == list);
  }
  return 0;
}
