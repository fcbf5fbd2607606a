// The send-telegram file: its bytes, what a read takes and refuses, writing,
// the guarded change to another file and the start and end of a run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <random>

#include "app/fake_platform.h"
#include "app/messages.h"
#include "app/send_file_commands.h"
#include "app/shutdown.h"
#include "app/startup.h"
#include "log/log_filter.h"
#include "util/file_io.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

using testing::FakePlatform;
using Image = std::vector<std::uint8_t>;

Image ReadBytes(const std::string& path) {
  const std::string s = testing::ReadFile(path);
  return Image(s.begin(), s.end());
}

void WriteBytes(const std::string& path, const Image& bytes) {
  testing::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

template <typename Record>
Record RandomRecord(std::mt19937& random) {
  std::vector<std::uint8_t> bytes(Record::kSize);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return Record::Decode(bytes);
}

class SendFileTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  Instance instance{fake.Get()};
  std::string path;

  void SetUp() override {
    ASSERT_EQ(StartInstance(instance), StartOutcome::Run);
    path = instance.dataDirectory + "other.kvs";
  }
  std::string Named(int text, const std::string& name) { return instance.texts.Text(text) + name; }
  // Everything a read may change, as the file would hold it.
  Image State() { return BuildSendTelegramImage(SendFileRecordsOf(instance)); }
  // Random contents in every block, header record and colour table.
  void Randomise(Instance& target, std::uint32_t seed) {
    std::mt19937 random(seed);
    target.send.telegrams = RandomRecord<SendTelegramBlock>(random);
    target.send.lists = RandomRecord<SendListBlock>(random);
    target.send.simulation = RandomRecord<ResponseSimBlock>(random);
    target.general = RandomRecord<GeneralParams>(random);
    target.general.size = GeneralParams::kSize;
    for (PortRecord& port : target.ports) {
      port.params = RandomRecord<PortParams>(random);
      port.params.blockSize = PortParams::kSize;
    }
    for (TValueColours* colours : {&target.settings.typeColours, &target.settings.causeColours}) {
      *colours = RandomRecord<TValueColours>(random);
      colours->blockSize = TValueColours::kBlockSize;
    }
  }
};

TEST_F(SendFileTest, DefaultFileHoldsTheStartUpDataAtTheirOffsets) {
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  const Image file = ReadBytes(path);
  ASSERT_EQ(file.size(), 131072u);
  const ConstBytes b(file);
  EXPECT_EQ(GetU32(b, 0), 0x4B000103u);
  EXPECT_EQ(GetU32(b, 4), 131072u);
  EXPECT_EQ(GetU32(b, 8), 2000u);
  EXPECT_EQ(Image(file.begin() + 16, file.begin() + 596), testing::EncodeRecord(instance.general));
  EXPECT_EQ(Image(file.begin() + 1016, file.begin() + 1160),
            testing::EncodeRecord(instance.ports[0].params));
  EXPECT_EQ(Image(file.begin() + 1160, file.begin() + 1304),
            testing::EncodeRecord(instance.ports[1].params));
  EXPECT_EQ(GetU32(b, 16), 580u);
  EXPECT_EQ(GetU32(b, 1016), 144u);
  EXPECT_EQ(GetU32(b, 1160), 144u);

  EXPECT_EQ(GetU32(b, 2000), 4820u);
  EXPECT_EQ(GetU16(b, 2000 + 20 + 44), 0xFFFFu);  // simulation row 1: no response message
  EXPECT_EQ(b[2000 + 20 + 43], 4);                // answers with the command's DCO
  EXPECT_EQ(GetU32(b, 12000), 6748u);
  const std::size_t t1 = 12000 + 4, t3 = t1 + 2 * 562, t4 = t1 + 3 * 562;
  EXPECT_EQ(b[t1 + 76], 1);  // typeId
  EXPECT_EQ(b[t1 + 78], 128);
  EXPECT_EQ(GetU32(b, t1 + 16), 1u);  // repeatCount
  EXPECT_EQ(GetU32(b, t1 + 20), 2u);  // portCode
  EXPECT_EQ(b[t1 + 109], 0x81);       // vsq
  EXPECT_EQ(b[t3 + 79], 144);         // inf
  EXPECT_EQ(GetU32(b, t4 + 64), 250u);
  const std::string name1 = instance.texts.Text(71);
  EXPECT_EQ(b[t1 + 134], name1.size());
  EXPECT_EQ(std::string(file.begin() + t1 + 135, file.begin() + t1 + 135 + name1.size()), name1);
  EXPECT_EQ(GetU32(b, 28000), 79132u);
  const std::string list1 = instance.texts.Text(1187) + "1";
  EXPECT_EQ(b[28004 + 134], list1.size());
  EXPECT_EQ(std::string(file.begin() + 28004 + 135, file.begin() + 28004 + 135 + list1.size()),
            list1);
  EXPECT_EQ(GetU32(b, 107132 + 520), 536u);
  EXPECT_EQ(GetU32(b, 107668 + 520), 536u);
  EXPECT_EQ(Image(file.begin() + 107132, file.begin() + 107668),
            testing::EncodeRecord(instance.settings.typeColours));

  constexpr std::pair<int, int> kZeros[] = {{12, 16},      {596, 1016},    {1304, 2000},
                                            {6820, 12000}, {18748, 28000}, {108204, 131072}};
  for (auto [from, to] : kZeros) {
    EXPECT_TRUE(std::all_of(file.begin() + from, file.begin() + to, [](auto o) { return o == 0; }))
        << from;
  }
  EXPECT_EQ(file, State());
}

