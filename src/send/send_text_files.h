// The text forms of send telegrams and send lists: the single-telegram file,
// the send-list file, list rows on the clipboard (also telegram lines copied
// from the log) and the octet memo of the telegram editor.
//
// Every value is a decimal integer followed by the separator character (the
// first character of text 1172). Readers take LF, CR LF and CR line ends and
// never fail loudly: what does not read is not taken, as each function says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "send/send_records.h"

namespace kivo {

class TextTable;

// The separator of the operator's text files: the first character of text 1172.
char SendSeparator(const TextTable& texts);

// Single-telegram file: three lines ending in CR LF.
//   1: name, trigger, triggerType, repeatCount, portCode, rowsPerStart,
//      pauseMs, service, linkAddress, commonAddress, typeId, cot, fun, inf,
//      value, secondaryService, rowPause
//   2: milliseconds, data2, data3, data4, iv, su
//   3: rawLength and the raw octets
// The name loses separator and line-end characters (they become blanks), so
// that the line reads back.
std::string WriteTelegramText(const SendTelegram& telegram, char sep);

// Reads a single-telegram file into the editor's work copy. Fewer than two
// lines: nothing happens and false. Otherwise line 1 is taken all or nothing,
// line 2 value by value up to the first that fails, line 3 rawLength and the
// octets up to the first that fails; returns true (the caller fills its
// controls again and marks the send data modified). Fields that the file does
// not hold (triggerMinute, time tag, withWeekday, addressIndex, run-time
// state) are left alone.
bool ReadTelegramText(std::string_view text, char sep, SendTelegram& workCopy);

// A list row as text: active, typeId, cot, fun, inf, data1, data2, each
// followed by the separator; no line end.
std::string FormatListRow(const SendListRow& row, char sep);

// A line as a row: with fewer than 16 separators the seven values above, all
// in range; with 16 or more a telegram line copied from the log (export
// form), made an active row. Nothing when the line does not read.
std::optional<SendListRow> ReadListRow(std::string_view line, char sep);

// Clipboard operations of the list editor on rows firstRow..lastRow
// (1 to 400, cut to the table).
// Copy: the rows as text, each ending in CR LF.
std::string CopyListRows(const SendList& list, int firstRow, int lastRow, char sep);
// Cut (after the copy): the rows behind the selection move up, the rows
// freed at the end become empty rows.
void CutListRows(SendList& list, int firstRow, int lastRow);
// Paste: the lines that read as rows are written from cursorRow on (skipping
// the others, stopping after row 400); the rows that stood at and after
// cursorRow move down behind them, rows pushed beyond 400 are lost. Returns
// the number of rows written.
int PasteListRows(SendList& list, int cursorRow, std::string_view clipboard, char sep);
// True when some line of the text reads as a row (Paste is offered).
bool ClipboardHoldsListRow(std::string_view clipboard, char sep);

// Send-list file: the header line of the single-telegram file built from the
// list's header fields, then the 400 rows; 401 lines ending in CR LF.
std::string WriteListText(const SendList& list, char sep);

// Reads a send-list file into the editor's work copy. No line at all: false
// and nothing changes. Otherwise line 1 is the header (taken all or nothing),
// and up to 400 further lines that read as rows are stored one after another
// from row 1; rows after the last stored one keep their contents. Returns
// true; the caller then marks the send data modified.
bool ReadListText(std::string_view text, char sep, SendList& workCopy);

// Where a text file does not read whole: its first such line (counted from
// 1) and what is wrong there.
struct TextLineFault {
  int line = 0;
  std::string what;
};

// Strict checks for callers that must not send what a file only half says
// (the command line): the readers above skip or keep what does not read,
// these name the first line that a reader would not take whole. A line ends
// after its last value's separator; any further text, a missing value, a
// value out of range, a missing line or a line too many is a fault.
//   Single-telegram file: the three lines, each value in its range, line 3
//   with at least rawLength octets.
std::optional<TextLineFault> CheckTelegramText(std::string_view text, char sep);
//   Send-list file: the header line, then at most 400 rows; every row reads
//   (seven values in range, or a telegram line copied from the log).
std::optional<TextLineFault> CheckListText(std::string_view text, char sep);

// The memo display: each octet as a blank and two upper-case hex digits,
// 16 octets to a line, lines joined by CR LF.
std::string FormatOctetMemo(std::span<const std::uint8_t> octets);

// Reads memo text into out, at most out.size() octets; returns the count.
// A double quote switches quoted mode on and off; quoted characters are
// taken as they are. Outside quotes hex digits pair up into octets; any other
// character completes a pending single digit.
std::size_t ReadOctetMemo(std::string_view text, std::span<std::uint8_t> out);

// The memo read back into the telegram by its type: type 5 into the twelve
// identification octets, types 10, 11, 21, 128 and 129 into raw (264);
// rawLength becomes the count. Type 128 takes its cause from the third octet.
// Other types keep their octets.
void ApplyOctetMemo(SendTelegram& telegram, std::string_view text);

}  // namespace kivo
