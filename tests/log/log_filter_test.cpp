// The display filter and the log filter: the normal form, the order of the
// tests on an entry, each criterion kind on frames written in hex, the
// link-layer rule of the display, and filter files.
#include "log/log_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_store_fixture.h"
#include "record/general_params.h"

namespace kivo {
namespace {

constexpr std::uint32_t kFirstSeqNo = 1000;
constexpr std::uint8_t kValid = 40;
constexpr std::uint8_t kFcbNotToggled = 14;  // faulty, but the frame is usable
constexpr std::uint8_t kChecksumError = 9;   // no usable shape

// Time-tagged message, address 3: TYP 1, VSQ 81, COT 9, CA 5, FUN 128, INF 16.
const std::string kAsdu = "68 0E 0E 68 08 03 01 81 09 05 80 10 02 00 00 00 00 00 2D 16";
const std::string kFixed = "10 49 03 4C 16";  // request status of link, address 3
const std::string kSingle = "E5";
const std::string kShort = "68 05 05 68 08 01 01 81 01 8C 16";  // ASDU ends after COT

// An entry as the store holds it; telegram number 1 unless told.
TLogEntry Entry(const std::string& hex, std::uint8_t status = kValid, std::uint32_t number = 1,
                std::uint8_t channel = 1) {
  TLogEntry e = testing::Frame(hex, status, channel);
  e.seqNo = kFirstSeqNo + number - 1;
  e.timeStamp = 46000.5;
  e.length = e.StoredLength();
  return e;
}

TLogEntry Event(std::uint8_t channel = 1) {
  TLogEntry e = Entry("", 33, 1, channel);
  e.frameKind = kFrameEvent;
  return e;
}

TFilterCriterion Criterion(std::uint32_t kind, std::uint32_t mode, std::int32_t value1,
                           std::uint32_t op = kOperatorEqual, std::int32_t value2 = 0) {
  return {kind, mode, value1, op, value2};
}

// The normalised filter with these criteria, or changed by `change`.
TLogFilter With(
    std::initializer_list<TFilterCriterion> criteria,
    void (*change)(TLogFilter&) = [](TLogFilter&) {}) {
  TLogFilter f = NormalisedFilter();
  for (const TFilterCriterion& c : criteria) f.criteria[c.kind - kFirstCriterionKind] = c;
  change(f);
  return f;
}

bool LogPass(const TLogFilter& f, const TLogEntry& e) {
  return EvaluateFilter(f, e, {kFirstSeqNo, false, true});
}

TEST(NormaliseTest, RepairsKindsKeepsChoicesAndEachRestrictionEnables) {
  const TLogFilter n = NormalisedFilter();
  EXPECT_TRUE(n.channels == 15 && n.showValid && n.showFaulty && !n.restricting && !n.enabled);
  TLogFilter f;
  f.criterionCount = -3;
  for (auto& c : f.criteria) c.kind = 77;
  Normalise(f);
  EXPECT_EQ(f, n);

  // Each restriction counts and switches the filter on.
  const std::vector<std::pair<const char*, void (*)(TLogFilter&)>> cases = {
      {"time from", [](TLogFilter& f) { f.timeFromActive = 1; }},
      {"time to", [](TLogFilter& f) { f.timeToActive = 1; }},
      {"valid only", [](TLogFilter& f) { f.showValid = 1; }},
      {"faulty only", [](TLogFilter& f) { f.showFaulty = 1; }},
      {"three channels", [](TLogFilter& f) { f.channels = 7; }},
      {"ninth criterion", [](TLogFilter& f) { f.criteria[8].mode = kModeMustNotMatch; }},
  };
  for (const auto& [name, restrict] : cases) {
    TLogFilter f;
    restrict(f);
    Normalise(f);
    EXPECT_EQ(f.restricting, 1) << name;
    EnableWhenRestricting(f);
    EXPECT_EQ(f.enabled, 1) << name;
    EXPECT_TRUE(ToggleEnabled(f) && ToggleEnabled(f) && f.enabled == 1) << name;
  }
  TLogFilter chosen;  // the channels and one of valid and faulty are kept
  chosen.channels = 5;
  chosen.showFaulty = 1;
  Normalise(chosen);
  EXPECT_EQ(chosen.channels, 5u);
  EXPECT_EQ(chosen.showValid, 0);
  TLogFilter idle = With({}, [](TLogFilter& f) { f.enabled = f.restricting = 1; });
  Normalise(idle);
  EnableWhenRestricting(idle);
  EXPECT_EQ(idle, n);
  EXPECT_FALSE(ToggleEnabled(idle));  // message 1215 for the operator
  EXPECT_EQ(idle, n);
}

// One row: a filter, an entry and whether the entry passes as the log filter.
struct Row {
  const char* what;
  TLogFilter filter;
  TLogEntry entry;
  bool passes;
};
void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) EXPECT_EQ(LogPass(row.filter, row.entry), row.passes) << row.what;
}

