// The two language files as shipped: they load through the real loader, every
// text number has the role the catalogue gives it, the data texts parse in
// their formats, and the two languages agree wherever they must.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_table.h"

namespace kivo {
namespace {

// Text numbers with a data role that the checks below rely on.
constexpr int kPrimaryFunctionDigits = 67;
constexpr int kSecondaryFunctionDigits = 69;
constexpr int kBaseChoice = 29;
constexpr int kBaudCount = 656;
constexpr int kBaudDefaultIndex = 8;
constexpr int kDataDescription = 936;  // + type index
constexpr int kSecondDataDescription = 970;
constexpr int kDataLabel = 729;
constexpr int kPortPrefix = 1207;
constexpr int kFontSizes = 1402;
constexpr int kStatusEventPortOpened = 432 + 48;
constexpr int kStatusEventPortClosed = 432 + 49;
constexpr std::size_t kCellWidth = 15;
constexpr std::size_t kPoolTextOctets = TextTable::kPoolSize - TextTable::kTextsStart;

// The known-type list: type index k (from 1) names known[k - 1].
const std::vector<int> kKnownTypes = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,  20,
                                      21, 23, 24, 25, 26, 27, 28, 29, 30, 31, 128, 129};

int TypeIndex(int typ) {
  auto it = std::find(kKnownTypes.begin(), kKnownTypes.end(), typ);
  return it == kKnownTypes.end() ? 0 : static_cast<int>(it - kKnownTypes.begin()) + 1;
}

const std::vector<std::string> kLanguages = {"usa", "ger"};

std::string LanguagePath(const std::string& extension) {
  return std::string(KIVO_LANG_DIR) + "KivoText." + extension;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct CatalogueEntry {
  int first = 0;
  int last = 0;
  std::string role;
};

std::vector<CatalogueEntry> ReadCatalogue() {
  std::vector<CatalogueEntry> entries;
  std::ifstream in(std::string(KIVO_TEST_DATA_DIR) + "text_catalogue.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    CatalogueEntry e;
    fields >> e.first >> e.last >> e.role;
    if (fields) entries.push_back(e);
  }
  return entries;
}

// Roles whose texts are data or words that must read alike in both files.
bool RoleEqualInBothLanguages(const std::string& role) {
  static const std::set<std::string> kEqual = {
      "same",       "menusep", "count",     "digits",     "causes",    "too",
      "baud",       "file",    "fieldsep",  "hexprefix",  "bitdigits", "binaryinput",
      "baseprefix", "word",    "fontsizes", "columnsame", "empty"};
  return kEqual.count(role) != 0;
}

// Roles of ordinary wording, which a translation changes.
bool RoleTranslated(const std::string& role) {
  static const std::set<std::string> kTranslated = {"text",   "combo", "edit",
                                                    "column", "cell",  "group"};
  return kTranslated.count(role) != 0 || role.rfind("placeholder:", 0) == 0;
}

bool AllDigits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::size_t CodePoints(std::string_view s) {
  return static_cast<std::size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
    } else if (c >= 0x80) {
      return false;
    }
    if (i + extra >= s.size() && extra != 0) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// The printf conversions of a text in order ("%d%s%s"); "%%" is a literal.
std::string Conversions(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') continue;
    if (i + 1 < s.size() && s[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < s.size() && std::string_view("-+#0").find(s[j]) != std::string_view::npos) ++j;
    while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
    if (j < s.size() && std::string_view("diouxXeEfgGcs").find(s[j]) != std::string_view::npos) {
      std::string_view conversion = s.substr(i, j - i + 1);
      // Flags and widths do not matter to the caller, precision of floats is kept.
      std::size_t dot = conversion.find('.');
      out += '%';
      if (dot != std::string_view::npos) out += conversion.substr(dot, conversion.size() - 1 - dot);
      out += s[j];
      i = j;
    }
  }
  return out;
}

std::vector<std::string> SplitCommas(std::string_view s) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = s.find(',', start);
    items.emplace_back(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

// The low and high bound of a data description of value kind 1 to 3: a run of
// digits from its third character, then non-digits, then a run of digits.
bool DescriptionRange(std::string_view d, long& low, long& high) {
  std::size_t i = 2;
  auto run = [&](long& value) {
    std::size_t start = i;
    value = 0;
    while (i < d.size() && std::isdigit(static_cast<unsigned char>(d[i]))) {
      value = value * 10 + (d[i] - '0');
      ++i;
    }
    return i > start;
  };
  if (!run(low)) return false;
  while (i < d.size() && !std::isdigit(static_cast<unsigned char>(d[i]))) ++i;
  return run(high);
}

// One language file, as read raw and as converted after loading.
struct LoadedLanguage {
  std::string extension;
  std::string content;
  TextTable raw;        // texts as written
  TextTable converted;  // after the post-load conversions
  TextLoadResult rawResult;
  TextLoadResult result;
};

LoadedLanguage& Loaded(const std::string& extension) {
  static std::map<std::string, LoadedLanguage> cache;
  auto [it, inserted] = cache.try_emplace(extension);
  LoadedLanguage& l = it->second;
  if (inserted) {
    l.extension = extension;
    l.content = ReadWhole(LanguagePath(extension));
    l.rawResult = l.raw.LoadFile(LanguagePath(extension));
    l.result = l.converted.LoadFile(LanguagePath(extension));
    if (l.result.ok()) l.converted.ApplyPostLoad();
  }
  return l;
}

// The numbered lines of a file: number -> text as the loader cuts it.
std::map<int, std::string> NumberedTexts(const std::string& content) {
  std::map<int, std::string> texts;
  std::istringstream in(content);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 7 || line[0] == ';') continue;
    int n = std::stoi(line.substr(0, 4));
    std::string text = line.substr(6);
    if (std::size_t semi = text.rfind(';'); semi != std::string::npos) text.resize(semi);
    texts[n] = text;
  }
  return texts;
}

class LanguageFile : public ::testing::TestWithParam<std::string> {
 protected:
  LoadedLanguage& lang() { return Loaded(GetParam()); }
  const TextTable& raw() { return lang().raw; }
  const TextTable& texts() { return lang().converted; }
};

INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageFile, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return info.param; });

