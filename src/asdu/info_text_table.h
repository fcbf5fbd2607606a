// Names and colours of information objects (TYP/FUN/INF), function-type group
// names and per-cause colours, from the operator's information text file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class TextTable;

// Key of an information object: INF bits 0-7, TYP bits 8-15, FUN bits 16-23.
constexpr std::uint32_t InfoKey(int typ, int fun, int inf) {
  return static_cast<std::uint32_t>((inf & 0xFF) | ((typ & 0xFF) << 8) | ((fun & 0xFF) << 16));
}

class InfoTextTable {
 public:
  static constexpr std::size_t kMaxNameLength = 79;
  static constexpr std::size_t kCapacityLimit = 32000;  // no growth beyond this

  // Empties the table (the pool is reused from its start).
  void Clear();
  // Adds an entry; false when the key array is full and may not grow.
  bool Add(std::uint32_t key, std::uint16_t colourWord, std::string_view name);
  // Sorts the keys (after loading).
  void Sort();

  // Exact lookup; sets the current index when found. -1 when absent.
  int Lookup(std::uint32_t key);
  int currentIndex() const { return current_; }
  // Colour word of the current index (0 when there is none).
  std::uint16_t CurrentColourWord() const;
  std::uint16_t ColourWord(int index) const;
  // Name of an entry; empty for an index outside the table.
  std::string_view Name(int index) const;
  std::string_view NameByKey(std::uint32_t key);
  std::uint32_t KeyAt(int index) const;
  int Count() const { return static_cast<int>(keys_.size()); }
  std::size_t Capacity() const { return capacity_; }
  // The key array is full and may not grow any more.
  bool AtLimit() const;

  // Walk of the entries matching a key with wildcards. With FUN != 0 the walk
  // covers the entries of that FUN and TYP (of every TYP when TYP is 0), INF
  // ignored; with FUN == 0 every entry of the TYP (of any TYP when 0), of
  // every FUN. An empty name ends the walk.
  struct Item {
    int inf = 0;
    std::string_view name;  // empty at the end of the walk
  };
  Item EnumerateFirst(std::uint32_t key);
  Item EnumerateNext();

 private:
  struct KeyEntry {
    std::uint32_t key;
    std::uint32_t offset;
  };
  std::vector<KeyEntry> keys_;
  std::size_t capacity_ = 0;
  std::string pool_;  // per entry: colour word (2 octets), length octet, name
  int current_ = -1;
  std::uint32_t searchKey_ = 0;
  std::uint32_t searchMask_ = 0;
  bool walking_ = false;

  std::size_t Growth() const;
  Item ItemAt(int index) const;
};

class GroupNameTable {
 public:
  static constexpr int kMaxGroups = 32;
  static constexpr std::size_t kMaxNameLength = 83;
  void Clear() { names_.clear(); }
  bool Add(std::string_view name);
  int Count() const { return static_cast<int>(names_.size()); }
  std::string Name(int i) const;
  // The eight default group names (texts 1090..1097) replace the table.
  void SetDefaults(const TextTable& texts);

 private:
  std::vector<std::string> names_;
};

struct InfoTextLoadResult {
  bool ok = false;
  int faultyLines = 0;
  std::string errorList;      // rows of faulty line numbers, as the message shows them
  std::string message;        // the faulty-lines message as shown; empty without faulty lines
  bool limitReached = false;  // reading stopped at the entry limit
};

// Text numbers of the loader.
namespace infotext {
inline constexpr int kDefaultGroups = 1090;  // .. 1097
inline constexpr int kDefaultGroupCount = 8;
inline constexpr int kFaultyLinesMessage = 1267;  // file name, count
inline constexpr int kFaultyLinesRow = 1268;
}  // namespace infotext

// Loads an information text file into the tables; URS lines write the
// per-cause colour words. Faulty lines leave their message in the result
// for the caller to show. A file that cannot be opened changes nothing. After a read error in
// the middle of the file the load fails; the lines taken so far stay, sorted.
InfoTextLoadResult LoadInfoTextFile(const std::string& path, const TextTable& texts,
                                    InfoTextTable& table, GroupNameTable& groups,
                                    std::array<std::uint16_t, 256>& causeColours);

}  // namespace kivo