TEST(EvaluateFilterTest, StepsBeforeTheCriteria) {
  const TLogFilter window = With({}, [](TLogFilter& f) {
    f.timeFromActive = f.timeToActive = 1;
    f.timeFrom = 46000.25;
    f.timeTo = 46000.75;
  });
  auto at = [](double t) {
    TLogEntry e = Entry(kAsdu);
    e.timeStamp = t;
    return e;
  };
  const TLogFilter receivedOnly = With({}, [](TLogFilter& f) { f.channels = 0b0101; });
  const TLogFilter everyBit = With({}, [](TLogFilter& f) { f.channels = 0xFFFFFFFF; });
  const TLogFilter validOnly = With({}, [](TLogFilter& f) { f.showFaulty = 0; });
  const TLogFilter faultyOnly = With({}, [](TLogFilter& f) { f.showValid = 0; });
  const TLogFilter neither = With({}, [](TLogFilter& f) { f.showValid = f.showFaulty = 0; });
  const TLogFilter numbers5to7 =
      With({Criterion(kKindTelegramNumber, kModeMustMatch, 5, kOperatorRange, 7)});
  const TLogFilter strict = With(
      {Criterion(kKindByteCount, kModeMustMatch, 200), Criterion(kKindType, kModeMustMatch, 99)});
  ExpectRows(
      {{"from limit", window, at(46000.25), true},
       {"to limit", window, at(46000.75), true},
       {"before", window, at(46000.2499), false},
       {"after", window, at(46000.7501), false},
       {"channel 2", receivedOnly, Entry(kAsdu, kValid, 1, 2), false},
       {"channel 3", receivedOnly, Entry(kAsdu, kValid, 1, 3), true},
       {"event on channel 2", receivedOnly, Event(2), false},
       {"channel 0", everyBit, Entry(kAsdu, kValid, 1, 0), false},
       {"channel 33", everyBit, Entry(kAsdu, kValid, 1, 33), false},
       {"39 valid only", validOnly, Entry(kAsdu, 39), false},
       {"40 valid only", validOnly, Entry(kAsdu, 40), true},
       {"39 faulty only", faultyOnly, Entry(kAsdu, 39), true},
       {"42 faulty only", faultyOnly, Entry(kAsdu, 42), false},
       {"status unlooked at", neither, Entry(kAsdu, 9), true},
       {"number 5", numbers5to7, Entry(kAsdu, kValid, 5), true},
       {"number 8", numbers5to7, Entry(kAsdu, kValid, 8), false},
       {"number of a shapeless frame", numbers5to7, Entry("68 01", kChecksumError, 9), false},
       {"event passes criteria", strict, Event(), true},
       {"event passes valid only", validOnly, Event(), true},
       {"status 12 skips criteria", strict, Entry("68 0E 0E 68 08 03 01", 12), true},
       {"status 13 meets criteria", strict, Entry("68 0E 0E 68 08 03 01", 13), false}});
  // The number counts from the oldest entry of the log.
  EXPECT_TRUE(EvaluateFilter(numbers5to7, Entry(kAsdu, kValid, 8), {kFirstSeqNo + 1, false, true}));
  // And on across the wrap of the 32-bit SeqNo: from 2^32 - 2 on, SeqNo 4 is number 7.
  TLogEntry wrapped = Entry(kAsdu);
  wrapped.seqNo = 4;
  EXPECT_TRUE(EvaluateFilter(numbers5to7, wrapped, {4294967294u, false, true}));
}

TEST(EvaluateFilterTest, EachKindTakesItsValueFromTheEntry) {
  const TLogEntry e = Entry(kAsdu, kValid, 12);
  const std::pair<std::uint32_t, std::int32_t> values[] = {
      {kKindTelegramNumber, 12}, {kKindByteCount, 20},     {kKindFunctionCode, 8},
      {kKindLinkAddress, 3},     {kKindType, 1},           {kKindCause, 9},
      {kKindCommonAddress, 5},   {kKindFunctionType, 128}, {kKindInformationNumber, 16}};
  for (const auto& [kind, v] : values) {
    EXPECT_TRUE(LogPass(With({Criterion(kind, kModeMustMatch, v)}), e)) << kind;
    EXPECT_FALSE(LogPass(With({Criterion(kind, kModeMustMatch, v + 1)}), e)) << kind;
    EXPECT_FALSE(LogPass(With({Criterion(kind, kModeMustNotMatch, v)}), e)) << kind;
    EXPECT_TRUE(LogPass(With({Criterion(kind, kModeMustNotMatch, v + 1)}), e)) << kind;
  }
  // ACD and DFC set: still function 8.
  EXPECT_TRUE(LogPass(With({Criterion(kKindFunctionCode, kModeMustMatch, 8)}),
                      Entry("68 0E 0E 68 38 03 01 81 09 05 80 10 02 00 00 00 00 00 5D 16")));
}

