// Send lists: finding and advancing the current row, recounting the active
// rows, committing an edited list and the telegram of the current row.
#pragma once

#include <cstdint>

#include "send/send_context.h"
#include "send/send_records.h"

namespace kivo {

// From currentRow on, the first active row, wrapping after lastActiveRow to
// row 1; copied to the current-row fields of the header. Returns its number,
// 0 when the list has no active row.
std::uint32_t FindCurrentRow(SendList& list);
// currentRow + 1, back to 1 beyond lastActiveRow.
void AdvanceRow(SendList& list);

// Stops list n (as StopSending 255 does for it), then lastActiveRow and
// activeRows from the rows.
void RecountRows(SendContext& send, int n);

// The editor's work copy becomes list n: marks the send data modified when
// header or rows differ, recounts (which stops the list) and copies the new
// counts back into the work copy.
void CommitSendList(SendContext& send, int n, SendList& workCopy);

// The telegram that list n's current row produces: header fields of the
// list, the row's type, cause, function type, information number and data,
// VSQ 0x81, the time of sending, and the defaults by type.
SendTelegram BuildListRowTelegram(SendContext& send, SendList& list);

}  // namespace kivo
