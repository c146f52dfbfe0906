// The page cache of an open key index: pages by file offset, least recently used dropped first.
//
// Lookups and insertions allocate nothing: the slots and the offset map are sized when the
// cache is made. A page used by the operation under way is never dropped (its pointer stays
// valid until the operation ends), and neither is a changed page before it was written; when
// every slot is held so, the cache grows by a slot.
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
  void beginOperation() { ++op_; }

  // The cached page at `offset`, or nullptr.
  char* find(std::uint32_t offset);
  // A slot for `offset`, which must not be cached; its bytes are not initialised.
  char* insert(std::uint32_t offset);

  void markDirty(std::uint32_t offset);
  // The changed pages, in the order they were first changed; cleared by clearDirty().
  const std::vector<std::uint32_t>& dirty() const { return dirty_; }
  void clearDirty();
  // Forgets one page / every page (changed ones included).
  void erase(std::uint32_t offset);
  void clear();

 private:
  struct Slot {
    std::uint32_t offset = 0;
    bool used = false;
    bool isDirty = false;
    std::uint64_t lastOp = 0;
    int prev = -1, next = -1;  // recency list, most recent first
    alignas(8) char data[kPageSize];
  };

  int lookup(std::uint32_t offset) const;
  void mapInsert(std::uint32_t offset, int slot);
  void mapErase(std::uint32_t offset);
  void rehash(std::size_t buckets);
  void unlink(int s);
  void pushFront(int s);
  int takeSlot();

  std::size_t capacity_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<int> free_;
  std::vector<std::int64_t> map_;  // open addressing: (offset << 32 | slot), -1 empty
  std::size_t mask_ = 0;
  std::size_t mapped_ = 0;
  int head_ = -1, tail_ = -1;
  std::uint64_t op_ = 1;
  std::vector<std::uint32_t> dirty_;
};

}  // namespace db::ntx