TEST_F(SendFileTest, EveryBlockSurvivesWritingAndReadingBack) {
  FakePlatform otherFake;
  Instance other{otherFake.Get()};
  ASSERT_EQ(StartInstance(other), StartOutcome::Run);
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    Randomise(instance, seed);
    instance.app.sendDataModified = true;
    ASSERT_TRUE(WriteSendTelegramFile(instance, path));
    EXPECT_FALSE(instance.app.sendDataModified);
    // Compared as octets (random doubles include NaNs), but for the log size,
    // which a file never brings.
    Image file = ReadBytes(path);
    ASSERT_TRUE(TakeSendTelegramImage(SendFileRecordsOf(other), file));
    EXPECT_EQ(other.general.logSize, 10u);
    PutU32(file, 16 + 88, 10);
    EXPECT_EQ(BuildSendTelegramImage(SendFileRecordsOf(other)), file);
  }
  other.app.sendDataModified = true;
  ASSERT_TRUE(ReadSendTelegramFile(other, path));
  EXPECT_FALSE(other.app.sendDataModified);
  EXPECT_EQ(other.app.sendTelegramFileName, path);
  EXPECT_EQ(other.send.Telegram(5).name.raw, instance.send.Telegram(5).name.raw);
  EXPECT_TRUE(otherFake.prompter.messages.empty());
}

TEST_F(SendFileTest, ReadingStopsEverythingAndRecountsTheLists) {
  SendList& list = instance.send.List(3);
  list.Row(4).active = 1;
  list.Row(17).active = 1;
  list.activeRows = 0;  // stale counts as an older file may hold them
  list.lastActiveRow = 0;
  list.sendState = kSendDue;
  list.currentRow = 17;
  instance.send.Telegram(2).sendState = kSendPausing;
  instance.send.Telegram(2).sentCount = 3;
  instance.send.Telegram(6).trigger = kTriggerHourly;
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  instance.app.timedSendArmed = false;
  ASSERT_TRUE(ReadSendTelegramFile(instance, path));
  EXPECT_EQ(instance.send.Telegram(2).sendState, kSendIdle);
  EXPECT_EQ(instance.send.Telegram(2).sentCount, 0u);
  EXPECT_EQ(list.sendState, kSendIdle);
  EXPECT_EQ(list.currentRow, 1u);
  EXPECT_EQ(list.activeRows, 2u);
  EXPECT_EQ(list.lastActiveRow, 17u);
  EXPECT_TRUE(instance.app.timedSendArmed);  // telegram 6 waits for the clock
}

TEST_F(SendFileTest, OlderFormIsReadWithoutTouchingTheColours) {
  Randomise(instance, 7);
  Image file = State();
  file.resize(kSendFileOldSize);
  WriteBytes(path, file);
  const SendData sent = instance.send;
  InitialiseSendData(instance.send, instance.texts);
  instance.settings.typeColours.pairs[1] = 0x0102;
  instance.settings.causeColours.pairs[1] = 0x0304;
  const Settings before = instance.settings;
  ASSERT_TRUE(ReadSendTelegramFile(instance, path));
  EXPECT_EQ(instance.settings, before);
  EXPECT_EQ(instance.send.Telegram(12).name.raw, sent.Telegram(12).name.raw);
  EXPECT_EQ(instance.send.simulation.rows[3].commandFrame, sent.simulation.rows[3].commandFrame);
}

