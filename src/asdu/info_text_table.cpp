#include "asdu/info_text_table.h"

#include <algorithm>

#include "text/text_table.h"

namespace kivo {

namespace {
constexpr std::size_t kMinGrowth = 200;
constexpr std::size_t kMinPoolGrowth = 2000;
}  // namespace

void InfoTextTable::Clear() {
  keys_.clear();
  pool_.clear();
  current_ = -1;
  walking_ = false;
}

std::size_t InfoTextTable::Growth() const {
  return std::max(kMinGrowth, capacity_ / 4);
}

bool InfoTextTable::AtLimit() const {
  return keys_.size() == capacity_ && capacity_ + Growth() > kCapacityLimit;
}

bool InfoTextTable::Add(std::uint32_t key, std::uint16_t colourWord, std::string_view name) {
  if (keys_.size() == capacity_) {
    if (AtLimit()) return false;
    capacity_ += Growth();
    keys_.reserve(capacity_);
  }
  if (pool_.size() == pool_.capacity()) {
    pool_.reserve(pool_.size() + std::max(kMinPoolGrowth, pool_.size() / 4));
  }
  name = name.substr(0, kMaxNameLength);
  keys_.push_back({key, static_cast<std::uint32_t>(pool_.size())});
  pool_.push_back(static_cast<char>(colourWord & 0xFF));
  pool_.push_back(static_cast<char>(colourWord >> 8));
  pool_.push_back(static_cast<char>(name.size()));
  pool_.append(name);
  return true;
}

void InfoTextTable::Sort() {
  std::stable_sort(keys_.begin(), keys_.end(),
                   [](const KeyEntry& a, const KeyEntry& b) { return a.key < b.key; });
  current_ = -1;
  walking_ = false;
}

int InfoTextTable::Lookup(std::uint32_t key) {
  auto it = std::lower_bound(keys_.begin(), keys_.end(), key,
                             [](const KeyEntry& e, std::uint32_t k) { return e.key < k; });
  if (it == keys_.end() || it->key != key) return -1;
  current_ = static_cast<int>(it - keys_.begin());
  return current_;
}

std::uint16_t InfoTextTable::ColourWord(int index) const {
  if (index < 0 || index >= Count()) return 0;
  const std::size_t at = keys_[static_cast<std::size_t>(index)].offset;
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(pool_[at]) |
                                    (static_cast<std::uint8_t>(pool_[at + 1]) << 8));
}

std::uint16_t InfoTextTable::CurrentColourWord() const {
  return ColourWord(current_);
}

std::string_view InfoTextTable::Name(int index) const {
  if (index < 0 || index >= Count()) return {};
  const std::size_t at = keys_[static_cast<std::size_t>(index)].offset;
  const std::size_t length = static_cast<std::uint8_t>(pool_[at + 2]);
  return std::string_view(pool_).substr(at + 3, length);
}

std::string_view InfoTextTable::NameByKey(std::uint32_t key) {
  return Name(Lookup(key));
}

std::uint32_t InfoTextTable::KeyAt(int index) const {
  return index >= 0 && index < Count() ? keys_[static_cast<std::size_t>(index)].key : 0;
}

InfoTextTable::Item InfoTextTable::ItemAt(int index) const {
  return Item{static_cast<int>(KeyAt(index) & 0xFF), Name(index)};
}

InfoTextTable::Item InfoTextTable::EnumerateFirst(std::uint32_t key) {
  searchKey_ = key;
  walking_ = true;
  const bool funGiven = (key & 0x00FF0000u) != 0;
  if (!funGiven) {
    searchMask_ = 0;
    current_ = -1;
    return EnumerateNext();
  }
  searchMask_ = (key & 0x0000FF00u) != 0 ? 0xFFFFFF00u : 0xFFFF0000u;
  const std::uint32_t masked = key & searchMask_;
  auto it = std::lower_bound(keys_.begin(), keys_.end(), masked,
                             [](const KeyEntry& e, std::uint32_t k) { return e.key < k; });
  const int position = static_cast<int>(it - keys_.begin());
  if (it != keys_.end() && it->key == masked) {
    current_ = position;
    return ItemAt(current_);
  }
  current_ = position - 1;
  return EnumerateNext();
}

InfoTextTable::Item InfoTextTable::EnumerateNext() {
  if (!walking_) return {};
  const bool funGiven = (searchKey_ & 0x00FF0000u) != 0;
  const std::uint32_t searchTyp = searchKey_ & 0x0000FF00u;
  while (current_ + 1 < Count()) {
    ++current_;
    const std::uint32_t key = KeyAt(current_);
    if (funGiven) {
      if ((key & searchMask_) != (searchKey_ & searchMask_)) break;
      return ItemAt(current_);
    }
    if (searchTyp == 0 || (key & 0x0000FF00u) == searchTyp) return ItemAt(current_);
  }
  // The end of the walk; further steps stay at the end.
  walking_ = false;
  current_ = Count();
  return {};
}

bool GroupNameTable::Add(std::string_view name) {
  if (Count() >= kMaxGroups) return false;
  names_.emplace_back(name.substr(0, kMaxNameLength));
  return true;
}

std::string GroupNameTable::Name(int i) const {
  return i >= 0 && i < Count() ? names_[static_cast<std::size_t>(i)] : std::string();
}

void GroupNameTable::SetDefaults(const TextTable& texts) {
  Clear();
  for (int i = 0; i < infotext::kDefaultGroupCount; ++i)
    Add(texts.View(infotext::kDefaultGroups + i));
}

}  // namespace kivo
