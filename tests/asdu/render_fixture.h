// Shared by the renderer tests: the English texts as shipped, a fixed locale,
// and log entries built from hex.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "asdu/info_text_table.h"
#include "asdu/renderer.h"
#include "record/log_entry.h"
#include "text/text_table.h"

namespace kivo::testing {

inline std::vector<std::uint8_t> Hex(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return out;
}

// 68h L L 68h control address ASDU checksum 16h.
inline std::vector<std::uint8_t> VariableFrame(std::uint8_t control, std::uint8_t address,
                                               const std::string& asduHex) {
  const std::vector<std::uint8_t> asdu = Hex(asduHex);
  const auto length = static_cast<std::uint8_t>(asdu.size() + 2);
  std::vector<std::uint8_t> frame = {0x68, length, length, 0x68, control, address};
  std::uint8_t sum = static_cast<std::uint8_t>(control + address);
  for (std::uint8_t o : asdu) {
    frame.push_back(o);
    sum = static_cast<std::uint8_t>(sum + o);
  }
  frame.push_back(sum);
  frame.push_back(0x16);
  return frame;
}

// 2026-12-06 10:20:30.456 as a day number.
inline constexpr double kMorning = 46362.0 + (10 * 3600 + 20 * 60 + 30.456) / 86400.0;

inline TLogEntry Entry(std::uint8_t status, std::uint8_t kind,
                       const std::vector<std::uint8_t>& frame, std::uint8_t channel = 1,
                       std::uint32_t seqNo = 101) {
  TLogEntry e;
  e.status = status;
  e.frameKind = kind;
  e.SetFrame(frame);
  e.timeStamp = kMorning;
  e.seqNo = seqNo;
  e.channel = channel;
  if (kind == kFrameVariable && frame.size() > 5) {
    e.control = frame[4];
    e.linkAddress = frame[5];
  } else if (kind == kFrameFixed && frame.size() == 1) {
    e.control = frame[0];
  } else if (kind == kFrameFixed && frame.size() > 2) {
    e.control = frame[1];
    e.linkAddress = frame[2];
  }
  return e;
}

inline TLogEntry Telegram(const std::string& asduHex, std::uint8_t status = 40,
                          std::uint8_t control = 0x08, std::uint8_t address = 5) {
  return Entry(status, kFrameVariable, VariableFrame(control, address, asduHex));
}

inline TLogEntry Event(std::uint8_t status, std::uint16_t value, std::uint8_t channel = 1,
                       std::uint8_t kind = kFrameEvent) {
  TLogEntry e = Entry(status, kind, {}, channel);
  e.linkAddress = value;
  e.control = 0;
  return e;
}

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::setlocale(LC_ALL, "C.UTF-8");
    texts_ = new TextTable;
    ASSERT_TRUE(texts_->LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
    texts_->ApplyPostLoad();
  }
  static void TearDownTestSuite() {
    delete texts_;
    texts_ = nullptr;
  }

  RenderContext Context(DisplayFormat format, bool showTime = true, bool showLink = true) {
    RenderContext context(*texts_);
    context.format = format;
    context.showTime = showTime;
    context.showLink = showLink;
    context.infoTexts = &infoTexts_;
    context.locale = LocaleFormats::FromSystem();
    context.firstSeqNo = 100;
    return context;
  }

  // Every line of one telegram.
  std::vector<std::string> Lines(const TLogEntry& entry, RenderContext& context) {
    RenderCursor cursor;
    StartTelegram(cursor, entry, context, 0x0F02);
    lastCursor_ = cursor;
    std::vector<std::string> lines;
    for (int guard = 0; guard < 200; ++guard) {
      std::string line = NextLine(cursor, context);
      if (line.empty()) break;
      lines.push_back(line);
    }
    lastCursor_ = cursor;
    return lines;
  }
  std::vector<std::string> Lines(const TLogEntry& entry, DisplayFormat format, bool showTime = true,
                                 bool showLink = true) {
    RenderContext context = Context(format, showTime, showLink);
    return Lines(entry, context);
  }

  static TextTable* texts_;
  InfoTextTable infoTexts_;
  RenderCursor lastCursor_;
};

inline TextTable* RenderTest::texts_ = nullptr;

}  // namespace kivo::testing
