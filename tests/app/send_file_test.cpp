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
#include "log/log_filter.h"
#include "util/file_io.h"
#include "util/record_testing.h"

namespace kivo {
namespace {

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
  Image bytes(Record::kSize);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return Record::Decode(bytes);
}

class SendFileTest : public testing::AppTest {
 protected:
  std::string path;

  void SetUp() override {
    Start(false);
    path = instance.dataDirectory + "other.kvs";
  }
  std::string Named(int text, const std::string& name) { return T(text) + name; }
  // Everything a read may change, as the file would hold it.
  Image State() { return BuildSendTelegramImage(SendFileRecordsOf(instance)); }
  // Random contents in every block, header record and colour table.
  void Randomise(std::uint32_t seed) {
    std::mt19937 random(seed);
    instance.send.telegrams = RandomRecord<SendTelegramBlock>(random);
    instance.send.lists = RandomRecord<SendListBlock>(random);
    instance.send.simulation = RandomRecord<ResponseSimBlock>(random);
    instance.general = RandomRecord<GeneralParams>(random);
    instance.general.size = GeneralParams::kSize;
    for (PortRecord& port : instance.ports) {
      port.params = RandomRecord<PortParams>(random);
      port.params.blockSize = PortParams::kSize;
    }
    for (TValueColours* c : {&instance.settings.typeColours, &instance.settings.causeColours}) {
      *c = RandomRecord<TValueColours>(random);
      c->blockSize = TValueColours::kBlockSize;
    }
  }
};

TEST_F(SendFileTest, FileHoldsEachBlockAtItsOffset) {
  instance.general.focusIndex = 3;
  instance.ports[1].params.portNumber = 4;
  instance.settings.causeColours.pairs[7] = 0x0102;
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  Image expected(131072, 0);
  testing::PutLe(expected, 0, 0x4B000103);
  testing::PutLe(expected, 4, 131072);
  testing::PutLe(expected, 8, 2000);
  const auto place = [&](std::ptrdiff_t at, const auto& record) {
    const Image block = testing::EncodeRecord(record);
    std::copy(block.begin(), block.end(), expected.begin() + at);
  };
  place(16, instance.general);
  place(1016, instance.ports[0].params);
  place(1160, instance.ports[1].params);
  place(2000, instance.send.simulation);
  place(12000, instance.send.telegrams);
  place(28000, instance.send.lists);
  place(107132, instance.settings.typeColours);
  place(107668, instance.settings.causeColours);
  EXPECT_EQ(GetU32(ConstBytes(expected), 28000), 79132u);  // the blocks carry their sizes
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(SendFileTest, ReadingStopsEverythingRecountsTheListsAndResetsTheFilters) {
  SendList& list = instance.send.List(3);
  list.Row(4).active = list.Row(17).active = 1;
  list.activeRows = list.lastActiveRow = 0;  // stale counts as an older file may hold them
  list.sendState = kSendDue;
  list.currentRow = 17;
  instance.send.Telegram(2).sendState = kSendPausing;
  instance.send.Telegram(2).sentCount = 3;
  instance.send.Telegram(6).trigger = kTriggerHourly;
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  instance.app.timedSendArmed = false;
  instance.general.displayFilter.channels = instance.general.logFilter.channels = 0;
  instance.app.sendDataModified = true;
  instance.app.sendTelegramFileName = "other";
  ASSERT_TRUE(ReadSendTelegramFile(instance, path));
  EXPECT_FALSE(instance.app.sendDataModified);
  EXPECT_EQ(instance.app.sendTelegramFileName, path);
  const SendTelegram& t2 = instance.send.Telegram(2);
  EXPECT_EQ(std::tuple(t2.sendState, t2.sentCount, list.sendState, list.currentRow, list.activeRows,
                       list.lastActiveRow),
            std::tuple(kSendIdle, 0u, kSendIdle, 1u, 2u, 17u));
  EXPECT_TRUE(instance.app.timedSendArmed);  // telegram 6 waits for the clock
  EXPECT_EQ(instance.general.displayFilter, NormalisedFilter());
  EXPECT_EQ(instance.general.logFilter, NormalisedFilter());

  // A missing default file is no fault: nothing is read, the filters are reset.
  const SendData before = instance.send;
  instance.general.logFilter.channels = 0;
  EXPECT_TRUE(ReadSendTelegramFile(instance, DataFileName(instance, 1222)));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(instance.send.telegrams, before.telegrams);
  EXPECT_EQ(instance.general.logFilter, NormalisedFilter());
}

TEST_F(SendFileTest, OlderFormIsReadWithoutTouchingTheColours) {
  Randomise(7);
  Image file = State();
  file.resize(kSendFileOldSize);
  WriteBytes(path, file);
  const SendData sent = instance.send;
  InitialiseSendData(instance.send, instance.texts);
  instance.settings.typeColours.pairs[1] = 0x0102;
  const Settings before = instance.settings;
  ASSERT_TRUE(ReadSendTelegramFile(instance, path));
  EXPECT_EQ(instance.settings, before);
  EXPECT_EQ(instance.send.Telegram(12).name.raw, sent.Telegram(12).name.raw);
  EXPECT_EQ(instance.send.simulation.rows[3].commandFrame, sent.simulation.rows[3].commandFrame);
}

TEST_F(SendFileTest, FilesOfTheWrongFormAreRefusedAndChangeNothing) {
  const Image good(State());
  Randomise(9);
  instance.app.sendDataModified = true;
  const std::string current = instance.app.sendTelegramFileName;
  const Image before = State();
  struct Case {
    const char* what;
    std::size_t size, at;
    std::uint32_t value;
  };
  const Case cases[] = {{"one octet too many", 131073, 0, 0x4B000103},
                        {"one octet short", 131071, 0, 0x4B000103},
                        {"between the forms", 107133, 0, 0x4B000103},
                        {"empty", 0, 0, 0},
                        {"magic", 131072, 0, 0x4B000104},
                        {"unflushed header size", 131072, 8, 2128},
                        {"old form, wrong header size", 107132, 8, 0}};
  for (const Case& c : cases) {
    Image file = good;
    file.resize(c.size);
    if (c.size >= 4) PutU32(file, c.at, c.value);
    WriteBytes(path, file);
    fake.prompter.messages.clear();
    EXPECT_FALSE(ReadSendTelegramFile(instance, path)) << c.what;
    EXPECT_EQ(Messages(), std::vector<std::string>{Named(1216, path)}) << c.what;
    EXPECT_EQ(State(), before) << c.what;
    EXPECT_TRUE(instance.app.sendDataModified);
    EXPECT_EQ(instance.app.sendTelegramFileName, current);
  }
  fake.prompter.messages.clear();
  EXPECT_FALSE(ReadSendTelegramFile(instance, path + "-missing"));
  EXPECT_EQ(Messages(), std::vector<std::string>{Named(1216, path + "-missing")});
}

TEST_F(SendFileTest, EveryBlockIsTakenButOneWithAWrongSizeWord) {
  Randomise(11);
  const Image written = State();
  // The size word spoilt (none at 0), and which of simulation, telegrams,
  // lists, type and cause colours are then taken from the file.
  const std::pair<std::size_t, std::array<bool, 5>> cases[] = {
      {0, {true, true, true, true, true}},
      {28000, {true, true, false, true, true}},
      {12000, {true, false, true, true, true}},
      {2000, {false, true, true, true, true}},
      {107132 + 520, {true, true, true, false, false}},
      {107668 + 520, {true, true, true, true, false}}};
  for (const auto& [sizeWordAt, fromFile] : cases) {
    Image file = written;
    if (sizeWordAt != 0) PutU32(file, sizeWordAt, GetU32(file, sizeWordAt) + 1);
    Randomise(12);
    const Image old = State();
    ASSERT_TRUE(TakeSendTelegramImage(SendFileRecordsOf(instance), file));
    const Image now = State();
    if (sizeWordAt == 0) {  // all of it, but for the log size, which a file never brings
      PutU32(file, 16 + 88, GetU32(old, 16 + 88));
      EXPECT_EQ(now, file);
    }
    const std::pair<std::size_t, std::size_t> blocks[] = {
        {2000, 4820}, {12000, 6748}, {28000, 79132}, {107132, 536}, {107668, 536}};
    for (std::size_t i = 0; i < 5; ++i) {
      const auto [at, size] = blocks[i];
      const auto same = [&](const Image& other) {
        return std::equal(now.begin() + at, now.begin() + at + size, other.begin() + at);
      };
      EXPECT_EQ(same(written), fromFile[i]) << sizeWordAt << " " << at;
      EXPECT_EQ(same(old), !fromFile[i]) << sizeWordAt << " " << at;
    }
  }
}

TEST_F(SendFileTest, FailedWritesKeepTheOldFileAndTheModifiedFlag) {
  instance.app.sendDataModified = true;
  const std::string uncreatable = instance.dataDirectory + "no-such-directory/x.kvs";
  EXPECT_FALSE(WriteSendTelegramFile(instance, uncreatable));
  EXPECT_EQ(Messages(), std::vector<std::string>{Named(1217, uncreatable)});
  EXPECT_TRUE(instance.app.sendDataModified);

  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  const Image old = ReadBytes(path);
  instance.send.Telegram(1).inf = 99;
  instance.app.sendDataModified = true;
  fake.prompter.messages.clear();
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
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(instance.app.sendDataModified);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(SendFileTest, OpeningAnotherFileAsksToGoOfflineAndToSaveModifiedData) {
  instance.send.Telegram(2).inf = 77;
  ASSERT_TRUE(WriteSendTelegramFile(instance, path));
  std::string current = instance.dataDirectory + "current.kvs";
  const std::string goOffline = T(1204), save = FormatText(instance, 1134, current);
  const struct {
    bool online, modified;
    MessageResult answer;
    bool read;
  } cases[] = {{true, false, MessageResult::No, false},
               {true, false, MessageResult::Yes, true},
               {false, true, MessageResult::Cancel, false},
               {false, true, MessageResult::No, true},
               {false, true, MessageResult::Yes, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.online << c.modified << static_cast<int>(c.answer));
    std::remove(current.c_str());
    instance.settings.online = c.online;
    instance.app.sendTelegramFileName = current;
    instance.send.Telegram(2).inf = 66;
    instance.app.sendDataModified = c.modified;
    fake.prompter.messages.clear();
    fake.prompter.answers = {c.answer};
    EXPECT_EQ(OpenSendTelegramFile(instance, path), c.read);
    EXPECT_EQ(Messages(), std::vector<std::string>{c.online ? goOffline : save});
    EXPECT_EQ(instance.Online(), c.online && !c.read);
    EXPECT_EQ(instance.send.Telegram(2).inf, c.read ? 77 : 66);
    EXPECT_EQ(instance.app.sendDataModified, c.modified && !c.read);
    EXPECT_EQ(instance.app.sendTelegramFileName, c.read ? path : current);
    const bool savedFirst = c.modified && c.answer == MessageResult::Yes;
    ASSERT_EQ(FileExists(current), savedFirst);
    if (savedFirst) {
      EXPECT_EQ(ReadBytes(current)[12004 + 562 + 79], 66);
    }
  }
  // The same file is read again without asking.
  instance.app.sendDataModified = true;
  fake.prompter.messages.clear();
  EXPECT_TRUE(OpenSendTelegramFile(instance, path));
  EXPECT_TRUE(Messages().empty());
  // A failed save first ends without change.
  current = instance.dataDirectory + "gone/current.kvs";
  instance.app.sendTelegramFileName = current;
  instance.send.Telegram(2).inf = 66;
  instance.app.sendDataModified = true;
  fake.prompter.answers = {MessageResult::Yes};
  EXPECT_FALSE(OpenSendTelegramFile(instance, path));
  EXPECT_EQ(Messages().back(), Named(1217, current));
  EXPECT_EQ(instance.send.Telegram(2).inf, 66);
  EXPECT_TRUE(instance.app.sendDataModified);
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
  std::remove(path.c_str());
  FinishRun(instance);  // unmodified data are not written
  EXPECT_FALSE(FileExists(path));
}

}  // namespace
}  // namespace kivo
