#include "index_cache.h"

#include <algorithm>

namespace db::ntx {

namespace {
constexpr std::int64_t kEmpty = -1;

std::size_t hashOf(std::uint32_t offset) {
  return static_cast<std::size_t>(
      (static_cast<std::uint64_t>(offset >> 10) * 0x9E3779B97F4A7C15ull) >> 20);
}
std::int64_t packed(std::uint32_t offset, int slot) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(offset) << 32) |
                                   static_cast<std::uint32_t>(slot));
}
std::uint32_t offsetOf(std::int64_t v) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32);
}
int slotOf(std::int64_t v) {
  return static_cast<int>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu);
}
}  // namespace

PageCache::PageCache(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 16)) {
  std::size_t buckets = 64;
  while (buckets < 2 * capacity_) buckets *= 2;
  map_.assign(buckets, kEmpty);
  mask_ = buckets - 1;
  slots_.reserve(capacity_);
  dirty_.reserve(64);
}

int PageCache::lookup(std::uint32_t offset) const {
  for (std::size_t i = hashOf(offset) & mask_;; i = (i + 1) & mask_) {
    if (map_[i] == kEmpty) return -1;
    if (offsetOf(map_[i]) == offset) return slotOf(map_[i]);
  }
}

void PageCache::mapInsert(std::uint32_t offset, int slot) {
  if (2 * (mapped_ + 1) > map_.size()) rehash(map_.size() * 2);
  std::size_t i = hashOf(offset) & mask_;
  while (map_[i] != kEmpty) i = (i + 1) & mask_;
  map_[i] = packed(offset, slot);
  ++mapped_;
}

void PageCache::mapErase(std::uint32_t offset) {
  std::size_t i = hashOf(offset) & mask_;
  while (offsetOf(map_[i]) != offset) i = (i + 1) & mask_;
  // Backward-shift deletion keeps every probe chain unbroken without tombstones.
  for (std::size_t j = (i + 1) & mask_; map_[j] != kEmpty; j = (j + 1) & mask_) {
    std::size_t home = hashOf(offsetOf(map_[j])) & mask_;
    bool between = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (!between) {
      map_[i] = map_[j];
      i = j;
    }
  }
  map_[i] = kEmpty;
  --mapped_;
}

void PageCache::rehash(std::size_t buckets) {
  std::vector<std::int64_t> old;
  old.swap(map_);
  map_.assign(buckets, kEmpty);
  mask_ = buckets - 1;
  mapped_ = 0;
  for (std::int64_t v : old)
    if (v != kEmpty) mapInsert(offsetOf(v), slotOf(v));
}

void PageCache::unlink(int s) {
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  if (x.prev >= 0)
    slots_[static_cast<std::size_t>(x.prev)]->next = x.next;
  else
    head_ = x.next;
  if (x.next >= 0)
    slots_[static_cast<std::size_t>(x.next)]->prev = x.prev;
  else
    tail_ = x.prev;
  x.prev = x.next = -1;
}

void PageCache::pushFront(int s) {
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  x.prev = -1;
  x.next = head_;
  if (head_ >= 0) slots_[static_cast<std::size_t>(head_)]->prev = s;
  head_ = s;
  if (tail_ < 0) tail_ = s;
}

char* PageCache::find(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return nullptr;
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  x.lastOp = op_;
  if (head_ != s) {
    unlink(s);
    pushFront(s);
  }
  return x.data;
}

int PageCache::takeSlot() {
  if (!free_.empty()) {
    int s = free_.back();
    free_.pop_back();
    return s;
  }
  if (slots_.size() < capacity_) {
    slots_.push_back(std::make_unique<Slot>());
    return static_cast<int>(slots_.size() - 1);
  }
  // The least recently used page that is neither changed nor in use by this operation.
  for (int s = tail_; s >= 0; s = slots_[static_cast<std::size_t>(s)]->prev) {
    Slot& x = *slots_[static_cast<std::size_t>(s)];
    if (x.isDirty || x.lastOp == op_) continue;
    unlink(s);
    mapErase(x.offset);
    x.used = false;
    return s;
  }
  slots_.push_back(std::make_unique<Slot>());
  ++capacity_;
  return static_cast<int>(slots_.size() - 1);
}

char* PageCache::insert(std::uint32_t offset) {
  int s = takeSlot();
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  x.offset = offset;
  x.used = true;
  x.isDirty = false;
  x.lastOp = op_;
  pushFront(s);
  mapInsert(offset, s);
  return x.data;
}

void PageCache::markDirty(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return;
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  if (!x.isDirty) {
    x.isDirty = true;
    dirty_.push_back(offset);
  }
}

void PageCache::clearDirty() {
  for (std::uint32_t off : dirty_) {
    int s = lookup(off);
    if (s >= 0) slots_[static_cast<std::size_t>(s)]->isDirty = false;
  }
  dirty_.clear();
}

void PageCache::erase(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return;
  Slot& x = *slots_[static_cast<std::size_t>(s)];
  unlink(s);
  mapErase(offset);
  x.used = false;
  free_.push_back(s);
  if (x.isDirty) {
    x.isDirty = false;
    dirty_.erase(std::find(dirty_.begin(), dirty_.end(), offset));
  }
}

void PageCache::clear() {
  for (std::size_t s = 0; s < slots_.size(); ++s) {
    Slot& x = *slots_[s];
    if (!x.used) continue;
    unlink(static_cast<int>(s));
    x.used = false;
    x.isDirty = false;
    free_.push_back(static_cast<int>(s));
  }
  std::fill(map_.begin(), map_.end(), kEmpty);
  mapped_ = 0;
  dirty_.clear();
}

}  // namespace db::ntx