TEST(EvaluateFilterTest, OperatorsAndWrappingRanges) {
  auto type = [](int typ) {
    TLogEntry e = Entry(kAsdu);
    e.frame[6] = static_cast<std::uint8_t>(typ);
    return e;
  };
  const TLogFilter either = With({Criterion(kKindType, kModeMustMatch, 5, kOperatorEither, 1)});
  const TLogFilter range = With({Criterion(kKindType, kModeMustMatch, 10, kOperatorRange, 200)});
  const TLogFilter wraps = With({Criterion(kKindType, kModeMustMatch, 200, kOperatorRange, 10)});
  const TLogFilter outside =
      With({Criterion(kKindType, kModeMustNotMatch, 200, kOperatorRange, 10)});
  const TLogFilter seven = With({Criterion(kKindType, kModeMustMatch, 1, 7, 3)});
  ExpectRows({{"either 5", either, type(5), true},
              {"either 6", either, type(6), false},
              {"range 10", range, type(10), true},
              {"range 201", range, type(201), false},
              {"wraps 0", wraps, type(0), true},
              {"wraps 200", wraps, type(200), true},
              {"wraps 255", wraps, type(255), true},
              {"wraps 11", wraps, type(11), false},
              {"outside 100", outside, type(100), true},
              {"operator 7 is a range", seven, type(2), true},
              {"operator 7 outside", seven, type(4), false}});
}

TEST(EvaluateFilterTest, FixedFramesSingleCharactersShortFramesAndTheCount) {
  auto is = [](std::uint32_t kind, int value = 77) {
    return With({Criterion(kind, kModeMustMatch, value)});
  };
  const TLogFilter byteCountAndType =
      With({Criterion(kKindByteCount, kModeMustMatch, 5), Criterion(kKindType, kModeMustMatch, 77),
            Criterion(kKindInformationNumber, kModeMustMatch, 1)});
  TLogEntry noOctets = Entry("");
  noOctets.control = 0x08;
  TLogEntry cut = Entry(kAsdu, 26);  // the buffer still holds the older octets
  cut.byteCount = 8;
  ExpectRows(
      {{"type on fixed", is(kKindType), Entry(kFixed), true},
       {"common address on single", is(kKindCommonAddress), Entry(kSingle), true},
       {"type on variable", is(kKindType), Entry(kAsdu), false},
       {"address on fixed", is(kKindLinkAddress), Entry(kFixed), false},
       {"function on fixed", is(kKindFunctionCode, 9), Entry(kFixed), true},
       {"address on single", is(kKindLinkAddress), Entry(kSingle), true},
       {"function 0 of single", is(kKindFunctionCode, 0), Entry(kSingle), true},
       {"function 5 of single", is(kKindFunctionCode, 5), Entry(kSingle), false},
       {"stop after a passed count", byteCountAndType, Entry(kFixed), true},
       {"count decides before the stop", byteCountAndType, Entry("10 49 03 4C 16 00"), false},
       {"no octets, function", is(kKindFunctionCode), noOctets, true},
       {"no octets, count", is(kKindByteCount, 1), noOctets, false},
       {"type inside a cut frame", is(kKindType, 1), cut, true},
       {"cause beyond a cut frame", is(kKindCause, 0), cut, true},
       {"no common address in a short ASDU", is(kKindCommonAddress, 0x8C), Entry(kShort), false},
       {"no function type in a short ASDU", is(kKindFunctionType, 0), Entry(kShort), true}});
  // CriterionCount and unknown kinds limit the criteria.
  TLogFilter f = With({Criterion(kKindLinkAddress, kModeMustMatch, 3),
                       Criterion(kKindInformationNumber, kModeMustMatch, 17)});
  EXPECT_FALSE(LogPass(f, Entry(kAsdu)));
  f.criterionCount = 8;
  EXPECT_TRUE(LogPass(f, Entry(kAsdu)));
  f.criterionCount = 1000;
  EXPECT_FALSE(LogPass(f, Entry(kAsdu)));
  f.criteria[8].kind = 200;
  EXPECT_TRUE(LogPass(f, Entry(kAsdu)));
}

