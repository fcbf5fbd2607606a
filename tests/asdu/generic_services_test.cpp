// The generic services as the element lines show them with the option on:
// octets of a telegram in, decoded lines out.
#include <optional>
#include <string>
#include <vector>

#include "asdu/render_fixture.h"

namespace kivo::testing {
namespace {

// TYP, VSQ, COT, ADR, FUN 254, INF of each service.
const std::string kData = "0A 81 2A 05 FE F1 ";
const std::string kIdentification = "0B 81 2A 05 FE F4 ";
const std::string kCommand = "15 81 28 05 FE F4 ";
// RII 7, NGD 1, GIN 3.12, KOD 1: one data set whose GDD and GID follow.
const std::string kOneSet = kData + "07 01 03 0C 01 ";

class GenericServicesTest : public RenderTest {
 protected:
  // The element lines, without the label column in front of them. The
  // telegrams of a test share one context, as those of an export do: the
  // lines an ASDU was decoded into are kept there for its next line, and
  // must not be taken for those of the next ASDU.
  std::vector<std::string> Decoded(const std::string& asdu,
                                   DisplayFormat format = DisplayFormat::Log) {
    if (!context_ || context_->format != format) {
      context_.emplace(Context(format));
      context_->genericServices = true;
    }
    const std::vector<std::string> lines = Lines(Telegram(asdu), *context_);
    const std::size_t first = format == DisplayFormat::Compact ? 3 : 4;
    std::vector<std::string> elements;
    for (std::size_t i = first; i < lines.size(); ++i) {
      EXPECT_LE(lines[i].size(), 255u);
      EXPECT_EQ(lines[i].substr(0, 12), LeftJustify(texts_->Text(405), 12)) << lines[i];
      elements.push_back(lines[i].substr(12));
    }
    return elements;
  }

