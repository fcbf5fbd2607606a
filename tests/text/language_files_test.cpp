// The two language files as shipped: they load through the real loader, every
// text number has the role the catalogue gives it, the data texts parse in
// their formats, and the two languages agree wherever they must.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "text/text_table.h"

namespace kivo {
namespace {

// Text numbers with a data role that the checks below rely on.
constexpr int kBaseChoice = 29, kBaudCount = 656, kBaudDefaultIndex = 8, kFontSizes = 1402;
constexpr int kDataDescription = 936, kSecondDataDescription = 970, kDataLabel = 729;  // + index

// The known-type list: type index k (from 1) names known[k - 1].
const std::vector<int> kKnownTypes = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,  20,
                                      21, 23, 24, 25, 26, 27, 28, 29, 30, 31, 128, 129};
int TypeIndex(int typ) {
  return static_cast<int>(std::ranges::find(kKnownTypes, typ) - kKnownTypes.begin() + 1);
}

// UTF-8 text as code points; "\x01" when it is no valid UTF-8.
std::wstring Wide(std::string_view s) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::wstring w(s.size() + 1, L'\0');
  const std::size_t n = std::mbstowcs(w.data(), std::string(s).c_str(), w.size());
  return n == static_cast<std::size_t>(-1) ? L"\x01" : w.substr(0, n);
}

// The printf conversions of a text in order, without flags and widths but with
// the precision ("%d%.0f"); "%%" is a literal.
std::string Conversions(std::string_view text) {
  static const std::regex kConversion("%%|%[-+#0]*[0-9]*(\\.[0-9]*)?([diouxXeEfgGcs])");
  const std::string s(text);
  std::string out;
  for (std::sregex_iterator m(s.begin(), s.end(), kConversion), end; m != end; ++m) {
    if ((*m)[2].matched) out += "%" + (*m)[1].str() + (*m)[2].str();
  }
  return out;
}

// The bounds of a data description of value kind 1 to 3: digits from its third
// character, then non-digits, then digits.
bool DescriptionRange(std::string_view d, long& low, long& high) {
  return d.size() > 2 && d[2] >= '0' && d[2] <= '9' &&
         std::sscanf(std::string(d.substr(2)).c_str(), "%ld%*[^0-9]%ld", &low, &high) == 2;
}

// The forms of the data texts by role, and the width of a table cell.
const std::map<std::string, std::wregex> kForms = {
    {"count", std::wregex(L"0*[1-9][0-9]*")},
    {"baud", std::wregex(L"[0-9]+")},
    {"menusep", std::wregex(L"-")},
    // Function code digits: odd for requests with FCV = 1, even for FCV = 0,
    // 0 where the function is not used.
    {"fcprimary", std::wregex(L"[2468][0-9][13579]{2}[2468]00[2468][0-9][2468][13579]{2}0000")},
    {"fcsecondary", std::wregex(L"[1-9]{2}0{6}[1-9]{2}0[1-9][0-9]{3}[1-9]")},
    {"hexprefix", std::wregex(L"[^0-9A-Za-z ].*")},
    {"bitdigits", std::wregex(L"(.)(?!\\1).+")},
    {"fieldsep", std::wregex(L"[^0-9A-Za-z .-].*")},
    {"portprefix", std::wregex(L".{5}")},  // the port number starts at position 6
    {"causes", std::wregex(L"((?!00)[0-9]{2})+")},
    {"too", std::wregex(L"((?!00)[0-9]{2})+")},
    {"list", std::wregex(L"[^,]+(,[^,]+)*")},
    {"cell", std::wregex(L".{1,15}")},
    {"column", std::wregex(L"0*[1-9][0-9]*,.{1,15}")},
    {"columnsame", std::wregex(L"0*[1-9][0-9]*,.{1,15}")},
    {"group", std::wregex(L"0*(1?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])=.+")},
    {"datadesc", std::wregex(L"[05].*|[1-3].[0-9]+[^0-9]+[0-9]+.*")}};

// Calls `check(n, role)` for every text number of the catalogue.
template <typename Check>
void ForEachCatalogued(Check check) {
  std::ifstream in(std::string(KIVO_TEST_DATA_DIR) + "text_catalogue.tsv");
  int next = 0, first = 0, last = 0;
  std::string role;
  for (std::string line; std::getline(in, line);) {
    if (line[0] == '#' || !(std::istringstream(line) >> first >> last >> role)) continue;
    EXPECT_TRUE(first == next && first <= last) << "catalogue line for " << first;
    for (next = first; next <= last; ++next) {
      SCOPED_TRACE("text " + std::to_string(next) + " role " + role);
      check(next, role);
    }
  }
}