TEST_P(LanguageFile, LoadsWithoutFault) {
  EXPECT_FALSE(lang().content.empty()) << LanguagePath(GetParam());
  EXPECT_TRUE(lang().result.ok()) << lang().result.message;
  EXPECT_EQ(texts().View(0), "");
}

// Every text line writes its number, the numbers run on without gaps, and the
// texts fit the table; a line without a number would silently shift all that
// follow it.
TEST_P(LanguageFile, EveryTextLineCarriesItsNumberInSequence) {
  const std::string& content = lang().content;
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.find('\r'), std::string::npos) << "LF line ends only";
  EXPECT_TRUE(ValidUtf8(content));
  ASSERT_EQ(content.back(), '\n');

  std::istringstream in(content);
  std::string line;
  int expected = 0;
  int lineNumber = 0;
  std::size_t poolOctets = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line[0] == ';') continue;
    ASSERT_GE(line.size(), 7u) << "line " << lineNumber << " would be skipped: " << line;
    ASSERT_TRUE(AllDigits(line.substr(0, 4))) << "line " << lineNumber << ": " << line;
    ASSERT_EQ(line.substr(4, 2), "  ") << "line " << lineNumber;
    ASSERT_EQ(std::stoi(line.substr(0, 4)), expected) << "line " << lineNumber;
    std::string text = line.substr(6);
    if (std::size_t semi = text.rfind(';'); semi != std::string::npos) text.resize(semi);
    EXPECT_LE(text.size(), TextTable::kMaxTextLength) << "text " << expected;
    poolOctets += text.size() + 1;
    ++expected;
  }
  EXPECT_GE(expected, TextTable::kRequiredTexts);
  EXPECT_LE(expected, TextTable::kTextCount);
  EXPECT_LT(poolOctets, kPoolTextOctets);
}