 private:
  std::optional<RenderContext> context_;
};

TEST_F(GenericServicesTest, EveryDataTypeOfGenericDataDecodes) {
  const struct {
    const char* gddGid;
    const char* line;
  } cases[] = {
      {"00 00 01", "GDD 0 none 0x1"},
      {"01 01 07 54 72 69 70 20 4C 31", "GDD 1 OS8 1x7  = \"Trip L1\""},
      {"01 03 02 4F 4E 07 4F 46 46", "GDD 1 OS8 3x2  = \"ON.\", \"OFF\""},
      {"02 02 01 05 A0", "GDD 2 BS1 2x1  = 0x05A0"},
      {"03 02 01 D2 04", "GDD 3 UI 2x1  = 1234"},
      {"03 01 03 01 02 FF", "GDD 3 UI 1x3  = 1, 2, 255"},
      {"04 02 01 2E FB", "GDD 4 I 2x1  = -1234"},
      {"05 01 01 80", "GDD 5 UF 1x1  = 0.5"},
      {"06 01 01 C0", "GDD 6 F 1x1  = -0.5"},
      {"07 04 01 00 00 C0 3F", "GDD 7 R32.23 4x1  = 1.5"},
      {"08 08 01 00 00 00 00 00 00 F8 BF", "GDD 8 R64.53 8x1  = -1.5"},
      {"09 01 02 01 02", "GDD 9 DPI 1x2  = OFF, ON"},
      {"0A 01 01 01", "GDD 10 SPI 1x1  = ON"},
      {"0B 01 02 00 03", "GDD 11 DPI-TE 1x2  = transient, error"},
      {"0C 02 01 F9 FF", "GDD 12 MEA 2x1  = -1 OV"},
      {"0D 02 01 AB CD", "GDD 13 reserved 2x1  = AB CD"},
      {"0E 07 01 F8 76 14 0A 06 0C 1A", "GDD 14 CP56 7x1  = 2026-12-06 10:20:30.456"},
      {"0F 02 01 03 0C", "GDD 15 GIN 2x1  = GIN 3.12"},
      {"10 02 01 E8 03", "GDD 16 RET 2x1  = 1000 ms"},
      {"11 02 01 A0 40", "GDD 17 FUN-INF 2x1  = FUN 160 INF 64"},
      {"12 06 01 02 F8 76 14 8A 05", "GDD 18 TTM 6x1  = ON 10:20:30.456 SU SIN 5"},
      {"13 0A 01 01 0C 00 03 00 F8 76 14 0A 05",
       "GDD 19 TTM-RET 10x1  = OFF RET 12 ms FAN 3 10:20:30.456 SIN 5"},
      {"14 0C 01 00 00 C0 3F 0C 00 03 00 F8 76 94 0A",
       "GDD 20 TTMEA-RET 12x1  = 1.5 RET 12 ms FAN 3 10:20:30.456 IV"},
      {"15 02 01 2C 01", "GDD 21 ETN 2x1  = 300"},
      {"16 01 02 00 07", "GDD 22 GRC 1x2  = 0 ACK, 7 too many commands"},
      {"17 09 01 01 01 02 4F 4B 03 01 01 2A", "GDD 23 STRUCTURE 9x1  = {\"OK\"; 42}"},
      {"18 01 01 05", "GDD 24 INDEX 1x1  = 5"},
      {"03 02 81 05 00", "GDD 3 UI 2x1 CONT  = 5"},
      // A size the type cannot take, and no size at all: the octets.
      {"07 02 01 AB CD", "GDD 7 R32.23 2x1  = AB CD"},
      {"03 00 02 AB CD", "GDD 3 UI 0x2  = AB CD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decoded(kOneSet + c.gddGid),
              (std::vector<std::string>{"RII 7  NGD 1",
                                        std::string("GIN 3.12  KOD 1 actual value  ") + c.line}))
        << c.gddGid;
  }
}

TEST_F(GenericServicesTest, IdentificationAndCommandDecode) {
  EXPECT_EQ(
      Decoded(kIdentification + "07 03 0C C2 0A 01 01 07 54 72 69 70 20 4C 31 01 03 01 01 05"),
      (std::vector<std::string>{"RII 7  GIN 3.12  NDE 2 COUNT CONT",
                                "KOD 10 description  GDD 1 OS8 1x7  = \"Trip L1\"",
                                "KOD 1 actual value  GDD 3 UI 1x1  = 5"}));
  const std::vector<std::string> command = {"RII 7  NOG 3", "GIN 3.12  KOD 1 actual value",
                                            "GIN 3.13  KOD 10 description",
                                            "GIN 4.0  KOD 4 reserved"};
  const std::string octets = kCommand + "07 03 03 0C 01 03 0D 0A 04 00 04";
  EXPECT_EQ(Decoded(octets), command);
  // The compact form decodes the same lines after its one header line.
  EXPECT_EQ(Decoded(octets, DisplayFormat::Compact), command);
}

TEST_F(GenericServicesTest, ShortAndOverlongTelegramsShowWhatTheyCarry) {
  const struct {
    std::string asdu;
    std::vector<std::string> lines;
  } cases[] = {
      // Two sets claimed, one carried.
      {kData + "07 02 03 0C 01 03 02 01 D2 04",
       {"RII 7  NGD 2", "GIN 3.12  KOD 1 actual value  GDD 3 UI 2x1  = 1234  \u2026truncated"}},
      // Three elements claimed, one and a half carried.
      {kOneSet + "03 02 03 01 00 02",
       {"RII 7  NGD 1", "GIN 3.12  KOD 1 actual value  GDD 3 UI 2x3  = 1  02  \u2026truncated"}},
      // A GID far beyond the frame.
      {kOneSet + "03 FF 7F 01 02",
       {"RII 7  NGD 1",
        "GIN 3.12  KOD 1 actual value  GDD 3 UI 255x127  = 01 02  \u2026truncated"}},
      // The GDD cut short.
      {kOneSet + "03 02", {"RII 7  NGD 1", "GIN 3.12  KOD 1 actual value  03 02  \u2026truncated"}},
      {kData + "07", {"RII 7  \u2026truncated"}},
      {kIdentification + "07 03", {"RII 7  03  \u2026truncated"}},
      {kCommand + "07 03 03 0C 01 03",
       {"RII 7  NOG 3", "GIN 3.12  KOD 1 actual value", "03  \u2026truncated"}},
      // Octets that no count claims.
      {kCommand + "07 01 03 0C 01 AA BB",
       {"RII 7  NOG 1", "GIN 3.12  KOD 1 actual value", "surplus  AA BB"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Decoded(c.asdu), c.lines) << c.asdu;
}

TEST_F(GenericServicesTest, LongValuesWrapWithinTheLine) {
  std::string asdu = kOneSet + "03 01 78";  // 120 one-octet values of 255
  for (int i = 0; i < 120; ++i) asdu += " FF";
  const std::vector<std::string> lines = Decoded(asdu);
  ASSERT_GE(lines.size(), 4u);
  std::string joined;
  for (std::size_t i = 1; i < lines.size(); ++i) joined += lines[i];
  std::size_t values = 0;
  for (std::size_t at = joined.find("255"); at != std::string::npos;
       at = joined.find("255", at + 1))
    ++values;
  EXPECT_EQ(values, 120u);
  EXPECT_EQ(lines.back().find("truncated"), std::string::npos);
}

TEST_F(GenericServicesTest, WithoutTheOptionOrInOtherFormatsNothingChanges) {
  const TLogEntry entry = Telegram(kOneSet + "03 02 01 D2 04");
  for (DisplayFormat format : {DisplayFormat::Log, DisplayFormat::Compact, DisplayFormat::OneLine,
                               DisplayFormat::Octets, DisplayFormat::Csv}) {
    RenderContext plain = Context(format);
    const std::vector<std::string> without = Lines(entry, plain);
    RenderContext generic = Context(format);
    generic.genericServices = true;
    const bool decoded = format == DisplayFormat::Log || format == DisplayFormat::Compact;
    EXPECT_EQ(Lines(entry, generic) == without, !decoded) << static_cast<int>(format);
  }
  // The octet rows as the element lines show them without the option.
  const std::vector<std::string> rows = Lines(entry, DisplayFormat::Log);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_NE(rows[4].find("1-10:  07 01 03 0C  01 03 02 01  D2 04"), std::string::npos) << rows[4];
  // Other types stay as they are with the option on.
  RenderContext generic = Context(DisplayFormat::Log);
  generic.genericServices = true;
  const TLogEntry typ1 = Telegram("01 81 01 05 A0 40 02 E8 03 15 8A 07");
  EXPECT_EQ(Lines(typ1, generic), Lines(typ1, DisplayFormat::Log));
}

}  // namespace
}  // namespace kivo::testing
