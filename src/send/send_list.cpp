#include "send/send_list.h"

#include "app/instance.h"
#include "send/send_execution.h"

namespace kivo {

std::uint32_t FindCurrentRow(SendList& list) {
  if (list.lastActiveRow == 0 || list.activeRows == 0) return 0;
  std::uint32_t row = list.currentRow;
  if (row < 1 || row > list.lastActiveRow) row = 1;
  for (std::uint32_t tries = 0; tries < kSendListRows; ++tries) {
    if (list.Row(row).active == 1) {
      list.currentRow = row;
      list.SetCurrentRowCopy(list.Row(row));
      return row;
    }
    row = row >= list.lastActiveRow ? 1 : row + 1;
  }
  return 0;
}

void AdvanceRow(SendList& list) {
  list.currentRow = list.currentRow >= list.lastActiveRow ? 1 : list.currentRow + 1;
}

void RecountRows(Instance&, int) {}
void CommitSendList(Instance&, int, SendList&) {}
SendTelegram BuildListRowTelegram(Instance&, SendList& list) { return SendTelegram{}; (void)list; }

}  // namespace kivo
