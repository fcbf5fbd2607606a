// The capture written from a log, read back by a minimal block reader of its
// own: block framing, the two interfaces, the upper-PDU header naming the
// dissector, time stamps, directions and event comments.
#include "app/pcapng_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "app/fake_platform.h"
#include "log/log_store_fixture.h"
#include "record/frame_status.h"

namespace kivo {
namespace {

struct Block {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> body;  // between the leading and trailing length
};

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint16_t v = 0;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

// Splits a file into blocks, checking the framing of every block.
std::vector<Block> ReadBlocks(const std::vector<std::uint8_t>& file) {
  std::vector<Block> blocks;
  std::size_t at = 0;
  while (at < file.size()) {
    EXPECT_LE(at + 12, file.size());
    if (at + 12 > file.size()) break;
    const std::uint32_t length = U32(file, at + 4);
    EXPECT_EQ(length % 4, 0u);
    EXPECT_LE(at + length, file.size());
    if (length < 12 || at + length > file.size()) break;
    EXPECT_EQ(U32(file, at + length - 4), length);
    blocks.push_back({U32(file, at), {file.begin() + at + 8, file.begin() + at + length - 4}});
    at += length;
  }
  return blocks;
}

// The options from `at` on: code -> value.
std::map<std::uint16_t, std::vector<std::uint8_t>> Options(const std::vector<std::uint8_t>& b,
                                                           std::size_t at) {
  std::map<std::uint16_t, std::vector<std::uint8_t>> options;
  while (at + 4 <= b.size()) {
    const std::uint16_t code = U16(b, at), length = U16(b, at + 2);
    if (code == 0) break;
    options[code] = {b.begin() + at + 4, b.begin() + at + 4 + length};
    at += 4 + (length + 3) / 4 * 4;
  }
  return options;
}

class PcapngWriterTest : public testing::AppTest {
 protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    Start(false);
    instance.settings.language = 1;
    ASSERT_TRUE(ReloadTexts(instance, 1));
    CreateMainState(instance, {});
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
};

TEST_F(PcapngWriterTest, TimeStampsAreLocalDayNumbersTurnedIntoUtcMicroseconds) {
  // 2025-12-09 12:00:00.123456 as a day number (day 0 is 1899-12-30).
  const double noon = 46000.0 + (43200.123456 / 86400.0);
  const std::uint64_t utcNoon = (46000ull - 25569ull) * 86400000000ull + 43200123456ull;
  const struct {
    const char* tz;
    std::int64_t shiftHours;
  } zones[] = {{"UTC0", 0}, {"CET-1", -1}, {"EST5", 5}};
  for (const auto& zone : zones) {
    setenv("TZ", zone.tz, 1);
    tzset();
    EXPECT_EQ(EpochMicroseconds(noon), utcNoon + zone.shiftHours * 3600000000ll) << zone.tz;
  }
  EXPECT_EQ(EpochMicroseconds(-1.0), 0u);
  EXPECT_EQ(EpochMicroseconds(std::nan("")), 0u);
  // Each stamp to the nearest microsecond: a day number of today steps by
  // about 0.63 microseconds, so its microseconds are rarely whole.
  setenv("TZ", "UTC0", 1);
  tzset();
  EpochConverter utc;
  double t = noon;
  for (int i = 0; i < 5000; ++i, t = std::nextafter(t, 47000.0)) {
    const std::uint64_t nearest = (46000ull - 25569ull) * 86400000000ull +
                                  static_cast<std::uint64_t>(std::llround((t - 46000.0) * 864e8));
    ASSERT_EQ(EpochMicroseconds(t), nearest) << i;
    ASSERT_EQ(utc.Microseconds(t), nearest) << i;
  }
  // Stamps that go back, jump hours and days, round over midnight, and lie at
  // the end of the range and beyond it: each as the stamp alone gives it.
  const double micro = 1.0 / 864e8;
  for (const double stamp :
       {noon, noon - 1800e6 * micro, noon + 0.4 * micro, 46000.0 + (3600e6 - 0.4) * micro,
        46000.0 + (3600e6 - 0.6) * micro, 46000.0 + 3600e6 * micro, noon, 46001.0 - 0.3 * micro,
        46001.0 - 0.7 * micro, 46001.0, 46001.0 - 0.7 * micro, 2958466.0, 2958466.0 + 1e6 * micro,
        std::nan(""), noon, -0.25, noon}) {
    ASSERT_EQ(utc.Microseconds(stamp), EpochMicroseconds(stamp)) << std::hexfloat << stamp;
  }
  // The export's converter asks mktime once an hour and gives the same over
  // two days around each change of summer time, and for stamps that are no time.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EpochConverter epoch;
  for (const double firstDay : {45745.0, 45955.0}) {
    for (double t = firstDay; t < firstDay + 2; t += 433.250 / 86400.0) {
      ASSERT_EQ(epoch.Microseconds(t), EpochMicroseconds(t)) << t;
    }
  }
  EXPECT_EQ(epoch.Microseconds(std::nan("")), 0u);
}

TEST_F(PcapngWriterTest, BlocksInterfacesUpperPduHeaderFlagsAndEventComments) {
  setenv("TZ", "UTC0", 1);
  tzset();
  LogStore& log = instance.logStore;
  // A frame longer than two words, and a short one.
  const std::string answer = "68 10 10 68 08 01 03 81 02 01 A0 90 01 00 02 00 03 00 04 00 CA 16";
  log.Append(testing::Frame("10 5B 01 5C 16", 40, 2));  // sent on port 1
  log.Append(testing::Frame(answer, 40, 3));            // received on port 2
  TLogEntry lost;
  lost.frameKind = kFrameEvent;
  lost.status = event::kLinkLost;
  lost.channel = 4;
  lost.linkAddress = 5;
  log.Append(lost);

  const std::string name = fake.scratch.path() + "log.pcapng";
  std::FILE* out = std::fopen(name.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  RenderContext context = MakeRenderContext(instance, log.Index().firstSeqNo);
  const OutputResult result = RunPcapngOutput(log, context, {}, out);
  ASSERT_EQ(std::fclose(out), 0);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.entries, 3u);

  std::ifstream in(name, std::ios::binary);
  const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  const std::vector<Block> blocks = ReadBlocks(file);
  ASSERT_EQ(blocks.size(), 6u);
  EXPECT_EQ(blocks[0].type, 0x0A0D0D0Au);
  EXPECT_EQ(U32(blocks[0].body, 0), 0x1A2B3C4Du);
  EXPECT_EQ(U16(blocks[0].body, 4), 1u);
  for (int port = 0; port < 2; ++port) {
    const Block& idb = blocks[1 + port];
    EXPECT_EQ(idb.type, 1u);
    EXPECT_EQ(U16(idb.body, 0), 252u);
    auto options = Options(idb.body, 8);
    EXPECT_EQ(options[9], std::vector<std::uint8_t>{6});
    const std::string ifName(options[2].begin(), options[2].end());
    EXPECT_EQ(ifName, "port " + std::to_string(port + 1));
  }

  const struct {
    std::uint32_t interface, flags;
    std::string protoName;
  } expected[] = {{0, 2, "iec60870_5_103"}, {1, 1, "iec60870_5_103"}, {1, 2, "data-text-lines"}};
  const std::vector<std::uint8_t> frames[] = {
      testing::Hex("10 5B 01 5C 16"), testing::Hex(answer), {}};
  std::vector<TLogEntry> entries;
  log.OpenReader();
  for (bool more = log.SeekPage(log.Index().oldestPage, false); more; more = log.StepForward()) {
    entries.push_back(log.CurrentEntry());
  }
  log.CloseReader();
  ASSERT_EQ(entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const std::vector<std::uint8_t>& b = blocks[3 + i].body;
    EXPECT_EQ(blocks[3 + i].type, 6u);
    EXPECT_EQ(U32(b, 0), expected[i].interface);
    const std::uint64_t ts = (std::uint64_t{U32(b, 4)} << 32) | U32(b, 8);
    const double day = entries[i].timeStamp;
    const double expectedTs = (day - 25569.0) * 86400e6;
    EXPECT_NEAR(static_cast<double>(ts), expectedTs, 1.0);
    const std::uint32_t captured = U32(b, 12);
    EXPECT_EQ(U32(b, 16), captured);
    // Upper-PDU header, big-endian: tag 12 with the padded name, then tag 0.
    const std::vector<std::uint8_t> pdu(b.begin() + 20, b.begin() + 20 + captured);
    ASSERT_GE(pdu.size(), 24u);
    EXPECT_EQ(pdu[0] << 8 | pdu[1], 12);
    const int tagLength = pdu[2] << 8 | pdu[3];
    EXPECT_EQ(tagLength % 4, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pdu.data() + 4)), expected[i].protoName);
    const std::size_t end = 4 + static_cast<std::size_t>(tagLength);
    EXPECT_EQ(std::vector<std::uint8_t>(pdu.begin() + end, pdu.begin() + end + 4),
              (std::vector<std::uint8_t>{0, 0, 0, 0}));
    const std::vector<std::uint8_t> payload(pdu.begin() + end + 4, pdu.end());
    auto options = Options(b, 20 + (captured + 3) / 4 * 4);
    EXPECT_EQ(U32(options[2], 0), expected[i].flags);
    if (i < 2) {
      EXPECT_EQ(payload, frames[i]);
      EXPECT_EQ(options.count(1), 0u);
    } else {
      // The event: its text line as payload and as the packet comment.
      EXPECT_FALSE(payload.empty());
      EXPECT_EQ(options[1], payload);
    }
  }