TEST_F(SendFileTest, FilesOfTheWrongFormAreRefusedAndChangeNothing) {
  Image good(State());
  Randomise(instance, 9);
  instance.app.sendDataModified = true;
  const std::string current = instance.app.sendTelegramFileName;
  const Image before = State();
  struct Case {
    const char* what;
    std::size_t size;
    std::size_t at;
    std::uint32_t value;
  };
  for (const Case& c :
       {Case{"one octet too many", 131073, 0, 0x4B000103},
        Case{"one octet short", 131071, 0, 0x4B000103},
        Case{"between the forms", 107133, 0, 0x4B000103}, Case{"empty", 0, 0, 0},
        Case{"magic", 131072, 0, 0x4B000104}, Case{"unflushed header size", 131072, 8, 2128},
        Case{"old form, wrong header size", 107132, 8, 0}}) {
    Image file = good;
    file.resize(c.size);
    if (c.size >= 4) PutU32(file, c.at, c.value);
    WriteBytes(path, file);
    fake.prompter.messages.clear();
    EXPECT_FALSE(ReadSendTelegramFile(instance, path)) << c.what;
    EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{Named(1216, path)}) << c.what;
    EXPECT_EQ(State(), before) << c.what;
    EXPECT_TRUE(instance.app.sendDataModified);
    EXPECT_EQ(instance.app.sendTelegramFileName, current);
  }
  fake.prompter.messages.clear();
  EXPECT_FALSE(ReadSendTelegramFile(instance, path + "-missing"));
  EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{Named(1216, path + "-missing")});
}

TEST_F(SendFileTest, BlockWithWrongSizeWordStaysAsInMemory) {
  Randomise(instance, 11);
  const Image written = State();
  struct Case {
    std::size_t sizeWordAt;
    bool simulation, telegrams, lists, typeColours, causeColours;
  };
  for (const Case& c :
       {Case{28000, true, true, false, true, true}, Case{12000, true, false, true, true, true},
        Case{2000, false, true, true, true, true},
        Case{107132 + 520, true, true, true, false, false},
        Case{107668 + 520, true, true, true, true, false}}) {
    Image file = written;
    PutU32(file, c.sizeWordAt, GetU32(file, c.sizeWordAt) + 1);
    Randomise(instance, 12);
    const Image old = State();
    ASSERT_TRUE(TakeSendTelegramImage(SendFileRecordsOf(instance), file));
    const Image now = State();
    const auto taken = [&](std::size_t at, std::size_t size) {
      const bool fromFile =
          std::equal(now.begin() + at, now.begin() + at + size, written.begin() + at);
      const bool kept = std::equal(now.begin() + at, now.begin() + at + size, old.begin() + at);
      EXPECT_NE(fromFile, kept) << at;
      return fromFile;
    };
    EXPECT_EQ(taken(2000, 4820), c.simulation) << c.sizeWordAt;
    EXPECT_EQ(taken(12000, 6748), c.telegrams) << c.sizeWordAt;
    EXPECT_EQ(taken(28000, 79132), c.lists) << c.sizeWordAt;
    EXPECT_EQ(taken(107132, 536), c.typeColours) << c.sizeWordAt;
    EXPECT_EQ(taken(107668, 536), c.causeColours) << c.sizeWordAt;
  }
}

TEST_F(SendFileTest, MissingDefaultFileIsSilentAndResetsTheFilters) {
  const std::string name = instance.app.sendTelegramFileName;
  ASSERT_EQ(name, DataFileName(instance, 1222));
  const SendData before = instance.send;
  EXPECT_TRUE(ReadSendTelegramFile(instance, name));
  EXPECT_TRUE(fake.prompter.messages.empty());
  EXPECT_EQ(instance.send.telegrams, before.telegrams);
  EXPECT_EQ(instance.general.displayFilter, NormalisedFilter());
  EXPECT_EQ(instance.general.logFilter, NormalisedFilter());
}

TEST_F(SendFileTest, FileThatCannotBeCreatedIsReportedAndStaysModified) {
  instance.app.sendDataModified = true;
  const std::string name = instance.dataDirectory + "no-such-directory/x.kvs";
  EXPECT_FALSE(WriteSendTelegramFile(instance, name));
  EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{Named(1217, name)});
  EXPECT_TRUE(instance.app.sendDataModified);
}

