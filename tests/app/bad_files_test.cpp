// Every file reader fed damaged copies of a good file: cut short, with single
// bits flipped, with junk behind it and as a sparse file of some gigabytes.
// Whatever the file holds, a reader finishes, leaves the file as it was, and
// either takes it (reporting what it could not read) or refuses it with a
// status that says so while the record in memory stays as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <random>

#include "app/fake_platform.h"
#include "app/send_file_commands.h"
#include "app/settings.h"
#include "asdu/info_text_table.h"
#include "link/frame_codec.h"
#include "log/log_filter.h"
#include "log/log_store.h"
#include "log/log_store_fixture.h"
#include "send/comtrade.h"
#include "send/disturbance.h"
#include "send/disturbance_fixture.h"
#include "send/response_sim_text.h"
#include "send/send_text_files.h"
#include "text/text_table.h"
#include "util/block_file.h"

namespace kivo {
namespace {

using Octets = std::vector<std::uint8_t>;

// Past 4 GiB, so that a size or position kept in 32 bits shows as well.
constexpr std::uint64_t kHugeSize = (std::uint64_t{1} << 32) + 4096;
// For a reader that streams through every octet.
constexpr std::uint64_t kStreamedHugeSize = (64 << 20) + 4096;
// The most a caller of a text-file reader hands over (the editors and
// kivo-cli refuse larger files before reading them).
constexpr std::size_t kTextFileCap = 4 << 20;
// Growth of the resident set over all readers; ASan keeps freed blocks in
// a quarantine of 256 MiB.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMostGrowthKiB = 512 * 1024;
#else
constexpr long kMostGrowthKiB = 64 * 1024;
#endif
constexpr int kRandomFlips = 24;
constexpr int kHeadFlips = 12;  // into the 512 octets that hold what the reader checks first
constexpr std::size_t kHeadLength = 512;

struct Variant {
  std::string name;
  Octets bytes;
  std::uint64_t sparseSize = 0;  // made this long by a hole behind `bytes`
};

std::vector<Variant> Damaged(const Octets& valid, std::uint32_t seed, std::uint64_t hugeSize,
                             std::size_t headAt) {
  std::vector<Variant> variants;
  const auto cut = [&](std::size_t n) {
    variants.push_back({"cut to " + std::to_string(n), Octets(valid.begin(), valid.begin() + n)});
  };
  cut(0);
  cut(1);
  cut(valid.size() / 2);
  cut(valid.size() - 1);
  std::mt19937 random(seed);
  for (int i = 0; i < kRandomFlips + kHeadFlips; ++i) {
    const std::size_t at = i < kRandomFlips ? random() % valid.size()
                                            : (headAt + random() % kHeadLength) % valid.size();
    const int bit = static_cast<int>(random() % 8);
    Variant v{"bit " + std::to_string(bit) + " of octet " + std::to_string(at), valid};
    v.bytes[at] ^= static_cast<std::uint8_t>(1u << bit);
    variants.push_back(std::move(v));
  }
  Variant junk{"2 MiB of junk behind", valid};
  junk.bytes.resize(valid.size() + (2 << 20));
  for (std::size_t i = valid.size(); i < junk.bytes.size(); i += 4) {
    PutU32(junk.bytes, i, random());
  }
  variants.push_back(std::move(junk));
  variants.push_back({"sparse, " + std::to_string(hugeSize) + " octets", valid, hugeSize});
  return variants;
}

void Put(const std::string& path, const Variant& v) {
  std::filesystem::remove(path);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, v.bytes.data(), v.bytes.size()), static_cast<ssize_t>(v.bytes.size()));
  if (v.sparseSize > 0) {
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(v.sparseSize)), 0);
  }
  ::close(fd);
}

// Octets, size, allocated blocks and modification time: any write shows,
// also one into the hole of a sparse file.
struct Fingerprint {
  std::uint64_t hash = 14695981039346656037u;
  std::int64_t size = 0, blocks = 0, modified = 0;
  bool operator==(const Fingerprint&) const = default;
};