// One language file as read, its texts as written and after the post-load
// conversions.
struct Language {
  std::string content;
  TextTable raw, texts;
  TextLoadResult result;
};
const Language& Loaded(const std::string& extension) {
  static std::map<std::string, Language> cache;
  auto [it, fresh] = cache.try_emplace(extension);
  if (fresh) {
    const std::string path = std::string(KIVO_LANG_DIR) + "KivoText." + extension;
    std::ifstream in(path, std::ios::binary);
    it->second.content.assign(std::istreambuf_iterator<char>(in), {});
    it->second.raw.LoadFile(path);
    it->second.result = it->second.texts.LoadFile(path);
    it->second.texts.ApplyPostLoad();
  }
  return it->second;
}

class LanguageFile : public ::testing::TestWithParam<std::string> {
 protected:
  const Language& lang() { return Loaded(GetParam()); }
  const TextTable& raw() { return lang().raw; }
  const TextTable& texts() { return lang().texts; }
};
INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageFile, ::testing::Values("usa", "ger"),
                         [](const auto& info) { return info.param; });

// Every text line writes its number (a line without one takes the next
// number, so lines put in or left out would shift the texts after them), the
// texts are not cut, and the catalogue ends where the file does.
TEST_P(LanguageFile, EveryTextLineCarriesItsNumberInSequence) {
  const std::string& content = lang().content;
  ASSERT_TRUE(lang().result.ok()) << lang().result.message;
  EXPECT_TRUE(content.ends_with('\n') && content.find('\r') == std::string::npos) << "LF only";
  EXPECT_NE(Wide(content), L"\x01") << "valid UTF-8";
  std::istringstream in(content);
  int lines = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';') continue;
    char number[16];
    std::snprintf(number, sizeof number, "%04d  ", lines++);
    ASSERT_EQ(line.substr(0, 6), number) << line;
    EXPECT_LE(std::min(line.rfind(';'), line.size()) - 6, TextTable::kMaxTextLength) << line;
  }
  int catalogued = 0;
  ForEachCatalogued([&](int n, const std::string&) { catalogued = n + 1; });
  EXPECT_EQ(catalogued, lines) << "catalogue and file end at the same number";
}

TEST_P(LanguageFile, EveryCataloguedTextFitsItsRole) {
  ForEachCatalogued([&](int n, const std::string& role) {
    const std::string_view t = raw().View(n);
    EXPECT_EQ(t.empty(), role == "empty");
    if (auto form = kForms.find(role); form != kForms.end()) {
      EXPECT_TRUE(std::regex_match(Wide(t), form->second)) << t;
    }
    long low = 0, high = 0;
    EXPECT_TRUE(role != "datadesc" || !DescriptionRange(t, low, high) || low < high);
    for (int i = 0; role == "combo" && i < raw().NumberText(n + 1); ++i) {
      EXPECT_NE(raw().Length(n + 2 + i), 0u) << "item " << i;
    }
    // So both languages have the same conversions in the same order.
    const bool formatted = role.starts_with("placeholder:");
    EXPECT_EQ(Conversions(t), formatted ? role.substr(12) : "") << "conversions";
  });
}

TEST_P(LanguageFile, BinaryAndBaseChoicesReadWithTheDigitsAndPrefixes) {
  // A binary value written with the two bit digits reads back, and so does a
  // hexadecimal value written with the hex prefix.
  const std::string_view input = texts().View(text::kBinaryInput);
  ASSERT_GE(input.size(), 4u);
  const std::string_view zeros = input.substr(0, 3), ones = input.substr(3);
  EXPECT_EQ(ones.find_first_of(zeros), std::string_view::npos);
  EXPECT_NE(zeros.find(texts().bitDigit(0)), std::string_view::npos);
  EXPECT_NE(ones.find(texts().bitDigit(1)), std::string_view::npos);
  const std::string_view base = texts().View(kBaseChoice);
  ASSERT_GE(base.size(), 3u);
  const std::size_t hexAt = base.find(texts().hexPrefix());
  EXPECT_TRUE(hexAt == 2 || hexAt == 3) << "the hex prefix reads the whole text";
  EXPECT_EQ(base.find_first_of("0123456789"), base.npos) << "plain numbers keep base 10";
  EXPECT_EQ(base.substr(std::min<std::size_t>(4, base.size())).find_first_not_of(zeros), base.npos)
      << "binary prefixes read as 0 bits";
}