TEST_P(LanguageFile, CatalogueCoversEveryNumberOnce) {
  std::vector<CatalogueEntry> catalogue = ReadCatalogue();
  ASSERT_FALSE(catalogue.empty());
  int next = 0;
  for (const CatalogueEntry& e : catalogue) {
    EXPECT_EQ(e.first, next) << "catalogue line for " << e.first;
    EXPECT_LE(e.first, e.last);
    next = e.last + 1;
  }
  std::map<int, std::string> numbered = NumberedTexts(lang().content);
  ASSERT_FALSE(numbered.empty());
  EXPECT_EQ(next, numbered.rbegin()->first + 1) << "catalogue and file end at the same number";
}

TEST_P(LanguageFile, EveryCataloguedTextFitsItsRole) {
  for (const CatalogueEntry& e : ReadCatalogue()) {
    for (int n = e.first; n <= e.last; ++n) {
      SCOPED_TRACE("text " + std::to_string(n) + " role " + e.role);
      std::string_view t = raw().View(n);
      if (e.role == "empty") {
        EXPECT_EQ(t, "");
        continue;
      }
      ASSERT_FALSE(t.empty());
      if (e.role == "combo") {
        long count = raw().NumberText(n + 1);
        EXPECT_TRUE(AllDigits(raw().View(n + 1)));
        EXPECT_GT(count, 0);
        for (int i = 0; i < count; ++i) EXPECT_FALSE(raw().View(n + 2 + i).empty()) << "item " << i;
      } else if (e.role == "edit") {
        EXPECT_FALSE(raw().View(n + 1).empty()) << "hint";
      } else if (e.role == "count") {
        EXPECT_TRUE(AllDigits(t));
      } else if (e.role == "menusep") {
        EXPECT_EQ(t, "-");
      } else if (e.role == "cell") {
        EXPECT_LE(CodePoints(t), kCellWidth);
      } else if (e.role == "column" || e.role == "columnsame") {
        std::size_t comma = t.find(',');
        ASSERT_NE(comma, std::string_view::npos);
        EXPECT_TRUE(AllDigits(t.substr(0, comma)));
        EXPECT_GT(std::stol(std::string(t.substr(0, comma))), 0);
        EXPECT_FALSE(t.substr(comma + 1).empty());
        EXPECT_LE(CodePoints(t.substr(comma + 1)), kCellWidth);
      } else if (e.role == "group") {
        std::size_t eq = t.find('=');
        ASSERT_NE(eq, std::string_view::npos);
        EXPECT_TRUE(AllDigits(t.substr(0, eq)));
        EXPECT_LE(std::stol(std::string(t.substr(0, eq))), 255);
        EXPECT_GT(t.size(), eq + 1);
      } else if (e.role == "list") {
        for (const std::string& item : SplitCommas(t)) EXPECT_FALSE(item.empty());
      } else if (e.role == "digits") {
        EXPECT_EQ(t.size(), 16u);
        EXPECT_TRUE(AllDigits(t));
      } else if (e.role == "causes" || e.role == "too") {
        EXPECT_EQ(t.size() % 2, 0u);
        EXPECT_TRUE(AllDigits(t));
        for (std::size_t i = 0; i + 1 < t.size(); i += 2) EXPECT_NE(t.substr(i, 2), "00");
      } else if (e.role == "baud") {
        EXPECT_TRUE(AllDigits(t));
      } else if (e.role == "datadesc") {
        ASSERT_NE(std::string_view("01235").find(t[0]), std::string_view::npos);
        if (t[0] >= '1' && t[0] <= '3') {
          long low = 0;
          long high = 0;
          ASSERT_TRUE(DescriptionRange(t, low, high));
          EXPECT_LE(low, high);
        }
      } else if (e.role.rfind("placeholder:", 0) == 0) {
        EXPECT_EQ(Conversions(t), e.role.substr(12));
      }
      if (e.role.rfind("placeholder:", 0) != 0) {
        EXPECT_EQ(Conversions(t), "") << "a conversion in a text nobody formats";
      }
    }
  }
}

