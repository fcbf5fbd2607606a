// Text forms of the command-response table: a row as five separated values
// (commandInf, positiveAck, negativeAck, responseInf, responseState, each
// followed by the separator), the clipboard operations on rows, and the
// response-simulation file (line 1 simulationOn, then the 100 rows; CR LF).
// The separator is the first character of text 1172. Rows are counted from 0
// here; the callers mark the send data modified.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "send/send_records.h"
#include "send/send_text_files.h"

namespace kivo {

// Lines written by these forms end with CR LF.
inline constexpr std::string_view kSimLineEnd = "\r\n";

// "16;1;0;16;4;" for separator ';' (no line end).
std::string FormatSimRow(const ResponseSimRow& row, char separator);

// A line as a row: commandInf 0..255, positiveAck 0..1, negativeAck 0..1
// and responseInf -1..255 must read; responseState 0..5, any other text (or
// none) gives 2. The run-time fields are zero. Fields may carry blanks;
// anything after the fifth field is ignored.
std::optional<ResponseSimRow> ReadSimRow(std::string_view line, char separator);

// Rows first .. first + count - 1 (cut to the table), one line each.
std::string CopySimRows(const ResponseSimBlock& block, int first, int count, char separator);

// Copies the rows, then moves the rows after them up; the rows freed at the
// end of the table become all zeros. Returns the copied text.
std::string CutSimRows(ResponseSimBlock& block, int first, int count, char separator);

// Reads lines of `text` as rows from row `cursor` on, until a line does not
// read or row 100 is filled; the rows that stood at and after the cursor
// move down behind them (rows pushed beyond row 100 are lost). Returns the
// number of rows pasted (0 leaves the table as it was).
int PasteSimRows(ResponseSimBlock& block, int cursor, std::string_view text, char separator);

// The response-simulation file: 101 lines, simulationOn followed by the
// separator, then rows 1 to 100.
std::string WriteSimText(const ResponseSimBlock& block, char separator);

struct SimTextResult {
  bool read = false;       // the text had at least two lines
  int rowsStored = 0;      // rows taken from it, stored from row 1 on
  bool switchSet = false;  // line 1 held a valid simulationOn
};

// Reads a response-simulation file. Fewer than two lines: nothing changes.
// Otherwise field 1 of line 1 (0 or 1) sets simulationOn; every further line
// that reads as a row is stored one after the other from row 1 on (at most
// 100), lines that do not read are skipped, and the rows after the last
// stored one keep their contents.
SimTextResult ReadSimText(std::string_view text, char separator, ResponseSimBlock& block);

// Strict check of a response-simulation file for callers that must not run
// on what it only half says (the command line): the first line that
// ReadSimText would skip or take in part. Line 1 is simulationOn alone, then
// at least one and at most 100 rows of five values in range (responseState
// 0..5 too); nothing may follow a row's last separator.
std::optional<TextLineFault> CheckSimText(std::string_view text, char separator);

}  // namespace kivo
