// Entries by name in the order in which their names first appeared, with a hash index beside
// the list: what the renderer keeps of its materials, lights, nodes, scenes and properties.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace q9x {

// Setting an existing name keeps its place; removing a name and adding it again puts it last.
// Set, Find and Remove cost the same however long the list is; walking the list costs what it
// holds. Entries never move while names are added, so a pointer to one stays good until its name
// is removed (a removal may close the gaps earlier removals left, moving the others).
template <typename T>
class NamedList {
  struct Slot {
    const std::string* name = nullptr;  // the index's key; null for the gap a removal left
    std::optional<T> value;
  };
  using Slots = std::deque<Slot>;

 public:
  NamedList() = default;
  NamedList(const NamedList& other) {
    for (const auto& [name, value] : other) Set(name, value);
  }
  NamedList& operator=(const NamedList& other) {
    if (this != &other) {
      NamedList copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  // The index's keys and the list's slots keep their addresses when the containers move.
  NamedList(NamedList&&) = default;
  NamedList& operator=(NamedList&&) = default;

  T& Set(std::string_view name, T value) {
    if (T* existing = Find(name)) return *existing = std::move(value);
    const auto at = index_.emplace(std::string(name), slots_.size()).first;
    try {
      slots_.push_back({&at->first, std::move(value)});
    } catch (...) {
      index_.erase(at);
      throw;
    }
    return *slots_.back().value;
  }
  T* Find(std::string_view name) {
    const auto at = index_.find(name);
    return at == index_.end() ? nullptr : &*slots_[at->second].value;
  }
  const T* Find(std::string_view name) const { return const_cast<NamedList*>(this)->Find(name); }
  void Remove(std::string_view name) {
    const auto at = index_.find(name);
    if (at == index_.end()) return;
    slots_[at->second] = Slot{};
    index_.erase(at);
    // Once gaps are most of the list they are closed, so that a list emptied by many removals
    // costs no more to walk than it holds.
    if (++gaps_ > 16 && gaps_ * 2 > slots_.size()) Close();
  }
  void Clear() {
    index_.clear();
    slots_.clear();
    gaps_ = 0;
  }
  size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }

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
    reference operator*() const { return {*at_->name, *at_->value}; }
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
      while (at_ != end_ && !at_->name) ++at_;
    }
    typename Slots::const_iterator at_, end_;
  };
  const_iterator begin() const { return {slots_.begin(), slots_.end()}; }
  const_iterator end() const { return {slots_.end(), slots_.end()}; }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  void Close() {
    size_t kept = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (!slots_[i].name) continue;
      index_.find(*slots_[i].name)->second = kept;
      if (i != kept) slots_[kept] = std::move(slots_[i]);
      ++kept;
    }
    slots_.resize(kept);
    gaps_ = 0;
  }

  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;  // name -> slot
  Slots slots_;  // grows without moving its entries
  size_t gaps_ = 0;
};

}  // namespace q9x