TEST_P(LanguageFile, SeparatorAndPrefixCharactersAreUsable) {
  std::string_view hex = texts().View(text::kHexPrefix);
  ASSERT_FALSE(hex.empty());
  EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(hex[0])) || hex[0] == ' ');
  EXPECT_EQ(texts().hexPrefix(), hex[0]);

  ASSERT_GE(texts().Length(text::kBitDigits), 2u);
  EXPECT_NE(texts().bitDigit(0), texts().bitDigit(1));

  std::string_view sep = texts().View(text::kFieldSeparator);
  ASSERT_FALSE(sep.empty());
  EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(sep[0])) || sep[0] == ' ' || sep[0] == '-' ||
               sep[0] == '.');
  EXPECT_EQ(texts().fieldSeparator(), sep[0]);

  EXPECT_EQ(texts().Length(kPortPrefix), 5u) << "the port number must start at position 6";
}

// A binary value written with the two bit digits reads back, and so does a
// hexadecimal value written with the hex prefix.
TEST_P(LanguageFile, BinaryInputAndBaseChoiceReadWhatIsWritten) {
  std::string_view input = texts().View(text::kBinaryInput);
  ASSERT_GE(input.size(), 4u);
  std::string_view zeros = input.substr(0, 3);
  std::string_view ones = input.substr(3);
  for (char c : zeros) EXPECT_EQ(ones.find(c), std::string_view::npos) << c;
  EXPECT_NE(zeros.find(texts().bitDigit(0)), std::string_view::npos);
  EXPECT_NE(ones.find(texts().bitDigit(1)), std::string_view::npos);

  std::string_view base = texts().View(kBaseChoice);
  ASSERT_GE(base.size(), 3u);
  std::size_t hexAt = base.find(texts().hexPrefix());
  ASSERT_NE(hexAt, std::string_view::npos);
  EXPECT_TRUE(hexAt == 2 || hexAt == 3) << "the hex prefix reads the whole text";
  for (char c : base) {
    EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(c))) << "plain numbers keep base 10";
  }
  for (std::size_t i = 4; i < base.size(); ++i) {
    EXPECT_NE(zeros.find(base[i]), std::string_view::npos)
        << "binary prefix " << base[i] << " must read as a 0 bit";
  }
}

TEST_P(LanguageFile, FunctionCodeDigitsFollowTheLinkLayer) {
  std::string_view primary = texts().View(kPrimaryFunctionDigits);
  std::string_view secondary = texts().View(kSecondaryFunctionDigits);
  ASSERT_EQ(primary.size(), 16u);
  ASSERT_EQ(secondary.size(), 16u);
  auto digit = [](std::string_view d, int fc) { return d[static_cast<std::size_t>(fc)] - '0'; };
  // Requests with FCV = 1: odd digits.
  for (int fc : {2, 3, 10, 11}) EXPECT_EQ(digit(primary, fc) % 2, 1) << "primary " << fc;
  // Requests with FCV = 0: even, non-zero digits.
  for (int fc : {0, 4, 7, 9}) {
    EXPECT_NE(digit(primary, fc), 0) << "primary " << fc;
    EXPECT_EQ(digit(primary, fc) % 2, 0) << "primary " << fc;
  }
  for (int fc : {5, 6, 12, 13, 14, 15}) EXPECT_EQ(digit(primary, fc), 0) << "primary " << fc;
  for (int fc : {0, 1, 8, 9, 11, 15}) EXPECT_NE(digit(secondary, fc), 0) << "secondary " << fc;
  for (int fc : {2, 3, 4, 5, 6, 7, 10}) EXPECT_EQ(digit(secondary, fc), 0) << "secondary " << fc;
}

