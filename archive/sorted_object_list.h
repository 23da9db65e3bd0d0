// TObjectList and TSortedObjectList: the growable pointer lists the in-memory directory is
// made of.
//
// Ownership: a list with OwnsObjects set (the default) deletes its items when they are
// deleted, cleared or the list is destroyed; Extract removes an item without deleting it.
// Add hands the item to an owning list only when it was inserted (result >= 0); an item
// ignored as a duplicate (result -1) stays the caller's.
// Capacity grows by 4 while below 5, by 8 while below 9 and by 16 after that, to at most
// kMaxItems; going beyond, or an index outside the list, raises EListError. The limit is
// the largest index an int holds: a Zip64 archive may have any number of entries, and what
// bounds a directory read from a file is the file's size (46 bytes per central header).
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "archive/zip_errors.h"

namespace archive {

template <class T>
class TObjectList {
 public:
  static constexpr int kMaxItems = std::numeric_limits<int>::max() - 16;

  explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
  virtual ~TObjectList() { Clear(); }
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  bool OwnsObjects;

  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  T* Item(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
  }
  T* operator[](int index) const { return Item(index); }

  // Appends at the end (plain lists only; sorted lists refuse chosen places).
  virtual int Append(T* item) {
    InsertAt(Count(), item);
    return Count() - 1;
  }
  virtual void Put(int index, T* item) {
    CheckIndex(index);
    T*& slot = items_[static_cast<std::size_t>(index)];
    if (OwnsObjects && slot != item) delete slot;
    slot = item;
  }
  void Delete(int index) {
    T* item = Extract(index);
    if (OwnsObjects) delete item;
  }
  T* Extract(int index) {
    CheckIndex(index);
    T* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    return item;
  }
  int IndexOf(const T* item) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i] == item) return static_cast<int>(i);
    return -1;
  }
  void Clear() {
    std::vector<T*> items;
    items.swap(items_);
    capacity_ = 0;
    if (OwnsObjects)
      for (T* item : items) delete item;
  }

 protected:
  void InsertAt(int index, T* item) {
    if (index < 0 || index > Count()) throw EListError(IndexText(index));
    if (Count() == capacity_) Grow();
    items_.insert(items_.begin() + index, item);
  }
  void CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(IndexText(index));
  }

 private:
  static std::string IndexText(int index) {
    return "List index out of bounds (" + std::to_string(index) + ")";
  }
  void Grow() {
    const int capacity = Capacity();
    const int delta = capacity < 5 ? 4 : capacity < 9 ? 8 : 16;
    if (capacity >= kMaxItems)
      throw EListError("List capacity out of bounds (" + std::to_string(capacity + 1) + ")");
    capacity_ = capacity + delta > kMaxItems ? kMaxItems : capacity + delta;
  }

  std::vector<T*> items_;  // grows geometrically underneath the counted capacity
  int capacity_ = 0;
};

// What Add does with an item equal to one already in the list.
enum class TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

template <class T>
class TSortedObjectList : public TObjectList<T> {
 public:
  explicit TSortedObjectList(bool ownsObjects = true) : TObjectList<T>(ownsObjects) {}

  TDuplicates Duplicates = TDuplicates::dupIgnore;

  // Negative when a goes before b.
  virtual int Compare(const T& a, const T& b) const = 0;

  // Sorted insert. Returns the index, or -1 when a duplicate was ignored; raises EListError
  // "Duplicate Object index" for a duplicate under dupError.
  int Add(T* item) {
    int index = 0;
    if (Find(*item, index)) {
      if (Duplicates == TDuplicates::dupIgnore) return -1;
      if (Duplicates == TDuplicates::dupError) throw EListError("Duplicate Object index");
    }
    this->InsertAt(index, item);
    return index;
  }
  int Append(T* item) override { return Add(item); }

  // Binary search; index = a match, or where the key would be inserted. When duplicates are
  // accepted, the index is the first of the equal items.
  bool Find(const T& key, int& index) const {
    int lo = 0;
    int hi = this->Count() - 1;
    bool found = false;
    while (hi >= lo) {
      const int mid = lo + (hi - lo) / 2;
      const int r = Compare(*this->Item(mid), key);
      if (r < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (r == 0) {
          found = true;
          if (Duplicates != TDuplicates::dupAccept) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }

  void Put(int, T*) override { throw EListError("Cannot <Put> an Object in a sorted list!"); }
};

}  // namespace archive
