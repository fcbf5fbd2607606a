#include "asdu/info_text_table.h"

#include <algorithm>

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

bool InfoTextTable::Add(std::uint32_t key, std::uint16_t colourWord, std::string_view name) {
  if (keys_.size() == capacity_) {
    std::size_t grown = capacity_ + std::max(kMinGrowth, capacity_ / 4);
    if (grown > kCapacityLimit) return false;
    capacity_ = grown;
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

std::uint16_t InfoTextTable::CurrentColourWord() const { return ColourWord(current_); }

std::string_view InfoTextTable::Name(int index) const {
  if (index < 0 || index >= Count()) return {};
  const std::size_t at = keys_[static_cast<std::size_t>(index)].offset;
  const std::size_t length = static_cast<std::uint8_t>(pool_[at + 2]);
  return std::string_view(pool_).substr(at + 3, length);
}

std::string_view InfoTextTable::NameByKey(std::uint32_t key) { return Name(Lookup(key)); }

std::uint32_t InfoTextTable::KeyAt(int index) const {
  return index >= 0 && index < Count() ? keys_[static_cast<std::size_t>(index)].key : 0;
}

bool GroupNameTable::Add(std::string_view name) {
  if (Count() >= kMaxGroups) return false;
  names_.emplace_back(name.substr(0, kMaxNameLength));
  return true;
}

std::string GroupNameTable::Name(int i) const {
  return i >= 0 && i < Count() ? names_[static_cast<std::size_t>(i)] : std::string();
}

}  // namespace kivo
