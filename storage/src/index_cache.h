// The page cache of an open key index: pages by file offset, dropped in "clock" order (a page
// used since the hand last passed it gets another round).
//
// Lookups and insertions allocate nothing once the cache has filled: the offset map is sized
// when the cache is made and pages live in fixed blocks. A page used by the operation under way
// is never dropped (its pointer stays valid until the operation ends), and neither is a changed
// page before it was written; when every page is held so, the cache grows.
//
// Changed pages may stay unwritten across several operations. So that an operation that does not
// complete can be undone without losing the ones before it, a journaled operation keeps a copy of
// every changed page as it was before the operation first touched it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "index_page.h"

namespace db::ntx {

class PageCache {
 public:
  explicit PageCache(std::size_t capacity);

  // Starts a new operation: pages used from now on stay until the next call.
  void beginOperation() {
    ++op_;
    journaling_ = false;
  }
  // Starts an operation that rollback() can undo.
  void beginJournaled() {
    beginOperation();
    journaling_ = true;
    journal_.clear();
    journalOffsets_.clear();
  }
  // Undoes the journaled operation: changed pages it touched get their earlier bytes back (they
  // stay changed), every other page it touched is forgotten, to be read again from the file.
  void rollback();

  // The cached page at `offset`, or nullptr.
  char* find(std::uint32_t offset);
  // The same, without counting as a use (for writing pages out).
  const char* peek(std::uint32_t offset) const {
    const int s = lookup(offset);
    return s < 0 ? nullptr : data(s);
  }
  bool holds(std::uint32_t offset) const { return lookup(offset) >= 0; }
  // A slot for `offset`, which must not be cached; its bytes are not initialised.
  char* insert(std::uint32_t offset);

  void markDirty(std::uint32_t offset);
  // The changed pages, in the order they were first changed; cleared by clearDirty().
  const std::vector<std::uint32_t>& dirty() const { return dirty_; }
  std::size_t dirtyCount() const { return dirty_.size(); }
  void clearDirty();
  // Forgets one page / every page (changed ones included).
  void erase(std::uint32_t offset);
  void clear();

 private:
  static constexpr std::size_t kBlockPages = 64;

  // Kept apart from the page bytes so that a lookup touches few cache lines.
  struct Meta {
    std::uint64_t lastOp = 0;
    std::uint32_t offset = 0;
    bool used = false, dirty = false, referenced = false;
  };

  int lookup(std::uint32_t offset) const;
  void mapInsert(std::uint32_t offset, int slot);
  void mapErase(std::uint32_t offset);
  void rehash(std::size_t buckets);
  char* data(int slot) const {
    const auto s = static_cast<std::size_t>(slot);
    return blocks_[s / kBlockPages].get() + (s % kBlockPages) * kPageSize;
  }
  int newSlot();
  int takeSlot();

  std::size_t capacity_;
  std::vector<Meta> meta_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<int> free_;
  std::vector<std::int64_t> map_;  // open addressing: (offset << 32 | slot), -1 empty
  std::size_t mask_ = 0;
  std::size_t mapped_ = 0;
  std::size_t hand_ = 0;
  std::uint64_t op_ = 1;
  std::vector<std::uint32_t> dirty_;
  bool journaling_ = false;
  std::vector<std::uint32_t> journalOffsets_;
  std::vector<char> journal_;  // the pages' bytes, in the order of journalOffsets_
};

}  // namespace db::ntx
