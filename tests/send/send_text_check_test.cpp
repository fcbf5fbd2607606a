// The strict checks of the operator's text files: the first line that a
// reader would skip or take only in part, and what is wrong there.
#include <gtest/gtest.h>

#include "send/response_sim_text.h"
#include "send/send_text_files.h"

namespace kivo {
namespace {

constexpr char kSep = ';';
const std::string kHeader = "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n";
const std::string kData = "0;5;0;0;0;0;\r\n";
const std::string kRow = "1;1;1;128;16;2;0;\r\n";
const std::string kSimRow = "16;1;0;17;5;\r\n";

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

enum class Kind { Telegram, List, Sim };

std::optional<TextLineFault> Check(Kind kind, const std::string& text) {
  switch (kind) {
    case Kind::Telegram:
      return CheckTelegramText(text, kSep);
    case Kind::List:
      return CheckListText(text, kSep);
    case Kind::Sim:
      return CheckSimText(text, kSep);
  }
  return std::nullopt;
}

TEST(SendTextCheck, WhatTheWritersWriteAndHandWrittenFilesPass) {
  SendTelegram telegram;
  telegram.typeId = 129, telegram.rawLength = 264, telegram.value = 0xC0000000u;
  telegram.data3 = 0xFFFFFFFFu, telegram.milliseconds = 59'999;
  telegram.raw.fill(0xFF);
  SendList list;
  list.rowsPerStart = 1'000'000;
  list.rows[399].active = 1, list.rows[399].data2 = 65'535;
  ResponseSimBlock sim;
  sim.rows[99].responseState = 5;
  const struct {
    Kind kind;
    std::string text;
  } good[] = {
      {Kind::Telegram, WriteTelegramText(telegram, kSep)},
      {Kind::List, WriteListText(list, kSep)},
      {Kind::Sim, WriteSimText(sim, kSep)},
      // By hand: LF or CR line ends, blanks around values, a last value
      // without its separator, blank lines at the end, few rows.
      {Kind::Telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0\n 0 ; 5;0;0;0;0;\n2;1;255\n\n"},
      {Kind::Telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r0;5;0;0;0;0;\r0;\r"},
      {Kind::List, kHeader + kRow + "0;3;2;128;144;4;100"},
      {Kind::List, kHeader},
      {Kind::Sim, "0;\r\n" + kSimRow + "\r\n"},
  };
  for (const auto& g : good) {
    const auto fault = Check(g.kind, g.text);
    EXPECT_FALSE(fault) << g.text.substr(0, 80) << " -> line " << fault->line << ": "
                        << fault->what;
  }
}

TEST(SendTextCheck, TheFirstBadLineIsNamedWithWhatIsWrong) {
  const std::string rows399 = Repeat(kRow, 399);
  const struct {
    Kind kind;
    std::string text;
    int line;
    const char* what;
  } bad[] = {
      {Kind::Telegram, kHeader, 2, "missing"},
      {Kind::Telegram, kHeader + kData, 3, "missing"},
      {Kind::Telegram, "GC;0;0;1;2;0;1000001;1;1;7;20;20;128;16;2;0;0;\r\n" + kData + "0;", 1,
       "pauseMs takes 0..1000000, not '1000001'"},
      {Kind::Telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;\r\n" + kData + "0;", 1,
       "rowPause is missing"},
      {Kind::Telegram, "GC;0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;9;\r\n" + kData + "0;", 1,
       "text after the 16 values after the name: '9;'"},
      {Kind::Telegram, "GC;0;0;1;5;0;0;1;1;7;20;20;128;16;2;0;0;\r\n" + kData + "0;", 1,
       "portCode takes 1..4"},
      {Kind::Telegram, std::string(28, 'N') + ";0;0;1;2;0;0;1;1;7;20;20;128;16;2;0;0;\r\n" + kData,
       1, "more than 27 characters"},
      {Kind::Telegram, kHeader + "0;5;0;0;2;0;\r\n0;", 2, "iv takes 0..1, not '2'"},
      {Kind::Telegram, kHeader + "0;x;0;0;0;0;\r\n0;", 2, "data2 takes"},
      {Kind::Telegram, kHeader + kData + "3;1;2;\r\n", 3,
       "rawLength is 3 but the line holds 2 octets"},
      {Kind::Telegram, kHeader + kData + "2;1;256;\r\n", 3, "octet 2 takes 0..255, not '256'"},
      {Kind::Telegram, kHeader + kData + "265;", 3, "rawLength takes 0..264"},
      {Kind::Telegram, kHeader + kData + "0;\r\nmore\r\n", 4, "a line too many"},
      {Kind::List, "", 1, "missing"},
      {Kind::List, "GC;0;0;1;2;0;0;3;1;7;20;20;128;16;2;0;0;\r\n" + kRow, 1, "service takes 0..2"},
      {Kind::List, kHeader + kRow + "1;1;1;128;0;1;70000;\r\n", 3,
       "data2 takes 0..65535, not '70000'"},
      {Kind::List, kHeader + kRow + "\r\n" + kRow, 3, "an empty row"},
      {Kind::List, kHeader + kRow + "1;1;1;128;0;1;\r\n", 3, "data2 is missing"},
      {Kind::List, kHeader + kRow + "2;1;1;128;0;1;0;\r\n", 3, "active takes 0..1"},
      {Kind::List, kHeader + kRow + "1;1;1;128;0;1;0;5;\r\n", 3, "text after the 7 values"},
      {Kind::List, kHeader + Repeat("x;", 10) + "300;" + Repeat("1;", 10) + "\r\n", 2,
       "a telegram line from the log"},
      {Kind::List, kHeader + rows399 + kRow + kRow, 402, "at most 400 rows"},
      {Kind::Sim, "", 1, "missing"},
      {Kind::Sim, "1;\r\n", 2, "at least one row"},
      {Kind::Sim, "2;\r\n" + kSimRow, 1, "simulationOn takes 0..1, not '2'"},
      {Kind::Sim, "1;0;\r\n" + kSimRow, 1, "text after the last value: '0;'"},
      {Kind::Sim, "1;\r\n" + kSimRow + "16;1;0;-2;4;\r\n", 3, "responseInf takes -1..255"},
      {Kind::Sim, "1;\r\n" + kSimRow + "16;1;0;17;6;\r\n", 3, "responseState takes 0..5"},
      {Kind::Sim, "1;\r\n16;1;0;17;\r\n", 2, "responseState is missing"},
      {Kind::Sim, "1;\r\n" + Repeat(kSimRow, 101), 102, "at most 100 rows"},
  };
  for (const auto& b : bad) {
    const auto fault = Check(b.kind, b.text);
    ASSERT_TRUE(fault) << b.text.substr(0, 120);
    EXPECT_EQ(fault->line, b.line) << b.text.substr(0, 120) << ": " << fault->what;
    EXPECT_NE(fault->what.find(b.what), std::string::npos)
        << "line " << fault->line << ": " << fault->what;
  }
}

}  // namespace
}  // namespace kivo
