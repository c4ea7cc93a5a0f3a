// Entries by name in the order in which their names first appeared, with a hash index beside
// the list: what the renderer keeps of its materials, lights, nodes, scenes and properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace q9x {

// Setting an existing name keeps its place; removing a name and adding it again puts it last.
// Set, Find and Remove cost the same however long the list is; walking the list costs what it
// holds. Entries never move while names are added, so a pointer to one stays good until a name
// is removed (a removal may close the gaps earlier removals left, moving the others).
//
// The list is a deque of named slots; the index an open-addressed table of slot numbers, each
// with part of its name's hash, at most half full, so a lookup mostly touches one bucket and
// the one slot it names.
template <typename T>
class NamedList {
  struct Slot {
    std::string name;
    std::optional<T> value;  // none: the gap a removal left
  };
  using Slots = std::deque<Slot>;

 public:
  T& Set(std::string_view name, T value) {
    const size_t hash = HashOf(name);
    if (const uint32_t* at = Lookup(name, hash)) return *slots_[*at].value = std::move(value);
    if (slots_.size() >= kTombstone) throw std::length_error("NamedList: too many entries");
    Reserve(live_ + 1);
    slots_.push_back({std::string(name), std::move(value)});
    Place(hash, static_cast<uint32_t>(slots_.size() - 1));
    ++live_;
    return *slots_.back().value;
  }
  T* Find(std::string_view name) {
    const uint32_t* at = Lookup(name, HashOf(name));
    return at ? &*slots_[*at].value : nullptr;
  }
  const T* Find(std::string_view name) const { return const_cast<NamedList*>(this)->Find(name); }
  void Remove(std::string_view name) {
    uint32_t* at = Lookup(name, HashOf(name));
    if (!at) return;
    slots_[*at] = Slot{};
    *at = kTombstone;
    --live_;
    ++tombstones_;
    // Once gaps are most of the list they are closed, so that a list emptied by many removals
    // costs no more to walk than it holds.
    if (slots_.size() > 16 && live_ * 2 < slots_.size()) Close();
  }
  void Clear() {
    slots_.clear();
    buckets_.clear();
    live_ = tombstones_ = 0;
  }
  size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }

  // Walks the entries in list order as (name, entry) pairs.
  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::pair<const std::string&, const T&>;
    using reference = value_type;
    using difference_type = std::ptrdiff_t;
    struct pointer {
      value_type pair;
      const value_type* operator->() const { return &pair; }
    };

    const_iterator() = default;
    const_iterator(typename Slots::const_iterator at, typename Slots::const_iterator end)
        : at_(at), end_(end) {
      Skip();
    }
    reference operator*() const { return {at_->name, *at_->value}; }
    pointer operator->() const { return {**this}; }
    const_iterator& operator++() {
      ++at_;
      Skip();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }

   private:
    void Skip() {
      while (at_ != end_ && !at_->value) ++at_;
    }
    typename Slots::const_iterator at_, end_;
  };
  const_iterator begin() const { return {slots_.begin(), slots_.end()}; }
  const_iterator end() const { return {slots_.end(), slots_.end()}; }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  static constexpr uint32_t kTombstone = UINT32_MAX - 1;

  struct Bucket {
    uint32_t tag = 0;        // the hash's upper half
    uint32_t slot = kEmpty;  // kEmpty, kTombstone or the slot's number
  };

  static size_t HashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }
  static uint32_t TagOf(size_t hash) { return static_cast<uint32_t>(static_cast<uint64_t>(hash) >> 32); }

  // The bucket that holds `name`'s slot number, or null.
  uint32_t* Lookup(std::string_view name, size_t hash) {
    if (buckets_.empty()) return nullptr;
    const size_t mask = buckets_.size() - 1;
    const uint32_t tag = TagOf(hash);
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Bucket& bucket = buckets_[i];
      if (bucket.slot == kEmpty) return nullptr;
      if (bucket.slot != kTombstone && bucket.tag == tag && slots_[bucket.slot].name == name) return &bucket.slot;
    }
  }

  // Puts a slot number in the first free bucket of its hash's run.
  void Place(size_t hash, uint32_t slot) {
    const size_t mask = buckets_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Bucket& bucket = buckets_[i];
      if (bucket.slot == kEmpty || bucket.slot == kTombstone) {
        if (bucket.slot == kTombstone) --tombstones_;
        bucket = {TagOf(hash), slot};
        return;
      }
    }
  }

  // Room for `entries` with the table at most half full (removed names counting as full).
  void Reserve(size_t entries) {
    if ((entries + tombstones_) * 2 <= buckets_.size()) return;
    size_t size = 16;
    while (size < entries * 2) size *= 2;
    Rebuild(size);
  }

  void Rebuild(size_t size) {
    buckets_.assign(size, Bucket{});
    tombstones_ = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].value) Place(HashOf(slots_[i].name), static_cast<uint32_t>(i));
    }
  }

  void Close() {
    size_t kept = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (!slots_[i].value) continue;
      if (i != kept) slots_[kept] = std::move(slots_[i]);
      ++kept;
    }
    slots_.resize(kept);
    size_t size = 16;
    while (size < kept * 2) size *= 2;
    Rebuild(size);
  }

  Slots slots_;  // grows without moving its entries
  std::vector<Bucket> buckets_;  // a power of two, or none
  size_t live_ = 0;
  size_t tombstones_ = 0;
};

}  // namespace q9x