Fingerprint FingerprintOf(const std::string& path) {
  Fingerprint f;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return f;
  f.size = st.st_size;
  f.blocks = st.st_blocks;
  f.modified = st.st_mtim.tv_sec * 1'000'000'000 + st.st_mtim.tv_nsec;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::array<std::uint8_t, 65536> block{};
  ssize_t n = 0;
  for (std::size_t done = 0; done < (4u << 20) && (n = ::read(fd, block.data(), block.size())) > 0;
       done += static_cast<std::size_t>(n)) {
    for (ssize_t i = 0; i < n; ++i)
      f.hash = (f.hash ^ block[static_cast<std::size_t>(i)]) * 1099511628211u;
  }
  ::close(fd);
  return f;
}

Octets FileBytes(const std::string& path) {
  const std::string s = testing::ReadFile(path);
  return Octets(s.begin(), s.end());
}

// At most kTextFileCap octets, as the callers of the text readers read them.
std::string TextHead(const std::string& path) {
  std::string text(kTextFileCap, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::size_t done = 0;
  ssize_t n = 0;
  while (done < text.size() && (n = ::read(fd, text.data() + done, text.size() - done)) > 0) {
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(done);
  return text;
}

std::string Problem(const std::optional<TextLineFault>& fault) {
  return fault ? std::to_string(fault->line) + ": " + fault->what : std::string();
}

struct Outcome {
  bool taken = false;  // read whole or in part
  std::string status;  // what the reader reports; says what is wrong when refused
  bool kept = true;    // refused: the record in memory is as it was
};

struct Reader {
  std::string name;
  std::string file;  // the name it must have
  std::function<Octets(const std::string& path)> writeValid;
  std::function<Outcome(const std::string& path)> read;
  std::uint64_t hugeSize = kHugeSize;
  std::size_t headAt = 0;
  // What it says of its own file.
  std::string valid = "read";
};

class BadFilesTest : public testing::AppTest {
 protected:
  testing::ScratchDir scratch;
  VirtualClock clock;
  TimeBase timeBase{clock};
  GeneralParams general;
  PortParams port1, port2;
  bool writeFailed = false;

  void SetUp() override {
    Start(false);
    timeBase.Synchronise();
    general.logSize = 1;
  }

  Octets WriteLog(const std::string& path) {
    LogStore writer({clock, timeBase, general, port1, port2, writeFailed});
    EXPECT_TRUE(writer.CreateLog(path));
    for (int i = 0; i < 1200; ++i) {
      EXPECT_TRUE(writer.Append(testing::Frame(
          "68 09 09 68 08 05 05 81 0B 05 80 10 " + testing::Format("%02X", i % 256) + " 00 16", 40,
          1 + i % 4)));
    }
    EXPECT_TRUE(writer.CloseLog());
    return FileBytes(path);
  }

  Outcome ReadLog(const std::string& path) {
    // Another log is current; a refused file must leave it so.
    const std::string previous = scratch.path() + "previous.kvl";
    if (!std::filesystem::exists(previous)) WriteLog(previous);
    LogStore reader({clock, timeBase, general, port1, port2, writeFailed});
    std::vector<int> errors;
    reader.hooks.showError = [&](int text) { errors.push_back(text); };
    EXPECT_TRUE(reader.OpenLog(previous, false, LogOpenMode::ReadOnly));
    const TLogIndex before = reader.Index();
    if (!reader.OpenLog(path, false, LogOpenMode::ReadOnly)) {
      return {false, "not a usable log", reader.FileName() == previous && reader.Index() == before};
    }
    int entries = 0;
    if (reader.OpenReader()) {
      for (bool more = reader.CurrentEntry().length > 0; more; more = reader.StepBack()) {
        ++entries;
      }
      const TLogIndex& index = reader.Index();
      for (std::uint32_t i = 0; i < index.UsedPagesNow(); ++i) {
        reader.SeekPage((index.oldestPage + i) % index.pageCount, i % 2 == 0);
      }
    }
    const std::string status = std::to_string(entries) + " entries, " +
                               std::to_string(reader.DamagedPages()) + " damaged pages, " +
                               std::to_string(errors.size()) + " messages";
    reader.CloseLog();
    return {true, status};
  }

  Octets State() { return BuildSendTelegramImage(SendFileRecordsOf(instance)); }

  // Disturbance file of FAN 12, offered by a secondary with address 5.
  Outcome ReplayDisturbance(const std::string& path) {
    Outcome out;
    {
      BlockFile file;
      DisturbanceHeader header;
      header.fileEnd = 7;
      out.taken =
          file.Open(path, BlockFile::Access::ReadOnly) && ReadDisturbanceHeader(file, header);
      out.kept = out.taken || header.fileEnd == 7;
    }
    PortRecord& port = instance.ports[0];
    port.params.function = PortFunction::Secondary;
    port.params.addressCount = 1;
    port.params.addresses[0] = testing::kDevice;
    port.params.addresses[1] = PortParams::kAddressEnd;
    BuildDisturbanceList(instance.sendContext, port);
    EXPECT_LE(instance.disturbance[0].list.count, 1);
    // The primary orders the transfer and acknowledges every block.
    const auto order = [](const std::string& asdu) {
      const Octets a = testing::Hex(asdu);
      Octets frame = {0x68, 0, 0, 0x68, 0x73, testing::kDevice};
      frame.insert(frame.end(), a.begin(), a.end());
      frame[1] = frame[2] = static_cast<std::uint8_t>(frame.size() - 4);
      frame.push_back(0);
      frame.push_back(0x16);
      frame[frame.size() - 2] = ft12::FrameChecksum(frame);
      TLogEntry entry = testing::Frame(testing::ToHex(frame));
      ClassifyFrame(entry);
      return entry;
    };
    TLogEntry select = order(testing::Order(24, 1));
    OnDisturbanceAsdu(instance.sendContext, port, select);
    int telegrams = 0;
    OutgoingFrame built;
    while (telegrams < 100'000 && NextDisturbanceTelegram(instance.sendContext, port, built)) {
      ++telegrams;
      const auto frame = built.View();
      const int type = frame.size() > ft12::at::kTyp ? frame[ft12::at::kTyp] : 0;
      const int too = frame.size() > 12 ? frame[12] : 0;
      std::string answer;
      if (type == 26) answer = testing::Order(24, 2);
      if (type == 28) answer = testing::Order(24, 16);
      if (type == 27) answer = testing::Order(24, 8);
      if (type == 31) answer = testing::Order(25, too >= 38 ? 68 : too >= 35 ? 66 : 64);
      if (answer.empty()) continue;
      TLogEntry entry = order(answer);
      OnDisturbanceAsdu(instance.sendContext, port, entry);
    }
    EXPECT_LT(telegrams, 100'000) << "the replay does not end";
    for (int i = 0; i < 1000 && instance.disturbance[0].run.role != DisturbanceRun::Role::None;
         ++i) {
      DisturbanceStep(instance.sendContext, port);
    }
    EXPECT_EQ(instance.disturbance[0].run.role, DisturbanceRun::Role::None);
    // A file the device cannot replay must show in the status of the order.
    if (out.taken) {
      out.status = std::to_string(telegrams) + " telegrams replayed";
    } else if (select.status != 40) {
      out.status = "order marked with status " + std::to_string(select.status);
    }
    return out;
  }
};

TEST_F(BadFilesTest, EveryReaderSurvivesDamagedFilesAndLeavesThemAlone) {
  const char sep = SendSeparator(instance.texts);
  const std::string out = scratch.Sub("out");
  std::vector<Reader> readers;

  readers.push_back({"log file (read only)", "bad.kvl",
                     [&](const std::string& path) { return WriteLog(path); },
                     [&](const std::string& path) { return ReadLog(path); }, kHugeSize,
                     // the index and the first page header
                     1700, "1200 entries, 0 damaged pages, 0 messages"});

  readers.push_back({"send-telegram file", "bad.kvs",
                     [&](const std::string& path) {
                       instance.send.Telegram(3).name.Set("written");
                       EXPECT_TRUE(WriteSendTelegramFile(instance, path));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       instance.send.Telegram(3).name.Set("in memory");
                       const Octets before = State();
                       const std::string name = instance.app.sendTelegramFileName;
                       const std::size_t shown = Messages().size();
                       if (ReadSendTelegramFile(instance, path)) return Outcome{true, "read"};
                       return Outcome{
                           false, Messages().size() > shown ? Messages().back() : "",
                           State() == before && instance.app.sendTelegramFileName == name};
                     }});

  readers.push_back({"filter file", "bad.kvf",
                     [&](const std::string& path) {
                       TLogFilter filter = NormalisedFilter();
                       filter.channels = 5;
                       EXPECT_TRUE(WriteFilterFile(path, filter));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       TLogFilter filter = NormalisedFilter();
                       const TLogFilter before = filter;
                       if (ReadFilterFile(path, filter)) return Outcome{true, "read"};
                       return Outcome{false, "refused", filter == before};
                     }});

  readers.push_back({"settings file", "bad.dat",
                     [&](const std::string& path) {
                       Settings settings;
                       settings.language = 1;
                       EXPECT_TRUE(WriteSettingsFile(path, settings));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       Settings settings;
                       settings.sendTelegramFile.Set("kept.kvs");
                       const Settings before = settings;
                       if (LoadSettings(path, settings)) return Outcome{true, "read"};
                       return Outcome{false, "refused", settings == before};
                     }});

  readers.push_back({"single-telegram file", "bad.txt",
                     [&](const std::string& path) {
                       SendTelegram t = instance.send.Telegram(1);
                       t.name.Set("written");
                       testing::WriteFile(path, WriteTelegramText(t, sep));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       const std::string text = TextHead(path);
                       SendTelegram work = instance.send.Telegram(2);
                       const SendTelegram before = work;
                       if (ReadTelegramText(text, sep, work))
                         return Outcome{true, Problem(CheckTelegramText(text, sep))};
                       return Outcome{false, Problem(CheckTelegramText(text, sep)), work == before};
                     },
                     kHugeSize, 0, ""});

  readers.push_back({"send-list file", "bad.lst",
                     [&](const std::string& path) {
                       SendList list = instance.send.List(1);
                       for (int n = 1; n <= 40; ++n)
                         list.Row(n).data1 = static_cast<std::uint32_t>(n);
                       testing::WriteFile(path, WriteListText(list, sep));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       const std::string text = TextHead(path);
                       SendList work = instance.send.List(2);
                       const SendList before = work;
                       if (ReadListText(text, sep, work))
                         return Outcome{true, Problem(CheckListText(text, sep))};
                       return Outcome{false, Problem(CheckListText(text, sep)), work == before};
                     },
                     kHugeSize, 0, ""});

  readers.push_back({"command-response file", "bad.sim",
                     [&](const std::string& path) {
                       ResponseSimBlock block;
                       block.simulationOn = 1;
                       block.rows[0].commandInf = 16, block.rows[0].positiveAck = 1;
                       testing::WriteFile(path, WriteSimText(block, sep));
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       const std::string text = TextHead(path);
                       ResponseSimBlock block;
                       block.rows[5].commandInf = 99;
                       const ResponseSimBlock before = block;
                       if (ReadSimText(text, sep, block).read)
                         return Outcome{true, Problem(CheckSimText(text, sep))};
                       return Outcome{false, Problem(CheckSimText(text, sep)), block == before};
                     },
                     kHugeSize, 0, ""});

  readers.push_back({"information text file", "bad.kvi",
                     [&](const std::string& path) {
                       testing::WriteFile(path,
                                          "160=Distance protection;\r\nURS;20;3-5;\r\n"
                                          "1;160;64;0;Trip L1;\r\n2;128;1;3-12;Start\r\n");
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       InfoTextTable table;
                       GroupNameTable groups;
                       std::array<std::uint16_t, 256> causeColours{};
                       const InfoTextLoadResult r =
                           LoadInfoTextFile(path, instance.texts, table, groups, causeColours);
                       EXPECT_EQ(r.faultyLines > 0, !r.message.empty());
                       return Outcome{r.ok, r.message.empty() ? "read" : r.message};
                     },
                     // Lines run to the end of the file, however long: its
                     // size costs reading time, never memory.
                     kStreamedHugeSize, 0, "read"});

  // A reload that fails keeps the texts read before the fault, as the
  // window keeps its captions; so only the message is checked.
  readers.push_back({"language file", "KivoText.usa",
                     [&](const std::string& path) {
                       std::filesystem::copy_file(std::string(KIVO_LANG_DIR) + "KivoText.usa",
                                                  path);
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       TextTable table;
                       const TextLoadResult r = table.LoadFile(path);
                       return Outcome{r.ok(), r.ok() ? "read" : r.message};
                     }});

  readers.push_back({"disturbance file (list and replay)", DisturbanceFileName(12),
                     [&](const std::string& path) {
                       testing::WriteFile(path, testing::RecordedFile().Text());
                       return FileBytes(path);
                     },
                     [&](const std::string& path) { return ReplayDisturbance(path); }, kHugeSize, 0,
                     "12 telegrams replayed"});

  readers.push_back({"disturbance file (COMTRADE)", DisturbanceFileName(13),
                     [&](const std::string& path) {
                       testing::WriteFile(path, testing::RecordedFile().Text());
                       return FileBytes(path);
                     },
                     [&](const std::string& path) {
                       std::filesystem::remove_all(out);
                       std::filesystem::create_directories(out);
                       const ComtradeFiles files = WriteComtrade(path, out, {.partial = true});
                       const bool written = files.status == ComtradeFiles::Status::Written;
                       EXPECT_EQ(written, !std::filesystem::is_empty(out));
                       return Outcome{written, written ? "converted" : files.message};
                     },
                     kHugeSize, 0, "converted"});

  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  const long residentBefore = usage.ru_maxrss;
  for (std::size_t r = 0; r < readers.size(); ++r) {
    const Reader& reader = readers[r];
    const std::string path = instance.dataDirectory + reader.file;
    const Octets valid = reader.writeValid(path);
    ASSERT_GT(valid.size(), 1u) << reader.name;
    const Outcome good = reader.read(path);
    EXPECT_TRUE(good.taken) << reader.name;
    EXPECT_EQ(good.status, reader.valid) << reader.name;
    const std::vector<Variant> variants =
        Damaged(valid, static_cast<std::uint32_t>(r + 1), reader.hugeSize, reader.headAt);
    for (const Variant& variant : variants) {
      SCOPED_TRACE(reader.name + ", " + variant.name);
      Put(path, variant);
      const Fingerprint before = FingerprintOf(path);
      const Outcome outcome = reader.read(path);
      EXPECT_EQ(FingerprintOf(path), before) << "the reader wrote to what it read";
      if (!outcome.taken) {
        EXPECT_FALSE(outcome.status.empty()) << "refused without saying why";
        EXPECT_TRUE(outcome.kept) << "the refusal changed the record in memory";
      }
    }
    std::filesystem::remove(path);
  }
  ::getrusage(RUSAGE_SELF, &usage);
  // No reader holds more than a few MiB of a file, however large.
  EXPECT_LT(usage.ru_maxrss - residentBefore, kMostGrowthKiB);
}

}  // namespace
}  // namespace kivo