  // Wireshark's own reader, where it is installed: every packet reads and
  // none is malformed. A version that registers the IEC 60870-5-103
  // dissector under its name decodes the frames; one that does not (4.0)
  // leaves them as exported PDUs.
  if (std::system("command -v tshark > /dev/null 2>&1") != 0) return;
  std::FILE* pipe =
      ::popen(("tshark -r '" + name + "' -T fields -e frame.protocols 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(text.find("malformed"), std::string::npos) << text;
  const std::string decoded = "exported_pdu:iec60870_5_103\n";
  const std::string undecoded = "exported_pdu\n";
  const std::string frame = text.rfind(decoded, 0) == 0 ? decoded : undecoded;
  EXPECT_EQ(text, frame + frame + "exported_pdu:data-text-lines\n");
}

TEST(PcapngExportTest, AFileThatIsNoLogGivesExitCode3) {
  const std::string cli = std::string(KIVO_BIN_DIR) + "kivo-cli";
  if (std::system(("test -x " + cli).c_str()) != 0) GTEST_SKIP() << "kivo-cli not built";
  const std::string dir = ::testing::TempDir();
  const std::string notALog = dir + "not-a-log.txt";
  std::ofstream(notALog) << "no log at all\n";
  const int status = std::system(
      (cli + " export " + notALog + " --format pcapng -o " + dir + "out.pcapng 2>/dev/null")
          .c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

}  // namespace
}  // namespace kivo
