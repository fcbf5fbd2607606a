// Shared by the renderer tests: the English texts as shipped, a fixed locale,
// and log entries built from hex.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "asdu/info_text_table.h"
#include "asdu/renderer.h"
#include "record/ft12.h"
#include "record/log_entry.h"
#include "text/text_table.h"
#include "util/hex.h"

namespace kivo::testing {

// 68h L L 68h control address ASDU checksum 16h.
inline Octets VariableFrame(std::uint8_t control, std::uint8_t address, const std::string& asdu) {
  ft12::FrameOctets frame;
  frame.length = ft12::BuildVariableFrame(control, address, Hex(asdu), frame.Buffer());
  return Octets(frame.octets.begin(), frame.octets.begin() + frame.length);
}

// 2026-12-06 10:20:30.456 as a day number.
inline constexpr double kMorning = 46362.0 + (10 * 3600 + 20 * 60 + 30.456) / 86400.0;

inline TLogEntry Entry(std::uint8_t status, std::uint8_t kind, const Octets& frame,
                       std::uint8_t channel = 1, std::uint32_t seqNo = 101) {
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
  } else if (kind == kFrameFixed && (frame.size() == 1 || frame.size() > 2)) {
    e.control = frame[frame.size() == 1 ? 0 : 1];
    if (frame.size() > 2) e.linkAddress = frame[2];
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
  return e;
}

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::setlocale(LC_ALL, "C.UTF-8");
    static TextTable texts;
    ASSERT_TRUE(texts.LoadFile(std::string(KIVO_LANG_DIR) + "KivoText.usa").ok());
    texts.ApplyPostLoad();
    texts_ = &texts;
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

  // Every line of one telegram; the cursor stays in lastCursor_.
  std::vector<std::string> Lines(const TLogEntry& entry, RenderContext& context) {
    StartTelegram(lastCursor_, entry, context, 0x0F02);
    std::vector<std::string> lines;
    for (std::string line;
         lines.size() < 200 && !(line = NextLine(lastCursor_, context)).empty();) {
      lines.push_back(line);
    }
    return lines;
  }
  std::vector<std::string> Lines(const TLogEntry& entry, DisplayFormat format, bool showTime = true,
                                 bool showLink = true) {
    RenderContext context = Context(format, showTime, showLink);
    return Lines(entry, context);
  }

  static inline const TextTable* texts_ = nullptr;
  InfoTextTable infoTexts_;
  RenderCursor lastCursor_;
};

}  // namespace kivo::testing