TEST(DisplayFilterTest, LinkLayerRuleWithTheFilterOffAndOn) {
  TLogFilter f = With({Criterion(kKindLinkAddress, kModeMustMatch, 3)});
  const struct {
    TLogEntry entry;
    bool offLinkOff, onLinkOff, linkOn;
  } cases[] = {
      {Entry(kFixed), false, false, true},
      {Entry(kSingle), false, false, true},
      {Entry(kFixed, kFcbNotToggled), true, false, true},
      {Entry(kFixed, 12), true, true, true},
      {Entry(kAsdu), true, true, true},
  };
  for (const auto& c : cases) {
    f.enabled = 0;
    EXPECT_EQ(PassesDisplayFilter(f, c.entry, false, kFirstSeqNo), c.offLinkOff);
    EXPECT_TRUE(PassesDisplayFilter(f, c.entry, true, kFirstSeqNo));
    f.enabled = 1;
    EXPECT_EQ(PassesDisplayFilter(f, c.entry, false, kFirstSeqNo), c.onLinkOff);
    EXPECT_EQ(PassesDisplayFilter(f, c.entry, true, kFirstSeqNo), c.linkOn);
    // The log filter never looks at the display.
    EXPECT_TRUE(PassesLogFilter(f, c.entry, kFirstSeqNo));
  }
  // A switched-on filter's criteria decide; no entry never passes.
  EXPECT_FALSE(PassesDisplayFilter(f, Entry("10 49 04 4D 16"), true, kFirstSeqNo));
  EXPECT_FALSE(PassesLogFilter(f, Entry("10 49 04 4D 16"), kFirstSeqNo));
  TLogEntry none = Entry(kAsdu);
  none.length = 0;
  EXPECT_FALSE(PassesDisplayFilter(f, none, true, kFirstSeqNo));
  f.enabled = 0;
  EXPECT_FALSE(PassesDisplayFilter(f, none, true, kFirstSeqNo));
  EXPECT_TRUE(PassesLogFilter(f, Entry("10 49 04 4D 16"), kFirstSeqNo));

  // The predicates follow edits of the filter and the start of the log.
  GeneralParams general;
  general.logFilter = With({Criterion(kKindTelegramNumber, kModeMustMatch, 1)});
  std::uint32_t first = kFirstSeqNo;
  bool link = true;
  const EntryPredicate logTest = LogFilterPredicate(general.logFilter, [&] { return first; });
  const EntryPredicate viewTest = DisplayFilterPredicate(
      general.displayFilter, [&] { return link; }, [&] { return first; });
  const TLogEntry second = Entry(kFixed, kValid, 2);
  EXPECT_TRUE(logTest(second));
  general.logFilter.enabled = 1;
  EXPECT_FALSE(logTest(second));
  first = kFirstSeqNo + 1;  // the oldest page was dropped
  EXPECT_TRUE(logTest(second));
  EXPECT_TRUE(viewTest(second));
  link = false;
  EXPECT_FALSE(viewTest(second));
}

TEST(FilterFileTest, TheRecordWithItsSizeWordAndNothingElse) {
  testing::ScratchDir dir;
  const std::string path = dir.path() + "Filter.flt";
  TLogFilter f;  // never normalised: a file is taken as it is
  f.reserved216 = {1, 2, 3, 4};
  f.criterionCount = 3;
  ASSERT_TRUE(WriteFilterFile(path, f));
  const std::string good = testing::ReadFile(path);
  f.recordSize = 240;
  testing::Octets expected(240);
  f.Encode(expected);
  EXPECT_EQ(testing::Octets(good.begin(), good.end()), expected);
  const TLogFilter kept = With({Criterion(kKindCause, kModeMustMatch, 20)});
  TLogFilter read = kept;
  ASSERT_TRUE(ReadFilterFile(path, read));
  EXPECT_EQ(read, f);

  const auto expectIgnored = [&](const std::string& file, const std::string& what) {
    read = kept;
    EXPECT_FALSE(ReadFilterFile(file, read)) << what;
    EXPECT_EQ(read, kept) << what;
  };
  std::vector<std::string> others = {std::string(240, 'x'), good, good};
  others[1][2] = 0;  // size words 0 and 241
  others[2][2] = static_cast<char>(241);
  for (std::size_t size : {0, 1, 239, 241, 480}) others.push_back((good + good).substr(0, size));
  for (const std::string& content : others) {
    testing::WriteFile(path, content);
    expectIgnored(path, std::to_string(content.size()) + " octets");
  }
  expectIgnored(dir.path() + "missing.flt", "missing");
  expectIgnored(dir.Sub("folder.flt"), "folder");
}

}  // namespace
}  // namespace kivo