TEST_F(SendFileTest, ShortWriteKeepsTheOldFileAndTheModifiedFlag) {
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  const Image old = ReadBytes(path);
  instance.send.Telegram(1).inf = 99;
  instance.app.sendDataModified = true;

  // Files of this process may not grow beyond 64 KiB for a moment.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit limit{}, saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 65536;
  setrlimit(RLIMIT_FSIZE, &limit);
  const bool written = WriteSendTelegramFile(instance, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(written);
  EXPECT_TRUE(fake.prompter.messages.empty());
  EXPECT_TRUE(instance.app.sendDataModified);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_FALSE(FileExists(path + ".tmp"));
}

class OpenSendFileTest : public SendFileTest {
 protected:
  std::string current;
  void SetUp() override {
    SendFileTest::SetUp();
    instance.send.Telegram(2).inf = 77;
    ASSERT_TRUE(WriteSendTelegramFile(instance, path));
    instance.send.Telegram(2).inf = 66;
    current = instance.dataDirectory + "current.kvs";
    instance.app.sendTelegramFileName = current;
  }
  std::uint8_t Inf2() const { return instance.send.Telegram(2).inf; }
};

TEST_F(OpenSendFileTest, WhileOnlineNoKeepsEverythingAndYesGoesOfflineFirst) {
  instance.settings.online = 1;
  fake.prompter.answers = {MessageResult::No};
  EXPECT_FALSE(OpenSendTelegramFile(instance, path));
  EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{instance.texts.Text(1204)});
  EXPECT_TRUE(instance.Online());
  EXPECT_EQ(Inf2(), 66);

  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_TRUE(OpenSendTelegramFile(instance, path));
  EXPECT_FALSE(instance.Online());
  EXPECT_EQ(Inf2(), 77);
  EXPECT_EQ(instance.app.sendTelegramFileName, path);
}

TEST_F(OpenSendFileTest, ModifiedDataAreSavedDroppedOrKeptAsTheOperatorSays) {
  const std::string question = FormatText(instance, 1134, current);
  struct Case {
    MessageResult answer;
    bool read, savedFirst;
  };
  for (const Case& c :
       {Case{MessageResult::Cancel, false, false}, Case{MessageResult::No, true, false},
        Case{MessageResult::Yes, true, true}}) {
    std::remove(current.c_str());
    instance.app.sendTelegramFileName = current;
    instance.send.Telegram(2).inf = 66;
    instance.app.sendDataModified = true;
    fake.prompter.messages.clear();
    fake.prompter.answers = {c.answer};
    EXPECT_EQ(OpenSendTelegramFile(instance, path), c.read);
    EXPECT_EQ(fake.prompter.messages, std::vector<std::string>{question});
    EXPECT_EQ(Inf2(), c.read ? 77 : 66);
    EXPECT_EQ(instance.app.sendDataModified, !c.read);
    ASSERT_EQ(FileExists(current), c.savedFirst);
    if (c.savedFirst) {
      EXPECT_EQ(ReadBytes(current)[12004 + 562 + 79], 66);
    }
  }
}

TEST_F(OpenSendFileTest, FailedSaveFirstEndsWithoutChange) {
  current = instance.dataDirectory + "gone/current.kvs";
  instance.app.sendTelegramFileName = current;
  instance.app.sendDataModified = true;
  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_FALSE(OpenSendTelegramFile(instance, path));
  EXPECT_EQ(fake.prompter.messages.back(), Named(1217, current));
  EXPECT_EQ(Inf2(), 66);
  EXPECT_TRUE(instance.app.sendDataModified);
}

TEST_F(OpenSendFileTest, SameFileIsReadAgainWithoutAsking) {
  instance.app.sendTelegramFileName = path;
  instance.app.sendDataModified = true;
  EXPECT_TRUE(OpenSendTelegramFile(instance, path));
  EXPECT_TRUE(fake.prompter.messages.empty());
  EXPECT_EQ(Inf2(), 77);
}

TEST_F(SendFileTest, StartReadsTheNamedFileAndTheEndSavesModifiedData) {
  instance.send.Telegram(3).name.Set("From the file");
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  InitialiseSendData(instance.send, instance.texts);
  CreateMainState(instance, {path});
  EXPECT_EQ(instance.send.Telegram(3).name.Get(), "From the file");
  EXPECT_EQ(instance.app.sendTelegramFileName, path);

  instance.send.Telegram(3).name.Set("Changed");
  instance.app.sendDataModified = true;
  fake.prompter.answers = {MessageResult::Yes};
  ASSERT_TRUE(CloseQuery(instance));
  FinishRun(instance);
  EXPECT_FALSE(instance.app.sendDataModified);
  EXPECT_EQ(ReadBytes(path), State());

  // Unmodified data are not written.
  std::remove(path.c_str());
  FinishRun(instance);
  EXPECT_FALSE(FileExists(path));
}

}  // namespace
}  // namespace kivo