TEST_P(LanguageFile, CauseSetsAndTooCodesCoverWhatTheProgramSends) {
  const int count = static_cast<int>(kKnownTypes.size()) + 1;
  ASSERT_EQ(texts().causeSetCount(), count) << "one set for each type and the common set";
  for (int k = 1; k < count; ++k) {
    EXPECT_FALSE(texts().CauseSet(k).empty()) << "type index " << k;
    EXPECT_EQ(texts().CauseSet(k).find_first_not_of(texts().CauseSet(0)), std::string_view::npos)
        << "type index " << k << " has a cause the common set lacks";
  }
  // The initial send telegrams (type, cause) and the causes the link engine
  // itself sends must be admissible.
  for (auto [typ, cot] : std::vector<std::pair<int, int>>{
           {1, 1},   {2, 1},   {3, 2},   {4, 1},   {5, 3},   {6, 8},   {7, 9},   {9, 2},   {10, 1},
           {20, 20}, {23, 31}, {24, 31}, {25, 31}, {26, 31}, {27, 31}, {28, 31}, {29, 31}, {30, 31},
           {31, 31}, {1, 20},  {1, 21},  {1, 12},  {8, 10},  {5, 4},   {5, 5}}) {
    EXPECT_TRUE(texts().CausePermitted(TypeIndex(typ), cot)) << "TYP " << typ << " COT " << cot;
  }
  const std::string_view codes = texts().TooCodes();
  for (char code : std::string{1,  2,  3,  8,  9,  16, 17, 24, 32, 33, 34, 35,
                               36, 37, 38, 39, 40, 64, 65, 66, 67, 68, 69}) {
    EXPECT_NE(codes.find(code), std::string_view::npos) << "TOO " << int(code);
  }
}

TEST_P(LanguageFile, BaudRatesFontSizesAndDataDescriptionsAreWhereTheirReadersLook) {
  const long count = texts().NumberText(kBaudCount);
  ASSERT_GT(count, kBaudDefaultIndex);
  EXPECT_EQ(texts().NumberText(text::kBaudRates + kBaudDefaultIndex), 9600);
  for (int i = 1; i < count; ++i) {
    EXPECT_GT(texts().NumberText(text::kBaudRates + i),
              texts().NumberText(text::kBaudRates + i - 1))
        << "increasing, item " << i;
  }
  // The font dialog finds the present size by the position of its digits in
  // the list: position (from 1) divided by 6 is the item.
  const std::string_view list = texts().View(kFontSizes);
  const std::vector<std::string> items = texts().List(kFontSizes);
  std::set<long> sizes;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const long size = std::stol(items[i]);
    EXPECT_TRUE(size >= 8 && size <= 16) << size;
    EXPECT_EQ((list.find(std::to_string(size)) + 1) / 6, i) << "size " << size;
    sizes.insert(size);
  }
  EXPECT_TRUE(sizes.count(9) && sizes.count(10)) << "the default and the replacement size";

  for (int k = 1; k <= static_cast<int>(kKnownTypes.size()); ++k) {
    EXPECT_EQ(texts().View(kDataDescription + k).substr(0, 1) != "0",
              texts().Length(kDataLabel + k) != 0)
        << "type index " << k << ": a value field has a label exactly when it has a value kind";
  }
  EXPECT_EQ(texts().View(kDataDescription + TypeIndex(4)).substr(0, 1), "5") << "SCL is a float";
  // Initial data values of the send telegrams lie within their ranges.
  for (auto [typ, value] : std::vector<std::pair<int, long>>{
           {1, 2}, {2, 2}, {3, 4}, {5, 2}, {7, 33}, {9, 9}, {20, 1}, {24, 1}}) {
    long low = 0, high = 0;
    ASSERT_TRUE(DescriptionRange(texts().View(kDataDescription + TypeIndex(typ)), low, high));
    EXPECT_TRUE(low == high || (value >= low && value <= high)) << "TYP " << typ;
  }
  // Measured values carry the 100 % hint in the second description.
  for (int typ : {3, 9}) {
    EXPECT_EQ(texts().View(kSecondDataDescription + TypeIndex(typ)).substr(14, 1), "%") << typ;
  }
}

// Roles whose texts are data or words that must read alike in both files, and
// roles of ordinary wording, which a translation changes.
const std::set<std::string> kSameInBoth = {
    "same",       "menusep", "count",     "fcprimary",  "fcsecondary", "portprefix", "causes",
    "too",        "baud",    "file",      "fieldsep",   "hexprefix",   "bitdigits",  "binaryinput",
    "baseprefix", "word",    "fontsizes", "columnsame", "empty"};
const std::set<std::string> kTranslated = {"text", "combo", "edit", "column", "cell", "group"};

TEST(LanguageFiles, AgreeWhereTheyMustAndDifferWhereTranslated) {
  const TextTable& usa = Loaded("usa").raw;
  const TextTable& ger = Loaded("ger").raw;
  ForEachCatalogued([&](int n, const std::string& role) {
    EXPECT_TRUE(!kSameInBoth.count(role) || usa.View(n) == ger.View(n)) << ger.View(n);
    if (kTranslated.count(role) || role.starts_with("placeholder:")) {
      EXPECT_NE(usa.View(n), ger.View(n));
    }
    EXPECT_TRUE(role != "list" || usa.List(n).size() == ger.List(n).size());
  });
  // The command line tells the two start words apart.
  EXPECT_NE(usa.View(text::kOffline), usa.View(text::kOnline));
}

}  // namespace
}  // namespace kivo