TEST_P(LanguageFile, CauseSetsCoverEveryKnownTypeAndItsDefaults) {
  const int count = static_cast<int>(kKnownTypes.size()) + 1;
  ASSERT_EQ(texts().causeSetCount(), count);
  EXPECT_EQ(texts().View(text::kCauseSets + count), "") << "the sets end with an empty text";

  std::string_view common = texts().CauseSet(0);
  for (int k = 1; k < count; ++k) {
    ASSERT_FALSE(texts().CauseSet(k).empty()) << "type index " << k;
    for (char c : texts().CauseSet(k)) {
      EXPECT_NE(common.find(c), std::string_view::npos)
          << "cause " << static_cast<int>(static_cast<unsigned char>(c)) << " of type index " << k
          << " missing in the common set";
    }
    EXPECT_FALSE(texts().CausePermitted(k, 0));
  }
  // The initial send telegrams (type, cause) and the causes the link engine
  // itself sends must be admissible.
  const std::vector<std::pair<int, int>> used = {
      {1, 1},   {2, 1},   {3, 2},   {4, 1},   {5, 3},   {6, 8},   {7, 9},   {9, 2},   {10, 1},
      {20, 20}, {23, 31}, {24, 31}, {25, 31}, {26, 31}, {27, 31}, {28, 31}, {29, 31}, {30, 31},
      {31, 31}, {1, 20},  {1, 21},  {1, 12},  {8, 10},  {5, 4},   {5, 5}};
  for (auto [typ, cot] : used) {
    EXPECT_TRUE(texts().CausePermitted(TypeIndex(typ), cot)) << "TYP " << typ << " COT " << cot;
  }
}

TEST_P(LanguageFile, TooCodesOfTheDisturbanceTransferHaveNames) {
  std::string_view codes = texts().TooCodes();
  ASSERT_FALSE(codes.empty());
  for (int code :
       {1, 2, 3, 8, 9, 16, 17, 24, 32, 33, 34, 35, 36, 37, 38, 39, 40, 64, 65, 66, 67, 68, 69}) {
    EXPECT_NE(codes.find(static_cast<char>(code)), std::string_view::npos) << "TOO " << code;
  }
  for (std::size_t q = 1; q <= codes.size(); ++q) {
    EXPECT_FALSE(texts().View(text::kTooCodes + static_cast<int>(q)).empty()) << "name " << q;
  }
}

TEST_P(LanguageFile, BaudRatesAreIncreasingWithTheDefaultAt9600) {
  long count = texts().NumberText(kBaudCount);
  ASSERT_GT(count, kBaudDefaultIndex);
  EXPECT_EQ(texts().NumberText(text::kBaudRates + kBaudDefaultIndex), 9600);
  long previous = 0;
  for (int i = 0; i < count; ++i) {
    long baud = texts().NumberText(text::kBaudRates + i);
    EXPECT_GT(baud, previous) << "item " << i;
    previous = baud;
  }
}

// The font dialog finds the present size by the position of its digits in the
// list: position (from 1) divided by 6 is the item.
TEST_P(LanguageFile, FontSizeListFindsEverySizeAtItsItem) {
  std::string_view list = texts().View(kFontSizes);
  std::vector<std::string> items = SplitCommas(list);
  std::set<long> sizes;
  for (std::size_t i = 0; i < items.size(); ++i) {
    long size = std::stol(items[i]);
    EXPECT_GE(size, 8);
    EXPECT_LE(size, 16);
    std::size_t position = list.find(std::to_string(size)) + 1;
    EXPECT_EQ(position / 6, i) << "size " << size;
    sizes.insert(size);
  }
  EXPECT_EQ(sizes.count(9), 1u) << "the default size";
  EXPECT_EQ(sizes.count(10), 1u) << "the size that replaces one out of range";
}

TEST_P(LanguageFile, DataDescriptionsMatchTheValuesTheTypesCarry) {
  for (int k = 1; k <= static_cast<int>(kKnownTypes.size()); ++k) {
    std::string_view d = texts().View(kDataDescription + k);
    ASSERT_FALSE(d.empty()) << "type index " << k;
    EXPECT_EQ(d[0] != '0', !texts().View(kDataLabel + k).empty())
        << "type index " << k << ": a value field has a label exactly when it has a value kind";
  }
  EXPECT_EQ(texts().View(kDataDescription + TypeIndex(4))[0], '5') << "SCL is a float";
  // Initial data values of the send telegrams lie within their ranges.
  const std::vector<std::pair<int, long>> initial = {{1, 2},  {2, 2}, {3, 4},  {5, 2},
                                                     {7, 33}, {9, 9}, {20, 1}, {24, 1}};
  for (auto [typ, value] : initial) {
    std::string_view d = texts().View(kDataDescription + TypeIndex(typ));
    long low = 0;
    long high = 0;
    ASSERT_TRUE(DescriptionRange(d, low, high)) << "TYP " << typ;
    if (low != high) {
      EXPECT_GE(value, low) << "TYP " << typ;
      EXPECT_LE(value, high) << "TYP " << typ;
    }
  }
  // Measured values carry the 100 % hint in the second description.
  for (int typ : {3, 9}) {
    std::string_view d = texts().View(kSecondDataDescription + TypeIndex(typ));
    ASSERT_GE(d.size(), 15u);
    EXPECT_EQ(d[14], '%') << "TYP " << typ;
  }
}

TEST(LanguageFiles, AgreeWhereTheyMustAndDifferWhereTranslated) {
  const TextTable& usa = Loaded("usa").raw;
  const TextTable& ger = Loaded("ger").raw;
  ASSERT_TRUE(Loaded("usa").rawResult.ok());
  ASSERT_TRUE(Loaded("ger").rawResult.ok());
  for (const CatalogueEntry& e : ReadCatalogue()) {
    for (int n = e.first; n <= e.last; ++n) {
      SCOPED_TRACE("text " + std::to_string(n) + " role " + e.role);
      EXPECT_EQ(Conversions(usa.View(n)), Conversions(ger.View(n)));
      if (RoleEqualInBothLanguages(e.role)) {
        EXPECT_EQ(usa.View(n), ger.View(n));
      } else if (RoleTranslated(e.role)) {
        EXPECT_NE(usa.View(n), ger.View(n));
      }
      if (e.role == "combo") {
        EXPECT_EQ(usa.View(n + 1), ger.View(n + 1)) << "item count";
      } else if (e.role == "list") {
        EXPECT_EQ(SplitCommas(usa.View(n)).size(), SplitCommas(ger.View(n)).size());
      }
    }
  }
}

TEST(LanguageFiles, StartWordsAreTheSameInBothLanguages) {
  const TextTable& usa = Loaded("usa").raw;
  const TextTable& ger = Loaded("ger").raw;
  // Command lines written for one language must work in the other.
  for (int n : {673, 674, 1070, 1200, 1223}) EXPECT_EQ(usa.View(n), ger.View(n)) << n;
  EXPECT_NE(usa.View(673), usa.View(674));
}

TEST(LanguageFiles, PortEventsFormatPortNumberFunctionAndBaud) {
  for (const std::string& language : kLanguages) {
    const TextTable& t = Loaded(language).raw;
    EXPECT_EQ(Conversions(t.View(kStatusEventPortOpened)), "%d%s%s") << language;
    EXPECT_EQ(Conversions(t.View(kStatusEventPortClosed)), "%d%s%s") << language;
  }
}

}  // namespace
}  // namespace kivo
